// Jobs and job lines: layouts as an independent reader sees them, notes,
// the machine's job list, the look-up by request id and the program list
// of a job with programs missing or deleted.
#include <memory>

#include "db_fixture.h"
#include "dbmodel/filetable.h"
#include "dbmodel/job.h"
#include "layout_peer.h"

namespace {

using kvdb::DbTest;
using kvdb::MemoryList;

class JobTablesTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    MakeCounters();
    CreateTable<TJobTable01>(kJobFile);
    CreateTable<TJobTable02>(kJobLineFile);
    CreateTable<TcbFileTable>("KELVFILE.DBF");
  }
  long AddJob(long machine, const char* name, const char* part, const char* note = nullptr) {
    TJobTable01 t;
    return t.AppendJob(machine, name, part, note);
  }
  long AddProgram(long ncid, const char* desc, long prog, long machine = 7) {
    TcbFileTable t("KELVFILE.DBF", 0, 0);
    TcbFileRecord r;
    r.NCID = ncid;
    std::strcpy(r.DESC, desc);
    r.PROG = prog;
    r.MID = machine;
    EXPECT_TRUE(t.Append(&r));
    return ncid;
  }
  static std::string Line(const std::string& desc, long lineId, long ncid, long prog) {
    std::string s = desc;
    s.resize(100, ' ');
    return s + " @@" + std::to_string(lineId) + "\xA3\xA3" + std::to_string(ncid) + "@\xA3" + std::to_string(prog);
  }
};

TEST_F(JobTablesTest, LayoutsAndJobRowsWithAndWithoutNotes) {
  EXPECT_EQ(kvdb::PeerLayout(Root(), DbPath(kJobFile)),
            kvdb::LayoutText({{"ID", 'N', 10, 0}, {"MACH", 'N', 10, 0}, {"NAME", 'C', 40, 0},
                              {"PART", 'C', 25, 0}, {"MEMO", 'M', 10, 0}},
                             0));
  EXPECT_EQ(kvdb::PeerLayout(Root(), DbPath(kJobLineFile)),
            kvdb::LayoutText({{"ID", 'N', 10, 0}, {"JOB", 'N', 10, 0}, {"PROG", 'N', 10, 0},
                              {"PROGNR", 'N', 10, 0}},
                             0));
  // A second create keeps the file and its rows.
  long a = AddJob(7, "  Flange ", " F1 ", nullptr);
  long b = AddJob(7, "Shaft", "S1", "clamp at 40 mm\r\nsecond line");
  ASSERT_GT(a, 0);
  EXPECT_EQ(b, a + 1);
  CreateTable<TJobTable01>(kJobFile);

  TJobTable01 t;
  std::unique_ptr<TJobRecord01> r(t.ReadJob(a));
  ASSERT_TRUE(r);
  EXPECT_EQ(r->MACH, 7);
  EXPECT_STREQ(r->NAME, "Flange");
  EXPECT_STREQ(r->PART, "F1");
  ASSERT_NE(r->MEMO, nullptr);  // no note reads as an empty one
  EXPECT_STREQ(r->MEMO, "");
  r.reset(t.ReadJob(b));
  ASSERT_TRUE(r);
  EXPECT_STREQ(r->MEMO, "clamp at 40 mm\r\nsecond line");

  EXPECT_EQ(t.UpdateJob(a, 8, "Flange 2", "F2", "note"), 1);
  EXPECT_EQ(t.UpdateJobNote(b, nullptr), 1);
  EXPECT_EQ(t.UpdateJob(999, 8, "x", "y", nullptr), 0);
  EXPECT_EQ(t.UpdateJobNote(0, "x"), 0);
  EXPECT_EQ(t.DeleteJob(b), 1);
  EXPECT_EQ(t.DeleteJob(b), 0);  // already gone
  EXPECT_EQ(t.ReadJob(b), nullptr);
  EXPECT_EQ(t.FindById(b), 0);
  EXPECT_EQ(t.Data(), nullptr);  // a miss leaves the file closed
  EXPECT_EQ(t.FindById(a), 1);
  EXPECT_NE(t.Data(), nullptr);  // a hit leaves it open on the row
  t.Close();

  auto rows = Rows(DbPath(kJobFile));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{" ", std::to_string(a), "8", "Flange 2", "F2", "note"}));
  EXPECT_EQ(rows[1], (std::vector<std::string>{"*", std::to_string(b), "7", "Shaft", "S1", ""}));
}

