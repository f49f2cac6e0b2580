// A new entry in a program's version log: the user picks the main type and
// up to three reasons for change and may give an event text and a note;
// the program file as it is now is kept as a stored copy ("L<id>.LOG" in
// the backup directory with a LOG00003.DBF row) that the entry points at.
//
// Opened modally with the program's index record, which stays the
// opener's, and the index file that record was read from (KELVFILE.DBF,
// or KELVBACK.DBF for a backup): the record's transfer count is reset
// there. IDOK when the entry was written.
#pragma once

#include <array>
#include <string>

#include "app/lang_dlg.h"
#include "dbmodel/filetable.h"
#include "platform/ui/combobox.h"
#include "platform/ui/dc.h"
#include "platform/ui/edit.h"
#include "storage/log_common.h"
#include "storage/log_entry_dlg.h"

class TAddToLog : public TLogEntryDlg {
 public:
  TAddToLog(TWindow* parent, TcbFileRecord* record, const char* indexFile = kProgramIndexFile);

  void SetupWindow() override;
  bool CanClose() override;
  void EvClose() override;
  void CmAdd();
  // The ready flag; tells the user when the dialog is not ready to close.
  bool CheckReady();
  // Yellow on black for the sunken statics.
  HBRUSH EvCtlColor(HDC dc, HWND control, UINT ctlType);

  // The copy id of the entry written last; 0 when it has no stored copy.
  long WrittenCopyId() const { return WrittenCopy; }

  TcbFileRecord* Record;
  std::string Note;
  int Ready = 0;

 private:
  // Stores the program file as a copy under a new copy id: the id, or 0
  // (the user told why) when no copy was kept.
  long StoreCopy();
  std::string EventText();
  void ResetSent();

  std::string IndexFile;
  long WrittenCopy = 0;

  DECLARE_RESPONSE_TABLE(TAddToLog);
};

// The colours of the log dialogs' sunken statics.
HBRUSH LogStaticColor(HDC dc, COLORREF text);
