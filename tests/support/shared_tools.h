#pragma once
// The project's shared test tools (verify-iso, tgt-target.sh, ...): in the shared
// folder beside the checkout, or in the workplace's shared folder when the checkout
// was cloned elsewhere.

#include <cstdlib>
#include <filesystem>
#include <string>

namespace tavrin::test {

inline std::filesystem::path SharedToolsFolder() {
    if (const char* source = std::getenv("TAVRIN_SOURCE_DIR")) {
        const std::filesystem::path beside = std::filesystem::path(source) / "../shared/tools";
        if (std::filesystem::exists(beside)) return beside;
    }
    return "/work/shared/tools";
}

inline std::filesystem::path SharedTool(const std::string& name) { return SharedToolsFolder() / name; }

}  // namespace tavrin::test
