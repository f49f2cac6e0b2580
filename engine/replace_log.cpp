// The journal of a rebuild that replaces a table's files in place, its
// commit and undo, and the recovery of a journal a dead process left.
#include "engine/replace_log.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "engine/convert.h"
#include "engine/engine.h"
#include "engine/file.h"
#include "engine/os_shim.h"

namespace {

struct Entry {
  DbFile* target;  // null in a recovery
  std::string target_name, backup_name;
  long len;  // of the backup
};

// The directory part of a name, with its separator ("" for none).
std::string dir_of(const std::string& name) {
  size_t cut = name.find_last_of("/\\");
  return cut == std::string::npos ? std::string() : name.substr(0, cut + 1);
}

// A file beside the table is named by its own name (the journal then holds
// wherever the directory is reached from); any other by its full path.
std::string stored_name(const std::string& table_dir, const std::string& name) {
  if (dir_of(name) == table_dir) return name.substr(table_dir.size());
  std::error_code e;
  std::filesystem::path full = std::filesystem::absolute(name, e);
  return e ? name : full.string();
}

std::string resolved_name(const std::string& table_dir, const std::string& stored) {
  return stored.find_first_of("/\\") == std::string::npos ? table_dir + stored : stored;
}

std::string hex(const std::string& s) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char ch : s) {
    out += digits[ch >> 4];
    out += digits[ch & 15];
  }
  return out;
}

bool unhex(const std::string& h, std::string* out) {
  if (h.size() % 2) return false;
  out->clear();
  for (size_t i = 0; i < h.size(); i += 2) {
    int v = 0;
    for (size_t k = i; k < i + 2; k++) {
      char ch = h[k];
      int d = ch >= '0' && ch <= '9' ? ch - '0' : ch >= 'a' && ch <= 'f' ? ch - 'a' + 10 : -1;
      if (d < 0) return false;
      v = v * 16 + d;
    }
    *out += char(v);
  }
  return true;
}

unsigned long sum_of(const std::string& s) {
  unsigned long h = 2166136261ul;
  for (unsigned char ch : s) h = ((h ^ ch) * 16777619ul) & 0xFFFFFFFFul;
  return h;
}

// One journal line: "R <backup length> <target> <backup> <sum>", names in hex.
std::string line_of(const std::string& table_dir, const Entry& e) {
  std::string body = "R " + std::to_string(e.len) + " " + hex(stored_name(table_dir, e.target_name)) + " " +
                     hex(stored_name(table_dir, e.backup_name));
  char sum[16];
  std::snprintf(sum, sizeof sum, " %08lx\n", sum_of(body));
  return body + sum;
}

bool parse_line(const std::string& table_dir, const std::string& line, Entry* e) {
  size_t last = line.rfind(' ');
  if (last == std::string::npos || line.compare(0, 2, "R ") != 0) return false;
  std::string body = line.substr(0, last);
  char sum[16];
  std::snprintf(sum, sizeof sum, "%08lx", sum_of(body));
  if (line.substr(last + 1) != sum) return false;
  std::istringstream fields(body.substr(2));
  std::string len, target, backup, t, b;
  if (!(fields >> len >> target >> backup) || !unhex(target, &t) || !unhex(backup, &b)) return false;
  char* end = nullptr;
  e->len = std::strtol(len.c_str(), &end, 10);
  if (*end || e->len < 0) return false;
  e->target = nullptr;
  e->target_name = resolved_name(table_dir, t);
  e->backup_name = resolved_name(table_dir, b);
  return true;
}

// Writes the backup's `len` bytes over the target through `to` (a handle of
// the target) and sends them to the disk. 0 or -1.
int copy_back(intptr_t to, const Entry& e) {
  intptr_t from = dbos_open(e.backup_name.c_str(), DBOS_READ, 0, DBOS_OPEN_EXISTING);
  if (from == -1) return -1;
  constexpr unsigned kPiece = 1u << 20;
  std::vector<char> buf(kPiece);
  int rc = 0;
  for (long at = 0; rc == 0 && at < e.len; at += kPiece) {
    unsigned n = unsigned(e.len - at < long(kPiece) ? e.len - at : long(kPiece));
    if (dbos_read(from, at, buf.data(), n) != long(n) || dbos_write(to, at, buf.data(), n) != long(n))
      rc = -1;
  }
  dbos_close(from);
  if (rc == 0 && (dbos_set_length(to, e.len) != 0 || dbos_flush(to) != 0)) rc = -1;
  return rc;
}

