// TLEdit: options kept in the object and sent in one order at set-up,
// notifications forwarded to the parent, colour callbacks answered.
#include "editor/ledit.h"

#include <algorithm>
#include <cstring>

#include "platform/ui/dc.h"
#include "platform/ui/gdi_bmp.h"
#include "resources/menus/editor.h"

namespace {

// The option flags in the order set-up sends them.
constexpr UINT kSetupOrder[] = {4, 1024, 512, 8, 16, 128, 256, 1, 2};

}  // namespace

TLEdit::TLEdit(TWindow* parent, const char* title, UINT extraStyle, TModule*)
    : LEditControl(parent, 0, title, 0, 0, 0, 0) {
  Init();
  Attr.Style |= extraStyle;
}

TLEdit::TLEdit(TWindow* parent, int id, const char* title, int x, int y, int w, int h, UINT extraStyle, TModule*)
    : LEditControl(parent, id, title, x, y, w, h) {
  Init();
  Attr.Style |= extraStyle | WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP;
}

TLEdit::TLEdit(TWindow* parent, int resourceId, TModule*) : LEditControl(parent, resourceId) {
  Init();
  Title.clear();
  Attr = TWindowAttr{};
  Attr.Style = 0;
  Attr.Id = resourceId;
}

void TLEdit::Init() {
  plat::ledit::register_classes();
  SelBack = GetSysColor(COLOR_HIGHLIGHT);
  SelText = GetSysColor(COLOR_HIGHLIGHTTEXT);
  NormalBack = GetSysColor(COLOR_WINDOW);
  NormalText = GetSysColor(COLOR_WINDOWTEXT);
}

TLEdit::~TLEdit() { delete[] PendingFileName; }

// ---- set-up -----------------------------------------------------------------------

void TLEdit::SetupWindow() {
  LEditControl::SetupWindow();
  SendMessage(LEM_SETOPTIONS, 32, 0);
  SendMessage(LEM_BIND, NotifyId, reinterpret_cast<LPARAM>(GetHandle()));
  Exists = true;
  if (Group && Group->GetHandle())
    GroupAnswer = LOWORD(::SendMessage(Group->GetHandle(), LEM_GROUPATTACH, reinterpret_cast<WPARAM>(GetHandle()), 0));
  SendAllOptions();
  EvSetupDone();
}

void TLEdit::SendAllOptions() {
  SendMessage(LEM_SETTABWIDTH, WidthValue, 0);
  for (UINT bit : kSetupOrder) SendOption(bit, *OptionField(bit));
  SendMessage(LEM_SETTYPING, TypingMode == 0 ? 1 : 0, 0);
  long v32 = Value32Stored == -1 ? LOWORD(SendMessage(LEM_GETVALUE32, 0, 0)) : Value32Stored;
  SendMessage(LEM_SETVALUE32, static_cast<WPARAM>(v32), 0);
  SendMessage(LEM_SETVALUE78, static_cast<WPARAM>(static_cast<unsigned short>(Val78)), 0);
  SetValues79(Val79Ptr, Val79Value, Val79Short);
  SendMessage(LEM_SETVALUE87, static_cast<WPARAM>(static_cast<unsigned short>(Val87)), 0);
  if (FontObj) {
    LOGFONT lf = FontObj->GetLogFont();
    SendMessage(LEM_SETFONT, 0, reinterpret_cast<LPARAM>(&lf));
  }
  // A table with a flag has a count word above 254; it is sent all the same.
  if (CharCount >= 0)
    SendMessage(LEM_SETCHARTABLE, static_cast<WPARAM>(CharCount), reinterpret_cast<LPARAM>(CharTable));
  SendMessage(LEM_SETSEL, 0, reinterpret_cast<LPARAM>(&SavedSel));
}

bool TLEdit::CanClose() {
  if (!LEditControl::CanClose()) return false;
  if (!Exists) return true;
  return LOWORD(SendMessage(LEM_CANCLOSE, 0, 0)) != 0;
}

// ---- option setters -------------------------------------------------------------------

void TLEdit::SetReadOnly(bool on) {
  if (Exists) SendMessage(LEM_SETREADONLY, on ? 1 : 0, 0);
  else Attr.Style = on ? (Attr.Style | 0x800) : (Attr.Style & ~0x800u);
}

void TLEdit::SetStyleOptionA(bool on) {
  if (Exists) SendMessage(LEM_STYLEA, on ? 1 : 0, 0);
  else Attr.Style = on ? (Attr.Style | 0x200) : (Attr.Style & ~0x200u);
}

