#include "engine/platform/file.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "engine/platform/gbk.h"

namespace tavrin::platform {

namespace {

bool StatPath(std::string_view path, struct stat& st) {
    const auto native = GbkToUtf8(path);
    return native && ::stat(native->c_str(), &st) == 0;
}

std::optional<timespec> TimespecOf(DosDateTime when) {
    const auto local = LocalFromDos(when);
    if (!local) return std::nullopt;
    const auto instant = TimeOfLocal(*local);
    if (!instant) return std::nullopt;
    return timespec{*instant, 0};
}

}  // namespace

std::optional<File> File::openRead(std::string_view path) {
    const auto native = GbkToUtf8(path);
    if (!native) return std::nullopt;
    // Opening a FIFO for reading would wait for a writer: open without waiting, then
    // read normally.
    const int fd = ::open(native->c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    File file(fd);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) return std::nullopt;
    return file;
}

std::optional<File> File::openReadWrite(std::string_view path) {
    auto file = openWith(path, O_RDWR);
    if (!file || ::lseek(file->fd_, 0, SEEK_END) < 0) return std::nullopt;
    return file;
}

std::optional<File> File::create(std::string_view path) {
    return openWith(path, O_RDWR | O_CREAT | O_TRUNC);
}

std::optional<File> File::openAppend(std::string_view path) {
    return openWith(path, O_WRONLY | O_CREAT | O_APPEND);
}

std::optional<File> File::openWith(std::string_view path, int flags) {
    const auto native = GbkToUtf8(path);
    if (!native) return std::nullopt;
    const int fd = ::open(native->c_str(), flags | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) return std::nullopt;
    return File(fd);
}

File::File(File&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

File::~File() {
    if (fd_ >= 0) ::close(fd_);
}

std::optional<std::size_t> File::read(std::span<std::uint8_t> buffer) {
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t n = ::read(fd_, buffer.data() + done, buffer.size() - done);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::optional<std::size_t> File::readAt(std::uint64_t offset, std::span<std::uint8_t> buffer) {
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t n = ::pread(fd_, buffer.data() + done, buffer.size() - done,
                                  static_cast<off_t>(offset + done));
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

bool File::write(std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::optional<std::uint64_t> File::size() const {
    struct stat st{};
    if (::fstat(fd_, &st) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

std::optional<std::uint64_t> File::position() const {
    const off_t at = ::lseek(fd_, 0, SEEK_CUR);
    if (at < 0) return std::nullopt;
    return static_cast<std::uint64_t>(at);
}

bool File::seek(std::uint64_t offset) {
    return ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) >= 0;
}

bool File::setLastWriteTime(DosDateTime when) {
    const auto mtime = TimespecOf(when);
    if (!mtime) return false;
    const timespec times[2] = {{0, UTIME_OMIT}, *mtime};
    return ::futimens(fd_, times) == 0;
}

bool File::flush() {
    if (::fsync(fd_) == 0) return true;
    // Devices and pipes have nothing to synchronise; that is no failure.
    return errno == EINVAL || errno == EROFS;
}

// No fsync: an image or an extracted tree is handed to the page cache as any copy
// is, and a full disk fails at write(). Forcing every file to the disk made saving a
// 3 GB image wait a second for the disk and extracting 100,000 files crawl.
bool File::close() {
    if (fd_ < 0) return false;
    const int fd = std::exchange(fd_, -1);
    // The descriptor is gone after close even when it reports an error: never retry.
    return ::close(fd) == 0;
}

bool Exists(std::string_view path) {
    struct stat st{};
    return StatPath(path, st);
}

bool IsDirectory(std::string_view path) {
    struct stat st{};
    return StatPath(path, st) && S_ISDIR(st.st_mode);
}

bool CreateFolders(std::string_view path) {
    const auto native = GbkToUtf8(path);
    if (!native || native->empty()) return false;
    // Each prefix that ends before a "/" is a parent; the whole path is the last one.
    for (std::size_t at = 1; at <= native->size(); ++at) {
        if (at < native->size() && (*native)[at] != '/') continue;
        const std::string prefix = native->substr(0, at);
        if (::mkdir(prefix.c_str(), 0777) == 0 || errno == EEXIST) continue;
        return false;
    }
    struct stat st{};
    return ::stat(native->c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool SetLastWriteTime(std::string_view path, DosDateTime when) {
    const auto native = GbkToUtf8(path);
    const auto mtime = TimespecOf(when);
    if (!native || !mtime) return false;
    const timespec times[2] = {{0, UTIME_OMIT}, *mtime};
    return ::utimensat(AT_FDCWD, native->c_str(), times, 0) == 0;
}

}  // namespace tavrin::platform
