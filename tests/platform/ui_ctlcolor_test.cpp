// Painting controls: the parent's colours (WM_CTLCOLOR*), fonts of single
// controls (WM_SETFONT), owner-drawn list items (WM_MEASUREITEM,
// WM_DRAWITEM), and the keyboard's way through a dialog's tab stops and
// groups.
#include <gtest/gtest.h>

#include <vector>

#include "platform/ui/accel.h"
#include "platform/ui/button.h"
#include "platform/ui/combobox.h"
#include "platform/ui/ctlcolor.h"
#include "platform/ui/dc.h"
#include "platform/ui/dialog.h"
#include "platform/ui/listbox.h"
#include "platform/ui/ownerdraw.h"
#include "ui_test_support.h"

namespace {

const COLORREF kTeal = RGB(0, 128, 128);

// Draws each item in a colour of its own and keeps what it was handed.
class TDrawnList : public TListBox {
 public:
  TDrawnList(TWindow* parent, int id) : TListBox(parent, id) {}
  void MeasureItem(MEASUREITEMSTRUCT& m) override {
    Measured = m;
    m.itemHeight = 20;
  }
  void ODADrawEntire(DRAWITEMSTRUCT& d) override {
    Drawn.push_back(d);
    TDC* dc = plat::dc_of(d.hDC);
    ASSERT_TRUE(dc);
    TBrush b(RGB(10 * d.itemID, 0, (d.itemState & ODS_SELECTED) ? 255 : 0));
    dc->FillRect(d.rcItem, b);
  }
  // A list class of the program's own answers messages in its table.
  LRESULT EvVScroll(WPARAM, LPARAM) {
    ++Scrolls;
    return DefaultProcessing();
  }
  MEASUREITEMSTRUCT Measured{};
  std::vector<DRAWITEMSTRUCT> Drawn;
  int Scrolls = 0;
  DECLARE_RESPONSE_TABLE(TDrawnList);
};

DEFINE_RESPONSE_TABLE1(TDrawnList, TListBox)
  EV_MESSAGE(WM_VSCROLL, EvVScroll),
END_RESPONSE_TABLE;

// So does a combo box class.
class TOwnCombo : public TComboBox {
 public:
  using TComboBox::TComboBox;
  LRESULT EvVScroll(WPARAM, LPARAM) { return ++Scrolls; }
  int Scrolls = 0;
  DECLARE_RESPONSE_TABLE(TOwnCombo);
};

DEFINE_RESPONSE_TABLE1(TOwnCombo, TComboBox)
  EV_MESSAGE(WM_VSCROLL, EvVScroll),
END_RESPONSE_TABLE;

class TColourDlg : public TDialog {
 public:
  TColourDlg() : TDialog(nullptr, 904), List(new TDrawnList(this, 111)) {}
  ~TColourDlg() override { DeleteObject(Teal); }
  HBRUSH EvCtlColor(HDC dc, HWND ctl, UINT type) {
    int id = GetDlgCtrlID(ctl);
    Asked.emplace_back(id, type);
    if (type == CTLCOLOR_EDIT && id == 101) {
      SetTextColor(dc, RGB(255, 0, 0));
      SetBkColor(dc, RGB(255, 255, 255));
      return static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    }
    if (type == CTLCOLOR_LISTBOX && id == 110) {
      SetTextColor(dc, RGB(255, 255, 255));
      SetBkColor(dc, kTeal);
      return Teal;
    }
    if (type == CTLCOLOR_STATIC && id == 202) {
      // After the default handling, a colour of its own.
      HBRUSH b = TDialog::EvCtlColor(dc, ctl, type);
      SetTextColor(dc, RGB(128, 0, 0));
      return b;
    }
    return TDialog::EvCtlColor(dc, ctl, type);
  }
  HBRUSH Teal = CreateSolidBrush(kTeal);
  TDrawnList* List;
  std::vector<std::pair<int, UINT>> Asked;
  DECLARE_RESPONSE_TABLE(TColourDlg);
};

DEFINE_RESPONSE_TABLE1(TColourDlg, TDialog)
  EV_WM_CTLCOLOR,
END_RESPONSE_TABLE;

class CtlColorTest : public uitest::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    dlg_ = new TColourDlg;
    ASSERT_TRUE(dlg_->Create());
  }
  void TearDown() override {
    dlg_->Destroy();
    delete dlg_;
    UiTest::TearDown();
  }
  TColourDlg* dlg_ = nullptr;
};

