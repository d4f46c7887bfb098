// The session layout of compilations prepared for an image file, byte for byte:
// the positions of every part, the descriptors, the path tables, the directory
// records and the file extents.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "engine/compilation/date_time.h"
#include "engine/iso/layout.h"
#include "tests/compilation/burner_fixture.h"
#include "tests/iso/image_check.h"

namespace tavrin::testing {
namespace {

using iso::ImageSizeBlocks;
using iso::Prepare;

const TDateTime kBuildTime = compilation::DateTimeFromLocal({2026, 12, 10, 21, 0, 0, 0});

class LayoutTest : public BurnerTest {
protected:
    void PrepareImage() {
        ASSERT_TRUE(Prepare(burner, true, kBuildTime));
        ASSERT_EQ(burner.HeaderStream.size(), uint64_t{burner.Layout.FirstFileBlock} * kBlockBytes);
    }
    std::span<const uint8_t> Block(uint64_t block, std::size_t count = 1) const {
        return std::span<const uint8_t>(burner.HeaderStream).subspan(block * kBlockBytes, count * kBlockBytes);
    }
    std::span<const uint8_t> Blocks(uint64_t bytePosition, uint64_t bytes) const {
        return std::span<const uint8_t>(burner.HeaderStream).subspan(bytePosition, bytes);
    }
    static bool AllZero(std::span<const uint8_t> bytes) {
        return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
    }
    // The records of the root in one tree.
    std::vector<ParsedRecord> RootRecords(bool joliet) const {
        const TSessionLayout& l = burner.Layout;
        const uint64_t bytes = joliet ? burner.Root()->JolietExtentSize : burner.Root()->IsoExtentSize;
        return ReadRecords(Blocks(joliet ? l.JolietDirRecordsPos : l.IsoDirRecordsPos, bytes));
    }
    PFileEntry AddFile(PDirEntry dir, const std::string& name, uint64_t size, uint32_t address = 0) {
        EXPECT_TRUE(burner.InsertFile(dir, Record(name, size), false, address, address ? "" : "/src/" + name));
        return burner.FindChild(dir, name);
    }
};

Bytes Prefix(std::span<const uint8_t> bytes, std::size_t n) { return Bytes(bytes.begin(), bytes.begin() + n); }

TEST_F(LayoutTest, EmptyCompilationForAnImageFile) {
    PrepareImage();
    const TSessionLayout& l = burner.Layout;
    EXPECT_EQ(l.SessionStart, 0u);
    const std::vector<uint64_t> positions{l.PrimaryDescriptorPos, l.JolietDescriptorPos, l.TerminatorPos,
                                          l.IsoPathTableLPos,     l.IsoPathTableMPos,    l.JolietPathTableLPos,
                                          l.JolietPathTableMPos,  l.IsoDirRecordsPos,    l.JolietDirRecordsPos};
    for (std::size_t i = 0; i < positions.size(); ++i) EXPECT_EQ(positions[i], (16 + i) * kBlockBytes) << i;
    EXPECT_EQ(l.IsoPathTableBytes, 10u);
    EXPECT_EQ(l.JolietPathTableBytes, 10u);
    EXPECT_EQ(l.IsoDirAreaBytes, kBlockBytes);
    EXPECT_EQ(l.JolietDirAreaBytes, kBlockBytes);
    EXPECT_EQ(l.FirstFileBlock, 150u);
    EXPECT_EQ(l.FileDataBlocks, 0u);
    EXPECT_EQ(l.EndBlock, 150u);
    EXPECT_EQ(l.SessionSizeBlocks, 150u);
    EXPECT_EQ(ImageSizeBlocks(burner), 300u);
    burner.WritePostGap = false;
    EXPECT_EQ(ImageSizeBlocks(burner), 150u);
    EXPECT_TRUE(burner.DoDebug);

    EXPECT_TRUE(AllZero(Block(0, 16)));
    EXPECT_TRUE(AllZero(Block(25, 125)));

    // The four path tables: the root's record alone, then zeros.
    const Bytes isoL{1, 0, 23, 0, 0, 0, 1, 0, 0, 0};
    const Bytes isoM{1, 0, 0, 0, 0, 23, 0, 1, 0, 0};
    const Bytes jolietL{1, 0, 24, 0, 0, 0, 1, 0, 0, 0};
    const Bytes jolietM{1, 0, 0, 0, 0, 24, 0, 1, 0, 0};
    const std::vector<Bytes> tables{isoL, isoM, jolietL, jolietM};
    for (std::size_t i = 0; i < tables.size(); ++i) {
        EXPECT_EQ(Prefix(Block(19 + i), 10), tables[i]) << i;
        EXPECT_TRUE(AllZero(Block(19 + i).subspan(10))) << i;
    }

    // The root's self and parent records, each extent one block, dated at the build.
    const auto g = static_cast<uint8_t>(burner.GmtOffset());
    for (const uint8_t area : {23, 24}) {
        const Bytes self{34, 0, area, 0, 0, 0, 0, 0, 0, area, 0, 8, 0, 0, 0, 0, 8, 0,
                         126, 12, 10, 21, 0, 0, g, 2, 0, 0, 1, 0, 0, 1, 1, 0};
        Bytes parent = self;
        parent[33] = 1;
        EXPECT_EQ(Prefix(Block(area), 34), self) << int{area};
        EXPECT_EQ(Prefix(Block(area).subspan(34), 34), parent) << int{area};
        EXPECT_TRUE(AllZero(Block(area).subspan(68))) << int{area};
    }

    // The descriptors' numbers: volume space 150, path tables 10 bytes at 19/20
    // (ISO) and 21/22 (Joliet), the root extent one block at 23 (ISO) or 24 (Joliet).
    const auto primary = Block(16);
    const auto joliet = Block(17);
    EXPECT_EQ(Prefix(primary, 8), (Bytes{1, 'C', 'D', '0', '0', '1', 1, 0}));
    EXPECT_EQ(Prefix(joliet, 8), (Bytes{2, 'C', 'D', '0', '0', '1', 1, 0}));
    EXPECT_EQ(Prefix(primary.subspan(88), 3), (Bytes{0, 0, 0}));
    EXPECT_EQ(Prefix(joliet.subspan(88), 3), (Bytes{0x25, 0x2F, 0x40}));
    for (const auto& [descriptor, first, root] : {std::tuple{primary, 19u, 23u}, std::tuple{joliet, 21u, 24u}}) {
        EXPECT_EQ(Both32(descriptor, 80), 150u);
        EXPECT_EQ(Both32(descriptor, 132), 10u);
        EXPECT_EQ(Le32(descriptor, 140), first);
        EXPECT_EQ(Be32(descriptor, 148), first + 1);
        EXPECT_EQ(Both32(descriptor, 156 + 2), root);
        EXPECT_EQ(Both32(descriptor, 156 + 10), kBlockBytes);
    }
    EXPECT_EQ(Prefix(Block(18), 7), (Bytes{255, 'C', 'D', '0', '0', '1', 1}));
    EXPECT_TRUE(AllZero(Block(18).subspan(7)));
}

TEST_F(LayoutTest, WithoutJolietOnlyTheIsoTreeIsLaidOut) {
    burner.JolietFileSystem = false;
    AddFile(burner.Root(), "a.txt", 5);
    PrepareImage();
    const TSessionLayout& l = burner.Layout;
    EXPECT_EQ(l.PrimaryDescriptorPos, 16 * kBlockBytes);
    EXPECT_EQ(l.TerminatorPos, 17 * kBlockBytes);
    EXPECT_EQ(l.IsoPathTableLPos, 18 * kBlockBytes);
    EXPECT_EQ(l.IsoPathTableMPos, 19 * kBlockBytes);
    EXPECT_EQ(l.IsoDirRecordsPos, 20 * kBlockBytes);
    EXPECT_EQ(l.JolietDescriptorPos, 0u);
    EXPECT_EQ(l.JolietPathTableLPos, 0u);
    EXPECT_EQ(l.JolietDirRecordsPos, 0u);
    EXPECT_EQ(l.JolietPathTableBytes, 0u);
    EXPECT_EQ(l.JolietDirAreaBytes, 0u);
    EXPECT_EQ(l.FirstFileBlock, 150u);
    EXPECT_EQ(l.SessionSizeBlocks, 151u);

    EXPECT_EQ(Prefix(Block(16).subspan(88), 3), (Bytes{0, 0, 0}));
    EXPECT_EQ(Block(17)[0], 255);
    EXPECT_EQ(Le32(Block(16), 140), 18u);
    EXPECT_EQ(Be32(Block(16), 148), 19u);
    EXPECT_EQ(Both32(Block(16), 156 + 2), 20u);
    EXPECT_TRUE(AllZero(Block(21, 129)));
    const auto records = RootRecords(false);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[2].identifier, "A.TXT;1");
    EXPECT_EQ(records[2].extent, 150u);
}

TEST_F(LayoutTest, FileExtentsFollowTheFileTable) {
    const PDirEntry sub = burner.CreateDir(burner.Root(), "sub", platform::kAttrDirectory);
    ASSERT_NE(sub, nullptr);
    AddFile(burner.Root(), "big.bin", 2049);
    AddFile(burner.Root(), "empty.txt", 0);
    AddFile(sub, "one.txt", 1);
    AddFile(burner.Root(), "old.dat", 5000, 900);  // from an earlier session at block 900
    AddFile(burner.Root(), Gbk("文件.txt"), 2048);
    PrepareImage();
    const TSessionLayout& l = burner.Layout;
    EXPECT_EQ(l.FileDataBlocks, 4u);  // 2 + 0 + 1 + 1; the imported file has none
    EXPECT_EQ(l.EndBlock, 154u);
    EXPECT_EQ(l.SessionSizeBlocks, 154u);
    EXPECT_EQ(burner.TotalSize(), 4 * static_cast<int64_t>(kBlockBytes));

    struct Expected {
        std::string isoName;
        uint64_t extent;
        uint64_t size;
        uint8_t flags;
    };
    // In list order: the root's files, then the subdirectory's entry (added first).
    const std::vector<Expected> iso{{"SUB", 23 + 1, kBlockBytes, 2},       {"BIG.BIN;1", 150, 2049, 0},
                                    {"EMPTY.TXT;1", 0, 0, 0},              {"OLD.DAT;1", 900, 5000, 0},
                                    {"____.TXT;1", 153, 2048, 0}};  // no GBK bytes in ISO names
    const auto records = RootRecords(false);
    ASSERT_EQ(records.size(), iso.size() + 2);
    for (std::size_t i = 0; i < iso.size(); ++i) {
        const ParsedRecord& r = records[i + 2];
        EXPECT_EQ(r.identifier, iso[i].isoName) << i;
        EXPECT_EQ(r.extent, iso[i].extent) << i;
        EXPECT_EQ(r.size, iso[i].size) << i;
        EXPECT_EQ(r.flags, iso[i].flags) << i;
    }
    // one.txt follows big.bin's two blocks.
    const auto subRecords = ReadRecords(Blocks(l.IsoDirRecordsPos + kBlockBytes, kBlockBytes));
    ASSERT_EQ(subRecords.size(), 3u);
    EXPECT_EQ(subRecords[0].extent, 24u);
    EXPECT_EQ(subRecords[1].extent, 23u);  // the parent: the root
    EXPECT_EQ(subRecords[2].identifier, "ONE.TXT;1");
    EXPECT_EQ(subRecords[2].extent, 152u);

    // The Joliet tree: the same extents, the names in UCS-2 with nothing after ";1".
    const auto joliet = RootRecords(true);
    ASSERT_EQ(joliet.size(), records.size());
    EXPECT_EQ(joliet[2].extent, l.JolietDirRecordsPos / kBlockBytes + 1);
    const std::string wenjian("\x65\x87\x4E\xF6\x00.\x00t\x00x\x00t\x00;\x00\x31", 16);
    EXPECT_EQ(joliet.back().identifier, wenjian);
    EXPECT_EQ(joliet.back().extent, 153u);
    EXPECT_EQ(joliet[4].extent, 0u);
    EXPECT_EQ(joliet[5].extent, 900u);
}

TEST_F(LayoutTest, RecordsNeverCrossABlock) {
    // 44 files of 46-byte records after the 68 bytes of "." and "..": the 44th would
    // end at byte 2092, so it opens the second block.
    for (int i = 0; i < 44; ++i) AddFile(burner.Root(), fmt::format("FILE{:02}.TXT", i), 0);
    PrepareImage();
    EXPECT_EQ(burner.Root()->IsoExtentSize, 2 * kBlockBytes);
    const auto records = RootRecords(false);
    ASSERT_EQ(records.size(), 46u);
    EXPECT_EQ(records[44].offset, 68u + 42 * 46);
    EXPECT_EQ(records[45].offset, kBlockBytes);
    EXPECT_EQ(records[45].identifier, "FILE43.TXT;1");
    EXPECT_TRUE(AllZero(Blocks(burner.Layout.IsoDirRecordsPos + 68 + 43 * 46, 2)));
    EXPECT_TRUE(AllZero(Blocks(burner.Layout.IsoDirRecordsPos + kBlockBytes + 46, kBlockBytes - 46)));
    // The Joliet area starts after both blocks.
    EXPECT_EQ(burner.Layout.JolietDirRecordsPos, burner.Layout.IsoDirRecordsPos + 2 * kBlockBytes);
}

TEST_F(LayoutTest, PathTableOfExactlyTwoBlocks) {
    // 10 bytes for the root, 251 records of 16 bytes and 5 of 14: 4096 bytes.
    for (int i = 0; i < 256; ++i) {
        const std::string name = i < 251 ? fmt::format("DIR{:05}", i) : fmt::format("D{:05}", i);
        ASSERT_NE(burner.CreateDir(burner.Root(), name, platform::kAttrDirectory), nullptr) << name;
    }
    PrepareImage();
    const TSessionLayout& l = burner.Layout;
    ASSERT_EQ(l.IsoPathTableBytes, 4096u);
    EXPECT_EQ(l.IsoPathTableLPos, 19 * kBlockBytes);
    EXPECT_EQ(l.IsoPathTableMPos, 21 * kBlockBytes);
    EXPECT_EQ(l.JolietPathTableLPos, 23 * kBlockBytes);
    EXPECT_EQ(l.JolietPathTableBytes, 10u + 251 * 24 + 5 * 20);  // three blocks
    EXPECT_EQ(l.JolietPathTableMPos, 26 * kBlockBytes);
    EXPECT_EQ(l.IsoDirRecordsPos, 29 * kBlockBytes);
    EXPECT_EQ(Both32(Block(16), 132), 4096u);
    EXPECT_EQ(Both32(Block(17), 132), l.JolietPathTableBytes);
    // The M table follows the L table with no padding: its root record opens block 21.
    EXPECT_EQ(Prefix(Block(21), 8), (Bytes{1, 0, 0, 0, 0, 29, 0, 1}));
    // The last record of the L table ("D0..." sorts before "DIR...") fills the
    // table's last bytes.
    const auto lastL = Blocks(l.IsoPathTableLPos + 4096 - 16, 16);
    EXPECT_EQ(lastL[0], 8);
    EXPECT_EQ(Le32(lastL, 2), 29u + burner.FindDir("\\DIR00250")->IsoExtentOffset);
    EXPECT_EQ(Le16(lastL, 6), 1u);
    EXPECT_EQ(std::string(lastL.begin() + 8, lastL.end()), "DIR00250");
}

// The dates of the records: the build time in the self records, each entry's own
// time in its record, the zone in 15-minute units as the compilation has it.
class LayoutDates : public LayoutTest, public ::testing::WithParamInterface<int8_t> {};

TEST_P(LayoutDates, CarryTheGmtOffset) {
    AddFile(burner.Root(), "a.txt", 1);
    burner.Tree().GmtOffset = GetParam();
    burner.DateCreation = compilation::DateTimeFromLocal({2024, 2, 29, 13, 14, 15, 678});
    PrepareImage();
    const auto g = static_cast<uint8_t>(GetParam());
    const auto records = RootRecords(false);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].date, (std::array<uint8_t, 7>{126, 12, 10, 21, 0, 0, g}));
    EXPECT_EQ(records[1].date, records[0].date);
    // Record() lists the file at 2025-01-11 13:33:58.
    EXPECT_EQ(records[2].date, (std::array<uint8_t, 7>{125, 1, 11, 13, 33, 58, g}));
    for (const uint64_t block : {16, 17}) {
        const auto d = Block(block);
        EXPECT_EQ(std::string(d.begin() + 813, d.begin() + 830), std::string("2024022913141567") + '\0');
        EXPECT_EQ(std::string(d.begin() + 830, d.begin() + 847), std::string("1899123000000000") + '\0');
        EXPECT_EQ(std::string(d.begin() + 847, d.begin() + 864), std::string("0000000000000000") + '\0');
        EXPECT_EQ(std::string(d.begin() + 864, d.begin() + 881), std::string("0000000000000000") + '\0');
        EXPECT_TRUE(AllZero(d.subspan(156 + 18, 7)));  // the root record in the descriptor has no date
    }
}

