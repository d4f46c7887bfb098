#include "engine/sessions/disc_names.h"

#include <string_view>

namespace tavrin::sessions {

namespace {

constexpr char kVersionSeparator = ';';
// A name of one or two characters may begin with ";": the version is looked for after them.
constexpr std::size_t kVersionSearchFrom = 2;
constexpr std::size_t kUcs2Bytes = 2;

std::string_view AsText(std::span<const uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// The old writer filled an identifier of n bytes with U+0020 so that the GBK text
// of the name was n / 2 bytes long: what lies past n / 2 bytes is then filling.
void DropOldFilling(std::string& text, std::size_t identifierBytes) {
    const std::size_t nameBytes = identifierBytes / 2;
    if (text.size() <= nameBytes) return;
    if (text.find_first_not_of(' ', nameBytes) == std::string::npos) text.resize(nameBytes);
}

}  // namespace

JolietNameDecoder::JolietNameDecoder() : converter_(platform::Charset::Ucs2Be, platform::Charset::Gbk) {}

std::string JolietNameDecoder::Convert(std::span<const uint8_t> identifier) {
    // A trailing odd byte is half a character: it is dropped.
    const auto whole = identifier.first(identifier.size() / kUcs2Bytes * kUcs2Bytes);
    if (auto text = converter_.convert(AsText(whole))) return *text;
    std::string text;
    for (std::size_t at = 0; at < whole.size(); at += kUcs2Bytes) {
        const auto character = converter_.convert(AsText(whole.subspan(at, kUcs2Bytes)));
        if (character) {
            text += *character;
        } else {
            text += kUnconvertibleCharacter;
        }
    }
    return text;
}

std::string JolietNameDecoder::Decode(std::span<const uint8_t> identifier) {
    std::string text = Convert(identifier);
    DropOldFilling(text, identifier.size());
    // GBK trail bytes start at 40h: a ";" byte is always a character of its own.
    if (text.size() > kVersionSearchFrom) {
        const auto version = text.find(kVersionSeparator, kVersionSearchFrom);
        if (version != std::string::npos) text.resize(version);
    }
    return text;
}

std::string IsoName(std::span<const uint8_t> identifier) {
    std::string text(AsText(identifier));
    const auto version = text.find(kVersionSeparator);
    if (version != std::string::npos) text.resize(version);
    return text;
}

}  // namespace tavrin::sessions
