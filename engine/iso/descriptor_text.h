// The text fields of the volume descriptors: fixed-width 8-bit fields filled with
// spaces (upper-cased in the primary descriptor, whose character set has no lower
// case), UCS-2 fields of the Joliet descriptor filled with U+0020, and the 17-byte
// volume dates.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "engine/compilation/entries.h"
#include "engine/iso/joliet_names.h"

namespace tavrin::iso {

enum class LetterCase { Kept, Upper };

// Exactly `width` bytes: the text (ASCII upper-cased when asked), cut, space-filled.
std::string EightBitField(std::string_view text, std::size_t width, LetterCase letters);
// Exactly `width` bytes: the text in UCS-2BE cut to width / 2 characters, then U+0020
// (an odd width keeps its last byte 0).
std::string JolietField(JolietNameEncoder& encoder, std::string_view text, std::size_t width);

inline constexpr std::size_t kVolumeDateBytes = 17;
// "yyyymmddhhnnsszz": the milliseconds with at least two digits, the text cut or
// filled with spaces to 16 characters; the 17th byte (the GMT offset) stays 0.
// A date outside the years 1 to 9999 has no such form and is recorded as
// "not specified" (sixteen "0").
std::string VolumeDate(TDateTime when);
// The form of the expiration and effective dates: not specified.
std::string UnspecifiedVolumeDate();

}  // namespace tavrin::iso
