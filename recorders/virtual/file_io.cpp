#include "recorders/virtual/file_io.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include <fmt/format.h>

namespace tavrin::vrecorder {
namespace {

std::string errnoText(std::string_view what, const std::filesystem::path& file) {
    return fmt::format("{} {}: {}", what, file.string(), std::strerror(errno));
}

bool writeAll(int fd, std::string_view contents) {
    while (!contents.empty()) {
        const ssize_t n = ::write(fd, contents.data(), contents.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        contents.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

}  // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

UniqueFd::~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
}

int UniqueFd::release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

bool replaceFileAtomically(const std::filesystem::path& file, std::string_view contents,
                           bool durable, std::string& error) {
    const std::filesystem::path temp = file.string() + ".tmp";
    {
        const UniqueFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (!fd.valid()) {
            error = errnoText("cannot create", temp);
            return false;
        }
        if (!writeAll(fd.get(), contents) || (durable && ::fsync(fd.get()) != 0)) {
            error = errnoText("cannot write", temp);
            ::unlink(temp.c_str());
            return false;
        }
    }
    if (::rename(temp.c_str(), file.c_str()) != 0) {
        error = errnoText("cannot replace", file);
        ::unlink(temp.c_str());
        return false;
    }
    if (!durable) return true;
    // The rename itself is only on the disc once the folder is flushed.
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
    const UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.valid() || ::fsync(dir.get()) != 0) {
        error = errnoText("cannot flush folder", folder);
        return false;
    }
    return true;
}

bool readSmallFile(const std::filesystem::path& file, std::string& contents, std::string& error) {
    constexpr size_t kLimit = 16 * 1024 * 1024;  // metadata files are small; refuse a giant
    const UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) {
        error = errnoText("cannot open", file);
        return false;
    }
    contents.clear();
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = errnoText("cannot read", file);
            return false;
        }
        if (n == 0) return true;
        contents.append(buffer, static_cast<size_t>(n));
        if (contents.size() > kLimit) {
            error = fmt::format("{}: larger than {} bytes", file.string(), kLimit);
            return false;
        }
    }
}

}  // namespace tavrin::vrecorder
