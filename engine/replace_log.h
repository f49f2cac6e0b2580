// The journal of a rebuild that overwrites a table's files in place (pack,
// range removal, reindex, memo compress), so that a process dying at any
// instant leaves nothing a later open cannot put right.
//
// The order, per file: its old contents are copied whole to NAME~ and sent
// to the disk; a line naming the file, its backup and the backup's length is
// added to the journal beside the table (T.RB~) and sent to the disk with
// the directory; only then is anything of the file overwritten, and the new
// contents go to the disk. When every file of the rebuild stands new, the
// journal is removed: that is the commit. The backups go after it.
//
// So a journal found beside a table means a rebuild died before its commit:
// every file it names is put back from its backup (all old). A backup
// without a journal is a leftover (a copy not finished, or one whose commit
// was done) and is overwritten by the next rebuild. Where a backup the
// journal names is missing or of another length, nobody can tell which
// state is whole: recovery then changes nothing and reports the files.
#pragma once

struct DB_ENGINE;
struct DbFile;
struct DbReplaceLog;

// The journal's name beside the table (T.DBF: T.RB~); false when the name
// does not fit in `size`.
bool replace_log_name(const char* table_name, char* out, int size);

// A log for one rebuild of the table: nothing is written until a file is
// added. Null with the error reported.
DbReplaceLog* replace_log_open(DB_ENGINE* c, const char* table_name);
// `backup` holds the whole old contents of `target` and is on the disk: the
// journal names both before anything of `target` is overwritten. The backup
// is the log's from now (the caller closes its handle without removing it).
// 0, or -1 reported (the log's undo then puts back what it names).
int replace_log_add(DbReplaceLog* log, DbFile* target, DbFile* backup);
// Every target stands new and is on the disk: the journal goes, then the
// backups. 0, or -1 reported (the journal stays; undo puts the old back).
int replace_log_commit(DbReplaceLog* log);
// The rebuild failed: every target added gets its old contents back, then
// the journal and the backups go. 0, or -1 reported (the journal stays for
// the next open to finish).
int replace_log_undo(DbReplaceLog* log);
void replace_log_close(DbReplaceLog* log);

// 1 when a journal stands beside the table: one look-up of its name.
int replace_log_left(const char* table_name);
// Puts back every file the journal beside the table names, through the
// handles in `open` where one of them is that file (a table opened alone
// refuses other handles), then removes the journal and the backups. The
// caller holds what every rebuild of the table holds. 0 (also when there
// is no journal), or -1 reported with nothing changed when it cannot tell.
int replace_log_recover(DB_ENGINE* c, const char* table_name, DbFile* const* open, int n_open);
