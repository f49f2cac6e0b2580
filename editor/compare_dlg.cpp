#include "editor/compare_dlg.h"

#include <cstdlib>

#include "app/plugin_calls.h"
#include "appcore/globals.h"
#include "compare/telmix.h"
#include "platform/path.h"
#include "platform/plugin.h"
#include "platform/ui/ctlcolor.h"
#include "platform/ui/dc.h"
#include "platform/ui/gdi_object.h"
#include "platform/ui/ownerdraw.h"
#include "platform/winmsg.h"
#include "resources/dialogs/compare.h"

namespace {

const COLORREF kListBackground = 0x808080;
const COLORREF kSelectedBackground = 0x000000;
const COLORREF kSelectedText = 0x00FFFF;

}  // namespace

// ---- TFileDisplayList ----

DEFINE_RESPONSE_TABLE1(TFileDisplayList, TListBox)
  EV_MESSAGE(WM_SETFONT, EvSetFont),
  EV_MESSAGE(WM_VSCROLL, EvVScroll),
END_RESPONSE_TABLE;

TFileDisplayList::TFileDisplayList(TWindow* parent, int resourceId)
    : TListBox(parent, resourceId),
      SelectedBrush(CreateSolidBrush(kSelectedBackground)),
      BackgroundBrush(CreateSolidBrush(kListBackground)) {
  SetBkgndColor(kListBackground);
}

TFileDisplayList::~TFileDisplayList() {
  DeleteObject(SelectedBrush);
  DeleteObject(BackgroundBrush);
}

COLORREF TFileDisplayList::TypeColor(int type) {
  switch (type) {
    case 1:
      return 0x00FFFF;
    case 2:
      return 0x00FF00;
    case 3:
      return 0xFFFF00;
    default:
      return 0x000000;
  }
}

void TFileDisplayList::SetupWindow() {
  TListBox::SetupWindow();
  UpdateItemHeight();
}

void TFileDisplayList::MeasureItem(MEASUREITEMSTRUCT& m) {
  // Asked before the window is set up; the height is set there again.
  m.itemHeight = static_cast<UINT>(m.itemHeight * 3 / 2);
}

// Lines are one and a half times the font's height, so the marker boxes
// stand apart.
void TFileDisplayList::UpdateItemHeight() {
  TClientDC dc(GetHandle());
  if (HFONT font = reinterpret_cast<HFONT>(SendMessage(WM_GETFONT))) dc.SelectObject(font);
  TEXTMETRIC tm{};
  dc.GetTextMetrics(tm);
  int height = static_cast<int>(tm.tmHeight * 3 / 2);
  if (height > 0) SendMessage(LB_SETITEMHEIGHT, 0, height);
}

LRESULT TFileDisplayList::EvSetFont(WPARAM, LPARAM) {
  LRESULT r = DefaultProcessing();
  UpdateItemHeight();
  return r;
}

LRESULT TFileDisplayList::EvVScroll(WPARAM, LPARAM) {
  LRESULT r = DefaultProcessing();
  if (Synchronize && Partner && Partner->GetHandle()) Partner->SetTopIndex(GetTopIndex());
  return r;
}

void TFileDisplayList::DrawLine(DRAWITEMSTRUCT& d) {
  TDC* dc = plat::dc_of(d.hDC);
  if (!dc) return;
  bool selected = d.itemState & ODS_SELECTED;
  if (selected)
    dc->FillRect(TRect(d.rcItem.left + 20, d.rcItem.top, d.rcItem.right + 20, d.rcItem.bottom), SelectedBrush);
  else
    dc->FillRect(d.rcItem, BackgroundBrush);
  dc->SetBkMode(TRANSPARENT);
  const char* text = reinterpret_cast<const char*>(d.itemData);
  if (!text || !*text) return;
  int type = std::atoi(text);
  TBrush marker(TypeColor(type));
  dc->FillRect(TRect(d.rcItem.left + 2, d.rcItem.top + 2, 15, d.rcItem.bottom - 2), marker);
  dc->SetTextColor(selected ? kSelectedText : TypeColor(type));
  // The line's text follows the "%d@@" prefix; a shorter item has none.
  const char* body = text;
  for (int k = 0; k < 3 && *body; ++k) ++body;
  TRect r(d.rcItem.left + 22, d.rcItem.top, d.rcItem.right + 22, d.rcItem.bottom);
  dc->DrawText(body, -1, r, DT_SINGLELINE | DT_VCENTER);
}

// ---- TCompareDialog ----

const COLORREF TCompareDialog::kLegendColors[kLegendStatics] = {0x000000, 0x00FFFF, 0x00FF00,
                                                                0xFFFF00, 0x00FFFF, 0xC0C0C0};

