// List boxes: lines, sorting, searching, selection and item data.
#include "platform/ui/listbox.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/ui/ctlcolor.h"
#include "platform/ui/dc.h"

namespace plat {

namespace {
unsigned char fold(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 32);
  return c;
}
}  // namespace

int compare_lines(const std::string& a, const std::string& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = fold(static_cast<unsigned char>(a[i])), y = fold(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool starts_with_nocase(const std::string& text, const std::string& prefix) {
  if (prefix.size() > text.size()) return false;
  return compare_lines(text.substr(0, prefix.size()), prefix) == 0;
}

}  // namespace plat

TListBox::TListBox(TWindow* parent, int id, int x, int y, int w, int h) : TControl(parent, id, nullptr, x, y, w, h) {
  Attr.Style |= LBS_STANDARD | WS_TABSTOP;
}

TListBox::TListBox(TWindow* parent, int resourceId) : TControl(parent, resourceId) {}

bool TListBox::KeepsText() const {
  UINT style = GetStyle();
  return !(style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) || (style & LBS_HASSTRINGS);
}

int TListBox::AddString(const char* text) { return static_cast<int>(SendMessage(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text))); }
int TListBox::InsertString(const char* text, int index) {
  return static_cast<int>(SendMessage(LB_INSERTSTRING, index, reinterpret_cast<LPARAM>(text)));
}
int TListBox::DeleteString(int index) { return static_cast<int>(SendMessage(LB_DELETESTRING, index)); }
void TListBox::ClearList() { SendMessage(LB_RESETCONTENT); }
int TListBox::GetCount() const { return Handle ? static_cast<int>(::SendMessage(Handle, LB_GETCOUNT, 0, 0)) : LB_ERR; }
int TListBox::GetSelIndex() const { return Handle ? static_cast<int>(::SendMessage(Handle, LB_GETCURSEL, 0, 0)) : LB_ERR; }
int TListBox::SetSelIndex(int index) { return static_cast<int>(SendMessage(LB_SETCURSEL, index)); }
int TListBox::GetSelCount() const { return Handle ? static_cast<int>(::SendMessage(Handle, LB_GETSELCOUNT, 0, 0)) : LB_ERR; }
int TListBox::GetSelIndexes(int* indexes, int maxCount) const {
  return Handle ? static_cast<int>(::SendMessage(Handle, LB_GETSELITEMS, maxCount, reinterpret_cast<LPARAM>(indexes)))
                : LB_ERR;
}
std::vector<int> TListBox::GetSelIndexes() const {
  std::vector<int> out(static_cast<size_t>(std::max(0, GetSelCount())));
  if (!out.empty()) out.resize(static_cast<size_t>(std::max(0, GetSelIndexes(out.data(), static_cast<int>(out.size())))));
  return out;
}
int TListBox::SetSel(int index, bool select) { return static_cast<int>(SendMessage(LB_SETSEL, select, index)); }
bool TListBox::IsExtendedSel() const { return GetStyle() & LBS_EXTENDEDSEL; }

std::string TListBox::GetString(int index) const {
  if (!Ref) return {};
  std::lock_guard lock(Ref->mu);
  if (index < 0 || index >= static_cast<int>(Items.size())) return {};
  return Items[index].text;
}

int TListBox::GetString(char* buf, int index, int size) const {
  if (!Ref) return LB_ERR;
  {
    std::lock_guard lock(Ref->mu);
    if (index < 0 || index >= static_cast<int>(Items.size())) {
      plat::copy_text("", buf, size);
      return LB_ERR;
    }
  }
  return plat::copy_text(GetString(index), buf, size);
}

int TListBox::GetStringLen(int index) const {
  return Handle ? static_cast<int>(::SendMessage(Handle, LB_GETTEXTLEN, index, 0)) : LB_ERR;
}

