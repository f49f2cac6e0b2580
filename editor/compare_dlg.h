// The program compare window: two files side by side, line against line,
// as the compare library TELMIX aligned them. Each line carries a type
// (same, changed, deleted, inserted) shown by a coloured marker; the two
// lists can scroll together.
#pragma once

#include <string>

#include "app/lang_dlg.h"
#include "platform/ui/button.h"
#include "platform/ui/listbox.h"
#include "platform/wintypes.h"

// One side of the comparison. Its items are "%d@@%s" lines (type, then the
// text) that the list keeps its own copies of; it draws them itself.
class TFileDisplayList : public TListBox {
 public:
  TFileDisplayList(TWindow* parent, int resourceId);
  ~TFileDisplayList() override;

  void SetupWindow() override;
  void MeasureItem(MEASUREITEMSTRUCT& m) override;
  void ODADrawEntire(DRAWITEMSTRUCT& d) override { DrawLine(d); }
  void ODASelect(DRAWITEMSTRUCT& d) override { DrawLine(d); }
  void ODAFocus(DRAWITEMSTRUCT&) override {}

  TFileDisplayList* Partner = nullptr;
  bool Synchronize = true;

  static COLORREF TypeColor(int type);

 protected:
  LRESULT EvSetFont(WPARAM wp, LPARAM lp);
  LRESULT EvVScroll(WPARAM wp, LPARAM lp);

 private:
  void DrawLine(DRAWITEMSTRUCT& d);
  void UpdateItemHeight();

  HBRUSH SelectedBrush;   // behind a selected line
  HBRUSH BackgroundBrush; // behind the others

  DECLARE_RESPONSE_TABLE(TFileDisplayList);
};

class TCompareDialog : public TLangDlg {
 public:
  static constexpr int kLegendStatics = 6;
  static const COLORREF kLegendColors[kLegendStatics];

  // fileA is the new text (left, list 103), fileB the old one (right, 104);
  // the titles go above the lists when given.
  TCompareDialog(TWindow* parent, const char* fileA, const char* fileB, const char* title1 = nullptr,
                 const char* title2 = nullptr);
  ~TCompareDialog() override;

  void SetupWindow() override;
  // Loads the library and has it fill both lists; false when the library
  // or its entry is missing.
  bool RunCompare();

  void EvNewDblClk();
  void EvOldDblClk();
  void EvSynchronize();
  HBRUSH EvCtlColor(HDC dc, HWND control, UINT ctlType);

  TFileDisplayList* NewList;  // 103
  TFileDisplayList* OldList;  // 104
  TCheckBox* SyncBox;         // 105

 private:
  void Align(TFileDisplayList* from, TFileDisplayList* to);

  HBRUSH LegendBrushes[kLegendStatics];
  std::string FileA, FileB;
  std::string Title1, Title2;
  bool HasTitle1, HasTitle2;
  HMODULE Library = nullptr;

  DECLARE_RESPONSE_TABLE(TCompareDialog);
};

// Opens the compare window modally over two files (as the version log and
// the editor's compare command do).
void RunCompareWindow(TWindow* parent, const char* fileA, const char* fileB, const char* title1,
                      const char* title2);
