// The machine cycles editor and its floppy copies. Every text goes into its
// field whole or not at all: a text longer than its field, or an
// automatic value its field cannot hold, is refused with a message. Table
// writes that fail are told to the user.
#include "editor/cycle_edit.h"

#include <cmath>
#include <cstdlib>

#include "app/users_dialogs.h"
#include "app/users_lines.h"
#include "appcore/globals.h"
#include "appcore/message_ids.h"
#include "dbmodel/machine.h"
#include "editor/cycle_run.h"
#include "masterdata/master_edit.h"
#include "platform/file.h"
#include "platform/msgbox.h"
#include "platform/ui/validator.h"
#include "resources/dialogs/nctools.h"

const char* const kFloppyCycles = "A:\\KELVCYC3.DBF";
const char* const kFloppyParams = "A:\\KELVCYC4.DBF";

namespace {

const char* kCycles = "KELVCYC3.DBF";
const char* kParams = "KELVCYC4.DBF";

constexpr size_t kCodeField = 25;
constexpr size_t kHintField = 25;
constexpr size_t kNameField = 50;
// AUTO is N10.4: ten characters with the point and four decimals.
constexpr double kAutoMax = 99999.9999;
constexpr double kAutoMin = -9999.9999;

const int kFlagIds[8] = {IDC_CYCLES_REQUIRED,     IDC_CYCLES_LINE_BREAK,    IDC_CYCLES_PLUS_SIGN,
                         IDC_CYCLES_NEGATIVE,     IDC_CYCLES_BLANK,         IDC_CYCLES_AUTOMATIC,
                         IDC_CYCLES_ALPHANUMERIC, IDC_CYCLES_ALWAYS_ADDRESS};
const long kFlagBits[8] = {0x2, 0x4, 0x8, 0x10, 0x20, 0x40, 0x80, 0x100};
constexpr int kAutoBox = 5;

std::string DefinedLine(const TcbParamRecord& r) {
  return FormatText("P:%02ld - %-28s,%-110s @@%ld", r.PNUMBER, ListLineText(r.CODE).c_str(),
                    ListLineText(r.HINT).c_str(), r.ID);
}

std::string UndefinedLine(const TcbParamRecord& r) {
  std::string blank = Globals->GetMessageText(kMsgParamUndefined);
  return FormatText("P:%02ld - %-138s @@%ld", r.PNUMBER, blank.c_str(), r.ID);
}

void NotStored(TWindow* owner) { ShowMessage(owner, kMsgCycleNotStored, MB_OK | MB_ICONSTOP); }

// The number of an automatic value: a comma counts as the point; false for
// a text that is no number or does not fit the field.
bool ParseAuto(std::string text, double& value) {
  if (size_t c = text.find(','); c != std::string::npos) text[c] = '.';
  size_t b = text.find_first_not_of(' '), e = text.find_last_not_of(' ');
  if (b == std::string::npos) {
    value = 0;
    return true;
  }
  text = text.substr(b, e - b + 1);
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  if (*end || !std::isfinite(value)) return false;
  value = std::round(value * 10000) / 10000;
  return value >= kAutoMin && value <= kAutoMax;
}

}  // namespace

// ---- the cycles editor ---------------------------------------------------------------

