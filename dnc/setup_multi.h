// The DNC setup dialog: every port slot of the server's port table, one
// at a time, with its COM number, line settings, machine, protocol,
// naming mode and the option dialogs of its protocol. The rows are held
// in memory; the shown row is written back when the user leaves it,
// returns from the reception or transmission settings, or presses OK.
#pragma once

#include "app/lang_dlg.h"
#include "dbmodel/dncport.h"
#include "platform/ui/button.h"
#include "platform/ui/combobox.h"
#include "platform/ui/dc.h"
#include "platform/ui/edit.h"
#include "platform/ui/listbox.h"

class TMultiDncSetup : public TLangDlg {
 public:
  static constexpr int kDirectories = 15;

  explicit TMultiDncSetup(TWindow* parent);
  ~TMultiDncSetup() override;

  void SetupWindow() override;

  void CmOk() override;
  void CmReceptionSetup();
  void CmTransferParams();
  void CmResNumberProtocol();
  void CmAddDirectory();
  void CmLoadSetup();
  void CmSaveSetup();
  void CmCheckProtocol();
  void CmRemoveDirectory();
  void EvFlagClicked();
  void EvRunOnFilenames();
  void EvMachineSelChange();
  void EvPortSelChange();
  void EvBaudSelChange();
  void EvDataBitsSelChange() { ComboToProperty(DataBitsCombo, 4); }
  void EvStopBitsSelChange() { ComboToProperty(StopBitsCombo, 5); }
  void EvParitySelChange() { ComboToProperty(ParityCombo, 6); }
  void EvFlowSelChange() { ComboToProperty(FlowCombo, 7); }
  void EvNamingSelChange();
  void EvProtocolSelChange();
  void EvMazakTypeSelChange();
  void EvDirectorySelChange();
  void EvDirectoryDblClk() { CmRemoveDirectory(); }
  void EvPortTextKillFocus();
  void EvComNumberKillFocus();
  void EvExtensionKillFocus();
  // Dark red for the texts of the four group boxes.
  HBRUSH EvCtlColor(TDC& dc, HWND control, UINT ctlType);

  // Writes the current row; false when the table refused it (told).
  bool SavePort();

  TMultiDncRecord* Rows = nullptr;     // owned list of every port row
  TMultiDncRecord* Current = nullptr;  // the shown row, one of Rows
  bool Dirty = false;
  int PortsOffered = 64;

  TComboBox *PortCombo, *MachineCombo, *BaudCombo, *DataBitsCombo, *StopBitsCombo, *ParityCombo, *FlowCombo;
  TComboBox *NamingCombo, *ProtocolCombo, *MazakCombo;
  TEdit *PortTextEdit, *ComEdit, *ExtensionEdit;
  TCheckBox *ParityCheckBox, *UnixLinkBox, *FilenamesBox;
  TListBox* DirectoryList;

 private:
  void ComboToProperty(TComboBox* combo, int n);
  // Takes what the edits and the directory list hold into the row.
  void TakeEdits();
  void TakeFocusBack(TEdit* edit);
  bool Refocusing = false;
  void ShowMachine();
  void ShowFileNameLayout();
  void ShowResNumberButton();
  void ShowIds(std::initializer_list<int> ids, bool show);

  DECLARE_RESPONSE_TABLE(TMultiDncSetup);
};

extern const char* const kProtocolTexts[10];
extern const char* const kNamingTexts[8];
extern const char* const kMazakTexts[8];