// Puts one target back, through `own` where given (a handle of it). 0 or -1.
int restore(const Entry& e, DbFile* own) {
  if (own && own->handle != -1) {
    // Writes held for the new contents must never follow the old ones out.
    file_drop_writes(own);
    own->writes++;
    return copy_back(own->handle, e);
  }
  intptr_t to = dbos_open(e.target_name.c_str(), DBOS_READ_WRITE, 0, DBOS_OPEN_EXISTING);
  if (to == -1) to = dbos_open(e.target_name.c_str(), DBOS_READ_WRITE, 0, DBOS_CREATE_ALWAYS);
  if (to == -1) return -1;
  int rc = copy_back(to, e);
  return dbos_close(to) != 0 ? -1 : rc;
}

// The journal, then the backups: once it is gone the backups are leftovers.
int remove_journal(DB_ENGINE* c, const std::string& journal, const std::vector<Entry>& entries) {
  if (dbos_exists(journal.c_str()) && dbos_remove(journal.c_str()) != 0)
    return code_error_ex(c, e_remove, "File Name:", journal.c_str(), nullptr);
  dbos_step(DBOS_STEP_JOURNAL_REMOVED, journal.c_str());
  // The name's removal reaching the disk only decides, after a power cut,
  // between the new contents and the old ones put back: both are whole.
  dbos_sync_dir(journal.c_str());
  for (const Entry& e : entries) dbos_remove(e.backup_name.c_str());
  dbos_step(DBOS_STEP_BACKUPS_REMOVED, journal.c_str());
  return 0;
}

}  // namespace

struct DbReplaceLog {
  DB_ENGINE* c;
  std::string journal;
  std::string table_dir;
  intptr_t handle = -1;
  long written = 0;  // bytes of the journal
  std::vector<Entry> entries;
};

bool replace_log_name(const char* table_name, char* out, int size) {
  if (int(std::strlen(table_name)) >= size) return false;
  std::strcpy(out, table_name);
  return file_name_ext(out, size, "RB~", 1) == 0;
}

DbReplaceLog* replace_log_open(DB_ENGINE* c, const char* table_name) {
  char name[1100];
  if (!replace_log_name(table_name, name, sizeof name)) {
    code_error_ex(c, e_create, "File Name:", table_name, nullptr);
    return nullptr;
  }
  auto* log = new DbReplaceLog;
  log->c = c;
  log->journal = name;
  log->table_dir = dir_of(name);
  return log;
}

int replace_log_add(DbReplaceLog* log, DbFile* target, DbFile* backup) {
  DB_ENGINE* c = log->c;
  long len = dbos_length(backup->handle);
  if (len < 0) return code_error_ex(c, e_len, "File Name:", backup->name, nullptr);
  // Known before the line is written: a line that reached the disk only in
  // part still has its backup removed by the undo.
  log->entries.push_back(Entry{target, target->name, backup->name, len});
  dbos_step(DBOS_STEP_BACKUP_SYNCED, target->name);
  std::string line = line_of(log->table_dir, log->entries.back());
  if (log->handle == -1) {
    log->handle = dbos_open(log->journal.c_str(), DBOS_READ_WRITE, 0, DBOS_CREATE_ALWAYS);
    if (log->handle == -1) return code_error_ex(c, e_create, "File Name:", log->journal.c_str(), nullptr);
  }
  if (dbos_write(log->handle, log->written, line.data(), unsigned(line.size())) != long(line.size()))
    return code_error_ex(c, e_write, "File Name:", log->journal.c_str(), nullptr);
  log->written += long(line.size());
  // The line, the journal's name and the backup's name are on the disk
  // before the first byte of the target changes.
  if (dbos_flush(log->handle) != 0 || dbos_sync_dir(log->journal.c_str()) != 0 ||
      (dir_of(target->name) != dir_of(log->journal) && dbos_sync_dir(target->name) != 0))
    return code_error_ex(c, e_opt_flush, "File Name:", log->journal.c_str(), nullptr);
  dbos_step(DBOS_STEP_JOURNAL_WRITTEN, target->name);
  return 0;
}

