#include "engine/platform/local_time.h"

#include <algorithm>

namespace tavrin::platform {

namespace {

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && IsLeapYear(year)) return 29;
    return kDays[month - 1];
}

bool IsValid(const LocalDateTime& t) {
    if (t.month < 1 || t.month > 12) return false;
    if (t.day < 1 || t.day > DaysInMonth(t.year, t.month)) return false;
    if (t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59) return false;
    return t.second >= 0 && t.second <= 59;
}

LocalDateTime FromTm(const std::tm& tm) {
    // A leap second has no DOS form; it reads as the second before.
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
            std::min(tm.tm_sec, 59), 0};
}

// 1 January 1980, midnight: the first DOS date-time.
constexpr DosDateTime kDosEpoch = (1u << 5 | 1u) << 16;

}  // namespace

LocalDateTime LocalNow() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    LocalDateTime local = LocalTimeOf(now.tv_sec);
    local.millisecond = static_cast<int>(now.tv_nsec / 1000000);
    return local;
}

LocalDateTime LocalTimeOf(std::time_t when) {
    std::tm tm{};
    if (::localtime_r(&when, &tm) == nullptr) return {};
    return FromTm(tm);
}

std::optional<std::time_t> TimeOfLocal(const LocalDateTime& local) {
    if (!IsValid(local)) return std::nullopt;
    std::tm tm{};
    tm.tm_year = local.year - 1900;
    tm.tm_mon = local.month - 1;
    tm.tm_mday = local.day;
    tm.tm_hour = local.hour;
    tm.tm_min = local.minute;
    tm.tm_sec = local.second;
    tm.tm_isdst = -1;  // let the zone rules say whether summer time applies
    tm.tm_wday = -1;   // mktime sets it on success; -1 is also a valid instant
    const std::time_t when = ::mktime(&tm);
    if (tm.tm_wday < 0) return std::nullopt;
    return when;
}

std::optional<DosDateTime> DosFromLocal(const LocalDateTime& local) {
    if (!IsValid(local)) return std::nullopt;
    if (local.year < kDosFirstYear) return kDosEpoch;
    if (local.year > kDosLastYear) {
        return DosFromLocal({kDosLastYear, 12, 31, 23, 59, 59, 0});
    }
    const auto date = static_cast<std::uint32_t>((local.year - kDosFirstYear) << 9 |
                                                 local.month << 5 | local.day);
    const auto time = static_cast<std::uint32_t>(local.hour << 11 | local.minute << 5 |
                                                 local.second / 2);
    return date << 16 | time;
}

DosDateTime DosFromTime(std::time_t when) {
    // Every broken-down time localtime gives is valid, so there always is a form.
    return DosFromLocal(LocalTimeOf(when)).value_or(kDosEpoch);
}

std::optional<LocalDateTime> LocalFromDos(DosDateTime dos) {
    const std::uint32_t date = dos >> 16;
    const std::uint32_t time = dos & 0xFFFF;
    const LocalDateTime local{
        static_cast<int>(date >> 9) + kDosFirstYear,
        static_cast<int>(date >> 5 & 0x0F),
        static_cast<int>(date & 0x1F),
        static_cast<int>(time >> 11),
        static_cast<int>(time >> 5 & 0x3F),
        static_cast<int>(time & 0x1F) * 2,
        0};
    if (!IsValid(local)) return std::nullopt;
    return local;
}

int StandardBiasMinutes() {
    ::tzset();
    // glibc's timezone is the standard offset in seconds west of Greenwich.
    return static_cast<int>(::timezone / 60);
}

}  // namespace tavrin::platform
