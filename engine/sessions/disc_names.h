// The names of directory records as GBK text: Joliet identifiers (UCS-2 big-endian)
// and ISO 9660 identifiers (8-bit), each without its version (";1").
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "engine/platform/gbk.h"

namespace tavrin::sessions {

// A character with no GBK form comes back as "_", as the writer records a byte with
// no UCS-2 form: the name keeps its length and stays readable.
inline constexpr char kUnconvertibleCharacter = '_';

// Holds one converter for a whole tree of names. One per thread.
class JolietNameDecoder {
public:
    JolietNameDecoder();
    // The whole identifier converted, cut at the first ";" found from its third byte
    // on. Names written the old padded way (U+0020 filling the identifier to twice
    // the GBK length) come back without the filling.
    std::string Decode(std::span<const uint8_t> identifier);

private:
    std::string Convert(std::span<const uint8_t> identifier);
    platform::Converter converter_;
};

// The identifier as 8-bit text, cut at its first ";".
std::string IsoName(std::span<const uint8_t> identifier);

}  // namespace tavrin::sessions
