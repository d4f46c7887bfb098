#include "fuzz/in_process_drive.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <string_view>

#include "engine/device/aspi.h"
#include "engine/device/transport.h"
#include "engine/drive/device_selection.h"
#include "recorders/virtual/recorder_store.h"

namespace tavrin::fuzz {
namespace {

namespace fs = std::filesystem;

constexpr uint8_t kHostId = 7;
constexpr uint8_t kMaxTargets = 8;
constexpr uint32_t kMaxTransfer = 0x00FF0000;
constexpr uint8_t kAlignmentMask = 0x07;
constexpr std::string_view kManagerId = "TAVRIN IN-PROC";
constexpr std::string_view kAdapterId = "VIRTUAL 0";

// HA_Unique offsets.
constexpr std::size_t kUniqueAlignment = 0;
constexpr std::size_t kUniqueMaxTargets = 3;
constexpr std::size_t kUniqueMaxTransfer = 4;

// The one drive the transport's plain entry points reach.
InProcessDrive* active = nullptr;

void PutText(uint8_t (&field)[16], std::string_view text) {
    std::memset(field, 0, sizeof field);
    std::memcpy(field, text.data(), std::min(text.size(), sizeof field));
}

uint8_t Finish(void* request, uint8_t status) {
    static_cast<aspi::SRB_Header*>(request)->SRB_Status = status;
    return status;
}

bool IsRecorder(uint8_t adapter, uint8_t target, uint8_t lun) { return adapter == 0 && target == 0 && lun == 0; }

uint8_t AdapterInquiry(aspi::SRB_HAInquiry& r) {
    r.HA_Count = 1;
    if (r.SRB_HaId != 0) return Finish(&r, aspi::SS_INVALID_HA);
    r.HA_SCSI_ID = kHostId;
    PutText(r.HA_ManagerId, kManagerId);
    PutText(r.HA_Identifier, kAdapterId);
    std::memset(r.HA_Unique, 0, sizeof r.HA_Unique);
    r.HA_Unique[kUniqueAlignment] = kAlignmentMask;
    r.HA_Unique[kUniqueMaxTargets] = kMaxTargets;
    for (std::size_t i = 0; i < 4; ++i)
        r.HA_Unique[kUniqueMaxTransfer + i] = static_cast<uint8_t>(kMaxTransfer >> (8 * i));
    return Finish(&r, aspi::SS_COMP);
}

uint8_t DeviceType(aspi::SRB_GDEVBlock& r) {
    const bool here = IsRecorder(r.SRB_HaId, r.SRB_Target, r.SRB_Lun);
    r.SRB_DeviceType = here ? aspi::DTYPE_CDROM : aspi::DTYPE_UNKNOWN;
    return Finish(&r, here ? aspi::SS_COMP : aspi::SS_NO_DEVICE);
}

vrecorder::DataDirection DirectionOf(const aspi::SRB_ExecSCSICmd& r) {
    if (r.SRB_BufLen == 0 || r.SRB_BufPointer == nullptr) return vrecorder::DataDirection::None;
    if (r.SRB_Flags & aspi::SRB_DIR_IN) return vrecorder::DataDirection::In;
    if (r.SRB_Flags & aspi::SRB_DIR_OUT) return vrecorder::DataDirection::Out;
    return vrecorder::DataDirection::None;
}

}  // namespace

InProcessDrive::InProcessDrive(const fs::path& folder)
    : recorderFolder_(folder / "recorder"), disc_(folder / "disc") {
    fs::create_directories(recorderFolder_);
    vrecorder::RecorderConfig config;
    config.disc = fs::absolute(disc_);
    vrecorder::saveRecorderConfig(recorderFolder_, config);
    active = this;
    UseTransport("WNASPI32.DLL", &InProcessDrive::SupportInfo, &InProcessDrive::Send);
}

InProcessDrive::~InProcessDrive() {
    ShutdownTransport();
    active = nullptr;
}

void InProcessDrive::clearDisc() const { fs::remove_all(disc_); }

void InProcessDrive::reload() {
    recorder_.reset();
    vrecorder::RecorderOptions options;
    options.folder = recorderFolder_;
    recorder_ = std::make_unique<vrecorder::VirtualRecorder>(std::move(options));
}

bool InProcessDrive::select(TvxCDBurner& burner) const {
    drive::Create(burner);
    if (burner.DeviceList.empty()) return false;
    drive::SelectDevice(burner, burner.DeviceList.front());
    return burner.HasDevice();
}

uint32_t InProcessDrive::SupportInfo() { return uint32_t{aspi::SS_COMP} << 8 | 1; }

uint32_t InProcessDrive::Send(void* request) {
    if (request == nullptr) return aspi::SS_ERR;
    const auto& header = *static_cast<aspi::SRB_Header*>(request);
    switch (header.SRB_Cmd) {
        case aspi::SC_HA_INQUIRY: return AdapterInquiry(*static_cast<aspi::SRB_HAInquiry*>(request));
        case aspi::SC_GET_DEV_TYPE: return DeviceType(*static_cast<aspi::SRB_GDEVBlock*>(request));
        case aspi::SC_EXEC_SCSI_CMD:
            if (active == nullptr) return Finish(request, aspi::SS_NO_DEVICE);
            return active->execute(*static_cast<aspi::SRB_ExecSCSICmd*>(request));
        // Nothing is ever left pending here, so there is nothing to abort.
        case aspi::SC_ABORT_SRB: return Finish(request, aspi::SS_ABORT_FAIL);
        case aspi::SC_GET_DISK_INFO: return Finish(request, aspi::SS_NO_DEVICE);
        default: return Finish(request, aspi::SS_INVALID_CMD);
    }
}

// Carried out at once: the request is complete before the engine would wait for it.
uint8_t InProcessDrive::execute(aspi::SRB_ExecSCSICmd& r) {
    if (!IsRecorder(r.SRB_HaId, r.SRB_Target, r.SRB_Lun) || !recorder_) return Finish(&r, aspi::SS_NO_DEVICE);
    if (r.SRB_CDBLen == 0 || r.SRB_CDBLen > aspi::CDB_MAX_LEN) return Finish(&r, aspi::SS_INVALID_SRB);
    if (r.SRB_BufLen > kMaxTransfer) return Finish(&r, aspi::SS_BUFFER_TO_BIG);
    const vrecorder::DataDirection direction = DirectionOf(r);
    std::span<uint8_t> data;
    if (direction != vrecorder::DataDirection::None) data = std::span<uint8_t>(r.SRB_BufPointer, r.SRB_BufLen);
    const vrecorder::CommandResult result =
        recorder_->execute(std::span<const uint8_t>(r.CDBByte, r.SRB_CDBLen), direction, data);
    // A command that never completes is a drive the engine would time out on.
    if (result.hang) {
        r.SRB_HaStat = aspi::HASTAT_TIMEOUT;
        return Finish(&r, aspi::SS_ERR);
    }
    r.SRB_HaStat = aspi::HASTAT_OK;
    r.SRB_TargStat = result.status;
    if (result.status == vrecorder::kStatusCheckCondition) {
        const std::size_t n = std::min({std::size_t{r.SRB_SenseLen}, aspi::SENSE_AREA_LEN, result.sense.size()});
        std::copy_n(result.sense.begin(), n, r.SenseArea);
    }
    return Finish(&r, result.status == vrecorder::kStatusGood ? aspi::SS_COMP : aspi::SS_ERR);
}

}  // namespace tavrin::fuzz
