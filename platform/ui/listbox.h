// TListBox: lines of bytes kept as they are (8-bit code-page bytes too),
// optionally sorted without regard to case, with one selected line (or,
// with LBS_EXTENDEDSEL, any number of them), a top index, a horizontal
// extent and item data per line. An owner-drawn list
// without LBS_HASSTRINGS keeps the value it is given as the line's item
// data instead of copying a text. Notifications (LBN_SELCHANGE,
// LBN_DBLCLK) follow the user's actions, not the program's, and only with
// LBS_NOTIFY.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/control.h"

class TListBox : public TControl {
 public:
  TListBox(TWindow* parent, int id, int x, int y, int w, int h);
  TListBox(TWindow* parent, int resourceId);

  int AddString(const char* text);
  int InsertString(const char* text, int index);
  int DeleteString(int index);
  void ClearList();
  int GetCount() const;
  // With extended selection the index is the caret's (the line last
  // clicked), and SetSelIndex fails: SetSel chooses the lines.
  int GetSelIndex() const;
  int SetSelIndex(int index);
  // Extended selection only (LB_ERR otherwise). Index -1 stands for every line.
  int GetSelCount() const;
  int GetSelIndexes(int* indexes, int maxCount) const;
  std::vector<int> GetSelIndexes() const;
  int SetSel(int index, bool select);
  bool IsExtendedSel() const;
  // Bounded copies: size counts the zero; the result is the length copied.
  int GetString(char* buf, int index, int size) const;
  std::string GetString(int index) const;
  int GetStringLen(int index) const;
  int GetSelString(char* buf, int size) const;
  // Case-insensitive prefix search after startIndex (-1: from the top), wrapping.
  int FindString(const char* prefix, int startIndex) const;
  int FindExactString(const char* text, int startIndex) const;
  int SetSelString(const char* prefix, int startIndex);
  int GetTopIndex() const;
  int SetTopIndex(int index);
  void SetHorizontalExtent(int extent);
  int GetHorizontalExtent() const;
  LPARAM GetItemData(int index) const;
  int SetItemData(int index, LPARAM data);

  // The user clicks or double-clicks a line: the parent is told. With
  // extended selection Shift (MK_SHIFT) extends from the anchor line and
  // Ctrl (MK_CONTROL) toggles a line; a plain click chooses it alone.
  void UserSelect(int index, UINT keys = 0);
  void UserDoubleClick(int index);
  // The lines the user's toolkit selected, the caret on the line last
  // clicked (extended selection).
  void UserSelectLines(const std::vector<int>& lines, int caret);

  bool IsStateMessage(UINT msg) const override;
  LRESULT DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

  // Owner-drawn (LBS_OWNERDRAWFIXED): the item height is asked of the
  // parent at set-up, and painting has the parent draw each visible item.
  bool IsOwnerDrawn() const;
  void SetupWindow() override;
  void Paint(TDC& dc, bool erase, TRect& rect) override;

 protected:
  const char* WindowClass() const override { return "LISTBOX"; }
  UINT SetFocusCode() const override { return (GetStyle() & LBS_NOTIFY) ? LBN_SETFOCUS : 0; }
  UINT KillFocusCode() const override { return (GetStyle() & LBS_NOTIFY) ? LBN_KILLFOCUS : 0; }

 private:
  struct Item {
    std::string text;
    LPARAM data = 0;
    std::shared_ptr<char[]> owned;  // a plug-in's line kept for an owner-drawn list
    bool selected = false;          // extended selection only
  };
  bool KeepsText() const;
  // Caller holds the lock.
  int Insert(const char* text, LPARAM value, int index, bool sorted);
  int FindLine(const char* text, int start, bool exact) const;
  LRESULT ExtendedSelMessage(UINT msg, WPARAM wp, LPARAM lp);
  void SelectRange(int from, int to, bool select);

  std::vector<Item> Items;
  // The height of a line in the list's font.
  int FontHeight() const;

  int Sel = -1;     // the selected line; with extended selection the caret
  int Anchor = -1;  // extended selection: where a Shift-click extends from
  int Top = 0;
  int Extent = 0;
  int ItemHeight = 0;  // 0: the font's
};

namespace plat {
// Compares two lines the way sorted lists order them: bytes, letters
// without regard to case.
int compare_lines(const std::string& a, const std::string& b);
bool starts_with_nocase(const std::string& text, const std::string& prefix);
// What a view shows of a list or combo line. A line that stands for a
// record carries the record's id after "@@" (and maybe a second id after
// "\xA3\xA3" or "$$"), padded out beyond the box's width: that data is the
// program's, so a view shows the text before the first "@@" without the
// padding, and without a comma that only parts it from the ids. A setup
// sheet's line carries its id after the last "\xA7\xA7" instead. Other
// lines show as they are.
std::string shown_line_text(const std::string& line);
}  // namespace plat
