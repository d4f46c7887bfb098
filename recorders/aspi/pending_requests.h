// The execute requests handed out and not yet finished. Completion and abort both
// go through this table under its lock, so whichever comes first wins, and after an
// abort nothing touches the request block or its event again (the caller frees
// both right after the abort returns).
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "engine/device/aspi.h"
#include "recorders/aspi/carrier.h"

namespace tavrin::aspilib {

class PendingRequests {
public:
    PendingRequests() = default;
    ~PendingRequests();  // closes the events still held, touches no request
    PendingRequests(const PendingRequests&) = delete;
    PendingRequests& operator=(const PendingRequests&) = delete;

    // Marks the request pending and remembers it; `eventFd` (may be -1) is the
    // caller's completion event, of which the table keeps its own duplicate.
    // Returns the ticket that completes it.
    uint64_t add(aspi::SRB_ExecSCSICmd* request, int eventFd);

    // Writes the answer into the request and signals its event, unless it was
    // aborted (or replaced) meanwhile. Returns the status written, or none.
    std::optional<uint8_t> complete(uint64_t ticket, const Command& command, const Outcome& outcome);

    // Completes a pending request with SS_ABORTED; false when it is not pending.
    bool abort(const void* request);

    bool pending(uint64_t ticket) const;

private:
    struct Entry {
        aspi::SRB_ExecSCSICmd* request;
        uint64_t ticket;
        int eventFd;  // our duplicate, or -1
    };
    static void release(Entry& e);

    mutable std::mutex mutex_;
    std::unordered_map<const void*, Entry> entries_;
    uint64_t nextTicket_ = 1;
};

}  // namespace tavrin::aspilib
