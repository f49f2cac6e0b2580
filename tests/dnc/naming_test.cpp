// Program names, program requests and job requests by naming mode, the
// rewrite of the DECKEL modes and job send files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "dnc/jobfile.h"
#include "dnc_fixture.h"

namespace {

using kvdnc::DncTest;
using kvdb::ReadFileBytes;
using kvdb::WriteFileBytes;

class NamingTest : public DncTest {};

enum Fn { Name, Request, Job };

struct NameCase {
  const char* what;
  int mode;
  Fn fn;
  const char* line;  // without its CR LF
  int result;
  const char* pending;  // expected pending name; null: none
  uint32_t stateBefore = 0;
  uint32_t stateAfter = 0;
};

// Triggers of every case: program id "(" ... ")", request "R" ... "/",
// job "J" ... "/", reserved number 9999.
TMultiDncRecord* Configure(TMultiDncRecord* r) {
  r->SetText(kPropIdTrigger, "40");
  r->SetText(kPropIdEndTrigger, "41");
  r->SetText(kPropRequestTrigger, "82");
  r->SetText(kPropRequestEndTrigger, "47");
  r->SetText(kPropJobTrigger, "74");
  r->SetText(kPropJobEndTrigger, "47");
  r->SetListA(kPropReservedNumber, 9999);
  return r;
}

TEST_F(NamingTest, LineToResult) {
  const NameCase cases[] = {
      {"mode 0 name between triggers", 0, Name, "%(  PART-7)", 1, "PART-7"},
      {"mode 0 without end trigger", 0, Name, "%(PART-7", 0, nullptr},
      {"mode 0 empty name", 0, Name, "(  )", 0, nullptr},
      {"mode 2 names like mode 0", 2, Name, "(A1)", 1, "A1"},
      {"mode 1 number after trigger", 1, Name, "( O0012 )", 1, "12"},
      {"mode 1 reserved number is no name", 1, Name, "(9999)", 0, nullptr},
      {"mode 1 without digits", 1, Name, "(ABC)", 0, nullptr},
      {"mode 1 number too long for an id", 1, Name, "(123456789012345678901234)", 0, nullptr},
      {"mode 5 every digit after the trigger", 5, Name, "x(1A2 B3)", 1, "123"},
      {"mode 5 trigger without digits", 5, Name, "(AB)", 1, ""},
      {"mode 8 four-digit name", 8, Name, "( 12)", 1, "0012"},
      {"mode 8 reserved number", 8, Name, "(9999)", 0, nullptr},
      {"mode 6 &% 0 * number", 6, Name, "&%0*123", 1, "0_123"},
      {"mode 6 &% 1 sets the state", 6, Name, "&%1", 0, nullptr, 0, 1},
      {"mode 6 state 1 names nothing", 6, Name, "&%5", 0, nullptr, 1, 1},
      {"mode 6 &% 5 names eight digits", 6, Name, "&%5 X", 1, "00000005"},
      {"mode 6 trigger number wins", 6, Name, "&%5 (42", 1, "00000042"},
      {"mode 7 percent sets the state", 7, Name, "%12", 0, nullptr, 0, 12},
      {"mode 7 state names the program", 7, Name, "G1", 1, "00000012", 12, 0},
      {"mode 7 state 1 names nothing", 7, Name, "G1", 0, nullptr, 1, 1},
      {"other mode names nothing", 9, Name, "(A1)", 0, nullptr},
      {"request mode 0", 0, Request, "R  P55/", 1, "P55"},
      {"request mode 0 no end", 0, Request, "R P55", 0, nullptr},
      {"request mode 1", 1, Request, "R 12", 1, "12"},
      {"request mode 1 reserved", 1, Request, "R 9999", 0, nullptr},
      {"request mode 1 trigger at the end of the line", 1, Request, "R", 0, nullptr},
      {"request mode 8", 8, Request, "R7", 1, "0007"},
      {"request mode 2 &H", 2, Request, "R&H7", 1, "0007"},
      {"request mode 2 &H wide", 2, Request, "R&H12345", 1, "12345"},
      {"request mode 2 &HE is none", 2, Request, "R&HE7", 0, nullptr},
      {"request mode 5", 5, Request, "xR1-2", 1, "12"},
      {"request mode 6 quote-less trigger", 6, Request, "R12*34", 1, "0_34", 1, 0},
      {"request mode 6 plain number", 6, Request, "R12", 1, "00000012", 2, 0},
      {"request mode 6 needs state", 6, Request, "R12", 0, nullptr},
      {"request mode 7 last dash", 7, Request, "A-9-1234", 1, "00001234"},
      {"request mode 7 zero", 7, Request, "A-0", 0, nullptr},
      {"request mode 7 state 2", 7, Request, "A-5", 0, nullptr, 2, 2},
      {"job mode 0", 0, Job, "J PART-A/", 1, "PART-A"},
      {"job mode 1", 1, Job, "J 42", 1, "42"},
      {"job mode 6 state 1", 6, Job, "R4*5", 1, "00000045", 1, 0},
      {"job mode 6 state 2", 6, Job, "R45", 0, nullptr, 2, 2},
      {"job mode 7 like its request", 7, Job, "X-77", 1, "00000077"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto port = OfflinePort(Configure(Row(1, 0, kProtoStandard, c.mode)));
    kvdb::WriteFileBytes(Native(port->TransferPath), "G1\r\n");
    port->DialogState = c.stateBefore;
    std::string line = std::string(c.line) + "\r\n";
    int r = c.fn == Name ? port->ExtractProgramName(line.c_str())
            : c.fn == Request ? port->ExtractProgramNumber(line.c_str())
                              : port->CheckForJob(line.c_str());
    EXPECT_EQ(r, c.result);
    if (c.pending)
      EXPECT_STREQ(port->Requested() ? port->Requested() : "(none)", c.pending);
    else
      EXPECT_EQ(port->Requested(), nullptr);
    EXPECT_EQ(port->DialogState, c.stateAfter);
  }
}

TEST_F(NamingTest, LongDigitRunsAreKeptWhole) {
  auto port = OfflinePort(Configure(Row(1, 0, kProtoStandard, 5)));
  const std::string digits(300, '7');
  EXPECT_EQ(port->ExtractProgramName(("(" + digits + ")\r\n").c_str()), 1);
  EXPECT_EQ(port->Requested(), digits);
}

TEST_F(NamingTest, ZeroPaddingByIndex) {
  const struct {
    int index;
    const char* name;
  } cases[] = {{0, "0012"}, {2, "000012"}, {12, "0000000000000012"}, {40, "0000000000000012"}};
  for (const auto& c : cases) {
    auto* row = Configure(Row(1, 0, kProtoStandard, 1));
    row->Number[kPropZeroPad] = 1;
    row->Number[kPropZeroPadIndex] = c.index;
    auto port = OfflinePort(row);
    EXPECT_EQ(port->ExtractProgramName("(12)\r\n"), 1);
    EXPECT_STREQ(port->Requested(), c.name);
  }
}

TEST_F(NamingTest, ReservedNumberMarksTheReception) {
  auto port = OfflinePort(Configure(Row(1, 0, kProtoStandard, 1)));
  EXPECT_EQ(port->ExtractProgramName("(O9999)\r\n"), 0);
  EXPECT_EQ(port->ReservedNumberSeen, 1);
  EXPECT_EQ(port->ExtractProgramNumber("R 77\r\n"), 1);
  EXPECT_STREQ(port->Requested(), "77");
}

TEST_F(NamingTest, OkumaNameFromTheHeader) {
  auto port = OfflinePort(Configure(Row(1, 0, kProtoStandard, 3)));
  EXPECT_EQ(port->ExtractProgramName("G1\r\n"), 0);
  port->SetRequested("1234");
  EXPECT_EQ(port->ExtractProgramName("G1\r\n"), 1);
  EXPECT_EQ(port->ExtractProgramNumber("R X/\r\n"), 0);
  port->SetRequested("9999");
  EXPECT_EQ(port->ExtractProgramName("G1\r\n"), 0);
  EXPECT_EQ(port->ExtractProgramNumber("R X1/\r\n"), 1);
  EXPECT_STREQ(port->Requested(), "X1");
}

TEST_F(NamingTest, DialogModesRewriteTheReceiveFile) {
  auto port = OfflinePort(Configure(Row(1, 0, kProtoStandard, 7)));
  WriteFileBytes(Native(port->TransferPath), "%5\r\n?ASK\r\nANSWER\r\nG1\r\n?END\r\nX\r\n");
  EXPECT_EQ(port->ExtractProgramName("%5\r\n"), 0);
  EXPECT_EQ(port->ExtractProgramName("G1\r\n"), 1);
  EXPECT_STREQ(port->Requested(), "00000005");
  EXPECT_EQ(ReadFileBytes(Native(port->TransferPath)), "%5\r\n?ASK\r\n0000\r\nG1\r\n?END\r\n0000");
}

TEST_F(NamingTest, JobSendFile) {
  auto port = OfflinePort(Row(3, 0));
  const std::string dir = Root() + "/files";
  WriteFileBytes(dir + "/A.NC", "G1\r\nG2\r\n");
  WriteFileBytes(dir + "/B.NC", "M30\r\n");
  WriteFileBytes(dir + "/job.txt", "HEAD\r\n;comment\r\n#" + dir + "/A.NC\r\n#" + dir + "/MISSING.NC\r\n#\r\n#" +
                                      dir + "/B.NC\r\nTAIL\r\n");
  std::string path = BuildJobSendFile(port.get(), (dir + "/job.txt").c_str());
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path, Globals->TempDir + "PORT0003.DSF");
  EXPECT_EQ(ReadFileBytes(Native(path)), "HEAD\r\nG1\r\nG2\r\nM30\r\nTAIL\r\n");
  EXPECT_TRUE(BuildJobSendFile(port.get(), (dir + "/nojob.txt").c_str()).empty());
}

// A "#" line takes a file only: a directory or a pipe named in a job file is
// skipped like a missing file, never read (a pipe would block the build
// for good).
TEST_F(NamingTest, JobSendFileTakesFilesOnly) {
  auto port = OfflinePort(Row(3, 0));
  const std::string dir = Root() + "/files";
  WriteFileBytes(dir + "/A.NC", "G1\r\n");
  ASSERT_EQ(mkfifo((dir + "/pipe").c_str(), 0600), 0);
  WriteFileBytes(dir + "/job.txt", "#" + dir + "/pipe\r\n#" + dir + "/sub\r\n#" + dir + "/A.NC\r\nM30\r\n");
  const std::string path = BuildJobSendFile(port.get(), (dir + "/job.txt").c_str());
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(ReadFileBytes(Native(path)), "G1\r\nM30\r\n");
}

}  // namespace
