// The compare window over the real compare library: both lists filled and
// drawn line by line in their type's colours, coupled and uncoupled
// scrolling, alignment by double click, the legend's colours, and a
// library that is missing or has no entry.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <memory>

#include "editor/compare_dlg.h"
#include "platform/plugin.h"
#include "platform/ui/ctlcolor.h"
#include "platform/ui/dc.h"
#include "platform/ui/gdi_object.h"
#include "platform/ui/ownerdraw.h"
#include "resources/dialogs/compare.h"
#include "storage/log_common.h"
#include "tests/editor/editor_fixture.h"

namespace {

using kveditor::EditorTest;

const COLORREF kGrey = 0x808080;

class CompareWindowTest : public EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    Globals->HookDir = "C:\\KELVANE\\HOOKS\\";
    plat::set_plugin_dir(KV_TELMIX_DIR);
    newFile = Root() + "/new.nc";
    oldFile = Root() + "/old.nc";
    // Against the old text: N20 changed, N25 inserted, N40 deleted.
    kvdb::WriteFileBytes(oldFile, "N10 G0 X0\nN20 X10\nN30 Y20\nN40 M30\n");
    kvdb::WriteFileBytes(newFile, "N10 G0 X0\nN20 X15\nN25 Z-1\nN30 Y20\n");
  }
  void TearDown() override {
    plat::set_plugin_dir("");
    EditorTest::TearDown();
  }
  // A compare window made modeless, so the test can look at it.
  std::unique_ptr<TCompareDialog> Open(const char* t1 = nullptr, const char* t2 = nullptr) {
    auto d = std::make_unique<TCompareDialog>(nullptr, newFile.c_str(), oldFile.c_str(), t1, t2);
    EXPECT_TRUE(d->Create());
    d->ShowWindow(SW_SHOW);
    return d;
  }
  static std::vector<std::string> Items(TFileDisplayList* list) {
    std::vector<std::string> r;
    for (int i = 0; i < list->GetCount(); ++i) r.emplace_back(reinterpret_cast<const char*>(list->GetItemData(i)));
    return r;
  }
  // Scrolls a list as the scroll bar does: the top line moves, then the
  // list hears of it.
  static void ScrollTo(TFileDisplayList* list, int top) {
    list->SetTopIndex(top);
    list->SendMessage(WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, top), 0);
  }
  std::string newFile, oldFile;
};

TEST_F(CompareWindowTest, BothSidesAreFilledLineAgainstLineWithTextsAndTitles) {
  auto d = Open("Program : 12 (new)", nullptr);
  ASSERT_FALSE(d->HasEnded());
  std::vector<std::string> left = Items(d->NewList), right = Items(d->OldList);
  ASSERT_EQ(left.size(), right.size());
  ASSERT_GE(left.size(), 5u);
  bool inserted = false, deleted = false;
  for (size_t i = 0; i < left.size(); ++i) {
    SCOPED_TRACE(left[i] + " | " + right[i]);
    EXPECT_EQ(left[i].substr(0, 3), right[i].substr(0, 3)) << "both sides carry the step's type";
    if (left[i] == "3@@N25 Z-1") inserted = true;
    if (right[i] == "2@@N40 M30") deleted = true;
  }
  EXPECT_TRUE(inserted);
  EXPECT_TRUE(deleted);
  EXPECT_EQ(left[0], "0@@N10 G0 X0");
  EXPECT_EQ(right[1], "1@@N20 X10");
  plat::Pilot p(*d);
  EXPECT_STREQ(d->GetCaption(), "Program compare");
  EXPECT_EQ(p.text(IDC_COMPARE_NEW_TITLE), "Program : 12 (new)");
  EXPECT_EQ(p.text(IDC_COMPARE_OLD_TITLE), "Program : ?") << "no title leaves the template's";
  EXPECT_EQ(p.text(IDC_COMPARE_SYNCHRONIZE), "Synchronize ?");
  EXPECT_EQ(p.text(IDC_COMPARE_LEGEND), "Legend");
  EXPECT_EQ(p.text(IDC_COMPARE_INSERTED_LABEL), "Inserted line");
  EXPECT_EQ(d->NewList->GetHorizontalExtent(), 1200);
  EXPECT_EQ(d->OldList->GetHorizontalExtent(), 1200);
  EXPECT_TRUE(d->SyncBox->GetCheck() == BST_CHECKED);
  // Lines are one and a half times the font's height, again after a new font.
  auto fontHeight = [&] {
    TClientDC dc(d->NewList->GetHandle());
    if (HFONT f = reinterpret_cast<HFONT>(d->NewList->SendMessage(WM_GETFONT))) dc.SelectObject(f);
    TEXTMETRIC tm{};
    dc.GetTextMetrics(tm);
    return static_cast<LRESULT>(tm.tmHeight);
  };
  LRESULT before = fontHeight();
  EXPECT_EQ(d->NewList->SendMessage(LB_GETITEMHEIGHT), before * 3 / 2);
  TFont big("Sans", 40);
  d->NewList->SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(static_cast<HFONT>(big)), 0);
  ASSERT_GT(fontHeight(), before);
  EXPECT_EQ(d->NewList->SendMessage(LB_GETITEMHEIGHT), fontHeight() * 3 / 2);
  d->Destroy();
}

