// The speed list of the window's top band and of the preferences: "Max", then one
// label per speed the drive accepts, fastest first ("48X (7,200 KB/s)"; on DVD the
// factor is in DVD speeds: "02X (2,400 KB/s)"), and the label read back as the
// engine's factor in CD speeds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/device/scsi_device.h"

namespace tavrin::app {

inline constexpr const char* kMaxSpeedLabel = "Max";

// The label of a speed of `shown` units whose rate is `factor` CD speeds.
std::string SpeedLabel(uint16_t shown, uint16_t factor);

// Asks the drive for every speed from its maximum down to 1 and keeps the labels of
// the speeds it really takes, without repeats, after "Max". The drive is left at
// factor 1.
std::vector<std::string> SpeedLabels(TSCSIDevice& device);

// "Max" is 0 (the drive's fastest); a label is its number before the first "X"
// times the medium's factor. A label without a number is 0.
uint16_t ParseSpeedLabel(const std::string& label, uint8_t mediaType);

}  // namespace tavrin::app
