// The options of block renumbering: number format, interval, preceding
// "N", the characters of lines that get no number, start number, start
// line and restart value. It shows and stores the process's preferences
// and keeps them in the preference file.
#pragma once

#include "app/lang_dlg.h"
#include "platform/ui/button.h"
#include "platform/ui/combobox.h"
#include "platform/ui/edit.h"
#include "resources/dialogs/nctools.h"

class TLineOptionDialog : public TLangDlg {
 public:
  static constexpr int kResourceId = IDD_LINE_NUMBERS;

  explicit TLineOptionDialog(TWindow* parent);

  void SetupWindow() override;
  void CmOk() override;
  void EvFormatChange();
  void EvIntervalChange();

  TComboBox* FormatList;
  TComboBox* IntervalList;
  TCheckBox* PrecedingBox;
  TEdit* ExclusionEdit;
  TEdit* StartNumberEdit;
  TEdit* StartLineEdit;
  TEdit* RestartEdit;

 private:
  // The number of an edit; false (focus on it) when it is empty.
  bool TakeNumber(TEdit* edit, int& value);

  DECLARE_RESPONSE_TABLE(TLineOptionDialog);
};
