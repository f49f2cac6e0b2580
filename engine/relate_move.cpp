// Moving a relation: preparing it, going to the first or last qualifying
// master record, skipping, and positioning the slaves on their matches.
#include <cmath>
#include <cstring>

#include "engine/convert.h"
#include "engine/lock.h"
#include "engine/query.h"
#include "engine/index.h"
#include "engine/index_data.h"
#include "engine/relate.h"

namespace {

bool is_top(const DbRelateNode* n) { return n->master == nullptr; }

// Goes to record n when it exists; 5 when it does not, without an error.
int go_existing(DbDataFile* d, long n) {
  long count = data_count_held(d);
  if (count < 0) return -1;
  if (n < 1 || n > count) return DB_NO_RECORD;
  return data_go_in(d, n);
}

// Goes to record n of a walk over a bitmap that wants record `next` after
// it (0 none, -1 not known). A record within the count checked when the
// bitmap was built needs no fresh count: records go only with a pack, which
// truncates the file, so a record gone reads short (5).
int go_walk(DbDataFile* d, long n, long next) { return relate_go_record(d, n, next); }

// The walk by the selected tag over the records its range listed: from the
// current entry (or an end) to the next whose record still exists. 0, 3 or
// 4, or 1 when the current record stands elsewhere (the tag takes over).
int list_step(DbRelateNode* top, int dir, bool from_end) {
  DbDataFile* d = top->data;
  const std::vector<long>& recs = top->range_recs;
  long size = static_cast<long>(recs.size());
  long at;
  if (from_end) {
    at = dir > 0 ? -1 : size;
  } else {
    at = top->range_at;
    bool here = at >= 0 && at < size && !data_eof(d) && data_recno(d) == recs[size_t(at)];
    bool past = at == size && data_eof(d);
    if (!here && !past) return 1;
  }
  for (at += dir; at >= 0 && at < size; at += dir) {
    long next = at + dir >= 0 && at + dir < size ? recs[size_t(at + dir)] : 0;
    int rc = go_walk(d, recs[size_t(at)], next);
    if (rc == DB_NO_RECORD) continue;  // packed or cut by another station since
    if (rc == 0) top->range_at = at;
    return rc;
  }
  if (dir > 0) {
    top->range_at = size;
    data_go_eof(d);
    return DB_EOF;
  }
  // Nothing before the range passes: the tag's first record, as a walk
  // through the whole tag would have ended.
  top->range_at = -1;
  int rc = data_top_in(d);
  if (rc < 0) return rc;
  if (rc != 0) data_go_eof(d);
  d->bof = 1;
  return DB_BOF;
}

void clear_reads(DbRelateNode* node) {
  for (DbRelateNode* s : node->slaves) {
    s->read = 0;
    s->scan_pending = 0;
    clear_reads(s);
  }
}

void blank_tree(DbRelateNode* node) {
  for (DbRelateNode* s : node->slaves) relate_blank_node(s);
}

// The slave has no match: its error action decides.
int no_match(DbRelateNode* node) {
  DB_ENGINE* c = node->context;
  switch (node->error_action) {
    case DB_RELATE_SKIP:
      return DB_RELATE_101;
    case DB_RELATE_TERMINATE:
      if (c->index_option_a) return code_error(c, e_lookup_err, data_alias(node->data));
      return DB_RELATE_END;
    default:
      if (data_go_eof(node->data) < 0) return -1;
      node->read = 1;
      return 0;
  }
}

// A slave record the node's bitmap lets pass. Slave records added since the
// bitmap was built are left to the filter.
bool slave_passes(DbRelateNode* node, long rec) {
  const DbFlags& b = node->bitmap;
  if (b.bits && rec > static_cast<long>(b.max_index)) return true;
  return bitmap_test(&node->bitmap, rec);
}

// The key of the current scan record still equals the key sought.
bool scan_key_holds(DbRelateNode* node) {
  const char* k = relate_tag_key(node->slave_tag);
  return k && std::memcmp(k, node->scan_key.data(), node->scan_key.size()) == 0;
}

int lock_all(DbRelateNode* node) {
  int rc = data_lock_file_in(node->data);
  if (rc != 0) return rc;
  for (DbRelateNode* s : node->slaves)
    if ((rc = lock_all(s)) != 0) return rc;
  return 0;
}

void unlock_all(DbRelateNode* node) {
  data_unlock_in(node->data);
  for (DbRelateNode* s : node->slaves) unlock_all(s);
}

int lock_relation(DbRelation* r) {
  DB_ENGINE* c = r->top.context;
  for (int tries = 1;; tries++) {
    int rc = lock_all(&r->top);
    if (rc == 0) {
      r->locked = 1;
      return 0;
    }
    unlock_all(&r->top);
    if (rc < 0) return rc;
    if (c->lock_attempts >= 0 && tries >= (c->lock_attempts > 1 ? c->lock_attempts : 1))
      return DB_LOCKED;
    code_yield();
  }
}

void build_scan_list(DbRelation* r, DbRelateNode* node) {
  for (DbRelateNode* s : node->slaves) build_scan_list(r, s);
  if (!is_top(node) && node->match_mode == DB_RELATE_SCAN) r->scan_list.push_back(node);
}

int prepare(DbRelation* r) {
  DB_ENGINE* c = r->top.context;
  relate_reset(r);  // whatever a failed earlier try left behind
  if (c->read_lock && !r->locked) {
    int rc = lock_relation(r);
    if (rc != 0) return rc;
  }
  if (!r->query_text.empty()) {
    DbExpr* e = expr_parse_in(r->top.data, r->query_text.c_str());
    if (!e) return -1;
    if (expr_type(e) != 'L') {
      expr_free(e);
      code_error_ex(c, e_result, "relate_top()", "Expecting logical result.", nullptr);
      return -1;
    }
    r->query = query_parts_create(r, e);
    if (!r->query) return -1;
    if (query_parts_prepare(r->query) < 0) {
      if (c->error_code < 0) return -1;
      r->bitmaps_disabled = 1;
    }
    if (query_parts_order(r->query) < 0) return -1;
  }
  r->scan_list.clear();
  build_scan_list(r, &r->top);
  r->scan_list.push_back(&r->top);
  r->initialised = 1;
  if (!r->sort_text.empty()) {
    int rc = relate_build_sort(r);
    // Unsorted records must not pass for the sorted set a later top asks for.
    if (rc != 0) r->initialised = 0;
    return rc;
  }
  return 0;
}

// The master's next record its bitmap lets pass, by its selected tag or in
// record order; from_end starts at the first (or last) record. 0, 3 or 4.
int master_step(DbRelation* r, int dir, bool from_end) {
  DbDataFile* d = r->top.data;
  DbFlags* bm = &r->top.bitmap;
  // No bitmap: the file's own order, by its selected tag or record order.
  if (!bm->bits) return from_end ? (dir > 0 ? data_top_in(d) : data_bottom_in(d)) : data_skip_in(d, dir);
  DbTag* t = data_tag_selected(d);
  int rc;
  if (t) {
    // The bitmap's one key range on this very tag: forward walks start at
    // its first key and end past its last.
    bool ranged = r->top.range_tag == t;
    if (ranged && r->top.range_listed) {
      // The range's records were listed in the tag's order as their bits
      // were set: the walk goes through them without the tag.
      rc = list_step(&r->top, dir, from_end);
      if (rc != 1) return rc;
    }
    // Through the tag itself: a record is read only when its bit passes.
    if (from_end && dir > 0 && ranged && !r->top.range_lo.empty()) {
      const std::string& lo = r->top.range_lo;
      rc = index_data_tag_seek(d, reinterpret_cast<const unsigned char*>(lo.data()), unsigned(lo.size()));
    } else {
      rc = from_end ? index_data_tag_end(d, dir) : index_data_tag_skip(d, dir);
    }
    while (rc == 0) {
      if (dir > 0 && ranged && bitmap_past_range(&r->top, tag_key(t))) return data_go_eof(d);
      long rec = tag_recno(t);
      if (rec > 0 && bitmap_test(bm, rec)) {
        // Where the next record lies is not known: the read takes its piece.
        rc = go_walk(d, rec, -1);
        if (rc != DB_NO_RECORD) return rc;
      }
      long moved = tag_skip(t, dir);
      if (code_error_get(d->context) < 0) return -1;
      if (moved != dir) rc = dir > 0 ? DB_EOF : DB_BOF;
    }
    if (rc < 0) return rc;
    if (rc == DB_EOF) return data_go_eof(d);
    // Before the first key: the walk rests on the tag's first record.
    long first = tag_recno(t);
    rc = first > 0 ? go_existing(d, first) : DB_NO_RECORD;
    if (rc < 0) return rc;
    if (rc != 0) data_go_eof(d);
    d->bof = 1;
    return DB_BOF;
  }
  // Record order over the bitmap: jump to the next record whose bit passes.
  long from;
  if (from_end) from = dir > 0 ? 0 : static_cast<long>(bm->max_index) + 1;
  else from = data_recno(d);
  if (!from_end && data_eof(d) && dir < 0) from = static_cast<long>(bm->max_index) + 1;
  DbRelateNode* top = &r->top;
  long target;
  if (top->hint_dir == dir && top->hint_from == from) {
    target = top->hint_next;
  } else {
    long dist = bitmap_next(bm, from, dir);
    target = dist == 0 ? 0 : from + dist * dir;
  }
  if (target == 0) {
    if (dir > 0) {
      data_go_eof(d);
      return DB_EOF;
    }
    return DB_BOF;
  }
  // The record after it, found now: it tells the read whether records
  // around this one are wanted, and saves the next step the search.
  long after = bitmap_next(bm, target, dir);
  top->hint_dir = dir;
  top->hint_from = target;
  top->hint_next = after == 0 ? 0 : target + after * dir;
  rc = go_walk(d, target, top->hint_next);
  if (rc == DB_NO_RECORD) {  // packed or cut by another station since
    data_go_eof(d);
    return dir > 0 ? DB_EOF : DB_BOF;
  }
  return rc;
}

// Moves a scan node to its next (or previous) record with the key it
// sought; 104 moved, 3 the scan is used up.
int scan_step(DbRelateNode* node, int dir) {
  if (node->scan_pending) {
    node->scan_pending = 0;
    int rc = relate_read_node(node);
    if (rc < 0 || rc == DB_RELATE_END) return rc;
    return rc == 0 && !data_eof(node->data) ? int(DB_RELATE_MOVED) : int(DB_EOF);
  }
  if (!node->slave_tag || data_eof(node->data) || node->scan_key.empty()) return DB_EOF;
  for (;;) {
    if (relate_tag_skip(node->slave_tag, dir) != dir) return DB_EOF;
    if (!scan_key_holds(node)) return DB_EOF;
    long rec = relate_tag_recno(node->slave_tag);
    // Records the filter rejects are passed over; the scan goes on.
    if (!slave_passes(node, rec)) continue;
    int rc = go_existing(node->data, rec);
    if (rc < 0) return rc;
    if (rc != 0) return DB_EOF;
    return DB_RELATE_MOVED;
  }
}

// One move of the relation in a direction: 0 moved, 3 or 4 at the end.
int advance(DbRelation* r, int dir) {
  r->moving_back = dir < 0;
  for (DbRelateNode* node : r->scan_list) {
    bool in_sort = r->state == 'y' && node->sort_type == DB_RELATE_EXACT;
    if (is_top(node) || in_sort) {
      clear_reads(&r->top);
      if (r->state == 'y') return relate_sort_read(r, r->sort_pos + dir);
      return master_step(r, dir, false);
    }
    // A scan outside the sorted set runs when the set is read, not while it
    // is built, or each of its records would enter the set once more.
    if (r->state == 'x' && node->sort_type == DB_RELATE_SORT_SKIP) continue;
    int rc = scan_step(node, dir);
    if (rc < 0 || rc == DB_RELATE_END) return rc;
    if (rc == DB_RELATE_MOVED) {
      node->read = 1;
      clear_reads(node);
      return 0;
    }
    relate_blank_node(node);
  }
  return DB_EOF;
}

// A walk of the master alone in its file's own order, the filter one
// test of its record: what advance and accept do, without the nodes.
int skip_filtered(DbRelation* r, int dir, long steps) {
  r->moving_back = dir < 0;
  while (steps > 0) {
    int rc = data_skip_in(r->top.data, dir);
    if (rc != 0) return rc;
    rc = query_parts_eval(r->query);
    if (rc < 0) return rc;
    if (rc == 1) steps--;
  }
  return 0;
}

// Tests the current records: 1 they qualify, 0 not, 90 or an error.
int accept(DbRelation* r) {
  if (r->query) {
    int rc = query_parts_eval(r->query);
    if (rc != 1) return rc;
  }
  int rc = relate_read_nodes(&r->top);
  if (rc == DB_RELATE_101) return 0;
  return rc < 0 || rc == DB_RELATE_END ? rc : 1;
}

// Positions on the first (dir 1) or last (dir -1) qualifying record.
int relate_end(DbRelation* r, int dir) {
  DbDataFile* d = r->top.data;
  DbBatchReads batch(d);  // a sorted set or a scan reads many records in order
  r->top.slave_tag = data_tag_selected(d);
  if (!r->initialised) {
    int rc = prepare(r);
    if (rc != 0) return rc;
  } else if (r->state == 0 && r->query && !r->bitmaps_disabled && !r->top.context->optimise_off) {
    // Each walk from an end sees the records as they are now: rows added
    // or changed by other stations since the last one count again.
    relate_free_bitmaps(&r->top);
    if (query_bitmap_build(r->query) < 0) {
      if (r->top.context->error_code < 0) return -1;
      r->bitmaps_disabled = 1;
    }
  }
  r->moving_back = dir < 0;
  clear_reads(&r->top);
  int rc;
  if (r->state == 'y') {
    if (dir > 0) {
      rc = relate_sort_read(r, 1);
    } else {
      // The last entry: take every entry from the sort first.
      rc = relate_sort_read(r, r->sort_count);
    }
  } else {
    rc = master_step(r, dir, true);
  }
  if (rc != 0) return rc;
  rc = accept(r);
  if (rc < 0 || rc == DB_RELATE_END) return rc;
  if (rc == 0) return relate_skip_in(r, dir);
  return 0;
}

}  // namespace

