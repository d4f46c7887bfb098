// Model quirks: recorders that need a different path in the command layer, the
// write parameters or the writers, recognised by their INQUIRY identification.
#pragma once

#include <cstdint>
#include <span>

namespace tavrin {

struct ModelQuirks {
    bool dvr10x = false;          // DVR-103/104: slow to become ready, special write parameters
    bool crx100e = false;         // CRX100E: image burning needs its own path
    bool bufferUnderrun = false;  // CD-W512EB: underrun-protected though it does not say so
    bool linkSize = false;        // CRX175E/CRX800E: link size must be flagged in the page
    bool slowReady = false;       // UJDA*, TDK: long first readiness wait
    bool closeSessionImmediate = false;  // CLOSE SESSION may be sent with the immediate bit
};

// Decides the quirks from an INQUIRY answer (vendor at bytes 8-15, product at
// 16-31); bytes the answer does not have count as absent.
ModelQuirks DecideQuirks(std::span<const uint8_t> inquiry);

// Process-wide quirks: the engine drives one recorder at a time, and the writer
// and erase threads consult these without a device object at hand.
bool QuirkSlowReady();
void SetQuirkSlowReady(bool on);
bool CloseSessionImmediate();
void SetCloseSessionImmediate(bool on);

}  // namespace tavrin
