// What the index files, memo files and expressions ask of a table: the
// open file by alias, record numbers, positions and the count held, one
// record's lock, and the stored bytes of the current record. And the guard
// between readers that hold no lock and a rebuild (DbReading,
// DbRebuilding): the reading byte taken shared behind the gate, kept a
// moment by a lease; a rebuild's gate, closed a second at a time while
// readers stay. The bytes and the protocol are set out in lock.h.
#include <cassert>
#include <cstring>

#include "engine/bytes.h"
#include "engine/convert.h"
#include "engine/index.h"
#include "engine/lease.h"
#include "engine/lock.h"
#include "engine/os_shim.h"
#include "engine/table.h"
#include "engine/table_replace.h"

DbDataFile* data_find_by_alias_in(DB_ENGINE* c, const char* name) {
  DbAssertLocked(c);
  char want[11];
  str_copy_max(want, name, sizeof want);
  str_upper(want);
  for (auto* d = static_cast<DbDataFile*>(list_first(&c->data_list)); d;
       d = static_cast<DbDataFile*>(list_next(&c->data_list, d)))
    if (std::strcmp(d->alias, want) == 0) return d;
  return nullptr;
}

long data_recno(DbDataFile* d) { return d->rec_num; }

long data_reccount_in(DbDataFile* d) {
  DbAssertLocked(d->context);
  if (d->context->error_code < 0) return -1;
  if (d->header.num_recs >= 0) return d->header.num_recs;
  unsigned char b[4];
  if (file_read(&d->file, 4, b, 4) != 4) return -1;
  long n = static_cast<long>(le_get32(b));
  d->count_seen = n;
  if (data_count_cacheable(d)) d->header.num_recs = n;
  return n;
}

long data_count_held(DbDataFile* d) {
  DbAssertLocked(d->context);
  long count = data_reccount_in(d);
  if (count <= 0) return count;
  if (count == d->held_for && d->count_held == count) return count;
  long len = file_len_in(&d->file);
  if (len < 0) return -1;
  long body = len - static_cast<long>(d->header.header_len);
  long held = body > 0 ? body / static_cast<long>(d->record_width) : 0;
  d->held_for = count;
  d->count_held = held < count ? held : count;
  return d->count_held;
}

int data_load_stored(DbDataFile* d) {
  DbAssertLocked(d->context);
  if (int rc = data_lock_record_in(d, d->rec_num)) return rc;
  if (file_read_all(&d->file, data_record_pos(d, d->rec_num), d->old_record, d->record_width) < 0)
    return -1;
  d->rec_num_old = d->rec_num;
  return 0;
}

long data_record_pos(DbDataFile* d, long n) {
  DbAssertLocked(d->context);
  assert(n >= 1 && d->record_width > 0);  // records count from 1
  return static_cast<long>(d->header.header_len) + (n - 1) * static_cast<long>(d->record_width);
}

int data_record_locked(DbDataFile* d, long n) {
  if (d->file_locked || d->file.exclusive) return 1;
  long* list = data_locked_records(d);
  for (int i = 0; i < d->n_locks; i++)
    if (list[i] == n) return 1;
  return 0;
}

int data_file_locked(DbDataFile* d) { return d->file_locked || d->file.exclusive; }

int data_count_cacheable(DbDataFile* d) {
  return d->file_locked || d->append_locked || d->file.exclusive;
}

int data_unlock_records(DbDataFile* d) {
  DbAssertLocked(d->context);
  int rc = 0;
  long* list = data_locked_records(d);
  for (int i = 0; i < d->n_locks; i++)
    if (file_unlock_in(&d->file, DB_LOCK_RECORD_BASE - list[i], 1) < 0) rc = -1;
  d->n_locks = 0;
  d->rec_num_old = -1;
  d->memo_numbers_current = 0;
  return rc;
}

int data_lock_record_in(DbDataFile* d, long n) {
  DB_ENGINE* c = d->context;
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  if (n < 1) return code_error(c, e_parm, "data_lock_record()");
  if (data_record_locked(d, n)) return 0;
  index_data_unlock(d);
  data_unlock_records(d);
  int rc = data_lock_past_rebuilds(d, &d->file, DB_LOCK_RECORD_BASE, 1);
  if (rc != 0) return rc;
  rc = file_lock(&d->file, DB_LOCK_RECORD_BASE - n, 1);
  int gate = file_unlock_in(&d->file, DB_LOCK_RECORD_BASE, 1);
  if (rc != 0) return rc;
  if (gate != 0) {
    file_unlock_in(&d->file, DB_LOCK_RECORD_BASE - n, 1);
    return gate;
  }
  data_locked_records(d)[0] = n;
  d->n_locks = 1;
  return 0;
}

