// Moving numbers between host order and the big-endian fields of CDBs and
// drive answers, and between block addresses and minutes/seconds/frames.
#pragma once

#include <cstdint>
#include <span>

namespace tavrin::drive {

uint16_t Swap16(uint16_t value);
uint32_t Swap32(uint32_t value);

// Copies min(source, destination) bytes reversed: source byte i goes to
// destination byte n - 1 - i.
void ReverseCopy(std::span<const uint8_t> source, std::span<uint8_t> destination);

// Big-endian fields read from or written into a byte span; bytes outside the
// span read as 0 and are not written.
uint16_t ReadBE16(std::span<const uint8_t> bytes, std::size_t offset);
uint32_t ReadBE32(std::span<const uint8_t> bytes, std::size_t offset);
void WriteBE16(std::span<uint8_t> bytes, std::size_t offset, uint16_t value);
void WriteBE32(std::span<uint8_t> bytes, std::size_t offset, uint32_t value);

struct Msf {
    uint8_t minutes = 0;
    uint8_t seconds = 0;
    uint8_t frames = 0;
};

// No 150-block lead-in offset is added or removed: callers do that.
uint32_t HmsfToBlocks(uint32_t hours, uint32_t minutes, uint32_t seconds, uint32_t frames);
Msf BlocksToMsf(uint32_t blocks);

}  // namespace tavrin::drive
