// Lets the user choose a directory through the print plug-in (BRENTIX.DLL,
// entry _CHOOKMAIN3), starting at LastDir.
#pragma once

class TWindow;

// A new[] text the caller frees, or null when nothing was chosen or the
// plug-in or its entry is missing. A chosen directory becomes LastDir.
char* CallPrintHook(TWindow* owner);