void TLEdit::SetStyleOptionB(bool on) {
  if (Exists) SendMessage(LEM_STYLEB, on ? 1 : 0, 0);
  else Attr.Style = on ? (Attr.Style | 0x400) : (Attr.Style & ~0x400u);
}

void TLEdit::SetScrollBars(bool horizontal, bool vertical) {
  if (!Exists) {
    Attr.Style = horizontal ? (Attr.Style | WS_HSCROLL) : (Attr.Style & ~WS_HSCROLL);
    Attr.Style = vertical ? (Attr.Style | WS_VSCROLL) : (Attr.Style & ~WS_VSCROLL);
    return;
  }
  DWORD word = static_cast<DWORD>(SendMessage(LEM_GETOPTIONWORD, 0, 0));
  word = horizontal ? (word | 0x10000) : (word & ~0x10000u);
  word = vertical ? (word | 0x20000) : (word & ~0x20000u);
  SendMessage(LEM_SETOPTIONWORD, 0, static_cast<LPARAM>(word));
}

void TLEdit::SetOptionLowNibble(int v) {
  if (!Exists) return;
  DWORD word = static_cast<DWORD>(SendMessage(LEM_GETOPTIONWORD, 0, 0));
  SendMessage(LEM_SETOPTIONWORD, 0, static_cast<LPARAM>((word & ~0xFu) | (v & 15)));
}

bool* TLEdit::OptionField(UINT bit) {
  switch (bit) {
    case 1: return &Opt1;
    case 2: return &Opt2;
    case 4: return &Opt4;
    case 8: return &Opt8;
    case 16: return &Opt16;
    case 128: return &Opt128;
    case 256: return &Opt256;
    case 512: return &Opt512;
    case 1024: return &Opt1024;
    default: return nullptr;
  }
}

bool TLEdit::GetOptionBit(UINT bit) const {
  bool* f = const_cast<TLEdit*>(this)->OptionField(bit);
  return f && *f;
}

void TLEdit::SendOption(UINT bit, bool on) {
  if (on) SendMessage(LEM_SETOPTIONS, bit, 0);
  else SendMessage(LEM_SETOPTIONS, 0, bit);
}

void TLEdit::SetOptionBit(UINT bit, bool on) {
  bool* f = OptionField(bit);
  if (!f) return;
  *f = on;
  if (Exists) SendOption(bit, on);
}

void TLEdit::SetTypingMode(int mode) {
  TypingMode = mode ? 1 : 0;
  if (Exists) SendMessage(LEM_SETTYPING, TypingMode == 0 ? 1 : 0, 0);
}

void TLEdit::SetWidthValue(int v) {
  WidthValue = std::clamp(v, 1, 40);
  if (Exists) SendMessage(LEM_SETTABWIDTH, WidthValue, 0);
}

void TLEdit::SetValue32(long v) {
  if (!Exists) {
    Value32Stored = v;
    return;
  }
  long send = v == -1 ? LOWORD(SendMessage(LEM_GETVALUE32, 0, 0)) : v;
  SendMessage(LEM_SETVALUE32, static_cast<WPARAM>(send), 0);
}

void TLEdit::SetValue78(int v) {
  Val78 = static_cast<short>(v);
  if (Exists) SendMessage(LEM_SETVALUE78, static_cast<WPARAM>(static_cast<unsigned short>(Val78)), 0);
}

void TLEdit::SetValue87(int v) {
  Val87 = static_cast<short>(v);
  if (Exists) SendMessage(LEM_SETVALUE87, static_cast<WPARAM>(static_cast<unsigned short>(Val87)), 0);
}

void TLEdit::SetValues79(void* p, long v, short s) {
  Val79Ptr = p;
  Val79Value = v;
  Val79Short = s;
  if (!Exists) return;
  WPARAM flags = 0;
  if (p) flags = 1 | (v ? 4 : 0) | (s ? 2 : 0);
  SendMessage(LEM_SETVALUES79, flags, s);
}

void TLEdit::SetCharTable(const unsigned char* entries, int count, int flag) {
  count = std::clamp(count, 0, static_cast<int>(CharTableSize));
  if (count) std::memcpy(CharTable, entries, 2 * count);
  CharCount = count + (flag << 8);
  if (Exists) SendMessage(LEM_SETCHARTABLE, static_cast<WPARAM>(CharCount), reinterpret_cast<LPARAM>(CharTable));
}

