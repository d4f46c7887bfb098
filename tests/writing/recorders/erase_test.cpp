// Erasing against virtual recorders behind the manager library, with every
// command the engine sends recorded on its way to the library: the erase
// command and its parameter list, the progress, the one completion report and
// the disc afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/compilation/burner.h"
#include "engine/drive/device_selection.h"
#include "engine/drive/media_info.h"
#include "engine/drive/media_types.h"
#include "engine/platform/dynamic_library.h"
#include "engine/writing/erase.h"
#include "recorders/virtual/disc_store.h"
#include "recorders/virtual/recorder_store.h"
#include "tests/writing/recorders/recorded_recorder.h"

namespace tavrin::test {
namespace {

namespace fs = std::filesystem;
using vrecorder::MediaKind;

constexpr double kTimeScale = kRecorderTimeScale;
using namespace opcode;

class EraseOnVirtualRecorder : public RecordedRecorder {
protected:
    // A disc of `kind` with 16 blocks of data on it, in a recorder that answers
    // long operations at the test's time scale; selected through a recording transport.
    void selectWithData(MediaKind kind, const std::string& extra = {}) {
        auto store = createDisc(kind);
        const std::vector<uint8_t> data(16 * 2048, 0x5A);
        const auto at = store.disc().nextWritable().value_or(0);
        ASSERT_EQ(store.write(at, data), vrecorder::DiscResult::Ok);
        if (store.disc().nextWritable()) {
            ASSERT_EQ(store.closeTrack(), vrecorder::DiscResult::Ok);
            ASSERT_EQ(store.closeSession(vrecorder::SessionClose::Appendable), vrecorder::DiscResult::Ok);
        }
        select(extra);
    }

    std::vector<uint8_t> firstBlock() const {
        std::vector<uint8_t> block(2048, 0);
        if (vrecorder::DiscStore::open(disc_).read(0, block) != vrecorder::DiscResult::Ok) block.clear();
        return block;
    }

    // The engine's sleeps at the recorder's time scale, noting the progress the
    // thread shows in each round.
    drive::SleepFn scaledSleep() {
        return [this](int ms) {
            if (eraser_) progress_.push_back(eraser_->EraseProgress());
            std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(ms * kTimeScale));
        };
    }

    writing::DiscEraser* eraser_ = nullptr;
    std::vector<int> progress_;  // written by the erase thread, read after it is joined
};

struct EraseCase {
    const char* name;
    MediaKind kind;
    uint8_t quick;
    uint8_t mediaType;
    std::vector<uint8_t> eraseCdb;    // the first two bytes
    std::vector<uint8_t> formatList;  // empty: BLANK
};

class Erases : public EraseOnVirtualRecorder, public ::testing::WithParamInterface<EraseCase> {};

TEST_P(Erases, SendsTheCommandForTheMediumAndLeavesTheDiscBlank) {
    const EraseCase& c = GetParam();
    selectWithData(c.kind);
    int reports = 0;
    bool withError = true, erasingInside = false;
    std::thread::id reportedOn;
    writing::DiscEraser eraser(burner_, scaledSleep());
    burner_.OnEraseDone = [&](TvxCDBurner&, bool error) {
        ++reports;
        withError = error;
        erasingInside = eraser.Erasing();
        reportedOn = std::this_thread::get_id();
    };
    eraser_ = &eraser;

    ASSERT_TRUE(eraser.EraseDisc(c.quick));
    eraser.WaitDone();
    eraser_ = nullptr;

    EXPECT_EQ(drive::CurrentMediaType(), c.mediaType);
    EXPECT_EQ(reports, 1);
    EXPECT_FALSE(withError);
    EXPECT_TRUE(erasingInside);  // reported before the drive is reset
    EXPECT_NE(reportedOn, std::this_thread::get_id());
    EXPECT_FALSE(eraser.Erasing());
    EXPECT_FALSE(burner_.Erasing);
    EXPECT_EQ(eraser.EraseProgress(), 0);
    EXPECT_TRUE(std::is_sorted(progress_.begin(), progress_.end()));
    EXPECT_TRUE(std::all_of(progress_.begin(), progress_.end(), [](int p) { return p >= 0 && p <= 100; }));

    const auto sent = CommandLog::Get().snapshot();
    const auto codes = Opcodes(sent);
    ASSERT_GE(codes.size(), 2u);
    EXPECT_EQ(codes[0], kTestUnitReady);
    EXPECT_EQ(codes[1], kStartStop);
    EXPECT_EQ(sent[1].cdb[4], 0x03);  // load and start: the tray closed

    const uint8_t op = c.eraseCdb[0];
    EXPECT_EQ(std::count(codes.begin(), codes.end(), op), 1);
    const auto erase = std::find(codes.begin(), codes.end(), op) - codes.begin();
    EXPECT_EQ(sent[erase].cdb[1], c.eraseCdb[1]);
    if (!c.formatList.empty()) {
        EXPECT_EQ(sent[erase].data, c.formatList);
    }
    // Speed and write parameters are sent before the erase except on DVD-RAM,
    // which gets READ FORMAT CAPACITIES instead.
    const std::vector<uint8_t> before(codes.begin(), codes.begin() + erase);
    const bool ram = c.mediaType == drive::media::kDVDRAM;
    EXPECT_EQ(std::count(before.begin(), before.end(), kSetCDSpeed), ram ? 0 : 1);
    EXPECT_EQ(std::count(before.begin(), before.end(), kModeSelect), ram ? 0 : 1);
    EXPECT_EQ(std::count(before.begin(), before.end(), kReadFormatCapacities), ram ? 1 : 0);

    // The neutral state at the end.
    const std::vector<uint8_t> tail = {kRezero, kPreventAllow, kStartStop, kRezero, kTestUnitReady};
    ASSERT_GE(codes.size(), tail.size());
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), codes.end() - static_cast<long>(tail.size())));
    EXPECT_EQ(sent[sent.size() - 4].cdb[4], 0x00);  // removal allowed
    EXPECT_NE(std::find(codes.begin() + erase, codes.end(), kSetCDSpeed), codes.end());

    const auto state = discState();
    EXPECT_EQ(state.closedSessions, 0);
    EXPECT_TRUE(state.tracks.empty());
    const auto block = firstBlock();
    EXPECT_TRUE(std::all_of(block.begin(), block.end(), [](uint8_t b) { return b == 0; }));
}

