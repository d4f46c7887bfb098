// The Write Parameters mode page (05h): how the drive is told which write type,
// track mode, multi-session state and buffer underrun protection to use.
#pragma once

#include <cstdint>
#include <span>

#include "engine/device/scsi_device.h"

namespace tavrin::drive {

inline constexpr uint8_t kWriteParametersPageCode = 0x05;

// Everything the page contents depend on, gathered so the page can be built
// without a drive.
struct WriteParametersChoice {
    bool testWrite = false;             // the caller asks for a simulated write
    bool underrunProtection = false;    // the caller asks for buffer underrun protection
    uint8_t mediaType = 0;              // media type code of the disc
    bool finalizeDisc = false;          // no further session may follow
    bool canTestWrite = false;          // the drive has the WriteTest capability
    bool canProtectUnderrun = false;    // the drive has the UnderrunProtection capability
    bool quirkLinkSize = false;
    bool quirkDVR10x = false;
};

// The choice for this device and these arguments.
WriteParametersChoice MakeWriteParametersChoice(const TSCSIDevice& device, bool testWrite, bool underrunProtection,
                                                uint8_t mediaType);

// Sets the bytes of the page (page code at index 0) that the choice decides;
// every other byte keeps the drive's value. The page must hold at least 14 bytes;
// a shorter one is left alone.
void SetWriteParametersPage(std::span<uint8_t> page, const WriteParametersChoice& choice);

// Reads the drive's current page, sets it for the coming write and sends it back.
// DVD-RAM needs no write parameters: nothing is sent and the result is true.
bool WriteParameters(TSCSIDevice& device, bool testWrite, bool underrunProtection, uint8_t mediaType);

// Offers the drive the raw, session-at-once and track-at-once write types in
// turn; the drive is left at the last one it accepted.
void ProbeWriteTypes(TSCSIDevice& device);

}  // namespace tavrin::drive
