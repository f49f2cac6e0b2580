// The directory checks of the start-up.
#pragma once

// 1 when the program's current directory can be changed to path (one
// trailing "\" is ignored); it then stays there. 0 otherwise.
int DirectoryExists(const char* path);
