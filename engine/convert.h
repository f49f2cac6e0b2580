// Conversions between the engine's fixed-width texts and numbers: numbers,
// dates (julian days, CCYYMMDD, pictures), packed decimal keys; plus the
// small text and file-name routines and the wait between retries.
#pragma once

#include <cstddef>

struct DB_ENGINE;

// Numbers.
double str_to_double(const char* text, int len);  // at most 49 characters
void str_to_double_p(const char* text, int len, double* result);
long str_to_long(const char* text, int len);  // at most 127 characters
long str_to_long2(const char* text, int len);
void ltoa_width(long value, char* buf, int width);  // exactly |width| characters
void double_to_fixed(double value, char* buf, int width, int decimals);
int log2_floor(unsigned long value);

// Packed decimal key: byte 0 exponent, byte 1 sign/digit count, 10 digit bytes.
enum { DB_PACKED_LEN = 12 };
void packed_from_str(unsigned char* result, const char* text, int len);
void packed_from_double(unsigned char* result, double value);
int packed_compare(const unsigned char* a, const unsigned char* b);

// Dates: CCYYMMDD texts; blank date 0, invalid -1.
enum { DB_JULIAN_ADJUST = 1721425 };
long date_to_julian(const char* date);
void date_from_julian(char* buf, long julian);
int date_day_of_year(int year, int month, int day);
int date_month_day(int year, int day_of_year, int* month, int* day);
long date_days_before_year(long year);
int date_year(const char* date);
int date_month(const char* date);
int date_day(const char* date);
int date_day_of_week(const char* date);  // 1 Sunday .. 7 Saturday, 0 invalid
const char* date_day_name(const char* date);
const char* date_month_name(const char* date);
double date_as_double(const char* date);  // blank date 1e100
void date_as_double_buf(const char* date, unsigned char* buf8);
void date_format(const char* date, char* result, const char* picture);
void date_from_picture(char* result, const char* text, const char* picture);
void date_today(char* buf);    // CCYYMMDD
void time_now(char* buf);      // HH:MM:SS
void date_stamp(unsigned char* ymd3);  // year - 1900, month, day

extern const char db_day_names[8][12];
extern const char db_month_names[13][10];

// Texts and file names.
char* str_trim_len(char* text, int n);
void str_upper(char* text);
void str_lower(char* text);
int str_copy_max(char* target, const char* source, int size);
int char_is_name(int c);
// Adds or replaces the extension, in the case of the name it goes on (the
// rest of the name stays as given); -1 (name untouched) when the result
// would not fit in size bytes.
int file_name_ext(char* name, int size, const char* ext, int replace);
int file_name_piece(char* result, int size, const char* name, int keep_dir, int keep_ext);

// Memory shared with the pools.
int mem_grow(DB_ENGINE* c, char** buf, unsigned* size, unsigned new_size);
void* mem_alloc_retry(DB_ENGINE* c, size_t size);

// The pause between lock tries: until the clock's second changes.
void code_yield();
long code_yield_count();  // waits so far, in every thread
