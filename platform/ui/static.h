// Static texts (also icon and bitmap statics) and group boxes.
#pragma once

#include "platform/ui/control.h"

class TStatic : public TControl {
 public:
  TStatic(TWindow* parent, int id, const char* title, int x, int y, int w, int h, UINT textLimit = 0);
  TStatic(TWindow* parent, int resourceId, UINT textLimit = 0);

  using TWindow::GetText;
  void SetText(const char* text) { SetWindowText(text); }
  int GetText(char* buf, int size) const { return GetWindowText(buf, size); }
  int GetTextLen() const { return GetWindowTextLength(); }
  void Clear() { SetText(""); }

 protected:
  const char* WindowClass() const override { return "STATIC"; }
  UINT TextLimit;  // the buffer size a caller reads with, the zero included
};

class TGroupBox : public TControl {
 public:
  TGroupBox(TWindow* parent, int id, const char* text, int x, int y, int w, int h);
  TGroupBox(TWindow* parent, int resourceId);

 protected:
  const char* WindowClass() const override { return "BUTTON"; }
};
