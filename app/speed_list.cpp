#include "app/speed_list.h"

#include <algorithm>
#include <charconv>

#include <fmt/format.h>

#include "app/size_text.h"
#include "engine/drive/capabilities.h"
#include "engine/drive/media_info.h"
#include "engine/drive/media_types.h"

namespace tavrin::app {
namespace {

constexpr uint32_t kKilobytesPerCdSpeed = 150;

}  // namespace

std::string SpeedLabel(uint16_t shown, uint16_t factor) {
    return fmt::format("{:02}X ({} KB/s)", shown, GroupedThousands(uint64_t{factor} * kKilobytesPerCdSpeed));
}

std::vector<std::string> SpeedLabels(TSCSIDevice& device) {
    const uint16_t mediaFactor = drive::MediaFactor(drive::MediaTypeCode(device));
    std::vector<std::string> labels{kMaxSpeedLabel};
    for (uint16_t s = drive::ReadMaxWriteSpeed(device); s >= 1; --s) {
        drive::SetWriteSpeed(device, s);
        const uint16_t taken = drive::ReadCurrentWriteSpeed(device);
        std::string label = SpeedLabel(static_cast<uint16_t>(taken / mediaFactor), taken);
        if (std::find(labels.begin(), labels.end(), label) == labels.end()) labels.push_back(std::move(label));
    }
    return labels;
}

uint16_t ParseSpeedLabel(const std::string& label, uint8_t mediaType) {
    if (label == kMaxSpeedLabel) return 0;
    const std::string number = label.substr(0, label.find('X'));
    unsigned value = 0;
    std::from_chars(number.data(), number.data() + number.size(), value);
    return static_cast<uint16_t>(value * drive::MediaFactor(mediaType));
}

}  // namespace tavrin::app
