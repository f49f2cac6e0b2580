// Rebuilding a table's file in a newer layout. The old files are set aside
// in a dated sub-directory first; the file is created anew and the live rows
// of the set-aside copy are carried over one by one. When anything fails
// the set-aside copies are put back, so an upgrade never loses a row.
#pragma once

#include <functional>
#include <string>

#include "dbmodel/codetb.h"
#include "engine/engine_api.h"

namespace layout {

// Outcome of a rebuild.
enum class Rebuilt { done, failed, not_set_aside };

// Sets the table's files aside (a fresh copy even when an older copy of the
// same day exists), creates the file under the table's name with `fields`
// and `tags`, opens it on the table and calls `carry(old)` for every live
// row of the copy in record order (`empty()` once when the copy has no live
// row, when given). The table is closed afterwards.
Rebuilt RebuildLayout(TCodeTB& table, const FieldInfoList& fields, const TagInfoList& tags,
                      const std::function<bool(DbDataFile* old)>& carry,
                      const std::function<bool()>& empty = nullptr);

// Tells the user that a file kept its old layout.
void ReportLayoutKept(const char* fileName);

// Reading a row of an old file by field number; a missing field reads as
// 0, empty or false.
long OldLong(DbDataFile* d, int n);
std::string OldText(DbDataFile* d, int n);
std::string OldMemo(DbDataFile* d, int n);
bool OldTrue(DbDataFile* d, int n);

// Writing fields of the current row of any open file (a file the table
// does not own, such as a full path given to Create).
void PutLong(DbDataFile* d, int n, long value);
void PutText(DbDataFile* d, int n, const char* text);
void PutLogical(DbDataFile* d, int n, int flag);
// Appends a row built by `fill` in the record buffer; false when refused.
// A pending engine error is cleared either way.
bool AppendRow(DbDataFile* d, const std::function<void()>& fill);
// Takes a pending engine error out of the context; true when there was one.
bool ClearError();

// True when the open file has a tag of that name (asked without an
// engine error for a missing tag).
bool HasTag(DbDataFile* d, const char* tag);

// Puts the open file on the row whose numeric field `field` holds `value`:
// through the tag when the file has it, else by reading the rows in record
// order (a file of an older station may lack the tag), without leaving an
// engine error behind. True on a hit.
bool SeekById(DbDataFile* d, const char* tag, int field, long value);

// Turns the engine's safety setting off while it lives.
struct SafetyOff {
  SafetyOff() { DbContext->safety = 0; }
  ~SafetyOff() { DbContext->safety = 1; }
};

}  // namespace layout
