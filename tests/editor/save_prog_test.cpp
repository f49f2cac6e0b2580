// Filing a text as a program: the new row and its log entry, the program
// handed back for a Program-ID the machine has already, Program-IDs with
// quotes, customers and projects, and the refusals that file nothing.
#include "resources/dialogs/editor.h"
#include "storage/program_lock.h"
#include "storage/save_prog.h"
#include "tests/editor/editor_fixture.h"

namespace {

using kveditor::EditorTest;
using plat::Pilot;

const char* kRowFields = "NCID LONG1 NAME EXT DESC CHAR3 PART DRAW CUST PROJECT MID MAT MACHINE MAZAK DIR PROG LOCK SENT";

class SaveProgTest : public EditorTest {
 protected:
  int Run(const std::function<void(Pilot&, TSaveProg&)>& answer) {
    driver.expect_dialog(IDD_SAVE_PROGRAM, [&](TDialog& d) {
      Pilot p(d);
      answer(p, static_cast<TSaveProg&>(d));
    });
    Globals->EditMachineId = static_cast<int>(mill);
    return TSaveProg(nullptr).Execute();
  }
  std::vector<std::string> LogTexts() { return PeerRows(DbPath("LOG00000.DBF"), "TYPE TEXT"); }
};

TEST_F(SaveProgTest, ANewProgramGetsItsRowInTheMachinesDirectoryAndOneLogEntry) {
  int result = Run([](Pilot& p, TSaveProg& d) {
    EXPECT_EQ(d.GetCaption(), std::string("Save As..."));
    // No customer in the database: neither check box nor list is shown.
    for (int id : {IDC_SAVE_PROGRAM_CUSTOMER_BOX, IDC_SAVE_PROGRAM_CUSTOMER, IDC_SAVE_PROGRAM_PROJECT_BOX,
                   IDC_SAVE_PROGRAM_PROJECT})
      EXPECT_FALSE(p.visible(id)) << id;
    EXPECT_FALSE(p.visible(IDC_SAVE_PROGRAM_NUMBER_LABEL));
    p.set_text(IDC_SAVE_PROGRAM_ID, "  SHAFT 12");
    p.set_text(IDC_SAVE_PROGRAM_DESCRIPTION, "FIRST OP");
    p.set_text(IDC_SAVE_PROGRAM_PART, "P-1");
    p.set_text(IDC_SAVE_PROGRAM_DRAWING, "D-2");
    EXPECT_TRUE(p.click(IDOK));
  });
  ASSERT_EQ(result, IDOK);
  long id = Globals->CurrentProgramId;
  EXPECT_EQ(id, Globals->NewProgramId);
  EXPECT_STREQ(Globals->CurrentProgramDesc.c_str(), "  SHAFT 12");
  std::string n = std::to_string(id);
  EXPECT_EQ(PeerRows(DbPath("KELVFILE.DBF"), kRowFields),
            std::vector<std::string>{"NCID=" + n + " LONG1=" + n + " NAME=P" + n +
                                     " EXT=NC DESC=SHAFT 12 CHAR3=FIRST OP PART=P-1 DRAW=D-2 CUST=0 PROJECT=0 MID=" +
                                     std::to_string(mill) + " MAT=5 MACHINE=DMU50 MAZAK=False DIR=" + Root() +
                                     "/mach\\ PROG=-1 LOCK=False SENT=0"});
  std::vector<std::string> log = LogTexts();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].substr(0, 7), "TYPE=7 ");
  EXPECT_NE(log[0].find("SHAFT 12"), std::string::npos) << log[0];
}

