// The base of the program's dialogs: centres itself on the screen, gives
// Cancel the language's text and replaces the caption and control texts of
// its template with texts of the DIALOGS table where those exist.
#pragma once

#include "platform/ui/dialog.h"

class TLangDlg : public TDialog {
 public:
  TLangDlg(TWindow* parent, TResId resId) : TDialog(parent, resId) {}

  void SetupWindow() override;

  // Each leaves the template's text where the table has none.
  void SetCaptionText(int textId);
  void SetItemText(int controlId, int textId);
  void SetItemTexts(int firstControlId, int firstTextId, int count);
};

// Centres a window on the screen without changing its size or Z order.
void CenterOnScreen(TWindow& window);
// The DIALOGS text of an id, or null when there is none.
const char* DialogText(int textId);
