// Controls on their own: list and combo lines, edits, validators, buttons,
// progress bars, and state set from other threads.
#include <future>
#include <thread>

#include "platform/ui/button.h"
#include "platform/ui/clipboard.h"
#include "platform/ui/combobox.h"
#include "platform/ui/edit.h"
#include "platform/ui/listbox.h"
#include "platform/ui/progress.h"
#include "platform/ui/queue.h"
#include "tests/platform/ui_test_support.h"

namespace {

// A parent window that records the notifications of its controls.
class TRecorder : public TWindow {
 public:
  TRecorder() : TWindow(nullptr, "Recorder") { Attr.Style = WS_OVERLAPPEDWINDOW; }
  LRESULT DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == WM_COMMAND && lp) Notes.push_back({LOWORD(wp), HIWORD(wp)});
    return TWindow::DefWindowProc(msg, wp, lp);
  }
  std::vector<std::pair<int, int>> Notes;  // control id, code
};

class UiControls : public uitest::UiTest {
 protected:
  void SetUp() override {
    uitest::UiTest::SetUp();
    ASSERT_TRUE(parent.Create());
  }
  void TearDown() override {
    parent.Destroy();
    uitest::UiTest::TearDown();
  }
  template <class T>
  T* make(T* ctl) {
    EXPECT_TRUE(ctl->Create());
    return ctl;
  }
  TRecorder parent;
};

TEST_F(UiControls, SortedListOrdersWithoutCaseAndKeepsSelection) {
  auto* lb = make(new TListBox(&parent, 100, 0, 0, 300, 500));
  lb->SetStyle(lb->GetStyle() | LBS_SORT);
  for (const char* s : {"delta", "Bravo", "alpha", "\xA3 pound", "Charlie"}) lb->AddString(s);
  std::vector<std::string> got;
  for (int i = 0; i < lb->GetCount(); ++i) got.push_back(lb->GetString(i));
  EXPECT_EQ(got, (std::vector<std::string>{"alpha", "Bravo", "Charlie", "delta", "\xA3 pound"}));
  lb->SetSelIndex(2);                          // Charlie
  EXPECT_EQ(lb->AddString("aardvark"), 0);     // inserted above: selection follows its line
  EXPECT_EQ(lb->GetString(lb->GetSelIndex()), "Charlie");
  lb->DeleteString(0);
  EXPECT_EQ(lb->GetString(lb->GetSelIndex()), "Charlie");
  lb->DeleteString(2);
  EXPECT_EQ(lb->GetSelIndex(), -1);

  struct Find {
    const char* prefix;
    int start;
    int found;
  } finds[] = {
      {"b", -1, 1}, {"BRA", -1, 1}, {"d", -1, 2}, {"", 1, 2}, {"a", 0, 0},  // wraps round to itself
      {"x", -1, LB_ERR}, {"\xA3", -1, 3},
  };
  for (const Find& f : finds) EXPECT_EQ(lb->FindString(f.prefix, f.start), f.found) << f.prefix << " from " << f.start;
  EXPECT_EQ(lb->FindExactString("DELTA", -1), 2);
  EXPECT_EQ(lb->SetSelString("del", -1), 2);
  EXPECT_EQ(lb->GetSelIndex(), 2);
  char small[4];
  EXPECT_EQ(lb->GetSelString(small, sizeof small), 3);
  EXPECT_STREQ(small, "del");
}

