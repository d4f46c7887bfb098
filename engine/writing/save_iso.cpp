#include "engine/writing/save_iso.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/compilation/texts.h"
#include "engine/platform/file.h"
#include "engine/writing/disc_writer.h"
#include "engine/writing/io_error.h"

namespace tavrin::writing {

namespace {

constexpr std::string_view kUnknownReason = "the operation failed";

// Files of the table whose data the image carries: not directories, not data that
// lies on a disc already, and files with a source and at least one byte.
bool HasDataToWrite(const TFEntry& entry) {
    if (entry.IsSubdirectory() || (entry.Attr & platform::kAttrDirectory) != 0) return false;
    return !entry.Imported && !entry.SourcePath.empty() && entry.Size > 0;
}

platform::File CreateImage(std::string_view fileName) {
    errno = 0;
    auto image = platform::File::create(fileName);
    if (!image) throw IOErrorFromSystem(fileName, errno, kUnknownReason);
    return *std::move(image);
}

void WriteImage(platform::File& image, std::span<const uint8_t> bytes, std::string_view fileName) {
    errno = 0;
    if (!image.write(bytes)) throw IOErrorFromSystem(fileName, errno, kUnknownReason);
}

uint64_t ImageBlock(platform::File& image, std::string_view fileName) {
    errno = 0;
    const auto position = image.position();
    if (!position) throw IOErrorFromSystem(fileName, errno, kUnknownReason);
    return *position / kBlockBytes;
}

// A file that does not start at its extent is only traced: the layout and the file
// table disagree, and the save goes on as the table says.
void CheckPosition(TvxCDBurner& burner, platform::File& image, const TFEntry& entry, std::string_view fileName) {
    const uint64_t block = ImageBlock(image, fileName);
    const uint64_t expected = uint64_t{burner.Layout.FirstFileBlock} + entry.IsoExtent;
    if (block == expected) return;
    burner.DebugMsg(fmt::format("{}{} {} {}<>{}", compilation::texts::kNote, kInternalError0004, entry.SourcePath,
                                expected, block),
                    kDebugImage);
}

// Copies the entry's Size bytes, chunk by chunk, each written in whole blocks so that
// the tail of the last block is zero. The size is counted in 64 bits.
void CopyFileData(platform::File& source, platform::File& image, const TFEntry& entry, std::vector<uint8_t>& chunk,
                  std::string_view fileName) {
    uint64_t left = entry.Size;
    while (left > 0) {
        const std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(chunk.size(), left));
        if (n < chunk.size()) std::fill(chunk.begin() + static_cast<std::ptrdiff_t>(n), chunk.end(), uint8_t{0});
        errno = 0;
        const auto got = source.read(std::span(chunk.data(), n));
        if (!got) throw IOErrorFromSystem(entry.SourcePath, errno, kUnknownReason);
        if (*got < n) throw IOError(entry.SourcePath, std::string(kSourceShorter));
        WriteImage(image, std::span<const uint8_t>(chunk.data(), BlockRounded(n)), fileName);
        left -= n;
    }
}

void WriteFile(TvxCDBurner& burner, platform::File& image, const TFEntry& entry, std::vector<uint8_t>& chunk,
               std::string_view fileName) {
    errno = 0;
    auto source = platform::File::openRead(entry.SourcePath);
    if (!source) throw IOErrorFromSystem(entry.SourcePath, errno, kUnknownReason);
    CheckPosition(burner, image, entry, fileName);
    CopyFileData(*source, image, entry, chunk, fileName);
}

void SaveQuick(TvxCDBurner& burner, std::string_view fileName) {
    platform::File image = CreateImage(fileName);
    WriteImage(image, burner.HeaderStream, fileName);
    std::vector<uint8_t> chunk(kQuickChunkBytes);
    for (const auto& entry : burner.Tree().Files()) {
        if (HasDataToWrite(*entry)) WriteFile(burner, image, *entry, chunk, fileName);
    }
    errno = 0;
    if (!image.close()) throw IOErrorFromSystem(fileName, errno, kUnknownReason);
    burner.DoWriteDone("");
}

}  // namespace

void SaveISO(TvxCDBurner& burner, std::string_view FileName, bool Quick) {
    if (!Quick) {
        DiscWriter writer(burner);
        writer.SaveISO(std::string(FileName), false);
        writer.WaitDone();
        return;
    }
    SaveQuick(burner, FileName);
}

}  // namespace tavrin::writing
