// The editor window: the commands a window without a program offers,
// loading a program with its row lock, read-only programs, Save with and
// without changes, the version-log prompt, the close query, the font file,
// the status texts and the token colours.
#include <cstring>
#include <fstream>
#include <map>

#include "platform/path.h"
#include "platform/ui/dc.h"
#include "platform/ui/gadget_window.h"
#include "platform/ui/gdi_bmp.h"
#include "platform/ui/resource.h"
#include "resources/dialogs/logs.h"
#include "resources/menus/editor.h"
#include "storage/dnc_link.h"
#include "storage/program_lock.h"
#include "tests/editor/editor_fixture.h"

namespace {

using kveditor::EditorTest;

class ChildFrameTest : public EditorTest {
 protected:
  std::vector<std::string> SaveLog() { return PeerRows(DbPath("LOG00000.DBF"), "TYPE"); }
};

TEST_F(ChildFrameTest, AWindowWithoutProgramOffersOnlyTheCommandsThatNeedNone) {
  Globals->RightsMask = 0x1;
  TChildFrame* f = Open(0);
  EXPECT_EQ(f->Program(), nullptr);
  EXPECT_EQ(f->GetText(), "Kelvane - Editor");
  for (UINT id : {104u, 111u, 112u, 118u, 105u, 1230u, 20501u}) EXPECT_TRUE(Enabled(f, id)) << id;
  // Save only once changed; Export by right 0x2; no program: no log, no
  // documentation; no program search registered: no Open.
  for (UINT id : {103u, 106u, 556u, 557u, 550u, 115u, 117u, 306u, 9800u, 1231u, 551u, 554u, 102u})
    EXPECT_FALSE(Enabled(f, id)) << id;
  Type(f, "G0 X1\r\n");
  EXPECT_TRUE(Enabled(f, kCmFileSave));
  Globals->RightsMask = 0x2;
  EXPECT_FALSE(Enabled(f, kCmEditorImport));
  EXPECT_TRUE(Enabled(f, kCmEditorExport));
  driver.expect_message_box(IDNO, "changed");
  EXPECT_TRUE(Close(f));
  EXPECT_EQ(slots[0], nullptr);
}

// Pictures, the tool lists and the setup sheets need the documentation
// right (0x20) beside a program; the memo needs only the program.
TEST_F(ChildFrameTest, TheDocumentationCommandsFollowTheDocumentationRight) {
  AddMillProgram(40, "O40\r\n");
  TChildFrame* f = Open(40);
  TChildFrame* none = Open(0, 1);
  const struct {
    uint32_t mask;
    bool granted;
  } cases[] = {{0x0, false},  {0x10, false}, {0x1F, false},       {0x40, false},
               {0x20, true},  {0x21, true},  {0xFFFFFFDF, false}, {0xFFFFFFFF, true}};
  for (const auto& c : cases) {
    Globals->RightsMask = c.mask;
    for (UINT id : {551u, 552u, 553u, 554u}) {
      EXPECT_EQ(Enabled(f, id), c.granted) << "command " << id << ", rights " << std::hex << c.mask;
      EXPECT_FALSE(Enabled(none, id)) << "command " << id << " without a program, rights " << std::hex << c.mask;
    }
    EXPECT_TRUE(Enabled(f, 550)) << std::hex << c.mask;
  }
  EXPECT_TRUE(Close(none));
  EXPECT_TRUE(Close(f));
}

// Every button of an editor window's bars shows a picture, none its
// number; the edit window's own command is grey while the control has
// nothing to do for it.
TEST_F(ChildFrameTest, EveryToolBarButtonHasItsPicture) {
  plat::set_resource_dir(KV_BUILD_RESOURCES);
  TChildFrame* f = Open(0);
  std::vector<int> buttons;
  for (TWindow* w : f->GetChildren()) {
    auto* bar = dynamic_cast<TControlBar*>(w);
    if (!bar) continue;
    for (int i = 0; i < bar->GadgetCount(); ++i) {
      auto* b = dynamic_cast<TButtonGadget*>(bar->GadgetAt(i));
      if (!b) continue;
      buttons.push_back(b->GetResId());
      EXPECT_NE(plat::find_bitmap_resource(b->GetResId()), nullptr) << "bitmap " << b->GetResId();
    }
  }
  EXPECT_EQ(buttons.size(), 20u);
  EXPECT_FALSE(Enabled(f, kCmEditCommand1031));
  EXPECT_TRUE(Close(f));
}

TEST_F(ChildFrameTest, AProgramOpensWithItsRowLockedAndASecondWindowIsRefused) {
  AddMillProgram(40, "O40\r\nG0 X0\r\n");
  TChildFrame* f = Open(40);
  ASSERT_NE(f->Program(), nullptr);
  EXPECT_EQ(f->GetText(), "PRG40");
  EXPECT_EQ(Text(f), "O40\r\nG0 X0\r\n");
  EXPECT_EQ(f->MachineId(), mill);
  EXPECT_EQ(Globals->CurrentProgramId, 0);
  EXPECT_FALSE(Enabled(f, kCmFileSave));  // loading is no change
  EXPECT_TRUE(Enabled(f, kCmAddToLog));
  EXPECT_EQ(CanLockProgram(40, 0), -1);
  EXPECT_GE(CanLockProgram(40, 1), -1);  // KELVLOCK.DBF has no such row

  driver.expect_message_box(IDOK, "open in an editor");
  TChildFrame* g = Open(40, 1);
  EXPECT_EQ(g->Program(), nullptr);
  EXPECT_EQ(Text(g), "");
  EXPECT_TRUE(Close(g));

  EXPECT_TRUE(Close(f));
  EXPECT_EQ(CanLockProgram(40, 0), 1);
  TChildFrame* h = Open(40, 2);
  EXPECT_NE(h->Program(), nullptr);
  EXPECT_TRUE(Close(h));
}

TEST_F(ChildFrameTest, AnUnknownProgramIsToldAndLeavesTheWindowWithoutOne) {
  driver.expect_message_box(IDOK, "not in the database");
  TChildFrame* f = Open(77);
  EXPECT_EQ(f->Program(), nullptr);
  EXPECT_TRUE(Close(f));
}

TEST_F(ChildFrameTest, AMazakProgramIsReadOnlyAndItsLockFieldIsNot) {
  AddMillProgram(41, "%\r\n", 1);
  AddMillProgram(42, "O42\r\n");
  TChildFrame* f = Open(41);
  EXPECT_TRUE(f->Edit()->IsReadOnly());
  EXPECT_TRUE(Close(f));
  TChildFrame* g = Open(42);  // LOCK of the row is false, as Append writes it
  EXPECT_FALSE(g->Edit()->IsReadOnly());
  EXPECT_TRUE(Close(g));
}

TEST_F(ChildFrameTest, SaveWritesTheFileAndLogsOnlyAChangedText) {
  AddMillProgram(40, "O40\r\n");
  TChildFrame* f = Open(40);
  Command(f, kCmFileSave);  // unchanged: written, not logged, nothing asked
  EXPECT_TRUE(SaveLog().empty());
  f->Edit()->SetCaretPos(2, 0);
  Type(f, "M30\r\n");
  Command(f, kCmFileSave);
  EXPECT_EQ(ReadFile(MachPath("P40.NC")), "O40\r\nM30\r\n");
  EXPECT_EQ(SaveLog(), std::vector<std::string>{"TYPE=24"});
  EXPECT_FALSE(Enabled(f, kCmFileSave));
  // A file that cannot be written: told, the text kept and still changed.
  Type(f, "X");
  std::filesystem::remove_all(Root() + "/mach");
  driver.expect_message_box(IDOK, "could not be saved");
  Command(f, kCmFileSave);
  EXPECT_TRUE(Enabled(f, kCmFileSave));
  EXPECT_EQ(SaveLog().size(), 1u);
  driver.expect_message_box(IDNO, "changed");
  EXPECT_TRUE(Close(f));
}

TEST_F(ChildFrameTest, WithAlwaysDoLogSaveAsksForAnEntryAndTheRowStaysLockedThroughout) {
  Globals->AlwaysDoLog = 1;
  AddMillProgram(40, "O40\r\n");
  TChildFrame* f = Open(40);
  Type(f, "N1\r\n");
  driver.expect_dialog(IDD_ADD_TO_LOG, [&](TDialog& d) {
    EXPECT_EQ(CanLockProgram(40, 0), -1);
    d.CmCancel();
  });
  Command(f, kCmFileSave);
  EXPECT_EQ(ReadFile(MachPath("P40.NC")), "O40\r\n");
  EXPECT_TRUE(SaveLog().empty());
  EXPECT_TRUE(Enabled(f, kCmFileSave));
  EXPECT_EQ(CanLockProgram(40, 0), -1);
  driver.expect_message_box(IDNO, "changed");
  EXPECT_TRUE(Close(f));
}

TEST_F(ChildFrameTest, TheCloseQueryKeepsSavesOrDropsAChangedText) {
  AddMillProgram(40, "O40\r\n");
  struct Case {
    int answer;
    bool closes;
    const char* file;
  };
  for (Case c : {Case{IDCANCEL, false, "O40\r\n"}, Case{IDNO, true, "O40\r\n"}, Case{IDYES, true, "N9\r\nO40\r\n"}}) {
    SCOPED_TRACE(c.answer);
    TChildFrame* f = Open(40);
    Type(f, "N9\r\n");
    driver.expect_message_box(c.answer, "changed");
    EXPECT_EQ(f->CanClose(), c.closes);
    EXPECT_EQ(ReadFile(MachPath("P40.NC")), c.file);
    EXPECT_EQ(CanLockProgram(40, 0), c.closes ? 1 : -1);
    EXPECT_EQ(slots[0] == nullptr, c.closes);
    if (!c.closes) {
      driver.expect_message_box(IDNO, "changed");
      EXPECT_TRUE(f->CanClose());
    }
    f->Destroy();
  }
}

TEST_F(ChildFrameTest, ClosingWritesTheFontFileThatTheNextWindowReads) {
  TChildFrame* f = Open(0);
  LOGFONT lf{};
  lf.lfHeight = -15;
  lf.lfWeight = 700;
  std::strcpy(lf.lfFaceName, "Courier New");
  f->Edit()->SetFont(new TFont(lf));
  EXPECT_TRUE(Close(f));
  std::string bytes = ReadFile(Root() + "/cfg/KELVFONT.CFG");
  ASSERT_EQ(bytes.size(), 92u);
  EXPECT_EQ(bytes.substr(0, 32), std::string(32, '\0'));
  EXPECT_EQ(bytes.substr(32, 4), std::string("\xF1\xFF\xFF\xFF", 4));
  EXPECT_EQ(bytes.substr(48, 4), std::string("\xBC\x02\0\0", 4));
  EXPECT_EQ(bytes.substr(60, 12), std::string("Courier New\0", 12));
  // A short file leaves the default font.
  TChildFrame* g = Open(0);
  EXPECT_TRUE(g->Edit()->LoadFont());
  kvdb::WriteFileBytes(Root() + "/cfg/KELVFONT.CFG", bytes.substr(0, 91));
  EXPECT_FALSE(g->Edit()->LoadFont());
  EXPECT_TRUE(Close(g));
}

TEST_F(ChildFrameTest, TheStatusLineFollowsTheCaretAndTheTempNamesTheWindow) {
  TChildFrame* f = Open(0, 2);
  Type(f, "G0\r\nG1 X2\r\n");
  Command(f, kCmUpdateStatus);
  EXPECT_EQ(f->LineGadget()->GetText(), "Line : 3/3 (11 bytes)  ");
  EXPECT_EQ(f->PositionGadget()->GetText(), "Pos : 0");
  EXPECT_EQ(f->TempPath("CRNF", "AF1"), Globals->TempDir + "CRNF2.AF1");
  EXPECT_EQ(f->TempPath("INSF", "IF1"), Globals->TempDir + "INSF2.IF1");
  driver.expect_message_box(IDNO);
  EXPECT_TRUE(Close(f));
  // Without a status bar there is nothing to refresh.
  Globals->DisplayFlags = 0;
  TChildFrame* g = Open(0);
  EXPECT_EQ(g->LineGadget(), nullptr);
  EXPECT_EQ(g->CycleBox(), nullptr);
  Command(g, kCmUpdateStatus);
  EXPECT_TRUE(Close(g));
}

TEST(TokenColours, ByClassValueAndText) {
  TGlobals g;
  TGlobals* old = Globals;
  Globals = &g;
  g.SyntaxValues = {"G0", "M30"};
  g.SyntaxValueCount = 2;
  struct Case {
    uint16_t cls;
    uint32_t value;
    const char* text;
    COLORREF want;
  } cases[] = {{LTOK_WORD, 0, "G0", 0xFF0000}, {LTOK_WORD, 0, "g0", 0},      {LTOK_INTEGER, 5, "5", 0x0000FF},
               {LTOK_DECIMAL, 0x10000, "", 0x00FF00}, {LTOK_SYMBOL, 0, "Z", 0x0000C0}, {LTOK_SYMBOL, 0, "X", 0xC000C0},
               {LTOK_COMMENT, 0, "(", 0}};
  for (const Case& c : cases) EXPECT_EQ(TClient::TokenColor(c.cls, c.value, c.text), c.want) << c.text;
  Globals = old;
}

// The demo station's syntax definition: NC comments in parentheses (and
// after ";") are comments, so their numbers stay uncoloured; an address's
// value is a number of its own.
TEST_F(ChildFrameTest, TheDemoStationsSyntaxLeavesNumbersInCommentsUncoloured) {
  std::ifstream cfg(KV_SOURCE_DIR "/resources/demo/KELVA31.CFG");
  std::string line;
  while (std::getline(cfg, line))
    if (line.rfind("SYNTAXDEF=", 0) == 0) Globals->ApplyConfigLine(line.c_str());
  ASSERT_FALSE(Globals->SyntaxDef.empty()) << "the demo station sets no syntax";
  AddMillProgram(43, "O2001 (HEAD CH-40 OP10)\r\nX-40.0 ;BACK 25\r\n");
  TChildFrame* f = Open(43);
  std::map<std::string, COLORREF> colour;
  for (const plat::DrawOp& op : plat::paint_window(*f->Edit()))
    if (op.kind == plat::DrawOp::Text) colour[op.text] = op.textColor;
  EXPECT_EQ(colour.count("(HEAD CH-40 OP10)"), 1u);
  EXPECT_EQ(colour["(HEAD CH-40 OP10)"], 0u);
  EXPECT_EQ(colour[";BACK 25"], 0u);
  EXPECT_EQ(colour["-40.0"], 0x0000FFu);
  EXPECT_EQ(colour["2001"], 0x0000FFu);
  EXPECT_TRUE(Close(f));
}

}  // namespace

