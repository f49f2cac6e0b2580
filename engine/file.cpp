// Low-level files of the engine: create and open under the context's share,
// overwrite and read-only rules; positional reads (tables, indexes and memo
// files through a mapping where the system allows one) and writes, length
// and flush, the flush split in a begin and an end. Writes go to the system
// at once, except while the file's owner locks out every other station:
// then they are held as extents and go out together at write-back, the
// lengthening ones first and the headers last. And the replacement of a
// file's contents by a rebuild: the old contents copied to a backup beside
// it first (on a thread of its own where one can be had), the new ones
// written in place (other stations keep the file open), a failure half way
// undone from the backup, the backup removed once the new contents are on
// disk.
#include "engine/file.h"

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <map>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/convert.h"
#include "engine/engine.h"
#include "engine/os_shim.h"
#include "engine/replace_log.h"

namespace {

const char* name_of(const DbFile* f) { return f->name ? f->name : "Unknown Name"; }

int report(DbFile* f, int code) { return code_error_ex(f->context, code, "File Name:", name_of(f), nullptr); }

// Tables, their indexes and memo files are read from a mapping where the
// system allows one; other files (temporary and work files) through the handle.
bool read_through_map(const char* name) {
  size_t n = std::strlen(name);
  if (n < 4 || name[n - 4] != '.') return false;
  char ext[4] = {};
  for (int i = 0; i < 3; i++) ext[i] = char(std::toupper(static_cast<unsigned char>(name[n - 3 + i])));
  return !std::strcmp(ext, "DBF") || !std::strcmp(ext, "MDX") || !std::strcmp(ext, "DBT");
}

int open_as(DbFile* f, DB_ENGINE* c, const char* name, int keep_copy, int disposition) {
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  std::memset(f, 0, sizeof *f);
  f->handle = -1;
  f->context = c;
  int access = c->read_only == 1 ? DBOS_READ : DBOS_READ_WRITE;
  intptr_t h = dbos_open(name, access, c->exclusive, disposition);
  if (h == -1) {
    bool creating = disposition != DBOS_OPEN_EXISTING;
    int reported = creating ? c->report_create_errors : c->report_open_errors;
    if (reported)
      return code_error_ex(c, creating ? e_create : e_open, "File Name:", name, nullptr);
    c->error_code = creating ? DB_NO_CREATE : DB_NO_OPEN;
    return c->error_code;
  }
  f->handle = h;
  if (read_through_map(name)) dbos_map_reads(h);
  f->on_disk = 1;
  f->unsynced = disposition != DBOS_OPEN_EXISTING;
  f->exclusive = c->exclusive;
  file_length_ours(f, 0);  // an exclusive open owns the file's length from the start
  f->read_only = c->read_only == 1;
  if (keep_copy) {
    size_t n = std::strlen(name) + 1;
    f->name = static_cast<char*>(mem_alloc(n));
    if (!f->name) {
      dbos_close(h);
      f->handle = -1;
      return code_error(c, e_memory, nullptr);
    }
    std::memcpy(f->name, name, n);
    f->name_owned = 1;
  } else {
    f->name = const_cast<char*>(name);
  }
  return 0;
}

}  // namespace

// Held writes as extents that neither overlap nor touch, by offset.
struct DbHeldWrites {
  std::map<long, std::string> extents;
  size_t bytes = 0;
  long disk = -1;  // the file's length on disk when last asked (-1 unknown)
  // The memory of the last long run sent, for the run that goes on where it
  // ended (an append starts on its last byte, the end-of-file mark): it
  // grows without being copied again and again.
  std::string spare;
  long spare_from = -1, spare_at = -1;
};

