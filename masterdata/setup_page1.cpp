// Setup-sheet page 1; see setup_sheet_pages.h.
#include <algorithm>
#include <memory>
#include <string>

#include "app/users_dialogs.h"
#include "app/users_lines.h"
#include "appcore/globals.h"
#include "appcore/log_text.h"
#include "appcore/text_scan.h"
#include "dbmodel/counter.h"
#include "dbmodel/idname.h"
#include "masterdata/master_edit.h"
#include "masterdata/setup_sheet_pages.h"
#include "masterdata/sheet_fields.h"
#include "masterdata/sheet_print.h"
#include "masterdata/setup_sheet_editors.h"
#include "platform/msgbox.h"
#include "platform/ui/validator.h"
#include "resources/dialogs/setup_sheet_pages.h"

namespace {

constexpr int kLabels = 25;
constexpr std::size_t kNameMax = 49, kTextMax = 49;
// Dialog texts: caption, the two statics, the 25 captions, buttons 112-118.
enum : int {
  kTextCaption = 348,
  kTextTypeLabel = 349,
  kTextNameLabel = 350,
  kTextFirstCaption = 351,
  kTextFirstButton = 376,
};

// Page 2's half of a sheet: choices 5-8, texts, decimals and integers 6-10.
void CopyPage2(const TSheet05Record& from, TSheet05Record& to) {
  for (int k = 4; k < TSheet05Record::kChoices; ++k) to.SetComboIndex(k, from.ComboIndex(k));
  for (int k = 5; k < TSheet05Record::kTexts; ++k) {
    to.SetText(k, from.Text(k));
    to.SetDecimal(k, from.Decimal(k));
    to.SetInteger(k, from.Integer(k));
  }
}

void Trace(const char* line) {
  if (Globals->LoaderListBox) Globals->LoaderListBox->AddString(line);
}

}  // namespace

DEFINE_RESPONSE_TABLE1(TSetupPage1, TLangDlg)
  EV_CBN_SELCHANGE(IDC_PAGE1_TYPE, EvTypeChange),
  EV_LBN_SELCHANGE(IDC_PAGE1_SHEETS, EvSheetChange),
  EV_CBN_SELCHANGE(IDC_PAGE1_CHOICE1, EvComboChange1),
  EV_CBN_SELCHANGE(IDC_PAGE1_CHOICE2, EvComboChange2),
  EV_CBN_SELCHANGE(IDC_PAGE1_CHOICE3, EvComboChange3),
  EV_CBN_SELCHANGE(IDC_PAGE1_CHOICE4, EvComboChange4),
  EV_BN_CLICKED(IDC_PAGE1_EDIT_TYPES, CmEditSheetTypes),
  EV_BN_CLICKED(IDC_PAGE1_EDIT_CHOICE1, CmEditComboData1),
  EV_BN_CLICKED(IDC_PAGE1_EDIT_CHOICE2, CmEditComboData2),
  EV_BN_CLICKED(IDC_PAGE1_EDIT_CHOICE3, CmEditComboData3),
  EV_BN_CLICKED(IDC_PAGE1_EDIT_CHOICE4, CmEditComboData4),
  EV_BN_CLICKED(IDC_PAGE1_PRINT, CmPrint),
  EV_BN_CLICKED(IDC_PAGE1_ADD, Cm113),
  EV_BN_CLICKED(IDC_PAGE1_MODIFY, CmModify),
  EV_BN_CLICKED(IDC_PAGE1_DELETE, CmDelete),
  EV_BN_CLICKED(IDC_PAGE1_SETUP, CmSetupTexts),
  EV_BN_CLICKED(IDC_PAGE1_PAGE2, CmPage2),
END_RESPONSE_TABLE;

