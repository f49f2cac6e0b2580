// The test transfers of the DNC link: one file sent to a machine, or one
// program received from it, over a port of the link's own port table
// (KELVCOMM.DBF) outside the DNC server. The port is opened with the
// link's line settings and time-outs; a transfer runs on the calling
// thread until it ends, the operator stops it (Stop) or the line fails,
// and reports how it ended. Counters are read by the dialog while a
// transfer runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "dbmodel/dncport.h"
#include "platform/serial.h"
#include "platform/sync.h"

// Row properties the link reads besides the line settings.
enum {
  kLinkReceiveLineEnd = 9,
  kLinkRemoveList = 10,
  kLinkStartTrigger = 11,
  kLinkSendLineEnd = 15,
  kLinkCommentChars = 16,
  kLinkStartCodes = 17,
  kLinkEndCodes = 18,
  kLinkStartRepeats = 19,
  kLinkEndRepeats = 20,
  kLinkFilter = 34,
  kLinkEndTrigger = 36,
  kLinkDisplayName = 37,
  kLinkPauseSeconds = 42,
  kLinkPauseText = 62,
  kLinkInputLimit = 70,
  kLinkXoffMinutes = 71,
  kLinkSendDelay = 73,
  kLinkPauseFirst = 82,
  kLinkEndBeforePause = 83,
  kLinkStartAfterPause = 84,
  kLinkOmitRepeat = 125,  // ten flags
  kLinkOmitText = 135,    // ten texts
  kLinkEndLine = 145,
  kLinkWaitDc2 = 146,
  kLinkAnswerDc4 = 147,
  kLinkStartInXoff = 148,
  kLinkStopCount = 157  // the stop text is the short text 156
};

// What a reception keeps of the bytes that arrive: from the start
// trigger's first character to the end trigger's, without the removal
// list, line ends expanded to CR LF, through the row's byte filter, NUL
// stored as 0xA7.
class TLinkReceiveFilter {
 public:
  explicit TLinkReceiveFilter(const TMultiDncRecord& row);
  // A new reception.
  void Reset();
  // The bytes of one block that go into the receive file.
  std::string Filter(const unsigned char* bytes, std::size_t count);
  bool EndSeen() const { return endSeen_; }

 private:
  std::string start_, end_, remove_, lineEnd_;
  long filter_ = 0;
  bool startSeen_ = false, endSeen_ = false, blockSeen_ = false;
  std::size_t skip_ = 0;  // bytes of a line-end sequence still to drop
};

class TLinkTransfer {
 public:
  enum class End {
    Completed,    // sent to its end; received until the line fell silent
    Stopped,      // the operator stopped it
    InputLimit,   // the machine sent more than the row's input limit
    XoffTimeout,  // held by XOFF longer than the row's time-out
    LineError,    // a read or write on the port failed
    NoFile,       // the file to send or receive into could not be opened
    FileError     // the receive file could not be written
  };

  // Takes the settings of the row (the row is not kept).
  explicit TLinkTransfer(const TMultiDncRecord& row);
  ~TLinkTransfer();
  TLinkTransfer(const TLinkTransfer&) = delete;
  TLinkTransfer& operator=(const TLinkTransfer&) = delete;

  // Opens and programs the port; false with the text and caption of the
  // box to show.
  bool Open(std::string* text, std::string* caption);
  void Close();
  bool IsOpen() const { return com_ != nullptr; }

  // Receives into the file (created anew).
  End Receive(const std::string& path);
  // Sends the file; delay turns the pause rule on, extended the omit lists
  // and the end line.
  End Send(const std::string& path, bool delay, bool extended);

  // Set by the operator to end the running transfer; its starter resets
  // it before the transfer's thread starts, so an early stop is not lost.
  plat::Event Stop{true, false};
  // Counters of the running transfer.
  std::atomic<uint32_t> BytesSent{0}, BytesReceived{0}, BytesStored{0}, FileSize{0}, StartTick{0};
  std::atomic<bool> LineErrors{false};
  // Called from the transfer's thread after the counters grew.
  std::function<void()> OnProgress;

 private:
  End FlowWait();
  End Write(const std::string& block);
  End Cancel();
  bool StopIn(DWORD ms) { return Stop.wait(ms) == WAIT_OBJECT_0; }
  End WaitDc2();
  End Pause(std::string& block, bool& pauseSeen, const std::string& startText, const std::string& endText);
  End Drain(End end);
  void Progress();

  TMultiDncRecord row_;
  plat::HCOMM com_ = nullptr;
  plat::OVERLAPPED readOv_, writeOv_;
  plat::Event readEvent_{true, false}, writeEvent_{true, false};
  uint32_t lastShown_ = 0;
};

// The port line of the dialog: "COMM-%d: %s baud, %d-%s-%d , Flow : %s".
std::string LinkPortLine(const TMultiDncRecord& row);