namespace {

// Held bytes beyond this go out at once (still under the lock), so a long
// locked stretch does not grow without bound.
constexpr size_t kHeldLimit = size_t(64) << 20;
// A run of held bytes this long that only overwrites the file goes out at
// once: holding it saves no write, and its memory is better used again.
constexpr size_t kRunBytes = size_t(1) << 20;
// A held piece this long starts on its way to the disk as soon as it is sent.
constexpr size_t kOutBytes = size_t(256) << 10;

long extent_end(const std::map<long, std::string>::iterator& it) {
  return it->first + long(it->second.size());
}

// Lays the write into the held extents; the extent that holds it now.
std::map<long, std::string>::iterator hold(DbHeldWrites* h, long off, const char* src, unsigned n) {
  auto& m = h->extents;
  long end = off + long(n);
  auto it = m.upper_bound(off);
  if (it != m.begin() && extent_end(std::prev(it)) >= off) --it;
  if (it == m.end() || it->first > end) {
    h->bytes += n;
    if (off < h->spare_from || off > h->spare_at) return m.emplace_hint(it, off, std::string(src, n));
    h->spare.assign(src, n);
    h->spare_from = h->spare_at = -1;
    return m.emplace_hint(it, off, std::move(h->spare));
  }
  auto next = std::next(it);
  if (it->first <= off && (next == m.end() || next->first > end)) {
    // The usual case: inside or at the end of one extent (appends, rewrites).
    std::string& s = it->second;
    size_t at = size_t(off - it->first);
    size_t inside = s.size() - at < n ? s.size() - at : n;
    std::memcpy(&s[at], src, inside);
    if (inside < n) {
      s.append(src + inside, n - inside);
      h->bytes += n - inside;
    }
    return it;
  }
  long start = it->first < off ? it->first : off;
  long last = end;
  auto stop = it;
  for (; stop != m.end() && stop->first <= end; ++stop)
    if (extent_end(stop) > last) last = extent_end(stop);
  if (it->first <= off) {
    // The first extent grows in place and takes in the ones the write
    // reaches: writes in rising order never copy what is held already.
    std::string& s = it->second;
    h->bytes -= s.size();
    s.resize(size_t(last - start));
    for (auto k = std::next(it); k != stop; ++k) {
      std::memcpy(&s[size_t(k->first - start)], k->second.data(), k->second.size());
      h->bytes -= k->second.size();
    }
    std::memcpy(&s[size_t(off - start)], src, n);
    h->bytes += s.size();
    m.erase(std::next(it), stop);
    return it;
  }
  std::string merged(size_t(last - start), '\0');
  for (auto k = it; k != stop; ++k) {
    std::memcpy(&merged[size_t(k->first - start)], k->second.data(), k->second.size());
    h->bytes -= k->second.size();
  }
  std::memcpy(&merged[size_t(off - start)], src, n);
  m.erase(it, stop);
  h->bytes += merged.size();
  return m.emplace(start, std::move(merged)).first;
}

long held_end(const DbHeldWrites* h) {
  if (h->extents.empty()) return 0;
  auto last = std::prev(h->extents.end());
  return last->first + long(last->second.size());
}

// Sends the extent out now when it is a long run after the headers and the
// order write-back keeps (lengthening writes first, headers last) holds: it
// lies within the file's bytes on disk and nothing held lengthens the file,
// or it is the only run that lengthens it and leaves no hole before it.
// A long append thus goes out as it grows, in memory used again.
int send_long_run(DbFile* f, std::map<long, std::string>::iterator it) {
  DbHeldWrites* h = f->held;
  const std::string& s = it->second;
  if (s.size() < kRunBytes || it->first < f->held_tail) return 0;
  if (h->disk < 0) h->disk = dbos_length(f->handle);
  if (h->disk < 0) return 0;
  long end = extent_end(it);
  if (held_end(h) > h->disk) {
    if (std::next(it) != h->extents.end() || it->first > h->disk) return 0;
    if (it != h->extents.begin() && extent_end(std::prev(it)) > h->disk) return 0;
  }
  if (dbos_write(f->handle, it->first, s.data(), unsigned(s.size())) != long(s.size())) return report(f, e_write);
  dbos_start_write_out(f->handle, it->first, long(s.size()));
  if (end > h->disk) h->disk = end;
  h->bytes -= s.size();
  h->spare_from = it->first;
  h->spare_at = extent_end(it);
  h->spare = std::move(it->second);
  h->extents.erase(it);
  return 0;
}

// Reads from disk with the held writes laid over; bytes between the disk's
// end and a held extent beyond it read as zeros, as they will be written.
long read_over_held(DbFile* f, long off, char* buf, unsigned n) {
  auto& m = f->held->extents;
  long end = off + long(n);
  auto it = m.upper_bound(off);
  if (it != m.begin() && extent_end(std::prev(it)) > off) --it;
  if (it != m.end() && it->first <= off && extent_end(it) >= end) {
    std::memcpy(buf, it->second.data() + (off - it->first), n);
    return long(n);
  }
  long got = dbos_read(f->handle, off, buf, n);
  if (got < 0 || got > long(n)) return -1;
  long have = off + got;
  for (; it != m.end() && it->first < end; ++it) {
    long from = it->first > off ? it->first : off;
    long to = extent_end(it) < end ? extent_end(it) : end;
    if (to <= from) continue;
    if (from > have) std::memset(buf + (have - off), 0, size_t(from - have));
    std::memcpy(buf + (from - off), it->second.data() + (from - it->first), size_t(to - from));
    if (to > have) have = to;
  }
  return have - off;
}

}  // namespace

