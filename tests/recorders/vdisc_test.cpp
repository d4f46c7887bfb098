// tavrin-vdisc, run as a program: exit statuses and what `show` prints.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sys/wait.h>

#include "recorders/virtual/disc_store.h"
#include "recorders/virtual/recorder_store.h"

namespace tavrin::vrecorder {
namespace {

namespace fs = std::filesystem;

struct ToolRun {
    int status = -1;
    std::string output;  // stdout and stderr
};

class Vdisc : public ::testing::Test {
protected:
    void SetUp() override {
        // Programs land beside the test binary when TAVRIN_BUILD_DIR is not passed on.
        const char* build = std::getenv("TAVRIN_BUILD_DIR");
        tool = (build != nullptr ? fs::path(build) : fs::read_symlink("/proc/self/exe").parent_path()) /
               "tavrin-vdisc";
        ASSERT_TRUE(fs::exists(tool)) << tool;
        std::string pattern = (fs::temp_directory_path() / "tavrin-vdisc-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root = pattern;
    }
    void TearDown() override {
        if (!root.empty()) fs::remove_all(root);
    }

    ToolRun run(const std::string& arguments) const {
        ToolRun result;
        const std::string command = "cd '" + root.string() + "' && '" + tool.string() + "' " +
                                    arguments + " 2>&1";
        FILE* pipe = ::popen(command.c_str(), "r");
        if (pipe == nullptr) return result;
        char buffer[4096];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
        const int status = ::pclose(pipe);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return result;
    }

    fs::path tool, root;
};

struct ArgumentCase {
    const char* name;
    const char* arguments;
    int status;
};
class VdiscArguments : public Vdisc, public ::testing::WithParamInterface<ArgumentCase> {};

TEST_P(VdiscArguments, GiveTheirExitStatus) {
    // A disc and a recorder to act on; some cases use them.
    ASSERT_EQ(run("create disc --media dvd+r").status, 0);
    const ToolRun r = run(GetParam().arguments);
    EXPECT_EQ(r.status, GetParam().status) << r.output;
    if (r.status == 2) {
        EXPECT_FALSE(r.output.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, VdiscArguments,
    ::testing::Values(ArgumentCase{"none", "", 2},
                      ArgumentCase{"unknownCommand", "burn disc", 2},
                      ArgumentCase{"unknownMedia", "create d2 --media dvd-x", 2},
                      ArgumentCase{"noMedia", "create d2", 2},
                      ArgumentCase{"pressedKindNotCreatable", "create d2 --media cd-rom", 2},
                      ArgumentCase{"pressMissingImage", "press d2 --image nothing.iso", 2},
                      ArgumentCase{"pressBothSizes", "press d2 --image disc/disc.json --cd --dvd", 2},
                      ArgumentCase{"exportNoImage", "export disc", 2},
                      ArgumentCase{"createTwice", "create disc --media cd-r", 1},
                      ArgumentCase{"showMissing", "show nowhere", 1},
                      ArgumentCase{"loadNoDisc", "load rec nowhere", 1},
                      ArgumentCase{"show", "show disc", 0},
                      ArgumentCase{"load", "load rec disc", 0},
                      ArgumentCase{"eject", "eject rec", 0},
                      ArgumentCase{"export", "export disc out.iso", 0},
                      ArgumentCase{"help", "--help", 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Vdisc, ShowPrintsProfileStatusSessionsAndTracks) {
    ASSERT_EQ(run("create disc --media cd-r").status, 0);
    {
        DiscStore store = DiscStore::open(root / "disc");
        ASSERT_EQ(store.write(0, std::vector<uint8_t>(10 * kBlockSize, 1)), DiscResult::Ok);
        ASSERT_EQ(store.closeSession(SessionClose::Appendable), DiscResult::Ok);
    }
    const ToolRun r = run("show disc");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output,
              "media: CD-R (profile 0009h)\n"
              "status: appendable, last session empty, erasable no\n"
              "capacity: 359849 blocks\n"
              "session 1: complete, tracks 1-1, start 0, end 10\n"
              "session 2: empty, tracks 2-1, start 11410, end 11410\n"
              "track 1: session 1, complete, start 0, size 10, recorded 10, nwa none, free 0\n"
              "track 2: session 2, blank, start 11410, size 348439, recorded 0, nwa 11410, free 348439\n");
}

TEST_F(Vdisc, ACorruptDiscIsReportedNotShown) {
    ASSERT_EQ(run("create disc --media dvd-r").status, 0);
    std::ofstream(root / "disc" / kDiscMetadataFile, std::ios::trunc) << "{\"format\": \"tavrin-disc\"";
    const ToolRun r = run("show disc");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("corrupt disc metadata"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("media:"), std::string::npos);
}

TEST_F(Vdisc, PressThenLoadPutsAReadOnlyDiscInTheRecorder) {
    std::ofstream(root / "image.iso", std::ios::binary) << std::string(4 * kBlockSize, 'x');
    const ToolRun pressed = run("press rom --image image.iso --cd");
    ASSERT_EQ(pressed.status, 0) << pressed.output;
    EXPECT_NE(pressed.output.find("CD-ROM (profile 0008h)"), std::string::npos) << pressed.output;
    RecorderWatch watch(root / "rec");
    ASSERT_EQ(run("load rec rom").status, 0);
    EXPECT_TRUE(watch.changed());  // what a running recorder takes for a disc change
    const RecorderConfig config = loadRecorderConfig(root / "rec");
    EXPECT_EQ(config.disc, root / "rom");
    EXPECT_EQ(DiscStore::open(*config.disc).disc().status(), DiscStatus::Complete);
}

}  // namespace
}  // namespace tavrin::vrecorder
