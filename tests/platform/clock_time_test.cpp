// Local and UTC calendar time, ticks and sleeping.
#include <stdlib.h>
#include <time.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/clock.h"
#include "platform/sync.h"

namespace {

// Runs a test body under a fixed time zone with daylight saving and puts
// the old one back.
class ClockTime : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* tz = ::getenv("TZ")) old_ = tz, had_ = true;
    ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    ::tzset();
  }
  void TearDown() override {
    if (had_) ::setenv("TZ", old_.c_str(), 1);
    else ::unsetenv("TZ");
    ::tzset();
  }
  std::string old_;
  bool had_ = false;
};

TEST_F(ClockTime, LocalTimeAcrossDaylightSaving) {
  struct Case {
    int64_t utc;
    int year, month, day, hour, minute, second, weekday, yday;
    bool dst;
  } cases[] = {
      {0, 1970, 1, 1, 1, 0, 0, 4, 1, false},
      {951782400, 2000, 2, 29, 1, 0, 0, 2, 60, false},          // leap day
      {1711846799, 2024, 3, 31, 1, 59, 59, 0, 91, false},       // last second before summer time
      {1711846800, 2024, 3, 31, 3, 0, 0, 0, 91, true},          // the clock jumps to 03:00
      {1729987200, 2024, 10, 27, 2, 0, 0, 0, 301, true},        // 02:00 summer time ...
      {1729990800, 2024, 10, 27, 2, 0, 0, 0, 301, false},       // ... and again in winter time
      {1735689599, 2025, 1, 1, 0, 59, 59, 3, 1, false},
      {4102444800, 2100, 1, 1, 1, 0, 0, 5, 1, false},           // beyond 32-bit seconds
  };
  for (const Case& c : cases) {
    plat::SystemTime t = plat::local_time(c.utc);
    EXPECT_EQ(t.year, c.year) << c.utc;
    EXPECT_EQ(t.month, c.month) << c.utc;
    EXPECT_EQ(t.day, c.day) << c.utc;
    EXPECT_EQ(t.hour, c.hour) << c.utc;
    EXPECT_EQ(t.minute, c.minute) << c.utc;
    EXPECT_EQ(t.second, c.second) << c.utc;
    EXPECT_EQ(t.day_of_week, c.weekday) << c.utc;
    EXPECT_EQ(t.day_of_year, c.yday) << c.utc;
    EXPECT_EQ(t.daylight_saving, c.dst) << c.utc;
    EXPECT_EQ(plat::from_local_time(t), c.utc) << c.utc;
  }
}

TEST_F(ClockTime, AgreesWithTheCLibrary) {
  for (int64_t t = 1700000000; t < 1700000000 + 400LL * 86400; t += 86400 * 7 + 3601) {
    time_t tt = time_t(t);
    struct tm l, u;
    ::localtime_r(&tt, &l);
    ::gmtime_r(&tt, &u);
    plat::SystemTime pl = plat::local_time(t), pu = plat::utc_time(t);
    EXPECT_EQ(pl.year, l.tm_year + 1900);
    EXPECT_EQ(pl.month, l.tm_mon + 1);
    EXPECT_EQ(pl.day, l.tm_mday);
    EXPECT_EQ(pl.hour, l.tm_hour) << t;
    EXPECT_EQ(pl.minute, l.tm_min);
    EXPECT_EQ(pu.hour, u.tm_hour);
    EXPECT_EQ(pu.day, u.tm_mday);
    EXPECT_FALSE(pu.daylight_saving);
  }
  // The present moment: both readings within a second of time().
  time_t before = ::time(nullptr);
  plat::SystemTime now = plat::utc_time();
  int64_t utc = plat::now_utc();
  EXPECT_GE(utc, int64_t(before));
  EXPECT_LE(utc - int64_t(before), 1);
  EXPECT_LT(now.milliseconds, 1000);
  EXPECT_EQ(plat::local_time().year, plat::local_time(utc).year);
}

TEST(ClockTicks, SleepAdvancesTicks) {
  uint64_t t0 = plat::tick_count64();
  uint32_t s0 = plat::tick_count();
  plat::sleep_ms(30);
  uint64_t t1 = plat::tick_count64();
  EXPECT_GE(t1 - t0, 30u);
  EXPECT_GE(uint32_t(plat::tick_count() - s0), 30u);  // by difference, across a wrap too
  plat::sleep_ms(0);
}

}  // namespace
