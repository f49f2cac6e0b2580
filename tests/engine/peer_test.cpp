// Files written by the engine read to the same values by independent readers
// from Debian's packages (Perl's XBase, python3-dbfread, LibreOffice), and
// files those tools write read to the same values by the engine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "engine/data.h"
#include "engine/engine_api.h"
#include "engine/memo.h"
#include "engine_fixture.h"

namespace {

using kvtest::QuietEngine;
using kvtest::ScratchDir;

const std::string kPeers = std::string(KV_SOURCE_DIR) + "/tests/engine/peers/";

struct Row {
  char kind;  // '0'/'1' deleted flag from XBase, 'L'/'D' from dbfread
  std::vector<std::string> values;
  std::vector<bool> present;
};

std::string unhex(const std::string& h) {
  std::string s;
  for (size_t i = 0; i + 1 < h.size(); i += 2) s += static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16));
  return s;
}

std::vector<Row> parse(const std::string& out) {
  std::vector<Row> rows;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("version", 0) == 0 || line.empty()) continue;
    Row r;
    std::istringstream cols(line);
    std::string col;
    std::getline(cols, col, '\t');
    r.kind = col[0];
    while (std::getline(cols, col, '\t')) {
      r.present.push_back(col != "-");
      r.values.push_back(col == "-" ? "" : unhex(col));
    }
    rows.push_back(r);
  }
  return rows;
}

std::string rtrim(std::string s) {
  s.erase(s.find_last_not_of(' ') + 1);
  return s;
}

std::string trim(std::string s) {
  s = rtrim(s);
  s.erase(0, s.find_first_not_of(' '));
  return s;
}

bool peer_true(const std::string& v) { return v == "1" || v == "T" || v == "Y"; }

// The records the engine writes for the readers.
struct Expected {
  std::string name;
  double qty;
  std::string born;  // CCYYMMDD or empty
  bool ok;
  std::string note;
  bool deleted;
};

std::string memo_text(size_t n, int seed) {
  std::string s(n, ' ');
  for (size_t i = 0; i < n; i++) s[i] = static_cast<char>('A' + (i * 7 + seed) % 26);
  if (n > 40) s[n / 2] = '\n';
  return s;
}

std::vector<Expected> expected_rows() {
  // The 504-byte text first: Perl's XBase misreads one in the file's last block.
  const size_t sizes[] = {504, 0, 1, 511, 512, 513, 70000, 5};
  std::vector<Expected> rows;
  for (int i = 0; i < 8; i++) {
    char born[9] = {};
    std::snprintf(born, sizeof born, "%04d%02d%02d", 1990 + i * 3, 1 + i, 10 + i);
    rows.push_back({kvtest::numbered("rec", i), i * 1.25 - 3, i == 2 ? "" : born, i % 2 == 0,
                    memo_text(sizes[i], i), i % 3 == 1});
  }
  return rows;
}

// Rewrites after the appends: one memo grows, one shrinks, each into new
// blocks with its old ones handed back, so the readers also meet the free
// chain's runs beside the texts.
const std::pair<long, size_t> kRewrites[] = {{4, 1200}, {6, 20}};

std::vector<Expected> final_rows() {
  auto rows = expected_rows();
  for (auto [rec, size] : kRewrites) rows[rec - 1].note = memo_text(size, 40 + static_cast<int>(rec));
  return rows;
}

std::string write_engine_table(const ScratchDir& dir) {
  QuietEngine c;
  const DbFieldInfo fields[] = {{"NAME", 'C', 20, 0}, {"QTY", 'N', 8, 2}, {"BORN", 'D', 0, 0},
                                {"OK", 'L', 0, 0},    {"NOTE", 'M', 0, 0}, {nullptr, 0, 0, 0}};
  std::string name = dir.file("PEER.DBF");
  DbDataFile* d = data_create(&c, name.c_str(), fields, nullptr);
  EXPECT_NE(d, nullptr);
  for (const auto& e : expected_rows()) {
    EXPECT_EQ(data_append_start(d, 0), 0);
    data_blank(d);
    field_assign(data_field_at(d, 1), e.name.c_str());
    field_assign_double(data_field_at(d, 2), e.qty);
    field_assign(data_field_at(d, 3), e.born.c_str());
    field_assign_char(data_field_at(d, 4), e.ok ? 'T' : 'F');
    memo_field_assign(data_field_at(d, 5), e.note.data(), static_cast<unsigned>(e.note.size()));
    if (e.deleted) data_delete(d);
    EXPECT_EQ(data_append(d), 0);
  }
  for (auto [rec, size] : kRewrites) {
    EXPECT_EQ(data_go(d, rec), 0);
    std::string note = memo_text(size, 40 + static_cast<int>(rec));
    memo_field_assign(data_field_at(d, 5), note.data(), static_cast<unsigned>(note.size()));
    EXPECT_EQ(data_write(d, rec), 0);
  }
  EXPECT_EQ(data_close(d), 0);
  return name;
}

