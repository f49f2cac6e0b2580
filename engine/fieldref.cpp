// Field views over the current record of an open data file, and dates.
#include <cstring>

#include "engine/convert.h"
#include "engine/data.h"
#include "engine/dbstr.h"
#include "engine/memo.h"

DateValue::DateValue() {
  std::memset(buf_, ' ', 8);
  buf_[8] = 0;
}

DateValue::DateValue(long julian) {
  std::memset(buf_, ' ', 8);
  date_from_julian(buf_, julian);
  buf_[8] = 0;
}

DateValue::DateValue(const char* ccyymmdd) : DateValue() {
  if (ccyymmdd) std::memcpy(buf_, ccyymmdd, strnlen(ccyymmdd, 8));
}

DateValue::DateValue(const char* text, const char* picture) : DateValue() {
  date_from_picture(buf_, text, picture);
  buf_[8] = 0;
}

long DateValue::asLong() { return date_to_julian(buf_); }

FieldRef::FieldRef(DbDataFile* data, int number)
    : field_(data ? data_field_at(data, number) : nullptr) {}

void FieldRef::changed() {
  if (field_) field_->data->record_changed = 1;
}

int FieldRef::decimals() { return field_ ? field_->decimals : 0; }
unsigned FieldRef::len() { return field_ ? field_->len : 0; }
char* FieldRef::ptr() { return field_ ? field_ptr(field_) : nullptr; }

FieldRefMemo::FieldRefMemo(DbDataFile* data, const char* name)
    : FieldRef(data ? data_field_named(data, name) : nullptr) {}

void FieldRefMemo::changed() {
  if (!field_) return;
  if (field_->memo) field_->memo->changed = 1;
  field_->data->record_changed = 1;
}

unsigned FieldRefMemo::len() { return field_ ? memo_field_len(field_) : 0; }
char* FieldRefMemo::ptr() { return field_ ? memo_field_ptr(field_) : nullptr; }

char* FieldRefMemo::str() {
  if (!field_) return DbStr::str();
  return field_->memo ? memo_field_ptr(field_) : field_str(field_);
}

int FieldRefMemo::setLen(unsigned n) {
  if (!field_ || !field_->memo) return -1;
  // A larger memo gets a new buffer: carry the text over so that insert and
  // replace keep what stands before the change.
  unsigned old = memo_field_len(field_);
  unsigned keep = old < n ? old : n;
  char* copy = nullptr;
  if (keep) {
    copy = new char[keep];
    std::memcpy(copy, memo_field_ptr(field_), keep);
  }
  int rc = memo_field_set_len(field_, n);
  if (rc >= 0 && keep) std::memcpy(memo_field_ptr(field_), copy, keep);
  delete[] copy;
  return rc < 0 ? -1 : 0;
}

TagRef::TagRef(DbDataFile* data, const char* name)
    : tag_(data && name ? data_tag_find(data, name) : nullptr) {}
