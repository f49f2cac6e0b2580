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
  ASSERT_TRUE(rendertest::create_frame(frame));
  TProfileDlg dlg(&frame);
  ASSERT_TRUE(dlg.Create());
  dlg.ShowWindow(SW_SHOW);
  HWND h = dlg.GetHandle();
  const std::string shot = "paint_colours.png";
  // What each control shows once painted; the picture is taken again
  // until all of it has been (a loaded machine paints late). Places are
  // read anew each time, as the desktop may still move the dialog.
  auto at = [&](int id) { return desk::screen_rect(GetDlgItem(h, id)); };
  // An edit's text in red (the other edit's is selected).
  auto redText = [&] { return rendertest::count_colour(rendertest::pixels(shot, at(102)), 0xFF0000, 60) > 5; };
  // The list's empty part in teal.
  auto tealList = [&] {
    TRect list = at(110);
    std::vector<uint32_t> px =
        rendertest::pixels(shot, TRect(list.left + 4, list.bottom - 12, list.right - 20, list.bottom - 4));
    return rendertest::count_colour(px, 0x008080, 12) > static_cast<int>(px.size()) / 2;
  };
  // A static in yellow on black.
  auto yellowOnBlack = [&] {
    std::vector<uint32_t> px = rendertest::pixels(shot, at(200));
    return rendertest::count_colour(px, 0x000000, 8) > static_cast<int>(px.size()) / 2 &&
           rendertest::count_colour(px, 0xFFFF00, 60) > 5;
  };
  // Each owner-drawn row in its item's colour, from the first shown on.
  auto rows = [&](int first, int count) {
    TRect drawn = at(111);
    for (int row = 0; row < count; ++row)
      if (rendertest::pixel(shot, drawn.left + 30, drawn.top + 12 + 24 * row) != stripe(first + row)) return false;
    return true;
  };
  // The combo box's field shows its selected item as the program draws it.
  auto comboField = [&] {
    TRect field = at(112);
    std::vector<uint32_t> px =
        rendertest::pixels(shot, TRect(field.left + 4, field.top + 4, field.left + 40, field.bottom - 4));
    return rendertest::count_colour(px, stripe(3), 4) > static_cast<int>(px.size()) / 2;
  };
  ASSERT_TRUE(desk::run_until([&] { return at(111).Height() > 0; }, 10s));
  EXPECT_TRUE(rendertest::screen_until(
      shot, [&] { return redText() && tealList() && yellowOnBlack() && rows(0, 3) && comboField(); }));
  EXPECT_TRUE(redText());
  EXPECT_TRUE(tealList());
  EXPECT_TRUE(yellowOnBlack());
  EXPECT_TRUE(rows(0, 3));
  EXPECT_TRUE(comboField());
  // Scrolled by the program, the rows show the later items.
  dlg.Stripes->SetTopIndex(4);
  EXPECT_TRUE(rendertest::screen_until(shot, [&] { return rows(4, 2); }));

  // The user picks a row and scrolls with the keys: the list's selection,
  // top index and scroll message follow, as a partner list expects.
  dlg.Stripes->SetTopIndex(0);
  EXPECT_TRUE(rendertest::screen_until(shot, [&] { return rows(0, 2); }));
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
