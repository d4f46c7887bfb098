// Directory records, directory extents, path tables and volume descriptors, byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/compilation/date_time.h"
#include "engine/iso/directory_record.h"
#include "engine/iso/identifiers.h"
#include "engine/iso/path_table.h"
#include "engine/iso/volume_descriptors.h"
#include "tests/iso/dir_tree.h"

namespace tavrin::testing {
namespace {

using namespace tavrin::iso;
using Bytes = std::vector<uint8_t>;

Bytes Of(std::string_view text) { return Bytes(text.begin(), text.end()); }

template <std::size_t N>
Bytes Slice(const std::array<uint8_t, N>& block, std::size_t offset, std::size_t size) {
    return Bytes(block.begin() + offset, block.begin() + offset + size);
}

TDateTime At(int year, int month, int day, int hour, int minute, int second) {
    return compilation::DateTimeFromLocal({year, month, day, hour, minute, second, 0});
}

TEST(DirectoryRecords, OfAFileAreByteExact) {
    const auto record = EncodeDirectoryRecord({.extent = 0x12345,
                                               .dataLength = 2049,
                                               .date = RecordingDateOf(At(2026, 12, 10, 21, 5, 30), 32),
                                               .flags = RecordFlags(false, kAttrHidden),
                                               .identifier = "A.TXT;1"});
    const Bytes expected{40, 0,                                                   // length, no extended attributes
                         0x45, 0x23, 0x01, 0x00, 0x00, 0x01, 0x23, 0x45,          // extent, both
                         0x01, 0x08, 0x00, 0x00, 0x00, 0x00, 0x08, 0x01,          // 2049 bytes, both
                         126, 12, 10, 21, 5, 30, 32,                              // 2026-12-10 21:05:30, UTC+8
                         0x01, 0, 0,                                              // hidden file
                         1, 0, 0, 1,                                              // volume sequence 1, both
                         7, 'A', '.', 'T', 'X', 'T', ';', '1'};                   // odd length: no pad byte
    EXPECT_EQ(record, expected);
}

TEST(DirectoryRecords, OfTheSelfEntryArePaddedAfterAnEvenIdentifier) {
    const auto self = EncodeDirectoryRecord(
        {.extent = 23, .dataLength = 2048, .flags = kFlagDirectory, .identifier = kSelfIdentifier});
    ASSERT_TRUE(self);
    EXPECT_EQ(self->size(), kDotRecordBytes);
    EXPECT_EQ((*self)[record::kFlags], kFlagDirectory);
    EXPECT_EQ((*self)[record::kIdentifierLength], 1);
    EXPECT_EQ((*self)[record::kIdentifier], 0x00);

    const auto even = EncodeDirectoryRecord({.identifier = "AB"});
    ASSERT_TRUE(even);
    EXPECT_EQ(even->size(), 36u);
    EXPECT_EQ(even->back(), 0);
    EXPECT_EQ(RecordLength(2), 36u);
    EXPECT_EQ(RecordLength(221), 254u);
    EXPECT_FALSE(EncodeDirectoryRecord({.identifier = std::string(222, 'X')}));
}

struct RecordDateCase {
    TDateTime when;
    int8_t gmtOffset;
    RecordingDate expected;
};
class RecordDates : public ::testing::TestWithParam<RecordDateCase> {};
TEST_P(RecordDates, CarryTheGmtOffsetByte) {
    EXPECT_EQ(RecordingDateOf(GetParam().when, GetParam().gmtOffset), GetParam().expected);
}
INSTANTIATE_TEST_SUITE_P(
    Table, RecordDates,
    ::testing::Values(RecordDateCase{At(2000, 2, 29, 23, 59, 58), -20, {100, 2, 29, 23, 59, 58, 0xEC}},  // UTC-5
                      RecordDateCase{At(1900, 1, 1, 0, 0, 0), 0, {0, 1, 1, 0, 0, 0, 0}},
                      RecordDateCase{At(2155, 12, 31, 1, 2, 3), 52, {255, 12, 31, 1, 2, 3, 52}},
                      // The unset date of 1899 and years beyond the byte: not specified.
                      RecordDateCase{0.0, 32, {0, 0, 0, 0, 0, 0, 0}},
                      RecordDateCase{At(2156, 1, 1, 0, 0, 0), 32, {0, 0, 0, 0, 0, 0, 0}}));

// 68 bytes of self and parent, then records of 200 bytes: the tenth would cross byte
// 2048 (68 + 10 * 200 = 2068), so it starts the second block; 2100 bytes in all.
TEST(DirectoryExtents, NeverLetARecordCrossABlock) {
    const auto self = EncodeDirectoryRecord({.identifier = kSelfIdentifier});
    const auto parent = EncodeDirectoryRecord({.identifier = kParentIdentifier});
    const auto entry = EncodeDirectoryRecord({.flags = kFlagDirectory, .identifier = std::string(167, 'D')});
    ASSERT_EQ(entry->size(), 200u);

    DirectoryExtent extent;
    extent.Append(*self);
    extent.Append(*parent);
    for (int i = 0; i < 10; ++i) extent.Append(*entry);
    const Bytes bytes = std::move(extent).Finish();

    ASSERT_EQ(bytes.size(), 2 * kBlockBytes);
    const std::size_t ninthEnd = 68 + 9 * 200;
    EXPECT_TRUE(std::all_of(bytes.begin() + ninthEnd, bytes.begin() + kBlockBytes, [](uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::equal(entry->begin(), entry->end(), bytes.begin() + kBlockBytes));
    EXPECT_TRUE(std::all_of(bytes.begin() + kBlockBytes + 200, bytes.end(), [](uint8_t b) { return b == 0; }));

    const std::vector<std::size_t> lengths(10, 200);
    EXPECT_EQ(ExtentBytes(lengths), 2 * kBlockBytes);
    EXPECT_EQ(ExtentBytes(std::vector<std::size_t>(9, 200)), kBlockBytes);
    EXPECT_EQ(ExtentBytes({}), kBlockBytes);
    EXPECT_EQ(std::move(DirectoryExtent{}).Finish().size(), kBlockBytes);
}

TEST(PathTableRecords, AreByteExactInBothByteOrders) {
    const PathTableRecordFields fields{.extent = 0x0102A3, .parentNumber = 0x0203, .identifier = "DOCS"};
    EXPECT_EQ(EncodePathTableRecord(fields, ByteOrder::L),
              (Bytes{4, 0, 0xA3, 0x02, 0x01, 0x00, 0x03, 0x02, 'D', 'O', 'C', 'S'}));
    EXPECT_EQ(EncodePathTableRecord(fields, ByteOrder::M),
              (Bytes{4, 0, 0x00, 0x01, 0x02, 0xA3, 0x02, 0x03, 'D', 'O', 'C', 'S'}));
    // An odd identifier takes a pad byte.
    EXPECT_EQ(EncodePathTableRecord({.extent = 23, .parentNumber = 1, .identifier = kSelfIdentifier}, ByteOrder::L),
              (Bytes{1, 0, 23, 0, 0, 0, 1, 0, 0, 0}));
    EXPECT_FALSE(EncodePathTableRecord({.identifier = ""}, ByteOrder::L));
}

TEST(PathTables, ListTheSortedTreeWithAbsoluteExtents) {
    DirTree tree;
    const PDirEntry photos = tree.Add(tree.Root(), "\xD5\xD5\xC6\xAC", "____");  // 照片
    tree.Root()->IsoNumber = tree.Root()->JolietNumber = 1;
    photos->IsoNumber = photos->JolietNumber = 2;
    photos->IsoExtentOffset = 1;
    photos->JolietExtentOffset = 2;
    JolietNameEncoder encoder;

    EXPECT_EQ(EncodePathTable(tree.table, Tree::Iso, 20023, ByteOrder::M, encoder),
              (Bytes{1, 0, 0, 0, 0x4E, 0x37, 0, 1, 0, 0,  // root: 20023
                     4, 0, 0, 0, 0x4E, 0x38, 0, 1, '_', '_', '_', '_'}));
    EXPECT_EQ(EncodePathTable(tree.table, Tree::Joliet, 30, ByteOrder::L, encoder),
              (Bytes{1, 0, 30, 0, 0, 0, 1, 0, 0, 0,  //
                     4, 0, 32, 0, 0, 0, 1, 0, 0x71, 0x67, 0x72, 0x47}));
}

// The root's 10 bytes, 291 records of 14 bytes (6-character names) and one of 12
// (a 4-character name): exactly 4096 bytes, two blocks per copy and no padding.
TEST(PathTables, OfExactlyTwoBlocksNeedNoPadding) {
    DirTree tree;
    for (int i = 0; i < 291; ++i) {
        const PDirEntry dir = tree.Add(tree.Root(), "D" + std::string(5 - std::to_string(i).size(), '0') + std::to_string(i));
        dir->IsoNumber = static_cast<uint32_t>(i + 2);
    }
    tree.Add(tree.Root(), "LAST")->IsoNumber = 293;
    tree.Root()->IsoNumber = 1;
    JolietNameEncoder encoder;
    const auto table = EncodePathTable(tree.table, Tree::Iso, 23, ByteOrder::L, encoder);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->size(), 4096u);
    EXPECT_EQ(BlockRounded(table->size()), 4096u);
}

VolumeIdentity SampleIdentity() {
    VolumeIdentity identity;
    identity.IdSystem = "Linux";
    identity.IdVolume = "My Disc";
    identity.IdApplication = "Tavrin";
    identity.FileCopyright = "copy.txt";
    identity.DateCreation = compilation::DateTimeFromLocal({2026, 12, 10, 21, 5, 30, 7});
    return identity;
}

constexpr TreeLocation kLocation{.volumeSpaceBlocks = 150,
                                 .pathTableBytes = 10,
                                 .typeLPathTableBlock = 19,
                                 .typeMPathTableBlock = 20,
                                 .rootExtentBlock = 23,
                                 .rootExtentBytes = 2048};

void ExpectCommonFields(const DescriptorBlock& block) {
    using namespace descriptor;
    EXPECT_EQ(Slice(block, kStandardIdentifier, 5), Of("CD001"));
    EXPECT_EQ(block[kVersion], 1);
    EXPECT_EQ(Slice(block, kVolumeSpaceSize, 8), (Bytes{150, 0, 0, 0, 0, 0, 0, 150}));
    EXPECT_EQ(Slice(block, kVolumeSetSize, 12), (Bytes{1, 0, 0, 1, 1, 0, 0, 1, 0, 8, 8, 0}));
    EXPECT_EQ(Slice(block, kPathTableSize, 8), (Bytes{10, 0, 0, 0, 0, 0, 0, 10}));
    EXPECT_EQ(Slice(block, kTypeLPathTable, 16), (Bytes{19, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 20, 0, 0, 0, 0}));
    EXPECT_EQ(Slice(block, kRootDirectoryRecord, 34),
              (Bytes{34, 0, 23, 0, 0, 0, 0, 0, 0, 23, 0, 8, 0, 0, 0, 0, 8, 0,  //
                     0,  0, 0,  0, 0, 0, 0, 2, 0, 0, 1, 0, 0, 1, 1, 0}));
    EXPECT_EQ(Slice(block, kCreationDate, 17), Of(std::string_view("2026121021053007\0", 17)));
    EXPECT_EQ(Slice(block, kModificationDate, 17), Of(std::string_view("1899123000000000\0", 17)));
    EXPECT_EQ(Slice(block, kExpirationDate, 34), Of(std::string_view("0000000000000000\0000000000000000000\0", 34)));
    EXPECT_EQ(block[kFileStructureVersion], 1);
    EXPECT_EQ(Slice(block, kApplicationUse, 8), Of("        "));
    EXPECT_TRUE(std::all_of(block.begin() + kApplicationUse + 8, block.end(), [](uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::all_of(block.begin() + kFileStructureVersion + 1, block.begin() + kApplicationUse,
                            [](uint8_t b) { return b == 0; }));
}

TEST(VolumeDescriptors, PrimaryIsByteExact) {
    using namespace descriptor;
    const DescriptorBlock pvd = EncodePrimaryDescriptor(SampleIdentity(), kLocation);
    EXPECT_EQ(pvd[kType], 1);
    ExpectCommonFields(pvd);
    EXPECT_EQ(Slice(pvd, kSystemIdentifier, 64), Of("LINUX" + std::string(27, ' ') + "MY DISC" + std::string(25, ' ')));
    EXPECT_EQ(Slice(pvd, 72, 8), Bytes(8, 0));
    // No escape sequence: isoinfo would take the primary descriptor for the Joliet
    // one, and bsdtar would list nothing.
    EXPECT_EQ(Slice(pvd, kEscapeSequences, 32), Bytes(32, 0));
    EXPECT_EQ(Slice(pvd, kVolumeSetIdentifier, 128), Bytes(128, ' '));
    EXPECT_EQ(Slice(pvd, kApplicationIdentifier, 128), Of("TAVRIN" + std::string(122, ' ')));
    EXPECT_EQ(Slice(pvd, kCopyrightFile, 37), Of("COPY.TXT" + std::string(29, ' ')));
    EXPECT_EQ(Slice(pvd, kBibliographicFile, 37), Bytes(37, ' '));
}

Bytes Ucs2Field(std::string_view ascii, std::size_t width) {
    Bytes bytes;
    for (std::size_t i = 0; i < width / 2; ++i) {
        bytes.push_back(0);
        bytes.push_back(i < ascii.size() ? static_cast<uint8_t>(ascii[i]) : ' ');
    }
    return bytes;
}

TEST(VolumeDescriptors, JolietIsByteExact) {
    using namespace descriptor;
    JolietNameEncoder encoder;
    const DescriptorBlock svd = EncodeJolietDescriptor(SampleIdentity(), kLocation, encoder);
    EXPECT_EQ(svd[kType], 2);
    EXPECT_EQ(svd[kVolumeFlags], 0);
    ExpectCommonFields(svd);
    EXPECT_EQ(Slice(svd, kSystemIdentifier, 32), Ucs2Field("Linux", 32));
    EXPECT_EQ(Slice(svd, kVolumeIdentifier, 32), Ucs2Field("My Disc", 32));
    EXPECT_EQ(Slice(svd, kEscapeSequences, 3), (Bytes{0x25, 0x2F, 0x40}));
    EXPECT_EQ(Slice(svd, kApplicationIdentifier, 128), Ucs2Field("Tavrin", 128));
    Bytes copyright = Ucs2Field("copy.txt", 36);
    copyright.push_back(0);
    EXPECT_EQ(Slice(svd, kCopyrightFile, 37), copyright);
    EXPECT_EQ(svd[kAbstractFile + 36], 0);
    EXPECT_EQ(svd[kBibliographicFile + 36], 0);
}

TEST(VolumeDescriptors, TerminatorIsByteExact) {
    const DescriptorBlock terminator = EncodeTerminator();
    EXPECT_EQ(Slice(terminator, 0, 7), (Bytes{255, 'C', 'D', '0', '0', '1', 1}));
    EXPECT_TRUE(std::all_of(terminator.begin() + 7, terminator.end(), [](uint8_t b) { return b == 0; }));
}

}  // namespace
}  // namespace tavrin::testing
