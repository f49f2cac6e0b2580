// The standard RS-232 protocol (types 0, 7 and 9): a chain of short-lived
// threads the master starts one after another. The poll thread waits for
// the line, the read thread receives until the line falls silent, the
// parse thread stores what came or finds the program a machine asked for,
// and a write thread sends it. Each ends by leaving the port's next
// request for the master.
#pragma once

#include "dbmodel/dncport.h"

class TDncPort;

void Rs232PollThread(void* port);
void Rs232ReadThread(void* port);
void Rs232ParseThread(void* port);
void Rs232WriteThread(void* port);
void Rs232WriteOmitThread(void* port);
void Rs232WriteWaitThread(void* port);
void Rs232CheckParseThread(void* port);

// Shared by the protocol threads.
void SetDncPortStatus(TDncPort& port, int status);
// A poll thread's start on a port with a job's programs still to send: the
// answer delay, cut short by a cancel (the job's programs are dropped) or
// a stop. True when the thread is done: the next program's send is
// requested or the server stops.
bool AwaitJobTurn(TDncPort& port);
// Polling from here on: the send-request event opens and the transfer
// counters clear; the log line says which protocol polls.
void BeginPolling(TDncPort& port, const char* log);
// Whether a comm call's error means the line itself is gone (hung up,
// device unplugged, handle closed).
bool LineGone(unsigned long error);
// A line that is gone is closed and opened again once a second until it
// opens, as when the cable or adapter is back; false when the server stops
// meanwhile.
bool ReopenLine(TDncPort& port);
// Whether a line that is gone still holds bytes it took before it went:
// they are a reception to keep, not to drop with the old line.
bool InputLeftOnLine(TDncPort& port);
// Polling reads the line's error state to learn of queued bytes and
// breaks; errors (a break among them) that came with those bytes are kept
// for the reception they start.
void KeepPollLineErrors(TDncPort& port, unsigned long errors);
// A read thread's start: the errors kept while polling mark the reception.
void TakePollLineErrors(TDncPort& port);
// Opens the port's receive file for a reception; when it cannot be
// created the port is logged and sent back to polling, and false comes back.
bool OpenTransferFile(TDncPort& port);
// Flushes and closes the receive file; a failed flush marks the reception.
void CloseTransferFile(TDncPort& port);
// Keeps the reception as a failed transfer unless the row discards them;
// true when something was kept.
bool KeepFailed(TDncPort& port);
// A reception on a port with an end trigger that never reached it is an
// incomplete program: kept as a failed transfer (true), not to be stored.
bool KeepIfIncomplete(TDncPort& port);

// Reads the receive file for a program to store or a program request
// (and job requests when asked).
enum { kParseNoFile, kParseStored, kParseSend, kParseNothing, kParseNoMatch };
int ParseReception(TDncPort& port, bool jobs);
// A job request (the pending name holds its request id): finds the
// machine's job and, in database mode, hands its programs to the port for
// the write thread. False when there is nothing to send.
bool ServeJobRequest(TDncPort& port);
