// The built-in transport "KTASPI32": the two ASPI entry points implemented on top
// of SG_IO pass-through to the optical drives /dev/srN, one drive-letter index per
// drive (3 = D: is /dev/sr0 ... 25 = Z: is /dev/sr22).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/platform/passthrough.h"

namespace tavrin {

inline constexpr std::size_t SPTI_DRIVE_COUNT = 27;  // drive-letter indexes 0 (A:) to 26
inline constexpr std::size_t SPTI_INQUIRY_LEN = 40;
inline constexpr uint8_t SPTI_NO_ADDRESS_LUN = 0xFA;  // until the table is finished

struct SPTIDrive {
    uint8_t adapter = 0;
    uint8_t target = 0;
    uint8_t lun = 0;
    uint8_t driveIndex = 0;
    uint8_t present = 0;
    std::unique_ptr<platform::PassThroughDevice> handle;  // null: closed
    std::array<uint8_t, SPTI_INQUIRY_LEN> inquiry{};
};

struct SPTIDriveTable {
    uint8_t adapterCount = 0;
    std::array<SPTIDrive, SPTI_DRIVE_COUNT> drives;
};

// The device path of a drive-letter index, or empty where no drive can be.
std::string SPTIDevicePath(std::size_t driveIndex);

// Number of drives found; 0 when already initialized.
uint8_t SPTIInitialize();
void SPTIShutdown();
bool SPTIInitialized();
uint32_t SPTIGetSupportInfo();
uint32_t SPTISendCommand(void* request);

const SPTIDriveTable& SPTIDrives();

// The system calls behind the drives; null restores the real one. Shuts the
// built-in transport down first, so no handle outlives the system that opened it.
void UsePassThroughSystem(std::shared_ptr<platform::PassThroughSystem> system);
// The system calls behind the drives now, for callers that look at the drives
// themselves (the drive-letter search of the device list).
std::shared_ptr<platform::PassThroughSystem> PassThroughSystemInUse();

}  // namespace tavrin