INSTANTIATE_TEST_SUITE_P(Zones, LayoutDates, ::testing::Values(int8_t{0}, int8_t{32}, int8_t{-20}, int8_t{23}));

TEST_F(LayoutTest, SecondPrepareStartsFromAnEmptyHeader) {
    AddFile(burner.Root(), "a.txt", 3000);
    PrepareImage();
    const Bytes first = burner.HeaderStream;
    const TSessionLayout layout = burner.Layout;
    PrepareImage();
    EXPECT_EQ(burner.HeaderStream, first);
    EXPECT_EQ(burner.Layout.SessionSizeBlocks, layout.SessionSizeBlocks);
    EXPECT_EQ(burner.Layout.FileDataBlocks, 2u);
}

}  // namespace
}  // namespace tavrin::testing

namespace tavrin::testing {
namespace {

// A path table names a directory's parent by a 16-bit number: a directory under
// one numbered beyond it cannot be recorded, and no half-made header is left.
TEST_F(LayoutTest, RefusesParentsBeyondSixteenBitNumbers) {
    ASSERT_TRUE(burner.ClearAll(65540, 65540));  // a subdirectory is a file entry too
    PDirEntry last = nullptr;
    for (int i = 0; i < 65536; ++i) {
        last = burner.CreateDir(burner.Root(), fmt::format("D{:05}", i), platform::kAttrDirectory);
        ASSERT_NE(last, nullptr) << i;
    }
    ASSERT_TRUE(Prepare(burner, true, kBuildTime));  // every parent is the root: number 1
    ASSERT_NE(burner.CreateDir(last, "deep", platform::kAttrDirectory), nullptr);  // its parent is number 65537
    lines.clear();
    EXPECT_FALSE(Prepare(burner, true, kBuildTime));
    EXPECT_TRUE(burner.HeaderStream.empty());
    EXPECT_TRUE(burner.DoDebug);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].type, kDebugImage);
}

}  // namespace
}  // namespace tavrin::testing
