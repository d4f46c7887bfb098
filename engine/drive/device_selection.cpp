#include "engine/drive/device_selection.h"

#include <algorithm>
#include <cstring>

#include <fmt/format.h>

#include "engine/device/aspi.h"
#include "engine/device/messages.h"
#include "engine/device/quirks.h"
#include "engine/device/spti.h"
#include "engine/device/transport.h"
#include "engine/drive/capabilities.h"
#include "engine/drive/mmc_commands.h"
#include "engine/drive/write_parameters.h"

namespace tavrin::drive {
namespace {

// Standard INQUIRY data: vendor (8), product (16) and revision (4) follow each
// other from byte 8; the 20 vendor-specific bytes after them end at byte 55.
constexpr std::size_t kIdentificationOffset = 8;
constexpr std::size_t kIdentificationEnd = 36;
constexpr std::size_t kVendorSpecificEnd = 56;
constexpr std::size_t kPeripheralType = 0;

constexpr int kTargets = 8;
constexpr int kLuns = 8;
// An adapter that reports no adapters at all is still scanned as a full bus.
constexpr int8_t kAdaptersWhenNoneReported = 7;
constexpr int8_t kNoAdapters = -1;

// Letters the built-in transport can map to an optical drive: B: to Z:, of which
// only those with a /dev/srN behind them are tried.
constexpr std::size_t kFirstLetterIndex = 1;
constexpr std::size_t kLastLetterIndex = 25;
constexpr uint8_t kLetterCount = 26;

bool IsCDOrDVD(uint8_t type) { return type == aspi::DTYPE_CDROM || type == aspi::DTYPE_WORM; }

char Letter(std::size_t index) { return static_cast<char>('A' + index); }

// A fixed-width text of the adapter answer, ending at its first zero byte.
std::string FixedText(const uint8_t (&field)[16]) {
    const auto* const begin = reinterpret_cast<const char*>(field);
    return std::string(begin, strnlen(begin, sizeof field));
}

std::string Trimmed(const std::string& s) {
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    const auto first = std::find_if_not(s.begin(), s.end(), blank);
    const auto last = std::find_if_not(s.rbegin(), s.rend(), blank).base();
    return first < last ? std::string(first, last) : std::string();
}

// The scan moves the selection across every address; whatever happens, the
// device selected before is selected again afterwards.
class SelectionRestorer {
public:
    explicit SelectionRestorer(TSCSIDevice& device) : device_(device), remembered_(device.Selected) {}
    ~SelectionRestorer() { device_.Selected = remembered_; }
    SelectionRestorer(const SelectionRestorer&) = delete;
    SelectionRestorer& operator=(const SelectionRestorer&) = delete;

private:
    TSCSIDevice& device_;
    const DeviceAddress remembered_;
};

void ScanAddress(TSCSIDevice& device, uint8_t adapter, uint8_t target, uint8_t lun) {
    device.Selected = DeviceAddress{adapter, target, lun};
    device.InquiryBuffer.fill(0);
    if (!Inquiry(device)) return;
    if (!IsCDOrDVD(device.InquiryBuffer[kPeripheralType])) return;
    device.DeviceList.push_back(DeviceListLine(adapter, target, lun, FindDriveLetter(device), device.InquiryBuffer));
}

void ScanAdapter(TSCSIDevice& device, uint8_t adapter) {
    HostAdapterInquiry(device, adapter);
    const std::string identifier = Trimmed(FixedText(device.HostAdapterBlock.HA_Identifier));
    if (device.DoDebug) {
        device.DebugMsg(">>> " + FixedText(device.HostAdapterBlock.HA_ManagerId) + " (" + identifier + ")",
                        kDebugProgress);
    }
    for (int t = 0; t < kTargets; ++t) {
        for (int l = 0; l < kLuns; ++l) ScanAddress(device, adapter, static_cast<uint8_t>(t), static_cast<uint8_t>(l));
    }
}

// Through the built-in transport's device paths: the letter whose drive sits at
// the selected adapter and target (its bus and LUN are not compared).
char LetterFromPassThrough(const TSCSIDevice& device) {
    const auto system = PassThroughSystemInUse();
    for (std::size_t index = kFirstLetterIndex; index <= kLastLetterIndex; ++index) {
        const std::string path = SPTIDevicePath(index);
        if (path.empty()) continue;
        const auto drive = system->open(path);
        if (!drive) continue;
        const auto address = drive->address();
        drive->close();
        if (address && address->host == device.Selected.adapter && address->id == device.Selected.target)
            return Letter(index);
    }
    return '\0';
}

// Through the transport: an ASPI manager may know the letter of its device.
char LetterFromDiskInfo(const TSCSIDevice& device) {
    aspi::SRB_GetDiskInfo request{};
    request.SRB_Cmd = aspi::SC_GET_DISK_INFO;
    request.SRB_HaId = device.Selected.adapter;
    request.SRB_Target = device.Selected.target;
    request.SRB_Lun = device.Selected.lun;
    SendASPI32Command(&request);
    if (request.SRB_Status != aspi::SS_COMP) return '\0';
    // A manager's drive number beyond Z: names no letter.
    if (request.SRB_Int13HDriveInfo >= kLetterCount) return '\0';
    return Letter(request.SRB_Int13HDriveInfo);
}

// Some drives pad their identification with control bytes; they would garble
// the model name wherever it is shown or compared.
void BlankControlBytes(std::span<uint8_t> inquiry) {
    const std::size_t end = std::min(kVendorSpecificEnd, inquiry.size());
    for (std::size_t i = kIdentificationOffset; i < end; ++i) {
        if (inquiry[i] < 0x20) inquiry[i] = ' ';
    }
}

// Identifies the device at the line's address; false when it is no CD/DVD drive.
bool Identify(TSCSIDevice& device, const std::string& deviceName) {
    const auto address = ParseDeviceLine(deviceName);
    if (!address) return false;
    device.Selected = *address;
    device.DeviceName = deviceName;
    ReadCapabilities(device);
    // A device that does not answer INQUIRY is not identified by what an
    // earlier device left in the buffer.
    if (!Inquiry(device)) return false;
    BlankControlBytes(device.InquiryBuffer);
    if (!IsCDOrDVD(device.InquiryBuffer[kPeripheralType])) return false;
    device.ApplyQuirks(DecideQuirks(device.InquiryBuffer));
    if (device.OnDeviceChange) device.OnDeviceChange(device);
    ProbeWriteTypes(device);
    return true;
}

void RejectDevice(TSCSIDevice& device) {
    try {
        device.DebugMsg(std::string(messages::kInvalidDevice), kDebugTrace);
    } catch (...) {
        // A failing debug sink must not leave a half-selected device behind.
    }
    UnselectDevice(device);
}

}  // namespace

void Create(TSCSIDevice& device) {
    if (!ASPIInitialized()) return;
    HostAdapterInquiry(device, 0);
    ScanDevices(device);
}

bool InitializeDevices(TSCSIDevice& device, bool preferBuiltIn) {
    try {
        if (!InitializeASPI(preferBuiltIn)) return false;
        HostAdapterInquiry(device, 0);
        ScanDevices(device);
        return true;
    } catch (...) {
        return false;
    }
}

void HostAdapterInquiry(TSCSIDevice& device, uint8_t adapter) {
    auto& request = device.HostAdapterBlock;
    request = aspi::SRB_HAInquiry{};
    request.SRB_Cmd = aspi::SC_HA_INQUIRY;
    request.SRB_HaId = adapter;
    SendASPI32Command(&request);
    if (request.SRB_Status != aspi::SS_COMP) {
        device.HostAdapterCount = kNoAdapters;
        return;
    }
    const auto count = static_cast<int8_t>(request.HA_Count);
    device.HostAdapterCount = count == 0 ? kAdaptersWhenNoneReported : count;
}

void ScanDevices(TSCSIDevice& device) {
    device.DeviceList.clear();
    {
        const SelectionRestorer restorer(device);
        device.Selected.lun = 0;
        if (device.DoDebug) device.DebugMsg(">>> " + TransportName(), kDebugProgress);
        const int adapters = device.HostAdapterCount;
        for (int a = 0; a < adapters; ++a) ScanAdapter(device, static_cast<uint8_t>(a));
    }
    // The addresses without a device failed their INQUIRY; that is no error.
    device.LastError.clear();
}

char FindDriveLetter(TSCSIDevice& device) {
    const char letter = LetterFromPassThrough(device);
    return letter != '\0' ? letter : LetterFromDiskInfo(device);
}

void SelectDevice(TSCSIDevice& device, const std::string& deviceName) {
    if (deviceName.empty()) {
        UnselectDevice(device);
        return;
    }
    try {
        if (!Identify(device, deviceName)) RejectDevice(device);
    } catch (...) {
        RejectDevice(device);
    }
}

void UnselectDevice(TSCSIDevice& device) {
    device.Selected = DeviceAddress{};
    device.DeviceName.clear();
}

std::string DeviceListLine(uint8_t adapter, uint8_t target, uint8_t lun, char letter,
                           std::span<const uint8_t> inquiry) {
    std::string line = fmt::format("{}:{}:{},{}: ", unsigned{adapter}, unsigned{target}, unsigned{lun},
                                   letter != '\0' ? letter : '?');
    const std::size_t end = std::min(kIdentificationEnd, inquiry.size());
    for (std::size_t i = kIdentificationOffset; i < end; ++i) line.push_back(static_cast<char>(inquiry[i]));
    if (!inquiry.empty() && inquiry[kPeripheralType] == aspi::DTYPE_WORM) line += " (not supported)";
    return line;
}

std::optional<DeviceAddress> ParseDeviceLine(std::string_view line) {
    constexpr std::size_t kAdapterAt = 0, kTargetAt = 2, kLunAt = 4;
    if (line.size() <= kLunAt) return std::nullopt;
    const auto digit = [&](std::size_t at) -> std::optional<uint8_t> {
        const char c = line[at];
        if (c < '0' || c > '9') return std::nullopt;
        return static_cast<uint8_t>(c - '0');
    };
    const auto adapter = digit(kAdapterAt), target = digit(kTargetAt), lun = digit(kLunAt);
    if (!adapter || !target || !lun) return std::nullopt;
    return DeviceAddress{*adapter, *target, *lun};
}

}  // namespace tavrin::drive
