// The start of a track as READ TOC gives it in minutes, seconds and frames: where
// an import finds its session and what the session list shows.
#pragma once

#include <cstdint>
#include <optional>

#include "engine/device/scsi_device.h"

namespace tavrin::sessions {

struct TocAddress {
    uint8_t minutes = 0, seconds = 0, frames = 0;
};

// MSF 00:02:00 is block 0.
inline constexpr uint32_t kMsfOriginFrames = 150;

// The address of the first descriptor READ TOC (format 0, MSF) answers from
// `track` on: that track's start, or the lead-out's for track AAh. None when the
// drive refuses or its answer stops short of the address. `length` is the
// allocation length asked for, at most kTocLength.
inline constexpr uint8_t kTocLength = 254;
std::optional<TocAddress> ReadTocAddress(TSCSIDevice& device, uint8_t track, uint8_t length = kTocLength);

// The address counted in frames from 00:00:00.
uint32_t FramesOf(const TocAddress& address);

}  // namespace tavrin::sessions
