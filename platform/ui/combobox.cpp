// Combo boxes: lines, selection and the text a drop-down list shows.
#include "platform/ui/combobox.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/ui/ctlcolor.h"
#include "platform/ui/dc.h"
#include "platform/ui/listbox.h"

TComboBox::TComboBox(TWindow* parent, int id, int x, int y, int w, int h, UINT style, UINT textLimit)
    : TControl(parent, id, nullptr, x, y, w, h), InitialLimit(textLimit > 1 ? static_cast<int>(textLimit) - 1 : 0) {
  Attr.Style |= style | WS_TABSTOP;
}

TComboBox::TComboBox(TWindow* parent, int resourceId, UINT textLimit)
    : TControl(parent, resourceId), InitialLimit(textLimit > 1 ? static_cast<int>(textLimit) - 1 : 0) {}

void TComboBox::SetupWindow() {
  TControl::SetupWindow();
  if (InitialLimit) SendMessage(CB_LIMITTEXT, InitialLimit);
  int font = FontHeight();
  SendMessage(CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), font);
  SendMessage(CB_SETITEMHEIGHT, 0, font);
  if (!IsOwnerDrawn()) return;
  // The field (-1) and the list's items (0), each asked once.
  for (int item : {-1, 0}) {
    MEASUREITEMSTRUCT mis{ODT_COMBOBOX, static_cast<UINT>(GetId()), static_cast<UINT>(item),
                          static_cast<UINT>(GetClientRect().Width()), static_cast<UINT>(font), 0};
    if (HWND parent = GetParent()) ::SendMessage(parent, WM_MEASUREITEM, GetId(), reinterpret_cast<LPARAM>(&mis));
    SendMessage(CB_SETITEMHEIGHT, static_cast<WPARAM>(item), std::clamp<LPARAM>(mis.itemHeight, 1, 255));
  }
}

bool TComboBox::IsOwnerDrawn() const { return GetStyle() & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE); }

bool TComboBox::KeepsText() const {
  UINT style = GetStyle();
  return !(style & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE)) || (style & CBS_HASSTRINGS);
}

int TComboBox::FontHeight() const {
  TMemoryDC dc;
  if (HFONT f = plat::control_font(Handle)) dc.SelectObject(f);
  TEXTMETRIC tm{};
  dc.GetTextMetrics(tm);
  return std::max(1, static_cast<int>(tm.tmHeight));
}

void TComboBox::Paint(TDC& dc, bool erase, TRect& rect) {
  TControl::Paint(dc, erase, rect);
  if (!IsOwnerDrawn()) return;
  // The field: the client less the drop-down button, as high as its item.
  const int button = 17;
  TRect client = GetClientRect();
  int height = static_cast<int>(SendMessage(CB_GETITEMHEIGHT, static_cast<WPARAM>(-1)));
  TRect field(0, 0, std::max(0, client.Width() - button), std::min(client.Height(), height + 6));
  UINT state = ODS_COMBOBOXEDIT | (::GetFocus() == Handle ? ODS_SELECTED | ODS_FOCUS : 0);
  int sel = GetSelIndex();
  if (sel >= 0) plat::draw_combo_item(Handle, sel, dc, field, state);
}

