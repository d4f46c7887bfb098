#include "engine/drive/answers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/drive/byte_order.h"

namespace tavrin::drive {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(ByteOrder, SwapsAndReverseCopy) {
    EXPECT_EQ(Swap16(0x1234), 0x3412);
    EXPECT_EQ(Swap32(0x12345678u), 0x78563412u);
    const Bytes source{1, 2, 3};
    Bytes destination(3, 0);
    ReverseCopy(source, destination);
    EXPECT_EQ(destination, (Bytes{3, 2, 1}));
}

TEST(ByteOrder, FieldsOutsideTheSpanReadAsZero) {
    const Bytes three{0x01, 0x02, 0x03};
    EXPECT_EQ(ReadBE16(three, 1), 0x0203);
    EXPECT_EQ(ReadBE16(three, 2), 0);
    EXPECT_EQ(ReadBE32(three, 0), 0u);
    EXPECT_EQ(ReadBE32(three, 100), 0u);
}

struct MsfCase {
    uint32_t blocks;
    uint8_t m, s, f;
};
class MsfConversion : public ::testing::TestWithParam<MsfCase> {};
TEST_P(MsfConversion, RoundTrip) {
    const auto& c = GetParam();
    const Msf msf = BlocksToMsf(c.blocks);
    EXPECT_EQ(msf.minutes, c.m);
    EXPECT_EQ(msf.seconds, c.s);
    EXPECT_EQ(msf.frames, c.f);
    EXPECT_EQ(HmsfToBlocks(0, c.m, c.s, c.f), c.blocks);
}
INSTANTIATE_TEST_SUITE_P(Drive, MsfConversion,
                         ::testing::Values(MsfCase{0, 0, 0, 0}, MsfCase{150, 0, 2, 0}, MsfCase{74, 0, 0, 74},
                                           MsfCase{4500, 1, 0, 0}, MsfCase{359849, 79, 57, 74}, MsfCase{359999, 79, 59, 74}));

TEST(ByteOrder, HoursCount) { EXPECT_EQ(HmsfToBlocks(1, 2, 3, 4), 270000u + 9000u + 225u + 4u); }

struct ShortAnswer {
    const char* name;
    Bytes answer;
    bool decodes;
};
std::ostream& operator<<(std::ostream& os, const ShortAnswer& c) { return os << c.name; }

class FormatCapacityAnswers : public ::testing::TestWithParam<ShortAnswer> {};
TEST_P(FormatCapacityAnswers, DecodesOnlyAWholeDescriptor) {
    EXPECT_EQ(DecodeFormatCapacityBlocks(GetParam().answer).has_value(), GetParam().decodes);
}
INSTANTIATE_TEST_SUITE_P(
    Drive, FormatCapacityAnswers,
    ::testing::Values(ShortAnswer{"Empty", {}, false}, ShortAnswer{"HeaderOnly", {0, 0, 0, 8}, false},
                      ShortAnswer{"NoDescriptorListed", {0, 0, 0, 0, 1, 2, 3, 4, 0, 0, 8, 0}, false},
                      ShortAnswer{"Whole", {0, 0, 0, 8, 1, 2, 3, 4, 2, 0, 8, 0}, true}),
    [](const auto& info) { return info.param.name; });

class BufferCapacityAnswers : public ::testing::TestWithParam<ShortAnswer> {};
TEST_P(BufferCapacityAnswers, DecodesOnlyWhatTheLengthCovers) {
    EXPECT_EQ(DecodeBufferCapacity(GetParam().answer).has_value(), GetParam().decodes);
}
INSTANTIATE_TEST_SUITE_P(
    Drive, BufferCapacityAnswers,
    ::testing::Values(ShortAnswer{"Empty", {}, false}, ShortAnswer{"OneByte", {0}, false},
                      ShortAnswer{"LengthTooShort", {0, 6, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0}, false},
                      ShortAnswer{"BufferTooShort", {0, 10, 0, 0, 0, 1, 0, 0, 0, 1}, false},
                      ShortAnswer{"NonsenseLength", {0xFF, 0xFF, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0}, true},
                      ShortAnswer{"Whole", {0, 10, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0}, true}),
    [](const auto& info) { return info.param.name; });

TEST(CapacityAnswer, NeedsEightBytes) {
    EXPECT_FALSE(DecodeCapacity(Bytes{0, 0, 1, 0, 0, 0, 8}).has_value());
    const auto c = DecodeCapacity(Bytes{0, 0x05, 0x1E, 0xFF, 0, 0, 0x08, 0});
    ASSERT_TRUE(c.has_value());
    EXPECT_EQ(c->lastBlock, 0x51EFFu);
    EXPECT_EQ(c->blockLength, 2048u);
}

uint32_t HostField(const Bytes& b, std::size_t at) {
    uint32_t v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

// A length field claiming fewer bytes leaves the fields beyond it as sent.
TEST(TrackInformationAnswer, ConvertsOnlyFieldsTheLengthCovers) {
    Bytes answer(38, 0);
    answer[1] = 14;  // covers up to byte 15: start and next writable address
    answer[11] = 0x10;
    answer[15] = 0x20;
    answer[19] = 0x30;
    TrackInformationToHostOrder(answer);
    EXPECT_EQ(HostField(answer, 8), 0x10u);
    EXPECT_EQ(HostField(answer, 12), 0x20u);
    EXPECT_EQ(answer[19], 0x30);  // free blocks untouched
}

TEST(TrackInformationAnswer, ShortAndNonsenseAnswersStayInBounds) {
    Bytes one{0x7F};
    TrackInformationToHostOrder(one);
    EXPECT_EQ(one[0], 0x7F);
    Bytes nonsense(10, 0);
    nonsense[0] = 0xFF;
    nonsense[1] = 0xFF;
    nonsense[9] = 0x01;
    TrackInformationToHostOrder(nonsense);  // claims 65535 bytes; only 10 are there
    EXPECT_EQ(nonsense[9], 0x01);
}

struct PageOffsetCase {
    const char* name;
    std::size_t answerSize;
    std::vector<std::size_t> codeAt;  // where the answer holds the page code
    std::size_t expected;
};

TEST(ModePageOffset, FirstOfSixteenEightSevenElseFallback) {
    const PageOffsetCase cases[] = {
        {"after a block descriptor", 40, {16}, 16},
        {"bare header", 40, {8}, 8},
        {"header one byte short", 40, {7}, 7},
        {"sixteen wins over eight", 40, {8, 16}, 16},
        {"eight wins over seven", 40, {7, 8}, 8},
        {"none found", 40, {}, 15},
        {"code only elsewhere", 40, {0, 9, 17}, 15},
        {"too short for sixteen", 16, {7}, 7},
        {"too short for anything", 7, {0, 6}, 15},
        {"empty", 0, {}, 15},
    };
    for (const PageOffsetCase& c : cases) {
        Bytes answer(c.answerSize, 0);
        for (const std::size_t at : c.codeAt) answer[at] = 0x2A;
        EXPECT_EQ(FindPageOffset(answer, 0x2A, 15), c.expected) << c.name;
    }
}

TEST(ModePageOffset, ComparesTheWholeByte) {
    Bytes answer(40, 0);
    answer[16] = 0x85;  // page 05h with the savable bit: not the code looked for
    answer[8] = 0x05;
    EXPECT_EQ(FindPageOffset(answer, 0x05, 0), 8u);
    EXPECT_EQ(FindPageOffset(answer, 0x30, 0), 0u);
}

}  // namespace
}  // namespace tavrin::drive
