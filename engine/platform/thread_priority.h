// Scheduling levels of worker threads, mapped to nice values of the calling thread.
#pragma once

namespace tavrin::platform {

enum class ThreadPriority { Idle, Lowest, BelowNormal, Normal, AboveNormal, Highest, TimeCritical };

// The nice value a level asks for. Time-critical asks for -20 and settles for the
// lowest value the process is allowed.
int NiceValueOf(ThreadPriority priority);

// Applies to the calling thread only. A level the process may not set (an ordinary
// user cannot lower a nice value below its resource limit) is ignored.
void SetCurrentThreadPriority(ThreadPriority priority);

// The calling thread's nice value.
int CurrentThreadNice();

}  // namespace tavrin::platform
