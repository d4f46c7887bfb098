// Starting the transport, listing the recorders and selecting one: what every
// command of tavrin-cli does first.
#pragma once

#include <string>

#include "cli/commands.h"
#include "engine/compilation/burner.h"
#include "engine/device/scsi_device.h"

namespace tavrin::cli {

// The transport and the device list for the lifetime of one command; the
// transport is released at the end, so a manager library's recorders are shut
// down before the program exits.
class DeviceSession {
public:
    // Prints the transport line; throws CommandFailure without a transport or
    // without any CD/DVD device.
    explicit DeviceSession(const Options& options);
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    // The recorder is the burner component's device: the writing commands use the
    // burner, the others only its device part.
    TvxCDBurner& burner() { return device_; }
    TSCSIDevice& device() { return device_; }

    // Selects the device named by a list line, its "adapter:target:lun" prefix or
    // its index in the list (empty: the first listed) and prints its line; throws
    // UsageError when it is not listed, CommandFailure when it cannot be selected.
    void Select(const std::string& name);

private:
    // Also when the constructor fails half-way.
    struct TransportRelease {
        TransportRelease() = default;
        TransportRelease(const TransportRelease&) = delete;
        TransportRelease& operator=(const TransportRelease&) = delete;
        ~TransportRelease();
    };
    TransportRelease release_;
    TvxCDBurner device_;
};

// The listed line a user's device name stands for; empty when none.
std::string FindListedDevice(const TSCSIDevice& device, const std::string& name);

}  // namespace tavrin::cli
