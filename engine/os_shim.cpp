// The engine's seam to the platform layer (files, locks, clock, OEM table).
#include "engine/os_shim.h"

#include <atomic>
#include <new>
#include <string>

#include <pthread.h>

#include "platform/clock.h"
#include "platform/file.h"
#include "platform/file_view.h"
#include "platform/oem.h"
#include "platform/sync.h"

namespace {

// A handle: the file, and for a file read through a mapping, the mapping
// and the file's length when last learned; and whether that length changes
// only through this handle (see dbos_length_ours).
struct Handle {
  plat::File file;
  plat::FileMap map;
  long known = 0;
  bool length_ours = false;
};

Handle* handle_of(intptr_t h) { return reinterpret_cast<Handle*>(h); }
plat::File* file_of(intptr_t h) { return &handle_of(h)->file; }

// A closed handle fails every call instead of reaching the system.
plat::File closed_file;
plat::File& use(intptr_t h) { return h == -1 ? closed_file : *file_of(h); }

std::atomic<DbosWriteWatch> write_watch{nullptr};
std::atomic<DbosWriteWatch> read_watch{nullptr};

// The mapping reaches this far for a file of n bytes: room to grow, so a
// file appended to is not mapped anew each time.
size_t map_span(long n) {
  size_t page = plat::page_size();
  size_t want = size_t(n) * 2 + (size_t(256) << 10);
  return (want + page - 1) / page * page;
}

// The file holds n bytes (learned from the system or our own write): the
// mapping follows when it no longer reaches past them.
void learn_length(Handle& f, long n) {
  f.known = n;
  if (n >= 0 && size_t(n) + 2 * plat::page_size() > f.map.size() && !f.map.grow(map_span(n))) f.map.unmap();
}

// The read from the mapping; -1 when it cannot serve it (the handle reads).
long read_mapped(Handle& f, long offset, void* buf, unsigned n) {
  if (n == 0 || offset < 0 || plat::read_faults_armed()) return -1;
  size_t page = plat::page_size();
  // Only bytes known to be in the file, and the page after them too: reads
  // near the end go to the handle, which tells a short read exactly.
  size_t after = ((size_t(offset) + n - 1) | (page - 1)) + 1;  // pages are a power of two long
  if (after >= size_t(f.known)) return -1;
  if (f.map.copy(size_t(offset), buf, n, f.length_ours)) return long(n);
  // The file was cut short under the mapping.
  long len = static_cast<long>(plat::length(f.file));
  if (len >= 0) f.known = len;
  return -1;
}

// What a read through the handle tells of the file's length.
void learn_from_read(Handle& f, long offset, unsigned n, long got) {
  if (got < 0) return;
  long end = offset + got;
  if (got == long(n) ? end <= f.known : got > 0 ? end == f.known : offset >= f.known) return;
  if (got > 0 && got < long(n)) return learn_length(f, end);  // the file ends there
  long len = static_cast<long>(plat::length(f.file));
  if (len >= 0) learn_length(f, len);
}

bool mapped(intptr_t h) { return h != -1 && handle_of(h)->map.mapped(); }

}  // namespace

void dbos_watch_writes(DbosWriteWatch watch) { write_watch.store(watch); }

namespace {
std::atomic<DbosStepWatch> step_watch{nullptr};
}  // namespace

void dbos_watch_steps(DbosStepWatch watch) { step_watch.store(watch); }

void dbos_step(const char* step, const char* path) {
  if (DbosStepWatch w = step_watch.load(std::memory_order_relaxed)) w(step, path);
}
void dbos_watch_reads(DbosWriteWatch watch) { read_watch.store(watch); }

intptr_t dbos_open(const char* name, int access, int share_none, int disposition) {
  plat::Disposition disp = disposition == DBOS_CREATE_NEW      ? plat::Disposition::create_new
                           : disposition == DBOS_CREATE_ALWAYS ? plat::Disposition::create_always
                                                               : plat::Disposition::open_existing;
  plat::File f = plat::create_file(
      name, access == DBOS_READ ? plat::Access::read : plat::Access::read_write,
      share_none ? plat::Share::none : plat::Share::read_write, disp);
  if (!f.is_open()) return -1;
  // Tables are read record by record; where we own the file, those reads
  // need not stamp its access time each time.
  plat::keep_access_time(f);
  auto* p = new (std::nothrow) Handle;
  if (!p) return -1;
  p->file = std::move(f);
  return reinterpret_cast<intptr_t>(p);
}

int dbos_close(intptr_t h) {
  if (h == -1) return -1;
  Handle* f = handle_of(h);
  f->map.unmap();
  bool ok = plat::close(f->file);
  delete f;
  return ok ? 0 : -1;
}

int dbos_map_reads(intptr_t h) {
  if (h == -1) return 0;
  Handle& f = *handle_of(h);
  if (f.map.mapped()) return 1;
  if (!plat::local_file_system(f.file)) return 0;
  long len = static_cast<long>(plat::length(f.file));
  if (len < 0 || !f.map.map(f.file, map_span(len))) return 0;
  f.known = len;
  return 1;
}

int dbos_reads_mapped(intptr_t h) { return mapped(h); }

void dbos_length_ours(intptr_t h, int on) {
  if (h != -1) handle_of(h)->length_ours = on != 0;
}

