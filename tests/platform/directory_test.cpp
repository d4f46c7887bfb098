#include "engine/platform/directory.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "engine/platform/archive_bit.h"
#include "engine/platform/file.h"
#include "tests/platform/test_support.h"

namespace {

using namespace tavrin::platform;
using tavrin::testing::ScopedTimeZone;
using tavrin::testing::TempFolder;

void MakeFile(const std::string& path, const std::string& contents) {
    std::ofstream(path, std::ios::binary) << contents;
}

void SetMtime(const std::string& path, std::time_t when) {
    const timespec times[2] = {{0, UTIME_OMIT}, {when, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

bool UserXattrsWork(const std::string& folder) {
    const std::string probe = folder + "/xattr-probe";
    MakeFile(probe, "");
    const bool works = ::setxattr(probe.c_str(), "user.tavrin.probe", "1", 1, 0) == 0;
    std::filesystem::remove(probe);
    return works;
}

std::map<std::string, SearchRecord> ByName(const DirectoryListing& listing) {
    std::map<std::string, SearchRecord> records;
    for (const auto& record : listing.entries) records.emplace(record.name, record);
    return records;
}

class Listing : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(temp.valid()); }
    TempFolder temp;
    ScopedTimeZone zone{"CST-8"};
};

TEST_F(Listing, RecordsCarryNamesAttributesTimesAndSizes) {
    MakeFile(temp / "a.txt", "hello");
    SetMtime(temp / "a.txt", 1700000000);  // 15 November 2023 06:13:20 in UTC+8
    MakeFile(temp / ".profile", "");
    MakeFile(temp / "ro.txt", "x");
    ::chmod((temp / "ro.txt").c_str(), 0444);
    std::filesystem::create_directory(temp / "sub");
    MakeFile(temp / "光盘.txt", "");
    {
        // A sparse file past 4 GiB shows the high half of the size.
        const int fd = ::open((temp / "big.bin").c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, 0x140000001LL), 0);
        ::close(fd);
    }

    const auto listing = ListDirectory(temp.path());
    ASSERT_TRUE(listing);
    EXPECT_TRUE(listing->unlistable.empty());
    const auto records = ByName(*listing);
    EXPECT_EQ(records.size(), 8u);

    const SearchRecord& a = records.at("a.txt");
    EXPECT_EQ(a.attr & ~kAttrArchive, 0u);
    EXPECT_EQ(a.time, 0x576F31AAu);
    EXPECT_EQ(a.sizeHigh, 0u);
    EXPECT_EQ(a.sizeLow, 5u);
    EXPECT_TRUE(a.alternateName.empty());

    EXPECT_EQ(records.at(".profile").attr & kAttrHidden, kAttrHidden);
    EXPECT_EQ(records.at("ro.txt").attr & kAttrReadOnly, kAttrReadOnly);
    EXPECT_EQ(records.at("sub").attr, kAttrDirectory);
    EXPECT_EQ(records.at(".").attr, kAttrDirectory);   // a folder, not a hidden file
    EXPECT_EQ(records.at("..").attr & (kAttrDirectory | kAttrHidden), kAttrDirectory);
    EXPECT_EQ(records.count("\xB9\xE2\xC5\xCC.txt"), 1u);  // the GBK name
    const SearchRecord& big = records.at("big.bin");
    EXPECT_EQ(big.sizeHigh, 1u);
    EXPECT_EQ(big.sizeLow, 0x40000001u);
    EXPECT_EQ(big.size(), 0x140000001u);
}

TEST_F(Listing, NameWithoutGbkFormIsReportedNotListed) {
    MakeFile(temp / "한글.txt", "");
    MakeFile(temp / "kept.txt", "");
    const auto listing = ListDirectory(temp.path());
    ASSERT_TRUE(listing);
    EXPECT_EQ(listing->unlistable, std::vector<std::string>{"한글.txt"});
    EXPECT_EQ(listing->entries.size(), 3u);  // ".", "..", "kept.txt"
    EXPECT_EQ(ByName(*listing).count("kept.txt"), 1u);
}

TEST_F(Listing, DanglingLinkIsListedAsTheLink) {
    std::filesystem::create_symlink(temp / "nowhere", temp / "link");
    const auto listing = ListDirectory(temp.path());
    ASSERT_TRUE(listing);
    EXPECT_EQ(ByName(*listing).count("link"), 1u);
}

TEST_F(Listing, MissingFolderGivesNothing) {
    EXPECT_FALSE(ListDirectory(temp / "missing"));
    EXPECT_FALSE(ListDirectory(temp / "\xFF"));  // no UTF-8 form
    EXPECT_FALSE(StatRecord(temp / "missing"));
}

TEST_F(Listing, StatRecordNamesTheLastPart) {
    std::filesystem::create_directory(temp / "sub");
    MakeFile(temp / "sub/\xE5\x88\xBB.iso", "12");  // 刻.iso
    const auto folder = StatRecord(temp / "sub/");
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->name, "sub");
    EXPECT_EQ(folder->attr, kAttrDirectory);
    const auto file = StatRecord(temp / "sub/\xBF\xCC.iso");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->name, "\xBF\xCC.iso");
    EXPECT_EQ(file->sizeLow, 2u);
}

class ArchiveBit : public Listing {
protected:
    void SetUp() override {
        Listing::SetUp();
        if (!UserXattrsWork(temp.path())) {
            GTEST_SKIP() << "the temporary file system keeps no user extended attributes";
        }
    }
    bool ListedWithArchiveBit(const std::string& name) {
        return (ByName(*ListDirectory(temp.path())).at(name).attr & kAttrArchive) != 0;
    }
};

TEST_F(ArchiveBit, SetUntilWrittenAndAgainAfterAChange) {
    const std::string path = temp / "doc.txt";
    MakeFile(path, "v1");
    EXPECT_TRUE(HasArchiveBit(path));
    EXPECT_TRUE(ListedWithArchiveBit("doc.txt"));

    EXPECT_TRUE(ResetArchiveBit(path));
    EXPECT_FALSE(HasArchiveBit(path));
    EXPECT_FALSE(ListedWithArchiveBit("doc.txt"));

    SetMtime(path, 1700000000);  // changed after the write
    EXPECT_TRUE(HasArchiveBit(path));
    EXPECT_TRUE(ListedWithArchiveBit("doc.txt"));
}

TEST_F(ArchiveBit, ReadOnlyFileCanBeReset) {
    const std::string path = temp / "ro.txt";
    MakeFile(path, "x");
    ::chmod(path.c_str(), 0444);
    EXPECT_TRUE(ResetArchiveBit(path));
    EXPECT_FALSE(HasArchiveBit(path));
    struct stat st{};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);  // the permission lent for the reset is taken back
}

TEST_F(ArchiveBit, ForeignAttributeValueCountsAsChanged) {
    const std::string path = temp / "doc.txt";
    MakeFile(path, "v1");
    ASSERT_EQ(::setxattr(path.c_str(), kWrittenAttribute, "garbage", 7, 0), 0);
    EXPECT_TRUE(HasArchiveBit(path));
    EXPECT_FALSE(ResetArchiveBit(temp / "missing"));
}

}  // namespace
