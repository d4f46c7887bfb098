// The drive layer against virtual recorders behind the manager library: the
// same path the engine takes to a real drive, with discs authored for each case.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/drive/answers.h"
#include "engine/drive/capabilities.h"
#include "engine/drive/device_selection.h"
#include "engine/drive/media_info.h"
#include "engine/drive/media_types.h"
#include "engine/drive/mmc_commands.h"
#include "engine/drive/wait_ready.h"
#include "engine/drive/write_parameters.h"
#include "recorders/virtual/disc_store.h"
#include "recorders/virtual/recorder_store.h"
#include "tests/recorders/aspi_fixture.h"

namespace tavrin::test {
namespace {

namespace fs = std::filesystem;
using vrecorder::MediaKind;

// Sleeps that only add up, so a wait's budget can be checked without waiting.
struct RecordedSleeps {
    std::vector<int> sleeps;
    drive::SleepFn fn() {
        return [this](int ms) { sleeps.push_back(ms); };
    }
    int total() const {
        int t = 0;
        for (int s : sleeps) t += s;
        return t;
    }
};

struct DiscPlan {
    MediaKind kind = MediaKind::CdR;
    std::vector<uint32_t> sessions;  // blocks written in each closed session
    bool finalize = false;
    uint32_t pressedBlocks = 0;  // pressed kinds: the image size
};

DiscPlan Blank(MediaKind kind) { return {kind, {}, false, 0}; }

class VirtualDrive : public ManagerLibrary {
protected:
    // A disc folder made to plan; returns its folder.
    fs::path makeDisc(const std::string& name, const DiscPlan& plan) {
        const fs::path folder = root_ / ("disc-" + name);
        if (plan.pressedBlocks > 0) {
            const fs::path image = root_ / (name + ".iso");
            std::ofstream(image).close();
            fs::resize_file(image, uint64_t{plan.pressedBlocks} * 2048);
            vrecorder::DiscStore::press(folder, image, plan.kind);
            return folder;
        }
        auto store = vrecorder::DiscStore::create(folder, plan.kind);
        for (std::size_t i = 0; i < plan.sessions.size(); ++i) {
            const std::vector<uint8_t> data(std::size_t{plan.sessions[i]} * 2048, static_cast<uint8_t>(i + 1));
            const auto nwa = store.disc().nextWritable();
            EXPECT_TRUE(nwa.has_value());
            EXPECT_EQ(store.write(*nwa, data), vrecorder::DiscResult::Ok);
            EXPECT_EQ(store.closeTrack(), vrecorder::DiscResult::Ok);
            const bool last = i + 1 == plan.sessions.size();
            const auto how = last && plan.finalize ? vrecorder::SessionClose::Final : vrecorder::SessionClose::Appendable;
            EXPECT_EQ(store.closeSession(how), vrecorder::DiscResult::Ok);
        }
        return folder;
    }

    // A recorder folder holding the disc, optionally with another identity.
    fs::path makeRecorder(const std::string& name, const fs::path& disc, const std::string& product = {}) {
        const fs::path folder = root_ / ("tray-" + name);
        vrecorder::RecorderConfig config;
        config.disc = disc;
        if (!product.empty()) {
            config.vendor = "TESTVEND";
            config.product = product;
        }
        vrecorder::saveRecorderConfig(folder, config);
        return folder;
    }

    static std::string section(const std::string& name, const fs::path& disc, const fs::path& tray,
                               const std::string& extra = {}) {
        return "[recorder " + name + "]\ntype = virtual\ndisc = " + disc.string() + "\nrecorder = " + tray.string() +
               "\n" + extra + "\n";
    }

