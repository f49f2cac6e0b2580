// Record access: positioning, the record buffer, writing a record, appends
// and flushing. Records are read and written whole at their fixed offsets.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "engine/bytes.h"
#include "engine/convert.h"
#include "engine/data.h"
#include "engine/index_data.h"
#include "engine/lock.h"
#include "engine/memo.h"

namespace {


void blank_buffer(DbDataFile* d) { std::memset(d->record, ' ', d->record_width); }

void memos_unread(DbDataFile* d) {
  for (int i = 0; i < d->n_memos; i++) memo_field_reset(d->memos[i].field);
  d->memo_numbers_current = 0;
}

// Writes the current record when it changed.
int flush_current(DbDataFile* d) {
  if (d->record_changed && d->rec_num > 0) return data_write_in(d, d->rec_num);
  return 0;
}

// Records read ahead: the file locked by us (nobody else changes them) or
// one operation running, and not while each read must follow a record lock.
bool batch_usable(DbDataFile* d) {
  if (d->file_locked || d->file.exclusive) return true;
  return d->batch_depth > 0 && !d->context->read_lock;
}

bool ahead_holds(DbDataFile* d, long n) {
  return d->ahead_n > 0 && n >= d->ahead_first && n < d->ahead_first + d->ahead_n &&
         d->ahead_writes == d->file.writes && batch_usable(d);
}

constexpr unsigned kAheadBytes = 64 * 1024;
// Unchanged records between two written ones that go out with them: the
// system writes whole pages anyway.
constexpr unsigned kJoinBytes = 4096;

// The first record a write of record n may join: under the file lock, the
// record after the last one this handle wrote, when nothing was written
// since and it lies shortly before n; else n itself.
long join_from(DbDataFile* d, long n) {
  long from = d->run_next;
  if (!d->file_locked || !d->file.write_behind || d->run_writes != d->file.writes || from < 1 || from >= n) return n;
  return size_t(n - from) * d->record_width <= kJoinBytes ? from : n;
}

}  // namespace

// Records read for moves out of record order (a walk in a tag's order) on
// the same terms as the records read ahead: pieces of whole records, about
// a memory page each, up to kPieceBytes of them. A piece is good for the
// epoch and the file's write count it was read at.
struct DbRecordPieces {
  long per_piece = 0;
  size_t piece_bytes = 0;
  long slots = 0;
  unsigned epoch = 1;
  std::vector<long> first;  // first record a slot holds (0 none)
  std::vector<long> count;
  std::vector<unsigned> writes, epochs;
  std::unique_ptr<char[]> bytes;
};

