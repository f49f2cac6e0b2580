// Style files, and the files the report fuzz targets start from: they must
// be what the writers write now (KV_REPORT_SEED_DIR names a directory to
// write them into instead, to make them anew after a change of format).
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/report/layout_fixture.h"

namespace kvtest {
namespace {

class StyleFileTest : public LayoutTest {};

TEST_F(StyleFileTest, StylesGoToAnotherReportReplacedOrPassedOver) {
  report = report_create(rel);
  ASSERT_NE(report, nullptr);
  style_color_set(report_style_current(report), RGB(0, 0, 255));
  ASSERT_NE(style_create(report, nullptr, "Small", RGB(1, 1, 1), 6), nullptr);
  ASSERT_EQ(style_save(report, dir.file("LOOK").c_str()), 0);
  std::string bytes = dir.read("LOOK.CRS");
  EXPECT_EQ(bytes.substr(0, 4), std::string("\x16\x26\x02\x00", 4));
  ASSERT_EQ(report_free(report, 0, 0), 0);

  report = report_create(rel);
  ASSERT_NE(report, nullptr);
  DbReportArea* a = area_create(report_title_group(report), 100, 1, nullptr);
  DbReportObject* o = obj_text_create(a, "x", 0, 0, 10, 10);
  DbReportStyle* plain = report_style_current(report);
  ASSERT_EQ(o->style, plain);

  ASSERT_EQ(style_retrieve(report, dir.file("LOOK").c_str(), 0), 0);
  EXPECT_EQ(style_count(report), 2);
  EXPECT_EQ(report_style_current(report), plain);
  EXPECT_EQ(plain->color, 0u);  // passed over
  EXPECT_EQ(style_lookup(report, "Small")->point_size, 6);

  ASSERT_EQ(style_retrieve(report, dir.file("LOOK").c_str(), 1), 0);
  EXPECT_EQ(style_count(report), 2);
  DbReportStyle* replaced = style_first(report);
  EXPECT_EQ(replaced->name, "Plain Text");
  EXPECT_EQ(replaced->color, RGB(0, 0, 255));
  EXPECT_EQ(replaced->id, 600);
  EXPECT_EQ(report_style_current(report), replaced);
  EXPECT_EQ(o->style, replaced);
  EXPECT_TRUE(boxes().empty());
}

TEST_F(StyleFileTest, ForeignAndDamagedStyleFilesChangeNothing) {
  report = report_create(rel);
  ASSERT_NE(report, nullptr);
  ASSERT_EQ(style_save(report, dir.file("ONE").c_str()), 0);
  std::string good = dir.read("ONE.CRS");
  std::string twice = good;
  twice[2] = 2;
  twice += good.substr(4);  // the same name again
  // A second style without a name, after one the report takes.
  std::string record = good.substr(4);
  std::string unnamed = std::string("\x16\x26\x02\x00", 4) + std::string("\x05\x00\x00\x00Other\x00", 10) +
            record.substr(15) + std::string(5, '\0') + record.substr(15);
  const std::pair<std::string, const char*> cases[] = {
      {"\x16\x27" + good.substr(2), "File is not a ZevoZezododo file."},
      {"\x17\x26" + good.substr(2), "File is not a ZevoZezododo file."},
      {good.substr(0, good.size() - 1), "Unable to retrieve style."},
      {twice, "Unable to retrieve style."},
      {unnamed, "Unable to retrieve style."},
  };
  for (const auto& [bytes, text] : cases) {
    dir.write("BAD.CRS", bytes);
    EXPECT_EQ(style_retrieve(report, dir.file("BAD").c_str(), 1), -1);
    EXPECT_EQ(take_error(), -822);
    EXPECT_TRUE(reported(text)) << text;
    EXPECT_EQ(style_count(report), 1);
  }
  EXPECT_EQ(style_retrieve(report, dir.file("NONE").c_str(), 1), -1);
  take_error();
}

TEST_F(StyleFileTest, TheFuzzSeedsAreWhatTheWritersWrite) {
  relate_query_set(rel, "QTY > 5");
  report = report_create(rel);
  ASSERT_NE(report, nullptr);
  build_layout(report);
  report->full_path = 0;  // the fuzz targets open the tables from their own directory
  ASSERT_EQ(report_save(report, dir.file("SEED.REP").c_str(), 0), 0);
  ASSERT_EQ(relate_save(report->relation, dir.file("SEED.REL").c_str(), 0), 0);
  ASSERT_EQ(style_save(report, dir.file("SEED.CRS").c_str()), 0);
  // The files of the older versions the tests write, too.
  std::vector<std::string> names{"SEED.REP", "SEED.REL", "SEED.CRS"};
  for (int version = 32; version < 38; version++) {
    names.push_back("OLD" + std::to_string(version) + ".REP");
    dir.write(names.back(), old_report_file(version));
  }
  const char* out = std::getenv("KV_REPORT_SEED_DIR");
  for (const std::string& name : names) {
    if (out) {
      ScratchDir::write_file(std::string(out) + "/" + name, dir.read(name));
      continue;
    }
    std::string seed = ScratchDir::read_file(std::string(KV_SOURCE_DIR) + "/tests/fuzz/seeds/report/" + name);
    ASSERT_FALSE(seed.empty()) << "missing seed " << name;
    EXPECT_EQ(seed, dir.read(name)) << name;
  }
}

}  // namespace
}  // namespace kvtest
