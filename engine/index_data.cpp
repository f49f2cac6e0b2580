// The index side of the data-file operations. Key changes happen under the
// index lock and leave every tag as it was when one of them refuses a key.
#include "engine/index_data.h"

#include <cstring>
#include <vector>

#include "engine/expr.h"
#include "engine/index.h"
#include "engine/index_internal.h"
#include "engine/lock.h"

namespace {

DbTag* first_tag(DbIndexFile* x) { return static_cast<DbTag*>(list_first(&x->tags)); }
DbTag* next_tag(DbIndexFile* x, DbTag* t) { return static_cast<DbTag*>(list_next(&x->tags, t)); }

std::vector<DbTag*> all_tags(DbDataFile* d) {
  std::vector<DbTag*> v;
  for (DbIndexFile* x = index_first(d); x; x = index_next(d, x))
    for (DbTag* t = first_tag(x); t; t = next_tag(x, t)) v.push_back(t);
  return v;
}

// Locks the index files not locked yet; *taken lists them for the release.
int lock_indexes(DbDataFile* d, std::vector<DbIndexFile*>* taken) {
  DbAssertLocked(d->context);  // the keys change between this and the unlock
  for (DbIndexFile* x = index_first(d); x; x = index_next(d, x)) {
    if (x->locked || x->file.exclusive) continue;
    int rc = index_lock(x);
    if (rc != 0) return rc;
    taken->push_back(x);
  }
  return 0;
}

int unlock_indexes(std::vector<DbIndexFile*>& taken) {
  int rc = 0;
  for (DbIndexFile* x : taken)
    if (index_unlock(x) < 0) rc = -1;
  taken.clear();
  return rc;
}

struct Key {
  unsigned char bytes[512];
  bool in = false;  // the record belongs in the tag (its filter passes)
};

int record_key(DbTag* t, Key* k) {
  int pass = tag_filter_passes(t);
  if (pass < 0) return -1;
  k->in = pass == 1;
  return mdx_record_key(t, k->bytes) < 0 ? -1 : 0;
}

// Keys of the record in old_record: the expressions read d->record, so the
// buffers change places for the evaluation.
int old_record_key(DbDataFile* d, DbTag* t, Key* k) {
  std::swap(d->record, d->old_record);
  int rc = record_key(t, k);
  std::swap(d->record, d->old_record);
  return rc;
}

// The tags of every index of the table with room for a key each: inline
// for the usual few tags, so an append allocates nothing.
class TagKeys {
 public:
  explicit TagKeys(DbDataFile* d) {
    for (DbIndexFile* x = index_first(d); x; x = index_next(d, x)) n_ += size_t(x->tags.count);
    if (n_ > kInline) {
      heap_tags_.resize(n_);
      heap_keys_.resize(n_);
      tags_ = heap_tags_.data();
      keys_ = heap_keys_.data();
    }
    size_t i = 0;
    for (DbIndexFile* x = index_first(d); x; x = index_next(d, x))
      for (DbTag* t = first_tag(x); t && i < n_; t = next_tag(x, t)) tags_[i++] = t;
    n_ = i;
  }
  TagKeys(const TagKeys&) = delete;
  TagKeys& operator=(const TagKeys&) = delete;
  size_t size() const { return n_; }
  DbTag* tag(size_t i) const { return tags_[i]; }
  Key& key(size_t i) { return keys_[i]; }

