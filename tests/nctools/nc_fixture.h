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
#include "platform/ui/resource.h"
#include "tests/dbmodel/db_fixture.h"
#include "tests/dbmodel/layout_peer.h"
#include <vector>

namespace kvnc {

class NcTest : public kvdb::DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    plat::set_resource_dir(KV_SOURCE_DIR "/resources/dialogs");
    Globals->CfgDir = KV_SOURCE_DIR "/resources/lang/";
    Globals->LoadMessages(44, 0);
    Globals->LoadDialogTexts(44, 0);
    Globals->CaptionText.Set("Kelvane");
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

  // Every row of a file as python3-dbfread reads it: "*" for a deleted row
  // (dbfread lists them apart), then "FIELD=value" texts in field order.
  std::vector<std::string> PeerRows(const std::string& path) {
    std::string script =
        "import dbfread,sys\n"
        "t=dbfread.DBF(sys.argv[1],load=True)\n"
        "for r in t.records: print(' '.join('%s=%s'%(k,v) for k,v in r.items()))\n"
        "for r in t.deleted: print('* '+' '.join('%s=%s'%(k,v) for k,v in r.items()))\n";
    std::string out = kvdb::RunPeerScript(Root(), "peer_rows.py", script, path).value_or("peer failed");
    std::vector<std::string> rows;
    size_t start = 0;
    for (size_t nl; (nl = out.find('\n', start)) != std::string::npos; start = nl + 1)
      rows.push_back(out.substr(start, nl - start));
    if (start < out.size()) rows.push_back(out.substr(start));
    return rows;
  }

 private:
  size_t windows_ = 0;
};

}  // namespace kvnc
