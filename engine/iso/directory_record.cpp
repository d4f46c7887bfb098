#include "engine/iso/directory_record.h"

#include <algorithm>

#include "engine/compilation/date_time.h"
#include "engine/iso/both_endian.h"

namespace tavrin::iso {

namespace {

constexpr int kFirstRecordYear = 1900;
constexpr int kLastRecordYear = 1900 + 255;
constexpr uint16_t kVolumeSequence = 1;

// Blocks are filled up to their end: a record that does not fit the rest of the
// current block starts the next one.
uint64_t PlaceRecord(uint64_t used, std::size_t length) {
    const uint64_t rest = kBlockBytes - used % kBlockBytes;
    return (length > rest ? used + rest : used) + length;
}

}  // namespace

RecordingDate RecordingDateOf(TDateTime when, int8_t gmtOffset) {
    const auto local = compilation::LocalFromDateTime(when);
    if (!local || local->year < kFirstRecordYear || local->year > kLastRecordYear) return RecordingDate{};
    return RecordingDate{static_cast<uint8_t>(local->year - kFirstRecordYear),
                         static_cast<uint8_t>(local->month),
                         static_cast<uint8_t>(local->day),
                         static_cast<uint8_t>(local->hour),
                         static_cast<uint8_t>(local->minute),
                         static_cast<uint8_t>(local->second),
                         static_cast<uint8_t>(gmtOffset)};
}

std::size_t RecordLength(std::size_t identifierBytes) {
    return record::kFixedBytes + identifierBytes + (identifierBytes % 2 == 0 ? 1 : 0);
}

std::optional<std::vector<uint8_t>> EncodeDirectoryRecord(const DirectoryRecordFields& fields) {
    const std::size_t length = RecordLength(fields.identifier.size());
    if (length > record::kMaxBytes) return std::nullopt;
    std::vector<uint8_t> bytes(length, 0);
    bytes[record::kLength] = static_cast<uint8_t>(length);
    bytes[record::kExtendedAttributeLength] = 0;
    PutBoth32(bytes, record::kExtent, fields.extent);
    PutBoth32(bytes, record::kDataLength, fields.dataLength);
    std::copy(fields.date.begin(), fields.date.end(), bytes.begin() + record::kRecordingDate);
    bytes[record::kFlags] = fields.flags;
    bytes[record::kFileUnitSize] = 0;
    bytes[record::kInterleaveGap] = 0;
    PutBoth16(bytes, record::kVolumeSequenceNumber, kVolumeSequence);
    bytes[record::kIdentifierLength] = static_cast<uint8_t>(fields.identifier.size());
    std::copy(fields.identifier.begin(), fields.identifier.end(), bytes.begin() + record::kIdentifier);
    return bytes;
}

uint8_t RecordFlags(bool isDirectory, uint32_t attr) {
    uint8_t flags = isDirectory ? kFlagDirectory : 0;
    if (attr & kAttrHidden) flags |= kFlagHidden;
    return flags;
}

void DirectoryExtent::Append(std::span<const uint8_t> record) {
    const uint64_t end = PlaceRecord(bytes_.size(), record.size());
    bytes_.resize(end - record.size(), 0);
    bytes_.insert(bytes_.end(), record.begin(), record.end());
}

std::vector<uint8_t> DirectoryExtent::Finish() && {
    bytes_.resize(std::max<uint64_t>(BlockRounded(bytes_.size()), kBlockBytes), 0);
    return std::move(bytes_);
}

uint64_t ExtentBytes(std::span<const std::size_t> entryRecordLengths) {
    uint64_t used = 2 * kDotRecordBytes;
    for (const std::size_t length : entryRecordLengths) used = PlaceRecord(used, length);
    return BlockRounded(used);
}

}  // namespace tavrin::iso
