#include "engine/iso/tree_records.h"

#include <string>

#include "engine/iso/identifiers.h"

namespace tavrin::iso {

namespace {

bool IsIso(const TreePlacement& placement) { return placement.tree == Tree::Iso; }

std::string Identifier(const TFEntry& entry, Tree tree, JolietNameEncoder& encoder) {
    if (tree == Tree::Iso) {
        return entry.IsSubdirectory() ? IsoDirectoryIdentifier(entry.ShortName) : IsoFileIdentifier(entry.ShortName);
    }
    return entry.IsSubdirectory() ? JolietDirectoryIdentifier(encoder, entry.LongName)
                                  : JolietFileIdentifier(encoder, entry.LongName);
}

uint32_t ExtentOf(const TDEntry& dir, const TreePlacement& placement) {
    return placement.areaStartBlock + (IsIso(placement) ? dir.IsoExtentOffset : dir.JolietExtentOffset);
}

uint32_t SizeOf(const TDEntry& dir, const TreePlacement& placement) {
    return static_cast<uint32_t>(IsIso(placement) ? dir.IsoExtentSize : dir.JolietExtentSize);
}

uint32_t FileExtent(const TFEntry& entry, const TreePlacement& placement) {
    const uint32_t extent = IsIso(placement) ? entry.IsoExtent : entry.JolietExtent;
    if (entry.Imported) return extent;  // already absolute, in the session it came from
    const uint64_t size = IsIso(placement) ? entry.Size : entry.JolietSize;
    return size == 0 ? 0 : placement.firstFileBlock + extent;
}

std::vector<uint8_t> DotRecord(const TDEntry& dir, std::string_view identifier, const TreePlacement& placement) {
    return *EncodeDirectoryRecord({.extent = ExtentOf(dir, placement),
                                   .dataLength = SizeOf(dir, placement),
                                   .date = placement.now,
                                   .flags = kFlagDirectory,
                                   .identifier = identifier});
}

}  // namespace

std::optional<std::vector<uint8_t>> EncodeEntryRecord(const TFEntry& entry, const TreePlacement& placement,
                                                      JolietNameEncoder& encoder) {
    const std::string identifier = Identifier(entry, placement.tree, encoder);
    DirectoryRecordFields fields{.date = RecordingDateOf(entry.DateTime, placement.gmtOffset),
                                 .flags = RecordFlags(entry.IsSubdirectory(), entry.Attr),
                                 .identifier = identifier};
    if (entry.IsSubdirectory()) {
        fields.extent = ExtentOf(*entry.Dir, placement);
        fields.dataLength = SizeOf(*entry.Dir, placement);
    } else {
        fields.extent = FileExtent(entry, placement);
        fields.dataLength = static_cast<uint32_t>(IsIso(placement) ? entry.Size : entry.JolietSize);
    }
    return EncodeDirectoryRecord(fields);
}

std::optional<std::vector<uint8_t>> EncodeDirectoryRecords(const TDEntry& dir, const TreePlacement& placement,
                                                           JolietNameEncoder& encoder) {
    DirectoryExtent extent;
    extent.Append(DotRecord(dir, kSelfIdentifier, placement));
    extent.Append(DotRecord(*dir.Parent, kParentIdentifier, placement));
    for (const TFEntry* entry = dir.FirstEntry; entry != nullptr; entry = entry->Next) {
        const auto record = EncodeEntryRecord(*entry, placement, encoder);
        if (!record) return std::nullopt;
        extent.Append(*record);
    }
    return std::move(extent).Finish();
}

std::optional<uint64_t> DirectoryRecordBytes(const TDEntry& dir, Tree tree, JolietNameEncoder& encoder) {
    std::vector<std::size_t> lengths;
    for (const TFEntry* entry = dir.FirstEntry; entry != nullptr; entry = entry->Next) {
        const std::size_t length = RecordLength(Identifier(*entry, tree, encoder).size());
        if (length > record::kMaxBytes) return std::nullopt;
        lengths.push_back(length);
    }
    return ExtentBytes(lengths);
}

}  // namespace tavrin::iso