TEST(Peers, EngineTablesReadByPerlXBase) {
  ScratchDir dir;
  std::string name = write_engine_table(dir);
  int status = 0;
  auto rows = parse(kvtest::run_command("/usr/bin/perl " + kPeers + "xbase_dump.pl " + name, &status));
  ASSERT_EQ(status, 0);
  auto want = final_rows();
  ASSERT_EQ(rows.size(), want.size());
  for (size_t i = 0; i < want.size(); i++) {
    const Row& r = rows[i];
    const Expected& e = want[i];
    ASSERT_EQ(r.values.size(), 5u);
    EXPECT_EQ(r.kind == '1', e.deleted) << i;
    EXPECT_EQ(rtrim(r.values[0]), e.name) << i;
    EXPECT_DOUBLE_EQ(std::atof(r.values[1].c_str()), e.qty) << i;
    EXPECT_EQ(rtrim(r.values[2]), e.born) << i;
    EXPECT_EQ(peer_true(r.values[3]), e.ok) << i;
    EXPECT_EQ(r.values[4], e.note) << "memo of " << e.note.size() << " bytes";
  }
}

TEST(Peers, EngineTablesReadByDbfread) {
  ScratchDir dir;
  std::string name = write_engine_table(dir);
  int status = 0;
  auto rows = parse(kvtest::run_command("/usr/bin/python3 " + kPeers + "dbfread_dump.py " + name, &status));
  ASSERT_EQ(status, 0);
  // Live records come first, then the deleted ones, each in file order.
  std::vector<Expected> want;
  for (bool deleted : {false, true})
    for (const auto& e : final_rows())
      if (e.deleted == deleted) want.push_back(e);
  ASSERT_EQ(rows.size(), want.size());
  for (size_t i = 0; i < want.size(); i++) {
    const Row& r = rows[i];
    const Expected& e = want[i];
    ASSERT_EQ(r.values.size(), 5u);
    EXPECT_EQ(r.kind == 'D', e.deleted) << i;
    EXPECT_EQ(r.values[0], e.name) << i;
    EXPECT_DOUBLE_EQ(std::atof(r.values[1].c_str()), e.qty) << i;
    EXPECT_EQ(r.values[2], e.born) << i;
    EXPECT_EQ(r.values[3] == "T", e.ok) << i;
    // This reader takes 8 bytes too many from a dBASE IV memo entry.
    EXPECT_EQ(r.values[4].substr(0, e.note.size()), e.note) << e.note.size();
    EXPECT_LE(r.values[4].size(), e.note.size() + 8) << e.note.size();
  }
}

