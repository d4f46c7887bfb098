#include "engine/platform/gbk.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace tavrin::platform;

struct TextCase {
    std::string utf8;
    std::string gbk;
    std::string ucs2be;
};

class GbkRoundTrip : public ::testing::TestWithParam<TextCase> {};

TEST_P(GbkRoundTrip, ConvertsBothWaysExactly) {
    const TextCase& c = GetParam();
    EXPECT_EQ(Utf8ToGbk(c.utf8), c.gbk);
    EXPECT_EQ(GbkToUtf8(c.gbk), c.utf8);
    EXPECT_EQ(GbkToUcs2Be(c.gbk), c.ucs2be);
    EXPECT_EQ(Ucs2BeToGbk(c.ucs2be), c.gbk);
}

INSTANTIATE_TEST_SUITE_P(Texts, GbkRoundTrip, ::testing::Values(
    TextCase{"", "", ""},
    TextCase{"README.TXT", "README.TXT", std::string("\0R\0E\0A\0D\0M\0E\0.\0T\0X\0T", 20)},
    TextCase{"刻录成功", "\xBF\xCC\xC2\xBC\xB3\xC9\xB9\xA6", "\x52\x3B\x5F\x55\x62\x10\x52\x9F"},
    // The trail byte of this character is "\": GBK text is not cut at that byte.
    TextCase{"癨", "\xB0\x5C", "\x76\x68"},
    TextCase{"光盘 1", "\xB9\xE2\xC5\xCC\x20\x31", std::string("\x51\x49\x76\xD8\0 \0" "1", 8)}));

struct BadCase {
    const char* what;
    std::string input;
};

class InvalidGbk : public ::testing::TestWithParam<BadCase> {};

TEST_P(InvalidGbk, IsReportedNotMangled) {
    EXPECT_EQ(GbkToUtf8(GetParam().input), std::nullopt);
    EXPECT_EQ(GbkToUcs2Be(GetParam().input), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Bytes, InvalidGbk, ::testing::Values(
    BadCase{"trail byte below range", "\x81\x20"},
    BadCase{"lead byte alone at the end", "AB\xBF"},
    BadCase{"lead byte FF", "\xFF\x41"},
    BadCase{"invalid after valid text", "\xBF\xCC\x81\x7F"}),
    [](const auto& info) { return std::to_string(info.index); });

struct OtherSideCase {
    Charset from;
    std::string input;
};

class NoGbkForm : public ::testing::TestWithParam<OtherSideCase> {};

TEST_P(NoGbkForm, IsReported) {
    Converter converter(GetParam().from, Charset::Gbk);
    ASSERT_TRUE(converter.valid());
    EXPECT_EQ(converter.convert(GetParam().input), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Texts, NoGbkForm, ::testing::Values(
    OtherSideCase{Charset::Utf8, "\xED\x95\x9C.txt"},        // a Hangul syllable
    OtherSideCase{Charset::Utf8, "\xF0\x9F\x98\x80"},        // outside the BMP
    OtherSideCase{Charset::Utf8, "ab\xC3\x28"},              // broken UTF-8
    OtherSideCase{Charset::Ucs2Be, std::string("\xAC\0", 2)},   // a Hangul syllable
    OtherSideCase{Charset::Ucs2Be, std::string("\0A\0", 3)},  // half a character
    OtherSideCase{Charset::Ucs2Be, std::string("\xD8\x3D\xDE\0", 4)}));  // a surrogate pair

TEST(GbkConverter, FailureLeavesNoStateForTheNextText) {
    Converter converter(Charset::Gbk, Charset::Utf8);
    ASSERT_TRUE(converter.valid());
    EXPECT_EQ(converter.convert("\xBF"), std::nullopt);  // cut in the middle of a character
    EXPECT_EQ(converter.convert("\xCC\xC2"), "\xE6\x90\xAA");  // read afresh, not as a trail
}

TEST(GbkConverter, LongTextGrowsTheOutput) {
    std::string gbk;
    std::string utf8;
    for (int i = 0; i < 5000; ++i) {
        gbk += "\xBF\xCC";
        utf8 += "刻";
    }
    EXPECT_EQ(GbkToUtf8(gbk), utf8);
}

}  // namespace