TEST_F(JobTablesTest, JobListOfAMachineInFileOrderWithoutDeletedJobs) {
  long a = AddJob(7, "Zeta", "Z");
  long b = AddJob(8, "Other machine", "O");
  long c = AddJob(7, "Alpha @@99", "A");
  long d = AddJob(7, "Deleted", "D");
  TJobTable01 t;
  t.DeleteJob(d);

  MemoryList list;
  FillJobList(&t, 7, &list);
  auto pad = [](std::string s) {
    s.resize(150, ' ');
    return s;
  };
  EXPECT_EQ(list.lines, (std::vector<std::string>{pad("Zeta") + "@@" + std::to_string(a),
                                                  pad("Alpha @ 99") + "@@" + std::to_string(c)}));
  EXPECT_EQ(list.selected, 0);
  EXPECT_EQ(ListLineId(list.lines[1].c_str()), c);
  FillJobList(&t, 9, &list);
  EXPECT_TRUE(list.lines.empty());
  EXPECT_EQ(list.selected, -2);  // an empty list has no selection
  (void)b;
}

TEST_F(JobTablesTest, FindByMachineAndRequestId) {
  long a = AddJob(7, "Flange", "F1");
  long b = AddJob(8, "Flange", "F1");
  long q = AddJob(7, "Quoted", "O'Brien \"x\"");
  long gone = AddJob(7, "Gone", "G1");
  long exact = AddJob(7, "Exact", "1234567890123456789012345");
  TJobTable01 t;
  t.DeleteJob(gone);
  struct Case {
    long machine;
    const char* part;
    long want;
  } cases[] = {
      {7, "F1", a},
      {8, "F1", b},
      {7, "F1   ", a},                        // trailing blanks are padding
      {7, "f1", 0},                           // letter case counts
      {9, "F1", 0},
      {0, "F1", 0},
      {7, nullptr, 0},
      {7, "", 0},
      {7, "G1", 0},                           // a deleted job never answers
      {7, "O'Brien \"x\"", q},
      {7, "O'Brien \"x\" [y]", 0},            // cannot be quoted: no match, no error
      {7, "1234567890123456789012345", exact},
      {7, "1234567890123456789012345678", 0},  // never matched by its first 25
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.part ? k.part : "null");
    EXPECT_EQ(FindJobByMachinePart(&t, k.machine, k.part), k.want);
  }
  EXPECT_EQ(FindOtherJobByMachinePart(&t, 7, "F1", a), 0);
  long dup = AddJob(7, "Second", "F1");
  EXPECT_EQ(FindJobByMachinePart(&t, 7, "F1"), a);  // the first in file order
  EXPECT_EQ(FindOtherJobByMachinePart(&t, 7, "F1", a), dup);
}

