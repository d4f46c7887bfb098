#include "engine/compilation/names.h"

#include <algorithm>
#include <cstdint>

namespace tavrin::compilation {

namespace {

constexpr std::size_t kShortNameBytes = 13;
constexpr unsigned char kFirstNameByte = 0x21;
constexpr unsigned char kLastNameByte = 0x7A;

bool IsLeadByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x81 && byte <= 0xFE;
}

}  // namespace

std::string AsciiUpper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) c = AsciiUpper(c);
    return upper;
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return AsciiUpper(x) == AsciiUpper(y); });
}

std::size_t HashIgnoringAsciiCase(std::string_view text) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(AsciiUpper(c));
        hash *= 1099511628211ull;
    }
    return static_cast<std::size_t>(hash);
}

std::string IsoSafeName(std::string_view name) {
    std::string safe = AsciiUpper(name);
    for (char& c : safe) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < kFirstNameByte || byte > kLastNameByte) c = '_';
    }
    return safe;
}

std::string MakeShortName(std::string_view name) { return IsoSafeName(name.substr(0, kShortNameBytes)); }

std::size_t NextCharacter(std::string_view text, std::size_t i) {
    return IsLeadByte(text[i]) && i + 1 < text.size() ? i + 2 : i + 1;
}

std::optional<std::size_t> LastBackslashBefore(std::string_view text, std::size_t limit) {
    std::optional<std::size_t> found;
    for (std::size_t i = 0; i < text.size() && i < limit; i = NextCharacter(text, i)) {
        if (text[i] == kBackslash) found = i;
    }
    return found;
}

std::optional<std::size_t> LastBackslash(std::string_view text) {
    return LastBackslashBefore(text, text.size());
}

std::size_t LastCharacterStart(std::string_view text) {
    std::size_t last = 0;
    for (std::size_t i = 0; i < text.size(); i = NextCharacter(text, i)) last = i;
    return last;
}

bool EndsWithBackslash(std::string_view text) {
    return !text.empty() && text.back() == kBackslash && LastCharacterStart(text) == text.size() - 1;
}

std::string_view WithoutTrailingBackslash(std::string_view text) {
    if (EndsWithBackslash(text)) text.remove_suffix(1);
    return text;
}

std::string_view WithoutLeadingBackslash(std::string_view text) {
    if (!text.empty() && text.front() == kBackslash) text.remove_prefix(1);
    return text;
}

}  // namespace tavrin::compilation
