#include "recorders/aspi/iscsi_carrier.h"

#include <iscsi/iscsi.h>
#include <iscsi/scsi-lowlevel.h>

#include <algorithm>
#include <cstring>

#include "engine/device/aspi.h"

namespace tavrin::aspilib {
namespace {

constexpr const char* kInitiatorName = "iqn.2026-12.tavrin:aspi";
// Bounds for every wait on the target, so a vanished target ends in a failed
// command and never in a hang: seconds for a whole request, milliseconds of
// unacknowledged TCP data, connection attempts.
constexpr int kRequestTimeoutSeconds = 30;
constexpr int kTcpUserTimeoutMs = 10000;
constexpr int kTcpSynRetries = 2;

// Standard INQUIRY, 36 bytes: enough for the peripheral type.
constexpr uint8_t kInquiryLength = 36;

struct TaskDeleter {
    void operator()(scsi_task* t) const { scsi_free_scsi_task(t); }
};
struct UrlDeleter {
    void operator()(iscsi_url* u) const { iscsi_destroy_url(u); }
};

int libiscsiDirection(Direction d) {
    switch (d) {
        case Direction::In: return SCSI_XFER_READ;
        case Direction::Out: return SCSI_XFER_WRITE;
        case Direction::None: break;
    }
    return SCSI_XFER_NONE;
}

Outcome unreachable() {
    Outcome o;
    o.hostStatus = aspi::HASTAT_SEL_TO;
    return o;
}

// Statuses above one byte are libiscsi's own: the transport failed, not the drive.
bool transportFailed(const scsi_task* done, const scsi_task& task) {
    return done == nullptr || task.status < 0 || task.status > 0xFF;
}

// With CHECK CONDITION the data-in segment carries the sense bytes behind a
// two-byte length.
std::vector<uint8_t> senseOf(const scsi_task& task) {
    if (task.status != SCSI_STATUS_CHECK_CONDITION || task.datain.size <= 2 || !task.datain.data) return {};
    const int length = std::min(task.datain.size - 2, int{task.datain.data[0] << 8 | task.datain.data[1]});
    return {task.datain.data + 2, task.datain.data + 2 + std::max(length, 0)};
}

}  // namespace

void IscsiCarrier::ContextDeleter::operator()(iscsi_context* c) const {
    iscsi_destroy_context(c);
}

IscsiCarrier::IscsiCarrier(std::string url) : url_(std::move(url)) {}
IscsiCarrier::~IscsiCarrier() = default;

bool IscsiCarrier::connect() {
    if (context_ && iscsi_is_logged_in(context_.get())) return true;
    disconnect();
    std::unique_ptr<iscsi_context, ContextDeleter> context(iscsi_create_context(kInitiatorName));
    if (!context) return false;
    std::unique_ptr<iscsi_url, UrlDeleter> url(iscsi_parse_full_url(context.get(), url_.c_str()));
    if (!url) return false;
    // A lost session is reported as a failed command and opened again on the next
    // one, rather than retried inside libiscsi for as long as the target is away.
    iscsi_set_noautoreconnect(context.get(), 1);
    iscsi_set_timeout(context.get(), kRequestTimeoutSeconds);
    iscsi_set_tcp_user_timeout(context.get(), kTcpUserTimeoutMs);
    iscsi_set_tcp_syncnt(context.get(), kTcpSynRetries);
    iscsi_set_targetname(context.get(), url->target);
    iscsi_set_session_type(context.get(), ISCSI_SESSION_NORMAL);
    iscsi_set_header_digest(context.get(), ISCSI_HEADER_DIGEST_NONE);
    if (iscsi_full_connect_sync(context.get(), url->portal, url->lun) != 0) return false;
    lun_ = url->lun;
    context_ = std::move(context);
    return true;
}

void IscsiCarrier::disconnect() {
    context_.reset();
}

std::optional<uint8_t> IscsiCarrier::deviceType() {
    Command inquiry;
    inquiry.cdb = {0x12, 0, 0, 0, kInquiryLength, 0};
    inquiry.direction = Direction::In;
    inquiry.data.assign(kInquiryLength, 0);
    const Outcome o = execute(inquiry);
    if (o.hostStatus != aspi::HASTAT_OK || o.targetStatus != aspi::STATUS_GOOD || o.transferred == 0)
        return std::nullopt;
    return static_cast<uint8_t>(inquiry.data[0] & 0x1F);
}

Outcome IscsiCarrier::execute(Command& command) {
    if (!connect()) return unreachable();
    std::unique_ptr<scsi_task, TaskDeleter> task(
        scsi_create_task(static_cast<int>(command.cdb.size()), command.cdb.data(),
                         libiscsiDirection(command.direction), static_cast<int>(command.data.size())));
    if (!task) return unreachable();
    iscsi_data out{command.data.size(), command.data.data()};
    const bool sending = command.direction == Direction::Out && !command.data.empty();
    const scsi_task* done = iscsi_scsi_command_sync(context_.get(), lun_, task.get(), sending ? &out : nullptr);
    if (transportFailed(done, *task)) {
        disconnect();
        return unreachable();
    }
    Outcome o;
    o.targetStatus = static_cast<uint8_t>(task->status);
    o.sense = senseOf(*task);
    if (command.direction == Direction::In && task->status == SCSI_STATUS_GOOD && task->datain.data) {
        o.transferred = std::min(command.data.size(), static_cast<std::size_t>(std::max(task->datain.size, 0)));
        std::memcpy(command.data.data(), task->datain.data, o.transferred);
    }
    return o;
}

}  // namespace tavrin::aspilib