void TLEdit::SetCharTable(const char* coded, int flag) {
  unsigned char table[2 * CharTableSize];
  int n = 0;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(coded ? coded : "");
  size_t len = std::strlen(reinterpret_cast<const char*>(s));
  for (size_t i = 0; i < len && n < CharTableSize;) {
    unsigned char c = s[i++];
    if (c < '0' || c > '4') continue;
    unsigned char* e = table + 2 * n;
    if (c == '0') {
      e[0] = 1, e[1] = 1, ++n;
    } else if (c == '2') {
      if (i + 1 < len) e[0] = s[i], e[1] = s[i + 1], ++n, i += 2;
      else i = len;  // one character left: skipped, no entry
    } else if (i < len) {
      e[0] = s[i++];
      e[1] = c == '1' ? 0 : c == '3' ? 3 : 4;
      ++n;
    }
  }
  SetCharTable(table, n, flag);
}

void TLEdit::SetFont(TFont* font) {
  FontObj.reset(font);
  if (Exists && FontObj) {
    LOGFONT lf = FontObj->GetLogFont();
    SendMessage(LEM_SETFONT, 0, reinterpret_cast<LPARAM>(&lf));
  }
}

void TLEdit::SetSelectionColors(COLORREF text, COLORREF back) {
  SelText = text;
  SelBack = back;
}

void TLEdit::SetNormalColors(bool override, COLORREF text, COLORREF back) {
  ColorOverride = override;
  NormalText = text;
  NormalBack = back;
}

// ---- text operations --------------------------------------------------------------------

bool TLEdit::GetLine(char* buffer, size_t size, long line) {
  if (!buffer || size < sizeof(uint32_t)) return false;
  uint32_t n = static_cast<uint32_t>(line);
  std::memcpy(buffer, &n, sizeof n);
  LEditBuffer b{buffer, size};
  return SendMessage(LEM_GETLINE, 0, reinterpret_cast<LPARAM>(&b)) >= 0;
}

std::string TLEdit::GetLine(long line) {
  std::vector<char> buf(512);
  for (;;) {
    if (GetLine(buf.data(), buf.size(), line)) return buf.data();
    // A missing line fails as well as a long one: grow only while it is long.
    if (line < 1 || line > SendMessage(LEM_GETLINECOUNT, 0, 0)) return {};
    buf.resize(buf.size() * 4);
  }
}

SelectionRange TLEdit::GetSelection() {
  SelectionRange r{};
  SendMessage(LEM_GETSEL, 0, reinterpret_cast<LPARAM>(&r));
  return r;
}

bool TLEdit::HasSelection() {
  SelectionRange r = GetSelection();
  return r.startCol != r.endCol || r.startLine != r.endLine;
}

void TLEdit::SetCaretPos(long line, int column) { SetSelection(line, column, line, column); }

void TLEdit::SetSelection(long startLine, int startCol, long endLine, int endCol) {
  SelectionRange r{static_cast<uint16_t>(startCol), static_cast<uint16_t>(endCol), static_cast<uint32_t>(startLine),
                   static_cast<uint32_t>(endLine)};
  SendMessage(LEM_SETSEL, 0, reinterpret_cast<LPARAM>(&r));
}

void TLEdit::DeleteRange(const SelectionRange& r) {
  SendMessage(LEM_SETSEL, 0, reinterpret_cast<LPARAM>(&r));
  SendMessage(WM_CLEAR, 0, 0);
}

void TLEdit::DeleteText(long startLine, int startCol, long endLine, int endCol) {
  SetSelection(startLine, startCol, endLine, endCol);
  SendMessage(WM_CLEAR, 0, 0);
}

void TLEdit::DeleteLine(long line) {
  long count = static_cast<long>(SendMessage(LEM_GETLINECOUNT, 0, 0));
  if (line != count) DeleteText(line, 0, line + 1, 0);
  else DeleteText(line, 0, line, lcol_end_of_line);
}

HGLOBAL TLEdit::GetTextHandle() {
  size_t n = static_cast<size_t>(SendMessage(LEM_GETLENGTH, 1, 0));
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, n + 1);
  if (!h) return nullptr;
  char* p = static_cast<char*>(GlobalLock(h));
  LEditBuffer b{p, n + 1};
  bool ok = p && SendMessage(LEM_COPYALLTEXT, 1, reinterpret_cast<LPARAM>(&b)) == 0;
  if (p) GlobalUnlock(h);
  if (!ok) {
    GlobalFree(h);
    return nullptr;
  }
  return h;
}

