// Laying out a session for the disc in a virtual recorder reached through the
// manager library: where the new session starts on each kind of disc, and a later
// session on a CD-R with one closed session read back as a whole disc.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "engine/compilation/burner.h"
#include "engine/compilation/date_time.h"
#include "engine/drive/device_selection.h"
#include "engine/iso/layout.h"
#include "recorders/virtual/disc_store.h"
#include "recorders/virtual/recorder_store.h"
#include "tests/iso/image_check.h"
#include "tests/platform/test_support.h"
#include "tests/recorders/aspi_fixture.h"

namespace tavrin::test {
namespace {

namespace fs = std::filesystem;
using testing::Both32;
using testing::Bytes;
using testing::Le32;
using vrecorder::MediaKind;

constexpr uint8_t kFirstSessionByte = 0xA5;

class DiscLayout : public ManagerLibrary {
protected:
    // A disc with closed, appendable sessions of the given blocks in a recorder at
    // 0:0:0, selected by the burner. The next writable address the disc model gives.
    std::optional<uint32_t> SelectDisc(MediaKind kind, const std::vector<uint32_t>& sessions, bool finalize = false) {
        const fs::path disc = root_ / "disc";
        {
            auto store = vrecorder::DiscStore::create(disc, kind);
            for (std::size_t i = 0; i < sessions.size(); ++i) {
                const Bytes data(std::size_t{sessions[i]} * kBlockBytes, kFirstSessionByte);
                const auto nwa = store.disc().nextWritable();
                EXPECT_TRUE(nwa.has_value());
                EXPECT_EQ(store.write(*nwa, data), vrecorder::DiscResult::Ok);
                EXPECT_EQ(store.closeTrack(), vrecorder::DiscResult::Ok);
                const bool last = i + 1 == sessions.size();
                EXPECT_EQ(store.closeSession(last && finalize ? vrecorder::SessionClose::Final
                                                              : vrecorder::SessionClose::Appendable),
                          vrecorder::DiscResult::Ok);
            }
        }
        const fs::path tray = root_ / "tray";
        vrecorder::RecorderConfig config;
        config.disc = disc;
        vrecorder::saveRecorderConfig(tray, config);
        load("[recorder one]\ntype = virtual\ndisc = " + disc.string() + "\nrecorder = " + tray.string() + "\n");
        drive::Create(burner_);
        EXPECT_EQ(burner_.DeviceList.size(), 1u);
        if (burner_.DeviceList.empty()) return std::nullopt;
        drive::SelectDevice(burner_, burner_.DeviceList[0]);
        EXPECT_TRUE(burner_.HasDevice());
        return vrecorder::DiscStore::open(disc).disc().nextWritable();
    }

    // Prepare for the disc with the waits for the drive only recorded.
    bool PrepareForDisc() {
        return iso::Prepare(burner_, false, compilation::DateTimeFromLocal({2026, 12, 10, 21, 0, 0, 0}),
                            [this](int ms) { sleeps_.push_back(ms); });
    }

