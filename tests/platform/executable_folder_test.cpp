#include "engine/platform/executable_folder.h"

#include <gtest/gtest.h>

#include "engine/platform/file.h"

namespace {

TEST(ExecutableFolder, HoldsTheRunningProgram) {
    const auto folder = tavrin::platform::ExecutableFolder();
    ASSERT_TRUE(folder);
    ASSERT_FALSE(folder->empty());
    EXPECT_EQ(folder->front(), '/');
    EXPECT_EQ(folder->back(), '/');
    EXPECT_TRUE(tavrin::platform::IsDirectory(*folder));
    EXPECT_TRUE(tavrin::platform::Exists(*folder + "tavrin_platform_tests"));
}

}  // namespace
