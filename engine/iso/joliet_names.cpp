#include "engine/iso/joliet_names.h"

#include "engine/compilation/names.h"

namespace tavrin::iso {

JolietNameEncoder::JolietNameEncoder() : converter_(platform::Charset::Gbk, platform::Charset::Ucs2Be) {}

std::string JolietNameEncoder::Encode(std::string_view gbk) {
    if (auto whole = converter_.convert(gbk)) return *std::move(whole);
    return EncodeByCharacter(gbk);
}

// Only for a text with a byte that is no GBK character: each character on its own,
// the ones without a form replaced.
std::string JolietNameEncoder::EncodeByCharacter(std::string_view gbk) {
    std::string ucs2;
    for (std::size_t i = 0; i < gbk.size();) {
        const std::size_t next = compilation::NextCharacter(gbk, i);
        const auto character = converter_.convert(gbk.substr(i, next - i));
        if (character && character->size() == 2) {
            ucs2 += *character;
        } else {
            ucs2 += static_cast<char>(kUnconvertibleCharacter >> 8);
            ucs2 += static_cast<char>(kUnconvertibleCharacter & 0xFF);
        }
        i = next;
    }
    return ucs2;
}

std::string EncodeJolietName(std::string_view gbk) {
    JolietNameEncoder encoder;
    return encoder.Encode(gbk);
}

}  // namespace tavrin::iso
