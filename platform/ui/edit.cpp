// Edits: typing, limits, selection, clipboard and validation on close.
#include "platform/ui/edit.h"

#include <algorithm>
#include <mutex>

#include "platform/ui/clipboard.h"

namespace {

// The largest text a user may enter when no limit was set.
constexpr int kDefaultLimit = 30000;

// Capital of a byte in the program's code page (Windows-1252).
unsigned char to_upper(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 32);
  switch (c) {
    case 0x9A: return 0x8A;
    case 0x9C: return 0x8C;
    case 0x9E: return 0x8E;
    case 0xFF: return 0x9F;
    default: return c;
  }
}

unsigned char to_lower(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 32);
  return c;
}

}  // namespace

TEdit::TEdit(TWindow* parent, int id, const char* text, int x, int y, int w, int h, UINT textLimit, bool multiline)
    : TStatic(parent, id, text, x, y, w, h, textLimit) {
  Attr.Style = (Attr.Style & ~SS_TYPEMASK) | WS_BORDER | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
  if (multiline) Attr.Style |= ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL | WS_HSCROLL;
  InitialLimit = textLimit > 1 ? static_cast<int>(textLimit) - 1 : 0;
}

TEdit::TEdit(TWindow* parent, int resourceId, UINT textLimit) : TStatic(parent, resourceId, textLimit) {
  InitialLimit = textLimit > 1 ? static_cast<int>(textLimit) - 1 : 0;
}

TEdit::~TEdit() = default;

void TEdit::SetupWindow() {
  TStatic::SetupWindow();
  if (InitialLimit) LimitText(InitialLimit);
}

void TEdit::SetValidator(TValidator* validator) { Validator.reset(validator); }

bool TEdit::IsValid(bool reportErr) {
  if (!Validator) return true;
  std::string text = TWindow::GetText();
  if (Validator->IsValid(text.c_str())) return true;
  if (reportErr) {
    Validator->Error(this);
    SetFocus();
  }
  return false;
}

bool TEdit::CanClose() {
  if (Handle && IsWindowEnabled() && !IsValid(true)) return false;
  return TStatic::CanClose();
}

int TEdit::GetLimit() const {
  if (!Handle) return InitialLimit ? InitialLimit : kDefaultLimit;
  return static_cast<int>(::SendMessage(Handle, EM_GETLIMITTEXT, 0, 0));
}

bool TEdit::IsModified() const { return Handle && ::SendMessage(Handle, EM_GETMODIFY, 0, 0); }

