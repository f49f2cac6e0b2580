// The engine's one seam to the platform layer: files, byte-range locks, the
// clock and the OEM character table. Everything the engine asks of the
// system goes through these few calls.
#pragma once

#include <cstdint>

enum DbosAccess { DBOS_READ = 1, DBOS_READ_WRITE = 3 };
enum DbosCreate { DBOS_CREATE_NEW, DBOS_CREATE_ALWAYS, DBOS_OPEN_EXISTING };

// Handles are >= 0; -1 on failure.
intptr_t dbos_open(const char* name, int access, int share_none, int disposition);
int dbos_close(intptr_t h);                        // 0 or -1
long dbos_read(intptr_t h, long offset, void* buf, unsigned n);   // bytes, -1 on error
long dbos_write(intptr_t h, long offset, const void* buf, unsigned n);
long dbos_length(intptr_t h);                      // -1 on error
int dbos_set_length(intptr_t h, long n);
int dbos_flush(intptr_t h);
void dbos_start_write_out(intptr_t h, long offset, long n);  // a hint: the flush still writes them

// Reads of the file served from a mapping of it where the file system is
// local (the mapping shares the page cache, so it shows every write of
// this machine as a read would); elsewhere, and for bytes near the file's
// end, reads go to the system as before. 1 when the mapping is in use.
int dbos_map_reads(intptr_t h);
int dbos_reads_mapped(intptr_t h);
// While on, the file's length changes only through this handle (its holder
// locks the whole file, or has it alone): a mapped read then trusts the
// length it knows and does not touch the page after its bytes to prove that
// the file still holds them. A page the file lost still only fails the read.
void dbos_length_ours(intptr_t h, int on);

// A view of a file's first n bytes, shared with every process of this
// machine that uses the file (reads through it are system-call free and see
// each write at once). 0 where the file system is not local, or the system
// refuses.
intptr_t dbos_view_open(intptr_t h, long n);
void dbos_view_close(intptr_t v);
long dbos_view_size(intptr_t v);
// Runs fn over the view's bytes: 0, or -1 when the file no longer holds
// them (it shrank; fn stopped part way).
int dbos_view_read(intptr_t v, void (*fn)(const unsigned char* bytes, void* arg), void* arg);

// For tests: told of every write about to go to the file layer, with the
// path the file was opened under and the byte count (a fault sweep counts
// a clean run's writes with it). Null turns it off.
using DbosWriteWatch = void (*)(const char* path, unsigned n);
void dbos_watch_writes(DbosWriteWatch watch);
// The same for reads.
void dbos_watch_reads(DbosWriteWatch watch);

enum { DBOS_LOCK_OK = 0, DBOS_LOCK_VIOLATION = 33, DBOS_LOCK_ERROR = -1 };
int dbos_lock(intptr_t h, long offset, long len);
int dbos_unlock(intptr_t h, long offset, long len);
// A shared lock (beside other handles' shared locks), given back with
// dbos_unlock; and whether another handle holds a lock over the range, an
// exclusive one or (shared_too) any (1, 0 free, -1 error), taking nothing.
int dbos_lock_shared(intptr_t h, long offset, long len);
int dbos_locked_elsewhere(intptr_t h, long offset, long len, bool shared_too);

int dbos_remove(const char* name);
int dbos_rename(const char* old_name, const char* new_name);
// 1 when a regular file of that name exists (one look-up of the name).
int dbos_exists(const char* name);
// Brings the names in the directory where `name` lies to the disk: 0 or -1.
int dbos_sync_dir(const char* name);

// For tests: the steps of a replacement of a table's files, told to the
// watcher with the path of the file the step concerns, so that a test can
// stop the process at each (a named step, in the order they come).
// The old contents stand whole beside the file; the journal names it,
// nothing is overwritten yet; the first piece of the new contents is
// written; they are on the disk; the journal is gone (the commit: the new
// contents stand); the backups are gone. And a recovery's: one file is put
// back, the journal still there.
inline constexpr const char* DBOS_STEP_BACKUP_SYNCED = "backup synced";
inline constexpr const char* DBOS_STEP_JOURNAL_WRITTEN = "journal written";
inline constexpr const char* DBOS_STEP_TARGET_PART = "target part";
inline constexpr const char* DBOS_STEP_TARGET_SYNCED = "target synced";
inline constexpr const char* DBOS_STEP_JOURNAL_REMOVED = "journal removed";
inline constexpr const char* DBOS_STEP_BACKUPS_REMOVED = "backups removed";
inline constexpr const char* DBOS_STEP_RESTORED = "restored";
using DbosStepWatch = void (*)(const char* step, const char* path);
void dbos_watch_steps(DbosStepWatch watch);
void dbos_step(const char* step, const char* path);

long dbos_time_seconds();  // wall clock, whole seconds
void dbos_local_date(int* year, int* month, int* day);
void dbos_local_time(int* hour, int* minute, int* second);
void dbos_sleep_ms(int ms);
// False in a child of fork: a process forked from one with threads may
// start none of its own, so work the engine would hand to a thread is done
// in place there.
bool dbos_may_start_threads();

void dbos_oem_to_ansi(char* text);
