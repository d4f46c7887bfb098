// Joliet names: the GBK text of a long name as UCS-2 big-endian, two bytes per
// character. Readers take every code unit of a Joliet identifier as part of the name,
// so an identifier carries the characters of the name and nothing else (a space fill
// would come back as trailing spaces of the file name).
#pragma once

#include <string>
#include <string_view>

#include "engine/platform/gbk.h"

namespace tavrin::iso {

// A character with no UCS-2 form (a stray byte that is no GBK character) is recorded
// as "_", so that a name never loses its length or its readability on the disc.
inline constexpr char16_t kUnconvertibleCharacter = u'_';

// Holds one converter for a whole tree of names (opening one per name would cost
// more than the conversion). One per thread.
class JolietNameEncoder {
public:
    JolietNameEncoder();
    // The exact UCS-2BE form of the GBK text.
    std::string Encode(std::string_view gbk);

private:
    std::string EncodeByCharacter(std::string_view gbk);
    platform::Converter converter_;
};

// One-shot form of JolietNameEncoder::Encode.
std::string EncodeJolietName(std::string_view gbk);

}  // namespace tavrin::iso
