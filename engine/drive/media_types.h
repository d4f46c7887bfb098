// Media type codes: what the writers, the layout and the user interface switch
// on. The code follows the disc's current profile (or its ATIP on drives that
// do not report profiles).
#pragma once

#include <cstdint>

namespace tavrin::drive {

namespace media {
inline constexpr uint8_t kUnknown = 0;
inline constexpr uint8_t kCDROM = 1;
inline constexpr uint8_t kCDR = 2;
inline constexpr uint8_t kCDRW = 3;
inline constexpr uint8_t kDVDROM = 4;
inline constexpr uint8_t kDVDR = 5;
inline constexpr uint8_t kDVDRAM = 6;
inline constexpr uint8_t kDVDRW = 7;
inline constexpr uint8_t kDVDRWAlternate = 8;  // never produced by the profile mapping
inline constexpr uint8_t kDVDPlusRW = 9;
inline constexpr uint8_t kDVDPlusR = 10;
inline constexpr uint8_t kDDCDROM = 11;
inline constexpr uint8_t kDDCDR = 12;
inline constexpr uint8_t kDDCDRW = 13;
inline constexpr uint8_t kCount = 14;
}  // namespace media

constexpr bool IsCDFamily(uint8_t code) { return code < media::kDVDROM; }
constexpr bool IsDVDRFamily(uint8_t code) {
    return code == media::kDVDR || code == media::kDVDRW || code == media::kDVDRWAlternate;
}

// How many CD speed factors (the unit of the write speed sent to the drive) one
// step of this disc's own speed stands for: 1 on CD, 7 on DVD. Speed lists and
// options count in the disc's unit.
constexpr uint16_t MediaFactor(uint8_t code) { return IsCDFamily(code) ? 1 : 7; }

// One volume at block 0 that is rewritten in place, rather than sessions that follow
// each other.
constexpr bool IsRandomAccess(uint8_t code) { return code == media::kDVDRAM || code == media::kDVDPlusRW; }

}  // namespace tavrin::drive
