#include "engine/drive/wait_ready.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <thread>

#include "engine/drive/media_info.h"
#include "engine/drive/media_types.h"
#include "engine/drive/mmc_commands.h"
#include "engine/drive/sense_fields.h"

namespace tavrin::drive {
namespace {


constexpr int kSlowReadyStepMs = 1500;
constexpr int kTestUnitReadyTimeoutMs = 5000;
constexpr uint8_t kSenseLength = 40;

bool NotReady(const TSCSIDevice& device) { return LastAsc(device) == kAscNotReady; }

// The time left to wait; accounting goes on in whole poll intervals, but no
// sleep may run past the end of the budget.
class Budget {
public:
    Budget(int timeoutMs, const SleepFn& sleep) : leftMs_(timeoutMs), sleep_(sleep) {}

    void Sleep(int ms) const {
        const int64_t ms64 = std::min<int64_t>(ms, leftMs_);
        if (ms64 > 0) sleep_(static_cast<int>(ms64));
    }
    // False once the budget is overdrawn.
    bool Spend(int ms) {
        leftMs_ -= ms;
        return leftMs_ >= 0;
    }

private:
    int64_t leftMs_;
    const SleepFn& sleep_;
};

// Drives known to need a long time before they answer at all get a first
// phase of TEST UNIT READY every 1.5 s.
void SlowReadyPhase(TSCSIDevice& device, Budget& budget) {
    do {
        budget.Sleep(kSlowReadyStepMs);
        if (!budget.Spend(kSlowReadyStepMs)) return;
        TestUnitReady(device, kTestUnitReadyTimeoutMs);
    } while (NotReady(device));
}

bool DiscInformationPhase(TSCSIDevice& device, Budget& budget, int pollMs) {
    do {
        budget.Sleep(pollMs);
        ReadDiscInfo(device);
        if (!budget.Spend(pollMs)) return false;
    } while (NotReady(device));
    return true;
}

bool TestUnitReadyPhase(TSCSIDevice& device, Budget& budget, int pollMs) {
    do {
        budget.Sleep(pollMs);
        if (!budget.Spend(pollMs)) return false;
        TestUnitReady(device, kTestUnitReadyTimeoutMs);
    } while (NotReady(device));
    return true;
}

// A drive may accept TEST UNIT READY while it still reports the long operation
// in its sense data; ask it directly until the sense is clear.
bool RequestSensePhase(TSCSIDevice& device, Budget& budget, int pollMs) {
    auto& sense = Buffers().sense;
    do {
        sense.fill(0);
        RequestSense(device, sense, kSenseLength);
        if (!budget.Spend(pollMs)) return false;
        if (sense[kSenseResponseAt] == kResponseValidCurrent) sense[kSenseAscAt] = kAscNotReady;
        if (sense[kSenseAscAt] == kAscNotReady) budget.Sleep(pollMs);
    } while (sense[kSenseAscAt] != 0);
    return true;
}

}  // namespace

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool WaitUntilReady(TSCSIDevice& device, int timeoutMs, int pollMs, const SleepFn& sleep) {
    auto& sense = Buffers().sense;
    sense.fill(0);
    Budget budget(timeoutMs, sleep);

    if (device.QuirkDVR10x || QuirkSlowReady()) SlowReadyPhase(device, budget);

    if (CurrentMediaType() == media::kDVDRAM) {
        // DVD-RAM is judged by the drive's sense data alone: skip the disc
        // information poll and end with the REQUEST SENSE poll.
        sense[kSenseAscAt] = kAscNotReady;
    } else if (!DiscInformationPhase(device, budget, pollMs)) {
        return false;
    }

    if (TestUnitReady(device, kTestUnitReadyTimeoutMs) && sense[kSenseAscAt] == 0) return true;
    if (!TestUnitReadyPhase(device, budget, pollMs)) return false;
    return RequestSensePhase(device, budget, pollMs);
}

}  // namespace tavrin::drive
