// Names and compilation paths as GBK bytes: ASCII upper-casing, the engine's ISO
// short names, and "\" found only where it is a character of its own (in GBK, 5Ch is
// also a trail byte of many double-byte characters).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tavrin::compilation {

inline constexpr char kBackslash = '\\';

constexpr char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c;
}
std::string AsciiUpper(std::string_view text);
bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b);
// FNV-1a over the upper-cased bytes: equal for names that compare equal above.
std::size_t HashIgnoringAsciiCase(std::string_view text);

// The name upper-cased, every byte outside 21h..7Ah replaced by "_": what an ISO
// 9660 reader can show whatever code page it assumes.
std::string IsoSafeName(std::string_view name);
// IsoSafeName of the first 13 bytes.
std::string MakeShortName(std::string_view name);

// Start of the character after the one starting at i.
std::size_t NextCharacter(std::string_view text, std::size_t i);
// Position of the last "\" character that starts before `limit`.
std::optional<std::size_t> LastBackslashBefore(std::string_view text, std::size_t limit);
std::optional<std::size_t> LastBackslash(std::string_view text);
// Position where the last character starts (text must not be empty).
std::size_t LastCharacterStart(std::string_view text);
bool EndsWithBackslash(std::string_view text);
// The text without one trailing "\" (when it ends with that character).
std::string_view WithoutTrailingBackslash(std::string_view text);
std::string_view WithoutLeadingBackslash(std::string_view text);

}  // namespace tavrin::compilation
