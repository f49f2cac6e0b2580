#include "masterdata/macro_dialogs.h"

#include <cstring>
#include <memory>

#include "app/users_dialogs.h"
#include "app/users_lines.h"
#include "appcore/message_ids.h"
#include "appcore/text_scan.h"
#include "dbmodel/machine.h"
#include "dbmodel/macro.h"
#include "engine/engine_api.h"
#include "masterdata/master_edit.h"
#include "platform/ui/clipboard.h"
#include "resources/dialogs/masterdata.h"

namespace {

const char* const kMachineFile = "KELVMA.DBF";
const char* const kMacroFile = "KELVMACR.DBF";

constexpr size_t kMacroNameWidth = 30;

// A text over the limit is refused before anything is cut; told.
bool FitsMacro(TWindow* owner, size_t length) {
  if (length <= kMacroTextMax) return true;
  ShowMessage(owner, kMsgMacroTooLong);
  return false;
}

}  // namespace

// ---- save a macro ------------------------------------------------------------

DEFINE_RESPONSE_TABLE1(TNewMacro, TLangDlg)
  EV_BN_CLICKED(IDC_NEW_MACRO_SAVE, CmSave),
END_RESPONSE_TABLE;

TNewMacro::TNewMacro(TWindow* parent, long machineId)
    : TLangDlg(parent, IDD_NEW_MACRO), MachineId(machineId) {
  NameEdit = new TEdit(this, IDC_NEW_MACRO_NAME, kMacroNameWidth + 1);
  TextEdit = new TEdit(this, IDC_NEW_MACRO_TEXT, kMacroTextMax + 1);
}

void TNewMacro::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(205);
  SetItemText(IDC_NEW_MACRO_NAME_LABEL, 206);
  SetItemText(IDC_NEW_MACRO_SAVE, 207);
  // A paste would stop at the edit's limit: a longer text is refused whole.
  if (!FitsMacro(this, plat::clipboard_text().size())) {
    Destroy(IDCANCEL);
    return;
  }
  TextEdit->Paste();
}

void TNewMacro::CmSave() {
  std::string name = TypedName(*NameEdit, kMacroNameWidth);
  if (name.empty()) {
    MissingInput(*NameEdit);
    return;
  }
  std::string text = TextEdit->GetText();
  if (text.empty()) {
    MissingInput(*TextEdit);
    return;
  }
  if (!FitsMacro(this, text.size()) || !QuotableName(name, kMacroNameWidth)) return;
  int taken;
  {
    TcbMacroTable macros(kMacroFile, 0, 0);
    taken = macros.FindByConnAndName(MachineId, name.c_str());
  }
  if (taken) {
    ShowMessage(this, kMsgMacroNameTaken);
    return;
  }
  std::unique_ptr<TcbMacroRecord> added;
  {
    TcbMacroTable macros(kMacroFile, 0, 0);
    added.reset(macros.Add(name.c_str(), text.c_str(), MachineId));
    macros.made = nullptr;
  }
  if (Stored(this, added != nullptr)) CmOk();
}

// ---- confirm a macro -----------------------------------------------------------

DEFINE_RESPONSE_TABLE1(TInsertMacro, TLangDlg)
  EV_BN_CLICKED(IDC_INSERT_MACRO_INSERT, CmInsert),
END_RESPONSE_TABLE;

TInsertMacro::TInsertMacro(TWindow* parent, const char* text) : TLangDlg(parent, IDD_INSERT_MACRO), Text(text) {
  TextEdit = new TEdit(this, IDC_INSERT_MACRO_TEXT, kMacroTextMax + 1);
}

void TInsertMacro::SetupWindow() {
  TLangDlg::SetupWindow();
  if (!Text || !FitsMacro(this, std::strlen(Text))) {
    Destroy(IDCANCEL);
    return;
  }
  TextEdit->SetText(Text);
  SetCaptionText(208);
  SetItemText(IDC_INSERT_MACRO_INSERT, 209);
}

