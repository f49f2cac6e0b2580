// The engine's low-level file: create and open with the context's share and
// overwrite rules, reads and writes at offsets, length, flush, temporary files,
// replacing one file by another, and sequential reader and writer buffers.
// A file works unbuffered (each read and write goes to the system at once)
// except while its owner holds it locked against every other station: then
// writes may be held in memory and go out together when the lock ends.
// Tables, indexes and memo files on a local disk are read from a mapping
// that shares the system's cache: unbuffered still, without a system call.
#pragma once

#include <cstdint>

struct DB_ENGINE;

struct DbHeldWrites;

struct DbFile {
  DbHeldWrites* held;  // writes not on disk yet (only while holding)
  long held_tail;      // held writes before this offset (the headers) go out last
  unsigned writes;     // counts writes through this handle: cached reads compare it
  int write_behind;    // writes are held until write-back
  int buffered;
  char* name;
  DB_ENGINE* context;
  intptr_t handle;  // -1 when closed
  int remove_on_close;
  int exclusive;
  int read_only;
  int name_owned;
  int write_behind_allowed;
  int on_disk;
  int unsynced;  // written or created since the last flush reached the disk
};

int file_create_in(DbFile* f, DB_ENGINE* c, const char* name, int keep_copy);
int file_open_in(DbFile* f, DB_ENGINE* c, const char* name, int keep_copy);
int file_close_in(DbFile* f);
long u_filelength(intptr_t handle);
long file_len_in(DbFile* f);
int file_len_set(DbFile* f, long n);
unsigned file_read(DbFile* f, long offset, void* buf, unsigned n);
int file_read_all(DbFile* f, long offset, void* buf, unsigned n);  // short read is -70
int file_write(DbFile* f, long offset, const void* buf, unsigned n);
int file_flush(DbFile* f, int stop);
int file_flush_keep_error(DbFile* f);
// A flush in two steps, so that the caller brings other files on their way
// meanwhile: begin sends the held writes and starts the way to the disk (on
// a thread of its own where one may start; `step` is null when nothing is
// left to wait for); end waits for it. Each reports its own failure, and
// end must follow every begin that returned 0.
struct DbFlushStep;
int file_flush_begin(DbFile* f, DbFlushStep** step);
int file_flush_end(DbFile* f, DbFlushStep* step);
int file_temp(DbFile* f, DB_ENGINE* c, char* name_buf, int remove_on_close);
// Under a log (replace_log.h), the backups stay for the log's commit or undo,
// and the new contents are on the disk before a replacement returns.
struct DbReplaceLog;
int file_replace(DbFile* target, DbFile* source, DbReplaceLog* log = nullptr);
// Only the backup, under a log, for a file the caller then changes in place.
int file_back_up_logged(DbFile* target, DbReplaceLog* log);
// The same in two steps, with the new contents made in memory meanwhile:
// begin copies the old contents aside and sends the copy to the disk while
// the caller makes the new ones (null on a failure, reported; a failure of
// a copy made meanwhile is reported by finish, which then leaves the file
// as it was); finish waits for the copy, writes the `len` bytes at `image` over the file, sends them
// to the disk before the copy is removed and ends the step; drop ends a step
// whose new contents were not made.
struct DbReplaceStep;
DbReplaceStep* file_replace_begin(DbFile* target);
int file_replace_finish(DbReplaceStep* step, const void* image, long len, DbReplaceLog* log = nullptr);
void file_replace_drop(DbReplaceStep* step);
int file_remove(const char* name);
int file_rename(const char* old_name, const char* new_name);
// Buffering through the block cache is not built: these only record the wish.
void file_set_read_buffer(DbFile* f, int on);

// Holding writes: only for a file no other station may read or write until
// the holder's lock ends. Reads through this handle see the held writes.
// Write-back sends them in an order that keeps the file readable: those
// that lengthen the file, then the others in place, the ones before `tail`
// (the headers that take the rest in) last. A failed write-back keeps what
// did not go out, so a later write-back can still deliver it.
void file_hold_writes(DbFile* f, long tail);
int file_write_back(DbFile* f);
// Write-back, then writes go to the system at once again; on failure the
// writes stay held.
int file_release_writes(DbFile* f);
// Forgets held writes (a file closed after a failed write-back).
void file_drop_writes(DbFile* f);
int file_holds_writes(const DbFile* f);  // 1 when writes wait for write-back
// 1 when reads of the file are served from a mapping of it (a local file
// system): reading a record straight from it costs less than reading ahead.
int file_reads_mapped(const DbFile* f);
// While on (the whole file locked), only this handle changes the file's
// length, and mapped reads need not prove it again each time.
void file_length_ours(DbFile* f, int on);

struct DbSeqRead {
  DbFile* file;
  long pos;
  char* buffer;
  unsigned next_read;
  unsigned total;
  unsigned avail;  // bytes in the buffer
  unsigned left;   // bytes not yet taken
};

struct DbSeqWrite {
  DbFile* file;
  long pos;
  char* buffer;
  unsigned total;
  unsigned working;  // size of the current chunk
  unsigned avail;    // free bytes in the chunk
};

int seq_read_init(DbSeqRead* r, DbFile* f, long pos, char* buf, unsigned size);
unsigned seq_read_in(DbSeqRead* r, void* buf, unsigned n);
int seq_read_all(DbSeqRead* r, void* buf, unsigned n);  // short read is -70
int seq_write_init(DbSeqWrite* w, DbFile* f, long pos, char* buf, unsigned size);
int seq_write_in(DbSeqWrite* w, const void* buf, unsigned n);
int seq_write_flush_in(DbSeqWrite* w);
int seq_write_fill(DbSeqWrite* w, long n, int byte);
