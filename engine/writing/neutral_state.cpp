#include "engine/writing/neutral_state.h"

#include "engine/device/transport.h"
#include "engine/drive/capabilities.h"
#include "engine/drive/media_types.h"
#include "engine/drive/mmc_commands.h"
#include "engine/drive/write_parameters.h"

namespace tavrin::writing {

namespace {

constexpr uint16_t kNeutralWriteFactor = 2;
constexpr int kReadyTimeoutMs = 5000;

}  // namespace

void ReturnToNeutralState(TSCSIDevice& device) {
    SetKeepHandleOpen(false);
    drive::WriteParameters(device, false, false, drive::media::kCDROM);
    drive::SetCDSpeed(device, drive::ReadMaxReadSpeed(device), kNeutralWriteFactor);
    drive::RezeroUnit(device);
    drive::PreventAllowRemoval(device, true);
    drive::StartStopUnit(device, false);
    drive::RezeroUnit(device);
    drive::TestUnitReady(device, kReadyTimeoutMs);
}

}  // namespace tavrin::writing