    TvxCDBurner burner_;
    std::vector<std::string> lines_;
    std::vector<int> sleeps_;
};

struct StartCase {
    const char* name;
    MediaKind kind;
    std::vector<uint32_t> sessions;
    bool finalize;
    bool startsAtNextWritable;  // else at 0
    bool reportsNoAddress;
    bool asksTheDrive;  // for the next writable address
};

std::ostream& operator<<(std::ostream& os, const StartCase& c) { return os << c.name; }

class SessionStarts : public DiscLayout, public ::testing::WithParamInterface<StartCase> {};

TEST_P(SessionStarts, FollowTheDisc) {
    const StartCase& c = GetParam();
    const auto nwa = SelectDisc(c.kind, c.sessions, c.finalize);
    if (HasFailure()) return;
    burner_.OnDebugMessage = [this](TSCSIDevice&, const std::string& line, uint8_t type) {
        lines_.push_back(std::to_string(type) + " " + line);
    };
    burner_.FinalizeDisc = false;
    ASSERT_TRUE(PrepareForDisc());
    const uint32_t expected = c.startsAtNextWritable ? nwa.value_or(0) : 0;
    if (c.startsAtNextWritable) {
        EXPECT_GT(expected, 0u) << "the case wants a disc with earlier sessions";
    }
    EXPECT_EQ(burner_.Layout.SessionStart, expected);
    EXPECT_EQ(burner_.Layout.PrimaryDescriptorPos, (uint64_t{expected} + 16) * kBlockBytes);
    EXPECT_FALSE(burner_.FinalizeDisc);  // taken as true only while the address was asked for
    EXPECT_TRUE(burner_.DoDebug);
    const std::string noAddress = "0 >>> ERROR GETTING NEXT WRITABLE ADDRESS";
    EXPECT_EQ(std::count(lines_.begin(), lines_.end(), noAddress), c.reportsNoAddress ? 1 : 0);
    // Two waits for the drive around setting it up, polled every 500 ms; none when
    // no address is asked for.
    EXPECT_EQ(sleeps_.size() >= 2, c.asksTheDrive) << sleeps_.size();
    EXPECT_EQ(sleeps_.empty(), !c.asksTheDrive) << sleeps_.size();
    EXPECT_TRUE(std::all_of(sleeps_.begin(), sleeps_.end(), [](int ms) { return ms == 500; }));
}

// clang-format off
const StartCase kStartCases[] = {
    {"BlankCDR", MediaKind::CdR, {}, false, false, false, true},
    {"AppendableCDR", MediaKind::CdR, {300}, false, true, false, true},
    {"AppendableCDRW", MediaKind::CdRw, {300, 200}, false, true, false, true},
    {"ClosedCDR", MediaKind::CdR, {300}, true, false, true, true},
    // Sequential DVD media take their next writable address too.
    {"AppendableDVDPlusR", MediaKind::DvdPlusR, {400}, false, true, false, true},
    {"AppendableDVDR", MediaKind::DvdR, {400}, false, true, false, true},
    // Its code is that of sequential DVD-RW: the drive is asked, has no address, and
    // the volume is laid out from block 0.
    {"DVDRWRestrictedOverwrite", MediaKind::DvdRwRestricted, {}, false, false, true, true},
    // Random-access media hold one volume from block 0: no address is asked for.
    {"DVDPlusRW", MediaKind::DvdPlusRw, {}, false, false, false, false},
    {"DVDRAM", MediaKind::DvdRam, {}, false, false, false, false},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Discs, SessionStarts, ::testing::ValuesIn(kStartCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DiscLayout, LaterSessionOnACDRIsAbsoluteAndReadable) {
    const uint32_t firstSession = 300;
    const auto nwa = SelectDisc(MediaKind::CdR, {firstSession});
    ASSERT_TRUE(nwa.has_value());
    ASSERT_GT(*nwa, firstSession);

    testing::TempFolder folder;
    ASSERT_TRUE(folder.valid());
    const fs::path source = fs::path(folder.path()) / "src";
    fs::create_directories(source / "sub");
    testing::WriteBytes(source / "a.txt", Bytes(2049, 'a'));
    testing::WriteBytes(source / "sub" / "b.bin", Bytes(5000, 'b'));
    testing::WriteBytes(source / "empty.txt", {});
    ASSERT_TRUE(burner_.InsertDir(burner_.Root(), source.string() + "/", "*.*", 63, true, false, false));
    ASSERT_TRUE(PrepareForDisc());

    const TSessionLayout& l = burner_.Layout;
    const uint32_t s = *nwa;
    EXPECT_EQ(l.SessionStart, s);
    // 16 + 3 descriptors + 4 path tables + 2 directories in each tree: no raise to 150.
    EXPECT_EQ(l.FirstFileBlock, s + 27);
    EXPECT_EQ(l.FileDataBlocks, 2u + 3);
    EXPECT_EQ(l.SessionSizeBlocks, 27u + 5);
    EXPECT_EQ(l.EndBlock, s + 32u);
    EXPECT_EQ(burner_.HeaderStream.size(), 27 * kBlockBytes);
    EXPECT_EQ(iso::ImageSizeBlocks(burner_), 300u);

    const std::span<const uint8_t> header(burner_.HeaderStream);
    const auto primary = header.subspan(16 * kBlockBytes, kBlockBytes);
    const auto joliet = header.subspan(17 * kBlockBytes, kBlockBytes);
    EXPECT_EQ(primary[0], 1);
    EXPECT_EQ(joliet[0], 2);
    for (const auto& [descriptor, table, root] : {std::tuple{primary, 19u, 23u}, std::tuple{joliet, 21u, 25u}}) {
        EXPECT_EQ(Both32(descriptor, 80), 32u);  // the new session only
        EXPECT_EQ(Le32(descriptor, 140), s + table);
        EXPECT_EQ(Both32(descriptor, 156 + 2), s + root);
        // The path table's root record points to the same absolute block.
        EXPECT_EQ(Le32(header, table * kBlockBytes + 2), s + root);
    }

    // The whole disc: the first session, the gap to the next writable address, the new one.
    const Bytes disc = testing::SessionImage(burner_, Bytes(std::size_t{firstSession} * kBlockBytes, kFirstSessionByte));
    const fs::path image = fs::path(folder.path()) / "disc.iso";
    testing::WriteBytes(image, disc);
    const auto verifier = testing::Verifier();
    if (!verifier) GTEST_SKIP() << "verify-iso is not there (TAVRIN_SOURCE_DIR)";
    const testing::CommandRun verified = testing::Capture(verifier->string() + " " + image.string() + " --tree " +
                                                          source.string() + " --session-start " + std::to_string(s));
    EXPECT_EQ(verified.status, 0) << verified.output;
    EXPECT_EQ(verified.output.find("FAIL"), std::string::npos) << verified.output;
}

}  // namespace
}  // namespace tavrin::test
