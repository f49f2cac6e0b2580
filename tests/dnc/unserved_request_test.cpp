// A machine's request that the station cannot serve is never dropped
// unnoticed: when the program index cannot be read, or the program's row
// cannot be locked for the send, the port's log says so and the request is
// kept as a failed transfer, with the system log's line for one. A program
// that is simply not there stays what it always was: nothing to keep.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "engine/engine_api.h"
#include "tests/dnc/protocol_server.h"
#include "tests/sim/machine_sim.h"

namespace {

using kvdnc::PortLog;

const std::string kProgram = "%\r\n(PROG1)\r\nG1 X10\r\nM30\r\n%";
const std::string kRequest = "R PROG1/\r\n";

class UnservedRequestTest : public kvdnc::ProtocolServerTest {
 protected:
  void SetUp() override {
    ProtocolServerTest::SetUp();
    AddProgram(1, "PROG1", kProgram);
    OnePort(kProtoStandard, StandardTexts);
  }
  // The station's lock tries, changed while no port thread is in the
  // engine.
  void LockAttempts(int tries) {
    DbLock engine(DbContext);
    DbContext->lock_attempts = tries;
  }
};

// How each case keeps the request from being served, and puts things back.
struct Fault {
  const char* name;
  const char* logged;  // the port log's line for the cause
  std::function<void()> make;
  std::function<void()> mend;
};

TEST_F(UnservedRequestTest, IsLoggedAndKeptAsAFailedTransferThenTheNextOneIsServed) {
  std::optional<TcbFileTable> held;
  const std::string index = DbPath("KELVFILE.DBF");
  const Fault faults[] = {
      {"index unreadable", "PrepareToSend = false (3)",
       [&] { std::filesystem::rename(index, index + ".away"); },
       [&] { std::filesystem::rename(index + ".away", index); }},
      // Another station sends the program: its row lock is refused.
      {"row locked", "Program could not be locked",
       [&] {
         held.emplace("KELVFILE.DBF", 0, 0);
         ASSERT_GT(held->LockById(1), 0);
         LockAttempts(1);
       },
       [&] {
         held.reset();
         LockAttempts(-1);
       }},
  };
  for (const Fault& f : faults) {
    SCOPED_TRACE(f.name);
    ASSERT_TRUE(std::filesystem::exists(index));
    for (const char* t : {"KELVDNCF.DBF", "LOG00000.DBF"}) std::filesystem::remove(DbPath(t));
    CreateTable<TcbFileTable>("KELVDNCF.DBF");
    CreateTable<TLogTable>("LOG00000.DBF");
    // The windows go before the server, whose end forgets them.
    std::optional<PortLog> logged(std::in_place);
    sim::Machine m(kCom);
    StartServer();
    ASSERT_NO_FATAL_FAILURE(f.make());
    m.Send(kRequest);
    // The system log's line comes last.
    ASSERT_TRUE(WaitFor([&] { return !LogTypes().empty(); })) << logged->Text();
    EXPECT_EQ(LogTypes(), std::vector<std::string>{"25"});
    EXPECT_EQ(FailedBytes(), kRequest);
    EXPECT_TRUE(logged->Has(kCom, f.logged, 0)) << logged->Text();
    EXPECT_TRUE(logged->Has(kCom, "Request not served: PROG1", 0)) << logged->Text();
    ASSERT_TRUE(Polling());
    f.mend();

    m.Send(kRequest);
    const std::string expected = Framed(kProgram);
    EXPECT_EQ(Collect(m, expected.size()), expected);
    ASSERT_TRUE(Polling());
    EXPECT_EQ(RowCount("KELVDNCF.DBF"), 1u);
    logged.reset();
    StopServer();
  }
}

TEST_F(UnservedRequestTest, ProgramThatIsNotThereKeepsNothing) {
  std::optional<PortLog> logged(std::in_place);
  sim::Machine m(kCom);
  StartServer();
  m.Send("R PROG9/\r\n");
  ASSERT_TRUE(WaitFor([&] { return logged->Has(kCom, "PrepareToSend = false (2)", 0); })) << logged->Text();
  ASSERT_TRUE(Polling());
  EXPECT_FALSE(logged->Has(kCom, "Request not served", 0)) << logged->Text();
  EXPECT_EQ(RowCount("KELVDNCF.DBF"), 0u);
  logged.reset();
  StopServer();
}

}  // namespace