namespace plat {

bool draw_combo_item(HWND combo, int index, TDC& dc, const TRect& rc, UINT state) {
  auto* cb = dynamic_cast<TComboBox*>(window_object(combo));
  if (!cb || index < 0 || index >= cb->GetCount()) return false;
  DRAWITEMSTRUCT dis{ODT_COMBOBOX,
                     static_cast<UINT>(cb->GetId()),
                     static_cast<UINT>(index),
                     ODA_DRAWENTIRE,
                     state,
                     combo,
                     dc.GetHDC(),
                     rc,
                     static_cast<uintptr_t>(cb->GetItemData(index))};
  if (HFONT f = control_font(combo)) dc.SelectObject(f);
  if (HWND parent = cb->GetParent()) ::SendMessage(parent, WM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
  return true;
}

}  // namespace plat

int TComboBox::AddString(const char* text) { return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text))); }
int TComboBox::InsertString(const char* text, int index) {
  return static_cast<int>(SendMessage(CB_INSERTSTRING, index, reinterpret_cast<LPARAM>(text)));
}
int TComboBox::DeleteString(int index) { return static_cast<int>(SendMessage(CB_DELETESTRING, index)); }
void TComboBox::ClearList() { SendMessage(CB_RESETCONTENT); }
int TComboBox::GetCount() const { return Handle ? static_cast<int>(::SendMessage(Handle, CB_GETCOUNT, 0, 0)) : CB_ERR; }
int TComboBox::GetSelIndex() const { return Handle ? static_cast<int>(::SendMessage(Handle, CB_GETCURSEL, 0, 0)) : CB_ERR; }
int TComboBox::SetSelIndex(int index) { return static_cast<int>(SendMessage(CB_SETCURSEL, index)); }

std::string TComboBox::GetString(int index) const {
  if (!Ref) return {};
  std::lock_guard lock(Ref->mu);
  if (index < 0 || index >= static_cast<int>(Items.size())) return {};
  return Items[index].text;
}

int TComboBox::GetString(char* buf, int index, int size) const {
  if (index < 0 || index >= GetCount()) {
    plat::copy_text("", buf, size);
    return CB_ERR;
  }
  return plat::copy_text(GetString(index), buf, size);
}

void TComboBox::SetText(const char* text) { SetWindowText(text); }

int TComboBox::FindString(const char* prefix, int startIndex) const {
  return Handle ? static_cast<int>(::SendMessage(Handle, CB_FINDSTRING, startIndex, reinterpret_cast<LPARAM>(prefix)))
                : CB_ERR;
}

int TComboBox::SetSelString(const char* prefix, int startIndex) {
  return static_cast<int>(SendMessage(CB_SELECTSTRING, startIndex, reinterpret_cast<LPARAM>(prefix)));
}

LPARAM TComboBox::GetItemData(int index) const { return Handle ? ::SendMessage(Handle, CB_GETITEMDATA, index, 0) : CB_ERR; }
int TComboBox::SetItemData(int index, LPARAM data) { return static_cast<int>(SendMessage(CB_SETITEMDATA, index, data)); }

int TComboBox::GetTextLimit() const {
  if (!Ref) return InitialLimit;
  std::lock_guard lock(Ref->mu);
  return TextLimit;
}

void TComboBox::UserSelect(int index) {
  if (!Handle || !IsWindowEnabled()) return;
  if (SetSelIndex(index) < 0) return;
  NotifyParent(CBN_SELCHANGE);
}

bool TComboBox::IsStateMessage(UINT msg) const {
  return (msg >= CB_GETEDITSEL && msg <= CB_FINDSTRINGEXACT) || TControl::IsStateMessage(msg);
}

int TComboBox::FindLine(const char* text, int start) const {
  int n = static_cast<int>(Items.size());
  if (n == 0 || !KeepsText()) return CB_ERR;
  std::string key = text ? text : "";
  int from = (start < 0 || start >= n) ? 0 : start + 1;
  for (int k = 0; k < n; ++k) {
    int i = (from + k) % n;
    if (plat::starts_with_nocase(Items[i].text, key)) return i;
  }
  return CB_ERR;
}

void TComboBox::ShowSelection() {
  // A drop-down list shows the selected line, or nothing.
  if ((Ref->style & CBS_TYPEMASK) == CBS_DROPDOWNLIST || Sel >= 0)
    Ref->text = Sel >= 0 ? Items[Sel].text : std::string();
}

