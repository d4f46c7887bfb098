// The compilation's own message texts, as fmt format strings; the ones the engine
// shares with other folders are in engine/device/messages.h.
#pragma once

#include <string_view>

namespace tavrin::compilation::texts {

// Prefix of engine notes.
inline constexpr std::string_view kNote = ">>> ";
// An ISO 9660 directory record holds a 32-bit data length: a file of 4 GiB or more
// would come back truncated from the disc.
inline constexpr std::string_view kFileTooLarge =
    "FILE \"{}\" IS 4 GB OR LARGER AND CANNOT BE RECORDED IN ONE EXTENT, NOT ADDED";
// A file system name with no GBK form could neither be shown nor recorded.
inline constexpr std::string_view kNameWithoutGbkForm = "NAME \"{}\" IN \"{}\" HAS NO GBK FORM, NOT ADDED";
// A long name beyond what a directory record holds would overflow the record.
inline constexpr std::string_view kNameTooLong = "NAME \"{}\" IS TOO LONG FOR A DIRECTORY RECORD, NOT ADDED";

}  // namespace tavrin::compilation::texts
