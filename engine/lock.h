// Byte-range locks on shared data files: records, appends and whole files,
// at offsets far beyond any data, retried by the context's lock attempts.
#pragma once

#include "engine/data.h"

enum : long {
  DB_LOCK_RECORD_BASE = 1999999999L,  // record n at base - n; the base byte is the gate
  DB_LOCK_APPEND = 2000000000L,
  DB_LOCK_FILE = 1000000000L,
  DB_LOCK_FILE_LEN = 1000000001L,
};

int file_lock(DbFile* f, long offset, long len);

// While one lives, every lock this thread tries is retried without end. It
// stands in for a change of the context's lock attempts, which the other
// threads go on using while this one waits.
class DbEndlessLocks {
 public:
  DbEndlessLocks();
  ~DbEndlessLocks();
  DbEndlessLocks(const DbEndlessLocks&) = delete;
  DbEndlessLocks& operator=(const DbEndlessLocks&) = delete;
};

int file_lock_tries_in(DbFile* f, long offset, long len, int tries);
int file_unlock_in(DbFile* f, long offset, long len);

int data_lock_record_in(DbDataFile* d, long n);
int data_lock_group_in(DbDataFile* d, const long* records, int count);
int data_lock_append(DbDataFile* d);
int data_lock_file_in(DbDataFile* d);
int data_unlock_in(DbDataFile* d);
int data_unlock_records(DbDataFile* d);
int data_unlock_append(DbDataFile* d);
int data_unlock_file(DbDataFile* d);
int data_unlock_index(DbDataFile* d);
int data_record_locked(DbDataFile* d, long n);
int data_file_locked(DbDataFile* d);
int data_count_cacheable(DbDataFile* d);
