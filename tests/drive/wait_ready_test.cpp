#include "engine/drive/wait_ready.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/device/quirks.h"
#include "engine/drive/media_info.h"
#include "engine/drive/media_types.h"
#include "engine/drive/mmc_cdb.h"
#include "tests/drive/recording_drive.h"

namespace tavrin::drive {
namespace {

using Bytes = std::vector<uint8_t>;

// LOGICAL UNIT NOT READY, BECOMING READY.
test::DriveAnswer NotReady() { return test::DriveAnswer::Sense(0x02, 0x04, 0x01); }

// REQUEST SENSE answers: fixed-format sense data with this response code and ASC.
Bytes SenseData(uint8_t responseCode, uint8_t asc) {
    Bytes s(18, 0);
    s[0] = responseCode, s[7] = 10, s[12] = asc;
    return s;
}

class WaitUntilReadyTest : public test::RecordingDriveTest {
protected:
    void SetUp() override {
        RecordingDriveTest::SetUp();
        SetCurrentMediaType(media::kUnknown);
        SetQuirkSlowReady(false);
    }
    void TearDown() override {
        SetCurrentMediaType(media::kUnknown);
        SetQuirkSlowReady(false);
        RecordingDriveTest::TearDown();
    }

    bool Wait(int timeoutMs, int pollMs) {
        return WaitUntilReady(device_, timeoutMs, pollMs, [this](int ms) { sleeps_.push_back(ms); });
    }
    Bytes Opcodes() const {
        Bytes out;
        for (const auto& r : drive().sent) out.push_back(r.opcode());
        return out;
    }
    std::size_t Count(uint8_t opcode) const { return drive().sentWith(opcode).size(); }

