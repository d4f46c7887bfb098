#include "engine/sessions/session_list.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <span>

#include <fmt/format.h>

#include "engine/drive/byte_order.h"
#include "engine/drive/media_info.h"
#include "engine/drive/mmc_commands.h"
#include "engine/sessions/toc_address.h"

namespace tavrin::sessions {
namespace {

constexpr uint32_t kBlockSize = 2048;
constexpr uint64_t kBlocksPerMegabyte = 1024 * 1024 / kBlockSize;

// The table of contents is asked for in 248 bytes.
constexpr uint8_t kListTocLength = 248;
constexpr uint8_t kLeadOutTrack = 0xAA;

// READ TRACK INFORMATION, in host order after the command: its length field and
// the Track Size.
constexpr std::size_t kTrackLengthFieldBytes = 2;
constexpr std::size_t kTrackSizeAt = 24;
constexpr std::size_t kTrackSizeEnd = kTrackSizeAt + 4;

// A session's primary volume descriptor lies 16 blocks after its start; its
// volume space size (both-endian, the little-endian half first) at byte 80.
constexpr uint32_t kVolumeDescriptorBlock = 16;
constexpr std::size_t kVolumeSpaceSizeAt = 80;

constexpr const char* kUnknownSize = "  ???? MB";
constexpr const char* kUnreadableLeadOut = "00:00:00";

std::string TimeText(const TocAddress& a) {
    return Pad(3, '0', a.minutes) + ":" + Pad(2, '0', a.seconds) + ":" + Pad(2, '0', a.frames);
}

// Track Size of the track information; 0 when the drive gives none.
uint32_t TrackSize(TSCSIDevice& device, uint8_t track) {
    if (!drive::ReadTrackInformation(device, track)) return 0;
    const std::span<const uint8_t> info = device.TrackInformation;
    uint16_t length = 0;
    std::memcpy(&length, info.data(), sizeof length);
    if (std::min<std::size_t>(info.size(), kTrackLengthFieldBytes + length) < kTrackSizeEnd) return 0;
    uint32_t size = 0;
    std::memcpy(&size, info.data() + kTrackSizeAt, sizeof size);
    return size;
}

// The volume space size in the descriptor of the session starting at `start`;
// 0 when the block cannot be read.
uint32_t VolumeSpaceSize(TSCSIDevice& device, uint32_t start) {
    std::array<uint8_t, kBlockSize> block{};
    if (!drive::Read10(device, start + kVolumeDescriptorBlock, 1, kBlockSize, block)) return 0;
    return uint32_t{block[kVolumeSpaceSizeAt]} | uint32_t{block[kVolumeSpaceSizeAt + 1]} << 8 |
           uint32_t{block[kVolumeSpaceSizeAt + 2]} << 16 | uint32_t{block[kVolumeSpaceSizeAt + 3]} << 24;
}

std::string SizeText(uint64_t blocks) { return "  " + Pad(4, ' ', WholeMegabytes(blocks)) + " MB"; }

// The line of one track; none for a track without a start.
std::optional<std::string> TrackLine(TSCSIDevice& device, uint8_t track) {
    const auto address = ReadTocAddress(device, track, kListTocLength);
    if (!address) return std::nullopt;
    const uint32_t frames = FramesOf(*address);
    if (frames == 0) return std::nullopt;
    const std::string head = "  " + Pad(3, '0', track) + "      " + TimeText(*address);
    const uint32_t trackSize = TrackSize(device, track);
    // An address inside the lead-in has no volume descriptor to read.
    if (frames < kMsfOriginFrames) return head + kUnknownSize;
    const uint32_t volumeSize = VolumeSpaceSize(device, frames - kMsfOriginFrames);
    if (volumeSize == 0) return head + kUnknownSize;
    return head + SizeText(trackSize != 0 ? trackSize : volumeSize);
}

std::string FreeLine(TSCSIDevice& device, uint32_t freeBlocks) {
    const auto leadOut = ReadTocAddress(device, kLeadOutTrack, kListTocLength);
    return " Free      " + (leadOut ? TimeText(*leadOut) : std::string(kUnreadableLeadOut)) + SizeText(freeBlocks);
}

std::string MediaName(uint8_t code) {
    return code < drive::MediaTypeNames.size() ? drive::MediaTypeNames[code] : drive::MediaTypeNames[0];
}

}  // namespace

std::string Pad(int width, char fill, int64_t number) {
    std::string digits = std::to_string(number);
    const auto missing = static_cast<int64_t>(width) - static_cast<int64_t>(digits.size());
    if (missing <= 0) return digits;
    return std::string(static_cast<std::size_t>(missing), fill) + digits;
}

int64_t WholeMegabytes(uint64_t blocks) {
    return static_cast<int64_t>((blocks + kBlocksPerMegabyte / 2) / kBlocksPerMegabyte);
}

// In whole hundredths, so that the halves round the same way on every machine.
std::string MegabytesText(uint64_t blocks) {
    const uint64_t hundredths = (blocks * 100 + kBlocksPerMegabyte / 2) / kBlocksPerMegabyte;
    return fmt::format("{}.{:02} MB", hundredths / 100, hundredths % 100);
}

SessionList ReadSessionList(TSCSIDevice& device, const SessionListOptions& options) {
    SessionList list;
    const drive::TDisc disc = drive::GetDiscInfo(device, options.sleep);
    if (!disc.DiscPresent) {
        list.lines.push_back(kNoDiscLine);
        return list;
    }
    // Track 0 is the lead-in, not a track: a blank disc reports 0 for both.
    for (unsigned t = std::max<unsigned>(disc.FirstSession, 1); t <= disc.LastSession; ++t) {
        if (auto line = TrackLine(device, static_cast<uint8_t>(t))) list.lines.push_back(std::move(*line));
    }
    const uint32_t freeBlocks = drive::FreeBlocks(device, options.underrunProtection);
    list.lines.push_back(FreeLine(device, freeBlocks));
    list.medium = MediaName(drive::MediaTypeCode(device));
    list.totalSpace = MegabytesText(drive::DiscCapacityBlocks(device));
    list.usedSpace = MegabytesText(drive::UsedBlocks(device));
    list.freeSpace = MegabytesText(freeBlocks);
    return list;
}

}  // namespace tavrin::sessions
