// The manager library's process-wide state: its host adapters and recorders, the
// pending requests and the recorders' workers. Made on first use (reading the
// configuration then) and torn down when the library is unloaded.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/device/aspi.h"
#include "recorders/aspi/config.h"
#include "recorders/aspi/pending_requests.h"
#include "recorders/aspi/recorder_worker.h"

namespace tavrin::aspilib {

class Manager {
public:
    // Recorders as configured; a configuration that cannot be used leaves none and
    // says why in one line on stderr.
    Manager();
    ~Manager();
    Manager(const Manager&) = delete;
    Manager& operator=(const Manager&) = delete;

    uint32_t supportInfo() const;
    uint32_t send(void* request);

private:
    // One address on a host adapter.
    struct Slot {
        uint8_t adapter;
        uint8_t target;
        uint8_t driveLetter;  // 0 = A:
        std::unique_ptr<Recorder> recorder;
        std::unique_ptr<RecorderWorker> worker;
    };

    void build(const Configuration& configuration);
    uint8_t adapterCount() const { return adapterCount_; }
    Slot* find(uint8_t adapter, uint8_t target, uint8_t lun);

    uint8_t hostAdapterInquiry(aspi::SRB_HAInquiry& r) const;
    uint8_t deviceType(aspi::SRB_GDEVBlock& r);
    uint8_t execute(aspi::SRB_ExecSCSICmd& r);
    uint8_t abort(aspi::SRB_Abort& r);
    uint8_t diskInfo(aspi::SRB_GetDiskInfo& r);

    // Declared first so it outlives the workers that complete into it.
    PendingRequests pending_;
    std::vector<Slot> slots_;
    uint8_t adapterCount_ = 0;
};

// The one manager of the process.
Manager& TheManager();

}  // namespace tavrin::aspilib