namespace {

constexpr size_t kPieceBytes = size_t(32) << 20;

// Pieces for the records the file holds (as many as fit in kPieceBytes),
// made anew when the file has outgrown them.
DbRecordPieces* pieces_of(DbDataFile* d, long n) {
  size_t w = d->record_width;
  long per_piece = w >= 4096 ? 1 : long(4096 / w);
  long records = d->count_held > n ? d->count_held : n;
  long want = records / per_piece + 1;
  long most = long(kPieceBytes / (size_t(per_piece) * w));
  if (want > most) want = most;
  if (want < 1) want = 1;
  if (d->pieces && d->pieces->slots >= want) return d->pieces;
  delete d->pieces;
  d->pieces = nullptr;
  auto* p = new (std::nothrow) DbRecordPieces;
  if (!p) return nullptr;
  p->per_piece = per_piece;
  p->piece_bytes = size_t(per_piece) * w;
  // Room to grow: a file read while it is appended to.
  p->slots = want * 2 < most ? want * 2 : most;
  try {
    p->first.assign(size_t(p->slots), 0);
    p->count.assign(size_t(p->slots), 0);
    p->writes.assign(size_t(p->slots), 0);
    p->epochs.assign(size_t(p->slots), 0);
    p->bytes.reset(new char[size_t(p->slots) * p->piece_bytes]);
  } catch (const std::bad_alloc&) {
    delete p;
    return nullptr;
  }
  d->pieces = p;
  return p;
}

// Record n from its piece, read whole when it is not held; 0 when the piece
// cannot serve (the caller reads the record alone).
unsigned read_from_piece(DbDataFile* d, long n) {
  DbRecordPieces* p = pieces_of(d, n);
  if (!p) return 0;
  unsigned w = d->record_width;
  long piece = (n - 1) / p->per_piece;
  size_t slot = size_t(piece % p->slots);
  char* at = p->bytes.get() + slot * p->piece_bytes;
  long first = piece * p->per_piece + 1;
  bool held = p->first[slot] == first && p->epochs[slot] == p->epoch && p->writes[slot] == d->file.writes;
  if (!held || n >= first + p->count[slot]) {
    // As for records read ahead: only records within the count last checked.
    long bound = d->held_for > 0 && d->count_held > n ? d->count_held : n;
    long last = first + p->per_piece - 1 < bound ? first + p->per_piece - 1 : bound;
    p->first[slot] = 0;
    unsigned got = file_read(&d->file, data_record_pos(d, first), at, unsigned(last - first + 1) * w);
    if (d->context->error_code < 0) return 0;
    p->first[slot] = first;
    p->count[slot] = long(got / w);
    p->epochs[slot] = p->epoch;
    p->writes[slot] = d->file.writes;
    if (n >= first + p->count[slot]) return 0;
  }
  std::memcpy(d->record, at + size_t(n - first) * w, w);
  return w;
}

// Record n into the record buffer; the bytes read. Moves in record order
// read a batch of records around it in one go, unless the caller knows the
// records it wants next lie elsewhere (alone).
unsigned read_record(DbDataFile* d, long n, bool alone) {
  unsigned w = d->record_width;
  if (ahead_holds(d, n)) {
    std::memcpy(d->record, d->ahead + size_t(n - d->ahead_first) * w, w);
    d->last_read = n;
    return w;
  }
  long prev = d->last_read;
  d->last_read = n;
  bool forward = n == prev + 1, backward = n == prev - 1;
  if (alone || !batch_usable(d)) return file_read(&d->file, data_record_pos(d, n), d->record, w);
  if (!forward && !backward) {
    // From a mapping a record out of order costs one copy, less than a piece
    // around it (records in order still come faster a batch at a time).
    if (file_reads_mapped(&d->file) && !file_holds_writes(&d->file))
      return file_read(&d->file, data_record_pos(d, n), d->record, w);
    unsigned got = read_from_piece(d, n);
    if (got || d->context->error_code < 0) return got;
    return file_read(&d->file, data_record_pos(d, n), d->record, w);
  }
  if (prev < 1) return file_read(&d->file, data_record_pos(d, n), d->record, w);
  long k = long(kAheadBytes / w);
  if (k < 2) return file_read(&d->file, data_record_pos(d, n), d->record, w);
  if (!d->ahead) {
    d->ahead = static_cast<char*>(mem_alloc(size_t(k) * w));
    if (!d->ahead) return file_read(&d->file, data_record_pos(d, n), d->record, w);
  }
  // Only records within the count the last move checked: bytes past it are
  // nobody's record yet. Forward, the records since a run of our writes
  // that stopped shortly before come along, so the run can go on.
  long bound = d->held_for > 0 && d->count_held > n ? d->count_held : n;
  long first = forward ? join_from(d, n) : (n - k + 1 > 1 ? n - k + 1 : 1);
  long last = forward ? (first + k - 1 < bound ? first + k - 1 : bound) : n;
  d->ahead_n = 0;
  unsigned got = file_read(&d->file, data_record_pos(d, first), d->ahead, unsigned(last - first + 1) * w);
  if (d->context->error_code < 0) return 0;
  d->ahead_first = first;
  d->ahead_n = long(got / w);
  d->ahead_writes = d->file.writes;
  if (!ahead_holds(d, n)) {
    d->ahead_n = 0;
    return file_read(&d->file, data_record_pos(d, n), d->record, w);
  }
  std::memcpy(d->record, d->ahead + size_t(n - first) * w, w);
  return w;
}

// What this handle just wrote to record n, laid into the records read ahead
// and the pieces that held it fresh before the write: a walk that rewrites
// the records it passes keeps reading from memory. `before` is the file's
// write count just before the write, which was the only one since.
void keep_read_copies(DbDataFile* d, long n, unsigned before) {
  unsigned w = d->record_width;
  if (d->ahead_n > 0 && d->ahead_writes == before && n >= d->ahead_first && n < d->ahead_first + d->ahead_n) {
    std::memcpy(d->ahead + size_t(n - d->ahead_first) * w, d->record, w);
    d->ahead_writes = d->file.writes;
  } else if (d->ahead_writes == before) {
    d->ahead_writes = d->file.writes;  // the write lay outside what it holds
  }
  DbRecordPieces* p = d->pieces;
  if (!p || p->per_piece < 1) return;
  long piece = (n - 1) / p->per_piece;
  size_t slot = size_t(piece % p->slots);
  long first = piece * p->per_piece + 1;
  if (p->first[slot] == first && p->epochs[slot] == p->epoch && p->writes[slot] == before) {
    if (n < first + p->count[slot]) {
      std::memcpy(p->bytes.get() + slot * p->piece_bytes + size_t(n - first) * w, d->record, w);
      p->writes[slot] = d->file.writes;
    }
  }
}

// Where a write of record n starts. Under the file lock a record written
// shortly before it and the unchanged records between them (fresh in the
// records read ahead, so written as the file holds them) go with it in one
// piece: a walk that rewrites records near one another leaves one run of
// held bytes instead of a piece per record.
long run_start(DbDataFile* d, long n) {
  long from = join_from(d, n);
  return from < n && ahead_holds(d, from) && ahead_holds(d, n) ? from : n;
}

// An append whose count did not reach the header, or reached it torn (a
// drive that stopped half way through it): the header gets back the count
// it stated, and the record goes from the file again, so that no station
// and no later open counts a record that has no keys. A pending error stays.
void take_back_append(DbDataFile* d, long count, long stated) {
  DB_ENGINE* c = d->context;
  DbQuietError quiet(c);
  unsigned char b[4];
  le_put32(b, static_cast<uint32_t>(stated));
  file_write(&d->file, 4, b, 4);
  code_error_set(c, 0);
  long pos = data_record_pos(d, count + 1);
  const char end = 0x1A;
  if (file_len_set(&d->file, pos) == 0) file_write(&d->file, pos, &end, 1);
}

}  // namespace

