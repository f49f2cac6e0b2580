#include "masterdata/machine_dialogs.h"

#include <memory>

#include "app/plugin_calls.h"
#include "app/users_dialogs.h"
#include "app/users_lines.h"
#include "appcore/globals.h"
#include "appcore/log_text.h"
#include "appcore/message_ids.h"
#include "appcore/text_scan.h"
#include "dbmodel/counter.h"
#include "dbmodel/filetable.h"
#include "dbmodel/idname.h"
#include "dbmodel/machine.h"
#include "dbmodel/text_helpers.h"
#include "engine/engine_api.h"
#include "masterdata/master_edit.h"
#include "platform/file.h"
#include "platform/ui/ctlcolor.h"
#include "resources/dialogs/masterdata.h"
#include "resources/dialogs/users.h"

namespace {

const char* const kMachineFile = "KELVMA.DBF";
const char* const kTypeFile = "KELVMT.DBF";
const char* const kProgramFile = "KELVFILE.DBF";

// Field widths of KELVMA.DBF and KELVMT.DBF: what an edit may hold is
// what the row can keep whole.
constexpr size_t kNameWidth = 20, kDescWidth = 40, kPathWidth = 100, kTypeNameWidth = 50;

// Counts the lines a table fills in; a fill that failed before it began
// leaves it unread.
class LiveLineCount : public TListLines {
 public:
  void ClearLines() override { count_ = 0; }
  void AddLine(const char*) override { ++count_; }
  void SelectLine(int) override {}
  bool Read() const { return count_ >= 0; }
  int Count() const { return count_; }

 private:
  int count_ = -1;
};

}  // namespace

// ---- machines ----------------------------------------------------------------

DEFINE_RESPONSE_TABLE1(TEditMachine, TLangDlg)
  EV_LBN_SELCHANGE(IDC_MACHINES_TYPES, EvTypeChange),
  EV_LBN_SELCHANGE(IDC_MACHINES_LIST, EvMachineChange),
  EV_BN_CLICKED(IDC_MACHINES_ADD, CmAdd),
  EV_BN_CLICKED(IDC_MACHINES_MODIFY, CmModify),
  EV_BN_CLICKED(IDC_MACHINES_DELETE, CmDelete),
  EV_BN_CLICKED(IDC_MACHINES_SELECT_DIRECTORY, CmSelectDirectory),
  EV_WM_CTLCOLOR,
END_RESPONSE_TABLE;

TEditMachine::TEditMachine(TWindow* parent) : TLangDlg(parent, IDD_MACHINES) {
  MachineList = new TListBox(this, IDC_MACHINES_LIST);
  TypeList = new TListBox(this, IDC_MACHINES_TYPES);
  NameEdit = new TEdit(this, IDC_MACHINES_NAME, kNameWidth + 1);
  DescEdit = new TEdit(this, IDC_MACHINES_DESCRIPTION, kDescWidth + 1);
  DirText = new TStatic(this, IDC_MACHINES_DIRECTORY, kPathWidth + 1);
  MazakBox = new TCheckBox(this, IDC_MACHINES_MAZAK);
}

void TEditMachine::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(40);
  SetItemTexts(IDC_MACHINES_ADD, 41, 4);
  SetItemTexts(IDC_MACHINES_TYPE_LABEL, 47, 5);
  FillTypes();
  // A machine needs a type: with none yet, the user makes one first. This
  // dialog is not on screen yet, so the type dialog goes over our parent.
  if (TypeList->GetCount() <= 0) {
    TNewMachineTypeDialog(GetParentO()).Execute();
    FillTypes();
    if (TypeList->GetCount() <= 0) {
      Destroy(IDCANCEL);
      return;
    }
  }
  TypeList->SetSelIndex(0);
  EvTypeChange();
}

void TEditMachine::FillTypes() {
  TcbMatyTable types(kTypeFile, 0, 0);
  TControlLines lines(*TypeList);
  types.FillList(&lines);
}

void TEditMachine::EvTypeChange() {
  SelectedType = SelectedLineId(*TypeList);
  {
    TcbMachTable machines(kMachineFile, 0, 0);
    TControlLines lines(*MachineList);
    if (SelectedType != 0)
      machines.FillListOfType(&lines, SelectedType);
    else
      MachineList->ClearList();
  }
  EvMachineChange();
}

