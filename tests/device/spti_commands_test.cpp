#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "spti_fake_drives.h"

namespace tavrin::testing {
namespace {

using platform::DataDirection;
using platform::ScsiAddress;

// One drive at adapter 1, target 2, LUN 0: two adapters.
class SPTICommands : public FakeDriveTest {
protected:
    void SetUp() override {
        FakeDriveTest::SetUp();
        addDrive(0, ScsiAddress{.host = 1, .channel = 0, .id = 2, .lun = 0});
        ASSERT_EQ(SPTIInitialize(), 1);
        drive(0).received.clear();
    }
    FakeDrive& theDrive() { return drive(0); }
};

TEST_F(SPTICommands, HostAdapterInquiryDescribesThePassThroughAdapter) {
    aspi::SRB_HAInquiry srb;
    std::memset(&srb, 0xCC, sizeof srb);
    srb.SRB_Cmd = aspi::SC_HA_INQUIRY;
    srb.SRB_HaId = 1;
    EXPECT_EQ(SPTISendCommand(&srb), aspi::SS_COMP);

    EXPECT_EQ(srb.SRB_Status, aspi::SS_COMP);
    EXPECT_EQ(srb.HA_Count, 2);
    EXPECT_EQ(srb.HA_SCSI_ID, 7);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(srb.HA_ManagerId), 16), "KTASPI32 SG_IO  ");
    const std::array<uint8_t, 16> identifier{'S', 'P', 'T', 'I', ' ', '1'};
    EXPECT_EQ(0, std::memcmp(srb.HA_Identifier, identifier.data(), 16));
    // Alignment mask 7, 8 targets, 00FF0000h bytes per transfer; bytes 13-15 untouched.
    const std::array<uint8_t, 16> unique{0x07, 0, 0, 8, 0x00, 0x00, 0xFF, 0x00, 0, 0, 0, 0, 0, 0xCC, 0xCC, 0xCC};
    EXPECT_EQ(0, std::memcmp(srb.HA_Unique, unique.data(), 16));
}

TEST_F(SPTICommands, HostAdapterInquiryBeyondTheLastAdapterIsInvalid) {
    aspi::SRB_HAInquiry srb{};
    srb.SRB_Cmd = aspi::SC_HA_INQUIRY;
    srb.SRB_HaId = 2;
    EXPECT_EQ(SPTISendCommand(&srb), aspi::SS_INVALID_HA);
    EXPECT_EQ(srb.SRB_Status, aspi::SS_INVALID_HA);
    EXPECT_EQ(srb.HA_Count, 2);
    EXPECT_EQ(srb.HA_SCSI_ID, 0);
}

struct DeviceTypeCase {
    uint8_t adapter, target, lun;
    uint8_t status, type;
};

class SPTIDeviceType : public SPTICommands, public ::testing::WithParamInterface<DeviceTypeCase> {};

TEST_P(SPTIDeviceType, OnlyTheDrivesAddressIsACdDevice) {
    const auto& c = GetParam();
    aspi::SRB_GDEVBlock srb{};
    srb.SRB_Cmd = aspi::SC_GET_DEV_TYPE;
    srb.SRB_HaId = c.adapter;
    srb.SRB_Target = c.target;
    srb.SRB_Lun = c.lun;
    EXPECT_EQ(SPTISendCommand(&srb), c.status);
    EXPECT_EQ(srb.SRB_Status, c.status);
    EXPECT_EQ(srb.SRB_DeviceType, c.type);
}

INSTANTIATE_TEST_SUITE_P(Addresses, SPTIDeviceType,
                         ::testing::Values(DeviceTypeCase{1, 2, 0, aspi::SS_COMP, 0x05},
                                           DeviceTypeCase{0, 2, 0, aspi::SS_NO_DEVICE, 0x1F},
                                           DeviceTypeCase{1, 3, 0, aspi::SS_NO_DEVICE, 0x1F},
                                           DeviceTypeCase{1, 2, 1, aspi::SS_NO_DEVICE, 0x1F}));

class SPTICachedInquiry : public SPTICommands, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(SPTICachedInquiry, AnswersFromStartUpWithoutAskingTheDrive) {
    const uint32_t length = GetParam();
    const auto atStartUp = InquiryNamed("DRIVE0");
    theDrive().inquiry = InquiryNamed("CHANGED");

    std::vector<uint8_t> buffer(128, 0xEE);
    auto srb = ExecRequest(1, 2, 0, {0x12, 0, 0, 0, 0x60, 0}, 0x48, buffer.data(), length);
    EXPECT_EQ(SPTISendCommand(&srb), aspi::SS_COMP);

