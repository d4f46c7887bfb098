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
#include "tests/recorders/aspi_fixture.h"

namespace tavrin::test {
namespace {

namespace fs = std::filesystem;
using vrecorder::MediaKind;

// Real seconds per modelled second, for the recorder and for the engine's sleeps alike.
constexpr double kTimeScale = 0.0005;

struct SentCommand {
    std::vector<uint8_t> cdb;
    std::vector<uint8_t> data;  // data-out bytes
    uint8_t opcode() const { return cdb.at(0); }
};

// Sits between the engine's transport and the manager library and keeps what
// goes through. The erase thread sends too, hence the lock.
struct CommandLog {
    std::mutex lock;
    std::vector<SentCommand> sent;
    aspi::SendCommandFn forward = nullptr;

    static CommandLog& Get() {
        static CommandLog log;
        return log;
    }
    static uint32_t Send(void* request) {
        CommandLog& log = Get();
        if (static_cast<uint8_t*>(request)[0] == aspi::SC_EXEC_SCSI_CMD) {
            const auto& r = *static_cast<aspi::SRB_ExecSCSICmd*>(request);
            SentCommand c;
            c.cdb.assign(r.CDBByte, r.CDBByte + r.SRB_CDBLen);
            if ((r.SRB_Flags & aspi::SRB_DIR_OUT) && r.SRB_BufPointer != nullptr)
                c.data.assign(r.SRB_BufPointer, r.SRB_BufPointer + r.SRB_BufLen);
            const std::lock_guard guard(log.lock);
            log.sent.push_back(std::move(c));
        }
        return log.forward(request);
    }
    std::vector<SentCommand> snapshot() {
        const std::lock_guard guard(lock);
        return sent;
    }
};

std::vector<uint8_t> Opcodes(const std::vector<SentCommand>& sent) {
    std::vector<uint8_t> out;
    for (const auto& c : sent) out.push_back(c.opcode());
    return out;
}

constexpr uint8_t kTestUnitReady = 0x00, kRezero = 0x01, kFormatUnit = 0x04, kStartStop = 0x1B,
                  kPreventAllow = 0x1E, kReadFormatCapacities = 0x23, kModeSelect = 0x55, kBlank = 0xA1,
                  kSetCDSpeed = 0xBB;

class EraseOnVirtualRecorder : public ManagerLibrary {
protected:
    void TearDown() override {
        ShutdownTransport();
        library_.reset();
        ManagerLibrary::TearDown();
    }

    // A disc of `kind` with 16 blocks of data on it, in a recorder that answers
    // long operations at the test's time scale; selected through a recording transport.
    void selectWithData(MediaKind kind, const std::string& extra = {}) {
        disc_ = root_ / "disc";
        auto store = vrecorder::DiscStore::create(disc_, kind);
        if (kind == MediaKind::DvdPlusRw) {
            ASSERT_EQ(store.format(0x26), vrecorder::DiscResult::Ok);
        }
        const std::vector<uint8_t> data(16 * 2048, 0x5A);
        const auto at = store.disc().nextWritable().value_or(0);
        ASSERT_EQ(store.write(at, data), vrecorder::DiscResult::Ok);
        if (store.disc().nextWritable()) {
            ASSERT_EQ(store.closeTrack(), vrecorder::DiscResult::Ok);
            ASSERT_EQ(store.closeSession(vrecorder::SessionClose::Appendable), vrecorder::DiscResult::Ok);
        }
        select(extra);
    }

    void select(const std::string& extra = {}) {
        const fs::path tray = root_ / "tray";
        vrecorder::RecorderConfig config;
        config.disc = disc_;
        vrecorder::saveRecorderConfig(tray, config);
        load("[recorder one]\ntype = virtual\ndisc = " + disc_.string() + "\nrecorder = " + tray.string() +
             "\ntime_scale = " + std::to_string(kTimeScale) + "\n" + extra + "\n");
        // Keep the library loaded while the recording carrier takes its place.
        library_ = std::make_unique<platform::DynamicLibrary>("./libwnaspi32.so");
        ASSERT_TRUE(library_->loaded()) << library_->error();
        CommandLog::Get().sent.clear();
        CommandLog::Get().forward = library_->function<aspi::SendCommandFn>("SendASPI32Command");
        UseTransport("WNASPI32.DLL", library_->function<aspi::GetSupportInfoFn>("GetASPI32SupportInfo"),
                     &CommandLog::Send);
        drive::Create(burner_);
        ASSERT_EQ(burner_.DeviceList.size(), 1u);
        drive::SelectDevice(burner_, burner_.DeviceList[0]);
        ASSERT_TRUE(burner_.HasDevice());
        CommandLog::Get().sent.clear();
    }

    vrecorder::DiscState discState() const { return vrecorder::DiscStore::open(disc_).disc().state(); }
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

    fs::path disc_;
    TvxCDBurner burner_;
    std::unique_ptr<platform::DynamicLibrary> library_;
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
