// Dates: CCYYMMDD texts, julian day numbers (day 1 of year 1 is 1721426),
// and date pictures with day and month names.
#include <cctype>
#include <cstdio>
#include <cstring>

#include "engine/convert.h"
#include "engine/os_shim.h"

const char db_day_names[8][12] = {"",         "Sunday",   "Monday", "Tuesday",
                                  "Wednesday", "Thursday", "Friday", "Saturday"};
const char db_month_names[13][10] = {"",     "January", "February",  "March",   "April",
                                     "May",  "June",    "July",      "August",  "September",
                                     "October", "November", "December"};

namespace {

const int days_before_month[13] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};

bool leap(long y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int year_length(long y) { return leap(y) ? 366 : 365; }

// Digits only; anything else makes the part invalid (-1).
long digits_of(const char* p, int n) {
  long v = 0;
  for (int i = 0; i < n; i++) {
    if (p[i] < '0' || p[i] > '9') return -1;
    v = v * 10 + (p[i] - '0');
  }
  return v;
}

}  // namespace

long date_days_before_year(long y) {
  return 365 * (y - 1) + (y - 1) / 4 - (y - 1) / 100 + (y - 1) / 400;
}

int date_day_of_year(int year, int month, int day) {
  if (year < 1 || month < 1 || month > 12 || day < 1) return -1;
  int len = days_before_month[month] - days_before_month[month - 1] +
            (month == 2 && leap(year) ? 1 : 0);
  if (day > len) return -1;
  return days_before_month[month - 1] + day + (month > 2 && leap(year) ? 1 : 0);
}

int date_month_day(int year, int doy, int* month, int* day) {
  if (doy < 1 || doy > year_length(year)) return -1;
  int extra = leap(year) ? 1 : 0;
  for (int m = 1; m <= 12; m++) {
    int end = days_before_month[m] + (m >= 2 ? extra : 0);
    if (doy <= end) {
      *month = m;
      *day = doy - (days_before_month[m - 1] + (m - 1 >= 2 ? extra : 0));
      return 0;
    }
  }
  return -1;
}

long date_to_julian(const char* date) {
  if (std::memcmp(date, "        ", 8) == 0) return 0;
  long y = digits_of(date, 4), m = digits_of(date + 4, 2), d = digits_of(date + 6, 2);
  if (y < 1 || m < 0 || d < 0) return -1;
  int doy = date_day_of_year(static_cast<int>(y), static_cast<int>(m), static_cast<int>(d));
  if (doy < 0) return -1;
  return date_days_before_year(y) + doy + DB_JULIAN_ADJUST;
}

void date_from_julian(char* buf, long julian) {
  if (julian <= 0) {
    std::memset(buf, ' ', 8);
    return;
  }
  long days = julian - DB_JULIAN_ADJUST;
  long year = static_cast<long>(days * 0.002737907006988508) + 1;
  long doy = days - date_days_before_year(year);
  if (doy < 1) {
    year--;
    doy = days - date_days_before_year(year);
  } else if (doy > year_length(year)) {
    doy -= year_length(year);
    year++;
  }
  int month = 0, day = 0;
  // Dates outside the four-digit years do not fit the text: blank.
  if (year < 1 || year > 9999 ||
      date_month_day(static_cast<int>(year), static_cast<int>(doy), &month, &day) < 0) {
    std::memset(buf, ' ', 8);
    return;
  }
  char tmp[16];
  std::snprintf(tmp, sizeof tmp, "%04ld%02d%02d", year, month, day);
  std::memcpy(buf, tmp, 8);
}

int date_year(const char* date) { return static_cast<int>(str_to_long(date, 4)); }
int date_month(const char* date) { return static_cast<int>(str_to_long(date + 4, 2)); }
int date_day(const char* date) { return static_cast<int>(str_to_long(date + 6, 2)); }

int date_day_of_week(const char* date) {
  long j = date_to_julian(date);
  if (j < 1) return 0;
  return static_cast<int>((j + 1) % 7 + 1);
}

const char* date_day_name(const char* date) { return db_day_names[date_day_of_week(date)]; }

const char* date_month_name(const char* date) {
  int m = date_month(date);
  return db_month_names[m >= 1 && m <= 12 ? m : 0];
}

double date_as_double(const char* date) {
  long j = date_to_julian(date);
  return j == 0 ? 1e100 : static_cast<double>(j);
}

void date_as_double_buf(const char* date, unsigned char* buf8) {
  double v = date_as_double(date);
  std::memcpy(buf8, &v, 8);
}

