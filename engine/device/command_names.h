// Names of SCSI/MMC operation codes for the trace line of a failed command.
#pragma once

#include <cstdint>
#include <string>

namespace tavrin {

// The operation code as two uppercase hex digits, or for the commands the engine
// sends, the command's name left-aligned in 22 characters.
const std::string& CommandName(uint8_t operationCode);

// Commands whose failures are routine (probing, polling for readiness, optional
// features), so they leave no trace line.
bool IsQuietCommand(uint8_t operationCode);

}  // namespace tavrin
