// Database creation: an empty database gets every table in its layout, as
// an independent reader (python3-dbfread) sees it; a second run changes no
// byte; files of older layouts are brought up to date with every live row.
#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>

#include "appcore/globals.h"
#include "dbmodel/autoimp.h"
#include "dbmodel/dncport.h"
#include "dbmodel/filetable.h"
#include "dbmodel/machine.h"
#include "dbmodel/macro.h"
#include "dbmodel/profile.h"
#include "dbmodel/versionlog.h"
#include "tests/dbmodel/db_fixture.h"
#include "tests/dbmodel/layout_peer.h"

namespace {

namespace fs = std::filesystem;
using kvdb::DbTest;

const std::string kProgramIndex =
    "NCID:N:10 DESC:C:40 DIR:C:100 NAME:C:8 EXT:C:3 PART:C:25 DRAW:C:25 CUST:N:10 MID:N:10 MAT:N:10 "
    "PROJECT:N:10 MACHINE:C:25 CHAR3:C:50 LONG1:N:10 MEMOSTR:M:10 LOCK:L:1 PROG:N:10 MAZAK:L:1 SENT:N:10";
const std::string kIdAndName = "ID:N:10 NAME:C:50";

std::string Counters() {
  std::string s;
  for (int i = 1; i <= 25; i++) s += FormatText("%sF%02d:N:10", i > 1 ? " " : "", i);
  return s;
}

std::string Labels(int n) {
  std::string s = "ID:N:10";
  for (int i = 1; i <= n; i++) s += FormatText(" F%d:C:20", i);
  return s;
}

std::string Tramox() {
  std::string s = "ID:N:10";
  for (int i = 1; i <= 64; i++) s += FormatText(" C%02d:C:60", i);
  return s;
}

struct Expected {
  bool alternate;
  const char* file;
  std::string fields;  // as the peer prints them; empty: only the count is checked
  int count;
};

std::vector<Expected> EditorModeFiles() {
  return {
      {false, "KELVINDX.DBF", Counters(), 25},
      {true, "KELVINDX.DBF", Counters(), 25},
      {false, "KELVFILE.DBF", kProgramIndex, 19},
      {false, "KELVBACK.DBF", kProgramIndex, 19},
      {false, "KELVDNCT.DBF", kProgramIndex, 19},
      {false, "KELVDNCF.DBF", kProgramIndex, 19},
      {false, "KELVLOCK.DBF", kProgramIndex, 19},
      {false, "KELVAUTO.DBF", kProgramIndex, 19},
      {false, "LOG00003.DBF", kProgramIndex, 19},
      {false, "KELVMT.DBF", kIdAndName, 2},
      {false, "KELVCOUN.DBF", kIdAndName, 2},
      {false, "KELVPOSI.DBF", kIdAndName, 2},
      {false, "SS000001.DBF", kIdAndName, 2},
      {false, "SS000002.DBF", "ID:N:10 ID2:N:10 ID3:N:10 NAME:C:50", 4},
      {false, "SS000003.DBF", Labels(26), 27},
      {false, "SS000004.DBF", Labels(19), 20},
      {false, "SS000005.DBF", "", 50},
      {false, "LOG00001.DBF", kIdAndName, 2},
      {false, "KELVCUS2.DBF",
       "ID:N:10 OWNER:N:10 CITY:N:10 COUNTRY:N:10 CATEGORY:N:1 COMPANY:C:40 ADDR1:C:40 ADDR2:C:40 "
       "PHONE1:C:20 PHONE2:C:20 FAX:C:20 BBS:C:20 EMAIL:C:100 BANKNAME:C:40 BANKACC:C:40 USER1:C:80 "
       "USER2:C:80 USER3:C:80 MEMO:M:10 LONG1:N:10 LONG2:N:10 LONG3:N:10 LONG4:N:10 CHAR1:C:40 "
       "CHAR2:C:40 CHAR3:C:40 CHAR4:C:40 DIRECTORY:C:250",
       28},
      {false, "KELVSUPP.DBF", "", 28},
      {false, "KELVPRO.DBF", "ID:N:10 NAME:C:40 CUST:N:10", 3},
      {false, "KELVCONT.DBF",
       "ID:N:10 COMPANY:N:10 TITLE:N:10 FNAME:C:20 LNAME:C:30 DPHONE:C:20 LPHONE:C:6 DFAX:C:20 "
       "HPHONE:C:20 MEMO:M:10",
       10},
      {false, "KELVCYC3.DBF", "ID:N:10 CONN:N:10 NAME:C:50", 3},
      {false, "KELVCYC4.DBF", "OWNER:N:10 PNUMBER:N:10 FLAG:N:10 DECI:N:10 AUTO:N:10 CODE:C:25 HINT:C:25 ID:N:10", 8},
      {false, "KELVMA.DBF", "ID:N:10 TYPE:N:10 NAME:C:20 DESC:C:40 PATH:C:100 MAZAK:L:1", 6},
      {false, "KELVMACR.DBF", "ID:N:10 CONN:N:10 NAME:C:30 MEMOSTR:M:10", 4},
      {false, "LOG00000.DBF", "ID:N:10 TYPE:N:10 STAT:N:10 TEXT:C:200 DATE:D:8", 5},
      {false, "LOG00002.DBF",
       "ID:N:10 TYPE:N:10 PROGRAM:N:10 REVISION:N:10 TEXT:C:50 DATE:D:8 MEMO:M:10 REASON01:N:10 "
       "REASON02:N:10 REASON03:N:10 USERNAME:C:50 TIME:C:5 SEND:N:10",
       13},
      {false, "LOG00004.DBF", "ID:N:10 TYPE:N:10 NAME:C:50", 3},
      {false, "PT000001.DBF", "PROG:N:10 DESCRIPT:C:30 FILENAME:C:250 MEMO:M:10", 4},
      {true, "KELVDATA.DBF",
       "VERSION:N:3 ID:N:10 F03:C:40 F04:C:200 F05:C:200 F06:C:200 F07:C:200 LOCAL:N:1 AUTO:N:1 "
       "F10:C:200 F11:C:200 F12:C:200 F13:C:200 F14:C:200 F15:C:200 F16:C:200 F17:C:200 F18:C:50 "
       "F19:C:50 F20:C:3 F21:L:1 F22:C:200 F23:C:50 F24:C:50 F25:C:3 F26:L:1 F27:L:1",
       27},
      {true, "AUTOIMP.DBF",
       "ID:N:10 METHOD:N:10 TIMEOUT:N:10 MACHINE:N:10 CUSTOMER:N:10 PROJECT:N:10 MACH:C:25 NAME:C:25 "
       "PATH:C:200 MEPA:C:200 EXT:C:3 MEMO:C:3 FILEMASK:C:8 PROGID:C:40 REPLACE:L:1 RUN:L:1 BACKUP:L:1 "
       "EXPAND:L:1 EXWITH:C:2 MINDESC:L:1",
       20},
      {true, "KELVCOMM.DBF", "", 168},
  };
}

class RebuildTest : public DbTest {
 public:
  std::string PathOf(bool alternate, const std::string& file) const {
    return Root() + (alternate ? "/alt/" : "/db/") + file;
  }
  void RunBoth() {
    Globals->CreateDatabaseFiles();
    Globals->RebuildDatabase();
  }
  // Every byte of every file of the database and alternate directories.
  std::map<std::string, std::string> Snapshot() const {
    std::map<std::string, std::string> files;
    for (const char* dir : {"db", "alt"})
      for (const auto& e : fs::directory_iterator(Root() + "/" + dir))
        if (e.is_regular_file()) files[e.path().string()] = kvdb::ReadFileBytes(e.path().string());
    return files;
  }
  // "NAME:T:LEN ..." as the peer prints it, without the row count.
  std::string PeerFields(const std::string& path) {
    std::string s = kvdb::PeerLayout(Root(), path);
    size_t bar = s.find(" | ");
    return bar == std::string::npos ? "peer failed: " + s : s.substr(0, bar);
  }
};

TEST_F(RebuildTest, EmptyDatabaseGetsEveryTableAndASecondRunChangesNothing) {
  Globals->AutoImportEdit = 1;
  RunBoth();
  for (const auto& e : EditorModeFiles()) {
    std::string path = PathOf(e.alternate, e.file);
    ASSERT_TRUE(fs::exists(path)) << path;
    std::string fields = PeerFields(path);
    if (!e.fields.empty()) {
      EXPECT_EQ(fields, e.fields) << e.file;
    }
    EXPECT_EQ(std::count(fields.begin(), fields.end(), ':'), 2 * e.count) << e.file;
  }
  EXPECT_FALSE(fs::exists(PathOf(true, "KELVMD32.DBF")));
  EXPECT_FALSE(fs::exists(PathOf(true, "TRAMOX01.DBF")));
  EXPECT_EQ(Rows(PathOf(false, "KELVINDX.DBF")).size(), 5u);  // counters ready

  auto before = Snapshot();
  RunBoth();
  EXPECT_EQ(Snapshot(), before);
  EXPECT_TRUE(plat::message_box_log().empty());
}

TEST_F(RebuildTest, StationModeMakesTheServerPortFiles) {
  Globals->DncStationMode = 1;
  RunBoth();
  EXPECT_EQ(PeerFields(PathOf(true, "TRAMOX01.DBF")), Tramox());
  std::string ports = PeerFields(PathOf(true, "KELVMD32.DBF"));
  EXPECT_EQ(std::count(ports.begin(), ports.end(), ':'), 2 * 168);
  EXPECT_FALSE(fs::exists(PathOf(true, "KELVCOMM.DBF")));
  auto before = Snapshot();
  RunBoth();
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(RebuildTest, ASetupSheetTableThatCannotBeMadeFailsTheRun) {
  for (const char* name : {"SS000002.DBF", "SS000005.DBF"}) {
    SCOPED_TRACE(name);
    RunBoth();
    fs::remove(PathOf(false, name));
    for (const char* ext : {"MDX", "DBT"}) fs::remove(PathOf(false, std::string(name).replace(9, 3, ext)));
    fs::create_directory(PathOf(false, name));  // in the way of the file
    EXPECT_EQ(Globals->RebuildDatabase(), 0);
    fs::remove(PathOf(false, name));
    EXPECT_EQ(Globals->RebuildDatabase(), 1);
  }
}

// An old file made of the first `n` fields of the current layout (as the
// table's own Create writes it), with two live rows and a deleted one.
class OldLayoutTest : public RebuildTest {
 public:
  template <class Table>
  void MakeOld(bool alternate, const char* file, int n, int idBase = 10) {
    std::string scratch = Root() + "/layout_" + file;
    {
      Table t(file, alternate, 0);
      t.Create(scratch.c_str());
    }
    DbDataFile* cur = data_open(DbContext, scratch.c_str());
    ASSERT_NE(cur, nullptr);
    FieldInfoList fields(cur);
    TagInfoList tags(cur);
    data_close(cur);
    for (int i = fields.count() - 1; i >= n; i--) fields.delAt(i);
    for (int i = tags.count() - 1; i >= 0; i--) tags.delAt(i);
    MakeRows(PathOf(alternate, file), fields, tags, idBase);
  }
  void MakeRows(const std::string& path, const FieldInfoList& fields, const TagInfoList& tags, int idBase = 10) {
    DbContext->safety = 0;
    DbDataFile* d = data_create(DbContext, path.c_str(), fields.fields(), tags.tags());
    DbContext->safety = 1;
    ASSERT_NE(d, nullptr) << path;
    for (int row = 1; row <= 3; row++) {
      ASSERT_EQ(data_append_start(d, 0), 0);
      data_blank(d);
      for (int i = 0; i < fields.count(); i++) {
        const DbFieldInfo& f = fields[i];
        std::string value = f.type == 'N'   ? (i == 0 ? std::to_string(idBase + row) : "7")
                            : f.type == 'L' ? "T"
                            : f.type == 'D' ? "19980305"
                                            : "t" + std::to_string(row);
        if (f.type == 'M') {
          FieldRefMemo m(d, i + 1);
          m.assign(("memo " + std::to_string(row)).c_str());
        } else {
          FieldRef r(d, i + 1);
          r.assign(value.c_str());
        }
      }
      if (row == 2) data_delete(d);
      ASSERT_EQ(data_append(d), 0);
    }
    ASSERT_EQ(data_close(d), 0);
  }
  // Live rows as (first field, count of fields).
  std::vector<std::string> LiveFirstFields(const std::string& path) {
    std::vector<std::string> out;
    for (const auto& r : Rows(path))
      if (r[0] == " ") out.push_back(r[1]);
    return out;
  }
};

TEST_F(OldLayoutTest, OlderLayoutsKeepEveryLiveRow) {
  Globals->AutoImportEdit = 1;
  struct Case {
    bool alternate;
    const char* file;
    int n;
    std::function<void(OldLayoutTest&)> make;
    bool idsKept;  // profiles are renumbered by their upgrade
    int current;   // fields of the current layout
  };
  auto fileTable = [](const char* file, int n) {
    return [file, n](OldLayoutTest& t) { t.MakeOld<TcbFileTable>(false, file, n); };
  };
  std::vector<Case> cases = {
      {false, "KELVFILE.DBF", 15, fileTable("KELVFILE.DBF", 15), true, 19},
      {false, "KELVBACK.DBF", 17, fileTable("KELVBACK.DBF", 17), true, 19},
      {false, "KELVDNCT.DBF", 18, fileTable("KELVDNCT.DBF", 18), true, 19},
      {false, "KELVDNCF.DBF", 15, fileTable("KELVDNCF.DBF", 15), true, 19},
      {false, "KELVLOCK.DBF", 17, fileTable("KELVLOCK.DBF", 17), true, 19},
      {false, "KELVAUTO.DBF", 18, fileTable("KELVAUTO.DBF", 18), true, 19},
      {false, "LOG00003.DBF", 15, fileTable("LOG00003.DBF", 15), true, 19},
      {false, "LOG00002.DBF", 10, [](OldLayoutTest& t) { t.MakeOld<TLog00002Table>(false, "LOG00002.DBF", 10); }, true, 13},
      {false, "KELVMA.DBF", 5, [](OldLayoutTest& t) { t.MakeOld<TcbMachTable>(false, "KELVMA.DBF", 5); }, true, 6},
      {false, "KELVMACR.DBF", 6,
       [](OldLayoutTest& t) {
         FieldInfoList f(DbContext);
         f.add("ID", 'N', 10, 0);
         f.add("CONN", 'N', 10, 0);
         f.add("NAME", 'C', 30, 0);
         f.add("KIND", 'N', 10, 0);
         f.add("NOTE", 'C', 20, 0);
         f.add("TEXT", 'M', 0, 0);
         TagInfoList g(DbContext);
         t.MakeRows(t.PathOf(false, "KELVMACR.DBF"), f, g);
       },
       true, 4},
      {true, "AUTOIMP.DBF", 17, [](OldLayoutTest& t) { t.MakeOld<TcbAutoImpTable>(true, "AUTOIMP.DBF", 17); }, true, 20},
      {true, "KELVCOMM.DBF", 124, [](OldLayoutTest& t) { t.MakeOld<TMultiDncTable>(true, "KELVCOMM.DBF", 124, -1); }, true, 168},
      {true, "KELVDATA.DBF", 26, [](OldLayoutTest& t) { t.MakeOld<TcbDataTable>(true, "KELVDATA.DBF", 26); }, false, 27},
  };
  for (auto& c : cases) c.make(*this);
  RunBoth();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    std::string path = PathOf(c.alternate, c.file);
    std::vector<std::string> live = LiveFirstFields(path);
    // The port files are filled up to their 64 slots behind the old rows.
    ASSERT_EQ(live.size(), c.file == std::string("KELVCOMM.DBF") ? 63u : 2u);
    bool slots = c.file == std::string("KELVCOMM.DBF");  // port slots count from 0
    if (c.idsKept) {
      EXPECT_EQ(std::vector<std::string>(live.begin(), live.begin() + 2),
                (std::vector<std::string>{slots ? "0" : "11", slots ? "2" : "13"}));
    }
    DbDataFile* d = data_open(DbContext, path.c_str());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(data_num_fields(d), c.current);
    data_close(d);
  }
  // The macro text moved from the old memo field into MEMOSTR.
  auto macros = Rows(PathOf(false, "KELVMACR.DBF"));
  EXPECT_EQ(macros[0][4], "memo 1");
  auto versions = Rows(PathOf(false, "LOG00002.DBF"));
  EXPECT_EQ(versions[0][6], "19980305");  // a version keeps its day
  EXPECT_EQ(versions[0][7], "memo 1");
  EXPECT_TRUE(plat::message_box_log().empty());
}

}  // namespace
