#include "recorders/virtual/mmc_speeds.h"

#include <cstdlib>

namespace tavrin::vrecorder {

namespace {
// 48x, 40x, 32x, 24x, 16x, 10x, 8x, 4x
constexpr uint16_t kCdWrite[] = {8467, 7056, 5645, 4234, 2822, 1764, 1411, 706};
// 16x, 12x, 8x, 4x, 2.4x
constexpr uint16_t kDvdWrite[] = {22160, 16620, 11080, 5540, 3324};
constexpr uint16_t kCdMaxRead = 8467;    // 48x
constexpr uint16_t kDvdMaxRead = 22160;  // 16x
}  // namespace

SpeedTable speedsFor(bool dvd) {
    if (dvd) return SpeedTable{kDvdWrite, kDvdMaxRead};
    return SpeedTable{kCdWrite, kCdMaxRead};
}

uint16_t snapSpeed(std::span<const uint16_t> supported, uint16_t requested) {
    if (supported.empty()) return 0;
    if (requested == kMaximumSpeed) return supported.front();
    uint16_t best = supported.front();
    for (const uint16_t s : supported) {
        if (std::abs(int{s} - int{requested}) < std::abs(int{best} - int{requested})) best = s;
    }
    return best;
}

}  // namespace tavrin::vrecorder
