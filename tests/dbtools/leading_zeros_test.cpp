// Add leading zeros: only a DESC of digits alone, of the chosen machine,
// changes; a padded value that another program of the machine has or gets
// leaves both as they are and lists them.
#include <gtest/gtest.h>

#include "dbtools/maintenance.h"
#include "resources/dialogs/maintenance.h"
#include "tests/dbtools/import_fixture.h"

namespace {

TEST(PaddedDesc, ChangesOnlyDigitsAlone) {
  const std::pair<const char*, const char*> cases[] = {
      {"42", "00042"}, {"00042", nullptr}, {"042", "00042"}, {"123456", nullptr}, {"0123456", "123456"},
      {"12-A", nullptr}, {"ABC", nullptr}, {"-5", nullptr},   {"0", nullptr},       {"000", nullptr},
      {"", nullptr},     {" 42", nullptr}, {"4 2", nullptr},  {"99999999999999999999999", nullptr},
  };
  for (const auto& [desc, expected] : cases) {
    auto got = PaddedDesc(desc, 5);
    if (expected) {
      EXPECT_EQ(got.value_or("(none)"), expected) << desc;
    } else {
      EXPECT_FALSE(got) << desc << " -> " << *got;
    }
  }
}

TEST(RefusedDescs, KeepsIdsThatWouldMeet) {
  using Set = std::set<std::string>;
  EXPECT_EQ(RefusedDescs({"42", "12-A", "ABC", "0"}, 5), Set{});
  EXPECT_EQ(RefusedDescs({"42", "042"}, 5), (Set{"042", "42"}));
  EXPECT_EQ(RefusedDescs({"42", "00042"}, 5), Set{"42"});
  EXPECT_EQ(RefusedDescs({"42", "0042", "7"}, 3), (Set{"0042", "42"}));
}

class LeadingZerosTest : public kvimport::ImportTest {
 protected:
  void SetUp() override {
    ImportTest::SetUp();
    RegisterMaintenanceCommands();
    CreateTable<TcbFileTable>("KELVLOCK.DBF");
    struct Row {
      const char* desc;
      long machine;
    };
    const Row rows[] = {{"42", mill}, {"12-A", mill}, {"ABC", mill}, {"0", mill},
                        {"7", mill},  {"0007", mill}, {"42", lathe}};
    long id = 0;
    for (const auto& row : rows) {
      ++id;
      AddProgram("KELVFILE.DBF", id, id, "%\r\n");
      AddProgram("KELVBACK.DBF", id, id, "%\r\n");
      for (const char* table : {"KELVFILE.DBF", "KELVBACK.DBF"}) {
        TcbFileTable t(table, 0, 0);
        TcbFileRecord* r = t.FindById(id);
        ASSERT_NE(r, nullptr);
        CopyCut(r->DESC, sizeof r->DESC, row.desc);
        r->MID = row.machine;
        ASSERT_EQ(t.Update(r), 1);
        delete r;
      }
    }
    plat::clear_message_box_log();
  }
  void TearDown() override {
    RegisterFrameCommand(kCmAddLeadingZeros, nullptr);
    ImportTest::TearDown();
  }
  std::vector<std::string> Descs(const std::string& table) {
    std::vector<std::string> out;
    for (const auto& row : PeerTable(DbPath(table))) out.push_back(row["DESC"]);
    return out;
  }
  void ChooseWidth(int width) {
    driver.expect_dialog(IDD_ADD_LEADING_ZEROS, [width](TDialog& d) {
      plat::Pilot p(d);
      auto lines = p.lines(IDC_LEADING_ZEROS_LIST);
      EXPECT_EQ(lines.size(), 16u);
      EXPECT_EQ(lines[0], "( 1) - 1");
      EXPECT_EQ(lines[15], "(16) - 0000000000000001");
      p.select(IDC_LEADING_ZEROS_LIST, width - 1);
      p.click(IDOK);
    });
  }
};

TEST_F(LeadingZerosTest, PadsTheChosenMachinesDigitIdsAndListsThoseThatWouldMeet) {
  ChooseWidth(5);
  ExpectMachine("MILL1");
  driver.expect_message_box(IDOK);
  Run(kCmAddLeadingZeros);
  const std::vector<std::string> expected = {"00042", "12-A", "ABC", "0", "7", "0007", "42"};
  EXPECT_EQ(Descs("KELVFILE.DBF"), expected);
  EXPECT_EQ(Descs("KELVBACK.DBF"), expected);
  for (const char* table : {"KELVFILE.DBF", "KELVBACK.DBF"}) {
    std::vector<std::string> xbase;
    for (const auto& row : XBaseTable(DbPath(table)))
      if (!row.deleted) xbase.push_back(row["DESC"]);
    EXPECT_EQ(xbase, expected) << table << ", as Perl's XBase reads it";
  }
  auto boxes = driver.message_boxes();
  ASSERT_EQ(boxes.size(), 1u);
  const std::string& text = boxes[0].text;
  std::size_t listed = text.find(Globals->GetMessageText(kMsgLeadingZerosRefusedHeading));
  ASSERT_NE(listed, std::string::npos) << text;
  EXPECT_EQ(text.substr(listed + Globals->GetMessageText(kMsgLeadingZerosRefusedHeading).size()),
            "\r\n0007\r\n7");
  // The program files keep their names.
  auto rows = PeerTable(DbPath("KELVFILE.DBF"));
  EXPECT_EQ(rows[0]["NAME"], "P1");
}

TEST_F(LeadingZerosTest, TheOneDigitLineOrACancelChangesNothing) {
  driver.expect_dialog(IDD_ADD_LEADING_ZEROS, [](TDialog& d) {
    plat::Pilot p(d);
    p.select(IDC_LEADING_ZEROS_LIST, 0);
    p.click(IDOK);  // stays open
    p.click(IDCANCEL);
  });
  Run(kCmAddLeadingZeros);
  ChooseWidth(5);
  ExpectCancel(IDD_SELECT_MACHINE);
  Run(kCmAddLeadingZeros);
  EXPECT_EQ(Descs("KELVFILE.DBF")[0], "42");
  EXPECT_TRUE(driver.message_boxes().empty());
}

}  // namespace
