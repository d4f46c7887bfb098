// One virtual recorder answering the engine's transport on the caller's thread:
// no manager library and no worker thread, so a fuzz run costs a few function
// calls per command. Host adapter 0, target 0 is the recorder; nothing else
// answers.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>

#include "engine/compilation/burner.h"
#include "recorders/virtual/recorder.h"

namespace tavrin::fuzz {

class InProcessDrive {
public:
    // Puts itself behind the engine's transport; `folder` (created if missing)
    // holds the recorder's folder and the disc folder. One drive at a time.
    explicit InProcessDrive(const std::filesystem::path& folder);
    ~InProcessDrive();
    InProcessDrive(const InProcessDrive&) = delete;
    InProcessDrive& operator=(const InProcessDrive&) = delete;

    // Where the disc for the next reload() is made (by DiscStore::press / create).
    const std::filesystem::path& discFolder() const { return disc_; }
    // Empties discFolder() for a new disc.
    void clearDisc() const;
    // A fresh recorder with the disc now in discFolder() in its closed tray, as
    // after switching the drive on with that disc inside.
    void reload();
    // Scans the transport and selects the recorder; false when it is not found.
    bool select(TvxCDBurner& burner) const;

private:
    static uint32_t SupportInfo();
    static uint32_t Send(void* request);
    uint8_t execute(aspi::SRB_ExecSCSICmd& request);

    std::filesystem::path recorderFolder_;
    std::filesystem::path disc_;
    std::unique_ptr<vrecorder::VirtualRecorder> recorder_;
};

}  // namespace tavrin::fuzz
