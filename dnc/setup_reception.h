// The receiving side of a port's settings: reception options, fast
// receive with its return statements, and remote requests. The naming
// mode of the row (set in the port dialog) decides what is offered.
#pragma once

#include "app/lang_dlg.h"
#include "dbmodel/dncport.h"
#include "platform/ui/button.h"
#include "platform/ui/dc.h"
#include "platform/ui/edit.h"
#include "platform/ui/gdi_object.h"

// Template 103 from the multi-port setup, 43 from the link-port editor.
class TReceptionSetup : public TLangDlg {
 public:
  TReceptionSetup(TWindow* parent, TResId resId, TMultiDncRecord* record);

  void SetupWindow() override;
  void CmOk() override;
  void CmFastReceive();
  void CmRemoteRequests();
  void CmReplacements();
  void CmDefineScripts();
  void CmResetRequests() {}

  TMultiDncRecord* Record;
  TEdit *TimeoutEdit, *CrLfEdit, *TriggerEdit, *EotEdit, *FilterEdit;
  TRadioButton* FilterRadios[3];

  DECLARE_RESPONSE_TABLE(TReceptionSetup);
};

// The codes preview of the fast-receive and remote-request dialogs: the
// static 110 shows what the edit that has the focus or changed stands for.
class TCodesPreviewDlg : public TLangDlg {
 public:
  TCodesPreviewDlg(TWindow* parent, TResId resId, TMultiDncRecord* record);

  void ShowPreview(const TEdit* edit);
  // Green on black for the preview line.
  HBRUSH EvCtlColor(TDC& dc, HWND control, UINT ctlType);

  TMultiDncRecord* Record;

 protected:
  TBrush BlackBrush{RGB(0, 0, 0)};
};

// Template 105.
class TFastReceiveSetup : public TCodesPreviewDlg {
 public:
  TFastReceiveSetup(TWindow* parent, TMultiDncRecord* record);

  void SetupWindow() override;
  void CmOk() override;
  void CmReturnStatements();
  void EvIdStart() { ShowPreview(IdStartEdit); }
  void EvIdEnd() { ShowPreview(IdEndEdit); }
  void EvNumberStart() { ShowPreview(NumberStartEdit); }
  void EvNumberEnd() { ShowPreview(NumberEndEdit); }

  TEdit *IdStartEdit, *IdEndEdit, *NumberStartEdit, *NumberEndEdit;
  TRadioButton* SaveRadios[3];
  TCheckBox* MishapsBox;

  DECLARE_RESPONSE_TABLE(TFastReceiveSetup);
};

// Template 106.
class TRemoteRequestSetup : public TCodesPreviewDlg {
 public:
  TRemoteRequestSetup(TWindow* parent, TMultiDncRecord* record);

  void SetupWindow() override;
  void CmOk() override;
  void EvEdit(UINT id);

  TEdit *TriggerEdit, *EndEdit, *JobTriggerEdit, *JobEndEdit, *DelayEdit;
  TEdit *RestartEdit, *RestartEndEdit, *RestartLineEdit;
  TCheckBox* SearchTypeBox;

  DECLARE_RESPONSE_TABLE(TRemoteRequestSetup);
};

// Template 111: the four answers a port sends back.
class TMdncReturnStat : public TDialog {
 public:
  TMdncReturnStat(TWindow* parent, TMultiDncRecord* record);

  void SetupWindow() override;
  void CmOk() override;
  // Blue on light grey for buttons and texts.
  HBRUSH EvCtlColor(TDC& dc, HWND control, UINT ctlType);

  TMultiDncRecord* Record;
  TEdit* Texts[4];
};