TEST_F(UiControls, ListMessagesByHandleTopIndexExtentAndOwnerDraw) {
  auto* lb = make(new TListBox(&parent, 100, 0, 0, 300, 500));
  HWND h = lb->GetHandle();
  EXPECT_EQ(::SendMessage(h, LB_ADDSTRING, 0, (LPARAM) "one"), 0);
  EXPECT_EQ(::SendMessage(h, LB_INSERTSTRING, 0, (LPARAM) "zero"), 0);
  EXPECT_EQ(::SendMessage(h, LB_INSERTSTRING, 9, (LPARAM) "bad"), LB_ERR);
  char buf[16];
  EXPECT_EQ(::SendMessage(h, LB_GETTEXT, 1, (LPARAM)buf), 3);
  EXPECT_STREQ(buf, "one");
  EXPECT_EQ(::SendMessage(h, LB_GETTEXT, 5, (LPARAM)buf), LB_ERR);
  ::SendMessage(h, 404, 1000, 0);  // the horizontal extent, by number
  EXPECT_EQ(lb->GetHorizontalExtent(), 1000);
  EXPECT_EQ(lb->SetTopIndex(1), 0);
  EXPECT_EQ(lb->GetTopIndex(), 1);
  EXPECT_EQ(lb->SetTopIndex(7), LB_ERR);
  lb->ClearList();
  EXPECT_EQ(lb->GetCount(), 0);
  EXPECT_EQ(lb->GetSelIndex(), -1);

  // Owner-drawn without strings: the value given is the line's item data.
  auto* od = make(new TListBox(&parent, 101, 0, 0, 300, 500));
  od->SetStyle((od->GetStyle() | LBS_OWNERDRAWFIXED) & ~LBS_HASSTRINGS);
  static const char* line = "N10 G01 X5";
  od->AddString(line);
  EXPECT_EQ(reinterpret_cast<const char*>(od->GetItemData(0)), line);
}

TEST_F(UiControls, ListNotifiesUserActionsOnlyWithNotifyStyle) {
  auto* quiet = make(new TListBox(&parent, 100, 0, 0, 10, 10));
  quiet->SetStyle(quiet->GetStyle() & ~LBS_NOTIFY);
  auto* loud = make(new TListBox(&parent, 101, 0, 0, 10, 10));
  for (TListBox* lb : {quiet, loud}) {
    lb->AddString("a");
    lb->AddString("b");
    lb->SetSelIndex(1);  // the program's own choice is never announced
    lb->UserSelect(0);
    lb->UserDoubleClick(1);
  }
  EXPECT_EQ(parent.Notes, (std::vector<std::pair<int, int>>{{101, LBN_SELCHANGE}, {101, LBN_SELCHANGE}, {101, LBN_DBLCLK}}));
}