int data_stored_copy(DbDataFile* d, long n, char* out) {
  // Only while nobody else can write: an operation's batch may be older
  // than another station's change.
  if (!d->file_locked && !d->file.exclusive) return 0;
  unsigned w = d->record_width;
  if (ahead_holds(d, n)) {
    std::memcpy(out, d->ahead + size_t(n - d->ahead_first) * w, w);
    return 1;
  }
  DbRecordPieces* p = d->pieces;
  if (!p || p->per_piece < 1 || n < 1 || !batch_usable(d)) return 0;
  long piece = (n - 1) / p->per_piece;
  size_t slot = size_t(piece % p->slots);
  long first = piece * p->per_piece + 1;
  if (p->first[slot] != first || p->epochs[slot] != p->epoch || p->writes[slot] != d->file.writes ||
      n >= first + p->count[slot])
    return 0;
  std::memcpy(out, p->bytes.get() + slot * p->piece_bytes + size_t(n - first) * w, w);
  return 1;
}

void data_read_ahead_forget(DbDataFile* d) {
  d->ahead_n = 0;
  d->last_read = 0;
  if (d->pieces && ++d->pieces->epoch == 0) {
    // Wrapped: old pieces could pass for new ones.
    std::fill(d->pieces->first.begin(), d->pieces->first.end(), 0);
    d->pieces->epoch = 1;
  }
}

void data_read_ahead_free(DbDataFile* d) {
  mem_free(d->ahead);
  d->ahead = nullptr;
  delete d->pieces;
  d->pieces = nullptr;
}

DbBatchReads::DbBatchReads(DbDataFile* d) : d_(d) {
  if (d_->batch_depth++ == 0 && !d_->file_locked) data_read_ahead_forget(d_);
}

DbBatchReads::~DbBatchReads() {
  if (--d_->batch_depth == 0 && !d_->file_locked) data_read_ahead_forget(d_);
}

