// Customers and projects: finds by id and company, the name freed by a
// delete, queries with quoted texts, list lines, memo and field widths.
#include <functional>
#include <memory>

#include "db_fixture.h"
#include "dbmodel/counter.h"
#include "dbmodel/customer.h"
#include "dbmodel/project.h"

namespace {

using kvdb::DbTest;
using kvdb::MemoryList;

class CustomerTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    MakeCounters();
    CreateTable<TcbAdvCustTable>("KELVCUS2.DBF");
    CreateTable<TcbProTable>("KELVPRO.DBF");
  }
  long Add(const char* company) {
    TcbAdvCustTable t("KELVCUS2.DBF", 0, 0);
    return t.Add(company);
  }
};

TEST_F(CustomerTest, AddFindAndName) {
  std::string forty(40, 'C'), fortyOne = forty + "X";
  struct Case {
    const char* stored;
    std::string sought;
    std::string name;  // as read back
  } cases[] = {
      {"  \tACME Tools", "ACME Tools", "ACME Tools"},  // leading blanks are not stored
      {forty.c_str(), forty, forty},
      {"Beta", "Beta", "Beta"},
  };
  for (const auto& c : cases) {
    long id = Add(c.stored);
    ASSERT_GT(id, 0) << c.stored;
    TcbAdvCustTable t("KELVCUS2.DBF", 0, 0);
    EXPECT_EQ(t.FindByCompanyText(c.sought.c_str()), id) << c.sought;
    std::unique_ptr<TcbAdvCustRecord> r(t.FindByCompany(c.sought.c_str()));
    ASSERT_NE(r, nullptr) << c.sought;
    EXPECT_EQ(r->ID, id);
    EXPECT_STREQ(r->COMPANY, c.name.c_str());
    EXPECT_NE(t.Data(), nullptr);  // left open for a change
    t.Close();
    std::unique_ptr<char[]> name(t.GetName(id));
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name.get(), c.name.c_str());
    EXPECT_EQ(t.Data(), nullptr);
  }
  TcbAdvCustTable t("KELVCUS2.DBF", 0, 0);
  // A 41-character name is cut to 40 for both finds.
  EXPECT_EQ(t.FindByCompanyText(fortyOne.c_str()), t.FindByCompanyText(forty.c_str()));
  std::unique_ptr<TcbAdvCustRecord> cut(t.FindByCompany(fortyOne.c_str()));
  t.Close();
  EXPECT_NE(cut, nullptr);
  EXPECT_EQ(t.GetName(999), nullptr);
  t.Close();
  EXPECT_EQ(t.FindById(0), nullptr);
  EXPECT_EQ(t.FindByCompanyText("ACME"), 0);  // whole name only
  EXPECT_EQ(t.FindByCompanyText(nullptr), 0);
  EXPECT_EQ(t.Add(nullptr), 0);
}

TEST_F(CustomerTest, DeletedCustomerFreesItsName) {
  long a = Add("Gamma");
  long b = Add("Delta");
  {
    TcbAdvCustTable t("KELVCUS2.DBF", 0, 0);
    EXPECT_EQ(t.DeleteById(a), 1);
    EXPECT_EQ(t.FindByCompanyText("Gamma"), 0);
    EXPECT_EQ(t.FindByCompany("Gamma"), nullptr);
    t.Close();
    // A row marked deleted without the rename does not block either.
    TcbAdvCustRecord r;
    r.ID = b;
    EXPECT_EQ(t.DeleteRecord(&r), 1);
    EXPECT_EQ(t.FindByCompanyText("Delta"), 0);
    EXPECT_EQ(t.FindByCompany("Delta"), nullptr);
    t.Close();
  }
  long again = Add("Gamma");
  EXPECT_GT(again, b);
  TcbAdvCustTable t("KELVCUS2.DBF", 0, 0);
  EXPECT_EQ(t.FindByCompanyText("Gamma"), again);
  MemoryList list;
  t.FillList(&list);
  ASSERT_EQ(list.lines.size(), 1u);  // deleted rows are never listed
  EXPECT_EQ(list.lines[0], "Gamma" + std::string(165, ' ') + "@@" + std::to_string(again));
  EXPECT_EQ(list.selected, 0);
}

