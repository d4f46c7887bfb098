// Erasing against a recording fake drive: the expected times and format lists,
// the refusal of a drive that is not ready, the rounds of waiting while the
// drive works and their progress estimate.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>

#include "engine/drive/media_types.h"
#include "engine/writing/erase.h"
#include "tests/drive/recording_drive.h"

namespace tavrin::test {
namespace {

using namespace drive::media;

constexpr uint8_t kTestUnitReady = 0x00, kRequestSense = 0x03, kFormatUnit = 0x04, kGetConfiguration = 0x46,
                  kReadDiscInformation = 0x51, kModeSelect = 0x55, kBlank = 0xA1, kSetCDSpeed = 0xBB;

struct ExpectedCase {
    uint8_t media;
    uint8_t quick;
    uint16_t seconds;
};

TEST(ExpectedEraseSeconds, ByMediumAndQuickArgument) {
    const ExpectedCase cases[] = {
        {kCDR, 1, 150},      {kCDRW, 1, 150},       {kCDRW, 0, 4500},     {kCDRW, 2, 4500},
        {kDVDRW, 1, 120},    {kDVDPlusRW, 1, 600},  {kDVDRAM, 1, 600},    {kDVDRW, 0, 4440},
        {kDVDPlusRW, 0, 4440}, {kDVDRAM, 7, 8880},
    };
    for (const auto& c : cases)
        EXPECT_EQ(writing::ExpectedEraseSeconds(c.media, c.quick), c.seconds)
            << int{c.media} << " quick " << int{c.quick};
}

TEST(FormatParameterList, OnlyTheFormattedMediaGetADescriptor) {
    const std::array<uint8_t, 16> zeros{};
    EXPECT_EQ(writing::FormatParameterList(kCDRW), zeros);
    EXPECT_EQ(writing::FormatParameterList(kDVDRW), zeros);
    const std::array<uint8_t, 16> plusRw = {0x00, 0x82, 0x00, 0x08, 0, 0, 0, 0, 0x98, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(writing::FormatParameterList(kDVDPlusRW), plusRw);
}

std::vector<uint8_t> NotReadySense() { return DriveAnswer::Sense(0x02, 0x04, 0x04).sense; }

class EraseOnRecordingDrive : public RecordingDriveTest {
protected:
    void SetUp() override {
        RecordingDriveTest::SetUp();
        // A CD-RW as its current profile.
        drive().on(kGetConfiguration, DriveAnswer::Data({0, 0, 0, 8, 0, 0, 0x00, 0x0A}));
    }

    // The engine's sleeps, noting the progress shown in that round; no real waiting.
    drive::SleepFn recordedSleep() {
        return [this](int ms) {
            sleeps_.push_back(ms);
            if (const auto* eraser = watched_.load()) progress_.push_back(eraser->EraseProgress());
        };
    }
    writing::DiscEraser& makeEraser() {
        eraser_ = std::make_unique<writing::DiscEraser>(
            device_, [this](bool error) { reports_.push_back(error); }, recordedSleep());
        watched_ = eraser_.get();
        return *eraser_;
    }
    // Answers that start once the erase command was accepted.
    RequestMatch afterErase(uint8_t opcode, int times = -1) {
        return [this, opcode, times, left = times](const RecordedRequest& r) mutable {
            if (r.opcode() == kBlank || r.opcode() == kFormatUnit) erased_ = true;
            if (!erased_ || r.opcode() != opcode) return false;
            return times < 0 || left-- > 0;
        };
    }
    void TearDown() override {
        eraser_.reset();  // joins
        RecordingDriveTest::TearDown();
    }

    bool erased_ = false;
    std::vector<bool> reports_;
    std::vector<int> sleeps_;
    std::vector<int> progress_;  // written by the erase thread, read after it is joined
    std::unique_ptr<writing::DiscEraser> eraser_;
    // What the erase thread's sleeps look at: the owner above changes while the
    // thread runs. The eraser's destructor joins before the object goes away.
    std::atomic<const writing::DiscEraser*> watched_{nullptr};
};

TEST_F(EraseOnRecordingDrive, DriveNotReadyIsRefusedBeforeAnySpeedPageOrEraseCommand) {
    drive().on(kTestUnitReady, DriveAnswer{aspi::SS_ERR, {}, NotReadySense()});
    writing::DiscEraser& eraser = makeEraser();
    EXPECT_FALSE(eraser.EraseDisc(writing::kQuickErase));
    EXPECT_EQ(reports_, std::vector<bool>{true});
    EXPECT_FALSE(eraser.Erasing());
    EXPECT_FALSE(device_.Erasing);
    for (uint8_t op : {kSetCDSpeed, kModeSelect, kBlank, kFormatUnit}) EXPECT_TRUE(drive().sentWith(op).empty()) << int{op};
}

TEST_F(EraseOnRecordingDrive, QuickCDRWRoundsStepTheProgressAgainst150Seconds) {
    drive().on(afterErase(kTestUnitReady, 5), DriveAnswer{aspi::SS_ERR, {}, NotReadySense()});
    drive().on(afterErase(kBlank), DriveAnswer{});
    writing::DiscEraser& eraser = makeEraser();
    ASSERT_TRUE(eraser.EraseDisc(writing::kQuickErase));
    eraser.WaitDone();
    ASSERT_EQ(drive().sentWith(kBlank).size(), 1u);
    EXPECT_EQ(drive().sentWith(kBlank)[0].cdb[1], 0x11);
    EXPECT_EQ(reports_, std::vector<bool>{false});
    // One disc-information round (5 s, answered at once), four not-ready
    // rounds of 2 s, then one request-sense round.
    std::vector<int> expected;
    for (double x : {5.0, 7.0, 9.0, 11.0, 15.0}) expected.push_back(static_cast<int>(std::lround(x / 150 * 100)));
    EXPECT_EQ(progress_, expected);
    EXPECT_TRUE(std::all_of(sleeps_.begin(), sleeps_.end(), [](int ms) { return ms == 2000; }));
    EXPECT_FALSE(eraser.Erasing());
}

TEST_F(EraseOnRecordingDrive, DriveThatNeverGetsReadyEndsTheWaitsAndReportsSuccess) {
    drive().on(afterErase(kTestUnitReady), DriveAnswer{aspi::SS_ERR, {}, NotReadySense()});
    drive().on(afterErase(kReadDiscInformation), DriveAnswer{aspi::SS_ERR, {}, NotReadySense()});
    std::vector<uint8_t> busy(18, 0);
    busy[0] = 0x70, busy[2] = 0x02, busy[12] = 0x04;
    drive().on(afterErase(kRequestSense), DriveAnswer::Data(busy));
    drive().on(afterErase(kBlank), DriveAnswer{});
    writing::DiscEraser& eraser = makeEraser();
    ASSERT_TRUE(eraser.EraseDisc(writing::kQuickErase));
    eraser.WaitDone();
    EXPECT_EQ(reports_, std::vector<bool>{false});
    ASSERT_FALSE(progress_.empty());
    EXPECT_TRUE(std::is_sorted(progress_.begin(), progress_.end()));
    EXPECT_EQ(progress_.back(), 100);
    EXPECT_LE(*std::max_element(progress_.begin(), progress_.end()), 100);
}

TEST_F(EraseOnRecordingDrive, DestroyingTheEraserWaitsForTheThread) {
    drive().on(afterErase(kTestUnitReady, 20), DriveAnswer{aspi::SS_ERR, {}, NotReadySense()});
    drive().on(afterErase(kBlank), DriveAnswer{});
    writing::DiscEraser& eraser = makeEraser();
    ASSERT_TRUE(eraser.EraseDisc(writing::kQuickErase));
    eraser_.reset();
    EXPECT_EQ(reports_, std::vector<bool>{false});
}

}  // namespace
}  // namespace tavrin::test
