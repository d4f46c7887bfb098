#include "engine/device/spti.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>

#include "engine/device/aspi.h"
#include "engine/device/transport.h"

namespace tavrin {
namespace {

using platform::DataDirection;
using platform::PassThroughCommand;

// Drive-letter indexes that can stand for an optical drive: C: and the 27th
// index would be /dev/sr(-1) and /dev/sr23, which do not map.
constexpr std::size_t FIRST_DRIVE = 3;
constexpr std::size_t LAST_DRIVE = 25;
constexpr std::size_t FIRST_PROBED = 2;
constexpr std::size_t LAST_PROBED = 26;

constexpr unsigned PASS_THROUGH_TIMEOUT_MS = 120000;
constexpr std::size_t PROBE_BUFFER_LEN = 1025;
constexpr uint32_t PROBE_INQUIRY_LEN = 96;
constexpr std::size_t PROBE_SENSE_LEN = 24;
// The answer room behind a pass-through request: 80 bytes with the sense at 48.
constexpr std::size_t SENSE_ROOM = 32;
constexpr uint8_t OP_INQUIRY = 0x12;
constexpr std::size_t INQUIRY_ANSWER_LEN = 36;

constexpr uint8_t HA_SCSI_ID = 7;
constexpr std::string_view HA_MANAGER_ID = "KTASPI32 SG_IO  ";
static_assert(HA_MANAGER_ID.size() == 16);
constexpr std::string_view HA_IDENTIFIER_PREFIX = "SPTI ";
// HA_Unique: buffer alignment mask, maximum targets, maximum transfer length.
constexpr std::size_t HA_UNIQUE_CLEARED = 13;
constexpr std::size_t HA_UNIQUE_ALIGNMENT = 0;
constexpr std::size_t HA_UNIQUE_MAX_TARGETS = 3;
constexpr std::size_t HA_UNIQUE_MAX_TRANSFER = 4;
constexpr uint32_t HA_MAX_TRANSFER = 0x00FF0000;

// The built-in transport's process-wide state. The system is declared first so
// that it outlives the handles it opened.
struct SPTIState {
    std::shared_ptr<platform::PassThroughSystem> system = std::make_shared<platform::LinuxPassThrough>();
    SPTIDriveTable table;
    bool initialized = false;
    uint8_t syntheticTargets = 0;
};

SPTIState& state() {
    static SPTIState s;
    return s;
}

bool probe(SPTIState& s, std::size_t index) {
    auto device = s.system->open(SPTIDevicePath(index));
    if (!device) return false;
    std::array<uint8_t, PROBE_BUFFER_LEN> buffer{};
    std::array<uint8_t, PROBE_SENSE_LEN> sense{};
    const std::array<uint8_t, 6> cdb{OP_INQUIRY, 0, 0, 0, PROBE_INQUIRY_LEN, 0};
    // The drive answered when the request came back; its status is not examined.
    const auto answer = device->execute(PassThroughCommand{
        .cdb = cdb,
        .direction = DataDirection::In,
        .data = buffer.data(),
        .length = PROBE_INQUIRY_LEN,
        .timeoutMs = PASS_THROUGH_TIMEOUT_MS,
        .sense = sense,
    });
    if (!answer.ioctlOk) {
        device->close();
        return false;
    }
    auto& drive = s.table.drives[index];
    std::copy_n(buffer.begin(), SPTI_INQUIRY_LEN, drive.inquiry.begin());
    drive.present = 1;
    if (const auto address = device->address()) {
        drive.adapter = address->host;
        drive.target = address->id;
        drive.lun = address->lun;
    } else {
        drive.adapter = 0;
        drive.target = s.syntheticTargets++;
        drive.lun = SPTI_NO_ADDRESS_LUN;
    }
    drive.driveIndex = static_cast<uint8_t>(index);
    drive.handle.reset();
    device->close();
    return true;
}

uint8_t countAdapters(const SPTIDriveTable& table) {
    unsigned highest = 0;
    for (std::size_t i = 1; i < SPTI_DRIVE_COUNT; ++i) highest = std::max<unsigned>(highest, table.drives[i].adapter);
    // An adapter count must fit its byte; host 255 cannot be counted past.
    return static_cast<uint8_t>(std::min(highest + 1, 255u));
}

SPTIDrive* findDrive(SPTIState& s, uint8_t adapter, uint8_t target, uint8_t lun) {
    for (std::size_t i = FIRST_PROBED; i <= LAST_PROBED; ++i) {
        auto& drive = s.table.drives[i];
        if (drive.present && drive.adapter == adapter && drive.target == target && drive.lun == lun) return &drive;
    }
    return nullptr;
}

uint8_t haInquiry(const SPTIState& s, aspi::SRB_HAInquiry& srb) {
    const uint8_t count = s.table.adapterCount;
    srb.HA_Count = count;
    if (srb.SRB_HaId >= count) return aspi::SS_INVALID_HA;
    srb.HA_SCSI_ID = HA_SCSI_ID;
    std::memcpy(srb.HA_ManagerId, HA_MANAGER_ID.data(), sizeof srb.HA_ManagerId);
    const std::string identifier = std::string(HA_IDENTIFIER_PREFIX) + std::to_string(srb.SRB_HaId);
    std::memset(srb.HA_Identifier, 0, sizeof srb.HA_Identifier);
    std::memcpy(srb.HA_Identifier, identifier.data(), std::min(identifier.size(), sizeof srb.HA_Identifier));
    std::memset(srb.HA_Unique, 0, HA_UNIQUE_CLEARED);
    srb.HA_Unique[HA_UNIQUE_ALIGNMENT] = 0x07;
    srb.HA_Unique[HA_UNIQUE_MAX_TARGETS] = 8;
    for (std::size_t i = 0; i < 4; ++i) {
        srb.HA_Unique[HA_UNIQUE_MAX_TRANSFER + i] = static_cast<uint8_t>(HA_MAX_TRANSFER >> (8 * i));
    }
    return aspi::SS_COMP;
}

uint8_t getDeviceType(SPTIState& s, aspi::SRB_GDEVBlock& srb) {
    if (findDrive(s, srb.SRB_HaId, srb.SRB_Target, srb.SRB_Lun)) {
        srb.SRB_DeviceType = aspi::DTYPE_CDROM;
        return aspi::SS_COMP;
    }
    srb.SRB_DeviceType = aspi::DTYPE_UNKNOWN;
    return aspi::SS_NO_DEVICE;
}

DataDirection directionOf(uint8_t flags) {
    if (flags & aspi::SRB_DIR_IN) return DataDirection::In;
    if (flags & aspi::SRB_DIR_OUT) return DataDirection::Out;
    return DataDirection::Unspecified;
}

// The drive is not asked again: INQUIRY is answered from what it said at start-up.
uint8_t cachedInquiry(const SPTIState& s, const SPTIDrive& drive, aspi::SRB_ExecSCSICmd& srb) {
    if (srb.SRB_HaId >= s.table.adapterCount) return aspi::SS_INVALID_HA;
    const std::size_t n = std::min<std::size_t>(INQUIRY_ANSWER_LEN, srb.SRB_BufLen);
    if (n == 0) return aspi::SS_COMP;
    uint8_t* const buffer = srb.SRB_BufPointer;
    if (!buffer) return aspi::SS_ERR;
    std::copy_n(drive.inquiry.begin(), n, buffer);
    return aspi::SS_COMP;
}

uint8_t passThrough(SPTIState& s, SPTIDrive& drive, aspi::SRB_ExecSCSICmd& srb) {
    if (!drive.handle) drive.handle = s.system->open(SPTIDevicePath(drive.driveIndex));
    std::array<uint8_t, SENSE_ROOM> sense{};
    const std::size_t senseRoom = std::min<std::size_t>(srb.SRB_SenseLen, SENSE_ROOM);
    platform::PassThroughResult answer;
    if (drive.handle) {
        answer = drive.handle->execute(PassThroughCommand{
            .cdb = std::span<const uint8_t>(srb.CDBByte, srb.SRB_CDBLen),
            .direction = directionOf(srb.SRB_Flags),
            .data = srb.SRB_BufPointer,
            .length = srb.SRB_BufLen,
            .timeoutMs = PASS_THROUGH_TIMEOUT_MS,  // whatever the request's own time-out
            .sense = std::span<uint8_t>(sense.data(), senseRoom),
        });
    }
    // 32 returned sense bytes with good status also counts as success: some
    // drivers report the whole sense room without having written sense.
    const bool good = answer.delivered() && answer.status == aspi::STATUS_GOOD &&
                      (answer.senseLength == 0 || answer.senseLength == SENSE_ROOM);
    if (good) return aspi::SS_COMP;
    const std::size_t copied = std::min({std::size_t{answer.senseLength}, senseRoom, aspi::SENSE_AREA_LEN});
    std::copy_n(sense.begin(), copied, srb.SenseArea);
    srb.SRB_TargStat = answer.status;
    return aspi::SS_ERR;
}

void closeAfterCommand(SPTIDrive& drive) {
    if (KeepHandleOpen() || !drive.handle) return;
    // Linux frees the descriptor even when close reports an error, so the handle
    // is gone either way; keeping it would leave the drive unusable.
    drive.handle->close();
    drive.handle.reset();
}

uint8_t execScsi(SPTIState& s, aspi::SRB_ExecSCSICmd& srb) {
    if (srb.SRB_CDBLen == 0 || srb.SRB_CDBLen > aspi::CDB_MAX_LEN) return aspi::SS_ERR;
    if (srb.SRB_BufLen != 0 && srb.SRB_BufPointer == nullptr) return aspi::SS_ERR;
    SPTIDrive* const drive = findDrive(s, srb.SRB_HaId, srb.SRB_Target, srb.SRB_Lun);
    if (!drive) return aspi::SS_NO_DEVICE;
    if (srb.CDBByte[0] == OP_INQUIRY) return cachedInquiry(s, *drive, srb);
    const uint8_t status = passThrough(s, *drive, srb);
    closeAfterCommand(*drive);
    return status;
}

}  // namespace

std::string SPTIDevicePath(std::size_t driveIndex) {
    if (driveIndex < FIRST_DRIVE || driveIndex > LAST_DRIVE) return {};
    return "/dev/sr" + std::to_string(driveIndex - FIRST_DRIVE);
}

uint8_t SPTIInitialize() {
    auto& s = state();
    if (s.initialized) return 0;
    s.syntheticTargets = 0;
    s.table = SPTIDriveTable{};
    uint8_t found = 0;
    for (std::size_t i = FIRST_PROBED; i <= LAST_PROBED; ++i) {
        const std::string path = SPTIDevicePath(i);
        if (path.empty() || !s.system->isBlockDevice(path)) continue;
        if (probe(s, i)) ++found;
    }
    s.table.adapterCount = countAdapters(s.table);
    // Drives without a SCSI address sit on one extra adapter after the real ones,
    // with targets 0, 1, 2 ... in drive-letter order.
    if (s.syntheticTargets != 0) {
        for (auto& drive : s.table.drives) {
            if (!drive.present || drive.lun != SPTI_NO_ADDRESS_LUN) continue;
            drive.lun = 0;
            drive.adapter = s.table.adapterCount;
        }
        s.table.adapterCount = countAdapters(s.table);
    }
    s.initialized = true;
    return found;
}

void SPTIShutdown() {
    auto& s = state();
    if (!s.initialized) return;
    for (auto& drive : s.table.drives) {
        if (drive.handle) drive.handle->close();
    }
    s.table = SPTIDriveTable{};
    s.initialized = false;
}

bool SPTIInitialized() { return state().initialized; }

uint32_t SPTIGetSupportInfo() {
    const uint8_t count = state().table.adapterCount;
    if (count == 0) return uint32_t{aspi::SS_NO_ADAPTERS} << 8;
    return (uint32_t{aspi::SS_COMP} << 8) | count;
}

uint32_t SPTISendCommand(void* request) {
    if (!request) return aspi::SS_ERR;
    auto& s = state();
    auto* const header = static_cast<aspi::SRB_Header*>(request);
    switch (header->SRB_Cmd) {
        case aspi::SC_HA_INQUIRY: {
            auto* const srb = static_cast<aspi::SRB_HAInquiry*>(request);
            srb->SRB_Status = haInquiry(s, *srb);
            return srb->SRB_Status;
        }
        case aspi::SC_GET_DEV_TYPE: {
            auto* const srb = static_cast<aspi::SRB_GDEVBlock*>(request);
            srb->SRB_Status = getDeviceType(s, *srb);
            return srb->SRB_Status;
        }
        case aspi::SC_EXEC_SCSI_CMD: {
            auto* const srb = static_cast<aspi::SRB_ExecSCSICmd*>(request);
            srb->SRB_Status = execScsi(s, *srb);
            return srb->SRB_Status;
        }
        case aspi::SC_GET_DISK_INFO:
            header->SRB_Status = aspi::SS_PENDING;
            return aspi::SS_ERR;
        default:
            header->SRB_Status = aspi::SS_ERR;
            return aspi::SS_ERR;
    }
}

const SPTIDriveTable& SPTIDrives() { return state().table; }

void UsePassThroughSystem(std::shared_ptr<platform::PassThroughSystem> system) {
    SPTIShutdown();
    auto& s = state();
    s.system = system ? std::move(system) : std::make_shared<platform::LinuxPassThrough>();
}

std::shared_ptr<platform::PassThroughSystem> PassThroughSystemInUse() { return state().system; }

}  // namespace tavrin
