// Storing received programs in each storage mode, with the rows read back
// by an independent reader (python3-dbfread) and the files compared with
// cmp; failed transfers; finding and loading programs to send.
#include <gtest/gtest.h>

#include <cstdlib>

#include "dnc/storing.h"
#include "dnc_fixture.h"

namespace {

using kvdnc::DncTest;
using kvdb::ReadFileBytes;
using kvdb::WriteFileBytes;

class StoringTest : public DncTest {
 protected:
  // The live rows of a program-layout table as the peer reads them:
  // "NCID|DESC|DIR|NAME|EXT|MID|MAT|MACHINE|LONG1|MAZAK" per row.
  std::vector<std::string> PeerRows(const char* table) {
    std::string script =
        "import dbfread,sys\n"
        "for r in dbfread.DBF(sys.argv[1],encoding='latin-1'):\n"
        "  print('|'.join(str(r[k]).strip() for k in "
        "('NCID','DESC','DIR','NAME','EXT','MID','MAT','MACHINE','LONG1','MAZAK')))\n";
    std::string out = kvdb::RunPeerScript(Root(), "peer_rows.py", script, DbPath(table)).value_or("");
    std::vector<std::string> rows;
    for (size_t at = 0, nl; (nl = out.find('\n', at)) != std::string::npos; at = nl + 1)
      rows.push_back(out.substr(at, nl - at));
    return rows;
  }
  // The system log's entries as "TYPE TEXT".
  std::vector<std::string> LogEntries() {
    std::vector<std::string> out;
    for (const auto& r : Rows(DbPath("LOG00000.DBF"))) out.push_back(r[2] + " " + r[4]);
    return out;
  }
  static bool Same(const std::string& a, const std::string& b) {
    return std::system(("cmp -s '" + Native(a) + "' '" + Native(b) + "'").c_str()) == 0;
  }
  // A finished reception of `text` named `name` on a port of the row.
  void Received(TDncPort& port, const std::string& text, const char* name) {
    WriteFileBytes(Native(port.TransferPath), text);
    if (name)
      port.SetRequested(name);
    else
      port.ClearRequest();
  }
  std::string MachineDir() { return Root() + "/mach1\\"; }
  std::string Bak() { return Globals->BackupDir; }
};

const char kProgram[] = "%\r\nO0001 (FIRST)\r\nG1 X10\r\nM30\r\n%";
const char kProgram2[] = "%\r\nO0001 (SECOND)\r\nG1 X20\r\nM30\r\n%";

TEST_F(StoringTest, NewProgramsInOverwriteMode) {
  auto port = OfflinePort(Row(1, 0));
  Received(*port, kProgram, "PART1");
  ASSERT_EQ(port->StoreReceived(), 1);
  Received(*port, kProgram2, "PART1");
  ASSERT_EQ(port->StoreReceived(), 1);
  auto rows = PeerRows("KELVFILE.DBF");
  ASSERT_EQ(rows.size(), 2u);
  const std::string mid = std::to_string(machineId_);
  EXPECT_EQ(rows[0], "3|PART1|" + MachineDir() + "|P3|NC|" + mid + "|7|MILL1|3|False");
  EXPECT_EQ(rows[1], "4|PART1|" + MachineDir() + "|P4|NC|" + mid + "|7|MILL1|4|False");
  WriteFileBytes(Root() + "/first.nc", kProgram);
  EXPECT_TRUE(Same(Root() + "/first.nc", MachineDir() + "P3.NC"));
  EXPECT_TRUE(Same(port->TransferPath, MachineDir() + "P4.NC"));
  EXPECT_EQ(LogEntries(), (std::vector<std::string>{"29 New PART1 MILL1 Mill one by AL", "29 New PART1 MILL1 Mill one by AL"}));
}

TEST_F(StoringTest, BackupAndOverwrite) {
  auto* row = Row(1, 0);
  row->Number[kPropStorageMode] = 2;
  auto port = OfflinePort(row);
  Received(*port, kProgram, "PART1");
  ASSERT_EQ(port->StoreReceived(), 1);  // nothing to overwrite: a new program
  Received(*port, kProgram2, "part1");
  ASSERT_EQ(port->StoreReceived(), 1);
  ASSERT_EQ(PeerRows("KELVFILE.DBF").size(), 1u);
  auto backups = PeerRows("KELVBACK.DBF");
  ASSERT_EQ(backups.size(), 1u);
  EXPECT_EQ(backups[0], "3|PART1|" + Bak() + "|B3|BAK|" + std::to_string(machineId_) + "|7|MILL1|3|False");
  WriteFileBytes(Root() + "/first.nc", kProgram);
  EXPECT_TRUE(Same(Root() + "/first.nc", Bak() + "B3.BAK"));
  EXPECT_TRUE(Same(port->TransferPath, MachineDir() + "P3.NC"));
  EXPECT_STREQ(port->OverwritePath.get(), (MachineDir() + "P3.NC").c_str());
  EXPECT_EQ(LogEntries().back(), "28 Backup PART1 MILL1 Mill one by AL");
}

TEST_F(StoringTest, NamesWithQuotesAreSearchedSafely) {
  auto* row = Row(1, 0);
  row->Number[kPropStorageMode] = 2;
  auto port = OfflinePort(row);
  for (const char* name : {"A'B", "A'B\"C", "X'\"[]"}) {
    SCOPED_TRACE(name);
    Received(*port, kProgram, name);
    ASSERT_EQ(port->StoreReceived(), 1);
    Received(*port, kProgram2, name);
    ASSERT_EQ(port->StoreReceived(), 1);
  }
  // The two names that can be written as constants found their program
  // the second time; the third is stored anew rather than matched wrongly.
  EXPECT_EQ(PeerRows("KELVBACK.DBF").size(), 2u);
  EXPECT_EQ(PeerRows("KELVFILE.DBF").size(), 4u);
}

TEST_F(StoringTest, TemporaryStorageLogsItsOwnType) {
  auto* row = Row(1, 0);
  row->Number[kPropStorageMode] = 3;
  row->SetListA(kPropProtocol, kProtoMazak);
  auto port = OfflinePort(row);
  Received(*port, kProgram, "TMP1");
  ASSERT_EQ(port->StoreTransfer(), 1);
  auto rows = PeerRows("KELVDNCT.DBF");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], "3|TMP1|" + Globals->DncTempDir + "|T3|NC|" + std::to_string(machineId_) + "|7|MILL1|3|True");
  EXPECT_TRUE(Same(port->TransferPath, Globals->DncTempDir + "T3.NC"));
  EXPECT_EQ(LogEntries(), std::vector<std::string>{"26 Temp TMP1 MILL1 Mill one by AL"});
}

