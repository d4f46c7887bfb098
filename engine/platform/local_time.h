// Local time, the 32-bit DOS date-time of directory listings, and the time-zone bias.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>

namespace tavrin::platform {

// A local calendar time. Months and days count from 1.
struct LocalDateTime {
    int year = 1980;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;

    bool operator==(const LocalDateTime&) const = default;
};

// Date in the high 16 bits (bits 15-9 year - 1980, 8-5 month, 4-0 day), time in the low
// 16 (bits 15-11 hour, 10-5 minute, 4-0 seconds / 2).
using DosDateTime = std::uint32_t;

inline constexpr int kDosFirstYear = 1980;
inline constexpr int kDosLastYear = 2107;

LocalDateTime LocalNow();
LocalDateTime LocalTimeOf(std::time_t when);
// The instant a local time stands for, daylight saving as in force on that date.
std::optional<std::time_t> TimeOfLocal(const LocalDateTime& local);

// Odd seconds round down and milliseconds are dropped. A valid date outside the DOS
// years is clamped to the first or last representable second; an impossible date
// (month 13, 30 February, hour 24, ...) has no DOS form.
std::optional<DosDateTime> DosFromLocal(const LocalDateTime& local);
DosDateTime DosFromTime(std::time_t when);
// None when a field is out of range (month 0, 31 April, second 60, ...).
std::optional<LocalDateTime> LocalFromDos(DosDateTime dos);

// The local zone's standard bias in minutes, daylight saving not applied, signed as
// UTC = local time + bias: -480 for China Standard Time (UTC+8), 300 for US Eastern.
int StandardBiasMinutes();

}  // namespace tavrin::platform
