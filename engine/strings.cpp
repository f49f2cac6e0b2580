// Small text and file-name routines, growable buffers and the retry wait.
#include <cctype>
#include <atomic>
#include <cstring>

#include "engine/convert.h"
#include "engine/engine.h"
#include "engine/os_shim.h"

char* str_trim_len(char* text, int n) {
  int len = 0;
  while (len < n && text[len]) len++;
  text[len] = 0;
  while (len > 1 && (text[len - 1] == ' ' || text[len - 1] == 0)) text[--len] = 0;
  return text;
}

void str_upper(char* text) {
  for (; *text; text++) *text = static_cast<char>(std::toupper(static_cast<unsigned char>(*text)));
}

void str_lower(char* text) {
  for (; *text; text++) *text = static_cast<char>(std::tolower(static_cast<unsigned char>(*text)));
}

int str_copy_max(char* target, const char* source, int size) {
  if (size <= 0) return 0;
  int n = 0;
  while (n < size - 1 && source[n]) {
    target[n] = source[n];
    n++;
  }
  target[n] = 0;
  return n;
}

int char_is_name(int c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '&' || c == '@' || c == '_';
}

namespace {

// Index just past the directory part ("\", "/" or a drive's ":").
int dir_end(const char* name, int len) {
  for (int i = len - 1; i >= 0; i--)
    if (name[i] == '\\' || name[i] == '/' || name[i] == ':') return i + 1;
  return 0;
}

int ext_start(const char* name, int len) {
  int d = dir_end(name, len);
  for (int i = len - 1; i >= d; i--)
    if (name[i] == '.') return i;
  return -1;
}

// True when the letters of name[from, to) are lower case (at least one, none upper).
bool lower_case_letters(const char* name, int from, int to) {
  bool lower = false;
  for (int i = from; i < to; i++) {
    unsigned char ch = static_cast<unsigned char>(name[i]);
    if (std::isupper(ch)) return false;
    if (std::islower(ch)) lower = true;
  }
  return lower;
}

bool has_letters(const char* name, int from, int to) {
  for (int i = from; i < to; i++)
    if (std::isalpha(static_cast<unsigned char>(name[i]))) return true;
  return false;
}

}  // namespace

int file_name_ext(char* name, int size, const char* ext, int replace) {
  int len = static_cast<int>(std::strlen(name));
  while (len > 0 && name[len - 1] == ' ') len--;
  int dot = ext_start(name, len);
  if (dot >= 0 && !replace) {
    name[len] = 0;
    return 0;
  }
  if (*ext == '.') ext++;
  // The extension takes the case of the name it goes on (of the old
  // extension when that has letters): tools where names differ by case look
  // for "t.dbt" beside "t.dbf" and for "T.DBT" beside "T.DBF".
  int from = dir_end(name, len), to = dot >= 0 ? dot : len;
  if (dot >= 0 && has_letters(name, dot + 1, len)) {
    from = dot + 1;
    to = len;
  }
  bool lower = lower_case_letters(name, from, to);
  int at = dot >= 0 ? dot : len;
  int ext_len = static_cast<int>(std::strlen(ext));
  // A name that cannot take its extension is refused, never written past.
  if (at + 1 + ext_len + 1 > size) return -1;
  name[at] = '.';
  for (int i = 0; i <= ext_len; i++) {
    unsigned char ch = static_cast<unsigned char>(ext[i]);
    name[at + 1 + i] = static_cast<char>(lower ? std::tolower(ch) : std::toupper(ch));
  }
  return 0;
}

int file_name_piece(char* result, int size, const char* name, int keep_dir, int keep_ext) {
  int len = static_cast<int>(std::strlen(name));
  int d = dir_end(name, len);
  int e = ext_start(name, len);
  int from = keep_dir ? 0 : d;
  int to = keep_ext || e < 0 ? len : e;
  int n = to - from;
  if (n > size - 1) n = size - 1;
  if (n < 0) n = 0;
  std::memcpy(result, name + from, n);
  result[n] = 0;
  str_upper(result);
  return 0;
}

void* mem_alloc_retry(DB_ENGINE*, size_t size) {
  // Without a block cache there is nothing to give back before a retry.
  return mem_alloc(size);
}

int mem_grow(DB_ENGINE* c, char** buf, unsigned* size, unsigned new_size) {
  if (new_size <= *size && *buf) return 0;
  char* p = static_cast<char*>(mem_alloc_retry(c, new_size));
  if (!p) {
    code_error(c, e_memory, nullptr);
    return e_memory;
  }
  if (*buf) std::memcpy(p, *buf, *size);
  mem_free(*buf);
  *buf = p;
  *size = new_size;
  return 0;
}

namespace {
std::atomic<long> yields{0};
}  // namespace

long code_yield_count() { return yields.load(); }

void code_yield() {
  yields++;
  long start = dbos_time_seconds();
  for (int i = 0; i < 25 && dbos_time_seconds() == start; i++) dbos_sleep_ms(40);
}
