// The control's protocol: every message of protocol.h, the own commands,
// the notifications it sends and the file and text transfers.
#include "platform/ledit/control.h"

#include <algorithm>
#include <cstring>

#include "platform/file.h"
#include "platform/msgbox.h"
#include "platform/ui/accel.h"
#include "platform/ui/clipboard.h"
#include "platform/ui/gdi_object.h"
#include "platform/ui/print.h"

using namespace plat::ledit;

LEditControl::LEditControl(TWindow* parent, int id, const char* title, int x, int y, int w, int h)
    : TControl(parent, id, title, x, y, w, h), Text(std::make_unique<Document>()) {
  Text->add_watcher(this);
}

LEditControl::LEditControl(TWindow* parent, int resourceId)
    : TControl(parent, resourceId), Text(std::make_unique<Document>()) {
  Text->add_watcher(this);
}

void LEditControl::SetupWindow() {
  TControl::SetupWindow();
  UINT style = GetStyle();
  ReadOnly = style & 0x800;
  StyleA = style & 0x200;
  StyleB = style & 0x400;
  OptionWord = (OptionWord & ~0x30000u) | (style & WS_HSCROLL ? 0x10000u : 0) | (style & WS_VSCROLL ? 0x20000u : 0);
}

void LEditControl::CleanupWindow() {
  ReceiveMessage(WM_DESTROY, 0, 0);
  TControl::CleanupWindow();
}

LEditControl::~LEditControl() {
  Text->remove_watcher(this);
  if (FontHandle) DeleteObject(FontHandle);
}

TPrinter& LEditControl::Printer() {
  if (!OwnPrinter) OwnPrinter = std::make_unique<TPrinter>();
  return *OwnPrinter;
}

// ---- notifications -----------------------------------------------------------

void LEditControl::Notify(UINT code) {
  if (!Handle) return;
  if (NotifyWnd) {
    ::SendMessage(NotifyWnd, WM_COMMAND, MAKEWPARAM(NotifyId, code), reinterpret_cast<LPARAM>(Handle));
    return;
  }
  // Not bound yet: tell the parent, as a plain edit does.
  if (HWND parent = GetParent())
    ::SendMessage(parent, WM_COMMAND, MAKEWPARAM(GetId(), code), reinterpret_cast<LPARAM>(Handle));
}

void LEditControl::EvSetFocus() {
  Focused = true;
  Invalidate(false);
  Notify(LEN_SETFOCUS);
}

void LEditControl::EvKillFocus() {
  Focused = false;
  Dragging = false;
  Invalidate(false);
  Notify(LEN_KILLFOCUS);
}

// ---- selection records -----------------------------------------------------------

// Lines of the protocol count from 1; 0 is taken as the first line.
size_t LEditControl::PosOf(uint32_t line, uint16_t col) const {
  size_t l = std::min<size_t>(line ? line - 1 : 0, Text->lines() - 1);
  size_t start = Text->line_start(l), end = Text->line_end(l);
  if (col == lcol_end_of_line) return end;
  return std::min(end, start + col);
}

SelectionRange LEditControl::GetRange() const {
  size_t from = std::min(Anchor, Caret), to = std::max(Anchor, Caret);
  auto fill = [this](size_t pos, uint16_t& col, uint32_t& line) {
    size_t l = Text->line_of(pos);
    size_t c = pos - Text->line_start(l);
    line = static_cast<uint32_t>(l + 1);
    // The record holds 15 bits of column; the end of a longer line is
    // still told exactly by the end-of-line mark.
    if (pos == Text->line_end(l) && c >= lcol_end_of_line) col = lcol_end_of_line;
    else col = static_cast<uint16_t>(std::min<size_t>(c, lcol_end_of_line - 1));
  };
  SelectionRange r{};
  fill(from, r.startCol, r.startLine);
  fill(to, r.endCol, r.endLine);
  return r;
}

void LEditControl::SetRange(const SelectionRange& r) {
  Anchor = PosOf(r.startLine, r.startCol);
  Caret = PosOf(r.endLine, r.endCol);
  WantX = -1;
  ScrollToCaret();
  Invalidate(false);
}