void file_hold_writes(DbFile* f, long tail) {
  DbAssertLocked(f->context);
  if (f->handle == -1 || f->read_only || !f->context || f->context->flush_writes) return;
  f->write_behind = 1;
  f->held_tail = tail;
}

int file_holds_writes(const DbFile* f) { return f->held && !f->held->extents.empty(); }

int file_reads_mapped(const DbFile* f) { return dbos_reads_mapped(f->handle); }

void file_length_ours(DbFile* f, int on) { dbos_length_ours(f->handle, on || f->exclusive); }

int file_write_back(DbFile* f) {
  DbAssertLocked(f->context);
  DbHeldWrites* h = f->held;
  if (!h || h->extents.empty()) return 0;
  h->disk = -1;  // lengthening writes go out
  long disk = dbos_length(f->handle);
  if (disk < 0) return report(f, e_write);
  // Lengthening writes first (a full disk refuses those before anything in
  // place has changed), then the rest, the headers last of all.
  std::vector<long> order;
  order.reserve(h->extents.size());
  for (auto it = h->extents.begin(); it != h->extents.end(); ++it)
    if (extent_end(it) > disk && it->first >= f->held_tail) order.push_back(it->first);
  for (auto it = h->extents.begin(); it != h->extents.end(); ++it)
    if (extent_end(it) <= disk && it->first >= f->held_tail) order.push_back(it->first);
  for (auto it = h->extents.rbegin(); it != h->extents.rend(); ++it)
    if (it->first < f->held_tail) order.push_back(it->first);
  for (long at : order) {
    auto it = h->extents.find(at);
    const std::string& s = it->second;
    if (dbos_write(f->handle, at, s.data(), unsigned(s.size())) != long(s.size()))
      return report(f, e_write);
    // The disk starts on a long piece while the next ones are sent: the
    // flush at the unlock has that much less to wait for.
    if (s.size() >= kOutBytes) dbos_start_write_out(f->handle, at, long(s.size()));
    h->bytes -= s.size();
    h->extents.erase(it);
  }
  return 0;
}

int file_release_writes(DbFile* f) {
  DbAssertLocked(f->context);
  if (file_write_back(f) < 0) return -1;
  f->write_behind = 0;
  return 0;
}

void file_drop_writes(DbFile* f) {
  DbAssertLocked(f->context);
  delete f->held;
  f->held = nullptr;
  f->write_behind = 0;
}

int file_create_in(DbFile* f, DB_ENGINE* c, const char* name, int keep_copy) {
  return open_as(f, c, name, keep_copy,
                 c && c->safety ? DBOS_CREATE_NEW : DBOS_CREATE_ALWAYS);
}