long dbos_read(intptr_t h, long offset, void* buf, unsigned n) {
  if (DbosWriteWatch watch = read_watch.load(std::memory_order_relaxed); watch && h != -1)
    watch(file_of(h)->dos_path().c_str(), n);
  if (!mapped(h)) return static_cast<long>(plat::read_at(use(h), offset, buf, n));
  Handle& f = *handle_of(h);
  long got = read_mapped(f, offset, buf, n);
  if (got >= 0) return got;
  got = static_cast<long>(plat::read_at(f.file, offset, buf, n));
  learn_from_read(f, offset, n, got);
  return got;
}

long dbos_write(intptr_t h, long offset, const void* buf, unsigned n) {
  if (DbosWriteWatch watch = write_watch.load(std::memory_order_relaxed); watch && h != -1)
    watch(file_of(h)->dos_path().c_str(), n);
  long put = static_cast<long>(plat::write_at(use(h), offset, buf, n));
  if (put > 0 && mapped(h) && offset + put > handle_of(h)->known)
    learn_length(*handle_of(h), offset + put);
  return put;
}

intptr_t dbos_view_open(intptr_t h, long n) {
  if (h == -1 || n <= 0 || !plat::local_file_system(*file_of(h))) return 0;
  auto* v = new (std::nothrow) plat::FileView;
  if (!v) return 0;
  if (!v->map(*file_of(h), static_cast<size_t>(n))) {
    delete v;
    return 0;
  }
  return reinterpret_cast<intptr_t>(v);
}

void dbos_view_close(intptr_t v) { delete reinterpret_cast<plat::FileView*>(v); }

long dbos_view_size(intptr_t v) {
  return v ? static_cast<long>(reinterpret_cast<plat::FileView*>(v)->size()) : 0;
}

int dbos_view_read(intptr_t v, void (*fn)(const unsigned char*, void*), void* arg) {
  return v && reinterpret_cast<plat::FileView*>(v)->read(fn, arg) ? 0 : -1;
}

long dbos_length(intptr_t h) {
  long n = static_cast<long>(plat::length(use(h)));
  if (n >= 0 && mapped(h)) learn_length(*handle_of(h), n);
  return n;
}

int dbos_set_length(intptr_t h, long n) {
  if (!plat::set_length(use(h), n)) return -1;
  if (mapped(h)) learn_length(*handle_of(h), n);
  return 0;
}

int dbos_flush(intptr_t h) { return plat::flush(use(h)) ? 0 : -1; }

void dbos_start_write_out(intptr_t h, long offset, long n) { plat::start_write_out(use(h), offset, n); }

int dbos_lock(intptr_t h, long offset, long len) {
  if (plat::lock_range(use(h), static_cast<uint64_t>(offset), static_cast<uint64_t>(len)))
    return DBOS_LOCK_OK;
  return plat::last_error() == plat::error_lock_violation ? DBOS_LOCK_VIOLATION : DBOS_LOCK_ERROR;
}

int dbos_lock_shared(intptr_t h, long offset, long len) {
  if (plat::lock_range_shared(use(h), static_cast<uint64_t>(offset), static_cast<uint64_t>(len)))
    return DBOS_LOCK_OK;
  return plat::last_error() == plat::error_lock_violation ? DBOS_LOCK_VIOLATION : DBOS_LOCK_ERROR;
}

int dbos_locked_elsewhere(intptr_t h, long offset, long len, bool shared_too) {
  return plat::range_locked_elsewhere(use(h), static_cast<uint64_t>(offset), static_cast<uint64_t>(len),
                                      shared_too);
}

int dbos_unlock(intptr_t h, long offset, long len) {
  return plat::unlock_range(use(h), static_cast<uint64_t>(offset),
                            static_cast<uint64_t>(len))
             ? 0
             : -1;
}

int dbos_remove(const char* name) { return plat::delete_file(name) ? 0 : -1; }

int dbos_rename(const char* old_name, const char* new_name) {
  return plat::move_file(old_name, new_name) ? 0 : -1;
}

int dbos_exists(const char* name) { return plat::file_exists(name) ? 1 : 0; }

int dbos_sync_dir(const char* name) {
  std::string dir(name);
  size_t cut = dir.find_last_of("/\\");
  dir = cut == std::string::npos ? std::string(".") : dir.substr(0, cut + 1);
  return plat::flush_files({}, dir) ? 0 : -1;
}

long dbos_time_seconds() { return static_cast<long>(plat::now_utc()); }

void dbos_local_date(int* year, int* month, int* day) {
  plat::SystemTime t = plat::local_time();
  *year = t.year;
  *month = t.month;
  *day = t.day;
}

void dbos_local_time(int* hour, int* minute, int* second) {
  plat::SystemTime t = plat::local_time();
  *hour = t.hour;
  *minute = t.minute;
  *second = t.second;
}

void dbos_sleep_ms(int ms) { plat::sleep_ms(static_cast<uint32_t>(ms)); }

namespace {
std::atomic<bool> forked_child{false};
// Registered at the program's start, so that every fork meets it.
const bool fork_watched = (pthread_atfork(nullptr, nullptr, [] { forked_child.store(true); }), true);
}  // namespace

bool dbos_may_start_threads() { return !forked_child.load(std::memory_order_relaxed); }

void dbos_oem_to_ansi(char* text) { plat::oem_to_char(text, text); }