// ---- buffers ---------------------------------------------------------------------

namespace {

// Copies text with its zero into a caller's buffer; false (and an empty
// text, when there is room for one) when it does not fit.
bool fill_buffer(LPARAM lp, const std::string& text) {
  auto* b = reinterpret_cast<LEditBuffer*>(lp);
  if (!b || !b->data || b->size == 0) return false;
  if (text.size() + 1 > b->size) {
    b->data[0] = '\0';
    return false;
  }
  std::memcpy(b->data, text.data(), text.size());
  b->data[text.size()] = '\0';
  return true;
}

bool fill_buffer_from(LPARAM lp, Document& d, size_t pos, size_t n) {
  auto* b = reinterpret_cast<LEditBuffer*>(lp);
  if (!b || !b->data || b->size == 0) return false;
  if (n + 1 > b->size) {
    b->data[0] = '\0';
    return false;
  }
  d.copy(pos, n, b->data);
  b->data[n] = '\0';
  return true;
}

}  // namespace

void LEditControl::SetAll(const char* text, size_t n) {
  Text->replace_all_text(text, n);
  Anchor = Caret = 0;
  TopLine = 0;
  LeftPx = 0;
  Changed();
}

LRESULT LEditControl::LoadFile(const char* path) {
  if (!path) return plat::error_invalid_argument;
  IoResult r = Text->load(path);
  if (!r.ok) {
    LastError = r.message;
    return r.error & 0xFFFF ? r.error : 1;
  }
  Name = path;  // the file shown is the control's file from now on
  Anchor = Caret = 0;
  TopLine = 0;
  LeftPx = 0;
  WidestPx = 0;
  Invalidate(false);
  Notify(LEN_CHANGE);
  return 0;
}

LRESULT LEditControl::SaveFile(const char* path) {
  if (!path) return plat::error_invalid_argument;
  IoResult r = Text->save(path);
  if (!r.ok) {
    LastError = r.message;
    return r.error ? r.error : 1;
  }
  Text->change_state(0, state_modified);
  return 0;
}

// ---- messages ----------------------------------------------------------------------

LRESULT LEditControl::DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  bool handled = true;
  LRESULT r = Protocol(msg, wp, lp, handled);
  return handled ? r : TControl::DefWindowProc(msg, wp, lp);
}

LRESULT LEditControl::Protocol(UINT msg, WPARAM wp, LPARAM lp, bool& handled) {
  LRESULT r = TextMessage(msg, wp, lp, handled);
  if (handled) return r;
  handled = true;
  r = SettingMessage(msg, wp, lp, handled);
  if (handled) return r;
  handled = true;
  return InputMessage(msg, wp, lp, handled);
}

