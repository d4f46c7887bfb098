// A virtual recorder's folder: FOLDER/recorder.json holds the tray position, the
// folder of the disc in the tray (or none) and optional INQUIRY identity
// overrides. It is replaced atomically, so another process (tavrin-vdisc load /
// eject) can change the disc while a recorder runs: the recorder watches the file
// with RecorderWatch and treats a change as a disc change.
//
//   { "tray": "closed", "disc": "/abs/path/of/disc-folder",
//     "vendor": "TAVRIN", "product": "VIRTUAL RECORDER", "revision": "1.00" }
//   "tray" is "open" or "closed"; "disc" is a string or null; the identity fields
//   are optional strings (vendor at most 8, product 16, revision 4 printable ASCII).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <ctime>

#include "recorders/virtual/disc_store.h"  // StoreError

namespace tavrin::vrecorder {

inline constexpr const char* kRecorderMetadataFile = "recorder.json";

struct RecorderConfig {
    bool trayOpen = false;
    std::optional<std::filesystem::path> disc;  // absolute folder of the disc held
    std::optional<std::string> vendor;          // INQUIRY overrides; none = model's own
    std::optional<std::string> product;
    std::optional<std::string> revision;
    friend bool operator==(const RecorderConfig&, const RecorderConfig&) = default;
};

std::string recorderConfigToJson(const RecorderConfig& config);
// Throws StoreError naming the faulty field.
RecorderConfig recorderConfigFromJson(const std::string& text);

// Reads FOLDER/recorder.json; a folder without one is an empty recorder with its
// tray closed. A relative "disc" is taken relative to FOLDER. Throws StoreError when the file is unreadable or corrupt.
RecorderConfig loadRecorderConfig(const std::filesystem::path& folder);
// Writes it atomically (creating the folder when missing); throws StoreError.
void saveRecorderConfig(const std::filesystem::path& folder, const RecorderConfig& config);

// The "load" and "eject" of tavrin-vdisc: load puts the disc folder (made
// absolute) in the tray and closes it; eject empties the tray and leaves it open.
// Identity overrides are kept. Both throw StoreError.
void loadDiscIntoRecorder(const std::filesystem::path& recorder, const std::filesystem::path& disc);
void ejectRecorder(const std::filesystem::path& recorder);

// Notices that recorder.json was replaced or changed since the last look: a new
// file (inode), modification time or size. Cheap enough to call before every command.
class RecorderWatch {
public:
    explicit RecorderWatch(std::filesystem::path folder);
    // True when the file differs from what the last changed() (or the constructor) saw.
    bool changed();
    const std::filesystem::path& folder() const { return folder_; }

private:
    struct Stamp {
        bool exists = false;
        ino_t inode = 0;
        timespec mtime{};
        off_t size = 0;
    };
    Stamp look() const;

    std::filesystem::path folder_;
    Stamp last_;
};

}  // namespace tavrin::vrecorder
