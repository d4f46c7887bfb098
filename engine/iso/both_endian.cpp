#include "engine/iso/both_endian.h"

namespace tavrin::iso {

namespace {

// Byte i of a little-endian field of `width` bytes holds bits 8i..8i+7.
void PutLE(std::span<uint8_t> bytes, std::size_t offset, uint32_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

void PutBE(std::span<uint8_t> bytes, std::size_t offset, uint32_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) bytes[offset + width - 1 - i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

void PutLE16(std::span<uint8_t> bytes, std::size_t offset, uint16_t value) { PutLE(bytes, offset, value, 2); }
void PutBE16(std::span<uint8_t> bytes, std::size_t offset, uint16_t value) { PutBE(bytes, offset, value, 2); }
void PutLE32(std::span<uint8_t> bytes, std::size_t offset, uint32_t value) { PutLE(bytes, offset, value, 4); }
void PutBE32(std::span<uint8_t> bytes, std::size_t offset, uint32_t value) { PutBE(bytes, offset, value, 4); }

void PutBoth16(std::span<uint8_t> bytes, std::size_t offset, uint16_t value) {
    PutLE16(bytes, offset, value);
    PutBE16(bytes, offset + 2, value);
}

void PutBoth32(std::span<uint8_t> bytes, std::size_t offset, uint32_t value) {
    PutLE32(bytes, offset, value);
    PutBE32(bytes, offset + 4, value);
}

}  // namespace tavrin::iso
