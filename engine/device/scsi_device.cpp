#include "engine/device/scsi_device.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "engine/device/command_names.h"
#include "engine/device/status_text.h"
#include "engine/device/trace_line.h"
#include "engine/device/transport.h"
#include "engine/platform/request_event.h"

namespace tavrin {
namespace {

constexpr uint8_t kNoOperation = 0xFF;  // a request the engine completes itself
constexpr uint8_t kLunBits = 0xE0;      // CDB byte 1, bits 7-5

// A library may complete the request on its own thread while this one waits.
uint8_t StatusOf(aspi::SRB_ExecSCSICmd& request) {
    return std::atomic_ref<uint8_t>(request.SRB_Status).load(std::memory_order_acquire);
}

bool Failed(uint8_t status) { return status != aspi::SS_PENDING && status != aspi::SS_COMP; }

// LOGICAL UNIT NOT READY, LONG WRITE IN PROGRESS: the drive is still busy with
// data it has buffered; callers wait that out, so it is not worth a trace.
bool LongWriteInProgress(const aspi::SRB_ExecSCSICmd& request) {
    const SenseView sense(request.SenseArea);
    return sense.asc() == 0x04 && sense.ascq() == 0x08;
}

}  // namespace

uint8_t TSCSIDevice::ExecuteCommand(aspi::SRB_ExecSCSICmd& request, int timeoutMs) {
    LastError.clear();
    TargetBusy = false;
    LastSense.fill(0);
    if (!ASPIInitialized() || !HasDevice()) return aspi::SS_NOT_SENT;

    std::optional<platform::RequestEvent> event;
    request.SRB_PostProc = nullptr;
    if (request.SRB_Flags & aspi::SRB_EVENT_NOTIFY) {
        event.emplace();
        // Without a descriptor the completion could never be seen.
        if (!event->valid()) return aspi::SS_NOT_SENT;
        event->reset();
        request.SRB_PostProc = aspi::PostProcFromFd(event->fd());
    }

    request.SRB_Cmd = aspi::SC_EXEC_SCSI_CMD;
    request.SRB_HaId = Selected.adapter;
    request.SRB_Target = Selected.target;
    request.SRB_Lun = Selected.lun;
    request.SRB_SenseLen = aspi::SENSE_LEN;
    request.CDBByte[1] = static_cast<uint8_t>((request.CDBByte[1] & ~kLunBits) | ((Selected.lun << 5) & kLunBits));

    if (request.CDBByte[0] == kNoOperation) {
        request.SRB_Status = aspi::SS_COMP;
    } else {
        SendASPI32Command(&request);
    }

    if (event && StatusOf(request) == aspi::SS_PENDING) event->wait(std::max(timeoutMs, kMinimumCommandTimeoutMs));

    const uint8_t status = StatusOf(request);
    if (Failed(status)) {
        DecodeStatus(request);
        if (!IsQuietCommand(request.CDBByte[0]) && !LongWriteInProgress(request))
            DebugMsg(TraceLine(request, LastError), kDebugTrace);
    }
    if (status == aspi::SS_PENDING) {
        AbortRequest(request);
        event.reset();
        request.SRB_Status = aspi::SS_ERR;
        request.SRB_HaStat = aspi::HASTAT_TIMEOUT;
    }
    return aspi::SS_COMP;
}

// The drive never answered: the transport must let go of the request block
// before the caller's buffer goes away.
void TSCSIDevice::AbortRequest(aspi::SRB_ExecSCSICmd& request) {
    AbortBlock = aspi::SRB_Abort{};
    AbortBlock.SRB_Cmd = aspi::SC_ABORT_SRB;
    AbortBlock.SRB_HaId = Selected.adapter;
    AbortBlock.SRB_ToAbort = &request;
    SendASPI32Command(&AbortBlock);
}

void TSCSIDevice::DecodeStatus(const aspi::SRB_ExecSCSICmd& request) {
    const RequestOutcome outcome{request.SRB_Status, request.SRB_HaStat, request.SRB_TargStat};
    DecodedStatus decoded = tavrin::DecodeStatus(outcome, SenseView(request.SenseArea));
    LastError = std::move(decoded.text);
    TargetBusy = decoded.targetBusy;
    std::copy(std::begin(request.SenseArea), std::end(request.SenseArea), LastSense.begin());
}

void TSCSIDevice::DebugMsg(const std::string& message, uint8_t mType) {
    if (DebugWindow) DebugWindow->get().AddLine(message);
    if (OnDebugMessage) OnDebugMessage(*this, message, mType);
}

void TSCSIDevice::Notification(const DebugLines& removed) {
    if (DebugWindow && &DebugWindow->get() == &removed) DebugWindow.reset();
}

void TSCSIDevice::ApplyQuirks(const ModelQuirks& quirks) {
    QuirkDVR10x = quirks.dvr10x;
    QuirkCRX100E = quirks.crx100e;
    QuirkBufferUnderrun = quirks.bufferUnderrun;
    QuirkLinkSize = quirks.linkSize;
    SetQuirkSlowReady(quirks.slowReady);
    SetCloseSessionImmediate(quirks.closeSessionImmediate);
}

}  // namespace tavrin
