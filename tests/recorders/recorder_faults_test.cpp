#include "tests/recorders/recorder_fixture.h"

namespace tavrin::vrecorder::test {
namespace {

using std::chrono::milliseconds;

class Fault : public RecorderTest {};

TEST_F(Fault, NotReadyForTheFirstCommands) {
    Faults f;
    f.notReadyCommands = 2;
    start(MediaKind::CdR, f);
    EXPECT_TRUE(in({0x12, 0, 0, 0, 36, 0}).good()) << "INQUIRY is always answered";
    for (int i = 0; i < 2; ++i) {
        const Reply r = testUnitReady();
        EXPECT_EQ(r.asc(), 0x04);
        EXPECT_EQ(r.ascq(), 0x01);
    }
    EXPECT_TRUE(testUnitReady().good());
}

TEST_F(Fault, NotReadyForAWhileAfterALoad) {
    Faults f;
    f.notReadyAfterLoad = milliseconds(500);
    start(MediaKind::CdR, f);
    EXPECT_EQ(testUnitReady().ascq(), 0x01);
    advance(milliseconds(499));
    EXPECT_EQ(testUnitReady().ascq(), 0x01);
    advance(milliseconds(1));
    EXPECT_TRUE(testUnitReady().good());
}

TEST_F(Fault, BusyForTheFirstWrites) {
    Faults f;
    f.busyWrites = 1;
    start(MediaKind::CdR, f);
    const Reply busy = write(0, 1);
    EXPECT_EQ(busy.result.status, kStatusBusy);
    EXPECT_EQ(be32At(trackInfo(0xFF).data, 12), 0u) << "nothing written";
    EXPECT_TRUE(write(0, 1).good());
}

TEST_F(Fault, LongWriteInProgressWhileTheBufferIsFull) {
    Faults f;
    f.longWriteWhenBufferFull = true;
    start(MediaKind::CdR, f, 1.0);
    advance(milliseconds(5000));
    const uint32_t blocks = 2 * 1024 * 1024 / 2048;
    for (uint32_t lba = 0; lba < blocks; lba += 256) ASSERT_TRUE(write(lba, 256).good());
    const Reply full = write(blocks, 16);
    EXPECT_EQ(full.key(), kSenseNotReady);
    EXPECT_EQ(full.asc(), 0x04);
    EXPECT_EQ(full.ascq(), 0x08);
    advance(milliseconds(100));
    EXPECT_TRUE(write(blocks, 16).good()) << "drained at the write speed";
}

TEST_F(Fault, MediumErrorsOnChosenBlocks) {
    Faults f;
    f.writeErrorBlock = 5;
    f.readErrorBlock = 1;
    start(MediaKind::DvdPlusR, f);
    const Reply w = write(0, 8);
    EXPECT_EQ(w.key(), kSenseMediumError);
    EXPECT_EQ(w.asc(), 0x0C);
    EXPECT_EQ(be32At(trackInfo(0xFF).data, 12), 5u) << "blocks before the fault stay written";
    EXPECT_TRUE(read(2, 3).good());
    const Reply r = read(0, 2);
    EXPECT_EQ(r.key(), kSenseMediumError);
    EXPECT_EQ(r.asc(), 0x11);
}

TEST_F(Fault, RefusedOpcode) {
    Faults f;
    f.refusedOpcode = 0x51;
    start(MediaKind::CdR, f);
    const Reply r = discInfo();
    EXPECT_EQ(r.key(), kSenseIllegalRequest);
    EXPECT_EQ(r.asc(), 0x20);
    EXPECT_TRUE(profile().good());
}

TEST_F(Fault, UnitAttentionOnceAfterADiscChange) {
    Faults f;
    f.unitAttentionOnDiscChange = true;
    start(MediaKind::CdR, f);
    Reply r = testUnitReady();
    EXPECT_EQ(r.key(), kSenseUnitAttention);
    EXPECT_EQ(r.asc(), 0x28);
    EXPECT_TRUE(testUnitReady().good());
    DiscStore::create(discFolder(1), MediaKind::DvdR);
    loadDiscIntoRecorder(recorderFolder(), discFolder(1));
    EXPECT_EQ(testUnitReady().key(), kSenseUnitAttention);
    EXPECT_EQ(be16At(profile().data, 6), 0x0011);
}

TEST_F(Fault, CommandThatNeverCompletes) {
    Faults f;
    f.hangOpcode = 0x35;
    start(MediaKind::CdR, f);
    const Reply r = none({0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_TRUE(r.result.hang);
    EXPECT_TRUE(testUnitReady().good()) << "the model itself goes on";
}

TEST_F(Fault, DiscRemovedInTheMiddleOfAWrite) {
    Faults f;
    f.removeDiscAtBlock = 40;
    start(MediaKind::CdR, f);
    ASSERT_TRUE(write(0, 32).good());
    const Reply r = write(32, 32);
    EXPECT_EQ(r.key(), kSenseNotReady);
    EXPECT_EQ(r.asc(), 0x3A);
    EXPECT_EQ(testUnitReady().asc(), 0x3A);
    // The disc keeps what reached it, as an incomplete track.
    const DiscStore kept = DiscStore::open(discFolder());
    ASSERT_FALSE(kept.disc().tracks().empty());
    EXPECT_EQ(kept.disc().tracks().front().recorded, 40u);
}

}  // namespace
}  // namespace tavrin::vrecorder::test
