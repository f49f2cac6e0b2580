// The port editor of the link test: one row of KELVCOMM.DBF, its COM port,
// line settings, name and machine text. The dialog changes the row in
// memory; its opener writes the row back after OK (button 400).
#pragma once

#include "app/lang_dlg.h"
#include "dbmodel/dncport.h"
#include "platform/ui/combobox.h"
#include "platform/ui/edit.h"

class TDncSetupDlg : public TLangDlg {
 public:
  static constexpr int kComPorts = 10;

  TDncSetupDlg(TWindow* parent, TMultiDncRecord* record);

  void SetupWindow() override;
  // Button 400: the only way out with IDOK. Enter does nothing: the
  // opener writes the row after IDOK, so it may not skip the copy.
  void CmSaveExit();
  void CmOk() override {}
  void CmImport() {}
  void CmExport() {}
  void CmTransferParams();
  void CmReceptionSetup();
  void CmRs232Setup();

  TMultiDncRecord* Record;
  TComboBox *ComCombo, *BaudCombo, *StopBitsCombo, *FlowCombo, *DataBitsCombo, *ParityCombo;
  TEdit *NameEdit, *MachineEdit;

  DECLARE_RESPONSE_TABLE(TDncSetupDlg);
};
