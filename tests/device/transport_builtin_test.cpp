#include <gtest/gtest.h>

#include "spti_fake_drives.h"

namespace tavrin::testing {
namespace {

using platform::ScsiAddress;

using BuiltInTransport = FakeDriveTest;

TEST_F(BuiltInTransport, PreferredBuiltInCarriesTheRequests) {
    addDrive(0, ScsiAddress{.host = 0, .channel = 0, .id = 1, .lun = 0});
    ASSERT_TRUE(InitializeASPI(true));
    EXPECT_TRUE(ASPIInitialized());
    EXPECT_EQ(TransportName(), "KTASPI32");
    EXPECT_EQ(GetASPI32SupportInfo(), 0x0101u);

    auto srb = ExecRequest(0, 1, 0, TEST_UNIT_READY);
    EXPECT_EQ(SendASPI32Command(&srb), aspi::SS_COMP);
    EXPECT_EQ(drive(0).received.size(), 2u);
}

TEST_F(BuiltInTransport, ReinitializeClosesHandlesAndProbesAgain) {
    addDrive(0, ScsiAddress{.host = 0, .channel = 0, .id = 0, .lun = 0});
    ASSERT_TRUE(InitializeASPI(true));
    auto srb = ExecRequest(0, 0, 0, TEST_UNIT_READY);
    SendASPI32Command(&srb);
    ASSERT_EQ(drive(0).openHandles, 1);

    addDrive(1, std::nullopt);
    EXPECT_TRUE(ReinitializeASPI());
    EXPECT_EQ(drive(0).openHandles, 0);
    EXPECT_EQ(TransportName(), "KTASPI32");
    EXPECT_EQ(SPTIDrives().adapterCount, 2);
    EXPECT_EQ(SPTIDrives().drives[4].present, 1);
    EXPECT_EQ(drive(1).received.size(), 1u) << "the new drive was probed";
    EXPECT_EQ(drive(0).received.size(), 3u) << "probe, command, probe again";
}

TEST_F(BuiltInTransport, ShutdownLeavesNoTransportAndNoOpenHandle) {
    addDrive(0, ScsiAddress{});
    ASSERT_TRUE(InitializeASPI(true));
    auto srb = ExecRequest(0, 0, 0, TEST_UNIT_READY);
    SendASPI32Command(&srb);

    ShutdownTransport();
    EXPECT_FALSE(ASPIInitialized());
    EXPECT_EQ(TransportName(), "");
    EXPECT_EQ(drive(0).openHandles, 0);
    EXPECT_EQ(GetASPI32SupportInfo(), 0xE800u);
    EXPECT_EQ(SendASPI32Command(&srb), aspi::SS_ERR);
}

}  // namespace
}  // namespace tavrin::testing
