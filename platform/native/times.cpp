// Time conversions and the tick count.
#include "native_win32.h"

#include <cerrno>
#include <ctime>

namespace {

// Days from 1601-01-01 to the given civil date (proleptic Gregorian). A day past the end of its
// month carries into the next one, as the day count simply adds up.
std::int64_t days_since_1601(int year, int month, int day) {
    const int y = month <= 2 ? year - 1 : year;
    const int era_year = y - 1600;
    const int shifted_month = (month + 9) % 12; // March = 0
    const std::int64_t day_of_year = (153 * shifted_month + 2) / 5 + day - 1;
    const std::int64_t days_from_march_1600 =
        365LL * era_year + era_year / 4 - era_year / 100 + era_year / 400 + day_of_year;
    constexpr std::int64_t march_1600_to_jan_1601 = 306; // 1600-03-01 .. 1601-01-01
    return days_from_march_1600 - march_1600_to_jan_1601;
}

} // namespace

// Accepts what Windows accepts: years 1980 to 2107, months 1 to 12, days 1 to 31, hours below 24,
// minutes below 60 and two-second units below 30. The result is the date and time read as UTC.
BOOL DosDateTimeToFileTime(WORD date, WORD time, LPFILETIME file_time) {
    const int day = date & 0x1F;
    const int month = (date >> 5) & 0x0F;
    const int year = 1980 + (date >> 9);
    const int seconds = (time & 0x1F) * 2;
    const int minutes = (time >> 5) & 0x3F;
    const int hours = time >> 11;
    if (day < 1 || month < 1 || month > 12 || hours > 23 || minutes > 59 || seconds > 58) {
        return FALSE;
    }
    const std::int64_t total_seconds =
        days_since_1601(year, month, day) * 86400 + hours * 3600 + minutes * 60 + seconds;
    const auto ticks = static_cast<std::uint64_t>(total_seconds) * 10000000ull;
    file_time->dwLowDateTime = static_cast<DWORD>(ticks);
    file_time->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return TRUE;
}

DWORD GetTickCount() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const auto milliseconds = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                              static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<DWORD>(milliseconds);
}

void Sleep(DWORD milliseconds) {
    struct timespec rest;
    rest.tv_sec = static_cast<time_t>(milliseconds / 1000);
    rest.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
}
