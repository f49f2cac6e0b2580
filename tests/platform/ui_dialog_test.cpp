// Dialogs from templates, run modally through the driver.
#include <thread>

#include "platform/ui/application.h"
#include "platform/ui/button.h"
#include "platform/ui/combobox.h"
#include "platform/ui/edit.h"
#include "platform/ui/gtest_driver.h"
#include "platform/ui/listbox.h"
#include "platform/ui/static.h"
#include "tests/platform/ui_test_support.h"

namespace {

class TInner : public TDialog {
 public:
  explicit TInner(TWindow* parent) : TDialog(parent, 901) { Value = new TEdit(this, 101, 10); }
  TEdit* Value;
};

class TAllControls : public TDialog {
 public:
  explicit TAllControls(TWindow* parent) : TDialog(parent, 900) {
    Name = new TEdit(this, 101, 20);
    Number = new TEdit(this, 103, 7);
    Number->SetValidator(new TRangeValidator(0, 900));
    Code = new TEdit(this, 104, 30);
    Code->SetValidator(new TFilterValidator("0-9A-Za-z()/.,+-*@%&"));
    List = new TListBox(this, 110);
    Combo = new TComboBox(this, 111, 51);
    Check = new TCheckBox(this, 120);
    Label = new TStatic(this, 200);
  }

  void SetupWindow() override {
    TDialog::SetupWindow();
    Label->SetText("Customer :");
    List->AddString("zeta@@3");
    List->AddString("Alpha \xA3 pound@@1");
    List->AddString("beta \xA7\xAD@@2");
    Combo->AddString("N01");
    Combo->AddString("N1");
    Combo->SetSelIndex(0);
    Check->Check();
  }

  void EvNameChange() { Events.push_back("change 101"); }
  void EvListSel() { Events.push_back("select " + List->GetString(List->GetSelIndex())); }
  void EvListDbl() { Events.push_back("double " + List->GetString(List->GetSelIndex())); }
  void EvComboSel() { Events.push_back("combo " + Combo->GetString(Combo->GetSelIndex())); }
  void EvCheck() { Events.push_back(Check->GetCheck() == BST_CHECKED ? "checked" : "unchecked"); }
  void CmNested() {
    TInner inner(this);
    InnerResult = inner.Execute();
    InnerText = inner.Value->GetText();
  }
  void CmFromWorker() {
    WorkerCommandThread = std::this_thread::get_id();
    WorkerLineSeen = List->FindExactString("from worker", -1) >= 0;
    CloseWindow(300);
  }

  TEdit* Name;
  TEdit* Number;
  TEdit* Code;
  TListBox* List;
  TComboBox* Combo;
  TCheckBox* Check;
  TStatic* Label;
  std::vector<std::string> Events;
  int InnerResult = 0;
  std::string InnerText;
  std::thread::id WorkerCommandThread;
  bool WorkerLineSeen = false;

