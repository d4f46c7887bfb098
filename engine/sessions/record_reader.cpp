#include "engine/sessions/record_reader.h"

#include <algorithm>

namespace tavrin::sessions {

namespace {

namespace record = iso::record;

// The date fields of a record: years since 1900, month, day, hour, minute, second.
constexpr std::size_t kYear = 0, kMonth = 1, kDay = 2, kHour = 3, kMinute = 4, kSecond = 5;
constexpr int kFirstRecordYear = 1900;

// The smallest record that names anything: the fixed fields and one identifier byte.
constexpr std::size_t kSmallestRecord = record::kFixedBytes + 1;

std::size_t NextRecordAt(std::span<const uint8_t> at, LengthRule rule) {
    const std::size_t lengthField = at[record::kLength];
    if (rule == LengthRule::RecordLength) return lengthField;
    const std::size_t computed = iso::RecordLength(at[record::kIdentifierLength]);
    // System-use data after the identifier (extended-architecture or other writers'
    // entries) is counted in the length field: step over it when it stays in the block.
    return lengthField > computed && lengthField <= at.size() ? lengthField : computed;
}

}  // namespace

uint32_t ReadLE32(std::span<const uint8_t> bytes, std::size_t offset) {
    if (offset > bytes.size() || bytes.size() - offset < 4) return 0;
    return uint32_t{bytes[offset]} | uint32_t{bytes[offset + 1]} << 8 | uint32_t{bytes[offset + 2]} << 16 |
           uint32_t{bytes[offset + 3]} << 24;
}

RecordRead ReadRecord(std::span<const uint8_t> block, std::size_t offset, LengthRule rule) {
    RecordRead out;
    if (offset >= block.size()) return out;
    const auto at = block.subspan(offset);
    if (at[record::kLength] == 0) {
        out.status = RecordStatus::EndOfBlock;
        return out;
    }
    if (at.size() < record::kFixedBytes) return out;

    DiscRecord& r = out.record;
    r.length = NextRecordAt(at, rule);
    r.identifierLength = at[record::kIdentifierLength];
    const std::size_t identifierEnd = record::kFixedBytes + r.identifierLength;
    if (rule == LengthRule::RecordLength && (r.length < kSmallestRecord || r.length > at.size())) return out;
    if (rule == LengthRule::IdentifierLength && identifierEnd > at.size()) return out;

    r.extent = ReadLE32(at, record::kExtent);
    r.dataLength = ReadLE32(at, record::kDataLength);
    std::copy_n(at.begin() + record::kRecordingDate, r.date.size(), r.date.begin());
    r.flags = at[record::kFlags];
    r.identifierWhole = identifierEnd <= std::min(r.length, at.size());
    r.identifier = at.subspan(record::kIdentifier, std::min(r.identifierLength, at.size() - record::kIdentifier));
    out.status = RecordStatus::Ok;
    return out;
}

platform::DosDateTime DosDateOf(const iso::RecordingDate& date) {
    const platform::LocalDateTime local{.year = kFirstRecordYear + date[kYear],
                                        .month = date[kMonth],
                                        .day = date[kDay],
                                        .hour = date[kHour],
                                        .minute = date[kMinute],
                                        .second = date[kSecond]};
    return platform::DosFromLocal(local).value_or(kUnknownRecordingDate);
}

}  // namespace tavrin::sessions
