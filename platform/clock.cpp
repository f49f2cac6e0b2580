// Wall time through the C library's calendar (localtime_r honours TZ and
// daylight saving), ticks from the monotonic clock.
#include "platform/clock.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace plat {

namespace {

SystemTime from_tm(const std::tm& t, int ms, bool local) {
  SystemTime s;
  s.year = t.tm_year + 1900;
  s.month = t.tm_mon + 1;
  s.day_of_week = t.tm_wday;
  s.day = t.tm_mday;
  s.hour = t.tm_hour;
  s.minute = t.tm_min;
  s.second = t.tm_sec;
  s.milliseconds = ms;
  s.day_of_year = t.tm_yday + 1;
  s.daylight_saving = local && t.tm_isdst > 0;
  return s;
}

SystemTime breakdown(int64_t seconds, int ms, bool local) {
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  if (local) ::localtime_r(&t, &tm);
  else ::gmtime_r(&t, &tm);
  return from_tm(tm, ms, local);
}

struct Now {
  int64_t seconds;
  int ms;
};

Now wall_now() {
  auto d = std::chrono::system_clock::now().time_since_epoch();
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
  int64_t s = ms / 1000;
  int rest = int(ms % 1000);
  if (rest < 0) {
    rest += 1000;
    --s;
  }
  return {s, rest};
}

}  // namespace

int64_t now_utc() { return wall_now().seconds; }

SystemTime local_time() {
  Now n = wall_now();
  return breakdown(n.seconds, n.ms, true);
}

SystemTime utc_time() {
  Now n = wall_now();
  return breakdown(n.seconds, n.ms, false);
}

SystemTime local_time(int64_t utc_seconds) { return breakdown(utc_seconds, 0, true); }
SystemTime utc_time(int64_t utc_seconds) { return breakdown(utc_seconds, 0, false); }

int64_t from_local_time(const SystemTime& local) {
  auto convert = [&](int isdst, bool& was_dst) {
    std::tm tm{};
    tm.tm_year = local.year - 1900;
    tm.tm_mon = local.month - 1;
    tm.tm_mday = local.day;
    tm.tm_hour = local.hour;
    tm.tm_min = local.minute;
    tm.tm_sec = local.second;
    tm.tm_isdst = isdst;
    int64_t t = static_cast<int64_t>(std::mktime(&tm));
    was_dst = tm.tm_isdst > 0;
    return t;
  };
  bool dst = false;
  int64_t t = convert(-1, dst);
  if (t == -1 || dst == local.daylight_saving) return t;
  // The hour that repeats when the clock goes back: the flag picks which.
  bool other_dst = false;
  int64_t other = convert(local.daylight_saving ? 1 : 0, other_dst);
  SystemTime back = local_time(other);
  if (other != -1 && back.hour == local.hour && back.minute == local.minute && back.day == local.day &&
      back.daylight_saving == local.daylight_saving)
    return other;
  return t;
}

uint64_t tick_count64() {
  auto d = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
}

uint32_t tick_count() { return static_cast<uint32_t>(tick_count64()); }


}  // namespace plat
