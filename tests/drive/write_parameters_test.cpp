#include "engine/drive/write_parameters.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "engine/drive/capabilities.h"
#include "engine/drive/media_types.h"
#include "engine/drive/mmc_commands.h"
#include "tests/drive/recording_drive.h"

namespace tavrin::drive {
namespace {

using test::DriveAnswer;
using test::ModeSensePage;
using test::RecordedRequest;
using Bytes = std::vector<uint8_t>;

constexpr uint8_t kModeSelect = 0x55;
constexpr uint8_t kModeSense = 0x5A;
constexpr std::size_t kHeader = 8;

// The page as a drive reports it: code, a length byte, then bytes a test can
// recognise (byte i holds 0x80 + i).
Bytes DrivePage(uint8_t pageLength = 0x32) {
    Bytes page(64);
    for (std::size_t i = 0; i < page.size(); ++i) page[i] = static_cast<uint8_t>(0x80 + i);
    page[0] = 0x05;
    page[1] = pageLength;
    return page;
}

// A MODE SENSE answer holding `page` at `offset`; the bytes before it are 00h.
Bytes AnswerWithPageAt(std::size_t offset, const Bytes& page = DrivePage()) {
    Bytes answer(offset, 0);
    answer.insert(answer.end(), page.begin(), page.end());
    return answer;
}

class WriteParametersTest : public test::RecordingDriveTest {
protected:
    void SetUp() override {
        RecordingDriveTest::SetUp();
        Buffers() = DriveBuffers{};
    }
    void answerPage(const Bytes& answer) { drive().on(ModeSensePage(0x05), DriveAnswer::Data(answer)); }
    static std::vector<RecordedRequest> selects() { return drive().sentWith(kModeSelect); }
    // The 52 page bytes of the one MODE SELECT sent, after checking its frame.
    static Bytes sentPage() {
        const auto sent = selects();
        EXPECT_EQ(sent.size(), 1u);
        if (sent.size() != 1) return {};
        const RecordedRequest& r = sent.front();
        EXPECT_EQ(r.cdb, (Bytes{0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0}));
        EXPECT_EQ(r.flags, 0x50);
        EXPECT_EQ(r.data.size(), 60u);
        if (r.data.size() != 60) return {};
        EXPECT_EQ(Bytes(r.data.begin(), r.data.begin() + kHeader), Bytes(kHeader, 0));
        return Bytes(r.data.begin() + kHeader, r.data.end());
    }
};

// What the drive must receive: its own page with bytes 1 to 13 set.
Bytes ExpectedPage(const Bytes& drivePage, uint8_t byte2, uint8_t byte3, uint8_t byte5) {
    Bytes page(drivePage.begin(), drivePage.begin() + 52);
    page[1] = 0x32;
    page[2] = byte2;
    page[3] = byte3;
    page[4] = 0x08;
    page[5] = byte5;
    std::fill(page.begin() + 6, page.begin() + 14, uint8_t{0});
    return page;
}

struct PageCase {
    std::string name;
    uint8_t media;
    bool testWrite;
    bool underrun;
    bool finalizeDisc;
    uint32_t capabilities;
    bool quirkLinkSize;
    bool quirkDVR10x;
    uint8_t byte2;
    uint8_t byte3;
    uint8_t byte5;
};

std::ostream& operator<<(std::ostream& os, const PageCase& c) { return os << c.name; }

class WriteParametersPage : public WriteParametersTest, public ::testing::WithParamInterface<PageCase> {};

TEST_P(WriteParametersPage, DriveReceivesItsPageWithTheChosenBytes) {
    const PageCase& c = GetParam();
    device_.FinalizeDisc = c.finalizeDisc;
    device_.CapabilityFlags = c.capabilities;
    device_.QuirkLinkSize = c.quirkLinkSize;
    device_.QuirkDVR10x = c.quirkDVR10x;
    answerPage(AnswerWithPageAt(8));

    EXPECT_TRUE(WriteParameters(device_, c.testWrite, c.underrun, c.media));

    const auto senses = drive().sentWith(kModeSense);
    ASSERT_EQ(senses.size(), 1u);
    EXPECT_EQ(senses[0].cdb, (Bytes{0x5A, 0, 0x05, 0, 0, 0, 0, 0x02, 0x00, 0}));
    const Bytes expected = ExpectedPage(DrivePage(), c.byte2, c.byte3, c.byte5);
    EXPECT_EQ(sentPage(), expected);
    EXPECT_EQ(Bytes(device_.WriteParamsPage.begin(), device_.WriteParamsPage.begin() + 52), expected);
}

constexpr uint32_t kBoth = WriteTest | UnderrunProtection;

// clang-format off
const PageCase kPageCases[] = {
    // name                          media                    test   under  final  caps                LS     DVR    b2    b3    b5
    {"CDNextSessionAllowed",         media::kCDR,             false, false, false, 0,                  false, false, 0x01, 0xC4, 0x00},
    {"CDFinalized",                  media::kCDR,             false, false, true,  0,                  false, false, 0x01, 0x04, 0x00},
    {"CDTestWrite",                  media::kCDR,             true,  false, false, WriteTest,          false, false, 0x11, 0x04, 0x00},
    {"CDTestWriteUnsupported",       media::kCDR,             true,  false, false, UnderrunProtection, false, false, 0x01, 0x04, 0x00},
    {"CDUnderrunProtected",          media::kCDRW,            false, true,  false, kBoth,              false, false, 0x41, 0xC4, 0x00},
    {"CDUnderrunUnsupported",        media::kCDR,             false, true,  false, WriteTest,          false, false, 0x01, 0xC4, 0x00},
    {"CDUnderrunNotAsked",           media::kCDR,             false, false, false, kBoth,              false, false, 0x01, 0xC4, 0x00},
    {"UnknownMediaLikeCD",           media::kUnknown,         false, false, false, 0,                  false, false, 0x01, 0xC4, 0x00},
    {"DVDPlusRWLikeCD",              media::kDVDPlusRW,       false, true,  true,  kBoth,              false, false, 0x41, 0x04, 0x00},
    {"DVDRUnderrun",                 media::kDVDR,            false, true,  false, 0,                  false, false, 0x42, 0x05, 0x00},
    {"DVDRNoUnderrunWhateverQuirks", media::kDVDR,            false, false, false, kBoth,              true,  true,  0x02, 0x05, 0x00},
    {"DVDRWTestWrite",               media::kDVDRW,           true,  true,  false, kBoth,              false, false, 0x52, 0x05, 0x00},
    {"DVDRWAlternate",               media::kDVDRWAlternate,  false, false, false, 0,                  false, false, 0x02, 0x05, 0x00},
    {"DVDPlusR",                     media::kDVDPlusR,        false, false, false, 0,                  false, false, 0x22, 0xC4, 0x10},
    {"DVDPlusRUnderrunTestWrite",    media::kDVDPlusR,        true,  true,  false, kBoth,              false, false, 0x72, 0x04, 0x10},
    {"QuirkLinkSize",                media::kCDR,             false, false, false, 0,                  true,  false, 0x21, 0xC4, 0x00},
    {"QuirkDVR10xCDRW",              media::kCDRW,            false, false, false, 0,                  false, true,  0x41, 0xC4, 0x00},
    {"QuirkDVR10xTestWrite",         media::kCDRW,            true,  false, false, WriteTest,          false, true,  0x51, 0xC4, 0x00},
    {"QuirkDVR10xFinalized",         media::kCDRW,            false, false, true,  0,                  true,  true,  0x41, 0x04, 0x00},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Cases, WriteParametersPage, ::testing::ValuesIn(kPageCases),
                         [](const auto& info) { return info.param.name; });

TEST_F(WriteParametersTest, DVDRAMSendsNothing) {
    EXPECT_TRUE(WriteParameters(device_, true, true, media::kDVDRAM));
    EXPECT_TRUE(drive().sent.empty());
}

TEST_F(WriteParametersTest, PageFoundAtSixteenEightOrSevenElseTakenAtEight) {
    struct OffsetCase {
        const char* name;
        Bytes answer;
        std::size_t pageAt;
    };
    Bytes noCode = AnswerWithPageAt(8);
    noCode[8] = 0x85;  // savable-bit page code: not found, taken at 8 all the same
    Bytes bothSixteenAndEight = AnswerWithPageAt(16);
    bothSixteenAndEight[8] = 0x05;
    const OffsetCase cases[] = {
        {"sixteen", AnswerWithPageAt(16), 16},
        {"sixteen before eight", bothSixteenAndEight, 16},
        {"eight", AnswerWithPageAt(8), 8},
        {"seven", AnswerWithPageAt(7), 7},
        {"none", noCode, 8},
    };
    for (const OffsetCase& c : cases) {
        SCOPED_TRACE(c.name);
        drive() = test::RecordingDrive{};
        Buffers() = DriveBuffers{};
        answerPage(c.answer);
        EXPECT_TRUE(WriteParameters(device_, false, false, media::kCDR));
        const Bytes drivePage(c.answer.begin() + static_cast<std::ptrdiff_t>(c.pageAt), c.answer.end());
        EXPECT_EQ(sentPage(), ExpectedPage(drivePage, 0x01, 0xC4, 0x00));
    }
}

TEST_F(WriteParametersTest, ModeSenseFailureSendsNothing) {
    drive().on(ModeSensePage(0x05), DriveAnswer::Error());
    EXPECT_FALSE(WriteParameters(device_, false, false, media::kCDR));
    EXPECT_TRUE(selects().empty());
}

TEST_F(WriteParametersTest, ResultIsThatOfModeSelect) {
    answerPage(AnswerWithPageAt(8));
    drive().on(kModeSelect, DriveAnswer::Error());
    EXPECT_FALSE(WriteParameters(device_, false, false, media::kCDR));
    EXPECT_EQ(selects().size(), 1u);
}

TEST_F(WriteParametersTest, ShortAnswerLeavesTheRestZero) {
    answerPage(Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0x05, 0x0A, 0x77});
    EXPECT_TRUE(WriteParameters(device_, false, false, media::kCDR));
    Bytes drivePage(64, 0);
    drivePage[0] = 0x05;
    EXPECT_EQ(sentPage(), ExpectedPage(drivePage, 0x01, 0xC4, 0x00));
}

TEST(WriteParametersBuilder, PageTooShortIsLeftAlone) {
    std::array<uint8_t, 13> page{};
    page.fill(0xEE);
    SetWriteParametersPage(page, WriteParametersChoice{});
    for (const uint8_t b : page) EXPECT_EQ(b, 0xEE);
}

TEST(WriteParametersBuilder, ChoiceComesFromTheDevice) {
    TSCSIDevice device;
    device.FinalizeDisc = true;
    device.CapabilityFlags = UnderrunProtection;
    device.QuirkDVR10x = true;
    const WriteParametersChoice c = MakeWriteParametersChoice(device, true, false, media::kDVDPlusR);
    EXPECT_TRUE(c.testWrite);
    EXPECT_FALSE(c.underrunProtection);
    EXPECT_EQ(c.mediaType, media::kDVDPlusR);
    EXPECT_TRUE(c.finalizeDisc);
    EXPECT_FALSE(c.canTestWrite);
    EXPECT_TRUE(c.canProtectUnderrun);
    EXPECT_FALSE(c.quirkLinkSize);
    EXPECT_TRUE(c.quirkDVR10x);
}

// The probes: the drive's page sent back with write type, block type, byte 3,
// bytes 8 and 9 and the audio pause set.
Bytes ProbedPage(const Bytes& drivePage, uint8_t writeType, std::size_t bytesKept) {
    Bytes page(drivePage.begin(), drivePage.begin() + static_cast<std::ptrdiff_t>(bytesKept));
    page[2] = writeType;
    page[3] = 0;
    page[4] = writeType == 3 ? 1 : 0;
    page[8] = 0;
    page[9] = 0;
    page[14] = 0x00;
    page[15] = 0x96;
    return page;
}

TEST_F(WriteParametersTest, ProbesRawThenSessionThenTrackAtOnce) {
    for (const std::size_t offset : {std::size_t{8}, std::size_t{16}}) {
        SCOPED_TRACE(offset);
        drive() = test::RecordingDrive{};
        answerPage(AnswerWithPageAt(offset));
        ProbeWriteTypes(device_);
        EXPECT_EQ(drive().sentWith(kModeSense).size(), 3u);
        const auto sent = selects();
        ASSERT_EQ(sent.size(), 3u);
        const uint8_t types[] = {3, 2, 1};
        for (std::size_t i = 0; i < sent.size(); ++i) {
            EXPECT_EQ(sent[i].cdb, (Bytes{0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0}));  // page length 32h + 10
            ASSERT_EQ(sent[i].data.size(), 60u);
            // 53 page bytes after a bare header (52 of them fit in the list), 45 after a long one.
            Bytes expected(kHeader, 0);
            const Bytes page = ProbedPage(DrivePage(), types[i], std::min<std::size_t>(61 - offset, 52));
            expected.insert(expected.end(), page.begin(), page.end());
            expected.resize(60, 0);
            EXPECT_EQ(sent[i].data, expected);
        }
        EXPECT_EQ(device_.WriteParamsPage[2], 1);
    }
}

TEST_F(WriteParametersTest, ProbeWhoseModeSenseFailsIsSkipped) {
    drive().on(ModeSensePage(0x05), DriveAnswer::Error(), 1);
    answerPage(AnswerWithPageAt(8));
    ProbeWriteTypes(device_);
    const auto sent = selects();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].data[kHeader + 2], 2);
    EXPECT_EQ(sent[1].data[kHeader + 2], 1);
}

