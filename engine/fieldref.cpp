// Field views over the current record of an open data file, and dates. A
// memo text is read from its file when first asked for: those reads are
// public calls (DbCall), the rest reads the record buffer only.
#include <cstring>

#include "engine/convert.h"
#include "engine/dbstr.h"
#include "engine/engine_api.h"

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

unsigned FieldRefMemo::len() {
  if (!field_) return 0;
  DbCall call(field_->data->context, DbCall::run);
  return memo_field_len(field_);
}

char* FieldRefMemo::ptr() {
  if (!field_) return nullptr;
  DbCall call(field_->data->context, DbCall::run);
  return memo_field_ptr(field_);
}

char* FieldRefMemo::str() {
  if (!field_) return DbStr::str();
  if (!field_->memo) return field_str(field_);
  DbCall call(field_->data->context, DbCall::run);
  return memo_field_ptr(field_);
}

int FieldRefMemo::setLen(unsigned n) {
  if (!field_ || !field_->memo) return -1;
  DbCall call(field_->data->context, DbCall::run);
  // Load the stored text first: growing keeps what stands before the change,
  // so insert and replace work on the real memo.
  memo_field_len(field_);
  return memo_field_set_len(field_, n) < 0 ? -1 : 0;
}

TagRef::TagRef(DbDataFile* data, const char* name)
    : tag_(data && name ? data_tag_find(data, name) : nullptr) {}