 private:
  static constexpr size_t kInline = 8;
  DbTag* inline_tags_[kInline];
  Key inline_keys_[kInline];
  std::vector<DbTag*> heap_tags_;
  std::vector<Key> heap_keys_;
  size_t n_ = 0;
  DbTag** tags_ = inline_tags_;
  Key* keys_ = inline_keys_;
};

// 1 when no tag's key can differ between old_record and record (only
// fields no tag reads changed): nothing to make, compare or lock.
bool keys_unchanged(DbDataFile* d) {
  for (DbIndexFile* x = index_first(d); x; x = index_next(d, x))
    for (DbTag* t = first_tag(x); t; t = next_tag(x, t))
      if (!mdx_key_unchanged(t, d->old_record, d->record)) return false;
  return true;
}

// Quiet step used while undoing: a pending error waits outside.
void undo(DB_ENGINE* c, int (*op)(DbTag*, const void*, long), DbTag* t, const Key& k, long n) {
  DbQuietError quiet(c);
  if (k.in) op(t, k.bytes, n);
}

DbTag* seek_tag(DbDataFile* d) {
  if (d->tag_selected) return d->tag_selected;
  DbIndexFile* x = index_first(d);
  return x ? first_tag(x) : nullptr;
}

// Goes to the record of the tag's current key; a key beyond the record count
// (another station's append not yet seen) is checked against a fresh count
// and passed over in direction dir.
int go_current(DbDataFile* d, DbTag* t, int dir, long* passed) {
  for (;;) {
    long n = tag_recno(t);  // -2 past the last key, or off a leaf
    if (n < 0 && tag_eof(t)) return data_go_eof(d);
    // A key within the count last found needs no fresh one: records only
    // go with a pack, which rebuilds the index, and the refresh that sees
    // that forgets the count. A key past it is checked against the file.
    long count = n >= 1 && d->held_for > 0 && n <= d->count_held ? d->count_held : data_count_held(d);
    if (count < 0) return -1;
    if (n > count && !data_count_cacheable(d)) {
      d->header.num_recs = -1;
      count = data_count_held(d);
      if (count < 0) return -1;
    }
    if (n >= 1 && n <= count) return data_go_in(d, n);
    if (tag_skip(t, dir) != dir) {
      // Nothing counted lies that way: an end, as for an empty file.
      int rc = data_go_eof(d);
      if (dir > 0 || rc < 0) return rc;
      d->bof = 1;
      return DB_BOF;
    }
    if (passed) ++*passed;
  }
}

// Writes the current record when it changed (without forcing anything to disk).
int write_current(DbDataFile* d) {
  if (d->record_changed && d->rec_num > 0) return data_write_in(d, d->rec_num);
  return 0;
}

// Record n holds the row the record buffer was read from: the same bytes,
// its deletion mark aside. No read when another station cannot renumber
// the rows (our file lock). 1, 0, or -1.
int holds_current(DbDataFile* d, long n) {
  if (n == d->rec_num && data_file_locked(d)) return 1;
  long count = data_count_held(d);
  if (count < 0) return -1;
  if (n < 1 || n > count) return 0;
  std::vector<char> stored(d->record_width);
  if (file_read_all(&d->file, data_record_pos(d, n), stored.data(), d->record_width) < 0) return -1;
  return std::memcmp(stored.data() + 1, d->record + 1, d->record_width - 1) == 0;
}

// Puts the tag back on the current record after it was taken off it: 0 on
// it, 1 on the entry after where it was (it is gone), -1. Another station's
// pack renumbers rows: (key, old number) may then lead to another row with
// an equal key, or to none while the row stands at a lower number. So the
// entries of equal keys are looked through for the row's bytes first: a
// walk back would meet the row twice otherwise, and one forward would pass
// over equal keys behind it.
int refind_current(DbDataFile* d, DbTag* t) {
  Key k;
  if (mdx_record_key(t, k.bytes) < 0) return -1;
  unsigned len = unsigned(t->header.key_len);
  int rc = tag_go(t, k.bytes, d->rec_num);
  if (rc < 0 || data_file_locked(d)) return rc;
  int held = rc == 0 ? holds_current(d, d->rec_num) : 0;
  if (held != 0) return held < 0 ? -1 : 0;
  if (tag_seek(t, k.bytes, len) < 0) return -1;
  for (;;) {
    unsigned char* at = tag_key(t);
    if (!at || t->compare(at, k.bytes, len) != 0) break;
    long n = tag_recno(t);
    held = n == d->rec_num ? 0 : holds_current(d, n);
    if (held != 0) return held < 0 ? -1 : 0;
    if (tag_skip(t, 1) != 1) break;
  }
  if (d->context->error_code < 0) return -1;
  // Not among them: (key, old number) is the place, a row there counting
  // as this one (another station changed its other fields).
  return tag_go(t, k.bytes, d->rec_num);
}

int refresh(DbDataFile* d) {
  for (DbIndexFile* x = index_first(d); x; x = index_next(d, x)) {
    int changed = index_refresh(x);
    if (changed < 0) return -1;
    if (changed > 0) d->held_for = 0;  // another station's pack comes with a new index
  }
  return 0;
}

}  // namespace