int file_open_in(DbFile* f, DB_ENGINE* c, const char* name, int keep_copy) {
  return open_as(f, c, name, keep_copy, DBOS_OPEN_EXISTING);
}

int file_close_in(DbFile* f) {
  DB_ENGINE* c = f->context;
  DbAssertLocked(c);
  if (f->handle != -1 && file_holds_writes(f)) {
    // Held writes still go out; a failure is reported, the close goes on.
    DbQuietError quiet(c, DbQuietError::if_error);
    file_write_back(f);
  }
  file_drop_writes(f);
  if (f->handle != -1) {
    if (dbos_close(f->handle) != 0 && c) {
      DbQuietError quiet(c, DbQuietError::if_error);
      report(f, e_close);
    }
    f->handle = -1;
    if (f->remove_on_close && f->name) file_remove(f->name);
  }
  if (f->name_owned) mem_free(f->name);
  std::memset(f, 0, sizeof *f);
  f->handle = -1;
  return c && c->error_code < 0 ? -1 : 0;
}

long u_filelength(intptr_t handle) {
  long n = dbos_length(handle);
  if (n < 0) code_error_severe(e_result, "u_filelength()");
  return n;
}

long file_len_in(DbFile* f) {
  DbAssertLocked(f->context);
  if (f->handle == -1) return 0;
  long n = dbos_length(f->handle);
  if (n < 0) return report(f, e_len);
  if (f->held && held_end(f->held) > n) n = held_end(f->held);
  return n;
}

int file_len_set(DbFile* f, long n) {
  DB_ENGINE* c = f->context;
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  if (f->read_only)
    return code_error(c, e_parm, "Attempt to change file length of a read-only file");
  if (c->error_code >= 1 && c->error_code <= 199) return -1;
  if (file_write_back(f) < 0) return -1;
  f->writes++;
  f->unsynced = 1;
  if (f->held) f->held->disk = -1;
  if (dbos_set_length(f->handle, n) != 0) return report(f, e_len_set);
  return 0;
}

unsigned file_read(DbFile* f, long offset, void* buf, unsigned n) {
  DB_ENGINE* c = f->context;
  DbAssertLocked(c);
  if (c->error_code < 0) return 0;
  long got = file_holds_writes(f) ? read_over_held(f, offset, static_cast<char*>(buf), n)
                                  : dbos_read(f->handle, offset, buf, n);
  if (got < 0 || got > static_cast<long>(n)) {
    report(f, e_read);
    return 0;
  }
  return static_cast<unsigned>(got);
}

int file_read_all(DbFile* f, long offset, void* buf, unsigned n) {
  DbAssertLocked(f->context);
  if (f->context->error_code < 0) return -1;
  unsigned got = file_read(f, offset, buf, n);
  if (f->context->error_code < 0) return -1;
  if (got != n) return report(f, e_read);
  return 0;
}

int file_write(DbFile* f, long offset, const void* buf, unsigned n) {
  DB_ENGINE* c = f->context;
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  if (f->read_only) return code_error(c, e_parm, "Attempt to write to a read-only file");
  if (n == 0) return 0;
  f->writes++;
  f->unsynced = 1;
  if (f->write_behind) {
    if (!f->held) f->held = new DbHeldWrites;
    auto it = hold(f->held, offset, static_cast<const char*>(buf), n);
    return f->held->bytes > kHeldLimit ? file_write_back(f) : send_long_run(f, it);
  }
  if (f->held) f->held->disk = -1;
  if (dbos_write(f->handle, offset, buf, n) != static_cast<long>(n)) return report(f, e_write);
  if (c->flush_writes) return file_flush(f, 0);
  return 0;
}