TEST_F(CompareWindowTest, ItemsAreDrawnWithTheirTypesMarkerAndTheSelectionOnBlack) {
  auto d = Open();
  TFileDisplayList* list = d->NewList;
  int inserted = -1;
  for (int i = 0; i < list->GetCount(); ++i)
    if (std::string(reinterpret_cast<const char*>(list->GetItemData(i))).starts_with("3@@")) inserted = i;
  ASSERT_GE(inserted, 0);
  const TRect rc(0, 40, 300, 60);
  struct Case {
    UINT state;
    TRect fill;
    COLORREF fillColor, textColor;
  } cases[] = {
      {0, rc, kGrey, 0xFFFF00},
      {ODS_SELECTED, TRect(20, 40, 320, 60), 0x000000, 0x00FFFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state);
    TMemoryDC dc;
    ASSERT_TRUE(plat::draw_list_item(list->GetHandle(), inserted, dc, rc, c.state));
    const plat::DrawRecord& rec = dc.Record();
    ASSERT_EQ(rec.size(), 3u);
    EXPECT_EQ(rec[0].kind, plat::DrawOp::FillRect);
    EXPECT_EQ(rec[0].rect, c.fill);
    EXPECT_EQ(rec[0].brushColor, c.fillColor);
    // The marker keeps the type's colour, selected or not.
    EXPECT_EQ(rec[1].kind, plat::DrawOp::FillRect);
    EXPECT_EQ(rec[1].rect, TRect(2, 42, 15, 58));
    EXPECT_EQ(rec[1].brushColor, 0xFFFF00u);
    EXPECT_EQ(rec[2].kind, plat::DrawOp::Text);
    EXPECT_EQ(rec[2].text, "N25 Z-1");
    EXPECT_EQ(rec[2].textColor, c.textColor);
    EXPECT_FALSE(rec[2].opaque);
    EXPECT_GE(rec[2].rect.left, 22);
  }
  // Each type's marker colour, and an item without text only gets its background.
  for (auto [type, colour] : std::vector<std::pair<int, COLORREF>>{{0, 0x000000}, {1, 0x00FFFF}, {2, 0x00FF00}})
    EXPECT_EQ(TFileDisplayList::TypeColor(type), colour) << type;
  int empty = list->AddString(reinterpret_cast<const char*>(""));
  TMemoryDC dc;
  ASSERT_TRUE(plat::draw_list_item(list->GetHandle(), empty, dc, rc, 0));
  EXPECT_EQ(dc.Record().size(), 1u);
  // The whole list paints on its grey background, one marker per visible line.
  plat::DrawRecord all = plat::paint_window(*list);
  ASSERT_FALSE(all.empty());
  EXPECT_EQ(all[0].brushColor, kGrey);
  d->Destroy();
}

TEST_F(CompareWindowTest, ScrollingMovesThePartnerOnlyWhileSynchronised) {
  // Long enough to scroll: a hundred lines each, every tenth changed.
  std::string a, b;
  for (int i = 0; i < 100; ++i) {
    a += "N" + std::to_string(i) + (i % 10 ? " X1\n" : " X2\n");
    b += "N" + std::to_string(i) + " X1\n";
  }
  kvdb::WriteFileBytes(newFile, a);
  kvdb::WriteFileBytes(oldFile, b);
  auto d = Open();
  plat::Pilot pilot(*d);
  ASSERT_EQ(d->NewList->GetCount(), 100);
  ScrollTo(d->NewList, 30);
  EXPECT_EQ(d->OldList->GetTopIndex(), 30);
  ScrollTo(d->OldList, 12);
  EXPECT_EQ(d->NewList->GetTopIndex(), 12);
  // Unchecked: one list scrolls alone, and a double click aligns the other
  // to the clicked one, top line and selection.
  ASSERT_TRUE(pilot.click(IDC_COMPARE_SYNCHRONIZE));
  EXPECT_FALSE(pilot.checked(IDC_COMPARE_SYNCHRONIZE));
  ScrollTo(d->NewList, 40);
  EXPECT_EQ(d->OldList->GetTopIndex(), 12);
  ASSERT_TRUE(pilot.double_click(IDC_COMPARE_NEW_LIST, 45));
  EXPECT_EQ(d->OldList->GetTopIndex(), 40);
  EXPECT_EQ(d->OldList->GetSelIndex(), 45);
  ScrollTo(d->OldList, 70);
  ASSERT_TRUE(pilot.double_click(IDC_COMPARE_OLD_LIST, 72));
  EXPECT_EQ(d->NewList->GetTopIndex(), 70);
  EXPECT_EQ(d->NewList->GetSelIndex(), 72);
  ScrollTo(d->NewList, 5);
  // Checked again: the old list is realigned to the new one; a double
  // click then changes nothing on the other side.
  ASSERT_TRUE(pilot.click(IDC_COMPARE_SYNCHRONIZE));
  EXPECT_EQ(d->OldList->GetTopIndex(), 5);
  ASSERT_TRUE(pilot.double_click(IDC_COMPARE_NEW_LIST, 9));
  EXPECT_EQ(d->OldList->GetSelIndex(), 72);
  ScrollTo(d->NewList, 50);
  EXPECT_EQ(d->OldList->GetTopIndex(), 50);
  d->Destroy();
}