HGLOBAL TLEdit::GetTextHandle2() {
  size_t n = static_cast<size_t>(SendMessage(LEM_GETLENGTH, 1, 0));
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, n + 1);
  if (!h) return nullptr;
  char* p = static_cast<char*>(GlobalLock(h));
  LEditBuffer b{p, n + 1};
  bool ok = p && SendMessage(LEM_GETTEXT, 0, reinterpret_cast<LPARAM>(&b)) == 0;
  if (p) GlobalUnlock(h);
  if (!ok) {
    GlobalFree(h);
    return nullptr;
  }
  return h;
}

void TLEdit::SetTextHandle(HGLOBAL h) {
  if (const char* p = static_cast<const char*>(GlobalLock(h))) {
    SendMessage(LEM_SETALLTEXT, 1, reinterpret_cast<LPARAM>(p));
    GlobalUnlock(h);
  }
}

void TLEdit::InsertTextHandle(HGLOBAL h) {
  if (const char* p = static_cast<const char*>(GlobalLock(h))) {
    SendMessage(LEM_INSERT, 0, reinterpret_cast<LPARAM>(p));
    GlobalUnlock(h);
  }
}

// ---- notifications and callbacks -----------------------------------------------------------

void TLEdit::Forward(UINT code) {
  HWND parent = GetParent();
  if (!parent) return;
  ::SendMessage(parent, WM_COMMAND, MAKEWPARAM(GetId(), code), reinterpret_cast<LPARAM>(GetHandle()));
}

LRESULT TLEdit::EvEngineNotify(UINT code) {
  switch (code) {
    case 0x300: EvTextChanged(); return 0;
    case 800:
    case 801:
      TypingMode = static_cast<int>(code - 800);
      EvTypingMode(TypingMode);
      return 0;
    case 1500: return Notice1500();
    case 1501: return Notice1501();
    case 1278: return Notice1278();
    case 1281: return Notice1281();
    case 2048: return Notice2048();
    case 2049: return Notice2049();
    case 0x100: EvFocusGained(); return 0;
    case 0x200: EvFocusLost(); return 0;
    case 1537: EvHorzScroll(); return 0;
    case 1538: EvVertScroll(); return 0;
    case 1022: Notice1022(); return 0;
    case 1023: Notice1023(); return 0;
    default: return 0;
  }
}

LRESULT TLEdit::DispatchNotify(TWindow* w, TEventInfo& ev) {
  auto* self = static_cast<TLEdit*>(w);
  // Only the bound control's own reports; a child with id 1000 is not it.
  if (ev.LParam != reinterpret_cast<LPARAM>(self->GetHandle())) return self->DefaultProcessing();
  return self->EvEngineNotify(ev.NotifyCode);
}

int TLEdit::GetTokenColor(const char*, COLORREF& back, COLORREF& text) {
  back = 0;
  text = 0;
  return 0;
}

LRESULT TLEdit::EvSetFont(WPARAM wp, LPARAM lp) {
  HFONT h = reinterpret_cast<HFONT>(wp);
  // A wrapper that does not own the handle: the sender keeps it.
  if (!FontObj || FontObj->GetHandle() != h) FontObj = std::make_unique<TFont>(h, false);
  return LEditControl::DefWindowProc(WM_SETFONT, wp, lp);
}

LRESULT TLEdit::EvDestroy(WPARAM wp, LPARAM lp) {
  delete[] PendingFileName;
  PendingFileName = nullptr;
  Exists = false;
  return LEditControl::DefWindowProc(WM_DESTROY, wp, lp);
}

LRESULT TLEdit::EvSelColors(WPARAM wp, LPARAM) {
  if (TDC* dc = reinterpret_cast<TDC*>(wp)) {
    dc->SetTextColor(SelText);
    dc->SetBkColor(SelBack);
  }
  EvSelColorNotice();
  return 0;
}

LRESULT TLEdit::EvCtlColor(WPARAM wp, LPARAM lp) {
  if (ColorOverride) {
    if (TDC* dc = reinterpret_cast<TDC*>(wp)) {
      dc->SetTextColor(NormalText);
      dc->SetBkColor(NormalBack);
    }
    EvColorNotice();
  } else if (HWND parent = GetParent()) {
    ::SendMessage(parent, WM_CTLCOLOR, wp, lp);
  }
  return 0;
}

LRESULT TLEdit::EvTokenColor(WPARAM wp, LPARAM lp) {
  TDC* dc = reinterpret_cast<TDC*>(wp);
  COLORREF back = 0, text = 0;
  int r = GetTokenColor(reinterpret_cast<const char*>(lp), back, text);
  if (dc && (r & 2)) dc->SetBkColor(back);
  if (dc && (r & 1)) dc->SetTextColor(text);
  return 0;
}