TEST_F(CustomerTest, SearchesTakeAnyTextSafely) {
  TcbAdvCustRecord r;
  r.ID = 50;
  CopyCut(r.COMPANY, sizeof r.COMPANY, "O'Brien & Sons");
  CopyCut(r.PHONE1, sizeof r.PHONE1, "555-1234");
  CopyCut(r.USER2, sizeof r.USER2, "say \"hi\"");
  r.CITY = 7;
  r.LONG3 = -12;
  CopyCut(r.DIRECTORY, sizeof r.DIRECTORY, std::string(250, 'D').c_str());
  r.SetMemo("first line\r\nsecond line");
  TcbAdvCustTable t("KELVCUS2.DBF", 0, 0);
  ASSERT_EQ(t.AppendRecord(&r), &r);
  struct Case {
    std::function<TcbAdvCustRecord*(TcbAdvCustTable&)> run;
    bool hit;
  } cases[] = {
      {[](TcbAdvCustTable& x) { return x.SelectByCompany("O'Brien"); }, true},
      {[](TcbAdvCustTable& x) { return x.SelectByCompany("o'brien"); }, false},
      {[](TcbAdvCustTable& x) { return x.SelectByUser2("\"hi\""); }, true},
      {[](TcbAdvCustTable& x) { return x.SelectByPhone1("555-1234"); }, true},
      // dBASE "=" compares as far as the sought text goes.
      {[](TcbAdvCustTable& x) { return x.SelectByPhone1("555"); }, true},
      {[](TcbAdvCustTable& x) { return x.SelectByPhone1("555-9"); }, false},
      {[](TcbAdvCustTable& x) { return x.SelectByCity(7); }, true},
      {[](TcbAdvCustTable& x) { return x.SelectByCountry(7); }, false},
      {[](TcbAdvCustTable& x) { return x.SelectByAddr1("'\"[]"); }, false},  // refused, told
  };
  for (auto& c : cases) {
    TcbAdvCustTable q("KELVCUS2.DBF", 0, 0);
    TcbAdvCustRecord* head = c.run(q);
    EXPECT_EQ(head != nullptr, c.hit) << &c - cases;
    if (head) {
      EXPECT_EQ(head->ID, 50);
      EXPECT_EQ(head->LONG3, -12);
      EXPECT_EQ(std::string(head->DIRECTORY), std::string(250, 'D'));
      ASSERT_NE(head->memo, nullptr);
      EXPECT_STREQ(head->memo, "first line\r\nsecond line");
    }
    FreeRecordList(head);
  }
  EXPECT_EQ(plat::message_box_log().size(), 1u);
  // Update writes every field, Rename the company only.
  r.CATEGORY = 3;
  r.SetMemo(nullptr);
  EXPECT_EQ(t.Update(&r), 1);
  EXPECT_EQ(t.Rename(50, "New Name"), 1);
  EXPECT_EQ(t.Rename(51, "New Name"), 0);
  EXPECT_EQ(t.Rename(50, ""), 0);
  std::unique_ptr<TcbAdvCustRecord> back(t.FindById(50));
  t.Close();
  ASSERT_NE(back, nullptr);
  EXPECT_STREQ(back->COMPANY, "New Name");
  EXPECT_EQ(back->CATEGORY, 3);
  EXPECT_STREQ(back->memo, "");
  r.ID = 77;
  EXPECT_EQ(t.Update(&r), 0);
  TcbAdvCustRecord* all = t.ReadAll();
  ASSERT_NE(all, nullptr);
  EXPECT_EQ(all->next, nullptr);
}

TEST_F(CustomerTest, LayoutMatchesStoredFiles) {
  std::string bytes = kvdb::ReadFileBytes(DbPath("KELVCUS2.DBF"));
  ASSERT_GE(bytes.size(), 12u);
  auto u16 = [&](size_t at) { return static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8; };
  EXPECT_EQ(u16(8), 929);   // header length
  EXPECT_EQ(u16(10), 1122);  // record length
}

