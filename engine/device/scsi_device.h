// The recorder device object: the state shared by device selection, command
// execution, the drive commands and the writers, and the engine's debug channel.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/device/aspi.h"
#include "engine/device/quirks.h"

namespace tavrin {

// Where the application shows debug lines (a memo); attached later, not owned.
class DebugLines {
public:
    virtual ~DebugLines() = default;
    virtual void AddLine(const std::string& line) = 0;
};

// Debug message types.
inline constexpr uint8_t kDebugTrace = 0;     // failed commands, selection errors, application lines
inline constexpr uint8_t kDebugProgress = 1;  // engine progress notes (">>> ...")
inline constexpr uint8_t kDebugCapacity = 3;  // compilation capacity notes
inline constexpr uint8_t kDebugImage = 4;     // compilation, image and session-import diagnostics

inline constexpr uint8_t kNoDevice = 254;  // adapter, target and LUN of "no device selected"

// Generous lower bound for a command: drives take several seconds to spin up or
// to come back from a bus reset before they answer at all.
inline constexpr int kMinimumCommandTimeoutMs = 10000;

class TSCSIDevice;
using TOnDebugMsg = std::function<void(TSCSIDevice& sender, const std::string& message, uint8_t mType)>;
using TNotifyEvent = std::function<void(TSCSIDevice& sender)>;

struct DeviceAddress {
    uint8_t adapter = kNoDevice;
    uint8_t target = kNoDevice;
    uint8_t lun = kNoDevice;
};

class TSCSIDevice {
public:
    TSCSIDevice() = default;
    virtual ~TSCSIDevice() = default;
    TSCSIDevice(const TSCSIDevice&) = delete;
    TSCSIDevice& operator=(const TSCSIDevice&) = delete;

    // Sends one request to the selected device and waits for it. Returns E2h when
    // nothing could be sent, otherwise 01h; the command's own result is SRB_Status.
    uint8_t ExecuteCommand(aspi::SRB_ExecSCSICmd& request, int timeoutMs);

    void DebugMsg(const std::string& message, uint8_t mType);

    // The memo being removed stops receiving lines.
    void Notification(const DebugLines& removed);

    // Sets the status text, busy flag and sense copy from a failed request.
    void DecodeStatus(const aspi::SRB_ExecSCSICmd& request);

    // Stores the quirks of the selected model, the process-wide ones included.
    void ApplyQuirks(const ModelQuirks& quirks);

    bool HasDevice() const { return Selected.adapter != kNoDevice; }

    // Fields in the order of the device object.
    DeviceAddress Selected;
    int8_t HostAdapterCount = -1;  // -1: no adapters
    std::array<uint8_t, 22> CapabilityPage{};   // first bytes of mode page 2Ah
    std::array<uint8_t, 54> WriteParamsPage{};  // working copy of mode page 05h
    std::optional<std::reference_wrapper<DebugLines>> DebugWindow;
    std::string LastError;
    std::string DeviceName;
    std::array<uint8_t, 131> InquiryBuffer{};  // 128 requested, room for a drive that sends more
    bool DoDebug = false;
    uint32_t CapabilityFlags = 0;
    std::vector<std::string> DeviceList;
    bool TargetBusy = false;
    TNotifyEvent OnDeviceChange;
    aspi::SRB_HAInquiry HostAdapterBlock{};
    aspi::SRB_Abort AbortBlock{};
    std::array<uint8_t, 38> TrackInformation{};
    uint16_t DeviceMaxWriteSpeed = 0;
    uint16_t DeviceMaxReadSpeed = 0;
    // Written by a writer or erase thread while the display reads them.
    std::atomic<uint32_t> DeviceBufferSize{0};
    std::atomic<uint32_t> DeviceFreeBufferSize{0};
    bool FinalizeDisc = false;
    std::atomic<bool> Erasing{false};
    std::array<uint8_t, aspi::SENSE_AREA_LEN> LastSense{};
    uint16_t ReadSpeed = 0;
    uint16_t WriteSpeed = 0;
    bool QuirkDVR10x = false;
    bool QuirkCRX100E = false;
    bool QuirkBufferUnderrun = false;
    bool QuirkLinkSize = false;

    TOnDebugMsg OnDebugMessage;

private:
    void AbortRequest(aspi::SRB_ExecSCSICmd& request);
};

}  // namespace tavrin