// Extended selection: any number of lines, chosen by clicks with Shift
// and Ctrl as on the desktop or by LB_SETSEL, read back by count and
// indexes; each mark stays on its line as lines come and go.
TEST_F(UiControls, ExtendedSelectionListKeepsAnyNumberOfLines) {
  auto* lb = make(new TListBox(&parent, 100, 0, 0, 300, 500));
  lb->SetStyle(lb->GetStyle() | LBS_EXTENDEDSEL);
  for (const char* s : {"L0", "L1", "L2", "L3", "L4", "L5"}) lb->AddString(s);
  struct Click {
    int line;
    UINT keys;
    std::vector<int> selected;
  } clicks[] = {
      {2, 0, {2}},                       // a click chooses the line alone
      {4, MK_SHIFT, {2, 3, 4}},          // Shift extends from the last plain click
      {0, MK_SHIFT, {0, 1, 2}},          // ... whichever way
      {5, MK_CONTROL, {0, 1, 2, 5}},     // Ctrl adds a line
      {1, MK_CONTROL, {0, 2, 5}},        // ... or takes it away, and anchors there
      {3, MK_SHIFT | MK_CONTROL, {0, 1, 2, 3, 5}},  // both: the range joins the rest
      {4, 0, {4}},
  };
  for (const Click& c : clicks) {
    lb->UserSelect(c.line, c.keys);
    EXPECT_EQ(lb->GetSelIndexes(), c.selected) << "click on " << c.line << " keys " << c.keys;
    EXPECT_EQ(lb->GetSelIndex(), c.line) << "the caret is on the line clicked";
  }
  EXPECT_EQ(parent.Notes.size(), std::size(clicks)) << "each click is told";

  HWND h = lb->GetHandle();
  EXPECT_EQ(::SendMessage(h, LB_SETSEL, TRUE, -1), 0);  // every line
  EXPECT_EQ(lb->GetSelCount(), 6);
  int two[2] = {-1, -1};
  EXPECT_EQ(lb->GetSelIndexes(two, 2), 2) << "no more than the caller's room";
  EXPECT_EQ(two[1], 1);
  EXPECT_EQ(lb->SetSel(1, false), 0);
  EXPECT_EQ(lb->SetSel(6, true), LB_ERR);
  EXPECT_EQ(::SendMessage(h, LB_GETSEL, 1, 0), 0);
  EXPECT_EQ(::SendMessage(h, LB_GETSEL, 2, 0), 1);
  EXPECT_EQ(lb->SetSelIndex(3), LB_ERR) << "one line at a time is a single list's";
  EXPECT_EQ(lb->SetSelString("L3", -1), LB_ERR);
  lb->InsertString("new", 0);
  lb->DeleteString(3);  // "L2"
  EXPECT_EQ(lb->GetSelIndexes(), (std::vector<int>{1, 3, 4, 5}));  // L0, L3, L4, L5
  EXPECT_EQ(lb->GetString(3), "L3");
  lb->ClearList();
  EXPECT_EQ(lb->GetSelCount(), 0);
  EXPECT_EQ(parent.Notes.size(), std::size(clicks)) << "the program's choices are not told";

  // A list of one selection keeps its messages; the others fail there.
  auto* single = make(new TListBox(&parent, 101, 0, 0, 300, 500));
  single->AddString("a");
  single->AddString("b");
  EXPECT_EQ(single->SetSel(0, true), LB_ERR);
  EXPECT_EQ(single->GetSelCount(), LB_ERR);
  EXPECT_TRUE(single->GetSelIndexes().empty());
  single->UserSelect(0, MK_CONTROL);
  single->UserSelect(1, MK_SHIFT);
  EXPECT_EQ(single->GetSelIndex(), 1);
  EXPECT_EQ(::SendMessage(single->GetHandle(), LB_GETSEL, 0, 0), 0);
}

TEST_F(UiControls, DropDownListShowsItsSelectionAndSelectsByPrefix) {
  auto* cb = make(new TComboBox(&parent, 101, 0, 0, 240, 240, CBS_DROPDOWNLIST | CBS_SORT | CBS_AUTOHSCROLL, 51));
  EXPECT_EQ(cb->GetTextLimit(), 50);
  for (const char* s : {"machine B@@2", "Machine A@@1", "lathe \xA7@@7"}) cb->AddString(s);
  EXPECT_EQ(cb->GetString(0), "lathe \xA7@@7");
  EXPECT_EQ(cb->GetText(), "");
  EXPECT_EQ(cb->SetSelString("MACHINE b", -1), 2);
  EXPECT_EQ(cb->GetText(), "machine B@@2");
  EXPECT_EQ(cb->SetSelString("nothing", -1), CB_ERR);
  EXPECT_EQ(cb->GetSelIndex(), 2) << "a failed search leaves the selection";
  cb->SetText("typed");  // a drop-down list has no field to type into
  EXPECT_EQ(cb->GetText(), "machine B@@2");
  EXPECT_TRUE(parent.Notes.empty());
  cb->UserSelect(1);
  EXPECT_EQ(parent.Notes, (std::vector<std::pair<int, int>>{{101, CBN_SELCHANGE}}));
  cb->ClearList();
  EXPECT_EQ(cb->GetText(), "");
}

