// tavrin-cli as a separate program: its output and exit codes, with the home
// folders moved to a scratch folder so no real configuration is read or written.
#include <filesystem>
#include <fstream>
#include <string>

#include "recorders/virtual/disc_store.h"
#include "tests/cli/cli_fixture.h"

namespace tavrin::test {
namespace {

namespace fs = std::filesystem;

class Cli : public CliTest {
protected:
    // Runs the program with the given arguments, optionally with a recorder configuration.
    Outcome run(const std::string& arguments, const std::string& ini = {}) const {
        if (ini.empty()) return RunShell(program() + " " + arguments);
        std::ofstream(root_ / "recorders.ini") << ini;
        return RunShell(program(root_ / "recorders.ini") + " " + arguments);
    }
};

TEST_F(Cli, DevicesListsTheDefaultVirtualRecorder) {
    const Outcome r = run("devices");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(r.output, "transport: WNASPI32.DLL\n0:0:0,D: TAVRIN  VIRTUAL RECORDER1.00\n");
}

TEST_F(Cli, InfoAndDiscOfTheDefaultRecorder) {
    const Outcome info = run("info");
    EXPECT_EQ(info.exitCode, 0) << info.output;
    EXPECT_TRUE(Has(info, "capability: WriteCDRW\n")) << info.output;
    EXPECT_TRUE(Has(info, "max write speed: ")) << info.output;

    const Outcome disc = run("disc -d 0:0:0");
    EXPECT_EQ(disc.exitCode, 0) << disc.output;
    EXPECT_TRUE(Has(disc, "media type: 3 CD-RW\n")) << disc.output;
    EXPECT_TRUE(Has(disc, "disc present: 1\n")) << disc.output;
    EXPECT_TRUE(Has(disc, "media name: CD-RW\n")) << disc.output;
    EXPECT_FALSE(Has(disc, "\nsession: ")) << disc.output;  // blank: no session yet
}

TEST_F(Cli, DiscShowsThePressedDiscOfAConfiguredRecorder) {
    const fs::path image = root_ / "rom.iso";
    std::ofstream(image).close();
    fs::resize_file(image, 600 * 2048);
    vrecorder::DiscStore::press(root_ / "rom", image, vrecorder::MediaKind::CdRom);
    const std::string ini = "[recorder rom]\ntype = virtual\ndisc = " + (root_ / "rom").string() + "\n";

    const Outcome r = run("disc", ini);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(Has(r, "media type: 1 CD-ROM\n")) << r.output;
    EXPECT_TRUE(Has(r, "disc status: 2\n")) << r.output;
    EXPECT_TRUE(Has(r, "\nsession: 1\n")) << r.output;
}

TEST_F(Cli, FailuresSayWhyAndExitWithOne) {
    struct Case {
        const char* arguments;
        const char* ini;
        const char* says;
    };
    const Case cases[] = {
        {"info -d 0:1:0", "", "no such device: 0:1:0"},
        {"disc -d nonsense", "", "no such device"},
        {"devices", "[recorder broken\n", "no CD/DVD device found"},
    };
    for (const Case& c : cases) {
        const Outcome r = run(c.arguments, c.ini);
        EXPECT_EQ(r.exitCode, 1) << c.arguments << ": " << r.output;
        EXPECT_TRUE(Has(r, c.says)) << c.arguments << ": " << r.output;
    }
    EXPECT_EQ(run("frobnicate").exitCode, 2);
}

}  // namespace
}  // namespace tavrin::test
