// Command lines started without a shell: how a line is split, that nothing
// in it is expanded, and that a missing program is a clear failure.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/process.h"

namespace {

namespace fs = std::filesystem;

TEST(ProcessRunner, SplitsAtBlanksWithQuotesAndExpandsNothing) {
  struct Case {
    std::string line;
    std::vector<std::string> args;
  } cases[] = {
      {"", {}},
      {"   ", {}},
      {"NET USE X: \\\\SRV\\DATA", {"NET", "USE", "X:", "\\\\SRV\\DATA"}},
      {"  map\t\"F:=SRV/VOL:\"  /y ", {"map", "F:=SRV/VOL:", "/y"}},
      {"login \"\" x", {"login", "", "x"}},
      {"echo $HOME *.NC ~ a;b|c `id`", {"echo", "$HOME", "*.NC", "~", "a;b|c", "`id`"}},
      {"say \"two words\"tail", {"say", "two wordstail"}},
  };
  for (const Case& c : cases) EXPECT_EQ(plat::split_command_line(c.line), c.args) << c.line;
}

TEST(ProcessRunner, ProgramGetsItsArgumentsAsTheyStandAndMissingOnesAreRefused) {
  fs::path dir = fs::temp_directory_path() / ("kvprocess_" + std::to_string(getpid()));
  fs::create_directories(dir);
  plat::clear_process_log();
  std::string line = "touch \"" + (dir / "with blank").string() + "\" " + (dir / "$HOME;*").string();
  plat::ProcessStart s = plat::start_process_owned(line);
  ASSERT_TRUE(s.started) << s.error;
  EXPECT_EQ(plat::wait_process(s.pid), 0);
  EXPECT_TRUE(fs::exists(dir / "with blank"));
  EXPECT_TRUE(fs::exists(dir / "$HOME;*"));

  for (std::string missing : {"kv-no-such-program --help", "C:\\NOWHERE\\NET.EXE USE"}) {
    plat::ProcessStart m = plat::start_process(missing);
    EXPECT_FALSE(m.started) << missing;
    EXPECT_NE(m.error.find("not found"), std::string::npos) << m.error;
  }
  EXPECT_FALSE(plat::start_process("  ").started);
  auto log = plat::process_log();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[0].rfind("started ", 0), 0u);
  EXPECT_EQ(log[1].rfind("refused: kv-no-such-program --help: ", 0), 0u);
  fs::remove_all(dir);
}

}  // namespace