TEST_F(StoringTest, FailedTransfers) {
  auto port = OfflinePort(Row(1, 0));
  EXPECT_EQ(port->StoreFailed(), 0);  // no receive file
  Received(*port, "G1 X1\r\n", nullptr);
  port->ParityError = 1;
  EXPECT_EQ(port->StoreFailed(), 0);  // too short to keep
  EXPECT_EQ(port->ParityError, 0);
  Received(*port, kProgram, nullptr);
  ASSERT_EQ(port->StoreFailed(), 1);
  Received(*port, kProgram2, nullptr);
  port->ParityError = 1;
  ASSERT_EQ(port->StoreFailed(), 1);
  auto rows = PeerRows("KELVDNCF.DBF");
  ASSERT_EQ(rows.size(), 2u);
  const std::string tail = "|" + std::to_string(machineId_) + "|7|MILL1|";
  EXPECT_EQ(rows[0], "3|TRANSFER FAILED|" + Globals->DncFailDir + "|F3|NC" + tail + "3|False");
  EXPECT_EQ(rows[1], "4|PARITY ERROR|" + Globals->DncFailDir + "|F4|NC" + tail + "4|False");
  EXPECT_TRUE(Same(port->TransferPath, Globals->DncFailDir + "F4.NC"));
  EXPECT_EQ(LogEntries(), (std::vector<std::string>{"25 Failed MILL1 Mill one by AL", "25 Failed MILL1 Mill one by AL"}));
}

TEST_F(StoringTest, ProgramWhoseFileCannotBePlacedIsKeptAsFailed) {
  std::filesystem::remove_all(Root() + "/mach1");
  auto port = OfflinePort(Row(1, 0));
  Received(*port, kProgram, "PART1");
  EXPECT_EQ(port->StoreReceived(), 1);
  EXPECT_TRUE(PeerRows("KELVFILE.DBF").empty());
  ASSERT_EQ(PeerRows("KELVDNCF.DBF").size(), 1u);
  EXPECT_TRUE(Same(port->TransferPath, Globals->DncFailDir + "F3.NC"));
}

TEST_F(StoringTest, FileModeStoresPlainFilesWithBackups) {
  auto* row = Row(1, 0);
  row->SetListB(kPropFileMode, 1);
  row->SetText(kPropExtension, "NC");
  row->SetText(kPropFirstDirectory, (Root() + "/files").c_str());
  auto port = OfflinePort(row);
  Received(*port, kProgram, "P1");
  ASSERT_EQ(port->StoreReceived(), 1);
  Received(*port, kProgram2, "P1");
  ASSERT_EQ(port->StoreReceived(), 1);
  Received(*port, kProgram2, "P1");
  ASSERT_EQ(port->StoreReceived(), 1);
  EXPECT_TRUE(Same(port->TransferPath, Root() + "/files/P1.NC"));
  WriteFileBytes(Root() + "/first.nc", kProgram);
  EXPECT_TRUE(Same(Root() + "/first.nc", Bak() + "1-P1.bak"));
  EXPECT_TRUE(Same(port->TransferPath, Bak() + "2-P1.bak"));
  EXPECT_TRUE(PeerRows("KELVFILE.DBF").empty());
}

