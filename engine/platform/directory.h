// Listing a local folder into the records the compilation takes: GBK names, DOS
// attributes and a DOS date-time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/platform/local_time.h"

namespace tavrin::platform {

inline constexpr std::uint32_t kAttrReadOnly = 0x01;   // the owner may not write
inline constexpr std::uint32_t kAttrHidden = 0x02;     // the name begins with "."
inline constexpr std::uint32_t kAttrSystem = 0x04;     // never set on Linux
inline constexpr std::uint32_t kAttrDirectory = 0x10;
inline constexpr std::uint32_t kAttrArchive = 0x20;    // files changed since their last write to a disc

struct SearchRecord {
    std::string name;           // GBK
    std::string alternateName;  // the 8.3 alias: Linux has none, always empty
    std::uint32_t attr = 0;
    DosDateTime time = 0;       // last write, local time
    std::uint32_t sizeHigh = 0;
    std::uint32_t sizeLow = 0;

    std::uint64_t size() const { return std::uint64_t{sizeHigh} << 32 | sizeLow; }
};

struct DirectoryListing {
    std::vector<SearchRecord> entries;  // in the order the file system gives them
    // Names (as the file system spells them, UTF-8) with no GBK form: not listed, so
    // that the caller can say which ones were left out.
    std::vector<std::string> unlistable;
};

// Every entry of the folder at a GBK path, "." and ".." included. "." and ".." carry
// the attributes of the folders they name, without the hidden bit. None when the
// folder cannot be read.
std::optional<DirectoryListing> ListDirectory(std::string_view path);

// The record of one file or folder, named by the last part of its path.
std::optional<SearchRecord> StatRecord(std::string_view path);

}  // namespace tavrin::platform