    const std::size_t copied = std::min<std::size_t>(36, length);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + copied, atStartUp.begin()));
    EXPECT_TRUE(std::all_of(buffer.begin() + copied, buffer.end(), [](uint8_t b) { return b == 0xEE; }));
    EXPECT_TRUE(theDrive().received.empty());
}

INSTANTIATE_TEST_SUITE_P(BufferLengths, SPTICachedInquiry, ::testing::Values(0u, 20u, 36u, 96u));

struct AnswerCase {
    const char* name;
    platform::PassThroughResult answer;
    std::vector<uint8_t> sense;
    uint8_t status;        // SRB_Status expected
    std::size_t copied;    // sense bytes expected in the request
};

class SPTIAnswer : public SPTICommands, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(SPTIAnswer, DecodesThePassThroughAnswer) {
    const auto& c = GetParam();
    theDrive().answer = c.answer;
    theDrive().sense = c.sense;

    auto srb = ExecRequest(1, 2, 0, TEST_UNIT_READY);
    std::memset(srb.SenseArea, 0xEE, sizeof srb.SenseArea);
    srb.SRB_HaStat = 0x5A;
    srb.SRB_TargStat = 0x77;
    EXPECT_EQ(SPTISendCommand(&srb), c.status);
    EXPECT_EQ(srb.SRB_Status, c.status);
    EXPECT_EQ(srb.SRB_HaStat, 0x5A);
    EXPECT_EQ(srb.SRB_TargStat, c.status == aspi::SS_COMP ? 0x77 : c.answer.status);
    for (std::size_t i = 0; i < sizeof srb.SenseArea; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(srb.SenseArea[i], i < c.copied ? c.sense[i] : 0xEE);
    }
}

