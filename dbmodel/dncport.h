// The DNC port table: one row per port slot of the DNC server (KELVMD32.DBF
// in the alternate directory), the link-test ports (KELVCOMM.DBF) and the
// setups saved on a floppy (A:\KELVMD32.DBF), all of one layout.
//
// The record is a set of numbered properties: property n is stored in
// field n (field 1 ID N2, field n "F_%03d"). Layout of a new file, 168
// fields: 2 C30, 3 N2, 4-7 N1, 8 N3, 9-11 C100, 12-13 C200, 14 N3,
// 15-20 C100, 21-22 C200, 23 N1, 24-25 N10, 26 C200, 27 C50, 28-31 N1,
// 32 C50, 33 N2, 34-35 N1, 36 C200, 37 C30, 38-41 C100 (unused), 42-43 N11,
// 44-45 N11 (unused), 46-55 memo, 56-65 C100, 66-75 N10 (list A),
// 76-85 L (list B), 86-100 C200 (the port's directories), 101-124 C40,
// 125-134 L, 135-144 C10, 145 C50, 146-155 L, 156 C40 (19 characters
// kept), 157 N10, 158 C200, 159 C60, 160-162 C50, 163 L, 164-168 N10;
// unique tag ID. Older files have fewer fields; a file that went through an
// earlier upgrade names fields 86-168 differently (only numbers matter).
#pragma once

#include "dbmodel/codetb.h"

// The properties by name: Number[kPropBaud], SetText(kPropDisplayName, ...).
// What the DNC server, the port setup dialogs and the link test read and
// write; a number with no name here has no reader.
enum {
  kPropId = 1,
  kPropName = 2,
  kPropBaud = 3,
  kPropDataBits = 4,
  kPropStopBits = 5,
  kPropParity = 6,
  kPropFlow = 7,
  kPropReadTimeout = 8,
  kPropReceiveLineEnd = 9,
  kPropRemoveList = 10,
  kPropStartTrigger = 11,
  kPropIdTrigger = 12,
  kPropRequestTrigger = 13,
  kPropAnswerDelay = 14,
  kPropLineEnd = 15,
  kPropOmitCodes = 16,
  kPropFeedStart = 17,
  kPropFeedEnd = 18,
  kPropBeforeFile = 19,
  kPropAfterFile = 20,
  kPropHeaderFile = 21,
  kPropTailFile = 22,
  kPropSkipWhitespace = 23,
  kPropMachineId = 24,
  kPropMachineType = 25,
  kPropMachineDir = 26,
  kPropIdEndTrigger = 27,
  // Written as 1 whatever the row holds (also 31 and kPropConfigured).
  kPropAlwaysOne = 28,
  kPropStorageMode = 29,
  kPropDiscardFailed = 30,
  kPropRequestEndTrigger = 32,
  kPropNamingMode = 33,
  kPropNulFilter = 34,
  // Set on every save of the port setup.
  kPropConfigured = 35,
  kPropEndTrigger = 36,
  kPropDisplayName = 37,
  kPropPauseSeconds = 42,
  // The four return statements (not found, id missing, in use, received):
  // memo texts from here on.
  kPropFirstReturnStatement = 46,
  kPropJobTrigger = 56,
  kPropJobEndTrigger = 57,
  kPropExtension = 61,
  // The text a delayed send waits on; on a floppy setup, its name.
  kPropWaitText = 62,
  kPropSetupName = 62,
  kPropFirstLineText = 63,
  kPropResetText = 64,
  kPropIgnoreText = 65,
  kPropComNumber = 66,
  kPropReservedNumber = 67,
  kPropMazakType = 68,
  kPropProtocol = 69,
  // Break count when sending; on a checking port (type 9) the first block
  // number of the check.
  kPropBreakCount = 70,
  // XOFF limit in minutes when sending; on a checking port the block
  // increment.
  kPropXoffLimit = 71,
  kPropFlashCount = 72,
  kPropBlockDelay = 73,
  kPropUnixLink = 76,
  kPropParityCheck = 77,
  kPropFileMode = 79,
  kPropSearchOnType = 80,
  kPropSendPauseLine = 81,
  kPropPauseFirst = 82,
  kPropEndBeforePause = 83,
  kPropStartAfterPause = 84,
  kPropBlockLetter = 85,
  kPropFirstDirectory = 86,
  kPropOmitFirst = 125,
  kPropOmitText = 135,
  kPropOmitFeed = 145,
  kPropWaitDc2 = 146,
  kPropAnswerDc4 = 147,
  kPropStartInXoff = 148,
  kPropSkipText = 156,
  kPropSkipOccurrence = 157,
  kPropNumberTrigger = 158,
  kPropNumberEndTrigger = 159,
  kPropRestartTrigger = 160,
  kPropRestartEndTrigger = 161,
  kPropRestartLineTrigger = 162,
  kPropZeroPad = 163,
  kPropZeroPadIndex = 164
};

