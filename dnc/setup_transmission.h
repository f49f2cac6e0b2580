// The sending side of a port's settings: the transmission parameters and
// the line-omit list they lead to. Each dialog edits the port row it is
// given in place; the opener writes the row to its table.
#pragma once

#include "app/lang_dlg.h"
#include "dbmodel/dncport.h"
#include "platform/ui/button.h"
#include "platform/ui/edit.h"

// Template 104 from the multi-port setup, 44 from the link-port editor.
class TMultiDncTrnParam : public TLangDlg {
 public:
  TMultiDncTrnParam(TWindow* parent, TResId resId, TMultiDncRecord* record);

  void SetupWindow() override;
  void CmOk() override;
  void CmSelectHeader() { SelectFile(HeaderEdit, 114, 121); }
  void CmSelectTail() { SelectFile(TailEdit, 115, 122); }
  void CmClearHeader() { ClearFile(HeaderEdit, 114, 121); }
  void CmClearTail() { ClearFile(TailEdit, 115, 122); }
  void CmLineOmmit();
  void CmReplacements();

  TMultiDncRecord* Record;
  TEdit *CrLfEdit, *OmmitEdit, *StartFeedEdit, *BeforeEdit, *HeaderEdit, *TailEdit, *AfterEdit, *EndFeedEdit;
  TEdit *BreakEdit, *XoffEdit, *DelayEdit, *OnLinesEdit, *LineDelayEdit;
  TCheckBox *WhitespaceBox, *EofBox, *SofBox, *FirstOnlyBox, *SendLineBox;

 private:
  void SelectFile(TEdit* edit, int selectId, int clearId);
  void ClearFile(TEdit* edit, int selectId, int clearId);
  void ShowFileButtons(TEdit* edit, int selectId, int clearId);

  DECLARE_RESPONSE_TABLE(TMultiDncTrnParam);
};

// Template 37: ten texts whose lines are left out when sending.
class TLineOmmit : public TDialog {
 public:
  TLineOmmit(TWindow* parent, TResId resId, TMultiDncRecord* record);

  void SetupWindow() override;
  void CmOk() override;

  TMultiDncRecord* Record;
  TEdit* TextEdits[10];
  TCheckBox* FirstBoxes[10];
  TEdit* EndFeedEdit;
};

// Shows "To be released soon..." for the replacement buttons.
void ShowReleasedSoon(TWindow* owner);
