#include "engine/sessions/import.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "engine/compilation/names.h"
#include "engine/compilation/texts.h"
#include "engine/device/messages.h"
#include "engine/drive/media_info.h"
#include "engine/drive/mmc_commands.h"
#include "engine/drive/sense_fields.h"
#include "engine/drive/wait_ready.h"
#include "engine/iso/directory_record.h"
#include "engine/iso/volume_descriptors.h"
#include "engine/sessions/disc_names.h"
#include "engine/sessions/import_texts.h"
#include "engine/sessions/record_reader.h"
#include "engine/sessions/toc_address.h"

namespace tavrin::sessions {

namespace {

namespace descriptor = iso::descriptor;
namespace record = iso::record;
using compilation::texts::kNote;

// The wait for a disc still spinning up: as long as the disc information waits.
constexpr int kTestUnitReadyTimeoutMs = 5000;
constexpr int kSpinUpWaitMs = 3000;
constexpr int kSpinUpPollMs = 100;

// The volume descriptor set of a session starts at its block 16; 21 blocks are looked at.
constexpr uint32_t kFirstDescriptorBlock = 16;
constexpr uint32_t kDescriptorBlocks = 21;
constexpr std::string_view kStandardIdentifier = "CD001";

// A record starting at 2015 or later cannot hold its fixed fields in the block.
constexpr std::size_t kRecordsEndAt = kBlockBytes - record::kFixedBytes;
// Identifiers this long cannot be the name of a record: UCS-2 Joliet names, 8-bit ISO ones.
constexpr std::size_t kJolietIdentifierLimit = 215;
constexpr std::size_t kIsoIdentifierLimit = 240;
// Byte 0 to 3 zero and "UXA" at 5 to 7: an extended-architecture system-use area.
constexpr std::size_t kXaZeroBytes = 4;
constexpr std::size_t kXaSignatureAt = 5;
constexpr std::string_view kXaSignature = "UXA";
constexpr std::size_t kXaAreaBytes = 14;
constexpr char kLineFeedReturn[] = "\x0A\x0D";

// Levels of folders below the one imported into; deeper trees are loops or hostile.
constexpr int kMaxLevels = 64;
// What no CD or DVD exceeds (a double-layer DVD): the bound when the drive does not
// say how large the disc is.
constexpr uint64_t kLargestDiscBlocks = 4'173'824;

// One tree's reading.
struct Walk {
    Walk(TvxCDBurner& burner, bool joliet, uint64_t discBlocks)
        : burner(burner),
          joliet(joliet),
          rule(joliet ? LengthRule::RecordLength : LengthRule::IdentifierLength),
          discBlocks(discBlocks),
          budget(discBlocks) {}

