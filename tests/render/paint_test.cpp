// What a dialog's own painting looks like on a real (virtual) display:
// the colours its handler gives edits and lists, an owner-drawn list's
// items in the program's colours (also after scrolling), and a control
// with a larger font of its own.
#include <gtest/gtest.h>

#include "platform/ui/accel.h"
#include "platform/ui/combobox.h"
#include "platform/ui/ctlcolor.h"
#include "platform/ui/dc.h"
#include "platform/ui/dialog.h"
#include "platform/ui/edit.h"
#include "platform/ui/listbox.h"
#include "platform/ui/ownerdraw.h"
#include "tests/render/render_support.h"

namespace {

const COLORREF kTeal = RGB(0, 128, 128);

// Item i in (20 * i, 0, 255 - 20 * i); 24 pixels high.
class TStripes : public TListBox {
 public:
  TStripes(TWindow* parent, int id) : TListBox(parent, id) {}
  void MeasureItem(MEASUREITEMSTRUCT& m) override { m.itemHeight = 24; }
  void ODADrawEntire(DRAWITEMSTRUCT& d) override {
    TDC* dc = plat::dc_of(d.hDC);
    if (!dc) return;
    TBrush b(RGB(20 * d.itemID, 0, 255 - 20 * d.itemID));
    dc->FillRect(d.rcItem, b);
  }
  LRESULT EvVScroll(WPARAM, LPARAM) {
    ++Scrolls;
    return DefaultProcessing();
  }
  int Scrolls = 0;
  DECLARE_RESPONSE_TABLE(TStripes);
};

DEFINE_RESPONSE_TABLE1(TStripes, TListBox)
  EV_MESSAGE(WM_VSCROLL, EvVScroll),
END_RESPONSE_TABLE;

// The same colours in an owner-drawn combo box's field.
class TStripeCombo : public TComboBox {
 public:
  TStripeCombo(TWindow* parent, int id) : TComboBox(parent, id) {}
  void ODADrawEntire(DRAWITEMSTRUCT& d) override {
    TDC* dc = plat::dc_of(d.hDC);
    if (!dc) return;
    TBrush b(RGB(20 * d.itemID, 0, 255 - 20 * d.itemID));
    dc->FillRect(d.rcItem, b);
  }
};

class TProfileDlg : public TDialog {
 public:
  explicit TProfileDlg(TWindow* parent)
      : TDialog(parent, 904), Stripes(new TStripes(this, 111)), Combo(new TStripeCombo(this, 112)) {}
  ~TProfileDlg() override {
    DeleteObject(Teal);
    DeleteObject(Big);
  }
  void SetupWindow() override {
    TDialog::SetupWindow();
    SetDlgItemText(101, "WWWWWWWW");
    for (int i = 0; i < 10; ++i) SendDlgItemMessage(110, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("P17"));
    for (int i = 0; i < 12; ++i) Stripes->AddString(reinterpret_cast<const char*>(static_cast<intptr_t>(i + 1)));
    for (int i = 0; i < 5; ++i) Combo->AddString(reinterpret_cast<const char*>(static_cast<intptr_t>(i + 1)));
    Combo->SetSelIndex(3);
    SendDlgItemMessage(201, WM_SETFONT, reinterpret_cast<WPARAM>(Big), TRUE);
  }
  // Red on white edits, white on teal lists, as a profile dialog has them.
  HBRUSH EvCtlColor(HDC dc, HWND ctl, UINT type) {
    if (type == CTLCOLOR_EDIT) {
      SetTextColor(dc, RGB(255, 0, 0));
      SetBkColor(dc, RGB(255, 255, 255));
      return static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    }
    if (type == CTLCOLOR_LISTBOX && GetDlgCtrlID(ctl) == 110) {
      SetTextColor(dc, RGB(255, 255, 255));
      SetBkColor(dc, kTeal);
      return Teal;
    }
    if (type == CTLCOLOR_STATIC && GetDlgCtrlID(ctl) == 200) {
      SetTextColor(dc, RGB(255, 255, 0));
      SetBkColor(dc, RGB(0, 0, 0));
      return static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    }
    return TDialog::EvCtlColor(dc, ctl, type);
  }
  HBRUSH Teal = CreateSolidBrush(kTeal);
  HFONT Big = CreateFont(-26, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "ARIAL");
  TStripes* Stripes;
  TStripeCombo* Combo;
  DECLARE_RESPONSE_TABLE(TProfileDlg);
};

DEFINE_RESPONSE_TABLE1(TProfileDlg, TDialog)
  EV_WM_CTLCOLOR,
END_RESPONSE_TABLE;

uint32_t stripe(int i) { return (static_cast<uint32_t>(20 * i) << 16) | static_cast<uint32_t>(255 - 20 * i); }

TEST_F(DesktopTest, ControlColoursOwnerDrawnItemsAndOwnFonts) {
  TWindow frame(nullptr, "Frame");
  frame.Attr.Style = WS_OVERLAPPEDWINDOW | WS_VISIBLE;
  frame.Attr.W = 700;
  frame.Attr.H = 500;
  ASSERT_TRUE(frame.Create());
  TProfileDlg dlg(&frame);
  ASSERT_TRUE(dlg.Create());
  dlg.ShowWindow(SW_SHOW);
  desk::run_for(500ms);
  HWND h = dlg.GetHandle();
  rendertest::screenshot("paint_colours.png");

  // An edit's text in red (the other edit's is selected), the list's empty
  // part in teal.
  TRect edit = desk::screen_rect(GetDlgItem(h, 102));
  std::vector<uint32_t> editPx = rendertest::pixels("paint_colours.png", edit);
  EXPECT_GT(rendertest::count_colour(editPx, 0xFF0000, 60), 5);
  TRect list = desk::screen_rect(GetDlgItem(h, 110));
  std::vector<uint32_t> listPx = rendertest::pixels(
      "paint_colours.png", TRect(list.left + 4, list.bottom - 12, list.right - 20, list.bottom - 4));
  EXPECT_GT(rendertest::count_colour(listPx, 0x008080, 12), static_cast<int>(listPx.size()) / 2);

  // A static in yellow on black.
  std::vector<uint32_t> staticPx = rendertest::pixels("paint_colours.png", desk::screen_rect(GetDlgItem(h, 200)));
  EXPECT_GT(rendertest::count_colour(staticPx, 0x000000, 8), static_cast<int>(staticPx.size()) / 2);
  EXPECT_GT(rendertest::count_colour(staticPx, 0xFFFF00, 60), 5);

  // Each owner-drawn row in its item's colour.
  TRect drawn = desk::screen_rect(GetDlgItem(h, 111));
  int x = drawn.left + 30;
  for (int row = 0; row < 3; ++row)
    EXPECT_EQ(rendertest::pixel("paint_colours.png", x, drawn.top + 12 + 24 * row), stripe(row)) << row;
  // The combo box's field shows its selected item as the program draws it.
  TRect field = desk::screen_rect(GetDlgItem(h, 112));
  std::vector<uint32_t> fieldPx = rendertest::pixels(
      "paint_colours.png", TRect(field.left + 4, field.top + 4, field.left + 40, field.bottom - 4));
  EXPECT_GT(rendertest::count_colour(fieldPx, stripe(3), 4), static_cast<int>(fieldPx.size()) / 2);
  // Scrolled by the program, the rows show the later items.
  dlg.Stripes->SetTopIndex(4);
  desk::run_for(400ms);
  rendertest::screenshot("paint_scrolled.png");
  for (int row = 0; row < 2; ++row)
    EXPECT_EQ(rendertest::pixel("paint_scrolled.png", x, drawn.top + 12 + 24 * row), stripe(4 + row)) << row;

  // The user picks a row and scrolls with the keys: the list's selection,
  // top index and scroll message follow, as a partner list expects.
  dlg.Stripes->SetTopIndex(0);
  desk::run_for(200ms);
  ASSERT_TRUE(desk::click_at(GetDlgItem(h, 111), 30, 24 + 12));
  ASSERT_TRUE(desk::run_until([&] { return dlg.Stripes->GetSelIndex() == 1; }, 3s));
  desk::press_key_here(VK_END);
  ASSERT_TRUE(desk::run_until([&] { return dlg.Stripes->GetTopIndex() > 0; }, 3s));
  EXPECT_EQ(dlg.Stripes->GetSelIndex(), 11);
  EXPECT_GT(dlg.Stripes->Scrolls, 0);

  // The control with a font of its own writes larger than its neighbour.
  TSize big = desk::text_extent(GetDlgItem(h, 201)), small = desk::text_extent(GetDlgItem(h, 202));
  EXPECT_GT(big.cy, small.cy + 8);

  dlg.Destroy();
  frame.Destroy();
  desk::run_for(100ms);
}

}  // namespace
