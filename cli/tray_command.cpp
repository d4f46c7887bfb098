// eject and load: opens or closes the tray of a recorder.
#include <fmt/format.h>

#include "cli/commands.h"
#include "cli/device_session.h"
#include "engine/drive/mmc_commands.h"

namespace tavrin::cli {
namespace {

void MoveTray(const Options& options, bool eject) {
    DeviceSession session(options);
    session.Select(options.device);
    TSCSIDevice& device = session.device();
    if (!drive::StartStopUnit(device, eject)) {
        const std::string why = device.LastError.empty() ? "" : ": " + device.LastError;
        throw CommandFailure(fmt::format("the tray could not be {}{}", eject ? "opened" : "closed", why));
    }
    fmt::print("{}\n", eject ? "ejected" : "loaded");
}

}  // namespace

void RunEject(const Options& options) { MoveTray(options, true); }
void RunLoad(const Options& options) { MoveTray(options, false); }

}  // namespace tavrin::cli
