// tavrin-cli erase, eject and load against virtual recorders that finish their
// long operations at once.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "recorders/virtual/disc_store.h"
#include "recorders/virtual/recorder_store.h"
#include "tests/cli/cli_fixture.h"

namespace tavrin::test {
namespace {

namespace fs = std::filesystem;
using vrecorder::MediaKind;

class CliErase : public CliTest {
protected:
    // A disc of `kind` holding one closed session (or, on random media, data at
    // block 0) in a recorder of its own.
    std::string recorderWithData(MediaKind kind) {
        disc_ = root_ / "disc";
        tray_ = root_ / "tray";
        auto store = vrecorder::DiscStore::create(disc_, kind);
        if (kind == MediaKind::DvdPlusRw) {
            EXPECT_EQ(store.format(0x26), vrecorder::DiscResult::Ok);
        }
        const std::vector<uint8_t> data(16 * 2048, 0x5A);
        EXPECT_EQ(store.write(store.disc().nextWritable().value_or(0), data), vrecorder::DiscResult::Ok);
        if (store.disc().nextWritable()) {
            EXPECT_EQ(store.closeTrack(), vrecorder::DiscResult::Ok);
            EXPECT_EQ(store.closeSession(vrecorder::SessionClose::Appendable), vrecorder::DiscResult::Ok);
        }
        vrecorder::RecorderConfig config;
        config.disc = disc_;
        vrecorder::saveRecorderConfig(tray_, config);
        return "[recorder one]\ntype = virtual\ndisc = " + disc_.string() + "\nrecorder = " + tray_.string() + "\n";
    }

    Outcome run(const std::string& arguments, const std::string& ini) const {
        std::ofstream(root_ / "recorders.ini") << ini;
        return RunShell(program(root_ / "recorders.ini") + " " + arguments);
    }

    bool discBlank() const {
        const auto store = vrecorder::DiscStore::open(disc_);
        std::vector<uint8_t> block(2048, 0);
        if (store.read(0, block) == vrecorder::DiscResult::Ok)
            for (uint8_t b : block) if (b != 0) return false;
        return store.disc().state().closedSessions == 0 && store.disc().state().tracks.empty();
    }

    fs::path disc_;
    fs::path tray_;
};

TEST_F(CliErase, ErasesEachRewritableMedium) {
    struct Case {
        MediaKind kind;
        const char* arguments;
    };
    const Case cases[] = {{MediaKind::CdRw, "erase"},
                          {MediaKind::DvdRwSequential, "erase -d 0 --full"},
                          {MediaKind::DvdPlusRw, "erase"},
                          {MediaKind::DvdRam, "erase"}};
    for (const Case& c : cases) {
        fs::remove_all(root_ / "disc");
        fs::remove_all(root_ / "tray");
        const Outcome r = run(c.arguments, recorderWithData(c.kind));
        EXPECT_EQ(r.exitCode, 0) << c.arguments << ": " << r.output;
        EXPECT_TRUE(Has(r, "\nerased\n")) << r.output;
        EXPECT_TRUE(discBlank()) << c.arguments;
    }
}

TEST_F(CliErase, WriteOnceDiscFailsAndKeepsItsData) {
    const Outcome r = run("erase", recorderWithData(MediaKind::CdR));
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_TRUE(Has(r, "the disc could not be erased")) << r.output;
    EXPECT_FALSE(Has(r, "\nerased\n")) << r.output;
    EXPECT_EQ(vrecorder::DiscStore::open(disc_).disc().state().closedSessions, 1);
}

TEST_F(CliErase, EjectOpensAndLoadClosesTheTray) {
    const std::string ini = recorderWithData(MediaKind::CdRw);
    const Outcome eject = run("eject", ini);
    EXPECT_EQ(eject.exitCode, 0) << eject.output;
    EXPECT_TRUE(Has(eject, "\nejected\n")) << eject.output;
    EXPECT_TRUE(vrecorder::loadRecorderConfig(tray_).trayOpen);

    const Outcome load = run("load -d 0:0:0", ini);
    EXPECT_EQ(load.exitCode, 0) << load.output;
    EXPECT_TRUE(Has(load, "\nloaded\n")) << load.output;
    EXPECT_FALSE(vrecorder::loadRecorderConfig(tray_).trayOpen);
}

}  // namespace
}  // namespace tavrin::test
