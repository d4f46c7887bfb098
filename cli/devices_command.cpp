#include <fmt/format.h>

#include "cli/commands.h"
#include "cli/device_session.h"

namespace tavrin::cli {

void RunDevices(const Options& options) {
    DeviceSession session(options);
    for (const std::string& line : session.device().DeviceList) fmt::print("{}\n", line);
}

}  // namespace tavrin::cli