int index_data_open(DbDataFile* d) {
  DB_ENGINE* c = d->context;
  if (!d->has_mdx || !c->auto_open) return 0;
  return index_open_in(d, nullptr) ? 0 : -1;
}

int index_data_create(DbDataFile* d, const DbTagInfo* tags) {
  if (!tags || !tags[0].name) return 0;
  if (index_create(d, nullptr, tags)) return 0;
  int rc = code_error_get(d->context);
  return rc > 0 ? rc : -1;
}

DbIndexFile* index_create(DbDataFile* d, const char* name, const DbTagInfo* tags) {
  if (!d) return nullptr;
  DB_ENGINE* c = d->context;
  DbAssertLocked(c);
  if (c->error_code < 0) return nullptr;
  if (c->error_code > 0) c->error_code = 0;
  bool was_locked = data_file_locked(d);
  if (data_lock_file_in(d) != 0) return nullptr;
  DbIndexFile* x = index_file_create(d, name, tags);
  if (!was_locked) data_unlock_file(d);
  return x;
}

int index_close(DbIndexFile* x) {
  if (!x) return -1;
  DB_ENGINE* c = x->context;
  DbAssertLocked(c);
  int rc = 0;
  {
    DbEndlessLocks endless;
    DbDataFile* d = x->data;
    if (d->record_changed && d->rec_num > 0 && data_flush_in(d) < 0) rc = -1;
    if (file_holds_writes(&d->file) && d->file_locked) {
      // One more try for the records held back; failing that, they never
      // reach the disk, and their keys must not either.
      DbQuietError quiet(c, DbQuietError::if_error);
      data_unlock_file(d);
    }
  }
  if (index_file_close(x) < 0) rc = -1;
  return c->error_code < 0 ? -1 : rc;
}

int index_data_close(DbDataFile* d) {
  int rc = 0;
  d->tag_selected = nullptr;
  while (DbIndexFile* x = index_first(d))
    if (index_close(x) < 0) rc = -1;
  return rc;
}

int index_data_flush(DbDataFile* d) {
  int rc = 0;
  // To the disk with the table: an index left behind by a power cut would
  // hide rows the table holds until it is rebuilt.
  for (DbIndexFile* x = index_first(d); x; x = index_next(d, x))
    if (index_flush(x) < 0 || file_flush(&x->file, 0) < 0) rc = -1;
  return rc;
}

DbTag* index_data_tag_find(DbDataFile* d, const char* name) {
  DB_ENGINE* c = d->context;
  DbTag* found = nullptr;
  {
    DbSettingFor quiet(c->report_tag_errors, 0);  // one report below, not one per index file
    for (DbIndexFile* x = index_first(d); x && !found; x = index_next(d, x)) found = index_tag(x, name);
  }
  if (!found && c->report_tag_errors) code_error(c, e_tag_name, name);
  return found;
}

namespace {

int seek_once(DbDataFile* d, DbTag* t, const unsigned char* key, unsigned len) {
  DB_ENGINE* c = d->context;
  if (int rc = write_current(d)) return rc;
  if (refresh(d) < 0) return -1;
  int rc = tag_seek(t, key, len);
  if (rc < 0) return -1;
  for (;;) {
    int go = go_current(d, t, 1, nullptr);
    if (go != 0) return go;
    if (data_file_locked(d)) return rc;
    // Another station may have changed the record since the key was read.
    Key now;
    if (mdx_record_key(t, now.bytes) < 0) return -1;
    unsigned char* stored = tag_key(t);
    if (stored && t->compare(now.bytes, stored, unsigned(t->header.key_len)) == 0) return rc;
    int cmp = t->compare(now.bytes, key, len);
    if (cmp == 0) return 0;
    if (cmp > 0) return DB_AFTER;
    if (tag_skip(t, 1) != 1) return data_go_eof(d);
    rc = DB_AFTER;
    if (c->error_code < 0) return -1;
  }
}

}  // namespace

