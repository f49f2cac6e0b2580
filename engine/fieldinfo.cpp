// Field and tag definition lists. Names are kept upper-case and cut to ten
// characters, the longest a dBASE field or tag name can be.
#include "engine/fieldinfo.h"

#include <atomic>
#include <cstring>

#include "engine/convert.h"
#include "engine/dbstr.h"
#include "engine/expr.h"
#include "engine/index.h"

namespace {

std::atomic<int> live{0};

// The stored form of a name: at most 10 characters, upper-case, no
// trailing blanks.
void name_form(const char* name, DbStrTen& out) {
  out.assign(name ? name : "");
  out.upper();
  out.trim();
}

// Grows a zero-ended array so that it holds count + 2 entries; new space is
// zeroed. -1 (with -920 reported) leaves it as it was.
template <class Entry>
int grow_for(DB_ENGINE* c, Entry*& entries, unsigned& capacity, int count) {
  unsigned need = static_cast<unsigned>(count + 2) * sizeof(Entry);
  if (need <= capacity) return 0;
  auto* p = static_cast<Entry*>(mem_alloc_err(c, need));
  if (!p) return -1;
  if (entries) std::memcpy(p, entries, capacity);
  mem_free(entries);
  entries = p;
  capacity = need;
  return 0;
}

char* copy_text(DB_ENGINE* c, const char* text, size_t size) {
  auto* p = static_cast<char*>(mem_alloc_err(c, size));
  if (p) std::memcpy(p, text, strnlen(text, size - 1));
  return p;
}

// Index of the first entry whose name begins with the wanted name, or -1.
template <class Entry>
int find_prefix(const Entry* entries, int count, const char* name) {
  DbStrTen want;
  name_form(name, want);
  for (int i = 0; i < count; i++)
    if (std::strncmp(entries[i].name, want.ptr(), want.len()) == 0) return i;
  return -1;
}

}  // namespace

int info_lists_live() { return live.load(); }

FieldInfoList::FieldInfoList(DB_ENGINE* context) : context_(context) { ++live; }

FieldInfoList::FieldInfoList(DbDataFile* data) : FieldInfoList(data->context) {
  for (int i = 1; i <= data_num_fields(data); i++)
    if (add(data_field_at(data, i)) < 0) break;
}

FieldInfoList::~FieldInfoList() {
  --live;
  for (int i = 0; i < count_; i++) mem_free(const_cast<char*>(entries_[i].name));
  mem_free(entries_);
}

int FieldInfoList::add(const char* name, int type, unsigned len, unsigned decimals) {
  DbStrTen n;
  name_form(name, n);
  if (grow_for(context_, entries_, capacity_, count_) < 0) return -1;
  char* stored = copy_text(context_, n.ptr(), 11);
  if (!stored) return -1;
  DbFieldInfo& e = entries_[count_];
  e.name = stored;
  e.type = static_cast<unsigned char>(type);
  e.len = len;
  e.decimals = decimals;
  count_++;
  return 0;
}

int FieldInfoList::add(DbField* field) {
  if (!field) return -1;
  return add(field_name(field), field_type(field), field_len(field),
             static_cast<unsigned>(field_decimals(field)));
}

int FieldInfoList::del(const char* name) {
  int i = find_prefix(entries_, count_, name);
  if (i < 0) return code_error_ex(context_, e_parm, "FieldInfoList::del()", name, nullptr);
  return delAt(i);
}

int FieldInfoList::delAt(int index) {
  if (index < 0 || index >= count_)
    return code_error_ex(context_, e_parm, "FieldInfoList::delAt()", nullptr, nullptr);
  mem_free(const_cast<char*>(entries_[index].name));
  // The later entries and the zeroed end entry move one place down.
  std::memmove(&entries_[index], &entries_[index + 1],
               static_cast<size_t>(count_ - index) * sizeof(DbFieldInfo));
  count_--;
  std::memset(&entries_[count_ + 1], 0, sizeof(DbFieldInfo));
  return 0;
}

TagInfoList::TagInfoList(DB_ENGINE* context) : context_(context) { ++live; }

TagInfoList::TagInfoList(DbDataFile* data) : TagInfoList(data->context) {
  for (auto* x = static_cast<DbIndexFile*>(list_first(&data->indexes)); x;
       x = static_cast<DbIndexFile*>(list_next(&data->indexes, x)))
    for (auto* t = static_cast<DbTag*>(list_first(&x->tags)); t;
         t = static_cast<DbTag*>(list_next(&x->tags, t)))
      if (add(tag_name(t), expr_source(t->expr), t->filter ? expr_source(t->filter) : nullptr,
              tag_unique(t), tag_descending(t)) < 0)
        return;
}

TagInfoList::~TagInfoList() {
  --live;
  for (int i = 0; i < count_; i++) {
    mem_free(const_cast<char*>(entries_[i].name));
    mem_free(const_cast<char*>(entries_[i].expression));
    mem_free(const_cast<char*>(entries_[i].filter));
  }
  mem_free(entries_);
}

int TagInfoList::add(const char* name, const char* expression, const char* filter, int unique,
                     int descending) {
  DbStrTen n;
  name_form(name, n);
  if (!expression) expression = "";
  if (grow_for(context_, entries_, capacity_, count_) < 0) return -1;
  DbTagInfo& e = entries_[count_];
  e.name = copy_text(context_, n.ptr(), 11);
  e.expression = e.name ? copy_text(context_, expression, std::strlen(expression) + 1) : nullptr;
  if (e.expression && filter) e.filter = copy_text(context_, filter, std::strlen(filter) + 1);
  if (!e.name || !e.expression || (filter && !e.filter) || code_error_get(context_) < 0) {
    mem_free(const_cast<char*>(e.name));
    mem_free(const_cast<char*>(e.expression));
    mem_free(const_cast<char*>(e.filter));
    std::memset(&e, 0, sizeof e);
    return -1;
  }
  e.unique = unique;
  e.descending = descending;
  count_++;
  return 0;
}

int TagInfoList::del(const char* name) {
  int i = find_prefix(entries_, count_, name);
  if (i < 0) return code_error_ex(context_, e_parm, "TagInfoList::del()", name, nullptr);
  return delAt(i);
}

int TagInfoList::delAt(int index) {
  if (index < 0 || index >= count_)
    return code_error_ex(context_, e_parm, "TagInfoList::delAt()", nullptr, nullptr);
  DbTagInfo& e = entries_[index];
  mem_free(const_cast<char*>(e.name));
  mem_free(const_cast<char*>(e.expression));
  mem_free(const_cast<char*>(e.filter));
  std::memmove(&entries_[index], &entries_[index + 1],
               static_cast<size_t>(count_ - index) * sizeof(DbTagInfo));
  count_--;
  std::memset(&entries_[count_ + 1], 0, sizeof(DbTagInfo));
  return 0;
}
