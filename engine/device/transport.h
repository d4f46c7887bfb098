// The transport: the one process-wide carrier of ASPI request blocks. It is an
// ASPI manager library (libwnaspi32.so, libasapi.so) or the engine's built-in
// pass-through transport over SG_IO ("KTASPI32"); the rest of the engine only
// sees the two entry points below.
#pragma once

#include <cstdint>
#include <string>

#include "engine/device/aspi.h"

namespace tavrin {

// Chooses and loads a transport; returns ASPIInitialized().
bool InitializeASPI(bool preferBuiltIn);
// Releases the active transport and initializes again with the remembered preference.
bool ReinitializeASPI();

bool ASPIInitialized();
const std::string& TransportName();  // "KTASPI32", "WNASPI32.DLL", "ASAPI.DLL" or empty

// Built-in transport only: when false, the drive handle is closed after every command.
bool KeepHandleOpen();
void SetKeepHandleOpen(bool keep);

// The active transport's entry points. Without a transport, support info is
// E800h (no adapters) and every request is answered SS_ERR.
uint32_t GetASPI32SupportInfo();
uint32_t SendASPI32Command(void* request);

// Puts an in-process ASPI manager behind the entry points (a recorder model linked
// into a test, or a recording transport); ReinitializeASPI releases it like a library.
void UseTransport(std::string name, aspi::GetSupportInfoFn supportInfo, aspi::SendCommandFn send);
// Releases whatever transport is active, leaving none.
void ShutdownTransport();

}  // namespace tavrin