namespace {

// After a seek found nothing: waits for another station's write-back of the
// index to end and tells whether the index changed since the seek began.
bool changed_under_seek(DbDataFile* d, DbIndexFile* x) {
  DB_ENGINE* c = d->context;
  if (x->locked || x->file.exclusive || x->file.read_only || data_file_locked(d)) return false;
  DbQuietError quiet(c);
  bool changed = false;
  DbEndlessLocks endless;  // the byte is held only while writes go out
  if (file_lock(&x->file, DB_INDEX_WRITING_BYTE, 1) == 0) {
    file_unlock_in(&x->file, DB_INDEX_WRITING_BYTE, 1);
    changed = index_refresh(x) > 0;
    if (changed) d->held_for = 0;
  }
  return changed;
}

int seek_key(DbDataFile* d, DbTag* t, const unsigned char* key, unsigned len) {
  for (int tries = 0;; tries++) {
    int rc = seek_once(d, t, key, len);
    if ((rc != DB_AFTER && rc != DB_EOF) || tries == 3 || !changed_under_seek(d, t->index)) return rc;
  }
}

}  // namespace

int index_data_seek(DbDataFile* d, const char* text, int len) {
  DbTag* t = seek_tag(d);
  if (!t) return DB_NO_TAG;
  unsigned char key[512] = {};
  if (len < 0) len = int(std::strlen(text));
  unsigned use = unsigned(t->header.key_len);
  if (t->header.key_type == 'C') {
    if (len > t->header.key_len) len = t->header.key_len;
    std::memcpy(key, text, size_t(len));
    use = unsigned(len);
  } else {
    t->value_to_key(key, text, len);
  }
  return seek_key(d, t, key, use);
}

int index_data_seek_double(DbDataFile* d, double value) {
  DbTag* t = seek_tag(d);
  if (!t) return DB_NO_TAG;
  if (!t->double_to_key) return -1;
  unsigned char key[16] = {};
  t->double_to_key(key, value);
  return seek_key(d, t, key, unsigned(t->header.key_len));
}

int index_data_top(DbDataFile* d) {
  DbTag* t = d->tag_selected;
  if (int rc = write_current(d)) return rc;
  if (refresh(d) < 0 || tag_top(t) < 0) return -1;
  return go_current(d, t, 1, nullptr);
}

int index_data_bottom(DbDataFile* d) {
  DbTag* t = d->tag_selected;
  if (int rc = write_current(d)) return rc;
  if (refresh(d) < 0 || tag_bottom(t) < 0) return -1;
  if (tag_eof(t)) return data_go_eof(d);
  int rc = go_current(d, t, -1, nullptr);
  return rc == DB_BOF ? DB_EOF : rc;  // no counted key at all: an empty tag
}

int index_data_skip(DbDataFile* d, long n) {
  DB_ENGINE* c = d->context;
  DbTag* t = d->tag_selected;
  if (int rc = write_current(d)) return rc;
  if (refresh(d) < 0) return -1;
  if (d->eof) {
    if (n >= 0) return DB_EOF;
    if (tag_bottom(t) < 0) return -1;
    if (tag_eof(t)) {
      data_go_eof(d);
      d->bof = 1;
      return DB_BOF;
    }
    n++;  // reaching the last key is the first step back
  } else if (tag_recno(t) != d->rec_num) {
    // The tag no longer stands where this record was reached (a write, or
    // another station's change of the index, took it off): find the record
    // by its key again. While it still stands there it moves on from there,
    // even when the stored key disagrees with the record: going back by the
    // record's key would throw a walk back over a damaged index for ever.
    int rc = refind_current(d, t);
    if (rc < 0) return -1;
    if (rc != 0 && n > 0) n--;  // already on the next key
  }
  long moved = n == 0 ? 0 : tag_skip(t, n);
  if (c->error_code < 0) return -1;
  if (n > 0 && moved < n) return data_go_eof(d);
  int dir = n < 0 ? -1 : 1;
  long passed = 0;
  int rc = go_current(d, t, dir, &passed);
  if (rc != 0) return rc;
  if (n < 0 && moved > n) {
    d->bof = 1;
    return DB_BOF;
  }
  return 0;
}

