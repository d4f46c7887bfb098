// The two entry points of the ASPI manager library, with C linkage; nothing else
// of the library is visible outside it.
#include <cstdint>

#include "engine/device/aspi.h"
#include "recorders/aspi/manager.h"

extern "C" __attribute__((visibility("default"))) uint32_t GetASPI32SupportInfo() {
    try {
        return tavrin::aspilib::TheManager().supportInfo();
    } catch (...) {
        return uint32_t{tavrin::aspi::SS_NO_ADAPTERS} << 8;
    }
}

// No exception may cross into the caller, which need not be C++ at all.
extern "C" __attribute__((visibility("default"))) uint32_t SendASPI32Command(void* request) {
    try {
        return tavrin::aspilib::TheManager().send(request);
    } catch (...) {
        if (request) static_cast<tavrin::aspi::SRB_Header*>(request)->SRB_Status = tavrin::aspi::SS_ERR;
        return tavrin::aspi::SS_ERR;
    }
}
