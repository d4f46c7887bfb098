// Turns the outcome of a failed request into the engine's one-line status text:
// the ASPI status, the host adapter and target status, and the drive's sense data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tavrin {

// Fixed-format sense data as the drive returned it, read through a bounded view:
// a byte beyond the area reads as 0, so a short or absent sense area is harmless.
class SenseView {
public:
    explicit SenseView(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    uint8_t byte(std::size_t index) const { return index < bytes_.size() ? bytes_[index] : 0; }
    uint8_t responseCode() const { return byte(kResponseCode); }
    uint8_t flagsAndKey() const { return byte(kFlagsAndKey); }
    uint8_t senseKey() const { return flagsAndKey() & 0x0F; }
    uint8_t additionalLength() const { return byte(kAdditionalLength); }
    uint8_t asc() const { return byte(kAsc); }
    uint8_t ascq() const { return byte(kAscq); }

    static constexpr std::size_t kResponseCode = 0;
    static constexpr std::size_t kFlagsAndKey = 2;
    static constexpr std::size_t kAdditionalLength = 7;
    static constexpr std::size_t kAsc = 12;
    static constexpr std::size_t kAscq = 13;

private:
    std::span<const uint8_t> bytes_;
};

struct RequestOutcome {
    uint8_t status = 0;      // SRB_Status
    uint8_t hostStatus = 0;  // SRB_HaStat
    uint8_t targetStatus = 0;  // SRB_TargStat
};

struct DecodedStatus {
    std::string text;
    bool targetBusy = false;
};

// The status text of a failed request, with the additional-sense part in
// parentheses whenever the drive sent additional sense bytes.
DecodedStatus DecodeStatus(const RequestOutcome& outcome, SenseView sense);

// The additional-sense text of an exact (ASC, ASCQ) pair, if the engine knows it.
std::optional<std::string_view> AdditionalSenseText(uint8_t asc, uint8_t ascq);

struct AdditionalSenseEntry {
    uint8_t asc;
    uint8_t ascq;
    std::string_view text;
};
std::span<const AdditionalSenseEntry> AdditionalSenseTable();

}  // namespace tavrin
