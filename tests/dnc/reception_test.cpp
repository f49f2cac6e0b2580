// The reception filter: triggers, removal list, line-end conversion, NUL
// filter modes, the Okuma header name, raw ports, and the rewrite file.
#include <gtest/gtest.h>

#include "dnc_fixture.h"

namespace {

using kvdnc::DncTest;
using kvdb::ReadFileBytes;

class ReceptionTest : public DncTest {};

struct FilterCase {
  const char* what;
  const char* startTrigger;  // property 11
  const char* endTrigger;    // property 36
  const char* remove;        // property 10
  const char* lineEnd;       // property 9
  int nulMode;               // property 34
  int protocol;
  std::vector<std::string> blocks;
  std::string stored;
};

TEST_F(ReceptionTest, FilterRows) {
  const std::string nul(1, '\0');
  const FilterCase cases[] = {
      {"no settings keep every byte", "", "", "", "", 1, 0, {"%\r\nG1 X1\r\n%"}, "%\r\nG1 X1\r\n%"},
      {"block before the start trigger is dropped", "37", "", "", "", 1, 0, {"junk", "xx%G1\r\n"}, "%G1\r\n"},
      {"end trigger not looked for in the first block", "37", "37", "", "", 1, 0, {"%G1\r\n%tail"},
       "%G1\r\n%tail"},
      {"end trigger cuts a later block after its byte", "37", "37", "", "", 1, 0, {"%G1\r\n", "G2\r\n%after", "more"},
       "%G1\r\nG2\r\n%"},
      {"removal list drops its bytes", "", "", "32,59", "", 1, 0, {"G1 X1;\r\n"}, "G1X1\r\n"},
      {"line end CR LF becomes one CR LF", "", "", "", "13,10", 1, 0, {"A\r\nB\r\n"}, "A\r\nB\r\n"},
      {"byte after CR is dropped even when no LF", "", "", "", "13,10", 1, 0, {"A\rXB\r", "\nC"}, "A\r\nB\r\nC"},
      {"single-byte line end LF", "", "", "", "10", 1, 0, {"A\nB\n"}, "A\r\nB\r\n"},
      {"mode 2 drops control and high bytes", "", "", "", "", 2, 0, {"A\x01\xC3" "B\r\n"}, "AB\r\n"},
      {"mode 2 drops CR LF behind a line-end sequence", "", "", "", "59", 2, 0, {"A\r\nB;"}, "AB\r\n"},
      {"mode 3 drops only NUL", "", "", "", "", 3, 0, {"A" + nul + "\x01" "B"}, "A\x01" "B"},
      {"mode 1 stores NUL as 0xA7", "", "", "", "", 1, 0, {"A" + nul + "B"}, "A\xA7" "B"},
      {"unknown mode keeps only line ends", "", "", "", "", 7, 0, {"AB\r\n"}, "\r\n"},
      {"raw port takes blocks unchanged", "37", "37", "32", "13,10", 2, kProtoRaw, {"x %\r\n" + nul, "%y"},
       "x %\r\n" + nul + "%y"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto* row = Row(1, 0, c.protocol);
    row->SetText(kPropStartTrigger, c.startTrigger);
    row->SetText(kPropEndTrigger, c.endTrigger);
    row->SetText(kPropRemoveList, c.remove);
    row->SetText(kPropReceiveLineEnd, c.lineEnd);
    row->Number[kPropNulFilter] = c.nulMode;
    auto port = OfflinePort(row);
    BeginReception(*port);
    for (const auto& b : c.blocks) Receive(*port, b);
    port->TransferFile->Close();
    EXPECT_EQ(ReadFileBytes(Native(port->TransferPath)), c.stored);
    EXPECT_EQ(port->ReceiveFailed, 0);
  }
}

TEST_F(ReceptionTest, OkumaHeaderNamesTheProgram) {
  auto port = OfflinePort(Row(2, 0, kProtoStandard, 3));
  BeginReception(*port);
  Receive(*port, "$O1234.MIN%\r\nG1\r\n");
  Receive(*port, "$X.Y%second\r\n");
  port->TransferFile->Close();
  ASSERT_NE(port->Requested(), nullptr);
  EXPECT_STREQ(port->Requested(), "O1234");
  EXPECT_EQ(ReadFileBytes(Native(port->TransferPath)), "%\r\nG1\r\n$X.Y%second\r\n");
}

TEST_F(ReceptionTest, OkumaHeaderWithoutPercentKeepsTheBlock) {
  auto port = OfflinePort(Row(2, 0, kProtoStandard, 3));
  BeginReception(*port);
  Receive(*port, "$P7.MIN\r\nG1\r\n");
  port->TransferFile->Close();
  EXPECT_STREQ(port->Requested(), "P7");
  EXPECT_EQ(ReadFileBytes(Native(port->TransferPath)), "$P7.MIN\r\nG1\r\n");
}

TEST_F(ReceptionTest, BlocksAfterTheEndAreDropped) {
  auto* row = Row(3, 0);
  row->SetText(kPropEndTrigger, "37");
  auto port = OfflinePort(row);
  BeginReception(*port);
  Receive(*port, "G1\r\n");
  Receive(*port, "G2%G3");
  EXPECT_EQ(port->ReceptionEnded, 1);
  Receive(*port, "G4");
  port->TransferFile->Close();
  EXPECT_EQ(ReadFileBytes(Native(port->TransferPath)), "G1\r\nG2%");
}

// A whole reception without a line: bytes fed to the reception path, then
// the end the parse thread gives it. A named program that reached its end
// is stored; one that did not, or that came with line errors the row
// checks for, is kept as a failed transfer.
TEST_F(ReceptionTest, FedBytesAreFilteredParsedAndStored) {
  struct Case {
    const char* what;
    std::vector<std::string> blocks;
    bool lineErrors;
    const char* programs;  // descriptions in the program table
    const char* failed;    // and among the failed transfers
    std::string stored;    // the receive file
  };
  const std::string program = "%\r\n(PART7)\r\nG1 X1 Y2\r\nM30\r\n%";
  const Case cases[] = {
      {"a named program with its end", {"junk %\r\n(PART7)\r\nG1 X1", " Y2\r\nM30\r\n%tail"}, false, "PART7", "",
       program},
      {"the end never came", {"%\r\n(PART7)\r\nG1 X1 Y2\r\n", "M30\r\n"}, false, "", "TRANSFER FAILED",
       "%\r\n(PART7)\r\nG1 X1 Y2\r\nM30\r\n"},
      {"line errors with the first bytes", {program}, true, "", "PARITY ERROR", program},
  };
  long id = 10;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto before = Rows(DbPath("KELVFILE.DBF")).size();
    const auto failedBefore = Rows(DbPath("KELVDNCF.DBF")).size();
    auto* row = Row(++id, 0);
    row->SetText(kPropStartTrigger, "37");
    row->SetText(kPropEndTrigger, "37");
    row->SetText(kPropIdTrigger, "40");
    row->SetText(kPropIdEndTrigger, "41");
    row->Number[kPropParityCheck] = 1;
    auto port = OfflinePort(row);
    if (c.lineErrors) KeepPollLineErrors(*port, CE_RXPARITY);
    BeginReception(*port);
    for (const auto& b : c.blocks) Receive(*port, b);
    CloseTransferFile(*port);
    EXPECT_EQ(ReadFileBytes(Native(port->TransferPath)), c.stored);
    EXPECT_FALSE(Rs232FinishReception(*port)) << "nothing to send";
    const auto programs = Rows(DbPath("KELVFILE.DBF"));
    const auto failed = Rows(DbPath("KELVDNCF.DBF"));
    ASSERT_EQ(programs.size(), before + (*c.programs ? 1 : 0));
    ASSERT_EQ(failed.size(), failedBefore + (*c.failed ? 1 : 0));
    if (*c.programs) {
      EXPECT_EQ(programs.back()[2], c.programs);
    }
    if (*c.failed) {
      EXPECT_EQ(failed.back()[2], c.failed);
    }
  }
}

TEST_F(ReceptionTest, BytesWithoutAReceiveFileAreReportedNotStored) {
  auto port = OfflinePort(Row(4, 0));
  Receive(*port, "G1\r\n");
  EXPECT_EQ(port->ReceiveFailed, 1);
}

TEST_F(ReceptionTest, WriteErrorMarksTheReceptionFailed) {
  auto port = OfflinePort(Row(5, 0));
  BeginReception(*port);
  plat::set_write_fault("PORT5.DNC", 2);
  Receive(*port, "G1 X100\r\n");
  plat::set_write_fault("", 0);
  EXPECT_EQ(port->ReceiveFailed, 1);
}

TEST_F(ReceptionTest, RewriteFileReplacesTheReceiveFile) {
  auto port = OfflinePort(Row(6, 0));
  kvdb::WriteFileBytes(Native(port->TransferPath), "old");
  ASSERT_EQ(port->OpenTempFile(0), 1);
  port->TempFile->WriteLine("new");
  port->TempFile->FlushBuffer();
  port->TempFile->Close();
  port->TempFile.reset();
  EXPECT_EQ(port->CommitTempFile(), 1);
  EXPECT_EQ(ReadFileBytes(Native(port->TransferPath)), "new");
  Globals->TempDir = Root() + "/missing\\";
  EXPECT_EQ(port->OpenTempFile(0), 0);
  EXPECT_EQ(port->TempFile, nullptr);
}

}  // namespace
