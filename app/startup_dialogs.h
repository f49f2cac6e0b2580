// The logon and the database profile dialog that the start-up runs on the
// first idle call, owned by the main frame. A station without them (null)
// goes on as if the profile dialog had left the configured directories and
// no user had logged on: every command guarded by a right stays grey.
#pragma once

class TWindow;

using StartupDialogRunner = int (*)(TWindow* parent);

// Returns IDOK when a user logged on; anything else ends the program.
extern StartupDialogRunner RunLogonDialog;
// Its result is not looked at: the profile it leaves in Globals is used.
extern StartupDialogRunner RunProfileDialog;