TEST_F(CtlColorTest, HandlersColoursReachTheirControls) {
  struct Case {
    int id;
    UINT type;
    COLORREF text, back, brush;
  } cases[] = {
      {101, CTLCOLOR_EDIT, RGB(255, 0, 0), RGB(255, 255, 255), RGB(255, 255, 255)},
      {102, CTLCOLOR_EDIT, RGB(0, 0, 0), RGB(255, 255, 255), RGB(255, 255, 255)},
      {110, CTLCOLOR_LISTBOX, RGB(255, 255, 255), kTeal, kTeal},
      {202, CTLCOLOR_STATIC, RGB(128, 0, 0), RGB(192, 192, 192), RGB(192, 192, 192)},
      {200, CTLCOLOR_STATIC, RGB(0, 0, 0), RGB(192, 192, 192), RGB(192, 192, 192)},
      {1, CTLCOLOR_BTN, RGB(0, 0, 0), RGB(192, 192, 192), RGB(192, 192, 192)},
  };
  for (const Case& c : cases) {
    HWND h = dlg_->GetDlgItem(c.id);
    dlg_->Asked.clear();
    ASSERT_TRUE(UpdateWindow(h));
    ASSERT_EQ(dlg_->Asked.size(), 1u) << c.id;
    EXPECT_EQ(dlg_->Asked[0].second, c.type) << c.id;
    plat::ControlColors got = plat::control_colors(h);
    EXPECT_EQ(got.text, c.text) << c.id;
    EXPECT_EQ(got.back, c.back) << c.id;
    EXPECT_EQ(got.brush, c.brush) << c.id;
    // The paint fills the control with the brush.
    plat::DrawRecord rec = plat::paint_window(*plat::window_object(h));
    ASSERT_FALSE(rec.empty()) << c.id;
    EXPECT_EQ(rec[0].kind, plat::DrawOp::FillRect) << c.id;
    EXPECT_EQ(rec[0].brushColor, c.brush) << c.id;
  }
  // A window's own background colour is what it is erased with.
  TWindow* teal = plat::window_object(dlg_->GetDlgItem(110));
  teal->SetBkgndColor(RGB(128, 128, 128));
  plat::DrawRecord grey = plat::paint_window(*teal);
  ASSERT_FALSE(grey.empty());
  EXPECT_EQ(grey[0].brushColor, RGB(128, 128, 128));
  // A read-only edit asks as a static does, as on Windows.
  SendMessage(dlg_->GetDlgItem(102), EM_SETREADONLY, TRUE, 0);
  dlg_->Asked.clear();
  UpdateWindow(dlg_->GetDlgItem(102));
  ASSERT_EQ(dlg_->Asked.size(), 1u);
  EXPECT_EQ(dlg_->Asked[0].second, static_cast<UINT>(CTLCOLOR_STATIC));
  // A stale context handle is refused.
  EXPECT_EQ(SetTextColor(reinterpret_cast<HDC>(0x1234), 0), CLR_INVALID);
}