int TListBox::GetSelString(char* buf, int size) const {
  int sel = GetSelIndex();
  if (sel < 0) {
    plat::copy_text("", buf, size);
    return LB_ERR;
  }
  return GetString(buf, sel, size);
}

int TListBox::FindString(const char* prefix, int startIndex) const {
  return Handle ? static_cast<int>(::SendMessage(Handle, LB_FINDSTRING, startIndex, reinterpret_cast<LPARAM>(prefix)))
                : LB_ERR;
}

int TListBox::FindExactString(const char* text, int startIndex) const {
  return Handle ? static_cast<int>(::SendMessage(Handle, LB_FINDSTRINGEXACT, startIndex, reinterpret_cast<LPARAM>(text)))
                : LB_ERR;
}

int TListBox::SetSelString(const char* prefix, int startIndex) {
  return static_cast<int>(SendMessage(LB_SELECTSTRING, startIndex, reinterpret_cast<LPARAM>(prefix)));
}

int TListBox::GetTopIndex() const { return Handle ? static_cast<int>(::SendMessage(Handle, LB_GETTOPINDEX, 0, 0)) : 0; }
int TListBox::SetTopIndex(int index) { return static_cast<int>(SendMessage(LB_SETTOPINDEX, index)); }
void TListBox::SetHorizontalExtent(int extent) { SendMessage(LB_SETHORIZONTALEXTENT, extent); }
int TListBox::GetHorizontalExtent() const {
  return Handle ? static_cast<int>(::SendMessage(Handle, LB_GETHORIZONTALEXTENT, 0, 0)) : 0;
}
LPARAM TListBox::GetItemData(int index) const { return Handle ? ::SendMessage(Handle, LB_GETITEMDATA, index, 0) : LB_ERR; }
int TListBox::SetItemData(int index, LPARAM data) { return static_cast<int>(SendMessage(LB_SETITEMDATA, index, data)); }

void TListBox::UserSelect(int index, UINT keys) {
  if (!Handle || !IsWindowEnabled()) return;
  if (!IsExtendedSel()) {
    SetSelIndex(index);
  } else if (plat::WindowRef ref = Ref) {
    std::lock_guard lock(ref->mu);
    int n = static_cast<int>(Items.size());
    if (index < 0 || index >= n) return;
    if (!(keys & MK_CONTROL)) SelectRange(0, n - 1, false);
    if (keys & MK_SHIFT) SelectRange(Anchor >= 0 ? Anchor : index, index, true);
    else Items[index].selected = !(keys & MK_CONTROL) || !Items[index].selected;
    if (!(keys & MK_SHIFT) || Anchor < 0) Anchor = index;
    Sel = index;
  }
  if (GetStyle() & LBS_NOTIFY) NotifyParent(LBN_SELCHANGE);
}

void TListBox::UserSelectLines(const std::vector<int>& lines, int caret) {
  if (!Handle || !IsWindowEnabled() || !IsExtendedSel()) return;
  if (plat::WindowRef ref = Ref) {
    std::lock_guard lock(ref->mu);
    int n = static_cast<int>(Items.size());
    SelectRange(0, n - 1, false);
    for (int i : lines)
      if (i >= 0 && i < n) Items[i].selected = true;
    if (caret >= 0 && caret < n) Sel = Anchor = caret;
  }
  if (GetStyle() & LBS_NOTIFY) NotifyParent(LBN_SELCHANGE);
}

void TListBox::SelectRange(int from, int to, bool select) {
  if (from > to) std::swap(from, to);
  for (int i = std::max(0, from); i <= to && i < static_cast<int>(Items.size()); ++i) Items[i].selected = select;
}

void TListBox::UserDoubleClick(int index) {
  if (!Handle || !IsWindowEnabled()) return;
  UserSelect(index);
  if (GetStyle() & LBS_NOTIFY) NotifyParent(LBN_DBLCLK);
}