namespace {

constexpr long kGuardStepsPerSecond = 1000 / DB_GUARD_STEP_MS;

// Nothing the table's handle holds keeps another station's rebuild out.
bool needs_reading_guard(DbDataFile* d) {
  if (d->file.handle == -1 || d->file.exclusive || d->file_locked) return false;
  DbIndexFile* x = index_first(d);
  if (!x) return true;
  for (; x; x = index_next(d, x))
    if (!x->locked && !x->file.exclusive) return true;
  return false;
}

int guard_error(DbDataFile* d) {
  return code_error_ex(d->context, e_lock, "File Name:", d->file.name, nullptr);
}

// Takes the reading byte shared while no rebuild holds the gate: 0, 1 when
// a rebuild holds either, -1 on an error.
int try_reading(intptr_t h) {
  int r = dbos_lock_shared(h, DB_LOCK_READING, 1);
  if (r == DBOS_LOCK_VIOLATION) return 1;
  if (r != DBOS_LOCK_OK) return -1;
  int gate = dbos_locked_elsewhere(h, DB_LOCK_REBUILD_GATE, 1, false);
  if (gate == 0) return 0;
  dbos_unlock(h, DB_LOCK_READING, 1);
  return gate < 0 ? -1 : 1;
}

// Takes up the reading byte the table's lease still holds: true when it
// may be read on without taking it again. A lease whose time is up goes
// on only while no rebuild has closed the gate since.
bool resume_lease(DbDataFile* d, intptr_t h) {
  if (!d->lease) return false;
  switch (lease_take_up(d->lease, h)) {
    case DB_LEASE_NONE:
      return false;
    case DB_LEASE_STALE:
      if (dbos_locked_elsewhere(h, DB_LOCK_REBUILD_GATE, 1, false) != 0) {
        lease_give_back(d->lease);
        return false;
      }
      lease_renew(d->lease);
      break;
    case DB_LEASE_FRESH:
      break;
  }
  d->reading_held = 1;
  d->guard_handle = h;
  return true;
}

// Gives the byte a lease holds while no scope reads back at once.
void drop_idle_lease(DbDataFile* d) {
  if (d->lease && !d->reading_held && lease_take_up(d->lease, d->file.handle) != DB_LEASE_NONE)
    lease_give_back(d->lease);
}

}  // namespace

int data_reading_enter(DbDataFile* d) {
  DB_ENGINE* c = d->context;
  DbAssertLocked(c);
  // An outer scope that needed no guard then (the table was locked) leaves
  // an inner one that needs it now to take it.
  d->reading_depth++;
  if (d->reading_held || d->rebuild_held || !needs_reading_guard(d)) return 0;
  intptr_t h = d->file.handle;
  if (resume_lease(d, h)) return 0;
  bool waiting = false;
  auto stop_waiting = [&] {
    if (waiting) dbos_unlock(h, DB_LOCK_READERS_WAITING, 1);
    waiting = false;
  };
  for (long steps = guard_wait_steps(c, false);;) {
    int r = try_reading(h);
    if (r == 0 && data_replace_left(d)) {
      // A rebuild died half way: its files are put back before anything is read.
      dbos_unlock(h, DB_LOCK_READING, 1);
      stop_waiting();
      r = data_recover(d);
      if (r == 0) continue;
      r = r == DB_LOCKED ? 1 : -1;
    }
    if (r == 0) {
      stop_waiting();
      if (!d->lease) d->lease = lease_open(DB_LOCK_READING);
      lease_hold(d->lease, h);
      d->reading_held = 1;
      d->guard_handle = h;
      return 0;
    }
    if (r < 0 || steps == 0) {
      stop_waiting();
      d->reading_depth--;
      return guard_error(d);
    }
    // Said while waiting: a rebuild that follows lets the waiting in first.
    if (!waiting) waiting = dbos_lock_shared(h, DB_LOCK_READERS_WAITING, 1) == DBOS_LOCK_OK;
    guard_step(c, &steps);
    // Another thread's scope took the byte for this handle meanwhile (this
    // one's scope counts with it), or its rebuild holds it: taking it again
    // on the same handle would be refused.
    if (d->reading_held || d->rebuild_held) {
      stop_waiting();
      return 0;
    }
  }
}

void data_reading_leave(DbDataFile* d) {
  if (d->reading_depth <= 0 || --d->reading_depth > 0 || !d->reading_held) return;
  d->reading_held = 0;
  // This handle's rebuild holds the byte alone now: the lease has none.
  if (d->rebuild_held) lease_forget(d->lease);
  else lease_put_down(d->lease);
}

