#include "engine/drive/answers.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "engine/drive/byte_order.h"

namespace tavrin::drive {
namespace {

// READ FORMAT CAPACITIES: a 4-byte header whose byte 3 is the list length,
// then 8-byte descriptors; blocks are the first 4 bytes of a descriptor.
constexpr std::size_t kFormatListLengthAt = 3;
constexpr std::size_t kFormatHeaderLength = 4;
constexpr std::size_t kFormatDescriptorLength = 8;

// READ CAPACITY: last block at 0, block length at 4.
constexpr std::size_t kLastBlockAt = 0;
constexpr std::size_t kBlockLengthAt = 4;

// READ BUFFER CAPACITY: data length at 0 (bytes that follow it), buffer length
// at 4, blank length at 8.
constexpr std::size_t kBufferLengthAt = 4;
constexpr std::size_t kBlankLengthAt = 8;
constexpr std::size_t kLengthFieldSize = 2;

// READ TRACK INFORMATION: the 32-bit fields turned into host order.
constexpr std::array<std::size_t, 6> kTrackFields = {8, 12, 16, 20, 24, 28};

// MODE SENSE: the offsets a page is looked for at, in order.
constexpr std::array<std::size_t, 3> kPageOffsets = {16, 8, 7};

// What the drive's own length field (counting the bytes after it) and the
// buffer both cover.
std::size_t AnswerExtent(std::span<const uint8_t> answer) {
    if (answer.size() < kLengthFieldSize) return 0;
    return std::min<std::size_t>(answer.size(), kLengthFieldSize + ReadBE16(answer, 0));
}

void Field32ToHost(std::span<uint8_t> bytes, std::size_t offset) {
    const uint32_t value = ReadBE32(bytes, offset);
    std::memcpy(bytes.data() + offset, &value, sizeof value);
}

void Field16ToHost(std::span<uint8_t> bytes, std::size_t offset) {
    const uint16_t value = ReadBE16(bytes, offset);
    std::memcpy(bytes.data() + offset, &value, sizeof value);
}

}  // namespace

std::optional<uint32_t> DecodeFormatCapacityBlocks(std::span<const uint8_t> answer) {
    if (answer.size() < kFormatHeaderLength + kFormatDescriptorLength) return std::nullopt;
    if (answer[kFormatListLengthAt] < kFormatDescriptorLength) return std::nullopt;
    return ReadBE32(answer, kFormatHeaderLength);
}

std::optional<Capacity> DecodeCapacity(std::span<const uint8_t> answer) {
    if (answer.size() < kBlockLengthAt + 4) return std::nullopt;
    return Capacity{ReadBE32(answer, kLastBlockAt), ReadBE32(answer, kBlockLengthAt)};
}

std::optional<BufferCapacity> DecodeBufferCapacity(std::span<const uint8_t> answer) {
    const std::size_t extent = AnswerExtent(answer);
    if (extent < kBlankLengthAt + 4) return std::nullopt;
    return BufferCapacity{ReadBE32(answer, kBufferLengthAt), ReadBE32(answer, kBlankLengthAt)};
}

void TrackInformationToHostOrder(std::span<uint8_t> answer) {
    const std::size_t extent = AnswerExtent(answer);
    if (extent == 0) return;
    for (const std::size_t at : kTrackFields) {
        if (at + 4 <= extent) Field32ToHost(answer, at);
    }
    Field16ToHost(answer, 0);
}

void LengthFieldToHostOrder(std::span<uint8_t> answer) {
    if (answer.size() >= kLengthFieldSize) Field16ToHost(answer, 0);
}

std::size_t FindPageOffset(std::span<const uint8_t> answer, uint8_t pageCode, std::size_t fallback) {
    for (const std::size_t at : kPageOffsets) {
        if (at < answer.size() && answer[at] == pageCode) return at;
    }
    return fallback;
}

}  // namespace tavrin::drive
