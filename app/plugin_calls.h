// Calls into the plug-ins of the hook directory that belong to the main
// window (the print plug-in's directory choice and the file loader), and
// the word to the user when a plug-in is missing.
#pragma once

#include <string>

#include "appcore/heap_text.h"

class TWindow;

// Lets the user choose a directory through BRENTIX.DLL, starting in
// LastDir. The chosen directory (then also in LastDir), or an unset text
// when none was chosen, the plug-in is missing, or its text does not fit
// LastDir.
HeapText CallPrintHook(TWindow* owner);

// Tells the user that a plug-in library, or its entry, could not be loaded
// ("Load of TELMIX.DLL failed") and why, as the loader saw it.
void TellPluginLoadFailed(TWindow* owner, const char* dll);

// The file a program's memo is edited in by the memo editor library:
// MEMOTEXT.TMP in the station's system directory, where the library looks.
std::string MemoFilePath();

// Runs the file loader MALDON.DLL (command 7900 of the main window's
// client); shows the file it hands back.
void RunFileLoader(TWindow* owner);
