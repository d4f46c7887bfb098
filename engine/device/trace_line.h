// The debug line written for a failed command: address, status, the whole CDB,
// the start of the data buffer and the drive's answer.
#pragma once

#include <cstddef>
#include <string>

#include "engine/device/aspi.h"

namespace tavrin {

// One byte more than 256, so the trace tells a 256-byte answer from a longer one.
inline constexpr std::size_t kTraceDataBytes = 257;

std::string TraceLine(const aspi::SRB_ExecSCSICmd& request, const std::string& statusText);

}  // namespace tavrin