TSetupPage1::TSetupPage1(TWindow* parent, const TcbFileRecord* program)
    : TLangDlg(parent, IDD_SETUP_PAGE1),
      Program(program),
      Key(program ? program->LONG1 : 0),
      Sheet(std::make_unique<TSheet05Record>()) {
  TypeCombo = new TComboBox(this, IDC_PAGE1_TYPE, 51);
  SheetList = new TListBox(this, IDC_PAGE1_SHEETS);
  NameEdit = new TEdit(this, IDC_PAGE1_NAME, kNameMax + 1);
  for (int k = 0; k < kChoices; ++k) Choices[k] = new TComboBox(this, IDC_PAGE1_CHOICE1 + k, 210);
  for (int k = 0; k < kFields; ++k) {
    Texts[k] = new TEdit(this, IDC_PAGE1_TEXT1 + k, kTextMax + 1);
    Decimals[k] = new TEdit(this, IDC_PAGE1_DECIMAL1 + k, 10);
    Integers[k] = new TEdit(this, IDC_PAGE1_INTEGER1 + k, 15);
  }
  for (int k = 0; k < kFlags; ++k) Flags[k] = new TCheckBox(this, IDC_PAGE1_FLAG1 + k);
}

TSetupPage1::~TSetupPage1() = default;

void TSetupPage1::SetupWindow() {
  TLangDlg::SetupWindow();
  for (int k = 0; k < kFields; ++k) {
    Decimals[k]->SetValidator(new TFilterValidator("0-9-."));
    Integers[k]->SetValidator(new TFilterValidator("0-9-"));
  }
  SetCaptionText(kTextCaption);
  SetItemText(IDC_PAGE1_TYPE_LABEL, kTextTypeLabel);
  SetItemText(IDC_PAGE1_NAME_LABEL, kTextNameLabel);
  SetItemTexts(IDC_PAGE1_TEXT1_LABEL, kTextFirstCaption, kLabels);
  SetItemTexts(IDC_PAGE1_PRINT, kTextFirstButton, 7);
  {
    TSheetTypeTable types("SS000001.DBF", 0, 0);
    TControlLines<TComboBox> lines(*TypeCombo);
    types.FillList(&lines);
  }
  EvTypeChange();
}

void TSetupPage1::EvTypeChange() {
  const int sel = TypeCombo->GetSelIndex();
  const std::string line = sel >= 0 ? TypeCombo->GetString(sel) : std::string();
  if (line.find("@@") == std::string::npos) return;
  TypeId = ListLineId(line.c_str());
  for (int k = 0; k < kChoices; ++k) FillChoiceCombo(*Choices[k], TypeId, k + 1);

  std::unique_ptr<TSheet03Record> labels;
  {
    TSheet03Table table("SS000003.DBF", 0, 0);
    labels.reset(table.SeekId(TypeId));
  }
  if (!labels) return;
  for (int k = 0; k < kChoices; ++k) ::ShowWindow(GetDlgItem(IDC_PAGE1_EDIT_CHOICE1 + k), SW_SHOW);
  for (int n = 0; n < kLabels; ++n) {
    const std::string label = labels->Label(n);
    const int show = label.empty() ? SW_HIDE : SW_SHOW;
    ::ShowWindow(GetDlgItem(IDC_PAGE1_TEXT1_LABEL + n), show);
    if (n < 15) ::ShowWindow(GetDlgItem(IDC_PAGE1_TEXT1 + n), show);
    if (n > 20) {
      ::ShowWindow(GetDlgItem(IDC_PAGE1_CHOICE1 + n - 21), show);
      ::ShowWindow(GetDlgItem(IDC_PAGE1_EDIT_CHOICE1 + n - 21), show);
    }
    if (!label.empty()) SetDlgItemText(IDC_PAGE1_TEXT1_LABEL + n, label.c_str());
  }

  {
    TSheet05Table sheets("SS000005.DBF", 0, 0);
    TControlLines<TListBox> lines(*SheetList);
    sheets.FillSheetList(TypeId, Key, &lines);
  }
  if (SheetList->GetCount() <= 0) {
    // No sheet of this type: nothing is current, so Modify and Delete
    // cannot reach a sheet of the type shown before.
    TakeSheet(nullptr);
    return;
  }
  SheetList->SetSelIndex(0);
  EvSheetChange();
}