// LibreOffice looks for the memo file of "t.dbf" under "t.dbt": a table
// created under a lower-case name shows every memo there, as dbfread reads it.
TEST(Peers, LibreOfficeReadsEveryMemoOfATableNamedInLowerCase) {
  ScratchDir dir;
  QuietEngine c;
  const DbFieldInfo fields[] = {{"ID", 'N', 6, 0}, {"NAME", 'C', 20, 0}, {"NOTE", 'M', 0, 0}, {nullptr, 0, 0, 0}};
  const DbTagInfo tags[] = {{"ID", "ID", nullptr, 0, 0}, {nullptr, nullptr, nullptr, 0, 0}};
  std::string name = dir.file("t.dbf");
  DbDataFile* d = data_create(&c, name.c_str(), fields, tags);
  ASSERT_NE(d, nullptr) << code_error_get(&c);
  const size_t sizes[] = {1, 100, 504, 505, 1200, 3000, 0};
  std::vector<std::string> notes;
  for (int i = 0; i < 300; i++) {
    notes.push_back(memo_text(sizes[i % 7], i));
    ASSERT_EQ(data_append_start(d, 0), 0);
    data_blank(d);
    field_assign_long(data_field_at(d, 1), i + 1);
    field_assign(data_field_at(d, 2), kvtest::numbered("row ", i + 1).c_str());
    memo_field_assign(data_field_at(d, 3), notes.back().data(), static_cast<unsigned>(notes.back().size()));
    ASSERT_EQ(data_append(d), 0);
  }
  ASSERT_EQ(data_close(d), 0);

  int status = 0;
  std::string out = kvtest::run_command(
      "soffice -env:UserInstallation=file://" + dir.file("office") +
          " --headless --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76,1' --outdir " +
          dir.file("csv") + " " + name + " 2>&1",
      &status);
  ASSERT_EQ(status, 0) << out;
  auto office = parse(kvtest::run_command("/usr/bin/python3 " + kPeers + "csv_dump.py " + dir.file("csv/t.csv"), &status));
  ASSERT_EQ(status, 0);
  auto dbfread = parse(kvtest::run_command("/usr/bin/python3 " + kPeers + "dbfread_dump.py " + name, &status));
  ASSERT_EQ(status, 0);
  ASSERT_EQ(office.size(), notes.size());
  ASSERT_EQ(dbfread.size(), notes.size());
  for (size_t i = 0; i < notes.size(); i++) {
    auto o = office[i].values;
    const auto& r = dbfread[i].values;
    ASSERT_LE(o.size(), 3u);
    o.resize(3);  // a row's empty cells at its end are left out
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(std::atol(o[0].c_str()), std::atol(r[0].c_str())) << i;
    EXPECT_EQ(o[1], r[1]) << i;
    EXPECT_EQ(o[2], notes[i]) << "memo of row " << i + 1;
    // dbfread's 8 bytes too many (above).
    EXPECT_EQ(r[2].substr(0, o[2].size()), o[2]) << "memo of row " << i + 1;
  }
}

std::vector<std::vector<std::string>> engine_rows(DB_ENGINE* c, const std::string& name,
                                                  std::vector<bool>* deleted) {
  std::vector<std::vector<std::string>> rows;
  DbDataFile* d = data_open(c, name.c_str());
  EXPECT_NE(d, nullptr) << code_error_get(c);
  if (!d) return rows;
  for (int rc = data_top(d); rc == 0; rc = data_skip(d, 1)) {
    std::vector<std::string> row;
    for (int f = 1; f <= data_num_fields(d); f++) {
      DbField* fld = data_field_at(d, f);
      if (field_type(fld) == 'M')
        row.emplace_back(FieldRefMemo(fld).ptr(), FieldRefMemo(fld).len());
      else
        row.push_back(trim(field_str(fld)));
    }
    rows.push_back(row);
    deleted->push_back(data_is_deleted(d));
  }
  EXPECT_EQ(data_close(d), 0);
  return rows;
}

TEST(Peers, PerlXBaseTablesReadByEngine) {
  ScratchDir dir;
  int status = 0;
  kvtest::run_command("/usr/bin/perl " + kPeers + "xbase_write.pl " + dir.file("perl"), &status);
  ASSERT_EQ(status, 0);
  QuietEngine c;
  std::vector<bool> deleted;
  auto rows = engine_rows(&c, dir.file("perl.dbf"), &deleted);
  std::string long_note;
  for (int i = 0; i < 2000; i++) long_note += static_cast<char>(32 + i % 90);
  const std::vector<std::vector<std::string>> want = {
      {"alpha", "1.50", "19991231", "T", "hello memo"},
      {"beta", "-2.00", "", "F", std::string(600, 'x')},
      {"gamma", "12345.67", "20000229", "T", ""},
      {"delta", "0.00", "19700101", "", long_note},  // an unset logical: whatever XBase stores
  };
  ASSERT_EQ(rows.size(), want.size());
  for (size_t i = 0; i < want.size(); i++) {
    for (size_t f = 0; f < 5; f++)
      if (f != 3 || !want[i][f].empty()) {
        EXPECT_EQ(rows[i][f], want[i][f]) << i << "/" << f;
      }
  }
  EXPECT_EQ(deleted, (std::vector<bool>{false, true, false, false}));
}

