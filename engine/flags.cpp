// Bit-flag sets for query bitmaps. An inverted set stands for the
// complement of its bits, so "everything but" needs no second pass.
#include <cstring>

#include "engine/engine.h"
#include "engine/pool.h"

namespace {

int check(DbFlags* f, unsigned long i, const char* who) {
  if (f->context && f->context->error_code < 0) {
    flag_free(f);
    return -1;
  }
  if (i > f->max_index || !f->bits) return code_error(f->context, e_info, who);
  return 0;
}

size_t byte_count(const DbFlags* f) { return f->max_index / 8 + 2; }

}  // namespace

int flag_init(DbFlags* f, DB_ENGINE* c, unsigned long n) {
  std::memset(f, 0, sizeof *f);
  f->context = c;
  if (c && c->error_code < 0) return -1;
  f->max_index = n;
  if (n == 0) return 0;
  f->bits = static_cast<unsigned char*>(mem_alloc_err(c, n / 8 + 2));
  return f->bits ? 0 : -1;
}

void flag_free(DbFlags* f) {
  mem_free(f->bits);
  f->bits = nullptr;
}

int flag_set(DbFlags* f, unsigned long i) {
  if (int rc = check(f, i, "flag_set()")) return rc;
  f->bits[i / 8] |= static_cast<unsigned char>(1u << (i % 8));
  return 0;
}

int flag_reset(DbFlags* f, unsigned long i) {
  if (int rc = check(f, i, "flag_reset()")) return rc;
  f->bits[i / 8] &= static_cast<unsigned char>(~(1u << (i % 8)));
  return 0;
}

int flag_is_set(DbFlags* f, unsigned long i) {
  if (int rc = check(f, i, "flag_is_set()")) return rc;
  return (f->bits[i / 8] >> (i % 8)) & 1;
}

int flag_set_range(DbFlags* f, unsigned long first, unsigned long count) {
  for (unsigned long i = 0; i < count; i++)
    if (flag_set(f, first + i) < 0) return e_info;
  return 0;
}

int flag_all_set(DbFlags* f, unsigned long from, unsigned long to) {
  for (unsigned long i = from; i <= to && from <= to; i++) {
    int r = flag_is_set(f, i);
    if (r < 0) return -1;
    if (r == 0) return 0;
  }
  return 1;
}

int flag_range_readable(DbFlags* f, unsigned long from, unsigned long to) {
  for (unsigned long i = from; i <= to && from <= to; i++)
    if (flag_is_set(f, i) < 0) return -1;
  return 1;
}

void flag_set_all(DbFlags* f) {
  if (f->bits) std::memset(f->bits, 0xFF, (f->max_index + 7) / 8);
}

void flag_invert(DbFlags* f) { f->inverted = !f->inverted; }

// A second set without bits stands for no record (or, inverted, every
// record), so both combinations follow from that meaning.
void flag_and(DbFlags* a, const DbFlags* b) {
  if (!a->bits) return;
  size_t n = byte_count(a);
  if (!b->bits) {
    // b is empty: a AND {} = {}; a AND everything = a.
    if (!b->inverted) {
      std::memset(a->bits, 0, n);
      a->inverted = 0;
    }
    return;
  }
  for (size_t i = 0; i < n; i++) {
    unsigned char x = a->bits[i], y = b->bits[i];
    if (!a->inverted && !b->inverted) x = x & y;
    else if (a->inverted && b->inverted) x = static_cast<unsigned char>(~(x | y));
    else if (!a->inverted) x = x & static_cast<unsigned char>(~y);
    else x = static_cast<unsigned char>(~x) & y;
    a->bits[i] = x;
  }
  a->inverted = 0;
}

void flag_or(DbFlags* a, const DbFlags* b) {
  if (!a->bits) return;
  size_t n = byte_count(a);
  if (!b->bits) {
    // a OR {} = a; a OR everything = everything.
    if (b->inverted) {
      std::memset(a->bits, 0, n);
      a->inverted = 1;
    }
    return;
  }
  for (size_t i = 0; i < n; i++) {
    unsigned char x = a->bits[i], y = b->bits[i];
    if (!a->inverted && !b->inverted) x = x | y;
    else if (a->inverted && b->inverted) x = static_cast<unsigned char>(~(x & y));
    else if (!a->inverted) x = x | static_cast<unsigned char>(~y);
    else x = static_cast<unsigned char>(~x) | y;
    a->bits[i] = x;
  }
  a->inverted = 0;
}
