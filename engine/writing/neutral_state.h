// After an erase or a write the drive is left as a reader expects it: track at
// once on CD, the fastest reading speed, the tray closed and the disc unlocked.
#pragma once

#include "engine/device/scsi_device.h"

namespace tavrin::writing {

// Also stops keeping the device handle open between commands.
void ReturnToNeutralState(TSCSIDevice& device);

}  // namespace tavrin::writing
