// ISO 9660 / Joliet directory records and the extent of a directory that holds them.
// One encoder serves both trees: they differ only in the identifier bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "engine/compilation/entries.h"

namespace tavrin::iso {

// Offsets inside a directory record.
namespace record {
inline constexpr std::size_t kLength = 0;
inline constexpr std::size_t kExtendedAttributeLength = 1;
inline constexpr std::size_t kExtent = 2;       // both-endian 32
inline constexpr std::size_t kDataLength = 10;  // both-endian 32
inline constexpr std::size_t kRecordingDate = 18;
inline constexpr std::size_t kFlags = 25;
inline constexpr std::size_t kFileUnitSize = 26;
inline constexpr std::size_t kInterleaveGap = 27;
inline constexpr std::size_t kVolumeSequenceNumber = 28;  // both-endian 16
inline constexpr std::size_t kIdentifierLength = 32;
inline constexpr std::size_t kIdentifier = 33;
inline constexpr std::size_t kFixedBytes = 33;
inline constexpr std::size_t kMaxBytes = 255;
}  // namespace record

inline constexpr uint8_t kFlagHidden = 0x01;
inline constexpr uint8_t kFlagDirectory = 0x02;
inline constexpr uint32_t kAttrHidden = 0x02;
// The self and parent records that open every directory: 34 bytes each.
inline constexpr std::size_t kDotRecordBytes = 34;

// Years since 1900, month, day, hour, minute, second, and the offset from Greenwich in
// 15-minute units (signed). All seven 0: not specified.
using RecordingDate = std::array<uint8_t, 7>;

// The recording date of a local date-time. A date outside the years 1900 to 2155
// that the year byte can hold is recorded as not specified rather than as a
// wrapped-around year.
RecordingDate RecordingDateOf(TDateTime when, int8_t gmtOffset);

struct DirectoryRecordFields {
    uint32_t extent = 0;
    uint32_t dataLength = 0;  // the low 32 bits of the size
    RecordingDate date{};
    uint8_t flags = 0;
    std::string_view identifier;
};

// 33 + identifier + one pad byte when the identifier length is even.
std::size_t RecordLength(std::size_t identifierBytes);
// The record, or none when the identifier does not fit the one-byte length.
std::optional<std::vector<uint8_t>> EncodeDirectoryRecord(const DirectoryRecordFields& fields);

// The flags of an entry's record: directory, and hidden when its source was.
uint8_t RecordFlags(bool isDirectory, uint32_t attr);

// The records of one directory laid into 2048-byte blocks: a record never crosses a
// block boundary (readers take a zero length byte as the end of the block's records);
// the last block is filled with zeros.
class DirectoryExtent {
public:
    void Append(std::span<const uint8_t> record);
    // The bytes, whole blocks (one block for a directory with no records).
    std::vector<uint8_t> Finish() &&;

private:
    std::vector<uint8_t> bytes_;
};

// The extent size the records of the given lengths occupy, in bytes, whole blocks;
// the self and parent records are counted as the first two.
uint64_t ExtentBytes(std::span<const std::size_t> entryRecordLengths);

}  // namespace tavrin::iso
