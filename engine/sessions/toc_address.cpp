#include "engine/sessions/toc_address.h"

#include <algorithm>
#include <array>

#include "engine/drive/byte_order.h"
#include "engine/drive/media_info.h"
#include "engine/drive/mmc_commands.h"

namespace tavrin::sessions {
namespace {

// The answer: its data length (big-endian, counting the bytes after it), then the
// 4-byte header and the descriptors; the first one's address is reserved,
// minutes, seconds, frames at bytes 8 to 11.
constexpr uint8_t kTocFormatToc = 0;
constexpr std::size_t kTocDataLengthAt = 0;
constexpr std::size_t kTocDataLengthBytes = 2;
constexpr std::size_t kMinutesAt = 9, kSecondsAt = 10, kFramesAt = 11;
constexpr std::size_t kTocBytesNeeded = kFramesAt + 1;

}  // namespace

std::optional<TocAddress> ReadTocAddress(TSCSIDevice& device, uint8_t track, uint8_t length) {
    std::array<uint8_t, kTocLength> toc{};
    length = std::min(length, kTocLength);
    if (!drive::ReadTOC(device, kTocFormatToc, toc, length, track, true, 0)) return std::nullopt;
    const std::size_t answered = kTocDataLengthBytes + drive::ReadBE16(toc, kTocDataLengthAt);
    if (std::min<std::size_t>(answered, length) < kTocBytesNeeded) return std::nullopt;
    return TocAddress{toc[kMinutesAt], toc[kSecondsAt], toc[kFramesAt]};
}

uint32_t FramesOf(const TocAddress& address) {
    return drive::MSFToFrames(0, address.minutes, address.seconds, address.frames);
}

}  // namespace tavrin::sessions
