// The upgrade check: libautoupgrade.so beside the program, when it is there, says
// through is_done() that the program should end; without it the answer is no.
#pragma once

#include <optional>
#include <string>

#include "engine/platform/dynamic_library.h"

namespace tavrin::app {

class UpgradeCheck {
public:
    // Loads the library at `path`; a missing library or entry point answers false.
    explicit UpgradeCheck(const std::string& path);
    bool IsDone() const;

private:
    using IsDoneFn = bool (*)();
    std::optional<platform::DynamicLibrary> library_;
    IsDoneFn isDone_ = nullptr;
};

}  // namespace tavrin::app
