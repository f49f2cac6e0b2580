// The base of the program's dialogs: centres itself on the screen, gives
// Cancel the language's text, and lets derived dialogs take their caption
// and control texts from the DIALOGS table by id.
#pragma once

#include "platform/ui/dialog.h"

class TLangDlg : public TDialog {
 public:
  TLangDlg(TWindow* parent, TResId resId) : TDialog(parent, resId) {}

  void SetupWindow() override;

  // A text id without a text leaves the resource's own text.
  void SetCaptionText(int textId);
  void SetItemText(int controlId, int textId);
  void SetItemTexts(int firstControlId, int firstTextId, int count);
};

// Moves a window to the middle of the screen without changing its size or
// place in the z-order (a window larger than the screen goes negative).
void CentreOnScreen(TWindow& window);
// The DIALOGS text of an id, or null when there is none.
const char* DialogText(int textId);
