// The version-log entry dialog: the entry row, its stored copy and copy
// row, the transfer count, and what happens when the copy or the entry
// cannot be written.
#include <regex>

#include "resources/dialogs/logs.h"
#include "storage/add_to_log.h"
#include "tests/storage/log_fixture.h"

namespace {

using kvlogs::LogTest;
using plat::Pilot;

const char* kFields = "ID TYPE PROGRAM REVISION TEXT MEMO REASON01 REASON02 REASON03 USERNAME SEND";

class AddToLogTest : public LogTest {
 protected:
  void SetUp() override {
    LogTest::SetUp();
    type = AddType("REWORK");
    other = AddType("SETUP");
    reason = AddCriterion(type, "COLLISION");
    reason2 = AddCriterion(type, "FEED");
  }
  // Runs the dialog for the record; the answer picks type and reasons.
  int Run(TcbFileRecord& record, const std::function<void(Pilot&, TAddToLog&)>& answer,
          const char* indexFile = "KELVFILE.DBF") {
    driver.expect_dialog(IDD_ADD_TO_LOG, [&](TDialog& d) {
      Pilot p(d);
      answer(p, static_cast<TAddToLog&>(d));
    });
    TAddToLog dlg(nullptr, &record, indexFile);
    return dlg.Execute();
  }
  // Main type REWORK (the empty line sorts first) and the first reason.
  static void PickReworkAndReason(Pilot& p) {
    p.select(IDC_LOG_ENTRY_MAIN_TYPE, 1);
    p.select(IDC_LOG_ENTRY_REASON1, 1);
  }

