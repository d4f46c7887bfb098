// Numbers in ISO 9660 structures: little-endian (type L path tables), big-endian
// (type M path tables) and "both-byte orders", the little-endian value immediately
// followed by the big-endian one, as directory records and descriptors carry them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tavrin::iso {

void PutLE16(std::span<uint8_t> bytes, std::size_t offset, uint16_t value);
void PutBE16(std::span<uint8_t> bytes, std::size_t offset, uint16_t value);
void PutLE32(std::span<uint8_t> bytes, std::size_t offset, uint32_t value);
void PutBE32(std::span<uint8_t> bytes, std::size_t offset, uint32_t value);
// 4 bytes: LE16 then BE16.
void PutBoth16(std::span<uint8_t> bytes, std::size_t offset, uint16_t value);
// 8 bytes: LE32 then BE32.
void PutBoth32(std::span<uint8_t> bytes, std::size_t offset, uint32_t value);

}  // namespace tavrin::iso
