// The session information of discs in a virtual recorder behind the manager
// library: CD-Rs recorded session by session straight into the disc's folder,
// a pressed CD-ROM and an empty tray, line by line as the dialog and tavrin-cli
// show them; and the answers no virtual disc gives, from a scripted drive.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/drive/byte_order.h"
#include "engine/sessions/session_list.h"
#include "recorders/virtual/disc_store.h"
#include "recorders/virtual/recorder_store.h"
#include "tests/drive/recording_drive.h"
#include "tests/writing/image_bytes.h"
#include "tests/writing/recorders/recorded_recorder.h"

namespace tavrin::test {
namespace {

using testing::Bytes;

constexpr std::size_t kBlock = 2048;

// One recorded session: its blocks and the volume space size its descriptor
// (16 blocks in) carries; a session of 16 blocks or fewer has no descriptor.
struct SessionPlan {
    uint32_t blocks = 0;
    uint32_t volumeSpace = 0;
};

// A session's blocks: a primary volume descriptor with the volume space size in
// both byte orders, the rest a pattern.
Bytes SessionBlocks(const SessionPlan& plan) {
    Bytes data = testing::Content(plan.blocks * kBlock, 7);
    if (plan.blocks <= 16) return data;
    uint8_t* pvd = data.data() + 16 * kBlock;
    std::fill(pvd, pvd + kBlock, uint8_t{0});
    pvd[0] = 1;
    std::copy_n("CD001", 5, pvd + 1);
    pvd[6] = 1;
    for (int i = 0; i < 4; ++i) {
        pvd[80 + i] = static_cast<uint8_t>(plan.volumeSpace >> (8 * i));
        pvd[87 - i] = static_cast<uint8_t>(plan.volumeSpace >> (8 * i));
    }
    return data;
}

class SessionListTest : public RecordedRecorder {
protected:
    // The recorder's blank CD-R with `sessions` recorded one after the other, each
    // closed with the disc left appendable; selected.
    void RecordCdR(const std::vector<SessionPlan>& sessions) {
        {
            auto store = createDisc(vrecorder::MediaKind::CdR);
            for (const SessionPlan& plan : sessions) {
                const uint32_t start = store.disc().nextWritable().value_or(0);
                ASSERT_EQ(store.write(start, SessionBlocks(plan)), vrecorder::DiscResult::Ok);
                ASSERT_EQ(store.closeSession(vrecorder::SessionClose::Appendable), vrecorder::DiscResult::Ok);
            }
        }
        select();
    }

    sessions::SessionList Read() {
        return sessions::ReadSessionList(burner_, {.underrunProtection = true, .sleep = sleeps()});
    }

    // The engine's waits at the recorder's time scale, kept.
    drive::SleepFn sleeps() {
        return [this](int ms) {
            slept_.push_back(ms);
            ScaledSleep()(ms);
        };
    }

