// The large-text edit control, window class "LEdit32": a view of one
// Document that answers the control's message protocol (protocol.h),
// paints the visible lines, keeps caret, selection and scroll position,
// and takes keys and mouse as a desktop editor does.
//
// A wrapper class derives from it: messages sent to the window reach the
// wrapper's response table first and come here through DefWindowProc, and
// so do the callbacks the control sends to its own window while painting
// (colours, token colours, background), so a wrapper answers them.
#pragma once

#include <memory>
#include <string>

#include "platform/ledit/document.h"
#include "platform/ledit/protocol.h"
#include "platform/ledit/tokenizer.h"
#include "platform/ui/capture.h"  // the scroll codes (SB_...)
#include "platform/ui/control.h"
#include "platform/ui/gdi_types.h"

class TPrinter;

// Mouse messages the control takes (Windows values).
#ifndef WM_MOUSEMOVE
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_LBUTTONDBLCLK 0x0203
#define WM_MOUSEWHEEL 0x020A
#endif
#ifndef MK_LBUTTON
#define MK_LBUTTON 0x0001
#define MK_SHIFT 0x0004
#define MK_CONTROL 0x0008
#endif
#ifndef WM_CTLCOLOR
#define WM_CTLCOLOR 0x0019
#endif

namespace plat::ledit {

// What the screen needs to place scroll bars and the caret.
struct ViewMetrics {
  size_t lines = 1;       // of the text
  size_t topLine = 0;
  size_t pageLines = 1;   // lines that fit in the window
  int leftPx = 0;         // horizontal scroll
  int widthPx = 0;        // widest line seen so far
  int lineHeight = 16;
  TRect caret;            // in client pixels; empty when scrolled away
  bool hScroll = false;
  bool vScroll = false;
  int barPx = 16;         // thickness of a scroll bar, taken from the client area
};

}  // namespace plat::ledit

class LEditControl : public TControl, private plat::ledit::DocumentWatcher {
 public:
  LEditControl(TWindow* parent, int id, const char* title, int x, int y, int w, int h);
  LEditControl(TWindow* parent, int resourceId);
  ~LEditControl() override;

  LRESULT DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
  // Takes read-only, the two style options and the scroll bars from the
  // creation style.
  void SetupWindow() override;
  // Sends WM_DESTROY to the window first, so a wrapper hears of the end.
  void CleanupWindow() override;

  // For the screen and tests.
  plat::ledit::Document& Doc() { return *Text; }
  size_t CaretPos() const { return Caret; }
  size_t AnchorPos() const { return Anchor; }
  plat::ledit::ViewMetrics Metrics();
  bool IsOvertype() const { return Overtype; }
  bool IsReadOnly() const { return ReadOnly; }
  const std::string& FileName() const { return Name; }
  // The control's printer (raw print and print setup); one is made on first use.
  TPrinter& Printer();

 protected:
  const char* WindowClass() const override { return "LEdit32"; }
  void EvSetFocus() override;
  void EvKillFocus() override;

 private:
  // ---- protocol (control.cpp)
  LRESULT Protocol(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
  LRESULT TextMessage(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
  LRESULT SettingMessage(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
  LRESULT InputMessage(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
  LRESULT Command(UINT cmd);
  bool CanDo(UINT cmd);
  void Notify(UINT code);
  void SetRange(const SelectionRange& r);
  SelectionRange GetRange() const;
  size_t PosOf(uint32_t line, uint16_t col) const;
  LRESULT LoadFile(const char* path);
  LRESULT SaveFile(const char* path);
  void SetAll(const char* text, size_t n);

  // ---- editing (control_edit.cpp)
  bool ReplaceSelection(const std::string& text, bool typing);
  void TypeChar(unsigned char c);
  bool KeyDown(UINT vk);
  void MoveCaret(size_t pos, bool extend);
  size_t PrevChar(size_t pos) const;
  size_t NextChar(size_t pos) const;
  size_t WordLeft(size_t pos) const;
  size_t WordRight(size_t pos) const;
  size_t VerticalMove(size_t pos, long lines);
  void Undo(bool redo);
  void CopySelection(bool cut);
  void Paste();
  void Duplicate();
  void MouseDown(int x, int y, bool extend, bool words);
  void MouseMove(int x, int y);
  bool FindNext(bool quiet = false);
  void ReplaceOne();
  size_t ReplaceEvery();
  void GotoLine(size_t line);
  void ShowFindDialog(bool replace);
  void ShowGotoDialog();
  void FileCommand(UINT cmd);
  void RawPrint();

  // ---- view (control_paint.cpp)
  void PaintText(TDC& dc, bool erase);
  void PaintLine(TDC& dc, size_t line, int y, int width, COLORREF fg, COLORREF bg);
  void EnsureFont();
  // The client area less the scroll bars the option word shows.
  TRect TextRect() const;
  int LineHeight();
  size_t PageLines();
  int XOf(size_t line, size_t pos);
  size_t PosAtX(size_t line, int x);
  size_t PosAtPoint(int x, int y);
  void ScrollToCaret();
  void ScrollLines(long delta);
  void ScrollMessage(bool vertical, UINT code, int thumb);
  std::string Expanded(const std::string& text, std::vector<size_t>* cols = nullptr) const;
  void Changed();

  // DocumentWatcher
  void text_inserted(size_t pos, size_t n) override;
  void text_erased(size_t pos, size_t n) override;

  std::unique_ptr<plat::ledit::Document> Text;
  plat::ledit::Tokenizer Tokens;
  size_t Anchor = 0, Caret = 0;
  int WantX = -1;  // the x an up/down move keeps to
  size_t TopLine = 0;
  int LeftPx = 0;
  int WidestPx = 0;
  bool Overtype = false;
  bool ReadOnly = false;
  bool Focused = false;
  bool Dragging = false;
  LOGFONT Font{};
  HFONT FontHandle = nullptr;
  int LineH = 0;
  int TabWidth = 8;
  uint32_t Options = 0;
  uint32_t OptionWord = 0;
  bool StyleA = false, StyleB = false;
  uint16_t Value32 = 0;
  uint16_t Value78 = 16, Value87 = 0;
  uint16_t Values79[3] = {0, 0, 0};
  int CharTableFlag = 0;
  std::string Name;
  std::string LastError;
  UINT NotifyId = 0;
  HWND NotifyWnd = nullptr;
  HWND Group = nullptr;
  // The last search, for find next.
  std::string FindWhat, ReplaceWith;
  bool MatchCase = false, WholeWord = false, SearchUp = false;
  std::unique_ptr<TPrinter> OwnPrinter;

  friend class LEditFindDialog;
  friend class LEditGotoDialog;
};

// "LEditGroup32": a window that controls attach themselves to; it keeps
// the list of its live members and answers an attach with their count.
class LEditGroupWindow : public TWindow {
 public:
  explicit LEditGroupWindow(TWindow* parent);
  LRESULT DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
  const std::vector<HWND>& Members() const { return Attached; }

 protected:
  const char* WindowClass() const override { return "LEditGroup32"; }

 private:
  std::vector<HWND> Attached;
};

namespace plat::ledit {
// Registers "LEdit32" and "LEditGroup32" with the window model (done once
// at start; calling again is harmless).
void register_classes();
}  // namespace plat::ledit
