#include "engine/drive/byte_order.h"

#include <algorithm>

namespace tavrin::drive {

uint16_t Swap16(uint16_t value) { return static_cast<uint16_t>((value >> 8) | (value << 8)); }

uint32_t Swap32(uint32_t value) {
    return (value >> 24) | ((value >> 8) & 0x0000FF00u) | ((value << 8) & 0x00FF0000u) | (value << 24);
}

void ReverseCopy(std::span<const uint8_t> source, std::span<uint8_t> destination) {
    const std::size_t n = std::min(source.size(), destination.size());
    for (std::size_t i = 0; i < n; ++i) destination[n - 1 - i] = source[i];
}

uint16_t ReadBE16(std::span<const uint8_t> bytes, std::size_t offset) {
    if (offset > bytes.size() || bytes.size() - offset < 2) return 0;
    return static_cast<uint16_t>((bytes[offset] << 8) | bytes[offset + 1]);
}

uint32_t ReadBE32(std::span<const uint8_t> bytes, std::size_t offset) {
    if (offset > bytes.size() || bytes.size() - offset < 4) return 0;
    return (uint32_t{bytes[offset]} << 24) | (uint32_t{bytes[offset + 1]} << 16) |
           (uint32_t{bytes[offset + 2]} << 8) | uint32_t{bytes[offset + 3]};
}

void WriteBE16(std::span<uint8_t> bytes, std::size_t offset, uint16_t value) {
    if (offset > bytes.size() || bytes.size() - offset < 2) return;
    bytes[offset] = static_cast<uint8_t>(value >> 8);
    bytes[offset + 1] = static_cast<uint8_t>(value);
}

void WriteBE32(std::span<uint8_t> bytes, std::size_t offset, uint32_t value) {
    if (offset > bytes.size() || bytes.size() - offset < 4) return;
    for (std::size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

uint32_t HmsfToBlocks(uint32_t hours, uint32_t minutes, uint32_t seconds, uint32_t frames) {
    return hours * 270000u + minutes * 4500u + seconds * 75u + frames;
}

Msf BlocksToMsf(uint32_t blocks) {
    return Msf{static_cast<uint8_t>(blocks / 4500), static_cast<uint8_t>((blocks / 75) % 60),
               static_cast<uint8_t>(blocks % 75)};
}

}  // namespace tavrin::drive