  DECLARE_RESPONSE_TABLE(TAllControls);
};

DEFINE_RESPONSE_TABLE1(TAllControls, TDialog)
  EV_EN_CHANGE(101, EvNameChange),
  EV_LBN_SELCHANGE(110, EvListSel),
  EV_LBN_DBLCLK(110, EvListDbl),
  EV_CBN_SELCHANGE(111, EvComboSel),
  EV_BN_CLICKED(120, EvCheck),
  EV_COMMAND(130, CmNested),
  EV_COMMAND(300, CmFromWorker),
END_RESPONSE_TABLE;

class UiDialog : public uitest::UiTest {};

TEST_F(UiDialog, ControlsTakeTextsLimitsAndNotifyTheResponseTable) {
  plat::GTestUiDriver driver;
  TAllControls dlg(nullptr);
  driver.expect_dialog(900, [&](TDialog& d) {
    plat::Pilot p(d);
    EXPECT_EQ(p.text(200), "Customer :");
    EXPECT_EQ(p.text(106), "line 1\r\nline 2");
    // Sorted without regard to case; code-page bytes kept as they are.
    EXPECT_EQ(p.lines(110), (std::vector<std::string>{"Alpha \xA3 pound@@1", "beta \xA7\xAD@@2", "zeta@@3"}));
    EXPECT_EQ(p.text(111), "N01");
    EXPECT_TRUE(p.checked(120));

    p.type(101, "a name longer than nineteen");
    EXPECT_EQ(p.text(101), "a name longer than ");
    EXPECT_TRUE(dlg.Name->IsModified());
    p.type(102, "abc\xE4");
    EXPECT_EQ(p.text(102), "ABC\xC4");
    p.type(104, "G01 X#1;");  // '#', ';' and ' ' are not in the filter
    EXPECT_EQ(p.text(104), "G01X1");
    p.type(106, "x");  // read-only
    EXPECT_EQ(p.text(106), "line 1\r\nline 2");

    EXPECT_TRUE(p.select(110, 2));
    EXPECT_TRUE(p.double_click(110, 0));
    EXPECT_TRUE(p.select(111, 1));
    EXPECT_EQ(p.text(111), "N1");
    EXPECT_TRUE(p.click(120));
    EXPECT_FALSE(p.checked(120));

    // A number out of range keeps the dialog open with the validator's message.
    p.set_text(103, "901");
    driver.expect_message_box(IDOK, "Value is not in the range 0 to 900.");
    p.press_enter();
    EXPECT_FALSE(dlg.HasEnded());
    EXPECT_TRUE(p.focused(103));
    p.set_text(103, "900");
    p.press_enter();
  });
  EXPECT_EQ(dlg.Execute(), IDOK);
  EXPECT_FALSE(dlg.IsWindow());
  EXPECT_EQ(dlg.Name->GetText(), "a name longer than ");
  std::vector<std::string> expected(19, "change 101");
  expected.insert(expected.end(), {"select zeta@@3", "select Alpha \xA3 pound@@1", "double Alpha \xA3 pound@@1",
                                   "combo N1", "unchecked"});
  EXPECT_EQ(dlg.Events, expected);
}

TEST_F(UiDialog, DisabledEditSkipsItsValidatorOnOk) {
  plat::GTestUiDriver driver;
  TAllControls dlg(nullptr);
  driver.expect_dialog(900, [&](TDialog& d) {
    plat::Pilot p(d);
    p.set_text(103, "-5");
    dlg.Number->EnableWindow(false);
    EXPECT_TRUE(p.click(IDOK));
  });
  EXPECT_EQ(dlg.Execute(), IDOK);
}

TEST_F(UiDialog, CommandPostedFromAnotherThreadRunsOnTheUiThread) {
  plat::GTestUiDriver driver;
  TAllControls dlg(nullptr);
  std::thread worker;
  driver.expect_dialog(900, [&](TDialog& d) {
    HWND list = d.GetDlgItem(110);
    HWND self = d.GetHandle();
    worker = std::thread([list, self] {
      // State changes apply at once from any thread; commands go through the queue.
      ::SendMessage(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("from worker"));
      ::PostMessage(self, WM_COMMAND, 300, 0);
    });
  });
  EXPECT_EQ(dlg.Execute(), 300);
  worker.join();
  EXPECT_EQ(dlg.WorkerCommandThread, std::this_thread::get_id());
  EXPECT_TRUE(dlg.WorkerLineSeen);
}

TEST_F(UiDialog, NestedModalDialogAnswersItsOwnParent) {
  plat::GTestUiDriver driver;
  TAllControls dlg(nullptr);
  driver.expect_dialog(900, [&](TDialog& d) {
    plat::Pilot p(d);
    p.focus(130);
    EXPECT_TRUE(p.click(130));
    EXPECT_EQ(dlg.InnerResult, IDOK);
    EXPECT_EQ(dlg.InnerText, "42");
    EXPECT_TRUE(p.focused(130)) << "focus goes back to where it was";
    p.press_escape();
  });
  driver.expect_dialog(901, [&](TDialog& inner) {
    EXPECT_EQ(inner.GetParentO(), &dlg);
    plat::Pilot q(inner);
    q.type(101, "42");
    q.press_enter();
  });
  EXPECT_EQ(dlg.Execute(), IDCANCEL);
  auto shown = driver.dialogs_shown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].substr(0, 4), "900 ");
  EXPECT_EQ(shown[1].substr(0, 4), "901 ");
}

class TGoneAtOnce : public TDialog {
 public:
  TGoneAtOnce() : TDialog(nullptr, 902) {}
  void SetupWindow() override {
    TDialog::SetupWindow();
    CloseWindow(IDOK);
    SetupFinished = true;
  }
  bool SetupFinished = false;
};

TEST_F(UiDialog, DialogEndingInItsSetupReturnsAtOnce) {
  plat::GTestUiDriver driver;
  TGoneAtOnce dlg;
  EXPECT_EQ(dlg.Execute(), IDOK);
  EXPECT_TRUE(dlg.SetupFinished);
  EXPECT_TRUE(driver.dialogs_shown().empty());
}

class TNotice : public TDialog {
 public:
  TNotice() : TDialog(nullptr, 903) {}
  void CmMore() { CloseWindow(104); }
  DECLARE_RESPONSE_TABLE(TNotice);
};

DEFINE_RESPONSE_TABLE1(TNotice, TDialog)
  EV_COMMAND(104, CmMore),
END_RESPONSE_TABLE;

TEST_F(UiDialog, EscCloseBoxAndEnterWithoutCancelOrDefaultButton) {
  struct Case {
    const char* name;
    void (*act)(plat::Pilot&);
    int result;
  } cases[] = {
      {"escape", [](plat::Pilot& p) { p.press_escape(); }, IDCANCEL},
      {"close box", [](plat::Pilot& p) { p.close_box(); }, IDCANCEL},
      {"enter", [](plat::Pilot& p) { p.press_enter(); }, IDOK},
      {"custom button", [](plat::Pilot& p) { EXPECT_TRUE(p.click(104)); }, 104},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    plat::GTestUiDriver driver;
    TNotice dlg;
    driver.expect_dialog(903, [&](TDialog& d) {
      plat::Pilot p(d);
      c.act(p);
    });
    EXPECT_EQ(dlg.Execute(), c.result);
  }
}

}  // namespace