namespace {

// Goes to record n. A walk that did not ask for the count (data_go_toward)
// takes a record the file no longer holds for one gone, not for a read error.
int go_to(DbDataFile* d, long n, bool alone = false, bool may_be_gone = false) {
  DB_ENGINE* c = d->context;
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  if (int rc = flush_current(d)) return rc;
  bool locked = data_record_locked(d, n);
  if (!locked) {
    if (d->file_locked || d->append_locked || d->n_locks > 0) {
      data_unlock_file(d);
      data_unlock_append(d);
      data_unlock_records(d);
      if (c->error_code < 0) return -1;
    } else {
      // Nothing to give back; only what the record locks' release forgets.
      d->rec_num_old = -1;
      d->memo_numbers_current = 0;
    }
    if (c->read_lock && n >= 1) {
      int rc = data_lock_record_in(d, n);
      if (rc != 0) return rc;
      locked = true;
    }
  }
  c->activity_bits |= 1;
  memos_unread(d);
  unsigned got = 0;
  if (n >= 1) got = read_record(d, n, alone);
  if (c->error_code < 0) return -1;
  d->record_changed = 0;
  if (n < 1 || got != d->record_width) {
    blank_buffer(d);
    d->rec_num = -1;
    if (!c->report_read_errors || may_be_gone) return DB_NO_RECORD;
    return code_error_ex(c, e_read, "File Name:", d->file.name, nullptr);
  }
  d->rec_num = n;
  d->eof = d->bof = 0;
  if (locked) {
    std::memcpy(d->old_record, d->record, d->record_width);
    d->rec_num_old = n;
    d->memo_numbers_current = 1;
  }
  return 0;
}

}  // namespace

int data_go_in(DbDataFile* d, long n) { return go_to(d, n); }

int data_go_toward(DbDataFile* d, long n, long next) {
  // Records that share a memory page with the next one wanted are read
  // together; a record far from it is read alone.
  long per_page = d->record_width >= 4096 ? 1 : long(4096 / d->record_width);
  long gap = next > n ? next - n : n - next;
  bool alone = next == 0 || (next > 0 && gap >= per_page);
  return go_to(d, n, alone, true);
}

int data_go_eof(DbDataFile* d) {
  DbAssertLocked(d->context);
  if (d->context->error_code < 0) return -1;
  if (int rc = flush_current(d)) return rc;
  long count = data_count_held(d);
  if (count < 0) return -1;
  memos_unread(d);
  d->rec_num = count + 1;
  d->eof = 1;
  if (count == 0) d->bof = 1;
  blank_buffer(d);
  d->record_changed = 0;
  return DB_EOF;
}

int data_top_in(DbDataFile* d) {
  DbAssertLocked(d->context);
  if (d->context->error_code < 0) return -1;
  if (d->tag_selected) return index_data_top(d);
  long count = data_count_held(d);
  if (count < 0) return -1;
  if (count == 0) return data_go_eof(d);
  return go_to(d, 1);
}

int data_bottom_in(DbDataFile* d) {
  DbAssertLocked(d->context);
  if (d->context->error_code < 0) return -1;
  if (d->tag_selected) return index_data_bottom(d);
  long count = data_count_held(d);
  if (count < 0) return -1;
  if (count == 0) return data_go_eof(d);
  return go_to(d, count);
}

int data_skip_in(DbDataFile* d, long n) {
  DB_ENGINE* c = d->context;
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  if (d->rec_num < 1) {
    if (!c->report_skip_errors) return -1;
    return code_error(c, e_info, "Skip must be made from valid record number");
  }
  c->activity_bits |= 2;
  if (d->tag_selected) return index_data_skip(d, n);
  long target = d->rec_num + n;
  // Records read ahead lay within the count when they were read.
  if (ahead_holds(d, target)) return go_to(d, target);
  // Only records within the stated count are read: bytes beyond it (a torn
  // append of another station) are never taken for a record; nor is a
  // record the file does not hold taken for one.
  long count = data_count_held(d);
  if (count < 0) return -1;
  if (target >= 1 && target <= count) return go_to(d, target);
  if (count == 0) {
    data_go_eof(d);
    d->bof = 1;
    return n < 0 ? DB_BOF : DB_EOF;
  }
  if (target < 1) {
    int eof = d->eof;
    int rc = go_to(d, 1);
    if (rc != 0) return rc;
    d->eof = eof;
    d->bof = 1;
    return DB_BOF;
  }
  return data_go_eof(d);
}

