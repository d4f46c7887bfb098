// Decoders of the drive's answers. Each reads only what both the buffer and
// the answer's own length field cover, and says when a field is missing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace tavrin::drive {

// Blocks of the current/maximum capacity descriptor of READ FORMAT CAPACITIES.
std::optional<uint32_t> DecodeFormatCapacityBlocks(std::span<const uint8_t> answer);

struct Capacity {
    uint32_t lastBlock = 0;
    uint32_t blockLength = 0;
};
std::optional<Capacity> DecodeCapacity(std::span<const uint8_t> answer);

struct BufferCapacity {
    uint32_t length = 0;
    uint32_t free = 0;
};
std::optional<BufferCapacity> DecodeBufferCapacity(std::span<const uint8_t> answer);

// Turns the length and address fields of a track information answer into host
// order in place; fields beyond the answer's length are left alone.
void TrackInformationToHostOrder(std::span<uint8_t> answer);

// Turns the 16-bit length field at the start of an answer into host order.
void LengthFieldToHostOrder(std::span<uint8_t> answer);

// Where a mode page starts in a MODE SENSE answer. Drives differ in the header
// they put before it: the page is taken at 16 (header with a block descriptor),
// else 8 (bare header), else 7 (drives that drop a header byte), the first of
// these that holds the page code; when none does, at `fallback`.
std::size_t FindPageOffset(std::span<const uint8_t> answer, uint8_t pageCode, std::size_t fallback);

}  // namespace tavrin::drive
