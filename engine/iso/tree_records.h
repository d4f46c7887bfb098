// The directory records of one directory of the compilation in one tree: its self and
// parent records, then one record per entry in list order (entries inside a
// directory are recorded as they were added, not sorted).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "engine/compilation/entries.h"
#include "engine/iso/directory_order.h"
#include "engine/iso/directory_record.h"
#include "engine/iso/joliet_names.h"

namespace tavrin::iso {

// Where the layout put the tree's records and the file data, and the dates.
struct TreePlacement {
    Tree tree = Tree::Iso;
    uint32_t areaStartBlock = 0;  // absolute first block of the tree's directory-record area
    uint32_t firstFileBlock = 0;  // absolute first block of the file data
    RecordingDate now{};          // the self and parent records carry the time of the build
    int8_t gmtOffset = 0;         // for the entries' own dates
};

// The record of one entry. A subdirectory entry points to its directory's extent in
// this tree; a file to its data (FirstFileBlock + its extent; an imported file to its
// block in the earlier session; an empty file to block 0). None when the name does not
// fit a record.
std::optional<std::vector<uint8_t>> EncodeEntryRecord(const TFEntry& entry, const TreePlacement& placement,
                                                      JolietNameEncoder& encoder);

// The directory's extent: whole blocks, no record across a block boundary. The
// directory's and its parent's extent offsets and sizes in this tree must be set.
// None when an entry's record cannot be encoded.
std::optional<std::vector<uint8_t>> EncodeDirectoryRecords(const TDEntry& dir, const TreePlacement& placement,
                                                           JolietNameEncoder& encoder);

// The extent size of the directory in this tree, in bytes (whole blocks), as the
// layout needs it before any extent is placed; none as above.
std::optional<uint64_t> DirectoryRecordBytes(const TDEntry& dir, Tree tree, JolietNameEncoder& encoder);

}  // namespace tavrin::iso