TEST(UiListLines, AViewShowsARecordsLineWithoutItsIds) {
  const std::pair<const char*, const char*> cases[] = {
      {"BRALK                    @@2000000000", "BRALK"},
      {"VMC-1      @@5$$4", "VMC-1"},
      {"Job 7 @@12\xA3\xA3" "40@\xA3" "3", "Job 7"},
      {"  Indented @@1", "  Indented"},
      {"COLLISION                , @@4", "COLLISION"},
      {"05/01-2026,        0 , CREATED A          , @@1", "05/01-2026,        0 , CREATED A"},
      {"P:01 - G81   ,DEPTH       @@9", "P:01 - G81   ,DEPTH"},
      {"@@3", ""},
      {"OP 10      ,\xA7\xA7" "7", "OP 10"},
      {"A\xA7\xA7" "5     ,\xA7\xA7" "12", "A\xA7\xA7" "5"},
      {"No record here", "No record here"},
      {"Trailing  ", "Trailing  "},
      {"", ""}};
  for (auto [line, shown] : cases) EXPECT_EQ(plat::shown_line_text(line), shown) << line;
}

TEST_F(UiControls, EditTypingFollowsStyleLimitAndReadOnly) {
  struct Case {
    const char* name;
    UINT style;
    UINT limit;  // with the zero
    const char* initial;
    const char* typed;
    const char* text;
    bool modified;
  } cases[] = {
      {"plain", 0, 0, "", "Ab1", "Ab1", true},
      {"limit counts the zero", 0, 5, "", "123456", "1234", true},
      {"upper case, code page too", ES_UPPERCASE, 0, "", "bralk\xFC", "BRALK\xDC", true},
      {"read-only", ES_READONLY, 0, "kept", "x", "kept", false},
      {"backspace", 0, 0, "", "ab\bc", "ac", true},
  };
  int id = 200;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto* e = new TEdit(&parent, id++, c.initial, 0, 0, 100, 20, c.limit);
    e->SetStyle(e->GetStyle() | c.style);
    ASSERT_TRUE(e->Create());
    e->SetSelection(0, -1);
    e->SetSelection(static_cast<int>(strlen(c.initial)), -1);
    for (const char* p = c.typed; *p; ++p) e->SendMessage(WM_CHAR, static_cast<unsigned char>(*p));
    EXPECT_EQ(e->GetText(), c.text);
    EXPECT_EQ(e->IsModified(), c.modified);
  }
  // A program may set a text beyond the typing limit: it is kept whole.
  auto* e = make(new TEdit(&parent, 300, "", 0, 0, 100, 20, 5));
  e->SetText("longer than the limit");
  EXPECT_EQ(e->GetText(), "longer than the limit");
  EXPECT_FALSE(e->IsModified());
  int beeps = plat::beep_count();
  e->SetSelection(0, -1);
  e->Insert("123456789");
  EXPECT_EQ(e->GetText(), "1234");
  EXPECT_GT(plat::beep_count(), beeps);
  EXPECT_EQ(parent.Notes.back(), (std::pair<int, int>{300, EN_CHANGE}));
}

TEST_F(UiControls, EditSelectionClipboardAndPassword) {
  auto* e = make(new TEdit(&parent, 101, "G01 X10 Y20", 0, 0, 100, 20));
  e->SetSelection(4, 7);
  int s, t;
  e->GetSelection(s, t);
  EXPECT_EQ(std::make_pair(s, t), std::make_pair(4, 7));
  e->Cut();
  EXPECT_EQ(plat::clipboard_text(), "X10");
  EXPECT_EQ(e->GetText(), "G01  Y20");
  e->SetSelection(0, 0);
  e->Paste();
  EXPECT_EQ(e->GetText(), "X10G01  Y20");
  plat::set_clipboard_text("N1\r\nN2");
  e->SetSelection(0, -1);
  e->Paste();
  EXPECT_EQ(e->GetText(), "N1") << "one line takes the first line only";
  plat::set_clipboard_text("X10");
  auto* pw = make(new TEdit(&parent, 102, "SECRET", 0, 0, 100, 20, 9));
  pw->SetStyle(pw->GetStyle() | ES_PASSWORD);
  pw->SetSelection(0, -1);
  pw->Copy();
  EXPECT_EQ(plat::clipboard_text(), "X10") << "a password never reaches the clipboard";
  EXPECT_EQ(pw->GetText(), "SECRET");
  auto* ml = make(new TEdit(&parent, 103, "a\r\nb\r\nc", 0, 0, 100, 60, 30000, true));
  EXPECT_EQ(ml->GetNumLines(), 3);
  EXPECT_EQ(ml->GetLimit(), 29999);
  ml->SetReadOnly(true);
  ml->SetSelection(0, -1);
  ml->Clear();
  EXPECT_EQ(ml->GetText(), "a\r\nb\r\nc");
}

