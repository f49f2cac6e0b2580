// Several threads on the one context: what a call hands back to its thread
// stays that thread's until its own next call.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "engine/data.h"
#include "engine/engine_api.h"
#include "engine/expr.h"
#include "engine_fixture.h"

namespace {

const DbFieldInfo kFields[] = {{"CODE", 'C', 8, 0}, {"QTY", 'N', 6, 0}, {nullptr, 0, 0, 0}};

DbDataFile* one_row(kvtest::QuietEngine& c, const std::string& name, const char* code) {
  DbDataFile* d = data_create(&c, name.c_str(), kFields, nullptr);
  if (!d) return nullptr;
  EXPECT_EQ(data_append_start(d, 0), 0);
  data_blank(d);
  field_assign(data_field_at(d, 1), code);
  field_assign(data_field_at(d, 2), "12");
  EXPECT_EQ(data_append(d), 0);
  return d;
}

TEST(EngineThreads, ResultsHandedOutStayTheCallingThreads) {
  kvtest::ScratchDir dir;
  kvtest::QuietEngine c;
  DbDataFile* mine = one_row(c, dir.file("MINE.DBF"), "MILL");
  DbDataFile* theirs = one_row(c, dir.file("THEIRS.DBF"), "LATHE");
  ASSERT_TRUE(mine && theirs);
  DbExpr* e = expr_parse(mine, "TRIM(CODE) + '-X'");
  ASSERT_NE(e, nullptr);

  const char* text = field_str(data_field_at(mine, 1));
  char* value = nullptr;
  ASSERT_GE(expr_eval(e, &value), 0);
  std::thread other([&] {
    for (int i = 0; i < 50; i++) {
      EXPECT_STREQ(field_str(data_field_at(theirs, 1)), "LATHE   ");
      DbExpr* x = expr_parse(theirs, "CODE + CODE + CODE");
      ASSERT_NE(x, nullptr);
      char* v = nullptr;
      EXPECT_GE(expr_eval(x, &v), 0);
      expr_free(x);
    }
  });
  other.join();
  EXPECT_STREQ(text, "MILL    ");
  EXPECT_EQ(std::string(value, 6), "MILL-X");
  expr_free(e);
  EXPECT_EQ(data_close(mine), 0);
  EXPECT_EQ(data_close(theirs), 0);
}

// Holds of one thread nest: the outermost takes the lock, and other threads
// stay out until it is given back or given up for a wait.
TEST(EngineThreads, ContextLockNestsAndKeepsOthersOut) {
  kvtest::QuietEngine c;
  auto other_gets_in = [&c] {
    bool got = false;
    std::thread t([&] {
      got = c.mutex.try_lock();
      if (got) c.mutex.unlock();
    });
    t.join();
    return got;
  };
  {
    DbLock outer(&c);
    {
      DbLock inner(&c);
      EXPECT_TRUE(DbLockHeld(&c));
      EXPECT_FALSE(other_gets_in());
      {
        DbUnlocked waiting(&c);  // a wait between lock tries lets others in
        EXPECT_TRUE(other_gets_in());
      }
      EXPECT_FALSE(other_gets_in());
    }
    EXPECT_FALSE(other_gets_in());
  }
  EXPECT_TRUE(other_gets_in());
}

}  // namespace
