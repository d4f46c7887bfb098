// The real system calls, on what this machine has: no optical drive needs to be
// present for the refusals to be checked.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

#include "engine/platform/passthrough.h"

namespace tavrin::platform {
namespace {

TEST(LinuxPassThrough, OnlyBlockDevicesCountAsDrives) {
    LinuxPassThrough system;
    EXPECT_FALSE(system.isBlockDevice("/dev/null"));
    EXPECT_FALSE(system.isBlockDevice("/nonexistent/sr0"));
    EXPECT_EQ(system.open("/nonexistent/sr0"), nullptr);
}

TEST(LinuxPassThrough, FileThatIsNoDriveRefusesPassThrough) {
    std::string path = ::testing::TempDir() + "tavrin-not-a-drive-XXXXXX";
    const int fd = ::mkstemp(path.data());
    ASSERT_GE(fd, 0);
    ::close(fd);

    LinuxPassThrough system;
    EXPECT_FALSE(system.isBlockDevice(path));
    auto device = system.open(path);
    ASSERT_NE(device, nullptr);
    const std::array<uint8_t, 6> cdb{0x00, 0, 0, 0, 0, 0};
    std::array<uint8_t, 14> sense{};
    const auto answer = device->execute(PassThroughCommand{.cdb = cdb, .sense = sense});
    EXPECT_FALSE(answer.ioctlOk);
    EXPECT_FALSE(answer.delivered());
    EXPECT_FALSE(device->address().has_value());
    EXPECT_TRUE(device->close());
    EXPECT_FALSE(device->execute(PassThroughCommand{.cdb = cdb, .sense = sense}).ioctlOk);
    ::unlink(path.c_str());
}

}  // namespace
}  // namespace tavrin::platform
