// What the master-data dialogs share: the names typed into their edits,
// the missing-input answer, the question before a delete and the quoting
// check before a name goes into a filter. A change a table refused is
// told by Stored (app/users_dialogs.h).
#pragma once

#include <string>

#include "appcore/message_ids.h"
#include "dbmodel/codetb.h"
#include "platform/ui/edit.h"

// The dialog texts of the two labels of the type-list template (above the
// list, above the name edit) in the dialogs of machine types, sheet types
// and choice values: "Machine types :" and "Name :" as shipped.
inline constexpr int kTypeListLabelTexts = 4;
inline constexpr int kTypeListLabelCount = 2;

// The edit's text without surrounding blanks, at most max characters.
std::string TypedName(TEdit& edit, size_t max);

// The answer to a required field left empty: a beep and the focus on it.
void MissingInput(TEdit& edit);

// Whether the name can be written into a dBASE filter, padded to the
// field's width as the filters compare it; the user is told when not.
bool QuotableName(const std::string& name, size_t width);

// Asks the MESSAGES text of the id in a Yes/No question box; true for Yes.
bool Confirmed(TWindow* owner, int messageId);

// Whether the row a dialog shows, the one whose id (its first field) is
// `id`, is still there and not deleted: another station may have deleted
// it since the dialog read it, and a rewrite would bring a deleted row's
// fields back to life. The row is sought through the named tag. A row that
// is gone is told to the user; a table that cannot be read passes, for the
// write that follows to fail and be told.
bool RowStillThere(TWindow* owner, TCodeTB& table, const char* idTag, long id);

// The same for the table class over `file` (in the alternate directory
// when asked).
template <class Table>
bool RowStillThere(TWindow* owner, const char* file, const char* idTag, long id, int alternateDir = 0) {
  Table table(file, alternateDir, 0);
  return RowStillThere(owner, table, idTag, id);
}
