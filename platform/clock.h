// Clock and calendar: wall time, its breakdown in local time and in UTC,
// a millisecond tick count and sleeping.
#pragma once

#include <cstdint>

namespace plat {

// A broken-down time as SYSTEMTIME gives it.
struct SystemTime {
  int year = 0;          // 4 digits
  int month = 0;         // 1..12
  int day_of_week = 0;   // 0 = Sunday
  int day = 0;           // 1..31
  int hour = 0;          // 0..23
  int minute = 0;
  int second = 0;
  int milliseconds = 0;
  int day_of_year = 0;   // 1..366
  bool daylight_saving = false;  // local time only
};

// Seconds since 1970-01-01 00:00 UTC (time()).
int64_t now_utc();
// The present moment in local time / in UTC, with milliseconds.
SystemTime local_time();
SystemTime utc_time();
// A stored UTC time (seconds, e.g. a file's last-write time) broken down.
SystemTime local_time(int64_t utc_seconds);
SystemTime utc_time(int64_t utc_seconds);
// The UTC seconds of a local calendar time (mktime; -1 when invalid). In
// the hour that repeats when the clock goes back, daylight_saving picks the
// first (true) or the second (false) reading.
int64_t from_local_time(const SystemTime& local);

// Milliseconds since an arbitrary start, from a monotonic clock; the 32-bit
// form wraps after 49.7 days like GetTickCount, so compare by difference.
uint32_t tick_count();
uint64_t tick_count64();

// Sleeping lives with the threads layer (platform/sync.h: sleep_ms), where
// the tests' time scale applies to it.

}  // namespace plat