    std::vector<int> slept_;
};

struct DiscCase {
    const char* name;
    std::vector<SessionPlan> sessions;
    std::vector<std::string> lines;
    std::string used;
    std::string free;
};

std::ostream& operator<<(std::ostream& os, const DiscCase& c) { return os << c.name; }

class RecordedCdR : public SessionListTest, public ::testing::WithParamInterface<DiscCase> {};

// Session 2 starts after session 1's 1,300 blocks and the 11,400-block gap of a
// first closed session: block 12,700, MSF 002:51:25. The lead-out of the last
// closed session follows its last block (block 13,400: 003:00:50). The sizes are
// the track sizes (1,300 blocks: 3 MB; 700: 1 MB), not the volume space sizes
// (13,400 blocks would be 26 MB); the free blocks and the used blocks are the
// invisible track's, 6,900 blocks after the last session.
INSTANTIATE_TEST_SUITE_P(
    Discs, RecordedCdR,
    ::testing::Values(
        DiscCase{"Blank", {}, {" Free      00:00:00   703 MB"}, "0.00 MB", "702.83 MB"},
        DiscCase{"TwoSessions",
                 {{1300, 1300}, {700, 13400}},
                 {"  001      000:02:00     3 MB", "  002      002:51:25     1 MB", " Free      003:00:50   663 MB"},
                 "39.65 MB",
                 "663.18 MB"},
        // Session 1's descriptor gives no volume space, session 2 is too short to
        // hold a descriptor at all.
        DiscCase{"UnknownSizes",
                 {{1300, 0}, {10, 0}},
                 {"  001      000:02:00  ???? MB", "  002      002:51:25  ???? MB", " Free      002:51:35   665 MB"},
                 "38.30 MB",
                 "664.53 MB"}),
    [](const ::testing::TestParamInfo<DiscCase>& info) { return std::string(info.param.name); });

TEST_P(RecordedCdR, ListsEveryTrackAndTheFreeSpace) {
    const DiscCase& c = GetParam();
    RecordCdR(c.sessions);
    if (HasFatalFailure()) return;
    const sessions::SessionList list = Read();
    EXPECT_EQ(list.lines, c.lines);
    EXPECT_EQ(list.medium, "CD-R");
    // The ATIP's last possible lead-out, 79:59:74.
    EXPECT_EQ(list.totalSpace, "703.12 MB");
    EXPECT_EQ(list.usedSpace, c.used);
    EXPECT_EQ(list.freeSpace, c.free);
}

// One data track of 1,000 blocks from block 0: 000:02:00, 2 MB; nothing free.
TEST_F(SessionListTest, PressedCdRom) {
    const auto image = root_ / "rom.iso";
    testing::WriteAll(image.string(), SessionBlocks({1000, 1000}));
    disc_ = root_ / "disc";
    vrecorder::DiscStore::press(disc_, image, vrecorder::MediaKind::CdRom);
    select();
    if (HasFatalFailure()) return;

    const sessions::SessionList list = Read();
    EXPECT_EQ(list.lines, (std::vector<std::string>{"  001      000:02:00     2 MB", " Free      000:15:25     0 MB"}));
    EXPECT_EQ(list.medium, "CD-ROM");
    EXPECT_EQ(list.freeSpace, "0.00 MB");
}

TEST_F(SessionListTest, AnEmptyTrayGivesTheSingleDashLine) {
    RecordCdR({{1300, 1300}});
    if (HasFatalFailure()) return;
    vrecorder::ejectRecorder(root_ / "tray");

    const sessions::SessionList list = Read();
    EXPECT_EQ(list.lines, std::vector<std::string>{"     -------"});
    EXPECT_EQ(list.medium, "");
    EXPECT_EQ(list.totalSpace, "");
    EXPECT_EQ(list.usedSpace, "");
    EXPECT_EQ(list.freeSpace, "");
    EXPECT_FALSE(slept_.empty());  // the not-ready wait, scaled down
}

// A scripted drive whose disc information names track 5 only: its table of
// contents entry, track information and volume descriptor as a case gives them;
// every other command fails.
struct TrackCase {
    const char* name;
    std::vector<uint8_t> toc;  // READ TOC format 0 in MSF from track 5
    uint32_t trackSize;        // Track Size of the track information
    std::vector<std::string> lines;
    int reads;  // READ (10) commands sent, each for block 44,866
};

std::ostream& operator<<(std::ostream& os, const TrackCase& c) { return os << c.name; }

// The first descriptor of a table of contents from track 5 at M:S:F.
std::vector<uint8_t> TocFromTrack5(uint8_t m, uint8_t s, uint8_t f) {
    return {0x00, 0x0A, 0x05, 0x05, 0x00, 0x14, 0x05, 0x00, 0x00, m, s, f};
}

class ScriptedTrack : public RecordingDriveTest, public ::testing::WithParamInterface<TrackCase> {
protected:
    static RequestMatch MsfTocFrom(uint8_t track) {
        return [track](const RecordedRequest& r) {
            return r.opcode() == 0x43 && (r.cdb[2] & 0x0F) == 0 && (r.cdb[1] & 0x02) && r.cdb[6] == track;
        };
    }