  plat::GTestUiDriver driver;
  long type = 0, other = 0, reason = 0, reason2 = 0;
};

TEST_F(AddToLogTest, AnEntryKeepsAByteEqualCopyAndResetsTheTransferCount) {
  const std::string text = "%\r\nO1000\r\nG0 X0 Y0\r\n\x1a";
  AddProgram("KELVFILE.DBF", 40, 12, text, 5);
  TcbFileRecord record;
  FillProgram(record, 40, 12, 5);
  int result = Run(record, [&](Pilot& p, TAddToLog& d) {
    EXPECT_EQ(d.GetCaption(), std::string("Add to / Review program log"));
    EXPECT_FALSE(p.visible(IDC_LOG_ENTRY_ADD));
    EXPECT_EQ(p.lines(IDC_LOG_ENTRY_MAIN_TYPE).size(), 3u);
    EXPECT_EQ(p.selection(IDC_LOG_ENTRY_MAIN_TYPE), 0);
    EXPECT_EQ(p.lines(IDC_LOG_ENTRY_REASON1), std::vector<std::string>{""});
    // The date, time and user the entry will carry, shown before it is made.
    EXPECT_TRUE(std::regex_match(p.text(IDC_LOG_ENTRY_DATE), std::regex("\\d\\d/\\d\\d-\\d{4}"))) << p.text(IDC_LOG_ENTRY_DATE);
    EXPECT_TRUE(std::regex_match(p.text(IDC_LOG_ENTRY_TIME), std::regex("\\d\\d:\\d\\d"))) << p.text(IDC_LOG_ENTRY_TIME);
    EXPECT_EQ(p.text(IDC_LOG_ENTRY_USER), "Ada Lovelace");
    PickReworkAndReason(p);
    p.select(IDC_LOG_ENTRY_REASON3, 2);
    EXPECT_EQ(p.lines(IDC_LOG_ENTRY_REASON2).size(), 3u);
    EXPECT_EQ(d.ReasonIds[0], reason);
    EXPECT_EQ(d.ReasonIds[2], reason2);
    p.set_text(IDC_LOG_ENTRY_NOTE, "A note nobody typed");  // not modified by the user: not stored
    driver.expect_message_box(IDYES, "Add this entry");
    EXPECT_TRUE(p.click(IDOK));
  });
  EXPECT_EQ(result, IDOK);
  // The copy id is the first draw of its counter (2 in a fresh file).
  const long copy = 3;
  EXPECT_TRUE(SameFile(MachPath("P40.NC"), BackupPath("L3.LOG")));
  std::vector<std::string> entries = PeerRows(DbPath("LOG00002.DBF"), kFields);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_TRUE(std::regex_match(entries[0],
                               std::regex("ID=\\d+ TYPE=" + std::to_string(type) + " PROGRAM=12 REVISION=" +
                                          std::to_string(copy) + " TEXT=REWORK MEMO=None REASON01=" +
                                          std::to_string(reason) + " REASON02=0 REASON03=" + std::to_string(reason2) +
                                          " USERNAME=Ada Lovelace SEND=5")))
      << entries[0];
  std::vector<std::string> time = PeerRows(DbPath("LOG00002.DBF"), "TIME");
  EXPECT_TRUE(std::regex_match(time[0], std::regex("TIME=\\d\\d:\\d\\d"))) << time[0];
  EXPECT_EQ(PeerRows(DbPath("LOG00003.DBF"), "NCID DESC DIR NAME EXT MID LONG1 SENT"),
            std::vector<std::string>{"NCID=3 DESC=PRG40 DIR=" + Root() + "/backup\\ NAME=L3 EXT=LOG MID=7 LONG1=12 SENT=5"});
  EXPECT_EQ(PeerRows(DbPath("KELVFILE.DBF"), "NCID SENT"), std::vector<std::string>{"NCID=40 SENT=0"});
  // The opener's record is as it was, its count matching the stored row.
  EXPECT_EQ(record.NCID, 40);
  EXPECT_EQ(std::string(record.NAME), "P40");
  EXPECT_EQ(std::string(record.EXT), "NC");
  EXPECT_EQ(std::string(record.DIR), Root() + "/mach\\");
  EXPECT_EQ(record.SENT, 0);
}

TEST_F(AddToLogTest, TypedTextsAreStoredAndEmptyTypedTextFallsBackToTheTypeName) {
  AddProgram("KELVFILE.DBF", 41, 41, "O1\r\n");
  TcbFileRecord record;
  FillProgram(record, 41, 41);
  struct Case {
    std::string event, note, text, memo;
  } cases[] = {
      {"chamfer fixed", "Line one, line two", "CHAMFER FIXED", "Line one, line two"},
      {"", "", "REWORK", ""},
  };
  for (const Case& c : cases) {
    Run(record, [&](Pilot& p, TAddToLog&) {
      PickReworkAndReason(p);
      if (!c.event.empty()) {
        p.type(IDC_LOG_ENTRY_EVENT, c.event);
      } else {
        // Typed and taken back again: modified, but empty.
        auto* e = static_cast<TEdit*>(p.control(IDC_LOG_ENTRY_EVENT));
        e->SetWindowText("");
        e->SendMessage(EM_SETMODIFY, TRUE);
      }
      if (!c.note.empty()) p.type(IDC_LOG_ENTRY_NOTE, c.note);
      driver.expect_message_box(IDYES);
      p.click(IDOK);
    });
  }
  std::vector<std::string> rows = PeerRows(DbPath("LOG00002.DBF"), "TEXT MEMO");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], "TEXT=" + cases[0].text + " MEMO=" + cases[0].memo);
  EXPECT_EQ(rows[1], "TEXT=REWORK MEMO=None");
}

