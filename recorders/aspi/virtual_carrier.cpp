#include "recorders/aspi/virtual_carrier.h"

#include <system_error>

#include "engine/device/aspi.h"

namespace tavrin::aspilib {
namespace {

namespace fs = std::filesystem;

vrecorder::DataDirection modelDirection(Direction d) {
    switch (d) {
        case Direction::In: return vrecorder::DataDirection::In;
        case Direction::Out: return vrecorder::DataDirection::Out;
        case Direction::None: break;
    }
    return vrecorder::DataDirection::None;
}

// A disc made here is loaded into the recorder; a recorder folder that already
// exists keeps whatever disc tavrin-vdisc last put in (or took out of) its tray.
void prepareFolders(const VirtualSetup& setup) {
    std::error_code ec;
    bool load = !fs::exists(setup.recorder / vrecorder::kRecorderMetadataFile, ec);
    if (!fs::exists(setup.disc / vrecorder::kDiscMetadataFile, ec)) {
        vrecorder::DiscStore::create(setup.disc, setup.media);
        load = true;
    }
    if (load) vrecorder::loadDiscIntoRecorder(setup.recorder, setup.disc);
}

}  // namespace

VirtualCarrier::VirtualCarrier(const VirtualSetup& setup) {
    prepareFolders(setup);
    vrecorder::RecorderOptions options;
    options.folder = setup.recorder;
    options.timeScale = setup.timeScale;
    options.faults = setup.faults;
    recorder_ = std::make_unique<vrecorder::VirtualRecorder>(std::move(options));
}

// The model is always there, with or without a disc.
std::optional<uint8_t> VirtualCarrier::deviceType() { return aspi::DTYPE_CDROM; }

Outcome VirtualCarrier::execute(Command& command) {
    const auto result = recorder_->execute(command.cdb, modelDirection(command.direction), command.data);
    Outcome o;
    o.hostStatus = aspi::HASTAT_OK;
    o.targetStatus = result.status;
    if (result.status == vrecorder::kStatusCheckCondition) o.sense.assign(result.sense.begin(), result.sense.end());
    o.transferred = std::min(result.transferred, command.data.size());
    o.hang = result.hang;
    o.delay = result.duration;
    return o;
}

}  // namespace tavrin::aspilib
