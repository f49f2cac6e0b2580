// Field views over a real data file: blank padding and cutting, numbers that
// do not fit, logicals, memo texts, and that writes reach the file.
#include <gtest/gtest.h>

#include <string>

#include "engine/data.h"
#include "engine/dbstr.h"
#include "engine/engine_api.h"
#include "tests/engine/engine_fixture.h"

namespace {

class FieldRefTest : public ::testing::Test {
 protected:
  kvtest::QuietEngine ctx;
  kvtest::ScratchDir dir;
  DbDataFile* d = nullptr;

  void SetUp() override {
    static const DbFieldInfo fields[] = {{"NAME", 'C', 10, 0}, {"QTY", 'N', 4, 0},
                                         {"PRICE", 'N', 8, 2}, {"DONE", 'L', 1, 0},
                                         {"NOTE", 'M', 10, 0}, {nullptr, 0, 0, 0}};
    d = data_create(&ctx, dir.file("PARTS.DBF").c_str(), fields, nullptr);
    ASSERT_NE(d, nullptr) << code_error_get(&ctx);
    ASSERT_EQ(data_append_start(d, 0), 0);
    data_blank(d);
  }
  void TearDown() override { code_close_all(&ctx); }

  std::string text(int n) {
    FieldRef f(d, n);
    return std::string(f.ptr(), f.len());
  }
};

TEST_F(FieldRefTest, AssignPadsOrCuts) {
  FieldRef name(d, 1);
  EXPECT_EQ(name.assign("abc"), 0);
  EXPECT_EQ(text(1), "abc       ");
  EXPECT_EQ(name.assign("0123456789AB"), -1);
  EXPECT_EQ(text(1), "0123456789");
  EXPECT_EQ(d->record_changed, 1);
  // A text with its length ends there or at a NUL.
  field_assign_n(data_field_at(d, 1), "abcdef", 2);
  EXPECT_EQ(text(1), "ab        ");
  field_assign_n(data_field_at(d, 1), "xyz\0qq", 6);
  EXPECT_EQ(text(1), "xyz       ");
}

TEST_F(FieldRefTest, NumbersRightJustifiedOrStars) {
  FieldRef qty(d, 2), price(d, 3);
  qty.assignLong(42);
  EXPECT_EQ(text(2), "  42");
  EXPECT_EQ(qty.asLong(), 42);
  qty.assignLong(123456);
  EXPECT_EQ(text(2), "****");
  price.assignDouble(12.5);  // decimals from the field
  EXPECT_EQ(text(3), "   12.50");
  EXPECT_DOUBLE_EQ(price.toDouble(), 12.5);
  EXPECT_EQ(price.decimals(), 2);
}

TEST_F(FieldRefTest, LogicalsReadByFirstCharacter) {
  FieldRef done(d, 4);
  struct Case {
    const char* stored;
    int truth;
  } cases[] = {{"T", 1}, {"t", 1}, {"Y", 1}, {"F", 0}, {"N", 0}, {"?", 0}};
  for (const auto& c : cases) {
    done.assign(c.stored);
    EXPECT_EQ(done.isTrue(), c.truth) << c.stored;
  }
}

TEST_F(FieldRefTest, WrittenValuesReachTheFile) {
  FieldRef(d, 1).assign("DRILL");
  FieldRef(d, 2).assignLong(7);
  FieldRefMemo note(d, "NOTE");
  ASSERT_TRUE(note.valid());
  std::string memo(600, 'm');
  EXPECT_EQ(note.assign(memo.c_str()), 0);
  ASSERT_EQ(data_append(d), 0);
  ASSERT_EQ(data_close(d), 0);
  d = data_open(&ctx, dir.file("PARTS.DBF").c_str());
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(data_go(d, 1), 0);
  EXPECT_STREQ(FieldRef(d, 1).str(), "DRILL     ");
  EXPECT_EQ(FieldRef(d, 2).asLong(), 7);
  FieldRefMemo back(d, 5);
  EXPECT_EQ(back.len(), 600u);
  EXPECT_EQ(std::string(back.str()), memo);
}

// What the field views write reads back the same through python3-dbfread.
TEST_F(FieldRefTest, IndependentReaderSeesTheWrittenValues) {
  struct Row {
    const char* name;
    long qty;
    double price;
    const char* done;
    const char* shown;  // as the reader prints the row
  } rows[] = {
      {"DRILL", 42, 12.5, "T", "DRILL|42|12.5|True"},
      {"0123456789AB", -7, -0.25, "n", "0123456789|-7|-0.25|False"},
      {"", 0, 99999.99, "y", "|0|99999.99|True"},
  };
  for (const auto& r : rows) {
    if (&r != &rows[0]) {
      ASSERT_EQ(data_append_start(d, 0), 0);
    }
    data_blank(d);
    FieldRef(d, 1).assign(r.name);
    FieldRef(d, 2).assignLong(r.qty);
    FieldRef(d, 3).assignDouble(r.price);
    FieldRef(d, 4).assign(r.done);
    ASSERT_EQ(data_append(d), 0);
  }
  ASSERT_EQ(data_close(d), 0);
  d = nullptr;
  std::string script =
      "import sys, dbfread\n"
      "for r in dbfread.DBF(sys.argv[1], ignore_missing_memofile=True):\n"
      "    print('|'.join(str(r[k]) for k in ('NAME', 'QTY', 'PRICE', 'DONE')))\n";
  kvtest::write_bytes(dir.file("dump.py"),
                      std::vector<unsigned char>(script.begin(), script.end()));
  int status = 0;
  std::string out = kvtest::run_command(
      "/usr/bin/python3 " + dir.file("dump.py") + " " + dir.file("PARTS.DBF"), &status);
  ASSERT_EQ(status, 0) << out;
  std::string want;
  for (const auto& r : rows) want += std::string(r.shown) + "\n";
  EXPECT_EQ(out, want);
}

TEST_F(FieldRefTest, MemoEditsKeepTheOldText) {
  FieldRefMemo note(d, 5);
  note.assign("head tail");
  DbStrTen mid("MID ");
  note.insert(mid, 5);
  EXPECT_EQ(std::string(note.ptr(), note.len()), "head MID tail");
}

TEST_F(FieldRefTest, InvalidFieldIsHarmless) {
  FieldRef none(d, 99);
  EXPECT_FALSE(none.valid());
  EXPECT_EQ(none.len(), 0u);
  EXPECT_EQ(none.assign("x"), -1);
  EXPECT_STREQ(none.str(), "");
  FieldRefMemo plain(d, 1);  // a memo view of a character field
  plain.assign("abc");
  EXPECT_STREQ(plain.str(), "abc       ");
  EXPECT_EQ(plain.setLen(3), -1);
}

}  // namespace