TEST(UiValidators, FilterSetsAsWrittenInTheDialogs) {
  struct Case {
    const char* set;
    const char* good;
    const char* bad;
  } cases[] = {
      {"0-9A-Za-z()/.,+-*@%&", "G01(X+1.5*2)/3,@%&-", "#; _!"},  // "+-*" is three characters
      {"0-9.,+-", "-12,5+.", "*aA "},
      {"0-9.,+", "12.5,+", "-"},
      {"0-9,", "1,2", ".-*"},
      {"0-9,*", "1,*", "-"},
      {"0-9", "0123456789", "a-,"},
      {"0-9-.", "-1.5", ",+"},
  };
  for (const Case& c : cases) {
    TFilterValidator v(c.set);
    EXPECT_TRUE(v.IsValid(c.good)) << c.set;
    for (const char* p = c.bad; *p; ++p) EXPECT_FALSE(v.IsValid(std::string(1, *p).c_str())) << c.set << " " << *p;
  }
}

TEST(UiValidators, RangeTakesOnlyOneWholeNumberInItsBounds) {
  struct Case {
    long min, max;
    const char* text;
    bool valid;
  } cases[] = {
      {0, 900, "0", true},       {0, 900, "900", true},      {0, 900, "901", false},
      {0, 900, "", true},        {1, 500000, "", false},     {-1, 500000, "-1", true},
      {0, 900, "-1", false},     {0, 900, "12-3", false},    {-1, 5, "-", false},
      {0, 900, "+5", true},      {0, 900, "99999999999999999999", false}, {0, 900, "1a", false},
  };
  for (const Case& c : cases) {
    TRangeValidator v(c.min, c.max);
    EXPECT_EQ(v.IsValid(c.text), c.valid) << c.min << ".." << c.max << " \"" << c.text << "\"";
  }
}

TEST_F(UiControls, RadioGroupsCheckBoxesAndDisabledButtons) {
  // Two groups of automatic radio buttons, the second starting with WS_GROUP.
  TRadioButton* r[4];
  for (int i = 0; i < 4; ++i) {
    r[i] = new TRadioButton(&parent, 10 + i, "r", 0, 0, 10, 10);
    if (i == 2) r[i]->Attr.Style |= WS_GROUP;
    make(r[i]);
  }
  r[0]->Check();
  r[2]->Check();
  ::SendMessage(r[1]->GetHandle(), BM_CLICK, 0, 0);
  EXPECT_EQ(r[0]->GetCheck(), static_cast<UINT>(BST_UNCHECKED));
  EXPECT_EQ(r[1]->GetCheck(), static_cast<UINT>(BST_CHECKED));
  EXPECT_EQ(r[2]->GetCheck(), static_cast<UINT>(BST_CHECKED)) << "other group untouched";

  auto* pushLike = new TCheckBox(&parent, 20, "Default", 0, 0, 10, 10);
  pushLike->Attr.Style |= BS_PUSHLIKE;
  make(pushLike);
  ::SendMessage(pushLike->GetHandle(), BM_CLICK, 0, 0);
  EXPECT_EQ(pushLike->GetCheck(), static_cast<UINT>(BST_CHECKED));
  pushLike->EnableWindow(false);
  parent.Notes.clear();
  ::SendMessage(pushLike->GetHandle(), BM_CLICK, 0, 0);
  EXPECT_EQ(pushLike->GetCheck(), static_cast<UINT>(BST_CHECKED));
  EXPECT_TRUE(parent.Notes.empty()) << "a disabled button does not click";
}

