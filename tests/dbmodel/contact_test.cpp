// Contact persons and cities: name queries padded to the fields, memo
// texts, finds and changes by id, the city find by a leading part.
#include <functional>
#include <memory>

#include "db_fixture.h"
#include "dbmodel/city.h"
#include "dbmodel/contact.h"

namespace {

using kvdb::DbTest;

class ContactTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    CreateTable<TcbPersonTable>("KELVCONT.DBF");
    CreateTable<TcbCityTable>("KELVCITY.DBF");
  }
  void AddPerson(long id, long company, const char* first, const char* last, const char* memo) {
    TcbPersonRecord r;
    r.ID = id;
    r.COMPANY = company;
    CopyCut(r.FNAME, sizeof r.FNAME, first);
    CopyCut(r.LNAME, sizeof r.LNAME, last);
    r.SetMemo(memo);
    TcbPersonTable t("KELVCONT.DBF", 0, 0);
    ASSERT_EQ(t.AppendRecord(&r), &r);
  }
  static std::vector<long> Ids(TcbRecord* head) {
    std::vector<long> ids;
    for (auto* r = head; r; r = r->next) ids.push_back(static_cast<TcbPersonRecord*>(r)->ID);
    FreeRecordList(head);
    return ids;
  }
};

TEST_F(ContactTest, PersonQueries) {
  std::string thirty(30, 'L');
  AddPerson(1, 5, "ANNA", "ZIMMER", "call before noon");
  AddPerson(2, 5, "Bob", thirty.c_str(), nullptr);
  AddPerson(3, 6, "ANNA", "O'HARA", nullptr);
  struct Case {
    std::function<TcbPersonRecord*(TcbPersonTable&)> run;
    std::vector<long> ids;
  } cases[] = {
      {[](TcbPersonTable& t) { return t.FindByName("ANNA", "ZIMMER", 5); }, {1}},
      {[](TcbPersonTable& t) { return t.FindByName("ANNA", "ZIMMER", 6); }, {}},
      {[&](TcbPersonTable& t) { return t.FindByName("Bob", thirty.c_str(), 5); }, {2}},
      {[](TcbPersonTable& t) { return t.FindByNames("ANNA", "O'HARA", 1); }, {3}},
      {[](TcbPersonTable& t) { return t.FindByNames("NN", "'HA", 0); }, {3}},
      {[](TcbPersonTable& t) { return t.FindByNames("anna", "", 0); }, {}},  // case-sensitive
      {[](TcbPersonTable& t) { return t.SelectByCompany(5); }, {2, 1}},  // sorted by last name
      {[](TcbPersonTable& t) { return t.SelectByTitle(0); }, {2, 3, 1}},
  };
  for (auto& c : cases) {
    TcbPersonTable t("KELVCONT.DBF", 0, 0);
    EXPECT_EQ(Ids(c.run(t)), c.ids) << &c - cases;
  }
  TcbPersonTable t("KELVCONT.DBF", 0, 0);
  std::unique_ptr<TcbPersonRecord> a(t.FindById(1));
  t.Close();
  ASSERT_NE(a, nullptr);
  EXPECT_STREQ(a->memo, "call before noon");
  std::unique_ptr<TcbPersonRecord> b(t.FindById(2));
  t.Close();
  ASSERT_NE(b->memo, nullptr);
  EXPECT_STREQ(b->memo, "");  // appended without a memo: an empty one
  CopyCut(a->DPHONE, sizeof a->DPHONE, "0171");
  EXPECT_EQ(t.Update(a.get()), 1);
  EXPECT_EQ(t.DeleteRecord(b.get()), 1);
  EXPECT_EQ(t.DeleteRecord(b.get()), 1);  // the seek finds deleted rows
  TcbPersonRecord missing;
  missing.ID = 9;
  EXPECT_EQ(t.Update(&missing), 0);
  EXPECT_EQ(Ids(t.SelectByCompany(5)), std::vector<long>{1});
  std::unique_ptr<TcbPersonRecord> again(t.FindById(1));
  t.Close();
  EXPECT_STREQ(again->DPHONE, "0171");
  // A query hands over its matches only; a list the table holds stays.
  TcbPersonRecord* all = t.ReadAll();
  EXPECT_EQ(Ids(t.SelectByCompany(6)), std::vector<long>{3});
  EXPECT_EQ(t.First(), all);
  EXPECT_EQ(static_cast<TcbPersonRecord*>(t.Last())->ID, 3);
}

TEST_F(ContactTest, CreatingAnExistingFileLeavesIt) {
  AddPerson(1, 5, "A", "B", nullptr);
  std::string before = kvdb::ReadFileBytes(DbPath("KELVCONT.DBF"));
  TcbPersonTable t("KELVCONT.DBF", 0, 0);
  EXPECT_EQ(t.Create(DbPath("KELVCONT.DBF").c_str()), 1);
  EXPECT_EQ(kvdb::ReadFileBytes(DbPath("KELVCONT.DBF")), before);
}

TEST_F(ContactTest, Cities) {
  TcbCityTable t("KELVCITY.DBF", 0, 0);
  struct Row {
    long id;
    const char* name;
    const char* zip;
    long country;
  } rows[] = {{1, "Zurich", "8000", 41}, {2, "Basel", "4000", 41}, {3, "Bern", "3000", 41}, {4, "Lyon", "69000", 33}};
  for (const auto& row : rows) {
    TcbCityRecord r;
    r.ID = row.id;
    CopyCut(r.NAME, sizeof r.NAME, row.name);
    CopyCut(r.ZIP, sizeof r.ZIP, row.zip);
    r.COUNTRY = row.country;
    ASSERT_EQ(t.AppendRecord(&r), &r);
  }
  std::vector<std::string> names;
  TcbCityRecord* swiss = t.SelectByCountry(41);
  for (auto* r = swiss; r; r = static_cast<TcbCityRecord*>(r->next)) names.push_back(r->NAME);
  FreeRecordList(swiss);
  EXPECT_EQ(names, (std::vector<std::string>{"Basel", "Bern", "Zurich"}));
  struct Find {
    const char* name;
    long id;
  } finds[] = {{"Ber", 3}, {"B", 2}, {"Lyon", 4}, {"Paris", 0}, {"Bernx", 0}};
  for (const auto& f : finds) {
    std::unique_ptr<TcbCityRecord> r(t.FindByName(f.name));
    t.Close();
    EXPECT_EQ(r ? r->ID : 0, f.id) << f.name;
  }
  TcbCityRecord basel;
  basel.ID = 2;
  EXPECT_EQ(t.DeleteRecord(&basel), 1);
  std::unique_ptr<TcbCityRecord> b(t.FindByName("B"));
  t.Close();
  EXPECT_EQ(b->ID, 3);  // a deleted city is passed over
  std::unique_ptr<TcbCityRecord> z(t.FindById(1));
  t.Close();
  EXPECT_STREQ(z->ZIP, "8000");
  EXPECT_EQ(code_error_get(DbContext), 0);
}

}  // namespace
