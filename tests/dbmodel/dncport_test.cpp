// DNC port table: the 64 default slots, the numbered properties, ids of
// added ports, list lines, the code lists and the upgrade of older layouts.
#include <filesystem>
#include <set>

#include "db_fixture.h"
#include "dbmodel/dncport.h"
#include "engine/fieldinfo.h"
#include "layout_peer.h"

namespace {

using kvdb::DbTest;
using kvdb::MemoryList;

class DncPortTest : public DbTest {
 protected:
  std::string Path() { return DbPath("KELVMD32.DBF"); }
  void CreateFile() {
    TMultiDncTable t("KELVMD32.DBF", 0, 0);
    t.Create(Path().c_str());
  }
  std::unique_ptr<TMultiDncRecord> Find(long id) {
    TMultiDncTable t("KELVMD32.DBF", 0, 0);
    return std::unique_ptr<TMultiDncRecord>(t.FindById(id));
  }
  // A file of the first n fields of the current layout, with `rows` slots.
  void MakeOld(int n, int rows, const std::vector<bool>& deleted = {},
               const std::vector<long>& ids = {}) {
    std::string full = DbPath("FULL.DBF");
    TMultiDncTable t("FULL.DBF", 0, 0);
    t.Create(full.c_str());
    DbDataFile* src = data_open(DbContext, full.c_str());
    ASSERT_NE(src, nullptr);
    FieldInfoList fields(src);
    TagInfoList tags(src);
    data_close(src);
    for (int i = fields.count() - 1; i >= n; i--) fields.delAt(i);
    DbContext->safety = 0;
    DbDataFile* d = data_create(DbContext, Path().c_str(), fields.fields(), tags.tags());
    DbContext->safety = 1;
    ASSERT_NE(d, nullptr);
    for (int r = 0; r < rows; r++) {
      ASSERT_EQ(data_append_start(d, 0), 0);
      data_blank(d);
      FieldRef(d, 1).assignLong(r < static_cast<int>(ids.size()) ? ids[r] : r);
      FieldRef(d, 2).assign(("MACHINE " + std::to_string(r)).c_str());
      FieldRef(d, 3).assignLong(7);
      FieldRef(d, 28).assignLong(0);
      FieldRef(d, 36).assign("27,13");
      if (n > 45) FieldRefMemo(d, 46).assign("memo of the port");
      if (n > 65) {
        FieldRef(d, 66).assignLong(r + 1);
        FieldRef(d, 80).assign("T");
      }
      if (r < static_cast<int>(deleted.size()) && deleted[r]) data_delete(d);
      ASSERT_EQ(data_append(d), 0);
    }
    ASSERT_EQ(data_close(d), 0);
  }
};

std::vector<DbFieldInfo> NewLayoutFields() {
  struct G {
    int first, last;
    char type;
    unsigned len;
  } groups[] = {{1, 1, 'N', 2},     {2, 2, 'C', 30},     {3, 3, 'N', 2},     {4, 7, 'N', 1},
                {8, 8, 'N', 3},     {9, 11, 'C', 100},   {12, 13, 'C', 200}, {14, 14, 'N', 3},
                {15, 20, 'C', 100}, {21, 22, 'C', 200},  {23, 23, 'N', 1},   {24, 25, 'N', 10},
                {26, 26, 'C', 200}, {27, 27, 'C', 50},   {28, 31, 'N', 1},   {32, 32, 'C', 50},
                {33, 33, 'N', 2},   {34, 35, 'N', 1},    {36, 36, 'C', 200}, {37, 37, 'C', 30},
                {38, 41, 'C', 100}, {42, 45, 'N', 11},   {46, 55, 'M', 10},  {56, 65, 'C', 100},
                {66, 75, 'N', 10},  {76, 85, 'L', 1},    {86, 100, 'C', 200}, {101, 124, 'C', 40},
                {125, 134, 'L', 1}, {135, 144, 'C', 10}, {145, 145, 'C', 50}, {146, 155, 'L', 1},
                {156, 156, 'C', 40}, {157, 157, 'N', 10}, {158, 158, 'C', 200}, {159, 159, 'C', 60},
                {160, 162, 'C', 50}, {163, 163, 'L', 1}, {164, 168, 'N', 10}};
  static std::vector<std::string> names;
  names.clear();
  names.reserve(168);
  std::vector<DbFieldInfo> out;
  for (const auto& g : groups)
    for (int n = g.first; n <= g.last; n++) {
      names.push_back(n == 1 ? "ID" : FormatText("F_%03d", n));
      out.push_back({names.back().c_str(), g.type, g.len, 0});
    }
  return out;
}

TEST_F(DncPortTest, CreateMakesSixtyFourDefaultSlots) {
  CreateFile();
  std::string first = kvdb::ReadFileBytes(Path());
  CreateFile();
  EXPECT_EQ(kvdb::ReadFileBytes(Path()), first);
  EXPECT_EQ(kvdb::PeerLayout(Root(), Path()), kvdb::LayoutText(NewLayoutFields(), 64));

  auto rows = Rows(Path());
  ASSERT_EQ(rows.size(), 64u);
  for (size_t i = 0; i < rows.size(); i++) EXPECT_EQ(rows[i][1], std::to_string(i));
  auto r = Find(63);
  ASSERT_NE(r, nullptr);
  EXPECT_STREQ(r->GetValue(kPropName), "No Machine selected");
  EXPECT_STREQ(r->GetValue(kPropReceiveLineEnd), "13,10");
  EXPECT_STREQ(r->GetValue(kPropLineEnd), "13,10");
  EXPECT_STREQ(r->GetValue(kPropRemoveList), "");
  struct {
    int n;
    long v;
  } numbers[] = {{3, 10}, {4, 2}, {5, 1}, {6, 2}, {7, 1}, {8, 10}, {14, 5}, {28, 1},
                 {29, 2}, {31, 1}, {34, 2}, {35, 1}, {42, 10}, {66, 0}, {69, 0}};
  for (const auto& c : numbers) EXPECT_EQ(r->Number[c.n], c.v) << c.n;
  EXPECT_EQ(r->GetListB(kPropUnixLink), 0);
  EXPECT_EQ(r->GetListB(kPropParityCheck), 1);
  EXPECT_EQ(r->GetListB(kPropFileMode), 1);
}

TEST_F(DncPortTest, CreateFillsUpAShortFile) {
  MakeOld(168, 10);
  CreateFile();
  auto rows = Rows(Path());
  ASSERT_EQ(rows.size(), 64u);
  EXPECT_EQ(rows[9][2], "MACHINE 9");  // the first ten rows are left alone
  EXPECT_EQ(rows[10][1], "10");
  EXPECT_EQ(rows[10][2], "No Machine selected");
  EXPECT_EQ(rows[63][1], "63");
}

// Ids of the rows there that clash with the ids the new slots would take:
// those slots take free ids and the file still gets its 64 rows.
TEST_F(DncPortTest, CreateFillsUpPastClashingIds) {
  MakeOld(168, 3, {}, {0, 5, 40});
  CreateFile();
  auto rows = Rows(Path());
  ASSERT_EQ(rows.size(), 64u);
  std::set<std::string> ids;
  for (const auto& row : rows) ids.insert(row[1]);
  EXPECT_EQ(ids.size(), 64u);
  EXPECT_EQ(rows[1][1], "5");
  EXPECT_EQ(rows[2][2], "MACHINE 2");
  EXPECT_EQ(rows[3][1], "3");
}

TEST_F(DncPortTest, PropertiesSurviveWriteAndRead) {
  CreateFile();
  auto r = Find(4);
  ASSERT_NE(r, nullptr);
  std::string dir(200, 'D');
  r->SetText(kPropFirstDirectory, dir.c_str());
  r->SetText(kPropFirstReturnStatement, "G01 X10  ");
  r->SetText(kPropWaitText, "SETUP ONE");
  r->Number[kPropAlwaysOne] = 5;  // always written as 1
  r->Number[kPropZeroPadIndex] = 12345;
  r->SetListA(kPropBreakCount, 99);
  r->SetListB(kPropStartAfterPause, 1);
  r->Number[kPropZeroPad] = 1;
  CopyCut(r->Short156, sizeof r->Short156, "ABCDEFGHIJKLMNOPQRS");
  TMultiDncTable t("KELVMD32.DBF", 0, 0);
  ASSERT_EQ(t.Update(r.get()), 1);

  auto back = Find(4);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->GetValue(kPropFirstDirectory), dir);
  EXPECT_STREQ(back->GetValue(kPropFirstReturnStatement), "G01 X10");
  EXPECT_STREQ(back->GetValue(kPropWaitText), "SETUP ONE");
  EXPECT_EQ(back->Number[kPropAlwaysOne], 1);
  EXPECT_EQ(back->Number[kPropZeroPadIndex], 12345);
  EXPECT_EQ(back->GetListA(kPropBreakCount), 99);
  EXPECT_EQ(back->GetListB(kPropStartAfterPause), 1);
  EXPECT_EQ(back->Number[kPropZeroPad], 1);
  EXPECT_STREQ(back->Short156, "ABCDEFGHIJKLMNOPQRS");

