// The common file dialogs, answered through the driver.
#include <cstring>

#include "platform/ui/filedlg.h"
#include "platform/ui/gtest_driver.h"
#include "tests/platform/ui_test_support.h"

namespace {

class UiFileDialogs : public uitest::UiTest {
 protected:
  void TearDown() override {
    plat::set_current_directory_setter(nullptr);
    uitest::UiTest::TearDown();
  }
};

TEST_F(UiFileDialogs, ChosenNameStandsInTheDataAndMovesTheCurrentDirectory) {
  std::string cwd;
  plat::set_current_directory_setter([&](const std::string& d) { cwd = d; });
  struct Case {
    DWORD flags;
    const char* defExt;
    const char* chosen;
    int result;
    const char* name;
    const char* dir;
  } cases[] = {
      {0x281406, "NC", "C:\\NC\\MILL\\P1234", IDOK, "C:\\NC\\MILL\\P1234.NC", "C:\\NC\\MILL"},
      {0x281406, "NC", "C:\\P1.TXT", IDOK, "C:\\P1.TXT", "C:\\"},
      {OFN_NOCHANGEDIR, nullptr, "D:\\X\\Y.NC", IDOK, "D:\\X\\Y.NC", ""},
      {0, nullptr, "C:\\A\\B\\C\\D\\E\\F\\G\\H\\I\\J.NC", IDCANCEL, "", ""},  // longer than the buffer
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.chosen);
    cwd.clear();
    plat::GTestUiDriver driver;
    TOpenSaveDialog::TData data(c.flags, "NC programs (*.NC)|*.NC|All files (*.*)|*.*|", nullptr, "C:\\NC", c.defExt,
                                24);
    driver.expect_dialog("TFileOpenDialog", [&](TDialog& d) {
      auto& fd = static_cast<TOpenSaveDialog&>(d);
      EXPECT_EQ(fd.GetData().InitialDir, "C:\\NC");
      fd.Choose(c.chosen);
    });
    EXPECT_EQ(TFileOpenDialog(nullptr, data).Execute(), c.result);
    EXPECT_STREQ(data.FileName, c.name);
    EXPECT_EQ(cwd, c.dir);
  }
}

TEST_F(UiFileDialogs, SaveDialogCancelLeavesTheData) {
  plat::GTestUiDriver driver;
  TOpenSaveDialog::TData data(OFN_OVERWRITEPROMPT, "Text|*.TXT", nullptr, nullptr, "TXT", 260);
  std::strcpy(data.FileName, "KEPT.TXT");
  driver.expect_dialog("TFileSaveDialog", [](TDialog& d) { d.CmCancel(); });
  EXPECT_EQ(TFileSaveDialog(nullptr, data).Execute(), IDCANCEL);
  EXPECT_STREQ(data.FileName, "KEPT.TXT");
  EXPECT_EQ(plat::parse_file_filter("NC programs (*.NC)|*.NC|All files (*.*)|*.*|"),
            (std::vector<std::pair<std::string, std::string>>{{"NC programs (*.NC)", "*.NC"}, {"All files (*.*)", "*.*"}}));
}

}  // namespace
