// The engine's seam to the platform layer (files, locks, clock, OEM table).
#include "engine/os_shim.h"

#include <atomic>
#include <new>

#include "platform/clock.h"
#include "platform/file.h"
#include "platform/file_view.h"
#include "platform/oem.h"
#include "platform/sync.h"

namespace {

plat::File* file_of(intptr_t h) { return reinterpret_cast<plat::File*>(h); }

// A closed handle fails every call instead of reaching the system.
plat::File closed_file;
plat::File& use(intptr_t h) { return h == -1 ? closed_file : *file_of(h); }

std::atomic<DbosWriteWatch> write_watch{nullptr};
std::atomic<DbosWriteWatch> read_watch{nullptr};

}  // namespace

void dbos_watch_writes(DbosWriteWatch watch) { write_watch.store(watch); }
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
  auto* p = new (std::nothrow) plat::File(std::move(f));
  return p ? reinterpret_cast<intptr_t>(p) : -1;
}

int dbos_close(intptr_t h) {
  if (h == -1) return -1;
  plat::File* f = file_of(h);
  bool ok = plat::close(*f);
  delete f;
  return ok ? 0 : -1;
}

long dbos_read(intptr_t h, long offset, void* buf, unsigned n) {
  if (DbosWriteWatch watch = read_watch.load(std::memory_order_relaxed); watch && h != -1)
    watch(file_of(h)->dos_path().c_str(), n);
  return static_cast<long>(plat::read_at(use(h), offset, buf, n));
}

long dbos_write(intptr_t h, long offset, const void* buf, unsigned n) {
  if (DbosWriteWatch watch = write_watch.load(std::memory_order_relaxed); watch && h != -1)
    watch(file_of(h)->dos_path().c_str(), n);
  return static_cast<long>(plat::write_at(use(h), offset, buf, n));
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

long dbos_length(intptr_t h) { return static_cast<long>(plat::length(use(h))); }

int dbos_set_length(intptr_t h, long n) { return plat::set_length(use(h), n) ? 0 : -1; }

int dbos_flush(intptr_t h) { return plat::flush(use(h)) ? 0 : -1; }

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

void dbos_oem_to_ansi(char* text) { plat::oem_to_char(text, text); }
