// What is in the drive: the media type code the writers, the layout and the
// user interface switch on, its names, whether it can be erased, its sessions,
// its size and how much of it is used or free.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "engine/device/scsi_device.h"
#include "engine/drive/media_types.h"
#include "engine/drive/wait_ready.h"

namespace tavrin::drive {

// The media type code last determined for the disc being worked on; the
// readiness wait consults it (DVD-RAM is waited for differently).
uint8_t CurrentMediaType();
void SetCurrentMediaType(uint8_t code);

// Summary of the disc in the drive. Only DiscPresent is set when the drive is
// not ready.
struct TDisc {
    uint8_t DiscPresent = 0;
    uint32_t Capacity = 0;     // total size of the medium in blocks
    uint32_t Blocks = 0;       // next writable address, formatted capacity or last recorded block
    uint32_t BlockLength = 0;  // bytes per block as the drive reported it
    uint8_t FirstSession = 0;  // first complete session
    uint8_t LastSession = 0;   // last complete session
    uint8_t LastSessionState = 0;  // 0 empty, 1 incomplete, 3 complete
    uint8_t DiscStatus = 0;        // 0 empty, 1 appendable, 2 complete, 3 other
    uint16_t Profile = 0;          // current profile
    std::string MediaName;
    uint8_t Erasable = 0;
};

// Display names of the media type codes, indexed by the code.
extern const std::array<const char*, media::kCount> MediaTypeNames;

// Name of a current profile; "???????" for profiles the engine does not know.
const char* ProfileName(uint16_t profile);

// The media type code: from the current profile, else the ATIP, else the disc
// information, else 1 when the drive is merely ready, else 0.
uint8_t MediaTypeCode(TSCSIDevice& device);
bool IsErasable(TSCSIDevice& device);
// Last complete session; 0 when unknown.
uint8_t LastSessionNumber(TSCSIDevice& device);
uint32_t UsedBlocks(TSCSIDevice& device);
// Sends the write parameters first (the drive reports free space for the write
// type it is set to), with the disc to be finalized for that one call.
uint32_t FreeBlocks(TSCSIDevice& device, bool underrunProtection);
uint32_t DiscCapacityBlocks(TSCSIDevice& device);
// Waits up to 3 s for a drive that is not ready yet.
TDisc GetDiscInfo(TSCSIDevice& device, const SleepFn& sleep = SleepMs);

// A minutes/seconds/frames address as a frame count (150 more than its block).
uint32_t MSFToFrames(uint8_t h, uint8_t m, uint8_t s, uint8_t f);
// The decimal text of value, left-filled with copies of fill up to width.
std::string Pad(int width, const std::string& fill, int64_t value);

}  // namespace tavrin::drive