int index_data_tag_end(DbDataFile* d, int dir) {
  DbTag* t = d->tag_selected;
  if (int rc = write_current(d)) return rc;
  if (refresh(d) < 0 || (dir > 0 ? tag_top(t) : tag_bottom(t)) < 0) return -1;
  return tag_eof(t) ? DB_EOF : 0;
}

int index_data_tag_seek(DbDataFile* d, const unsigned char* key, unsigned len) {
  DbTag* t = d->tag_selected;
  if (int rc = write_current(d)) return rc;
  if (refresh(d) < 0 || tag_seek(t, key, len) < 0) return -1;
  return tag_eof(t) ? DB_EOF : 0;
}

int index_data_tag_skip(DbDataFile* d, int dir) {
  DbTag* t = d->tag_selected;
  if (int rc = write_current(d)) return rc;
  if (refresh(d) < 0) return -1;
  if (d->eof) {
    if (dir > 0) return DB_EOF;
    if (tag_bottom(t) < 0) return -1;
    return tag_eof(t) ? DB_BOF : 0;  // the last key is the first step back
  }
  if (tag_recno(t) != d->rec_num) {
    // As for a skip: the record, found again, is where the walk is.
    int rc = refind_current(d, t);
    if (rc < 0) return -1;
    if (rc != 0 && dir > 0) return tag_eof(t) ? DB_EOF : 0;  // already on the next key
  }
  long moved = tag_skip(t, dir);
  if (d->context->error_code < 0) return -1;
  if (moved != dir) return dir > 0 ? DB_EOF : DB_BOF;
  return 0;
}

int index_data_append(DbDataFile* d) {
  DB_ENGINE* c = d->context;
  if (!index_first(d)) return 0;
  std::vector<DbIndexFile*> taken;
  int rc = lock_indexes(d, &taken);
  if (rc != 0) {
    unlock_indexes(taken);
    return rc;
  }
  TagKeys tk(d);
  size_t i = 0;
  for (; i < tk.size(); i++) {
    Key& k = tk.key(i);
    rc = record_key(tk.tag(i), &k);
    if (rc == 0 && k.in) rc = tag_add(tk.tag(i), k.bytes, d->rec_num);
    if (rc == DB_UNIQUE_KEEP_FIRST) {
      // The first record keeps the key; this one goes without it in this tag only.
      k.in = false;
      rc = 0;
    }
    if (rc != 0) break;
  }
  if (rc != 0) {
    while (i-- > 0) undo(c, tag_remove, tk.tag(i), tk.key(i), d->rec_num);
    DbQuietError quiet(c);
    unlock_indexes(taken);
    d->rec_num = 0;
    return rc < 0 ? -1 : rc;
  }
  std::vector<DbIndexFile*> held = taken;
  if (unlock_indexes(taken) == 0) return 0;
  // The keys did not reach the disk and stay held; the caller writes no
  // record for them, so they come out before the index goes out later.
  for (size_t j = tk.size(); j-- > 0;) undo(c, tag_remove, tk.tag(j), tk.key(j), d->rec_num);
  DbQuietError quiet(c);
  unlock_indexes(held);
  d->rec_num = 0;
  return -1;
}

void index_data_append_undo(DbDataFile* d) {
  DB_ENGINE* c = d->context;
  if (!index_first(d)) return;
  DbQuietError quiet(c);
  std::vector<DbIndexFile*> taken;
  if (lock_indexes(d, &taken) == 0) {
    for (DbTag* t : all_tags(d)) {
      Key k;
      if (record_key(t, &k) == 0) undo(c, tag_remove, t, k, d->rec_num);
      code_error_set(c, 0);
    }
  }
  unlock_indexes(taken);
}

