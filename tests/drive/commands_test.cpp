#include "engine/drive/mmc_commands.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "engine/drive/mmc_cdb.h"
#include "tests/drive/recording_drive.h"

namespace tavrin::drive {
namespace {

using test::RecordingDriveTest;
using Bytes = std::vector<uint8_t>;

std::array<uint8_t, 4096> scratch{};
std::span<uint8_t> Scratch() { return scratch; }

struct CommandCase {
    std::string name;
    std::function<Cdb()> build;
    std::function<bool(TSCSIDevice&)> send;
    Bytes cdb;
    uint8_t flags;
    uint32_t bufferLength;
    int timeoutMs;
};

std::ostream& operator<<(std::ostream& os, const CommandCase& c) { return os << c.name; }

class CommandBytes : public RecordingDriveTest, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(CommandBytes, SendsExactRequestBlock) {
    const CommandCase& c = GetParam();
    const Cdb built = c.build();
    EXPECT_EQ(built.timeoutMs, c.timeoutMs);
    EXPECT_EQ(Bytes(built.bytes.begin(), built.bytes.begin() + built.length), c.cdb);

    EXPECT_TRUE(c.send(device_));
    ASSERT_EQ(drive().sent.size(), 1u);
    EXPECT_EQ(last().cdb, c.cdb);
    EXPECT_EQ(last().flags, c.flags);
    EXPECT_EQ(last().bufferLength, c.bufferLength);
}

TEST_P(CommandBytes, FailingStatusIsFalse) {
    drive().status = aspi::SS_ERR;
    EXPECT_FALSE(GetParam().send(device_) && GetParam().name != "RezeroUnit");
}

// clang-format off
const CommandCase kCases[] = {
    {"TestUnitReady", [] { return TestUnitReadyCdb(5000); }, [](TSCSIDevice& d) { return TestUnitReady(d, 5000); },
     {0x00, 0, 0, 0, 0, 0}, 0x40, 0, 5000},
    {"RezeroUnit", [] { return RezeroUnitCdb(); }, [](TSCSIDevice& d) { RezeroUnit(d); return true; },
     {0x01, 0, 0, 0, 0, 0}, 0x40, 0, 10000},
    {"RequestSense", [] { return RequestSenseCdb(40); }, [](TSCSIDevice& d) { return RequestSense(d, Scratch(), 40); },
     {0x03, 0, 0, 0, 40, 0}, 0x48, 40, 10000},
    {"FormatUnit", [] { return FormatUnitCdb(0x11); }, [](TSCSIDevice& d) { return FormatUnit(d, 0x11, Scratch()); },
     {0x04, 0x11, 0, 0, 0, 0}, 0x50, 16, 10000},
    {"Inquiry", [] { return InquiryCdb(); }, [](TSCSIDevice& d) { return Inquiry(d); },
     {0x12, 0, 0, 0, 0x80, 0}, 0x48, 128, 10000},
    {"Eject", [] { return StartStopUnitCdb(true); }, [](TSCSIDevice& d) { return StartStopUnit(d, true); },
     {0x1B, 0, 0, 0, 0x02, 0}, 0x40, 0, 20000},
    {"LoadAndStart", [] { return StartStopUnitCdb(false); }, [](TSCSIDevice& d) { return StartStopUnit(d, false); },
     {0x1B, 0, 0, 0, 0x03, 0}, 0x40, 0, 20000},
    {"AllowRemoval", [] { return PreventAllowRemovalCdb(true); }, [](TSCSIDevice& d) { return PreventAllowRemoval(d, true); },
     {0x1E, 0, 0, 0, 0x00, 0}, 0x40, 0, 10000},
    {"PreventRemoval", [] { return PreventAllowRemovalCdb(false); }, [](TSCSIDevice& d) { return PreventAllowRemoval(d, false); },
     {0x1E, 0, 0, 0, 0x01, 0}, 0x40, 0, 10000},
    {"ReadCapacity", [] { return ReadCapacityCdb(); },
     [](TSCSIDevice& d) { uint32_t a = 0, b = 0; return ReadCapacity(d, a, b); },
     {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0x48, 8, 10000},
    {"Read10", [] { return Read10Cdb(0x12345678, 0x0102, 4096); },
     [](TSCSIDevice& d) { return Read10(d, 0x12345678, 0x0102, 4096, Scratch()); },
     {0x28, 0, 0x12, 0x34, 0x56, 0x78, 0, 0x01, 0x02, 0}, 0x48, 4096, 10000},
    {"Write10", [] { return Write10Cdb(0x00ABCDEF, 16, 0x50, 2048); },
     [](TSCSIDevice& d) { return Write10(d, 0x00ABCDEF, 16, 0x50, 2048, Scratch()); },
     {0x2A, 0, 0x00, 0xAB, 0xCD, 0xEF, 0, 0x00, 0x10, 0}, 0x50, 2048, 120000},
    {"SynchronizeCacheImmediate", [] { return SynchronizeCacheCdb(300000, true); },
     [](TSCSIDevice& d) { return SynchronizeCache(d, 300000, true); },
     {0x35, 0x02, 0, 0, 0, 0, 0, 0, 0, 0}, 0x40, 0, 300000},
    {"SynchronizeCache", [] { return SynchronizeCacheCdb(60000, false); },
     [](TSCSIDevice& d) { return SynchronizeCache(d, 60000, false); },
     {0x35, 0x00, 0, 0, 0, 0, 0, 0, 0, 0}, 0x40, 0, 60000},
    {"ReadTOCMsf", [] { return ReadTOCCdb(0x02, 0xFE, 0x01, true, 0x40); },
     [](TSCSIDevice& d) { return ReadTOC(d, 0x02, Scratch(), 0xFE, 0x01, true, 0x40); },
     {0x43, 0x02, 0x02, 0, 0, 0, 0x01, 0, 0xFE, 0x40}, 0x48, 0xFE, 10000},
    {"ReadTOCLba", [] { return ReadTOCCdb(0x00, 12, 0, false, 0); },
     [](TSCSIDevice& d) { return ReadTOC(d, 0x00, Scratch(), 12, 0, false, 0); },
     {0x43, 0x00, 0x00, 0, 0, 0, 0x00, 0, 12, 0}, 0x48, 12, 10000},
    {"GetConfigurationLowFeatureByte", [] { return GetConfigurationCdb(0x02, 0x012F, 200); },
     [](TSCSIDevice& d) { return GetConfiguration(d, 0x02, 0x012F, 200, Scratch()); },
     {0x46, 0x02, 0x00, 0x2F, 0, 0, 0, 0, 200, 0}, 0x48, 200, 30000},
    {"ReadDiscInformation", [] { return ReadDiscInformationCdb(34); },
     [](TSCSIDevice& d) { return ReadDiscInformation(d, Scratch(), 34); },
     {0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, 0x48, 34, 10000},
    {"ReadTrackInformation", [] { return ReadTrackInformationCdb(0xFF); },
     [](TSCSIDevice& d) { return ReadTrackInformation(d, 0xFF); },
     {0x52, 0x01, 0, 0, 0, 0xFF, 0, 0, 0x26, 0}, 0x48, 38, 60000},
    {"ReserveTrack", [] { return ReserveTrackCdb(0x01020304); }, [](TSCSIDevice& d) { return ReserveTrack(d, 0x01020304); },
     {0x53, 0, 0, 0, 0, 0x01, 0x02, 0x03, 0x04, 0}, 0x48, 8, 10000},
    {"SendOPCInformation", [] { return SendOPCInformationCdb(); }, [](TSCSIDevice& d) { return SendOPCInformation(d); },
     {0x54, 0x01, 0, 0, 0, 0, 0, 0, 0, 0}, 0x40, 0, 150000},
    {"ModeSelect10", [] { return ModeSelect10Cdb(60); },
     [](TSCSIDevice& d) { return ModeSelect10(d, Scratch(), 60); },
     {0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0}, 0x50, 60, 10000},
    {"ModeSenseDefaults", [] { return ModeSense10Cdb(0x2A, true, 128); },
     [](TSCSIDevice& d) { std::array<uint8_t, 256> p{}; return ModeSense10(d, 0x2A, p, true, 128); },
     {0x5A, 0, 0xAA, 0, 0, 0, 0, 0x00, 0x80, 0}, 0x48, 128, 20000},
    {"ModeSenseCurrent512", [] { return ModeSense10Cdb(0x05, false, 512); },
     [](TSCSIDevice& d) { std::array<uint8_t, 512> p{}; return ModeSense10(d, 0x05, p, false, 512); },
     {0x5A, 0, 0x05, 0, 0, 0, 0, 0x02, 0x00, 0}, 0x48, 512, 20000},
    {"CloseTrackImmediate", [] { return CloseTrackSessionCdb(true, true); },
     [](TSCSIDevice& d) { return CloseTrackSession(d, true, true); },
     {0x5B, 0x01, 0x01, 0, 0, 0, 0, 0, 0, 0}, 0x40, 0, 180000},
    {"CloseSession", [] { return CloseTrackSessionCdb(false, false); },
     [](TSCSIDevice& d) { return CloseTrackSession(d, false, false); },
     {0x5B, 0x00, 0x02, 0, 0, 0, 0, 0, 0, 0}, 0x40, 0, 180000},
    {"Blank", [] { return BlankCdb(0x01); }, [](TSCSIDevice& d) { return Blank(d, 0x01); },
     {0xA1, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0x40, 0, 4800000},
    {"SetStreaming", [] { return SetStreamingCdb(28); }, [](TSCSIDevice& d) { return SetStreaming(d, Scratch(), 28); },
     {0xB6, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 28, 0}, 0x50, 28, 10000},
    {"SetCDSpeedMaximum", [] { return SetCDSpeedCdb(0, 0); }, [](TSCSIDevice& d) { return SetCDSpeed(d, 0, 0); },
     {0xBB, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0}, 0x40, 0, 10000},
    {"SetCDSpeedFactor", [] { return SetCDSpeedCdb(0, 4); }, [](TSCSIDevice& d) { return SetCDSpeed(d, 0, 4); },
     {0xBB, 0, 0xFF, 0xFF, 0x02, 0xC4, 0, 0, 0, 0, 0, 0}, 0x40, 0, 10000},
    {"SetCDSpeedTruncates", [] { return SetCDSpeedCdb(400, 1); }, [](TSCSIDevice& d) { return SetCDSpeed(d, 400, 1); },
     {0xBB, 0, 0x14, 0x90, 0x00, 0xB1, 0, 0, 0, 0, 0, 0}, 0x40, 0, 10000},  // 70800 & FFFFh
    {"SendDVDStructure", [] { return SendDVDStructureCdb(0x0F, 0x0116); },
     [](TSCSIDevice& d) { return SendDVDStructure(d, 0x0F, Scratch(), 0x0116); },
     {0xBF, 0, 0, 0, 0, 0, 0, 0x0F, 0x01, 0x16, 0, 0}, 0x50, 0x0116, 10000},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Drive, CommandBytes, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return info.param.name; });

// Read format capacities needs a descriptor in its answer to succeed.
TEST_F(RecordingDriveTest, ReadFormatCapacitiesRequestAndBlocks) {
    drive().answer = {0, 0, 0, 8, 0x00, 0x05, 0x1F, 0x00, 0x02, 0, 0x08, 0};
    uint32_t blocks = 0;
    EXPECT_TRUE(ReadFormatCapacities(device_, blocks));
    EXPECT_EQ(blocks, 0x00051F00u);
    EXPECT_EQ(last().cdb, (Bytes{0x23, 0, 0, 0, 0, 0, 0, 0, 0xF8, 0}));
    EXPECT_EQ(last().flags, 0x48);
    EXPECT_EQ(last().bufferLength, 248u);
    EXPECT_EQ(ReadFormatCapacitiesCdb().timeoutMs, 10000);
}

TEST_F(RecordingDriveTest, ReadBufferCapacityRequestAndFields) {
    drive().answer = {0, 10, 0, 0, 0x00, 0x20, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00};
    uint32_t length = 0, free = 0;
    EXPECT_TRUE(ReadBufferCapacity(device_, length, free));
    EXPECT_EQ(last().cdb, (Bytes{0x5C, 0, 0, 0, 0, 0, 0, 0, 0x20, 0}));
    EXPECT_EQ(last().flags, 0x48);
    EXPECT_EQ(last().bufferLength, 32u);
    EXPECT_EQ(length, 0x200000u);
    EXPECT_EQ(free, 0x100000u);
    EXPECT_EQ(device_.DeviceBufferSize, 0x200000u);
    EXPECT_EQ(device_.DeviceFreeBufferSize, 0x100000u);
}

TEST_F(RecordingDriveTest, ReadBufferCapacityAllOnesFreeStoresLength) {
    drive().answer = {0, 10, 0, 0, 0x00, 0x20, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF};
    uint32_t length = 0, free = 0;
    EXPECT_TRUE(ReadBufferCapacity(device_, length, free));
    EXPECT_EQ(free, 0xFFFFFFFFu);
    EXPECT_EQ(device_.DeviceFreeBufferSize, 0x200000u);
}

TEST_F(RecordingDriveTest, ReadBufferCapacityFailureClearsFreeAndKeepsOutputs) {
    device_.DeviceFreeBufferSize = 1234;
    drive().status = aspi::SS_ERR;
    uint32_t length = 7, free = 9;
    EXPECT_FALSE(ReadBufferCapacity(device_, length, free));
    EXPECT_EQ(device_.DeviceFreeBufferSize, 0u);
    EXPECT_EQ(length, 7u);
    EXPECT_EQ(free, 9u);
}

// A request the drive never finishes is aborted when its wait ends, and fails
// even for the commands that accept a pending status.
TEST_F(RecordingDriveTest, RequestStillPendingAfterWaitIsAbortedAndFails) {
    drive().status = aspi::SS_PENDING;
    EXPECT_FALSE(Write10(device_, 0, 1, kFlagsDataOut, 2048, Scratch()));
    EXPECT_FALSE(Blank(device_, 0));
    EXPECT_FALSE(TestUnitReady(device_, 5000));
    EXPECT_EQ(drive().aborts, 3);
}

TEST_F(RecordingDriveTest, NothingSentIsNeverSuccess) {
    device_.Selected = DeviceAddress{};  // no device selected
    EXPECT_FALSE(Write10(device_, 0, 1, kFlagsDataOut, 2048, Scratch()));
    EXPECT_FALSE(Blank(device_, 0));
    EXPECT_TRUE(drive().sent.empty());
}

TEST_F(RecordingDriveTest, TransferLongerThanBufferIsRefused) {
    std::array<uint8_t, 16> small{};
    EXPECT_FALSE(Read10(device_, 0, 1, 2048, small));
    EXPECT_FALSE(ModeSelect10(device_, small, 60));
    EXPECT_FALSE(ModeSense10(device_, 0x05, small, false, 1024));  // beyond the mode-page buffer
    EXPECT_TRUE(drive().sent.empty());
}

TEST_F(RecordingDriveTest, ModeSenseCopiesLengthBytesAndClearsRest) {
    drive().answer.assign(200, 0xAB);
    std::array<uint8_t, 256> page;
    page.fill(0x55);
    ASSERT_TRUE(ModeSense10(device_, 0x2A, page, false, 128));
    EXPECT_EQ(page[127], 0xAB);
    EXPECT_EQ(page[128], 0x00);
    EXPECT_EQ(page[255], 0x00);
}

// A short answer must not be padded with the page of the command before.
TEST_F(RecordingDriveTest, ModeSenseShortAnswerLeavesNoStalePage) {
    std::array<uint8_t, 256> page{};
    drive().answer.assign(128, 0x30);
    ASSERT_TRUE(ModeSense10(device_, 0x30, page, false, 128));
    drive().answer = {0x00, 0x06};
    ASSERT_TRUE(ModeSense10(device_, 0x30, page, false, 128));
    EXPECT_EQ(page[8], 0x00);
    EXPECT_EQ(page[16], 0x00);
}

TEST_F(RecordingDriveTest, ModeSelectSendsCopyOfData) {
    const std::array<uint8_t, 4> data{0x00, 0x3A, 0x00, 0x00};
    ASSERT_TRUE(ModeSelect10(device_, data, 4));
    EXPECT_EQ(last().data, (Bytes{0x00, 0x3A, 0x00, 0x00}));
}

TEST_F(RecordingDriveTest, TrackInformationInHostOrder) {
    Bytes answer(38, 0);
    answer[1] = 0x24;                                       // data length 36
    answer[2] = 0x01;                                       // track number, left as sent
    answer[12] = 0x00, answer[13] = 0x01, answer[15] = 0x02;  // NWA 10002h
    answer[16] = 0x00, answer[17] = 0x05, answer[18] = 0x1F;  // free 51F00h
    drive().answer = answer;
    ASSERT_TRUE(ReadTrackInformation(device_, 1));
    const auto& t = device_.TrackInformation;
    uint16_t length = 0;
    uint32_t nwa = 0, free = 0;
    std::memcpy(&length, t.data(), 2);
    std::memcpy(&nwa, t.data() + 12, 4);
    std::memcpy(&free, t.data() + 16, 4);
    EXPECT_EQ(length, 36);
    EXPECT_EQ(nwa, 0x10002u);
    EXPECT_EQ(free, 0x51F00u);
    EXPECT_EQ(t[2], 0x01);
}

TEST_F(RecordingDriveTest, TimeStampList) {
    std::tm when{};
    when.tm_year = 2026 - 1900;
    when.tm_mon = 11;
    when.tm_mday = 10;
    when.tm_hour = 7;
    when.tm_min = 5;
    when.tm_sec = 9;
    ASSERT_TRUE(SendTimeStamp(device_, when));
    EXPECT_EQ(last().cdb, (Bytes{0xBF, 0, 0, 0, 0, 0, 0, 0x0F, 0x00, 22, 0, 0}));
    const std::string digits = "20261210070509";
    Bytes expected{0x00, 0x14, 0, 0, 0, 0, 0, 0};
    expected.insert(expected.end(), digits.begin(), digits.end());
    EXPECT_EQ(last().data, expected);
}

TEST_F(RecordingDriveTest, ReadDiscInfoLengthInHostOrder) {
    drive().answer = {0x00, 0x20, 0x0E, 0x01};
    ASSERT_TRUE(ReadDiscInfo(device_));
    EXPECT_EQ(last().cdb, (Bytes{0x51, 0, 0, 0, 0, 0, 0, 0, 56, 0}));
    uint16_t length = 0;
    std::memcpy(&length, Buffers().discInformation.data(), 2);
    EXPECT_EQ(length, 0x20);
    EXPECT_EQ(Buffers().discInformation[2], 0x0E);
}

}  // namespace
}  // namespace tavrin::drive