TEST_F(StoringTest, NamesThatLeaveTheDirectoryAreRefused) {
  auto* row = Row(1, 0);
  row->SetListB(kPropFileMode, 1);
  row->SetText(kPropFirstDirectory, (Root() + "/files/sub").c_str());
  auto port = OfflinePort(row);
  for (const char* name : {"../ESCAPE", "..", "A\\B", "A/B", "C:X", ""}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(IsSafeProgramFileName(name));
    Received(*port, kProgram, name);
    EXPECT_EQ(port->StoreReceived(), 1);  // kept as a failed transfer
    port->SetRequested(name);
    EXPECT_EQ(PrepareToSend(port.get()), 0);
  }
  EXPECT_FALSE(std::filesystem::exists(Root() + "/files/ESCAPE"));
  EXPECT_TRUE(IsSafeProgramFileName("O1234.MIN"));
  int failed = 0;
  for (auto& e : std::filesystem::directory_iterator(Root() + "/dncfail")) failed += e.is_regular_file();
  EXPECT_GE(failed, 1);
}

TEST_F(StoringTest, PrepareToSendFromTheDatabase) {
  auto port = OfflinePort(Row(1, 0));
  EXPECT_EQ(PrepareToSend(port.get()), 0);
  Received(*port, kProgram, "PART9");
  ASSERT_EQ(port->StoreReceived(), 1);
  port->SetRequested("part9");
  ASSERT_EQ(PrepareToSend(port.get()), 1);
  EXPECT_EQ(port->SendProgramId, 3);
  port->SetRequested("OTHER");
  EXPECT_EQ(PrepareToSend(port.get()), 0);

  // The row loaded to send gives its Program-ID as the description; the
  // id asked for stays as it was asked.
  port->SetRequested("part9");
  ASSERT_EQ(PrepareToSend(port.get()), 1);
  ASSERT_EQ(port->CopyForSend(nullptr), 1);
  EXPECT_STREQ(port->ProgramPath.get(), (MachineDir() + "P3.NC").c_str());
  EXPECT_EQ(port->SendDescription(), "PART9");
  EXPECT_STREQ(port->Requested(), "part9");
  EXPECT_EQ(port->FoundPath(), "");
  EXPECT_EQ(port->ShownProgram(), "PART9");
  {
    DbContext->lock_attempts = 1;  // another station tries once
    TcbFileTable other("KELVFILE.DBF", 0, 0);
    EXPECT_EQ(other.LockById(3), -1);  // the send holds the row
    code_error_set(DbContext, 0);
    DbContext->lock_attempts = -1;
  }
  port->ProgramTable.reset();
  TcbFileTable other("KELVFILE.DBF", 0, 0);
  EXPECT_GT(other.LockById(3), 0);
  port->SendProgramId = 77;
  EXPECT_EQ(port->CopyForSend(nullptr), 0);
  EXPECT_EQ(port->SendProgramId, 0);
  EXPECT_EQ(port->ProgramPath, nullptr);
}

TEST_F(StoringTest, PrepareToSendSearchesTheDirectories) {
  std::filesystem::create_directories(Root() + "/files/d2/deep");
  std::filesystem::create_directories(Root() + "/other4");
  WriteFileBytes(Root() + "/files/sub/A.NC", "G1\r\n");
  WriteFileBytes(Root() + "/files/d2/deep/B.NC", "G2\r\n");
  WriteFileBytes(Root() + "/other4/C.NC", "G3\r\n");
  auto* row = Row(1, 0);
  row->SetListB(kPropFileMode, 1);
  row->SetText(kPropExtension, "NC");
  row->SetText(kPropFirstDirectory, (Root() + "/files").c_str());
  row->SetText(kPropFirstDirectory + 1, (Root() + "/files/d2").c_str());
  // Slot 2 empty: slot 3 is never searched.
  row->SetText(kPropFirstDirectory + 3, (Root() + "/other4").c_str());
  auto port = OfflinePort(row);
  port->SetRequested("A");
  ASSERT_EQ(PrepareToSend(port.get()), 1);
  EXPECT_EQ(Native(port->ProgramPath.get()), Root() + "/files/sub/A.NC");
  EXPECT_EQ(port->BytesTotal, 4u);
  // The request and the file found for it, each in its own field; the
  // panel shows the file.
  EXPECT_STREQ(port->Requested(), "A");
  EXPECT_EQ(Native(port->FoundPath()), Root() + "/files/sub/A.NC");
  EXPECT_EQ(port->ShownProgram(), port->FoundPath());
  // A new request forgets the file found for the one before.
  port->SetRequested("B");
  EXPECT_EQ(port->FoundPath(), "");
  EXPECT_EQ(port->ShownProgram(), "B");
  EXPECT_EQ(PrepareToSend(port.get()), 1);
  EXPECT_EQ(Native(port->FoundPath()), Root() + "/files/d2/deep/B.NC");
  port->SetRequested("C");
  EXPECT_EQ(PrepareToSend(port.get()), 0);
}

}  // namespace