TEST_F(CtlColorTest, FontSetOnOneControlOnly) {
  HFONT big = CreateFont(-24, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "ARIAL");
  HWND mine = dlg_->GetDlgItem(201), other = dlg_->GetDlgItem(202);
  HFONT before = reinterpret_cast<HFONT>(SendMessage(other, WM_GETFONT, 0, 0));
  ASSERT_TRUE(before) << "template controls have their dialog's font";
  SendMessage(mine, WM_SETFONT, reinterpret_cast<WPARAM>(big), TRUE);
  EXPECT_EQ(reinterpret_cast<HFONT>(SendMessage(mine, WM_GETFONT, 0, 0)), big);
  EXPECT_EQ(reinterpret_cast<HFONT>(SendMessage(other, WM_GETFONT, 0, 0)), before);
  EXPECT_EQ(reinterpret_cast<HFONT>(SendMessage(dlg_->GetDlgItem(200), WM_GETFONT, 0, 0)), before);
  // Painted, each control's context carries its own font.
  auto height = [](HWND h) {
    TClientDC dc(h);
    plat::ask_control_colors(h, dc);
    TEXTMETRIC tm{};
    dc.GetTextMetrics(tm);
    return tm.tmHeight;
  };
  EXPECT_GT(height(mine), height(other) + 8);
  DeleteObject(big);
}

TEST_F(CtlColorTest, OwnerDrawnListDrawsEachVisibleItemInItsState) {
  TDrawnList& list = *dlg_->List;
  // Asked once for the height, at set-up.
  EXPECT_EQ(list.Measured.CtlType, static_cast<UINT>(ODT_LISTBOX));
  EXPECT_EQ(list.Measured.CtlID, 111u);
  EXPECT_EQ(list.SendMessage(LB_GETITEMHEIGHT), 20);
  for (int i = 0; i < 10; ++i) list.AddString(reinterpret_cast<const char*>(static_cast<intptr_t>(1000 + i)));
  list.SetSelIndex(2);
  list.SetTopIndex(1);
  list.SetFocus();
  plat::DrawRecord rec = plat::paint_window(list);
  int rows = (list.GetClientRect().Height() + 19) / 20;
  ASSERT_EQ(static_cast<int>(list.Drawn.size()), rows);
  for (int k = 0; k < rows; ++k) {
    const DRAWITEMSTRUCT& d = list.Drawn[k];
    SCOPED_TRACE(k);
    EXPECT_EQ(d.itemID, static_cast<UINT>(k + 1));
    EXPECT_EQ(d.CtlID, 111u);
    EXPECT_EQ(d.hwndItem, list.GetHandle());
    EXPECT_EQ(d.itemAction, ODA_DRAWENTIRE);
    EXPECT_EQ(d.itemData, static_cast<uintptr_t>(1000 + k + 1));
    EXPECT_EQ(d.rcItem, TRect(0, 20 * k, list.GetClientRect().Width(), 20 * k + 20));
    EXPECT_EQ(d.itemState, d.itemID == 2 ? ODS_SELECTED | ODS_FOCUS : 0u);
  }
  list.SendMessage(WM_VSCROLL);
  EXPECT_EQ(list.Scrolls, 1);
  TOwnCombo combo(dlg_, 150, 0, 0, 100, 100, CBS_DROPDOWNLIST, 0);
  ASSERT_TRUE(combo.Create());
  combo.SendMessage(WM_VSCROLL);
  EXPECT_EQ(combo.Scrolls, 1);
  combo.Destroy();
  // The items' drawing went into the list's record, after its background.
  ASSERT_EQ(static_cast<int>(rec.size()), 1 + rows);
  EXPECT_EQ(rec[2].brushColor, RGB(20, 0, 255));
  EXPECT_EQ(rec[2].rect, TRect(0, 20, list.GetClientRect().Width(), 40));
}

// An owner-drawn combo box without strings: its items are the program's
// values; heights asked for the field and the items; the field's item drawn.
class TDrawnCombo : public TComboBox {
 public:
  TDrawnCombo(TWindow* parent) : TComboBox(parent, 150, 0, 0, 120, 100, CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED, 0) {}
  void MeasureItem(MEASUREITEMSTRUCT& m) override {
    Asked.push_back(static_cast<int>(m.itemID));
    m.itemHeight = m.itemID == static_cast<UINT>(-1) ? 18 : 15;
  }
  void ODADrawEntire(DRAWITEMSTRUCT& d) override { Drawn.push_back(d); }
  std::vector<int> Asked;
  std::vector<DRAWITEMSTRUCT> Drawn;
};

