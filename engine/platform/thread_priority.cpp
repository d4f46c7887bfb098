#include "engine/platform/thread_priority.h"

#include <cerrno>
#include <sys/resource.h>
#include <unistd.h>

namespace tavrin::platform {

namespace {

constexpr int kNiceHighest = -20;
constexpr int kNiceLowest = 19;

// The lowest nice value an unprivileged thread may take: 20 minus RLIMIT_NICE.
int NiceFloor() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NICE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return kNiceHighest;
    const long floor = 20 - static_cast<long>(limit.rlim_cur);
    return floor < kNiceHighest ? kNiceHighest : static_cast<int>(floor);
}

bool SetNice(int nice) {
    // On Linux a thread id names one thread to setpriority.
    return ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), nice) == 0;
}

}  // namespace

int NiceValueOf(ThreadPriority priority) {
    switch (priority) {
        case ThreadPriority::Idle: return kNiceLowest;
        case ThreadPriority::Lowest: return 10;
        case ThreadPriority::BelowNormal: return 5;
        case ThreadPriority::Normal: return 0;
        case ThreadPriority::AboveNormal: return -5;
        case ThreadPriority::Highest: return -10;
        case ThreadPriority::TimeCritical: return kNiceHighest;
    }
    return 0;
}

void SetCurrentThreadPriority(ThreadPriority priority) {
    const int nice = NiceValueOf(priority);
    if (SetNice(nice) || priority != ThreadPriority::TimeCritical) return;
    // Without the privilege to reach -20, as high as the resource limit allows, if that
    // is higher than where the thread stands.
    const int floor = NiceFloor();
    if (floor < CurrentThreadNice()) SetNice(floor);
}

int CurrentThreadNice() {
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
    return errno == 0 ? nice : 0;
}

}  // namespace tavrin::platform