int file_flush(DbFile* f, int) {
  DbAssertLocked(f->context);
  if (f->handle == -1 || f->read_only) return 0;
  if (file_write_back(f) < 0) return -1;
  // A handle that wrote nothing has nothing of its own to bring to the disk:
  // tables only read (or opened to lock) close without waiting on the disk.
  if (!f->unsynced) return 0;
  if (dbos_flush(f->handle) != 0) return report(f, e_opt_flush);
  f->unsynced = 0;
  return 0;
}

struct DbFlushStep {
  std::thread sync;
  int rc = 0;
  unsigned writes = 0;  // the file's writes when the sync began
};

int file_flush_begin(DbFile* f, DbFlushStep** step) {
  DbAssertLocked(f->context);
  *step = nullptr;
  if (f->handle == -1 || f->read_only) return 0;
  if (file_write_back(f) < 0) return -1;
  if (!f->unsynced) return 0;
  auto* s = dbos_may_start_threads() ? new (std::nothrow) DbFlushStep : nullptr;
  if (s) {
    // The thread touches nothing but the handle, which stays open until end.
    s->writes = f->writes;
    intptr_t handle = f->handle;
    try {
      s->sync = std::thread([s, handle] { s->rc = dbos_flush(handle); });
      *step = s;
      return 0;
    } catch (const std::system_error&) {
      delete s;
    }
  }
  return file_flush(f, 0);
}

int file_flush_end(DbFile* f, DbFlushStep* step) {
  if (!step) return 0;
  step->sync.join();
  int rc = step->rc;
  // Writes made meanwhile are not known to be on the disk.
  bool whole = step->writes == f->writes;
  delete step;
  DbAssertLocked(f->context);
  if (rc != 0) return report(f, e_opt_flush);
  if (whole) f->unsynced = 0;
  return 0;
}

int file_flush_keep_error(DbFile* f) {
  DB_ENGINE* c = f->context;
  DbAssertLocked(c);
  DbQuietError quiet(c, DbQuietError::if_any);
  return file_flush(f, 0);
}

void file_set_read_buffer(DbFile* f, int) {
  f->buffered = 0;  // there is no block cache to read through
}

int file_remove(const char* name) { return dbos_remove(name); }

int file_rename(const char* old_name, const char* new_name) {
  return dbos_rename(old_name, new_name);
}

int file_temp(DbFile* f, DB_ENGINE* c, char* name_buf, int remove_on_close) {
  if (!c) return -1;
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  char own[16];
  char* name = name_buf ? name_buf : own;
  int rc = DB_NO_CREATE;
  // Names are drawn from a counter that starts at the clock, so no name is
  // tried twice and nobody waits for the clock to move on; a name another
  // process holds is simply passed over.
  static std::atomic<long> next_name{dbos_time_seconds()};
  for (int tries = 0; tries < 100 && rc == DB_NO_CREATE; tries++) {
    long n = next_name.fetch_add(1) % 10000;
    if (n < 0) n += 10000;
    std::snprintf(name, 16, "TEMP%04ld.TMP", n);
    DbSettingFor exclusive(c->exclusive, 1), no_report(c->report_create_errors, 0);
    DbSettingFor safety(c->safety, 1);  // a temporary file never replaces an existing one
    rc = file_create_in(f, c, name, name_buf == nullptr);
    if (rc == DB_NO_CREATE) c->error_code = 0;
  }
  if (rc < 0) return -1;
  if (rc == DB_NO_CREATE) return code_error(c, e_create, "Temporary Working File");
  f->remove_on_close = remove_on_close;
  return 0;
}

