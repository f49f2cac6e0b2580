// The DNC setup dialog over KELVMD32.DBF in the alternate directory.
#include "dnc/setup_multi.h"

#include <algorithm>
#include <cctype>
#include <memory>

#include "app/plugin_calls.h"
#include "app/users_dialogs.h"
#include "app/users_lines.h"
#include "appcore/globals.h"
#include "appcore/message_ids.h"
#include "dbmodel/machine.h"
#include "dnc/setup_fields.h"
#include "dnc/setup_floppy.h"
#include "dnc/setup_protocol.h"
#include "dnc/setup_reception.h"
#include "dnc/setup_transmission.h"
#include "platform/ui/validator.h"
#include "resources/dialogs/dncsetup.h"

namespace {
const char* kPortFile = "KELVMD32.DBF";
constexpr int kMostPorts = 100;  // the id field holds two digits

bool RefusedProtocol(int i) { return i == 5 || i == 6; }
bool RefusedNaming(int i) { return i == 2 || i == 4; }
}  // namespace

const char* const kProtocolTexts[10] = {"Standard RS-232",
                                        "Mazak",
                                        "Heidenhain",
                                        "LSV-2 (Dialog 4 only)",
                                        "Standard RS-232 : Raw ASCII",
                                        "Reserved (do not use)!",
                                        "Reserved (do not use)!",
                                        "Standard RS-232 With Delay",
                                        "Heidenhain 310 (No DC1)",
                                        "Standard RS-232 With prg. check"};
const char* const kNamingTexts[8] = {"Start- and End-trigger", "Reserved Program No.", "Reserved (do not use)!",
                                     "Okuma program name",     "Reserved (do not use)!", "Multi-Number",
                                     "DECKEL Dialog 4",        "DECKEL Dialog 11"};
const char* const kMazakTexts[8] = {"T1", "M1", "T2", "M2", "T32", "M32", "T+", "M+"};

DEFINE_RESPONSE_TABLE1(TMultiDncSetup, TLangDlg)
  EV_BN_CLICKED(IDC_DNC_SETUP_RECEPTION, CmReceptionSetup),
  EV_BN_CLICKED(IDC_DNC_SETUP_TRANSMISSION, CmTransferParams),
  EV_BN_CLICKED(IDC_DNC_SETUP_NAMING_SETUP, CmResNumberProtocol),
  EV_BN_CLICKED(IDC_DNC_SETUP_ADD_DIRECTORY, CmAddDirectory),
  EV_BN_CLICKED(IDC_DNC_SETUP_IMPORT, CmLoadSetup),
  EV_BN_CLICKED(IDC_DNC_SETUP_EXPORT, CmSaveSetup),
  EV_BN_CLICKED(IDC_DNC_SETUP_PROTOCOL_SETUP, CmCheckProtocol),
  EV_BN_CLICKED(IDC_DNC_SETUP_REMOVE_DIRECTORY, CmRemoveDirectory),
  EV_BN_CLICKED(IDC_DNC_SETUP_PARITY_CHECK, EvFlagClicked),
  EV_BN_CLICKED(IDC_DNC_SETUP_UNIX_LINK, EvFlagClicked),
  EV_BN_CLICKED(IDC_DNC_SETUP_FILENAMES, EvRunOnFilenames),
  EV_CBN_SELCHANGE(IDC_DNC_SETUP_MACHINE, EvMachineSelChange),
  EV_CBN_SELCHANGE(IDC_DNC_SETUP_PORT, EvPortSelChange),
  EV_CBN_SELCHANGE(IDC_DNC_SETUP_BAUD, EvBaudSelChange),
  EV_CBN_SELCHANGE(IDC_DNC_SETUP_DATA_BITS, EvDataBitsSelChange),
  EV_CBN_SELCHANGE(IDC_DNC_SETUP_STOP_BITS, EvStopBitsSelChange),
  EV_CBN_SELCHANGE(IDC_DNC_SETUP_PARITY, EvParitySelChange),
  EV_CBN_SELCHANGE(IDC_DNC_SETUP_FLOW, EvFlowSelChange),
  EV_CBN_SELCHANGE(IDC_DNC_SETUP_NAMING, EvNamingSelChange),
  EV_CBN_SELCHANGE(IDC_DNC_SETUP_PROTOCOL, EvProtocolSelChange),
  EV_CBN_SELCHANGE(IDC_DNC_SETUP_MAZAK, EvMazakTypeSelChange),
  EV_LBN_SELCHANGE(IDC_DNC_SETUP_DIRECTORIES, EvDirectorySelChange),
  EV_LBN_DBLCLK(IDC_DNC_SETUP_DIRECTORIES, EvDirectoryDblClk),
  EV_EN_KILLFOCUS(IDC_DNC_SETUP_PORT_TEXT, EvPortTextKillFocus),
  EV_EN_KILLFOCUS(IDC_DNC_SETUP_COM, EvComNumberKillFocus),
  EV_EN_KILLFOCUS(IDC_DNC_SETUP_EXTENSION, EvExtensionKillFocus),
