// One recorder behind a host adapter address, as the manager sees it: something
// that takes a CDB with its data and answers like a drive on a bus would.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

namespace tavrin::aspilib {

enum class Direction : uint8_t { None, In, Out };

// A command copied out of its request block, so that carrying it out never
// touches the caller's memory.
struct Command {
    std::vector<uint8_t> cdb;
    Direction direction = Direction::None;
    std::vector<uint8_t> data;  // Out: the bytes to send; In: room for the answer
};

struct Outcome {
    uint8_t hostStatus = 0;    // SRB_HaStat
    uint8_t targetStatus = 0;  // SRB_TargStat (SCSI status)
    std::vector<uint8_t> sense;
    std::size_t transferred = 0;  // In: bytes of `data` the answer filled
    bool hang = false;            // never completes
    std::chrono::nanoseconds delay{0};  // how long the drive takes before it answers
};

class Carrier {
public:
    virtual ~Carrier() = default;
    // Peripheral device type for the scan; none when nothing answers there.
    virtual std::optional<uint8_t> deviceType() = 0;
    // `command.data` receives the answer of an In command. Called from one thread
    // at a time per carrier.
    virtual Outcome execute(Command& command) = 0;
};

}  // namespace tavrin::aspilib