int index_data_write(DbDataFile* d, long n) {
  DB_ENGINE* c = d->context;
  if (!index_first(d)) return 0;
  if (!data_stored_copy(d, n, d->old_record) &&
      file_read_all(&d->file, data_record_pos(d, n), d->old_record, d->record_width) < 0)
    return -1;
  d->rec_num_old = n;
  if (std::memcmp(d->old_record, d->record, d->record_width) == 0) return 0;
  if (keys_unchanged(d)) {
    d->rec_num_old = -1;
    return 0;
  }
  // Room for both keys of every tag without allocating: this runs for every
  // record a walk rewrites.
  TagKeys olds(d), news(d);
  std::vector<DbIndexFile*> taken;
  bool locked = false;
  int rc = 0;
  size_t i = 0;
  for (; i < news.size(); i++) {
    DbTag* t = news.tag(i);
    if (mdx_key_unchanged(t, d->old_record, d->record)) continue;  // no key to make or compare
    if (record_key(t, &news.key(i)) < 0 || old_record_key(d, t, &olds.key(i)) < 0) {
      rc = -1;
      break;
    }
    if (news.key(i).in == olds.key(i).in &&
        (!news.key(i).in || t->compare(news.key(i).bytes, olds.key(i).bytes, unsigned(t->header.key_len)) == 0)) {
      olds.key(i).in = news.key(i).in = false;  // nothing to change or undo here
      continue;
    }
    if (!locked) {
      rc = lock_indexes(d, &taken);
      if (rc != 0) break;
      locked = true;
    }
    if (olds.key(i).in) {
      rc = tag_remove(t, olds.key(i).bytes, n);
      if (rc == DB_NO_RECORD) rc = 0;  // not there: nothing to remove
      if (rc != 0) break;
    }
    if (news.key(i).in) {
      rc = tag_add(t, news.key(i).bytes, n);
      if (rc == DB_UNIQUE_KEEP_FIRST) {
        news.key(i).in = false;  // as on append: only this tag goes without the key
        rc = 0;
      }
      if (rc != 0) {
        undo(c, tag_add, t, olds.key(i), n);
        break;
      }
    }
  }
  if (rc != 0 && i < news.size()) {
    while (i-- > 0) {
      undo(c, tag_remove, news.tag(i), news.key(i), n);
      undo(c, tag_add, news.tag(i), olds.key(i), n);
    }
  }
  std::vector<DbIndexFile*> held = taken;
  DbQuietError quiet(c);
  int unlocked = unlock_indexes(taken);
  if (rc == 0 && unlocked != 0) {
    // The new keys did not reach the disk and stay held; the caller keeps
    // the old record, so its old keys go back before the index goes out.
    quiet.finish(DbQuietError::never);
    DbQuietError undoing(c);
    for (size_t j = news.size(); j-- > 0;) {
      undo(c, tag_remove, news.tag(j), news.key(j), n);
      undo(c, tag_add, news.tag(j), olds.key(j), n);
    }
    unlock_indexes(held);
  }
  d->rec_num_old = -1;
  if (rc != 0) return rc < 0 ? -1 : rc;
  return unlocked;
}

void index_data_write_undo(DbDataFile* d, long n) {
  DB_ENGINE* c = d->context;
  if (!index_first(d)) return;
  DbQuietError quiet(c);
  std::vector<DbIndexFile*> taken;
  if (file_read_all(&d->file, data_record_pos(d, n), d->old_record, d->record_width) == 0 &&
      std::memcmp(d->old_record, d->record, d->record_width) != 0 &&
      lock_indexes(d, &taken) == 0) {
    for (DbTag* t : all_tags(d)) {
      Key now, stored;
      if (record_key(t, &now) < 0 || old_record_key(d, t, &stored) < 0) {
        code_error_set(c, 0);
        continue;
      }
      if (now.in == stored.in &&
          (!now.in || t->compare(now.bytes, stored.bytes, unsigned(t->header.key_len)) == 0))
        continue;
      undo(c, tag_remove, t, now, n);
      undo(c, tag_add, t, stored, n);
    }
  }
  unlock_indexes(taken);
  d->rec_num_old = -1;
}

int index_data_reindex(DbDataFile* d) {
  if (!index_first(d)) return 0;
  int rc = data_lock_file_in(d);
  if (rc != 0) return rc;
  rc = index_data_lock(d);
  if (rc != 0) return rc;
  for (DbIndexFile* x = index_first(d); x && rc == 0; x = index_next(d, x)) rc = index_rebuild(x);
  return rc < 0 ? -1 : rc;
}
