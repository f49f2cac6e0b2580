// Program index rows: the reader and writers, finds, row locks seen from
// another process, deletion with negated ids and the send counter.
#include "db_fixture.h"
#include "layout_peer.h"
#include "dbmodel/filetable.h"

namespace {

using kvdb::DbTest;

class FileTableTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    CreateTable<TcbFileTable>("KELVFILE.DBF");
  }
  static std::unique_ptr<TcbFileRecord> Program(long id, const char* desc, long mid = 3) {
    auto r = std::make_unique<TcbFileRecord>();
    r->NCID = id;
    r->LONG1 = id;
    r->MID = mid;
    CopyCut(r->DESC, sizeof r->DESC, desc);
    std::strcpy(r->DIR, "C:\\NC\\");
    std::snprintf(r->NAME, sizeof r->NAME, "P%ld", id);
    std::strcpy(r->EXT, "NC");
    return r;
  }
  void Store(long id, const char* desc, long mid = 3) {
    TcbFileTable t("KELVFILE.DBF", 0, 0);
    ASSERT_EQ(t.Append(Program(id, desc, mid).get()), 1);
  }
  std::vector<std::string> Row(size_t n) { return Rows(DbPath("KELVFILE.DBF")).at(n); }
};

TEST_F(FileTableTest, NewRecordDefaults) {
  TcbFileTable t("KELVFILE.DBF", 0, 0);
  ASSERT_EQ(t.NewRecord(), 1);
  std::unique_ptr<TcbFileRecord> r(t.made);
  EXPECT_EQ(r->LOCK, 1);
  EXPECT_EQ(r->PROG, -1);
  EXPECT_EQ(r->MAZAK, 0);
  EXPECT_EQ(r->SENT, 0);
  EXPECT_EQ(r->MEMOSTR, nullptr);
  EXPECT_EQ(r->NCID, 0);
}

TEST_F(FileTableTest, AppendAndReadBack) {
  auto r = Program(17, " ABCDE   ");
  r->SetMemo("first line\r\nsecond line");
  r->MAZAK = 1;
  r->PROG = 4711;
  r->SENT = 2;
  std::strcpy(r->CHAR3, "FREE TEXT");
  TcbFileTable t("KELVFILE.DBF", 0, 0);
  ASSERT_EQ(t.Append(r.get()), 1);
  EXPECT_EQ(r->LOCK, 0);  // Append stores LOCK "F" and says so in the record
  EXPECT_EQ(t.Data(), nullptr);

  std::unique_ptr<TcbFileRecord> back(t.FindById(17));
  ASSERT_NE(back, nullptr);
  t.Close();
  EXPECT_STREQ(back->DESC, "ABCDE");
  EXPECT_STREQ(back->DIR, "C:\\NC\\");
  EXPECT_STREQ(back->NAME, "P17");
  EXPECT_STREQ(back->CHAR3, "FREE TEXT");
  EXPECT_STREQ(back->MEMOSTR, "first line\r\nsecond line");
  EXPECT_EQ(back->LOCK, 0);
  EXPECT_EQ(back->MAZAK, 1);
  EXPECT_EQ(back->PROG, 4711);
  EXPECT_EQ(back->SENT, 2);
  EXPECT_EQ(back->LONG1, 17);

  // A null memo is stored empty and reads back as an empty text.
  auto plain = Program(18, "X");
  ASSERT_EQ(t.AppendBatch(plain.get()), 1);
  EXPECT_NE(t.Data(), nullptr);  // the batch keeps the file open
  t.Close();
  std::unique_ptr<TcbFileRecord> b(t.FindById(18));
  t.Close();
  ASSERT_NE(b, nullptr);
  ASSERT_NE(b->MEMOSTR, nullptr);
  EXPECT_STREQ(b->MEMOSTR, "");
  EXPECT_EQ(b->LOCK, 1);  // AppendBatch writes LOCK as the record holds it
  EXPECT_EQ(Row(1)[16], "T");
  EXPECT_EQ(Row(0)[16], "F");
}

TEST_F(FileTableTest, FullWidthTextsAndLongerOnesAreCut) {
  std::string forty(40, 'D');
  Store(5, forty.c_str());
  TcbFileTable t("KELVFILE.DBF", 0, 0);
  std::unique_ptr<TcbFileRecord> a(t.FindById(5));
  t.Close();
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->DESC, forty);
}

TEST_F(FileTableTest, FindByIdLeavesTheFileOpen) {
  Store(12, "A");
  TcbFileTable t("KELVFILE.DBF", 0, 0);
  EXPECT_EQ(t.FindById(0), nullptr);
  EXPECT_EQ(t.Data(), nullptr);
  EXPECT_EQ(t.FindById(99), nullptr);
  EXPECT_NE(t.Data(), nullptr);  // a miss leaves it open too
  t.Close();
  TcbFileTable missing("NONE.DBF", 0, 0);
  EXPECT_EQ(missing.FindById(12), nullptr);
  EXPECT_EQ(missing.LockById(12), -1);
}