// The text: selection, transfers, files, state.
LRESULT LEditControl::TextMessage(UINT msg, WPARAM wp, LPARAM lp, bool& handled) {
  switch (msg) {
    case LEM_GETSEL:
      if (lp) *reinterpret_cast<SelectionRange*>(lp) = GetRange();
      return 0;
    case LEM_SETSEL:
      if (lp) SetRange(*reinterpret_cast<const SelectionRange*>(lp));
      return 0;
    case LEM_HASSEL:
      return Anchor != Caret ? 1 : 0;
    case LEM_GETTEXT:
    case LEM_COPYALLTEXT:
      return fill_buffer_from(lp, *Text, 0, Text->length()) ? 0 : -1;
    case LEM_GETLENGTH:
      return static_cast<LRESULT>(Text->length());
    case LEM_LOADFILE:
      return LoadFile(reinterpret_cast<const char*>(lp));
    case LEM_SAVEFILE:
      return SaveFile(reinterpret_cast<const char*>(lp));
    case LEM_SETFILENAME:
      Name = lp ? reinterpret_cast<const char*>(lp) : "";
      return 0;
    case LEM_GETFILENAME:
    case LEM_DEFFILENAME:
      return fill_buffer(lp, Name) ? static_cast<LRESULT>(Name.size()) : -1;
    case LEM_GETLASTERROR:
      return fill_buffer(lp, LastError) ? static_cast<LRESULT>(LastError.size()) : -1;
    case LEM_GETSTATE:
      return static_cast<LRESULT>(Text->state() & static_cast<uint32_t>(wp));
    case LEM_SETSTATE:
      Text->change_state(static_cast<uint32_t>(wp), static_cast<uint32_t>(lp));
      return 0;
    case LEM_GETLINECOUNT:
      return static_cast<LRESULT>(Text->lines());
    case LEM_INSERT: {
      const char* t = reinterpret_cast<const char*>(lp);
      return ReplaceSelection(t ? t : "", false) ? 0 : -1;
    }
    case LEM_GETLINE: {
      auto* b = reinterpret_cast<LEditBuffer*>(lp);
      if (!b || !b->data || b->size < sizeof(uint32_t)) return -1;
      uint32_t line = 0;
      std::memcpy(&line, b->data, sizeof line);
      if (line == 0 || line > Text->lines()) {
        b->data[0] = '\0';
        return -1;
      }
      size_t start = Text->line_start(line - 1), n = Text->line_end(line - 1) - start;
      return fill_buffer_from(lp, *Text, start, n) ? static_cast<LRESULT>(n) : -1;
    }
    case LEM_UNDO:
      Undo(false);
      return 0;
    case LEM_TEXTREPLACED:
      Text->clear_undo();
      Anchor = Caret = 0;
      TopLine = 0;
      Invalidate(true);
      return 0;
    case LEM_GETSELTEXT: {
      size_t from = std::min(Anchor, Caret);
      return fill_buffer_from(lp, *Text, from, std::max(Anchor, Caret) - from) ? 0 : -1;
    }
    case LEM_SETALLTEXT: {
      const char* t = reinterpret_cast<const char*>(lp);
      if (ReadOnly) return -1;
      SetAll(t ? t : "", t ? std::strlen(t) : 0);
      return 0;
    }
    default:
      handled = false;
      return 0;
  }
}

// Settings, binding and the questions the wrappers ask.
LRESULT LEditControl::SettingMessage(UINT msg, WPARAM wp, LPARAM lp, bool& handled) {
  switch (msg) {
    case LEM_SETTYPING:
      if (Overtype != (wp == 0)) {
        Overtype = wp == 0;
        Notify(Overtype ? LEN_OVERTYPEMODE : LEN_INSERTMODE);
      }
      return 0;
    case WM_SETFONT: {
      LOGFONT lf{};
      if (GetObject(reinterpret_cast<HFONT>(wp), sizeof lf, &lf) != sizeof lf) return 0;
      return Protocol(LEM_SETFONT, 0, reinterpret_cast<LPARAM>(&lf), handled);
    }
    case LEM_SETFONT:
      if (!lp) return 0;
      std::memcpy(&Font, reinterpret_cast<const void*>(lp), sizeof(LOGFONT));
      if (FontHandle) DeleteObject(FontHandle);
      FontHandle = nullptr;
      LineH = 0;
      WidestPx = 0;
      Invalidate(true);
      return 0;
    case LEM_BIND:
      NotifyId = static_cast<UINT>(wp);
      NotifyWnd = reinterpret_cast<HWND>(lp);
      return 0;
    case LEM_SETTABWIDTH:
      TabWidth = std::clamp(static_cast<int>(wp), 1, 40);
      WidestPx = 0;
      Invalidate(true);
      return 0;
    case LEM_SETCHARTABLE: {
      int count = static_cast<int>(wp & 0xFF);
      CharTableFlag = static_cast<int>((wp >> 8) & 0xFF);
      Tokens.set_table(lp ? reinterpret_cast<const unsigned char*>(lp) : nullptr, lp ? count : 0);
      Invalidate(false);
      return 0;
    }
    case LEM_SETREADONLY:
      ReadOnly = wp != 0;
      return 0;
    case LEM_SETVALUE32:
      Value32 = static_cast<uint16_t>(wp);
      return 0;
    case LEM_GETVALUE32:
      return Value32;
    case LEM_CANCLOSE:
      return 1;
    case LEM_PING:
      return lp == lping_question ? lping_answer : 0;
    case LEM_SETOPTIONS:
      Options = (Options | static_cast<uint32_t>(wp)) & ~static_cast<uint32_t>(lp);
      return static_cast<LRESULT>(Options);
    case LEM_SETOPTIONWORD:
      OptionWord = static_cast<uint32_t>(lp);
      Invalidate(true);
      return 0;
    case LEM_GETOPTIONWORD:
      return static_cast<LRESULT>(OptionWord);
    case LEM_STYLEA:
      StyleA = wp != 0;
      return 0;
    case LEM_STYLEB:
      StyleB = wp != 0;
      return 0;
    case LEM_CANDO:
      return CanDo(static_cast<UINT>(wp)) ? 1 : 0;
    case LEM_SETVALUE78:
      Value78 = static_cast<uint16_t>(wp);
      return 0;
    case LEM_SETVALUE87:
      Value87 = static_cast<uint16_t>(wp);
      return 0;
    case LEM_SETVALUES79:
      if (wp & 1) Values79[0] = 1;
      if (wp & 4) Values79[1] = 1;
      if (wp & 2) Values79[2] = static_cast<uint16_t>(lp);
      if (wp == 0) Values79[0] = Values79[1] = Values79[2] = 0;
      return 0;
    case LEM_CALL91:
      return 0;
    default:
      handled = false;
      return 0;
  }
}

