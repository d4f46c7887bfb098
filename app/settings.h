// The settings file vxcb.ini beside the program: section "Options", read once at
// start and never written. Booleans are integers (0 false, any other true); a
// value that is not an integer counts as absent, as does a missing file or key.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/compilation/burner.h"

namespace tavrin::app {

inline constexpr const char* kSettingsFileName = "vxcb.ini";

struct Settings {
    std::optional<bool> archiveFiles, closeDisc, jolietFS, testWrite, performOPC, quickSaveISO, showFiles;
    std::optional<std::string> volumeLabel;  // GBK, as the file holds it
    std::optional<int32_t> cacheSize;        // bytes
};

// What the settings set on the window rather than on the burner.
struct WindowFlags {
    bool archiveFiles = false;
    bool quickSaveISO = false;
    bool showFiles = false;
};

// The settings of the file at `path`; all absent when it cannot be read.
Settings ReadSettings(const std::string& path);

// Applies each setting in the file's reading order; an absent one keeps what the
// burner (or the window) has.
void ApplySettings(const Settings& settings, TvxCDBurner& burner, WindowFlags& flags);

// An integer in decimal with an optional sign, blanks around it allowed; none for
// anything else.
std::optional<int32_t> ParseInteger(const std::string& text);

}  // namespace tavrin::app
