// Static texts and group boxes.
#include "platform/ui/static.h"

TStatic::TStatic(TWindow* parent, int id, const char* title, int x, int y, int w, int h, UINT textLimit)
    : TControl(parent, id, title, x, y, w, h), TextLimit(textLimit) {
  Attr.Style |= SS_LEFT;
}

TStatic::TStatic(TWindow* parent, int resourceId, UINT textLimit) : TControl(parent, resourceId), TextLimit(textLimit) {}

TGroupBox::TGroupBox(TWindow* parent, int id, const char* text, int x, int y, int w, int h)
    : TControl(parent, id, text, x, y, w, h) {
  Attr.Style |= BS_GROUPBOX;
}

TGroupBox::TGroupBox(TWindow* parent, int resourceId) : TControl(parent, resourceId) {}
