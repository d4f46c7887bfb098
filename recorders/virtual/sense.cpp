#include "recorders/virtual/sense.h"

namespace tavrin::vrecorder {

namespace {
// Fixed-format sense data field offsets.
constexpr std::size_t kResponseCode = 0;
constexpr std::size_t kKey = 2;
constexpr std::size_t kAdditionalLength = 7;
constexpr std::size_t kAsc = 12;
constexpr std::size_t kAscq = 13;
constexpr std::size_t kSenseKeySpecific = 15;
constexpr uint8_t kCurrentFixed = 0x70;
constexpr uint8_t kSksv = 0x80;
}  // namespace

std::array<uint8_t, kSenseLength> Sense::encode() const {
    std::array<uint8_t, kSenseLength> out{};
    out[kResponseCode] = kCurrentFixed;
    out[kKey] = key & 0x0F;
    out[kAdditionalLength] = kSenseLength - 8;
    out[kAsc] = asc;
    out[kAscq] = ascq;
    if (progress) {
        out[kSenseKeySpecific] = kSksv;
        out[kSenseKeySpecific + 1] = static_cast<uint8_t>(*progress >> 8);
        out[kSenseKeySpecific + 2] = static_cast<uint8_t>(*progress);
    }
    return out;
}

}  // namespace tavrin::vrecorder
