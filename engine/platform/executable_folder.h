// The folder of the running program, where the settings file and the Log folder live.
#pragma once

#include <optional>
#include <string>

namespace tavrin::platform {

// GBK, ending in "/". None when the program's path cannot be read or has no GBK form.
std::optional<std::string> ExecutableFolder();

}  // namespace tavrin::platform
