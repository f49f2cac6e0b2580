// The sheet types and the values of the choice fields, both on the small
// list template of the type dialogs, and the "!" buttons of the pages that
// open the value editor and refill their combo.
#include <memory>

#include "app/users_dialogs.h"
#include "app/users_lines.h"
#include "dbmodel/counter.h"
#include "dbmodel/idname.h"
#include "masterdata/master_edit.h"
#include "masterdata/setup_sheet_editors.h"
#include "resources/dialogs/users.h"

namespace {
constexpr const char* kTypeFile = "SS000001.DBF";
constexpr const char* kValueFile = "SS000002.DBF";
constexpr const char* kPage1LabelFile = "SS000003.DBF";
constexpr const char* kPage2LabelFile = "SS000004.DBF";
constexpr int kSheetTypesCaption = 300;
constexpr int kChoiceValuesCaption = 301;
constexpr int kFirstButtonText = 0;  // Add, Modify, Delete
constexpr UINT kNameLimit = 25;      // with the terminating zero
constexpr size_t kNameMax = 49;
constexpr size_t kRememberedLine = 50;

// A new type's label row of one page: a copy of the row with id 0 where a
// database has one, else empty labels.
template <class Table, class Record>
bool AddLabelRow(const char* file, long typeId) {
  Table t(file, 0, 0);
  std::unique_ptr<Record> row(t.SeekTemplate());
  t.Close();
  if (!row) row = std::make_unique<Record>();
  row->ID = typeId;
  return t.AppendLabels(row.get()) != nullptr;
}
}  // namespace

// ---- sheet types -----------------------------------------------------------------

DEFINE_RESPONSE_TABLE1(TSheetType, TLangDlg)
  EV_BN_CLICKED(IDC_TYPES_ADD, CmAdd),
  EV_BN_CLICKED(IDC_TYPES_RENAME, CmModify),
  EV_BN_CLICKED(IDC_TYPES_DELETE, CmDelete),
END_RESPONSE_TABLE;

TSheetType::TSheetType(TWindow* parent) : TLangDlg(parent, IDD_TYPES) {
  NameEdit = new TEdit(this, IDC_TYPES_NAME, kNameLimit);
  TypeList = new TListBox(this, IDC_TYPES_LIST);
}

void TSheetType::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(kSheetTypesCaption);
  SetItemTexts(IDC_TYPES_ADD, kFirstButtonText, 3);
  SetItemTexts(IDC_TYPES_LIST_LABEL, kTypeListLabelTexts, kTypeListLabelCount);
  FillTypes();
}

void TSheetType::FillTypes() {
  TSheetTypeTable types(kTypeFile, 0, 0);
  TControlLines lines(*TypeList);
  types.FillList(&lines);
}

bool TSheetType::AddLabelRows(long typeId) {
  bool page1 = AddLabelRow<TSheet03Table, TSheet03Record>(kPage1LabelFile, typeId);
  bool page2 = AddLabelRow<TSheet04Table, TSheet04Record>(kPage2LabelFile, typeId);
  return page1 && page2;
}

void TSheetType::CmAdd() {
  std::string name = TypedName(*NameEdit, kNameMax);
  if (name.empty()) {
    MissingInput(*NameEdit);
    return;
  }
  TcbIdAndNameRecord r;
  r.ID = NextSetupSheetTypeId();
  CopyCut(r.NAME, sizeof r.NAME, name.c_str());
  bool added;
  {
    TSheetTypeTable types(kTypeFile, 0, 0);
    added = r.ID > 0 && types.Add(&r) != nullptr;
  }
  if (!Stored(this, added)) return;
  FillTypes();
  NameEdit->SetText("");
  Stored(this, AddLabelRows(r.ID));
}

void TSheetType::CmModify() {
  long id = SelectedLineId(*TypeList);
  if (id == 0) return;
  std::string name = TypedName(*NameEdit, kNameMax);
  NameEdit->SetText("");
  if (!RowStillThere<TSheetTypeTable>(this, kTypeFile, "ID", id)) {
    FillTypes();
    return;
  }
  int renamed;
  {
    TSheetTypeTable types(kTypeFile, 0, 0);
    renamed = types.Rename(id, name.c_str());
  }
  Stored(this, renamed);
  FillTypes();
}