TEST_F(FileTableTest, DeleteNegatesIdAndMachine) {
  Store(17, "A", 3);
  Store(18, "B", 0);
  TcbFileTable t("KELVFILE.DBF", 0, 0);
  std::unique_ptr<TcbFileRecord> r(t.DeleteById(17));
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->NCID, 17);
  EXPECT_EQ(r->MID, 3);
  EXPECT_EQ(t.Data(), nullptr);
  auto row = Row(0);
  EXPECT_EQ(row[0], "*");
  EXPECT_EQ(row[1], "-17");
  EXPECT_EQ(row[9], "-3");
  EXPECT_EQ(t.FindById(17), nullptr);
  t.Close();
  std::unique_ptr<TcbFileRecord> z(t.DeleteById(18));
  ASSERT_NE(z, nullptr);
  EXPECT_EQ(Row(1)[9], "0");
  EXPECT_EQ(t.DeleteById(99), nullptr);
  // The old id is free again in the unique tag.
  Store(17, "AGAIN");
}

TEST_F(FileTableTest, UpdateRewritesTheRow) {
  Store(7, "OLD");
  TcbFileTable t("KELVFILE.DBF", 0, 0);
  auto r = Program(7, "NEW");
  r->LOCK = 1;
  EXPECT_EQ(t.Update(r.get()), 1);
  EXPECT_EQ(Row(0)[2], "NEW");
  EXPECT_EQ(Row(0)[16], "T");
  auto other = Program(8, "NONE");
  EXPECT_EQ(t.Update(other.get()), 0);
  EXPECT_EQ(Rows(DbPath("KELVFILE.DBF")).size(), 1u);
}

TEST_F(FileTableTest, DuplicateIdIsRefusedWithoutABlankRow) {
  Store(7, "A");
  DbContext->silent_errors = 1;
  TcbFileTable t("KELVFILE.DBF", 0, 0);
  EXPECT_EQ(t.Append(Program(7, "B").get()), 0);
  DbContext->silent_errors = 0;
  Store(8, "C");
  auto rows = Rows(DbPath("KELVFILE.DBF"));
  size_t live = 0;
  for (const auto& row : rows) live += row[0] == " " && !row[1].empty();
  EXPECT_EQ(live, 2u);
  for (const auto& row : rows) EXPECT_FALSE(row[0] == " " && row[1].empty());
}

TEST_F(FileTableTest, RowLockSeenFromAnotherProcess) {
  Store(12, "A");
  Store(13, "B");
  TcbFileTable t("KELVFILE.DBF", 0, 0);
  EXPECT_EQ(t.LockById(13), 2);
  DbContext->lock_attempts = 2;
  int other = InChild([] {
    TcbFileTable a("KELVFILE.DBF", 0, 0);
    long locked = a.LockById(13);
    a.Close();
    TcbFileTable b("KELVFILE.DBF", 0, 0);
    long free = b.LockById(12);
    return locked == -1 && free == 1 ? 0 : 1;
  });
  EXPECT_EQ(other, 0);
  // Within this process a second table is refused as well.
  TcbFileTable second("KELVFILE.DBF", 0, 0);
  EXPECT_EQ(second.LockById(13), -1);
  second.Close();
  t.Close();
  EXPECT_EQ(second.LockById(13), 2);
  EXPECT_EQ(t.LockById(99), -1);
}

TEST_F(FileTableTest, SendCounter) {
  auto r = Program(12, "A");
  r->SENT = 4;
  TcbFileTable w("KELVFILE.DBF", 0, 0);
  ASSERT_EQ(w.Append(r.get()), 1);

  TcbFileTable t("KELVFILE.DBF", 0, 0);
  t.IncrementSent(12);  // not open: nothing
  EXPECT_EQ(Row(0)[19], "4");
  ASSERT_EQ(t.LockById(12), 1);
  t.IncrementSent(99);
  t.IncrementSent(12);
  t.Close();
  EXPECT_EQ(Row(0)[19], "5");
  t.ResetSent(12);
  EXPECT_EQ(Row(0)[19], "0");
  EXPECT_EQ(t.Data(), nullptr);
}

TEST_F(FileTableTest, ReadAllHandsTheListOver) {
  Store(1, "A");
  Store(2, "B");
  TcbFileTable t("KELVFILE.DBF", 0, 0);
  TcbFileRecord* head = t.ReadAll(1);
  ASSERT_NE(head, nullptr);
  EXPECT_EQ(t.First(), nullptr);
  ASSERT_NE(head->next, nullptr);
  EXPECT_EQ(static_cast<TcbFileRecord*>(head->next)->NCID, 2);
  FreeRecordList(head);
  TcbFileRecord* kept = t.ReadAll(0);
  EXPECT_EQ(t.First(), kept);  // freed with the table
  // A query beside it hands out a list of its own and leaves this one.
  TcbFileRecord* found = t.SelectByMachine(3);
  ASSERT_NE(found, nullptr);
  EXPECT_NE(found, kept);
  EXPECT_EQ(t.First(), kept);
  EXPECT_EQ(static_cast<TcbFileRecord*>(kept->next)->NCID, 2);
  FreeRecordList(found);
}

TEST_F(FileTableTest, PeerReaderSeesTheRows) {
  // The peer reads a memo block's length as that of the text alone and
  // hands the padding after it through; only the text is compared.
  auto r = Program(21, "PEER");
  r->SetMemo("memo text");
  TcbFileTable t("KELVFILE.DBF", 0, 0);
  ASSERT_EQ(t.Append(r.get()), 1);
  std::string script =
      "import dbfread,sys\n"
      "t=dbfread.DBF(sys.argv[1])\n"
      "for r in t: print(r['NCID'],r['DESC'],r['MEMOSTR'].rstrip('\\0'),r['LOCK'],r['PROG'])\n";
  auto out = kvdb::RunPeerScript(Root(), "peer.py", script, DbPath("KELVFILE.DBF"));
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(*out, "21 PEER memo text False -1\n");
}

}  // namespace
