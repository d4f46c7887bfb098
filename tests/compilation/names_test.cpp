// Short names, GBK-aware "\" handling, local paths and recording dates.
#include <gtest/gtest.h>

#include "engine/compilation/date_time.h"
#include "engine/compilation/local_paths.h"
#include "engine/compilation/names.h"
#include "tests/compilation/burner_fixture.h"

namespace tavrin::testing {
namespace {

using namespace tavrin::compilation;

struct TextCase {
    std::string input;
    std::string expected;
};

class ShortNames : public ::testing::TestWithParam<TextCase> {};
TEST_P(ShortNames, FollowTheRules) {
    EXPECT_EQ(MakeShortName(GetParam().input), GetParam().expected);
}
INSTANTIATE_TEST_SUITE_P(Table, ShortNames,
                         ::testing::Values(TextCase{"Program Files (x86)", "PROGRAM_FILES"},
                                           TextCase{"\xD6\xD0\xCE\xC4\xC3\xFB", "______"},  // 中文名
                                           TextCase{"a{b}~c", "A_B__C"}, TextCase{"", ""},
                                           TextCase{"readme.txt", "README.TXT"},
                                           TextCase{"exactly13char", "EXACTLY13CHAR"}));

TEST(AsciiUpperCase, ChangesOnlyLatinLetters) {
    // The trail byte 61h of a double-byte character is upper-cased too, as the
    // compilation compares names bytewise.
    EXPECT_EQ(AsciiUpper("abc\x81\x61z{"), "ABC\x81\x41Z{");
    EXPECT_TRUE(EqualIgnoringAsciiCase("Read Me.TXT", "read me.txt"));
    EXPECT_FALSE(EqualIgnoringAsciiCase("a", "ab"));
    EXPECT_EQ(HashIgnoringAsciiCase("MiXeD"), HashIgnoringAsciiCase("mixed"));
}

TEST(Backslashes, AreFoundOnlyAsCharacters) {
    const std::string trail = "\x81\x5C";  // one GBK character ending in the byte 5Ch
    EXPECT_FALSE(EndsWithBackslash("\\A" + trail));
    EXPECT_TRUE(EndsWithBackslash("\\A" + trail + "\\"));
    EXPECT_EQ(WithoutTrailingBackslash("\\" + trail), "\\" + trail);
    EXPECT_EQ(WithoutTrailingBackslash("\\A\\\\"), "\\A\\");
    EXPECT_EQ(LastBackslash("\\A\\" + trail), std::optional<std::size_t>(2));
    EXPECT_EQ(LastBackslash(trail), std::nullopt);
    EXPECT_EQ(WithoutLeadingBackslash("\\\\x"), "\\x");
}

class LastFolders : public ::testing::TestWithParam<TextCase> {};
TEST_P(LastFolders, KeepOnlyTheLastFolder) {
    EXPECT_EQ(KeepLastFolder(GetParam().input), GetParam().expected);
}
INSTANTIATE_TEST_SUITE_P(Table, LastFolders,
                         ::testing::Values(TextCase{"\\data\\photos\\", "\\photos\\"}, TextCase{"\\", "\\"},
                                           TextCase{"\\photos\\", "\\photos\\"}, TextCase{"\\a\\b", "\\b"},
                                           TextCase{"\\x\\\x81\x5C\\", "\\\x81\x5C\\"}, TextCase{"", ""}));

class CompilationFolders : public ::testing::TestWithParam<TextCase> {};
TEST_P(CompilationFolders, DropServerAndShareAndTurnSlashes) {
    EXPECT_EQ(CompilationFolderOf(GetParam().input), GetParam().expected);
}
INSTANTIATE_TEST_SUITE_P(Table, CompilationFolders,
                         ::testing::Values(TextCase{"/home/user/photos/", "\\home\\user\\photos\\"},
                                           TextCase{"/", "\\"},
                                           TextCase{"//server/share/photos/2024/", "\\photos\\2024\\"},
                                           TextCase{"//server/share", ""}, TextCase{"//server", ""},
                                           TextCase{"\\Copy\\", "\\Copy\\"}, TextCase{"", ""}));

TEST(LocalPaths, TellLocalFromNetworkPaths) {
    EXPECT_TRUE(IsLocalPath("/home"));
    EXPECT_FALSE(IsLocalPath("//server/share"));
    EXPECT_FALSE(IsLocalPath("\\Copy\\"));
    EXPECT_FALSE(IsLocalPath("relative/x"));
    EXPECT_EQ(FolderPart("/a/b/c.txt"), "/a/b/");
    EXPECT_EQ(FolderPart("c.txt"), "");
}

TEST(RecordingDates, CountDaysFrom1899) {
    EXPECT_EQ(DateTimeFromLocal({1899, 12, 30, 0, 0, 0, 0}), 0.0);
    EXPECT_EQ(DateTimeFromLocal({1900, 1, 1, 12, 0, 0, 0}), 2.5);
    EXPECT_EQ(DateTimeFromLocal({2000, 1, 1, 0, 0, 0, 0}), 36526.0);
    // 2025-01-11 13:33:58 as a DOS date-time.
    const platform::DosDateTime dos = (45u << 9 | 1u << 5 | 11u) << 16 | (13u << 11 | 33u << 5 | 29u);
    const auto local = LocalFromDateTime(DateTimeFromDos(dos));
    ASSERT_TRUE(local);
    EXPECT_EQ(*local, (platform::LocalDateTime{2025, 1, 11, 13, 33, 58, 0}));
    EXPECT_EQ(DateTimeFromDos(0), 0.0);  // day 0 is no date
    EXPECT_EQ(LocalFromDateTime(1e9), std::nullopt);
}

}  // namespace
}  // namespace tavrin::testing