int relate_go_record(DbDataFile* d, long n, long next) {
  if (n >= 1 && d->held_for > 0 && n <= d->count_held) return data_go_toward(d, n, next);
  return go_existing(d, n);
}

void relate_blank_node(DbRelateNode* node) {
  data_go_eof(node->data);
  node->read = 1;
  blank_tree(node);
}

// Positions one slave on the record matching its master's current record:
// 0, 101 pass the master over, 90 terminated, or an error.
int relate_read_node(DbRelateNode* node) {
  if (is_top(node)) return 0;
  DbDataFile* s = node->data;
  if (node->slave_tag) {
    char* key = nullptr;
    int len = expr_key_eval_in(node->master_expr, &key);
    if (len < 0) return -1;
    if (len > node->key_len) len = node->key_len;
    if (node->match_mode == DB_RELATE_SCAN) node->scan_key.assign(key, static_cast<size_t>(len));
    int rc = relate_tag_seek(node->slave_tag, key, len);
    if (rc < 0) return -1;
    bool usable = rc == 0 || node->match_mode == DB_RELATE_APPROX;
    if (usable && !relate_tag_eof(node->slave_tag)) {
      bool scan = rc == 0 && node->match_mode == DB_RELATE_SCAN;
      int dir = node->relation->moving_back ? -1 : 1;
      if (scan && dir < 0) {
        // Moving backward, a scan starts at the last record with its key.
        while (relate_tag_skip(node->slave_tag, 1) == 1) {
          if (!scan_key_holds(node)) {
            relate_tag_skip(node->slave_tag, -1);
            break;
          }
        }
      }
      long rec = relate_tag_recno(node->slave_tag);
      // A scan starts at its first record the filter may accept.
      while (scan && !slave_passes(node, rec)) {
        if (relate_tag_skip(node->slave_tag, dir) != dir || !scan_key_holds(node))
          return DB_RELATE_101;
        rec = relate_tag_recno(node->slave_tag);
      }
      if (!slave_passes(node, rec)) return DB_RELATE_101;
      rc = go_existing(s, rec);
      if (rc < 0) return rc;
      if (rc == 0) {
        node->read = 1;
        return 0;
      }
    } else if (node->match_mode == DB_RELATE_APPROX) {
      if (data_go_eof(s) < 0) return -1;
      node->read = 1;
      return 0;
    }
    return no_match(node);
  }
  double v = expr_double_in(node->master_expr);
  if (node->context->error_code < 0) return -1;
  long rec = std::isfinite(v) && std::fabs(v) < 2.0e9 ? static_cast<long>(v) : 0;
  int rc = go_existing(s, rec);
  if (rc < 0) return rc;
  if (rc == 0 && !slave_passes(node, rec)) return DB_RELATE_101;
  if (rc == 0) {
    node->read = 1;
    return 0;
  }
  if (node->match_mode == DB_RELATE_APPROX) {
    if (data_go_eof(s) < 0) return -1;
    node->read = 1;
    return 0;
  }
  return no_match(node);
}

