#include "engine/iso/descriptor_text.h"

#include <algorithm>

#include <fmt/format.h>

#include "engine/compilation/date_time.h"
#include "engine/compilation/names.h"

namespace tavrin::iso {

namespace {

constexpr std::size_t kDateCharacters = 16;

std::string Fit(std::string text, std::size_t width, char fill) {
    text.resize(width, fill);
    return text;
}

}  // namespace

std::string EightBitField(std::string_view text, std::size_t width, LetterCase letters) {
    const std::string_view cut = text.substr(0, width);
    return Fit(letters == LetterCase::Upper ? compilation::AsciiUpper(cut) : std::string(cut), width, ' ');
}

std::string JolietField(JolietNameEncoder& encoder, std::string_view text, std::size_t width) {
    std::string ucs2 = encoder.Encode(text);
    const std::size_t characters = width / 2;
    ucs2.resize(std::min(ucs2.size(), characters * 2));
    while (ucs2.size() < characters * 2) ucs2 += std::string_view("\x00\x20", 2);
    return Fit(std::move(ucs2), width, '\0');
}

std::string VolumeDate(TDateTime when) {
    const auto local = compilation::LocalFromDateTime(when);
    if (!local) return UnspecifiedVolumeDate();
    const std::string text = fmt::format("{:04}{:02}{:02}{:02}{:02}{:02}{:02}", local->year, local->month, local->day,
                                         local->hour, local->minute, local->second, local->millisecond);
    return Fit(Fit(text, kDateCharacters, ' '), kVolumeDateBytes, '\0');
}

std::string UnspecifiedVolumeDate() {
    return Fit(std::string(kDateCharacters, '0'), kVolumeDateBytes, '\0');
}

}  // namespace tavrin::iso