void TSheetType::CmDelete() {
  long id = SelectedLineId(*TypeList);
  if (id == 0) return;
  int deleted;
  {
    TSheetTypeTable types(kTypeFile, 0, 0);
    deleted = types.DeleteById(id);
  }
  if (!Stored(this, deleted)) return;
  TypeList->DeleteString(TypeList->GetSelIndex());
}

// ---- values of a choice field ----------------------------------------------------

DEFINE_RESPONSE_TABLE1(TSheetComboData, TLangDlg)
  EV_BN_CLICKED(IDC_TYPES_ADD, CmAdd),
  EV_BN_CLICKED(IDC_TYPES_RENAME, CmModify),
END_RESPONSE_TABLE;

TSheetComboData::TSheetComboData(TWindow* parent, long typeId, int fieldNo)
    : TLangDlg(parent, IDD_TYPES), TypeId(typeId), FieldNo(fieldNo) {
  NameEdit = new TEdit(this, IDC_TYPES_NAME, kNameLimit);
  ValueList = new TListBox(this, IDC_TYPES_LIST);
}

void TSheetComboData::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(kChoiceValuesCaption);
  SetItemTexts(IDC_TYPES_ADD, kFirstButtonText, 3);
  SetItemTexts(IDC_TYPES_LIST_LABEL, kTypeListLabelTexts, kTypeListLabelCount);
  FillValues();
  if (TWindow* del = ChildWithId(IDC_TYPES_DELETE)) del->ShowWindow(SW_HIDE);
}

void TSheetComboData::FillValues() {
  TSheet02Table values(kValueFile, 0, 0);
  TControlLines lines(*ValueList);
  values.FillListByIds(&lines, TypeId, FieldNo);
}

void TSheetComboData::CmAdd() {
  std::string name = TypedName(*NameEdit, kNameMax);
  if (name.empty()) return;
  TSheet02Record r;
  r.ID = NextSetupSheetValueId();
  r.ID2 = TypeId;
  r.ID3 = FieldNo;
  CopyCut(r.NAME, sizeof r.NAME, name.c_str());
  bool added;
  {
    TSheet02Table values(kValueFile, 0, 0);
    added = r.ID > 0 && values.AppendEntry(&r) != nullptr;
  }
  if (!Stored(this, added)) return;
  NameEdit->SetText("");
  FillValues();
}

void TSheetComboData::CmModify() {
  long id = SelectedLineId(*ValueList);
  if (id == 0) return;
  std::string name = TypedName(*NameEdit, kNameMax);
  if (name.empty()) return;
  if (!RowStillThere<TSheet02Table>(this, kValueFile, "ID", id)) {
    FillValues();
    return;
  }
  int renamed = 0;
  {
    TSheet02Table values(kValueFile, 0, 0);
    std::unique_ptr<TSheet02Record> r(values.SeekId(id));
    values.Close();
    if (r) {
      CopyCut(r->NAME, sizeof r->NAME, name.c_str());
      renamed = values.UpdateEntry(r.get());
    }
  }
  if (!Stored(this, renamed)) return;
  NameEdit->SetText("");
  FillValues();
}

// ---- what the pages call --------------------------------------------------------

void EditSheetTypes(TWindow* parent) { TSheetType(parent).Execute(); }

int EditChoiceValues(TWindow* parent, long typeId, int fieldNo, TComboBox& combo) {
  TSheetComboData(parent, typeId, fieldNo).Execute();
  int shown = combo.GetSelIndex();
  std::string remembered = shown >= 0 ? combo.GetString(shown).substr(0, kRememberedLine) : std::string();
  {
    TSheet02Table values(kValueFile, 0, 0);
    TControlLines lines(combo);
    values.FillListByIds(&lines, typeId, fieldNo);
  }
  if (remembered.empty() || combo.SetSelString(remembered.c_str(), -1) < 0) combo.SetSelIndex(0);
  return combo.GetSelIndex();
}