END_RESPONSE_TABLE;

TMultiDncSetup::TMultiDncSetup(TWindow* parent) : TLangDlg(parent, IDD_DNC_SETUP) {
  MachineCombo = new TComboBox(this, IDC_DNC_SETUP_MACHINE);
  PortCombo = new TComboBox(this, IDC_DNC_SETUP_PORT);
  BaudCombo = new TComboBox(this, IDC_DNC_SETUP_BAUD);
  DataBitsCombo = new TComboBox(this, IDC_DNC_SETUP_DATA_BITS);
  StopBitsCombo = new TComboBox(this, IDC_DNC_SETUP_STOP_BITS);
  ParityCombo = new TComboBox(this, IDC_DNC_SETUP_PARITY);
  FlowCombo = new TComboBox(this, IDC_DNC_SETUP_FLOW);
  NamingCombo = new TComboBox(this, IDC_DNC_SETUP_NAMING);
  ProtocolCombo = new TComboBox(this, IDC_DNC_SETUP_PROTOCOL);
  MazakCombo = new TComboBox(this, IDC_DNC_SETUP_MAZAK);
  PortTextEdit = new TEdit(this, IDC_DNC_SETUP_PORT_TEXT, 25);
  ComEdit = new TEdit(this, IDC_DNC_SETUP_COM, 3);
  ExtensionEdit = new TEdit(this, IDC_DNC_SETUP_EXTENSION, 5);
  ParityCheckBox = new TCheckBox(this, IDC_DNC_SETUP_PARITY_CHECK);
  UnixLinkBox = new TCheckBox(this, IDC_DNC_SETUP_UNIX_LINK);
  FilenamesBox = new TCheckBox(this, IDC_DNC_SETUP_FILENAMES);
  DirectoryList = new TListBox(this, IDC_DNC_SETUP_DIRECTORIES);
}

TMultiDncSetup::~TMultiDncSetup() { FreeRecordList(Rows); }

