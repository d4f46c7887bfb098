#include "engine/iso/path_table.h"

#include <algorithm>
#include <limits>
#include <string>

#include "engine/iso/both_endian.h"
#include "engine/iso/identifiers.h"

namespace tavrin::iso {

namespace {

void Put16(std::span<uint8_t> bytes, std::size_t offset, uint16_t value, ByteOrder order) {
    order == ByteOrder::L ? PutLE16(bytes, offset, value) : PutBE16(bytes, offset, value);
}

void Put32(std::span<uint8_t> bytes, std::size_t offset, uint32_t value, ByteOrder order) {
    order == ByteOrder::L ? PutLE32(bytes, offset, value) : PutBE32(bytes, offset, value);
}

std::string Identifier(const TDEntry& dir, bool isRoot, Tree tree, JolietNameEncoder& encoder) {
    if (isRoot) return std::string(kSelfIdentifier);
    return tree == Tree::Iso ? IsoDirectoryIdentifier(dir.ShortName) : JolietDirectoryIdentifier(encoder, dir.LongName);
}

}  // namespace

std::size_t PathTableRecordLength(std::size_t identifierBytes) {
    return path_record::kFixedBytes + identifierBytes + identifierBytes % 2;
}

std::optional<std::vector<uint8_t>> EncodePathTableRecord(const PathTableRecordFields& fields, ByteOrder order) {
    const std::size_t n = fields.identifier.size();
    if (n == 0 || n > path_record::kMaxIdentifierBytes) return std::nullopt;
    std::vector<uint8_t> bytes(PathTableRecordLength(n), 0);
    bytes[path_record::kIdentifierLength] = static_cast<uint8_t>(n);
    bytes[path_record::kExtendedAttributeLength] = 0;
    Put32(bytes, path_record::kExtent, fields.extent, order);
    Put16(bytes, path_record::kParentNumber, fields.parentNumber, order);
    std::copy(fields.identifier.begin(), fields.identifier.end(), bytes.begin() + path_record::kIdentifier);
    return bytes;
}

std::optional<std::vector<uint8_t>> EncodePathTable(std::span<const PDirEntry> sorted, Tree tree,
                                                    uint32_t areaStartBlock, ByteOrder order,
                                                    JolietNameEncoder& encoder) {
    std::vector<uint8_t> table;
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        const TDEntry& dir = *sorted[i];
        const uint32_t parent = i == 0 ? 1 : (tree == Tree::Iso ? dir.Parent->IsoNumber : dir.Parent->JolietNumber);
        // The record's parent field has 16 bits: a directory numbered beyond it
        // cannot be found through the path table.
        if (parent > std::numeric_limits<uint16_t>::max()) return std::nullopt;
        const uint32_t offset = tree == Tree::Iso ? dir.IsoExtentOffset : dir.JolietExtentOffset;
        const std::string identifier = Identifier(dir, i == 0, tree, encoder);
        const auto record = EncodePathTableRecord(
            {.extent = areaStartBlock + offset, .parentNumber = static_cast<uint16_t>(parent), .identifier = identifier},
            order);
        if (!record) return std::nullopt;
        table.insert(table.end(), record->begin(), record->end());
    }
    return table;
}

}  // namespace tavrin::iso
