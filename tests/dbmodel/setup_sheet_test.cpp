// Setup-sheet tables: their layouts as an independent reader sees them, the
// stored forms other stations rely on (choices, "T"/"F" flags, decimals
// with 3 places, F26 never written), the list lines byte for byte, and
// operations on missing rows and files that report failure.
#include <cstdio>
#include <memory>
#include <sstream>

#include "db_fixture.h"
#include "dbmodel/idname.h"
#include "dbmodel/setup_sheet.h"
#include "layout_peer.h"

namespace {

using kvdb::DbTest;
using kvdb::MemoryList;

std::string Unhex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

class SetupSheetTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    CreateTable<TSheet02Table>("SS000002.DBF");
    CreateTable<TSheet03Table>("SS000003.DBF");
    CreateTable<TSheet04Table>("SS000004.DBF");
    CreateTable<TSheet05Table>("SS000005.DBF");
  }
  // "NAME:T:LEN.DEC ..." as python3-dbfread reads the file.
  std::string PeerFields(const char* file) {
    std::string script =
        "import dbfread,sys\n"
        "t=dbfread.DBF(sys.argv[1])\n"
        "print(' '.join('%s:%s:%d.%d'%(f.name,f.type,f.length,f.decimal_count) for f in t.fields))\n";
    std::string out = kvdb::RunPeerScript(Root(), "peer_fields.py", script, DbPath(file)).value_or("");
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
  }
  // The live rows of a file as tests/engine/peers/dbfread_dump.py prints
  // them: one text per field.
  std::vector<std::vector<std::string>> PeerValues(const char* file) {
    std::string cmd = "/usr/bin/python3 " KV_SOURCE_DIR "/tests/engine/peers/dbfread_dump.py '" + DbPath(file) + "' 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    EXPECT_NE(p, nullptr);
    if (!p) return {};
    std::string out;
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    EXPECT_EQ(pclose(p), 0) << out;
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
      std::istringstream cells(line);
      std::vector<std::string> row;
      std::string kind;
      std::getline(cells, kind, '\t');
      if (kind != "L") continue;
      for (std::string c; std::getline(cells, c, '\t');) row.push_back(c == "-" ? "(none)" : Unhex(c));
      rows.push_back(row);
    }
    return rows;
  }
  TSheet05Record* Sheet(long id, long type, long key, const char* name) {
    auto* r = new TSheet05Record;
    r->ID1 = id;
    r->ID2 = type;
    r->ID3 = key;
    r->SetName(name);
    return r;
  }
  void AppendSheet(TSheet05Record* r) {
    TSheet05Table t("SS000005.DBF", 0, 0);
    EXPECT_EQ(t.AppendSheet(r), r);
    delete r;
  }
};

TEST_F(SetupSheetTest, LayoutsAsAnIndependentReaderSeesThem) {
  auto labels = [](int n) {
    std::string s = "ID:N:10.0";
    for (int i = 1; i <= n; i++) s += FormatText(" F%d:C:20.0", i);
    return s;
  };
  std::string sheets = "ID1:N:10.0 ID2:N:10.0 ID3:N:10.0";
  for (int i = 1; i <= 8; i++) sheets += FormatText(" CBIDX%d:N:10.0", i);
  for (int i = 1; i <= 7; i++) sheets += FormatText(" B%d:L:1.0", i);
  for (int i = 1; i <= 10; i++) sheets += FormatText(" CH%d:C:50.0", i);
  for (int i = 1; i <= 10; i++) sheets += FormatText(" DBL%d:N:12.3", i);
  for (int i = 1; i <= 10; i++) sheets += FormatText(" L%d:N:10.0", i);
  sheets += " MEMO:M:10.0 NAME:C:50.0";
  struct Case {
    const char* file;
    std::string fields;
  } cases[] = {
      {"SS000002.DBF", "ID:N:10.0 ID2:N:10.0 ID3:N:10.0 NAME:C:50.0"},
      {"SS000003.DBF", labels(26)},
      {"SS000004.DBF", labels(19)},
      {"SS000005.DBF", sheets},
  };
  for (const auto& c : cases) EXPECT_EQ(PeerFields(c.file), c.fields) << c.file;
}