LRESULT TLEdit::EvBackground(WPARAM wp, LPARAM) {
  TDC* given = reinterpret_cast<TDC*>(wp);
  if (!MemoryPainting || !given) return 0;
  TRect r = GetClientRect();
  TMemoryDC mem(*given);
  HBITMAP bmp = CreateCompatibleBitmap(*given, std::max(1, r.Width()), std::max(1, r.Height()));
  if (!bmp) {
    Paint(*given, true, r);
    return 0;
  }
  mem.SelectObject(bmp);
  Paint(mem, true, r);
  mem.Flush();
  mem.RestoreObjects();
  return reinterpret_cast<LRESULT>(bmp);  // the control owns it now
}

LRESULT TLEdit::EvQuery48(WPARAM, LPARAM lp) { return LOWORD(Query48(lp)); }

LRESULT TLEdit::EvQuery49(WPARAM, LPARAM lp) {
  EvQueryNotice();
  return LOWORD(Query49(lp));
}

LRESULT TLEdit::EvHook83(WPARAM wp, LPARAM lp) {
  TDC* dc = reinterpret_cast<TDC*>(wp);
  return dc ? DrawHook83(*dc, HIWORD(lp), lp) : 0;
}

LRESULT TLEdit::EvValue80(WPARAM wp, LPARAM) { return static_cast<unsigned short>(Value80(static_cast<short>(wp))); }

// ---- commands ------------------------------------------------------------------------------

UINT TLEdit::ControlCommandOf(UINT id) {
  switch (id) {
    case kCmStdEditUndo: return LEC_UNDO;
    case kCmStdEditCut: return LEC_CUT;
    case kCmStdEditCopy: return LEC_COPY;
    case kCmStdEditPaste: return LEC_PASTE;
    case kCmStdEditClear: return LEC_CLEAR;
    case kCmStdEditClearAll: return LEC_CLEARALL;
    case kCmStdFileNew: return LEC_NEW;
    case kCmStdFileOpen: return LEC_OPEN;
    case kCmStdFileSave: return LEC_SAVE;
    case kCmStdFileSaveAs: return LEC_SAVEAS;
    case kCmStdFileRevert: return LEC_REVERT;
    case kCmStdFilePrint: return LEC_RAWPRINT;
    case kCmStdFilePrintSetup: return LEC_PRINTSETUP;
    case kCmStdEditFind: return LEC_FIND;
    case kCmStdEditReplace: return LEC_REPLACE;
    case kCmStdEditFindNext: return LEC_FINDNEXT;
    default: return 0;
  }
}

void TLEdit::CeEditCommand(TCommandEnabler& ce) {
  ce.Enable(LOWORD(SendMessage(LEM_CANDO, ControlCommandOf(ce.GetId()), 0)) != 0);
}

void TLEdit::CmStandard(UINT id) {
  switch (id) {
    case kCmStdEditUndo: SendMessage(LEM_UNDO, 0, 0); break;
    case kCmStdEditCut: SendMessage(WM_CUT, 0, 0); break;
    case kCmStdEditCopy: SendMessage(WM_COPY, 0, 0); break;
    case kCmStdEditPaste: SendMessage(WM_PASTE, 0, 0); break;
    case kCmStdEditClear: SendMessage(WM_CLEAR, 0, 0); break;
    case kCmStdEditClearAll: SendMessage(WM_CLEAR, 1, 0); break;
    case kCmStdEditFind: SendMessage(WM_COMMAND, kCmEditFind, 0); break;
    case kCmStdEditFindNext: SendMessage(WM_COMMAND, kCmEditFindNext, 0); break;
    case kCmStdEditReplace: SendMessage(WM_COMMAND, kCmEditReplace, 0); break;
    case kCmStdFilePrint: SendMessage(WM_COMMAND, kCmRawPrint, 0); break;
    case kCmStdFilePrintSetup: SendMessage(WM_COMMAND, kCmPrintSetup, 0); break;
    default: break;
  }
}

void TLEdit::CmOwn(UINT id) { LEditControl::DefWindowProc(WM_COMMAND, id, 0); }

#define LEDIT_NOTIFY                                                                                   \
  TResponseTableEntry { TResponseTableEntry::AnyNotify, WM_COMMAND, TLEdit::NotifyId, 0, &TLEdit::DispatchNotify }