// Reads every slave not yet read, depth first. Among scan siblings only the
// first that finds a record is followed; later ones wait, blank.
int relate_read_nodes(DbRelateNode* node) {
  bool scan_found = false;
  for (DbRelateNode* s : node->slaves) {
    if (!s->read) {
      if (s->match_mode == DB_RELATE_SCAN && scan_found) {
        relate_blank_node(s);
        s->scan_pending = 1;
        continue;
      }
      int rc = relate_read_node(s);
      if (rc != 0) return rc;
    }
    if (s->match_mode == DB_RELATE_SCAN && !s->scan_pending && !data_eof(s->data))
      scan_found = true;
    int rc = relate_read_nodes(s);
    if (rc != 0) return rc;
  }
  return 0;
}

int relate_top_in(DbRelation* r) {
  DB_ENGINE* c = r->top.context;
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  if (r->state == 'y' && !r->skip_backward) relate_reset(r);
  return relate_end(r, 1);
}

int relate_bottom_in(DbRelation* r) {
  DbAssertLocked(r->top.context);
  if (!r->skip_backward) {
    relate_reset(r);
    r->skip_backward = 1;
  }
  return relate_end(r, -1);
}

int relate_skip_in(DbRelation* r, long n) {
  DB_ENGINE* c = r->top.context;
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  if (n < 0 && !r->skip_backward) return -1;
  if (!r->initialised) return -1;
  int dir = n < 0 ? -1 : 1;
  long steps = n < 0 ? -n : n;
  DbBatchReads batch(r->top.data);  // records the query passes over come in batches
  if (r->top.slaves.empty() && r->state != 'y' && !r->top.bitmap.bits && r->query && r->query->one_test)
    return skip_filtered(r, dir, steps);
  while (steps > 0) {
    int rc = advance(r, dir);
    if (rc != 0) return rc;
    rc = accept(r);
    if (rc < 0 || rc == DB_RELATE_END) return rc;
    if (rc == 1) steps--;
  }
  return 0;
}