// What the user does, the callbacks to ourselves, painting.
LRESULT LEditControl::InputMessage(UINT msg, WPARAM wp, LPARAM lp, bool& handled) {
  switch (msg) {
    // Callbacks the control sends itself; with no wrapper to answer them
    // the control's own colours stand.
    case LEM_SELCOLORS: {
      TDC* dc = reinterpret_cast<TDC*>(wp);
      if (dc) {
        dc->SetTextColor(GetSysColor(COLOR_HIGHLIGHTTEXT));
        dc->SetBkColor(GetSysColor(COLOR_HIGHLIGHT));
      }
      return 0;
    }
    case WM_DESTROY:
    case WM_CTLCOLOR:
    case LEM_TOKENCOLOR:
    case LEM_BACKGROUND:
    case LEM_QUERY48:
    case LEM_QUERY49:
    case LEM_LINEHOOK:
      return 0;
    case LEM_VALUE80:
      return static_cast<LRESULT>(static_cast<uint16_t>(wp));
    case WM_PAINT:
      if (wp) PaintText(*reinterpret_cast<TDC*>(wp), lp != 0);
      return 1;
    case WM_CUT:
      CopySelection(true);
      return 0;
    case WM_COPY:
      CopySelection(false);
      return 0;
    case WM_PASTE:
      Paste();
      return 0;
    case WM_CLEAR:
      return Command(wp == 1 ? LEC_CLEARALL : LEC_CLEAR);
    case WM_UNDO:
      Undo(false);
      return 0;
    case WM_COMMAND:
      if (LOWORD(wp) == NotifyId && lp == reinterpret_cast<LPARAM>(Handle)) return 0;  // our own notification
      return Command(LOWORD(wp));
    case WM_CHAR:
      TypeChar(static_cast<unsigned char>(wp));
      return 0;
    case WM_KEYDOWN:
      return KeyDown(static_cast<UINT>(wp)) ? 0 : 1;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      SetFocus();
      MouseDown(static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)), wp & MK_SHIFT,
                msg == WM_LBUTTONDBLCLK);
      return 0;
    case WM_MOUSEMOVE:
      if (Dragging && (wp & MK_LBUTTON)) MouseMove(static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
      return 0;
    case WM_LBUTTONUP:
      Dragging = false;
      return 0;
    case WM_MOUSEWHEEL:
      ScrollLines(-3 * static_cast<short>(HIWORD(wp)) / 120);
      return 0;
    case WM_VSCROLL:
    case WM_HSCROLL:
      ScrollMessage(msg == WM_VSCROLL, LOWORD(wp), static_cast<short>(HIWORD(wp)));
      return 0;
    default:
      handled = false;
      return 0;
  }
}