TEST_F(SetupSheetTest, ASheetIsStoredInTheFormsOtherStationsRead) {
  TSheet05Record* r = Sheet(7, 3, 1200, "  OP 10 ");
  r->SetComboIndex(0, 41);  // a page-1 choice: the value's id
  r->SetComboIndex(4, 2);   // a page-2 choice: a list position
  r->SetText(0, "  Vise, 6 inch  ");
  r->SetText(9, std::string(60, 'x').c_str());
  r->SetDecimal(0, 2.5);
  r->SetDecimal(9, -1.23456);
  r->SetInteger(0, 42);
  r->SetInteger(9, -7);
  r->SetFlag(0, 1);
  r->SetFlag(6, 5);
  AppendSheet(r);

  auto rows = PeerValues("SS000005.DBF");
  ASSERT_EQ(rows.size(), 1u);
  const auto& v = rows[0];
  ASSERT_EQ(v.size(), 50u);
  EXPECT_EQ(v[0], "7");
  EXPECT_EQ(v[1], "3");
  EXPECT_EQ(v[2], "1200");
  // CBIDX1..8: chosen ones as given (41 names no value, and is kept all the
  // same), the others "nothing chosen".
  EXPECT_EQ((std::vector<std::string>(v.begin() + 3, v.begin() + 11)),
            (std::vector<std::string>{"41", "-1", "-1", "-1", "2", "-1", "-1", "-1"}));
  EXPECT_EQ((std::vector<std::string>(v.begin() + 11, v.begin() + 18)),
            (std::vector<std::string>{"T", "F", "F", "F", "F", "F", "T"}));
  EXPECT_EQ(v[18], "  Vise, 6 inch");  // as given; read back trimmed
  EXPECT_EQ(v[27], std::string(50, 'x'));  // cut to the field, not shorter
  EXPECT_EQ(v[28], "2.5");
  EXPECT_EQ(v[37], "-1.235");  // 3 decimals stored
  EXPECT_EQ(v[38], "42");
  EXPECT_EQ(v[47], "-7");
  EXPECT_EQ(v[49], "OP 10");

  TSheet05Table t("SS000005.DBF", 0, 0);
  std::unique_ptr<TSheet05Record> back(t.SeekId(7));
  ASSERT_NE(back, nullptr);
  t.Close();
  EXPECT_STREQ(back->NAME, "OP 10");
  EXPECT_STREQ(back->Text(0), "Vise, 6 inch");
  EXPECT_STREQ(back->MEMO, "");  // never set: written and read back empty
  EXPECT_EQ(back->ComboIndex(0), 41);
  EXPECT_EQ(back->ComboIndex(1), -1);
  EXPECT_EQ(back->Flag(6), 1);
  EXPECT_EQ(back->Flag(7), 0);  // out of range
  EXPECT_EQ(SheetDecimalText(back->Decimal(0)), "2.5000");
  EXPECT_EQ(SheetDecimalText(back->Decimal(9)), "-1.2350");  // the fourth decimal is always 0
  EXPECT_EQ(back->Integer(9), -7);
}

TEST_F(SetupSheetTest, UpdateRewritesTheSheetAndDeleteTakesItOffTheList) {
  AppendSheet(Sheet(5, 3, 1200, "A"));
  TSheet05Record* b = Sheet(6, 3, 1200, "B");
  b->SetMemo("first\r\nsecond");
  AppendSheet(b);

  TSheet05Table t("SS000005.DBF", 0, 0);
  std::unique_ptr<TSheet05Record> r(t.SeekId(6));
  ASSERT_NE(r, nullptr);
  t.Close();
  EXPECT_STREQ(r->MEMO, "first\r\nsecond");
  r->SetText(4, "clamp");
  r->SetComboIndex(7, 0);
  EXPECT_EQ(t.UpdateSheet(r.get()), 1);
  std::unique_ptr<TSheet05Record> again(t.SeekId(6));
  ASSERT_NE(again, nullptr);
  t.Close();
  EXPECT_STREQ(again->Text(4), "clamp");
  EXPECT_EQ(again->ComboIndex(7), 0);
  EXPECT_STREQ(again->MEMO, "first\r\nsecond");

  EXPECT_EQ(t.DeleteSheet(5), 1);
  MemoryList list;
  t.FillSheetList(3, 1200, &list);
  ASSERT_EQ(list.lines.size(), 1u);
  EXPECT_EQ(SheetListId(list.lines[0].c_str()), 6);
  // A sheet that is not there: nothing written, failure told.
  TSheet05Record ghost;
  ghost.ID1 = 99;
  EXPECT_EQ(t.UpdateSheet(&ghost), 0);
  EXPECT_EQ(t.DeleteSheet(5), 0);  // deleted already
  TSheet05Record deleted;
  deleted.ID1 = 5;
  EXPECT_EQ(t.UpdateSheet(&deleted), 0);
  EXPECT_EQ(t.SeekId(5), nullptr);
  t.Close();
  EXPECT_EQ(t.UpdateSheet(nullptr), 0);
  EXPECT_EQ(t.SeekId(0), nullptr);
}