TEST_F(AddToLogTest, WithoutAReasonOrWithoutConsentNothingIsWritten) {
  AddProgram("KELVFILE.DBF", 42, 42, "O2\r\n", 3);
  TcbFileRecord record;
  FillProgram(record, 42, 42, 3);
  int result = Run(record, [&](Pilot& p, TAddToLog& d) {
    driver.expect_message_box(IDOK, "at least one reason");
    p.click(IDOK);
    // Reasons chosen, then another main type: they are gone.
    PickReworkAndReason(p);
    p.select(IDC_LOG_ENTRY_MAIN_TYPE, 2);
    EXPECT_EQ(d.MainType, other);
    EXPECT_EQ(d.ReasonIds[0], 0);
    driver.expect_message_box(IDOK, "at least one reason");
    p.click(IDOK);
    // The empty main type empties the reasons.
    p.select(IDC_LOG_ENTRY_MAIN_TYPE, 0);
    EXPECT_TRUE(p.lines(IDC_LOG_ENTRY_REASON1).empty());
    PickReworkAndReason(p);
    driver.expect_message_box(IDNO, "Add this entry");
    p.click(IDOK);
    EXPECT_FALSE(d.HasEnded());
    p.click(IDCANCEL);
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_TRUE(PeerRows(DbPath("LOG00002.DBF")).empty());
  EXPECT_TRUE(PeerRows(DbPath("LOG00003.DBF")).empty());
  EXPECT_EQ(PeerRows(DbPath("KELVFILE.DBF"), "SENT"), std::vector<std::string>{"SENT=3"});
  EXPECT_TRUE(std::filesystem::is_empty(Root() + "/backup"));
}

TEST_F(AddToLogTest, ACopyThatCannotBeKeptIsToldAndTheEntryPointsAtNoCopy) {
  AddProgram("KELVFILE.DBF", 43, 43, "O3 NEW\r\n");
  // A file of the next copy's name is there already: it stays as it is.
  kvdb::WriteFileBytes(BackupPath("L3.LOG"), "OLD COPY");
  TcbFileRecord record;
  FillProgram(record, 43, 43);
  EXPECT_EQ(Run(record,
                [&](Pilot& p, TAddToLog&) {
                  PickReworkAndReason(p);
                  driver.expect_message_box(IDYES);
                  driver.expect_message_box(IDOK, "could not be kept as a stored copy (file exists)");
                  p.click(IDOK);
                }),
            IDOK);
  EXPECT_EQ(kvdb::ReadFileBytes(BackupPath("L3.LOG")), "OLD COPY");
  EXPECT_EQ(PeerRows(DbPath("LOG00002.DBF"), "REVISION"), std::vector<std::string>{"REVISION=0"});
  EXPECT_TRUE(PeerRows(DbPath("LOG00003.DBF")).empty());
}

TEST_F(AddToLogTest, AnEntryThatCannotBeWrittenTakesItsCopyBackAndStaysOpen) {
  AddProgram("KELVFILE.DBF", 44, 44, "O4\r\n", 2);
  std::filesystem::remove(DbPath("LOG00002.DBF"));
  TcbFileRecord record;
  FillProgram(record, 44, 44, 2);
  EXPECT_EQ(Run(record,
                [&](Pilot& p, TAddToLog& d) {
                  PickReworkAndReason(p);
                  driver.expect_message_box(IDYES);
                  driver.expect_message_box(IDOK, "could not be stored");
                  p.click(IDOK);
                  EXPECT_FALSE(d.HasEnded());
                  p.click(IDCANCEL);
                }),
            IDCANCEL);
  EXPECT_FALSE(std::filesystem::exists(BackupPath("L3.LOG")));
  EXPECT_EQ(PeerRows(DbPath("LOG00003.DBF"), "NCID"), std::vector<std::string>{"* NCID=-3"});
  EXPECT_EQ(PeerRows(DbPath("KELVFILE.DBF"), "SENT"), std::vector<std::string>{"SENT=2"});
}

TEST_F(AddToLogTest, ABackupResetsItsOwnCountNotThatOfAProgramWithTheSameNumber) {
  AddProgram("KELVFILE.DBF", 50, 50, "PROGRAM\r\n", 4);
  AddProgram("KELVBACK.DBF", 50, 9, "BACKUP\r\n", 6);
  TcbFileRecord backup;
  FillProgram(backup, 50, 9, 6);
  Run(
      backup,
      [&](Pilot& p, TAddToLog&) {
        PickReworkAndReason(p);
        driver.expect_message_box(IDYES);
        p.click(IDOK);
      },
      "KELVBACK.DBF");
  EXPECT_EQ(PeerRows(DbPath("KELVBACK.DBF"), "SENT"), std::vector<std::string>{"SENT=0"});
  EXPECT_EQ(PeerRows(DbPath("KELVFILE.DBF"), "SENT"), std::vector<std::string>{"SENT=4"});
  EXPECT_EQ(PeerRows(DbPath("LOG00002.DBF"), "PROGRAM SEND"), std::vector<std::string>{"PROGRAM=9 SEND=6"});
}

}  // namespace
