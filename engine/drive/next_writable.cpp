#include "engine/drive/next_writable.h"

#include <algorithm>

#include "engine/drive/mmc_commands.h"
#include "engine/drive/write_parameters.h"

namespace tavrin::drive {

namespace {

constexpr int kReadyBudgetMs = 10000;
constexpr int kReadyPollMs = 500;

// Track information, in host order after READ TRACK INFORMATION.
constexpr std::size_t kDataLengthAt = 0;
constexpr std::size_t kFlagsAt = 7;
constexpr uint8_t kNextWritableValid = 0x01;
constexpr std::size_t kNextWritableAt = 12;
constexpr std::size_t kNextWritableEnd = 16;

template <typename T>
T HostField(std::span<const uint8_t> info, std::size_t at) {
    T value = 0;
    std::copy_n(info.begin() + static_cast<std::ptrdiff_t>(at), sizeof value, reinterpret_cast<uint8_t*>(&value));
    return value;
}

}  // namespace

std::optional<uint32_t> NextWritableOf(std::span<const uint8_t> info) {
    if (info.size() < kNextWritableEnd) return std::nullopt;
    // The length counts the bytes after the length field.
    if (std::size_t{HostField<uint16_t>(info, kDataLengthAt)} + 2 < kNextWritableEnd) return std::nullopt;
    if ((info[kFlagsAt] & kNextWritableValid) == 0) return std::nullopt;
    const auto next = HostField<uint32_t>(info, kNextWritableAt);
    if (next > kLargestNextWritable) return std::nullopt;
    return next;
}

std::optional<uint32_t> ReadNextWritable(TSCSIDevice& device, bool testWrite, bool underrunProtection,
                                         uint8_t mediaType, const SleepFn& sleep) {
    WaitUntilReady(device, kReadyBudgetMs, kReadyPollMs, sleep);
    {
        const bool kept = device.FinalizeDisc;
        device.FinalizeDisc = true;
        WriteParameters(device, testWrite, underrunProtection, mediaType);
        device.FinalizeDisc = kept;
    }
    WaitUntilReady(device, kReadyBudgetMs, kReadyPollMs, sleep);
    if (!ReadTrackInformation(device, kInvisibleTrack)) return std::nullopt;
    return NextWritableOf(device.TrackInformation);
}

}  // namespace tavrin::drive