bool TListBox::IsStateMessage(UINT msg) const {
  return (msg >= LB_ADDSTRING && msg <= LB_FINDSTRINGEXACT) || msg == KV_LB_ADDSTRINGCOPY ||
         msg == KV_LB_INSERTSTRINGCOPY || TControl::IsStateMessage(msg);
}

int TListBox::Insert(const char* text, LPARAM value, int index, bool sorted) {
  Item item;
  if (KeepsText()) item.text = text ? text : "";
  else item.data = value;  // owner-drawn: the value itself is the line
  int n = static_cast<int>(Items.size());
  if (sorted && KeepsText()) {
    index = 0;
    while (index < n && plat::compare_lines(Items[index].text, item.text) <= 0) ++index;
  } else if (index < 0 || index > n) {
    if (index != -1) return LB_ERR;
    index = n;
  }
  Items.insert(Items.begin() + index, std::move(item));
  if (Sel >= index) ++Sel;
  if (Anchor >= index) ++Anchor;
  return index;
}

int TListBox::FindLine(const char* text, int start, bool exact) const {
  int n = static_cast<int>(Items.size());
  if (n == 0 || !KeepsText()) return LB_ERR;
  std::string key = text ? text : "";
  int from = (start < 0 || start >= n) ? 0 : start + 1;
  for (int k = 0; k < n; ++k) {
    int i = (from + k) % n;
    bool hit = exact ? plat::compare_lines(Items[i].text, key) == 0 : plat::starts_with_nocase(Items[i].text, key);
    if (hit) return i;
  }
  return LB_ERR;
}

LRESULT TListBox::DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  plat::WindowRef ref = Ref;
  if (!ref) return LB_ERR;
  std::lock_guard lock(ref->mu);
  if (msg == LB_SETSEL || msg == LB_GETSELCOUNT || msg == LB_GETSELITEMS ||
      ((ref->style & LBS_EXTENDEDSEL) && (msg == LB_GETSEL || msg == LB_SETCURSEL || msg == LB_SELECTSTRING)))
    return ExtendedSelMessage(msg, wp, lp);
  int n = static_cast<int>(Items.size());
  int index = static_cast<int>(static_cast<intptr_t>(wp));
  const char* text = reinterpret_cast<const char*>(lp);
  switch (msg) {
    case LB_ADDSTRING:
      return Insert(text, lp, -1, (ref->style & LBS_SORT) != 0);
    case LB_INSERTSTRING:
      return Insert(text, lp, index, false);
    case KV_LB_ADDSTRINGCOPY:
    case KV_LB_INSERTSTRINGCOPY: {
      if (KeepsText() || !text) {
        return msg == KV_LB_ADDSTRINGCOPY ? Insert(text, lp, -1, (ref->style & LBS_SORT) != 0)
                                          : Insert(text, lp, index, false);
      }
      const std::size_t size = std::strlen(text) + 1;
      std::shared_ptr<char[]> copy(new char[size]);
      std::memcpy(copy.get(), text, size);
      int at = Insert(copy.get(), reinterpret_cast<LPARAM>(copy.get()),
                      msg == KV_LB_ADDSTRINGCOPY ? -1 : index, false);
      if (at >= 0) Items[at].owned = std::move(copy);
      return at;
    }
    case LB_DELETESTRING:
      if (index < 0 || index >= n) return LB_ERR;
      Items.erase(Items.begin() + index);
      if (Sel == index) Sel = -1;
      else if (Sel > index) --Sel;
      if (Anchor == index) Anchor = -1;
      else if (Anchor > index) --Anchor;
      if (Top >= n - 1) Top = std::max(0, n - 2);
      return n - 1;
    case LB_RESETCONTENT:
      Items.clear();
      Sel = Anchor = -1;
      Top = 0;
      return 0;
    case LB_GETCOUNT:
      return n;
    case LB_GETCURSEL:
      return Sel;
    case LB_SETCURSEL:
      if (index < 0 || index >= n) {
        if (index == -1) Sel = -1;
        return LB_ERR;
      }
      Sel = index;
      return index;
    case LB_GETSEL:
      return index >= 0 && index < n ? Sel == index : LB_ERR;
    case LB_GETTEXT:
      // The caller's buffer must hold LB_GETTEXTLEN + 1 bytes, as ever.
      if (index < 0 || index >= n || !text) return LB_ERR;
      if (!KeepsText()) {
        std::memcpy(reinterpret_cast<char*>(lp), &Items[index].data, sizeof(LPARAM));
        return sizeof(LPARAM);
      }
      std::memcpy(reinterpret_cast<char*>(lp), Items[index].text.c_str(), Items[index].text.size() + 1);
      return static_cast<LRESULT>(Items[index].text.size());
    case LB_GETTEXTLEN:
      if (index < 0 || index >= n) return LB_ERR;
      return KeepsText() ? static_cast<LRESULT>(Items[index].text.size()) : sizeof(LPARAM);
    case LB_FINDSTRING:
      return FindLine(text, index, false);
    case LB_FINDSTRINGEXACT:
      return FindLine(text, index, true);
    case LB_SELECTSTRING: {
      int i = FindLine(text, index, false);
      if (i >= 0) Sel = i;
      return i;
    }
    case LB_GETTOPINDEX:
      return Top;
    case LB_SETTOPINDEX:
      if (index < 0 || (index >= n && n > 0)) return LB_ERR;
      Top = index;
      return 0;
    case LB_SETHORIZONTALEXTENT:
      Extent = index;
      return 0;
    case LB_GETHORIZONTALEXTENT:
      return Extent;
    case LB_GETITEMDATA:
      if (index < 0 || index >= n) return LB_ERR;
      return Items[index].data;
    case LB_SETITEMDATA:
      if (index < 0 || index >= n) return LB_ERR;
      Items[index].data = lp;
      return 0;
    case LB_SETITEMHEIGHT:
      if (lp <= 0 || lp > 255) return LB_ERR;
      ItemHeight = static_cast<int>(lp);
      return 0;
    case LB_GETITEMHEIGHT:
      return ItemHeight > 0 ? ItemHeight : 16;
    default:
      return TControl::DefWindowProc(msg, wp, lp);
  }
}

