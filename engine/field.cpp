// Field access inside the current record buffer, and fields by number or name.
#include <cstring>

#include "engine/convert.h"
#include "engine/table.h"
#include "engine/memo.h"

int data_num_fields(DbDataFile* d) { return d->n_fields; }

DbField* data_field_at(DbDataFile* d, int n) {
  if (n < 1 || n > d->n_fields) return nullptr;
  return &d->fields[n - 1];
}

int data_field_find(DbDataFile* d, const char* name) {
  DbAssertLocked(d->context);
  char want[256];
  str_copy_max(want, name, sizeof want);
  int len = static_cast<int>(std::strlen(want));
  while (len > 0 && want[len - 1] == ' ') want[--len] = 0;
  str_upper(want);
  for (int i = 0; i < d->n_fields; i++)
    if (std::strcmp(d->fields[i].name, want) == 0) return i + 1;
  if (d->context->report_field_errors) code_error(d->context, e_field_name, name);
  return -1;
}

DbField* data_field_named_in(DbDataFile* d, const char* name) {
  int n = data_field_find(d, name);
  return n > 0 ? &d->fields[n - 1] : nullptr;
}

char* field_ptr(DbField* f) { return f->data->record + f->offset; }

char* field_ptr_write(DbField* f) {
  f->data->record_changed = 1;
  return field_ptr(f);
}

unsigned field_len(DbField* f) { return f->len; }
int field_decimals(DbField* f) { return f->decimals; }
const char* field_name(DbField* f) { return f->name; }
int field_type(DbField* f) { return f->type == 'F' ? 'N' : f->type; }

void field_blank(DbField* f) { std::memset(field_ptr_write(f), ' ', f->len); }

void field_assign_n(DbField* f, const char* text, unsigned len) {
  char* p = field_ptr_write(f);
  unsigned n = static_cast<unsigned>(strnlen(text, len < f->len ? len : f->len));
  std::memcpy(p, text, n);
  std::memset(p + n, ' ', f->len - n);
}

// The text past the field's width is never read: it need not end nearby.
void field_assign(DbField* f, const char* text) { field_assign_n(f, text, f->len); }

void field_assign_char(DbField* f, int ch) {
  field_blank(f);
  if (f->len) field_ptr(f)[0] = static_cast<char>(ch);
}

int field_char(DbField* f) { return static_cast<unsigned char>(field_ptr(f)[0]); }

unsigned field_copy(DbField* f, char* buf, unsigned size) {
  if (size == 0) return 0;
  unsigned n = f->len < size - 1 ? f->len : size - 1;
  std::memcpy(buf, field_ptr(f), n);
  buf[n] = 0;
  return n;
}

char* field_str_in(DbField* f) {
  DB_ENGINE* c = f->data->context;
  DbAssertLocked(c);
  if (f->memo) return memo_field_ptr(f);
  char* text = c->field_buf.grow(c, f->len + 1);
  if (!text) return nullptr;
  std::memcpy(text, field_ptr(f), f->len);
  text[f->len] = 0;
  return text;
}

void field_assign_long(DbField* f, long value) {
  if (f->type == 'D') {
    char date[8];
    date_from_julian(date, value);
    field_assign_n(f, date, 8);
  } else if (f->decimals > 0) {
    field_assign_double(f, static_cast<double>(value));
  } else {
    ltoa_width(value, field_ptr_write(f), static_cast<int>(f->len));
  }
}

long field_long(DbField* f) {
  if (f->type == 'D') {
    if (f->len < 8) return -1;
    return date_to_julian(field_ptr(f));
  }
  return str_to_long(field_ptr(f), static_cast<int>(f->len));
}

void field_assign_double(DbField* f, double value) {
  if (f->type == 'D') {
    field_assign_long(f, static_cast<long>(value));
  } else {
    double_to_fixed(value, field_ptr_write(f), static_cast<int>(f->len), f->decimals);
  }
}

double field_double(DbField* f) {
  if (f->type == 'D') return static_cast<double>(field_long(f));
  return str_to_double(field_ptr(f), static_cast<int>(f->len));
}
