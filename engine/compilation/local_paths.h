// Local (POSIX) source paths as the compilation takes them: which are folders on this
// machine, which are network paths (//server/share/rest), and how a source folder
// becomes a compilation path ("/" becomes "\"). Paths are GBK; "/" is never a GBK
// trail byte, so it is searched for as a byte.
#pragma once

#include <string>
#include <string_view>

namespace tavrin::compilation {

inline constexpr char kSlash = '/';

bool IsNetworkPath(std::string_view path);
// An absolute path on this machine: one the folder scan may list.
bool IsLocalPath(std::string_view path);
// //server/share/rest becomes /rest (empty when nothing follows the share).
std::string_view WithoutServerAndShare(std::string_view path);
// Up to and including the last "/"; empty when there is none.
std::string_view FolderPart(std::string_view filePath);
// A local folder path as a compilation path: the server and share of a network
// path dropped, "/" turned into "\". Any other text (already a compilation path)
// is kept whole.
std::string CompilationFolderOf(std::string_view folder);
// Only the last folder of a compilation folder path: \data\photos\ gives \photos\;
// a path of one character stays as it is.
std::string KeepLastFolder(std::string_view path);

}  // namespace tavrin::compilation
