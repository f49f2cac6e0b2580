// The dialogs of programs kept aside instead of filed: DNC transfers that
// failed (KELVDNCF.DBF), DNC transfers held in temporary storage
// (KELVDNCT.DBF) and files the automatic import could not take
// (KELVAUTO.DBF). Each lists its table's rows, shows the selected row and
// its file, and lets the user correct the row (Save), file the program in
// the program index (Restore: as a new program, or over the program of the
// same Program-ID on the same machine after keeping a backup of it) or
// throw it away (Delete).
//
// The opener hands over the rows read from the table; the dialog frees
// them once their lines are listed and afterwards holds only the record of
// the selected line, read anew at every selection.
#pragma once

#include <string>

#include "app/lang_dlg.h"
#include "dbmodel/filetable.h"
#include "platform/ui/button.h"
#include "platform/ui/combobox.h"
#include "platform/ui/edit.h"
#include "platform/ui/gdi_object.h"
#include "platform/ui/listbox.h"
#include "platform/ui/static.h"

// What tells the three dialogs apart.
struct TKeptTableKind {
  const char* TableFile;
  int CaptionTextId;
  bool CodeViews;     // hexadecimal and decimal views besides the text
  bool LogOnDelete;   // a system log entry for each row deleted
};

class TKeptProgramsDlg : public TLangDlg {
 public:
  TKeptProgramsDlg(TWindow* parent, TcbFileRecord* records, const TKeptTableKind& kind);
  ~TKeptProgramsDlg() override;

  void SetupWindow() override;
  void EvSelChange();
  void ShowRecord();
  void ShowFileCodes();
  void CmSaveInfo();
  void CmRestore();
  void CmDelete();
  void CmCustomerBox();
  void CmProjectBox();
  void EvMachineChange();
  void EvCustomerChange();
  void EvProjectChange();
  HBRUSH EvCtlColor(HDC dc, HWND control, UINT ctlType);

  TListBox* ProgramList;
  TEdit* View;
  TComboBox* CustomerCombo;
  TComboBox* ProjectCombo;
  TComboBox* MachineCombo;
  TEdit* DescEdit;
  TEdit* ProgramIdEdit;
  TEdit* DrawingEdit;
  TEdit* PartEdit;
  TCheckBox* CustomerBox;
  TCheckBox* ProjectBox;
  TStatic* SizeText;
  TStatic* DateText;
  TButton* DeleteButton;
  TRadioButton* HexButton = nullptr;
  TRadioButton* DecButton = nullptr;
  TRadioButton* TextButton = nullptr;
  TcbFileRecord* Record;  // first the rows handed over, then the current one
  long MachineId = 0, MachineTypeId = 0, CustomerId = 0, ProjectId = 0;
  int ColumnOrder;
  int LineIndex = 0;

 private:
  // The texts the user typed, as Save and Restore read them.
  struct Texts {
    std::string desc, part, drawing, programId, machine;
  };
  // Reads the texts; false (after the stop beep, with the focus on the
  // description) when the description is empty or cannot be searched for.
  bool ReadTexts(Texts& t);
  void FillFields(TcbFileRecord& r, const Texts& t) const;
  void ApplyBoxes();
  bool RestoreOver(TcbFileRecord& program);
  bool RestoreNew(const Texts& t);
  // Takes the current line out of the list and shows the one that moved
  // into its place; `beforeShow` runs in between.
  void RemoveCurrentLine(const std::function<void()>& beforeShow = {});
  void FreeRecord();
  void ShowIfHidden(TWindow* w, bool show);
  std::string ReadView(size_t max);

  TKeptTableKind Kind;
  TBrush NavyBrush;
  TBrush TealBrush;
  TFont ListFont;
  TFont* ViewFont = nullptr;

  DECLARE_RESPONSE_TABLE(TKeptProgramsDlg);
};

class TRestoreDncFail : public TKeptProgramsDlg {
 public:
  TRestoreDncFail(TWindow* parent, TcbFileRecord* records);
};

class TRestoreDncTemp : public TKeptProgramsDlg {
 public:
  TRestoreDncTemp(TWindow* parent, TcbFileRecord* records);
};

class TFailedImports : public TKeptProgramsDlg {
 public:
  TFailedImports(TWindow* parent, TcbFileRecord* records);
};

// The list texts, apart from the dialog so that they can be checked alone.
// A program's line: its five texts in the column order (1-4) and its id
// behind "@"; the header (titles, id 0, no "@") in the same order.
std::string KeptProgramLine(const TcbFileRecord& r, int order);
std::string KeptHeaderLine(int order, const std::string& machine, const std::string& desc,
                           const std::string& char3, const std::string& drawing, const std::string& part);
// Bytes as lines of six values, "%02X, " or "%03d, " each, "\r\n" after
// every line; at most the first 6,000 bytes.
std::string FileCodeLines(const std::string& bytes, bool hex);
// A file's last-write time as the dialogs show it, in local time.
std::string KeptFileTime(int64_t utcSeconds);
