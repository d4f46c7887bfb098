#pragma once
// The drive's write buffer: filled by WRITE (10), drained onto the disc at the write
// speed. Evaluated lazily from the time of each command.

#include <chrono>
#include <cstdint>

namespace tavrin::vrecorder {

class DriveBuffer {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    explicit DriveBuffer(uint32_t capacityBytes) : capacity_(capacityBytes) {}

    uint32_t capacity() const { return capacity_; }
    // Bytes waiting at `now` when draining at `bytesPerSecond` of model time, with
    // `timeScale` real seconds per model second (0: drains at once).
    uint32_t filled(TimePoint now, double bytesPerSecond, double timeScale) const;
    uint32_t freeBytes(TimePoint now, double bytesPerSecond, double timeScale) const {
        return capacity_ - filled(now, bytesPerSecond, timeScale);
    }
    // Adds a write; the buffer never holds more than its capacity (a longer write
    // waited for space). True when the buffer had run empty before this write came:
    // the recording was starved mid-track, a buffer underrun. Never with an instant
    // drain, and never for the first write after clear().
    bool add(uint32_t bytes, TimePoint now, double bytesPerSecond, double timeScale);
    void clear() { filled_ = 0; }

private:
    // Bytes the drive could have written onto the disc since the last write (timeScale > 0).
    double drainedSince(TimePoint now, double bytesPerSecond, double timeScale) const;

    uint32_t capacity_;
    uint32_t filled_ = 0;
    TimePoint since_{};
};

}  // namespace tavrin::vrecorder
