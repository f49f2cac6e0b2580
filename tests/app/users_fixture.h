// Shared set-up of the user, logon and profile tests: a scratch database
// with its alternate and local directories, the program's own dialog
// templates and language texts, the built-in user tables in the local
// directory, and a reader of stored rows that is not ours
// (python3-dbfread).
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "appcore/globals.h"
#include "dbmodel/user_tables.h"
#include "platform/ui/gtest_driver.h"
#include "platform/ui/handles.h"
#include "tests/dbmodel/db_fixture.h"
#include "tests/dbmodel/layout_peer.h"
#include "tests/support/dialog_fixture.h"

namespace kvusers {

class UsersTest : public kvtest::DialogTest<kvdb::DbTest> {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    Globals->CaptionText2.Set("Logon");
    Globals->ErrorCaptionText.Set("Error");
    Globals->BaseDir = Root() + "\\";
    MakeCounters();
    {
      TAccountTable t("USER0001.DBF", 0, 1);
      t.CreateTable(LocalPath("USER0001.DBF").c_str());
    }
    {
      TUserInfoTable t("USER0002.DBF", 0, 1);
      t.CreateTable(LocalPath("USER0002.DBF").c_str());
    }
    windows_ = plat::live_window_count();
  }
  void TearDown() override {
    EXPECT_EQ(plat::live_window_count(), windows_) << "windows left alive";
    DbTest::TearDown();
  }

  std::string LocalPath(const std::string& name) const { return Root() + "/local/" + name; }
  std::string AltPath(const std::string& name) const { return Root() + "/alt/" + name; }

  // Every row of a file as python3-dbfread reads it (see kvdb::PeerRows).
  std::vector<std::string> PeerRows(const std::string& path) { return kvdb::PeerRows(Root(), path); }

  // A user appended as the dialogs do.
  long AddUser(long type, const char* login, const char* password, const char* first = "Grace",
               const char* last = "Hopper") {
    TUserInfoTable t("USER0002.DBF", 0, 1);
    return t.AddUser(type, login, password, first, last);
  }
  long FindUserId(const char* login) {
    TUserInfoTable t("USER0002.DBF", 0, 1);
    return t.FindLogin(login);
  }
  long AddType(const char* name, int32_t rights) {
    long id = NextAccountTypeId();
    AddTypeRow(id, name);
    TAccountTable t("USER0001.DBF", 0, 1);
    t.SaveRights(id, rights, 0, 0);
    return id;
  }

 private:
  void AddTypeRow(long id, const char* name);
  size_t windows_ = 0;
};

}  // namespace kvusers
