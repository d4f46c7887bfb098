#include <gtest/gtest.h>

#include "spti_fake_drives.h"

namespace tavrin::testing {
namespace {

using platform::ScsiAddress;

const SPTIDrive& entry(std::size_t index) { return SPTIDrives().drives.at(index); }

TEST(SPTIDevicePath, DriveLettersDThroughZAreTheOpticalDrives) {
    EXPECT_EQ(SPTIDevicePath(2), "");
    EXPECT_EQ(SPTIDevicePath(3), "/dev/sr0");
    EXPECT_EQ(SPTIDevicePath(25), "/dev/sr22");
    EXPECT_EQ(SPTIDevicePath(26), "");
}

TEST(DecodeIdLun, UnpacksHostChannelLunAndId) {
    const auto a = platform::DecodeIdLun(0x01020304);
    EXPECT_EQ(a.host, 1);
    EXPECT_EQ(a.channel, 2);
    EXPECT_EQ(a.lun, 3);
    EXPECT_EQ(a.id, 4);
}

using SPTIDriveTableTest = FakeDriveTest;

TEST_F(SPTIDriveTableTest, DrivesWithoutAddressSitOnAnExtraAdapterAfterTheRealOnes) {
    addDrive(0, ScsiAddress{.host = 1, .channel = 0, .id = 3, .lun = 0});
    addDrive(1, std::nullopt);
    addDrive(4, std::nullopt);

    EXPECT_EQ(SPTIInitialize(), 3);
    const auto& table = SPTIDrives();
    EXPECT_EQ(table.adapterCount, 3);
    EXPECT_EQ(SPTIGetSupportInfo(), 0x0103u);

    struct Expected { std::size_t index; uint8_t adapter, target; };
    for (const auto& e : {Expected{3, 1, 3}, Expected{4, 2, 0}, Expected{7, 2, 1}}) {
        SCOPED_TRACE(e.index);
        EXPECT_EQ(entry(e.index).present, 1);
        EXPECT_EQ(entry(e.index).adapter, e.adapter);
        EXPECT_EQ(entry(e.index).target, e.target);
        EXPECT_EQ(entry(e.index).lun, 0);
        EXPECT_EQ(entry(e.index).driveIndex, e.index);
        EXPECT_EQ(entry(e.index).handle, nullptr);
    }
    EXPECT_EQ(entry(5).present, 0);
    const auto expectedInquiry = InquiryNamed("DRIVE4");
    EXPECT_TRUE(std::equal(entry(7).inquiry.begin(), entry(7).inquiry.end(), expectedInquiry.begin()));

    // Probing leaves no handle open and asks a standard INQUIRY of 96 bytes.
    EXPECT_EQ(drive(0).openHandles, 0);
    ASSERT_EQ(drive(0).received.size(), 1u);
    EXPECT_EQ(drive(0).received[0].cdb, (std::vector<uint8_t>{0x12, 0, 0, 0, 0x60, 0}));
    EXPECT_EQ(drive(0).received[0].direction, platform::DataDirection::In);
    EXPECT_EQ(drive(0).received[0].length, 96u);
    EXPECT_EQ(drive(0).received[0].timeoutMs, 120000u);

    EXPECT_EQ(SPTIInitialize(), 0) << "already initialized";
}

TEST_F(SPTIDriveTableTest, ReachableDrivesKeepTheirAdapterWhenAllHaveAddresses) {
    addDrive(0, ScsiAddress{.host = 0, .channel = 0, .id = 1, .lun = 0});
    addDrive(2, ScsiAddress{.host = 4, .channel = 1, .id = 0, .lun = 2});
    EXPECT_EQ(SPTIInitialize(), 2);
    EXPECT_EQ(SPTIDrives().adapterCount, 5);
    EXPECT_EQ(entry(5).adapter, 4);
    EXPECT_EQ(entry(5).target, 0);
    EXPECT_EQ(entry(5).lun, 2);
}

struct ProbeFailure {
    const char* name;
    bool opens;
    bool inquiryFails;
};

class SPTIProbeFailure : public FakeDriveTest, public ::testing::WithParamInterface<ProbeFailure> {};

TEST_P(SPTIProbeFailure, DriveIsLeftOutAndCannotBeAddressed) {
    auto& failing = addDrive(0, ScsiAddress{.host = 0, .channel = 0, .id = 0, .lun = 0});
    failing.opens = GetParam().opens;
    failing.inquiryFails = GetParam().inquiryFails;
    addDrive(1, ScsiAddress{.host = 0, .channel = 0, .id = 1, .lun = 0});

    EXPECT_EQ(SPTIInitialize(), 1);
    EXPECT_EQ(entry(3).present, 0);
    EXPECT_EQ(entry(4).present, 1);
    EXPECT_EQ(failing.openHandles, 0);

    auto srb = ExecRequest(0, 0, 0, TEST_UNIT_READY);
    EXPECT_EQ(SPTISendCommand(&srb), aspi::SS_NO_DEVICE);
    EXPECT_EQ(srb.SRB_Status, aspi::SS_NO_DEVICE);
}

INSTANTIATE_TEST_SUITE_P(Cases, SPTIProbeFailure,
                         ::testing::Values(ProbeFailure{"InquiryFails", true, true},
                                           ProbeFailure{"OpenFails", false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavrin::testing
