#include "engine/platform/local_time.h"

#include <gtest/gtest.h>

#include "tests/platform/test_support.h"

namespace {

using namespace tavrin::platform;
using tavrin::testing::ScopedTimeZone;

struct DosCase {
    LocalDateTime local;
    DosDateTime dos;
};

class DosDateTimes : public ::testing::TestWithParam<DosCase> {};

TEST_P(DosDateTimes, EncodeAndDecode) {
    const DosCase& c = GetParam();
    EXPECT_EQ(DosFromLocal(c.local), c.dos);
    LocalDateTime even = c.local;
    even.second -= even.second % 2;
    even.millisecond = 0;
    EXPECT_EQ(LocalFromDos(c.dos), even);
}

INSTANTIATE_TEST_SUITE_P(Table, DosDateTimes, ::testing::Values(
    DosCase{{1980, 1, 1, 0, 0, 0, 0}, 0x00210000},
    DosCase{{2026, 12, 10, 15, 36, 51, 0}, 0x5D8A7C99},     // odd second rounds down
    DosCase{{2000, 2, 29, 12, 0, 1, 999}, 0x285D6000},      // leap day; milliseconds dropped
    DosCase{{2107, 12, 31, 23, 59, 58, 0}, 0xFF9FBF7D}));   // the last DOS second

TEST(DosDateTime, YearsOutsideTheRangeAreClamped) {
    EXPECT_EQ(DosFromLocal({1970, 1, 1, 0, 0, 0, 0}), 0x00210000u);
    EXPECT_EQ(DosFromLocal({1979, 12, 31, 23, 59, 59, 0}), 0x00210000u);
    EXPECT_EQ(DosFromLocal({2108, 1, 1, 0, 0, 0, 0}), 0xFF9FBF7Du);
}

class ImpossibleLocal : public ::testing::TestWithParam<LocalDateTime> {};

TEST_P(ImpossibleLocal, HasNoDosForm) {
    EXPECT_EQ(DosFromLocal(GetParam()), std::nullopt);
    EXPECT_EQ(TimeOfLocal(GetParam()), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Table, ImpossibleLocal, ::testing::Values(
    LocalDateTime{2020, 0, 1, 0, 0, 0, 0}, LocalDateTime{2020, 13, 1, 0, 0, 0, 0},
    LocalDateTime{1981, 2, 29, 0, 0, 0, 0}, LocalDateTime{2020, 4, 31, 0, 0, 0, 0},
    LocalDateTime{2020, 1, 0, 0, 0, 0, 0}, LocalDateTime{2020, 1, 1, 24, 0, 0, 0},
    LocalDateTime{2020, 1, 1, 0, 60, 0, 0}, LocalDateTime{2020, 1, 1, 0, 0, 60, 0},
    LocalDateTime{1900, 2, 29, 0, 0, 0, 0}));

class InvalidDos : public ::testing::TestWithParam<DosDateTime> {};

TEST_P(InvalidDos, DecodesToNothing) {
    EXPECT_EQ(LocalFromDos(GetParam()), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Table, InvalidDos, ::testing::Values(
    0x00000000u,    // month 0, day 0
    0x00200000u,    // day 0
    0x01A10000u,    // month 13
    0x289F0000u,    // 31 April 2000
    0x2A5D0000u,    // 29 February 2001
    0x0021C000u,    // hour 24
    0x00210780u,    // minute 60
    0x0021001Eu,    // second 60
    0xFFFFFFFFu));

struct ZoneCase {
    const char* zone;
    int bias;
    std::time_t when;
    DosDateTime local;
};

class TimeZones : public ::testing::TestWithParam<ZoneCase> {};

TEST_P(TimeZones, BiasAndLocalTime) {
    const ScopedTimeZone zone(GetParam().zone);
    EXPECT_EQ(StandardBiasMinutes(), GetParam().bias);
    EXPECT_EQ(DosFromTime(GetParam().when), GetParam().local);
    const auto back = TimeOfLocal(*LocalFromDos(GetParam().local));
    EXPECT_EQ(back, GetParam().when);
}

INSTANTIATE_TEST_SUITE_P(Table, TimeZones, ::testing::Values(
    // 14 November 2023 22:13:20 UTC.
    ZoneCase{"CST-8", -480, 1700000000, 0x576F31AA},
    ZoneCase{"UTC0", 0, 1700000000, 0x576EB1AA},
    // 22 July 2023 04:26:40 UTC: summer time shows in the local time, not in the bias.
    ZoneCase{"EST5EDT,M3.2.0,M11.1.0", 300, 1690000000, 0x56F60354}));

TEST(TimeZone, FractionalBias) {
    const ScopedTimeZone zone("NST3:30");
    EXPECT_EQ(StandardBiasMinutes(), 210);
}

}  // namespace