  // A longer stored text of property 156 reads back cut to 19 characters.
  DbDataFile* d = data_open(DbContext, Path().c_str());
  data_go(d, 5);
  FieldRef(d, 156).assign(std::string(40, 'X').c_str());
  data_close(d);
  EXPECT_EQ(std::string(Find(4)->Short156), std::string(19, 'X'));

  // A missing id writes nothing and still answers 1.
  std::string before = kvdb::ReadFileBytes(Path());
  r->Number[kPropId] = 88;
  EXPECT_EQ(t.Update(r.get()), 1);
  EXPECT_EQ(kvdb::ReadFileBytes(Path()), before);
  EXPECT_EQ(t.Update(nullptr), 0);
  EXPECT_EQ(Find(88), nullptr);
}

TEST_F(DncPortTest, SetTextAndAccessors) {
  TMultiDncRecord r;
  struct {
    int n;
    const char* in;
    const char* out;
  } cases[] = {{2, "   ", ""}, {2, "ABC  ", "ABC"}, {9, nullptr, ""}, {46, "  memo ", "  memo"},
               {3, "10", nullptr}, {38, "unused", nullptr}, {156, "short", nullptr},
               {169, "x", nullptr}, {0, "x", nullptr}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.n);
    r.SetText(c.n, c.in);
    if (c.out)
      EXPECT_STREQ(r.GetValue(c.n), c.out);
    else
      EXPECT_EQ(r.GetValue(c.n), nullptr);
  }
  r.SetListA(kPropIgnoreText, 3);
  r.SetListB(kPropFirstDirectory, 1);
  EXPECT_EQ(r.GetListA(kPropIgnoreText), 0);
  EXPECT_EQ(r.GetListB(kPropFirstDirectory), 0);
  r.Clear();
  EXPECT_EQ(r.GetValue(kPropName), nullptr);
}

