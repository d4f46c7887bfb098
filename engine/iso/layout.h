// The layout of one disc session: where it starts, where every directory and file
// goes, and every block in front of the file data (HeaderStream). The writers send
// HeaderStream, then the data of the file table's files at their extents.
//
// Layout, in ascending blocks from the session start S (Joliet parts only with a
// Joliet tree): S..S+15 zeros, the primary descriptor, the Joliet descriptor, the
// terminator, the ISO path tables L and M, the Joliet path tables L and M, the ISO
// directory records, the Joliet directory records, zero blocks up to block 149 when
// the records end before it, then the file data from FirstFileBlock.
#pragma once

#include <cstdint>

#include "engine/compilation/burner.h"
#include "engine/compilation/entries.h"
#include "engine/drive/wait_ready.h"

namespace tavrin::iso {

// The block below which no file data starts: readers and drives expect a session of
// at least this many blocks.
inline constexpr uint32_t kMinimumFirstFileBlock = 150;
// The size a session is padded to with zero blocks when WritePostGap is on.
inline constexpr uint64_t kPostGapSessionBlocks = 300;

// Lays out the compilation for an image file (ForImageFile) or for the disc in the
// drive, and fills burner.Layout, HeaderStream, every directory's extent offsets and
// sizes and every file entry's extents. The self and parent records carry buildTime
// (local); `sleep` serves the waits for the drive. False only when the tree cannot be
// recorded: a directory numbered beyond a path table's 16-bit parent field, or a name
// that no record holds; HeaderStream is then left empty.
bool Prepare(TvxCDBurner& burner, bool ForImageFile, TDateTime buildTime,
             const drive::SleepFn& sleep = drive::SleepMs);
// The same at the present local time.
bool Prepare(TvxCDBurner& burner, bool ForImageFile);

// The blocks the writers send for the last layout: the session size, or 300 when
// WritePostGap is on and the session is smaller.
uint64_t ImageSizeBlocks(const TvxCDBurner& burner);

// The first block of a new session on the disc in the drive: its next writable
// address, or 0 (random-access media, a blank disc, a drive that gives no address).
// The drive is waited for (up to 10 s, polled every 500 ms) before and after it is
// set up for writing.
uint32_t NextSessionStart(TvxCDBurner& burner, const drive::SleepFn& sleep = drive::SleepMs);

}  // namespace tavrin::iso
