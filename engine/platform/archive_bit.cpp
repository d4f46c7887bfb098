#include "engine/platform/archive_bit.h"

#include <cerrno>
#include <string>
#include <sys/xattr.h>

#include "engine/platform/gbk.h"

namespace tavrin::platform {

namespace {

// The modification time as the attribute stores it: seconds, ".", nanoseconds.
std::string StampOf(const struct stat& status) {
    return std::to_string(status.st_mtim.tv_sec) + "." + std::to_string(status.st_mtim.tv_nsec);
}

bool Unsupported(int error) {
    return error == ENOTSUP || error == EOPNOTSUPP || error == EPERM;
}

}  // namespace

bool HasArchiveBitNative(const char* nativePath, const struct stat& status) {
    char stored[64];
    const ssize_t n = ::getxattr(nativePath, kWrittenAttribute, stored, sizeof stored);
    if (n < 0) return true;  // never written, or no attributes here
    return std::string(stored, static_cast<std::size_t>(n)) != StampOf(status);
}

bool HasArchiveBit(std::string_view path) {
    const auto native = GbkToUtf8(path);
    struct stat status{};
    if (!native || ::stat(native->c_str(), &status) != 0) return true;
    return HasArchiveBitNative(native->c_str(), status);
}

bool ResetArchiveBit(std::string_view path) {
    const auto native = GbkToUtf8(path);
    struct stat status{};
    if (!native || ::stat(native->c_str(), &status) != 0) return false;
    const std::string stamp = StampOf(status);
    const char* name = native->c_str();
    auto store = [&] { return ::setxattr(name, kWrittenAttribute, stamp.data(), stamp.size(), 0) == 0; };
    if (store()) return true;
    if (errno != EACCES || (status.st_mode & S_IWUSR) != 0) return Unsupported(errno);
    // Setting an attribute needs write permission, which a read-only file lacks: lend
    // it for the moment (the modification time is not touched by either change).
    if (::chmod(name, (status.st_mode | S_IWUSR) & 07777) != 0) return false;
    const bool stored = store();
    const int error = errno;
    ::chmod(name, status.st_mode & 07777);
    return stored || Unsupported(error);
}

}  // namespace tavrin::platform
