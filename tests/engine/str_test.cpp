// Text views: assignment rules, fixed buffers, comparisons, editing and the
// per-thread str() buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "engine/dbstr.h"

namespace {

std::string value(DbStr& s) { return std::string(s.ptr(), s.len()); }

TEST(DbStrFixed, SetLenCutsAtCapacity) {
  DbStrTen ten;
  EXPECT_EQ(ten.setLen(12), -1);
  EXPECT_EQ(ten.len(), 10u);
  EXPECT_EQ(ten.setLen(4), 0);
  EXPECT_EQ(ten.len(), 4u);
  EXPECT_EQ(ten.ptr()[4], '\0');
}

TEST(DbStrFixed, AssignKeepsWhatFitsAndTerminates) {
  struct Case {
    const char* text;
    int rc;
    const char* stored;
  } cases[] = {
      {"abc", 0, "abc"},
      {"0123456789", 0, "0123456789"},
      {"0123456789AB", -1, "0123456789"},
      {"", 0, ""},
  };
  for (const auto& c : cases) {
    DbStrTen s;
    EXPECT_EQ(s.assign(c.text), c.rc) << c.text;
    EXPECT_STREQ(s.ptr(), c.stored) << c.text;
  }
  DbStrLarge large(std::string(300, 'x').c_str());
  EXPECT_EQ(large.len(), 255u);
}

TEST(DbStr, StrGivesAtMost256Characters) {
  std::string long_text(300, 'q');
  DbStrPtr p(long_text.data());
  EXPECT_EQ(std::strlen(p.str()), 256u);
  DbStrLen view(long_text.data(), 5);
  EXPECT_STREQ(view.str(), "qqqqq");
}

TEST(DbStr, StrBufferIsPerThread) {
  char mine[] = "main thread";
  DbStrPtr p(mine);
  char* kept = p.str();
  std::thread other([] {
    char theirs[] = "other thread value";
    DbStrPtr q(theirs);
    for (int i = 0; i < 1000; i++) q.str();
  });
  other.join();
  EXPECT_STREQ(kept, "main thread");
}

TEST(DbStr, TrimShortensTheViewedText) {
  char text[] = "AB  ";
  DbStrPtr p(text);
  p.trim();
  EXPECT_STREQ(text, "AB");
  EXPECT_EQ(p.len(), 2u);

  DbStrTen ten("XY   ");
  ten.trim();
  EXPECT_EQ(ten.len(), 2u);

  char fixed[] = "CD  ";
  DbStrLen view(fixed, 4);  // fixed length: only the bytes change
  view.trim();
  EXPECT_EQ(view.len(), 4u);
  EXPECT_EQ(std::memcmp(fixed, "CD\0\0", 4), 0);
}

TEST(DbStr, IsTrueByFirstCharacter) {
  for (char c : std::string("YyTt")) EXPECT_TRUE(DbStrChar(c).isTrue()) << c;
  for (char c : std::string("FNn? ")) EXPECT_FALSE(DbStrChar(c).isTrue()) << c;
  DbStrTen empty;
  EXPECT_EQ(empty.firstChar(), 0);
}

TEST(DbStr, Comparisons) {
  struct Case {
    const char* a;
    const char* b;
    bool eq, lt, gt;
  } cases[] = {
      {"abc", "abc", true, false, false},
      {"ab", "abc", false, true, false},
      {"abd", "abc", false, false, true},
      {"", "", true, false, false},
  };
  for (const auto& c : cases) {
    DbStrTen a(c.a), b(c.b);
    EXPECT_EQ(a.equal(b), c.eq) << c.a << "/" << c.b;
    EXPECT_EQ(a.less(b), c.lt) << c.a << "/" << c.b;
    EXPECT_EQ(a.greater(b), c.gt) << c.a << "/" << c.b;
  }
}

TEST(DbStr, InsertReplaceAndFindStayInsideTheBuffer) {
  DbStrTen s("abcdef");
  DbStrTen x("XYZ");
  EXPECT_EQ(s.insert(x, 2), 0);
  EXPECT_STREQ(s.ptr(), "abXYZcdef");
  EXPECT_EQ(s.insert(x, 1), -1);  // cannot grow past ten: tail cut
  EXPECT_STREQ(s.ptr(), "aXYZbXYZcd");
  EXPECT_EQ(s.find(x), 1);
  DbStrTen none("QQ"), empty;
  EXPECT_EQ(s.find(none), -1);
  EXPECT_EQ(s.find(empty), 0);

  DbStrTen r("abc");
  EXPECT_EQ(r.replace(x, 2), 0);
  EXPECT_STREQ(r.ptr(), "abXYZ");
  DbStrTen big("0123456789");
  big.replace(x, 8);
  EXPECT_STREQ(big.ptr(), "01234567XY");

  DbStrTen self("ab");
  self.add(self);  // the inserted value is the value itself
  EXPECT_STREQ(self.ptr(), "abab");
  self.add("cd");
  EXPECT_STREQ(self.ptr(), "ababcd");
}

TEST(DbStr, ViewsAndCopies) {
  DbStrTen s("Hello");
  auto l = s.left(2), r = s.right(3), m = s.substring(1, 10);
  EXPECT_EQ(value(l), "He");
  EXPECT_EQ(value(r), "llo");
  EXPECT_EQ(value(m), "ello");
  EXPECT_EQ(*s.last(), 'o');
  EXPECT_EQ(DbStrTen().last(), nullptr);
  char buf[4];
  EXPECT_EQ(s.copyTo(buf, sizeof buf), 3u);
  EXPECT_STREQ(buf, "Hel");
  s.upper();
  EXPECT_STREQ(s.ptr(), "HELLO");
  s.fill('-');
  EXPECT_STREQ(s.ptr(), "-----");
}

TEST(DbStr, NumbersAndDates) {
  DbStrTen n;
  n.assignLong(42, 6, 0);
  EXPECT_STREQ(n.ptr(), "    42");
  n.assignLong(42, 6, 1);
  EXPECT_STREQ(n.ptr(), "000042");
  n.assignLong(123456, 4, 0);
  EXPECT_STREQ(n.ptr(), "****");
  n.assignDouble(3.14159, 7, 2);
  EXPECT_STREQ(n.ptr(), "   3.14");
  EXPECT_DOUBLE_EQ(n.toDouble(), 3.14);
  EXPECT_EQ(DbStrTen(" 17").toLong(), 17);

  DateValue d("20240229");
  DateValue same(d.asLong());
  EXPECT_TRUE(same.equal(d));
  EXPECT_STREQ(d.datePicture("DD.MM.CCYY"), "29.02.2024");
  DateValue blank;
  EXPECT_EQ(value(blank), "        ");
  std::string huge(400, 'D');
  EXPECT_LE(std::strlen(d.datePicture(huge.c_str())), 256u);
}

}  // namespace