TEST_F(WriteParametersTest, ProbeListLengthFollowsThePageLengthByte) {
    struct LengthCase {
        uint8_t pageLength;
        std::optional<uint8_t> listLength;  // none: not expressible, nothing sent
    };
    const LengthCase cases[] = {{0x00, 10}, {0x10, 26}, {0xF5, 255}, {0xF6, std::nullopt}, {0xFF, std::nullopt}};
    for (const LengthCase& c : cases) {
        SCOPED_TRACE(int{c.pageLength});
        drive() = test::RecordingDrive{};
        answerPage(AnswerWithPageAt(16, DrivePage(c.pageLength)));
        ProbeWriteTypes(device_);
        const auto sent = selects();
        if (!c.listLength) {
            EXPECT_TRUE(sent.empty());
            continue;
        }
        ASSERT_EQ(sent.size(), 3u);
        for (const RecordedRequest& r : sent) {
            EXPECT_EQ(r.cdb[8], *c.listLength);
            ASSERT_EQ(r.data.size(), *c.listLength);
            // Beyond the 45 page bytes taken the list stays zero.
            for (std::size_t i = kHeader + 45; i < r.data.size(); ++i) EXPECT_EQ(r.data[i], 0) << i;
        }
    }
}

TEST_F(WriteParametersTest, ProbeOfAFullGarbageAnswerStaysInBounds) {
    answerPage(Bytes(600, 0x05));  // page code everywhere, page length 05h
    ProbeWriteTypes(device_);
    const auto sent = selects();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].cdb[8], 15);
}

}  // namespace
}  // namespace tavrin::drive