TEST_F(JobTablesTest, JobLinesLoadInOrderAndDeleteWithTheirJob) {
  TJobTable02 t;
  EXPECT_EQ(t.LoadJob(5), nullptr);  // a job without lines
  long l1 = t.AppendJobLine(5, 100, 12);
  long l2 = t.AppendJobLine(6, 101, 13);
  long l3 = t.AppendJobLine(5, 102, 14);
  long l4 = t.AppendJobLine(5, 103, 15);
  ASSERT_GT(l1, 0);
  EXPECT_EQ(t.AppendJobLine(0, 1, 1), 0);
  EXPECT_EQ(t.DeleteJobLine(l3), 1);
  EXPECT_EQ(t.DeleteJobLine(l3), 0);

  TJobRecord02* list = t.LoadJob(5);
  std::vector<std::vector<long>> got;
  for (TcbRecord* r = list; r; r = r->next) {
    auto* j = static_cast<TJobRecord02*>(r);
    got.push_back({j->ID, j->JOB, j->PROG, j->PROGNR});
  }
  FreeRecordList(list);
  EXPECT_EQ(got, (std::vector<std::vector<long>>{{l1, 5, 100, 12}, {l4, 5, 103, 15}}));

  EXPECT_EQ(t.DeleteJobLines(5), 1);
  EXPECT_EQ(t.LoadJob(5), nullptr);
  list = t.LoadJob(6);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->ID, l2);
  EXPECT_EQ(list->next, nullptr);
  FreeRecordList(list);
  auto rows = Rows(DbPath(kJobLineFile));
  ASSERT_EQ(rows.size(), 4u);
  for (size_t i : {0u, 2u, 3u}) EXPECT_EQ(rows[i][0], "*") << i;
  EXPECT_EQ(rows[1][0], " ");
}

TEST_F(JobTablesTest, ProgramListShowsMissingProgramsAndLeavesDeletedOnesOut) {
  AddProgram(100, "FLANGE OP1", 12);
  AddProgram(101, "FLANGE OP2", 123);
  AddProgram(102, "GONE BY US", 14);
  AddProgram(103, "GONE ELSEWHERE", 15);
  TJobTable02 lines;
  long l1 = lines.AppendJobLine(5, 101, 123);
  long l2 = lines.AppendJobLine(5, 999, 77);  // never in the index
  long l3 = lines.AppendJobLine(5, 100, 12);
  long l4 = lines.AppendJobLine(5, 102, 14);
  lines.AppendJobLine(5, 103, 15);
  long l6 = lines.AppendJobLine(5, 100, 12);
  lines.AppendJobLine(6, 100, 12);
  lines.DeleteJobLine(l6);
  {
    TcbFileTable f("KELVFILE.DBF", 0, 0);
    delete f.DeleteById(102);
  }
  {
    // Another station marks a row deleted without touching its id.
    DbDataFile* d = data_open(DbContext, DbPath("KELVFILE.DBF").c_str());
    ASSERT_NE(d, nullptr);
    data_go(d, 4);
    data_delete(d);
    data_close(d);
  }

  MemoryList list;
  FillJobProgramList(&lines, 5, &list);
  EXPECT_EQ(list.lines, (std::vector<std::string>{Line("FLANGE OP2", l1, 101, 123), Line("", l2, 0, 0),
                                                  Line("FLANGE OP1", l3, 100, 12), Line("", l4, 0, 0)}));
  EXPECT_EQ(list.selected, 0);
  for (const auto& s : list.lines) {
    EXPECT_EQ(JobLineProgramId(s.c_str()), ListLineSecondId(s.c_str()));
  }
  EXPECT_EQ(JobLineProgramNumber(list.lines[0].c_str()), 123);
  EXPECT_EQ(ListLineId(list.lines[1].c_str()), l2);

  FillJobProgramList(&lines, 7, &list);
  EXPECT_TRUE(list.lines.empty());
  EXPECT_EQ(list.selected, -2);
  // Without a program index the list stays empty.
  FillJobProgramList(&lines, 5, &list, "NOFILE.DBF");
  EXPECT_TRUE(list.lines.empty());
  code_error_set(DbContext, 0);
}

TEST(JobLineText, BreaksEveryMarker) {
  EXPECT_EQ(JobLineText("A@@1 B\xA3\xA3" "2 C@\xA3" "3"), "A@ 1 B\xA3 2 C@ 3");
  std::string line = JobLineText("X@\xA3" "9") + " @@4\xA3\xA3" "5@\xA3" "6";
  EXPECT_EQ(ListLineId(line.c_str()), 4);
  EXPECT_EQ(JobLineProgramId(line.c_str()), 5);
  EXPECT_EQ(JobLineProgramNumber(line.c_str()), 6);
  EXPECT_EQ(JobLineProgramNumber("no markers"), 0);
}

}  // namespace
