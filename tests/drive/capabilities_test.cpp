#include "engine/drive/capabilities.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/drive/byte_order.h"
#include "engine/drive/mmc_commands.h"
#include "tests/drive/recording_drive.h"

namespace tavrin::drive {
namespace {

using test::DriveAnswer;
using test::RecordedRequest;
using test::RequestMatch;
using Bytes = std::vector<uint8_t>;

constexpr uint8_t kGetConfiguration = 0x46;
constexpr uint8_t kModeSense = 0x5A;
constexpr uint8_t kSetCDSpeed = 0xBB;

// MODE SENSE of page 2Ah with default (first reading) or current values.
RequestMatch CapabilityPage(bool defaultValues) {
    const uint8_t byte2 = defaultValues ? 0xAA : 0x2A;
    return [byte2](const RecordedRequest& r) { return r.opcode() == kModeSense && r.cdb[2] == byte2; };
}

struct PageFields {
    uint8_t read = 0;
    uint8_t write = 0;
    uint8_t underrun = 0;
    uint16_t maxRead = 0;
    uint16_t bufferKB = 0;
    uint16_t currentRead = 0;
    uint16_t maxWrite = 0;
    uint16_t currentWrite = 0;
};

// A MODE SENSE answer with page 2Ah at `offset` (big-endian fields, as sent).
Bytes CapabilityAnswer(const PageFields& f, std::size_t offset = 8) {
    Bytes answer(offset + 32, 0);
    const std::span<uint8_t> page = std::span(answer).subspan(offset);
    page[0] = 0x2A;
    page[1] = 0x18;
    page[2] = f.read;
    page[3] = f.write;
    page[4] = f.underrun;
    WriteBE16(page, 8, f.maxRead);
    WriteBE16(page, 12, f.bufferKB);
    WriteBE16(page, 14, f.currentRead);
    WriteBE16(page, 18, f.maxWrite);
    WriteBE16(page, 20, f.currentWrite);
    return answer;
}

// GET CONFIGURATION answer with one feature descriptor.
Bytes FeatureAnswer(uint16_t feature, uint8_t featureByte) {
    Bytes answer(16, 0);
    answer[3] = 12;
    WriteBE16(answer, 8, feature);
    answer[11] = 4;
    answer[12] = featureByte;
    return answer;
}

class CapabilitiesTest : public test::RecordingDriveTest {
protected:
    void SetUp() override {
        RecordingDriveTest::SetUp();
        Buffers() = DriveBuffers{};
    }
    void answerPages(const Bytes& defaults, const Bytes& current) {
        drive().on(CapabilityPage(true), DriveAnswer::Data(defaults));
        drive().on(CapabilityPage(false), DriveAnswer::Data(current));
    }
    void answerFeature(uint16_t feature, uint8_t featureByte) {
        drive().on(test::Feature(static_cast<uint8_t>(feature)), DriveAnswer::Data(FeatureAnswer(feature, featureByte)));
    }
    uint16_t field(std::size_t at) const { return PageField16(device_, at); }
};

TEST(SpeedFactor, RoundsToNearest) {
    struct SpeedCase {
        uint32_t kbps;
        uint16_t factor;
    };
    // A rate in whole KB/s never lands exactly on a half (kbps x 100 is even,
    // 176.46 x (n + 1/2) x 100 is odd); the cases closest to one are here.
    const SpeedCase cases[] = {
        {0, 0},       {88, 0},      {89, 1},      {176, 1},     {177, 1},    {264, 1},    {265, 2},
        {5645, 32},   {7056, 40},   {7676, 43},   {9970, 57},   {16499, 93}, {18793, 107}, {65535, 371},
    };
    for (const SpeedCase& c : cases) EXPECT_EQ(SpeedFactor(c.kbps), c.factor) << c.kbps;
}

TEST(CapabilityNames, AllFlagsInBitOrderWithTheirNames) {
    const auto names = CapabilityNames();
    ASSERT_EQ(names.size(), 18u);
    EXPECT_EQ(names.front().flag, ReadCDR);
    EXPECT_STREQ(names.front().name, "ReadCDR");
    EXPECT_EQ(names[11].flag, WriteTest);
    EXPECT_STREQ(names[11].name, "WriteTest");
    EXPECT_EQ(names.back().flag, UnderrunProtection);
    EXPECT_STREQ(names.back().name, "UnderrunProtection");
    uint32_t all = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(names[i].flag & (names[i].flag - 1), 0u) << names[i].name;  // one bit each
        if (i > 0) {
            EXPECT_GT(names[i].flag, names[i - 1].flag);
        }
        all |= names[i].flag;
    }
    EXPECT_EQ(all, 0x5FFFFu);
}

TEST_F(CapabilitiesTest, SpeedsAndPageCopyInHostOrder) {
    const PageFields f{.read = 0x3F, .write = 0x07, .maxRead = 7056, .bufferKB = 2048, .currentRead = 1411,
                       .maxWrite = 7056, .currentWrite = 5645};
    answerPages(CapabilityAnswer(f), CapabilityAnswer(f));

    EXPECT_EQ(ReadMaxWriteSpeed(device_), 40);
    EXPECT_EQ(ReadCurrentWriteSpeed(device_), 32);
    EXPECT_EQ(ReadMaxReadSpeed(device_), 40);
    EXPECT_EQ(device_.DeviceMaxWriteSpeed, 40);
    EXPECT_EQ(device_.DeviceMaxReadSpeed, 40);
    EXPECT_EQ(field(capability_page::kBufferSize), 2048);
    EXPECT_EQ(field(capability_page::kCurrentReadSpeed), 1411);
    EXPECT_EQ(field(capability_page::kMaxWriteSpeed), 7056);
    uint16_t host = 0;
    std::memcpy(&host, device_.CapabilityPage.data() + 20, 2);
    EXPECT_EQ(host, 5645);
    EXPECT_EQ(device_.CapabilityPage[0], 0x2A);
    EXPECT_EQ(device_.CapabilityPage[3], 0x07);
}

TEST_F(CapabilitiesTest, RequestsSentInOrder) {
    answerPages(CapabilityAnswer({}), CapabilityAnswer({}));
    EXPECT_TRUE(ReadCapabilities(device_));
    const auto& sent = drive().sent;
    ASSERT_EQ(sent.size(), 5u);
    EXPECT_EQ(sent[0].cdb, (Bytes{0x5A, 0, 0xAA, 0, 0, 0, 0, 0, 0x80, 0}));
    EXPECT_EQ(sent[1].cdb, (Bytes{0x5A, 0, 0x30, 0, 0, 0, 0, 0, 0x80, 0}));
    EXPECT_EQ(sent[2].cdb, (Bytes{0x46, 0x02, 0, 0x2A, 0, 0, 0, 0, 114, 0}));
    EXPECT_EQ(sent[3].cdb, (Bytes{0x46, 0x02, 0, 0x2F, 0, 0, 0, 0, 114, 0}));
    EXPECT_EQ(sent[4].cdb, (Bytes{0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 0x80, 0}));
}

TEST_F(CapabilitiesTest, PageBitsGiveFlags) {
    struct BitCase {
        uint8_t read, write, underrun;
        uint32_t flags;
    };
    const BitCase cases[] = {
        {0x01, 0, 0, ReadCDR},
        {0x02, 0, 0, ReadCDRW},
        {0x04, 0, 0, ReadMethod2},
        {0x08, 0, 0, ReadDVD},
        {0x10, 0, 0, ReadDVDR | ReadDVDRW},
        {0x20, 0, 0, ReadDVDRAM},
        {0xC0, 0, 0, 0},
        {0, 0x01, 0, WriteCDR},
        {0, 0x02, 0, WriteCDRW},
        {0, 0x04, 0, WriteTest},
        {0, 0x08, 0, 0},
        {0, 0x10, 0, WriteDVDR | WriteDVDRW},
        {0, 0x20, 0, WriteDVDRAM},
        {0, 0, 0x80, UnderrunProtection},
        {0, 0, 0x7F, 0},
    };
    for (const BitCase& c : cases) {
        drive() = test::RecordingDrive{};
        // Only the default values count for the bits.
        answerPages(CapabilityAnswer({.read = c.read, .write = c.write, .underrun = c.underrun}),
                    CapabilityAnswer({.read = 0xFF, .write = 0xDF, .underrun = 0xFF}));
        EXPECT_TRUE(ReadCapabilities(device_));
        EXPECT_EQ(device_.CapabilityFlags, c.flags) << int{c.read} << " " << int{c.write} << " " << int{c.underrun};
    }
}

TEST_F(CapabilitiesTest, UnderrunProtectionFromQuirkOrVendorPage) {
    answerPages(CapabilityAnswer({}), CapabilityAnswer({}));
    device_.QuirkBufferUnderrun = true;
    EXPECT_TRUE(ReadCapabilities(device_));
    EXPECT_EQ(device_.CapabilityFlags, UnderrunProtection);

    device_.QuirkBufferUnderrun = false;
    EXPECT_TRUE(ReadCapabilities(device_));
    EXPECT_EQ(device_.CapabilityFlags, 0u);

    for (const std::size_t at : {std::size_t{16}, std::size_t{8}, std::size_t{7}}) {
        Bytes vendor(40, 0);
        vendor[at] = 0x30;
        drive().rules.insert(drive().rules.begin(), {test::ModeSensePage(0x30), DriveAnswer::Data(vendor), 1});
        EXPECT_TRUE(HasVendorPage30(device_));
        drive().rules.insert(drive().rules.begin(), {test::ModeSensePage(0x30), DriveAnswer::Data(vendor), 1});
        EXPECT_TRUE(ReadCapabilities(device_));
        EXPECT_EQ(device_.CapabilityFlags, UnderrunProtection) << at;
    }
    drive().rules.insert(drive().rules.begin(), {test::ModeSensePage(0x30), DriveAnswer::Error(), 1});
    EXPECT_FALSE(HasVendorPage30(device_));
}

TEST_F(CapabilitiesTest, FeatureFlags) {
    struct FeatureCase {
        const char* name;
        uint16_t feature;
        uint16_t answeredCode;
        uint8_t featureByte;
        uint32_t flags;
    };
    const FeatureCase cases[] = {
        {"DVD+R writer", 0x2A, 0x2A, 0x01, ReadDVDPR | ReadDVDPRW | WriteDVDPR | WriteDVDPRW},
        {"DVD+R reader", 0x2A, 0x2A, 0x00, ReadDVDPR | ReadDVDPRW},
        {"DVD-R writer", 0x2F, 0x2F, 0x01, ReadDVDR | ReadDVDRW | WriteDVDR | WriteDVDRW},
        {"DVD-R byte 03h", 0x2F, 0x2F, 0x03, ReadDVDR | ReadDVDRW},
        {"other feature answered", 0x2F, 0x1F, 0x01, 0},
    };
    for (const FeatureCase& c : cases) {
        drive() = test::RecordingDrive{};
        answerPages(CapabilityAnswer({}), CapabilityAnswer({}));
        drive().on(test::Feature(static_cast<uint8_t>(c.feature)),
                   DriveAnswer::Data(FeatureAnswer(c.answeredCode, c.featureByte)));
        EXPECT_TRUE(ReadCapabilities(device_));
        EXPECT_EQ(device_.CapabilityFlags, c.flags) << c.name;
    }
}

TEST_F(CapabilitiesTest, FailedFeatureQueryLeavesItsBitsUnset) {
    answerPages(CapabilityAnswer({.write = 0x01}), CapabilityAnswer({}));
    drive().on(kGetConfiguration, DriveAnswer::Error());
    EXPECT_TRUE(ReadCapabilities(device_));
    EXPECT_EQ(device_.CapabilityFlags, WriteCDR);
}

// A multi-format writer with the DVD-RAM bit keeps the speeds it reports; one that
// reports none is single speed.
TEST_F(CapabilitiesTest, DVDRAMWriterKeepsTheSpeedsItReports) {
    answerPages(CapabilityAnswer({.write = 0x20, .maxWrite = 2770, .currentWrite = 2770}),
                CapabilityAnswer({.write = 0x20, .maxWrite = 2770, .currentWrite = 2770}));
    EXPECT_EQ(ReadMaxWriteSpeed(device_), 16);
    EXPECT_EQ(ReadCurrentWriteSpeed(device_), 16);
    EXPECT_EQ(device_.DeviceMaxWriteSpeed, 16);
}

TEST_F(CapabilitiesTest, DVDRAMWriterReportingNoWriteSpeedIsSingleSpeed) {
    answerPages(CapabilityAnswer({.write = 0x20}), CapabilityAnswer({.write = 0x20}));
    EXPECT_EQ(ReadMaxWriteSpeed(device_), 1);
    EXPECT_EQ(ReadCurrentWriteSpeed(device_), 1);
    EXPECT_EQ(field(capability_page::kMaxWriteSpeed), 177);
    EXPECT_EQ(field(capability_page::kCurrentWriteSpeed), 177);
}

TEST_F(CapabilitiesTest, DVDRAMWriterWithoutSpeedsIsSingleSpeed) {
    answerPages(CapabilityAnswer({.write = 0x20}), CapabilityAnswer({}));
    EXPECT_TRUE(ReadCapabilities(device_));
    EXPECT_EQ(device_.DeviceMaxWriteSpeed, 1);
    EXPECT_EQ(device_.DeviceMaxReadSpeed, 1);
}

TEST_F(CapabilitiesTest, MaximumSpeedsFromTheSecondReadingWhenTheFirstHasNone) {
    answerPages(CapabilityAnswer({.maxRead = 1411}), CapabilityAnswer({.maxRead = 706, .maxWrite = 7056}));
    EXPECT_TRUE(ReadCapabilities(device_));
    EXPECT_EQ(device_.DeviceMaxWriteSpeed, 40);
    EXPECT_EQ(device_.DeviceMaxReadSpeed, 8);  // the first reading's larger value stays
}

TEST_F(CapabilitiesTest, FirstReadingFailsSecondStillTriedAtFallbackFifteen) {
    drive().on(CapabilityPage(true), DriveAnswer::Error());
    Bytes current = CapabilityAnswer({.maxWrite = 7056}, 15);
    current[15] = 0x00;  // no page code anywhere it is looked for
    drive().on(CapabilityPage(false), DriveAnswer::Data(current));
    device_.QuirkBufferUnderrun = true;
    device_.CapabilityFlags = 0xFFFFFFFFu;

    EXPECT_TRUE(ReadCapabilities(device_));
    EXPECT_EQ(device_.CapabilityFlags, 0u);
    EXPECT_EQ(drive().sent.size(), 2u);  // no vendor page, no features
    EXPECT_EQ(field(capability_page::kMaxWriteSpeed), 7056);
    EXPECT_EQ(device_.DeviceMaxWriteSpeed, 40);
}

TEST_F(CapabilitiesTest, SecondReadingFailsSpeedsAreZero) {
    drive().on(CapabilityPage(true), DriveAnswer::Data(CapabilityAnswer({.maxWrite = 7056})));
    drive().on(CapabilityPage(false), DriveAnswer::Error());
    EXPECT_FALSE(ReadCapabilities(device_));
    EXPECT_EQ(device_.DeviceMaxWriteSpeed, 40);
    EXPECT_EQ(ReadBE16(device_.CapabilityPage, capability_page::kMaxWriteSpeed), 7056);  // first reading, as sent
    EXPECT_EQ(ReadMaxWriteSpeed(device_), 0);
    EXPECT_EQ(ReadMaxReadSpeed(device_), 0);
    EXPECT_EQ(ReadCurrentWriteSpeed(device_), 0);
}

TEST_F(CapabilitiesTest, PageFoundAtSixteenEightOrSeven) {
    for (const std::size_t at : {std::size_t{16}, std::size_t{8}, std::size_t{7}}) {
        drive() = test::RecordingDrive{};
        const Bytes answer = CapabilityAnswer({.write = 0x01, .maxWrite = 7056}, at);
        answerPages(answer, answer);
        EXPECT_EQ(ReadMaxWriteSpeed(device_), 40) << at;
        EXPECT_EQ(device_.CapabilityFlags, WriteCDR) << at;
    }
}

TEST_F(CapabilitiesTest, SecondReadingWithoutPageCodeUsesTheFirstOffset) {
    Bytes current = CapabilityAnswer({.maxWrite = 7056}, 16);
    current[16] = 0x00;
    answerPages(CapabilityAnswer({}, 16), current);
    EXPECT_EQ(ReadMaxWriteSpeed(device_), 40);
}

TEST_F(CapabilitiesTest, ShortAndGarbageAnswersStayInBounds) {
    const Bytes answers[] = {Bytes{}, Bytes{0x2A}, Bytes(7, 0x2A), Bytes(600, 0x2A), Bytes(600, 0xFF)};
    for (const Bytes& answer : answers) {
        drive() = test::RecordingDrive{};
        Buffers() = DriveBuffers{};
        answerPages(answer, answer);
        drive().on(kGetConfiguration, DriveAnswer::Data(answer));
        drive().on(test::ModeSensePage(0x30), DriveAnswer::Data(answer));
        EXPECT_TRUE(ReadCapabilities(device_)) << answer.size();
    }
    EXPECT_EQ(device_.CapabilityPage[0], 0xFF);
}

TEST_F(CapabilitiesTest, SetWriteSpeed) {
    device_.ReadSpeed = 2;
    SetWriteSpeed(device_, 4);
    EXPECT_EQ(last().cdb, (Bytes{0xBB, 0, 0x01, 0x62, 0x02, 0xC4, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(device_.WriteSpeed, 4);

    device_.ReadSpeed = 0;
    drive().on(kSetCDSpeed, DriveAnswer::Error());
    SetWriteSpeed(device_, 0);
    EXPECT_EQ(last().cdb, (Bytes{0xBB, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(device_.WriteSpeed, 0);  // kept although the drive refused
}

}  // namespace
}  // namespace tavrin::drive
