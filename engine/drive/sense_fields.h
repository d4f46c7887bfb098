// The fields of fixed-format sense data that the engine acts on.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/device/scsi_device.h"

namespace tavrin::drive {

inline constexpr std::size_t kSenseResponseAt = 0;
inline constexpr std::size_t kSenseAscAt = 12;

// Logical unit not ready: the drive is still busy with the disc.
inline constexpr uint8_t kAscNotReady = 0x04;
// A current error with the VALID bit set: some drives answer this while busy,
// without a reason code.
inline constexpr uint8_t kResponseValidCurrent = 0xF0;

// The additional sense code of the last failed command (0 without sense data).
inline uint8_t LastAsc(const TSCSIDevice& device) { return device.LastSense[kSenseAscAt]; }

}  // namespace tavrin::drive
