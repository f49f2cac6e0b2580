// Tables of Free Pascal's TDbf, a peer that keeps the keys of its indexes in
// its own order: numbers by their stored bytes (zero after 0.05), characters
// by the collation of the table's language driver (0x58 folds case). The
// engine walks every tag of them to the same keys and records as Perl's MDX
// reader and TDbf itself, appends to them and rewrites their rows, and both
// peers read the result. A table of ours that TDbf appended to is walked the
// same way. TDbf writes its tables in the tests; two it wrote before, with
// Perl's reads of them, lie in the fixtures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "engine/data.h"
#include "engine/engine_api.h"
#include "engine/index.h"
#include "engine/memo.h"
#include "engine_fixture.h"

namespace {

namespace fs = std::filesystem;
using kvtest::QuietEngine;
using kvtest::ScratchDir;

const std::string kPeers = std::string(KV_SOURCE_DIR) + "/tests/engine/peers/";
const char* const kTags[] = {"ID", "NAME", "UNAME", "PRICE", "BORN"};

// A peer's standard output; its messages go to the test's log.
std::string run(const std::string& cmd) {
  int status = 0;
  std::string out = kvtest::run_command(cmd, &status);
  EXPECT_EQ(status, 0) << cmd;
  return out;
}

std::vector<std::string> lines(const std::string& s) {
  std::vector<std::string> v;
  std::istringstream in(s);
  for (std::string l; std::getline(in, l);) v.push_back(l);
  return v;
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

std::string hex(const unsigned char* p, int n) {
  std::string s;
  char b[3];
  for (int i = 0; i < n; i++) {
    std::snprintf(b, sizeof b, "%02x", p[i]);
    s += b;
  }
  return s;
}

// TDbf's program, built once for the run; a missing compiler fails.
const std::string& tdbf() {
  static ScratchDir dir;
  static std::string program = [] {
    std::string exe = dir.file("tdbf_peer");
    run("fpc -v0 -FU" + dir.path().string() + " -o" + exe + " " + kPeers + "tdbf_peer.pas");
    return exe;
  }();
  EXPECT_TRUE(fs::exists(program)) << "fpc with fp-units-db is needed";
  return program;
}

using Walk = std::vector<std::pair<std::string, long>>;  // hex key, record

// The tag's keys and records as the engine walks them with the tag
// selected; backward walks come back in forward order.
Walk engine_walk(DbDataFile* d, const char* name, bool backward = false) {
  Walk w;
  DbTag* t = data_tag_find(d, name);
  EXPECT_NE(t, nullptr) << name;
  if (!t) return w;
  data_tag_select(d, t);
  long cap = 100000;
  for (int rc = backward ? data_bottom(d) : data_top(d); rc == 0 && cap-- > 0;
       rc = data_skip(d, backward ? -1 : 1)) {
    unsigned char* k = tag_key(t);
    EXPECT_NE(k, nullptr);
    if (!k) break;
    w.emplace_back(hex(k, t->header.key_len), data_recno(d));
  }
  EXPECT_EQ(code_error_get(d->context), 0) << name << (backward ? " backward" : " forward");
  data_tag_select(d, nullptr);
  if (backward) std::reverse(w.begin(), w.end());
  return w;
}

// Every tag as Perl's XBase::Index walks it.
std::map<std::string, Walk> perl_walks(const std::string& mdx) {
  std::string cmd = "/usr/bin/perl " + kPeers + "mdx_walk.pl " + mdx;
  for (const char* t : kTags) cmd += std::string(" ") + t;
  std::map<std::string, Walk> walks;
  for (const auto& l : lines(run(cmd))) {
    std::istringstream in(l);
    std::string tag, key;
    long rec = 0;
    in >> tag >> key >> rec;
    walks[tag].emplace_back(key, rec);
  }
  return walks;
}

std::vector<long> records(const Walk& w) {
  std::vector<long> v;
  for (const auto& e : w) v.push_back(e.second);
  return v;
}

std::vector<long> tdbf_walk(const std::string& dbf, const char* tag) {
  std::vector<long> v;
  for (const auto& l : lines(run(tdbf() + " walk " + dbf + " " + tag))) v.push_back(std::stol(l));
  return v;
}

// A field as the peers print it: names keep their leading blanks.
std::string value(DbDataFile* d, const char* field) {
  std::string s = field_str(data_field_named(d, field));
  return std::strcmp(field, "NAME") == 0 ? rtrim(s) : trim(s);
}

// Each row as "number|ID|NAME|PRICE|BORN|NOTES", the form TDbf prints.
std::vector<std::string> engine_rows(DbDataFile* d) {
  std::vector<std::string> v;
  data_tag_select(d, nullptr);
  for (int rc = data_top(d); rc == 0; rc = data_skip(d, 1)) {
    std::string row = std::to_string(data_recno(d));
    for (const char* f : {"ID", "NAME", "PRICE", "BORN"}) row += "|" + value(d, f);
    DbField* notes = data_field_named(d, "NOTES");
    row += "|" + std::string(FieldRefMemo(notes).ptr(), FieldRefMemo(notes).len());
    v.push_back(row);
  }
  return v;
}

// Every tag walked by the engine, both ways, as Perl reads it and in the
// records TDbf walks.
void expect_walks_agree(DbDataFile* d, const std::string& dbf, const std::string& mdx, long rows) {
  ASSERT_EQ(data_flush(d), 0);
  auto perl = perl_walks(mdx);
  for (const char* tag : kTags) {
    SCOPED_TRACE(tag);
    Walk ours = engine_walk(d, tag);
    EXPECT_EQ(long(ours.size()), rows) << "keys walked";
    EXPECT_EQ(ours, perl[tag]);
    EXPECT_EQ(engine_walk(d, tag, true), ours);
    EXPECT_EQ(tdbf_walk(dbf, tag), records(ours));
  }
}

// Rows the engine adds: names, numbers near zero and dates TDbf's rows do
// not have, memos of one and of several blocks.
void engine_append(DbDataFile* d, long first, long count) {
  for (long n = first; n < first + count; n++) {
    ASSERT_EQ(data_append_start(d, 0), 0);
    data_blank(d);
    field_assign_long(data_field_named(d, "ID"), n);
    field_assign(data_field_named(d, "NAME"), kvtest::numbered(n % 2 ? "engine " : "Engine ", n).c_str());
    field_assign_double(data_field_named(d, "PRICE"), n % 3 == 0 ? 0.0 : double(n % 41 - 20) / 100);
    char born[16];
    std::snprintf(born, sizeof born, "%04ld%02ld%02ld", 1900 + n % 150, 1 + n % 12, 1 + n % 28);
    field_assign(data_field_named(d, "BORN"), born);
    field_assign_char(data_field_named(d, "OK"), n % 2 ? 'T' : 'F');
    std::string note(size_t(n % 5 == 0 ? 700 : n % 7), char('a' + n % 26));
    memo_field_assign(data_field_named(d, "NOTES"), note.data(), unsigned(note.size()));
    ASSERT_EQ(data_append(d), 0) << code_error_get(d->context);
  }
}

// New names and prices for some rows: their old keys go wherever the peer
// put them, the new ones come in.
void engine_rewrite(DbDataFile* d, long rows) {
  for (long n = 3; n <= rows; n += 37) {
    ASSERT_EQ(data_go(d, n), 0);
    field_assign(data_field_named(d, "NAME"), kvtest::numbered("Renamed ", n).c_str());
    field_assign_double(data_field_named(d, "PRICE"), n % 2 ? 0.0 : 0.05);
    ASSERT_EQ(data_write(d, n), 0) << code_error_get(d->context);
  }
}

struct TdbfTables : ::testing::TestWithParam<int> {};

TEST_P(TdbfTables, WalkedAppendedAndRewrittenAsThePeersRead) {
  ScratchDir dir;
  run(tdbf() + " create " + dir.path().string() + " people " + std::to_string(GetParam()) + " 300");
  std::string dbf = dir.file("people.dbf"), mdx = dir.file("people.mdx");
  QuietEngine c;
  c.exclusive = 1;  // ours alone: a block that did not fit would be -310 at once
  DbDataFile* d = data_open(&c, dbf.c_str());
  ASSERT_NE(d, nullptr) << code_error_get(&c);
  EXPECT_EQ(kvtest::read_bytes(dbf)[29], GetParam()) << "language driver";
  expect_walks_agree(d, dbf, mdx, 300);
  engine_append(d, 301, 150);
  engine_rewrite(d, 450);
  std::vector<std::string> ours = engine_rows(d);
  ASSERT_EQ(data_close(d), 0);

  EXPECT_EQ(lines(run(tdbf() + " rows " + dbf)), ours);
  d = data_open(&c, dbf.c_str());
  ASSERT_NE(d, nullptr);
  expect_walks_agree(d, dbf, mdx, 450);
  data_close(d);
}

INSTANTIATE_TEST_SUITE_P(LanguageDrivers, TdbfTables, ::testing::Values(0, 0x58),
                         [](const auto& info) { return "driver_" + std::to_string(info.param); });

TEST(TdbfAppends, ToATableOfOurs) {
  ScratchDir dir;
  std::string dbf = dir.file("people.dbf"), mdx = dir.file("people.mdx");
  const DbFieldInfo fields[] = {{"ID", 'N', 10, 0},   {"NAME", 'C', 30, 0}, {"PRICE", 'N', 10, 2},
                                {"BORN", 'D', 8, 0},  {"OK", 'L', 1, 0},    {"NOTES", 'M', 10, 0},
                                {nullptr, 0, 0, 0}};
  const DbTagInfo tags[] = {{"ID", "ID", nullptr, 0, 0},
                            {"NAME", "NAME", nullptr, 0, 0},
                            {"UNAME", "UPPER(NAME)", nullptr, 0, 0},
                            {"PRICE", "PRICE", nullptr, 0, 0},
                            {"BORN", "DTOS(BORN)", nullptr, 0, 0},
                            {nullptr, nullptr, nullptr, 0, 0}};
  QuietEngine c;
  c.exclusive = 1;  // as above
  DbDataFile* d = data_create(&c, dbf.c_str(), fields, tags);
  ASSERT_NE(d, nullptr) << code_error_get(&c);
  engine_append(d, 1, 300);
  ASSERT_EQ(data_close(d), 0);
  // TDbf finds our memo and index files beside the table by their names.
  run(tdbf() + " append " + dbf + " 301 2000");
  d = data_open(&c, dbf.c_str());
  ASSERT_NE(d, nullptr) << code_error_get(&c);
  expect_walks_agree(d, dbf, mdx, 2300);
  engine_append(d, 2301, 100);
  std::vector<std::string> ours = engine_rows(d);
  ASSERT_EQ(data_close(d), 0);
  EXPECT_EQ(lines(run(tdbf() + " rows " + dbf)), ours);
  d = data_open(&c, dbf.c_str());
  ASSERT_NE(d, nullptr);
  expect_walks_agree(d, dbf, mdx, 2400);
  data_close(d);
}

// The tables TDbf wrote with drivers 0 and 0x58, as Perl's XBase read them:
// every row and memo, and every tag's keys and records in stored order.
struct FixtureKey {
  long rec;
  std::string key;  // character keys without trailing blanks, others in hex
};

std::map<std::string, std::vector<FixtureKey>> fixture_tags(const std::string& file) {
  std::map<std::string, std::vector<FixtureKey>> tags;
  std::ifstream in(file);
  std::string line, tag;
  while (std::getline(in, line)) {
    if (line.rfind("tag ", 0) == 0) {
      tag = line.substr(4, line.find(' ', 4) - 4);
      tags[tag];
    } else if (line.rfind("key ", 0) == 0) {
      std::istringstream f(line);
      std::string word;
      long n, rec;
      f >> word >> n >> word >> rec;
      std::string rest;
      std::getline(f, rest);
      size_t open = rest.find('[');
      std::string key = open != std::string::npos
                            ? rest.substr(open + 1, rest.find(']') - open - 1)
                            : rest.substr(rest.find('"') + 1, rest.rfind('"') - rest.find('"') - 1);
      tags[tag].push_back({rec, key});
    }
  }
  return tags;
}

class PeerWrittenFixtures : public ::testing::TestWithParam<const char*> {};

TEST_P(PeerWrittenFixtures, EveryTagWalksAsPerlReadsIt) {
  fs::path from = fs::path(KV_FIXTURES_DIR) / "peer-written" / GetParam();
  ASSERT_TRUE(fs::exists(from / "PEOPLE.mdx.perl.txt")) << "fixture missing: " << from;
  ScratchDir dir;
  for (const char* f : {"PEOPLE.DBF", "PEOPLE.dbt", "PEOPLE.mdx"}) {
    ASSERT_TRUE(fs::exists(from / f)) << "fixture missing: " << f;
    fs::copy_file(from / f, dir.path() / f);
  }
  auto want = fixture_tags((from / "PEOPLE.mdx.perl.txt").string());
  ASSERT_EQ(want.size(), 5u);
  QuietEngine c;
  DbDataFile* d = data_open(&c, dir.file("PEOPLE.DBF").c_str());
  ASSERT_NE(d, nullptr) << code_error_get(&c);
  for (const auto& [name, keys] : want) {
    SCOPED_TRACE(name);
    DbTag* t = data_tag_find(d, name.c_str());
    ASSERT_NE(t, nullptr);
    Walk ours = engine_walk(d, name.c_str());
    ASSERT_EQ(ours.size(), keys.size()) << "keys walked";
    for (size_t i = 0; i < keys.size(); i++) {
      std::string key = ours[i].first;
      if (t->header.key_type == 'C') {
        std::string text;
        for (size_t k = 0; k + 1 < key.size(); k += 2) text += char(std::stoi(key.substr(k, 2), nullptr, 16));
        key = rtrim(text);
      }
      EXPECT_EQ(ours[i].second, keys[i].rec) << "key " << i + 1;
      EXPECT_EQ(key, keys[i].key) << "key " << i + 1;
    }
    EXPECT_EQ(engine_walk(d, name.c_str(), true), ours);
  }

  // The rows: "rec N <flag> ID|NAME|PRICE|BORN|OK|length:sha1@block".
  std::ifstream rows(from / "PEOPLE.xbase.txt");
  std::vector<std::string> want_rows;
  for (std::string l; std::getline(rows, l);)
    if (l.rfind("rec ", 0) == 0) want_rows.push_back(l);
  ASSERT_EQ(want_rows.size(), 300u);
  std::vector<std::string> got;
  for (long n = 1; n <= 300; n++) {
    ASSERT_EQ(data_go(d, n), 0);
    std::string row = "rec " + std::to_string(n) + (data_is_deleted(d) ? " * " : " - ");
    for (const char* f : {"ID", "NAME", "PRICE", "BORN"}) row += value(d, f) + "|";
    char ok = *field_str(data_field_named(d, "OK"));
    row += ok && std::strchr("TtYy", ok) ? "T|" : ok && std::strchr("FfNn", ok) ? "F|" : "?|";
    DbField* notes = data_field_named(d, "NOTES");
    std::string memo(FieldRefMemo(notes).ptr(), FieldRefMemo(notes).len());
    kvtest::write_bytes(dir.file(kvtest::numbered("memo.", n)), std::vector<unsigned char>(memo.begin(), memo.end()));
    got.push_back(row + std::to_string(memo.size()) + ":");
  }
  data_close(d);
  // "<sha1>  <dir>/memo.<n>", in the order of the names given.
  std::string names;
  for (long n = 1; n <= 300; n++) names += " " + dir.file(kvtest::numbered("memo.", n));
  std::vector<std::string> sums = lines(run("sha1sum" + names));
  ASSERT_EQ(sums.size(), got.size());
  for (size_t i = 0; i < got.size(); i++)
    EXPECT_EQ(got[i] + sums[i].substr(0, 40), want_rows[i].substr(0, want_rows[i].rfind('@')));
}

INSTANTIATE_TEST_SUITE_P(Drivers, PeerWrittenFixtures, ::testing::Values("lang0", "lang58"));

}  // namespace
