// The program's start-up and shutdown, and the placement of new editor
// windows kept in EDITSIZE.BIN between runs.
#pragma once

#include <cstdint>

// Where new editor windows go (screen pixels); a closing editor window
// stores its own rectangle here.
extern int32_t EditLeft, EditTop, EditRight, EditBottom;

// Reads and writes "EDITSIZE.BIN" in the configuration directory: the four
// values as little-endian 32-bit integers, 16 bytes, nothing else. A
// missing file keeps the values; a short one keeps those past its end.
void LoadEditSize();
// 1 when the file was written.
int SaveEditSize();

// Runs the program: 0 after a normal run, -1 when the start-up was given
// up, or the configuration's fatal exit code.
int AppMain(int argc, char** argv);

// The start-up builds and runs the application object through this;
// tests put one here that scripts the user.
class TApplication;
using AppRunner = int (*)();
void SetAppRunner(AppRunner runner);