TEST_F(SaveProgTest, AnEmptyProgramIdBeepsAndStays) {
  int result = Run([&](Pilot& p, TSaveProg&) {
    EXPECT_TRUE(p.click(IDOK));
    EXPECT_TRUE(p.focused(IDC_SAVE_PROGRAM_ID));
    p.press_escape();
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_TRUE(PeerRows(DbPath("KELVFILE.DBF"), "NCID").empty());
}

TEST_F(SaveProgTest, TheSameProgramIdOnTheSameMachineIsHandedBackOnlyWhenTheUserAgrees) {
  AddMillProgram(40, "O40\r\n");
  struct Case {
    const char* typed;
    int answer;
  };
  // Lower case reaches the check as typed when the edit does not convert it.
  for (Case c : {Case{"PRG40", IDNO}, Case{"prg40", IDYES}}) {
    SCOPED_TRACE(c.typed);
    Globals->CurrentProgramId = 0;
    int result = Run([&](Pilot& p, TSaveProg&) {
      p.set_text(IDC_SAVE_PROGRAM_ID, c.typed);
      p.set_text(IDC_SAVE_PROGRAM_DESCRIPTION, "NOT STORED");
      driver.expect_message_box(c.answer, "exists already");
      p.click(IDOK);
      if (c.answer == IDNO) {
        EXPECT_EQ(p.text(IDC_SAVE_PROGRAM_DESCRIPTION), "NOT STORED");  // the entries are kept
        p.press_escape();
      }
    });
    EXPECT_EQ(result, c.answer == IDYES ? IDOK : IDCANCEL);
    EXPECT_EQ(Globals->CurrentProgramId, c.answer == IDYES ? 40 : 0);
  }
  EXPECT_STREQ(Globals->CurrentProgramDesc.c_str(), "PRG40");
  EXPECT_EQ(PeerRows(DbPath("KELVFILE.DBF"), "NCID CHAR3"), std::vector<std::string>{"NCID=40 CHAR3="});
  EXPECT_TRUE(LogTexts().empty());
}

TEST_F(SaveProgTest, ProgramIdsWithQuotesAreCheckedAndStoredAsTyped) {
  for (const char* typed : {"O'BRIEN", "SAY \"HI\" O'K", "[A] 'B'"}) {
    SCOPED_TRACE(typed);
    ASSERT_EQ(Run([&](Pilot& p, TSaveProg&) {
                p.set_text(IDC_SAVE_PROGRAM_ID, typed);
                p.click(IDOK);
              }),
              IDOK);
    // The same again finds the first one.
    ASSERT_EQ(Run([&](Pilot& p, TSaveProg&) {
                p.set_text(IDC_SAVE_PROGRAM_ID, typed);
                driver.expect_message_box(IDYES, "exists already");
                p.click(IDOK);
              }),
              IDOK);
  }
  EXPECT_EQ(PeerRows(DbPath("KELVFILE.DBF"), "DESC"),
            (std::vector<std::string>{"DESC=O'BRIEN", "DESC=SAY \"HI\" O'K", "DESC=[A] 'B'"}));
  // All three delimiters at once cannot stand in a filter: refused, nothing filed.
  Run([&](Pilot& p, TSaveProg&) {
    p.set_text(IDC_SAVE_PROGRAM_ID, "'\"[");
    driver.expect_message_box(IDOK);
    p.click(IDOK);
    p.press_escape();
  });
  EXPECT_EQ(PeerRows(DbPath("KELVFILE.DBF"), "DESC").size(), 3u);
}

TEST_F(SaveProgTest, ACustomerAndProjectCountOnlyWhileTheirListsAreShown) {
  long acme, bolt;
  {
    TcbAdvCustTable c("KELVCUS2.DBF", 0, 0);
    acme = c.Add("ACME");
    bolt = c.Add("BOLT WORKS");
  }
  long gear;
  {
    TcbProTable p("KELVPRO.DBF", 0, 0);
    std::unique_ptr<TcbProRecord> r(p.Add("GEARBOX", acme));
    ASSERT_NE(r, nullptr);
    gear = r->ID;
  }
  // Untouched: the preselected customer is not stored.
  ASSERT_EQ(Run([&](Pilot& p, TSaveProg& d) {
              EXPECT_TRUE(p.visible(IDC_SAVE_PROGRAM_CUSTOMER_BOX));
              EXPECT_FALSE(p.visible(IDC_SAVE_PROGRAM_CUSTOMER));
              EXPECT_EQ(d.CustomerId, acme);
              p.set_text(IDC_SAVE_PROGRAM_ID, "A");
              p.click(IDOK);
            }),
            IDOK);
  ASSERT_EQ(Run([&](Pilot& p, TSaveProg& d) {
              p.click(IDC_SAVE_PROGRAM_CUSTOMER_BOX);
              EXPECT_TRUE(p.visible(IDC_SAVE_PROGRAM_CUSTOMER));
              EXPECT_TRUE(p.visible(IDC_SAVE_PROGRAM_PROJECT_BOX));
              EXPECT_FALSE(p.visible(IDC_SAVE_PROGRAM_PROJECT));
              p.click(IDC_SAVE_PROGRAM_PROJECT_BOX);
              EXPECT_TRUE(p.visible(IDC_SAVE_PROGRAM_PROJECT));
              EXPECT_EQ(d.ProjectId, gear);
              p.set_text(IDC_SAVE_PROGRAM_ID, "B");
              p.click(IDOK);
            }),
            IDOK);
  // A customer without projects hides the project box.
  ASSERT_EQ(Run([&](Pilot& p, TSaveProg& d) {
              p.click(IDC_SAVE_PROGRAM_CUSTOMER_BOX);
              p.select(IDC_SAVE_PROGRAM_CUSTOMER, 1);
              EXPECT_EQ(d.CustomerId, bolt);
              EXPECT_FALSE(p.visible(IDC_SAVE_PROGRAM_PROJECT_BOX));
              EXPECT_EQ(d.ProjectId, 0);
              p.set_text(IDC_SAVE_PROGRAM_ID, "C");
              p.click(IDOK);
            }),
            IDOK);
  EXPECT_EQ(PeerRows(DbPath("KELVFILE.DBF"), "DESC CUST PROJECT"),
            (std::vector<std::string>{"DESC=A CUST=0 PROJECT=0",
                                      "DESC=B CUST=" + std::to_string(acme) + " PROJECT=" + std::to_string(gear),
                                      "DESC=C CUST=" + std::to_string(bolt) + " PROJECT=0"}));
}

TEST_F(SaveProgTest, RefusalsFileNothingAndLogNothing) {
  // An unknown machine asks first; No files nothing and draws no id.
  long before = NextProgramId();
  Globals->EditMachineId = 99;
  driver.expect_dialog(IDD_SAVE_PROGRAM, [&](TDialog& d) {
    Pilot p(d);
    p.set_text(IDC_SAVE_PROGRAM_ID, "X");
    driver.expect_message_box(IDNO, "not in the database");
    p.click(IDOK);
    p.press_escape();
  });
  EXPECT_EQ(TSaveProg(nullptr).Execute(), IDCANCEL);
  EXPECT_EQ(NextProgramId(), before + 1);
  // An append the table refuses (the index file gone) says so.
  std::filesystem::remove(DbPath("KELVFILE.DBF"));
  std::filesystem::remove(DbPath("KELVFILE.MDX"));
  int result = Run([&](Pilot& p, TSaveProg&) {
    p.set_text(IDC_SAVE_PROGRAM_ID, "Y");
    driver.expect_message_box(IDOK, "could not be filed");
    p.click(IDOK);
    p.press_escape();
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_TRUE(LogTexts().empty());
  code_error_set(DbContext, 0);
}

}  // namespace
