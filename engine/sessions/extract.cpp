#include "engine/sessions/extract.h"

#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/compilation/date_time.h"
#include "engine/device/messages.h"
#include "engine/drive/mmc_commands.h"
#include "engine/platform/file.h"
#include "engine/platform/gbk.h"
#include "engine/platform/local_time.h"
#include "engine/writing/io_error.h"

namespace tavrin::sessions {
namespace {

// The copy moves at most 31 blocks per READ (10): a transfer every drive and
// adapter takes.
constexpr uint32_t kBlocksPerRead = 31;
constexpr uint32_t kChunkBytes = kBlocksPerRead * kBlockBytes;  // 63,488
constexpr std::size_t kCopyBufferBytes = 65536;

// Said when the copy stops half-way: the local file is removed, as it is no copy of
// the disc's file.
constexpr std::string_view kExtractReadError = "ERROR READING FILE {} FROM THE DISC AT BLOCK {}, {} NOT EXTRACTED";
constexpr std::string_view kUnknownReason = "unknown error";

// The longest name a Linux file system holds, in bytes of its UTF-8 form.
constexpr std::size_t kLongestLocalName = 255;
constexpr char kReplacement = '_';

uint32_t BlocksFor(uint32_t bytes) {
    return static_cast<uint32_t>((uint64_t{bytes} + kBlockBytes - 1) / kBlockBytes);
}

// The entry's date as the file system's two-second DOS date-time; dates outside
// the DOS years are clamped, an impossible one becomes 1 January 1980.
platform::DosDateTime DosDateOf(TDateTime when) {
    const auto local = compilation::LocalFromDateTime(when);
    const auto dos = local ? platform::DosFromLocal(*local) : std::nullopt;
    return dos.value_or(platform::DosFromLocal(platform::LocalDateTime{}).value_or(0));
}

// The local file being written, removed again unless the copy completes: a part
// of a file must not look like a copy of it.
class PartialFile {
public:
    explicit PartialFile(std::string_view path) : path_(path) {}
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;
    ~PartialFile() {
        if (kept_) return;
        if (const auto native = platform::GbkToUtf8(path_)) ::unlink(native->c_str());
    }
    void Keep() { kept_ = true; }

private:
    std::string path_;
    bool kept_ = false;
};

// Copies Size bytes from the blocks at IsoExtent on; false at the first READ that
// fails (or one that would run past the last block address), after the debug line.
bool CopyBlocks(TvxCDBurner& burner, const TFEntry& entry, std::string_view fileName, platform::File& file) {
    std::vector<uint8_t> buffer(kCopyBufferBytes);
    uint64_t block = entry.IsoExtent;
    uint32_t left = static_cast<uint32_t>(entry.Size);  // a directory record's data length is 32-bit
    while (left > 0) {
        const uint32_t chunk = std::min(left, kChunkBytes);
        const uint32_t blocks = BlocksFor(chunk);
        const bool addressable = block + blocks - 1 <= std::numeric_limits<uint32_t>::max();
        if (!addressable || !drive::Read10(burner, static_cast<uint32_t>(block), static_cast<uint16_t>(blocks),
                                           blocks * static_cast<uint32_t>(kBlockBytes), buffer)) {
            burner.DebugMsg(fmt::format(fmt::runtime(kExtractReadError), entry.LongName, block, fileName),
                            kDebugImage);
            return false;
        }
        if (!file.write(std::span<const uint8_t>(buffer).first(chunk)))
            throw IOErrorFromSystem(fileName, errno, kUnknownReason);
        block += blocks;
        left -= chunk;
    }
    return true;
}

bool IsGbkTrailByte(unsigned char byte) { return byte >= 0x40 && byte <= 0xFE && byte != 0x7F; }
bool IsGbkLeadByte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }

// One character of a disc name as a local name keeps it: its bytes and the length
// of its UTF-8 form.
struct KeptCharacter {
    std::string_view bytes;
    std::size_t utf8Bytes = 0;
};

// The character at `at` when a local name may keep it: a printable ASCII character
// other than a separator, or a double-byte GBK character that has a UTF-8 form (its
// trail byte may be 5Ch, which is then no "\"). None: the byte at `at` is replaced.
std::optional<KeptCharacter> Kept(std::string_view name, std::size_t at, platform::Converter& toUtf8) {
    const auto byte = static_cast<unsigned char>(name[at]);
    if (byte < 0x80) {
        const bool control = byte < 0x20 || byte == 0x7F;
        if (control || byte == '/' || byte == '\\') return std::nullopt;
        return KeptCharacter{name.substr(at, 1), 1};
    }
    if (!IsGbkLeadByte(byte) || at + 1 >= name.size()) return std::nullopt;
    if (!IsGbkTrailByte(static_cast<unsigned char>(name[at + 1]))) return std::nullopt;
    const std::string_view pair = name.substr(at, 2);
    const auto utf8 = toUtf8.convert(pair);
    if (!utf8) return std::nullopt;
    return KeptCharacter{pair, utf8->size()};
}

}  // namespace

bool ExtractFile(TvxCDBurner& burner, PFileEntry Entry, std::string_view FileName) {
    if (Entry == nullptr || Entry->IsSubdirectory()) return false;
    burner.DebugMsg(">>> " + fmt::format(fmt::runtime(messages::kExtractingFile), Entry->LongName, FileName),
                    kDebugProgress);
    // An entry whose data is not on the disc has nothing to copy from it; an empty
    // file (imported without an extent) has nothing to read.
    if (!Entry->Imported && Entry->Size != 0) return false;

    auto file = platform::File::create(FileName);
    if (!file) throw IOErrorFromSystem(FileName, errno, kUnknownReason);
    PartialFile partial(FileName);
    if (!CopyBlocks(burner, *Entry, FileName, *file)) return false;
    // The time is set last: closing changes no date, a write after it would.
    file->setLastWriteTime(DosDateOf(Entry->DateTime));
    if (!file->close()) throw IOErrorFromSystem(FileName, errno, kUnknownReason);
    partial.Keep();
    return true;
}

std::string SafeLocalName(std::string_view discName) {
    platform::Converter toUtf8(platform::Charset::Gbk, platform::Charset::Utf8);
    std::string safe;
    std::size_t utf8Bytes = 0;
    for (std::size_t at = 0; at < discName.size();) {
        const auto kept = Kept(discName, at, toUtf8);
        const std::string_view bytes = kept ? kept->bytes : std::string_view(&kReplacement, 1);
        const std::size_t width = kept ? kept->utf8Bytes : 1;
        // Cut at a character, never inside one, where the file system's limit is reached.
        if (utf8Bytes + width > kLongestLocalName) break;
        safe += bytes;
        utf8Bytes += width;
        at += kept ? bytes.size() : 1;
    }
    if (safe.empty() || safe == ".") return std::string(1, kReplacement);
    if (safe == "..") return std::string(2, kReplacement);
    return safe;
}

}  // namespace tavrin::sessions