namespace {

// Empties to and copies the whole of from into it, in pieces of `piece`
// bytes (the context's copy size when 0; smaller while memory is short).
// `replacing`: `to` is a file being replaced (a test may stop at its first piece).
int copy_over(DbFile* to, DbFile* from, unsigned piece = 0, bool replacing = false) {
  DB_ENGINE* c = to->context;
  if (file_len_set(to, 0) < 0) return -1;
  unsigned size = piece ? piece : static_cast<unsigned>(c->copy_size);
  char* buf = nullptr;
  while (!(buf = static_cast<char*>(mem_alloc(size)))) {
    if (size <= 2048 + 100) {
      size = 100;
      buf = static_cast<char*>(mem_alloc(size));
      if (!buf) return -1;
      break;
    }
    size -= 2048;
  }
  int rc = 0;
  for (long pos = 0;; pos += size) {
    unsigned got = file_read(from, pos, buf, size);
    if (c->error_code < 0) { rc = -1; break; }
    if (got == 0) break;
    if (file_write(to, pos, buf, got) < 0) { rc = -1; break; }
    if (replacing && pos == 0) dbos_step(DBOS_STEP_TARGET_PART, to->name);
    if (got < size) break;
  }
  mem_free(buf);
  return rc;
}

// Closes a file without letting its close disturb the pending error.
void close_keep_error(DbFile* f) {
  DbQuietError quiet(f->context);
  file_close_in(f);
}

// Creates the target's backup beside it, empty. One already there is a
// leftover and is overwritten: the caller holds the lock every rebuild of
// the target holds, and taking it put back whatever a journal named.
int create_backup(DbFile* target, DbFile* backup) {
  DB_ENGINE* c = target->context;
  std::string backup_name = name_of(target);
  backup_name += '~';
  DbSettingFor safety(c->safety, 0), report_it(c->report_create_errors, 1);
  return file_create_in(backup, c, backup_name.c_str(), 1) == 0 ? 0 : -1;
}

// The target's contents go to a new backup beside it. 0, or -1 with nothing
// left behind.
int back_up(DbFile* target, DbFile* backup) {
  DB_ENGINE* c = target->context;
  if (create_backup(target, backup) < 0) return -1;
  // Large pieces: the copy is on the way of every rebuild.
  constexpr unsigned kBackupPiece = 1u << 20;
  unsigned piece = unsigned(c->copy_size) > kBackupPiece ? unsigned(c->copy_size) : kBackupPiece;
  if (copy_over(backup, target, piece) < 0) {
    backup->remove_on_close = 1;
    close_keep_error(backup);
    return -1;
  }
  return 0;
}

// Once the new contents stand in the target: they go to the disk while the
// backup's blocks are given back on a thread of its own (the slow part of
// its removal), so neither waits on the other; the backup's name goes after.
int sync_and_let_go(DbFile* target, DbFile* backup) {
  intptr_t handle = backup->handle;
  std::thread cut;
  if (dbos_may_start_threads()) {
    try {
      cut = std::thread([handle] { dbos_set_length(handle, 0); });
    } catch (const std::system_error&) {
    }
  }
  int rc = file_flush(target, 0);
  if (cut.joinable()) cut.join();
  backup->remove_on_close = 1;
  close_keep_error(backup);
  return rc < 0 || target->context->error_code < 0 ? -1 : 0;
}

// Under a log: the journal names the target and its backup before the new
// contents are written, and they are on the disk before this returns; the
// backup stays for the log's commit or undo, which also puts the old
// contents back after a failure.
template <class WriteNew>
int replace_logged(DbFile* target, DbFile* backup, WriteNew&& write_new, DbReplaceLog* log) {
  int rc = replace_log_add(log, target, backup);
  if (rc == 0) rc = write_new();
  if (rc == 0) rc = file_flush(target, 0);
  if (rc == 0) dbos_step(DBOS_STEP_TARGET_SYNCED, target->name);
  close_keep_error(backup);
  return rc < 0 || target->context->error_code < 0 ? -1 : 0;
}

// With the backup on disk, replaces the target's contents in place (other
// stations hold it open) by what `write_new` writes into it; a write that
// fails half way is undone from the backup instead of leaving a partial file.
// `sync`: the new contents go to the disk before the backup's name goes.
template <class WriteNew>
int replace_backed_up(DbFile* target, DbFile* backup, WriteNew&& write_new, bool sync = false,
                      DbReplaceLog* log = nullptr) {
  DB_ENGINE* c = target->context;
  // The copy goes straight to disk: held, it would leave the file empty
  // for other stations until the lock ends.
  int held = target->write_behind;
  target->write_behind = 0;
  struct Restore {
    DbFile* f;
    int on;
    ~Restore() { f->write_behind = on; }
  } restore{target, held};
  if (log) return replace_logged(target, backup, write_new, log);
  if (write_new() == 0) {
    if (sync) return sync_and_let_go(target, backup);
    backup->remove_on_close = 1;
    close_keep_error(backup);
    return c->error_code < 0 ? -1 : 0;
  }
  // Put the old contents back; the first error stays the one reported.
  DbQuietError quiet(c);
  if (copy_over(target, backup) == 0) {
    backup->remove_on_close = 1;
    close_keep_error(backup);
  } else {
    code_error_set(c, 0);
    code_error_ex(c, e_write, "Old Contents Kept In", "File Name:", backup->name);
    quiet.finish(DbQuietError::never);
    close_keep_error(backup);
  }
  return -1;
}

// The target's contents in a backup beside it, on the disk. 0, or -1 with
// nothing left behind.
int back_up_synced(DbFile* target, DbFile* backup) {
  if (back_up(target, backup) < 0) return -1;
  if (file_flush(backup, 0) < 0) {
    backup->remove_on_close = 1;
    close_keep_error(backup);
    return -1;
  }
  return 0;
}

template <class WriteNew>
int replace_in_place(DbFile* target, WriteNew&& write_new, DbReplaceLog* log) {
  DbFile backup;
  if (back_up_synced(target, &backup) < 0) return -1;
  return replace_backed_up(target, &backup, write_new, false, log);
}

// Writes `len` bytes from `image` over the file from its start and cuts it
// there: the blocks the file has are used again.
int write_image(DbFile* target, const void* image, long len) {
  constexpr long kPiece = long(1) << 30;
  // A small first piece: a test may stop the process after it.
  constexpr long kFirst = long(1) << 16;
  const char* bytes = static_cast<const char*>(image);
  for (long at = 0; at < len;) {
    long n = at == 0 && len > kFirst ? kFirst : len - at < kPiece ? len - at : kPiece;
    if (file_write(target, at, bytes + at, unsigned(n)) < 0) return -1;
    if (at == 0) dbos_step(DBOS_STEP_TARGET_PART, target->name);
    at += n;
  }
  return file_len_set(target, len);
}

}  // namespace

