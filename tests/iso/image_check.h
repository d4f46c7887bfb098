// Reading back what the layout wrote: numbers at offsets, the directory records of an
// extent, the whole image file made of the header and the file data, and the
// project's verifier run on it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/compilation/burner.h"
#include "engine/platform/gbk.h"
#include "tests/support/shared_tools.h"
#include "tests/support/shell.h"

namespace tavrin::testing {

using Bytes = std::vector<uint8_t>;

inline uint32_t Le32(std::span<const uint8_t> b, std::size_t at) {
    return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 | uint32_t{b[at + 3]} << 24;
}
inline uint32_t Be32(std::span<const uint8_t> b, std::size_t at) {
    return uint32_t{b[at + 3]} | uint32_t{b[at + 2]} << 8 | uint32_t{b[at + 1]} << 16 | uint32_t{b[at]} << 24;
}
inline uint16_t Le16(std::span<const uint8_t> b, std::size_t at) {
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}
inline uint16_t Be16(std::span<const uint8_t> b, std::size_t at) {
    return static_cast<uint16_t>(b[at + 1] | b[at] << 8);
}
// A both-byte-orders 32-bit field whose halves agree, else a value no test expects.
inline uint64_t Both32(std::span<const uint8_t> b, std::size_t at) {
    return Le32(b, at) == Be32(b, at + 4) ? Le32(b, at) : 0xFFFFFFFFFFull;
}

struct ParsedRecord {
    std::size_t offset = 0;  // into the extent
    std::string identifier;
    uint64_t extent = 0;
    uint64_t size = 0;
    std::array<uint8_t, 7> date{};
    uint8_t flags = 0;
};

// The records of a directory extent; a zero length byte ends a block's records.
inline std::vector<ParsedRecord> ReadRecords(std::span<const uint8_t> extent) {
    std::vector<ParsedRecord> records;
    for (std::size_t at = 0; at < extent.size();) {
        const uint8_t length = extent[at];
        if (length == 0) {
            at = (at / kBlockBytes + 1) * kBlockBytes;
            continue;
        }
        ParsedRecord r;
        r.offset = at;
        r.extent = Both32(extent, at + 2);
        r.size = Both32(extent, at + 10);
        std::copy_n(extent.begin() + static_cast<std::ptrdiff_t>(at + 18), 7, r.date.begin());
        r.flags = extent[at + 25];
        r.identifier.assign(reinterpret_cast<const char*>(&extent[at + 33]), extent[at + 32]);
        records.push_back(std::move(r));
        at += length;
    }
    return records;
}

inline void WriteBytes(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The session as a writer sends it: the header, then each file's bytes at its
// extent (the rest of its last block zero), up to the end block. In front of the
// header go `earlier` (the disc's previous sessions), filled with zeros up to the
// session start.
inline Bytes SessionImage(TvxCDBurner& burner, Bytes earlier = {}) {
    const TSessionLayout& layout = burner.Layout;
    Bytes image = std::move(earlier);
    image.resize(uint64_t{layout.SessionStart} * kBlockBytes, 0);
    image.insert(image.end(), burner.HeaderStream.begin(), burner.HeaderStream.end());
    image.resize(layout.EndBlock * kBlockBytes, 0);
    for (const auto& entry : burner.Tree().Files()) {
        if (entry->IsSubdirectory() || entry->Imported || entry->Size == 0) continue;
        const Bytes data = ReadBytes(platform::GbkToUtf8(entry->SourcePath).value());
        EXPECT_EQ(data.size(), entry->Size) << entry->SourcePath;
        std::copy(data.begin(), data.end(),
                  image.begin() + static_cast<std::ptrdiff_t>((layout.FirstFileBlock + entry->IsoExtent) * kBlockBytes));
    }
    return image;
}

using test::Capture;
using test::CommandRun;

// The project's verifier, or none when it cannot be found.
inline std::optional<std::filesystem::path> Verifier() {
    const std::filesystem::path verifier = test::SharedTool("verify-iso");
    if (!std::filesystem::exists(verifier)) return std::nullopt;
    return verifier;
}

}  // namespace tavrin::testing