// The selection messages of a list with any number of lines selected; a
// list with one selection has no use for the first three. Caller holds
// the lock.
LRESULT TListBox::ExtendedSelMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (!(Ref->style & LBS_EXTENDEDSEL)) return LB_ERR;
  int n = static_cast<int>(Items.size());
  switch (msg) {
    case LB_SETSEL: {
      int index = static_cast<int>(lp);
      if (index < -1 || index >= n) return LB_ERR;
      if (index == -1) SelectRange(0, n - 1, wp != 0);
      else Items[index].selected = wp != 0;
      if (wp && index >= 0) Sel = Anchor = index;
      return 0;
    }
    case LB_GETSEL: {
      int index = static_cast<int>(static_cast<intptr_t>(wp));
      return index >= 0 && index < n ? Items[index].selected : LB_ERR;
    }
    case LB_GETSELCOUNT:
      return std::count_if(Items.begin(), Items.end(), [](const Item& i) { return i.selected; });
    case LB_GETSELITEMS: {
      int* out = reinterpret_cast<int*>(lp);
      int max = static_cast<int>(static_cast<intptr_t>(wp)), got = 0;
      for (int i = 0; i < n && got < max && out; ++i)
        if (Items[i].selected) out[got++] = i;
      return got;
    }
    default:  // LB_SETCURSEL and LB_SELECTSTRING choose one line only
      return LB_ERR;
  }
}

// ---- owner-drawn lists ----

bool TListBox::IsOwnerDrawn() const { return GetStyle() & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE); }

