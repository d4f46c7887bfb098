#include "engine/compilation/local_paths.h"

#include <algorithm>

#include "engine/compilation/names.h"

namespace tavrin::compilation {

bool IsNetworkPath(std::string_view path) {
    return path.starts_with("//");
}

bool IsLocalPath(std::string_view path) {
    return path.starts_with(kSlash) && !IsNetworkPath(path);
}

std::string_view WithoutServerAndShare(std::string_view path) {
    const auto afterServer = path.find(kSlash, 2);
    if (afterServer == std::string_view::npos) return {};
    const auto afterShare = path.find(kSlash, afterServer + 1);
    if (afterShare == std::string_view::npos) return {};
    return path.substr(afterShare);
}

std::string_view FolderPart(std::string_view filePath) {
    const auto slash = filePath.rfind(kSlash);
    return slash == std::string_view::npos ? std::string_view{} : filePath.substr(0, slash + 1);
}

std::string CompilationFolderOf(std::string_view folder) {
    if (!folder.starts_with(kSlash)) return std::string(folder);
    std::string path(IsNetworkPath(folder) ? WithoutServerAndShare(folder) : folder);
    std::replace(path.begin(), path.end(), kSlash, kBackslash);
    return path;
}

std::string KeepLastFolder(std::string_view path) {
    if (path.size() <= 1) return std::string(path);
    const auto start = LastBackslashBefore(path, LastCharacterStart(path));
    return std::string(start ? path.substr(*start) : path);
}

}  // namespace tavrin::compilation
