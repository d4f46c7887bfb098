// The records of the compilation: a directory (TDEntry) and an entry of a directory
// (TFEntry: a file, or the entry that stands for a subdirectory).
#pragma once

#include <cstdint>
#include <string>

namespace tavrin {

struct TDEntry;
struct TFEntry;
using PDirEntry = TDEntry*;
using PFileEntry = TFEntry*;

// Days since 30 December 1899 with the time of day as fraction, local time.
using TDateTime = double;

inline constexpr uint64_t kBlockBytes = 2048;

// The bytes a file occupies in the image: whole 2048-byte blocks.
constexpr uint64_t BlockRounded(uint64_t bytes) {
    return (bytes + kBlockBytes - 1) / kBlockBytes * kBlockBytes;
}

struct TDEntry {
    std::string ShortName;           // ISO 9660 identifier
    std::string LongName;            // Joliet identifier and path component
    uint64_t IsoExtentSize = 0;      // bytes of its ISO record extent, whole blocks
    uint64_t JolietExtentSize = 0;
    std::string FullPath;            // "\A\B", ASCII upper-cased; the root's is "\"
    uint32_t IsoExtentOffset = 0;    // blocks into the ISO directory-record area
    uint32_t JolietExtentOffset = 0;
    uint8_t Level = 0;               // the root is 1
    uint32_t Number = 0;             // working position in a path-table order
    PDirEntry Parent = nullptr;      // the root's parent is the root
    PFileEntry FirstEntry = nullptr;

    // Path-table numbers of the two trees, kept apart so that one sort does not
    // overwrite the other's numbering.
    uint32_t IsoNumber = 0;
    uint32_t JolietNumber = 0;

    // Kept by the compilation: the end of the list (appending a file to a large
    // folder does not walk it) and the creation order.
    PFileEntry LastEntry = nullptr;
    uint64_t Serial = 0;
    bool Deleted = false;  // waits for the tables to be compacted
};

struct TFEntry {
    std::string ShortName;     // ISO identifier without ";1", ASCII upper-cased
    std::string LongName;      // Joliet identifier without ";1"
    std::string SourcePath;    // local file; empty for subdirectories and imported data
    TDateTime DateTime = 0;
    uint64_t Size = 0;         // ISO data length
    uint64_t JolietSize = 0;   // Joliet data length
    uint32_t IsoExtent = 0;
    uint32_t JolietExtent = 0;
    uint32_t Attr = 0;         // 01h read-only, 02h hidden, 04h system, 10h directory, 20h archive
    // The flags sit together so that the record stays small (a compilation holds up
    // to 600,000 of them).
    bool Imported = false;     // the data lies on the disc already, at IsoExtent
    bool ClearArchive = false; // added with ArchiveOnly: its archive bit goes after a write
    bool Deleted = false;      // kept by the compilation: waits for the file table to be compacted
    PDirEntry Dir = nullptr;   // the directory a subdirectory entry stands for
    PFileEntry Next = nullptr;

    // Kept by the compilation: the entry in front (unlinking needs no walk) and the
    // directory whose list holds the entry (none once it is deleted).
    PFileEntry Prev = nullptr;
    PDirEntry Owner = nullptr;

    bool IsSubdirectory() const { return Dir != nullptr; }
};

}  // namespace tavrin