TEST_F(UiControls, ProgressBarByClassName) {
  HWND h = CreateWindowEx(0, "msctls_progress32", nullptr, WS_CHILD | WS_VISIBLE, 4, 10, 200, 20, parent.GetHandle(),
                          reinterpret_cast<HMENU>(7), nullptr, nullptr);
  ASSERT_TRUE(::IsWindow(h));
  EXPECT_EQ(GetDlgCtrlID(h), 7);
  ::SendMessage(h, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  struct Step {
    WPARAM pos;
    LRESULT now;
  } steps[] = {{50, 50}, {150, 100}, {static_cast<WPARAM>(-5), 0}};
  for (const Step& s : steps) {
    ::SendMessage(h, PBM_SETPOS, s.pos, 0);
    EXPECT_EQ(::SendMessage(h, PBM_GETPOS, 0, 0), s.now);
  }
  EXPECT_EQ(CreateWindowEx(0, "NoSuchClass", nullptr, 0, 0, 0, 0, 0, parent.GetHandle(), nullptr, nullptr, nullptr),
            nullptr);
}

TEST_F(UiControls, WorkerThreadsSetStateWithoutWaitingForTheUiThread) {
  auto* lb = make(new TListBox(&parent, 100, 0, 0, 300, 500));
  auto* status = make(new TEdit(&parent, 101, "", 0, 0, 100, 20));
  HWND list = lb->GetHandle(), edit = status->GetHandle();
  std::vector<std::thread> workers;
  for (int t = 0; t < 4; ++t)
    workers.emplace_back([=] {
      for (int i = 0; i < 50; ++i) {
        std::string line = "COMM-" + std::to_string(t) + " : " + std::to_string(i);
        ::SendMessage(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
        ::SetWindowText(edit, line.c_str());
      }
    });
  for (auto& w : workers) w.join();
  EXPECT_EQ(lb->GetCount(), 200) << "applied at once, no pump needed";
  EXPECT_EQ(status->GetText().substr(0, 5), "COMM-");
  EXPECT_TRUE(parent.Notes.empty()) << "notifications from workers wait for the UI thread";
  plat::dispatch_all();
  EXPECT_EQ(parent.Notes.size(), 200u);
}

// A parent whose EN_CHANGE handler waits for a worker that reads the same
// edit: the edit must not be locked while its parent is told.
class TWaitingParent : public TWindow {
 public:
  TWaitingParent() : TWindow(nullptr, "Waiting") { Attr.Style = WS_OVERLAPPEDWINDOW; }
  LRESULT DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == WM_COMMAND && HIWORD(wp) == EN_CHANGE && lp) {
      HWND edit = reinterpret_cast<HWND>(lp);
      Reads.push_back(std::async(std::launch::async, [edit] {
        char buf[64];
        ::GetWindowText(edit, buf, sizeof buf);
        return std::string(buf);
      }));
      // A stuck read is kept, so that it may end once the handler returns.
      if (Reads.back().wait_for(std::chrono::seconds(5)) == std::future_status::ready) Seen.push_back(Reads.back().get());
      else ++Stuck;
    }
    return TWindow::DefWindowProc(msg, wp, lp);
  }
  std::vector<std::future<std::string>> Reads;
  std::vector<std::string> Seen;
  int Stuck = 0;
};

TEST_F(UiControls, ChangeHandlerMayWaitForAWorkerReadingTheEdit) {
  TWaitingParent waiting;
  ASSERT_TRUE(waiting.Create());
  auto* e = new TEdit(&waiting, 400, "", 0, 0, 100, 20);
  ASSERT_TRUE(e->Create());
  e->SetText("N10 G00");
  ::SetWindowText(e->GetHandle(), "N20 G01");
  e->SendMessage(WM_CHAR, 'X');
  EXPECT_EQ(waiting.Stuck, 0);
  EXPECT_EQ(waiting.Seen, (std::vector<std::string>{"N10 G00", "N20 G01", "XN20 G01"}));
  waiting.Destroy();
}

}  // namespace
