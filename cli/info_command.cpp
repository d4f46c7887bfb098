#include <fmt/format.h>

#include "cli/commands.h"
#include "cli/device_session.h"
#include "engine/drive/capabilities.h"

namespace tavrin::cli {

// What the burner information shows: selecting the device has just read its
// capabilities. The maximum speeds are the device's own, which keep the larger
// first reading (a DVD-RAM writer reports single speed in its current page).
void RunInfo(const Options& options) {
    DeviceSession session(options);
    session.Select(options.device);
    const TSCSIDevice& device = session.device();
    for (const drive::CapabilityName& capability : drive::CapabilityNames()) {
        if (device.CapabilityFlags & capability.flag) fmt::print("capability: {}\n", capability.name);
    }
    fmt::print("max read speed: {}\n", device.DeviceMaxReadSpeed);
    fmt::print("max write speed: {}\n", device.DeviceMaxWriteSpeed);
}

}  // namespace tavrin::cli