void date_format(const char* date, char* result, const char* picture) {
  int len = static_cast<int>(std::strlen(picture));
  char pict[256];
  if (len > 255) len = 255;
  for (int i = 0; i < len; i++) pict[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(picture[i])));
  pict[len] = 0;
  std::memcpy(result, pict, len);
  result[len] = 0;
  static const char letters[] = "CCYYMMDD";
  for (int g = 0; g < 8; g += 2) {
    const char* first = std::strchr(pict, letters[g]);
    if (!first) continue;
    int pos = static_cast<int>(first - pict);
    for (int k = g; k < g + 2 && pos < len && pict[pos] == letters[g]; k++, pos++)
      result[pos] = date[k];
  }
  // A run of more than two M shows the month's name.
  const char* run = std::strstr(pict, "MMM");
  if (run) {
    int start = static_cast<int>(run - pict);
    int n = 0;
    while (start + n < len && pict[start + n] == 'M') n++;
    char month[3] = {date[4], date[5], 0};
    const char* name = "";
    if (std::strcmp(month, "  ") != 0) {
      long m = str_to_long(month, 2);
      if (m < 1) m = 1;
      if (m > 12) m = 12;
      name = db_month_names[m];
    }
    int name_len = static_cast<int>(std::strlen(name));
    if (name_len > 9) name_len = 9;
    for (int i = 0; i < n; i++) result[start + i] = i < name_len ? name[i] : ' ';
    dbos_oem_to_ansi(result);
  }
}

void date_from_picture(char* result, const char* text, const char* picture) {
  std::memset(result, ' ', 8);
  int got[4] = {0, 0, 0, 0};  // C, Y, M, D characters taken
  int m_count = 0, first_m = -1;
  size_t tlen = std::strlen(text);
  for (size_t i = 0; picture[i]; i++) {
    char p = static_cast<char>(std::toupper(static_cast<unsigned char>(picture[i])));
    int g = p == 'C' ? 0 : p == 'Y' ? 1 : p == 'M' ? 2 : p == 'D' ? 3 : -1;
    if (p == 'M') {
      if (first_m < 0) first_m = static_cast<int>(i);
      m_count++;
    }
    if (g < 0 || i >= tlen) continue;
    if (got[g] < 2) result[g * 2 + got[g]++] = text[i];
  }
  if (std::memcmp(result, "        ", 8) == 0) return;
  static const char* fill[4] = {"19", "01", "01", "01"};
  for (int g = 0; g < 4; g++)
    if (got[g] == 0) std::memcpy(result + g * 2, fill[g], 2);
  if (m_count > 3 && first_m >= 0 && static_cast<size_t>(first_m) < tlen) {
    char name[4] = {0, 0, 0, 0};
    for (int k = 0; k < 3 && static_cast<size_t>(first_m + k) < tlen; k++) name[k] = text[first_m + k];
    int n = static_cast<int>(std::strlen(name));
    while (n > 0 && name[n - 1] == ' ') name[--n] = 0;
    for (int k = 0; k < n; k++) name[k] = static_cast<char>(std::tolower(static_cast<unsigned char>(name[k])));
    if (n > 0) {
      name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
      for (int m = 1; m <= 12; m++) {
        if (std::strncmp(db_month_names[m], name, n) == 0) {
          result[4] = static_cast<char>('0' + m / 10);
          result[5] = static_cast<char>('0' + m % 10);
          break;
        }
      }
    }
  }
  for (int i = 0; i < 8; i++)
    if (result[i] == ' ') result[i] = '0';
}

void date_today(char* buf) {
  int y, m, d;
  dbos_local_date(&y, &m, &d);
  char tmp[16];
  std::snprintf(tmp, sizeof tmp, "%04d%02d%02d", y % 10000, m, d);
  std::memcpy(buf, tmp, 8);
}

void time_now(char* buf) {
  int h, m, s;
  dbos_local_time(&h, &m, &s);
  char tmp[16];
  std::snprintf(tmp, sizeof tmp, "%02d:%02d:%02d", h, m, s);
  std::memcpy(buf, tmp, 8);
}

void date_stamp(unsigned char* ymd3) {
  int y, m, d;
  dbos_local_date(&y, &m, &d);
  ymd3[0] = static_cast<unsigned char>(y - 1900);
  ymd3[1] = static_cast<unsigned char>(m);
  ymd3[2] = static_cast<unsigned char>(d);
}