int data_eof(DbDataFile* d) { return d->eof; }
int data_bof(DbDataFile* d) { return d->bof; }

char* data_record(DbDataFile* d) { return d->record; }
unsigned data_record_width(DbDataFile* d) { return d->record_width; }

void data_blank(DbDataFile* d) {
  blank_buffer(d);
  d->record_changed = 1;
}

void data_delete(DbDataFile* d) {
  if (d->record[0] != '*') {
    d->record[0] = '*';
    d->record_changed = 1;
  }
}

void data_recall(DbDataFile* d) {
  if (d->record[0] != ' ') {
    d->record[0] = ' ';
    d->record_changed = 1;
  }
}

int data_is_deleted(DbDataFile* d) { return d->record[0] != ' '; }

int data_changed(DbDataFile* d, int flag) {
  int old = d->record_changed;
  if (flag >= 0) d->record_changed = flag >= 1;
  return old;
}

int data_write_in(DbDataFile* d, long n) {
  DB_ENGINE* c = d->context;
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  if (n < 1) return code_error(c, e_parm, "data_write()");
  if (d->n_memos) {
    int rc = memo_numbers_refresh(d);
    if (rc != 0) return rc;
  }
  // Index keys are kept by the index code; the record lock comes first so a
  // refused lock leaves the memo file untouched.
  int rc = data_lock_record_in(d, n);
  if (rc != 0) return rc;
  rc = index_data_write(d, n);
  if (rc != 0) return rc;
  for (int i = 0; i < d->n_memos; i++) {
    if (!d->memos[i].changed) continue;
    rc = memo_field_write(d->memos[i].field);
    if (rc != 0) {
      // The keys already follow the new values: give the stored record its
      // keys back. Its memos are untouched: new texts went to new blocks.
      index_data_write_undo(d, n);
      return rc;
    }
  }
  d->record_changed = 0;
  d->header_changed = 1;
  c->activity_bits |= 32;
  unsigned before = d->file.writes, w = d->record_width;
  long from = run_start(d, n);
  const char* bytes = d->record;
  if (from < n) {
    char* at = d->ahead + size_t(from - d->ahead_first) * w;
    std::memcpy(at + size_t(n - from) * w, d->record, w);
    bytes = at;
  }
  if (file_write(&d->file, data_record_pos(d, from), bytes, unsigned(n - from + 1) * w) < 0) {
    if (from < n) d->ahead_n = 0;  // it holds the record the file does not
    index_data_write_undo(d, n);
    d->record_changed = 1;
    return -1;
  }
  if (d->file.writes == before + 1) {
    keep_read_copies(d, n, before);
    d->run_next = n + 1;
    d->run_writes = d->file.writes;
  }
  return d->n_memos ? memo_record_written(d) : 0;
}

int data_append_start_in(DbDataFile* d, int detach) {
  DB_ENGINE* c = d->context;
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  if (int rc = flush_current(d)) return rc;
  memos_unread(d);
  data_unlock_records(d);
  if (detach && d->rec_num > 0 && d->n_memos) {
    if (int rc = data_load_stored(d)) return rc;
    d->memo_numbers_current = 0;
    for (int i = 0; i < d->n_memos; i++) {
      if (memo_field_read(d->memos[i].field) < 0) return -1;
      d->memos[i].changed = 1;  // written into new blocks by the append
    }
  }
  for (int i = 0; i < d->n_memos; i++) {
    DbField* f = d->memos[i].field;
    std::memset(d->record + f->offset, ' ', f->len);
  }
  if (!data_file_locked(d)) data_unlock_in(d);
  d->rec_num = 0;
  return c->error_code < 0 ? -1 : 0;
}

