#include "tests/recorders/recorder_fixture.h"

#include <unistd.h>

#include <cctype>

namespace tavrin::vrecorder::test {
namespace {

using std::chrono::milliseconds;

// What the engine reads about a disc, taken from real answers by their own length fields.
struct Seen {
    uint16_t profile = 0;
    uint8_t status = 0;
    uint8_t lastSession = 0;
    bool erasable = false;
    bool nwaValid = false;
    uint32_t nwa = 0;
    uint32_t free = 0;
};

struct KindCase {
    MediaKind kind;
    uint16_t profile;
    bool erasable;
    bool sequential;
};

class BlankDisc : public RecorderTest, public ::testing::WithParamInterface<KindCase> {
protected:
    Seen look() {
        Seen s;
        const Reply config = profile();
        EXPECT_TRUE(config.good());
        EXPECT_GE(config.data.size(), 8u);
        EXPECT_EQ(be32At(config.data, 0) + 4, config.data.size());
        s.profile = be16At(config.data, 6);
        const Reply di = discInfo();
        EXPECT_TRUE(di.good());
        EXPECT_EQ(be16At(di.data, 0) + 2u, di.data.size());
        s.status = di.data[2] & 0x03;
        s.lastSession = (di.data[2] >> 2) & 0x03;
        s.erasable = (di.data[2] & 0x10) != 0;
        const Reply ti = trackInfo(0xFF);
        if (ti.good()) {
            EXPECT_GE(be16At(ti.data, 0) + 2u, 32u);
            s.nwaValid = ti.data[7] & 0x01;
            s.nwa = be32At(ti.data, 12);
            s.free = be32At(ti.data, 16);
        }
        return s;
    }
};

TEST_P(BlankDisc, AnswersItsProfileAndState) {
    const KindCase k = GetParam();
    start(k.kind);
    ASSERT_TRUE(testUnitReady().good());
    const Seen s = look();
    EXPECT_EQ(s.profile, k.profile);
    EXPECT_EQ(s.erasable, k.erasable);
    if (!k.sequential) return;
    EXPECT_EQ(s.status, 0);
    EXPECT_EQ(s.lastSession, 0);
    EXPECT_TRUE(s.nwaValid);
    EXPECT_EQ(s.nwa, 0u);
    EXPECT_EQ(s.free, mediaFigures(k.kind).capacity);
}

TEST_P(BlankDisc, WrittenClosedAppendedAndFinalized) {
    const KindCase k = GetParam();
    if (!k.sequential) GTEST_SKIP() << "random-access disc";
    start(k.kind);
    const uint8_t writeType = mediaFigures(k.kind).cd ? 0x01 : 0x02;
    ASSERT_TRUE(writeParameters(writeType, true).good());
    ASSERT_TRUE(write(0, 32).good());
    Seen s = look();
    EXPECT_EQ(s.status, 1);
    EXPECT_EQ(s.lastSession, 1);
    EXPECT_EQ(s.nwa, 32u);

    ASSERT_TRUE(closeTrack().good());
    ASSERT_TRUE(closeSession().good());
    s = look();
    EXPECT_EQ(s.status, 1) << "appendable";
    EXPECT_EQ(s.lastSession, 0) << "the next session is empty";
    const uint32_t end = 32 + (mediaFigures(k.kind).trackAlignment > 32 ? mediaFigures(k.kind).trackAlignment - 32 : 0);
    EXPECT_EQ(s.nwa, end + mediaFigures(k.kind).firstSessionGap);
    const Reply t = toc(0);
    ASSERT_TRUE(t.good());
    EXPECT_EQ(be16At(t.data, 0) + 2u, t.data.size());
    EXPECT_EQ(t.data.size(), 4u + 2 * 8) << "one track and the lead-out";

    ASSERT_TRUE(writeParameters(writeType, false).good());
    ASSERT_TRUE(write(s.nwa, 16).good());
    ASSERT_TRUE(closeSession().good());
    s = look();
    EXPECT_EQ(s.status, 2) << "complete";
    EXPECT_EQ(s.lastSession, 3);
    const Reply invisible = trackInfo(0xFF);
    EXPECT_EQ(invisible.result.status, kStatusCheckCondition) << "no invisible track on a complete disc";
    const Reply again = write(s.nwa + 100, 1);
    EXPECT_EQ(again.key(), kSenseIllegalRequest);
}

INSTANTIATE_TEST_SUITE_P(Kinds, BlankDisc,
    ::testing::Values(KindCase{MediaKind::CdR, 0x0009, false, true},
                      KindCase{MediaKind::CdRw, 0x000A, true, true},
                      KindCase{MediaKind::DvdR, 0x0011, false, true},
                      KindCase{MediaKind::DvdRwSequential, 0x0014, true, true},
                      KindCase{MediaKind::DvdPlusR, 0x001B, false, true},
                      KindCase{MediaKind::DvdPlusRw, 0x001A, true, false},
                      KindCase{MediaKind::DvdRam, 0x0012, true, false}),
    [](const auto& info) {
        std::string name;
        for (const char ch : mediaFigures(info.param.kind).displayName) {
            if (ch == '+') name += "Plus";
            if (std::isalnum(static_cast<unsigned char>(ch))) name += ch;
        }
        return name;
    });

TEST_F(RecorderTest, ThreeSessionCdRFollowsTheSessionGaps) {
    start(MediaKind::CdR);
    const uint32_t starts[] = {0, 1000 + 11400, 1000 + 11400 + 500 + 6900};
    const uint16_t sizes[] = {1000, 500, 200};
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(writeParameters(0x01, i < 2).good());
        const Reply ti = trackInfo(0xFF);
        ASSERT_TRUE(ti.good());
        EXPECT_EQ(be32At(ti.data, 12), starts[i]) << "session " << i + 1;
        ASSERT_TRUE(write(starts[i], sizes[i]).good());
        ASSERT_TRUE(closeTrack().good());
        ASSERT_TRUE(closeSession().good());
    }
    const auto check = [&] {
        const Reply t = toc(0);
        ASSERT_TRUE(t.good());
        ASSERT_EQ(be16At(t.data, 0) + 2u, t.data.size());
        ASSERT_EQ(t.data.size(), 4u + 4 * 8);
        EXPECT_EQ(t.data[2], 1);
        EXPECT_EQ(t.data[3], 3);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(t.data[4 + 8 * i + 2], i + 1);
            EXPECT_EQ(be32At(t.data, 4 + 8 * i + 4), starts[i]);
        }
        EXPECT_EQ(t.data[4 + 24 + 2], 0xAA);
        EXPECT_EQ(be32At(t.data, 4 + 24 + 4), starts[2] + sizes[2]);
        const Reply msf = toc(0, true);
        ASSERT_TRUE(msf.good());
        // Track 2 at LBA 12,400 + 150 = 12,550 frames = 02:47:25.
        EXPECT_EQ(msf.data[4 + 8 + 5], 2);
        EXPECT_EQ(msf.data[4 + 8 + 6], 47);
        EXPECT_EQ(msf.data[4 + 8 + 7], 25);
        const Reply s = toc(1);
        ASSERT_TRUE(s.good());
        EXPECT_EQ(s.data[3], 3) << "last complete session";
        EXPECT_EQ(s.data[6], 3) << "its first track";
        EXPECT_EQ(be32At(s.data, 8), starts[2]);
        const Reply di = discInfo();
        EXPECT_EQ(di.data[2] & 0x03, 2);
        EXPECT_EQ(di.data[4], 3) << "sessions";
    };
    check();
    reopen();
    check();
}

