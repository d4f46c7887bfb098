#include "engine/platform/passthrough.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <scsi/scsi.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavrin::platform {
namespace {

constexpr uint8_t DRIVER_SENSE_FLAG = 0x08;

int sgDirection(DataDirection direction, uint32_t length) {
    if (length == 0) return SG_DXFER_NONE;
    switch (direction) {
        case DataDirection::In: return SG_DXFER_FROM_DEV;
        case DataDirection::Out: return SG_DXFER_TO_DEV;
        case DataDirection::Unspecified: return SG_DXFER_TO_FROM_DEV;
        case DataDirection::None: break;
    }
    return SG_DXFER_NONE;
}

class LinuxDevice final : public PassThroughDevice {
public:
    explicit LinuxDevice(int fd) : fd_(fd) {}
    ~LinuxDevice() override { close(); }
    LinuxDevice(const LinuxDevice&) = delete;
    LinuxDevice& operator=(const LinuxDevice&) = delete;

    PassThroughResult execute(const PassThroughCommand& command) override {
        PassThroughResult result;
        if (fd_ < 0 || command.cdb.empty() || command.cdb.size() > 255) return result;
        sg_io_hdr_t io{};
        io.interface_id = 'S';
        io.dxfer_direction = sgDirection(command.direction, command.length);
        io.cmd_len = static_cast<unsigned char>(command.cdb.size());
        io.mx_sb_len = static_cast<unsigned char>(std::min<std::size_t>(command.sense.size(), 255));
        io.dxfer_len = io.dxfer_direction == SG_DXFER_NONE ? 0 : command.length;
        io.dxferp = io.dxfer_len ? command.data : nullptr;
        // SG_IO does not write through cmdp; the cast only satisfies the C header.
        io.cmdp = const_cast<unsigned char*>(command.cdb.data());
        io.sbp = command.sense.data();
        io.timeout = command.timeoutMs;
        int rc;
        do {
            rc = ::ioctl(fd_, SG_IO, &io);
        } while (rc < 0 && errno == EINTR);
        if (rc < 0) return result;
        result.ioctlOk = true;
        result.status = io.status;
        result.hostStatus = static_cast<uint8_t>(io.host_status);
        result.driverStatus = static_cast<uint8_t>(io.driver_status);
        result.senseLength = std::min<uint8_t>(io.sb_len_wr, io.mx_sb_len);
        return result;
    }

    std::optional<ScsiAddress> address() override {
        struct {
            int devId;
            int hostUniqueId;
        } idlun{};
        if (fd_ < 0 || ::ioctl(fd_, SCSI_IOCTL_GET_IDLUN, &idlun) < 0) return std::nullopt;
        return DecodeIdLun(static_cast<uint32_t>(idlun.devId));
    }

    bool close() override {
        if (fd_ < 0) return true;
        // Linux releases the descriptor even when close reports an error.
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc == 0;
    }

private:
    int fd_;
};

}  // namespace

bool PassThroughResult::delivered() const {
    return ioctlOk && hostStatus == 0 && (driverStatus & ~DRIVER_SENSE_FLAG) == 0;
}

ScsiAddress DecodeIdLun(uint32_t packed) {
    return ScsiAddress{
        .host = static_cast<uint8_t>(packed >> 24),
        .channel = static_cast<uint8_t>(packed >> 16),
        .id = static_cast<uint8_t>(packed),
        .lun = static_cast<uint8_t>(packed >> 8),
    };
}

std::unique_ptr<PassThroughDevice> LinuxPassThrough::open(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    return std::make_unique<LinuxDevice>(fd);
}

bool LinuxPassThrough::isBlockDevice(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISBLK(st.st_mode);
}

}  // namespace tavrin::platform