TEST(Peers, PythonDbfTablesReadByEngine) {
  ScratchDir dir;
  int status = 0;
  kvtest::run_command("/usr/bin/python3 " + kPeers + "dbf_write.py " + dir.file("py3.dbf"), &status);
  ASSERT_EQ(status, 0);
  QuietEngine c;
  std::vector<bool> deleted;
  auto rows = engine_rows(&c, dir.file("py3.dbf"), &deleted);
  const std::vector<std::vector<std::string>> want = {
      {"alpha", "1.50", "19991231", "T"},
      {"beta", "-2.00", "", "F"},
      {"gamma", "12345.67", "20000229", "T"},
  };
  EXPECT_EQ(rows, want);
  EXPECT_EQ(deleted, (std::vector<bool>{false, true, false}));
}

// dBASE III memo texts have no entry head: each runs to its 0x1A.
TEST(Peers, PythonDbfDbase3MemosReadByEngine) {
  ScratchDir dir;
  int status = 0;
  kvtest::run_command("/usr/bin/python3 " + kPeers + "dbf_write_memo.py " + dir.file("memo3.dbf"), &status);
  ASSERT_EQ(status, 0);
  QuietEngine c;
  c.read_only = 1;
  std::vector<bool> deleted;
  auto rows = engine_rows(&c, dir.file("memo3.dbf"), &deleted);
  std::string long_note;
  for (int i = 0; i < 1500; i++) long_note += static_cast<char>(32 + i % 90);
  const std::vector<std::vector<std::string>> want = {{"short", "first memo\r\nline two"},
                                                      {"none", ""},
                                                      {"long", long_note},
                                                      {"gone", "deleted memo"},
                                                      {"last", "at the end"}};
  EXPECT_EQ(rows, want);
  EXPECT_EQ(deleted, (std::vector<bool>{false, false, false, true, false}));
  EXPECT_EQ(code_error_get(&c), 0);
}

std::string sha1(const ScratchDir& dir, const std::string& text) {
  std::string f = dir.file("memo.bin");
  kvtest::write_bytes(f, std::vector<unsigned char>(text.begin(), text.end()));
  return kvtest::run_command("sha1sum " + f).substr(0, 40);
}

TEST(Peers, RealWorldDbase4TableWithMemos) {
  ScratchDir dir;
  const std::string base = std::string(KV_FIXTURES_DIR) + "/dbase4-realworld/";
  std::ifstream dump(base + "dbase_8b.dump.txt");
  ASSERT_TRUE(dump) << "fixture missing";
  std::vector<std::vector<std::string>> want;
  std::string line;
  while (std::getline(dump, line)) {
    if (line.rfind("rec ", 0) != 0) continue;
    std::string values = line.substr(line.find(" - ") + 3);
    std::vector<std::string> row;
    std::istringstream in(values);
    std::string v;
    while (std::getline(in, v, '|')) row.push_back(v);
    want.push_back(row);
  }
  ASSERT_EQ(want.size(), 10u);

  QuietEngine c;
  c.read_only = 1;  // the fixture files are not ours to change
  std::vector<bool> deleted;
  auto rows = engine_rows(&c, base + "dbase_8b.dbf", &deleted);
  ASSERT_EQ(rows.size(), want.size());
  for (size_t i = 0; i < want.size(); i++) {
    const auto& r = rows[i];
    const auto& w = want[i];
    EXPECT_EQ(r[0], w[0]) << i;
    EXPECT_EQ(r[1], w[1]) << i;
    EXPECT_EQ(r[2], w[2]) << i;
    // The dump shows true as T and an unset logical as "?".
    std::string logical = r[3] == "Y" || r[3] == "y" || r[3] == "T" || r[3] == "t" ? "T"
                          : r[3].empty()                                      ? "?"
                                                                              : r[3];
    EXPECT_EQ(logical, w[3]) << i;
    if (w[4].empty()) {
      EXPECT_EQ(r[4], "") << i;
    } else {
      EXPECT_DOUBLE_EQ(std::atof(r[4].c_str()), std::atof(w[4].c_str())) << i;
    }
    std::string memo = w[5];
    EXPECT_EQ(std::to_string(r[5].size()) + ":" + sha1(dir, r[5]), memo) << i;
    EXPECT_FALSE(deleted[i]);
  }
}

}  // namespace
