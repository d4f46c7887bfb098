// A manual-reset event for threads of this process: once set, every wait returns at once
// until it is reset.
#pragma once

#include <condition_variable>
#include <mutex>

namespace tavrin::platform {

class ManualResetEvent {
public:
    explicit ManualResetEvent(bool initiallySet = false) : set_(initiallySet) {}
    ManualResetEvent(const ManualResetEvent&) = delete;
    ManualResetEvent& operator=(const ManualResetEvent&) = delete;

    void set();
    void reset();
    bool isSet() const;
    // True when the event is set within timeoutMs milliseconds (0: just look).
    bool wait(int timeoutMs) const;
    void wait() const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool set_;
};

// Sleeps the calling thread for a number of milliseconds.
void SleepMs(unsigned milliseconds);

}  // namespace tavrin::platform