TEST_F(CtlColorTest, OwnerDrawnComboBoxDrawsItsFieldsItem) {
  TDrawnCombo combo(dlg_);
  ASSERT_TRUE(combo.Create());
  EXPECT_EQ(combo.Asked, (std::vector<int>{-1, 0}));
  EXPECT_EQ(combo.SendMessage(CB_GETITEMHEIGHT, static_cast<WPARAM>(-1)), 18);
  EXPECT_EQ(combo.SendMessage(CB_GETITEMHEIGHT, 0), 15);
  for (LPARAM v : {7, 8, 9}) combo.SendMessage(CB_ADDSTRING, 0, v);
  EXPECT_EQ(combo.GetItemData(1), 8);
  LPARAM back = 0;
  EXPECT_EQ(combo.SendMessage(CB_GETLBTEXT, 2, reinterpret_cast<LPARAM>(&back)), static_cast<LRESULT>(sizeof back));
  EXPECT_EQ(back, 9);
  EXPECT_EQ(combo.SendMessage(CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("8")), CB_ERR);
  combo.SetSelIndex(1);
  plat::paint_window(combo);
  ASSERT_EQ(combo.Drawn.size(), 1u);
  const DRAWITEMSTRUCT& d = combo.Drawn[0];
  EXPECT_EQ(d.CtlType, static_cast<UINT>(ODT_COMBOBOX));
  EXPECT_EQ(d.itemID, 1u);
  EXPECT_EQ(d.itemData, 8u);
  EXPECT_TRUE(d.itemState & ODS_COMBOBOXEDIT);
  EXPECT_EQ(d.rcItem.Height(), 18 + 6);
  combo.Destroy();
}

TEST(DialogKeys, TabStopsGroupsAndArrows) {
  uitest::use_test_templates();
  TDialog dlg(nullptr, 905);
  ASSERT_TRUE(dlg.Create());
  auto id = [] { return GetDlgCtrlID(GetFocus()); };
  ASSERT_EQ(id(), 101);
  // Tab stops in template order, wrapping; an edit without one is passed.
  std::vector<int> forward;
  for (int i = 0; i < 6; ++i) {
    EXPECT_TRUE(plat::press_key(VK_TAB));
    forward.push_back(id());
  }
  EXPECT_EQ(forward, (std::vector<int>{121, 130, 110, 1, 2, 101}));
  std::vector<int> back;
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(plat::press_key(VK_TAB, FSHIFT));
    back.push_back(id());
  }
  EXPECT_EQ(back, (std::vector<int>{2, 1, 110}));

  // Arrows inside the radio group check as they go, past a disabled one.
  SetFocus(dlg.GetDlgItem(121));
  std::vector<int> down;
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(plat::press_key(VK_DOWN));
    down.push_back(id());
    EXPECT_EQ(SendMessage(GetFocus(), BM_GETCHECK, 0, 0), BST_CHECKED) << id();
  }
  EXPECT_EQ(down, (std::vector<int>{122, 124, 121}));
  EXPECT_EQ(SendMessage(dlg.GetDlgItem(124), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_TRUE(plat::press_key(VK_UP));
  EXPECT_EQ(id(), 124);
  // Tab into the group lands on its checked button.
  SetFocus(dlg.GetDlgItem(101));
  EXPECT_TRUE(plat::press_key(VK_TAB));
  EXPECT_EQ(id(), 124);
  // In a list the arrows are the list's.
  SetFocus(dlg.GetDlgItem(110));
  EXPECT_FALSE(plat::press_key(VK_DOWN));
  EXPECT_EQ(id(), 110);
  dlg.Destroy();
}

}  // namespace