DEFINE_RESPONSE_TABLE1(TLEdit, LEditControl)
  LEDIT_NOTIFY,
  EV_MESSAGE(WM_SETFONT, EvSetFont),
  EV_MESSAGE(WM_DESTROY, EvDestroy),
  EV_MESSAGE(LEM_SELCOLORS, EvSelColors),
  EV_MESSAGE(WM_CTLCOLOR, EvCtlColor),
  EV_MESSAGE(LEM_TOKENCOLOR, EvTokenColor),
  EV_MESSAGE(LEM_BACKGROUND, EvBackground),
  EV_MESSAGE(LEM_QUERY48, EvQuery48),
  EV_MESSAGE(LEM_QUERY49, EvQuery49),
  EV_MESSAGE(LEM_LINEHOOK, EvHook83),
  EV_MESSAGE(LEM_VALUE80, EvValue80),
  EV_COMMAND_AND_ID(kCmStdEditUndo, CmStandard), EV_COMMAND_AND_ID(kCmStdEditCut, CmStandard),
  EV_COMMAND_AND_ID(kCmStdEditCopy, CmStandard), EV_COMMAND_AND_ID(kCmStdEditPaste, CmStandard),
  EV_COMMAND_AND_ID(kCmStdEditClear, CmStandard), EV_COMMAND_AND_ID(kCmStdEditClearAll, CmStandard),
  EV_COMMAND_AND_ID(kCmStdFilePrint, CmStandard), EV_COMMAND_AND_ID(kCmStdFilePrintSetup, CmStandard),
  EV_COMMAND_AND_ID(kCmStdEditFind, CmStandard), EV_COMMAND_AND_ID(kCmStdEditReplace, CmStandard),
  EV_COMMAND_AND_ID(kCmStdEditFindNext, CmStandard), EV_COMMAND_ENABLE(kCmStdEditUndo, CeEditCommand),
  EV_COMMAND_ENABLE(kCmStdEditCut, CeEditCommand), EV_COMMAND_ENABLE(kCmStdEditCopy, CeEditCommand),
  EV_COMMAND_ENABLE(kCmStdEditPaste, CeEditCommand), EV_COMMAND_ENABLE(kCmStdEditClear, CeEditCommand),
  EV_COMMAND_ENABLE(kCmStdEditClearAll, CeEditCommand), EV_COMMAND_ENABLE(kCmStdFilePrint, CeEditCommand),
  EV_COMMAND_ENABLE(kCmStdFilePrintSetup, CeEditCommand), EV_COMMAND_ENABLE(kCmStdEditFind, CeEditCommand),
  EV_COMMAND_ENABLE(kCmStdEditReplace, CeEditCommand), EV_COMMAND_ENABLE(kCmStdEditFindNext, CeEditCommand),
  EV_COMMAND_ENABLE(kCmStdFileNew, CeEditCommand), EV_COMMAND_ENABLE(kCmStdFileOpen, CeEditCommand),
  EV_COMMAND_ENABLE(kCmStdFileSave, CeEditCommand), EV_COMMAND_ENABLE(kCmStdFileSaveAs, CeEditCommand),
  EV_COMMAND_ENABLE(kCmStdFileRevert, CeEditCommand), EV_COMMAND_AND_ID(kCmRawPrint, CmOwn),
  EV_COMMAND_AND_ID(kCmPrintSetup, CmOwn), EV_COMMAND_AND_ID(kCmEditUndo, CmOwn),
  EV_COMMAND_AND_ID(kCmEditRedo, CmOwn), EV_COMMAND_AND_ID(kCmEditCut, CmOwn), EV_COMMAND_AND_ID(kCmEditCopy, CmOwn),
  EV_COMMAND_AND_ID(kCmEditPaste, CmOwn), EV_COMMAND_AND_ID(kCmEditClear, CmOwn),
  EV_COMMAND_AND_ID(kCmEditDuplicate, CmOwn), EV_COMMAND_AND_ID(kCmEditSelectAll, CmOwn),
  EV_COMMAND_AND_ID(kCmEditFind, CmOwn), EV_COMMAND_AND_ID(kCmEditFindNext, CmOwn),
  EV_COMMAND_AND_ID(kCmEditReplace, CmOwn), EV_COMMAND_AND_ID(kCmEditCommand1024, CmOwn),
  EV_COMMAND_AND_ID(kCmEditCommand1026, CmOwn), EV_COMMAND_AND_ID(kCmEditCommand1027, CmOwn),
  EV_COMMAND_AND_ID(kCmEditCommand1031, CmOwn), EV_COMMAND_AND_ID(kCmEditCommand1032, CmOwn),
  EV_COMMAND_AND_ID(kCmEditClearAll, CmOwn),
END_RESPONSE_TABLE;

