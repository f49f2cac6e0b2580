// Port editor of the link test. The machine chooser belongs to the master
// data dialogs, which this station does not have yet, so button 405 stays
// grey; Import and Export of this editor do nothing.
#include "dnc/setup_link.h"

#include "dnc/setup_fields.h"
#include "dnc/setup_protocol.h"
#include "dnc/setup_reception.h"
#include "dnc/setup_transmission.h"
#include "resources/dialogs/dncsetup.h"

DEFINE_RESPONSE_TABLE1(TDncSetupDlg, TLangDlg)
  EV_BN_CLICKED(IDC_PORT_SETUP_SAVE, CmSaveExit),
  EV_BN_CLICKED(IDC_PORT_SETUP_IMPORT, CmImport),
  EV_BN_CLICKED(IDC_PORT_SETUP_EXPORT, CmExport),
  EV_BN_CLICKED(IDC_PORT_SETUP_TRANSMISSION, CmTransferParams),
  EV_BN_CLICKED(IDC_PORT_SETUP_RECEPTION, CmReceptionSetup),
  EV_BN_CLICKED(IDC_PORT_SETUP_START_STOP, CmRs232Setup),
END_RESPONSE_TABLE;

  TDncSetupDlg::TDncSetupDlg(TWindow* parent, TMultiDncRecord* record)
      : TLangDlg(parent, IDD_PORT_SETUP), Record(record) {
    ComCombo = new TComboBox(this, IDC_PORT_SETUP_COM);
    BaudCombo = new TComboBox(this, IDC_PORT_SETUP_BAUD);
    StopBitsCombo = new TComboBox(this, IDC_PORT_SETUP_STOP_BITS);
    FlowCombo = new TComboBox(this, IDC_PORT_SETUP_FLOW);
    DataBitsCombo = new TComboBox(this, IDC_PORT_SETUP_DATA_BITS);
    ParityCombo = new TComboBox(this, IDC_PORT_SETUP_PARITY);
    NameEdit = new TEdit(this, IDC_PORT_SETUP_NAME, 30);
    MachineEdit = new TEdit(this, IDC_PORT_SETUP_MACHINE, 30);
  }

void TDncSetupDlg::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(719);
  SetItemTexts(IDC_PORT_SETUP_NAME_LABEL, 720, 7);
  SetItemTexts(IDC_PORT_SETUP_SAVE, 727, 7);
  for (int i = 1; i <= kComPorts; i++) ComCombo->AddString(FormatText("COMM-%02d", i).c_str());
  FillBaudCombo(BaudCombo);
  FillCombo(DataBitsCombo, kDataBitTexts, 4);
  FillCombo(StopBitsCombo, kStopBitTexts, 2);
  FillCombo(FlowCombo, kFlowTexts, 4);
  FillCombo(ParityCombo, kParityTexts, 5);
  if (TWindow* chooser = ChildWithId(IDC_PORT_SETUP_PICK_MACHINE)) chooser->EnableWindow(false);
  if (!Record) return;
  ComCombo->SetSelIndex(static_cast<int>(Record->Number[kPropComNumber] - 1));
  SelectBaud(BaudCombo, Record->Number[kPropBaud]);
  StopBitsCombo->SetSelIndex(static_cast<int>(Record->Number[kPropStopBits]));
  FlowCombo->SetSelIndex(static_cast<int>(Record->Number[kPropFlow]));
  DataBitsCombo->SetSelIndex(static_cast<int>(Record->Number[kPropDataBits]));
  ParityCombo->SetSelIndex(static_cast<int>(Record->Number[kPropParity]));
  ShowProperty(NameEdit, Record, kPropName);
  ShowProperty(MachineEdit, Record, kPropDisplayName);
}

void TDncSetupDlg::CmSaveExit() {
  if (Record) {
    // A combo left without a line keeps the row's value.
    auto take = [&](TComboBox* c, int n) {
      if (c->GetSelIndex() >= 0) Record->Number[n] = c->GetSelIndex();
    };
    if (SelectedBaud(BaudCombo) >= 0) Record->Number[kPropBaud] = SelectedBaud(BaudCombo);
    take(StopBitsCombo, 5);
    take(FlowCombo, 7);
    take(DataBitsCombo, 4);
    take(ParityCombo, 6);
    Record->SetText(kPropName, EditText(NameEdit, 29).c_str());
    Record->SetText(kPropDisplayName, EditText(MachineEdit, 29).c_str());
    if (ComCombo->GetSelIndex() >= 0) Record->Number[kPropComNumber] = ComCombo->GetSelIndex() + 1;
  }
  Destroy(IDOK);
}

void TDncSetupDlg::CmTransferParams() {
  TMultiDncTrnParam dlg(this, IDD_TRANSMISSION_LINK, Record);
  dlg.Execute();
}

void TDncSetupDlg::CmReceptionSetup() {
  TReceptionSetup dlg(this, IDD_RECEPTION_LINK, Record);
  dlg.Execute();
}

void TDncSetupDlg::CmRs232Setup() {
  TStdRs232Setup dlg(this, Record);
  dlg.Execute();
}
