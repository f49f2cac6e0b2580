// A reader that holds no lock looks every live row up (a seek by either of
// two tags, a query by name) while another process packs and reindexes the
// table round after round: every lookup finds its row, the row read is the
// one sought, and no error comes up, whatever moment of the rebuild the
// lookup meets. Each round the other
// process also moves one row (a copy appended, the original deleted), so a
// pack renumbers the records after it.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

#include "engine/engine_api.h"
#include "index_fixture.h"

namespace {

using kvtest::IndexTest;

constexpr long kRows = 300;
constexpr int kRounds = 6;  // packs and reindexes, in turn

const DbTagInfo kTags[] = {{"ID", "ID", nullptr, 0, 0},
                           {"NAME", "NAME", nullptr, 0, 0},
                           {nullptr, nullptr, nullptr, 0, 0}};

enum class Lookup { id, name, query };
const char* const kLookupNames[] = {"seek by id", "seek by name", "query by name"};

std::string name_of(long id) {
  char text[24];
  std::snprintf(text, sizeof text, "PROG-%05ld", id);
  return text;
}

bool readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 0) > 0;
}

// The other station: waits for the go of each round, moves one row and
// packs (even rounds) or reindexes (odd rounds) under its locks, and says
// when the round is done; ends when the go pipe closes. 0 when every round
// went well.
int rebuilder(const std::string& table, int go, int done) {
  kvtest::QuietEngine c;
  DbDataFile* w = data_open(&c, table.c_str());
  if (!w) return 10;
  data_tag_select(w, data_tag_find(w, "ID"));
  for (int round = 0;; round++) {
    char cmd;
    if (::read(go, &cmd, 1) != 1) break;  // the test ended
    long id = 1 + round * 997 % kRows;
    if (data_lock_file(w) != 0 || data_seek_double(w, double(id)) != 0) return 12;
    long at = data_recno(w);
    if (data_append_start(w, 0) != 0) return 13;
    data_blank(w);
    field_assign_long(data_field_at(w, 1), id);
    field_assign(data_field_at(w, 2), name_of(id).c_str());
    if (data_append(w) != 0 || data_go(w, at) != 0) return 14;
    data_delete(w);
    if (data_flush(w) != 0) return 15;
    int rc = round % 2 == 0 ? data_pack(w) : data_reindex(w);
    if (rc != 0 || data_unlock(w) != 0) return 16;
    if (::write(done, "d", 1) != 1) return 17;
  }
  return data_close(w) == 0 ? 0 : 18;
}

TEST_F(IndexTest, UnlockedSeeksFindEveryRowWhileAnotherStationPacksAndReindexes) {
  create(kTags);
  ASSERT_EQ(data_lock_file(d), 0);  // one batch: the keys go out at the unlock
  ASSERT_EQ(data_lock_index(d), 0);
  for (long id = 1; id <= kRows; id++) {
    ASSERT_EQ(data_append_start(d, 0), 0);
    data_blank(d);
    field_assign_long(data_field_at(d, 1), id);
    field_assign(data_field_at(d, 2), name_of(id).c_str());
    ASSERT_EQ(data_append(d), 0) << id;
  }
  ASSERT_EQ(data_unlock(d), 0);
  ASSERT_EQ(data_close(d), 0);
  d = nullptr;
  // The other process, ended (and its status taken) however the test ends.
  struct Station {
    int go[2] = {-1, -1}, done[2] = {-1, -1};
    pid_t pid = -1;
    int status = -1;
    int finish() {
      for (int& fd : {std::ref(go[1]), std::ref(go[0]), std::ref(done[0]), std::ref(done[1])}) {
        if (fd >= 0) ::close(fd);
        fd = -1;
      }
      if (pid > 0 && waitpid(pid, &status, 0) == pid) pid = -1;
      return status;
    }
    ~Station() { finish(); }
  } other;
  ASSERT_EQ(::pipe(other.go), 0);
  ASSERT_EQ(::pipe(other.done), 0);
  other.pid = fork();
  ASSERT_GE(other.pid, 0);
  if (other.pid == 0) {
    ::close(other.go[1]);  // the go pipe ends with the test
    _exit(rebuilder(name, other.go[0], other.done[1]));
  }
  ::close(other.go[0]);
  other.go[0] = -1;

  c.lock_attempts = 2;  // as the program runs its stations
  d = data_open(&c, name.c_str());
  ASSERT_NE(d, nullptr);
  DbTag* by_id = tag("ID");
  DbTag* by_name = tag("NAME");
  long lookups = 0, missed = 0, failed = 0;
  std::string first;
  auto note = [&](const std::string& what) {
    if (first.empty()) first = what;
  };
  for (int round = 0; round < kRounds; round++) {
    ASSERT_EQ(::write(other.go[1], "g", 1), 1);
    // Looks up until the round is done, a whole pass over the rows at least.
    bool round_done = false;
    for (long i = 0; i < kRows || !round_done; i++) {
      long id = 1 + (i * 7919) % kRows;
      Lookup how_found = Lookup(i % 3);
      int rc;
      if (how_found == Lookup::query) {
        data_tag_select(d, by_name);
        DbRelation* r = relate_init(d);
        ASSERT_NE(r, nullptr);
        std::string filter = "NAME = '" + name_of(id) + "'";
        rc = relate_query_set(r, filter.c_str());
        if (rc == 0) rc = relate_top(r);
        relate_free(r, 0);
      } else {
        bool named = how_found == Lookup::name;
        data_tag_select(d, named ? by_name : by_id);
        rc = named ? data_seek(d, name_of(id).c_str()) : data_seek_double(d, double(id));
      }
      int error = code_error_get(&c);
      lookups++;
      std::string how = std::string(kLookupNames[int(how_found)]) + " " + std::to_string(id) +
                        " round " + std::to_string(round);
      if (rc < 0 || error < 0) {
        failed++;
        note(how + ": error " + std::to_string(error));
        code_error_set(&c, 0);
      } else if (rc != 0) {
        missed++;
        note(how + ": gave " + std::to_string(rc));
      } else if (field_long(data_field_at(d, 1)) != id || str(2) != name_of(id)) {
        missed++;
        note(how + ": read " + std::to_string(field_long(data_field_at(d, 1))) + " " + str(2));
      }
      if (!round_done && readable(other.done[0])) {
        char got;
        ASSERT_EQ(::read(other.done[0], &got, 1), 1);
        round_done = true;
      }
    }
  }
  int status = other.finish();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(missed, 0) << first;
  EXPECT_EQ(failed, 0) << first;
  RecordProperty("lookups", std::to_string(lookups));
}

}  // namespace
