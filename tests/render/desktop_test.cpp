// The window model on a real (virtual) display: a sample frame runs the
// layer's sample dialog modally; keys and clicks sent through the display
// reach the model's controls and response table, the model's changes (also
// from a worker thread) reach the screen, and the dialog sits where its
// template puts it, readable and without overlaps.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui/application.h"
#include "platform/ui/clipboard.h"
#include "platform/ui/button.h"
#include "platform/ui/dialog.h"
#include "platform/ui/edit.h"
#include "platform/ui/gdi_object.h"
#include "platform/ui/listbox.h"
#include "platform/ui/observer.h"
#include "platform/ui/static.h"
#include "tests/render/render_support.h"

namespace {

std::string GetText(HWND h) {
  char buf[256];
  ::GetWindowText(h, buf, sizeof buf);
  return buf;
}

class TSampleDialog : public TDialog {
 public:
  explicit TSampleDialog(TWindow* parent) : TDialog(parent, 900) {
    Name = new TEdit(this, 101, 20);
    Upper = new TEdit(this, 102, 10);
    List = new TListBox(this, 110);
    Check = new TCheckBox(this, 120);
    Label = new TStatic(this, 200);
  }
  void SetupWindow() override {
    TDialog::SetupWindow();
    List->AddString("P17 lathe");
    List->AddString("P20 mill");
  }
  void EvNameChange() { ++NameChanges; }
  void EvListSel() { Events.push_back("select " + List->GetString(List->GetSelIndex())); }
  void EvCheck() { Events.push_back(Check->GetCheck() == BST_CHECKED ? "checked" : "unchecked"); }
  void CmNested() { Events.push_back("nested"); }

  TEdit* Name;
  TEdit* Upper;
  TListBox* List;
  TCheckBox* Check;
  TStatic* Label;
  int NameChanges = 0;
  std::vector<std::string> Events;