// ---- TLEditFile ------------------------------------------------------------------------------

TLEditFile::TLEditFile(TWindow* parent, const char* title, UINT extraStyle, TModule* module)
    : TLEdit(parent, title, extraStyle | 1, module) {}

TLEditFile::TLEditFile(TWindow* parent, int id, const char* title, int x, int y, int w, int h, UINT extraStyle,
                       TModule* module)
    : TLEdit(parent, id, title, x, y, w, h, extraStyle | 1, module) {}

TLEditFile::TLEditFile(TWindow* parent, int resourceId, TModule* module) : TLEdit(parent, resourceId, module) {}

void TLEditFile::SetupWindow() {
  TLEdit::SetupWindow();
  if (!FileName[0]) {
    LEditBuffer b{FileName, sizeof FileName};
    SendMessage(LEM_DEFFILENAME, 0, reinterpret_cast<LPARAM>(&b));
  } else {
    SendMessage(LEM_SETFILENAME, 0, reinterpret_cast<LPARAM>(FileName));
  }
}

bool TLEditFile::SetFileName(const char* name) {
  if (!name) name = "";
  if (std::strlen(name) >= sizeof FileName) return false;
  if (Exists) SendMessage(LEM_SETFILENAME, 0, reinterpret_cast<LPARAM>(name));
  else std::snprintf(FileName, sizeof FileName, "%s", name);
  return true;
}

std::string TLEditFile::GetFileName() {
  char buf[NameBuffer] = {};
  LEditBuffer b{buf, sizeof buf};
  SendMessage(LEM_GETFILENAME, 0, reinterpret_cast<LPARAM>(&b));
  return buf;
}

LRESULT TLEditFile::EvSetFileName(WPARAM wp, LPARAM lp) {
  const char* name = reinterpret_cast<const char*>(lp);
  std::string copy = name ? name : "";  // the name may be our own field
  std::snprintf(FileName, sizeof FileName, "%s", copy.c_str());
  return LEditControl::DefWindowProc(LEM_SETFILENAME, wp, reinterpret_cast<LPARAM>(copy.c_str()));
}

void TLEditFile::CmFile(UINT id) {
  switch (id) {
    case kCmStdFileRevert: SendMessage(WM_COMMAND, LEC_REVERT, 0); break;
    case kCmStdFileSave: SendMessage(WM_COMMAND, LEC_SAVE, 0); break;
    case kCmStdFileSaveAs: SendMessage(WM_COMMAND, LEC_SAVEAS, 0); break;
    default: LEditControl::DefWindowProc(WM_COMMAND, id, 0); break;  // 1001-1005
  }
}

DEFINE_RESPONSE_TABLE1(TLEditFile, TLEdit)
  EV_MESSAGE(LEM_SETFILENAME, EvSetFileName),
  EV_COMMAND_AND_ID(kCmStdFileSave, CmFile), EV_COMMAND_AND_ID(kCmStdFileSaveAs, CmFile),
  EV_COMMAND_AND_ID(kCmStdFileRevert, CmFile), EV_COMMAND_AND_ID(LEC_NEW, CmFile),
  EV_COMMAND_AND_ID(LEC_OPEN, CmFile), EV_COMMAND_AND_ID(LEC_REVERT, CmFile), EV_COMMAND_AND_ID(LEC_SAVE, CmFile),
  EV_COMMAND_AND_ID(LEC_SAVEAS, CmFile),
END_RESPONSE_TABLE;

// ---- streams ----------------------------------------------------------------------------------

TLEdit::TLEdit(TWindow* parent, TLEditStreamed) : LEditControl(parent, 0, nullptr, 0, 0, 0, 0) {
  Init();
  Streamed = true;
}

void TLEdit::Write(TLEditOut& os) {
  os.u16(static_cast<uint16_t>(TypingMode));
  for (bool f : {Opt2, Opt1, Opt4, Opt1024, Opt512, Opt8, Opt16, Opt128, Opt256}) os.u32(f);
  os.u16(static_cast<uint16_t>(Val87));
  os.u16(static_cast<uint16_t>(Val78));
  // A pointer means nothing in another session: only whether there was one.
  os.u8(Val79Ptr != nullptr);
  os.u32(static_cast<uint32_t>(Val79Value));
  os.u16(static_cast<uint16_t>(Val79Short));
  os.u16(MemoryPainting);
  os.u32(static_cast<uint32_t>(Value32Stored));
  os.u32(static_cast<uint32_t>(WidthValue));
  os.u32(SelText);
  os.u32(SelBack);
  os.u32(ColorOverride);
  if (ColorOverride) {
    os.u32(NormalText);
    os.u32(NormalBack);
  }
  SelectionRange sel = Exists ? GetSelection() : SavedSel;
  os.raw(&sel, sizeof sel);
  os.u32(static_cast<uint32_t>(CharCount));
  int entries = CharCount < 0 ? 0 : CharCount & 0xFF;
  os.raw(CharTable, 2 * static_cast<size_t>(entries));
  os.u8(FontObj != nullptr);
  LOGFONT lf{};
  if (FontObj) lf = FontObj->GetLogFont();
  os.raw(&lf, sizeof lf);
  os.u8(Group != nullptr);  // the group itself is its owner's to store
}

