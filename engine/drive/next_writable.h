// Where a sequential disc takes its next data: the next writable address of its
// invisible (or incomplete) track, as the drive reports it once it has been set up
// for the coming write.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "engine/device/scsi_device.h"
#include "engine/drive/wait_ready.h"

namespace tavrin::drive {

// The incomplete track of a sequential disc, where the next session is written.
inline constexpr uint8_t kInvisibleTrack = 255;

// A next writable address beyond this is a drive's placeholder, not an address.
inline constexpr uint32_t kLargestNextWritable = 0xFF000000;

// The next writable address of a track information answer (host order, as READ
// TRACK INFORMATION leaves it), when the drive says it has one.
std::optional<uint32_t> NextWritableOf(std::span<const uint8_t> trackInformation);

// Sets the drive up as for writing a session (the disc to be closed, for that one
// call), waits for it (up to 10 s, polled every 500 ms) before and after, and asks
// the invisible track for its next writable address. Empty when the drive does not
// answer or gives no address.
std::optional<uint32_t> ReadNextWritable(TSCSIDevice& device, bool testWrite, bool underrunProtection,
                                         uint8_t mediaType, const SleepFn& sleep);

}  // namespace tavrin::drive