int replace_log_commit(DbReplaceLog* log) {
  if (log->entries.empty()) return 0;
  if (log->handle != -1) dbos_close(log->handle);
  log->handle = -1;
  if (remove_journal(log->c, log->journal, log->entries) < 0) return -1;
  log->entries.clear();
  return 0;
}

int replace_log_undo(DbReplaceLog* log) {
  DB_ENGINE* c = log->c;
  if (log->entries.empty()) return 0;
  if (log->handle != -1) dbos_close(log->handle);
  log->handle = -1;
  DbQuietError quiet(c, DbQuietError::if_error);
  for (size_t i = log->entries.size(); i-- > 0;) {
    const Entry& e = log->entries[i];
    if (restore(e, e.target) < 0) {
      // The journal stays: the next open or lock of the table finishes it.
      return code_error_ex(c, e_write, "Old Contents Kept In", "File Name:", e.backup_name.c_str());
    }
  }
  int rc = remove_journal(c, log->journal, log->entries);
  log->entries.clear();
  return rc;
}

void replace_log_close(DbReplaceLog* log) {
  if (!log) return;
  if (log->handle != -1) dbos_close(log->handle);
  delete log;
}

int replace_log_left(const char* table_name) {
  char name[1100];
  return replace_log_name(table_name, name, sizeof name) && dbos_exists(name);
}

namespace {

// The entries of the journal; false when a whole line cannot be read (a
// line cut short at the end was never on the disk: its target is untouched).
bool read_journal(const std::string& journal, const std::string& dir, std::vector<Entry>* entries) {
  intptr_t h = dbos_open(journal.c_str(), DBOS_READ, 0, DBOS_OPEN_EXISTING);
  if (h == -1) return false;
  long len = dbos_length(h);
  std::string text(size_t(len > 0 ? len : 0), '\0');
  bool ok = len >= 0 && dbos_read(h, 0, text.data(), unsigned(text.size())) == len;
  dbos_close(h);
  for (size_t at = 0; ok;) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) break;
    Entry e;
    ok = parse_line(dir, text.substr(at, end - at), &e);
    if (ok) entries->push_back(e);
    at = end + 1;
  }
  return ok;
}

// Files the recovery cannot vouch for: backups missing or of another length.
std::string unsure_files(const std::vector<Entry>& entries) {
  std::string bad;
  for (const Entry& e : entries) {
    intptr_t h = dbos_open(e.backup_name.c_str(), DBOS_READ, 0, DBOS_OPEN_EXISTING);
    long len = h == -1 ? -1 : dbos_length(h);
    if (h != -1) dbos_close(h);
    if (len != e.len) bad += (bad.empty() ? "" : ", ") + e.target_name + " (" + e.backup_name + ")";
  }
  return bad;
}

DbFile* open_one(const std::string& name, DbFile* const* open, int n_open) {
  for (int i = 0; i < n_open; i++) {
    if (!open[i] || open[i]->handle == -1 || !open[i]->name) continue;
    std::error_code e;
    if (std::filesystem::equivalent(name, open[i]->name, e) && !e) return open[i];
  }
  return nullptr;
}

}  // namespace

int replace_log_recover(DB_ENGINE* c, const char* table_name, DbFile* const* open, int n_open) {
  char name[1100];
  if (!replace_log_name(table_name, name, sizeof name))
    return code_error_ex(c, e_open, "File Name:", table_name, nullptr);
  if (!dbos_exists(name)) return 0;
  std::string journal = name;
  std::vector<Entry> entries;
  if (!read_journal(journal, dir_of(journal), &entries))
    return code_error_ex(c, e_open, "Rebuild Journal Unreadable, Table Left As It Is:", name, table_name);
  std::string bad = unsure_files(entries);
  if (!bad.empty())
    return code_error_ex(c, e_open, "Rebuild Left Unfinished, Backups Missing; Not Changed:", name,
                         bad.c_str());
  for (const Entry& e : entries) {
    if (restore(e, open_one(e.target_name, open, n_open)) < 0)
      return code_error_ex(c, e_write, "Old Contents Kept In", "File Name:", e.backup_name.c_str());
    dbos_step(DBOS_STEP_RESTORED, e.target_name.c_str());
  }
  return remove_journal(c, journal, entries);
}
