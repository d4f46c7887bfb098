// Buffer underruns of the virtual recorder: the drive's buffer running empty in
// the middle of a track, counted and kept in the recorder folder.
#include <fstream>
#include <sstream>

#include "tests/recorders/recorder_fixture.h"

namespace tavrin::vrecorder::test {
namespace {

using std::chrono::milliseconds;

// 4x CD: 706,000 bytes a second drain 200 blocks (409,600 bytes) in about 580 ms.
const std::vector<uint8_t> kSetCdSpeed4x{0xBB, 0, 0xFF, 0xFF, 0x02, 0xC4, 0, 0, 0, 0, 0, 0};
const std::vector<uint8_t> kSynchronizeCache{0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr uint16_t kChunk = 200;

struct GapCase {
    const char* name;
    double timeScale;
    int gapMs;          // between the two writes
    bool flushBetween;  // SYNCHRONIZE CACHE before the gap: the host ended the recording
    uint64_t underruns;
};

class Underrun : public RecorderTest, public ::testing::WithParamInterface<GapCase> {
protected:
    void startCdR(double timeScale) {
        start(MediaKind::CdR, {}, timeScale);
        advance(milliseconds(5000));
        ASSERT_TRUE(none(kSetCdSpeed4x).good());
    }
    std::string countFile() const {
        std::ifstream in(recorderFolder() / kUnderrunCountFile);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

TEST_P(Underrun, CountedWhenTheBufferRanEmptyBetweenWrites) {
    const GapCase& c = GetParam();
    startCdR(c.timeScale);
    ASSERT_TRUE(write(0, kChunk).good());
    if (c.flushBetween) {
        ASSERT_TRUE(none(kSynchronizeCache).good());
    }
    advance(milliseconds(c.gapMs));
    ASSERT_TRUE(write(kChunk, kChunk).good());
    EXPECT_EQ(recorder_->underruns(), c.underruns);
    EXPECT_EQ(countFile(), c.underruns == 0 ? "" : std::to_string(c.underruns) + "\n");
}

INSTANTIATE_TEST_SUITE_P(Gaps, Underrun,
                         ::testing::Values(GapCase{"InTime", 1.0, 500, false, 0},
                                           GapCase{"TooLate", 1.0, 700, false, 1},
                                           GapCase{"TooLateAtHalfTime", 0.5, 350, false, 1},
                                           GapCase{"InTimeAtHalfTime", 0.5, 250, false, 0},
                                           GapCase{"AfterAFlush", 1.0, 5000, true, 0},
                                           GapCase{"InstantDrive", 0.0, 5000, false, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Underrun, CountOutlivesTheRecorderObject) {
    startCdR(1.0);
    uint32_t lba = 0;
    for (int i = 0; i < 3; ++i, lba += kChunk) {
        ASSERT_TRUE(write(lba, kChunk).good());
        advance(milliseconds(i == 1 ? 100 : 2000));  // late, in time, late
    }
    ASSERT_TRUE(write(lba, kChunk).good());
    EXPECT_EQ(recorder_->underruns(), 2u);
    EXPECT_EQ(countFile(), "2\n");

    reopen({}, 1.0);
    EXPECT_EQ(recorder_->underruns(), 2u) << "read back from the recorder folder";
}

}  // namespace
}  // namespace tavrin::vrecorder::test
