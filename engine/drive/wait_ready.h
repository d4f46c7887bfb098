// Waiting for the drive to become ready again after a long command (closing a
// session, blanking, formatting): the drive answers "not ready" (ASC 04h) while
// it is still busy with the disc.
#pragma once

#include <functional>

#include "engine/device/scsi_device.h"

namespace tavrin::drive {

// Sleeps the calling thread; tests pass one that only records the sleeps.
using SleepFn = std::function<void(int ms)>;
void SleepMs(int ms);

// Polls until the drive is ready or timeoutMs is used up; true when ready.
// Each poll accounts pollMs against the budget; no sleep is longer than what is
// left of it.
bool WaitUntilReady(TSCSIDevice& device, int timeoutMs, int pollMs, const SleepFn& sleep = SleepMs);

}  // namespace tavrin::drive