    void Script(const TrackCase& c) {
        drive().status = aspi::SS_ERR;
        drive().on(0x00, DriveAnswer::Data({}));  // TEST UNIT READY
        drive().on(MsfTocFrom(5), DriveAnswer::Data(c.toc));
        drive().on(MsfTocFrom(0xAA), DriveAnswer::Data({0x00, 0x0A, 0x05, 0x05, 0x00, 0x14, 0xAA, 0x00, 0x00, 12, 0, 0}));
        drive().on(TocFormat(0), DriveAnswer::Data(TocFromTrack5(10, 0, 0)));
        drive().on(TocFormat(1), DriveAnswer::Data({0x00, 0x0A, 0x05, 0x05}));
        std::vector<uint8_t> track(36, 0);
        track[1] = 0x22, track[2] = 5, track[3] = 5;
        drive::WriteBE32(track, 24, c.trackSize);
        drive().on(Track(5), DriveAnswer::Data(track));
        // The session's volume descriptor: 3,000 blocks of volume space (6 MB).
        std::vector<uint8_t> descriptor(2048, 0);
        descriptor[0] = 1, descriptor[80] = 0xB8, descriptor[81] = 0x0B;
        drive().on(0x28, DriveAnswer::Data(descriptor));
    }
};

// Track 5 at 010:00:00 is block 44,850; its descriptor lies at 44,866.
INSTANTIATE_TEST_SUITE_P(
    Answers, ScriptedTrack,
    ::testing::Values(
        TrackCase{"TrackSize", TocFromTrack5(10, 0, 0), 1024, {"  005      010:00:00     2 MB"}, 1},
        TrackCase{"NoTrackSizeTakesTheVolumeSpace", TocFromTrack5(10, 0, 0), 0, {"  005      010:00:00     6 MB"}, 1},
        TrackCase{"NoStartNoLine", TocFromTrack5(0, 0, 0), 1024, {}, 0},
        // The answer's length covers the header only: no address in it.
        TrackCase{"ShortAnswerNoLine", {0x00, 0x02, 0x05, 0x05, 0x00, 0x14, 0x05, 0x00, 0x00, 10, 0, 0}, 1024, {}, 0},
        // An address inside the lead-in: no volume descriptor to read.
        TrackCase{"StartInTheLeadIn", TocFromTrack5(0, 1, 0), 1024, {"  005      000:01:00  ???? MB"}, 0}),
    [](const ::testing::TestParamInfo<TrackCase>& info) { return std::string(info.param.name); });

TEST_P(ScriptedTrack, GivesItsLine) {
    const TrackCase& c = GetParam();
    Script(c);
    const sessions::SessionList list = sessions::ReadSessionList(device_, {.sleep = [](int) {}});
    std::vector<std::string> lines = c.lines;
    lines.push_back(" Free      012:00:00     0 MB");
    EXPECT_EQ(list.lines, lines);
    const auto reads = drive().sentWith(0x28);
    ASSERT_EQ(static_cast<int>(reads.size()), c.reads);
    for (const RecordedRequest& r : reads) {
        EXPECT_EQ(drive::ReadBE32(r.cdb, 2), 44866u);
        EXPECT_EQ(drive::ReadBE16(r.cdb, 7), 1u);
    }
    // The table of contents is asked for in 248 bytes.
    for (const RecordedRequest& r : drive().sentWith(0x43)) {
        if (r.cdb[1] & 0x02 && (r.cdb[6] == 5 || r.cdb[6] == 0xAA)) {
            EXPECT_EQ(r.cdb[8], 248);
        }
    }
}

struct PadCase {
    int width;
    char fill;
    int64_t number;
    const char* text;
};

class PadTable : public ::testing::TestWithParam<PadCase> {};

TEST_P(PadTable, FillsUpToTheWidth) {
    const PadCase& c = GetParam();
    EXPECT_EQ(sessions::Pad(c.width, c.fill, c.number), c.text);
}

INSTANTIATE_TEST_SUITE_P(Table, PadTable,
                         ::testing::Values(PadCase{4, ' ', 2, "   2"}, PadCase{3, '0', 1, "001"},
                                           PadCase{3, '0', 170, "170"}, PadCase{2, '0', 0, "00"},
                                           PadCase{9, ' ', 123456, "   123456"}, PadCase{4, ' ', 12345, "12345"},
                                           PadCase{0, '0', 7, "7"}, PadCase{-1, ' ', 42, "42"},
                                           PadCase{12, ' ', 8589934592, "  8589934592"}));

struct SizeCase {
    uint64_t blocks;
    int64_t megabytes;
    const char* text;
};

class Sizes : public ::testing::TestWithParam<SizeCase> {};

TEST_P(Sizes, RoundToTheNearest) {
    const SizeCase& c = GetParam();
    EXPECT_EQ(sessions::WholeMegabytes(c.blocks), c.megabytes);
    EXPECT_EQ(sessions::MegabytesText(c.blocks), c.text);
}

// 512 blocks to the megabyte; halves round up (64 blocks: 0.125 MB).
INSTANTIATE_TEST_SUITE_P(Table, Sizes,
                         ::testing::Values(SizeCase{0, 0, "0.00 MB"}, SizeCase{64, 0, "0.13 MB"},
                                           SizeCase{255, 0, "0.50 MB"}, SizeCase{256, 1, "0.50 MB"},
                                           SizeCase{767, 1, "1.50 MB"}, SizeCase{768, 2, "1.50 MB"},
                                           SizeCase{359849, 703, "702.83 MB"},
                                           SizeCase{2295104, 4483, "4482.63 MB"}));

}  // namespace
}  // namespace tavrin::test
