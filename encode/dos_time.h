// MS-DOS timestamps for entry headers: the high 16 bits the date, the low 16 bits the time, read
// as UTC by the stub.
#pragma once

#include <cstdint>
#include <ctime>

// The DOS date and time of a UTC time, clamped to the format's range (1980-01-01 00:00:00 to
// 2107-12-31 23:59:58); odd seconds round down.
std::uint32_t dos_time_from_utc(std::time_t utc);