class TMultiDncRecord : public TcbRecord {
 public:
  static constexpr int kProperties = 168;

  TMultiDncRecord() = default;
  ~TMultiDncRecord() override { Clear(); }

  // Every member zero or null.
  void Clear();
  // Stores a copy of the text without its trailing blanks (never null
  // afterwards); ignored for a property that is not a text.
  void SetText(int n, const char* text);
  // The text of property n (null when never set); null for other kinds.
  const char* GetValue(int n) const;
  long GetListA(int n) const { return n >= 66 && n <= 75 ? Number[n] : 0; }
  void SetListA(int n, long v) {
    if (n >= 66 && n <= 75) Number[n] = v;
  }
  int GetListB(int n) const { return n >= 76 && n <= 85 ? static_cast<int>(Number[n]) : 0; }
  void SetListB(int n, int v) {
    if (n >= 76 && n <= 85) Number[n] = v ? 1 : 0;
  }

  // Numbers and flags by property number (Number[1] is the id); the DNC
  // server reads and sets them directly.
  long Number[kProperties + 1] = {};
  // Property 156, at most 19 characters.
  char Short156[20] = {};
  // Lengths of the character-code lists as the DNC server splits them.
  int ListLength[21] = {};
  // Words of the DNC server's program-name extraction.
  long ExtractState[2] = {};

  long& Id() { return Number[1]; }

 private:
  char* text_[kProperties + 1] = {};
};

// The kind of property n: 'N' number, 'L' flag, 'C' text, 'M' memo text,
// 'S' the short text 156, 0 for the unused fields and numbers out of range.
int DncPropertyKind(int n);

class TMultiDncTable : public TCodeTB {
 public:
  TMultiDncTable(const char* fileName, int alternateDir, int localDir)
      : TCodeTB(fileName, alternateDir, localDir) {}

  // 1 when current or converted; 0 when the file does not open or could not
  // be converted (then it is left as it was).
  int Upgrade() override;
  // Creates the file when missing and fills it up to 64 slots with ids 0-63.
  int Create(const char* fullPath) override;
  int NewRecord() override;
  int ReadRecord() override;

  static int ReadFields(TMultiDncRecord* r, DbDataFile* d);
  static int WriteFields(const TMultiDncRecord* r, DbDataFile* d);

  TMultiDncRecord* LoadAllDetached(int detach);
  // The record of that id, which belongs to the caller, or null; the file
  // is closed.
  TMultiDncRecord* FindById(long id);
  // 1 (also for a missing id), 0 for a null record, a closed file or a
  // refused write.
  int Update(TMultiDncRecord* record);
  // Gives the record a free id and appends it; 1, or 0 when refused (no id
  // of the two-digit field is free).
  int Append(TMultiDncRecord* record);
  void DeleteById(long id);
  void FillList(TListLines* list);
  void FillListTwoIds(TListLines* list);

  TMultiDncRecord* made = nullptr;  // the record being built

 private:
  void Fill(TListLines* list, bool twoIds);
};

// A list of decimal character codes ("13,10") as bytes; a new[] array with
// a terminating NUL and its length in count, or null with count 0. The
// text is changed in place.
char* SplitCommaList(char* text, int* count);
// The same with repeat items: "5*0,13" gives five NUL bytes and CR.
char* SplitStarCommaList(char* text, int* count);
