// Low-level files of the engine: create and open under the context's share,
// overwrite and read-only rules, positional reads and writes, length and
// flush. No block cache: every access goes to the system at once.
#include "engine/file.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/convert.h"
#include "engine/engine.h"
#include "engine/os_shim.h"

namespace {

const char* name_of(const DbFile* f) { return f->name ? f->name : "Unknown Name"; }

int report(DbFile* f, int code) { return code_error_ex(f->context, code, "File Name:", name_of(f), nullptr); }

int open_as(DbFile* f, DB_ENGINE* c, const char* name, int keep_copy, int disposition) {
  if (!c) return -1;
  DbLock lock(c);
  if (c->error_code < 0) return -1;
  std::memset(f, 0, sizeof *f);
  f->handle = -1;
  f->context = c;
  f->cached_len = -1;
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
  f->on_disk = 1;
  f->exclusive = c->exclusive;
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

int file_create(DbFile* f, DB_ENGINE* c, const char* name, int keep_copy) {
  return open_as(f, c, name, keep_copy,
                 c && c->safety ? DBOS_CREATE_NEW : DBOS_CREATE_ALWAYS);
}

int file_open(DbFile* f, DB_ENGINE* c, const char* name, int keep_copy) {
  return open_as(f, c, name, keep_copy, DBOS_OPEN_EXISTING);
}

int file_close(DbFile* f) {
  DB_ENGINE* c = f->context;
  DbLock lock(c);
  if (f->handle != -1) {
    if (dbos_close(f->handle) != 0 && c) {
      int saved = code_error_set(c, 0);
      report(f, e_close);
      if (saved < 0) code_error_set(c, saved);
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

long file_len(DbFile* f) {
  DbLock lock(f->context);
  if (f->handle == -1) return 0;
  long n = dbos_length(f->handle);
  if (n < 0) return report(f, e_len);
  return n;
}

int file_len_set(DbFile* f, long n) {
  DB_ENGINE* c = f->context;
  DbLock lock(c);
  if (c->error_code < 0) return -1;
  if (f->read_only)
    return code_error(c, e_parm, "Attempt to change file length of a read-only file");
  if (c->error_code >= 1 && c->error_code <= 199) return -1;
  if (dbos_set_length(f->handle, n) != 0) return report(f, e_len_set);
  return 0;
}

unsigned file_read(DbFile* f, long offset, void* buf, unsigned n) {
  DB_ENGINE* c = f->context;
  DbLock lock(c);
  if (c->error_code < 0) return 0;
  long got = dbos_read(f->handle, offset, buf, n);
  if (got < 0 || got > static_cast<long>(n)) {
    report(f, e_read);
    return 0;
  }
  return static_cast<unsigned>(got);
}

int file_read_all(DbFile* f, long offset, void* buf, unsigned n) {
  DbLock lock(f->context);
  if (f->context->error_code < 0) return -1;
  unsigned got = file_read(f, offset, buf, n);
  if (f->context->error_code < 0) return -1;
  if (got != n) return report(f, e_read);
  return 0;
}

int file_write(DbFile* f, long offset, const void* buf, unsigned n) {
  DB_ENGINE* c = f->context;
  DbLock lock(c);
  if (c->error_code < 0) return -1;
  if (f->read_only) return code_error(c, e_parm, "Attempt to write to a read-only file");
  if (n == 0) return 0;
  if (dbos_write(f->handle, offset, buf, n) != static_cast<long>(n)) return report(f, e_write);
  if (c->flush_writes) return file_flush(f, 0);
  return 0;
}

int file_flush(DbFile* f, int) {
  DbLock lock(f->context);
  if (f->handle == -1 || f->read_only) return 0;
  if (dbos_flush(f->handle) != 0) return report(f, e_opt_flush);
  return 0;
}

int file_flush_keep_error(DbFile* f) {
  DB_ENGINE* c = f->context;
  DbLock lock(c);
  int saved = code_error_set(c, 0);
  int rc = file_flush(f, 0);
  if (saved != 0) code_error_set(c, saved);
  return rc;
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
  DbLock lock(c);
  if (c->error_code < 0) return -1;
  char own[16];
  char* name = name_buf ? name_buf : own;
  int saved_exclusive = c->exclusive, saved_report = c->report_create_errors;
  int saved_safety = c->safety;
  int rc = DB_NO_CREATE;
  // Names are drawn from a counter that starts at the clock, so no name is
  // tried twice and nobody waits for the clock to move on; a name another
  // process holds is simply passed over.
  static std::atomic<long> next_name{dbos_time_seconds()};
  for (int tries = 0; tries < 100 && rc == DB_NO_CREATE; tries++) {
    long n = next_name.fetch_add(1) % 10000;
    if (n < 0) n += 10000;
    std::snprintf(name, 16, "TEMP%04ld.TMP", n);
    c->exclusive = 1;
    c->report_create_errors = 0;
    c->safety = 1;  // a temporary file never replaces an existing one
    rc = file_create(f, c, name, name_buf == nullptr);
    c->exclusive = saved_exclusive;
    c->report_create_errors = saved_report;
    c->safety = saved_safety;
    if (rc == DB_NO_CREATE) c->error_code = 0;
  }
  if (rc < 0) return -1;
  if (rc == DB_NO_CREATE) return code_error(c, e_create, "Temporary Working File");
  f->remove_on_close = remove_on_close;
  return 0;
}

namespace {

// Empties to and copies the whole of from into it, in pieces of the
// context's copy size (smaller while memory is short).
int copy_over(DbFile* to, DbFile* from) {
  DB_ENGINE* c = to->context;
  if (file_len_set(to, 0) < 0) return -1;
  unsigned size = static_cast<unsigned>(c->copy_size);
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
    if (got < size) break;
  }
  mem_free(buf);
  return rc;
}

// Closes a file without letting its close disturb the pending error.
void close_keep_error(DbFile* f) {
  int saved = code_error_set(f->context, 0);
  file_close(f);
  code_error_set(f->context, saved);
}

}  // namespace

int file_replace(DbFile* target, DbFile* source) {
  DB_ENGINE* c = target->context;
  DbLock lock(c);
  if (c->error_code < 0) return -1;
  if (target->read_only || source->read_only)
    return code_error(c, e_parm, "Attempt to replace to a read-only file");
  // The target is replaced in place (other stations hold it open), so its
  // old contents go to a backup beside it first: a write that fails half
  // way is then undone instead of leaving a partial file. An old backup
  // left by a failed restore is never overwritten.
  std::string backup_name = name_of(target);
  backup_name += '~';
  DbFile backup;
  int saved_safety = c->safety, saved_report = c->report_create_errors;
  c->safety = 1;
  c->report_create_errors = 1;
  int rc = file_create(&backup, c, backup_name.c_str(), 1);
  c->safety = saved_safety;
  c->report_create_errors = saved_report;
  if (rc != 0) return -1;
  if (copy_over(&backup, target) < 0 || file_flush(&backup, 0) < 0) {
    backup.remove_on_close = 1;
    close_keep_error(&backup);
    return -1;
  }
  if (copy_over(target, source) == 0) {
    backup.remove_on_close = 1;
    close_keep_error(&backup);
    source->remove_on_close = 1;
    file_close(source);
    return c->error_code < 0 ? -1 : 0;
  }
  // Put the old contents back; the first error stays the one reported.
  int failure = code_error_set(c, 0);
  if (copy_over(target, &backup) == 0) {
    backup.remove_on_close = 1;
    close_keep_error(&backup);
  } else {
    code_error_set(c, 0);
    code_error_ex(c, e_write, "Old Contents Kept In", "File Name:", backup.name);
    failure = c->error_code;
    close_keep_error(&backup);
  }
  code_error_set(c, failure);
  return -1;
}
