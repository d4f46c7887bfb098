#include "cli/device_session.h"

#include <charconv>
#include <cstddef>
#include <cstdio>
#include <system_error>

#include <fmt/format.h>

#include "engine/device/transport.h"
#include "engine/drive/device_selection.h"

namespace tavrin::cli {
namespace {

constexpr const char* kBuiltInTransport = "KTASPI32";

}  // namespace

DeviceSession::DeviceSession(const Options& options) {
    if (options.verbose) {
        device_.DoDebug = true;
        device_.OnDebugMessage = [](TSCSIDevice&, const std::string& message, uint8_t) {
            fmt::print(stderr, "debug: {}\n", message);
        };
    }
    if (!drive::InitializeDevices(device_, options.builtIn))
        throw CommandFailure("cannot start a transport: no ASPI manager library and no optical drive");
    // Asked for by name, the built-in transport is not silently replaced by the
    // manager library when it finds no drive.
    if (options.builtIn && TransportName() != kBuiltInTransport)
        throw CommandFailure("the built-in transport found no optical drive (/dev/srN)");
    fmt::print("transport: {}\n", TransportName());
    if (device_.DeviceList.empty()) throw CommandFailure("no CD/DVD device found");
}

DeviceSession::TransportRelease::~TransportRelease() { ShutdownTransport(); }

void DeviceSession::Select(const std::string& name) {
    const std::string line = FindListedDevice(device_, name);
    if (line.empty()) throw UsageError(fmt::format("no such device: {} (see tavrin-cli devices)", name));
    drive::SelectDevice(device_, line);
    if (!device_.HasDevice()) throw CommandFailure(fmt::format("invalid device: {}", name));
    fmt::print("device: {}\n", line);
}

std::string FindListedDevice(const TSCSIDevice& device, const std::string& name) {
    const auto& list = device.DeviceList;
    if (name.empty()) return list.empty() ? std::string() : list.front();
    std::size_t index = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), index);
    if (error == std::errc() && end == name.data() + name.size()) return index < list.size() ? list[index] : "";
    for (const std::string& line : list) {
        if (line == name || line.starts_with(name + ",")) return line;
    }
    return {};
}

}  // namespace tavrin::cli