namespace {

TEST_F(ChildFrameTest, ASavedLogEntryResetsTheTransferCountThroughTheWindowsOwnLock) {
  Globals->AlwaysDoLog = 1;
  long type = AddType("REWORK");
  AddCriterion(type, "COLLISION");
  kvdb::WriteFileBytes(MachPath("P40.NC"), "O40\r\n");
  {
    TcbFileTable t("KELVFILE.DBF", 0, 0);
    TcbFileRecord r;
    FillProgram(r, 40, 40, 5);
    r.MID = mill;
    ASSERT_EQ(t.Append(&r), 1);
  }
  TChildFrame* f = Open(40);
  Type(f, "N2\r\n");
  driver.expect_dialog(IDD_ADD_TO_LOG, [&](TDialog& d) {
    plat::Pilot p(d);
    p.select(IDC_LOG_ENTRY_MAIN_TYPE, 1);
    p.select(IDC_LOG_ENTRY_REASON1, 1);
    driver.expect_message_box(IDYES, "Add this entry");
    EXPECT_TRUE(p.click(IDOK));
  });
  Command(f, kCmFileSave);
  EXPECT_EQ(ReadFile(MachPath("P40.NC")), "N2\r\nO40\r\n");
  EXPECT_EQ(PeerRows(DbPath("KELVFILE.DBF"), "NCID SENT"), std::vector<std::string>{"NCID=40 SENT=0"});
  EXPECT_EQ(PeerRows(DbPath("LOG00002.DBF"), "PROGRAM SEND"), std::vector<std::string>{"PROGRAM=40 SEND=5"});
  EXPECT_EQ(CanLockProgram(40, 0), -1);
  EXPECT_TRUE(Enabled(f, kCmReviewLog));
  EXPECT_TRUE(Close(f));
}

}  // namespace

