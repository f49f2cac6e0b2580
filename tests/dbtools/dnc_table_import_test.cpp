// The import of another DNC system's program table, written by python3-dbf:
// the progress the status window shows, the memo question, the rows read
// back by python3-dbfread and the files compared with cmp.
#include <cstdio>
#include <filesystem>

#include "tests/dbtools/import_fixture.h"

namespace {

namespace fs = std::filesystem;
using kvimport::ImportTest;
using kvimport::PeerRow;
using kvimport::StatusTexts;

std::string Json(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
      continue;
    }
    if (c == '"' || c == '\\') out += '\\';
    out += static_cast<char>(c);
  }
  return out + "\"";
}

class DncTableImportTest : public ImportTest {
 protected:
  // Writes DNC/<name> with python3-dbf; each row is its field texts.
  void MakeTable(const std::string& name, const std::string& fields,
                 const std::vector<std::vector<std::string>>& rows, const std::vector<int>& deleted = {}) {
    std::string spec = "{\"fields\": " + Json(fields) + ", \"rows\": [";
    for (std::size_t r = 0; r < rows.size(); ++r) {
      spec += r ? ", [" : "[";
      for (std::size_t i = 0; i < rows[r].size(); ++i) spec += (i ? ", " : "") + Json(rows[r][i]);
      spec += "]";
    }
    spec += "], \"deleted\": [";
    for (std::size_t i = 0; i < deleted.size(); ++i) spec += (i ? ", " : "") + std::to_string(deleted[i]);
    spec += "]}";
    fs::create_directories(Native("DNC"));
    Write("spec.json", spec);
    int status = 0;
    std::string out = kvtest::run_command("/usr/bin/python3 " KV_SOURCE_DIR "/tests/dbtools/peers/dnc_table_write.py '" +
                                               Native("DNC/" + name) + "' '" + Native("spec.json") + "' 2>&1",
                                           &status);
    ASSERT_EQ(status, 0) << out;
  }
  // Runs the table import over DNC/<name> on MILL1, answering the memo
  // question (and expecting a summary holding `summary`, when given); the
  // status texts shown.
  std::vector<std::string> Import(const std::string& name, int memoAnswer, const std::string& summary = "") {
    StatusTexts status(*frame);
    driver.expect_message_box(memoAnswer, "Import with memos ?");
    if (!summary.empty()) driver.expect_message_box(IDOK, summary);
    ExpectMachine("MILL1");
    ExpectFile("K:\\DNC\\" + name);
    Run(kCmImportDncDatabase);
    return status.Texts();
  }

  static constexpr const char* kLayout = "NAME C(50); TEXT C(60); PART C(30); DRAW C(30); NOTE M";
};

// Ten rows, the third and the seventh deleted; some with memos.
TEST_F(DncTableImportTest, LiveRowsBecomeProgramsEachWithItsOwnMemo) {
  std::vector<std::vector<std::string>> rows;
  for (int i = 1; i <= 10; ++i) {
    std::string memo = i % 3 == 1 ? "memo of row " + std::to_string(i) + "\r\nsecond line" : "";
    rows.push_back({"PRG" + std::to_string(i), "text " + std::to_string(i), "  PART-" + std::to_string(i),
                    "DRW-" + std::to_string(i), memo});
    Write("DNC/PRG" + std::to_string(i) + ".NC", "N" + std::to_string(i) + " G1\r\n");
  }
  MakeTable("OTHER.DBF", kLayout, rows, {3, 7});
  auto texts = Import("OTHER.DBF", IDYES);
  std::vector<std::string> expected;
  for (int i : {1, 2, 4, 5, 6, 8, 9, 10})
    expected.push_back("Importing (" + std::to_string(i) + "/10) : PRG" + std::to_string(i));
  EXPECT_EQ(texts, expected);
  auto programs = Programs();
  ASSERT_EQ(programs.size(), 8u);
  std::size_t k = 0;
  for (int i : {1, 2, 4, 5, 6, 8, 9, 10}) {
    SCOPED_TRACE(i);
    const PeerRow& r = programs[k++];
    const std::string n = std::to_string(i);
    EXPECT_EQ(r["DESC"], "PRG" + n);
    EXPECT_EQ(r["CHAR3"], "text " + n);
    EXPECT_EQ(r["PART"], "PART-" + n);
    EXPECT_EQ(r["DRAW"], "DRW-" + n);
    EXPECT_EQ(r["MEMOSTR"], i % 3 == 1 ? "memo of row " + n + "\r\nsecond line" : "");
    EXPECT_EQ(r["NAME"], "P" + r["NCID"]);
    EXPECT_EQ(r["LONG1"], r["NCID"]);
    EXPECT_EQ(r["EXT"] + r["LOCK"] + r["MAZAK"] + r["PROG"] + r["CUST"] + r["PROJECT"], "NCTF-100");
    EXPECT_EQ(r["DIR"] + r["MACHINE"], "K:\\MILL1\\MILL1");
    EXPECT_TRUE(SameFile(Native("DNC/PRG" + n + ".NC"), Native("MILL1/P" + r["NCID"] + ".NC")));
  }
  EXPECT_TRUE(driver.message_boxes().size() == 1);  // the question alone

  // No: every program without a memo.
  Import("OTHER.DBF", IDNO);
  programs = Programs();
  ASSERT_EQ(programs.size(), 16u);
  for (std::size_t i = 8; i < 16; ++i) EXPECT_EQ(programs[i]["MEMOSTR"], "") << i;
}