void TSetupPage1::EvSheetChange() {
  const int sel = SheetList->GetSelIndex();
  if (sel < 0) return;
  const long id = SheetListId(SheetList->GetString(sel).c_str());
  if (id == 0) return;
  std::unique_ptr<TSheet05Record> sheet;
  {
    TSheet05Table sheets("SS000005.DBF", 0, 0);
    sheet.reset(sheets.SeekId(id));
  }
  if (sheet) TakeSheet(std::move(sheet));
}

void TSetupPage1::TakeSheet(std::unique_ptr<TSheet05Record> sheet) {
  HasSheet = sheet != nullptr;
  Sheet = HasSheet ? std::move(sheet) : std::make_unique<TSheet05Record>();
  Page2Taken = false;
  if (HasSheet) {
    ShowSheet();
    return;
  }
  ChosenValue.fill(0);
  for (TComboBox* c : Choices) c->SetSelIndex(-1);
  for (int k = 0; k < kFields; ++k) {
    Texts[k]->SetText("");
    Decimals[k]->SetText("");
    Integers[k]->SetText("");
  }
  for (TCheckBox* f : Flags) f->Uncheck();
  NameEdit->SetText("");
}

void TSetupPage1::ShowSheet() {
  if (!Sheet) return;
  const TSheet05Record& s = *Sheet;
  for (int k = 0; k < kChoices; ++k) {
    ChosenValue[k] = s.ComboIndex(k);
    TComboBox& c = *Choices[k];
    for (int i = 0; i < c.GetCount(); ++i)
      if (ListLineId(c.GetString(i).c_str()) == ChosenValue[k]) {
        c.SetSelIndex(i);
        break;
      }
  }
  for (int k = 0; k < kFields; ++k) {
    Texts[k]->SetText(s.Text(k));
    Decimals[k]->SetText(SheetDecimalText(s.Decimal(k)).c_str());
    Integers[k]->SetText(std::to_string(s.Integer(k)).c_str());
  }
  for (int k = 0; k < kFlags; ++k) Flags[k]->SetCheck(s.Flag(k) ? BST_CHECKED : BST_UNCHECKED);
  NameEdit->SetText(s.NAME);
}

void TSetupPage1::ChooseValue(int k) {
  const int sel = Choices[k]->GetSelIndex();
  ChosenValue[k] = sel >= 0 ? ListLineId(Choices[k]->GetString(sel).c_str()) : 0;
}

bool TSetupPage1::ReadPage(TSheet05Record& r) {
  std::array<double, kFields> decimals{};
  std::array<long, kFields> integers{};
  for (int k = 0; k < kFields; ++k)
    if (!ReadSheetDecimal(*Decimals[k], decimals[k]) || !ReadSheetInteger(*Integers[k], integers[k])) return false;
  for (int k = 0; k < kChoices; ++k) r.SetComboIndex(k, ChosenValue[k]);
  for (int k = 0; k < kFields; ++k) {
    r.SetText(k, CutText(Texts[k]->GetText(), kTextMax).c_str());
    r.SetDecimal(k, decimals[k]);
    r.SetInteger(k, integers[k]);
  }
  for (int k = 0; k < kFlags; ++k) r.SetFlag(k, Flags[k]->GetCheck() == BST_CHECKED);
  r.SetFlag(6, false);
  return true;
}

void TSetupPage1::Cm113() {
  const std::string name = TypedName(*NameEdit, kNameMax);
  if (name.empty()) {
    MissingInput(*NameEdit);
    return;
  }
  auto sheet = std::make_unique<TSheet05Record>();
  if (!ReadPage(*sheet)) return;
  // Page 2's half only as the user confirmed it for this page; else the
  // new sheet starts with it empty.
  if (Page2Taken) CopyPage2(*Sheet, *sheet);
  Trace("TSetupPage1::Cm113 Ids being assigned");
  const long id = NextSetupSheetId();
  if (!Stored(this, id > 0)) return;
  sheet->SetId(0, id);
  sheet->SetId(1, TypeId);
  sheet->SetId(2, Key);
  sheet->SetName(name.c_str());
  Trace("TSetupPage1::Cm113 assigning misc. data");
  bool added;
  {
    TSheet05Table sheets("SS000005.DBF", 0, 0);
    added = sheets.AppendSheet(sheet.get()) != nullptr;
  }
  if (!Stored(this, added)) return;
  EvTypeChange();
}

