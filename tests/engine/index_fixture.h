// A parts table with a production index for the index tests: an id, a name
// long enough to make deep trees, a quantity and a due date; helpers to
// append, rewrite and walk tags.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "engine/data.h"
#include "engine/engine_api.h"
#include "engine/index.h"
#include "engine_fixture.h"

namespace kvtest {

struct PartRow {
  long id;
  std::string name;
  double qty;
  std::string due;  // CCYYMMDD or blank
};

inline const DbFieldInfo kPartFields[] = {
    {"ID", 'N', 8, 0}, {"NAME", 'C', 40, 0}, {"QTY", 'N', 9, 2}, {"DUE", 'D', 8, 0},
    {nullptr, 0, 0, 0}};

inline const DbTagInfo kPartTags[] = {
    {"ID", "ID", nullptr, 20, 0},
    {"NAME", "NAME", nullptr, 0, 0},
    {"QTY", "QTY", nullptr, 0, 1},
    {"DUE", "DUE", ".NOT. DELETED()", 0, 0},
    {nullptr, nullptr, nullptr, 0, 0}};

// The lines of a dump, sorted: tags compared whatever order equal keys took.
inline std::vector<std::string> sorted_lines(const std::string& s) {
  std::vector<std::string> v;
  std::istringstream in(s);
  for (std::string l; std::getline(in, l);) v.push_back(l);
  std::sort(v.begin(), v.end());
  return v;
}

struct IndexTest : ::testing::Test {
  ScratchDir dir;
  QuietEngine c;
  std::string name = dir.file("PARTS.DBF");
  DbDataFile* d = nullptr;

  void TearDown() override {
    if (d) data_close(d);
  }

  DbDataFile* create(const DbTagInfo* tags = kPartTags, const DbFieldInfo* fields = kPartFields) {
    d = data_create(&c, name.c_str(), fields, tags);
    EXPECT_NE(d, nullptr) << code_error_get(&c);
    return d;
  }

  void put(const PartRow& r) {
    field_assign_long(data_field_at(d, 1), r.id);
    field_assign(data_field_at(d, 2), r.name.c_str());
    field_assign_double(data_field_at(d, 3), r.qty);
    field_assign(data_field_at(d, 4), r.due.c_str());
  }

  int append(const PartRow& r) {
    int rc = data_append_start(d, 0);
    if (rc != 0) return rc;
    data_blank(d);
    put(r);
    return data_append(d);
  }

  // Record numbers in tag order, walked forward or backward with tag_skip.
  std::vector<long> walk(DbTag* t, bool backward) {
    DbLock hold(&c);  // the tag walk is the engine's inside
    std::vector<long> v;
    if ((backward ? tag_bottom(t) : tag_top(t)) != 0) return {-1};
    if (tag_eof(t)) return v;
    do v.push_back(tag_recno(t));
    while (tag_skip(t, backward ? -1 : 1) != 0);
    return v;
  }

  DbTag* tag(const char* n) { return data_tag_find(d, n); }

  // "hex key|record" lines of a tag in its order, as we walk it.
  std::string our_dump(DbTag* t) {
    DbLock hold(&c);
    std::string out;
    if (tag_top(t) != 0 || tag_eof(t)) return out;
    do {
      char hex[3];
      for (int i = 0; i < t->header.key_len; i++) {
        std::snprintf(hex, sizeof hex, "%02x", tag_key(t)[i]);
        out += hex;
      }
      out += '|';
      out += std::to_string(tag_recno(t));
      out += '\n';
    } while (tag_skip(t, 1) == 1);
    return out;
  }

  // The same lines as Perl's XBase::Index reads them from the file.
  std::string peer_dump(const std::string& mdx, const std::string& tag_name) {
    std::string script = dir.file("dump.pl");
    write_bytes(script, to_bytes(
        "use XBase::Index;\n"
        "my ($f, $t) = @ARGV;\n"
        "my $i = XBase::Index->new($f, 'tag' => $t) or die XBase::Index->errstr;\n"
        "$i->prepare_select;\n"
        "while (my ($k, $v) = $i->fetch) { print unpack('H*', $k), \"|$v\\n\"; }\n"));
    int status = 0;
    std::string out = run_command("perl " + script + " " + mdx + " " + tag_name, &status);
    EXPECT_EQ(status, 0) << "XBase::Index could not read " << tag_name;
    return out;
  }

  std::string peer_tags(const std::string& mdx) {
    int status = 0;
    std::string out = run_command(
        "perl -MXBase::Index -e '$i = XBase::Index->new($ARGV[0]) or die; print join(\",\", $i->tags)' " + mdx,
        &status);
    EXPECT_EQ(status, 0);
    return out;
  }

  // The peer reads the same tags and keys as we walk.
  void expect_peer_agrees() {
    std::string mdx = dir.file("PARTS.MDX");
    ASSERT_EQ(data_flush(d), 0);
    EXPECT_EQ(peer_tags(mdx), "DUE,ID,NAME,QTY");
    for (const char* name : {"ID", "NAME", "QTY", "DUE"}) {
      std::string ours = our_dump(tag(name));
      ASSERT_FALSE(ours.empty());
      EXPECT_EQ(peer_dump(mdx, name), ours) << name;
    }
  }

  static std::vector<unsigned char> to_bytes(const std::string& s) { return {s.begin(), s.end()}; }

  std::string str(int field) {
    std::string s = field_str(data_field_at(d, field));
    return s.substr(0, s.find_last_not_of(' ') + 1);
  }
};

}  // namespace kvtest
