// Joliet identifiers, the limits of record names and the descriptor text fields.
#include <gtest/gtest.h>

#include <string>

#include "engine/compilation/date_time.h"
#include "engine/compilation/names.h"
#include "engine/iso/descriptor_text.h"
#include "engine/iso/directory_record.h"
#include "engine/iso/identifiers.h"
#include "engine/iso/joliet_names.h"

namespace tavrin::testing {
namespace {

using namespace tavrin::iso;

// GBK bytes of the Chinese names used below.
const std::string kWenJian = "\xCE\xC4\xBC\xFE";  // 文件
const std::string kZhaoPian = "\xD5\xD5\xC6\xAC";  // 照片

std::string Ucs2(std::u16string_view text) {
    std::string bytes;
    for (const char16_t c : text) {
        bytes += static_cast<char>(c >> 8);
        bytes += static_cast<char>(c & 0xFF);
    }
    return bytes;
}

struct JolietCase {
    std::string gbk;
    std::u16string expected;
};
class JolietNames : public ::testing::TestWithParam<JolietCase> {};
TEST_P(JolietNames, AreTheExactUcs2FormWithNoFill) {
    EXPECT_EQ(EncodeJolietName(GetParam().gbk), Ucs2(GetParam().expected));
}
INSTANTIATE_TEST_SUITE_P(Table, JolietNames,
                         ::testing::Values(JolietCase{"readme.TXT", u"readme.TXT"},  // case kept
                                           JolietCase{kWenJian + ".txt;1", u"\u6587\u4EF6.txt;1"},
                                           JolietCase{kZhaoPian, u"\u7167\u7247"}, JolietCase{"", u""},
                                           // A lone lead byte and a byte GBK does not use.
                                           JolietCase{"a\x81", u"a_"}, JolietCase{"x\xFFy", u"x_y"}));

TEST(JolietIdentifiers, OfAChineseFileAreSixteenBytesWithTheVersionLast) {
    JolietNameEncoder encoder;
    const std::string file = JolietFileIdentifier(encoder, kWenJian + ".txt");
    EXPECT_EQ(file.size(), 16u);
    EXPECT_EQ(file, Ucs2(u"\u6587\u4EF6.txt;1"));
    EXPECT_EQ(JolietDirectoryIdentifier(encoder, kZhaoPian), Ucs2(u"\u7167\u7247"));
    EXPECT_EQ(IsoFileIdentifier("README.TXT"), "README.TXT;1");
    EXPECT_EQ(IsoDirectoryIdentifier(compilation::MakeShortName(kZhaoPian)), "____");
}

// The longest accepted long names give records that just fit their length byte; one
// byte more would not.
struct LimitCase {
    bool isDirectory;
    std::size_t longestBytes;
};
class NameLimits : public ::testing::TestWithParam<LimitCase> {};
TEST_P(NameLimits, KeepEveryRecordWithinItsLengthByte) {
    const auto [isDirectory, longest] = GetParam();
    JolietNameEncoder encoder;
    auto identifier = [&](std::size_t bytes) {
        const std::string name(bytes, 'n');
        return isDirectory ? JolietDirectoryIdentifier(encoder, name) : JolietFileIdentifier(encoder, name);
    };
    EXPECT_TRUE(FitsJolietRecord(std::string(longest, 'n'), isDirectory));
    EXPECT_FALSE(FitsJolietRecord(std::string(longest + 1, 'n'), isDirectory));
    EXPECT_TRUE(EncodeDirectoryRecord({.identifier = identifier(longest)}).has_value());
    EXPECT_FALSE(EncodeDirectoryRecord({.identifier = identifier(longest + 1)}).has_value());
}
INSTANTIATE_TEST_SUITE_P(Table, NameLimits,
                         ::testing::Values(LimitCase{false, kMaxJolietFileNameBytes},
                                           LimitCase{true, kMaxJolietDirNameBytes}));

TEST(EightBitFields, AreCutAndSpaceFilled) {
    EXPECT_EQ(EightBitField("My Disc", 10, LetterCase::Upper), "MY DISC   ");
    EXPECT_EQ(EightBitField("My Disc", 10, LetterCase::Kept), "My Disc   ");
    EXPECT_EQ(EightBitField("abcdefgh", 4, LetterCase::Upper), "ABCD");
    EXPECT_EQ(EightBitField("", 3, LetterCase::Upper), "   ");
}

TEST(JolietFields, AreUcs2CutToWholeCharactersAndFilledWithSpaces) {
    JolietNameEncoder encoder;
    EXPECT_EQ(JolietField(encoder, "My", 8), Ucs2(u"My  "));
    EXPECT_EQ(JolietField(encoder, kZhaoPian + "abc", 6), Ucs2(u"\u7167\u7247a"));
    // An odd width holds whole characters; its last byte stays 0.
    EXPECT_EQ(JolietField(encoder, "abc", 5), Ucs2(u"ab") + std::string(1, '\0'));
    EXPECT_EQ(JolietField(encoder, "", 4), Ucs2(u"  "));
}

struct DateCase {
    platform::LocalDateTime local;
    std::string expected;
};
class VolumeDates : public ::testing::TestWithParam<DateCase> {};
TEST_P(VolumeDates, AreSixteenCharactersAndAZero) {
    const std::string date = VolumeDate(compilation::DateTimeFromLocal(GetParam().local));
    EXPECT_EQ(date, GetParam().expected + std::string(1, '\0'));
}
INSTANTIATE_TEST_SUITE_P(
    Table, VolumeDates,
    ::testing::Values(DateCase{{2026, 12, 10, 20, 5, 9, 7}, "2026121020050907"},
                      // Three millisecond digits: the first two are kept.
                      DateCase{{2026, 1, 2, 3, 4, 5, 456}, "2026010203040545"},
                      // An unset date is the day count 0.
                      DateCase{{1899, 12, 30, 0, 0, 0, 0}, "1899123000000000"}));

TEST(VolumeDates, OutsideTheFourDigitYearsAreNotSpecified) {
    EXPECT_EQ(VolumeDate(1e7), std::string(16, '0') + std::string(1, '\0'));
    EXPECT_EQ(UnspecifiedVolumeDate(), std::string(16, '0') + std::string(1, '\0'));
}

}  // namespace
}  // namespace tavrin::testing
