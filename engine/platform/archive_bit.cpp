#include "engine/platform/archive_bit.h"

#include <cerrno>
#include <cstdint>
#include <string>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

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

// getxattrat (Linux 6.13): the attribute of a folder's entry without walking the
// whole path again, which cost adding a large folder a fifth of its time. Older C
// libraries have no name for it; its number is the same on every architecture.
constexpr long kGetxattratCall = 464;

struct XattrArgs {
    uint64_t value;
    uint32_t size;
    uint32_t flags;
};

ssize_t ReadAttributeAt(int dirFd, const char* name, char* into, std::size_t size) {
    XattrArgs args{reinterpret_cast<uintptr_t>(into), static_cast<uint32_t>(size), 0};
    return ::syscall(kGetxattratCall, dirFd, name, 0u, kWrittenAttribute, &args, sizeof args);
}

// The kernel has no such call, or a sandbox refuses it: ask by path instead.
bool CallMissing(int error) { return error == ENOSYS || error == EPERM || error == EINVAL; }

bool DiffersFromStamp(const char* stored, ssize_t n, const struct stat& status) {
    if (n < 0) return true;  // never written, or no attributes here
    return std::string(stored, static_cast<std::size_t>(n)) != StampOf(status);
}

}  // namespace

bool HasArchiveBitNative(const char* nativePath, const struct stat& status) {
    char stored[64];
    return DiffersFromStamp(stored, ::getxattr(nativePath, kWrittenAttribute, stored, sizeof stored), status);
}

bool HasArchiveBitAt(int dirFd, const char* name, const char* nativePath, const struct stat& status) {
    char stored[64];
    const ssize_t n = ReadAttributeAt(dirFd, name, stored, sizeof stored);
    if (n < 0 && CallMissing(errno)) return HasArchiveBitNative(nativePath, status);
    return DiffersFromStamp(stored, n, status);
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