bool LEditControl::CanDo(UINT cmd) {
  bool sel = Anchor != Caret;
  switch (cmd) {
    case LEC_UNDO: return !ReadOnly && Text->can_undo();
    case LEC_REDO: return !ReadOnly && Text->can_redo();
    case LEC_CUT: case LEC_CLEAR: return !ReadOnly && sel;
    case LEC_COPY: return sel;
    case LEC_PASTE: return !ReadOnly && !plat::clipboard_text().empty();
    case LEC_DUPLICATE: case LEC_REPLACE: case LEC_NEW: case LEC_OPEN: return !ReadOnly;
    case LEC_CLEARALL: return !ReadOnly && Text->length() > 0;
    case LEC_SELECTALL: return Text->length() > 0;
    case LEC_FINDNEXT: return !FindWhat.empty();
    case LEC_REVERT: return !Name.empty() && !ReadOnly;
    case LEC_FIND: case LEC_GOTOLINE: case LEC_SAVE: case LEC_SAVEAS: case LEC_RAWPRINT: case LEC_PRINTSETUP:
      return true;
    default: return false;
  }
}

LRESULT LEditControl::Command(UINT cmd) {
  switch (cmd) {
    case LEC_UNDO: Undo(false); break;
    case LEC_REDO: Undo(true); break;
    case LEC_CUT: CopySelection(true); break;
    case LEC_COPY: CopySelection(false); break;
    case LEC_PASTE: Paste(); break;
    case LEC_CLEAR:
      if (Anchor != Caret) ReplaceSelection("", false);
      break;
    case LEC_CLEARALL:
      if (ReadOnly) MessageBeep(0);
      else SetAll("", 0);
      break;
    case LEC_DUPLICATE: Duplicate(); break;
    case LEC_SELECTALL:
      Anchor = 0;
      Caret = Text->length();
      Invalidate(false);
      break;
    case LEC_FIND: ShowFindDialog(false); break;
    case LEC_REPLACE: ShowFindDialog(true); break;
    case LEC_FINDNEXT:
      if (FindWhat.empty()) ShowFindDialog(false);
      else FindNext();
      break;
    case LEC_GOTOLINE: ShowGotoDialog(); break;
    case LEC_NEW: case LEC_OPEN: case LEC_REVERT: case LEC_SAVE: case LEC_SAVEAS: FileCommand(cmd); break;
    case LEC_RAWPRINT: RawPrint(); break;
    case LEC_PRINTSETUP: Printer().Setup(this); break;
    default: return 0;
  }
  return 0;
}

// ---- the group window -----------------------------------------------------------------

LEditGroupWindow::LEditGroupWindow(TWindow* parent) : TWindow(parent) { Attr.Style = WS_CHILD; }

LRESULT LEditGroupWindow::DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == LEM_GROUPATTACH) {
    HWND h = reinterpret_cast<HWND>(wp);
    if (!::IsWindow(h)) return 0;
    std::erase_if(Attached, [](HWND m) { return !::IsWindow(m); });
    if (std::find(Attached.begin(), Attached.end(), h) == Attached.end()) Attached.push_back(h);
    return static_cast<LRESULT>(Attached.size());
  }
  return TWindow::DefWindowProc(msg, wp, lp);
}

namespace plat::ledit {

void register_classes() {
  plat::register_window_class("LEdit32", [](TWindow* parent, int id) -> TWindow* {
    auto* c = new LEditControl(parent, id, nullptr, 0, 0, 0, 0);
    c->Attr.Style |= WS_HSCROLL | WS_VSCROLL;
    return c;
  });
  plat::register_window_class("LEditGroup32", [](TWindow* parent, int) -> TWindow* {
    return new LEditGroupWindow(parent);
  });
}

namespace {
const bool registered = (register_classes(), true);
}  // namespace

}  // namespace plat::ledit