void TMultiDncSetup::SetupWindow() {
  TLangDlg::SetupWindow();
  {
    TMultiDncTable t(kPortFile, 1, 0);
    // A table that cannot be read is told, not shown as a station
    // without ports.
    if (!t.Open()) {
      std::string msg = FillIn(Globals->GetMessageText(kMsgNoPortTable), "%s", t.FileName() ? t.FileName() : kPortFile);
      ::MessageBox(GetHandle(), msg.c_str(), Globals->CaptionText.c_str(), MB_OK | MB_ICONSTOP);
    }
    Rows = t.LoadAllDetached(1);
  }
  for (auto* r = Rows; r; r = static_cast<TMultiDncRecord*>(r->next))
    PortsOffered = std::max<int>(PortsOffered, std::min<long>(r->Number[kPropId] + 1, kMostPorts));
  for (int i = 1; i <= PortsOffered; i++) PortCombo->AddString(FormatText("PORT #%d", i).c_str());
  DirectoryList->SetHorizontalExtent(1000);
  PortCombo->SetSelIndex(0);
  ExtensionEdit->SetValidator(new TFilterValidator("0-9A-Z"));
  ComEdit->SetValidator(new TFilterValidator("0-9"));
  UnixLinkBox->EnableWindow(true);
  FillBaudCombo(BaudCombo);
  FillCombo(DataBitsCombo, kDataBitTexts, 4);
  FillCombo(StopBitsCombo, kStopBitTexts, 2);
  FillCombo(FlowCombo, kFlowTexts, 4);
  FillCombo(ParityCombo, kParityTexts, 5);
  FillCombo(ProtocolCombo, kProtocolTexts, 10);
  FillCombo(NamingCombo, kNamingTexts, 8);
  FillCombo(MazakCombo, kMazakTexts, 8);
  if (PortCombo->GetSelIndex() >= 0 && Rows) {
    {
      TcbMachTable t("KELVMA.DBF", 0, 0);
      TControlLines lines(*MachineCombo);
      t.FillList(&lines);
    }
    EvPortSelChange();
  }
}

void TMultiDncSetup::ShowIds(std::initializer_list<int> ids, bool show) {
  for (int id : ids)
    if (TWindow* w = ChildWithId(id)) w->ShowWindow(show ? SW_SHOW : SW_HIDE);
}

void TMultiDncSetup::EvPortSelChange() {
  if (!Rows) return;
  if (Current && Dirty) SavePort();
  long id = PortCombo->GetSelIndex();
  Current = nullptr;
  for (auto* r = Rows; r; r = static_cast<TMultiDncRecord*>(r->next))
    if (r->Number[kPropId] == id) {
      Current = r;
      break;
    }
  if (!Current) return;
  SelectBaud(BaudCombo, Current->Number[kPropBaud]);
  DataBitsCombo->SetSelIndex(static_cast<int>(Current->Number[kPropDataBits]));
  StopBitsCombo->SetSelIndex(static_cast<int>(Current->Number[kPropStopBits]));
  ParityCombo->SetSelIndex(static_cast<int>(Current->Number[kPropParity]));
  FlowCombo->SetSelIndex(static_cast<int>(Current->Number[kPropFlow]));
  ShowMachine();
  PortTextEdit->SetWindowText("");
  if (const char* t = Current->GetValue(kPropDisplayName); t && *t) PortTextEdit->SetWindowText(t);
  UnixLinkBox->SetCheck(Current->Number[kPropUnixLink] ? BST_CHECKED : BST_UNCHECKED);
  FilenamesBox->SetCheck(Current->Number[kPropFileMode] ? BST_CHECKED : BST_UNCHECKED);
  ParityCheckBox->SetCheck(Current->Number[kPropParityCheck] ? BST_CHECKED : BST_UNCHECKED);
  ExtensionEdit->SetWindowText("NC");
  if (const char* t = Current->GetValue(kPropExtension); t && *t) ExtensionEdit->SetWindowText(t);
  ShowFileNameLayout();
  ComEdit->SetWindowText(FormatText("%ld", Current->Number[kPropComNumber]).c_str());
  ProtocolCombo->SetSelIndex(static_cast<int>(Current->Number[kPropProtocol]));
  EvProtocolSelChange();
  NamingCombo->SetSelIndex(static_cast<int>(Current->Number[kPropNamingMode]));
  EvNamingSelChange();
  MazakCombo->SetSelIndex(static_cast<int>(Current->Number[kPropMazakType]));
  EvMazakTypeSelChange();
  DirectoryList->ClearList();
  for (int k = 0; k < kDirectories; k++)
    if (const char* t = Current->GetValue(kPropFirstDirectory + k); t && *t) DirectoryList->AddString(t);
}

