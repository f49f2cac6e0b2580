// What the program and backup dialogs' operations share.
#pragma once

#include <memory>
#include <optional>

#include "dbmodel/filetable.h"
#include "dbmodel/machine.h"
#include "storage/filing_lock.h"

// A record of its own with the same fields and memo (not in any list).
std::unique_ptr<TcbFileRecord> CopyOfRecord(const TcbFileRecord& r);
// A new program id from the counter table, -1 when none could be drawn or
// it would not fit the "P" file name.
long DrawProgramId();
// A Yes/No question of a MESSAGES text filled with a program id and a
// machine name; the answer.
int AskWith(int messageId, const char* desc, const char* machine);
// The machine of the id, or null.
std::unique_ptr<TcbMachRecord> FindMachine(long id);
// Takes the row of the id out of the table (through the caller's open
// table, which keeps its row lock until then); false when the row is not
// there any more or the write was refused.
bool RetireRow(TcbFileTable& table, long id);
bool RetireRow(const char* table, long id);
// Takes the filing lock when the table is the program index (else none is
// needed); false, after telling the user, when it could not be taken.
bool TakeFilingLock(const char* table, std::optional<TFilingLock>& lock);