TEST_F(SetupSheetTest, SheetListLinesAreByteForByte) {
  AppendSheet(Sheet(7, 3, 1200, "Op 10"));
  AppendSheet(Sheet(8, 3, 1200, "Op 10"));            // two sheets of one name
  AppendSheet(Sheet(9, 4, 1200, "other type"));
  AppendSheet(Sheet(10, 3, 1300, "other program"));
  AppendSheet(Sheet(11, 3, 1200, "FAKE\xA7\xA7" "99"));  // a name cannot pose as the id

  TSheet05Table t("SS000005.DBF", 0, 0);
  MemoryList list;
  t.FillSheetList(3, 1200, &list);
  ASSERT_EQ(list.lines.size(), 3u);
  const std::string op10 = "Op 10" + std::string(95, ' ') + ",\xA7\xA7" "7";
  EXPECT_EQ(list.lines[0], op10);
  EXPECT_EQ(list.lines[0].size(), 104u);
  EXPECT_EQ(list.lines[1], "Op 10" + std::string(95, ' ') + ",\xA7\xA7" "8");
  EXPECT_EQ(SheetListId(list.lines[2].c_str()), 11);
  EXPECT_EQ(SheetListId("no marker"), 0);
  EXPECT_EQ(list.selected, -2);  // the caller chooses the line
}

TEST_F(SetupSheetTest, ValuesOfOneFieldAreListedEachWithItsId) {
  TSheet02Table t("SS000002.DBF", 0, 0);
  struct Row {
    long id, type, field;
    const char* name;
  } rows[] = {{1, 3, 2, "STEEL"}, {2, 3, 2, "STEEL"}, {3, 3, 1, "ALU"}, {4, 5, 2, "BRASS"}, {5, 3, 2, "ALU@@1"}};
  for (const Row& row : rows) {
    TSheet02Record r;
    r.ID = row.id;
    r.ID2 = row.type;
    r.ID3 = row.field;
    TrimCopy(r.NAME, row.name);
    ASSERT_EQ(t.AppendEntry(&r), &r);
  }
  MemoryList list;
  t.FillListByIds(&list, 3, 2);
  ASSERT_EQ(list.lines.size(), 3u);
  EXPECT_EQ(list.lines[0], "STEEL" + std::string(165, ' ') + "@@1");
  EXPECT_EQ(list.lines[1], "STEEL" + std::string(165, ' ') + "@@2");
  EXPECT_EQ(ListLineId(list.lines[2].c_str()), 5);

  TSheet02Record renamed;
  renamed.ID = 2;
  renamed.ID2 = 3;
  renamed.ID3 = 2;
  TrimCopy(renamed.NAME, "CAST IRON");
  EXPECT_EQ(t.UpdateEntry(&renamed), 1);
  std::unique_ptr<TSheet02Record> back(t.SeekId(2));
  ASSERT_NE(back, nullptr);
  t.Close();
  EXPECT_STREQ(back->NAME, "CAST IRON");
  renamed.ID = 77;
  EXPECT_EQ(t.UpdateEntry(&renamed), 0);
}