DEFINE_RESPONSE_TABLE1(TEditCycles, TLangDlg)
  EV_BN_CLICKED(IDC_CYCLES_MODIFY, CmModifyParam),
  EV_BN_CLICKED(IDC_CYCLES_DELETE_CYCLE, CmDeleteCycle),
  EV_BN_CLICKED(IDC_CYCLES_CLEAR, CmClearParam),
  EV_BN_CLICKED(IDC_CYCLES_TEST, CmTestCycle),
  EV_BN_CLICKED(IDC_CYCLES_NEW, CmNewCycle),
  EV_BN_CLICKED(IDC_CYCLES_IMPORT, CmImportCycles),
  EV_BN_CLICKED(IDC_CYCLES_EXPORT, CmExportCycles),
  EV_CHILD_NOTIFY_AND_ID(IDC_CYCLES_REQUIRED, BN_CLICKED, CmFlagBit),
  EV_CHILD_NOTIFY_AND_ID(IDC_CYCLES_LINE_BREAK, BN_CLICKED, CmFlagBit),
  EV_CHILD_NOTIFY_AND_ID(IDC_CYCLES_PLUS_SIGN, BN_CLICKED, CmFlagBit),
  EV_CHILD_NOTIFY_AND_ID(IDC_CYCLES_NEGATIVE, BN_CLICKED, CmFlagBit),
  EV_CHILD_NOTIFY_AND_ID(IDC_CYCLES_BLANK, BN_CLICKED, CmFlagBit),
  EV_CHILD_NOTIFY_AND_ID(IDC_CYCLES_AUTOMATIC, BN_CLICKED, CmFlagBit),
  EV_CHILD_NOTIFY_AND_ID(IDC_CYCLES_ALPHANUMERIC, BN_CLICKED, CmFlagBit),
  EV_CHILD_NOTIFY_AND_ID(IDC_CYCLES_ALWAYS_ADDRESS, BN_CLICKED, CmFlagBit),
  EV_CBN_SELCHANGE(IDC_CYCLES_CYCLE, EvCycleSelChange),
  EV_LBN_SELCHANGE(IDC_CYCLES_PARAMS, EvParamSelChange),
END_RESPONSE_TABLE;

TEditCycles::TEditCycles(TWindow* parent, long machineType)
    : TLangDlg(parent, kResourceId), MachineType(machineType) {
  CycleBox = new TComboBox(this, IDC_CYCLES_CYCLE, 151);
  ParamList = new TListBox(this, IDC_CYCLES_PARAMS);
  NameEdit = new TEdit(this, IDC_CYCLES_NAME, kNameField + 1);
  CodeEdit = new TEdit(this, IDC_CYCLES_CODE, 26);
  HintEdit = new TEdit(this, IDC_CYCLES_HINT, 101);
  AutoEdit = new TEdit(this, IDC_CYCLES_AUTO_VALUE, 13);
  DeciEdit = new TEdit(this, IDC_CYCLES_DECIMALS, 3);
  DeciEdit->SetValidator(new TFilterValidator("0-9"));
  for (int i = 0; i < 8; i++) FlagBoxes[i] = new TCheckBox(this, kFlagIds[i]);
}

TEditCycles::~TEditCycles() = default;

void TEditCycles::SetupWindow() {
  TLangDlg::SetupWindow();
  ParamList->SendMessage(LB_SETHORIZONTALEXTENT, 1000);
  SetCaptionText(429);
  static const int kTexts[][2] = {
      {IDC_CYCLES_CYCLE_LABEL, 430},  {IDC_CYCLES_NEW, 431},           {IDC_CYCLES_NAME_LABEL, 432},
      {IDC_CYCLES_CODE_LABEL, 433},   {IDC_CYCLES_HINT_LABEL, 434},    {IDC_CYCLES_CLEAR, 435},
      {IDC_CYCLES_MODIFY, 436},       {IDC_CYCLES_DELETE_CYCLE, 437},  {IDC_CYCLES_REQUIRED, 438},
      {IDC_CYCLES_LINE_BREAK, 439},   {IDC_CYCLES_PLUS_SIGN, 440},     {IDC_CYCLES_NEGATIVE, 441},
      {IDC_CYCLES_BLANK, 442},        {IDC_CYCLES_AUTOMATIC, 443},     {IDC_CYCLES_DECIMALS_LABEL, 444},
      {IDC_CYCLES_TEST, 445},         {IDC_CYCLES_IMPORT, 446},        {IDC_CYCLES_EXPORT, 447},
      {IDC_CYCLES_ALPHANUMERIC, 527}, {IDC_CYCLES_ALWAYS_ADDRESS, 640}};
  for (const auto& t : kTexts) SetItemText(t[0], t[1]);
  RefillCycles();
  EvCycleSelChange();
}

void TEditCycles::RefillCycles() {
  TcbCycleTable t(kCycles, 0, 0);
  TControlLines lines(*CycleBox);
  t.FillList(MachineType, &lines);
  CycleBox->SetSelIndex(0);
}

long TEditCycles::SelectedCycleId() const { return SelectedLineId(*CycleBox); }

bool TEditCycles::Refuse(TEdit* edit, int messageId) {
  ShowMessage(this, messageId, MB_OK | MB_ICONINFORMATION);
  edit->SetFocus();
  return false;
}

