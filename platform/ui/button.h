// Push buttons, check boxes and radio buttons. A click (the user's, or
// BM_CLICK) toggles an automatic check box, checks an automatic radio
// button and clears the others of its group, then tells the parent
// BN_CLICKED. A group runs from a control with WS_GROUP to the next one.
// Push-like boxes (BS_PUSHLIKE) behave the same; only their look differs.
#pragma once

#include "platform/ui/control.h"

class TButton : public TControl {
 public:
  TButton(TWindow* parent, int id, const char* text, int x, int y, int w, int h, bool isDefault = false);
  TButton(TWindow* parent, int resourceId);

  bool IsDefault() const { return (GetStyle() & BS_TYPEMASK) == BS_DEFPUSHBUTTON; }
  bool IsStateMessage(UINT msg) const override;
  LRESULT DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

 protected:
  const char* WindowClass() const override { return "BUTTON"; }
  // Caller holds the window's lock.
  int CheckState = BST_UNCHECKED;

 private:
  void Click();
};

class TGroupBox;

class TCheckBox : public TButton {
 public:
  TCheckBox(TWindow* parent, int id, const char* text, int x, int y, int w, int h, TGroupBox* group = nullptr);
  TCheckBox(TWindow* parent, int resourceId, TGroupBox* group = nullptr);

  UINT GetCheck() const;
  void SetCheck(UINT state);
  void Check() { SetCheck(BST_CHECKED); }
  void Uncheck() { SetCheck(BST_UNCHECKED); }
  void Toggle() { SetCheck(GetCheck() == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED); }
};

class TRadioButton : public TCheckBox {
 public:
  TRadioButton(TWindow* parent, int id, const char* text, int x, int y, int w, int h, TGroupBox* group = nullptr);
  TRadioButton(TWindow* parent, int resourceId, TGroupBox* group = nullptr);
};
