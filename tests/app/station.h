// A whole station for the program's tests: a home directory whose drive C:
// holds the KELVACFG layout with its configuration and our language files,
// the program's resources, quiet engine settings, and two stand-ins for the
// logon and profile dialogs (templates 9901 and 9902) that the start-up
// runs when a test plugs them in.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/startup_dialogs.h"
#include "app/threads.h"
#include "appcore/globals.h"
#include "dbmodel/engine_context.h"
#include "engine/engine.h"
#include "engine/engine_api.h"
#include "platform/file.h"
#include "platform/msgbox.h"
#include "platform/path.h"
#include "platform/ui/dialog.h"
#include "platform/ui/resource.h"

namespace station {

namespace fs = std::filesystem;

inline const char* const kLayout[] = {"LOCAL", "DB31", "CHOOKS", "TEMPLATE", "TEMPLATE/LOCAL", "PICTURES",
                                      "VIDEO", "IMPORT", "EXPORT", "BACKUP/PROGRAMS", "TEMP", "CFG",
                                      "DNCFAIL", "DNCTEMP"};

inline const char* const kConfig = "LANGUAGE=44\nTOOLBARS=1\nSTATUSBAR=1\n";

// Stand-in templates of the logon and the profile choice (added in SetUp).
constexpr int kLogonStub = 9901, kProfileStub = 9902;
inline int RunLogonStub(TWindow* parent) { return TDialog(parent, kLogonStub).Execute(); }
inline int RunProfileStub(TWindow* parent) { return TDialog(parent, kProfileStub).Execute(); }

class StationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> seq{0};
    home_ = fs::temp_directory_path() / ("kvstation_" + std::to_string(getpid()) + "_" + std::to_string(seq++));
    fs::remove_all(home_);
    for (const char* d : kLayout) fs::create_directories(Cfg() / d);
    plat::set_base_directory(home_.string());
    plat::reset_drive_table();
    WriteConfig(kConfig);
    for (const char* f : {"MESSAGES", "DIALOGS", "LOGSTRS", "PRINTS", "MENUHINT", "MENUES"})
      fs::copy_file(fs::path(KV_SOURCE_DIR) / "resources/lang" / (std::string(f) + ".CFG"),
                    Cfg() / "CFG" / (std::string(f) + ".CFG"), fs::copy_options::overwrite_existing);
    plat::set_resource_dir(KV_SOURCE_DIR "/resources");
    {
      std::string error;
      bool ok = plat::add_dialog_templates(
          "dialog 9901 \"Logon\" 0 0 120 50\n  defpushbutton 1 \"OK\" 10 30 40 14\n"
          "  pushbutton 2 \"Cancel\" 60 30 40 14\nend\n"
          "dialog 9902 \"Database profile\" 0 0 120 50\n  defpushbutton 1 \"OK\" 10 30 40 14\nend\n",
          "station stubs", &error);
      EXPECT_TRUE(ok) << error;
    }
    DB_ENGINE* c = DbContext;
    code_error_set(c, 0);
    c->report_create_errors = 0;
    c->report_open_errors = 0;
    c->auto_open = 1;
    c->safety = 1;
    c->exclusive = 0;
    c->lock_attempts = -1;
    plat::clear_message_box_log();
    RunLogonDialog = nullptr;
    RunProfileDialog = nullptr;
  }

  void TearDown() override {
    StopWorkers();
    RunLogonDialog = nullptr;
    RunProfileDialog = nullptr;
    delete Globals;
    Globals = nullptr;
    code_error_set(DbContext, 0);
    plat::reset_drive_table();
    std::error_code ec;
    fs::remove_all(home_, ec);
  }

  // Global state read from the station's configuration, with the station's
  // own tables, as the start-up leaves it before the main window.
  void LoadGlobals(bool dncStation = false) {
    plat::set_current_directory("C:\\");
    Globals = new TGlobals;
    Globals->DncStationMode = dncStation ? 1 : 0;
    ASSERT_EQ(Globals->ReadConfig(), TGlobals::ConfigRead::Read);
    Globals->CreateDatabaseFiles();
  }

  void WriteConfig(const std::string& text) { Write("CFG/KELVA31.CFG", text); }
  void Write(const std::string& rel, const std::string& bytes) {
    fs::create_directories((Cfg() / rel).parent_path());
    std::ofstream(Cfg() / rel, std::ios::binary) << bytes;
  }
  std::string Read(const std::string& rel) const {
    std::ifstream in(Cfg() / rel, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  fs::path Cfg() const { return home_ / "c" / "KELVACFG"; }
  fs::path Home() const { return home_; }

 private:
  fs::path home_;
};

}  // namespace station
