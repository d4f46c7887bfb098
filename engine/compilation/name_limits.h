// The longest long names a directory record can carry. A record's length is one
// byte: 33 fixed bytes, the identifier and a pad byte leave room for 110 UCS-2
// characters, and every GBK byte of a long name becomes at most one of them (a
// file's ";1" takes two more). Longer names are refused when they are added, so
// that no layout ever meets a name it cannot record.
#pragma once

#include <cstddef>
#include <string_view>

namespace tavrin::compilation {

inline constexpr std::size_t kMaxJolietFileNameBytes = 108;
inline constexpr std::size_t kMaxJolietDirNameBytes = 110;

constexpr bool FitsDirectoryRecord(std::string_view longName, bool isDirectory) {
    return longName.size() <= (isDirectory ? kMaxJolietDirNameBytes : kMaxJolietFileNameBytes);
}

}  // namespace tavrin::compilation
