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

// The burner information, then the session information of its blank CD-RW: the
// ATIP's 79:59:74 as capacity, no track yet, no lead-out to read.
TEST_F(Cli, InfoAndDiscOfTheDefaultRecorder) {
    const Outcome info = run("info");
    EXPECT_EQ(info.exitCode, 0) << info.output;
    EXPECT_TRUE(Has(info,
                    "device: 0:0:0,D: TAVRIN  VIRTUAL RECORDER1.00\n"
                    "reads: CD-R CD-RW DVD DVD-R DVD-RW DVD-RAM DVD+R DVD+RW\n"
                    "writes: CD-R CD-RW DVD-R DVD-RW DVD-RAM DVD+R DVD+RW\n"
                    "test write: yes\n"
                    "underrun protection: yes\n"
                    "max write speed: 48x\n"
                    "max read speed: 48x\n"))
        << info.output;
    EXPECT_TRUE(Has(info, "capability: WriteCDRW\n")) << info.output;

    const Outcome disc = run("disc -d 0:0:0");
    EXPECT_EQ(disc.exitCode, 0) << disc.output;
    EXPECT_TRUE(Has(disc,
                    "device: 0:0:0,D: TAVRIN  VIRTUAL RECORDER1.00\n"
                    "medium: CD-RW\n"
                    "capacity: 703.12 MB\n"
                    "used: 0.00 MB\n"
                    "free: 702.83 MB\n"
                    "track      start             size\n"
                    " Free      00:00:00   703 MB\n"
                    "media type: 3 CD-RW\n"))
        << disc.output;
    EXPECT_TRUE(Has(disc, "disc present: 1\n")) << disc.output;
    EXPECT_TRUE(Has(disc, "media name: CD-RW\n")) << disc.output;
    EXPECT_FALSE(Has(disc, "\nsession: ")) << disc.output;  // blank: no session yet
}

// A CD-ROM of 600 zero blocks: one track from 000:02:00 whose session carries no
// volume descriptor, so its size is unknown; the lead-out follows it at 000:10:00.
TEST_F(Cli, DiscShowsThePressedDiscOfAConfiguredRecorder) {
    const fs::path image = root_ / "rom.iso";
    std::ofstream(image).close();
    fs::resize_file(image, 600 * 2048);
    vrecorder::DiscStore::press(root_ / "rom", image, vrecorder::MediaKind::CdRom);
    const std::string ini = "[recorder rom]\ntype = virtual\ndisc = " + (root_ / "rom").string() + "\n";

    const Outcome r = run("disc", ini);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(Has(r,
                    "medium: CD-ROM\n"
                    "capacity: 1.17 MB\n"
                    "used: 1.17 MB\n"
                    "free: 0.00 MB\n"
                    "track      start             size\n"
                    "  001      000:02:00  ???? MB\n"
                    " Free      000:10:00     0 MB\n"))
        << r.output;
    EXPECT_TRUE(Has(r, "media type: 1 CD-ROM\n")) << r.output;
    EXPECT_TRUE(Has(r, "disc status: 2\n")) << r.output;
    EXPECT_TRUE(Has(r, "\nsession: 1\n")) << r.output;
}

// A device that is not listed is a bad argument; no recorder at all is a failure.
TEST_F(Cli, FailuresSayWhyAndExitWithTheirStatus) {
    struct Case {
        const char* arguments;
        const char* ini;
        const char* says;
        int exitCode;
    };
    const Case cases[] = {
        {"info -d 0:1:0", "", "no such device: 0:1:0", 2},
        {"disc -d nonsense", "", "no such device", 2},
        {"devices", "[recorder broken\n", "no CD/DVD device found", 1},
    };
    for (const Case& c : cases) {
        const Outcome r = run(c.arguments, c.ini);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.arguments << ": " << r.output;
        EXPECT_TRUE(Has(r, c.says)) << c.arguments << ": " << r.output;
    }
    EXPECT_EQ(run("frobnicate").exitCode, 2);
}

}  // namespace
}  // namespace tavrin::test
