#include "engine/iso/layout.h"

#include <algorithm>
#include <optional>
#include <span>
#include <vector>

#include "engine/compilation/date_time.h"
#include "engine/iso/directory_order.h"
#include "engine/iso/directory_record.h"
#include "engine/iso/joliet_names.h"
#include "engine/iso/path_table.h"
#include "engine/iso/tree_records.h"
#include "engine/iso/volume_descriptors.h"
#include "engine/platform/local_time.h"

namespace tavrin::iso {

namespace {

constexpr uint64_t kSystemAreaBlocks = 16;
constexpr std::string_view kLayoutFailed = ">>> THE COMPILATION CANNOT BE LAID OUT AS AN ISO 9660 / JOLIET VOLUME";

uint64_t BlocksOf(uint64_t bytes) { return BlockRounded(bytes) / kBlockBytes; }

// The engine's debug lines are off while the layout runs and on again afterwards,
// however it ends.
class DebugOffWhileLayingOut {
public:
    explicit DebugOffWhileLayingOut(TvxCDBurner& burner) : burner_(burner) { burner_.DoDebug = false; }
    ~DebugOffWhileLayingOut() { burner_.DoDebug = true; }
    DebugOffWhileLayingOut(const DebugOffWhileLayingOut&) = delete;
    DebugOffWhileLayingOut& operator=(const DebugOffWhileLayingOut&) = delete;

private:
    TvxCDBurner& burner_;
};

// The path table's bytes before padding; the extents do not change its length.
std::optional<uint32_t> PathTableBytes(std::span<const PDirEntry> sorted, Tree tree, JolietNameEncoder& encoder) {
    const auto table = EncodePathTable(sorted, tree, 0, ByteOrder::L, encoder);
    if (!table) return std::nullopt;
    return static_cast<uint32_t>(table->size());
}

// Every directory's extent size and its offset into the tree's record area, in
// creation order; the area's size in bytes.
std::optional<uint64_t> PlaceDirectories(std::span<const std::unique_ptr<TDEntry>> dirs, Tree tree,
                                         JolietNameEncoder& encoder) {
    uint64_t areaBlocks = 0;
    for (const auto& dir : dirs) {
        const auto bytes = DirectoryRecordBytes(*dir, tree, encoder);
        if (!bytes) return std::nullopt;
        const auto offset = static_cast<uint32_t>(areaBlocks);
        if (tree == Tree::Iso) {
            dir->IsoExtentSize = *bytes;
            dir->IsoExtentOffset = offset;
        } else {
            dir->JolietExtentSize = *bytes;
            dir->JolietExtentOffset = offset;
        }
        areaBlocks += BlocksOf(*bytes);
    }
    return areaBlocks * kBlockBytes;
}

void ClearJolietPlaces(std::span<const std::unique_ptr<TDEntry>> dirs) {
    for (const auto& dir : dirs) {
        dir->JolietExtentSize = 0;
        dir->JolietExtentOffset = 0;
    }
}

// Byte positions of the descriptors, the path tables and the record areas, and the
// first block of the file data.
void PlaceHeader(TSessionLayout& layout, bool joliet) {
    uint64_t at = (layout.SessionStart + kSystemAreaBlocks) * kBlockBytes;
    auto take = [&at](uint64_t bytes) {
        const uint64_t here = at;
        at += bytes;
        return here;
    };
    layout.PrimaryDescriptorPos = take(kBlockBytes);
    if (joliet) layout.JolietDescriptorPos = take(kBlockBytes);
    layout.TerminatorPos = take(kBlockBytes);
    const uint64_t isoTable = BlockRounded(layout.IsoPathTableBytes);
    layout.IsoPathTableLPos = take(isoTable);
    layout.IsoPathTableMPos = take(isoTable);
    if (joliet) {
        const uint64_t jolietTable = BlockRounded(layout.JolietPathTableBytes);
        layout.JolietPathTableLPos = take(jolietTable);
        layout.JolietPathTableMPos = take(jolietTable);
    }
    layout.IsoDirRecordsPos = take(layout.IsoDirAreaBytes);
    if (joliet) layout.JolietDirRecordsPos = take(layout.JolietDirAreaBytes);
    layout.FirstFileBlock = std::max(static_cast<uint32_t>(at / kBlockBytes), kMinimumFirstFileBlock);
}

// Extents of the file table's entries, in creation order: a subdirectory entry takes
// its directory's place, an imported file keeps its block in the earlier session,
// a file with data gets the next blocks of the file data. The file-data blocks.
uint64_t PlaceFiles(std::span<const std::unique_ptr<TFEntry>> files) {
    uint64_t blocks = 0;
    for (const auto& entry : files) {
        TFEntry& file = *entry;
        if (file.IsSubdirectory()) {
            file.Size = file.Dir->IsoExtentSize;
            file.JolietSize = file.Dir->JolietExtentSize;
            file.IsoExtent = file.Dir->IsoExtentOffset;
            file.JolietExtent = file.Dir->JolietExtentOffset;
            continue;
        }
        if (file.Imported) continue;
        if (file.Size == 0) {
            file.IsoExtent = file.JolietExtent = 0;
            continue;
        }
        file.IsoExtent = file.JolietExtent = static_cast<uint32_t>(blocks);
        blocks += BlocksOf(file.Size);
    }
    return blocks;
}

uint32_t BlockOf(uint64_t bytePosition) { return static_cast<uint32_t>(bytePosition / kBlockBytes); }

VolumeIdentity IdentityOf(const TvxCDBurner& burner) {
    return {.IdSystem = burner.IdSystem,
            .IdVolume = burner.IdVolume,
            .IdVolumeSet = burner.IdVolumeSet,
            .IdPublisher = burner.IdPublisher,
            .IdPreparer = burner.IdPreparer,
            .IdApplication = burner.IdApplication,
            .FileCopyright = burner.FileCopyright,
            .FileAbstract = burner.FileAbstract,
            .FileBibliographic = burner.FileBibliographic,
            .DateCreation = burner.DateCreation,
            .DateModification = burner.DateModification};
}

// Fills the header bytes at absolute byte positions of the disc.
class HeaderBlocks {
public:
    HeaderBlocks(std::vector<uint8_t>& bytes, const TSessionLayout& layout) : bytes_(bytes) {
        start_ = uint64_t{layout.SessionStart} * kBlockBytes;
        bytes_.assign((layout.FirstFileBlock - layout.SessionStart) * kBlockBytes, 0);
    }
    void Put(uint64_t position, std::span<const uint8_t> data) {
        std::copy(data.begin(), data.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(position - start_));
    }

private:
    std::vector<uint8_t>& bytes_;
    uint64_t start_ = 0;
};

struct TreeHeader {
    Tree tree;
    std::span<const PDirEntry> sorted;
    uint64_t descriptorPos;
    uint64_t tableLPos;
    uint64_t tableMPos;
    uint32_t tableBytes;
    uint64_t recordsPos;
};

// One tree's descriptor, path tables and directory records into the header.
bool PutTree(HeaderBlocks& header, const TreeHeader& part, TvxCDBurner& burner, const RecordingDate& now,
             JolietNameEncoder& encoder) {
    const TSessionLayout& layout = burner.Layout;
    const uint32_t area = BlockOf(part.recordsPos);
    const auto tableL = EncodePathTable(part.sorted, part.tree, area, ByteOrder::L, encoder);
    const auto tableM = EncodePathTable(part.sorted, part.tree, area, ByteOrder::M, encoder);
    if (!tableL || !tableM) return false;
    header.Put(part.tableLPos, *tableL);
    header.Put(part.tableMPos, *tableM);

    const bool iso = part.tree == Tree::Iso;
    const TDEntry& root = *burner.Root();
    const TreeLocation location{.volumeSpaceBlocks = static_cast<uint32_t>(layout.SessionSizeBlocks),
                                .pathTableBytes = part.tableBytes,
                                .typeLPathTableBlock = BlockOf(part.tableLPos),
                                .typeMPathTableBlock = BlockOf(part.tableMPos),
                                .rootExtentBlock = area,
                                .rootExtentBytes = static_cast<uint32_t>(iso ? root.IsoExtentSize
                                                                             : root.JolietExtentSize)};
    const VolumeIdentity identity = IdentityOf(burner);
    header.Put(part.descriptorPos, iso ? EncodePrimaryDescriptor(identity, location)
                                       : EncodeJolietDescriptor(identity, location, encoder));

    const TreePlacement placement{.tree = part.tree,
                                  .areaStartBlock = area,
                                  .firstFileBlock = layout.FirstFileBlock,
                                  .now = now,
                                  .gmtOffset = burner.GmtOffset()};
    for (const auto& dir : burner.Tree().Dirs()) {
        const auto records = EncodeDirectoryRecords(*dir, placement, encoder);
        if (!records) return false;
        header.Put(part.recordsPos + uint64_t{iso ? dir->IsoExtentOffset : dir->JolietExtentOffset} * kBlockBytes,
                   *records);
    }
    return true;
}

bool PutHeader(TvxCDBurner& burner, TDateTime buildTime, JolietNameEncoder& encoder) {
    const TSessionLayout& layout = burner.Layout;
    HeaderBlocks header(burner.HeaderStream, layout);
    header.Put(layout.TerminatorPos, EncodeTerminator());
    const RecordingDate now = RecordingDateOf(buildTime, burner.GmtOffset());
    const TreeHeader iso{Tree::Iso,
                         burner.Tree().IsoOrder(),
                         layout.PrimaryDescriptorPos,
                         layout.IsoPathTableLPos,
                         layout.IsoPathTableMPos,
                         layout.IsoPathTableBytes,
                         layout.IsoDirRecordsPos};
    if (!PutTree(header, iso, burner, now, encoder)) return false;
    if (!burner.JolietFileSystem) return true;
    const TreeHeader joliet{Tree::Joliet,
                            burner.Tree().JolietOrder(),
                            layout.JolietDescriptorPos,
                            layout.JolietPathTableLPos,
                            layout.JolietPathTableMPos,
                            layout.JolietPathTableBytes,
                            layout.JolietDirRecordsPos};
    return PutTree(header, joliet, burner, now, encoder);
}

// Steps after the session start is known; false when the tree cannot be recorded.
bool LayOut(TvxCDBurner& burner, TDateTime buildTime) {
    compilation::Compilation& tree = burner.Tree();
    TSessionLayout& layout = burner.Layout;
    const bool joliet = burner.JolietFileSystem;
    JolietNameEncoder encoder;

    SortDirectories(tree.IsoOrder(), Tree::Iso);
    SortDirectories(tree.JolietOrder(), Tree::Joliet);
    const auto isoTable = PathTableBytes(tree.IsoOrder(), Tree::Iso, encoder);
    if (!isoTable) return false;
    layout.IsoPathTableBytes = *isoTable;
    if (joliet) {
        const auto jolietTable = PathTableBytes(tree.JolietOrder(), Tree::Joliet, encoder);
        if (!jolietTable) return false;
        layout.JolietPathTableBytes = *jolietTable;
    }

    const auto dirs = tree.Dirs();
    const auto isoArea = PlaceDirectories(dirs, Tree::Iso, encoder);
    if (!isoArea) return false;
    layout.IsoDirAreaBytes = *isoArea;
    if (joliet) {
        const auto jolietArea = PlaceDirectories(dirs, Tree::Joliet, encoder);
        if (!jolietArea) return false;
        layout.JolietDirAreaBytes = *jolietArea;
    } else {
        ClearJolietPlaces(dirs);
    }

    PlaceHeader(layout, joliet);
    layout.FileDataBlocks = PlaceFiles(tree.Files());
    layout.EndBlock = layout.FirstFileBlock + layout.FileDataBlocks;
    layout.SessionSizeBlocks = layout.EndBlock - layout.SessionStart;
    return PutHeader(burner, buildTime, encoder);
}

}  // namespace

bool Prepare(TvxCDBurner& burner, bool ForImageFile, TDateTime buildTime, const drive::SleepFn& sleep) {
    const DebugOffWhileLayingOut quiet(burner);
    burner.HeaderStream.clear();
    burner.Layout = {};
    if (!ForImageFile) burner.Layout.SessionStart = NextSessionStart(burner, sleep);
    if (LayOut(burner, buildTime)) return true;
    burner.HeaderStream.clear();
    burner.DebugMsg(std::string(kLayoutFailed), kDebugImage);
    return false;
}

bool Prepare(TvxCDBurner& burner, bool ForImageFile) {
    return Prepare(burner, ForImageFile, compilation::DateTimeFromLocal(platform::LocalNow()));
}

uint64_t ImageSizeBlocks(const TvxCDBurner& burner) {
    const uint64_t size = burner.Layout.SessionSizeBlocks;
    return burner.WritePostGap ? std::max(size, kPostGapSessionBlocks) : size;
}

}  // namespace tavrin::iso