TEST_F(CompareWindowTest, LegendStaticsGetTheirColours) {
  auto d = Open();
  const COLORREF expected[] = {0x000000, 0x00FFFF, 0x00FF00, 0xFFFF00, 0x00FFFF, 0xC0C0C0};
  for (int i = 0; i < 6; ++i) {
    HWND h = d->GetDlgItem(IDC_COMPARE_UNCHANGED_COLOR + i);
    ASSERT_TRUE(h);
    UpdateWindow(h);
    EXPECT_EQ(plat::control_colors(h).brush, expected[i]) << i;
  }
  // Other statics keep the dialog's colours.
  UpdateWindow(d->GetDlgItem(IDC_COMPARE_UNCHANGED_LABEL));
  EXPECT_EQ(plat::control_colors(d->GetDlgItem(IDC_COMPARE_UNCHANGED_LABEL)).brush,
            plat::default_control_colors(WM_CTLCOLORSTATIC).brush);
  d->Destroy();
}

TEST_F(CompareWindowTest, MissingLibraryOrEntryIsToldAndClosesTheWindow) {
  const struct {
    const char* dir;
    const char* why;
  } cases[] = {{"", "libtelmix.so not found"}, {KV_NOENTRY_DIR, "_COMPARE"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dir);
    plat::set_plugin_dir(*c.dir ? c.dir : Root());
    driver.expect_message_box(IDOK, "Load of TELMIX.DLL failed");
    TCompareDialog d(nullptr, newFile.c_str(), oldFile.c_str());
    d.Create();
    EXPECT_TRUE(d.HasEnded());
    EXPECT_EQ(d.GetResult(), IDCANCEL);
    ASSERT_FALSE(driver.message_boxes().empty());
    EXPECT_NE(driver.message_boxes().back().text.find(c.why), std::string::npos) << driver.message_boxes().back().text;
  }
}

TEST_F(CompareWindowTest, AFileThatCannotBeReadLeavesTheListsEmpty) {
  newFile = Root() + "/missing.nc";
  auto d = Open();
  EXPECT_FALSE(d->HasEnded());
  EXPECT_EQ(d->NewList->GetCount(), 0);
  EXPECT_EQ(d->OldList->GetCount(), 0);
  d->Destroy();
}

bool Loaded() {
  void* h = dlopen(KV_TELMIX_DIR "/libtelmix.so", RTLD_NOW | RTLD_NOLOAD);
  if (h) dlclose(h);
  return h != nullptr;
}

// Windows opened one after the other each load the library and free it
// again; the lines stay readable after it is gone (the lists own them).
TEST_F(CompareWindowTest, EachWindowLoadsAndFreesTheLibraryAndTheVersionLogOpensIt) {
  RegisterEditorCommands();
  ASSERT_TRUE(GetCompareRunner());
  for (int round = 0; round < 2; ++round) {
    std::vector<std::string> lines;
    driver.expect_dialog(IDD_COMPARE, [&](TDialog& dlg) {
      plat::Pilot p(dlg);
      lines = Items(static_cast<TFileDisplayList*>(dlg.ChildWithId(IDC_COMPARE_NEW_LIST)));
      EXPECT_TRUE(Loaded());
      EXPECT_EQ(p.text(IDC_COMPARE_NEW_TITLE), "Version 2");
      EXPECT_EQ(p.text(IDC_COMPARE_OLD_TITLE), "Version 1");
      p.press_escape();
    });
    GetCompareRunner()(nullptr, newFile.c_str(), oldFile.c_str(), "Version 2", "Version 1");
    ASSERT_FALSE(lines.empty());
    EXPECT_FALSE(Loaded()) << "freed with its window";
  }
  EXPECT_TRUE(driver.errors().empty());
}

}  // namespace