void TMultiDncSetup::ShowMachine() {
  std::string marker = FormatText("@@%ld", Current->Number[kPropMachineId]);
  int found = -1;
  for (int i = 0; i < MachineCombo->GetCount() && found < 0; i++) {
    std::string line = MachineCombo->GetString(i);
    if (line.find(marker) != std::string::npos && ListLineId(line.c_str()) == Current->Number[kPropMachineId])
      found = i;
  }
  // A port without a machine shows none rather than the last port's.
  MachineCombo->SetSelIndex(found);
}

void TMultiDncSetup::ShowFileNameLayout() {
  bool files = Current && Current->Number[kPropFileMode] != 0;
  ShowIds({IDC_DNC_SETUP_MACHINE, IDC_DNC_SETUP_MACHINE_LABEL}, !files);
  ShowIds({IDC_DNC_SETUP_EXTENSION_LABEL, IDC_DNC_SETUP_ADD_DIRECTORY, IDC_DNC_SETUP_REMOVE_DIRECTORY,
           IDC_DNC_SETUP_EXTENSION, IDC_DNC_SETUP_DIRECTORIES},
          files);
}

void TMultiDncSetup::ShowResNumberButton() {
  if (!Current) return;
  long p = Current->Number[kPropProtocol], n = Current->Number[kPropNamingMode];
  bool show = ((p == 0 || p == 7 || p == 9) && (n == 1 || n == 2 || n == 3 || n == 8)) || p == 1;
  ShowIds({IDC_DNC_SETUP_NAMING_SETUP}, show);
}

void TMultiDncSetup::EvProtocolSelChange() {
  if (!Current) return;
  Dirty = true;
  int p = ProtocolCombo->GetSelIndex();
  if (p < 0 || RefusedProtocol(p)) {
    p = 0;
    ProtocolCombo->SetSelIndex(0);
  }
  Current->Number[kPropProtocol] = p;
  ShowIds({IDC_DNC_SETUP_PROTOCOL_SETUP}, p == 0 || p == 4 || p == 7 || p == 9);
  ShowResNumberButton();
  if (p == 1) {
    ShowIds({IDC_DNC_SETUP_MAZAK, IDC_DNC_SETUP_MAZAK_LABEL}, true);
    ShowIds({IDC_DNC_SETUP_NAMING, IDC_DNC_SETUP_RECEPTION, IDC_DNC_SETUP_TRANSMISSION, IDC_DNC_SETUP_NAMING_LABEL},
            false);
  } else {
    ShowIds({IDC_DNC_SETUP_NAMING, IDC_DNC_SETUP_RECEPTION, IDC_DNC_SETUP_TRANSMISSION, IDC_DNC_SETUP_NAMING_LABEL},
            !(p == IDCANCEL || p == 3 || p == 8));
    ShowIds({IDC_DNC_SETUP_MAZAK, IDC_DNC_SETUP_MAZAK_LABEL}, false);
  }
}

void TMultiDncSetup::EvNamingSelChange() {
  if (!Current) return;
  int n = NamingCombo->GetSelIndex();
  if (n < 0 || RefusedNaming(n)) {
    n = 0;
    NamingCombo->SetSelIndex(0);
  }
  Current->Number[kPropNamingMode] = n;
  Dirty = true;
  ShowResNumberButton();
}

void TMultiDncSetup::EvMazakTypeSelChange() {
  if (!Current) return;
  int m = MazakCombo->GetSelIndex();
  if (m >= 0) Current->Number[kPropMazakType] = m;
  Dirty = true;
}