int file_replace(DbFile* target, DbFile* source, DbReplaceLog* log) {
  DB_ENGINE* c = target->context;
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  if (target->read_only || source->read_only)
    return code_error(c, e_parm, "Attempt to replace to a read-only file");
  if (file_write_back(target) < 0 || file_write_back(source) < 0) return -1;
  return replace_in_place(
      target,
      [&] {
        if (copy_over(target, source, 0, true) < 0) return -1;
        source->remove_on_close = 1;
        file_close_in(source);
        return 0;
      },
      log);
}

int file_back_up_logged(DbFile* target, DbReplaceLog* log) {
  DB_ENGINE* c = target->context;
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  if (file_write_back(target) < 0) return -1;
  DbFile backup;
  if (back_up_synced(target, &backup) < 0) return -1;
  int rc = replace_log_add(log, target, &backup);
  close_keep_error(&backup);
  return rc < 0 ? -1 : 0;
}

struct DbReplaceStep {
  DbFile* target;
  DbFile backup;
  std::thread sync;
  int copy_rc;  // the copy made on the thread: 0, or -1 when a write or a read failed
  int sync_rc;
};

namespace {

// Copies the bytes a view of the target shows into the backup, in large
// pieces, and sends them to the disk: all on the step's thread, through
// nothing but the view and the backup's handle.
void copy_and_sync(DbReplaceStep* step, intptr_t view, intptr_t to) {
  struct Copy {
    intptr_t to;
    long len;
    int rc;
  } copy{to, dbos_view_size(view), 0};
  int read_rc = dbos_view_read(
      view,
      [](const unsigned char* bytes, void* arg) {
        auto* k = static_cast<Copy*>(arg);
        constexpr long kPiece = long(1) << 20;
        for (long at = 0; at < k->len && k->rc == 0; at += kPiece) {
          unsigned n = unsigned(k->len - at < kPiece ? k->len - at : kPiece);
          if (dbos_write(k->to, at, bytes + at, n) != long(n)) k->rc = -1;
        }
      },
      &copy);
  dbos_view_close(view);
  step->copy_rc = read_rc != 0 || copy.rc != 0 ? -1 : 0;
  step->sync_rc = step->copy_rc == 0 ? dbos_flush(to) : 0;
}

}  // namespace