TEST_F(RecorderTest, AtipOfACdRw) {
    start(MediaKind::CdRw);
    const Reply a = in({0x43, 2, 4, 0, 0, 0, 0, 0, 26, 0});
    ASSERT_TRUE(a.good());
    ASSERT_EQ(a.data.size(), 26u) << "cut to the allocation length";
    EXPECT_EQ(be16At(a.data, 0), 26);
    EXPECT_EQ(a.data[6] & 0xC0, 0xC0) << "disc type bit of a rewritable disc";
    EXPECT_EQ(a.data[12], 79) << "last possible lead-out start, minutes";
    EXPECT_EQ(a.data[13], 59);
    EXPECT_EQ(a.data[14], 74);
    EXPECT_EQ(a.data[15], 0) << "reserved";
}

TEST_F(RecorderTest, BlankingRunsWithProgressThenLeavesABlankDisc) {
    start(MediaKind::CdRw, {}, 0.001);
    advance(milliseconds(100));
    ASSERT_TRUE(write(0, 10).good());
    ASSERT_TRUE(closeSession().good());
    advance(milliseconds(1000));
    ASSERT_TRUE(none({0xA1, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}).good()) << "minimal, immediate";
    advance(milliseconds(30));  // half of 60 s scaled by 1/1000
    const Reply busy = testUnitReady();
    EXPECT_EQ(busy.key(), kSenseNotReady);
    EXPECT_EQ(busy.asc(), 0x04);
    EXPECT_EQ(busy.ascq(), 0x07);
    EXPECT_EQ(busy.result.sense[15], 0x80) << "SKSV";
    const uint16_t progress = static_cast<uint16_t>(busy.result.sense[16] << 8 | busy.result.sense[17]);
    EXPECT_NEAR(progress, 0x8000, 0x400);
    EXPECT_EQ(discInfo().asc(), 0x04) << "the engine polls disc information while blanking";
    advance(milliseconds(31));
    ASSERT_TRUE(testUnitReady().good());
    EXPECT_EQ(discInfo().data[2] & 0x03, 0) << "blank";
}