void TMultiDncSetup::EvMachineSelChange() {
  if (!Current) return;
  int i = MachineCombo->GetSelIndex();
  if (i < 0) return;
  std::string line = MachineCombo->GetString(i).substr(0, 240);
  if (line.find("@@") == std::string::npos) return;
  long id = ListLineId(line.c_str());
  Current->Number[kPropMachineId] = id;
  if (id == 0) {
    Dirty = true;
    return;
  }
  TcbMachTable t("KELVMA.DBF", 0, 0);
  std::unique_ptr<TcbMachRecord> m(t.FindById(id));
  t.Close();
  if (!m) return;
  Current->Number[kPropMachineId] = m->ID;
  Current->Number[kPropMachineType] = m->TYPE;
  Current->SetText(kPropName, m->NAME);
  Current->SetText(kPropMachineDir, m->PATH);
  Dirty = true;
}

void TMultiDncSetup::EvBaudSelChange() {
  if (!Current) return;
  long b = SelectedBaud(BaudCombo);
  if (b >= 0) Current->Number[kPropBaud] = b;
  Dirty = true;
}

void TMultiDncSetup::ComboToProperty(TComboBox* combo, int n) {
  if (!Current) return;
  int i = combo->GetSelIndex();
  if (i >= 0) Current->Number[n] = i;
  Dirty = true;
}

void TMultiDncSetup::EvFlagClicked() {
  if (!Current) return;
  Current->Number[kPropUnixLink] = UnixLinkBox->GetCheck() == BST_CHECKED;
  Current->Number[kPropParityCheck] = ParityCheckBox->GetCheck() == BST_CHECKED;
  Dirty = true;
}

void TMultiDncSetup::EvRunOnFilenames() {
  if (!Current) return;
  Current->Number[kPropFileMode] = FilenamesBox->GetCheck() == BST_CHECKED;
  const char* ext = Current->GetValue(kPropExtension);
  ExtensionEdit->SetWindowText(ext && *ext ? ext : "NC");
  ShowFileNameLayout();
  Dirty = true;
}

void TMultiDncSetup::EvPortTextKillFocus() {
  if (!Current) return;
  std::string text = PortTextEdit->GetText();
  if (text.empty()) {
    TakeFocusBack(PortTextEdit);
    return;
  }
  Current->SetText(kPropDisplayName, text.substr(0, 24).c_str());
  Dirty = true;
}

void TMultiDncSetup::TakeFocusBack(TEdit* edit) {
  // Two empty edits would hand the focus back and forth without end: the
  // one losing it to an edit that is taking it back lets it go.
  if (Refocusing) return;
  Refocusing = true;
  edit->SetFocus();
  Refocusing = false;
}

void TMultiDncSetup::EvComNumberKillFocus() {
  if (!Current) return;
  if (ComEdit->GetText().empty()) {
    TakeFocusBack(ComEdit);
    return;
  }
  Dirty = true;
}

void TMultiDncSetup::EvExtensionKillFocus() {
  if (!Current) return;
  Current->SetText(kPropExtension, ExtensionEdit->GetText().substr(0, 3).c_str());
  Dirty = true;
}

void TMultiDncSetup::EvDirectorySelChange() {
  if (TWindow* w = ChildWithId(IDC_DNC_SETUP_REMOVE_DIRECTORY)) w->EnableWindow(true);
}

void TMultiDncSetup::CmRemoveDirectory() {
  int i = DirectoryList->GetSelIndex();
  if (i >= 0) {
    DirectoryList->DeleteString(i);
    Dirty = true;
  }
  if (TWindow* w = ChildWithId(IDC_DNC_SETUP_REMOVE_DIRECTORY)) w->EnableWindow(false);
}

void TMultiDncSetup::CmAddDirectory() {
  if (DirectoryList->GetCount() >= kDirectories) return;
  HeapText dir = CallPrintHook(this);
  if (!dir.IsSet()) return;
  DirectoryList->AddString(dir.get());
  Dirty = true;
}

bool TMultiDncSetup::SavePort() {
  if (!Current) return true;
  TakeEdits();
  int ok;
  {
    TMultiDncTable t(kPortFile, 1, 0);
    ok = t.Update(Current);
  }
  if (!ok) {
    ShowMessage(this, kMsgChangeNotStored, MB_OK | MB_ICONSTOP);
    return false;
  }
  Dirty = false;
  return true;
}

