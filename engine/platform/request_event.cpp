#include "engine/platform/request_event.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace tavrin::platform {

RequestEvent::RequestEvent() {
    int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    // SRB_PostProc 0 means "no event": never hand out descriptor 0, which a
    // process started without standard input may get.
    if (fd == 0) {
        const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
        ::close(fd);
        fd = moved;
    }
    fd_ = fd;
}

RequestEvent::~RequestEvent() {
    if (fd_ >= 0) ::close(fd_);
}

void RequestEvent::reset() {
    if (fd_ < 0) return;
    uint64_t value = 0;
    while (::read(fd_, &value, sizeof value) == static_cast<ssize_t>(sizeof value)) {
    }
}

bool RequestEvent::wait(int timeoutMs) {
    if (fd_ < 0) return false;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        // Rounded up, and polled again after an early wake-up: a drive is given its
        // whole time-out, never a hair less.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd p{fd_, POLLIN, 0};
        const int n = ::poll(&p, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
        if (n > 0) return true;  // the counter stays set: a manual-reset event
        if (n == 0 && Clock::now() >= deadline) return false;
        if (n < 0 && errno != EINTR) return false;
    }
}

void RequestEvent::signal(int fd) {
    const uint64_t one = 1;
    while (::write(fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

}  // namespace tavrin::platform