    // One recorder at 0:0:0 holding a disc made to plan, selected.
    void selectOne(const DiscPlan& plan, const std::string& product = {}, const std::string& extra = {}) {
        const fs::path disc = makeDisc("one", plan);
        load(section("one", disc, makeRecorder("one", disc, product), extra));
        drive::Create(device_);
        ASSERT_EQ(device_.DeviceList.size(), 1u);
        drive::SelectDevice(device_, device_.DeviceList[0]);
        ASSERT_TRUE(device_.HasDevice()) << device_.DeviceList[0];
    }
};

TEST_F(VirtualDrive, ScanListsEachRecorderAndSelectsIt) {
    const fs::path a = makeDisc("a", Blank(MediaKind::CdR));
    const fs::path b = makeDisc("b", Blank(MediaKind::DvdPlusR));
    load(section("a", a, makeRecorder("a", a)) + section("b", b, makeRecorder("b", b, "CD-RW  CRX800E")));
    drive::Create(device_);

    ASSERT_EQ(device_.DeviceList.size(), 2u);
    EXPECT_TRUE(device_.DeviceList[0].starts_with("0:0:0,")) << device_.DeviceList[0];
    EXPECT_TRUE(device_.DeviceList[0].ends_with(" TAVRIN  VIRTUAL RECORDER1.00")) << device_.DeviceList[0];
    EXPECT_TRUE(device_.DeviceList[1].starts_with("0:1:0,")) << device_.DeviceList[1];
    EXPECT_TRUE(device_.DeviceList[1].ends_with(" TESTVENDCD-RW  CRX800E  1.00")) << device_.DeviceList[1];
    EXPECT_FALSE(device_.HasDevice());  // the scan leaves the selection as it was

    int changes = 0;
    device_.OnDeviceChange = [&changes](TSCSIDevice&) { ++changes; };
    drive::SelectDevice(device_, device_.DeviceList[1]);
    ASSERT_TRUE(device_.HasDevice());
    EXPECT_EQ(device_.Selected.target, 1);
    EXPECT_EQ(device_.DeviceName, device_.DeviceList[1]);
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(device_.QuirkLinkSize);

    const uint32_t cd = drive::WriteCDR | drive::WriteCDRW | drive::ReadCDR | drive::ReadCDRW;
    EXPECT_EQ(device_.CapabilityFlags & cd, cd);
    EXPECT_GT(device_.DeviceMaxWriteSpeed, 0);
    EXPECT_GT(device_.DeviceMaxReadSpeed, 0);
    EXPECT_EQ(drive::MediaTypeCode(device_), drive::media::kDVDPlusR);

    drive::SelectDevice(device_, "0:9");  // too short: back to no device
    EXPECT_FALSE(device_.HasDevice());
    EXPECT_TRUE(device_.DeviceName.empty());
}

struct DiscCase {
    const char* name;
    DiscPlan plan;
    uint8_t code;
    const char* mediaName;  // GetDiscInfo's profile name
    uint8_t discStatus;
    uint8_t lastSessionState;
    uint8_t lastSession;
    bool erasable;
    // Blocks is the next writable address: the summary asks track 255 on CD and
    // track 1 on DVD, which is the writable one only on a blank DVD.
    bool blocksAtNextWritable;
};

std::ostream& operator<<(std::ostream& os, const DiscCase& c) { return os << c.name; }

class DiscKinds : public VirtualDrive, public ::testing::WithParamInterface<DiscCase> {};

TEST_P(DiscKinds, CodeNamesAndSummary) {
    const DiscCase& c = GetParam();
    selectOne(c.plan);
    if (HasFatalFailure()) return;

    EXPECT_EQ(drive::MediaTypeCode(device_), c.code);
    RecordedSleeps sleeps;
    const drive::TDisc disc = drive::GetDiscInfo(device_, sleeps.fn());
    EXPECT_EQ(disc.DiscPresent, 1);
    EXPECT_EQ(disc.MediaName, c.mediaName);
    EXPECT_EQ(disc.DiscStatus, c.discStatus);
    EXPECT_EQ(disc.LastSessionState, c.lastSessionState);
    EXPECT_EQ(disc.LastSession, c.lastSession);
    EXPECT_EQ(disc.Erasable != 0, c.erasable);
    EXPECT_EQ(disc.BlockLength, 2048u);
    EXPECT_GE(disc.Capacity, disc.Blocks);
    EXPECT_EQ(drive::LastSessionNumber(device_), c.lastSession);

    if (!c.blocksAtNextWritable) return;
    auto store = vrecorder::DiscStore::open(root_ / "disc-one");
    const auto nwa = store.disc().nextWritable();
    ASSERT_TRUE(nwa.has_value());
    EXPECT_EQ(disc.Blocks, *nwa);
    EXPECT_EQ(drive::UsedBlocks(device_), *nwa);
}

// clang-format off
const DiscCase kDiscCases[] = {
    {"BlankCDR", {MediaKind::CdR, {}, false, 0}, drive::media::kCDR, "CD-R", 0, 0, 0, false, true},
    {"AppendableCDRTwoSessions", {MediaKind::CdR, {300, 200}, false, 0}, drive::media::kCDR, "CD-R", 1, 0, 2, false, true},
    {"ClosedCDRW", {MediaKind::CdRw, {300}, true, 0}, drive::media::kCDRW, "CD-RW", 2, 3, 1, true, false},
    {"PressedCDROM", {MediaKind::CdRom, {}, false, 1000}, drive::media::kCDROM, "CD-ROM", 2, 3, 1, false, false},
    {"PressedDVDROM", {MediaKind::DvdRom, {}, false, 1000}, drive::media::kDVDROM, "DVD-ROM", 2, 3, 1, false, false},
    {"BlankDVDPlusR", {MediaKind::DvdPlusR, {}, false, 0}, drive::media::kDVDPlusR, "DVD+R", 0, 0, 0, false, true},
    {"AppendableDVDRW", {MediaKind::DvdRwSequential, {400}, false, 0}, drive::media::kDVDRW,
     "DVD-RW Sequential Recording", 1, 0, 1, true, false},
    {"DVDRAM", {MediaKind::DvdRam, {}, false, 0}, drive::media::kDVDRAM, "DVD-RAM", 3, 3, 1, true, false},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Drive, DiscKinds, ::testing::ValuesIn(kDiscCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(VirtualDrive, WaitUntilReadyOutlastsABecomingReadyDrive) {
    selectOne(Blank(MediaKind::CdR), {}, "not_ready_commands = 5\n");
    if (HasFatalFailure()) return;
    RecordedSleeps sleeps;
    EXPECT_TRUE(drive::WaitUntilReady(device_, 10000, 100, sleeps.fn()));
    EXPECT_FALSE(sleeps.sleeps.empty());
    EXPECT_TRUE(drive::TestUnitReady(device_, 5000));
}

TEST_F(VirtualDrive, WaitUntilReadyGivesUpWhenTheBudgetEnds) {
    selectOne(Blank(MediaKind::CdR), {}, "not_ready_commands = 1000000\n");
    if (HasFatalFailure()) return;
    RecordedSleeps sleeps;
    EXPECT_FALSE(drive::WaitUntilReady(device_, 2000, 100, sleeps.fn()));
    EXPECT_LE(sleeps.total(), 2000);
    EXPECT_GE(sleeps.total(), 1900);

    // The disc summary of a drive that stays not ready: nothing but "no disc".
    const drive::TDisc disc = drive::GetDiscInfo(device_, sleeps.fn());
    EXPECT_EQ(disc.DiscPresent, 0);
    EXPECT_TRUE(disc.MediaName.empty());
}

struct PageCase {
    const char* name;
    MediaKind kind;
    const char* product;  // empty: the recorder's own identity
    bool testWrite;
    bool finalize;
    uint8_t writeType;     // page byte 2, bits 3-0
    bool linkSizeValid;    // page byte 2, bit 5
    uint8_t byte3;         // multi-session and track mode
    uint8_t linkSize;      // page byte 5
};

std::ostream& operator<<(std::ostream& os, const PageCase& c) { return os << c.name; }

class WriteParametersPage : public VirtualDrive, public ::testing::WithParamInterface<PageCase> {};

// What the recorder holds after the engine sent its write parameters.
TEST_P(WriteParametersPage, RecorderReceivesThePage) {
    const PageCase& c = GetParam();
    selectOne(Blank(c.kind), c.product);
    if (HasFatalFailure()) return;
    device_.FinalizeDisc = c.finalize;
    const uint8_t code = drive::MediaTypeCode(device_);
    ASSERT_TRUE(drive::WriteParameters(device_, c.testWrite, true, code));

    std::array<uint8_t, 512> answer{};
    ASSERT_TRUE(drive::ModeSense10(device_, 0x05, answer, false, 512));
    const std::size_t at = drive::FindPageOffset(answer, 0x05, 8);
    const uint8_t* page = answer.data() + at;
    EXPECT_EQ(page[2] & 0x0F, c.writeType);
    EXPECT_EQ((page[2] & 0x20) != 0, c.linkSizeValid);
    const bool testWrite = c.testWrite && (device_.CapabilityFlags & drive::WriteTest) != 0;
    EXPECT_EQ((page[2] & 0x10) != 0, testWrite);
    // The DVR-10x models always get 41h; the DVD-R family takes the argument alone.
    const bool bufe = (device_.CapabilityFlags & drive::UnderrunProtection) != 0 || drive::IsDVDRFamily(code) ||
                      device_.QuirkDVR10x;
    EXPECT_EQ((page[2] & 0x40) != 0, bufe);
    EXPECT_EQ(page[3], c.byte3);
    EXPECT_EQ(page[4] & 0x0F, 8);
    EXPECT_EQ(page[5], c.linkSize);
}

// clang-format off
const PageCase kPageCases[] = {
    {"CDNextSessionAllowed", MediaKind::CdR, "", false, false, 1, false, 0xC4, 0},
    {"CDFinalized", MediaKind::CdR, "", false, true, 1, false, 0x04, 0},
    {"CDTestWrite", MediaKind::CdRw, "", true, false, 1, false, 0x04, 0},
    {"DVDMinusR", MediaKind::DvdR, "", false, false, 2, false, 0x05, 0},
    {"DVDMinusRW", MediaKind::DvdRwSequential, "", false, false, 2, false, 0x05, 0},
    {"DVDPlusR", MediaKind::DvdPlusR, "", false, false, 2, true, 0xC4, 0x10},
    {"LinkSizeModel", MediaKind::CdR, "CD-RW  CRX800E", false, false, 1, true, 0xC4, 0},
    {"DVR10xModelOnCDRW", MediaKind::CdRw, "DVD-RW  DVR-104 ", false, false, 1, false, 0xC4, 0},
    {"DVR10xModelFinalized", MediaKind::CdRw, "DVD-RW  DVR-104 ", false, true, 1, false, 0x04, 0},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Drive, WriteParametersPage, ::testing::ValuesIn(kPageCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(VirtualDrive, DVDRAMNeedsNoWriteParameters) {
    selectOne(Blank(MediaKind::DvdRam));
    if (HasFatalFailure()) return;
    std::array<uint8_t, 512> before{};
    ASSERT_TRUE(drive::ModeSense10(device_, 0x05, before, false, 512));
    EXPECT_TRUE(drive::WriteParameters(device_, false, true, drive::media::kDVDRAM));
    std::array<uint8_t, 512> after{};
    ASSERT_TRUE(drive::ModeSense10(device_, 0x05, after, false, 512));
    EXPECT_EQ(before, after);
}

}  // namespace
}  // namespace tavrin::test