int data_append_in(DbDataFile* d) {
  DB_ENGINE* c = d->context;
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  bool had_append = d->append_locked;
  int rc = data_lock_append(d);
  if (rc != 0) return rc;
  bool took_append = !had_append && d->append_locked;
  if (!data_count_cacheable(d) || took_append) d->header.num_recs = -1;
  // A header that states more records than the file holds (a torn copy)
  // gets the new record after the last one held, and the count to match.
  long count = data_count_held(d);
  if (count < 0) {
    if (took_append) data_unlock_append(d);
    return -1;
  }
  // The count the header states now, for a failed append to put back.
  long stated = d->header.num_recs >= 0 ? d->header.num_recs : d->count_seen;
  rc = data_lock_record_in(d, count + 1);
  if (rc != 0) {
    if (took_append) data_unlock_append(d);
    return rc;
  }
  d->rec_num = count + 1;
  d->eof = d->bof = 0;
  d->record_changed = 0;
  c->activity_bits |= 16;
  rc = index_data_append(d);
  if (rc != 0) {
    if (took_append) data_unlock_append(d);
    return rc;
  }
  for (int i = 0; i < d->n_memos && rc == 0; i++) {
    DbMemoEntry* m = &d->memos[i];
    DbField* f = m->field;
    if (!m->needs_read && m->len > 0) {
      long block = 0;
      rc = memo_file_write(&d->memo_file, &block, m->text, m->len);
      if (rc == 0) ltoa_width(block, d->record + f->offset, 10);
    } else {
      std::memset(d->record + f->offset, ' ', f->len);
    }
    m->changed = 0;
  }
  if (rc == 0) {
    d->record[d->record_width] = 0x1A;
    rc = file_write(&d->file, data_record_pos(d, count + 1), d->record, d->record_width + 1);
    d->record[d->record_width] = 0;
  }
  if (rc == 0) {
    d->header.num_recs = count + 1;
    d->count_seen = count + 1;
    d->held_for = d->count_held = count + 1;
    // Under a whole-file lock nobody else appends: the header is written
    // once for the locked stretch, when the file is flushed or unlocked.
    if (data_file_locked(d)) d->count_pending = 1;
    else if ((rc = data_header_write(d)) != 0) take_back_append(d, count, stated);
  }
  if (rc != 0) {
    // The keys went in first; a record that was never written keeps none.
    index_data_append_undo(d);
    d->rec_num = 0;
  }
  if (!data_count_cacheable(d) || took_append) d->header.num_recs = -1;
  if (took_append) {
    // The lock goes even after a failure; the failure is what the caller sees.
    DbQuietError quiet(c, DbQuietError::if_any);
    data_unlock_append(d);
  }
  return rc;
}

int data_append_blank_in(DbDataFile* d) {
  DbAssertLocked(d->context);
  int rc = data_append_start_in(d, 0);
  if (rc != 0) return rc;
  blank_buffer(d);
  return data_append_in(d);
}

int data_flush_in(DbDataFile* d) {
  DbAssertLocked(d->context);
  if (d->context->error_code < 0) return -1;
  if (int rc = flush_current(d)) return rc;
  DbTableWriting writing(d);
  // The records are all written: now the count that takes them in.
  if (d->count_pending) {
    if (data_header_write(d) < 0) return -1;
    d->count_pending = 0;
  }
  bool more = d->memo_file.file.handle != -1 || index_first(d);
  if (!more) return file_flush(&d->file, 0);
  // The memo file and the indexes go out while the table is on its way to
  // the disk; all are there before this returns.
  DbFlushStep* table = nullptr;
  if (file_flush_begin(&d->file, &table) < 0) return -1;
  int rc = 0;
  if (d->memo_file.file.handle != -1 && file_flush(&d->memo_file.file, 0) < 0) rc = -1;
  if (rc == 0 && index_data_flush(d) < 0) rc = -1;
  if (file_flush_end(&d->file, table) < 0) rc = -1;
  return rc;
}

int data_flush_all(DB_ENGINE* c) {
  DbAssertLocked(c);
  int rc = 0;
  for (auto* d = static_cast<DbDataFile*>(list_first(&c->data_list)); d;
       d = static_cast<DbDataFile*>(list_next(&c->data_list, d)))
    if (data_flush_in(d) < 0) rc = -1;
  return rc;
}
