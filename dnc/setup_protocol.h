// Option dialogs of one protocol: the advanced RS-232 settings, the
// program-check options and the reserved program number with its
// leading-zero format. Each edits the port row in place on OK only.
#pragma once

#include "app/lang_dlg.h"
#include "dbmodel/dncport.h"
#include "platform/ui/button.h"
#include "platform/ui/edit.h"
#include "platform/ui/listbox.h"

// Template 114.
class TStdRs232Setup : public TLangDlg {
 public:
  TStdRs232Setup(TWindow* parent, TMultiDncRecord* record);

  void SetupWindow() override;
  void CmOk() override;

  TMultiDncRecord* Record;
  TCheckBox *WaitDc2Box, *ReplyDc4Box, *WaitXonBox;
  TEdit *StopStringEdit, *StopCountEdit;
};

// Template 101.
class TCheckProtSetup : public TDialog {
 public:
  TCheckProtSetup(TWindow* parent, TMultiDncRecord* record);

  void SetupWindow() override;
  void CmOk() override;

  TMultiDncRecord* Record;
  TEdit *StartLineEdit, *IntervalEdit, *FirstTextEdit, *LastTextEdit, *NotifyEdit, *LeaveOutEdit;
  TCheckBox* HasNBox;
};

// Template 107.
class TResNumberProtocolDlg : public TLangDlg {
 public:
  TResNumberProtocolDlg(TWindow* parent, TMultiDncRecord* record);

  void SetupWindow() override;
  void CmOk() override;
  void EvFormatClicked();

  TMultiDncRecord* Record;
  TEdit* NumberEdit;
  TListBox* FormatList;
  TCheckBox* FormatBox;

  DECLARE_RESPONSE_TABLE(TResNumberProtocolDlg);
};

// Line w - 4 of the leading-zero list: "(%02d) " and 9999 padded to w digits.
std::string LeadingZeroLine(int width);
