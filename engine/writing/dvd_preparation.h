// What a DVD recorder is told before a track is written in one go: the streaming
// performance to aim for, the disc's time stamp, and the size of the track.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>

#include "engine/device/scsi_device.h"

namespace tavrin::writing {

// The one performance descriptor of SET STREAMING.
inline constexpr std::size_t kStreamingListBytes = 28;
namespace streaming {
inline constexpr std::size_t kFlags = 0;  // WRC, RDD, Exact, RA
inline constexpr std::size_t kStartLba = 4;
inline constexpr std::size_t kEndLba = 8;
inline constexpr std::size_t kReadSize = 12;  // kB
inline constexpr std::size_t kReadTime = 16;  // ms
inline constexpr std::size_t kWriteSize = 20;  // kB
inline constexpr std::size_t kWriteTime = 24;  // ms
}  // namespace streaming

// The whole of a single-layer disc at the drive's best speed.
std::array<uint8_t, kStreamingListBytes> StreamingDescriptor();

// The local time now, for the disc's time stamp.
std::tm CurrentLocalTime();

// SET STREAMING, SEND DVD STRUCTURE with the time stamp `now`, and RESERVE TRACK of
// reservationBlocks, without waiting in between. The answers are not checked: a
// drive that refused any of them fails the first WRITE, which reports.
void PrepareDVDTrack(TSCSIDevice& device, uint32_t reservationBlocks, const std::tm& now);

}  // namespace tavrin::writing