void TInsertMacro::CmInsert() {
  std::string text = TextEdit->GetText();
  if (!FitsMacro(this, text.size())) return;
  // The clipboard takes what the edit holds: the text as the user left it.
  // An emptied edit copies nothing, so the clipboard is emptied too, or
  // the editor would paste whatever it held before.
  if (text.empty()) plat::set_clipboard_text("");
  TextEdit->SetSelection(0, static_cast<int>(text.size()));
  TextEdit->Copy();
  CmOk();
}

// ---- the macros of a machine -----------------------------------------------------

DEFINE_RESPONSE_TABLE1(TEditMacro, TLangDlg)
  EV_BN_CLICKED(IDC_MACROS_DELETE, CmDelete),
  EV_BN_CLICKED(IDC_MACROS_MODIFY, CmModify),
  EV_CBN_SELCHANGE(IDC_MACROS_MACHINE, EvMachineChange),
  EV_CBN_SELCHANGE(IDC_MACROS_MACRO, EvMacroChange),
END_RESPONSE_TABLE;

TEditMacro::TEditMacro(TWindow* parent) : TLangDlg(parent, IDD_MACROS) {
  MachineCombo = new TComboBox(this, IDC_MACROS_MACHINE, 51);
  MacroCombo = new TComboBox(this, IDC_MACROS_MACRO, 51);
  TextEdit = new TEdit(this, IDC_MACROS_TEXT, kMacroTextMax + 1);
}

void TEditMacro::SetupWindow() {
  TLangDlg::SetupWindow();
  {
    TcbMachTable machines(kMachineFile, 0, 0);
    TControlLines lines(*MachineCombo);
    machines.FillList(&lines);
  }
  SetCaptionText(449);
  SetItemTexts(IDC_MACROS_MACHINE_LABEL, 450, 2);
  SetItemText(IDC_MACROS_MODIFY, 452);
  SetItemText(IDC_MACROS_DELETE, 453);
  MachineCombo->SetSelIndex(0);
  EvMachineChange();
}

void TEditMacro::EvMachineChange() {
  SelectedMachine = SelectedLineId(*MachineCombo);
  if (SelectedMachine == 0) return;
  {
    TcbMacroTable macros(kMacroFile, 0, 0);
    TControlLines lines(*MacroCombo);
    macros.FillList(SelectedMachine, &lines);
  }
  MacroCombo->SetSelIndex(0);
  EvMacroChange();
}

void TEditMacro::EvMacroChange() {
  // Modify and Delete act only on the macro shown: a machine without
  // macros shows none, and no text.
  SelectedMacro = 0;
  TextEdit->SetText("");
  long id = SelectedLineId(*MacroCombo);
  if (id == 0) return;
  std::unique_ptr<TcbMacroRecord> r;
  {
    TcbMacroTable macros(kMacroFile, 0, 0);
    r.reset(macros.FindById(id));
    macros.made = nullptr;
    if (r && data_is_deleted(macros.Data())) r.reset();
  }
  if (!r) return;
  SelectedMacro = id;
  // Set, not typed: an older station's longer text is shown whole, and
  // Modify refuses it rather than cutting it.
  TextEdit->SetText(r->text ? r->text : "");
}

void TEditMacro::CmModify() {
  if (SelectedMacro == 0) return;
  std::string text = TextEdit->GetText();
  if (text.empty()) {
    MissingInput(*TextEdit);
    return;
  }
  if (!FitsMacro(this, text.size())) return;
  if (!RowStillThere<TcbMacroTable>(this, kMacroFile, "ID", SelectedMacro)) {
    EvMachineChange();
    return;
  }
  int updated;
  {
    TcbMacroTable macros(kMacroFile, 0, 0);
    updated = macros.Update(SelectedMacro, text.c_str());
  }
  Stored(this, updated);
  EvMacroChange();
}

void TEditMacro::CmDelete() {
  if (SelectedMacro == 0) return;
  if (!Confirmed(this, kMsgDeleteMacro)) return;
  int at = MacroCombo->GetSelIndex();
  int deleted;
  {
    TcbMacroTable macros(kMacroFile, 0, 0);
    deleted = macros.DeleteById(SelectedMacro);
  }
  if (Stored(this, deleted)) {
    MacroCombo->DeleteString(at);
    MacroCombo->SetSelIndex(0);
  }
  EvMacroChange();
}
