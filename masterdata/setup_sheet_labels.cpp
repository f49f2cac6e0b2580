// The label editors of the setup sheets: one edit per label beside its
// caption. What was typed is kept whichever way the dialog is left (there
// is no Cancel), and a dialog whose texts did not change writes nothing.
#include <memory>

#include "app/users_dialogs.h"
#include "masterdata/setup_sheet_editors.h"
#include "resources/dialogs/setup_sheet_labels.h"

namespace {
constexpr const char* kPage1LabelFile = "SS000003.DBF";
constexpr const char* kPage2LabelFile = "SS000004.DBF";
// DIALOGS texts: captions of the dialogs and of the labels, OK of page 1.
constexpr int kPage1Caption = 403;
constexpr int kPage1FirstLabel = 302;
constexpr int kPage1Save = 327;
constexpr int kPage2Caption = 404;
constexpr int kPage2FirstLabel = 329;
constexpr UINT kLabelLimit = 21;  // with the terminating zero
constexpr size_t kLabelMax = 20;

// Five label edits in a row of the response table.
#define KV_LABEL_CHANGES(first)                                                                         \
  EV_EN_CHANGE((first), EvChange), EV_EN_CHANGE((first) + 1, EvChange), EV_EN_CHANGE((first) + 2, EvChange), \
      EV_EN_CHANGE((first) + 3, EvChange), EV_EN_CHANGE((first) + 4, EvChange)

// The label editor of the type's row of one page, on the caller's stack.
template <class Table, class Record, class Editor>
bool EditLabels(TWindow* parent, const char* file, long typeId) {
  if (typeId == 0) return false;
  std::unique_ptr<Record> row;
  {
    Table t(file, 0, 0);
    row.reset(t.SeekId(typeId));
  }
  if (!row) return false;
  Editor(parent, row.get()).Execute();
  return true;
}
}  // namespace

DEFINE_RESPONSE_TABLE1(TSetupLabelEditor, TDialog)
  EV_WM_CLOSE,
  KV_LABEL_CHANGES(IDC_SETUP_LABEL_1),
  KV_LABEL_CHANGES(IDC_SETUP_LABEL_6),
  KV_LABEL_CHANGES(IDC_SETUP_LABEL_11),
  KV_LABEL_CHANGES(IDC_SETUP_LABEL_16),
  KV_LABEL_CHANGES(IDC_SETUP_LABEL_21),
END_RESPONSE_TABLE;

TSetupLabelEditor::TSetupLabelEditor(TWindow* parent, int templateId, int count, TextIds texts)
    : TDialog(parent, templateId), Count(count), Texts(texts) {
  for (int n = 0; n < Count; n++) new TEdit(this, IDC_SETUP_LABEL_1 + n, kLabelLimit);
}

void TSetupLabelEditor::SetupWindow() {
  TDialog::SetupWindow();
  CentreOnScreen(*this);
  for (int n = 0; n < Count; n++) SetDlgItemText(IDC_SETUP_LABEL_1 + n, Label(n));
  if (const char* t = DialogText(Texts.caption)) SetCaption(t);
  if (const char* t = Texts.ok ? DialogText(Texts.ok) : nullptr) SetDlgItemText(IDOK, t);
  for (int n = 0; n < Count; n++)
    if (const char* t = DialogText(Texts.firstLabel + n)) SetDlgItemText(IDC_SETUP_LABEL_CAPTION_1 + n, t);
  // Showing the labels is no change of them.
  TextsChanged = 0;
}

void TSetupLabelEditor::EvChange() { TextsChanged = 1; }

bool TSetupLabelEditor::Save() {
  for (int n = 0; n < Count; n++) {
    char text[kLabelMax + 1];
    GetDlgItemText(IDC_SETUP_LABEL_1 + n, text, sizeof text);
    SetLabel(n, text);
  }
  bool written = WriteLabels() != 0;
  TextsChanged = 0;
  return Stored(this, written);
}

bool TSetupLabelEditor::CanClose() {
  if (TextsChanged) Save();
  return TDialog::CanClose();
}

void TSetupLabelEditor::EvClose() {
  if (CanClose()) Destroy(IDCANCEL);
}

void TSetupLabelEditor::CmCancel() { EvClose(); }

TSetupPage1Text::TSetupPage1Text(TWindow* parent, TSheet03Record* record)
    : TSetupLabelEditor(parent, IDD_SETUP_PAGE1_LABELS, TSheet03Record::kLabels,
                        {kPage1Caption, kPage1FirstLabel, kPage1Save}),
      Record(record) {}

int TSetupPage1Text::WriteLabels() {
  TSheet03Table t(kPage1LabelFile, 0, 0);
  return t.UpdateLabels(Record);
}

TSetupPage2Text::TSetupPage2Text(TWindow* parent, TSheet04Record* record)
    : TSetupLabelEditor(parent, IDD_SETUP_PAGE2_LABELS, TSheet04Record::kLabels, {kPage2Caption, kPage2FirstLabel, 0}),
      Record(record) {}

int TSetupPage2Text::WriteLabels() {
  TSheet04Table t(kPage2LabelFile, 0, 0);
  return t.UpdateLabels(Record);
}

bool EditPage1Labels(TWindow* parent, long typeId) {
  return EditLabels<TSheet03Table, TSheet03Record, TSetupPage1Text>(parent, kPage1LabelFile, typeId);
}

bool EditPage2Labels(TWindow* parent, long typeId) {
  return EditLabels<TSheet04Table, TSheet04Record, TSetupPage2Text>(parent, kPage2LabelFile, typeId);
}
