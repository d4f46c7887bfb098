#include "recorders/aspi/pending_requests.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "engine/platform/request_event.h"

namespace tavrin::aspilib {
namespace {

// The engine reads SRB_Status while the request is carried out elsewhere; every
// other field is written before the status that publishes it.
void publishStatus(aspi::SRB_ExecSCSICmd& request, uint8_t status) {
    std::atomic_ref<uint8_t>(request.SRB_Status).store(status, std::memory_order_release);
}

// A duplicate of the caller's event: signalling it stays harmless even when the
// caller has closed its own descriptor after seeing the status, and can never hit
// an unrelated file that reused the number.
int duplicate(int fd) {
    if (fd < 0) return -1;
    return ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
}

void writeAnswer(aspi::SRB_ExecSCSICmd& request, const Command& command, const Outcome& outcome) {
    if (command.direction == Direction::In && request.SRB_BufPointer) {
        const std::size_t n = std::min<std::size_t>(outcome.transferred, request.SRB_BufLen);
        std::memcpy(request.SRB_BufPointer, command.data.data(), n);
    }
    const std::size_t senseLength =
        std::min({std::size_t{request.SRB_SenseLen}, aspi::SENSE_AREA_LEN, outcome.sense.size()});
    std::copy_n(outcome.sense.begin(), senseLength, request.SenseArea);
    request.SRB_HaStat = outcome.hostStatus;
    request.SRB_TargStat = outcome.targetStatus;
}

uint8_t statusOf(const Outcome& outcome) {
    const bool good = outcome.hostStatus == aspi::HASTAT_OK && outcome.targetStatus == aspi::STATUS_GOOD;
    return good ? aspi::SS_COMP : aspi::SS_ERR;
}

}  // namespace

PendingRequests::~PendingRequests() {
    for (auto& [key, entry] : entries_) release(entry);
}

void PendingRequests::release(Entry& e) {
    if (e.eventFd >= 0) ::close(e.eventFd);
    e.eventFd = -1;
}

uint64_t PendingRequests::add(aspi::SRB_ExecSCSICmd* request, int eventFd) {
    const int own = duplicate(eventFd);
    const std::lock_guard lock(mutex_);
    publishStatus(*request, aspi::SS_PENDING);
    const uint64_t ticket = nextTicket_++;
    auto [it, fresh] = entries_.try_emplace(request, Entry{request, ticket, own});
    if (!fresh) {
        // The caller reused a block it never saw finish: the new request replaces it.
        release(it->second);
        it->second = Entry{request, ticket, own};
    }
    return ticket;
}

std::optional<uint8_t> PendingRequests::complete(uint64_t ticket, const Command& command, const Outcome& outcome) {
    const std::lock_guard lock(mutex_);
    const auto it = std::find_if(entries_.begin(), entries_.end(),
                                 [ticket](const auto& kv) { return kv.second.ticket == ticket; });
    if (it == entries_.end()) return std::nullopt;
    Entry entry = it->second;
    entries_.erase(it);
    writeAnswer(*entry.request, command, outcome);
    const uint8_t status = statusOf(outcome);
    publishStatus(*entry.request, status);
    if (entry.eventFd >= 0) platform::RequestEvent::signal(entry.eventFd);
    release(entry);
    return status;
}

bool PendingRequests::abort(const void* request) {
    const std::lock_guard lock(mutex_);
    const auto it = entries_.find(request);
    if (it == entries_.end()) return false;
    publishStatus(*it->second.request, aspi::SS_ABORTED);
    release(it->second);
    entries_.erase(it);
    return true;
}

bool PendingRequests::pending(uint64_t ticket) const {
    const std::lock_guard lock(mutex_);
    return std::any_of(entries_.begin(), entries_.end(),
                       [ticket](const auto& kv) { return kv.second.ticket == ticket; });
}

}  // namespace tavrin::aspilib
