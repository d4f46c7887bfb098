// The drive commands as operations on a device: each builds its CDB, sends it
// through the device's ExecuteCommand and tells whether the drive accepted it.
// Free functions rather than members: they need only the device's public
// state, and keep the device object free of the command set.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <span>

#include "engine/device/scsi_device.h"

namespace tavrin::drive {

// The data buffers the commands share. The engine sends one command at a time;
// a caller that needs an answer copies it before the next command.
struct DriveBuffers {
    std::array<uint8_t, 512> modePage{};
    std::array<uint8_t, 500> parameter{};
    std::array<uint8_t, 275> formatCapacity{};
    std::array<uint8_t, 56> discInformation{};
    std::array<uint8_t, 40> sense{};
};
DriveBuffers& Buffers();

inline constexpr uint8_t kTimeStampFormat = 0x0F;
inline constexpr std::size_t kTimeStampLength = 22;

bool TestUnitReady(TSCSIDevice& device, int timeoutMs);
void RezeroUnit(TSCSIDevice& device);
bool RequestSense(TSCSIDevice& device, std::span<uint8_t> buffer, uint8_t length);
bool FormatUnit(TSCSIDevice& device, uint8_t options, std::span<uint8_t> parameterList);
bool Inquiry(TSCSIDevice& device);
bool StartStopUnit(TSCSIDevice& device, bool eject);
bool PreventAllowRemoval(TSCSIDevice& device, bool allow);
bool ReadFormatCapacities(TSCSIDevice& device, uint32_t& blocks);
bool ReadCapacity(TSCSIDevice& device, uint32_t& lastBlock, uint32_t& blockLength);
bool Read10(TSCSIDevice& device, uint32_t block, uint16_t blocks, uint32_t length, std::span<uint8_t> buffer);
// Also true while the request is still pending: the writers go on streaming.
bool Write10(TSCSIDevice& device, uint32_t block, uint16_t blocks, uint8_t flags, uint32_t length,
             std::span<uint8_t> buffer);
bool SynchronizeCache(TSCSIDevice& device, int timeoutMs, bool immediate);
bool ReadTOC(TSCSIDevice& device, uint8_t format, std::span<uint8_t> buffer, uint8_t length, uint8_t trackSession,
             bool msf, uint8_t control);
bool GetConfiguration(TSCSIDevice& device, uint8_t rt, uint16_t startFeature, uint8_t length,
                      std::span<uint8_t> buffer);
bool ReadDiscInformation(TSCSIDevice& device, std::span<uint8_t> buffer, uint8_t length);
bool ReadTrackInformation(TSCSIDevice& device, uint8_t track);
bool ReserveTrack(TSCSIDevice& device, uint32_t size);
bool SendOPCInformation(TSCSIDevice& device);
bool ModeSelect10(TSCSIDevice& device, std::span<const uint8_t> data, uint8_t length);
bool ModeSense10(TSCSIDevice& device, uint8_t page, std::span<uint8_t> dest, bool defaultValues, uint16_t length);
bool CloseTrackSession(TSCSIDevice& device, bool immediate, bool closeTrack);
bool ReadBufferCapacity(TSCSIDevice& device, uint32_t& length, uint32_t& free);
// Immediate: also true while the drive is still blanking.
bool Blank(TSCSIDevice& device, uint8_t blankingType);
bool SetStreaming(TSCSIDevice& device, std::span<uint8_t> descriptor, uint16_t length);
bool SetCDSpeed(TSCSIDevice& device, uint16_t readFactor, uint16_t writeFactor);
bool SendDVDStructure(TSCSIDevice& device, uint8_t format, std::span<uint8_t> data, uint16_t length);

// Sends the disc's time stamp (DVD structure 0Fh) for the given local time.
bool SendTimeStamp(TSCSIDevice& device, const std::tm& dateTime);
// Reads the disc information into Buffers().discInformation; its length field
// is then in host order.
bool ReadDiscInfo(TSCSIDevice& device);

}  // namespace tavrin::drive