DEFINE_RESPONSE_TABLE1(TCompareDialog, TLangDlg)
  EV_LBN_DBLCLK(IDC_COMPARE_NEW_LIST, EvNewDblClk),
  EV_LBN_DBLCLK(IDC_COMPARE_OLD_LIST, EvOldDblClk),
  EV_BN_CLICKED(IDC_COMPARE_SYNCHRONIZE, EvSynchronize),
  EV_WM_CTLCOLOR,
END_RESPONSE_TABLE;

TCompareDialog::TCompareDialog(TWindow* parent, const char* fileA, const char* fileB, const char* title1,
                               const char* title2)
    : TLangDlg(parent, IDD_COMPARE),
      NewList(new TFileDisplayList(this, IDC_COMPARE_NEW_LIST)),
      OldList(new TFileDisplayList(this, IDC_COMPARE_OLD_LIST)),
      SyncBox(new TCheckBox(this, IDC_COMPARE_SYNCHRONIZE)),
      FileA(fileA ? fileA : ""),
      FileB(fileB ? fileB : ""),
      Title1(title1 ? title1 : ""),
      Title2(title2 ? title2 : ""),
      HasTitle1(title1 != nullptr),
      HasTitle2(title2 != nullptr) {
  for (int i = 0; i < kLegendStatics; ++i) LegendBrushes[i] = CreateSolidBrush(kLegendColors[i]);
}

TCompareDialog::~TCompareDialog() {
  // The lists keep their own copies of the library's lines, so unloading
  // it here leaves nothing pointing into it.
  if (Library) FreeLibrary(Library);
  Library = nullptr;
  for (HBRUSH b : LegendBrushes) DeleteObject(b);
}

void TCompareDialog::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(1010);
  SetItemText(IDC_COMPARE_SYNCHRONIZE, 1016);
  SetItemTexts(IDC_COMPARE_LEGEND, 1011, 5);
  NewList->Partner = OldList;
  OldList->Partner = NewList;
  NewList->SetHorizontalExtent(1200);
  OldList->SetHorizontalExtent(1200);
  SyncBox->Check();
  if (HasTitle1) SetDlgItemText(IDC_COMPARE_NEW_TITLE, Title1.c_str());
  if (HasTitle2) SetDlgItemText(IDC_COMPARE_OLD_TITLE, Title2.c_str());
  if (!RunCompare()) Destroy(IDCANCEL);
}

bool TCompareDialog::RunCompare() {
  std::string path = (Globals ? Globals->HookDir : std::string()) + "TELMIX.DLL";
  // A missing library is told; a window that closed without a word would
  // look like a fault of the program.
  if (!Library) Library = LoadLibrary(path.c_str());
  if (!Library) {
    TellPluginLoadFailed(this, "TELMIX.DLL");
    return false;
  }
  auto compare = reinterpret_cast<kv_compare_fn>(GetProcAddress(Library, KV_COMPARE_ENTRY));
  if (!compare) {
    TellPluginLoadFailed(this, "TELMIX.DLL");
    FreeLibrary(Library);
    Library = nullptr;
    return false;
  }
  // The library opens the files itself, so it gets them as this system's
  // paths. A file it cannot read leaves the lists empty.
  std::string a = plat::to_native_path(FileA), b = plat::to_native_path(FileB);
  compare(a.c_str(), b.c_str(), OldList->GetHandle(), NewList->GetHandle());
  return true;
}

void TCompareDialog::Align(TFileDisplayList* from, TFileDisplayList* to) {
  if (SyncBox->GetCheck() == BST_CHECKED) return;
  to->SetTopIndex(from->GetTopIndex());
  to->SetSelIndex(from->GetSelIndex());
}

void TCompareDialog::EvNewDblClk() { Align(NewList, OldList); }

void TCompareDialog::EvOldDblClk() { Align(OldList, NewList); }

void TCompareDialog::EvSynchronize() {
  bool on = SyncBox->GetCheck() == BST_CHECKED;
  NewList->Synchronize = on;
  OldList->Synchronize = on;
  if (on) OldList->SetTopIndex(NewList->GetTopIndex());
}

HBRUSH TCompareDialog::EvCtlColor(HDC dc, HWND control, UINT ctlType) {
  int id = ::GetDlgCtrlID(control);
  if (ctlType == CTLCOLOR_STATIC && id >= IDC_COMPARE_UNCHANGED_COLOR &&
      id < IDC_COMPARE_UNCHANGED_COLOR + kLegendStatics)
    return LegendBrushes[id - IDC_COMPARE_UNCHANGED_COLOR];
  return TLangDlg::EvCtlColor(dc, control, ctlType);
}

void RunCompareWindow(TWindow* parent, const char* fileA, const char* fileB, const char* title1,
                      const char* title2) {
  TCompareDialog dlg(parent, fileA, fileB, title1, title2);
  dlg.Execute();
}
