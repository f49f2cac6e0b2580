// The program dialog: the programs a search found, one program's file,
// fields and last version-log entry, and what can be done with it: open it
// in an editor, change its fields, delete it into the backups, copy it,
// lock and unlock it, read its memo and version log, compare it with
// another program. The backup dialog is the same window over the backups,
// where Open restores a backup as a program.
//
// The search result passes to the dialog with the constructor; the dialog
// frees each row once its line is listed and then holds only the record
// of the selected line, read anew at every selection.
#pragma once

#include <string>

#include "app/lang_dlg.h"
#include "app/users_lines.h"
#include "dbmodel/filetable.h"
#include "platform/ui/button.h"
#include "platform/ui/edit.h"
#include "platform/ui/gdi_object.h"
#include "platform/ui/listbox.h"
#include "platform/ui/static.h"

class TOpenWithLog : public TLangDlg {
 public:
  TOpenWithLog(TWindow* parent, TcbFileRecord* list, TResId resId = 46);
  ~TOpenWithLog() override;

  void SetupWindow() override;

  void ShowFileInfo();
  void EvListDblClk() { CmOpen(); }
  void EvMachineChange();
  void EvCustomerChange();
  void EvProjectChange();
  virtual void CmOpen();
  void CmLockedView();
  void CmUnlock();
  void CmLock();
  void CmMemo();
  void CmSaveInfo();
  void CmCopy();
  void CmDelete();
  void CmViewLog();
  virtual void CmNewSearch();
  void CmCustomerBox();
  void CmProjectBox();
  void CmCompare();
  void CmStartCompare();
  void CmSend();
  void CmLeaveCompare();
  HBRUSH EvCtlColor(HDC dc, HWND control, UINT ctlType);

  // The table the list shows: the program index, the locked programs or
  // the backups.
  const char* CurrentTable() const;

  TListBox* ProgramList;
  TEdit* ProgramText;
  TNameIdComboBox* MachineCombo;
  TNameIdComboBox* CustomerCombo;
  TNameIdComboBox* ProjectCombo;
  TEdit* ProgramIdEdit;
  TEdit* DescriptionEdit;
  TEdit* PartEdit;
  TEdit* DrawingEdit;
  TEdit* LogTextEdit;
  TCheckBox* LockedBox;
  TCheckBox* CustomerBox;
  TCheckBox* ProjectBox;
  TStatic* SentText;
  TStatic* InfoTexts[9];  // 200-208
  TStatic* BaseText;      // 126
  TStatic* CompareText;   // 127

  TcbFileRecord* Record;  // first the result list, then the selected row
  long CustomerId = 0, ProjectId = 0, MachineId = 0, MachineTypeId = 0;
  int LineIndex = 0;
  bool LockedView = false;
  bool CompareMode = false;
  std::string BasePath, ComparePath, BaseDesc, CompareDesc;

 protected:
  // The backup dialog's constructor.
  TOpenWithLog(TWindow* parent, TcbFileRecord* list, TResId resId, bool backups);

  // The texts of the entries as Save info, Copy and Restore read them.
  struct TEntries {
    std::string programId, description, part, drawing;
  };
  // Reads the entries and applies the customer and project boxes; false
  // (after the stop beep, with the focus on the program-id edit) when the
  // program id is empty or cannot be searched for.
  bool ReadEntries(TEntries& e);
  // The record takes the entries, the chosen machine, customer and project.
  void FillFromEntries(TcbFileRecord& r, const TEntries& e, const char* machineName) const;
  // True when `table` holds a program of this program id on the chosen
  // machine other than `except` (0: any).
  bool ProgramIdTaken(const char* table, const std::string& programId, long machineId, long except) const;
  // Takes the selected line out of the list and shows the one now there.
  void RemoveSelectedLine();
  void FillProgramList();
  void ShowDetails();
  void ShowButtonsByRights();
  void TakeCompareProgram();
  void FreeRecord();

  bool Backups;

 private:
  void Init(TcbFileRecord* list);

  TBrush NavyBrush;
  TBrush TealBrush;
  TFont FixedFont;

  DECLARE_RESPONSE_TABLE(TOpenWithLog);
};

class TBackupWithLog : public TOpenWithLog {
 public:
  TBackupWithLog(TWindow* parent, TcbFileRecord* list, TResId resId = 46);

  void SetupWindow() override;
  // Open restores the backup as a program of the program index.
  void CmOpen() override;
  // The backup search comes back for another search.
  void CmNewSearch() override { Destroy(300); }

 private:
  bool RestoreOver(TcbFileRecord& program);
  bool RestoreNew(const TEntries& e);
};

// The header line of the program lists: the titles of the configured
// columns at their widths.
std::string ProgramListHeader();
// The text view of a program file: at most the first 24990 bytes, NUL
// bytes shown as 0xA7.
std::string ProgramFileView(const std::string& bytes);

// Registers the program and backup dialogs with the searches, and the
// main frame's Backups command.
void RegisterProgramDialogs();