namespace {

// How long a rebuild keeps the gate closed while readers stay: then it opens
// it for a moment, so that the readers it holds back (on every station) go
// on, and closes it again, until its own bound is spent.
constexpr long kGateClosedSteps = kGuardStepsPerSecond;

// Readers waiting for the gate go first: rebuilds one after the other, or
// one that opens its gate again, do not starve them. The gate is open
// meanwhile, so each of them gets in at its next step; on a loaded machine
// that step can be late by more than a second, and a reader passed over at
// every rebuild would run out its whole wait. Counted against the
// rebuild's bound, so a reader that never comes only makes it busy.
void let_waiting_readers_in(DB_ENGINE* c, intptr_t h, long* steps) {
  while (*steps != 0) {
    if (dbos_locked_elsewhere(h, DB_LOCK_READERS_WAITING, 1, true) != 1) return;
    guard_step(c, steps);
  }
}

// With the gate closed: takes the reading byte alone once the readers in
// have left, waiting kGateClosedSteps at most. 0 taken, 1 readers stay,
// -1 on an error.
int take_from_readers(DB_ENGINE* c, intptr_t h, long* steps) {
  for (long closed = kGateClosedSteps;; closed--) {
    lease_give_back_idle();
    int r = dbos_lock(h, DB_LOCK_READING, 1);
    if (r == DBOS_LOCK_OK) return 0;
    if (r != DBOS_LOCK_VIOLATION) return -1;
    if (*steps == 0 || closed == 0) return 1;
    guard_step(c, steps);
  }
}

}  // namespace

int data_rebuild_enter(DbDataFile* d) {
  DB_ENGINE* c = d->context;
  DbAssertLocked(c);
  if (d->rebuild_depth++ > 0) return 0;
  if (d->file.handle == -1 || d->file.exclusive || d->file.read_only) return 0;
  intptr_t h = d->file.handle;
  for (long steps = guard_wait_steps(c, true);;) {
    let_waiting_readers_in(c, h, &steps);
    // Only rebuilds take the gate, and each holds a lock that keeps others
    // out: it is free at once but for a moment.
    int rc = file_lock(&d->file, DB_LOCK_REBUILD_GATE, 1);
    if (rc != 0) {
      d->rebuild_depth--;
      return rc;
    }
    // A walk of this very handle gives way: the rebuild renumbers its rows.
    // Its lease, and those of other handles of this process not in use, give
    // their byte back now rather than at their end.
    drop_idle_lease(d);
    if (d->reading_held) dbos_unlock(h, DB_LOCK_READING, 1);
    int r = take_from_readers(c, h, &steps);
    if (r == 0) break;
    if (d->reading_held && dbos_lock_shared(h, DB_LOCK_READING, 1) != DBOS_LOCK_OK) d->reading_held = 0;
    file_unlock_in(&d->file, DB_LOCK_REBUILD_GATE, 1);
    if (r < 0 || steps == 0) {
      d->rebuild_depth--;
      return r < 0 ? guard_error(d) : DB_LOCKED;
    }
  }
  d->rebuild_held = 1;
  d->guard_handle = h;
  return 0;
}

void data_rebuild_leave(DbDataFile* d) {
  if (d->rebuild_depth <= 0 || --d->rebuild_depth > 0 || !d->rebuild_held) return;
  d->rebuild_held = 0;
  intptr_t h = d->guard_handle;
  dbos_unlock(h, DB_LOCK_READING, 1);
  dbos_unlock(h, DB_LOCK_REBUILD_GATE, 1);
  if (d->reading_held && dbos_lock_shared(h, DB_LOCK_READING, 1) != DBOS_LOCK_OK) d->reading_held = 0;
}

void data_guards_drop(DbDataFile* d) {
  if (d->rebuild_held) {
    d->rebuild_depth = 1;
    data_rebuild_leave(d);
  }
  // The lease gives the byte back if it holds it, whatever the scopes.
  lease_close(d->lease);
  d->lease = nullptr;
  d->reading_held = 0;
  d->reading_depth = d->rebuild_depth = 0;
}

DbReading::DbReading(DbDataFile* const* tables, size_t count) : tables_(tables) {
  if (count == 1) {
    single_[0] = tables[0];
    tables_ = single_;
  }
  for (; entered_ < count; entered_++) {
    if (data_reading_enter(tables_[entered_]) != 0) {
      ok_ = false;
      break;
    }
  }
}

DbReading::~DbReading() {
  while (entered_ > 0) data_reading_leave(tables_[--entered_]);
}
