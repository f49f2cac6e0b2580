// The version log viewer: lists, the chosen entry, delete with the copy,
// restore, open and the compare modes.
#include "resources/dialogs/logs.h"
#include "resources/menus/main.h"
#include "storage/log_view.h"
#include "platform/ui/ctlcolor.h"
#include "platform/ui/gdi_object.h"
#include "tests/storage/log_fixture.h"

namespace {

using kvlogs::LogTest;
using plat::Pilot;

// Stands in for the opener (an editor window) and for the main window.
class Probe : public TWindow {
 public:
  Probe() : TWindow(static_cast<TWindow*>(nullptr)) {}
  void CmReload() { reloads++; }
  void CmOpen() { opens++; }
  int reloads = 0, opens = 0;
  DECLARE_RESPONSE_TABLE(Probe);
};
DEFINE_RESPONSE_TABLE1(Probe, TWindow)
  EV_COMMAND(kCmReloadProgram, CmReload),
  EV_COMMAND(kCmOpenNamedProgram, CmOpen),
END_RESPONSE_TABLE;

struct CompareCall {
  std::string first, second, firstTitle, secondTitle;
  bool operator==(const CompareCall&) const = default;
};
std::vector<CompareCall> compareCalls;
void FakeCompare(TWindow*, const char* a, const char* b, const char* ta, const char* tb) {
  compareCalls.push_back({a, b, ta ? ta : "-", tb ? tb : "-"});
}

class LogViewTest : public LogTest {
 protected:
  void SetUp() override {
    LogTest::SetUp();
    rework = AddType("REWORK");
    setup = AddType("SETUP");
    // Criteria with ids 12 and 123 of one type: a choice of 12 must not
    // land on 123.
    MakeFile("LOG00004.DBF", {{"ID", 'N', 10, 0}, {"TYPE", 'N', 10, 0}, {"NAME", 'C', 50, 0}},
             {{"123", std::to_string(rework), "COLLISION"}, {"12", std::to_string(rework), "CHIPS"}},
             {{"ID", "ID", nullptr, 20, 0}});
    AddProgram("KELVFILE.DBF", 30, 12, "NEW TEXT\r\n", 2);
    FillProgram(program, 30, 12, 2);
    first = AddEntry(12, rework, "FIRST", 101, "OLD TEXT\r\n", 123);
    second = AddEntry(12, setup, "SECOND", 0, "", 0);
    third = AddEntry(12, rework, "THIRD", 103, "MIDDLE TEXT\r\n", 12);
    AddEntry(99, rework, "OTHER PROGRAM", 0, "", 12);
    probe.Create();
    compareCalls.clear();
  }
  void TearDown() override {
    SetCompareRunner(nullptr);
    probe.Destroy();
    LogTest::TearDown();
  }

  // A version-log entry with, for a copy id, its copy row and file.
  long AddEntry(long key, long type, const char* text, long copyId, const std::string& copyText, long reason) {
    if (copyId) {
      std::string name = "L" + std::to_string(copyId);
      kvdb::WriteFileBytes(BackupPath(name + ".LOG"), copyText);
      TcbFileRecord r;
      FillProgram(r, copyId, key);
      CopyCut(r.DIR, sizeof r.DIR, Globals->BackupDir.c_str());
      CopyCut(r.NAME, sizeof r.NAME, name.c_str());
      CopyCut(r.EXT, sizeof r.EXT, "LOG");
      TcbFileTable t("LOG00003.DBF", 0, 0);
      EXPECT_EQ(t.Append(&r), 1);
    }
    TLog00002Record e;
    e.PROGRAM = key;
    e.TYPE = type;
    e.REVISION = copyId;
    e.REASON01 = reason;
    CopyCut(e.TEXT, sizeof e.TEXT, text);
    TLog00002Table t("LOG00002.DBF", 0, 0);
    EXPECT_EQ(t.Add(&e), 1);
    return e.ID;
  }