int TListBox::FontHeight() const {
  TMemoryDC dc;
  if (HFONT f = plat::control_font(Handle)) dc.SelectObject(f);
  TEXTMETRIC tm{};
  dc.GetTextMetrics(tm);
  return std::max(1, static_cast<int>(tm.tmHeight));
}

void TListBox::SetupWindow() {
  TControl::SetupWindow();
  if (!IsOwnerDrawn()) {
    SendMessage(LB_SETITEMHEIGHT, 0, std::clamp(FontHeight(), 1, 255));
    return;
  }
  // A fixed owner-drawn list asks its parent for the height of all items once.
  MEASUREITEMSTRUCT mis{ODT_LISTBOX, static_cast<UINT>(GetId()), 0, static_cast<UINT>(GetClientRect().Width()),
                        static_cast<UINT>(FontHeight()), 0};
  if (HWND parent = GetParent()) ::SendMessage(parent, WM_MEASUREITEM, GetId(), reinterpret_cast<LPARAM>(&mis));
  SendMessage(LB_SETITEMHEIGHT, 0, std::clamp<LPARAM>(mis.itemHeight, 1, 255));
}

void TListBox::Paint(TDC& dc, bool erase, TRect& rect) {
  TControl::Paint(dc, erase, rect);
  if (!IsOwnerDrawn()) return;
  int height = static_cast<int>(SendMessage(LB_GETITEMHEIGHT));
  int count = GetCount(), width = GetClientRect().Width(), bottom = GetClientRect().Height();
  for (int i = GetTopIndex(), y = 0; i < count && y < bottom; ++i, y += height)
    plat::draw_list_item(Handle, i, dc, TRect(0, y, width, y + height), plat::list_item_state(Handle, i));
}

namespace plat {

UINT list_item_state(HWND list, int index) {
  UINT state = 0;
  if (::SendMessage(list, LB_GETSEL, index, 0) > 0) state |= ODS_SELECTED;
  // The focus rectangle sits on the selected line, or on the first.
  LRESULT caret = ::SendMessage(list, LB_GETCURSEL, 0, 0);
  if (::GetFocus() == list && (caret == index || (caret < 0 && index == 0))) state |= ODS_FOCUS;
  WindowRef ref = find_window(list);
  if (ref) {
    std::lock_guard lock(ref->mu);
    if (ref->style & WS_DISABLED) state |= ODS_DISABLED;
  }
  return state;
}

bool draw_list_item(HWND list, int index, TDC& dc, const TRect& rc, UINT state, UINT action) {
  auto* lb = dynamic_cast<TListBox*>(window_object(list));
  if (!lb || index < 0 || index >= lb->GetCount()) return false;
  DRAWITEMSTRUCT dis{ODT_LISTBOX,
                     static_cast<UINT>(lb->GetId()),
                     static_cast<UINT>(index),
                     action,
                     state,
                     list,
                     dc.GetHDC(),
                     rc,
                     static_cast<uintptr_t>(lb->GetItemData(index))};
  if (HFONT f = control_font(list)) dc.SelectObject(f);
  HWND parent = lb->GetParent();
  if (parent) ::SendMessage(parent, WM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
  return true;
}

std::string shown_line_text(const std::string& line) {
  size_t at = line.find("@@");
  // A setup sheet's line ends in "\xA7\xA7" and its id; the last one is
  // the marker, whatever the name holds.
  if (at == std::string::npos) at = line.rfind("\xA7\xA7");
  if (at == std::string::npos) return line;
  // The padding before the ids, and a comma that only parts the text
  // from them ("%-100s, @@%ld"), go with them.
  std::string text = line.substr(0, at);
  auto trim = [&text] {
    size_t end = text.find_last_not_of(' ');
    text.resize(end == std::string::npos ? 0 : end + 1);
  };
  trim();
  if (!text.empty() && text.back() == ',') {
    text.pop_back();
    trim();
  }
  return text;
}

}  // namespace plat
