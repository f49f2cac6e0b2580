// Key routines by key type (compare, text to key, double to key), the tag
// header image, and the key of the current record.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "engine/convert.h"
#include "engine/expr.h"
#include "engine/expr_table.h"
#include "engine/index_internal.h"

namespace {

// Blank dates key as 1e100 from a field and 1e300 when computed; both mean
// "no date" and must meet, so every key from 1e100 up counts as 1e100.
constexpr double kBlankDate = 1.0e100;

double date_of(const void* p) {
  double v;
  std::memcpy(&v, p, 8);
  return v >= kBlankDate ? kBlankDate : v;
}

int cmp_char(const void* a, const void* b, unsigned len) {
  int r = std::memcmp(a, b, len);
  return r < 0 ? -1 : r > 0 ? 1 : 0;
}
int cmp_char_desc(const void* a, const void* b, unsigned len) { return -cmp_char(a, b, len); }

int cmp_date(const void* a, const void* b, unsigned) {
  double x = date_of(a), y = date_of(b);
  if (std::fabs(x - y) <= 1e-13) return 0;
  return x < y ? -1 : 1;
}
int cmp_date_desc(const void* a, const void* b, unsigned len) { return -cmp_date(a, b, len); }

int cmp_num(const void* a, const void* b, unsigned) {
  return packed_compare(static_cast<const unsigned char*>(a), static_cast<const unsigned char*>(b));
}
int cmp_num_desc(const void* a, const void* b, unsigned len) { return -cmp_num(a, b, len); }

void date_text_key(unsigned char* key, const char* text, int len) {
  char date[9];
  std::memset(date, ' ', 8);
  std::memcpy(date, text, size_t(len < 8 ? (len < 0 ? 0 : len) : 8));
  date[8] = 0;
  long j = date_to_julian(date);
  // Blank (or unreadable) text seeks the blank dates.
  double v = j > 0 ? double(j) : kBlankDate;
  std::memcpy(key, &v, 8);
}

void date_double_key(unsigned char* key, double value) {
  double v = value == 0 ? kBlankDate : value;
  std::memcpy(key, &v, 8);
}

void num_text_key(unsigned char* key, const char* text, int len) { packed_from_str(key, text, len); }
// A whole number below 10^15 (an id, a count) packs from its digits as its
// text would: no formatting on every seek.
void num_double_key(unsigned char* key, double value) {
  if (!(value != 0 && std::fabs(value) < 1e15 && value == std::trunc(value))) {
    packed_from_double(key, value);
    return;
  }
  uint64_t u = uint64_t(std::fabs(value));
  unsigned char digits[16] = {};
  int n = 0;
  for (; u > 0; u /= 10) digits[n++] = static_cast<unsigned char>(u % 10);  // lowest first
  int trailing = 0;
  while (digits[trailing] == 0) trailing++;
  std::memset(key, 0, DB_PACKED_LEN);
  for (int k = 0; k < n; k++) {
    unsigned char d = digits[n - 1 - k];
    key[2 + k / 2] |= static_cast<unsigned char>(k % 2 ? d : d << 4);
  }
  key[0] = static_cast<unsigned char>(52 + n);
  key[1] = static_cast<unsigned char>((value < 0 ? 0x80 : 0) | ((n - trailing) << 2) | 1);
}

}  // namespace

int tag_routines_set(DbTag* t, int key_type) {
  bool desc = t->header.key_format & 0x08;
  switch (key_type) {
    case 'C':
      t->compare = desc ? cmp_char_desc : cmp_char;
      t->key_order = desc ? DB_ORDER_BYTES_DESC : DB_ORDER_BYTES;
      t->value_to_key = nullptr;
      t->double_to_key = nullptr;
      return 0;
    case 'D':
      t->compare = desc ? cmp_date_desc : cmp_date;
      t->key_order = DB_ORDER_ROUTINE;
      t->value_to_key = date_text_key;
      t->double_to_key = date_double_key;
      return 0;
    case 'N':
      t->compare = desc ? cmp_num_desc : cmp_num;
      t->key_order = desc ? DB_ORDER_PACKED_DESC : DB_ORDER_PACKED;
      t->value_to_key = num_text_key;
      t->double_to_key = num_double_key;
      return 0;
    default:
      return code_error(t->context, e_info, "Invalid key type in index file");
  }
}

