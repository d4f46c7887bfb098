#include "engine/drive/media_info.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "engine/drive/byte_order.h"
#include "engine/drive/media_types.h"
#include "engine/drive/mmc_cdb.h"
#include "tests/drive/recording_drive.h"

namespace tavrin::drive {
namespace {

using test::DriveAnswer;
using test::Feature;
using test::TocFormat;
using test::Track;
using Bytes = std::vector<uint8_t>;

// GET CONFIGURATION, request type 2 from feature 0: the feature header with the
// current profile, then the profile list feature holding that one profile.
Bytes ConfigurationAnswer(uint16_t profile) {
    const auto hi = static_cast<uint8_t>(profile >> 8), lo = static_cast<uint8_t>(profile);
    return {0x00, 0x00, 0x00, 0x0C, 0x00, 0x00, hi, lo, 0x00, 0x00, 0x03, 0x04, hi, lo, 0x01, 0x00};
}

// READ TOC/PMA/ATIP format 4 (26 bytes asked): disc type byte and the last
// possible lead-out start as M:S:F; lead-in start 97:26:66.
Bytes AtipAnswer(uint8_t discType, uint8_t m, uint8_t s, uint8_t f) {
    return {0x00, 0x1A, 0x00, 0x00, 0x80, 0x00, discType, 0x00, 0x61, 0x1A, 0x42, 0x00, m, s, f, 0x00,
            0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
}

// READ TOC/PMA/ATIP format 1 (4 bytes asked): first and last complete session.
Bytes SessionsAnswer(uint8_t first, uint8_t last) { return {0x00, 0x0A, first, last}; }

// READ TOC/PMA/ATIP format 0 of a one-track data CD.
const Bytes kDataCdToc = {0x00, 0x12, 0x01, 0x01, 0x00, 0x14, 0x01, 0x00, 0x00, 0x00,
                          0x00, 0x00, 0x00, 0x14, 0xAA, 0x00, 0x00, 0x04, 0xE2, 0x00};

// READ DISC INFORMATION with this byte 2 (erasable, last session state, status).
Bytes DiscInformationAnswer(uint8_t statusByte) {
    Bytes d(34, 0);
    d[1] = 0x20, d[2] = statusByte, d[3] = 0x01, d[4] = 0x01, d[5] = 0x01, d[6] = 0x01;
    return d;
}

// READ TRACK INFORMATION, 36 bytes as an MMC-3 drive sends them.
Bytes TrackAnswer(uint8_t track, uint32_t start, uint32_t nextWritable, uint32_t free, uint32_t size) {
    Bytes t(36, 0);
    t[1] = 0x22, t[2] = track, t[3] = track, t[5] = 0x04, t[6] = 0x01, t[7] = 0x01;
    WriteBE32(t, 8, start);
    WriteBE32(t, 12, nextWritable);
    WriteBE32(t, 16, free);
    WriteBE32(t, 24, size);
    return t;
}

Bytes CapacityAnswer(uint32_t lastBlock, uint32_t blockLength) {
    Bytes c(8, 0);
    WriteBE32(c, 0, lastBlock);
    WriteBE32(c, 4, blockLength);
    return c;
}

// READ FORMAT CAPACITIES: one current/maximum descriptor.
Bytes FormatCapacityAnswer(uint32_t blocks, uint32_t blockLength) {
    Bytes c = {0x00, 0x00, 0x00, 0x08, 0, 0, 0, 0, 0x02, 0, 0, 0};
    WriteBE32(c, 4, blocks);
    c[9] = static_cast<uint8_t>(blockLength >> 16), c[10] = static_cast<uint8_t>(blockLength >> 8);
    c[11] = static_cast<uint8_t>(blockLength);
    return c;
}

DriveAnswer Data(Bytes bytes) { return DriveAnswer::Data(std::move(bytes)); }

auto Fields(const TDisc& d) {
    return std::tie(d.DiscPresent, d.Capacity, d.Blocks, d.BlockLength, d.FirstSession, d.LastSession,
                    d.LastSessionState, d.DiscStatus, d.Profile, d.MediaName, d.Erasable);
}

// Every command the test does not script fails, as on a drive without a disc
// that answers nothing.
class MediaInfoTest : public test::RecordingDriveTest {
protected:
    void SetUp() override {
        RecordingDriveTest::SetUp();
        drive().status = aspi::SS_ERR;
        SetCurrentMediaType(media::kUnknown);
    }
    void TearDown() override {
        SetCurrentMediaType(media::kUnknown);
        RecordingDriveTest::TearDown();
    }

    TDisc Summary() {
        return GetDiscInfo(device_, [this](int ms) { sleeps_.push_back(ms); });
    }
    void Ready() { drive().on(op::kTestUnitReady, Data({})); }

    std::vector<int> sleeps_;
};

// --- The media type code ---------------------------------------------------

struct ProfileCase {
    uint16_t profile;
    uint8_t code;
    const char* name;
};

class ProfileCodes : public MediaInfoTest, public ::testing::WithParamInterface<ProfileCase> {};

TEST_P(ProfileCodes, CodeAndNameFromCurrentProfile) {
    drive().on(Feature(0), Data(ConfigurationAnswer(GetParam().profile)));
    EXPECT_EQ(MediaTypeCode(device_), GetParam().code);
    EXPECT_STREQ(ProfileName(GetParam().profile), GetParam().name);
    const auto& request = drive().sent.front();
    EXPECT_EQ(request.cdb, (Bytes{0x46, 0x02, 0, 0, 0, 0, 0, 0, 114, 0}));
    // A known profile needs no further question.
    if (GetParam().code != media::kUnknown) {
        EXPECT_EQ(drive().sent.size(), 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProfileCodes,
    ::testing::Values(ProfileCase{0x0001, 0, "Non-removable disk"}, ProfileCase{0x0002, 0, "Removable disk"},
                      ProfileCase{0x0003, 0, "MO Eraseable"}, ProfileCase{0x0004, 0, "MO Write Once"},
                      ProfileCase{0x0005, 0, "AS-MO"}, ProfileCase{0x0008, 1, "CD-ROM"},
                      ProfileCase{0x0009, 2, "CD-R"}, ProfileCase{0x000A, 3, "CD-RW"},
                      ProfileCase{0x0010, 4, "DVD-ROM"}, ProfileCase{0x0011, 5, "DVD-R"},
                      ProfileCase{0x0012, 6, "DVD-RAM"}, ProfileCase{0x0013, 7, "DVD-RW Restricted Overwrite"},
                      ProfileCase{0x0014, 7, "DVD-RW Sequential Recording"}, ProfileCase{0x001A, 9, "DVD+RW"},
                      ProfileCase{0x001B, 10, "DVD+R"}, ProfileCase{0x0020, 11, "DDCD-ROM"},
                      ProfileCase{0x0021, 12, "DDCD-R"}, ProfileCase{0x0022, 13, "DDCD-RW"},
                      ProfileCase{0x0000, 0, "???????"}, ProfileCase{0x0015, 0, "???????"},
                      ProfileCase{0x002B, 0, "???????"}));

TEST(MediaTypeNamesTable, IndexedByCode) {
    const std::vector<std::string> expected = {"UNKNOWN", "CD-ROM", "CD-R",   "CD-RW", "DVD-ROM",
                                               "DVD-R",   "DVD-RAM", "DVD-RW", "DVD-RW", "DVD+RW",
                                               "DVD+R",   "DDCD-ROM", "DDCD-R", "DDCD-RW"};
    ASSERT_EQ(MediaTypeNames.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(MediaTypeNames[i], expected[i]) << i;
}

struct FallbackCase {
    std::string name;
    std::function<void(test::RecordingDrive&)> script;
    uint8_t code;
};
std::ostream& operator<<(std::ostream& os, const FallbackCase& c) { return os << c.name; }

class CodeFallbacks : public MediaInfoTest, public ::testing::WithParamInterface<FallbackCase> {};

TEST_P(CodeFallbacks, WithoutAProfile) {
    GetParam().script(drive());
    EXPECT_EQ(MediaTypeCode(device_), GetParam().code);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Chain, CodeFallbacks, ::testing::Values(
    FallbackCase{"AtipPressed", [](auto& d) { d.on(TocFormat(4), Data(AtipAnswer(0x00, 79, 59, 74))); }, 1},
    FallbackCase{"AtipBit6WithoutBit7IsPressed", [](auto& d) { d.on(TocFormat(4), Data(AtipAnswer(0x40, 79, 59, 74))); }, 1},
    FallbackCase{"AtipCDR", [](auto& d) { d.on(TocFormat(4), Data(AtipAnswer(0x80, 79, 59, 74))); }, 2},
    FallbackCase{"AtipCDRW", [](auto& d) { d.on(TocFormat(4), Data(AtipAnswer(0xC0, 79, 59, 74))); }, 3},
    FallbackCase{"UnknownProfileThenAtip", [](auto& d) {
        d.on(Feature(0), Data(ConfigurationAnswer(0x0002)));
        d.on(TocFormat(4), Data(AtipAnswer(0xC0, 74, 0, 0))); }, 3},
    FallbackCase{"DiscInformationErasable", [](auto& d) { d.on(op::kReadDiscInformation, Data(DiscInformationAnswer(0x1E))); }, 3},
    FallbackCase{"DiscInformationNotErasable", [](auto& d) { d.on(op::kReadDiscInformation, Data(DiscInformationAnswer(0x0E))); }, 2},
    FallbackCase{"OnlyReady", [](auto& d) { d.on(op::kTestUnitReady, Data({})); }, 1},
    FallbackCase{"Nothing", [](auto&) {}, 0},
    // Answers too short to hold the field are no answer, whatever the buffer holds.
    FallbackCase{"ShortAnswersAreNoAnswers", [](auto& d) {
        d.on(Feature(0), Data({0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x11}));
        d.on(TocFormat(4), Data({0x00, 0x04, 0x00, 0x00, 0x80, 0x00, 0xC0}));
        d.on(op::kReadDiscInformation, Data({0x00, 0x00, 0x10})); }, 0},
    FallbackCase{"EmptyAnswersFromAReadyDrive", [](auto& d) { d.status = aspi::SS_COMP; }, 1}));
// clang-format on

TEST_F(MediaInfoTest, AtipIsAskedInMsfForTwentySixBytes) {
    drive().on(TocFormat(4), Data(AtipAnswer(0x80, 79, 59, 74)));
    EXPECT_EQ(MediaTypeCode(device_), media::kCDR);
    EXPECT_EQ(drive().sentWith(op::kReadTOC).front().cdb, (Bytes{0x43, 0x02, 0x04, 0, 0, 0, 0, 0, 26, 0}));
    EXPECT_EQ(CurrentMediaType(), media::kUnknown);  // the code is only reported
}

// --- Erasable and sessions --------------------------------------------------

TEST_F(MediaInfoTest, ErasableFromDiscInformation) {
    drive().on(op::kReadDiscInformation, Data(DiscInformationAnswer(0x10)));
    EXPECT_TRUE(IsErasable(device_));
    drive().rules.clear();
    drive().on(op::kReadDiscInformation, Data(DiscInformationAnswer(0x0E)));
    EXPECT_FALSE(IsErasable(device_));
    EXPECT_EQ(CurrentMediaType(), media::kUnknown);
}

TEST_F(MediaInfoTest, ErasableFromMediaTypeSetsCurrentMediaType) {
    const std::pair<uint16_t, bool> cases[] = {{0x0012, true}, {0x0013, true}, {0x001A, true},
                                               {0x0011, false}, {0x001B, false}, {0x000A, false}};
    for (const auto& [profile, erasable] : cases) {
        drive().rules.clear();
        drive().on(Feature(0), Data(ConfigurationAnswer(profile)));
        EXPECT_EQ(IsErasable(device_), erasable) << profile;
        EXPECT_EQ(CurrentMediaType(), MediaTypeCode(device_)) << profile;
    }
}

TEST_F(MediaInfoTest, LastSessionNumber) {
    EXPECT_EQ(LastSessionNumber(device_), 0);
    drive().on(TocFormat(1), Data(SessionsAnswer(1, 3)));
    EXPECT_EQ(LastSessionNumber(device_), 3);
    EXPECT_EQ(drive().sent.back().cdb, (Bytes{0x43, 0x00, 0x01, 0, 0, 0, 0, 0, 4, 0}));
    drive().rules.clear();
    drive().on(TocFormat(1), Data({0x00, 0x01, 0x01, 0x05}));  // length stops before the last session
    EXPECT_EQ(LastSessionNumber(device_), 0);
}

// --- Block counts ------------------------------------------------------------

TEST(MediaInfoHelpers, MsfToFrames) {
    EXPECT_EQ(MSFToFrames(0, 79, 59, 74), 359999u);
    EXPECT_EQ(MSFToFrames(0, 0, 2, 0), 150u);
    EXPECT_EQ(MSFToFrames(1, 2, 3, 4), 270000u + 9000u + 225u + 4u);
}

struct CountCase {
    std::string name;
    std::function<void(test::RecordingDrive&)> script;
    uint32_t blocks;
};
std::ostream& operator<<(std::ostream& os, const CountCase& c) { return os << c.name; }

class UsedBlocksChain : public MediaInfoTest, public ::testing::WithParamInterface<CountCase> {};

TEST_P(UsedBlocksChain, Answer) {
    GetParam().script(drive());
    EXPECT_EQ(UsedBlocks(device_), GetParam().blocks);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Chain, UsedBlocksChain, ::testing::Values(
    CountCase{"BlankDiscTrackOne", [](auto& d) { d.on(Track(1), Data(TrackAnswer(1, 0, 0, 359849, 0))); }, 0},
    CountCase{"NextSessionTrack", [](auto& d) {
        d.on(TocFormat(1), Data(SessionsAnswer(1, 1)));
        d.on(Track(2), Data(TrackAnswer(2, 23100, 23100, 336749, 0))); }, 23100},
    CountCase{"ZeroAddressOnLaterTrackAsksCapacity", [](auto& d) {
        d.on(TocFormat(1), Data(SessionsAnswer(1, 1)));
        d.on(Track(2), Data(TrackAnswer(2, 0, 0, 0, 0)));
        d.on(op::kReadCapacity, Data(CapacityAnswer(319999, 2048))); }, 319999},
    CountCase{"PlaceholderCapacityAsksFormatCapacities", [](auto& d) {
        d.on(op::kReadCapacity, Data(CapacityAnswer(0xFFFFFFFF, 2048)));
        d.on(op::kReadFormatCapacities, Data(FormatCapacityAnswer(2295104, 2048))); }, 2295104},
    CountCase{"PlaceholderCapacityWithoutFormatCapacities", [](auto& d) {
        d.on(op::kReadCapacity, Data(CapacityAnswer(0x7F000001, 2048))); }, 0},
    CountCase{"LargestPlausibleCapacity", [](auto& d) {
        d.on(op::kReadCapacity, Data(CapacityAnswer(0x7F000000, 2048))); }, 0x7F000000},
    CountCase{"TrackAskedAgainForFreeBlocks", [](auto& d) {
        d.on(Track(1), DriveAnswer::Error(), 1);
        d.on(Track(1), Data(TrackAnswer(1, 0, 0, 777, 0))); }, 777},
    CountCase{"ShortTrackAnswerIsNoAnswer", [](auto& d) {
        Bytes t = TrackAnswer(1, 0, 1234, 0, 0);
        t[1] = 0x0E;  // ends after the next writable address
        d.on(Track(1), Data(t)); }, 0},
    CountCase{"NothingAnswers", [](auto&) {}, 0}));

class FreeBlocksChain : public MediaInfoTest, public ::testing::WithParamInterface<CountCase> {};

TEST_P(FreeBlocksChain, Answer) {
    GetParam().script(drive());
    EXPECT_EQ(FreeBlocks(device_, true), GetParam().blocks);
}

INSTANTIATE_TEST_SUITE_P(Chain, FreeBlocksChain, ::testing::Values(
    CountCase{"CDInvisibleTrackFreeBlocks", [](auto& d) {
        d.on(Feature(0), Data(ConfigurationAnswer(0x0009)));
        d.on(Track(255), Data(TrackAnswer(1, 0, 0, 359849, 0))); }, 359849},
    CountCase{"DVDTrackOneTrackSize", [](auto& d) {
        d.on(Feature(0), Data(ConfigurationAnswer(0x0011)));
        d.on(Track(1), Data(TrackAnswer(1, 0, 0, 0, 2298496))); }, 2298496},
    CountCase{"FallsBackToNextSessionTrack", [](auto& d) {
        d.on(Feature(0), Data(ConfigurationAnswer(0x0009)));
        d.on(TocFormat(1), Data(SessionsAnswer(1, 2)));
        d.on(Track(3), Data(TrackAnswer(3, 60000, 60000, 299999, 0))); }, 299999},
    CountCase{"NothingAnswers", [](auto&) {}, 0}));

class CapacityChain : public MediaInfoTest, public ::testing::WithParamInterface<CountCase> {};

TEST_P(CapacityChain, Answer) {
    GetParam().script(drive());
    EXPECT_EQ(DiscCapacityBlocks(device_), GetParam().blocks);
}

INSTANTIATE_TEST_SUITE_P(Chain, CapacityChain, ::testing::Values(
    CountCase{"AtipLeadOut", [](auto& d) { d.on(TocFormat(4), Data(AtipAnswer(0x80, 79, 59, 74))); }, 359999},
    CountCase{"SmallAtipTakesLargerCapacity", [](auto& d) {
        d.on(TocFormat(4), Data(AtipAnswer(0x80, 0, 0, 0)));
        d.on(op::kReadCapacity, Data(CapacityAnswer(2295103, 2048))); }, 2295103},
    CountCase{"SmallAtipWithoutCapacity", [](auto& d) { d.on(TocFormat(4), Data(AtipAnswer(0x80, 4, 0, 0))); }, 18000},
    CountCase{"TrackStartAndFreeBlocks", [](auto& d) {
        d.on(TocFormat(1), Data(SessionsAnswer(1, 1)));
        d.on(Track(2), Data(TrackAnswer(2, 23100, 23100, 336749, 0))); }, 359849},
    CountCase{"FormatCapacities", [](auto& d) {
        d.on(op::kReadFormatCapacities, Data(FormatCapacityAnswer(2295104, 2048))); }, 2295104},
    CountCase{"UsedBlocksLast", [](auto& d) { d.on(op::kReadCapacity, Data(CapacityAnswer(1234, 2048))); }, 1234}));
// clang-format on

// The page is sent for a disc to be finalized, and the property keeps its value.
TEST_F(MediaInfoTest, FreeBlocksSendsWriteParametersForFinalizedDisc) {
    Bytes modeAnswer(70, 0);
    modeAnswer[1] = 0x44, modeAnswer[8] = 0x05, modeAnswer[9] = 0x32, modeAnswer[11] = 0xC4;
    drive().on(op::kModeSense10, Data(modeAnswer));
    drive().on(op::kModeSelect10, Data({}));
    drive().on(Feature(0), Data(ConfigurationAnswer(0x0009)));
    drive().on(Track(255), Data(TrackAnswer(1, 0, 0, 359849, 0)));
    device_.FinalizeDisc = false;
    EXPECT_EQ(FreeBlocks(device_, true), 359849u);
    EXPECT_FALSE(device_.FinalizeDisc);
    const auto selects = drive().sentWith(op::kModeSelect10);
    ASSERT_EQ(selects.size(), 1u);
    EXPECT_EQ(selects[0].data[8 + 3] & 0xC0, 0x00);  // multi-session off
}

// --- The disc summary --------------------------------------------------------

TEST_F(MediaInfoTest, NoDiscGivesEmptySummaryAfterShortWait) {
    drive().on(op::kTestUnitReady, DriveAnswer::Sense(0x02, 0x3A, 0x00));
    drive().on(op::kReadDiscInformation, DriveAnswer::Sense(0x02, 0x3A, 0x00));
    TDisc expected;
    EXPECT_EQ(Fields(Summary()), Fields(expected));
    EXPECT_EQ(sleeps_, (std::vector<int>{3000}));  // one 5 s poll cut to the 3 s budget
    std::vector<uint8_t> opcodes;
    for (const auto& r : drive().sent) opcodes.push_back(r.opcode());
    EXPECT_EQ(opcodes, (Bytes{op::kTestUnitReady, op::kReadDiscInformation, op::kTestUnitReady}));
}

TEST_F(MediaInfoTest, DriveReadyAfterTheWaitReadsTheDisc) {
    drive().on(op::kTestUnitReady, DriveAnswer::Sense(0x02, 0x04, 0x01), 1);
    Ready();
    const TDisc disc = Summary();
    EXPECT_EQ(disc.DiscPresent, 1);
    EXPECT_EQ(sleeps_, (std::vector<int>{3000}));
}

struct SummaryProfileCase {
    uint16_t profile;
    const char* mediaName;
    uint8_t erasable;
    uint8_t code;
};

class SummaryProfiles : public MediaInfoTest, public ::testing::WithParamInterface<SummaryProfileCase> {};

// Nothing but the profile answers: name, profile and the Erasable preset.
TEST_P(SummaryProfiles, NameAndErasablePreset) {
    Ready();
    drive().on(Feature(0), Data(ConfigurationAnswer(GetParam().profile)));
    const TDisc disc = Summary();
    EXPECT_EQ(disc.MediaName, GetParam().mediaName);
    EXPECT_EQ(disc.Profile, GetParam().profile);
    EXPECT_EQ(disc.Erasable, GetParam().erasable);
    EXPECT_STREQ(MediaTypeNames[MediaTypeCode(device_)], MediaTypeNames[GetParam().code]);
}

INSTANTIATE_TEST_SUITE_P(Table, SummaryProfiles,
                         ::testing::Values(SummaryProfileCase{0x0014, "DVD-RW Sequential Recording", 1, 7},
                                           SummaryProfileCase{0x001B, "DVD+R", 0, 10},
                                           SummaryProfileCase{0x000A, "CD-RW", 1, 3},
                                           SummaryProfileCase{0x0003, "MO Eraseable", 1, 1},
                                           SummaryProfileCase{0x0015, "???????", 0, 1}));

TEST_F(MediaInfoTest, BlankDVDRWSequential) {
    Ready();
    drive().on(Feature(0), Data(ConfigurationAnswer(0x0014)));
    drive().on(Track(1), Data(TrackAnswer(1, 0, 0, 2297888, 2297888)));
    drive().on(op::kReadDiscInformation, Data(DiscInformationAnswer(0x10)));
    TDisc expected;
    expected.DiscPresent = 1;
    expected.Capacity = 2297888;
    expected.BlockLength = 2048;
    expected.Profile = 0x0014;
    expected.MediaName = "DVD-RW Sequential Recording";
    expected.Erasable = 1;
    EXPECT_EQ(Fields(Summary()), Fields(expected));
    EXPECT_EQ(MediaTypeCode(device_), media::kDVDRW);
    EXPECT_STREQ(MediaTypeNames[MediaTypeCode(device_)], "DVD-RW");
}

TEST_F(MediaInfoTest, DiscInformationOverridesErasablePreset) {
    Ready();
    drive().on(Feature(0), Data(ConfigurationAnswer(0x001A)));
    drive().on(op::kReadDiscInformation, Data(DiscInformationAnswer(0x0E)));
    const TDisc disc = Summary();
    EXPECT_EQ(disc.MediaName, "DVD+RW");
    EXPECT_EQ(disc.Erasable, 0);
    EXPECT_EQ(disc.DiscStatus, 2);
    EXPECT_EQ(disc.LastSessionState, 3);
}

TEST_F(MediaInfoTest, FormattedCapacityWhenTrackInformationFails) {
    Ready();
    drive().on(Feature(0), Data(ConfigurationAnswer(0x0012)));
    drive().on(op::kReadFormatCapacities, Data(FormatCapacityAnswer(2236704, 2048)));
    drive().on(op::kReadDiscInformation, Data(DiscInformationAnswer(0x1E)));
    const TDisc disc = Summary();
    EXPECT_EQ(disc.Blocks, 2236704u);
    EXPECT_EQ(disc.BlockLength, 2048u);
    EXPECT_EQ(disc.Capacity, 2236704u);
    EXPECT_EQ(disc.MediaName, "DVD-RAM");
}

TEST_F(MediaInfoTest, BlankCDRWithoutGetConfiguration) {
    Ready();
    drive().on(TocFormat(4), Data(AtipAnswer(0x80, 79, 59, 74)));
    drive().on(Track(1), Data(TrackAnswer(1, 0, 0, 359849, 0)));
    drive().on(Track(255), Data(TrackAnswer(1, 0, 0, 359849, 0)));
    drive().on(op::kReadDiscInformation, Data(DiscInformationAnswer(0x00)));
    EXPECT_EQ(MediaTypeCode(device_), media::kCDR);
    EXPECT_EQ(LastSessionNumber(device_), 0);
    EXPECT_EQ(UsedBlocks(device_), 0u);
    EXPECT_EQ(DiscCapacityBlocks(device_), 359999u);
    const TDisc disc = Summary();
    EXPECT_EQ(disc.DiscPresent, 1);
    EXPECT_EQ(disc.Blocks, 0u);
    EXPECT_EQ(disc.Capacity, 359849u);  // no TOC on a blank disc: the ATIP is not read
    EXPECT_EQ(disc.BlockLength, 2048u);
    EXPECT_EQ(disc.DiscStatus, 0);
    EXPECT_EQ(disc.MediaName, "");
}

TEST_F(MediaInfoTest, PressedCDROMWithoutDiscInformation) {
    Ready();
    drive().on(TocFormat(0), Data(kDataCdToc));
    drive().on(TocFormat(1), Data(SessionsAnswer(1, 1)));
    drive().on(Track(0), Data(TrackAnswer(1, 0, 0, 0, 319850)));
    drive().on(op::kReadCapacity, Data(CapacityAnswer(319849, 2048)));
    TDisc expected;
    expected.DiscPresent = 1;
    expected.Capacity = 319849;
    expected.Blocks = 319849;
    expected.BlockLength = 2048;
    expected.FirstSession = 1;
    expected.LastSession = 1;
    expected.MediaName = "CD-ROM";
    EXPECT_EQ(Fields(Summary()), Fields(expected));
    EXPECT_EQ(drive().sentWith(op::kGetConfiguration).size(), 2u);  // the profile, then the media type code
    EXPECT_EQ(drive().sentWith(op::kReadTrackInformation).back().cdb[5], 0);
}

// Without a TOC the name comes only from the track information of the lead-in.
TEST_F(MediaInfoTest, LeadInTrackNamesReadOnlyDisc) {
    Ready();
    drive().on(Track(0), Data(TrackAnswer(1, 0, 0, 0, 319850)));
    drive().on(op::kReadCapacity, Data(CapacityAnswer(319849, 2048)));
    EXPECT_EQ(Summary().MediaName, "CD-ROM");
}

TEST_F(MediaInfoTest, AppendableDiscWithTwoSessions) {
    Ready();
    drive().on(TocFormat(0), Data(kDataCdToc));
    drive().on(TocFormat(1), Data(SessionsAnswer(1, 2)));
    drive().on(TocFormat(4), Data(AtipAnswer(0x80, 79, 59, 74)));
    drive().on(Feature(0), Data(ConfigurationAnswer(0x0009)));
    drive().on(Track(255), Data(TrackAnswer(3, 60000, 60000, 299999, 0)));
    drive().on(Track(3), Data(TrackAnswer(3, 60000, 60000, 299999, 0)));
    drive().on(op::kReadDiscInformation, Data(DiscInformationAnswer(0x01)));
    TDisc expected;
    expected.DiscPresent = 1;
    expected.Capacity = 359999;
    expected.Blocks = 60000;
    expected.BlockLength = 2048;
    expected.FirstSession = 1;
    expected.LastSession = 2;
    expected.DiscStatus = 1;
    expected.Profile = 0x0009;
    expected.MediaName = "CD-R";
    EXPECT_EQ(Fields(Summary()), Fields(expected));
    EXPECT_EQ(LastSessionNumber(device_), 2);
    EXPECT_EQ(UsedBlocks(device_), 60000u);
    EXPECT_EQ(DiscCapacityBlocks(device_), 359999u);
}

// --- Text ----------------------------------------------------------------------

struct PadCase {
    int width;
    std::string fill;
    int64_t value;
    std::string text;
};

class PadTable : public ::testing::TestWithParam<PadCase> {};

TEST_P(PadTable, Text) {
    EXPECT_EQ(Pad(GetParam().width, GetParam().fill, GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Cases, PadTable,
                         ::testing::Values(PadCase{3, "0", 7, "007"}, PadCase{2, "0", 123, "123"},
                                           PadCase{3, "0", 123, "123"}, PadCase{0, "0", 5, "5"},
                                           PadCase{-4, "0", 5, "5"}, PadCase{4, " ", 12, "  12"},
                                           PadCase{4, "ab", 1, "ababab1"}, PadCase{3, "0", -5, "0-5"},
                                           PadCase{12, "0", 4294967296, "004294967296"}));

}  // namespace
}  // namespace tavrin::drive