TEST_F(RecorderTest, FormattedDvdPlusRwIsWritableAnywhere) {
    start(MediaKind::DvdPlusRw);
    std::vector<uint8_t> list(12, 0);
    list[3] = 8;
    list[8] = 0x26 << 2;
    ASSERT_TRUE(out({0x04, 0x11, 0, 0, 0, 0}, list).good());
    const Reply cap = readCapacity();
    ASSERT_TRUE(cap.good());
    EXPECT_EQ(be32At(cap.data, 0), mediaFigures(MediaKind::DvdPlusRw).capacity - 1);
    EXPECT_EQ(be32At(cap.data, 4), 2048u);
    ASSERT_TRUE(write(5000, 2, 0x33).good());
    const Reply r = read(5000, 2);
    ASSERT_TRUE(r.good());
    EXPECT_EQ(r.data[4095], 0x33);
}

TEST_F(RecorderTest, ImmediateFormatReportsProgress) {
    start(MediaKind::DvdRam, {}, 0.001);
    advance(std::chrono::milliseconds(10));
    std::vector<uint8_t> list(12, 0);
    list[1] = 0x02;  // immediate
    list[3] = 8;
    ASSERT_TRUE(out({0x04, 0x11, 0, 0, 0, 0}, list).good());
    const Reply busy = testUnitReady();
    EXPECT_EQ(busy.asc(), 0x04);
    EXPECT_EQ(busy.ascq(), 0x04) << "format in progress";
    const Reply sense = in({0x03, 0, 0, 0, 18, 0});
    EXPECT_EQ(sense.data[12], 0x04) << "the last sense";
    EXPECT_EQ(sense.data[15], 0x80);
    advance(std::chrono::minutes(1));
    EXPECT_TRUE(testUnitReady().good());
    EXPECT_TRUE(read(0, 1).good()) << "a formatted DVD-RAM reads everywhere";
}

TEST_F(RecorderTest, ReservedDvdRTrack) {
    start(MediaKind::DvdR);
    ASSERT_TRUE(in({0x53, 0, 0, 0, 0, 0, 0, 0x03, 0xE8, 0}, 8).good());  // 1,000 blocks
    const Reply t1 = trackInfo(1);
    ASSERT_TRUE(t1.good());
    EXPECT_EQ(t1.data[6] & 0x80, 0x80) << "reserved track";
    EXPECT_EQ(be32At(t1.data, 12), 0u);
    EXPECT_EQ(be32At(t1.data, 24), 1008u) << "rounded up to the 16-block ECC block";
    const Reply t2 = trackInfo(0xFF);
    ASSERT_TRUE(t2.good());
    EXPECT_EQ(t2.data[2], 2);
    EXPECT_EQ(be32At(t2.data, 8), 1008u);
    EXPECT_EQ(be32At(t2.data, 16), mediaFigures(MediaKind::DvdR).capacity - 1008);
    ASSERT_TRUE(write(0, 16).good());
    EXPECT_EQ(be32At(trackInfo(1).data, 12), 16u);
}

