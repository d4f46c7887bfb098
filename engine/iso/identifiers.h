// The identifiers that directory records and path tables carry for an entry, in the
// ISO 9660 tree (short names as stored, files with the version ";1") and in the
// Joliet tree (long names in UCS-2), and the longest names a record can hold.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "engine/compilation/name_limits.h"
#include "engine/iso/joliet_names.h"

namespace tavrin::iso {

// A directory's records for itself and its parent; the root's path-table record
// carries the self byte too.
inline constexpr std::string_view kSelfIdentifier{"\x00", 1};
inline constexpr std::string_view kParentIdentifier{"\x01", 1};
inline constexpr std::string_view kFileVersion = ";1";

// Long names (GBK bytes) whose Joliet identifier fits a record's one-byte length;
// the compilation refuses longer ones with the same limits.
using compilation::kMaxJolietFileNameBytes;
using compilation::kMaxJolietDirNameBytes;

std::string IsoFileIdentifier(std::string_view shortName);
std::string IsoDirectoryIdentifier(std::string_view shortName);
// The whole text name + ";1" is converted, so that the version stays at the end.
std::string JolietFileIdentifier(JolietNameEncoder& encoder, std::string_view longName);
std::string JolietDirectoryIdentifier(JolietNameEncoder& encoder, std::string_view longName);

// Whether a long name of a file or a folder can be recorded in both trees without
// shortening: the compilation refuses the others when they are added.
bool FitsJolietRecord(std::string_view longName, bool isDirectory);

}  // namespace tavrin::iso
