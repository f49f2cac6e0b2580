#include "storage/log_entry_dlg.h"

#include <string>

#include "app/users_lines.h"
#include "dbmodel/changecrit.h"
#include "dbmodel/idname.h"
#include "dbmodel/list_lines.h"
#include "resources/dialogs/logs.h"
#include "storage/log_common.h"

DEFINE_RESPONSE_TABLE1(TLogEntryDlg, TLangDlg)
  EV_CBN_SELCHANGE(IDC_LOG_ENTRY_MAIN_TYPE, EvMainTypeChange),
  EV_CBN_SELCHANGE(IDC_LOG_ENTRY_REASON1, EvReason1Change),
  EV_CBN_SELCHANGE(IDC_LOG_ENTRY_REASON2, EvReason2Change),
  EV_CBN_SELCHANGE(IDC_LOG_ENTRY_REASON3, EvReason3Change),
END_RESPONSE_TABLE;

void TLogEntryDlg::MakeEntryBoxes() {
  MainTypeCombo = new TComboBox(this, IDC_LOG_ENTRY_MAIN_TYPE, 261);
  for (int i = 0; i < 3; i++) ReasonCombos[i] = new TComboBox(this, IDC_LOG_ENTRY_REASON1 + i);
  NoteEdit = new TEdit(this, IDC_LOG_ENTRY_NOTE, 4001);
  EventEdit = new TEdit(this, IDC_LOG_ENTRY_EVENT, 51);
  DateStatic = new TStatic(this, IDC_LOG_ENTRY_DATE, 15);
  UserStatic = new TStatic(this, IDC_LOG_ENTRY_USER, 50);
  TimeStatic = new TStatic(this, IDC_LOG_ENTRY_TIME, 10);
}

void TLogEntryDlg::EvMainTypeChange() {
  MainType = 0;
  ReasonIds = {};
  std::string line = SelectedLineText(*MainTypeCombo, 299);
  if (line.find("@@") == std::string::npos) {
    for (TComboBox* box : ReasonCombos) box->ClearList();
    return;
  }
  MainType = ListLineId(line.c_str());
  FillReasonCombos(ReasonCombos, MainType);
}

void TLogEntryDlg::ReasonChange(int which) {
  ReasonIds[which] = ListLineId(SelectedLineText(*ReasonCombos[which], 299).c_str());
}

void FillReasonCombos(const std::array<TComboBox*, 3>& combos, long type) {
  TControlLines a(*combos[0]), b(*combos[1]), c(*combos[2]);
  TcbLogChangeTable t(kChangeCriteriaFile, 0, 0);
  t.FillThreeLists(&a, &b, &c, type);
  // A table that did not open leaves the boxes empty: each still gets its
  // empty line.
  for (TComboBox* box : combos) {
    if (box->GetCount() == 0) box->AddString("");
    box->SetSelIndex(0);
  }
}

void FillMainTypeCombo(TComboBox& combo) {
  {
    TcbLogTypeTable t(kLogTypesFile, 0, 0);
    TControlLines lines(combo);
    t.FillList(&lines);
  }
  combo.AddString("");
  combo.SetSelIndex(0);
}