  DECLARE_RESPONSE_TABLE(TSampleDialog);
};

DEFINE_RESPONSE_TABLE1(TSampleDialog, TDialog)
  EV_EN_CHANGE(101, EvNameChange),
  EV_LBN_SELCHANGE(110, EvListSel),
  EV_BN_CLICKED(120, EvCheck),
  EV_COMMAND(130, CmNested),
END_RESPONSE_TABLE;

// The sample program: a frame that opens the dialog at its first idle
// time and closes itself once the dialog is done.
class TSampleApp : public TApplication {
 public:
  TSampleApp() : TApplication("Sample") {}
  void InitMainWindow() override {
    auto* frame = new TWindow(nullptr, "Sample frame");
    frame->Attr.Style = WS_OVERLAPPEDWINDOW;
    frame->Attr.X = 0;
    frame->Attr.Y = 0;
    frame->Attr.W = 700;
    frame->Attr.H = 500;
    SetMainWindow(frame);
  }
  bool IdleAction(long idleCount) override {
    if (!Started) {
      Started = true;
      TSampleDialog dlg(MainWindow);
      Dialog = &dlg;
      Result = dlg.Execute();
      Dialog = nullptr;
      MainWindow->PostMessage(WM_CLOSE);
    }
    return TApplication::IdleAction(idleCount);
  }
  bool Started = false;
  TSampleDialog* Dialog = nullptr;
  int Result = 0;
};

TEST_F(DesktopTest, UserInputReachesTheModelAndTheModelReachesTheScreen) {
  TSampleApp app;
  on_dialog([&](TDialog& d) {
    auto& dlg = static_cast<TSampleDialog&>(d);
    HWND h = dlg.GetHandle();
    desk::run_for(300ms);  // let the window map

    // Typing: the edit's notifications run, capitals come from the model.
    ASSERT_TRUE(desk::type(GetDlgItem(h, 101), "Shaft 12"));
    ASSERT_TRUE(desk::run_until([&] { return dlg.Name->GetText() == "Shaft 12"; }, 3s)) << dlg.Name->GetText();
    EXPECT_EQ(dlg.NameChanges, 8);
    ASSERT_TRUE(desk::type(GetDlgItem(h, 102), "ab1"));
    ASSERT_TRUE(desk::run_until([&] { return dlg.Upper->GetText() == "AB1"; }, 3s)) << dlg.Upper->GetText();
    EXPECT_EQ(desk::shown_text(GetDlgItem(h, 102)), "AB1");
    // A limited edit takes no more than its limit (19 characters here).
    ASSERT_TRUE(desk::type(GetDlgItem(h, 101), "xxxxxxxxxxxxxxx"));
    desk::run_for(200ms);
    EXPECT_EQ(dlg.Name->GetText().size(), 19u);
    EXPECT_EQ(desk::shown_text(GetDlgItem(h, 101)), dlg.Name->GetText());

    // Focus both ways: the user's click, the program's SetFocus.
    EXPECT_EQ(::GetFocus(), GetDlgItem(h, 101));
    dlg.Upper->SetFocus();
    ASSERT_TRUE(desk::run_until([&] { return desk::shown_focus(GetDlgItem(h, 102)); }, 3s));

    // Clicks: a check box, a list line, a push button.
    ASSERT_TRUE(desk::click(GetDlgItem(h, 120)));
    ASSERT_TRUE(desk::run_until([&] { return dlg.Check->GetCheck() == BST_CHECKED; }, 3s));
    EXPECT_TRUE(desk::shown_checked(GetDlgItem(h, 120)));
    // Radio buttons: none on at first; the model's group decides which is.
    EXPECT_FALSE(desk::shown_checked(GetDlgItem(h, 122)));
    EXPECT_FALSE(desk::shown_checked(GetDlgItem(h, 123)));
    ASSERT_TRUE(desk::click(GetDlgItem(h, 122)));
    ASSERT_TRUE(desk::click(GetDlgItem(h, 123)));
    ASSERT_TRUE(desk::run_until([&] { return ::SendMessage(GetDlgItem(h, 123), BM_GETCHECK, 0, 0) == BST_CHECKED; }, 3s));
    EXPECT_EQ(::SendMessage(GetDlgItem(h, 122), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_FALSE(desk::shown_checked(GetDlgItem(h, 122)));
    EXPECT_TRUE(desk::shown_checked(GetDlgItem(h, 123)));
    ASSERT_TRUE(desk::click(GetDlgItem(h, 130)));
    ASSERT_TRUE(desk::run_until([&] { return dlg.Events.size() >= 2; }, 3s));
    EXPECT_EQ(dlg.Events, (std::vector<std::string>{"checked", "nested"}));

    // The model's changes show: from the UI thread and from a worker.
    dlg.List->SetSelIndex(1);
    std::thread worker([&] {
      ::SetWindowText(GetDlgItem(h, 200), "From \xA3 worker");
      for (int i = 0; i < 40; ++i) dlg.List->AddString(("Z" + std::to_string(100 + i)).c_str());
    });
    worker.join();
    std::vector<std::string> lines;
    for (int i = 0; i < dlg.List->GetCount(); ++i) lines.push_back(dlg.List->GetString(i));
    ASSERT_EQ(lines.size(), 42u);
    ASSERT_TRUE(desk::run_until([&] { return desk::shown_lines(GetDlgItem(h, 110)) == lines; }, 3s));
    ASSERT_TRUE(desk::run_until([&] { return desk::shown_text(GetDlgItem(h, 200)) == "From \xA3 worker"; }, 3s))
        << desk::shown_text(GetDlgItem(h, 200));
    dlg.Check->Uncheck();
    ASSERT_TRUE(desk::run_until([&] { return !desk::shown_checked(GetDlgItem(h, 120)); }, 3s));

    // The screen is not blank.
    desk::run_for(300ms);
    double spread = rendertest::screenshot("render_dialog.png");
    ASSERT_GE(spread, 0) << "no screenshot taken";
    EXPECT_GT(spread, 0.05) << "the screen looks blank";

    // Enter presses the default button: the dialog ends with IDOK.
    ASSERT_TRUE(desk::click(GetDlgItem(h, 101)));
    desk::press_enter();
    desk::run_until([&] { return dlg.HasEnded(); }, 3s);
  });
  EXPECT_EQ(app.Run(), 0);
  EXPECT_TRUE(app.Started);
  EXPECT_EQ(app.Result, IDOK);
}

TEST_F(DesktopTest, ListLinesAndEscape) {
  TSampleApp app;
  on_dialog([&](TDialog& d) {
    auto& dlg = static_cast<TSampleDialog&>(d);
    HWND h = dlg.GetHandle();
    desk::run_for(300ms);
    // A click on the second line of the list selects it and tells the dialog.
    TRect list = desk::placed_rect(GetDlgItem(h, 110));
    ASSERT_GT(list.Height(), 0);
    int lineHeight = desk::text_extent(GetDlgItem(h, 200)).cy;
    ASSERT_TRUE(desk::click_at(GetDlgItem(h, 110), 20, lineHeight * 3 / 2 + 4));
    ASSERT_TRUE(desk::run_until([&] { return !dlg.Events.empty(); }, 3s));
    EXPECT_EQ(dlg.Events, (std::vector<std::string>{"select P20 mill"}));
    // A disabled control refuses the user.
    dlg.Check->EnableWindow(false);
    desk::run_for(100ms);
    desk::click(GetDlgItem(h, 120));
    desk::run_for(100ms);
    EXPECT_EQ(dlg.Check->GetCheck(), static_cast<UINT>(BST_UNCHECKED));
    desk::press_escape();
    desk::run_until([&] { return dlg.HasEnded(); }, 3s);
  });
  EXPECT_EQ(app.Run(), 0);
  EXPECT_EQ(app.Result, IDCANCEL);
}

// A list that takes the focus with no line chosen shows none chosen, and
// OK then takes no line, as the user saw: the focus from the program, and
// again after the program refilled the list. A line the program chose is
// the one shown when the list takes the focus.
TEST_F(DesktopTest, AListTakingTheFocusShowsTheChoiceItHasAndNoOther) {
  TSampleApp app;
  on_dialog([&](TDialog& d) {
    auto& dlg = static_cast<TSampleDialog&>(d);
    HWND h = dlg.GetHandle();
    HWND list = GetDlgItem(h, 110);
    desk::run_for(300ms);
    const std::string shot = "list_focus.png";
    // The right part of the first line (no text there) in the colour of
    // the list's empty part below its lines: not painted as selected.
    auto firstLinePlain = [&] {
      TRect r = desk::screen_rect(list);
      uint32_t empty = rendertest::pixel(shot, r.left + r.Width() / 2, r.bottom - 6);
      std::vector<uint32_t> px =
          rendertest::pixels(shot, TRect(r.left + r.Width() / 2, r.top + 4, r.right - 24, r.top + 8));
      return !px.empty() && rendertest::count_colour(px, empty, 8) == static_cast<int>(px.size());
    };
    auto focusOnList = [&] {
      ASSERT_TRUE(desk::click(GetDlgItem(h, 101)));
      ASSERT_TRUE(desk::run_until([&] { return desk::shown_focus(GetDlgItem(h, 101)); }, 5s));
      dlg.List->SetFocus();
      ASSERT_TRUE(desk::run_until([&] { return desk::shown_focus(list); }, 5s));
      desk::run_for(200ms);
    };

    focusOnList();
    EXPECT_EQ(desk::shown_selection(list), -1);
    EXPECT_EQ(dlg.List->GetSelIndex(), -1);
    EXPECT_GT(rendertest::screenshot(shot), 0.0);
    EXPECT_TRUE(firstLinePlain()) << "the first line shows as chosen";

    // Refilled by the program, the list is new to the toolkit's cursor.
    dlg.List->ClearList();
    for (const char* line : {"P30 lathe", "P31 mill", "P32 grinder"}) dlg.List->AddString(line);
    ASSERT_TRUE(desk::run_until([&] { return desk::shown_lines(list).size() == 3; }, 5s));
    focusOnList();
    EXPECT_EQ(desk::shown_selection(list), -1);
    EXPECT_GT(rendertest::screenshot(shot), 0.0);
    EXPECT_TRUE(firstLinePlain()) << "the first line of the new lines shows as chosen";

    // The program's choice is the one shown.
    dlg.List->SetSelIndex(1);
    focusOnList();
    EXPECT_EQ(desk::shown_selection(list), 1);
    EXPECT_GT(rendertest::screenshot(shot), 0.0);
    EXPECT_TRUE(firstLinePlain());
    dlg.List->SetSelIndex(-1);
    ASSERT_TRUE(desk::run_until([&] { return desk::shown_selection(list) == -1; }, 5s));
    focusOnList();
    EXPECT_EQ(desk::shown_selection(list), -1);

    // OK takes no line, as none shows.
    ASSERT_TRUE(desk::click(GetDlgItem(h, IDOK)));
    desk::run_until([&] { return dlg.HasEnded(); }, 3s);
    EXPECT_EQ(dlg.List->GetSelIndex(), -1);
    EXPECT_TRUE(dlg.Events.empty()) << ::testing::PrintToString(dlg.Events);
  });
  EXPECT_EQ(app.Run(), 0);
  EXPECT_EQ(app.Result, IDOK);
}

TEST_F(DesktopTest, ARecordsLineShowsWithoutItsIdsWhichStayTheProgramsOwn) {
  TSampleApp app;
  on_dialog([&](TDialog& d) {
    HWND list = GetDlgItem(d.GetHandle(), 110);
    ::SendMessage(list, LB_RESETCONTENT, 0, 0);
    for (const char* line : {"BRALK                 @@2000000000", "VMC-1      @@5$$4"})
      ::SendMessage(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
    auto shown = [&] {
      std::vector<std::string> l = desk::shown_lines(list);
      std::sort(l.begin(), l.end());
      return l;
    };
    EXPECT_TRUE(desk::run_until([&] { return shown() == std::vector<std::string>{"BRALK", "VMC-1"}; }, 3s))
        << ::testing::PrintToString(desk::shown_lines(list));
    char text[64] = "";
    ::SendMessage(list, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(text));
    EXPECT_NE(std::string(text).find("@@"), std::string::npos) << "the program reads its ids as before";
    desk::press_escape();
    desk::run_until([&] { return d.HasEnded(); }, 3s);
  });
  EXPECT_EQ(app.Run(), 0);
}

// A long text given to a view before its dialog shows, in a font of its
// own (a program's preview), opens at its start, where the caret is.
class TLongTextDialog : public TDialog {
 public:
  explicit TLongTextDialog(TWindow* parent) : TDialog(parent, 900) {}
  void SetupWindow() override {
    TDialog::SetupWindow();
    std::string text;
    for (int i = 1; i <= 100; ++i) text += "N" + std::to_string(i) + " G01 X" + std::to_string(i) + "\r\n";
    SetDlgItemText(106, text.c_str());
    SendDlgItemMessage(106, WM_SETFONT, reinterpret_cast<WPARAM>(static_cast<HFONT>(Fixed)), FALSE);
  }
  TFont Fixed{"FIXEDSYS", 12, 0, 0, 0, 400};
};

TEST_F(DesktopTest, ALongTextSetBeforeItsDialogShowsOpensAtItsStart) {
  TWindow frame(nullptr, "Frame");
  ASSERT_TRUE(rendertest::create_frame(frame));
  TLongTextDialog dlg(&frame);
  ASSERT_TRUE(dlg.Create());
  dlg.ShowWindow(SW_SHOW);
  HWND view = GetDlgItem(dlg.GetHandle(), 106);
  // Laid out: the view shows a few lines; the first of them is line 0.
  std::pair<int, int> shown;
  EXPECT_TRUE(desk::run_until(
      [&] {
        shown = desk::shown_line_range(view);
        return shown.first >= 0 && shown.second >= shown.first + 2;
      },
      5s));
  EXPECT_EQ(shown.first, 0) << "lines " << shown.first << " to " << shown.second << " shown";
  dlg.Destroy();
  frame.Destroy();
}

TEST_F(DesktopTest, BoxesAndClipboardAreTheDesktops) {
  TSampleApp app;
  on_dialog([&](TDialog& d) {
    auto& dlg = static_cast<TSampleDialog&>(d);
    HWND h = dlg.GetHandle();
    desk::run_for(300ms);

    // The program's clipboard text is pasted by the desktop's Ctrl+V ...
    plat::set_clipboard_text("G01 X10");
    ASSERT_TRUE(desk::click(GetDlgItem(h, 104)));
    desk::press_ctrl('v');
    ASSERT_TRUE(desk::run_until([&] { return GetText(GetDlgItem(h, 104)) == "G01 X10"; }, 3s))
        << GetText(GetDlgItem(h, 104));
    // ... and what the user copies is on the desktop's clipboard.
    ASSERT_TRUE(desk::type(GetDlgItem(h, 101), "Shaft"));
    desk::press_ctrl('a');
    desk::press_ctrl('c');
    ASSERT_TRUE(desk::run_until([&] { return plat::clipboard_text() == "Shaft"; }, 3s)) << plat::clipboard_text();
    // A worker's text reaches the desktop too.
    std::thread([] { plat::set_clipboard_text("N10 G00"); }).join();
    ASSERT_TRUE(desk::run_until([&] { return plat::clipboard_text() == "N10 G00"; }, 3s)) << plat::clipboard_text();

    // Boxes are the desktop's, from the UI thread and from a worker.
    desk::answer_box_later(400ms);
    EXPECT_EQ(dlg.MessageBox("Program stored.", "Kelvane", MB_OK | MB_ICONINFORMATION), IDOK);
    desk::answer_box_later(400ms);
    int answer = 0;
    std::thread worker([&] { answer = ::MessageBox(h, "Replace P17?", "Kelvane", MB_YESNO | MB_ICONQUESTION); });
    desk::run_until([&] { return answer != 0; }, 5s);
    worker.join();
    EXPECT_EQ(answer, IDYES);

    desk::press_escape();
    desk::run_until([&] { return dlg.HasEnded(); }, 3s);
  });
  EXPECT_EQ(app.Run(), 0);
  EXPECT_EQ(app.Result, IDCANCEL);
}

// The dialog stays where the desktop showed it when keys come; Tab into a
// list box selects nothing, nor shows a line selected.
TEST_F(DesktopTest, DialogKeepsItsPlaceAndTabIntoAListChoosesNothing) {
  TSampleApp app;
  on_dialog([&](TDialog& d) {
    auto& dlg = static_cast<TSampleDialog&>(d);
    HWND h = dlg.GetHandle();
    desk::run_for(400ms);
    TRect shown = desk::screen_rect(h);
    ASSERT_GT(shown.Width(), 0);
    // The model knows where the desktop put it.
    EXPECT_EQ(dlg.GetWindowRect().left, shown.left);
    EXPECT_EQ(dlg.GetWindowRect().top, shown.top);
    desk::type_here("P17");
    ASSERT_TRUE(desk::run_until([&] { return dlg.Name->GetText() == "P17"; }, 3s));
    desk::run_for(300ms);
    EXPECT_EQ(desk::screen_rect(h).left, shown.left);
    EXPECT_EQ(desk::screen_rect(h).top, shown.top);

    // From the radio group, Tab goes to the list: focus only.
    dlg.List->SetSelIndex(-1);
    SetFocus(GetDlgItem(h, 122));
    ASSERT_TRUE(desk::run_until([&] { return desk::shown_focus(GetDlgItem(h, 122)); }, 3s));
    desk::press_tab();
    ASSERT_TRUE(desk::run_until([&] { return desk::shown_focus(GetDlgItem(h, 110)); }, 3s));
    desk::run_for(300ms);
    EXPECT_EQ(::GetFocus(), GetDlgItem(h, 110));
    EXPECT_TRUE(dlg.Events.empty()) << dlg.Events.front();
    EXPECT_EQ(dlg.List->GetSelIndex(), -1);
    EXPECT_EQ(desk::shown_selection(GetDlgItem(h, 110)), -1) << "a line shows as chosen";
    // Shift+Tab goes back past the group's other button, by the template's tab stops.
    desk::press_tab(true);
    ASSERT_TRUE(desk::run_until([&] { return ::GetFocus() == GetDlgItem(h, 122); }, 3s)) << GetDlgCtrlID(::GetFocus());
    desk::press_escape();
    desk::run_until([&] { return dlg.HasEnded(); }, 3s);
  });
  EXPECT_EQ(app.Run(), 0);
}

// Message boxes show the standard icon of their style, and a button's
// letter alone answers.
TEST_F(DesktopTest, MessageBoxIconsAndLetterKeys) {
  TWindow frame(nullptr, "Frame");
  frame.Attr.Style = WS_OVERLAPPEDWINDOW | WS_VISIBLE;
  frame.Attr.W = 500;
  frame.Attr.H = 300;
  ASSERT_TRUE(frame.Create());
  desk::run_for(200ms);
  struct Case {
    UINT flags;
    char key;
    int answer;
    uint32_t iconColour;
  } cases[] = {
      {MB_YESNO | MB_ICONQUESTION, 'n', IDNO, 0x0000C8},
      {MB_YESNOCANCEL | MB_ICONHAND, 'c', IDCANCEL, 0xC80000},
      {MB_YESNO | MB_ICONINFORMATION, 'y', IDYES, 0x0000C8},
      {MB_OK | MB_ICONINFORMATION, 0, IDOK, 0x0000C8},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    unsigned icon = 0;
    std::vector<uint32_t> iconPixels;
    std::string shot = "box_" + std::to_string(n++) + ".png";
    desk::answer_box_later(300ms, c.key, [&] {
      TRect where;
      icon = desk::box_icon(&where);
      rendertest::screenshot(shot);
      iconPixels = rendertest::pixels(shot, where);
    });
    EXPECT_EQ(frame.MessageBox("Replace P17?", "Kelvane", c.flags), c.answer);
    EXPECT_EQ(icon, c.flags & MB_ICONMASK);
    EXPECT_GT(rendertest::count_colour(iconPixels, c.iconColour, 40), static_cast<int>(iconPixels.size()) / 3);
  }
  frame.Destroy();
  desk::run_for(100ms);
}

// Without a display the program stays headless, untouched.
TEST(DesktopAttach, NoDisplayLeavesTheModelHeadless) {
  if (plat::desktop_renderer_attached()) GTEST_SKIP() << "the toolkit runs in this process already";
  std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  EXPECT_FALSE(plat::attach_desktop_renderer());
  EXPECT_FALSE(plat::desktop_renderer_attached());
  EXPECT_EQ(plat::ui_observer(), nullptr);
  if (!display.empty()) setenv("DISPLAY", display.c_str(), 1);
}

// The sample dialog as a user sees it: each control where the template
// puts it, its text fitting inside it, no two controls on top of each
// other (a group box holds its members).
TEST_F(DesktopTest, SampleDialogLayout) {
  const plat::DialogTemplate* t = plat::find_dialog_template(900);
  ASSERT_NE(t, nullptr);
  TWindow frame(nullptr, "Frame");
  ASSERT_TRUE(rendertest::create_frame(frame));
  TSampleDialog dlg(&frame);
  ASSERT_TRUE(dlg.Create());
  dlg.ShowWindow(SW_SHOW);
  desk::run_for(300ms);
  HWND h = dlg.GetHandle();

  struct Placed {
    int id;
    std::string kind;
    TRect r;
  };
  std::vector<Placed> placed;
  for (const plat::ControlTemplate& ct : t->controls) {
    SCOPED_TRACE("control " + std::to_string(ct.id) + " " + ct.kind);
    HWND c = GetDlgItem(h, ct.id);
    TRect want = t->to_pixels(ct.x, ct.y, ct.cx, ct.cy);
    TRect got = desk::placed_rect(c);
    EXPECT_EQ(got.left, want.left);
    EXPECT_EQ(got.top, want.top);
    EXPECT_EQ(got.Width(), want.Width());
    if (ct.kind == "combobox") {
      EXPECT_LE(got.Height(), want.Height());
      EXPECT_GE(got.Height(), desk::text_extent(GetDlgItem(h, 200)).cy);
    } else {
      EXPECT_EQ(got.Height(), want.Height());
    }
    TSize text = desk::text_extent(c);
    // Check marks and radio dots take room beside the text.
    int mark = (ct.kind == "checkbox" || ct.kind == "radiobutton") && !(ct.style & BS_PUSHLIKE) ? 16 : 0;
    if (ct.kind != "edit" && ct.kind != "listbox" && ct.kind != "combobox") {
      EXPECT_LE(text.cx + mark, got.Width()) << "text cut: " << ct.text;
      EXPECT_LE(text.cy, got.Height()) << "text cut: " << ct.text;
    }
    if (!ct.text.empty() && ct.kind != "icon") {
      EXPECT_GE(text.cy, 11) << "text too small to read";
    }
    placed.push_back({ct.id, ct.kind, got});
  }
  auto inside = [](const TRect& a, const TRect& b) {
    return a.left >= b.left && a.top >= b.top && a.right <= b.right && a.bottom <= b.bottom;
  };
  auto overlap = [](const TRect& a, const TRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
  };
  for (size_t i = 0; i < placed.size(); ++i)
    for (size_t j = i + 1; j < placed.size(); ++j) {
      const Placed& a = placed[i];
      const Placed& b = placed[j];
      if (a.kind == "groupbox" && inside(b.r, a.r)) continue;
      if (b.kind == "groupbox" && inside(a.r, b.r)) continue;
      EXPECT_FALSE(overlap(a.r, b.r)) << a.id << " and " << b.id << " overlap";
    }
  rendertest::screenshot("render_layout.png");
  // A modeless dialog goes under the click that ends it.
  ASSERT_TRUE(desk::click(GetDlgItem(h, IDCANCEL)));
  ASSERT_TRUE(desk::run_until([&] { return !dlg.IsWindow(); }, 3s));
  desk::run_for(100ms);
  frame.Destroy();
  desk::run_for(100ms);
}

}  // namespace