TEST_F(DncPortTest, AddedPortsGetFreeIds) {
  CreateFile();
  TMultiDncTable t("KELVMD32.DBF", 0, 0);
  t.DeleteById(63);
  std::vector<long> ids;
  for (int i = 0; i < 37; i++) {
    TMultiDncRecord r;
    r.SetText(kPropName, "NEW");
    if (!t.Append(&r)) break;
    ids.push_back(r.Number[kPropId]);
  }
  // 64-99: a deleted slot keeps its id; the two-digit field holds no more.
  ASSERT_EQ(ids.size(), 36u);
  EXPECT_EQ(ids.front(), 64);
  EXPECT_EQ(ids.back(), 99);
  EXPECT_EQ(Rows(Path()).size(), 100u);
  EXPECT_STREQ(Find(99)->GetValue(kPropName), "NEW");
  EXPECT_EQ(t.Append(nullptr), 0);
}

TEST_F(DncPortTest, ListLines) {
  CreateFile();
  {
    TMultiDncTable t("KELVMD32.DBF", 0, 0);
    auto r = Find(3);
    r->SetText(kPropName, "M1");
    r->Number[kPropMachineId] = 7;
    r->SetText(kPropWaitText, "SAVED");
    t.Update(r.get());
    t.DeleteById(0);
  }
  TMultiDncTable t("KELVMD32.DBF", 0, 0);
  MemoryList list;
  t.FillListTwoIds(&list);
  ASSERT_EQ(list.lines.size(), 63u);
  EXPECT_EQ(list.lines[2], "M1" + std::string(128, ' ') + "@@3\xA3\xA3" "7");
  EXPECT_EQ(ListLineId(list.lines[2].c_str()), 3);
  EXPECT_EQ(ListLineSecondId(list.lines[2].c_str()), 7);
  t.FillList(&list);
  EXPECT_EQ(list.lines[2], "SAVED" + std::string(125, ' ') + "@@3");
  EXPECT_EQ(list.selected, 0);

  TMultiDncTable missing("NONE.DBF", 0, 0);
  missing.FillList(&list);
  EXPECT_TRUE(list.lines.empty());
  EXPECT_EQ(missing.FindById(1), nullptr);
  EXPECT_EQ(missing.LoadAllDetached(1), nullptr);

  TcbRecord* all = t.LoadAllDetached(1);
  int n = 0;
  for (TcbRecord* p = all; p; p = p->next) n++;
  EXPECT_EQ(n, 63);
  EXPECT_EQ(t.First(), nullptr);
  FreeRecordList(all);
}

