#include "engine/writing/dvd_preparation.h"

#include "engine/drive/byte_order.h"
#include "engine/drive/mmc_commands.h"

namespace tavrin::writing {

namespace {

constexpr uint32_t kEndLba = 0x0023127F;
constexpr uint32_t kReadSizeKB = 0x0000ABBD;
constexpr uint32_t kWriteSizeKB = 0x0000058A;
constexpr uint32_t kOneSecondMs = 1000;

}  // namespace

std::array<uint8_t, kStreamingListBytes> StreamingDescriptor() {
    std::array<uint8_t, kStreamingListBytes> list{};
    drive::WriteBE32(list, streaming::kStartLba, 0);
    drive::WriteBE32(list, streaming::kEndLba, kEndLba);
    drive::WriteBE32(list, streaming::kReadSize, kReadSizeKB);
    drive::WriteBE32(list, streaming::kReadTime, kOneSecondMs);
    drive::WriteBE32(list, streaming::kWriteSize, kWriteSizeKB);
    drive::WriteBE32(list, streaming::kWriteTime, kOneSecondMs);
    return list;
}

std::tm CurrentLocalTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

void PrepareDVDTrack(TSCSIDevice& device, uint32_t reservationBlocks, const std::tm& now) {
    auto list = StreamingDescriptor();
    drive::SetStreaming(device, list, kStreamingListBytes);
    drive::SendTimeStamp(device, now);
    drive::ReserveTrack(device, reservationBlocks);
}

}  // namespace tavrin::writing