const std::vector<uint8_t> kDvdRamList = {0x00, 0x82, 0x00, 0x08, 0x00, 0x22, 0x21, 0x20,
                                          0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00};
const std::vector<uint8_t> kDvdPlusRwList = {0x00, 0x82, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00,
                                             0x98, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

INSTANTIATE_TEST_SUITE_P(
    Media, Erases,
    ::testing::Values(EraseCase{"QuickCDRW", MediaKind::CdRw, 1, drive::media::kCDRW, {kBlank, 0x11}, {}},
                      EraseCase{"QuickDVDRW", MediaKind::DvdRwSequential, 1, drive::media::kDVDRW, {kBlank, 0x11}, {}},
                      EraseCase{"DVDPlusRW", MediaKind::DvdPlusRw, 1, drive::media::kDVDPlusRW,
                                {kFormatUnit, 0x11}, kDvdPlusRwList},
                      EraseCase{"DVDRAM", MediaKind::DvdRam, 0, drive::media::kDVDRAM, {kFormatUnit, 0x11},
                                kDvdRamList}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EraseOnVirtualRecorder, QuickCDRWProgressStaysBelow100UntilTheDriveIsReady) {
    selectWithData(MediaKind::CdRw);
    writing::DiscEraser eraser(burner_, scaledSleep());
    eraser_ = &eraser;
    int atReport = -1;
    burner_.OnEraseDone = [&](TvxCDBurner&, bool) { atReport = eraser.EraseProgress(); };
    ASSERT_TRUE(eraser.EraseDisc(writing::kQuickErase));
    eraser.WaitDone();
    eraser_ = nullptr;
    EXPECT_EQ(atReport, 100);
    // The drive blanks for 60 modelled seconds against 150 expected: the
    // estimate climbs part of the way and then jumps to 100.
    EXPECT_TRUE(std::all_of(progress_.begin(), progress_.end(), [](int p) { return p < 100; }));
    EXPECT_TRUE(std::is_sorted(progress_.begin(), progress_.end()));
}

TEST_F(EraseOnVirtualRecorder, WriteOnceDiscIsRefusedByTheDrive) {
    selectWithData(MediaKind::CdR);
    int reports = 0;
    bool withError = false;
    burner_.OnEraseDone = [&](TvxCDBurner&, bool error) { ++reports, withError = error; };
    writing::DiscEraser eraser(burner_, scaledSleep());
    EXPECT_FALSE(eraser.EraseDisc(writing::kQuickErase));
    EXPECT_EQ(reports, 1);
    EXPECT_TRUE(withError);
    EXPECT_FALSE(eraser.Erasing());
    EXPECT_FALSE(burner_.Erasing);
    EXPECT_EQ(discState().closedSessions, 1);  // the data stays
}

TEST_F(EraseOnVirtualRecorder, BlankingTheDriveRefusesReportsAnError) {
    selectWithData(MediaKind::CdRw, "refused_opcode = A1h");
    int reports = 0;
    bool withError = false;
    burner_.OnEraseDone = [&](TvxCDBurner&, bool error) { ++reports, withError = error; };
    writing::DiscEraser eraser(burner_, scaledSleep());
    EXPECT_FALSE(eraser.EraseDisc(writing::kQuickErase));
    EXPECT_EQ(reports, 1);
    EXPECT_TRUE(withError);
    EXPECT_FALSE(eraser.Erasing());
    EXPECT_EQ(discState().closedSessions, 1);
}

}  // namespace
}  // namespace tavrin::test
