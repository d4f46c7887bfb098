#include "engine/platform/executable_folder.h"

#include <filesystem>
#include <system_error>

#include "engine/platform/gbk.h"

namespace tavrin::platform {

std::optional<std::string> ExecutableFolder() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || !exe.has_parent_path()) return std::nullopt;
    std::string folder = exe.parent_path().native();
    if (folder.empty() || folder.back() != '/') folder += '/';
    return Utf8ToGbk(folder);
}

}  // namespace tavrin::platform
