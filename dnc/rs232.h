// The standard RS-232 protocol (types 0, 7 and 9): a chain of short-lived
// threads the master starts one after another. The poll thread waits for
// the line, the read thread receives until the line falls silent, the
// parse thread stores what came or finds the program a machine asked for,
// and a write thread sends it. Each ends by leaving the port's next
// request for the master.
#pragma once

#include "dbmodel/dncport.h"
#include "dnc/port_threads.h"

class TDncPort;

void Rs232PollThread(void* port);
void Rs232ReadThread(void* port);
void Rs232ParseThread(void* port);
void Rs232WriteThread(void* port);
void Rs232WriteOmitThread(void* port);
void Rs232WriteWaitThread(void* port);
void Rs232CheckParseThread(void* port);

// The standard protocol's hooks of the read loop.
TReadHooks Rs232ReadHooks();
// The end of a standard reception, as the parse thread takes it: the
// receive file is stored as the program it names, kept as failed, or read
// as a machine's request; true when a send is to follow.
bool Rs232FinishReception(TDncPort& port);

// Reads the receive file for a program to store or a program request
// (and job requests when asked).
enum { kParseNoFile, kParseStored, kParseSend, kParseNothing, kParseNoMatch };
int ParseReception(TDncPort& port, bool jobs);
// A job request (the pending name holds its request id): finds the
// machine's job and, in database mode, hands its programs to the port for
// the write thread. False when there is nothing to send.
bool ServeJobRequest(TDncPort& port);
