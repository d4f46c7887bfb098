// tavrin-vdisc: the virtual recorder's disc tool.
//   create FOLDER --media KIND      a blank disc
//   press FOLDER --image FILE       a pressed CD-ROM / DVD-ROM
//   load RECORDER DISC / eject RECORDER
//   show FOLDER                     profile, status, sessions and tracks
//   export FOLDER IMAGE             every recorded block at its address
// Exit status: 0 done, 1 the disc or recorder folder failed, 2 bad arguments.
#include <cstdio>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include "recorders/virtual/disc_store.h"
#include "recorders/virtual/recorder_store.h"

namespace {

using namespace tavrin::vrecorder;

constexpr int kFailed = 1;
constexpr int kBadArguments = 2;

const char* statusName(DiscStatus status) {
    switch (status) {
        case DiscStatus::Empty: return "blank";
        case DiscStatus::Incomplete: return "appendable";
        case DiscStatus::Complete: return "complete";
        case DiscStatus::Other: return "random-writable";
    }
    return "?";
}

const char* sessionStateName(SessionState state) {
    switch (state) {
        case SessionState::Empty: return "empty";
        case SessionState::Incomplete: return "incomplete";
        case SessionState::Reserved: return "reserved";
        case SessionState::Complete: return "complete";
    }
    return "?";
}

const char* trackStateName(TrackState state) {
    switch (state) {
        case TrackState::Blank: return "blank";
        case TrackState::Incomplete: return "incomplete";
        case TrackState::Reserved: return "reserved";
        case TrackState::Complete: return "complete";
    }
    return "?";
}

void show(const Disc& disc) {
    fmt::print("media: {} (profile {:04X}h)\n", disc.figures().displayName, disc.profile());
    fmt::print("status: {}, last session {}, erasable {}{}\n", statusName(disc.status()),
               sessionStateName(disc.lastSessionState()), disc.erasable() ? "yes" : "no",
               disc.figures().formattable ? (disc.formatted() ? ", formatted" : ", unformatted") : "");
    fmt::print("capacity: {} blocks\n", disc.capacity());
    for (const SessionInfo& s : disc.sessions())
        fmt::print("session {}: {}, tracks {}-{}, start {}, end {}\n", s.number,
                   sessionStateName(s.state), s.firstTrack, s.lastTrack, s.start, s.end);
    for (const TrackInfo& t : disc.tracks()) {
        const std::string nwa = t.nwaValid ? fmt::format("{}", t.nextWritable) : "none";
        fmt::print("track {}: session {}, {}, start {}, size {}, recorded {}, nwa {}, free {}\n",
                   t.number, t.session, trackStateName(t.state), t.start, t.size, t.recorded, nwa,
                   t.freeBlocks);
    }
}

std::vector<std::string> mediaNames() {
    std::vector<std::string> names;
    for (const MediaFigures& figures : allMedia())
        if (figures.recording != Recording::ReadOnly) names.emplace_back(figures.name);
    return names;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Creates, loads and inspects the discs of virtual recorders."};
    app.require_subcommand(1);

    std::string folder, media, image, recorder, disc;
    bool dvd = false, cd = false;

    CLI::App* create = app.add_subcommand("create", "create a blank disc in FOLDER");
    create->add_option("FOLDER", folder, "disc folder")->required();
    create->add_option("--media", media, "disc kind")->required()->check(CLI::IsMember(mediaNames()));

    CLI::App* press = app.add_subcommand("press", "press a CD-ROM or DVD-ROM from an image file");
    press->add_option("FOLDER", folder, "disc folder")->required();
    press->add_option("--image", image, "ISO image file")->required()->check(CLI::ExistingFile);
    auto* dvdFlag = press->add_flag("--dvd", dvd, "a DVD-ROM (the default)");
    press->add_flag("--cd", cd, "a CD-ROM")->excludes(dvdFlag);

    CLI::App* load = app.add_subcommand("load", "put the disc of folder DISC into RECORDER");
    load->add_option("RECORDER", recorder, "recorder folder")->required();
    load->add_option("DISC", disc, "disc folder")->required();

    CLI::App* eject = app.add_subcommand("eject", "take the disc out of RECORDER");
    eject->add_option("RECORDER", recorder, "recorder folder")->required();

    CLI::App* showCommand = app.add_subcommand("show", "show the disc in FOLDER");
    showCommand->add_option("FOLDER", folder, "disc folder")->required();

    CLI::App* exportCommand = app.add_subcommand("export", "write the disc's blocks to IMAGE");
    exportCommand->add_option("FOLDER", folder, "disc folder")->required();
    exportCommand->add_option("IMAGE", image, "image file")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : kBadArguments;
    }

    try {
        if (*create) {
            const DiscStore store = DiscStore::create(folder, *mediaKindFromName(media));
            show(store.disc());
        } else if (*press) {
            const DiscStore store =
                DiscStore::press(folder, image, cd ? MediaKind::CdRom : MediaKind::DvdRom);
            show(store.disc());
        } else if (*load) {
            loadDiscIntoRecorder(recorder, disc);
        } else if (*eject) {
            ejectRecorder(recorder);
        } else if (*showCommand) {
            show(DiscStore::open(folder).disc());
        } else if (*exportCommand) {
            DiscStore::open(folder).exportImage(image);
        }
    } catch (const StoreError& e) {
        std::fprintf(stderr, "tavrin-vdisc: %s\n", e.what());
        return kFailed;
    }
    return 0;
}
