// The operations every text view shares. A value is a counted run of
// characters; "terminate" writes a NUL after it only where the storage has
// room beyond the value (fixed buffers), never into a record.
#include "engine/dbstr.h"

#include <cctype>
#include <cstring>

#include "engine/convert.h"

char* dbstr_shared_buffer() {
  // One per thread: the engine is called from several threads, and a value
  // read by one must not change under another's str().
  thread_local char buffer[257];
  return buffer;
}

long DbStr::asLong() { return str_to_long(ptr(), static_cast<int>(len())); }

unsigned DbStr::len() {
  const char* p = ptr();
  return p ? static_cast<unsigned>(std::strlen(p)) : 0;
}

char* DbStr::str() {
  char* out = dbstr_shared_buffer();
  unsigned n = len();
  if (n > 256) n = 256;
  const char* p = ptr();
  if (p && n) std::memcpy(out, p, n);
  out[p ? n : 0] = 0;
  return out;
}

void DbStr::terminate() {
  unsigned n = len();
  if (maxLen() > n && ptr()) ptr()[n] = 0;
}

int DbStr::assign(const char* text) {
  return assign(text, text ? static_cast<unsigned>(std::strlen(text)) : 0);
}

int DbStr::assign(const char* text, unsigned n) {
  changed();
  setLen(n);
  unsigned room = len();
  char* p = ptr();
  if (!p) return -1;
  int rc = 0;
  if (n > room) {
    n = room;
    rc = -1;
  }
  std::memset(p, ' ', room);
  if (n) std::memmove(p, text, n);
  terminate();
  return rc;
}

int DbStr::assignStr(DbStr& other) { return assign(other.ptr(), other.len()); }

void DbStr::assignLong(long value, int newLen, int zeros) {
  changed();
  if (newLen >= 0) setLen(static_cast<unsigned>(newLen));
  int n = static_cast<int>(len());
  if (!ptr() || n == 0) return;
  ltoa_width(value, ptr(), zeros ? -n : n);
  terminate();
}

void DbStr::assignDouble(double value, int newLen, int dec) {
  changed();
  if (newLen >= 0) setLen(static_cast<unsigned>(newLen));
  if (dec < 0) dec = decimals();
  int n = static_cast<int>(len());
  if (!ptr() || n == 0) return;
  double_to_fixed(value, ptr(), n, dec);
  terminate();
}

long DbStr::toLong() { return ptr() ? str_to_long(ptr(), static_cast<int>(len())) : 0; }

double DbStr::toDouble() { return ptr() ? str_to_double(ptr(), static_cast<int>(len())) : 0; }

int DbStr::firstChar() {
  return len() >= 1 && ptr() ? static_cast<unsigned char>(ptr()[0]) : 0;
}

int DbStr::isTrue() {
  int c = firstChar();
  return c == 'Y' || c == 'y' || c == 'T' || c == 't';
}

bool DbStr::equal(DbStr& other) {
  unsigned n = len();
  return n == other.len() && (n == 0 || std::memcmp(ptr(), other.ptr(), n) == 0);
}

namespace {

int compare(DbStr& a, DbStr& b) {
  unsigned la = a.len(), lb = b.len();
  unsigned n = la < lb ? la : lb;
  int r = n ? std::memcmp(a.ptr(), b.ptr(), n) : 0;
  if (r != 0) return r;
  return la < lb ? -1 : (la > lb ? 1 : 0);
}

}  // namespace

bool DbStr::less(DbStr& other) { return compare(*this, other) < 0; }
bool DbStr::greater(DbStr& other) { return compare(*this, other) > 0; }

int DbStr::add(const char* text) {
  DbStrLen other(const_cast<char*>(text), static_cast<unsigned>(std::strlen(text)));
  return insert(other, len());
}

int DbStr::insert(DbStr& other, unsigned position) {
  changed();
  unsigned old = len();
  if (position > old) position = old;
  unsigned olen = other.len();
  // The inserted value may view this one: keep a copy before moving bytes.
  char* copy = nullptr;
  if (olen) {
    copy = new char[olen];
    std::memcpy(copy, other.ptr(), olen);
  }
  int rc = setLen(old + olen);
  unsigned now = len();
  char* p = ptr();
  if (p && now > position) {
    unsigned tail = old - position;
    unsigned room = now - position;
    unsigned ins = olen < room ? olen : room;
    unsigned moved = tail < room - ins ? tail : room - ins;
    if (moved) std::memmove(p + position + ins, p + position, moved);
    if (ins) std::memcpy(p + position, copy, ins);
  }
  delete[] copy;
  terminate();
  return rc;
}

int DbStr::replace(DbStr& other, unsigned position) {
  changed();
  unsigned olen = other.len();
  char* copy = nullptr;
  if (olen) {
    copy = new char[olen];
    std::memcpy(copy, other.ptr(), olen);
  }
  int rc = 0;
  if (position + olen > len()) rc = setLen(position + olen);
  unsigned now = len();
  if (ptr() && position < now) {
    unsigned n = olen < now - position ? olen : now - position;
    if (n) std::memcpy(ptr() + position, copy, n);
  }
  delete[] copy;
  terminate();
  return rc;
}

int DbStr::find(DbStr& other) {
  unsigned n = len(), m = other.len();
  if (m == 0) return 0;
  if (m > n) return -1;
  const char* p = ptr();
  const char* q = other.ptr();
  for (unsigned i = 0; i + m <= n; i++)
    if (std::memcmp(p + i, q, m) == 0) return static_cast<int>(i);
  return -1;
}

void DbStr::fill(char ch) {
  changed();
  if (ptr()) std::memset(ptr(), ch, len());
  terminate();
}

void DbStr::trim() {
  changed();
  char* p = ptr();
  if (!p) return;
  unsigned n = len();
  while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == 0)) p[--n] = 0;
  setLen(n);
}

void DbStr::upper() {
  changed();
  char* p = ptr();
  for (unsigned i = 0, n = len(); p && i < n && p[i]; i++)
    p[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(p[i])));
}

void DbStr::lower() {
  changed();
  char* p = ptr();
  for (unsigned i = 0, n = len(); p && i < n && p[i]; i++)
    p[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(p[i])));
}

unsigned DbStr::copyTo(char* buffer, unsigned size) {
  if (size == 0) return 0;
  unsigned n = len();
  if (n > size - 1) n = size - 1;
  if (n && ptr()) std::memcpy(buffer, ptr(), n);
  else n = 0;
  buffer[n] = 0;
  return n;
}

char* DbStr::datePicture(const char* picture) {
  char* out = dbstr_shared_buffer();
  char date[9];
  std::memset(date, ' ', 8);
  date[8] = 0;
  unsigned n = len();
  if (ptr()) std::memcpy(date, ptr(), n < 8 ? n : 8);
  // The formatter cuts the picture to 255 characters, so the result fits.
  date_format(date, out, picture);
  return out;
}

char* DbStr::last() {
  unsigned n = len();
  return n && ptr() ? ptr() + n - 1 : nullptr;
}

DbStrLen DbStr::left(unsigned n) {
  unsigned l = len();
  return DbStrLen(ptr(), n < l ? n : l);
}

DbStrLen DbStr::right(unsigned n) {
  unsigned l = len();
  if (n > l) n = l;
  return DbStrLen(ptr() ? ptr() + l - n : nullptr, n);
}

DbStrLen DbStr::substring(unsigned position, unsigned n) {
  unsigned l = len();
  if (position > l) position = l;
  if (n > l - position) n = l - position;
  return DbStrLen(ptr() ? ptr() + position : nullptr, n);
}
