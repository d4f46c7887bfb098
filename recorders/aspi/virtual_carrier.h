// A virtual recorder as a carrier: the software MMC model with its disc folder.
#pragma once

#include <memory>

#include "recorders/aspi/carrier.h"
#include "recorders/aspi/config.h"
#include "recorders/virtual/recorder.h"

namespace tavrin::aspilib {

class VirtualCarrier : public Carrier {
public:
    // Creates the disc blank when its folder holds none and puts it in the tray of
    // a new recorder folder. Throws vrecorder::StoreError.
    explicit VirtualCarrier(const VirtualSetup& setup);

    std::optional<uint8_t> deviceType() override;
    Outcome execute(Command& command) override;

private:
    std::unique_ptr<vrecorder::VirtualRecorder> recorder_;
};

}  // namespace tavrin::aspilib
