// Which recorders the manager library offers, read from a small INI file:
//
//   [recorder NAME]          one section per recorder, in adapter and target order
//   type = virtual | iscsi
//   ; virtual recorders (adapter 0, targets 0 to 7 in section order)
//   disc = FOLDER            the disc in the tray; created blank when missing
//   media = cd-rw            kind of that blank disc (cd-r, cd-rw, dvd-r, dvd-rw,
//                            dvd+r, dvd+rw, dvd-ram)
//   recorder = FOLDER        the recorder's own folder (tray state); default: the
//                            disc folder followed by ".recorder"
//   time_scale = 0           real seconds per modelled second; 0 = instant
//   faults, all optional (numbers decimal, or hexadecimal as 0x35 or 35h):
//     not_ready_commands = N        NOT READY, BECOMING READY for the first N commands
//     not_ready_after_load_ms = MS  ... or for this long after a load (model time)
//     busy_writes = N               BUSY status for N WRITE (10)s
//     long_write_when_buffer_full = BOOL
//     write_error_block = LBA       MEDIUM ERROR writing this block
//     read_error_block = LBA        MEDIUM ERROR reading this block
//     refused_opcode = OP           INVALID COMMAND OPERATION CODE for it
//     unit_attention_on_disc_change = BOOL
//     hang_opcode = OP              this command never completes
//     remove_disc_at_block = LBA    the disc vanishes when a write reaches it
//   (BOOL: true/false, yes/no, on/off, 1/0)
//   ; iSCSI recorders (one adapter each, after adapter 0; target 0, LUN 0)
//   url = iscsi://host[:port]/iqn/lun
//
// Relative folders are taken from the configuration file's folder.
#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "recorders/virtual/fault.h"
#include "recorders/virtual/media.h"

namespace tavrin::aspilib {

inline constexpr std::size_t kMaxVirtualRecorders = 8;

struct VirtualSetup {
    std::filesystem::path disc;
    std::filesystem::path recorder;
    vrecorder::MediaKind media = vrecorder::MediaKind::CdRw;
    double timeScale = 0.0;
    vrecorder::Faults faults;
};

struct IscsiSetup {
    std::string url;
};

struct RecorderSetup {
    std::string name;
    std::variant<VirtualSetup, IscsiSetup> kind;
};

struct Configuration {
    std::vector<RecorderSetup> recorders;
};

// A configuration that cannot be used; what() is one line naming the file and fault.
class ConfigError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Parses INI text; `base` resolves relative folders. Throws ConfigError.
Configuration parseConfiguration(const std::string& text, const std::filesystem::path& base);

// $TAVRIN_ASPI_CONFIG, else recorders.ini beside the executable, else
// $XDG_CONFIG_HOME/tavrin/recorders.ini (default ~/.config); none when no such file.
std::optional<std::filesystem::path> findConfigurationFile();

// One virtual recorder holding a blank CD-RW under $XDG_DATA_HOME/tavrin/
// (default ~/.local/share/tavrin/).
Configuration defaultConfiguration();

// The configuration in force: the file found, or the default one. Throws ConfigError.
Configuration loadConfiguration();

}  // namespace tavrin::aspilib
