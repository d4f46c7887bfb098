#include "recorders/virtual/mmc_buffer.h"

#include <algorithm>

namespace tavrin::vrecorder {

uint32_t DriveBuffer::filled(TimePoint now, double bytesPerSecond, double timeScale) const {
    if (timeScale <= 0 || filled_ == 0) return 0;
    const double seconds = std::chrono::duration<double>(now - since_).count() / timeScale;
    const double drained = std::max(0.0, seconds) * bytesPerSecond;
    if (drained >= filled_) return 0;
    return filled_ - static_cast<uint32_t>(drained);
}

void DriveBuffer::add(uint32_t bytes, TimePoint now, double bytesPerSecond, double timeScale) {
    const uint64_t total = uint64_t{filled(now, bytesPerSecond, timeScale)} + bytes;
    filled_ = static_cast<uint32_t>(std::min<uint64_t>(total, capacity_));
    since_ = now;
    if (timeScale <= 0) filled_ = 0;
}

}  // namespace tavrin::vrecorder
