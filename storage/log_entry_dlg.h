// The boxes of one version-log entry, which the entry dialog (TAddToLog)
// and the log viewer (TLogView) both show: the main type, three reasons
// for change, the event text and the note, and the date, user and time
// statics. Choosing a main type fills the reasons with its criteria.
#pragma once

#include <array>

#include "app/lang_dlg.h"
#include "platform/ui/combobox.h"
#include "platform/ui/edit.h"
#include "platform/ui/static.h"

class TLogEntryDlg : public TLangDlg {
 public:
  TLogEntryDlg(TWindow* parent, int templateId) : TLangDlg(parent, templateId) {}

  void EvMainTypeChange();
  void EvReason1Change() { ReasonChange(0); }
  void EvReason2Change() { ReasonChange(1); }
  void EvReason3Change() { ReasonChange(2); }

  TComboBox* MainTypeCombo = nullptr;
  std::array<TComboBox*, 3> ReasonCombos{};
  TEdit* NoteEdit = nullptr;
  TEdit* EventEdit = nullptr;
  TStatic* DateStatic = nullptr;
  TStatic* UserStatic = nullptr;
  TStatic* TimeStatic = nullptr;
  long MainType = 0;  // the chosen main type's id; 0 for none
  std::array<long, 3> ReasonIds{};

 protected:
  // Makes the entry's boxes; a dialog calls it where they stand among its
  // other controls.
  void MakeEntryBoxes();

 protected:
  DECLARE_RESPONSE_TABLE(TLogEntryDlg);

 private:
  void ReasonChange(int which);
};

// Fills the three reason combos with the criteria of a type and an empty
// line each, the empty line selected.
void FillReasonCombos(const std::array<TComboBox*, 3>& combos, long type);
// The main-type combo: every log type and an empty line, the empty line
// selected.
void FillMainTypeCombo(TComboBox& combo);