LRESULT TComboBox::DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  plat::WindowRef ref = Ref;
  if (!ref) return CB_ERR;
  std::lock_guard lock(ref->mu);
  int n = static_cast<int>(Items.size());
  int index = static_cast<int>(static_cast<intptr_t>(wp));
  const char* text = reinterpret_cast<const char*>(lp);
  switch (msg) {
    case CB_ADDSTRING:
    case CB_INSERTSTRING: {
      // Owner-drawn without strings: the value itself is the item.
      Item item = KeepsText() ? Item{text ? text : "", 0} : Item{std::string(), lp};
      int at;
      if (msg == CB_ADDSTRING && (ref->style & CBS_SORT) && KeepsText()) {
        at = 0;
        while (at < n && plat::compare_lines(Items[at].text, item.text) <= 0) ++at;
      } else if (msg == CB_INSERTSTRING && index >= 0) {
        if (index > n) return CB_ERR;
        at = index;
      } else {
        at = n;
      }
      Items.insert(Items.begin() + at, std::move(item));
      if (Sel >= at) ++Sel;
      return at;
    }
    case CB_DELETESTRING:
      if (index < 0 || index >= n) return CB_ERR;
      Items.erase(Items.begin() + index);
      if (Sel == index) {
        Sel = -1;
        ShowSelection();
      } else if (Sel > index) {
        --Sel;
      }
      return n - 1;
    case CB_RESETCONTENT:
      Items.clear();
      Sel = -1;
      if ((ref->style & CBS_TYPEMASK) == CBS_DROPDOWNLIST) ref->text.clear();
      return 0;
    case CB_GETCOUNT:
      return n;
    case CB_GETCURSEL:
      return Sel;
    case CB_SETCURSEL:
      if (index < 0 || index >= n) {
        Sel = -1;
        ShowSelection();
        return CB_ERR;
      }
      Sel = index;
      ShowSelection();
      return index;
    case CB_GETLBTEXT:
      if (index < 0 || index >= n || !text) return CB_ERR;
      if (!KeepsText()) {
        std::memcpy(reinterpret_cast<char*>(lp), &Items[index].data, sizeof(LPARAM));
        return sizeof(LPARAM);
      }
      std::memcpy(reinterpret_cast<char*>(lp), Items[index].text.c_str(), Items[index].text.size() + 1);
      return static_cast<LRESULT>(Items[index].text.size());
    case CB_GETLBTEXTLEN:
      if (index < 0 || index >= n) return CB_ERR;
      return KeepsText() ? static_cast<LRESULT>(Items[index].text.size()) : sizeof(LPARAM);
    case CB_FINDSTRING:
      return FindLine(text, index);
    case CB_FINDSTRINGEXACT: {
      if (!KeepsText()) return CB_ERR;
      for (int k = 0; k < n; ++k) {
        int i = ((index < 0 || index >= n ? 0 : index + 1) + k) % n;
        if (plat::compare_lines(Items[i].text, text ? text : "") == 0) return i;
      }
      return CB_ERR;
    }
    case CB_SELECTSTRING: {
      int i = FindLine(text, index);
      if (i >= 0) {
        Sel = i;
        ShowSelection();
      }
      return i;
    }
    case CB_LIMITTEXT:
      TextLimit = static_cast<int>(wp);
      return TRUE;
    case CB_GETITEMDATA:
      if (index < 0 || index >= n) return CB_ERR;
      return Items[index].data;
    case CB_SETITEMDATA:
      if (index < 0 || index >= n) return CB_ERR;
      Items[index].data = lp;
      return 0;
    case CB_SETITEMHEIGHT:
      if (lp <= 0 || lp > 255) return CB_ERR;
      (index == -1 ? FieldHeight : ItemHeight) = static_cast<int>(lp);
      return 0;
    case CB_GETITEMHEIGHT: {
      int h = index == -1 ? FieldHeight : ItemHeight;
      return h > 0 ? h : 16;
    }
    case WM_SETTEXT:
      // A drop-down list has no field of its own to write into.
      if ((ref->style & CBS_TYPEMASK) == CBS_DROPDOWNLIST) return CB_ERR;
      return TControl::DefWindowProc(msg, wp, lp);
    default:
      return TControl::DefWindowProc(msg, wp, lp);
  }
}
