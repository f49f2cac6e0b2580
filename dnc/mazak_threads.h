// The four threads of a Mazak tape-emulation port: polling (wait for the
// control), receiving (the control writes a tape), parsing (file the tape
// or answer the program request it holds) and sending (the control reads a
// program). Each takes its TDncPort, follows the port's control type and
// leaves the next request for the master when it ends.
#pragma once

class TDncPort;

void MazakPollThread(void* port);
void MazakReceiveThread(void* port);
void MazakParseThread(void* port);
void MazakSendThread(void* port);