    TvxCDBurner& burner;
    const bool joliet;
    const LengthRule rule;
    const uint64_t discBlocks;  // blocks 0 to discBlocks - 1 can hold data
    // Directory blocks still to be read: a sound tree never holds more than the disc.
    uint64_t budget;
    bool budgetReported = false;
    std::set<uint32_t> walked;  // extents of the directories read in this import
    JolietNameDecoder decoder;
};

void Report(TvxCDBurner& burner, const std::string& line) { burner.DebugMsg(line, kDebugImage); }

std::string_view AsText(std::span<const uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

uint64_t BlocksOf(uint64_t bytes) { return (bytes + kBlockBytes - 1) / kBlockBytes; }

// The blocks the disc holds, as READ CAPACITY reports its last one.
uint64_t DiscBlocks(TvxCDBurner& burner) {
    uint32_t lastBlock = 0;
    uint32_t blockLength = 0;
    if (!drive::ReadCapacity(burner, lastBlock, blockLength) || lastBlock == 0 || lastBlock >= kLargestDiscBlocks) {
        return kLargestDiscBlocks;
    }
    return uint64_t{lastBlock} + 1;
}

// A session's first block: its first track's start, less the 2-second pre-gap
// of MSF 00:02:00.
std::optional<uint32_t> SessionStart(TvxCDBurner& burner, int session) {
    const auto address = ReadTocAddress(burner, static_cast<uint8_t>(session));
    if (!address) return std::nullopt;
    const uint32_t frames = FramesOf(*address);
    return frames >= kMsfOriginFrames ? frames - kMsfOriginFrames : 0;
}

bool ReadBlock(TvxCDBurner& burner, uint64_t lba, std::span<uint8_t> block) {
    std::fill(block.begin(), block.end(), 0);
    return drive::Read10(burner, static_cast<uint32_t>(lba), 1, static_cast<uint32_t>(block.size()), block);
}

bool IsDotRecord(const DiscRecord& r) {
    return r.identifierLength == 1 && !r.identifier.empty() && r.identifier[0] <= 0x01;
}

bool IsXaArea(std::span<const uint8_t> block, std::size_t offset) {
    if (block.size() - offset < kXaSignatureAt + kXaSignature.size()) return false;
    const auto at = block.subspan(offset);
    return std::all_of(at.begin(), at.begin() + kXaZeroBytes, [](uint8_t b) { return b == 0; }) &&
           AsText(at.subspan(kXaSignatureAt, kXaSignature.size())) == kXaSignature;
}

TSearchRec SearchRecordOf(const DiscRecord& r, std::string name) {
    TSearchRec rec;
    rec.alternateName = compilation::MakeShortName(name);
    rec.name = std::move(name);
    rec.sizeLow = r.dataLength;
    rec.time = DosDateOf(r.date);
    rec.attr = (r.IsHidden() ? iso::kAttrHidden : 0) | (r.IsDirectory() ? platform::kAttrDirectory : 0);
    return rec;
}

void ReadDirectory(Walk& walk, const DiscRecord& at, const std::string& name, PDirEntry target, int level);

void AddDirectory(Walk& walk, const DiscRecord& r, const TSearchRec& rec, PDirEntry target, int level) {
    if (r.extent >= walk.discBlocks) {
        Report(walk.burner, fmt::format(fmt::runtime(texts::kBeyondDisc), rec.name, r.extent, r.dataLength,
                                        walk.discBlocks));
        return;
    }
    if (walk.walked.contains(r.extent)) {
        Report(walk.burner, fmt::format(fmt::runtime(texts::kDirectoryReadAlready), rec.name, r.extent));
        return;
    }
    if (level >= kMaxLevels) {
        Report(walk.burner, fmt::format(fmt::runtime(texts::kTreeTooDeep), rec.name, kMaxLevels));
        return;
    }
    const PDirEntry dir = walk.burner.CreateDir(target, rec);
    if (dir != nullptr) ReadDirectory(walk, r, rec.name, dir, level + 1);
}

void AddFile(Walk& walk, const DiscRecord& r, const TSearchRec& rec, PDirEntry target) {
    const uint64_t blocks = BlocksOf(r.dataLength);
    if (blocks > 0 && r.extent == 0) {
        Report(walk.burner, fmt::format(fmt::runtime(texts::kNoDataBlock), rec.name, r.dataLength));
        return;
    }
    if (r.extent + blocks > walk.discBlocks) {
        Report(walk.burner, fmt::format(fmt::runtime(texts::kBeyondDisc), rec.name, r.extent, r.dataLength,
                                        walk.discBlocks));
        return;
    }
    walk.burner.InsertFile(target, rec, false, r.extent, "");
}

// False when the record shows that the rest of its block cannot be trusted.
bool AddRecord(Walk& walk, const DiscRecord& r, uint64_t lba, std::size_t offset, PDirEntry target, int level) {
    const std::size_t limit = walk.joliet ? kJolietIdentifierLimit : kIsoIdentifierLimit;
    if (r.identifierLength >= limit) {
        Report(walk.burner,
               std::string(messages::kImportNameTooLong) + kLineFeedReturn + std::string(AsText(r.identifier)));
        return true;
    }
    // A sane identifier longer than its record: the length field is wrong, and the
    // next record is not where it points.
    if (!r.identifierWhole) {
        Report(walk.burner, fmt::format(fmt::runtime(texts::kBrokenIdentifier), lba, offset));
        return false;
    }
    std::string name = walk.joliet ? walk.decoder.Decode(r.identifier) : IsoName(r.identifier);
    // A "\" separates the folders of a compilation path: such a name would stand for another entry.
    if (name.empty() || compilation::LastBackslash(name)) {
        Report(walk.burner, fmt::format(fmt::runtime(texts::kUnusableName), lba, offset, name));
        return true;
    }
    const TSearchRec rec = SearchRecordOf(r, std::move(name));
    if (r.IsDirectory()) {
        AddDirectory(walk, r, rec, target, level);
    } else {
        AddFile(walk, r, rec, target);
    }
    return true;
}

// Where the entries of a directory's first block start: after its self and parent
// records in a Joliet tree; after the self record in an ISO tree, whose parent record
// is recognised by its identifier. None when they cannot be located.
std::optional<std::size_t> FirstEntryAt(Walk& walk, std::span<const uint8_t> block, uint64_t lba) {
    const int dotRecords = walk.joliet ? 2 : 1;
    std::size_t offset = 0;
    for (int i = 0; i < dotRecords; ++i) {
        const RecordRead read = ReadRecord(block, offset, walk.rule);
        if (read.status == RecordStatus::Broken) {
            Report(walk.burner, fmt::format(fmt::runtime(texts::kBrokenRecord), lba, offset));
        }
        if (read.status != RecordStatus::Ok) return std::nullopt;
        offset += read.record.length;
    }
    return offset;
}

void ReadRecords(Walk& walk, std::span<const uint8_t> block, uint64_t lba, bool first, PDirEntry target,
                 int level) {
    std::size_t offset = 0;
    if (first) {
        const auto entries = FirstEntryAt(walk, block, lba);
        if (!entries) return;
        offset = *entries;
    }
    while (offset < kRecordsEndAt) {
        if (!walk.joliet && IsXaArea(block, offset)) {
            offset += kXaAreaBytes;
            continue;
        }
        const RecordRead read = ReadRecord(block, offset, walk.rule);
        if (read.status == RecordStatus::EndOfBlock) return;
        if (read.status == RecordStatus::Broken) {
            Report(walk.burner, fmt::format(fmt::runtime(texts::kBrokenRecord), lba, offset));
            return;
        }
        if (!IsDotRecord(read.record) && !AddRecord(walk, read.record, lba, offset, target, level)) return;
        offset += read.record.length;
    }
}

// The blocks of a directory: its data length, at least one block, no further than the
// disc's end, and no more than what is left of the whole import's reading.
uint64_t DirectoryBlocks(Walk& walk, const DiscRecord& at, const std::string& name) {
    uint64_t blocks = std::max<uint64_t>(1, BlocksOf(at.dataLength));
    const uint64_t room = walk.discBlocks - at.extent;
    if (blocks > room) {
        Report(walk.burner, fmt::format(fmt::runtime(texts::kDirectoryCut), name, walk.discBlocks));
        blocks = room;
    }
    if (blocks > walk.budget) {
        if (!walk.budgetReported) {
            Report(walk.burner, fmt::format(fmt::runtime(texts::kTooMuchDirectoryData), walk.discBlocks));
        }
        walk.budgetReported = true;
        blocks = walk.budget;
    }
    walk.budget -= blocks;
    return blocks;
}

// The extent must lie on the disc (checked by the caller).
void ReadDirectory(Walk& walk, const DiscRecord& at, const std::string& name, PDirEntry target, int level) {
    walk.walked.insert(at.extent);
    const uint64_t blocks = DirectoryBlocks(walk, at, name);
    std::vector<uint8_t> block(kBlockBytes);
    for (uint64_t i = 0; i < blocks; ++i) {
        // A block that cannot be read ends the directory.
        if (!ReadBlock(walk.burner, at.extent + i, block)) return;
        ReadRecords(walk, block, at.extent + i, i == 0, target, level);
    }
}

bool IsDescriptor(std::span<const uint8_t> block) {
    return AsText(block.subspan(descriptor::kStandardIdentifier, kStandardIdentifier.size())) == kStandardIdentifier;
}

// Looks for a descriptor of `type` in the session's descriptor blocks and reads its
// tree into target; false when there is none before the set's terminator.
bool ReadTree(Walk& walk, uint32_t start, uint8_t type, PDirEntry target) {
    std::vector<uint8_t> block(kBlockBytes);
    for (uint32_t i = 0; i < kDescriptorBlocks; ++i) {
        if (!ReadBlock(walk.burner, uint64_t{start} + kFirstDescriptorBlock + i, block)) continue;
        if (!IsDescriptor(block)) continue;
        const uint8_t found = block[descriptor::kType];
        if (found == descriptor::kTerminatorType) return false;
        if (found != type) continue;
        DiscRecord root;
        root.extent = ReadLE32(block, descriptor::kRootDirectoryRecord + record::kExtent);
        root.dataLength = ReadLE32(block, descriptor::kRootDirectoryRecord + record::kDataLength);
        if (root.extent >= walk.discBlocks) {
            Report(walk.burner, fmt::format(fmt::runtime(texts::kBeyondDisc), "\\", root.extent, root.dataLength,
                                            walk.discBlocks));
            return true;
        }
        ReadDirectory(walk, root, "\\", target, 0);
        return true;
    }
    return false;
}

// A disc just put in is still spinning up, and its table of contents answers
// "not ready" meanwhile: wait for it as the disc information does, rather than
// take it for a disc without sessions.
void WaitForTheDisc(TvxCDBurner& burner) {
    if (drive::TestUnitReady(burner, kTestUnitReadyTimeoutMs)) return;
    if (drive::LastAsc(burner) == drive::kAscNotReady) drive::WaitUntilReady(burner, kSpinUpWaitMs, kSpinUpPollMs);
}

}  // namespace

bool ImportSession(TvxCDBurner& burner, int8_t SessionNo, PDirEntry Dir) {
    const PDirEntry target = Dir != nullptr ? Dir : burner.Root();
    WaitForTheDisc(burner);
    const int sessions = drive::LastSessionNumber(burner);
    if (sessions == 0 || SessionNo == 0 || target == nullptr) return false;
    const int session = SessionNo < 0 || SessionNo > sessions ? sessions : SessionNo;
    burner.DebugMsg(std::string(kNote) + fmt::format(fmt::runtime(messages::kImportingSession), session),
                    kDebugProgress);

    const auto start = SessionStart(burner, session);
    if (!start) {
        Report(burner, std::string(kNote) + std::string(messages::kImportError) + " # " + std::to_string(session));
        return false;
    }
    const uint64_t discBlocks = DiscBlocks(burner);
    // The Joliet tree has the long names; the ISO tree serves a disc without one.
    if (Walk joliet(burner, true, discBlocks); ReadTree(joliet, *start, descriptor::kSupplementaryType, target)) {
        return true;
    }
    if (Walk iso(burner, false, discBlocks); ReadTree(iso, *start, descriptor::kPrimaryType, target)) return true;
    Report(burner, std::string(kNote) + fmt::format(fmt::runtime(messages::kImportImageNotFound), session));
    return false;
}

}  // namespace tavrin::sessions
