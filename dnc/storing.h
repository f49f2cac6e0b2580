// Finding the program a port is to send: by its program id in the program
// index (database mode) or by file name in the port's search directories
// (file mode).
#pragma once

class TDncPort;

// 1 when the program named by the port's pending name was found.
int PrepareToSend(TDncPort* port);

// True when a name from a machine can be used as a file name inside a
// program directory: not empty, no "..", no separators, no drive, no
// control characters and none of <>"|?*.
bool IsSafeProgramFileName(const char* name);
