// A stand-in ASPI manager library for the loading tests. Built in variants:
// FAKE_ADAPTERS tells the copies apart through the support info, FAKE_ASAPI
// exports the ASPI-compatible names, FAKE_NO_SEND leaves the send entry out.
// Every execute request is answered later, from a thread of the library, through
// the eventfd the request carries.
#include <cstdint>
#include <cstring>
#include <thread>
#include <unistd.h>

#include "engine/device/aspi.h"

namespace {

namespace aspi = tavrin::aspi;

// Joined before the next request and when the library is unloaded, so no thread
// of the library outlives its code.
struct Completer {
    std::thread thread;
    ~Completer() { join(); }
    void join() {
        if (thread.joinable()) thread.join();
    }
};
Completer completer;

void complete(aspi::SRB_ExecSCSICmd* srb) {
    const uint32_t n = srb->SRB_BufLen < 4 ? srb->SRB_BufLen : 4;
    if (srb->SRB_BufPointer) std::memset(srb->SRB_BufPointer, 0xA5, n);
    srb->SRB_Status = aspi::SS_COMP;
    const int fd = aspi::FdFromPostProc(srb->SRB_PostProc);
    const uint64_t one = 1;
    if (fd > 0) (void)!::write(fd, &one, sizeof one);
}

uint32_t supportInfo() { return (uint32_t{aspi::SS_COMP} << 8) | FAKE_ADAPTERS; }

uint32_t send(void* request) {
    if (!request) return aspi::SS_ERR;
    auto* const header = static_cast<aspi::SRB_Header*>(request);
    if (header->SRB_Cmd != aspi::SC_EXEC_SCSI_CMD) {
        header->SRB_Status = aspi::SS_ERR;
        return aspi::SS_ERR;
    }
    auto* const srb = static_cast<aspi::SRB_ExecSCSICmd*>(request);
    srb->SRB_Status = aspi::SS_PENDING;
    completer.join();
    completer.thread = std::thread(complete, srb);
    return aspi::SS_PENDING;
}

}  // namespace

#ifdef FAKE_ASAPI
#define SUPPORT_ENTRY GetASAPI32SupportInfo
#define SEND_ENTRY SendASAPI32Command
#else
#define SUPPORT_ENTRY GetASPI32SupportInfo
#define SEND_ENTRY SendASPI32Command
#endif

extern "C" __attribute__((visibility("default"))) uint32_t SUPPORT_ENTRY() { return supportInfo(); }

#ifndef FAKE_NO_SEND
extern "C" __attribute__((visibility("default"))) uint32_t SEND_ENTRY(void* request) { return send(request); }
#else
// Keeps send() referenced in the variant that does not export it.
extern "C" __attribute__((visibility("default"))) uint32_t FakeManagerUnexported(void* request) { return send(request); }
#endif
