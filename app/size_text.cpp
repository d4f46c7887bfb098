#include "app/size_text.h"

#include <fmt/format.h>

namespace tavrin::app {
namespace {

constexpr int64_t kBytesPerMegabyte = 1048576;

}  // namespace

std::string GroupedThousands(uint64_t number) {
    const std::string digits = std::to_string(number);
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

// In whole hundredths, rounded half up, so that the text does not depend on the
// floating-point rounding of the machine.
std::string SizeText(int64_t bytes) {
    const bool negative = bytes < 0;
    const auto magnitude = static_cast<uint64_t>(negative ? -bytes : bytes);
    const uint64_t hundredths = (magnitude * 100 + kBytesPerMegabyte / 2) / kBytesPerMegabyte;
    return fmt::format("{}{}.{:02} MB", negative ? "-" : "", GroupedThousands(hundredths / 100),
                       hundredths % 100);
}

}  // namespace tavrin::app
