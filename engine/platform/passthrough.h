// The system calls of the built-in pass-through transport: open an optical drive,
// send it one CDB through SG_IO, ask its SCSI address, close it. The transport only
// sees this narrow interface, so a test can stand in a table of drives for /dev/srN.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace tavrin::platform {

enum class DataDirection { None, In, Out, Unspecified };

struct PassThroughCommand {
    std::span<const uint8_t> cdb;
    DataDirection direction = DataDirection::None;
    uint8_t* data = nullptr;
    uint32_t length = 0;
    unsigned timeoutMs = 120000;
    std::span<uint8_t> sense;  // room for the sense bytes the drive returns
};

struct PassThroughResult {
    bool ioctlOk = false;      // the request reached the driver and came back
    uint8_t status = 0;        // SCSI status byte
    uint8_t hostStatus = 0;    // adapter trouble: time-out, lost connection, reset
    uint8_t driverStatus = 0;  // DRIVER_SENSE alone only says sense was returned
    uint8_t senseLength = 0;   // sense bytes returned (sb_len_wr)

    // The command ran on the drive: a time-out or a lost connection can come back
    // with status 0, and must not pass for a good answer.
    bool delivered() const;
};

struct ScsiAddress {
    uint8_t host = 0;
    uint8_t channel = 0;
    uint8_t id = 0;
    uint8_t lun = 0;
};

// SCSI_IOCTL_GET_IDLUN packs the address as host << 24 | channel << 16 | lun << 8 | id.
ScsiAddress DecodeIdLun(uint32_t packed);

// One open drive. Destroying it closes it.
class PassThroughDevice {
public:
    virtual ~PassThroughDevice() = default;
    virtual PassThroughResult execute(const PassThroughCommand& command) = 0;
    virtual std::optional<ScsiAddress> address() = 0;
    // False when the system reported an error; the handle is released either way.
    virtual bool close() = 0;
};

class PassThroughSystem {
public:
    virtual ~PassThroughSystem() = default;
    // Read and write access, falling back to read only; null when neither works.
    virtual std::unique_ptr<PassThroughDevice> open(const std::string& path) = 0;
    virtual bool isBlockDevice(const std::string& path) = 0;
};

// The real one: /dev/srN through SG_IO.
class LinuxPassThrough final : public PassThroughSystem {
public:
    std::unique_ptr<PassThroughDevice> open(const std::string& path) override;
    bool isBlockDevice(const std::string& path) override;
};

}  // namespace tavrin::platform