TEST_F(CustomerTest, UnreadableMemoGivesNoMemoText) {
  TcbAdvCustRecord r;
  r.ID = 60;
  CopyCut(r.COMPANY, sizeof r.COMPANY, "Memo Ltd");
  r.SetMemo("text");
  TcbAdvCustTable t("KELVCUS2.DBF", 0, 0);
  ASSERT_EQ(t.AppendRecord(&r), &r);
  // Point the row's memo field (offset 662 of the first row) past the memo file.
  std::string bytes = kvdb::ReadFileBytes(DbPath("KELVCUS2.DBF"));
  bytes.replace(929 + 662, 10, "    999999");
  kvdb::WriteFileBytes(DbPath("KELVCUS2.DBF"), bytes);
  std::unique_ptr<TcbAdvCustRecord> back(t.FindById(60));
  t.Close();
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->memo, nullptr);
  EXPECT_STREQ(back->COMPANY, "Memo Ltd");
  plat::clear_message_box_log();
}

class ProjectTest : public CustomerTest {};

TEST_F(ProjectTest, NamesAreUniqueWithinTheirCustomer) {
  TcbProTable t("KELVPRO.DBF", 0, 0);
  std::unique_ptr<TcbProRecord> abc(t.Add("  ABC", 5));
  ASSERT_NE(abc, nullptr);
  EXPECT_STREQ(abc->NAME, "ABC");
  std::unique_ptr<TcbProRecord> quote(t.Add("It's", 5));
  ASSERT_NE(quote, nullptr);
  EXPECT_EQ(t.Add("X", 0), nullptr);
  EXPECT_EQ(t.Add(nullptr, 5), nullptr);
  struct Case {
    const char* name;
    long customer;
    long expect;
  } cases[] = {
      {"ABC", 5, abc->ID}, {"ABC   ", 5, abc->ID}, {"ABC", 6, 0}, {"AB", 5, 0},
      {"It's", 5, quote->ID}, {"ABC", 0, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(t.FindByNameAndCustomer(c.name, c.customer), c.expect) << c.name << " " << c.customer;

  MemoryList list;
  EXPECT_EQ(t.FillListOfCustomer(&list, 5), 1);
  ASSERT_EQ(list.lines.size(), 2u);
  EXPECT_EQ(list.lines[0], "ABC" + std::string(97, ' ') + " @@" + std::to_string(abc->ID));
  EXPECT_EQ(t.FillListOfCustomer(&list, 9), 1);
  EXPECT_TRUE(list.lines.empty());

  // A deleted project is not listed and frees its name; its id still names it.
  EXPECT_EQ(t.DeleteById(abc->ID), 1);
  EXPECT_EQ(t.FindByNameAndCustomer("ABC", 5), 0);
  t.FillListOfCustomer(&list, 5);
  EXPECT_EQ(list.lines.size(), 1u);
  std::unique_ptr<char[]> name(t.GetName(abc->ID));
  ASSERT_NE(name, nullptr);
  EXPECT_STREQ(name.get(), "ABC");
  EXPECT_EQ(t.Rename(quote->ID, "Renamed"), 1);
  EXPECT_EQ(t.FindByNameAndCustomer("Renamed", 5), quote->ID);
}

TEST_F(ProjectTest, FindAndDeleteByNameWithoutANameTag) {
  TcbProTable t("KELVPRO.DBF", 0, 0);
  std::unique_ptr<TcbProRecord> a(t.Add("Shaft", 5));
  std::unique_ptr<TcbProRecord> b(t.Add("Shaft", 6));
  EXPECT_EQ(t.DeleteByName("Shaft"), a->ID);
  std::unique_ptr<TcbProRecord> found(t.FindByName("Shaft"));
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->ID, b->ID);
  t.Close();
  EXPECT_EQ(t.DeleteByName("None"), 0);
  EXPECT_EQ(code_error_get(DbContext), 0);
  TcbProRecord* mine = t.ReadOfCustomer(6);
  ASSERT_NE(mine, nullptr);
  EXPECT_EQ(mine->ID, b->ID);
  EXPECT_EQ(mine->next, nullptr);
}

}  // namespace