void TSetupPage1::CmModify() {
  if (!HasSheet || Sheet->ID1 == 0) return;
  if (!ReadPage(*Sheet)) return;
  if (!RowStillThere<TSheet05Table>(this, "SS000005.DBF", "ID1", Sheet->ID1)) {
    EvTypeChange();
    return;
  }
  TSheet05Table sheets("SS000005.DBF", 0, 0);
  Stored(this, sheets.UpdateSheet(Sheet.get()));
}

void TSetupPage1::CmDelete() {
  const int sel = SheetList->GetSelIndex();
  if (sel < 0) return;
  const std::string line = SheetList->GetString(sel);
  const long id = SheetListId(line.c_str());
  if (id == 0) return;
  const std::string question =
      FormatLogValues(Globals->GetMessageText(kMsgDeleteSheet), {SheetLineName(line)});
  if (::MessageBox(GetHandle(), question.c_str(), Globals->CaptionText.c_str(), MB_YESNO | MB_ICONQUESTION) != IDYES)
    return;
  int deleted;
  {
    TSheet05Table sheets("SS000005.DBF", 0, 0);
    deleted = sheets.DeleteSheet(id);
  }
  if (!Stored(this, deleted)) return;
  SheetList->DeleteString(sel);
  if (SheetList->GetCount() <= 0) {
    TakeSheet(nullptr);
    return;
  }
  SheetList->SetSelIndex(std::max(sel - 1, 0));
  EvSheetChange();
}

void TSetupPage1::CmSetupTexts() {
  if (TypeId != 0 && EditPage1Labels(this, TypeId)) EvTypeChange();
}

void TSetupPage1::CmPage2() {
  if (TypeId == 0) return;
  if (TSetupPage2(this, Key, TypeId, Sheet.get()).Execute() == IDOK) Page2Taken = true;
}

void TSetupPage1::CmEditSheetTypes() {
  EditSheetTypes(this);
  {
    TSheetTypeTable types("SS000001.DBF", 0, 0);
    TControlLines<TComboBox> lines(*TypeCombo);
    types.FillList(&lines);
  }
  EvTypeChange();
}

void TSetupPage1::EditComboData(int k) { EditChoiceValues(this, TypeId, k + 1, *Choices[k]); }

void TSetupPage1::CmPrint() {
  if (!HasSheet) return;
  std::unique_ptr<TSheet03Record> labels1;
  std::unique_ptr<TSheet04Record> labels2;
  {
    TSheet03Table table("SS000003.DBF", 0, 0);
    labels1.reset(table.SeekId(TypeId));
  }
  {
    TSheet04Table table("SS000004.DBF", 0, 0);
    labels2.reset(table.SeekId(TypeId));
  }
  if (!labels1 || !labels2) return;
  // The type's name: the line's text in front of its id, blanks off.
  const int sel = TypeCombo->GetSelIndex();
  std::string typeName = sel >= 0 ? TypeCombo->GetString(sel) : std::string();
  typeName = typeName.substr(0, std::min<std::size_t>(typeName.find("@@"), 90));
  typeName.erase(typeName.find_last_not_of(' ') + 1);
  std::array<std::string, kChoices> values;
  for (int k = 0; k < kChoices; ++k) {
    const int i = Choices[k]->GetSelIndex();
    if (i < 0) continue;
    std::string text = Choices[k]->GetString(i);
    text = text.substr(0, std::min<std::size_t>(text.find("@@"), 59));
    text.erase(text.find_last_not_of(' ') + 1);
    values[k] = text;
  }
  TSheetPrint printout(Sheet.get(), Program, typeName, labels1.get(), values);
  SetCursor(nullptr, IDC_WAIT);
  Globals->GetPrinter().Print(this, printout, true);
  SetCursor(nullptr, IDC_ARROW);
}