void TMultiDncSetup::TakeEdits() {
  Current->Number[kPropConfigured] = 1;
  // The port text and extension as they stand now, even when the edit
  // never lost the focus before OK or Export.
  std::string text = PortTextEdit->GetText();
  if (!text.empty()) Current->SetText(kPropDisplayName, text.substr(0, 24).c_str());
  if (ExtensionEdit->IsWindowVisible()) Current->SetText(kPropExtension, ExtensionEdit->GetText().substr(0, 3).c_str());
  Current->Number[kPropComNumber] = LeadingNumber(ComEdit->GetText(), 2);
  for (int k = 0; k < kDirectories; k++) {
    std::string dir = k < DirectoryList->GetCount() ? DirectoryList->GetString(k) : std::string();
    std::transform(dir.begin(), dir.end(), dir.begin(), [](unsigned char c) { return std::toupper(c); });
    Current->SetText(kPropFirstDirectory + k, dir.c_str());
  }
}

void TMultiDncSetup::CmOk() {
  if (Current && PortTextEdit->GetText().empty()) {
    PortTextEdit->SetFocus();
    return;
  }
  if (!CanClose() || !SavePort()) return;
  TLangDlg::CmOk();
}

void TMultiDncSetup::CmReceptionSetup() {
  if (!Current) return;
  {
    TReceptionSetup dlg(this, IDD_RECEPTION, Current);
    dlg.Execute();
  }
  SavePort();
  PortCombo->SetFocus();
}

void TMultiDncSetup::CmTransferParams() {
  if (!Current) return;
  {
    TMultiDncTrnParam dlg(this, IDD_TRANSMISSION, Current);
    dlg.Execute();
  }
  SavePort();
  PortCombo->SetFocus();
}

void TMultiDncSetup::CmCheckProtocol() {
  if (!Current) return;
  int p = ProtocolCombo->GetSelIndex();
  if (p == 9) {
    TCheckProtSetup check(this, Current);
    check.Execute();
  }
  if (p == 9 || p == 0 || p == 7) {
    TStdRs232Setup dlg(this, Current);
    dlg.Execute();
  }
}

void TMultiDncSetup::CmResNumberProtocol() {
  if (!Current) return;
  long p = Current->Number[kPropProtocol], n = Current->Number[kPropNamingMode];
  if ((p == 0 && (n == 1 || n == 3)) || p == 1) {
    TResNumberProtocolDlg dlg(this, Current);
    dlg.Execute();
  }
}

void TMultiDncSetup::CmSaveSetup() {
  if (PortTextEdit->GetText().empty()) {
    PortTextEdit->SetFocus();
    return;
  }
  if (!Current) return;
  TakeEdits();
  Dirty = true;
  TSaveDncSetup dlg(this, Current);
  dlg.Execute();
}

void TMultiDncSetup::CmLoadSetup() {
  if (!Current) return;
  TLoadDncSetup dlg(this);
  if (dlg.Execute() != IDOK || !dlg.Loaded) return;
  // The loaded settings take the place of the shown port, under its id.
  long id = Current->Number[kPropId];
  CopyPortRecord(*dlg.Loaded, *Current);
  Current->Number[kPropId] = id;
  Dirty = false;
  EvPortSelChange();
  Dirty = true;
}

HBRUSH TMultiDncSetup::EvCtlColor(TDC& dc, HWND control, UINT ctlType) {
  for (int id : {IDC_DNC_SETUP_PORT_GROUP, IDC_DNC_SETUP_MODE_GROUP, IDC_DNC_SETUP_PROTOCOL_GROUP,
                 IDC_DNC_SETUP_SETTINGS_GROUP}) {
    TWindow* w = ChildWithId(id);
    if (w && w->GetHandle() == control) {
      dc.SetTextColor(RGB(128, 0, 0));
      break;
    }
  }
  (void)ctlType;
  return nullptr;
}
