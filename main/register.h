// The program's own windows and commands above the application core,
// registered with the main frame and the layers that open them. The
// program's entry runs it before the start-up; screen tests of the whole
// program do the same.
#pragma once

void RegisterProgramCommands();
