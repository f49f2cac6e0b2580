// The LSV-2 protocol on one port: five threads that live as long as the
// port (polling is started again after each transfer) and hand each step
// to the next through the port's first twelve hand-off events. The
// control drives every exchange: it asks for a program by number or sends
// one. Long programs go out as a drip feed of numbered part programs.
#pragma once

class TDncPort;

void Lsv2PollingThread(void* port);
void Lsv2WaitThread(void* port);
void Lsv2ReadThread(void* port);
void Lsv2AnswerThread(void* port);
void Lsv2SendThread(void* port);
// A send request from the control window: an LSV-2 control fetches its
// programs itself, so the request is refused with a message.
void Lsv2SendRefusedThread(void* port);

// The protocol states.
enum {
  kLsv2Idle = 0,
  kLsv2ProgramRequest = 1,
  kLsv2FirstBlockRequest = 3,
  kLsv2MachineSending = 9,
  kLsv2NextBlockRequest = 11,
  kLsv2Clearing = 12,
  kLsv2ServerReady = 13,
  kLsv2ReceiveNext = 15,
  kLsv2RequestNext = 16,
  kLsv2ProgramAnswer = 17,
  kLsv2Closing = 18,
  kLsv2FirstBlock = 19,
  kLsv2NextBlock = 20,
  kLsv2DripStart = 23,
  kLsv2DripAnnounce = 24,
  kLsv2DripEnd = 27,
  kLsv2DripEndTelegram = 28,
  kLsv2Wait = 29,
  kLsv2Reset = 30
};

// The port's protocol state (idle when its threads do not run).
int Lsv2StateOf(const TDncPort* port);
// How long the exchange waits for the control: the port's time-out in
// seconds, one minute when it has none.
unsigned long Lsv2TimeoutMs(const TDncPort& port);