TEST_F(SetupSheetTest, LabelsRoundTripAndF26StaysAsItIs) {
  for (const char* f26 : {"", "OTHER STATION"}) {
    SCOPED_TRACE(f26);
    // A row as another station may have it: F26 is never ours to write.
    std::vector<DbFieldInfo> fields{{"ID", 'N', 10, 0}};
    std::vector<std::string> names;
    for (int i = 1; i <= 26; i++) names.push_back(FormatText("F%d", i));
    for (const auto& n : names) fields.push_back({n.c_str(), 'C', 20, 0});
    std::vector<std::string> row(27, "");
    row[0] = "12";
    row[26] = f26;
    MakeFile("SS000003.DBF", fields, {row}, {{"ID", "ID", nullptr, 20, 0}});

    TSheet03Table t("SS000003.DBF", 0, 0);
    std::unique_ptr<TSheet03Record> r(t.SeekId(12));
    ASSERT_NE(r, nullptr);
    t.Close();
    for (int n = 0; n < 25; n++) EXPECT_STREQ(r->Label(n), "");
    r->SetLabel(0, "  Fixture  ");
    r->SetLabel(24, "123456789012345678901234");  // cut to 20
    r->SetLabel(25, "out of range");
    r->SetLabel(3, "   ");  // blanks only: stored empty
    EXPECT_EQ(t.UpdateLabels(r.get()), 1);
    auto rows = Rows(DbPath("SS000003.DBF"));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][1], "12");
    EXPECT_EQ(rows[0][2], "Fixture");
    EXPECT_EQ(rows[0][5], "");
    EXPECT_EQ(rows[0][26], "12345678901234567890");
    EXPECT_EQ(rows[0][27], f26);
  }
  // A new row leaves F26 blank; page 2 keeps 19 labels.
  TSheet03Record fresh;
  fresh.ID = 13;
  fresh.SetLabel(0, "Vise");
  TSheet03Table t3("SS000003.DBF", 0, 0);
  EXPECT_EQ(t3.AppendLabels(&fresh), &fresh);
  EXPECT_EQ(Rows(DbPath("SS000003.DBF"))[1][27], "");
  TSheet04Record page2;
  page2.ID = 13;
  page2.SetLabel(18, "Last");
  TSheet04Table t4("SS000004.DBF", 0, 0);
  EXPECT_EQ(t4.AppendLabels(&page2), &page2);
  std::unique_ptr<TSheet04Record> back(t4.SeekId(13));
  ASSERT_NE(back, nullptr);
  t4.Close();
  EXPECT_STREQ(back->Label(18), "Last");
  EXPECT_STREQ(back->Label(19), "");
  TSheet04Record missing;
  missing.ID = 14;
  EXPECT_EQ(t4.UpdateLabels(&missing), 0);
}

// Sheet types may share a name (machine types may not), also by a rename.
TEST_F(SetupSheetTest, TwoSheetTypesMayBearOneName) {
  CreateTable<TSheetTypeTable>("SS000001.DBF");
  CreateTable<TcbMatyTable>("KELVMT.DBF");
  auto add = [](TcbIdAndNameTable& t, long id, const char* name) {
    TcbIdAndNameRecord r;
    r.ID = id;
    CopyCut(r.NAME, sizeof r.NAME, name);
    return t.Add(&r) != nullptr;
  };
  TSheetTypeTable types("SS000001.DBF", 0, 0);
  EXPECT_TRUE(add(types, 1, "MILLING"));
  EXPECT_TRUE(add(types, 2, "MILLING"));
  EXPECT_TRUE(add(types, 3, "TURNING"));
  EXPECT_EQ(types.Rename(3, "MILLING"), 1);
  MemoryList list;
  types.FillList(&list);
  ASSERT_EQ(list.lines.size(), 3u);
  for (int i = 0; i < 3; i++) {
    EXPECT_EQ(list.lines[i].substr(0, 7), "MILLING");
    EXPECT_EQ(ListLineId(list.lines[i].c_str()), i + 1);
  }
  TcbMatyTable machineTypes("KELVMT.DBF", 0, 0);
  EXPECT_TRUE(add(machineTypes, 1, "MILLS"));
  EXPECT_FALSE(add(machineTypes, 2, "MILLS"));
}

TEST_F(SetupSheetTest, AMissingFileFailsAndLeavesTheListAsItWas) {
  for (const char* f : {"SS000002.DBF", "SS000003.DBF", "SS000004.DBF", "SS000005.DBF"})
    std::filesystem::remove(DbPath(f));
  MemoryList list;
  list.lines = {"kept"};
  TSheet02Table values("SS000002.DBF", 0, 0);
  values.FillListByIds(&list, 1, 1);
  TSheet05Table sheets("SS000005.DBF", 0, 0);
  sheets.FillSheetList(1, 1, &list);
  EXPECT_EQ(list.lines, std::vector<std::string>{"kept"});
  EXPECT_EQ(list.selected, -1);

  TSheet02Record value;
  value.ID = 1;
  EXPECT_EQ(values.AppendEntry(&value), nullptr);
  TSheet03Record labels;
  labels.ID = 1;
  TSheet03Table t3("SS000003.DBF", 0, 0);
  EXPECT_EQ(t3.AppendLabels(&labels), nullptr);
  EXPECT_EQ(t3.UpdateLabels(&labels), 0);
  TSheet05Record sheet;
  sheet.ID1 = 1;
  EXPECT_EQ(sheets.AppendSheet(&sheet), nullptr);
  EXPECT_EQ(sheets.DeleteSheet(1), 0);
}

}  // namespace