  int Run(const std::function<void(Pilot&, TLogView&)>& answer) {
    driver.expect_dialog(IDD_PROGRAM_LOG, [&](TDialog& d) {
      Pilot p(d);
      answer(p, static_cast<TLogView&>(d));
    });
    TLogView dlg(&probe, &program);
    int result = dlg.Execute();
    driver.pump();
    return result;
  }
  // The line of the list that shows the entry's text.
  static int LineOf(Pilot& p, const std::string& text) {
    std::vector<std::string> lines = p.lines(IDC_PROGRAM_LOG_ENTRIES);
    for (size_t i = 0; i < lines.size(); i++)
      if (lines[i].find(", " + text + " ") != std::string::npos) return static_cast<int>(i);
    return -1;
  }
  // The type of a line of one of the type combos.
  static long SelectedId(Pilot& p, int combo) {
    int i = p.selection(combo);
    return i < 0 ? -1 : ListLineId(p.lines(combo)[i].c_str());
  }

  plat::GTestUiDriver driver;
  Probe probe;
  TcbFileRecord program;
  long rework = 0, setup = 0, first = 0, second = 0, third = 0;
};

TEST_F(LogViewTest, EntriesAreListedNewestFirstAndTheChosenOneIsShownWithWholeIdReasons) {
  Run([&](Pilot& p, TLogView& d) {
    EXPECT_EQ(d.GetCaption(), std::string("Add to / Review program log"));
    std::vector<std::string> lines = p.lines(IDC_PROGRAM_LOG_ENTRIES);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(LineOf(p, "THIRD"), 0);
    EXPECT_EQ(LineOf(p, "FIRST"), 2);
    EXPECT_EQ(lines[0].substr(12), ", THIRD" + std::string(195, ' ') + "@@" + std::to_string(third));
    // Nothing is shown until a line is chosen; the compare window is not
    // there, so its buttons are off.
    EXPECT_EQ(p.text(IDC_LOG_ENTRY_EVENT), "");
    EXPECT_EQ(d.CurrentCopy, 0);
    EXPECT_FALSE(p.visible(IDC_LOG_ENTRY_ADD));
    EXPECT_FALSE(p.enabled(IDC_PROGRAM_LOG_COMPARE));
    EXPECT_FALSE(p.enabled(IDC_PROGRAM_LOG_COMPARE_CURRENT));
    p.select(IDC_PROGRAM_LOG_ENTRIES, 0);
    EXPECT_EQ(p.text(IDC_LOG_ENTRY_EVENT), "THIRD");
    EXPECT_EQ(p.text(IDC_LOG_ENTRY_USER), "Ada Lovelace");
    EXPECT_EQ(p.text(IDC_PROGRAM_LOG_SENT), "0");
    EXPECT_EQ(d.CurrentCopy, 103);
    EXPECT_EQ(SelectedId(p, IDC_PROGRAM_LOG_VIEW_TYPE), rework);
    EXPECT_EQ(SelectedId(p, IDC_LOG_ENTRY_MAIN_TYPE), rework);
    EXPECT_EQ(SelectedId(p, IDC_LOG_ENTRY_REASON1), 12);
    EXPECT_EQ(SelectedId(p, IDC_LOG_ENTRY_REASON2), 0);
    p.select(IDC_PROGRAM_LOG_ENTRIES, 2);
    EXPECT_EQ(SelectedId(p, IDC_LOG_ENTRY_REASON1), 123);
    // Sunken fields in yellow, the count in green, on black.
    TClientDC dc(d.GetHandle());
    for (int id : {IDC_LOG_ENTRY_DATE, IDC_LOG_ENTRY_USER, IDC_LOG_ENTRY_TIME, IDC_PROGRAM_LOG_COMPARE_BASE,
                   IDC_PROGRAM_LOG_COMPARE_OTHER, IDC_PROGRAM_LOG_SENT}) {
      plat::ControlColors c = plat::ask_control_colors(p.control(id)->GetHandle(), dc);
      EXPECT_EQ(c.text, id == IDC_PROGRAM_LOG_SENT ? RGB(0, 255, 0) : RGB(255, 255, 0)) << id;
      EXPECT_EQ(c.back, RGB(0, 0, 0)) << id;
      EXPECT_EQ(c.brush, RGB(0, 0, 0)) << id;
    }
    EXPECT_FALSE(plat::ask_control_colors(p.control(IDC_LOG_ENTRY_EVENT)->GetHandle(), dc).fromParent);
    // One type, then all again.
    p.select(IDC_PROGRAM_LOG_VIEW_TYPE, 1);
    EXPECT_EQ(SelectedId(p, IDC_PROGRAM_LOG_VIEW_TYPE), setup);
    ASSERT_EQ(p.lines(IDC_PROGRAM_LOG_ENTRIES).size(), 1u);
    EXPECT_EQ(p.text(IDC_LOG_ENTRY_EVENT), "SECOND");
    EXPECT_EQ(d.CurrentCopy, 0);
    p.click(IDC_PROGRAM_LOG_VIEW_ALL);
    EXPECT_EQ(p.lines(IDC_PROGRAM_LOG_ENTRIES).size(), 3u);
    p.click(IDCANCEL);
  });
}

TEST_F(LogViewTest, DeleteTakesTheEntryOfTheChosenLineWithItsCopy) {
  std::filesystem::remove(BackupPath("L101.LOG"));
  Run([&](Pilot& p, TLogView& d) {
    driver.expect_message_box(IDNO, "Delete the selected log entry");
    p.click(IDC_PROGRAM_LOG_DELETE);
    EXPECT_EQ(p.lines(IDC_PROGRAM_LOG_ENTRIES).size(), 3u);
    // FIRST is shown, but after View All the chosen line is THIRD: the
    // copy that goes is THIRD's.
    p.select(IDC_PROGRAM_LOG_ENTRIES, LineOf(p, "FIRST"));
    p.click(IDC_PROGRAM_LOG_VIEW_ALL);
    driver.expect_message_box(IDYES);
    p.click(IDC_PROGRAM_LOG_DELETE);
    EXPECT_EQ(p.lines(IDC_PROGRAM_LOG_ENTRIES).size(), 2u);
    EXPECT_EQ(d.CurrentCopy, 101);
    // An entry whose copy file is gone still gives its copy row up.
    p.select(IDC_PROGRAM_LOG_ENTRIES, LineOf(p, "FIRST"));
    driver.expect_message_box(IDYES);
    p.click(IDC_PROGRAM_LOG_DELETE);
    EXPECT_EQ(d.CurrentCopy, 0);
    p.click(IDCANCEL);
  });
  EXPECT_EQ(PeerRows(DbPath("LOG00002.DBF"), "TEXT"),
            (std::vector<std::string>{"TEXT=SECOND", "TEXT=OTHER PROGRAM", "* TEXT=FIRST", "* TEXT=THIRD"}));
  EXPECT_EQ(PeerRows(DbPath("LOG00003.DBF"), "NCID MID"),
            (std::vector<std::string>{"* NCID=-101 MID=-7", "* NCID=-103 MID=-7"}));
  EXPECT_FALSE(std::filesystem::exists(BackupPath("L103.LOG")));
}

TEST_F(LogViewTest, RestoreKeepsTheCurrentFileAsANewVersionThenCopiesAndTellsTheEditor) {
  Run([&](Pilot& p, TLogView&) {
    p.select(IDC_PROGRAM_LOG_ENTRIES, LineOf(p, "FIRST"));
    driver.expect_dialog(IDD_ADD_TO_LOG, [&](TDialog& a) {
      Pilot q(a);
      q.select(IDC_LOG_ENTRY_MAIN_TYPE, 1);
      q.select(IDC_LOG_ENTRY_REASON1, 1);
      q.click(IDOK);
    });
    // Boxes are answered in the order they come, the entry's first.
    driver.expect_message_box(IDYES, "Add this entry");
    driver.expect_message_box(IDYES, "Restore the stored version");
    driver.expect_message_box(IDYES, "will be overwritten");
    p.click(IDC_PROGRAM_LOG_RESTORE);
    // The list is not refilled.
    EXPECT_EQ(p.lines(IDC_PROGRAM_LOG_ENTRIES).size(), 3u);
    p.click(IDCANCEL);
  });
  EXPECT_TRUE(SameFile(MachPath("P30.NC"), BackupPath("L101.LOG")));
  EXPECT_EQ(kvdb::ReadFileBytes(BackupPath("L3.LOG")), "NEW TEXT\r\n");
  EXPECT_EQ(PeerRows(DbPath("LOG00002.DBF"), "PROGRAM REVISION").back(), "PROGRAM=12 REVISION=3");
  EXPECT_EQ(probe.reloads, 1);
}

TEST_F(LogViewTest, ARestoreThatCannotKeepOrCopyIsToldAndPostsNothing) {
  auto restore = [&](const std::vector<std::string>& boxes) {
    Run([&](Pilot& p, TLogView&) {
      p.select(IDC_PROGRAM_LOG_ENTRIES, LineOf(p, "FIRST"));
      driver.expect_dialog(IDD_ADD_TO_LOG, [&](TDialog& a) {
        Pilot q(a);
        q.select(IDC_LOG_ENTRY_MAIN_TYPE, 1);
        q.select(IDC_LOG_ENTRY_REASON1, 1);
        q.click(IDOK);
      });
      driver.expect_message_box(IDYES, "Add this entry");
      driver.expect_message_box(IDOK, "could not be kept as a stored copy");
      for (const std::string& box : boxes) driver.expect_message_box(box.empty() ? IDYES : IDOK, box);
      p.click(IDC_PROGRAM_LOG_RESTORE);
      p.click(IDCANCEL);
    });
  };
  // The current file cannot be kept (a file has the copy's name): it is
  // not overwritten.
  kvdb::WriteFileBytes(BackupPath("L3.LOG"), "IN THE WAY");
  restore({"so it was not overwritten"});
  EXPECT_EQ(kvdb::ReadFileBytes(MachPath("P30.NC")), "NEW TEXT\r\n");
  // The program's directory is gone: nothing to keep, and the copy fails.
  CopyCut(program.DIR, sizeof program.DIR, (Root() + "/gone\\").c_str());
  restore({"", "", "could not be copied over the program file"});
  EXPECT_EQ(probe.reloads, 0);
  // A cancelled entry restores nothing.
  CopyCut(program.DIR, sizeof program.DIR, (Root() + "/mach\\").c_str());
  Run([&](Pilot& p, TLogView&) {
    p.select(IDC_PROGRAM_LOG_ENTRIES, LineOf(p, "FIRST"));
    driver.expect_dialog(IDD_ADD_TO_LOG, [&](TDialog& a) { Pilot(a).click(IDCANCEL); });
    p.click(IDC_PROGRAM_LOG_RESTORE);
    p.click(IDCANCEL);
  });
  EXPECT_EQ(kvdb::ReadFileBytes(MachPath("P30.NC")), "NEW TEXT\r\n");
  EXPECT_EQ(probe.reloads, 0);
}

TEST_F(LogViewTest, OpenHandsTheStoredCopyToTheMainWindow) {
  Globals->MainWnd = probe.GetHandle();
  Globals->CurrentProgramId = 77;
  Run([&](Pilot& p, TLogView&) {
    p.select(IDC_PROGRAM_LOG_ENTRIES, LineOf(p, "SECOND"));  // no copy: nothing happens
    p.click(IDC_PROGRAM_LOG_OPEN);
    EXPECT_EQ(Globals->CurrentProgramId, 77);
    p.select(IDC_PROGRAM_LOG_ENTRIES, LineOf(p, "FIRST"));
    p.click(IDC_PROGRAM_LOG_OPEN);
    p.click(IDCANCEL);
  });
  Globals->MainWnd = nullptr;
  EXPECT_EQ(Globals->CurrentProgramId, 0);
  EXPECT_EQ(std::string(Globals->StartFile.get()), Root() + "/backup\\L101.LOG");
  EXPECT_EQ(Globals->CurrentMachineId, 7);
  EXPECT_EQ(probe.opens, 1);
}

TEST_F(LogViewTest, CompareModeComparesTwoCopiesAndCompareWithCurrentTheProgramFile) {
  SetCompareRunner(FakeCompare);
  Globals->RightsMask = ~kRightRestoreVersions;
  Run([&](Pilot& p, TLogView& d) {
    EXPECT_FALSE(p.visible(IDC_PROGRAM_LOG_RESTORE));
    p.click(IDC_PROGRAM_LOG_COMPARE);
    EXPECT_EQ(d.CompareMode, 0) << "no entry shown yet";
    p.select(IDC_PROGRAM_LOG_ENTRIES, LineOf(p, "FIRST"));
    EXPECT_TRUE(p.click(IDC_PROGRAM_LOG_COMPARE));
    EXPECT_EQ(d.CompareMode, 1);
    for (int id : {IDCANCEL, IDC_PROGRAM_LOG_DELETE, IDC_PROGRAM_LOG_VIEW_ALL, IDC_PROGRAM_LOG_OPEN,
                   IDC_PROGRAM_LOG_COMPARE, IDC_PROGRAM_LOG_COMPARE_CURRENT})
      EXPECT_FALSE(p.visible(id)) << id;
    for (int id : {IDC_PROGRAM_LOG_COMPARE_START, IDC_PROGRAM_LOG_COMPARE_CANCEL, IDC_PROGRAM_LOG_COMPARE_THIS_LABEL,
                   IDC_PROGRAM_LOG_COMPARE_TO_LABEL, IDC_PROGRAM_LOG_COMPARE_BASE, IDC_PROGRAM_LOG_COMPARE_OTHER})
      EXPECT_TRUE(p.visible(id)) << id;
    EXPECT_EQ(p.text(IDC_PROGRAM_LOG_COMPARE_BASE), p.text(IDC_LOG_ENTRY_TIME) + " - FIRST");
    p.select(IDC_PROGRAM_LOG_ENTRIES, LineOf(p, "SECOND"));
    EXPECT_EQ(p.text(IDC_PROGRAM_LOG_COMPARE_OTHER), "");
    p.click(IDC_PROGRAM_LOG_COMPARE_START);
    EXPECT_TRUE(compareCalls.empty());
    p.select(IDC_PROGRAM_LOG_ENTRIES, LineOf(p, "THIRD"));
    EXPECT_EQ(p.text(IDC_PROGRAM_LOG_COMPARE_OTHER), p.text(IDC_LOG_ENTRY_TIME) + " - THIRD");
    p.click(IDC_PROGRAM_LOG_COMPARE_START);
    p.click(IDC_PROGRAM_LOG_COMPARE_CANCEL);
    EXPECT_EQ(d.CompareMode, 0);
    for (int id : {IDCANCEL, IDC_PROGRAM_LOG_DELETE, IDC_PROGRAM_LOG_VIEW_ALL, IDC_PROGRAM_LOG_OPEN,
                   IDC_PROGRAM_LOG_COMPARE, IDC_PROGRAM_LOG_COMPARE_CURRENT})
      EXPECT_TRUE(p.visible(id)) << id;
    EXPECT_FALSE(p.visible(IDC_PROGRAM_LOG_RESTORE));
    EXPECT_FALSE(p.visible(IDC_PROGRAM_LOG_COMPARE_START));
    p.click(IDC_PROGRAM_LOG_COMPARE_CURRENT);
    p.click(IDCANCEL);
  });
  std::string backup = Root() + "/backup\\";
  EXPECT_EQ(compareCalls, (std::vector<CompareCall>{
                              {backup + "L101.LOG", backup + "L103.LOG", "-", "-"},
                              {Root() + "/mach\\P30.NC", backup + "L103.LOG", "Current program", "Stored version"},
                          }));
}

}  // namespace
