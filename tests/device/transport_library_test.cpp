// The library transports, over stand-in manager libraries: one copy for the
// current directory, one on the test program's loader path, and one without its
// send entry point.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "engine/platform/request_event.h"
#include "spti_fake_drives.h"

namespace tavrin::testing {
namespace {

namespace fs = std::filesystem;
using platform::ScsiAddress;

const fs::path managers = FAKE_MANAGER_DIR;

// Each test runs in a fresh empty current directory.
class LibraryTransport : public FakeDriveTest {
protected:
    void SetUp() override {
        FakeDriveTest::SetUp();
        previous_ = fs::current_path();
        std::string pattern = (fs::temp_directory_path() / "tavrin-transport-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        fs::current_path(folder_);
    }
    void TearDown() override {
        FakeDriveTest::TearDown();
        fs::current_path(previous_);
        fs::remove_all(folder_);
    }
    void putInCurrentDirectory(const char* variant) {
        fs::create_symlink(managers / variant / "libwnaspi32.so", folder_ / "libwnaspi32.so");
    }

    fs::path previous_;
    fs::path folder_;
};

TEST_F(LibraryTransport, CopyInTheCurrentDirectoryComesFirst) {
    putInCurrentDirectory("current");
    EXPECT_TRUE(InitializeASPI(false));
    EXPECT_EQ(TransportName(), "WNASPI32.DLL");
    EXPECT_EQ(GetASPI32SupportInfo(), 0x0102u);
}

TEST_F(LibraryTransport, LoaderPathIsTheFallBack) {
    EXPECT_TRUE(InitializeASPI(false));
    EXPECT_EQ(TransportName(), "WNASPI32.DLL");
    EXPECT_EQ(GetASPI32SupportInfo(), 0x0103u);
}

TEST_F(LibraryTransport, PreferredBuiltInWinsOverALibraryWhenItFindsADrive) {
    addDrive(0, ScsiAddress{});
    EXPECT_TRUE(InitializeASPI(true));
    EXPECT_EQ(TransportName(), "KTASPI32");
}

TEST_F(LibraryTransport, PreferredBuiltInWithoutDrivesFallsBackToTheLibrary) {
    EXPECT_TRUE(InitializeASPI(true));
    EXPECT_EQ(TransportName(), "WNASPI32.DLL");
}

TEST_F(LibraryTransport, MissingEntryPointFailsInitialization) {
    putInCurrentDirectory("broken");
    EXPECT_FALSE(InitializeASPI(false));
    EXPECT_FALSE(ASPIInitialized());
    EXPECT_EQ(TransportName(), "");
    EXPECT_EQ(GetASPI32SupportInfo(), 0xE800u);
    auto srb = ExecRequest(0, 0, 0, TEST_UNIT_READY);
    EXPECT_EQ(SendASPI32Command(&srb), aspi::SS_ERR);

    // Nothing of the broken library is held: once it is gone, loading works.
    fs::remove(folder_ / "libwnaspi32.so");
    EXPECT_TRUE(InitializeASPI(false));
    EXPECT_EQ(GetASPI32SupportInfo(), 0x0103u);
}

TEST_F(LibraryTransport, ReinitializeReleasesTheLibraryAndLoadsAgain) {
    putInCurrentDirectory("current");
    ASSERT_TRUE(InitializeASPI(false));
    ASSERT_EQ(GetASPI32SupportInfo(), 0x0102u);

    fs::remove(folder_ / "libwnaspi32.so");
    EXPECT_TRUE(ReinitializeASPI());
    EXPECT_EQ(TransportName(), "WNASPI32.DLL");
    EXPECT_EQ(GetASPI32SupportInfo(), 0x0103u);
}

TEST_F(LibraryTransport, PendingRequestCompletesThroughItsEvent) {
    ASSERT_TRUE(InitializeASPI(false));
    platform::RequestEvent event;
    ASSERT_TRUE(event.valid());
    std::array<uint8_t, 8> data{};
    auto srb = ExecRequest(0, 0, 0, {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0x48, data.data(), data.size());
    srb.SRB_PostProc = aspi::PostProcFromFd(event.fd());

    EXPECT_EQ(SendASPI32Command(&srb), aspi::SS_PENDING);
    ASSERT_TRUE(event.wait(10000));
    EXPECT_EQ(srb.SRB_Status, aspi::SS_COMP);
    EXPECT_EQ(data[0], 0xA5);
    EXPECT_EQ(data[4], 0x00);
}

}  // namespace
}  // namespace tavrin::testing
