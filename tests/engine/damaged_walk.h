// Everything a user's browsing does to a table, run over a table that may be
// damaged: open, read every record and its memos, walk every tag both ways,
// seek. Errors are taken out as they come (as the user closes the box); what
// counts is that every walk ends. Shared by the damaged-table tests and the
// damaged-table fuzz target.
#pragma once

#include <string>

#include "engine/data.h"
#include "engine/engine_api.h"
#include "engine/index.h"
#include "engine/memo.h"

namespace kvdamaged {

struct Outcome {
  bool opened = false;
  int errors = 0;        // engine errors met (negative codes)
  int last_error = 0;
  bool index_error = false;  // -310 met
  bool endless = false;  // a walk went past every entry the files can hold
  long steps = 0;
  std::string where;  // the walk that did not end
};

inline void take_error(DB_ENGINE* c, Outcome* o) {
  int e = code_error_set(c, 0);
  if (e < 0) {
    o->errors++;
    o->last_error = e;
    if (e == e_index) o->index_error = true;
  }
}

// Entries the index file can hold at most (every block full of the shortest
// keys), with room for the records: a walk that visits more is a loop.
inline long walk_cap(DbDataFile* d, long records) {
  long cap = 16 + 2 * (records > 0 ? records : 0);
  for (auto* x = static_cast<DbIndexFile*>(list_first(&d->indexes)); x;
       x = static_cast<DbIndexFile*>(list_next(&d->indexes, x)))
    cap += 2 * (file_len(&x->file) / 512 + 1) * 128;
  return cap;
}

inline void walk(DbDataFile* d, DbTag* t, bool backward, long cap, Outcome* o) {
  DB_ENGINE* c = d->context;
  data_tag_select(d, t);
  long steps = 0;
  for (int rc = backward ? data_bottom(d) : data_top(d); rc == 0;
       rc = data_skip(d, backward ? -1 : 1)) {
    if (++steps > cap) {
      o->endless = true;
      o->where = std::string(tag_name(t)) + (backward ? " backward" : " forward");
      break;
    }
  }
  o->steps += steps;
  take_error(c, o);
}

inline Outcome exercise(DB_ENGINE* c, const std::string& dbf) {
  Outcome o;
  DbDataFile* d = data_open(c, dbf.c_str());
  if (!d) {
    take_error(c, &o);
    return o;
  }
  o.opened = true;
  // The records the file holds: a damaged count may state millions more,
  // which the engine passes over as torn without reading them one by one.
  long count = (DbLock(c), data_count_held(d));
  take_error(c, &o);
  long cap = walk_cap(d, count);
  take_error(c, &o);
  // Every record and its memos, in record order.
  for (long n = 1; n <= count && n <= cap; n++) {
    if (data_go(d, n) == 0) {
      for (int i = 1; i <= data_num_fields(d); i++) {
        DbField* f = data_field_at(d, i);
        if (f->memo) (DbLock(c), memo_field_read(f));
        field_str(f);
        take_error(c, &o);
      }
    }
    take_error(c, &o);
  }
  data_tag_select(d, nullptr);
  for (int rc = data_top(d); rc == 0; rc = data_skip(d, 1))
    if (++o.steps > cap) {
      o.endless = true;
      o.where = "record order";
      break;
    }
  take_error(c, &o);
  // Every tag both ways, then a few seeks in it.
  for (auto* x = static_cast<DbIndexFile*>(list_first(&d->indexes)); x;
       x = static_cast<DbIndexFile*>(list_next(&d->indexes, x))) {
    for (auto* t = static_cast<DbTag*>(list_first(&x->tags)); t;
         t = static_cast<DbTag*>(list_next(&x->tags, t))) {
      walk(d, t, false, cap, &o);
      walk(d, t, true, cap, &o);
      data_tag_select(d, t);
      for (const char* key : {"", "1", "A", "M", "zzzz", "20240101"}) {
        int rc = data_seek(d, key);
        if (rc == 0 || rc == DB_AFTER) data_skip(d, 1);
        take_error(c, &o);
      }
      if (tag_key_type(t) != 'C') {
        data_seek_double(d, 1.0);
        take_error(c, &o);
      }
    }
  }
  data_tag_select(d, nullptr);
  data_close(d);
  take_error(c, &o);
  return o;
}

}  // namespace kvdamaged
