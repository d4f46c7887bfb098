// What the writer threads share with the job that started them and with the
// progress display: the control flags, the counters, and the waits they make.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>

#include "engine/drive/wait_ready.h"
#include "engine/writing/dvd_preparation.h"

namespace tavrin::writing {

// Read by the user-interface thread without a lock, hence atomics.
struct WriterState {
    std::atomic<bool> AbortRequested{false};
    std::atomic<bool> WriteInProgress{false};
    std::atomic<int64_t> BytesWritten{0};
};

using LocalTimeFn = std::function<std::tm()>;

// The waits and limits of a write. Tests shorten them; the defaults are the drive's.
struct WriterOptions {
    // Every wait of the writers and of their drive polls.
    drive::SleepFn sleep = drive::SleepMs;
    // WRITE (10) attempts while the drive stays busy or not ready.
    int busyTries = 10000;
    // One-second rounds to wait for a DVD-R family drive to finish its lead-out:
    // as long as the flush itself may take. A drive that never answers again (the
    // disc was pulled) must not hold the writer for ever.
    int leadOutRounds = 1800;
    // The time stamp the DVD preparation sends.
    LocalTimeFn localTime = CurrentLocalTime;
};

}  // namespace tavrin::writing