TEST_F(RecorderTest, BlankedDvdRwIsSequentialAgain) {
    start(MediaKind::DvdRwSequential);
    ASSERT_TRUE(writeParameters(0x02, false, 5).good());
    ASSERT_TRUE(write(0, 16).good());
    ASSERT_TRUE(closeSession().good());
    EXPECT_EQ(discInfo().data[2] & 0x03, 2);
    ASSERT_TRUE(none({0xA1, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}).good()) << "full, immediate, instant";
    const Reply di = discInfo();
    EXPECT_EQ(di.data[2] & 0x1F, 0x10) << "erasable, empty";
    EXPECT_EQ(be16At(profile().data, 6), 0x0014);
}

TEST_F(RecorderTest, WriteOnceDiscsCannotBeBlanked) {
    start(MediaKind::DvdPlusR);
    const Reply r = none({0xA1, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(r.key(), kSenseIllegalRequest);
    EXPECT_EQ(r.asc(), 0x30);
}

TEST_F(RecorderTest, ReadBackAndUnrecordedBlocks) {
    start(MediaKind::DvdPlusR);
    ASSERT_TRUE(write(0, 4, 0x77).good());
    const Reply r = read(1, 2);
    ASSERT_TRUE(r.good());
    EXPECT_EQ(r.data.size(), 4096u);
    EXPECT_EQ(r.data[0], 0x77);
    const Reply unrecorded = read(100, 1);
    EXPECT_EQ(unrecorded.result.status, kStatusCheckCondition);
    EXPECT_NE(unrecorded.key(), 0);
    const Reply elsewhere = write(100, 1);
    EXPECT_EQ(elsewhere.key(), kSenseIllegalRequest);
    EXPECT_EQ(elsewhere.asc(), 0x21);
    EXPECT_EQ(elsewhere.ascq(), 0x02);
}

TEST_F(RecorderTest, TestWriteRecordsNothing) {
    start(MediaKind::CdR);
    ASSERT_TRUE(writeParameters(0x11, true).good());
    ASSERT_TRUE(write(0, 16).good());
    ASSERT_TRUE(write(16, 16).good()) << "the simulated address moves on";
    ASSERT_TRUE(closeSession().good());
    EXPECT_EQ(discInfo().data[2] & 0x03, 0) << "still blank";
    EXPECT_EQ(be32At(trackInfo(0xFF).data, 12), 0u);
}

// --- tray -----------------------------------------------------------------

TEST_F(RecorderTest, EmptyTrayAndLoading) {
    start(std::nullopt);
    Reply r = testUnitReady();
    EXPECT_EQ(r.key(), kSenseNotReady);
    EXPECT_EQ(r.asc(), 0x3A);
    EXPECT_EQ(be16At(profile().data, 6), 0) << "no current profile";

    // An external load is a disc change; it spins up before it is ready.
    DiscStore::create(discFolder(), MediaKind::DvdR);
    reopen({}, 0.01);
    loadDiscIntoRecorder(recorderFolder(), discFolder());
    r = testUnitReady();
    EXPECT_EQ(r.asc(), 0x04);
    EXPECT_EQ(r.ascq(), 0x01);
    advance(milliseconds(25));
    EXPECT_TRUE(testUnitReady().good());
    EXPECT_EQ(be16At(profile().data, 6), 0x0011);
}

TEST_F(RecorderTest, PreventedEjectFailsAndEjectOpensTheTray) {
    start(MediaKind::CdR);
    ASSERT_TRUE(none({0x1E, 0, 0, 0, 1, 0}).good());
    Reply r = none({0x1B, 0, 0, 0, 2, 0});
    EXPECT_EQ(r.key(), kSenseIllegalRequest);
    EXPECT_EQ(r.asc(), 0x53);
    EXPECT_EQ(r.ascq(), 0x02);
    EXPECT_TRUE(testUnitReady().good());
    ASSERT_TRUE(none({0x1E, 0, 0, 0, 0, 0}).good());
    ASSERT_TRUE(none({0x1B, 0, 0, 0, 2, 0}).good());
    r = testUnitReady();
    EXPECT_EQ(r.asc(), 0x3A);
    EXPECT_EQ(r.ascq(), 0x02) << "tray open";
    EXPECT_TRUE(loadRecorderConfig(recorderFolder()).trayOpen);
    ASSERT_TRUE(none({0x1B, 0, 0, 0, 3, 0}).good());
    EXPECT_TRUE(testUnitReady().good()) << "the disc sat in the tray";
}

// --- drive answers ------------------------------------------------------------

TEST_F(RecorderTest, InquiryIdentity) {
    start(std::nullopt);
    Reply r = in({0x12, 0, 0, 0, 0x80, 0});
    ASSERT_TRUE(r.good());
    ASSERT_EQ(r.data.size(), std::size_t{r.data[4]} + 5);
    EXPECT_EQ(r.data[0], 0x05);
    EXPECT_EQ(std::string(r.data.begin() + 8, r.data.begin() + 32), "TAVRIN  VIRTUAL RECORDER");
    recorder_->setIdentity({"PLEXTOR", "DVDR   PX-716A", "1.11"});
    r = in({0x12, 0, 0, 0, 0x80, 0});
    EXPECT_EQ(std::string(r.data.begin() + 8, r.data.begin() + 36), "PLEXTOR DVDR   PX-716A  1.11");
}

TEST_F(RecorderTest, UnknownOpcodeAndRequestSense) {
    start(std::nullopt);
    const Reply bad = none({0xE7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(bad.key(), kSenseIllegalRequest);
    EXPECT_EQ(bad.asc(), 0x20);
    const Reply s = in({0x03, 0, 0, 0, 18, 0});
    ASSERT_TRUE(s.good());
    ASSERT_EQ(s.data.size(), 18u);
    EXPECT_EQ(s.data[0], 0x70);
    EXPECT_EQ(s.data[7], 10);
    EXPECT_EQ(s.data[12], 0x20);
}

// Feature descriptors of a GET CONFIGURATION answer, walked by their own lengths.
std::vector<std::pair<uint16_t, std::vector<uint8_t>>> featuresOf(const std::vector<uint8_t>& a) {
    std::vector<std::pair<uint16_t, std::vector<uint8_t>>> list;
    const std::size_t end = std::min<std::size_t>(a.size(), be32At(a, 0) + 4);
    for (std::size_t at = 8; at + 4 <= end; at += 4 + a[at + 3]) {
        const std::size_t n = std::min<std::size_t>(a[at + 3] + 4u, end - at);
        list.emplace_back(be16At(a, at), std::vector<uint8_t>(a.begin() + at, a.begin() + at + n));
    }
    return list;
}

struct FeatureCase {
    MediaKind kind;
    uint16_t feature;
    bool current;
};
class Features : public RecorderTest, public ::testing::WithParamInterface<FeatureCase> {};

TEST_P(Features, AnsweredAsTheEngineAsks) {
    start(GetParam().kind);
    const uint16_t code = GetParam().feature;
    const Reply one = in({0x46, 2, 0, static_cast<uint8_t>(code), 0, 0, 0, 0, 114, 0});
    ASSERT_TRUE(one.good());
    const auto list = featuresOf(one.data);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].first, code);
    EXPECT_EQ((list[0].second[2] & 0x01) != 0, GetParam().current);
    if (code == 0x002A) {
        EXPECT_EQ(list[0].second[4], 0x01) << "writes DVD+RW";
    }
    const Reply current = in({0x46, 1, 0, 0, 0, 0, 0, 0, 255, 0});
    bool listed = false;
    for (const auto& [c, bytes] : featuresOf(current.data)) listed = listed || c == code;
    EXPECT_EQ(listed, GetParam().current);
}

INSTANTIATE_TEST_SUITE_P(Table, Features,
    ::testing::Values(FeatureCase{MediaKind::DvdPlusRw, 0x002A, true},
                      FeatureCase{MediaKind::CdR, 0x002A, false},
                      FeatureCase{MediaKind::DvdR, 0x002F, true},
                      FeatureCase{MediaKind::DvdPlusR, 0x002F, false},
                      FeatureCase{MediaKind::CdRw, 0x002D, true}));

TEST_F(RecorderTest, FormatCapacitiesOfAnUnformattedDvdPlusRw) {
    start(MediaKind::DvdPlusRw);
    const Reply r = in({0x23, 0, 0, 0, 0, 0, 0, 0, 0xFC, 0});
    ASSERT_TRUE(r.good());
    ASSERT_EQ(r.data.size(), 4u + r.data[3]);
    EXPECT_EQ(be32At(r.data, 4), 2295104u);
    EXPECT_EQ(r.data[8] & 0x03, 1) << "unformatted";
    ASSERT_GE(r.data[3], 16);
    EXPECT_EQ(r.data[16] >> 2, 0x26);
}

struct SpeedCase {
    uint16_t requested;
    uint16_t current;
};
class CdSpeeds : public RecorderTest, public ::testing::WithParamInterface<SpeedCase> {};

TEST_P(CdSpeeds, SnapToTheNearestSupportedSpeed) {
    start(MediaKind::CdR);
    const uint16_t v = GetParam().requested;
    ASSERT_TRUE(none({0xBB, 0, 0xFF, 0xFF, static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v), 0, 0, 0, 0, 0, 0}).good());
    const Reply page = in({0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 128, 0});
    ASSERT_TRUE(page.good());
    ASSERT_EQ(page.data[8] & 0x3F, 0x2A);
    EXPECT_EQ(be16At(page.data, 8 + 20), GetParam().current);
    EXPECT_EQ(be16At(page.data, 8 + 28), GetParam().current);
    const Reply defaults = in({0x5A, 0, 0x80 | 0x2A, 0, 0, 0, 0, 0, 128, 0});
    EXPECT_EQ(be16At(defaults.data, 8 + 20), 8467) << "default values: the fastest";
}

INSTANTIATE_TEST_SUITE_P(Table, CdSpeeds,
    ::testing::Values(SpeedCase{0xFFFF, 8467}, SpeedCase{708, 706}, SpeedCase{4 * 177, 706},
                      SpeedCase{3000, 2822}, SpeedCase{1, 706}, SpeedCase{40 * 177, 7056}));

struct PageCase {
    MediaKind kind;
    uint8_t byte2;
    uint8_t trackMode;
    uint8_t asc;  // 0: accepted
};
class WriteParametersPage : public RecorderTest, public ::testing::WithParamInterface<PageCase> {};

TEST_P(WriteParametersPage, RefusesWhatTheDiscCannotTake) {
    start(GetParam().kind);
    const Reply r = writeParameters(GetParam().byte2, false, GetParam().trackMode);
    if (GetParam().asc == 0) {
        EXPECT_TRUE(r.good());
        const Reply page = in({0x5A, 0, 0x05, 0, 0, 0, 0, 0x02, 0, 0});
        EXPECT_EQ(page.data[8 + 2], GetParam().byte2);
        return;
    }
    EXPECT_EQ(r.key(), kSenseIllegalRequest);
    EXPECT_EQ(r.asc(), GetParam().asc);
}

INSTANTIATE_TEST_SUITE_P(Table, WriteParametersPage,
    ::testing::Values(PageCase{MediaKind::CdR, 0x41, 4, 0},      // TAO, BUFE
                      PageCase{MediaKind::CdRw, 0x51, 4, 0},     // test write on CD
                      PageCase{MediaKind::DvdR, 0x42, 5, 0},     // session at once
                      PageCase{MediaKind::DvdR, 0x41, 4, 0x26},  // no track at once on DVD-R
                      PageCase{MediaKind::DvdPlusR, 0x22, 4, 0},
                      PageCase{MediaKind::DvdPlusR, 0x32, 4, 0x26},  // no test write on DVD+R
                      PageCase{MediaKind::CdR, 0x09, 4, 0x26},   // write type 9
                      PageCase{MediaKind::CdR, 0x01, 1, 0x64})); // audio track mode

// Answers cut to a small allocation length: the data buffer past it stays untouched.
struct CutCase {
    std::vector<uint8_t> cdb;
    std::size_t allocation;
};
class ShortAllocation : public RecorderTest, public ::testing::WithParamInterface<CutCase> {};

TEST_P(ShortAllocation, NeverWritesPastIt) {
    start(MediaKind::CdR);
    ASSERT_TRUE(write(0, 10).good());
    ASSERT_TRUE(closeSession().good());
    const Reply full = in(GetParam().cdb, 4096);
    ASSERT_TRUE(full.good());
    ASSERT_GT(full.data.size(), GetParam().allocation);
    std::vector<uint8_t> cdb = GetParam().cdb;
    // The allocation field: byte 4 in 6-byte CDBs, bytes 7-8 in 10-byte ones.
    if (cdb.size() == 6) {
        cdb[4] = static_cast<uint8_t>(GetParam().allocation);
    } else {
        cdb[7] = 0;
        cdb[8] = static_cast<uint8_t>(GetParam().allocation);
    }
    const Reply cut = in(cdb, 64);
    ASSERT_TRUE(cut.good());
    EXPECT_EQ(cut.data.size(), GetParam().allocation);
    EXPECT_TRUE(std::equal(cut.data.begin(), cut.data.end(), full.data.begin()));
    // A data buffer smaller than the allocation length bounds the transfer.
    std::vector<uint8_t> tiny(3, 0);
    const CommandResult r = recorder_->execute(GetParam().cdb, DataDirection::In, tiny);
    EXPECT_EQ(r.transferred, 3u);
}

INSTANTIATE_TEST_SUITE_P(Table, ShortAllocation,
    ::testing::Values(CutCase{{0x12, 0, 0, 0, 0x80, 0}, 5},
                      CutCase{{0x03, 0, 0, 0, 18, 0}, 8},
                      CutCase{{0x46, 0, 0, 0, 0, 0, 0, 0, 255, 0}, 10},
                      CutCase{{0x51, 0, 0, 0, 0, 0, 0, 0, 56, 0}, 4},
                      CutCase{{0x52, 1, 0, 0, 0, 1, 0, 0, 48, 0}, 12},
                      CutCase{{0x43, 0, 0, 0, 0, 0, 0, 0, 255, 0}, 6},
                      CutCase{{0x43, 2, 4, 0, 0, 0, 0, 0, 255, 0}, 7},
                      CutCase{{0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 128, 0}, 9},
                      CutCase{{0x23, 0, 0, 0, 0, 0, 0, 0, 0xFC, 0}, 5},
                      CutCase{{0x5C, 0, 0, 0, 0, 0, 0, 0, 32, 0}, 6}));

TEST_F(RecorderTest, BufferFillsWithWritesAndDrainsAtTheWriteSpeed) {
    start(MediaKind::CdR, {}, 1.0);
    advance(milliseconds(5000));
    ASSERT_TRUE(none({0xBB, 0, 0xFF, 0xFF, 0x02, 0xC4, 0, 0, 0, 0, 0, 0}).good());  // 4x: 706 KB/s
    const auto freeBytes = [&] {
        const Reply r = in({0x5C, 0, 0, 0, 0, 0, 0, 0, 12, 0});
        EXPECT_EQ(be16At(r.data, 0), 10);
        return std::pair{be32At(r.data, 4), be32At(r.data, 8)};
    };
    const auto [size, emptyFree] = freeBytes();
    EXPECT_EQ(size, emptyFree);
    ASSERT_TRUE(write(0, 200).good());
    EXPECT_EQ(freeBytes().second, size - 200 * 2048);
    advance(milliseconds(290));  // 706,000 B/s drains 204,740 bytes: half of them
    const uint32_t half = freeBytes().second;
    EXPECT_GT(half, size - 200 * 2048);
    EXPECT_LT(half, size);
    advance(milliseconds(400));
    EXPECT_EQ(freeBytes().second, size);
}

}  // namespace
}  // namespace tavrin::vrecorder::test
