#include "recorders/aspi/manager.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <system_error>
#include <string_view>

#include "recorders/aspi/iscsi_carrier.h"
#include "recorders/aspi/virtual_carrier.h"

namespace tavrin::aspilib {
namespace {

constexpr uint8_t kHostId = 7;  // the adapter's own SCSI id
constexpr uint8_t kMaxTargets = 8;
constexpr uint32_t kMaxTransfer = 0x00FF0000;
constexpr uint8_t kAlignmentMask = 0x07;
constexpr uint8_t kFirstDriveLetter = 3;  // D:
constexpr uint8_t kLastDriveLetter = 25;  // Z:
constexpr std::string_view kManagerId = "TAVRIN RECORDERS";

// HA_Unique offsets.
constexpr std::size_t kUniqueAlignment = 0;
constexpr std::size_t kUniqueMaxTargets = 3;
constexpr std::size_t kUniqueMaxTransfer = 4;

void putText(uint8_t (&field)[16], std::string_view text) {
    std::memset(field, 0, sizeof field);
    std::memcpy(field, text.data(), std::min(text.size(), sizeof field));
}

Direction directionOf(const aspi::SRB_ExecSCSICmd& r) {
    if (r.SRB_BufLen == 0) return Direction::None;
    if (r.SRB_Flags & aspi::SRB_DIR_IN) return Direction::In;
    if (r.SRB_Flags & aspi::SRB_DIR_OUT) return Direction::Out;
    return Direction::None;
}

bool wellFormed(const aspi::SRB_ExecSCSICmd& r) {
    if (r.SRB_CDBLen == 0 || r.SRB_CDBLen > aspi::CDB_MAX_LEN) return false;
    if (r.SRB_BufLen > 0 && r.SRB_BufPointer == nullptr) return false;
    const bool both = (r.SRB_Flags & aspi::SRB_DIR_IN) && (r.SRB_Flags & aspi::SRB_DIR_OUT);
    return !both;
}

// Everything the recorder needs, copied now: once the request is pending the
// caller may abort it and free its buffer at any moment.
Command commandOf(const aspi::SRB_ExecSCSICmd& r) {
    Command c;
    c.cdb.assign(r.CDBByte, r.CDBByte + r.SRB_CDBLen);
    c.direction = directionOf(r);
    if (c.direction == Direction::Out) c.data.assign(r.SRB_BufPointer, r.SRB_BufPointer + r.SRB_BufLen);
    if (c.direction == Direction::In) c.data.assign(r.SRB_BufLen, 0);
    return c;
}

bool IsEventDescriptor(int fd) {
    if (fd < 0) return false;
    std::error_code ec;
    const auto target = std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), ec);
    return !ec && target == "anon_inode:[eventfd]";
}

uint8_t finish(void* request, uint8_t status) {
    static_cast<aspi::SRB_Header*>(request)->SRB_Status = status;
    return status;
}

}  // namespace

Manager::Manager() {
    try {
        build(loadConfiguration());
    } catch (const std::exception& e) {
        slots_.clear();
        adapterCount_ = 0;
        std::fprintf(stderr, "tavrin recorders: %s; no recorder is offered\n", e.what());
    }
}

Manager::~Manager() {
    // Workers stop before the recorders they use and the table they complete into.
    for (auto& s : slots_) s.worker.reset();
}

void Manager::build(const Configuration& configuration) {
    uint8_t virtualTarget = 0;
    uint8_t nextAdapter = 1;
    uint8_t letter = kFirstDriveLetter;
    for (const auto& setup : configuration.recorders) {
        Slot slot{};
        std::unique_ptr<Carrier> carrier;
        if (const auto* v = std::get_if<VirtualSetup>(&setup.kind)) {
            try {
                carrier = std::make_unique<VirtualCarrier>(*v);
            } catch (const std::exception& e) {
                throw ConfigError("recorder '" + setup.name + "': " + e.what());
            }
            slot.adapter = 0;
            slot.target = virtualTarget++;
        } else {
            carrier = std::make_unique<IscsiCarrier>(std::get<IscsiSetup>(setup.kind).url);
            slot.adapter = nextAdapter++;
            slot.target = 0;
        }
        slot.driveLetter = letter <= kLastDriveLetter ? letter++ : 0xFF;
        slot.recorder = std::make_unique<Recorder>(std::move(carrier));
        slots_.push_back(std::move(slot));
    }
    adapterCount_ = slots_.empty() ? 0 : nextAdapter;
    for (auto& s : slots_) s.worker = std::make_unique<RecorderWorker>(*s.recorder, pending_);
}

uint32_t Manager::supportInfo() const {
    if (adapterCount_ == 0) return uint32_t{aspi::SS_NO_ADAPTERS} << 8;
    return uint32_t{aspi::SS_COMP} << 8 | adapterCount_;
}

Manager::Slot* Manager::find(uint8_t adapter, uint8_t target, uint8_t lun) {
    if (lun != 0) return nullptr;
    for (auto& s : slots_)
        if (s.adapter == adapter && s.target == target) return &s;
    return nullptr;
}