DbReplaceStep* file_replace_begin(DbFile* target) {
  DB_ENGINE* c = target->context;
  DbAssertLocked(c);
  if (c->error_code < 0) return nullptr;
  if (target->read_only) {
    code_error(c, e_parm, "Attempt to replace to a read-only file");
    return nullptr;
  }
  if (file_write_back(target) < 0) return nullptr;
  auto* step = new (std::nothrow) DbReplaceStep{target, {}, {}, 0, 0};
  if (!step) {
    code_error(c, e_memory, nullptr);
    return nullptr;
  }
  step->backup.handle = -1;
  // With a thread to spare and a view of the target to copy from, the copy
  // and its way to the disk go on that thread, which touches nothing but the
  // two handles, while the caller makes the new contents.
  long len = dbos_may_start_threads() ? file_len_in(target) : -1;
  intptr_t view = len > 0 ? dbos_view_open(target->handle, len) : 0;
  if (view && dbos_view_size(view) == len) {
    if (create_backup(target, &step->backup) < 0) {
      dbos_view_close(view);
      delete step;
      return nullptr;
    }
    intptr_t to = step->backup.handle;
    step->backup.writes++;
    step->backup.unsynced = 1;
    try {
      step->sync = std::thread(copy_and_sync, step, view, to);
    } catch (const std::system_error&) {
      copy_and_sync(step, view, to);
    }
    return step;
  }
  if (view) dbos_view_close(view);
  if (back_up(target, &step->backup) < 0) {
    delete step;
    return nullptr;
  }
  // The backup goes to the disk on a thread of its own, which touches
  // nothing but its handle, while the caller makes the new contents.
  intptr_t handle = step->backup.handle;
  if (!dbos_may_start_threads()) {
    step->sync_rc = dbos_flush(handle);
    return step;
  }
  try {
    step->sync = std::thread([step, handle] { step->sync_rc = dbos_flush(handle); });
  } catch (const std::system_error&) {
    step->sync_rc = dbos_flush(handle);
  }
  return step;
}

namespace {

// Waits for the backup's copy and its way to the disk; 0, or -1 with the
// failure reported (the backup is then left to be removed).
int await_sync(DbReplaceStep* step) {
  if (step->sync.joinable()) step->sync.join();
  if (step->copy_rc != 0) return report(&step->backup, e_write);
  if (step->sync_rc != 0) return report(&step->backup, e_opt_flush);
  step->backup.unsynced = 0;
  return 0;
}

}  // namespace

int file_replace_finish(DbReplaceStep* step, const void* image, long len, DbReplaceLog* log) {
  DbFile* target = step->target;
  DbAssertLocked(target->context);
  int rc = target->context->error_code < 0 ? -1 : await_sync(step);
  if (rc == 0)
    rc = replace_backed_up(target, &step->backup, [&] { return write_image(target, image, len); }, true, log);
  file_replace_drop(step);
  return rc;
}

void file_replace_drop(DbReplaceStep* step) {
  if (!step) return;
  if (step->sync.joinable()) step->sync.join();
  if (step->backup.handle != -1) {
    step->backup.remove_on_close = 1;
    close_keep_error(&step->backup);
  }
  delete step;
}