bool TLEdit::Read(TLEditIn& is) {
  // A wrapper built for the stream starts clean; one whose control is
  // live keeps it (clearing would leave the live control unreachable).
  if (Streamed && !GetHandle()) {
    Exists = false;
    delete[] PendingFileName;
    PendingFileName = nullptr;
  }
  int typing = is.u16();
  bool flags[9];
  for (bool& f : flags) f = is.u32() != 0;
  short v87 = static_cast<short>(is.u16()), v78 = static_cast<short>(is.u16());
  bool hadPtr = is.u8();
  long v79 = static_cast<int32_t>(is.u32());
  short s79 = static_cast<short>(is.u16());
  bool memory = is.u16();
  long v32 = static_cast<int32_t>(is.u32());
  int width = static_cast<int32_t>(is.u32());
  COLORREF selText = is.u32(), selBack = is.u32();
  bool override = is.u32();
  COLORREF normText = 0, normBack = 0;
  if (override) normText = is.u32(), normBack = is.u32();
  SelectionRange sel{};
  is.raw(&sel, sizeof sel);
  int count = static_cast<int32_t>(is.u32());
  unsigned char table[2 * CharTableSize] = {};
  if (count >= 0) is.raw(table, 2 * static_cast<size_t>(std::min(count & 0xFF, int{CharTableSize})));
  bool hasFont = is.u8();
  LOGFONT lf{};
  is.raw(&lf, sizeof lf);
  is.u8();  // group marker
  if (!is.ok()) return false;

  TypingMode = typing ? 1 : 0;
  bool* fields[] = {&Opt2, &Opt1, &Opt4, &Opt1024, &Opt512, &Opt8, &Opt16, &Opt128, &Opt256};
  for (int i = 0; i < 9; ++i) *fields[i] = flags[i];
  Val87 = v87;
  Val78 = v78;
  if (!hadPtr) Val79Ptr = nullptr;
  Val79Value = v79;
  Val79Short = s79;
  MemoryPainting = memory;
  Value32Stored = v32;
  WidthValue = std::clamp(width, 1, 40);
  SelText = selText;
  SelBack = selBack;
  ColorOverride = override;
  if (override) {
    NormalText = normText;
    NormalBack = normBack;
  } else if (Streamed) {
    NormalBack = GetSysColor(COLOR_WINDOW);
    NormalText = GetSysColor(COLOR_WINDOWTEXT);
  }
  SavedSel = sel;
  CharCount = count < 0 ? -1 : std::min(count & 0xFF, int{CharTableSize}) + (count & ~0xFF);
  std::memcpy(CharTable, table, sizeof table);
  if (hasFont) FontObj = std::make_unique<TFont>(lf);
  if (Exists) SendAllOptions();
  return true;
}

void TLEditFile::Write(TLEditOut& os) {
  TLEdit::Write(os);
  os.text(FileName);
  os.text(Exists ? GetFileName() : std::string(PendingFileName ? PendingFileName : ""));
}

bool TLEditFile::Read(TLEditIn& is) {
  if (!TLEdit::Read(is)) return false;
  std::string name = is.text(), current = is.text();
  if (!is.ok() || name.size() >= sizeof FileName) return false;
  Attr.Style |= 0x100;
  std::snprintf(FileName, sizeof FileName, "%s", name.c_str());
  delete[] PendingFileName;
  PendingFileName = new char[current.size() + 1];
  std::memcpy(PendingFileName, current.c_str(), current.size() + 1);
  if (Exists) {
    SendMessage(LEM_SETFILENAME, 0, reinterpret_cast<LPARAM>(FileName));
    if (!current.empty()) SendMessage(LEM_LOADFILE, 0, reinterpret_cast<LPARAM>(PendingFileName));
    SendMessage(LEM_SETSEL, 0, reinterpret_cast<LPARAM>(&SavedSel));
  }
  return true;
}
