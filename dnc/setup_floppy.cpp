// Saving and loading port setups on the floppy. A setup's name travels in
// the saved row only: the port's own row keeps its "On lines with" text.
#include "dnc/setup_floppy.h"

#include "app/lang_dlg.h"
#include "app/users_dialogs.h"
#include "app/users_lines.h"
#include "appcore/globals.h"
#include "appcore/message_ids.h"
#include "dnc/setup_fields.h"
#include "platform/file.h"
#include "platform/msgbox.h"
#include "resources/dialogs/dncsetup.h"

const char* const kFloppySetupFile = "A:\\KELVMD32.DBF";

namespace {
constexpr int kCreateAttempts = 3;

HWND HandleOf(TWindow* w) { return w ? w->GetHandle() : nullptr; }

void Prepare(TDialog& dlg, TListBox* list) {
  CentreOnScreen(dlg);
  list->SetHorizontalExtent(1200);
}

// The width of field 62 in the setup file (0 when it cannot be read).
unsigned NameFieldWidth() {
  TMultiDncTable t(kFloppySetupFile, 0, 0);
  if (!t.Open()) return 0;
  DbField* f = data_field_at(t.Data(), kPropSetupName);
  unsigned w = f ? field_len(f) : 0;
  t.Close();
  return w;
}
}  // namespace

bool PrepareSetupDisk(TWindow* owner) {
  if (::MessageBox(HandleOf(owner), "Insert disk into drive A:", "Load Disk...", MB_OKCANCEL | MB_ICONINFORMATION) !=
      IDOK)
    return false;
  // A missing drive or a write-protected disk must not keep us trying.
  for (int attempt = 0; attempt < kCreateAttempts && !plat::file_exists(kFloppySetupFile); attempt++) {
    TMultiDncTable own("KELVMD32.DBF", 1, 0);
    own.CopyStructure("A:\\");
  }
  if (plat::file_exists(kFloppySetupFile)) return true;
  std::string msg = FillIn(Globals->GetMessageText(kMsgNoSetupFile), "%s", kFloppySetupFile);
  ::MessageBox(HandleOf(owner), msg.c_str(), Globals->CaptionText.c_str(), MB_OK | MB_ICONSTOP);
  return false;
}

// ---- export ---------------------------------------------------------------------

TSaveDncSetup::TSaveDncSetup(TWindow* parent, const TMultiDncRecord* record)
    : TDialog(parent, IDD_SAVE_SETUP), Record(record) {
  NameEdit = new TEdit(this, IDC_SAVE_SETUP_NAME, 95);
  SetupList = new TListBox(this, IDC_SAVE_SETUP_LIST);
}

void TSaveDncSetup::SetupWindow() {
  TDialog::SetupWindow();
  Prepare(*this, SetupList);
  if (!Record || !PrepareSetupDisk(this)) {
    Destroy(IDCANCEL);
    return;
  }
  TMultiDncTable t(kFloppySetupFile, 0, 0);
  TControlLines lines(*SetupList);
  t.FillListFromField(&lines, kPropSetupName);
  SetupList->SetSelIndex(0);
}

void TSaveDncSetup::CmOk() {
  std::string name = TrimText(NameEdit->GetText());
  if (name.empty()) {
    MessageBeep(0xFFFFFFFF);
    NameEdit->SetFocus();
    return;
  }
  for (int i = 0; i < SetupList->GetCount(); i++)
    if (SetupList->GetString(i) == name) {
      ::MessageBox(GetHandle(), "Cannot save to duplicate name!", "Save error", MB_OK | MB_ICONSTOP);
      NameEdit->SetFocus();
      return;
    }
  unsigned width = NameFieldWidth();
  if (width == 0 || !TextFits(this, NameEdit, name, width)) return;
  TMultiDncRecord copy;
  CopyPortRecord(*Record, copy);
  copy.SetText(kPropSetupName, name.c_str());
  int ok;
  {
    TMultiDncTable t(kFloppySetupFile, 0, 0);
    ok = t.Append(&copy);
  }
  if (!ok) {
    ShowMessage(this, kMsgChangeNotStored, MB_OK | MB_ICONSTOP);
    return;
  }
  TDialog::CmOk();
}

// ---- import ---------------------------------------------------------------------

DEFINE_RESPONSE_TABLE1(TLoadDncSetup, TDialog)
  EV_LBN_DBLCLK(IDC_LOAD_SETUP_LIST, EvListDblClk),
END_RESPONSE_TABLE;

  TLoadDncSetup::TLoadDncSetup(TWindow* parent) : TDialog(parent, IDD_LOAD_SETUP) {
    SetupList = new TListBox(this, IDC_LOAD_SETUP_LIST);
  }

void TLoadDncSetup::SetupWindow() {
  TDialog::SetupWindow();
  Prepare(*this, SetupList);
  if (!PrepareSetupDisk(this)) {
    Destroy(IDCANCEL);
    return;
  }
  TMultiDncTable t(kFloppySetupFile, 0, 0);
  TControlLines lines(*SetupList);
  t.FillList(&lines);
}

void TLoadDncSetup::CmOk() {
  int i = SetupList->GetSelIndex();
  if (i < 0) return;
  std::string line = SetupList->GetString(i).substr(0, 299);
  if (line.find("@@") == std::string::npos) return;
  TMultiDncTable t(kFloppySetupFile, 0, 0);
  Loaded.reset(t.FindById(ListLineId(line.c_str())));
  if (Loaded) TDialog::CmOk();
}
