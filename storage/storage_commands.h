// The main-frame commands whose windows program storage provides: the
// system log and the two lists that classify version-log entries.
#pragma once

// Registers commands 7100 (system log), 7101 (log types) and 7102 (change
// criteria) with the main frame; each runs its dialog modally, owned by
// the frame, once the user's rights allow it.
void RegisterStorageCommands();