void TEdit::GetSelection(int& start, int& end) const {
  DWORD s = 0, e = 0;
  if (Handle) ::SendMessage(Handle, EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
  start = static_cast<int>(s);
  end = static_cast<int>(e);
}

int TEdit::GetNumLines() const { return Handle ? static_cast<int>(::SendMessage(Handle, EM_GETLINECOUNT, 0, 0)) : 0; }

bool TEdit::IsStateMessage(UINT msg) const {
  switch (msg) {
    case EM_GETSEL:
    case EM_SETSEL:
    case EM_GETMODIFY:
    case EM_SETMODIFY:
    case EM_GETLINECOUNT:
    case EM_LIMITTEXT:
    case EM_GETLIMITTEXT:
    case EM_SETREADONLY:
      return true;
    default:
      return TStatic::IsStateMessage(msg);
  }
}

LRESULT TEdit::DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  plat::WindowRef ref = Ref;
  if (!ref) return 0;
  std::unique_lock lock(ref->mu);
  int len = static_cast<int>(ref->text.size());
  switch (msg) {
    case WM_SETTEXT:
      ref->text = lp ? reinterpret_cast<const char*>(lp) : "";
      Modified = false;
      SelStart = SelEnd = 0;
      lock.unlock();
      NotifyParent(EN_CHANGE);
      return TRUE;
    case EM_GETSEL:
      if (wp) *reinterpret_cast<DWORD*>(wp) = static_cast<DWORD>(SelStart);
      if (lp) *reinterpret_cast<DWORD*>(lp) = static_cast<DWORD>(SelEnd);
      return MAKELONG(std::min(SelStart, 0xFFFF), std::min(SelEnd, 0xFFFF));
    case EM_SETSEL: {
      int s = static_cast<int>(static_cast<intptr_t>(wp));
      int e = static_cast<int>(lp);
      if (s < 0) {
        SelStart = SelEnd = std::min(SelEnd, len);  // -1 removes the selection
        return 0;
      }
      if (e < 0 || e > len) e = len;
      s = std::min(s, len);
      SelStart = std::min(s, e);
      SelEnd = std::max(s, e);
      return 0;
    }
    case EM_GETMODIFY:
      return Modified;
    case EM_SETMODIFY:
      Modified = wp != 0;
      return 0;
    case EM_GETLINECOUNT: {
      if (!(ref->style & ES_MULTILINE)) return 1;
      return 1 + std::count(ref->text.begin(), ref->text.end(), '\n');
    }
    case EM_LIMITTEXT:
      Limit = wp ? static_cast<int>(wp) : kDefaultLimit;
      return 0;
    case EM_GETLIMITTEXT:
      return Limit ? Limit : kDefaultLimit;
    case EM_SETREADONLY:
      if (wp) ref->style |= ES_READONLY;
      else ref->style &= ~ES_READONLY;
      return TRUE;
    case EM_REPLACESEL:
      lock.unlock();
      ReplaceSelection(lp ? reinterpret_cast<const char*>(lp) : "", false);
      return 0;
    case WM_CHAR:
      lock.unlock();
      TypeChar(static_cast<unsigned char>(wp));
      return 0;
    case WM_COPY:
    case WM_CUT: {
      if (SelEnd <= SelStart) return 0;
      if (ref->style & ES_PASSWORD) return 0;
      std::string sel = ref->text.substr(SelStart, SelEnd - SelStart);
      plat::set_clipboard_text(sel);
      if (msg == WM_CUT && !(ref->style & ES_READONLY)) {
        lock.unlock();
        ReplaceSelection("", false);
      }
      return 0;
    }
    case WM_PASTE:
      lock.unlock();
      ReplaceSelection(plat::clipboard_text(), false);
      return 0;
    case WM_CLEAR:
      lock.unlock();
      ReplaceSelection("", false);
      return 0;
    default:
      lock.unlock();
      return TStatic::DefWindowProc(msg, wp, lp);
  }
}

void TEdit::TypeChar(unsigned char c) {
  if (c == '\b') {
    {
      std::lock_guard lock(Ref->mu);
      if (Ref->style & ES_READONLY) {
        MessageBeep(MB_OK);
        return;
      }
      if (SelStart == SelEnd && SelStart > 0) --SelStart;
    }
    ReplaceSelection("", true);
    return;
  }
  ReplaceSelection(std::string(1, static_cast<char>(c)), true);
}

bool TEdit::ReplaceSelection(std::string text, bool typed) {
  plat::WindowRef ref = Ref;
  if (!ref) return false;
  {
    std::lock_guard lock(ref->mu);
    UINT style = ref->style;
    if (style & ES_READONLY) {
      MessageBeep(MB_OK);
      return false;
    }
    if (!(style & ES_MULTILINE)) {
      // A single line stops at the first line break.
      size_t cut = text.find_first_of("\r\n");
      if (cut != std::string::npos) text.resize(cut);
    }
    for (char& ch : text) {
      unsigned char u = static_cast<unsigned char>(ch);
      if (style & ES_UPPERCASE) u = to_upper(u);
      else if (style & ES_LOWERCASE) u = to_lower(u);
      ch = static_cast<char>(u);
    }
  }
  if (typed && Validator && !text.empty() && !Validator->IsValidInput(text.c_str(), false)) {
    MessageBeep(MB_OK);
    return false;
  }
  bool hitLimit = false;
  bool changed = false;
  {
    std::lock_guard lock(ref->mu);
    int len = static_cast<int>(ref->text.size());
    int s = std::min(SelStart, len), e = std::min(SelEnd, len);
    int limit = Limit ? Limit : kDefaultLimit;
    int room = std::max(0, limit - (len - (e - s)));
    if (static_cast<int>(text.size()) > room) {
      text.resize(room);
      hitLimit = true;
      MessageBeep(MB_OK);
    }
    if (!text.empty() || s != e) {
      ref->text.replace(s, e - s, text);
      SelStart = SelEnd = s + static_cast<int>(text.size());
      Modified = true;
      changed = true;
    }
  }
  if (hitLimit) NotifyParent(EN_MAXTEXT);
  if (changed) {
    NotifyParent(EN_UPDATE);
    NotifyParent(EN_CHANGE);
  }
  return !hitLimit;
}
