// Long names that no directory record can hold are refused when they are added,
// with a debug line naming them, so that a layout never meets them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/compilation/name_limits.h"
#include "tests/compilation/burner_fixture.h"

namespace tavrin::testing {
namespace {

using compilation::kMaxJolietDirNameBytes;
using compilation::kMaxJolietFileNameBytes;

std::string TooLong(const std::string& named) {
    return "NAME \"" + named + "\" IS TOO LONG FOR A DIRECTORY RECORD, NOT ADDED";
}

// A name of exactly `bytes` bytes ending in ".txt".
std::string FileName(std::size_t bytes) {
    return std::string(bytes - 4, 'f') + ".txt";
}

// Two-byte GBK characters count twice: 54 of them and ".t" make 110 bytes.
std::string ChineseName(std::size_t characters, const std::string& tail) {
    std::string name;
    for (std::size_t i = 0; i < characters; ++i) name += "\xCE\xC4";  // 文
    return name + tail;
}

struct LimitCase {
    const char* label;
    bool directory;
    std::string name;
    bool added;
};

class LongNames : public BurnerTest, public ::testing::WithParamInterface<LimitCase> {};

TEST_P(LongNames, AreRefusedBeyondTheRecordLimit) {
    const LimitCase& c = GetParam();
    bool added = false;
    std::string named;
    if (c.directory) {
        added = burner.CreateDir(burner.Root(), c.name, platform::kAttrDirectory) != nullptr;
        named = "\\" + c.name;
    } else {
        named = folder / "source.bin";
        added = burner.InsertFile(burner.Root(), Record(c.name, 10), false, 0, named);
    }
    EXPECT_EQ(added, c.added);
    EXPECT_EQ(Names(burner.Root()), c.added ? std::vector<std::string>{c.name} : std::vector<std::string>{});
    const std::vector<DebugLine> expected =
        c.added ? std::vector<DebugLine>{} : std::vector<DebugLine>{{TooLong(named), kDebugImage}};
    EXPECT_EQ(lines, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Limits, LongNames,
    ::testing::Values(LimitCase{"FileAtLimit", false, FileName(kMaxJolietFileNameBytes), true},
                      LimitCase{"FileBeyond", false, FileName(kMaxJolietFileNameBytes + 1), false},
                      LimitCase{"ChineseFileAtLimit", false, ChineseName(53, ".t"), true},
                      LimitCase{"ChineseFileBeyond", false, ChineseName(53, ".tx"), false},
                      LimitCase{"DirectoryAtLimit", true, std::string(kMaxJolietDirNameBytes, 'd'), true},
                      LimitCase{"DirectoryBeyond", true, std::string(kMaxJolietDirNameBytes + 1, 'd'), false},
                      LimitCase{"ChineseDirectoryAtLimit", true, ChineseName(55, ""), true},
                      LimitCase{"ChineseDirectoryBeyond", true, ChineseName(55, "d"), false}),
    [](const auto& info) { return std::string(info.param.label); });

// The name counts as the OnAddFile handler leaves it.
TEST_F(BurnerTest, LongFileNameShortenedByTheHandlerIsAdded) {
    burner.OnAddFile = [](TvxCDBurner&, const std::string&, std::string& longName, std::string&, TDateTime&, uint32_t,
                          uint64_t, bool&) { longName = "short.txt"; };
    EXPECT_TRUE(burner.InsertFile(burner.Root(), Record(FileName(120), 10), false, 0, "/src/x"));
    EXPECT_EQ(Names(burner.Root()), std::vector<std::string>{"short.txt"});
    EXPECT_TRUE(lines.empty());
}

// A folder scan leaves out the file and the folder whose names are too long and adds
// everything else, the folders after the refused one included.
TEST_F(BurnerTest, FolderScanLeavesOutTooLongNamesAndGoesOn) {
    MakeFolder("src/" + std::string(kMaxJolietDirNameBytes + 1, 'a'));
    MakeFolder("src/b");
    MakeFile("src/b/inner.txt", 5);
    MakeFile("src/" + FileName(kMaxJolietFileNameBytes + 1), 3);
    MakeFile("src/ok.txt", 1);
    const std::string source = folder / "src/";

    EXPECT_TRUE(burner.InsertDir(burner.Root(), source, "*.*", 63, true, false, false));

    EXPECT_EQ(Names(burner.Root()), (std::vector<std::string>{"ok.txt", "b"}));
    EXPECT_NE(burner.FindFile("\\B", "inner.txt"), nullptr);
    EXPECT_EQ(lines, (std::vector<DebugLine>{
                         {TooLong(source + FileName(kMaxJolietFileNameBytes + 1)), kDebugImage},
                         {TooLong(source + std::string(kMaxJolietDirNameBytes + 1, 'a')), kDebugImage}}));
}

// A rename cannot bring in what insertion refuses; the entry keeps its names.
TEST_F(BurnerTest, RenameToATooLongNameIsRefused) {
    ASSERT_TRUE(burner.InsertFile(burner.Root(), Record("a.txt", 10), false, 0, "/src/a.txt"));
    const std::string tooLong = FileName(kMaxJolietFileNameBytes + 1);
    EXPECT_FALSE(burner.RenameFile("\\", "a.txt", "B.TXT", tooLong));
    EXPECT_EQ(Names(burner.Root()), std::vector<std::string>{"a.txt"});
    EXPECT_EQ(burner.Root()->FirstEntry->ShortName, "A.TXT");
    EXPECT_EQ(lines, (std::vector<DebugLine>{{TooLong(tooLong), kDebugImage}}));
}

}  // namespace
}  // namespace tavrin::testing
