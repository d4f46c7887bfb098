#pragma once
// Big-endian fields of CDBs and answers, and CD address fields.

#include <cstddef>
#include <cstdint>
#include <span>

#include "recorders/virtual/media.h"

namespace tavrin::vrecorder {

inline uint16_t be16(std::span<const uint8_t> b, std::size_t at) {
    return static_cast<uint16_t>(b[at] << 8 | b[at + 1]);
}
inline uint32_t be24(std::span<const uint8_t> b, std::size_t at) {
    return uint32_t{b[at]} << 16 | uint32_t{b[at + 1]} << 8 | b[at + 2];
}
inline uint32_t be32(std::span<const uint8_t> b, std::size_t at) {
    return uint32_t{b[at]} << 24 | uint32_t{b[at + 1]} << 16 | uint32_t{b[at + 2]} << 8 | b[at + 3];
}
inline void put16(std::span<uint8_t> b, std::size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v >> 8);
    b[at + 1] = static_cast<uint8_t>(v);
}
inline void put24(std::span<uint8_t> b, std::size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v >> 16);
    put16(b, at + 1, v);
}
inline void put32(std::span<uint8_t> b, std::size_t at, uint32_t v) {
    put16(b, at, v >> 16);
    put16(b, at + 2, v);
}

// A 4-byte address field: reserved, M, S, F, or the LBA.
inline void putAddress(std::span<uint8_t> b, std::size_t at, int32_t lba, bool msf) {
    if (!msf) {
        put32(b, at, static_cast<uint32_t>(lba));
        return;
    }
    const Msf a = lbaToMsf(lba);
    b[at] = 0;
    b[at + 1] = a.minute;
    b[at + 2] = a.second;
    b[at + 3] = a.frame;
}
inline void putMsf(std::span<uint8_t> b, std::size_t at, Msf a) {
    b[at] = 0;
    b[at + 1] = a.minute;
    b[at + 2] = a.second;
    b[at + 3] = a.frame;
}

}  // namespace tavrin::vrecorder
