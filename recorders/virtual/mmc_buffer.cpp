#include "recorders/virtual/mmc_buffer.h"

#include <algorithm>

namespace tavrin::vrecorder {

double DriveBuffer::drainedSince(TimePoint now, double bytesPerSecond, double timeScale) const {
    const double seconds = std::chrono::duration<double>(now - since_).count() / timeScale;
    return std::max(0.0, seconds) * bytesPerSecond;
}

uint32_t DriveBuffer::filled(TimePoint now, double bytesPerSecond, double timeScale) const {
    if (timeScale <= 0 || filled_ == 0) return 0;
    const double drained = drainedSince(now, bytesPerSecond, timeScale);
    if (drained >= filled_) return 0;
    return filled_ - static_cast<uint32_t>(drained);
}

bool DriveBuffer::add(uint32_t bytes, TimePoint now, double bytesPerSecond, double timeScale) {
    // Data written earlier and nothing left of it now: the drive ran dry before
    // this write arrived (a write arriving at the very moment it empties is in time).
    const bool ranEmpty = timeScale > 0 && filled_ > 0 && drainedSince(now, bytesPerSecond, timeScale) > filled_;
    const uint64_t total = uint64_t{filled(now, bytesPerSecond, timeScale)} + bytes;
    filled_ = static_cast<uint32_t>(std::min<uint64_t>(total, capacity_));
    since_ = now;
    if (timeScale <= 0) filled_ = 0;
    return ranEmpty;
}

}  // namespace tavrin::vrecorder
