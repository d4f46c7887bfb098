// One builder per drive command: the CDB bytes, request flags, transfer length
// and time-out of each. The LUN bits of byte 1 are filled in when it is sent.
#pragma once

#include <array>
#include <cstdint>

namespace tavrin::drive {

inline constexpr uint8_t kFlagsDataIn = 0x48;   // event notify + from the drive
inline constexpr uint8_t kFlagsDataOut = 0x50;  // event notify + to the drive
inline constexpr uint8_t kFlagsNoData = 0x40;   // event notify only

struct Cdb {
    std::array<uint8_t, 12> bytes{};
    uint8_t length = 0;
    uint8_t flags = kFlagsNoData;
    uint32_t transferLength = 0;
    int timeoutMs = 10000;
};

namespace op {
inline constexpr uint8_t kTestUnitReady = 0x00;
inline constexpr uint8_t kRezeroUnit = 0x01;
inline constexpr uint8_t kRequestSense = 0x03;
inline constexpr uint8_t kFormatUnit = 0x04;
inline constexpr uint8_t kInquiry = 0x12;
inline constexpr uint8_t kStartStopUnit = 0x1B;
inline constexpr uint8_t kPreventAllowRemoval = 0x1E;
inline constexpr uint8_t kReadFormatCapacities = 0x23;
inline constexpr uint8_t kReadCapacity = 0x25;
inline constexpr uint8_t kRead10 = 0x28;
inline constexpr uint8_t kWrite10 = 0x2A;
inline constexpr uint8_t kSynchronizeCache = 0x35;
inline constexpr uint8_t kReadTOC = 0x43;
inline constexpr uint8_t kGetConfiguration = 0x46;
inline constexpr uint8_t kReadDiscInformation = 0x51;
inline constexpr uint8_t kReadTrackInformation = 0x52;
inline constexpr uint8_t kReserveTrack = 0x53;
inline constexpr uint8_t kSendOPCInformation = 0x54;
inline constexpr uint8_t kModeSelect10 = 0x55;
inline constexpr uint8_t kModeSense10 = 0x5A;
inline constexpr uint8_t kCloseTrackSession = 0x5B;
inline constexpr uint8_t kReadBufferCapacity = 0x5C;
inline constexpr uint8_t kBlank = 0xA1;
inline constexpr uint8_t kSetStreaming = 0xB6;
inline constexpr uint8_t kSetCDSpeed = 0xBB;
inline constexpr uint8_t kSendDVDStructure = 0xBF;
}  // namespace op

inline constexpr uint32_t kInquiryLength = 128;
inline constexpr uint32_t kFormatListLength = 16;
inline constexpr uint32_t kFormatCapacitiesLength = 248;
inline constexpr uint32_t kCapacityLength = 8;
inline constexpr uint32_t kTrackInformationLength = 38;
inline constexpr uint32_t kReserveTrackLength = 8;
inline constexpr uint32_t kBufferCapacityLength = 32;
inline constexpr uint16_t kSpeedMaximum = 0xFFFF;
inline constexpr uint32_t kSingleSpeedKBps = 177;

Cdb TestUnitReadyCdb(int timeoutMs);
Cdb RezeroUnitCdb();
Cdb RequestSenseCdb(uint8_t length);
Cdb FormatUnitCdb(uint8_t options);
Cdb InquiryCdb();
Cdb StartStopUnitCdb(bool eject);
Cdb PreventAllowRemovalCdb(bool allow);
Cdb ReadFormatCapacitiesCdb();
Cdb ReadCapacityCdb();
Cdb Read10Cdb(uint32_t block, uint16_t blocks, uint32_t length);
Cdb Write10Cdb(uint32_t block, uint16_t blocks, uint8_t flags, uint32_t length);
Cdb SynchronizeCacheCdb(int timeoutMs, bool immediate);
Cdb ReadTOCCdb(uint8_t format, uint8_t length, uint8_t trackSession, bool msf, uint8_t control);
Cdb GetConfigurationCdb(uint8_t rt, uint16_t startFeature, uint8_t length);
Cdb ReadDiscInformationCdb(uint8_t length);
Cdb ReadTrackInformationCdb(uint8_t track);
Cdb ReserveTrackCdb(uint32_t size);
Cdb SendOPCInformationCdb();
Cdb ModeSelect10Cdb(uint8_t length);
Cdb ModeSense10Cdb(uint8_t page, bool defaultValues, uint16_t length);
Cdb CloseTrackSessionCdb(bool immediate, bool closeTrack);
Cdb ReadBufferCapacityCdb();
Cdb BlankCdb(uint8_t blankingType);
Cdb SetStreamingCdb(uint16_t length);
Cdb SetCDSpeedCdb(uint16_t readFactor, uint16_t writeFactor);
Cdb SendDVDStructureCdb(uint8_t format, uint16_t length);

// A speed factor as the drive takes it: 0 is the drive's maximum.
uint16_t SpeedField(uint16_t factor);

}  // namespace tavrin::drive
