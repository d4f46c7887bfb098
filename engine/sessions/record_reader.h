// One directory record read from a 2048-byte block of a disc. The disc is untrusted:
// every field is read only after the record is known to lie inside the block, and
// an identifier is never taken from beyond the block or its record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/iso/directory_record.h"
#include "engine/platform/local_time.h"

namespace tavrin::sessions {

// Where the next record starts. Joliet trees are walked by the record length field;
// ISO 9660 trees by 33 + the identifier length + the pad byte, the length field
// tested only for 0 (and followed where it is longer, over system-use data).
enum class LengthRule { RecordLength, IdentifierLength };

enum class RecordStatus {
    Ok,
    EndOfBlock,  // a length of 0: no more records in this block
    Broken,      // too short for its own fields, or running past the block: the rest of
                 // the block cannot be located
};

struct DiscRecord {
    std::size_t length = 0;  // bytes to the next record
    uint32_t extent = 0;
    uint32_t dataLength = 0;
    iso::RecordingDate date{};
    uint8_t flags = 0;
    std::size_t identifierLength = 0;     // as recorded
    std::span<const uint8_t> identifier;  // the bytes of it that lie inside the block
    bool identifierWhole = false;         // all of them, inside the record

    bool IsDirectory() const { return (flags & iso::kFlagDirectory) != 0; }
    bool IsHidden() const { return (flags & iso::kFlagHidden) != 0; }
};

struct RecordRead {
    RecordStatus status = RecordStatus::Broken;
    DiscRecord record;
};

RecordRead ReadRecord(std::span<const uint8_t> block, std::size_t offset, LengthRule rule);

// The DOS date-time of a recording date (its GMT offset ignored). A date that is no
// calendar date (all zeros: "not specified", month 13, 31 April...) becomes
// kUnknownRecordingDate.
platform::DosDateTime DosDateOf(const iso::RecordingDate& date);
// 1980-01-01 00:00:00, the first DOS date.
inline constexpr platform::DosDateTime kUnknownRecordingDate = 0x00210000;

uint32_t ReadLE32(std::span<const uint8_t> bytes, std::size_t offset);

}  // namespace tavrin::sessions