uint32_t Manager::send(void* request) {
    if (!request) return aspi::SS_ERR;
    auto& header = *static_cast<aspi::SRB_Header*>(request);
    if (header.SRB_Cmd == aspi::SC_HA_INQUIRY)
        return hostAdapterInquiry(*static_cast<aspi::SRB_HAInquiry*>(request));
    if (adapterCount_ == 0) return finish(request, aspi::SS_NO_ADAPTERS);
    if (header.SRB_HaId >= adapterCount_) return finish(request, aspi::SS_INVALID_HA);
    switch (header.SRB_Cmd) {
        case aspi::SC_GET_DEV_TYPE: return deviceType(*static_cast<aspi::SRB_GDEVBlock*>(request));
        case aspi::SC_EXEC_SCSI_CMD: return execute(*static_cast<aspi::SRB_ExecSCSICmd*>(request));
        case aspi::SC_ABORT_SRB: return abort(*static_cast<aspi::SRB_Abort*>(request));
        case aspi::SC_GET_DISK_INFO: return diskInfo(*static_cast<aspi::SRB_GetDiskInfo*>(request));
        default: return finish(request, aspi::SS_INVALID_CMD);
    }
}

uint8_t Manager::hostAdapterInquiry(aspi::SRB_HAInquiry& r) const {
    r.HA_Count = adapterCount_;
    if (adapterCount_ == 0) return finish(&r, aspi::SS_NO_ADAPTERS);
    if (r.SRB_HaId >= adapterCount_) return finish(&r, aspi::SS_INVALID_HA);
    r.HA_SCSI_ID = kHostId;
    putText(r.HA_ManagerId, kManagerId);
    const std::string identifier =
        r.SRB_HaId == 0 ? std::string("VIRTUAL 0") : "ISCSI " + std::to_string(r.SRB_HaId);
    putText(r.HA_Identifier, identifier);
    std::memset(r.HA_Unique, 0, sizeof r.HA_Unique);
    r.HA_Unique[kUniqueAlignment] = kAlignmentMask;
    r.HA_Unique[kUniqueMaxTargets] = kMaxTargets;
    for (std::size_t i = 0; i < 4; ++i)
        r.HA_Unique[kUniqueMaxTransfer + i] = static_cast<uint8_t>(kMaxTransfer >> (8 * i));
    return finish(&r, aspi::SS_COMP);
}

uint8_t Manager::deviceType(aspi::SRB_GDEVBlock& r) {
    r.SRB_DeviceType = aspi::DTYPE_UNKNOWN;
    Slot* slot = find(r.SRB_HaId, r.SRB_Target, r.SRB_Lun);
    if (!slot) return finish(&r, aspi::SS_NO_DEVICE);
    const auto type = slot->recorder->deviceType();
    if (!type) return finish(&r, aspi::SS_NO_DEVICE);
    r.SRB_DeviceType = *type;
    return finish(&r, aspi::SS_COMP);
}

uint8_t Manager::execute(aspi::SRB_ExecSCSICmd& r) {
    Slot* slot = find(r.SRB_HaId, r.SRB_Target, r.SRB_Lun);
    if (!slot) return finish(&r, aspi::SS_NO_DEVICE);
    if (!wellFormed(r)) return finish(&r, aspi::SS_INVALID_SRB);
    if (r.SRB_BufLen > kMaxTransfer) return finish(&r, aspi::SS_BUFFER_TO_BIG);
    Command command = commandOf(r);
    const bool notify = r.SRB_Flags & aspi::SRB_EVENT_NOTIFY;
    const int eventFd = notify ? aspi::FdFromPostProc(r.SRB_PostProc) : -1;
    // Signalling anything but an event would write into some unrelated file.
    if (notify && !IsEventDescriptor(eventFd)) return finish(&r, aspi::SS_INVALID_SRB);
    const uint64_t ticket = pending_.add(&r, eventFd);
    if (notify) {
        // From here on the request belongs to the worker and the caller.
        slot->worker->enqueue(ticket, std::move(command));
        return aspi::SS_PENDING;
    }
    RecorderWorker::carryOut(*slot->recorder, pending_, ticket, command);
    return std::atomic_ref<uint8_t>(r.SRB_Status).load(std::memory_order_acquire);
}

uint8_t Manager::abort(aspi::SRB_Abort& r) {
    return finish(&r, pending_.abort(r.SRB_ToAbort) ? aspi::SS_COMP : aspi::SS_ABORT_FAIL);
}

uint8_t Manager::diskInfo(aspi::SRB_GetDiskInfo& r) {
    Slot* slot = find(r.SRB_HaId, r.SRB_Target, r.SRB_Lun);
    if (!slot || slot->driveLetter == 0xFF) return finish(&r, aspi::SS_NO_DEVICE);
    r.SRB_DriveFlags = 0;
    r.SRB_Int13HDriveInfo = slot->driveLetter;
    r.SRB_Heads = 0;
    r.SRB_Sectors = 0;
    return finish(&r, aspi::SS_COMP);
}

Manager& TheManager() {
    static Manager manager;
    return manager;
}

}  // namespace tavrin::aspilib
