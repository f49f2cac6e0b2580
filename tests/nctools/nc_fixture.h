// Shared set-up of the NC tool tests: a scratch station (database, local
// and configuration directories) behind a fresh TGlobals, the program's
// dialog templates and language texts, and small file helpers.
#pragma once

#include <filesystem>
#include <string>

#include "appcore/globals.h"
#include "editor/user_prefs.h"
#include "platform/ui/gtest_driver.h"
#include "platform/ui/handles.h"
#include "tests/dbmodel/db_fixture.h"
#include "tests/dbmodel/layout_peer.h"
#include "tests/support/dialog_fixture.h"
#include <vector>

namespace kvnc {

class NcTest : public kvtest::DialogTest<kvdb::DbTest> {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    std::filesystem::create_directories(Root() + "/cfg");
    std::filesystem::create_directories(Root() + "/tmp");
    Globals->CfgDir = Root() + "/cfg\\";
    Globals->TempDir = Root() + "/tmp\\";
    *UserPreferences = TUserPreferences();
    windows_ = plat::live_window_count();
  }
  void TearDown() override {
    EXPECT_EQ(plat::live_window_count(), windows_) << "windows left alive";
    *UserPreferences = TUserPreferences();
    DbTest::TearDown();
  }
  // A file of the scratch directory with these bytes; its path.
  std::string MakeText(const std::string& name, const std::string& bytes) {
    std::string path = Root() + "/tmp/" + name;
    kvdb::WriteFileBytes(path, bytes);
    return path;
  }
  std::string TmpPath(const std::string& name) const { return Root() + "/tmp/" + name; }

  // Every row of a file as python3-dbfread reads it (see kvdb::PeerRows).
  std::vector<std::string> PeerRows(const std::string& path) { return kvdb::PeerRows(Root(), path); }

 private:
  size_t windows_ = 0;
};

}  // namespace kvnc
