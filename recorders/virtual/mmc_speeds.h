#pragma once
// Read and write speeds of the virtual recorder, in KB/s as page 2Ah reports them.

#include <cstdint>
#include <span>

namespace tavrin::vrecorder {

inline constexpr uint16_t kMaximumSpeed = 0xFFFF;  // SET CD SPEED: the drive's fastest

struct SpeedTable {
    std::span<const uint16_t> write;  // fastest first, as page 2Ah lists them
    uint16_t maxRead = 0;
};

// CD speeds are multiples of 176.4 KB/s, DVD speeds of 1,385 KB/s.
SpeedTable speedsFor(bool dvd);

// The supported speed nearest to the one asked for; kMaximumSpeed asks for the fastest.
uint16_t snapSpeed(std::span<const uint16_t> supported, uint16_t requested);

}  // namespace tavrin::vrecorder
