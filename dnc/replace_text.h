// The replacement texts of one side of a port: sixteen pairs of
// character-code lists ("65,66") in the port's row of TRAMOX01.DBF, the
// reception side in texts 1 to 32, the transmission side in 33 to 64.
// The port dialogs do not open it yet: their "Replacements..." buttons
// tell that it is to come.
#pragma once

#include "app/lang_dlg.h"
#include "dbmodel/dncset.h"
#include "platform/ui/edit.h"
#include "resources/dialogs/dncreplace.h"

class TReplaceTextDialog : public TLangDlg {
 public:
  static constexpr int kEdits = 32;
  static constexpr int kReception = 0;
  static constexpr int kTransmission = 1;

  // The side by selector (0 reception, else transmission) of the row of
  // that id (the port's).
  TReplaceTextDialog(TWindow* parent, int selector, long rowId);
  ~TReplaceTextDialog() override;

  // Shows the row's texts of the side; a port without a row gets an empty
  // one at once.
  void SetupWindow() override;
  // Stores the 32 texts, trimmed, into the row; a row that cannot be
  // written is told and the dialog stays.
  void CmOk() override;

  int Offset;
  TTramox01Record* Record = nullptr;  // owned
  int Selector;
  long RowId;
  TEdit* Edits[kEdits];
};
