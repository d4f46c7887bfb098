#include "engine/platform/file.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/platform/directory.h"
#include "tests/platform/test_support.h"

namespace {

using namespace tavrin::platform;
using tavrin::testing::ScopedTimeZone;
using tavrin::testing::TempFolder;

std::span<const std::uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class Files : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(temp.valid()); }
    TempFolder temp;
};

TEST_F(Files, WrittenBytesReadBackSequentiallyAndAtOffsets) {
    const std::string path = temp / "image.iso";
    auto out = File::create(path);
    ASSERT_TRUE(out);
    ASSERT_TRUE(out->write(Bytes("0123456789")));
    EXPECT_TRUE(out->close());

    auto in = File::openRead(path);
    ASSERT_TRUE(in);
    EXPECT_EQ(in->size(), 10u);
    std::array<std::uint8_t, 4> buffer{};
    EXPECT_EQ(in->read(buffer), 4u);
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), "0123");
    EXPECT_EQ(in->readAt(8, buffer), 2u);  // short only at the end of the file
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 2), "89");
    EXPECT_EQ(in->position(), 4u);         // readAt left the position alone
    EXPECT_EQ(in->read(buffer), 4u);
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), "4567");
    EXPECT_EQ(in->read(buffer), 2u);
    EXPECT_EQ(in->read(buffer), 0u);
}

TEST_F(Files, CreateReplacesReadWriteAndAppendKeep) {
    const std::string path = temp / "log.txt";
    ASSERT_TRUE(File::create(path)->write(Bytes("old contents")));
    ASSERT_TRUE(File::create(path)->write(Bytes("head")));
    EXPECT_EQ(Contents(path), "head");

    auto again = File::openReadWrite(path);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->position(), 4u);
    ASSERT_TRUE(again->write(Bytes("+data")));
    EXPECT_TRUE(again->close());

    auto log = File::openAppend(path);
    ASSERT_TRUE(log);
    ASSERT_TRUE(log->seek(0));  // appending ignores the position
    ASSERT_TRUE(log->write(Bytes("\r\n")));
    EXPECT_TRUE(log->close());
    EXPECT_EQ(Contents(path), "head+data\r\n");

    auto fresh = File::openAppend(temp / "new.txt");
    ASSERT_TRUE(fresh);
    EXPECT_TRUE(fresh->close());
    EXPECT_TRUE(Exists(temp / "new.txt"));
}

TEST_F(Files, FailuresAreReported) {
    EXPECT_FALSE(File::openRead(temp / "missing"));
    EXPECT_FALSE(File::openReadWrite(temp / "missing"));
    EXPECT_FALSE(File::create(temp / "no-such-folder/image.iso"));
    EXPECT_FALSE(File::openRead("\xBF"));  // a path with no UTF-8 form

    auto full = File::create("/dev/full");
    if (!full) GTEST_SKIP() << "/dev/full cannot be opened here";
    EXPECT_FALSE(full->write(Bytes("block")));

    auto closed = File::create(temp / "once");
    ASSERT_TRUE(closed);
    EXPECT_TRUE(closed->close());
    EXPECT_FALSE(closed->isOpen());
    EXPECT_FALSE(closed->close());
}

TEST_F(Files, GbkPathsReachTheFileSystemAsUtf8) {
    const std::string gbkName = "\xBF\xCC\xC2\xBC.txt";  // 刻录.txt
    auto file = File::create(temp / gbkName);
    ASSERT_TRUE(file);
    EXPECT_TRUE(file->close());
    EXPECT_TRUE(std::filesystem::exists(temp.path() + "/刻录.txt"));
    EXPECT_TRUE(Exists(temp / gbkName));
    EXPECT_FALSE(IsDirectory(temp / gbkName));
}

TEST_F(Files, CreateFoldersMakesMissingParents) {
    const std::string nested = temp / "Log/a/b";
    EXPECT_TRUE(CreateFolders(nested));
    EXPECT_TRUE(IsDirectory(nested));
    EXPECT_TRUE(CreateFolders(nested + "/"));  // already there
    ASSERT_TRUE(File::create(temp / "plain")->close());
    EXPECT_FALSE(CreateFolders(temp / "plain"));
    EXPECT_FALSE(CreateFolders(temp / "plain/below"));
}

class LastWriteTimes : public Files, public ::testing::WithParamInterface<DosDateTime> {
protected:
    ScopedTimeZone zone{"CST-8"};
};

TEST_P(LastWriteTimes, SetByPathAndByHandleReadBack) {
    const std::string byPath = temp / "by-path";
    ASSERT_TRUE(File::create(byPath)->close());
    EXPECT_TRUE(SetLastWriteTime(byPath, GetParam()));
    EXPECT_EQ(StatRecord(byPath)->time, GetParam());

    const std::string byHandle = temp / "by-handle";
    auto file = File::create(byHandle);
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->write(Bytes("extracted")));
    EXPECT_TRUE(file->setLastWriteTime(GetParam()));
    EXPECT_TRUE(file->close());
    EXPECT_EQ(StatRecord(byHandle)->time, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Table, LastWriteTimes, ::testing::Values(
    0x00210000u,     // 1 January 1980
    0x576F31AAu,     // 15 November 2023 06:13:20
    0x5D8A7C99u));   // 10 December 2026 15:36:50

TEST_F(Files, InvalidLastWriteTimeIsRefused) {
    const std::string path = temp / "file";
    ASSERT_TRUE(File::create(path)->close());
    EXPECT_FALSE(SetLastWriteTime(path, 0x01A10000u));  // month 13
    EXPECT_FALSE(SetLastWriteTime(temp / "missing", 0x00210000u));
}

}  // namespace
