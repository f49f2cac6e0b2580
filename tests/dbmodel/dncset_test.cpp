// DNC settings rows, the code-list parser and the picture table.
#include "db_fixture.h"
#include "dbmodel/dncset.h"
#include "layout_peer.h"

namespace {

using kvdb::DbTest;

class DncSetTest : public DbTest {
 protected:
  std::string Path() { return DbPath("TRAMOX01.DBF"); }
  void SetUp() override {
    DbTest::SetUp();
    CreateTable<TTramox01Table>("TRAMOX01.DBF");
  }
};

TEST_F(DncSetTest, RowsOfSixtyFourTexts) {
  std::vector<DbFieldInfo> layout = {{"ID", 'N', 10, 0}};
  std::vector<std::string> names;
  names.reserve(64);
  for (int i = 1; i <= 64; i++) {
    names.push_back(FormatText("C%02d", i));
    layout.push_back({names.back().c_str(), 'C', 60, 0});
  }
  EXPECT_EQ(kvdb::PeerLayout(Root(), Path()), kvdb::LayoutText(layout, 0));

  TTramox01Table t("TRAMOX01.DBF", 0, 0);
  EXPECT_EQ(t.FindById(7), nullptr);
  EXPECT_NE(t.Data(), nullptr);  // a miss leaves the file open too
  t.Close();
  TTramox01Record r;
  r.ID = 7;
  // Update of a missing id writes nothing.
  std::string before = kvdb::ReadFileBytes(Path());
  EXPECT_EQ(t.Update(&r), 0);
  t.Close();
  EXPECT_EQ(kvdb::ReadFileBytes(Path()), before);

  ASSERT_EQ(t.Append(&r), 1);
  std::unique_ptr<TTramox01Record> found(t.FindById(7));
  ASSERT_NE(found, nullptr);
  t.Close();
  std::string sixty(60, '9');
  CopyCut(found->text[63], TTramox01Record::kTextSize, sixty.c_str());
  CopyCut(found->text[0], TTramox01Record::kTextSize, "13,10");
  ASSERT_EQ(t.Update(found.get()), 1);
  std::unique_ptr<TTramox01Record> back(t.FindById(7));
  t.Close();
  EXPECT_EQ(back->text[63], sixty);
  EXPECT_STREQ(back->text[0], "13,10");
  EXPECT_STREQ(back->text[1], "");
}

TEST_F(DncSetTest, ParsesCodeLists) {
  struct {
    const char* text;
    std::string codes;
  } cases[] = {{"65,66,67,", "ABC"}, {",,65", "A"}, {"", ""}, {"32", " "}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    char dest[64] = "junk";
    int count = -1;
    ParseCodeList(dest, c.text, &count);
    EXPECT_EQ(count, static_cast<int>(c.codes.size()));
    if (*c.text) {
      EXPECT_EQ(std::string(dest), c.codes);
    }
  }
  std::string seventy;
  for (int i = 0; i < 70; i++) seventy += "66,";
  char dest[64];
  int count = 0;
  ParseCodeList(dest, seventy.c_str(), &count);
  EXPECT_EQ(count, 59);
  EXPECT_EQ(std::string(dest), std::string(59, 'B'));
}

TEST_F(DncSetTest, PicturesOfAProgram) {
  TPictureTable p("PT000001.DBF", 0, 0);
  ASSERT_EQ(p.CreateTable(DbPath("PT000001.DBF").c_str()), 1);
  EXPECT_EQ(kvdb::PeerLayout(Root(), DbPath("PT000001.DBF")),
            kvdb::LayoutText({{"PROG", 'N', 10, 0}, {"DESCRIPT", 'C', 30, 0},
                              {"FILENAME", 'C', 250, 0}, {"MEMO", 'M', 10, 0}},
                             0));
  MakeFile("PT000001.DBF",
           {{"PROG", 'N', 10, 0}, {"DESCRIPT", 'C', 30, 0}, {"FILENAME", 'C', 250, 0},
            {"MEMO", 'M', 10, 0}},
           {{"5", "front", "a.bmp", "m"}, {"6", "other", "b.bmp", ""}, {"5", "side", "c.bmp", ""}});
  std::string before = kvdb::ReadFileBytes(DbPath("PT000001.DBF"));
  EXPECT_EQ(p.DeleteProgramPictures(9), 1);
  EXPECT_EQ(kvdb::ReadFileBytes(DbPath("PT000001.DBF")), before);
  EXPECT_EQ(p.DeleteProgramPictures(0), 0);
  EXPECT_EQ(p.DeleteProgramPictures(5), 1);
  auto rows = Rows(DbPath("PT000001.DBF"));
  EXPECT_EQ(rows[0][0], "*");
  EXPECT_EQ(rows[1][0], " ");
  EXPECT_EQ(rows[2][0], "*");
  EXPECT_EQ(p.LoadAll(), nullptr);  // no record class: nothing is read
}

}  // namespace
