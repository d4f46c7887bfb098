// Device selection and the drive's answers from a recorder on the network: tgt's
// MMC "cd" unit (a blank DVD+R) over iSCSI through the manager library.
#include <gtest/gtest.h>

#include "engine/drive/capabilities.h"
#include "engine/drive/device_selection.h"
#include "engine/drive/media_info.h"
#include "engine/drive/media_types.h"
#include "tests/recorders/aspi_fixture.h"
#include "tests/support/tgt_target.h"

namespace tavrin::test {
namespace {

class TgtDrive : public ManagerLibrary {
protected:
    void SetUp() override {
        ManagerLibrary::SetUp();
        if (HasFatalFailure()) return;
        if (const auto why = TgtTarget::Unavailable()) GTEST_SKIP() << *why;
        if (!tgt_.PickPort(3500)) GTEST_SKIP() << "no free port in 3500-3599";
        ASSERT_TRUE(tgt_.Start(root_ / "tgt")) << "tgt did not start; see " << tgt_.Log();
        load("[recorder tgt]\ntype = iscsi\nurl = " + tgt_.Url() + "\n");
    }
    void TearDown() override {
        ShutdownTransport();
        EXPECT_TRUE(tgt_.Stop());
        ManagerLibrary::TearDown();
    }

    TgtTarget tgt_;
};

TEST_F(TgtDrive, ListedSelectedAndRead) {
    drive::Create(device_);
    ASSERT_EQ(device_.DeviceList.size(), 1u);
    const std::string& line = device_.DeviceList[0];
    EXPECT_TRUE(line.starts_with("1:0:0,")) << line;  // adapter 0 is the empty virtual bus
    EXPECT_EQ(line.find("(not supported)"), std::string::npos) << line;

    drive::SelectDevice(device_, line);
    ASSERT_TRUE(device_.HasDevice()) << device_.LastError;
    EXPECT_EQ(device_.Selected.adapter, 1);
    EXPECT_TRUE(drive::ReadCapabilities(device_)) << device_.LastError;
    EXPECT_NE(device_.CapabilityFlags & drive::ReadCDR, 0u);

    EXPECT_EQ(drive::MediaTypeCode(device_), drive::media::kDVDPlusR);
    const drive::TDisc disc = drive::GetDiscInfo(device_);
    EXPECT_EQ(disc.DiscPresent, 1);
    EXPECT_EQ(disc.MediaName, "DVD+R");
    EXPECT_EQ(disc.DiscStatus, 0);  // blank
    EXPECT_GT(disc.Capacity, 0u);
}

}  // namespace
}  // namespace tavrin::test