void TEditCycles::EvCycleSelChange() {
  long cycle = SelectedCycleId();
  if (cycle == 0) return;
  TcbParamTable t(kParams, 0, 0);
  TControlLines lines(*ParamList);
  t.FillList(cycle, &lines);
  ParamList->SetSelIndex(0);
  EvParamSelChange();
}

void TEditCycles::EvParamSelChange() {
  ParamIndex = ParamList->GetSelIndex();
  long id = SelectedLineId(*ParamList);
  if (id == 0) return;
  Param.reset();
  {
    TcbParamTable t(kParams, 0, 0);
    Param.reset(t.FindById(id));
  }
  if (!Param) return;
  CodeEdit->SetWindowText(Param->CODE);
  HintEdit->SetWindowText(Param->HINT);
  DeciEdit->SetWindowText(std::to_string(Param->DECI).c_str());
  AutoEdit->SetWindowText(FormatDecimals(Param->AUTO, Param->DECI).c_str());
  for (TCheckBox* b : FlagBoxes) b->Uncheck();
  AutoEdit->ShowWindow(SW_HIDE);
  for (int i = 0; i < 8; i++)
    if (Param->FLAG & kFlagBits[i]) FlagBoxes[i]->Check();
  if (Param->FLAG & 0x40) AutoEdit->ShowWindow(SW_SHOW);
}

void TEditCycles::CmFlagBit(UINT id) {
  if (!Param) return;
  for (int i = 0; i < 8; i++) {
    if (kFlagIds[i] != static_cast<int>(id)) continue;
    // The box's state decides: a repeated notice cannot carry into other bits.
    bool on = FlagBoxes[i]->GetCheck() == BST_CHECKED;
    if (on) Param->FLAG |= kFlagBits[i];
    else Param->FLAG &= ~kFlagBits[i];
    if (i == kAutoBox) AutoEdit->ShowWindow(on ? SW_SHOW : SW_HIDE);
  }
}

void TEditCycles::CmModifyParam() {
  if (!Param) return;
  std::string code = CodeEdit->GetText(), hint = HintEdit->GetText();
  if (code.empty()) {
    CodeEdit->SetFocus();
    MessageBeep(static_cast<UINT>(-1));
    return;
  }
  if (code.size() > kCodeField) {
    Refuse(CodeEdit, kMsgCycleAddressTooLong);
    return;
  }
  if (hint.size() > kHintField) {
    Refuse(HintEdit, kMsgCycleHintTooLong);
    return;
  }
  double autoValue = 0;
  if (FlagBoxes[kAutoBox]->GetCheck() == BST_CHECKED && !ParseAuto(AutoEdit->GetText(), autoValue)) {
    Refuse(AutoEdit, kMsgCycleAutoInvalid);
    return;
  }
  TcbParamRecord r;
  r.OWNER = Param->OWNER;
  r.PNUMBER = Param->PNUMBER;
  r.ID = Param->ID;
  r.FLAG = Param->FLAG | 0x1;
  r.AUTO = autoValue;
  r.DECI = std::atol(DeciEdit->GetText().c_str());
  CopyCut(r.CODE, sizeof r.CODE, code.c_str());
  CopyCut(r.HINT, sizeof r.HINT, hint.c_str());
  // A parameter of a cycle another station deleted meanwhile is not brought
  // back to life: the user is told and sees the cycles as they are now. The
  // cycle's row is asked, as its Delete takes it first and then its parameters.
  if (!RowStillThere<TcbCycleTable>(this, kCycles, "ID", Param->OWNER)) {
    Param.reset();
    ParamList->ClearList();
    RefillCycles();
    EvCycleSelChange();
    return;
  }
  {
    TcbParamTable t(kParams, 0, 0);
    if (!t.Update(&r)) {
      NotStored(this);
      return;
    }
  }
  Param->FLAG = r.FLAG;
  int index = ParamIndex;
  ParamList->DeleteString(index);
  ParamList->InsertString(DefinedLine(r).c_str(), index);
  ParamList->SetSelIndex(index);
  EvParamSelChange();
}

