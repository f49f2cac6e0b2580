// Editing in the control: typing, keys, the mouse, clipboard, undo.
// Every change goes through ReplaceSelection or the document's own undo,
// so read-only is checked in one place and every change is notified.
#include <algorithm>

#include "platform/ledit/control.h"
#include "platform/msgbox.h"
#include "platform/ui/accel.h"
#include "platform/ui/clipboard.h"

using namespace plat::ledit;

bool LEditControl::ReplaceSelection(const std::string& text, bool typing) {
  if (ReadOnly) {
    MessageBeep(0);
    return false;
  }
  size_t from = std::min(Anchor, Caret), to = std::max(Anchor, Caret);
  if (from == to && text.empty()) return true;
  try {
    Text->begin_group(typing);
    Text->erase(from, to - from);
    Text->insert(from, text);
    Text->end_group();
  } catch (const std::bad_alloc&) {
    Text->end_group();
    MessageBox("Not enough memory for this change.", "Edit", MB_OK | MB_ICONSTOP);
    return false;
  }
  Anchor = Caret = from + text.size();
  WantX = -1;
  Changed();
  return true;
}

void LEditControl::TypeChar(unsigned char c) {
  std::string s;
  if (c == '\r' || c == '\n') s = "\r\n";
  else if (c == '\t' || c >= 32) s.assign(1, static_cast<char>(c));
  else if (c == '\b') {
    if (Anchor == Caret) {
      if (Caret == 0) return;
      Anchor = PrevChar(Caret);
    }
    ReplaceSelection("", true);
    return;
  } else {
    return;  // other control characters are commands, taken as keys
  }
  // Overtyping takes the character under the caret, never a line end.
  if (Overtype && Anchor == Caret && s.size() == 1) {
    size_t line = Text->line_of(Caret);
    if (Caret < Text->line_end(line)) Caret = Caret + 1;
  }
  ReplaceSelection(s, true);
}

size_t LEditControl::PrevChar(size_t pos) const {
  if (pos == 0) return 0;
  if (pos >= 2 && Text->at(pos - 1) == '\n' && Text->at(pos - 2) == '\r') return pos - 2;
  return pos - 1;
}

size_t LEditControl::NextChar(size_t pos) const {
  if (pos >= Text->length()) return Text->length();
  if (Text->at(pos) == '\r' && pos + 1 < Text->length() && Text->at(pos + 1) == '\n') return pos + 2;
  return pos + 1;
}

size_t LEditControl::WordLeft(size_t pos) const {
  while (pos > 0 && !Text->is_word_byte(static_cast<unsigned char>(Text->at(pos - 1)))) pos = PrevChar(pos);
  while (pos > 0 && Text->is_word_byte(static_cast<unsigned char>(Text->at(pos - 1)))) --pos;
  return pos;
}

size_t LEditControl::WordRight(size_t pos) const {
  size_t n = Text->length();
  while (pos < n && Text->is_word_byte(static_cast<unsigned char>(Text->at(pos)))) ++pos;
  while (pos < n && !Text->is_word_byte(static_cast<unsigned char>(Text->at(pos)))) pos = NextChar(pos);
  return pos;
}

size_t LEditControl::VerticalMove(size_t pos, long lines) {
  size_t line = Text->line_of(pos);
  if (WantX < 0) WantX = XOf(line, pos);
  long target = std::clamp<long>(static_cast<long>(line) + lines, 0, static_cast<long>(Text->lines()) - 1);
  return PosAtX(static_cast<size_t>(target), WantX);
}

void LEditControl::MoveCaret(size_t pos, bool extend) {
  Caret = pos;
  if (!extend) Anchor = pos;
  ScrollToCaret();
  Invalidate(false);
}

