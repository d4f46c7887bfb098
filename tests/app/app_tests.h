// The Qt Test classes of the application run one after the other in one program,
// under the application object that logs exceptions; and what they share.
#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "engine/platform/gbk.h"

namespace tavrin::app {

using TestRun = std::function<int(int argc, char** argv)>;

inline std::string Gbk(const char* utf8) { return platform::Utf8ToGbk(utf8).value(); }

inline std::string ReadAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteAll(const std::filesystem::path& file, const std::string& text) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

// The manager library will show one virtual recorder holding a blank disc of
// `media`, kept in `folder`/disc, its tray state in `folder`/tray.
inline void UseVirtualRecorder(const std::filesystem::path& folder, const std::string& media,
                               const std::string& timeScale = "0") {
    const std::filesystem::path ini = folder / "recorders.ini";
    std::filesystem::remove_all(folder / "disc");
    std::filesystem::remove_all(folder / "tray");
    WriteAll(ini, "[recorder one]\ntype = virtual\ndisc = " + (folder / "disc").string() + "\nrecorder = " +
                      (folder / "tray").string() + "\nmedia = " + media + "\ntime_scale = " + timeScale + "\n");
    qputenv("TAVRIN_ASPI_CONFIG", QByteArray::fromStdString(ini.string()));
}

}  // namespace tavrin::app

tavrin::app::TestRun MainWindowRun();
tavrin::app::TestRun EditingRun();
tavrin::app::TestRun InfoDialogsRun();
tavrin::app::TestRun DiscCommandsRun();
