// What the master-data dialogs share: the names typed into their edits,
// the missing-input answer, the question before a delete and the quoting
// check before a name goes into a filter. A change a table refused is
// told by Stored (app/users_dialogs.h).
#pragma once

#include <string>

#include "platform/ui/edit.h"

// The edit's text without surrounding blanks, at most max characters.
std::string TypedName(TEdit& edit, size_t max);

// The answer to a required field left empty: a beep and the focus on it.
void MissingInput(TEdit& edit);

// Whether the name can be written into a dBASE filter, padded to the
// field's width as the filters compare it; the user is told when not.
bool QuotableName(const std::string& name, size_t width);

// Asks the MESSAGES text of the id in a Yes/No question box; true for Yes.
bool Confirmed(TWindow* owner, int messageId);
