// The raw ASCII protocol (type 4): bytes move without being looked at.
// Whatever a machine sends is kept whole as a failed transfer for the
// operator to review and restore; a program goes out as its file's bytes
// between the port's start and end texts. The threads follow the standard
// chain: poll, read, parse, write.
#pragma once

#include <cstddef>

#include "dnc/port_threads.h"

class TDncPort;

void RawPollThread(void* port);
void RawReadThread(void* port);
void RawParseThread(void* port);
void RawWriteThread(void* port);
// The raw protocol's hooks of the read loop.
TReadHooks RawReadHooks();
