// Shared set-up of the Unix-link tests: the program's dialog templates and
// language texts, a configuration directory for unixlink.cfg, the plug-ins
// of the build, a directory on the "host" that the test user may read and
// write, a recorder script there, and the test user's login.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "appcore/globals.h"
#include "dnc/unixlink.h"
#include "platform/plugin.h"
#include "platform/ui/gtest_driver.h"
#include "platform/ui/resource.h"
#include "tests/dnc/dnc_fixture.h"
#include "tests/unixlink/rexec_host.h"

namespace kvunix {

class UnixLinkTest : public kvdnc::DncServerTest {
 protected:
  static constexpr int kCom = 12;
  UnixLinkTest() : DncServerTest(kCom, 0.01) {}

  void SetUp() override {
    DncServerTest::SetUp();
    plat::set_resource_dir(KV_SOURCE_DIR "/resources/dialogs");
    Globals->CfgDir = KV_SOURCE_DIR "/resources/lang/";
    Globals->LoadMessages(44, 0);
    Globals->LoadDialogTexts(44, 0);
    Globals->CaptionText.Set("Kelvane");
    Globals->CfgDir = Root() + "/cfg/";
    Globals->HookDir = "C:\\HOOKS\\";
    std::filesystem::create_directories(Root() + "/cfg");
    plat::set_plugin_dir(KV_PLUGINS_DIR);
    // The test user reaches the host directory and nothing else of ours.
    ASSERT_EQ(chmod(Root().c_str(), 0711), 0);
    std::filesystem::create_directories(Host());
    ASSERT_EQ(chmod(Host().c_str(), 0777), 0);
    WriteFile(Host() + "/rec",
              "#!/bin/sh\n"
              "{ printf '%s\\0' \"$#\"; for a; do printf '%s\\0' \"$a\"; done; } >> \"$(dirname \"$0\")/record\"\n");
    ASSERT_EQ(chmod((Host() + "/rec").c_str(), 0755), 0);
  }
  void TearDown() override {
    plat::set_plugin_dir("");
    unsetenv(KV_UNIXLINK_TIMEOUT_ENV);
    DncServerTest::TearDown();
  }

  std::string Host() const { return Root() + "/host"; }
  std::string Recorder() const { return Host() + "/rec"; }
  static void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
  }
  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void WriteConfig(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines) text += l + "\r\n";
    WriteFile(Root() + "/cfg/unixlink.cfg", text);
  }
  // The lines that log in to the host as the test user.
  std::vector<std::string> LoginLines(int port) {
    EXPECT_TRUE(login_.Read()) << "no test user: run the tests through ctest (unixlink_host_setup)";
    return {"UNIX_HOST_NAME=\"127.0.0.1\"", "UNIX_HOST_PORT=" + std::to_string(port),
            "UNIX_USER_NAME=\"" + login_.user + "\"", "UNIX_USER_PASSWORD=\"" + login_.password + "\""};
  }
  // Every run of the recorder: its arguments.
  std::vector<std::vector<std::string>> Records() {
    const std::string bytes = ReadFile(Host() + "/record");
    std::vector<std::string> fields;
    for (std::size_t at = 0; at < bytes.size();) {
      const std::size_t end = bytes.find('\0', at);
      if (end == std::string::npos) break;
      fields.push_back(bytes.substr(at, end - at));
      at = end + 1;
    }
    std::vector<std::vector<std::string>> runs;
    for (std::size_t i = 0; i < fields.size();) {
      const std::size_t n = std::stoul(fields[i++]);
      runs.emplace_back(fields.begin() + i, fields.begin() + std::min(fields.size(), i + n));
      i += n;
    }
    return runs;
  }
  std::vector<std::string> BoxTexts() {
    std::vector<std::string> texts;
    for (const auto& b : driver.message_boxes()) texts.push_back(b.text);
    return texts;
  }

  plat::GTestUiDriver driver;
  Login login_;
};

}  // namespace kvunix
