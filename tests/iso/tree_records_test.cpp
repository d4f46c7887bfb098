// The records of a directory of the compilation in both trees.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/compilation/date_time.h"
#include "engine/iso/tree_records.h"
#include "tests/iso/dir_tree.h"

namespace tavrin::testing {
namespace {

using namespace tavrin::iso;
using Bytes = std::vector<uint8_t>;

const RecordingDate kNow{126, 12, 10, 21, 30, 0, 32};

struct Parsed {
    uint32_t extent;
    uint32_t length;
    uint8_t flags;
    std::string identifier;
};

uint32_t Le32(const Bytes& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// The records of an extent, as a reader walks them (a zero length ends a block).
std::vector<Parsed> Walk(const Bytes& extent) {
    std::vector<Parsed> records;
    for (std::size_t at = 0; at < extent.size();) {
        const uint8_t length = extent[at];
        if (length == 0) {
            at = (at / kBlockBytes + 1) * kBlockBytes;
            continue;
        }
        const std::size_t n = extent[at + record::kIdentifierLength];
        records.push_back({Le32(extent, at + record::kExtent), Le32(extent, at + record::kDataLength),
                           extent[at + record::kFlags],
                           std::string(extent.begin() + at + record::kIdentifier,
                                       extent.begin() + at + record::kIdentifier + n)});
        at += length;
    }
    return records;
}

class TreeRecords : public ::testing::Test {
protected:
    TreeRecords() {
        photos_ = tree_.Add(tree_.Root(), "\xD5\xD5\xC6\xAC", "____");  // 照片
        tree_.Root()->IsoExtentSize = tree_.Root()->JolietExtentSize = kBlockBytes;
        photos_->IsoExtentSize = photos_->JolietExtentSize = kBlockBytes;
        photos_->IsoExtentOffset = photos_->JolietExtentOffset = 1;

        rootEntries_.AddFile("WENJIAN.TXT", "\xCE\xC4\xBC\xFE.txt", 2049, 0);  // 文件.txt
        rootEntries_.AddFile("EMPTY.TXT", "empty.txt", 0, 0);
        rootEntries_.AddFile("OLD.DAT", "old.dat", 4096, 310).Imported = true;
        rootEntries_.AddFile("SECRET.", "secret", 1, 2).Attr = 0x22;
        TFEntry& sub = rootEntries_.Add("____", "\xD5\xD5\xC6\xAC");
        sub.Dir = photos_;
        sub.Attr = 0x12;
    }

    DirTree tree_;
    PDirEntry photos_ = nullptr;
    EntryList rootEntries_{tree_.Root()};
    JolietNameEncoder encoder_;
};

TEST_F(TreeRecords, OfTheIsoTreeFollowTheListOrder) {
    const TreePlacement placement{.tree = Tree::Iso, .areaStartBlock = 23, .firstFileBlock = 150, .now = kNow};
    const auto extent = EncodeDirectoryRecords(*tree_.Root(), placement, encoder_);
    ASSERT_TRUE(extent);
    ASSERT_EQ(extent->size(), kBlockBytes);
    const std::vector<Parsed> records = Walk(*extent);
    ASSERT_EQ(records.size(), 7u);
    const std::vector<std::tuple<uint32_t, uint32_t, uint8_t, std::string>> expected{
        {23, 2048, 0x02, std::string(1, '\0')}, {23, 2048, 0x02, "\x01"},
        {150, 2049, 0x00, "WENJIAN.TXT;1"},      {0, 0, 0x00, "EMPTY.TXT;1"},
        {310, 4096, 0x00, "OLD.DAT;1"},          {152, 1, 0x01, "SECRET.;1"},
        {24, 2048, 0x03, "____"}};
    for (std::size_t i = 0; i < records.size(); ++i) {
        const auto& [extentBlock, length, flags, identifier] = expected[i];
        EXPECT_EQ(records[i].extent, extentBlock) << i;
        EXPECT_EQ(records[i].length, length) << i;
        EXPECT_EQ(records[i].flags, flags) << i;
        EXPECT_EQ(records[i].identifier, identifier) << i;
    }
    // Self and parent carry the time of the build, entries their own date.
    EXPECT_EQ(Bytes(extent->begin() + record::kRecordingDate, extent->begin() + record::kRecordingDate + 7),
              Bytes(kNow.begin(), kNow.end()));
    EXPECT_EQ((*extent)[68 + record::kRecordingDate], 124);
}

TEST_F(TreeRecords, OfTheJolietTreeCarryTheExactUcs2Names) {
    const TreePlacement placement{.tree = Tree::Joliet, .areaStartBlock = 25, .firstFileBlock = 150, .now = kNow};
    const auto extent = EncodeDirectoryRecords(*tree_.Root(), placement, encoder_);
    ASSERT_TRUE(extent);
    const std::vector<Parsed> records = Walk(*extent);
    ASSERT_EQ(records.size(), 7u);
    EXPECT_EQ(records[2].identifier, std::string("\x65\x87\x4E\xF6\0.\0t\0x\0t\0;\0" "1", 16));
    EXPECT_EQ((*extent)[68], 50) << "33 + 16 + a pad byte";
    EXPECT_EQ(records[6].identifier, "\x71\x67\x72\x47");
    EXPECT_EQ(records[6].extent, 26u);

    const auto sub = EncodeDirectoryRecords(*photos_, placement, encoder_);
    ASSERT_TRUE(sub);
    const std::vector<Parsed> subRecords = Walk(*sub);
    ASSERT_EQ(subRecords.size(), 2u) << "an empty directory: self and parent";
    EXPECT_EQ(subRecords[0].extent, 26u);
    EXPECT_EQ(subRecords[1].extent, 25u);
}

TEST_F(TreeRecords, SizeTheExtentAsTheyAreWritten) {
    // 9 records of 200 bytes fill the first block to 1868; two more need a second block.
    EntryList entries(photos_);
    for (int i = 0; i < 11; ++i) entries.AddFile(std::string(164, 'A' + i), std::string(83, 'a' + i), 1, i);
    for (const Tree tree : {Tree::Iso, Tree::Joliet}) {
        const auto bytes = DirectoryRecordBytes(*photos_, tree, encoder_);
        ASSERT_TRUE(bytes);
        EXPECT_EQ(*bytes, 2 * kBlockBytes);
        const TreePlacement placement{.tree = tree, .areaStartBlock = 23, .firstFileBlock = 150, .now = kNow};
        EXPECT_EQ(EncodeDirectoryRecords(*photos_, placement, encoder_)->size(), *bytes);
    }
    EXPECT_EQ(DirectoryRecordBytes(*tree_.Root(), Tree::Iso, encoder_), kBlockBytes);
}

TEST_F(TreeRecords, RefuseANameThatDoesNotFitARecord) {
    EntryList entries(photos_);
    entries.AddFile("LONG.", std::string(109, 'n'), 1, 0);
    const TreePlacement placement{.tree = Tree::Joliet};
    EXPECT_FALSE(DirectoryRecordBytes(*photos_, Tree::Joliet, encoder_));
    EXPECT_FALSE(EncodeDirectoryRecords(*photos_, placement, encoder_));
    EXPECT_TRUE(DirectoryRecordBytes(*photos_, Tree::Iso, encoder_));
}

}  // namespace
}  // namespace tavrin::testing