void TEditMachine::EvMachineChange() {
  // Modify and Delete act only on the machine shown.
  SelectedMachine = 0;
  NameEdit->SetText("");
  DescEdit->SetText("");
  DirText->SetText("");
  long id = SelectedLineId(*MachineList);
  if (id == 0) return;
  std::unique_ptr<TcbMachRecord> r;
  {
    TcbMachTable machines(kMachineFile, 0, 0);
    r.reset(machines.FindById(id));
    // Deleted by another station since the list was filled.
    if (r && data_is_deleted(machines.Data())) r.reset();
  }
  if (!r) return;
  SelectedMachine = id;
  NameEdit->SetText(TrimText(r->NAME).c_str());
  DescEdit->SetText(TrimText(r->DESC).c_str());
  DirText->SetText(TrimText(r->PATH).c_str());
  MazakBox->SetCheck(r->MAZAK ? BST_CHECKED : BST_UNCHECKED);
  NameEdit->ClearModify();
}

bool TEditMachine::ReadFields(std::string& name, std::string& desc, std::string& dir) {
  name = TypedName(*NameEdit, kNameWidth);
  desc = TypedName(*DescEdit, kDescWidth);
  // The directory is whole or refused when chosen: never cut here.
  dir = TrimText(DirText->GetText());
  int missing = name.empty()   ? kMsgMachineNameMissing
                : desc.empty() ? kMsgMachineDescriptionMissing
                : dir.empty()  ? kMsgMachineDirectoryMissing
                               : 0;
  if (missing) ShowMessage(this, missing);
  return missing == 0;
}

void TEditMachine::CmAdd() {
  std::string name, desc, dir;
  if (!ReadFields(name, desc, dir)) return;
  NameEdit->SetText("");
  long taken;
  {
    TcbMachTable machines(kMachineFile, 0, 0);
    taken = machines.ExistsByName(name.c_str());
  }
  if (taken) {
    ShowMessage(this, kMsgMachineNameTaken);
    return;
  }
  const int mazak = MazakBox->GetCheck() == BST_CHECKED;
  int added;
  {
    TcbMachTable machines(kMachineFile, 0, 0);
    added = machines.Add(name.c_str(), SelectedType, desc.c_str(), dir.c_str(), mazak);
  }
  Stored(this, added);
  EvTypeChange();
}

void TEditMachine::CmModify() {
  if (SelectedMachine == 0) return;
  std::string name, desc, dir;
  if (!ReadFields(name, desc, dir)) return;
  if (NameEdit->IsModified()) {
    long holder;
    {
      TcbMachTable machines(kMachineFile, 0, 0);
      holder = machines.ExistsByName(name.c_str());
    }
    if (holder != 0 && holder != SelectedMachine) {
      ShowMessage(this, kMsgMachineNameTaken);
      NameEdit->SetText("");
      return;
    }
  }
  NameEdit->SetText("");
  // Nor is a machine another station deleted meanwhile changed, or logged.
  if (!RowStillThere<TcbMachTable>(this, kMachineFile, "ID", SelectedMachine)) {
    EvTypeChange();
    return;
  }
  const int mazak = MazakBox->GetCheck() == BST_CHECKED;
  int updated;
  {
    TcbMachTable machines(kMachineFile, 0, 0);
    updated = machines.Update(SelectedMachine, name.c_str(), SelectedType, desc.c_str(), dir.c_str(), mazak);
  }
  // The log tells of a change only once the row holds it.
  if (Stored(this, updated)) Globals->WriteLog(kLogMachineChanged, name.c_str());
  EvTypeChange();
}

void TEditMachine::CmDelete() {
  if (SelectedMachine == 0) return;
  int hasPrograms;
  {
    TcbFileTable programs(kProgramFile, 0, 0);
    // An index that cannot be read cannot show the machine unused.
    if (!programs.Open()) {
      Stored(this, 0);
      return;
    }
    programs.Close();
    hasPrograms = programs.AnyProgramOfMachine(SelectedMachine);
  }
  if (hasPrograms) {
    ShowMessage(this, kMsgMachineHasPrograms);
    return;
  }
  if (!Confirmed(this, kMsgDeleteMachine)) return;
  int deleted;
  {
    TcbMachTable machines(kMachineFile, 0, 0);
    deleted = machines.DeleteById(SelectedMachine);
  }
  Stored(this, deleted);
  EvTypeChange();
}

void TEditMachine::CmSelectDirectory() {
  // The choice starts in the machine's own directory while it exists; a
  // choice given up leaves the next chooser's start where it was.
  std::string shown = TrimText(DirText->GetText());
  const std::string before = Globals->LastDir;
  if (!shown.empty() && plat::directory_exists(shown)) {
    if (shown.size() > 1 && shown.back() == '\\' && shown[shown.size() - 2] != ':') shown.pop_back();
    Globals->LastDir = shown;
  }
  HeapText chosen = CallPrintHook(this);
  if (!chosen) {
    Globals->LastDir = before;
    return;
  }
  // The plug-in hands a directory back without its final "\" (a root keeps it).
  std::string dir = chosen.get();
  if (dir.empty() || dir.back() != '\\') dir += "\\";
  if (dir.size() > kPathWidth) {
    ShowMessage(this, kMsgDirectoryTooLong);
    return;
  }
  DirText->SetText(dir.c_str());
}