std::vector<uint8_t> senseBytes(std::size_t n) {
    std::vector<uint8_t> s(n);
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<uint8_t>(0x70 + i);
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Answers, SPTIAnswer,
    ::testing::Values(
        AnswerCase{"Good", {.ioctlOk = true}, {}, aspi::SS_COMP, 0},
        AnswerCase{"GoodWithFullSenseRoom", {.ioctlOk = true, .senseLength = 32}, senseBytes(32), aspi::SS_COMP, 0},
        AnswerCase{"CheckCondition", {.ioctlOk = true, .status = 2, .driverStatus = 0x08, .senseLength = 14},
                   senseBytes(14), aspi::SS_ERR, 14},
        AnswerCase{"SenseWithGoodStatus", {.ioctlOk = true, .senseLength = 8}, senseBytes(8), aspi::SS_ERR, 8},
        AnswerCase{"Busy", {.ioctlOk = true, .status = 8}, {}, aspi::SS_ERR, 0},
        AnswerCase{"IoctlFailed", {}, {}, aspi::SS_ERR, 0},
        AnswerCase{"AdapterTimeOutWithGoodStatus", {.ioctlOk = true, .hostStatus = 0x03}, {}, aspi::SS_ERR, 0},
        // A driver claiming more sense than it had room for: only the room is copied.
        AnswerCase{"SenseLengthBeyondTheRoom", {.ioctlOk = true, .status = 2, .senseLength = 200},
                   senseBytes(33), aspi::SS_ERR, 14}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SPTICommands, CommandReachesTheDriveAsTheRequestDescribesIt) {
    std::vector<uint8_t> data(2048, 0x11);
    auto srb = ExecRequest(1, 2, 0, {0x2A, 0, 0, 0, 0x10, 0, 0, 0, 1, 0}, 0x50, data.data(), 2048);
    srb.CDBByte[12] = 0x99;  // beyond SRB_CDBLen: not sent
    EXPECT_EQ(SPTISendCommand(&srb), aspi::SS_COMP);

    ASSERT_EQ(theDrive().received.size(), 1u);
    EXPECT_EQ(theDrive().received[0].cdb, (std::vector<uint8_t>{0x2A, 0, 0, 0, 0x10, 0, 0, 0, 1, 0}));
    EXPECT_EQ(theDrive().received[0].direction, DataDirection::Out);
    EXPECT_EQ(theDrive().received[0].length, 2048u);
    EXPECT_EQ(theDrive().received[0].timeoutMs, 120000u);
    EXPECT_EQ(theDrive().received[0].senseRoom, 14u);
}

struct DirectionCase {
    uint8_t flags;
    DataDirection direction;
};

class SPTIDirection : public SPTICommands, public ::testing::WithParamInterface<DirectionCase> {};

TEST_P(SPTIDirection, FollowsTheRequestFlags) {
    std::array<uint8_t, 8> data{};
    auto srb = ExecRequest(1, 2, 0, {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, GetParam().flags, data.data(), 8);
    SPTISendCommand(&srb);
    ASSERT_EQ(theDrive().received.size(), 1u);
    EXPECT_EQ(theDrive().received[0].direction, GetParam().direction);
}

INSTANTIATE_TEST_SUITE_P(Flags, SPTIDirection,
                         ::testing::Values(DirectionCase{0x48, DataDirection::In},
                                           DirectionCase{0x50, DataDirection::Out},
                                           DirectionCase{0x40, DataDirection::Unspecified}));

TEST_F(SPTICommands, HandleStaysOpenBetweenCommandsUntilShutdown) {
    for (int i = 0; i < 3; ++i) {
        auto srb = ExecRequest(1, 2, 0, TEST_UNIT_READY);
        EXPECT_EQ(SPTISendCommand(&srb), aspi::SS_COMP);
    }
    EXPECT_EQ(theDrive().opened, 2) << "once to probe, once for the commands";
    EXPECT_EQ(theDrive().openHandles, 1);
    SPTIShutdown();
    EXPECT_EQ(theDrive().openHandles, 0);
}

TEST_F(SPTICommands, HandleIsClosedAfterEveryCommandWhileNotKeptOpen) {
    auto first = ExecRequest(1, 2, 0, TEST_UNIT_READY);
    SPTISendCommand(&first);
    ASSERT_EQ(theDrive().openHandles, 1);

    SetKeepHandleOpen(false);
    for (int i = 0; i < 2; ++i) {
        auto srb = ExecRequest(1, 2, 0, TEST_UNIT_READY);
        EXPECT_EQ(SPTISendCommand(&srb), aspi::SS_COMP);
        EXPECT_EQ(theDrive().openHandles, 0);
    }
    EXPECT_EQ(theDrive().opened, 3);
    EXPECT_EQ(theDrive().received.size(), 3u);
}

TEST_F(SPTICommands, DriveThatCannotBeOpenedAnymoreFails) {
    theDrive().opens = false;
    auto srb = ExecRequest(1, 2, 0, TEST_UNIT_READY);
    EXPECT_EQ(SPTISendCommand(&srb), aspi::SS_ERR);
    EXPECT_TRUE(theDrive().received.empty());
}

struct BadRequest {
    const char* name;
    uint8_t command;
    uint8_t cdbLength;
    bool nullBuffer;
    uint8_t returned;
    uint8_t status;
};

class SPTIBadRequest : public SPTICommands, public ::testing::WithParamInterface<BadRequest> {};

TEST_P(SPTIBadRequest, IsRefusedWithoutReachingTheDrive) {
    const auto& c = GetParam();
    std::array<uint8_t, 16> data{};
    auto srb = ExecRequest(1, 2, 0, {0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0}, 0x48, c.nullBuffer ? nullptr : data.data(), 16);
    srb.SRB_Cmd = c.command;
    srb.SRB_CDBLen = c.cdbLength;
    srb.SRB_Status = 0x55;
    EXPECT_EQ(SPTISendCommand(&srb), c.returned);
    EXPECT_EQ(srb.SRB_Status, c.status);
    EXPECT_TRUE(theDrive().received.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Requests, SPTIBadRequest,
    ::testing::Values(BadRequest{"UnknownCommand", 0x05, 10, false, aspi::SS_ERR, aspi::SS_ERR},
                      BadRequest{"DiskInfoStaysPending", aspi::SC_GET_DISK_INFO, 10, false, aspi::SS_ERR,
                                 aspi::SS_PENDING},
                      BadRequest{"CdbLongerThanTheCdbField", aspi::SC_EXEC_SCSI_CMD, 17, false, aspi::SS_ERR,
                                 aspi::SS_ERR},
                      BadRequest{"EmptyCdb", aspi::SC_EXEC_SCSI_CMD, 0, false, aspi::SS_ERR, aspi::SS_ERR},
                      BadRequest{"DataWithoutBuffer", aspi::SC_EXEC_SCSI_CMD, 10, true, aspi::SS_ERR,
                                 aspi::SS_ERR}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SPTICommands, NullRequestIsAnError) { EXPECT_EQ(SPTISendCommand(nullptr), aspi::SS_ERR); }

TEST_F(SPTICommands, CommandForAnotherAddressFindsNoDevice) {
    auto srb = ExecRequest(1, 5, 0, TEST_UNIT_READY);
    EXPECT_EQ(SPTISendCommand(&srb), aspi::SS_NO_DEVICE);
    EXPECT_TRUE(theDrive().received.empty());
}

}  // namespace
}  // namespace tavrin::testing