namespace {

// Centres itself on the layer's screen, as the program's dialog base does.
class TCentred : public TDialog {
 public:
  explicit TCentred(TWindow* parent) : TDialog(parent, 903) {}
  void SetupWindow() override {
    TDialog::SetupWindow();
    TRect r = GetWindowRect();
    SetWindowPos(nullptr, (GetSystemMetrics(SM_CXSCREEN) - r.Width()) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - r.Height()) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  }
};

TEST_F(UiDialog, ModelessDialogLivesUntilClosedAndCentresOnTheScreenSize) {
  plat::set_screen_size(800, 600);
  TWindow frame(nullptr, "Frame");
  ASSERT_TRUE(frame.Create());
  auto* status = new TCentred(&frame);  // owned by the frame, as modeless ones are
  ASSERT_TRUE(status->Create());
  status->ShowWindow(SW_SHOW);
  TRect r = status->GetWindowRect();
  EXPECT_EQ(r.left, (800 - r.Width()) / 2);
  EXPECT_EQ(r.top, (600 - r.Height()) / 2);
  EXPECT_EQ(frame.ChildWithId(0), status);
  plat::Pilot p(*status);
  status->SetDlgItemText(200, "Reading tables...");
  status->SetDlgItemText(4711, "nowhere");  // an id the dialog lacks is ignored
  EXPECT_EQ(p.text(200), "Reading tables...");
  char buf[8];
  EXPECT_EQ(status->GetDlgItemText(4711, buf, sizeof buf), 0u);
  EXPECT_TRUE(p.visible(104));
  ::ShowWindow(status->GetDlgItem(104), SW_HIDE);
  EXPECT_FALSE(p.click(104)) << "a hidden button cannot be clicked";
  status->SetCursor(nullptr, IDC_WAIT);
  EXPECT_EQ(plat::current_cursor(), IDC_WAIT);
  status->SetCursor(nullptr, IDC_ARROW);
  HWND h = status->GetHandle();
  p.press_escape();
  EXPECT_FALSE(::IsWindow(h)) << "the progress loop sees the window is gone";
  EXPECT_EQ(status->GetResult(), IDCANCEL);
  plat::set_screen_size(1024, 768);
  frame.Destroy();
}

}  // namespace

namespace {

// Fields that format themselves when the user leaves them, one handler for
// the family of ids.
class TFields : public TDialog {
 public:
  TFields() : TDialog(nullptr, 900) {}
  void EvLeave(UINT id) { Log.push_back("leave " + std::to_string(id)); }
  void EvEnter(UINT id) { Log.push_back("enter " + std::to_string(id)); }
  std::vector<std::string> Log;
  DECLARE_RESPONSE_TABLE(TFields);
};

DEFINE_RESPONSE_TABLE1(TFields, TDialog)
  EV_CHILD_NOTIFY_AND_ID(101, EN_KILLFOCUS, EvLeave),
  EV_CHILD_NOTIFY_AND_ID(102, EN_KILLFOCUS, EvLeave),
  EV_CHILD_NOTIFY_AND_ID(102, EN_SETFOCUS, EvEnter),
END_RESPONSE_TABLE;

TEST_F(UiDialog, FocusChangesNotifyBothEdits) {
  plat::GTestUiDriver driver;
  TFields dlg;
  driver.expect_dialog(900, [&](TDialog& d) {
    plat::Pilot p(d);
    EXPECT_TRUE(p.focused(101)) << "the first tab stop starts with the focus";
    p.type(102, "x");
    p.focus(103);
    p.press_escape();
  });
  EXPECT_EQ(dlg.Execute(), IDCANCEL);
  EXPECT_EQ(dlg.Log, (std::vector<std::string>{"leave 101", "enter 102", "leave 102"}));
}

class TQuitFrame : public TWindow {
 public:
  TQuitFrame() : TWindow(nullptr, "Frame") { Attr.Style = WS_OVERLAPPEDWINDOW; }
  bool IdleAction(long idleCount) override {
    if (!Started) {
      Started = true;
      TDialog dlg(this, 903);
      Result = dlg.Execute();
    }
    return TWindow::IdleAction(idleCount);
  }
  bool Started = false;
  int Result = 0;
};

class TQuitApp : public TApplication {
 public:
  void InitMainWindow() override { SetMainWindow(Frame = new TQuitFrame); }
  TQuitFrame* Frame = nullptr;
};

TEST_F(UiDialog, FrameClosedFromAThreadWhileADialogRunsEndsBoth) {
  plat::GTestUiDriver driver;
  std::thread watchdog;
  TQuitApp app;
  driver.expect_dialog(903, [&](TDialog&) {
    HWND frame = app.Frame->GetHandle();
    watchdog = std::thread([frame] { ::PostMessage(frame, WM_CLOSE, 0, 0); });
  });
  EXPECT_EQ(app.Run(), 0);
  watchdog.join();
  EXPECT_EQ(app.Frame->Result, IDCANCEL);
}

}  // namespace
