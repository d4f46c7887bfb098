#include "engine/platform/manual_reset_event.h"

#include <chrono>
#include <thread>

namespace tavrin::platform {

void ManualResetEvent::set() {
    {
        const std::lock_guard lock(mutex_);
        set_ = true;
    }
    changed_.notify_all();
}

void ManualResetEvent::reset() {
    const std::lock_guard lock(mutex_);
    set_ = false;
}

bool ManualResetEvent::isSet() const {
    const std::lock_guard lock(mutex_);
    return set_;
}

bool ManualResetEvent::wait(int timeoutMs) const {
    std::unique_lock lock(mutex_);
    const auto timeout = std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0);
    return changed_.wait_for(lock, timeout, [this] { return set_; });
}

void ManualResetEvent::wait() const {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return set_; });
}

void SleepMs(unsigned milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace tavrin::platform
