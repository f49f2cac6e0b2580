// The drive and printer connection dialogs of the Extras menu.
#include "app/net_connect.h"

#include <algorithm>
#include <vector>

#include "app/profile_net.h"
#include "platform/msgbox.h"
#include "platform/ui/print.h"

namespace {

std::string Trimmed(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
  size_t start = s.find_first_not_of(" \t");
  return start == std::string::npos ? std::string() : s.substr(start);
}

// The remote name a drive letter is connected to; empty when none.
std::string ConnectionOf(const std::string& drive) {
  std::string remote;
  return NetGetConnection(drive, remote) == kNetOk ? remote : std::string();
}

}  // namespace

// ---- drive ----

DEFINE_RESPONSE_TABLE1(TConnectDriveDialog, TDialog)
  EV_CBN_SELCHANGE(IDC_CONNECT_DRIVE_LETTER, EvLetterChange),
END_RESPONSE_TABLE;

TConnectDriveDialog::TConnectDriveDialog(TWindow* parent) : TDialog(parent, IDD_CONNECT_DRIVE) {
  Letters = new TComboBox(this, IDC_CONNECT_DRIVE_LETTER);
  Folders = new TComboBox(this, IDC_CONNECT_DRIVE_FOLDER, 260);
}

void TConnectDriveDialog::FillLetters(const std::string& select) {
  Letters->ClearList();
  int chosen = -1;
  // A: is the floppy, C: the station's own drive.
  for (char c = 'D'; c <= 'Z'; ++c) {
    std::string drive = std::string(1, c) + ":";
    std::string remote = ConnectionOf(drive);
    int at = Letters->AddString((remote.empty() ? drive : drive + "   " + remote).c_str());
    if (drive == select || (select.empty() && chosen < 0 && remote.empty())) chosen = at;
  }
  Letters->SetSelIndex(std::max(chosen, 0));
}

void TConnectDriveDialog::SetupWindow() {
  TDialog::SetupWindow();
  FillLetters("");
  for (const std::string& share : NetShares()) Folders->AddString(share.c_str());
  EvLetterChange();
}

std::string TConnectDriveDialog::SelectedDrive() const {
  int sel = Letters->GetSelIndex();
  return sel < 0 ? std::string() : Letters->GetString(sel).substr(0, 2);
}

void TConnectDriveDialog::EvLetterChange() { Folders->SetText(ConnectionOf(SelectedDrive()).c_str()); }

void TConnectDriveDialog::CmOk() {
  const std::string drive = SelectedDrive();
  const std::string remote = Trimmed(Folders->GetText());
  if (drive.empty() || remote.empty()) {
    MessageBox("Choose a drive and enter the folder as \\\\SERVER\\SHARE.", GetCaption(),
               MB_OK | MB_ICONINFORMATION);
    return;
  }
  // A letter that shows another folder lets go of it first, and gets it
  // back when the new one cannot be had.
  const std::string previous = ConnectionOf(drive);
  if (!previous.empty() && previous != remote) NetCancelConnection(drive);
  int rc = NetAddConnection(drive, remote, nullptr, nullptr);
  if (rc == kNetOk || rc == kNetAlreadyAssigned) {
    CloseWindow(IDOK);
    return;
  }
  if (!previous.empty() && previous != remote) NetAddConnection(drive, previous, nullptr, nullptr);
  std::string why = rc == kNetAccessDenied ? "Access denied to : " + remote + " !"
                                           : "The network folder " + remote + " was not found.";
  MessageBox(why.c_str(), "Network error...", MB_OK | MB_ICONSTOP);
  FillLetters(drive);
}

// ---- printer ----

DEFINE_RESPONSE_TABLE1(TConnectPrinterDialog, TDialog)
  EV_LBN_SELCHANGE(IDC_CONNECT_PRINTER_LIST, EvPrinterChange),
  EV_LBN_DBLCLK(IDC_CONNECT_PRINTER_LIST, CmOk),
END_RESPONSE_TABLE;

TConnectPrinterDialog::TConnectPrinterDialog(TWindow* parent) : TDialog(parent, IDD_CONNECT_PRINTER) {
  Printers = new TListBox(this, IDC_CONNECT_PRINTER_LIST);
  Name = new TEdit(this, IDC_CONNECT_PRINTER_NAME, 128);
  Now = new TStatic(this, IDC_CONNECT_PRINTER_NOW);
  Note = new TStatic(this, IDC_CONNECT_PRINTER_NOTE);
}

void TConnectPrinterDialog::SetupWindow() {
  TDialog::SetupWindow();
  std::string error;
  std::vector<std::string> names = plat::printer_names(error);
  Known = error.empty();
  for (const std::string& n : names) Printers->AddString(n.c_str());
  const TPrintSetup setup = plat::default_print_setup();
  Name->SetText(setup.Queue.c_str());
  if (!setup.Queue.empty()) Printers->SetSelString(setup.Queue.c_str(), -1);
  Now->SetText(setup.Queue.empty() ? ("Prints go to PDF files in " + setup.OutputDir + " only.").c_str()
                                   : ("Prints go to " + setup.Queue + ", and a PDF file.").c_str());
  if (!Known)
    Note->SetText(("The system's printers cannot be listed (" + error + "); a name may be typed.").c_str());
  else if (names.empty())
    Note->SetText("The system knows no printer; an empty name prints to files only.");
  else
    Note->SetText("An empty name prints to files only.");
}

void TConnectPrinterDialog::EvPrinterChange() {
  int sel = Printers->GetSelIndex();
  if (sel >= 0) Name->SetText(Printers->GetString(sel).c_str());
}

void TConnectPrinterDialog::CmOk() {
  const std::string name = Trimmed(Name->GetText());
  if (!name.empty() && Known && Printers->FindExactString(name.c_str(), -1) < 0) {
    MessageBox(("The system knows no printer named " + name + ".").c_str(), GetCaption(),
               MB_OK | MB_ICONINFORMATION);
    return;
  }
  TPrintSetup setup = plat::default_print_setup();
  setup.Queue = name;
  plat::set_default_print_setup(setup);
  CloseWindow(IDOK);
}