void mdx_header_decode(DbTagHeader* h, const unsigned char* p) {
  h->root = long(le_get32(p));
  h->key_format = p[8];
  h->key_type = p[9];
  h->key_len = int(le_get16(p + 12));
  h->keys_max = int(le_get16(p + 14));
  h->date_flag = int(le_get16(p + 16));
  h->group_len = int(le_get16(p + 18));
  h->version = p[20];
  h->unique_flag = int(le_get16(p + 22));
}

void mdx_header_encode(const DbTagHeader* h, unsigned char* p) {
  std::memset(p, 0, 24);
  le_put32(p, uint32_t(h->root < 0 ? 0 : h->root));
  p[8] = h->key_format;
  p[9] = h->key_type;
  le_put16(p + 12, unsigned(h->key_len));
  le_put16(p + 14, unsigned(h->keys_max));
  le_put16(p + 16, unsigned(h->date_flag));
  le_put16(p + 18, unsigned(h->group_len));
  p[20] = h->version;
  le_put16(p + 22, unsigned(h->unique_flag));
}

int mdx_record_key(DbTag* t, unsigned char* key) {
  // A key that is one character or number field comes straight from the
  // record, as the evaluation would make it.
  const DbExpr* e = t->expr;
  if (e->ops.size() == 1 && !e->trim) {
    const DbExprOp& op = e->ops[0];
    int len = t->header.key_len;
    if (op.row == kRowFieldC && e->result_type == 'C' && op.length == len) {
      if (t->context->error_code < 0) return -1;
      std::memcpy(key, op.file->record + op.position, size_t(len));
      return len;
    }
    if (op.row == kRowFieldN && e->result_type == 'N' && len == DB_PACKED_LEN) {
      if (t->context->error_code < 0) return -1;
      packed_from_str(key, op.file->record + op.position, op.length);
      return len;
    }
  }
  char* k = nullptr;
  int len = expr_key_eval_in(t->expr, &k);
  if (len < 0) return -1;
  if (len != t->header.key_len)
    return code_error_ex(t->context, e_index, "File Name:", t->index->file.name, nullptr);
  assert(len <= DB_MDX_MAX_KEY);  // callers' key buffers hold the longest key an index may have
  std::memcpy(key, k, size_t(len));
  if (t->header.key_type == 'D') {
    double v = date_of(key);
    std::memcpy(key, &v, 8);
  }
  return len;
}

int mdx_key_unchanged(const DbTag* t, const char* old_record, const char* new_record) {
  if (t->filter) return 0;
  const DbExpr* e = t->expr;
  if (e->ops.size() != 1) return 0;
  const DbExprOp& op = e->ops[0];
  // Field readers of the table's own record (a memo's text lies elsewhere).
  if (op.row < kRowFieldC || op.row > kRowFieldN || !op.field || op.file != t->index->data) return 0;
  const DbField* f = op.field;
  return std::memcmp(old_record + f->offset, new_record + f->offset, f->len) == 0 ? 1 : 0;
}

int tag_key_of_record(DbTag* t, unsigned char** key) {
  DB_ENGINE* c = t->context;
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  if (!c->key_buf.grow(c, unsigned(t->header.key_len) + 1)) return -1;
  // expr_key_eval builds into the same buffer, so take the key out through a copy.
  unsigned char tmp[512];
  unsigned char* out = t->header.key_len <= int(sizeof tmp) ? tmp : nullptr;
  if (!out) return code_error(c, e_info, "Key too long");
  int len = mdx_record_key(t, out);
  if (len < 0) return -1;
  std::memcpy(c->key_buf.data(), out, size_t(len));
  *key = reinterpret_cast<unsigned char*>(c->key_buf.data());
  return len;
}

int tag_filter_passes(DbTag* t) {
  if (!t->filter) return 1;
  return expr_true_in(t->filter) > 0 ? 1 : 0;
}