HBRUSH TEditMachine::EvCtlColor(HDC dc, HWND control, UINT ctlType) {
  if (ctlType != CTLCOLOR_STATIC || !control || GetDlgCtrlID(control) != IDC_MACHINES_DIRECTORY) return nullptr;
  SetTextColor(dc, RGB(0, 255, 0));
  SetBkColor(dc, RGB(0, 0, 0));
  return static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
}

// ---- machine types -------------------------------------------------------------

DEFINE_RESPONSE_TABLE1(TNewMachineTypeDialog, TLangDlg)
  EV_BN_CLICKED(IDC_TYPES_ADD, CmSave),
  EV_BN_CLICKED(IDC_TYPES_RENAME, CmModify),
  EV_BN_CLICKED(IDC_TYPES_DELETE, CmDelete),
END_RESPONSE_TABLE;

TNewMachineTypeDialog::TNewMachineTypeDialog(TWindow* parent) : TLangDlg(parent, IDD_TYPES) {
  NameEdit = new TEdit(this, IDC_TYPES_NAME, kTypeNameWidth + 1);
  TypeList = new TListBox(this, IDC_TYPES_LIST);
}

void TNewMachineTypeDialog::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(3);
  SetItemTexts(IDC_TYPES_ADD, 0, 3);
  SetItemTexts(IDC_TYPES_LIST_LABEL, kTypeListLabelTexts, kTypeListLabelCount);
  FillTypes();
}

void TNewMachineTypeDialog::FillTypes() {
  TcbMatyTable types(kTypeFile, 0, 0);
  TControlLines lines(*TypeList);
  types.FillList(&lines);
}

std::string TNewMachineTypeDialog::NameToStore() {
  std::string name = TypedName(*NameEdit, kTypeNameWidth);
  if (name.empty()) MissingInput(*NameEdit);
  return name;
}

bool TNewMachineTypeDialog::NameTaken(const std::string& name, long self) {
  std::unique_ptr<TcbIdAndNameRecord> found;
  {
    TcbMatyTable types(kTypeFile, 0, 0);
    found.reset(types.FindByName(name.c_str()));
  }
  // The tag finds the first name that begins with the text: only the
  // whole name is the same name.
  bool taken = found && found->ID != self && TrimText(found->NAME) == name;
  if (taken) ShowMessage(this, kMsgMachineTypeNameTaken);
  return taken;
}

void TNewMachineTypeDialog::CmSave() {
  std::string name = NameToStore();
  if (name.empty() || NameTaken(name, 0)) return;
  TcbIdAndNameRecord r;
  r.ID = NextMachineTypeId();
  CopyCut(r.NAME, sizeof r.NAME, name.c_str());
  bool added;
  {
    TcbMatyTable types(kTypeFile, 0, 0);
    added = r.ID > 0 && types.Add(&r) != nullptr;
  }
  if (!Stored(this, added)) return;
  FillTypes();
  NameEdit->SetText("");
}

void TNewMachineTypeDialog::CmModify() {
  long id = SelectedLineId(*TypeList);
  if (id == 0) return;
  std::string name = NameToStore();
  if (name.empty() || NameTaken(name, id)) return;
  if (!RowStillThere<TcbMatyTable>(this, kTypeFile, "ID", id)) {
    FillTypes();
    return;
  }
  int renamed;
  {
    TcbMatyTable types(kTypeFile, 0, 0);
    renamed = types.Rename(id, name.c_str());
  }
  if (!Stored(this, renamed)) return;
  FillTypes();
  NameEdit->SetText("");
}

void TNewMachineTypeDialog::CmDelete() {
  long id = SelectedLineId(*TypeList);
  if (id == 0) return;
  LiveLineCount machines;
  {
    TcbMachTable t(kMachineFile, 0, 0);
    t.FillListOfType(&machines, id);
  }
  // A file that cannot be read cannot show the type unused.
  if (!machines.Read()) {
    Stored(this, 0);
    return;
  }
  const bool used = machines.Count() > 0;
  if (used) {
    ShowMessage(this, kMsgTypeHasMachines);
    return;
  }
  if (!Confirmed(this, kMsgDeleteMachineType)) return;
  int deleted;
  {
    TcbMatyTable types(kTypeFile, 0, 0);
    deleted = types.DeleteById(id);
  }
  if (!Stored(this, deleted)) return;
  TypeList->DeleteString(TypeList->GetSelIndex());
}
