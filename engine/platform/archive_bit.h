// The archive bit ("changed since it was last written to a disc"), which Linux files do
// not have: an extended attribute holds the file's modification time as of the last
// successful write. Where the file system keeps no extended attributes every file has
// the bit, and resetting it does nothing.
#pragma once

#include <string_view>
#include <sys/stat.h>

namespace tavrin::platform {

inline constexpr const char* kWrittenAttribute = "user.tavrin.written";

// Paths are GBK.
bool HasArchiveBit(std::string_view path);
// False only when the file cannot be reached; a file system without extended
// attributes is no failure.
bool ResetArchiveBit(std::string_view path);

// For a listing that has already read the file's status; the path is native (UTF-8).
bool HasArchiveBitNative(const char* nativePath, const struct stat& status);
// The same for the entry `name` of the open folder dirFd (nativePath is its whole
// path): read relative to the folder where the kernel can.
bool HasArchiveBitAt(int dirFd, const char* name, const char* nativePath, const struct stat& status);

}  // namespace tavrin::platform
