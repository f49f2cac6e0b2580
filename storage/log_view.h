// The version log of one program: its entries newest first, all of them or
// those of one type, the fields of the chosen entry, and the stored copies
// behind the entries: open one in a new editor window, restore one over
// the program file (after keeping the current file as a new entry),
// delete an entry with its copy, and compare two copies, or a copy with
// the current file, in the program compare window.
//
// Opened modally with the program's index record, which stays the
// opener's, and the index file that record was read from (as TAddToLog).
// After a restore, command 29001 is posted to the parent so that an editor
// window showing the program reloads it.
#pragma once

#include <array>
#include <string>

#include "app/lang_dlg.h"
#include "dbmodel/filetable.h"
#include "platform/ui/combobox.h"
#include "platform/ui/dc.h"
#include "platform/ui/edit.h"
#include "platform/ui/listbox.h"
#include "storage/log_common.h"
#include "storage/log_entry_dlg.h"

class TLogView : public TLogEntryDlg {
 public:
  TLogView(TWindow* parent, TcbFileRecord* record, const char* indexFile = kProgramIndexFile);

  void SetupWindow() override;
  bool CanClose() override;
  void EvClose() override;
  void ShowSelectedEntry();
  void EvViewTypeChange();
  void CmViewAll();
  void CmDelete();
  void CmRestoreVersion();
  void CmOpenVersion();
  void CmBeginCompare();
  void CmCompareVersions();
  void CmCancelCompare();
  void CmCompareWithCurrent();
  // Yellow (green for the count) on black for the sunken statics.
  HBRUSH EvCtlColor(HDC dc, HWND control, UINT ctlType);

  TListBox* EntryList;
  TComboBox* ViewTypeCombo;
  long CurrentType = 0;
  long CurrentCopy = 0;
  TcbFileRecord* Record;
  int Ready = 0;
  int ViewAll = 1;
  int CompareMode = 0;
  std::string FirstCopyPath;
  std::string SecondCopyPath;

 private:
  void FillAll();
  void FillOfType();
  void EnterCompareMode();
  void LeaveCompareMode();
  void ShowControl(int id, bool show);
  // The stored-copy path of a copy id, or "" when it has no row.
  static std::string CopyPath(long copyId, long* machineId = nullptr);
  // "%s - %s" of the time and the event text shown.
  std::string EntryTitle() const;

  std::string IndexFile;

  DECLARE_RESPONSE_TABLE(TLogView);
};