bool LEditControl::KeyDown(UINT vk) {
  bool shift = GetKeyState(VK_SHIFT) & 0x8000;
  bool ctrl = GetKeyState(VK_CONTROL) & 0x8000;
  size_t line = Text->line_of(Caret);
  long page = static_cast<long>(PageLines());
  auto move = [&](size_t pos, bool keepX = false) {
    if (!keepX) WantX = -1;
    MoveCaret(pos, shift);
  };
  switch (vk) {
    case VK_LEFT:
      if (!shift && Anchor != Caret) move(std::min(Anchor, Caret));
      else move(ctrl ? WordLeft(Caret) : PrevChar(Caret));
      return true;
    case VK_RIGHT:
      if (!shift && Anchor != Caret) move(std::max(Anchor, Caret));
      else move(ctrl ? WordRight(Caret) : NextChar(Caret));
      return true;
    case VK_UP:
      if (ctrl) ScrollLines(-1);
      else move(VerticalMove(Caret, -1), true);
      return true;
    case VK_DOWN:
      if (ctrl) ScrollLines(1);
      else move(VerticalMove(Caret, 1), true);
      return true;
    case VK_PRIOR:
      ScrollLines(-page);
      move(VerticalMove(Caret, -page), true);
      return true;
    case VK_NEXT:
      ScrollLines(page);
      move(VerticalMove(Caret, page), true);
      return true;
    case VK_HOME:
      move(ctrl ? 0 : Text->line_start(line));
      return true;
    case VK_END:
      move(ctrl ? Text->length() : Text->line_end(line));
      return true;
    case VK_INSERT:
      if (shift) Paste();
      else if (ctrl) CopySelection(false);
      else SendMessage(LEM_SETTYPING, Overtype ? 1 : 0);
      return true;
    case VK_DELETE:
      if (shift) CopySelection(true);
      else if (Anchor != Caret) ReplaceSelection("", false);
      else if (Caret < Text->length()) {
        Caret = NextChar(Caret);
        ReplaceSelection("", true);
      }
      return true;
    case VK_F3:
      Command(LEC_FINDNEXT);
      return true;
    default:
      break;
  }
  if (!ctrl) return false;
  switch (vk) {
    case 'A': Command(LEC_SELECTALL); return true;
    case 'C': CopySelection(false); return true;
    case 'X': CopySelection(true); return true;
    case 'V': Paste(); return true;
    case 'Z': Undo(shift); return true;
    case 'Y': Undo(true); return true;
    case 'F': Command(LEC_FIND); return true;
    case 'H': Command(LEC_REPLACE); return true;
    case 'G': Command(LEC_GOTOLINE); return true;
    default: return false;
  }
}

void LEditControl::Undo(bool redo) {
  if (ReadOnly) {
    MessageBeep(0);
    return;
  }
  int64_t at = redo ? Text->redo() : Text->undo();
  if (at < 0) {
    MessageBeep(0);
    return;
  }
  Anchor = Caret = static_cast<size_t>(at);
  WantX = -1;
  Changed();
}

void LEditControl::CopySelection(bool cut) {
  size_t from = std::min(Anchor, Caret), to = std::max(Anchor, Caret);
  if (from == to) return;
  if (cut && ReadOnly) {
    MessageBeep(0);
    return;
  }
  plat::set_clipboard_text(Text->text(from, to - from));
  if (cut) ReplaceSelection("", false);
}

void LEditControl::Paste() {
  std::string s = plat::clipboard_text();
  if (!s.empty()) ReplaceSelection(s, false);
}

void LEditControl::Duplicate() {
  if (ReadOnly) {
    MessageBeep(0);
    return;
  }
  size_t from = std::min(Anchor, Caret), to = std::max(Anchor, Caret);
  if (from != to) {
    // The selection follows itself, and the copy stays selected.
    std::string s = Text->text(from, to - from);
    Anchor = Caret = to;
    ReplaceSelection(s, false);
    Anchor = to;
    Caret = to + s.size();
    Invalidate(false);
    return;
  }
  // No selection: the caret's line is doubled below itself.
  size_t line = Text->line_of(Caret);
  size_t start = Text->line_start(line), next = Text->line_next(line);
  std::string s = Text->text(start, next - start);
  size_t keep = Caret - start;
  if (next == Text->length() && (s.empty() || s.back() != '\n')) s = "\r\n" + s;
  Anchor = Caret = next;
  ReplaceSelection(s, false);
  Anchor = Caret = Text->line_start(std::min(line + 1, Text->lines() - 1)) + keep;
  Invalidate(false);
}

void LEditControl::MouseDown(int x, int y, bool extend, bool words) {
  size_t pos = PosAtPoint(x, y);
  WantX = -1;
  if (words) {
    size_t a = pos, b = pos;
    while (a > 0 && Text->is_word_byte(static_cast<unsigned char>(Text->at(a - 1)))) --a;
    while (b < Text->length() && Text->is_word_byte(static_cast<unsigned char>(Text->at(b)))) ++b;
    Anchor = a;
    Caret = b;
    Invalidate(false);
    return;
  }
  Dragging = true;
  MoveCaret(pos, extend);
}

void LEditControl::MouseMove(int x, int y) { MoveCaret(PosAtPoint(x, y), true); }
