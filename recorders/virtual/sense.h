#pragma once
// Sense data the virtual recorder answers with: fixed format, 18 bytes.

#include <array>
#include <cstdint>
#include <optional>

namespace tavrin::vrecorder {

inline constexpr uint8_t kSenseNoSense = 0x0;
inline constexpr uint8_t kSenseNotReady = 0x2;
inline constexpr uint8_t kSenseMediumError = 0x3;
inline constexpr uint8_t kSenseHardwareError = 0x4;
inline constexpr uint8_t kSenseIllegalRequest = 0x5;
inline constexpr uint8_t kSenseUnitAttention = 0x6;
inline constexpr uint8_t kSenseDataProtect = 0x7;

inline constexpr std::size_t kSenseLength = 18;

struct Sense {
    uint8_t key = kSenseNoSense;
    uint8_t asc = 0;
    uint8_t ascq = 0;
    // Progress of a blank or format in 1/65536ths, carried as sense-key specific bytes.
    std::optional<uint16_t> progress;

    bool operator==(const Sense&) const = default;
    std::array<uint8_t, kSenseLength> encode() const;
};

// The senses a drive gives for the situations the model knows.
namespace sense {
inline constexpr Sense kNone{};
inline constexpr Sense kMediumNotPresent{kSenseNotReady, 0x3A, 0x00, {}};
inline constexpr Sense kMediumNotPresentTrayOpen{kSenseNotReady, 0x3A, 0x02, {}};
inline constexpr Sense kMediumNotPresentTrayClosed{kSenseNotReady, 0x3A, 0x01, {}};
inline constexpr Sense kBecomingReady{kSenseNotReady, 0x04, 0x01, {}};
inline constexpr Sense kFormatInProgress{kSenseNotReady, 0x04, 0x04, {}};
inline constexpr Sense kOperationInProgress{kSenseNotReady, 0x04, 0x07, {}};
inline constexpr Sense kLongWriteInProgress{kSenseNotReady, 0x04, 0x08, {}};
inline constexpr Sense kWriteError{kSenseMediumError, 0x0C, 0x00, {}};
inline constexpr Sense kUnrecoveredReadError{kSenseMediumError, 0x11, 0x00, {}};
inline constexpr Sense kInvalidOpcode{kSenseIllegalRequest, 0x20, 0x00, {}};
inline constexpr Sense kLbaOutOfRange{kSenseIllegalRequest, 0x21, 0x00, {}};
inline constexpr Sense kInvalidWriteAddress{kSenseIllegalRequest, 0x21, 0x02, {}};
inline constexpr Sense kInvalidFieldInCdb{kSenseIllegalRequest, 0x24, 0x00, {}};
inline constexpr Sense kInvalidFieldInParameterList{kSenseIllegalRequest, 0x26, 0x00, {}};
inline constexpr Sense kParameterListLengthError{kSenseIllegalRequest, 0x1A, 0x00, {}};
inline constexpr Sense kCannotWriteIncompatibleFormat{kSenseIllegalRequest, 0x30, 0x05, {}};
inline constexpr Sense kIncompatibleMedium{kSenseIllegalRequest, 0x30, 0x00, {}};
inline constexpr Sense kMediumRemovalPrevented{kSenseIllegalRequest, 0x53, 0x02, {}};
inline constexpr Sense kInvalidTrackMode{kSenseIllegalRequest, 0x64, 0x00, {}};
inline constexpr Sense kMediumChanged{kSenseUnitAttention, 0x28, 0x00, {}};
inline constexpr Sense kWriteProtected{kSenseDataProtect, 0x27, 0x00, {}};
inline constexpr Sense kCannotFormat{kSenseIllegalRequest, 0x30, 0x06, {}};
inline constexpr Sense kCommandSequenceError{kSenseIllegalRequest, 0x2C, 0x00, {}};
inline constexpr Sense kSavingParametersNotSupported{kSenseIllegalRequest, 0x39, 0x00, {}};
inline constexpr Sense kInternalTargetFailure{kSenseHardwareError, 0x44, 0x00, {}};
}  // namespace sense

}  // namespace tavrin::vrecorder
