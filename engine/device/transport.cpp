#include "engine/device/transport.h"

#include <utility>

namespace tavrin {
namespace {

// The transport is process-wide: one device object, one set of recorders.
struct TransportState {
    bool initialized = false;
    std::string name;
    aspi::GetSupportInfoFn supportInfo = nullptr;
    aspi::SendCommandFn send = nullptr;
    bool preferBuiltIn = true;
    bool keepHandleOpen = true;
};

TransportState& state() {
    static TransportState s;
    return s;
}

}  // namespace

bool ASPIInitialized() { return state().initialized; }
const std::string& TransportName() { return state().name; }
bool KeepHandleOpen() { return state().keepHandleOpen; }
void SetKeepHandleOpen(bool keep) { state().keepHandleOpen = keep; }

uint32_t GetASPI32SupportInfo() {
    const auto& s = state();
    if (!s.initialized || !s.supportInfo) return uint32_t{aspi::SS_NO_ADAPTERS} << 8;
    return s.supportInfo();
}

uint32_t SendASPI32Command(void* request) {
    const auto& s = state();
    if (!s.initialized || !s.send) return aspi::SS_ERR;
    return s.send(request);
}

void UseTransport(std::string name, aspi::GetSupportInfoFn supportInfo, aspi::SendCommandFn send) {
    ShutdownTransport();
    auto& s = state();
    s.name = std::move(name);
    s.supportInfo = supportInfo;
    s.send = send;
    s.initialized = supportInfo != nullptr && send != nullptr;
}

void ShutdownTransport() {
    auto& s = state();
    s.initialized = false;
    s.name.clear();
    s.supportInfo = nullptr;
    s.send = nullptr;
}

bool InitializeASPI(bool preferBuiltIn) {
    state().preferBuiltIn = preferBuiltIn;
    return state().initialized;
}

bool ReinitializeASPI() {
    InitializeASPI(state().preferBuiltIn);
    return true;
}

}  // namespace tavrin
