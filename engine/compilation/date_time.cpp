#include "engine/compilation/date_time.h"

#include <cmath>
#include <cstdint>

namespace tavrin::compilation {

namespace {

constexpr double kMillisecondsPerDay = 86400000.0;
// Days from 1 January 1970 to 30 December 1899.
constexpr std::int64_t kEpochOffsetDays = -25569;

// Days since 1 January 1970 of a proleptic Gregorian date (H. Hinnant's algorithm).
std::int64_t DaysFromCivil(int year, int month, int day) {
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return std::int64_t{era} * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t days, int& year, int& month, int& day) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto doe = static_cast<int>(days - era * 146097);
    const int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int mp = (5 * doy + 2) / 153;
    day = doy - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<int>(yoe + era * 400) + (month <= 2 ? 1 : 0);
}

}  // namespace

TDateTime DateTimeFromLocal(const platform::LocalDateTime& local) {
    const auto days = DaysFromCivil(local.year, local.month, local.day) - kEpochOffsetDays;
    const double ms = ((local.hour * 60.0 + local.minute) * 60.0 + local.second) * 1000.0 + local.millisecond;
    return static_cast<double>(days) + ms / kMillisecondsPerDay;
}

TDateTime DateTimeFromDos(platform::DosDateTime dos) {
    const auto local = platform::LocalFromDos(dos);
    return local ? DateTimeFromLocal(*local) : 0.0;
}

std::optional<platform::LocalDateTime> LocalFromDateTime(TDateTime when) {
    const double days = std::floor(when);
    if (!(days > -693594.0 && days < 2958466.0)) return std::nullopt;  // years 1 to 9999
    auto ms = static_cast<std::int64_t>(std::llround((when - days) * kMillisecondsPerDay));
    auto wholeDays = static_cast<std::int64_t>(days);
    if (ms >= 86400000) {  // rounding reached the next midnight
        ms -= 86400000;
        ++wholeDays;
    }
    platform::LocalDateTime local;
    CivilFromDays(wholeDays + kEpochOffsetDays, local.year, local.month, local.day);
    local.hour = static_cast<int>(ms / 3600000);
    local.minute = static_cast<int>(ms / 60000 % 60);
    local.second = static_cast<int>(ms / 1000 % 60);
    local.millisecond = static_cast<int>(ms % 1000);
    return local;
}

}  // namespace tavrin::compilation
