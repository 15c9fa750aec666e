#include "encode/dos_time.h"

namespace {

// Civil date of a day count since 1970-01-01 (proleptic Gregorian).
void civil_from_days(std::int64_t days, int* year, int* month, int* day) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t day_of_era = days - era * 146097;
    const std::int64_t year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const std::int64_t day_of_year =
        day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const std::int64_t shifted_month = (5 * day_of_year + 2) / 153;
    *day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
    *month = static_cast<int>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
    *year = static_cast<int>(year_of_era + era * 400 + (*month <= 2 ? 1 : 0));
}

} // namespace

std::uint32_t dos_time_from_utc(std::time_t utc) {
    constexpr std::int64_t earliest = 315532800; // 1980-01-01 00:00:00
    constexpr std::int64_t latest = 4354819198;  // 2107-12-31 23:59:58
    std::int64_t seconds = static_cast<std::int64_t>(utc);
    if (seconds < earliest) seconds = earliest;
    if (seconds > latest) seconds = latest;
    int year = 0, month = 0, day = 0;
    civil_from_days(seconds / 86400, &year, &month, &day);
    const std::int64_t in_day = seconds % 86400;
    const auto date = static_cast<std::uint32_t>((year - 1980) << 9 | month << 5 | day);
    const auto time = static_cast<std::uint32_t>(in_day / 3600 << 11 | (in_day / 60 % 60) << 5 |
                                                 (in_day % 60) / 2);
    return date << 16 | time;
}
