// The pieces of tavrin-cli that need no recorder: where a source goes in the
// image, and the progress text of a write.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/compilation_sources.h"
#include "cli/progress_line.h"

namespace tavrin::cli {
namespace {

using namespace std::chrono_literals;
using Names = std::vector<std::string>;

TEST(PlaceSource, PlainPathsAndPlacesInTheImage) {
    struct Case {
        const char* argument;
        bool exists;  // the whole argument is a local path
        const char* local;
        Names folders;
        std::optional<std::string> name;
        bool placed;
    };
    const Case cases[] = {
        {"docs", false, "docs", {}, std::nullopt, false},
        {"a=b.txt", true, "a=b.txt", {}, std::nullopt, false},  // an existing name is never split
        {"=odd", false, "=odd", {}, std::nullopt, false},       // no DEST before the "="
        {"backup/2026=docs", false, "docs", {"backup"}, "2026", true},
        {"/backup/2026/=docs", false, "docs", {"backup", "2026"}, std::nullopt, true},
        {"/=docs", false, "docs", {}, std::nullopt, true},
        {"notes.txt=/home/u/n=1.txt", false, "/home/u/n=1.txt", {}, "notes.txt", true},
        {"照片/=pics", false, "pics", {"照片"}, std::nullopt, true},
    };
    for (const Case& c : cases) {
        const SourcePlacement placed = PlaceSource(c.argument, c.exists);
        EXPECT_EQ(placed.local, c.local) << c.argument;
        EXPECT_EQ(placed.folders, c.folders) << c.argument;
        EXPECT_EQ(placed.name, c.name) << c.argument;
        EXPECT_EQ(placed.placed, c.placed) << c.argument;
    }
}

TEST(PlaceSource, APlaceThatNoImageHoldsIsAUsageError) {
    for (const char* argument : {"a//b=x", "a/../b=x", "./x=y", "a\\b=x", "dest="}) {
        try {
            PlaceSource(argument, false);
            ADD_FAILURE() << argument << " was accepted";
        } catch (const UsageError& e) {
            EXPECT_EQ(e.ExitStatus(), kBadArguments) << argument;
        }
    }
}

TEST(WriteProgress, TextShowsShareSizesSpeedTimeLeftAndBuffers) {
    constexpr int64_t kMB = 1048576;
    struct Case {
        WriteSample sample;
        double bytesPerSecond;
        const char* text;
    };
    const Case cases[] = {
        {{0, 300 * kMB, 0, std::nullopt}, 0, "0% 0.00/300.00 MB, 0.00 MB/s, --:-- left, buffer 0%"},
        {{75 * kMB, 300 * kMB, 87, 60}, 5 * kMB, "25% 75.00/300.00 MB, 5.00 MB/s, 0:45 left, buffer 87%, drive 60%"},
        {{kMB, 4000 * kMB, 100, 100}, kMB, "0% 1.00/4000.00 MB, 1.00 MB/s, 1:06:39 left, buffer 100%, drive 100%"},
        // The lead-out padding may take the count past the image: never above 100%.
        {{310 * kMB, 300 * kMB, 0, 0}, 2 * kMB, "100% 310.00/300.00 MB, 2.00 MB/s, 0:00 left, buffer 0%, drive 0%"},
        {{0, 0, 0, std::nullopt}, 0, "0% 0.00/0.00 MB, 0.00 MB/s, --:-- left, buffer 0%"},
    };
    for (const Case& c : cases) EXPECT_EQ(WriteProgressText(c.sample, c.bytesPerSecond), c.text);
}

TEST(WriteProgress, DriveFillOnlyFromABufferThatWasReported) {
    EXPECT_EQ(DriveFillPercent(0, 0), std::nullopt);
    EXPECT_EQ(DriveFillPercent(1000, 2000), std::nullopt);
    EXPECT_EQ(DriveFillPercent(4 * 1048576, 1048576), 75);
    EXPECT_EQ(DriveFillPercent(4000, 4000), 0);
}

TEST(WriteProgress, RateFollowsTheLastSecondsOnly) {
    RateMeter meter;
    const Clock::time_point start{};
    EXPECT_EQ(meter.BytesPerSecond(), 0);
    meter.Add(start, 0);
    EXPECT_EQ(meter.BytesPerSecond(), 0);
    for (int s = 1; s <= 10; ++s) meter.Add(start + s * 1s, s * 1000);  // 1000 bytes a second
    EXPECT_DOUBLE_EQ(meter.BytesPerSecond(), 1000);
    // The drive pauses (a flush): the speed drops within the window and stays 0.
    for (int s = 11; s <= 20; ++s) meter.Add(start + s * 1s, 10000);
    EXPECT_DOUBLE_EQ(meter.BytesPerSecond(), 0);
}

}  // namespace
}  // namespace tavrin::cli