void TEditCycles::CmClearParam() {
  if (!Param) return;
  if (ShowMessage(this, kMsgClearParam, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  TcbParamRecord r;
  r.OWNER = Param->OWNER;
  r.PNUMBER = Param->PNUMBER;
  r.ID = Param->ID;
  {
    TcbParamTable t(kParams, 0, 0);
    if (!t.Update(&r)) {
      NotStored(this);
      return;
    }
  }
  ParamList->DeleteString(ParamIndex);
  ParamList->InsertString(UndefinedLine(r).c_str(), ParamIndex);
  ParamList->SetSelIndex(0);
  EvParamSelChange();
}

void TEditCycles::CmDeleteCycle() {
  int index = CycleBox->GetSelIndex();
  long cycle = SelectedCycleId();
  if (index < 0 || cycle == 0) return;
  if (ShowMessage(this, kMsgDeleteCycle, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  bool ok;
  {
    TcbCycleTable t(kCycles, 0, 0);
    ok = t.DeleteById(cycle) != 0;
  }
  {
    TcbParamTable t(kParams, 0, 0);
    ok = t.DeleteOfOwner(cycle) != 0 && ok;
  }
  if (!ok) NotStored(this);
  CycleBox->DeleteString(index);
  CycleBox->SetSelIndex(0);
  ParamList->ClearList();
  // The parameter belonged to the deleted cycle: no box may change it now.
  Param.reset();
  for (int i = 0; i < 8; i++)
    if (i != kAutoBox) FlagBoxes[i]->Uncheck();
  for (TEdit* e : {CodeEdit, HintEdit, AutoEdit, DeciEdit}) e->SetWindowText("");
  EvCycleSelChange();
}

void TEditCycles::CmTestCycle() {
  long cycle = SelectedCycleId();
  if (cycle == 0) return;
  TcbParamRecord* params;
  {
    TcbParamTable t(kParams, 0, 0);
    params = t.ReadOfOwner(cycle);
  }
  TCycleRun run(this, params, TCycleRun::TestMode);
  run.Execute();
}

void TEditCycles::CmNewCycle() {
  std::string name = NameEdit->GetText();
  if (name.find_first_not_of(" \t") == std::string::npos) return;
  if (name.size() > kNameField) name.resize(kNameField);
  {
    TcbCycleTable t(kCycles, 0, 0);
    if (t.FindByConnAndName(MachineType, name.c_str())) {
      ShowMessage(this, kMsgCycleNameTaken, MB_OK | MB_ICONINFORMATION);
      return;
    }
  }
  long id;
  {
    TcbCycleTable t(kCycles, 0, 0);
    id = t.Add(MachineType, name.c_str());
  }
  bool ok = id > 0;
  if (ok) {
    TcbParamTable p(kParams, 0, 0);
    ok = p.Add(id) != 0;
    // A cycle without its parameters is of no use: take it back.
    if (!ok) {
      p.DeleteOfOwner(id);
      TcbCycleTable t(kCycles, 0, 0);
      t.DeleteById(id);
    }
  }
  if (!ok) {
    NotStored(this);
    return;
  }
  NameEdit->SetWindowText("");
  RefillCycles();
  EvCycleSelChange();
}

void TEditCycles::CmImportCycles() {
  TCycleImport dlg(this, MachineType);
  if (dlg.Execute() != IDOK) return;
  RefillCycles();
  EvCycleSelChange();
}

void TEditCycles::CmExportCycles() {
  long cycle = SelectedCycleId();
  std::unique_ptr<TcbCycleRecord> r;
  {
    TcbCycleTable t(kCycles, 0, 0);
    r.reset(t.FindById(cycle));
  }
  if (!r) return;
  TCycleExport dlg(this, r.get());
  dlg.Execute();
}

// ---- floppy copies -------------------------------------------------------------

DEFINE_RESPONSE_TABLE1(TCycleImport, TLangDlg)
  EV_COMMAND(IDOK, CopyCyclesFromFloppy),
END_RESPONSE_TABLE;

TCycleImport::TCycleImport(TWindow* parent, long machineType)
    : TLangDlg(parent, kResourceId), MachineType(machineType) {
  FloppyList = new TListBox(this, IDC_CYCLE_IMPORT_LIST);
}

void TCycleImport::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(422);
  SetItemText(IDC_CYCLE_IMPORT_LIST_LABEL, 423);
  SetItemText(IDOK, 424);
  SetItemText(IDCANCEL, 425);
  // Exported cycles carry no machine type.
  if (plat::file_exists(kFloppyCycles)) {
    TcbCycleTable t(kFloppyCycles, 0, 0);
    TControlLines lines(*FloppyList);
    t.FillList(0, &lines);
  }
  FloppyList->SetSelIndex(0);
}

void TCycleImport::CopyCyclesFromFloppy() {
  long id = SelectedLineId(*FloppyList);
  if (id == 0) return;
  std::unique_ptr<TcbCycleRecord> cycle;
  TcbParamRecord* params = nullptr;
  {
    TcbCycleTable t(kFloppyCycles, 0, 0);
    cycle.reset(t.FindById(id));
  }
  if (cycle && plat::file_exists(kFloppyParams)) {
    TcbParamTable p(kFloppyParams, 0, 0);
    params = p.ReadOfOwner(id);
  }
  if (cycle && params) {
    long newId;
    {
      TcbCycleTable t("KELVCYC3.DBF", 0, 0);
      newId = t.Add(MachineType, cycle->NAME);
    }
    bool ok = newId > 0;
    if (ok) {
      TcbParamTable p("KELVCYC4.DBF", 0, 0);
      ok = p.AppendCopy(newId, params) != 0;
    } else {
      FreeRecordList(params);
    }
    if (!ok) NotStored(this);
  } else {
    FreeRecordList(params);
  }
  Destroy(IDOK);
}

DEFINE_RESPONSE_TABLE1(TCycleExport, TLangDlg)
  EV_COMMAND(IDOK, CopyCyclesToFloppy),
END_RESPONSE_TABLE;

TCycleExport::TCycleExport(TWindow* parent, const TcbCycleRecord* cycle)
    : TLangDlg(parent, kResourceId), Cycle(cycle) {
  NameEdit = new TEdit(this, IDC_CYCLE_EXPORT_NAME, kNameField + 1);
  FloppyList = new TListBox(this, IDC_CYCLE_EXPORT_LIST);
}

void TCycleExport::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(417);
  SetItemText(IDC_CYCLE_EXPORT_NAME_LABEL, 418);
  SetItemText(IDC_CYCLE_EXPORT_LIST_LABEL, 419);
  SetItemText(IDOK, 420);
  SetItemText(IDCANCEL, 421);
  if (plat::file_exists(kFloppyCycles)) {
    TcbCycleTable t(kFloppyCycles, 0, 0);
    TControlLines lines(*FloppyList);
    t.FillList(0, &lines);
  }
  FloppyList->SetSelIndex(0);
}

void TCycleExport::CopyCyclesToFloppy() {
  std::string name = NameEdit->GetText();
  if (name.find_first_not_of(" \t") == std::string::npos) {
    NameEdit->SetFocus();
    MessageBeep(static_cast<UINT>(-1));
    return;
  }
  if (name.size() > kNameField) name.resize(kNameField);
  long newId = 0;
  {
    TcbCycleTable t(kFloppyCycles, 0, 0);
    if (!plat::file_exists(kFloppyCycles)) t.Create(kFloppyCycles);
    if (plat::file_exists(kFloppyCycles)) newId = t.Add(0, name.c_str());
  }
  bool ok = newId > 0;
  if (ok) {
    TcbParamRecord* params;
    {
      TcbParamTable p("KELVCYC4.DBF", 0, 0);
      params = p.ReadOfOwner(Cycle->ID);
    }
    if (params) {
      TcbParamTable p(kFloppyParams, 0, 0);
      if (!plat::file_exists(kFloppyParams)) p.Create(kFloppyParams);
      ok = plat::file_exists(kFloppyParams) && p.AppendCopy(newId, params) != 0;
      if (!plat::file_exists(kFloppyParams)) FreeRecordList(params);
    }
  }
  if (!ok) {
    // No disk, or a disk that is full or write-protected: the user may retry.
    NotStored(this);
    return;
  }
  Destroy(IDOK);
}

void RunMachineCycles(TWindow* parent, long machineId) {
  long type;
  {
    TcbMachTable t("KELVMA.DBF", 0, 0);
    std::unique_ptr<TcbMachRecord> m(t.FindById(machineId));
    if (!m) return;
    type = m->TYPE;
  }
  TEditCycles dlg(parent, type);
  dlg.Execute();
}
