// Name program files by program id: files move to their DESC (cut to 8),
// and every row that cannot (a name taken, a DESC that is no file name, a
// missing file, a row an editor of another process holds) stays with its
// file and is listed. Afterwards every live row's NAME names a file there.
#include <gtest/gtest.h>

#include "appcore/log_text.h"
#include "dbtools/maintenance.h"
#include "tests/dbtools/import_fixture.h"
#include "tests/dbtools/lock_holder.h"

namespace {

TEST(NameRefusal, RefusesWhatCannotBeAFileName) {
  for (const char* ok : {"4711", "FLANGEPLATE", "A B", "X.Y", "-5"}) EXPECT_EQ(NameRefusal(ok), 0) << ok;
  for (const char* bad : {"", "..\\X", "..", "A/B", "A\\B", "C:X", "A*", "A?", "A\tB", "A\x7f"})
    EXPECT_NE(NameRefusal(bad), 0) << bad;
}

class NameByIdTest : public kvimport::ImportTest {
 protected:
  void SetUp() override {
    ImportTest::SetUp();
    RegisterMaintenanceCommands();
    const char* descs[] = {"4711", "FLANGEPLATE", "FLANGEPLUG", "..\\X", "MISSING", "HELD", "P7", "DEL", "SHAFT   X"};
    long id = 0;
    for (const char* desc : descs) {
      ++id;
      AddProgram("KELVFILE.DBF", id, id, "%\r\nN" + std::to_string(id) + "\r\n");
      TcbFileTable t("KELVFILE.DBF", 0, 0);
      TcbFileRecord* r = t.FindById(id);
      ASSERT_NE(r, nullptr);
      CopyCut(r->DESC, sizeof r->DESC, desc);
      ASSERT_EQ(t.Update(r), 1);
      delete r;
    }
    std::filesystem::remove(MachPath("P5.NC"));
    // Row 9's DESC cut to 8 ends in blanks: its file is named without them.
    TcbFileTable t("KELVFILE.DBF", 0, 0);
    delete t.DeleteById(8);
  }
  void TearDown() override {
    RegisterFrameCommand(kCmNameFilesByProgramId, nullptr);
    ImportTest::TearDown();
  }
};

TEST_F(NameByIdTest, EveryNameStillNamesItsFile) {
  // An editor of another process holds the row of program 6 (record 6).
  kvimport::LockHolder editor(DbPath("KELVFILE.DBF"), Root() + "/release", std::to_string(1999999999L - 6) + " 1");
  ASSERT_TRUE(editor.Held());
  driver.expect_message_box(IDOK, FormatLogValues(Globals->GetMessageText(kMsgNameByIdSummary), {"3"}));
  Run(kCmNameFilesByProgramId);
  EXPECT_EQ(editor.Release(), 0);

  std::map<long, std::string> names;
  for (const auto& row : Programs()) {
    names[std::stol(row["NCID"])] = row["NAME"];
    if (row.deleted || std::stol(row["NCID"]) == 5) continue;
    EXPECT_TRUE(std::filesystem::exists(MachPath(row["NAME"] + ".NC"))) << row["NCID"] << " " << row["NAME"];
  }
  const std::map<long, std::string> expected = {{1, "4711"}, {2, "FLANGEPL"}, {3, "P3"}, {4, "P4"},
                                                {5, "P5"},   {6, "P6"},       {7, "P7"}, {-8, "P8"}, {9, "SHAFT"}};
  EXPECT_EQ(names, expected);
  EXPECT_EQ(kvtest::ScratchDir::read_file(MachPath("FLANGEPL.NC")), "%\r\nN2\r\n");
  EXPECT_FALSE(std::filesystem::exists(MachPath("P1.NC")));

  auto boxes = driver.message_boxes();
  ASSERT_EQ(boxes.size(), 1u);
  for (const char* listed : {"3 FLANGEPLUG", "4 ..\\X", "5 MISSING", "6 HELD"})
    EXPECT_NE(boxes[0].text.find(listed), std::string::npos) << listed << "\n" << boxes[0].text;
  EXPECT_EQ(boxes[0].text.find("7 P7"), std::string::npos);
}

}  // namespace