    std::vector<int> sleeps_;
};

TEST_F(WaitUntilReadyTest, ReadyAtOnceTakesOnePoll) {
    EXPECT_TRUE(Wait(10000, 500));
    EXPECT_EQ(sleeps_, (std::vector<int>{500}));
    EXPECT_EQ(Opcodes(), (Bytes{op::kReadDiscInformation, op::kTestUnitReady}));
}

TEST_F(WaitUntilReadyTest, PollsDiscInformationWhileNotReady) {
    drive().on(op::kReadDiscInformation, NotReady(), 3);
    EXPECT_TRUE(Wait(10000, 500));
    EXPECT_EQ(sleeps_, (std::vector<int>(4, 500)));
    EXPECT_EQ(Count(op::kReadDiscInformation), 4u);
    EXPECT_EQ(Count(op::kTestUnitReady), 1u);
}

// The last poll is accounted in full but no sleep runs past the budget.
struct BudgetCase {
    int timeoutMs;
    int pollMs;
    std::vector<int> sleeps;
    std::size_t polls;
};

class NeverReady : public WaitUntilReadyTest, public ::testing::WithParamInterface<BudgetCase> {};

TEST_P(NeverReady, FailsWhenTheBudgetIsUsedUp) {
    drive().on(op::kReadDiscInformation, NotReady());
    EXPECT_FALSE(Wait(GetParam().timeoutMs, GetParam().pollMs));
    EXPECT_EQ(sleeps_, GetParam().sleeps);
    EXPECT_EQ(Count(op::kReadDiscInformation), GetParam().polls);
    EXPECT_EQ(Count(op::kTestUnitReady), 0u);
}

INSTANTIATE_TEST_SUITE_P(Budgets, NeverReady,
                         ::testing::Values(BudgetCase{2000, 500, {500, 500, 500, 500}, 5},
                                           BudgetCase{1200, 500, {500, 500, 200}, 3},
                                           BudgetCase{3000, 5000, {3000}, 1},  // the disc summary's wait
                                           BudgetCase{0, 500, {}, 1}));

// DVD-RAM: no disc information poll, and the REQUEST SENSE poll always runs;
// a sense response code of F0h counts as not ready.
TEST_F(WaitUntilReadyTest, DVDRAMEndsWithRequestSensePoll) {
    SetCurrentMediaType(media::kDVDRAM);
    drive().on(op::kRequestSense, test::DriveAnswer::Data(SenseData(0xF0, 0x00)), 1);
    drive().on(op::kRequestSense, test::DriveAnswer::Data(SenseData(0x70, 0x04)), 1);
    drive().on(op::kRequestSense, test::DriveAnswer::Data(SenseData(0x70, 0x00)));
    EXPECT_TRUE(Wait(10000, 500));
    EXPECT_EQ(Opcodes(), (Bytes{op::kTestUnitReady, op::kTestUnitReady, op::kRequestSense, op::kRequestSense, op::kRequestSense}));
    EXPECT_EQ(sleeps_, (std::vector<int>{500, 500, 500}));
    const auto sense = drive().sentWith(op::kRequestSense).front();
    EXPECT_EQ(sense.cdb, (Bytes{0x03, 0, 0, 0, 40, 0}));
}

TEST_F(WaitUntilReadyTest, DVDRAMNeverReadyFailsInRequestSensePoll) {
    SetCurrentMediaType(media::kDVDRAM);
    drive().on(op::kRequestSense, test::DriveAnswer::Data(SenseData(0x70, 0x04)));
    EXPECT_FALSE(Wait(2000, 500));
    EXPECT_EQ(Count(op::kReadDiscInformation), 0u);
    EXPECT_EQ(Count(op::kTestUnitReady), 2u);
    EXPECT_EQ(Count(op::kRequestSense), 4u);  // 1000, 500 and 0 ms left, then overdrawn
    EXPECT_EQ(sleeps_, (std::vector<int>{500, 500, 500}));  // nothing left to sleep after the third
}

TEST_F(WaitUntilReadyTest, TestUnitReadyPollAfterDiscInformation) {
    drive().on(op::kTestUnitReady, NotReady(), 3);
    EXPECT_TRUE(Wait(10000, 500));
    EXPECT_EQ(Opcodes(), (Bytes{op::kReadDiscInformation, op::kTestUnitReady, op::kTestUnitReady, op::kTestUnitReady,
                                op::kTestUnitReady, op::kRequestSense}));
    EXPECT_EQ(sleeps_, (std::vector<int>(4, 500)));
}

// A sense code other than "not ready" ends neither the poll nor starts a sleep:
// it is asked for again until the budget is gone.
TEST_F(WaitUntilReadyTest, PersistentOtherSenseCodePollsWithoutSleeping) {
    drive().on(op::kTestUnitReady, NotReady(), 1);
    drive().on(op::kTestUnitReady, test::DriveAnswer::Sense(0x02, 0x3A, 0x00));  // no medium
    drive().on(op::kRequestSense, test::DriveAnswer::Data(SenseData(0x70, 0x3A)));
    EXPECT_FALSE(Wait(2000, 500));
    EXPECT_EQ(sleeps_, (std::vector<int>{500, 500}));  // disc information and TEST UNIT READY polls only
    EXPECT_EQ(Count(op::kRequestSense), 3u);
}

enum class SlowDrive { DVR10x, SlowReady };

class SlowReadyDrives : public WaitUntilReadyTest, public ::testing::WithParamInterface<SlowDrive> {};

TEST_P(SlowReadyDrives, FirstWaitInStepsOfOneAndAHalfSeconds) {
    if (GetParam() == SlowDrive::DVR10x) device_.QuirkDVR10x = true;
    if (GetParam() == SlowDrive::SlowReady) SetQuirkSlowReady(true);
    drive().on(op::kTestUnitReady, NotReady(), 2);
    EXPECT_TRUE(Wait(10000, 500));
    EXPECT_EQ(sleeps_, (std::vector<int>{1500, 1500, 1500, 500}));
    EXPECT_EQ(Opcodes(), (Bytes{op::kTestUnitReady, op::kTestUnitReady, op::kTestUnitReady, op::kReadDiscInformation,
                                op::kTestUnitReady}));
}

TEST_P(SlowReadyDrives, FirstWaitEndsWithTheBudget) {
    if (GetParam() == SlowDrive::DVR10x) device_.QuirkDVR10x = true;
    if (GetParam() == SlowDrive::SlowReady) SetQuirkSlowReady(true);
    drive().on(op::kTestUnitReady, NotReady());
    EXPECT_FALSE(Wait(2000, 500));
    EXPECT_EQ(sleeps_, (std::vector<int>{1500, 500}));
    EXPECT_EQ(Opcodes(), (Bytes{op::kTestUnitReady, op::kReadDiscInformation}));
}

INSTANTIATE_TEST_SUITE_P(Quirks, SlowReadyDrives, ::testing::Values(SlowDrive::DVR10x, SlowDrive::SlowReady),
                         [](const auto& info) {
                             return std::string(info.param == SlowDrive::DVR10x ? "DVR10x" : "SlowReady");
                         });

TEST_F(WaitUntilReadyTest, OtherDrivesSkipTheFirstWait) {
    drive().on(op::kTestUnitReady, NotReady(), 1);
    drive().on(op::kRequestSense, test::DriveAnswer::Data(SenseData(0x70, 0x00)));
    EXPECT_TRUE(Wait(10000, 500));
    EXPECT_EQ(drive().sent.front().opcode(), op::kReadDiscInformation);
    EXPECT_EQ(sleeps_.front(), 500);
}

}  // namespace
}  // namespace tavrin::drive