TEST_F(DncPortTest, CodeLists) {
  struct {
    const char* text;
    bool stars;
    std::string bytes;
  } cases[] = {
      {"13,10", false, "\r\n"},
      {",13,10,", false, "\r\n"},
      {"", false, ""},
      {",", false, ""},
      {"65,66,67", false, "ABC"},
      {"5*0,13", true, std::string(5, '\0') + "\r"},
      {"*,2*65,0*66,-1*67,10*", true, "AA\n"},
      {"3*32", false, "\x03"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string text = c.text;
    int count = -1;
    char* out = c.stars ? SplitStarCommaList(text.data(), &count) : SplitCommaList(text.data(), &count);
    EXPECT_EQ(count, static_cast<int>(c.bytes.size()));
    if (c.bytes.empty()) {
      EXPECT_EQ(out, nullptr);
    } else {
      ASSERT_NE(out, nullptr);
      EXPECT_EQ(std::string(out, count), c.bytes);
      EXPECT_EQ(out[count], 0);
    }
    delete[] out;
  }
  // The limits hold whatever the text asks for.
  std::string many;
  for (int i = 0; i < 600; i++) many += "65,";
  int count = 0;
  char* out = SplitCommaList(many.data(), &count);
  EXPECT_EQ(count, 499);
  delete[] out;
  std::string big = "9000*65";
  out = SplitStarCommaList(big.data(), &count);
  EXPECT_EQ(count, 4999);
  delete[] out;
  EXPECT_EQ(SplitCommaList(nullptr, &count), nullptr);
  EXPECT_EQ(count, 0);
}

TEST_F(DncPortTest, OlderLayoutsAreUpgradedWithEveryRow) {
  for (int n : {45, 85, 124, 162}) {
    SCOPED_TRACE(n);
    MakeOld(n, 3, {false, true, false});
    TMultiDncTable t("KELVMD32.DBF", 0, 0);
    ASSERT_EQ(t.Upgrade(), 1);
    DbDataFile* d = data_open(DbContext, Path().c_str());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(data_num_fields(d), 168);
    DbField* dir = data_field_at(d, kPropFirstDirectory);
    EXPECT_EQ(field_len(dir), 200u);  // a full directory fits
    if (n < 86) {
      EXPECT_STREQ(field_name(dir), "DIR0");
    }
    data_close(d);

    auto rows = Rows(Path());
    ASSERT_EQ(rows.size(), 2u);
    auto r = Find(2);
    ASSERT_NE(r, nullptr);
    EXPECT_STREQ(r->GetValue(kPropName), "MACHINE 2");
    EXPECT_EQ(r->Number[kPropBaud], 7);
    EXPECT_STREQ(r->GetValue(kPropEndTrigger), "27,13");
    EXPECT_EQ(r->Number[kPropAlwaysOne], 1);
    if (n > 45) {
      EXPECT_STREQ(r->GetValue(kPropFirstReturnStatement), "memo of the port");
    }
    if (n > 65) {
      EXPECT_EQ(r->GetListA(kPropComNumber), 3);
      EXPECT_EQ(r->GetListB(kPropSearchOnType), 1);
    }
    EXPECT_EQ(r->Number[kPropOmitFirst], 0);
    EXPECT_EQ(r->Number[kPropZeroPad], 0);
    EXPECT_EQ(Find(1), nullptr);  // the deleted row is left out

    std::string dir200(200, 'P');
    r->SetText(kPropFirstDirectory, dir200.c_str());
    t.Update(r.get());
    EXPECT_EQ(Find(2)->GetValue(kPropFirstDirectory), dir200);
  }
}

TEST_F(DncPortTest, EmptyAndCurrentFiles) {
  MakeOld(85, 0);
  TMultiDncTable t("KELVMD32.DBF", 0, 0);
  EXPECT_EQ(t.Upgrade(), 1);
  EXPECT_EQ(kvdb::PeerLayout(Root(), Path()).substr(0, 5), "ID:N:");
  DbDataFile* d = data_open(DbContext, Path().c_str());
  EXPECT_EQ(data_num_fields(d), 168);
  data_close(d);

  CreateFile();
  std::string before = kvdb::ReadFileBytes(Path());
  EXPECT_EQ(t.Upgrade(), 1);
  EXPECT_EQ(kvdb::ReadFileBytes(Path()), before);
  TMultiDncTable missing("NONE.DBF", 0, 0);
  EXPECT_EQ(missing.Upgrade(), 0);
}

}  // namespace