TEST_F(DncTableImportTest, NamesThatAreBlankMissingLongOrLeadingOutAreNotFiled) {
  const std::string longName(45, 'L');
  Write("DNC/" + longName + ".NC", "LONG\r\n");
  Write("x.NC", "OUTSIDE\r\n");
  Write("DNC/OK.NC", "OK\r\n");
  MakeTable("OTHER.DBF", kLayout,
            {{longName, "", "", "", "long memo"},
             {"", "blank", "", "", "blank memo"},
             {"MISSING", "", "", "", ""},
             {"..\\x", "", "", "", ""},
             {"../x", "", "", "", ""},
             {"OK", "", "", "", ""}});
  long next = PeekProgramId();
  auto texts = Import("OTHER.DBF", IDYES, "Failed: 1");
  EXPECT_EQ(texts, (std::vector<std::string>{"Importing (1/6) : " + longName, "Importing (3/6) : MISSING",
                                             "Importing (6/6) : OK"}));
  auto programs = Programs();
  ASSERT_EQ(programs.size(), 2u);
  EXPECT_EQ(programs[0]["DESC"], longName.substr(0, 40));
  EXPECT_EQ(programs[0]["MEMOSTR"], "long memo");
  EXPECT_EQ(programs[0]["NCID"], std::to_string(next));
  // The missing file used up its id; the blank row and the names that
  // lead out of the table's directory drew none.
  EXPECT_EQ(programs[1]["NCID"], std::to_string(next + 2));
  EXPECT_EQ(programs[1]["MEMOSTR"], "");
  EXPECT_EQ(kvdb::ReadFileBytes(Native("MILL1/P" + std::to_string(next) + ".NC")), "LONG\r\n");
  EXPECT_EQ(Names("MILL1").size(), 2u);
  std::string summary = driver.message_boxes().back().text;
  EXPECT_NE(summary.find("Imported: 2\r\nSkipped: 3\r\nFailed: 1"), std::string::npos) << summary;
  for (const char* listed : {"MISSING: file not found", "..\\x: ", "../x: "})
    EXPECT_NE(summary.find(listed), std::string::npos) << listed;
}

TEST_F(DncTableImportTest, ATableOfAnotherLayoutIsRefusedBeforeAnIdIsDrawn) {
  MakeTable("NUMBERS.DBF", "NAME C(20); QTY N(8,0); PART C(10); DRAW C(10)", {{"A", "1", "", ""}});
  MakeTable("NOMEMO.DBF", "NAME C(20); TEXT C(10); PART C(10); DRAW C(10)", {{"A", "", "", ""}});
  Write("DNC/A.NC", "A\r\n");
  Write("DNC/NOTDBF.DBF", "this is no table");
  long next = PeekProgramId();
  driver.expect_message_box(IDOK, "cannot be imported");
  ExpectMachine("MILL1");
  ExpectFile("K:\\DNC\\NUMBERS.DBF");
  Run(kCmImportDncDatabase);
  // No memo field 5: refused when memos are asked for, taken without.
  driver.expect_message_box(IDYES, "Import with memos ?");
  driver.expect_message_box(IDOK, "memo");
  ExpectMachine("MILL1");
  ExpectFile("K:\\DNC\\NOMEMO.DBF");
  Run(kCmImportDncDatabase);
  EXPECT_TRUE(Programs().empty());
  EXPECT_EQ(PeekProgramId(), next + 1);
  // A file that is no table: the engine says so.
  driver.expect_message_box(IDOK, "Error #");
  ExpectMachine("MILL1");
  ExpectFile("K:\\DNC\\NOTDBF.DBF");
  Run(kCmImportDncDatabase);
  Import("NOMEMO.DBF", IDNO);
  EXPECT_EQ(Programs().size(), 1u);
}

// The window's messages run between rows; the import command among them
// does not start a second run.
TEST_F(DncTableImportTest, NoSecondImportStartsWhileOneRuns) {
  MakeTable("OTHER.DBF", kLayout, {{"A", "", "", "", ""}, {"B", "", "", "", ""}});
  Write("DNC/A.NC", "A\r\n");
  Write("DNC/B.NC", "B\r\n");
  StatusTexts status(*frame);
  status.OnText = [this](const std::string&) {
    frame->PostMessage(WM_COMMAND, kCmImportDncDatabase);
    frame->PostMessage(WM_COMMAND, kCmImportToMachine);
  };
  driver.expect_message_box(IDNO, "Import with memos ?");
  ExpectMachine("MILL1");
  ExpectFile("K:\\DNC\\OTHER.DBF");
  Run(kCmImportDncDatabase);
  EXPECT_EQ(status.Texts().size(), 2u);
  EXPECT_EQ(Programs().size(), 2u);
  EXPECT_EQ(driver.dialogs_shown().size(), 2u);  // the machine and the file
}

}  // namespace
