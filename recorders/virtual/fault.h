#pragma once
// Faults the owner of a virtual recorder can tell it to inject.

#include <chrono>
#include <cstdint>
#include <optional>

namespace tavrin::vrecorder {

struct Faults {
    // NOT READY, BECOMING READY for the first N commands after a load (or start).
    uint32_t notReadyCommands = 0;
    // NOT READY, BECOMING READY for this long (in model time, unscaled) after a load.
    std::chrono::milliseconds notReadyAfterLoad{0};
    // BUSY status for this many WRITE (10) commands.
    uint32_t busyWrites = 0;
    // A write that does not fit in the drive buffer gets LONG WRITE IN PROGRESS
    // instead of waiting for the buffer to drain.
    bool longWriteWhenBufferFull = false;
    std::optional<uint32_t> writeErrorBlock;  // MEDIUM ERROR writing this block
    std::optional<uint32_t> readErrorBlock;   // MEDIUM ERROR reading this block
    std::optional<uint8_t> refusedOpcode;     // INVALID COMMAND OPERATION CODE for it
    bool unitAttentionOnDiscChange = false;   // UNIT ATTENTION, MEDIUM CHANGED once
    std::optional<uint8_t> hangOpcode;        // this command never completes
    // The disc vanishes when a write reaches this block (the tray is left closed).
    std::optional<uint32_t> removeDiscAtBlock;
};

// What is left of the counted faults; reset on every load.
struct FaultCounters {
    uint32_t notReadyCommands = 0;
    uint32_t busyWrites = 0;
    void arm(const Faults& f) {
        notReadyCommands = f.notReadyCommands;
        busyWrites = f.busyWrites;
    }
};

}  // namespace tavrin::vrecorder