namespace {

TEST_F(ChildFrameTest, TheToolBarListsTheMachinesMacrosAndTheCyclesOfItsType) {
  {
    TcbMacroTable m("KELVMACR.DBF", 0, 0);
    delete m.Add("DRILL", "G81", mill);
    delete m.Add("OTHER", "G0", mill + 1);
    TcbCycleTable c("KELVCYC3.DBF", 0, 0);
    ASSERT_GT(c.Add(5, "POCKET"), 0);  // the mill's type
    ASSERT_GT(c.Add(mill, "WRONG"), 0);  // filed under the machine's own id
  }
  AddMillProgram(40, "O40\r\n");
  TChildFrame* f = Open(40);
  ASSERT_EQ(f->MacroBox()->GetCount(), 1);
  EXPECT_EQ(f->MacroBox()->GetString(0).substr(0, 5), "DRILL");
  EXPECT_EQ(f->MacroBox()->GetSelIndex(), 0);
  ASSERT_EQ(f->CycleBox()->GetCount(), 1);
  EXPECT_EQ(f->CycleBox()->GetString(0).substr(0, 6), "POCKET");
  EXPECT_TRUE(Close(f));
}

}  // namespace

namespace {

// The DNC link sends the window's text as it stands; a program received
// back replaces the text and counts as changed; anything but IDOK leaves
// the text alone.
TEST_F(ChildFrameTest, DncSendHandsTheTextToTheLinkAndTakesAReceivedProgram) {
  AddMillProgram(40, "O40\r\n");
  TChildFrame* f = Open(40);
  Globals->RightsMask = 0;
  EXPECT_FALSE(Enabled(f, kCmDncSend)) << "no link registered";
  const std::string received = Root() + "/RECDNC.TMP";
  kvdb::WriteFileBytes(received, "O40\r\nFROM MACHINE\r\n");
  std::string sent;
  long machine = 0;
  int answer = IDCANCEL;
  SetDncLinkRunner({[&](TWindow*, const TcbFileRecord* program, long machineId, bool offerReceive) {
                      EXPECT_NE(program, nullptr);
                      EXPECT_TRUE(offerReceive);
                      machine = machineId;
                      sent = ReadFile(plat::to_native_path(Globals->DncTransferFile.c_str()));
                      return answer;
                    },
                    [&] { return received; },
                    {}});
  EXPECT_FALSE(Enabled(f, kCmDncSend)) << "no right";
  Globals->RightsMask = 0x40000;
  ASSERT_TRUE(Enabled(f, kCmDncSend));
  Type(f, "N1\r\n");
  Command(f, kCmDncSend);
  EXPECT_EQ(sent, "N1\r\nO40\r\n") << "the unsaved text goes out";
  EXPECT_EQ(machine, mill);
  EXPECT_EQ(Text(f), "N1\r\nO40\r\n");
  answer = IDOK;
  Command(f, kCmDncSend);
  EXPECT_EQ(Text(f), "O40\r\nFROM MACHINE\r\n");
  EXPECT_TRUE(Enabled(f, kCmFileSave)) << "a received text is not the stored file";
  SetDncLinkRunner({});
  driver.expect_message_box(IDNO, "changed");
  EXPECT_TRUE(Close(f));
}

// In debug mode a monitor window stands for the time of the transfer:
// made before the link runs, gone once it ended. Without debug mode none.
TEST_F(ChildFrameTest, DncSendInDebugModeHasAMonitorForTheTransfer) {
  AddMillProgram(40, "O40\r\n");
  TChildFrame* f = Open(40);
  Globals->RightsMask = 0x40000;
  std::vector<std::string> events;
  SetDncLinkRunner({[&](TWindow*, const TcbFileRecord*, long, bool) {
                      events.push_back("link");
                      return IDCANCEL;
                    },
                    [&] { return Root() + "/RECDNC.TMP"; },
                    [&](TWindow* parent) -> std::shared_ptr<void> {
                      EXPECT_EQ(parent, f);
                      events.push_back("monitor");
                      return std::shared_ptr<void>(nullptr, [&](void*) { events.push_back("monitor gone"); });
                    }});
  for (int debug : {0, 1}) {
    Globals->DebugMode = debug;
    events.clear();
    Command(f, kCmDncSend);
    const std::vector<std::string> want =
        debug ? std::vector<std::string>{"monitor", "link", "monitor gone"} : std::vector<std::string>{"link"};
    EXPECT_EQ(events, want);
  }
  SetDncLinkRunner({});
  EXPECT_TRUE(Close(f));
}

}  // namespace
