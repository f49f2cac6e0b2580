// Each plug-in of the program as a user meets it: through the command that
// loads it, its windows answered as a user would, its results read with
// independent tools.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>

#include "app/plugin_calls.h"
#include "platform/path.h"
#include "platform/plugin.h"
#include "platform/sysinfo.h"
#include "platform/ui/dirdlg.h"
#include "platform/ui/filedlg.h"
#include "platform/ui/plugin_services.h"
#include "platform/ui/print.h"
#include "resources/menus/editor.h"
#include "tests/editor/editor_fixture.h"
#include "tests/support/run_command.h"

namespace {

// The lines of a PDF's text, blanks run together, empty lines left out.
std::vector<std::string> PdfLines(const std::string& pdf) {
  std::vector<std::string> lines;
  std::istringstream in(kvtest::run_command("pdftotext -layout '" + pdf + "' - 2>&1"));
  for (std::string line; std::getline(in, line);) {
    std::string squeezed;
    for (char c : line) {
      if (c == '\f') continue;
      if (c == ' ' && (squeezed.empty() || squeezed.back() == ' ')) continue;
      squeezed += c;
    }
    while (!squeezed.empty() && squeezed.back() == ' ') squeezed.pop_back();
    if (!squeezed.empty()) lines.push_back(squeezed);
  }
  return lines;
}

class PluginsTest : public kveditor::EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    Globals->HookDir = "C:\\HOOKS\\";
    plat::set_plugin_dir(KV_PLUGINS_DIR);
    // The memo file lies in the system directory of drive C: one of this
    // test's own, as tests run side by side.
    plat::set_drive_root('C', Root() + "/c");
    std::filesystem::create_directories(plat::to_native_path(plat::system_directory()));
    TPrintSetup setup;
    setup.OutputDir = Root() + "/print";
    plat::set_default_print_setup(setup);
  }
  void TearDown() override {
    plat::set_plugin_dir("");
    plat::set_drive_root('C', "");
    EditorTest::TearDown();
  }
};

TEST_F(PluginsTest, FormattedPrintGivesPagesWithTheProgramsNameAndPageNumbers) {
  std::string text;
  std::vector<std::string> lines;
  for (int i = 1; i <= 130; ++i) {
    lines.push_back("N" + std::to_string(i * 10) + " G1 X" + std::to_string(i) + " Y-2.5 F200");
    text += lines.back() + "\r\n";
  }
  AddMillProgram(1, text);
  Globals->PrintTexts.Set(20, "Seite");
  TChildFrame* f = Open(1);
  driver.expect_dialog(TPrintDialog::kTemplate, [](TDialog& d) { d.CmOk(); });
  driver.expect_message_box(IDOK, "PRG1 was printed to ");
  Command(f, kCmFormattedPrint);
  std::string box = driver.message_boxes().back().text;
  std::string pdf = box.substr(box.find(" to ") + 4);
  ASSERT_TRUE(std::filesystem::exists(pdf)) << box;
  // The peer's reading of the document: a header on every page, then the
  // program's lines in order, none lost at a page's end.
  std::vector<std::string> read = PdfLines(pdf), body;
  int pages = 0;
  for (const std::string& l : read) {
    if (l.rfind("PRG1 Seite ", 0) == 0) {
      ++pages;
      EXPECT_EQ(l.substr(0, l.find(" of ")), "PRG1 Seite " + std::to_string(pages));
      continue;
    }
    body.push_back(l);
  }
  EXPECT_GE(pages, 2);
  EXPECT_EQ(read.front(), "PRG1 Seite 1 of " + std::to_string(pages));
  EXPECT_EQ(body, lines);
  // Cancelled in the print dialog: nothing printed, nothing told.
  driver.expect_dialog(TPrintDialog::kTemplate, [](TDialog& d) { d.CmCancel(); });
  Command(f, kCmFormattedPrint);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Root() + "/print"), {}), 1);
}

TEST_F(PluginsTest, DirectoryChoiceFillsTheFieldFromTheDialog) {
  Globals->LastDir = "C:\\NC\\";
  std::string asked;
  driver.expect_dialog("TDirectoryDialog", [&](TDialog& d) {
    auto& dd = static_cast<TDirectoryDialog&>(d);
    asked = dd.GetStart();
    dd.Choose("D:\\PROGRAMS\\MILL\\");
  });
  HeapText dir = CallPrintHook(nullptr);
  EXPECT_EQ(asked, "C:\\NC\\");
  ASSERT_TRUE(dir.IsSet());
  EXPECT_STREQ(dir.c_str(), "D:\\PROGRAMS\\MILL");
  EXPECT_EQ(std::string(Globals->LastDir.c_str()), "D:\\PROGRAMS\\MILL");
  // Cancelled: the field stays as it was.
  driver.expect_dialog("TDirectoryDialog", [](TDialog& d) { d.CmCancel(); });
  EXPECT_FALSE(CallPrintHook(nullptr).IsSet());
  EXPECT_EQ(std::string(Globals->LastDir.c_str()), "D:\\PROGRAMS\\MILL");
}

TEST_F(PluginsTest, PicturesOfTheProgramAreListedAndShown) {
  std::filesystem::create_directories(Root() + "/pics");
  Globals->PicturesDir = Root() + "/pics\\";
  Globals->RightsMask = 0x20;
  for (const char* name : {"PRG1.png", "prg1-clamping.PNG", "PRG10.png", "OTHER.png"})
    ASSERT_EQ(kvtest::run_command("convert -size 40x20 xc:red '" + Root() + "/pics/" + name + "' 2>&1"), "") << name;
  AddMillProgram(1, "N10 G0\r\n");
  TChildFrame* f = Open(1);
  std::vector<std::string> listed;
  std::string problem = "not asked";
  driver.expect_dialog(TPictureViewer::kTemplate, [&](TDialog& d) {
    listed = plat::Pilot(d).lines(TPictureViewer::kListId);
    problem = static_cast<TPictureViewer&>(d).Problem();
    d.CmCancel();
  });
  Command(f, kCmPictures);
  EXPECT_EQ(listed, (std::vector<std::string>{"prg1-clamping.PNG", "PRG1.png"}));
  EXPECT_EQ(problem, "") << "the first picture is shown";
  // A program without pictures: told.
  AddMillProgram(2, "N10 G0\r\n");
  TChildFrame* g = Open(2, 1);
  driver.expect_message_box(IDOK, "There are no pictures of PRG2");
  Command(g, kCmPictures);
}

TEST_F(PluginsTest, MemoEditorTextIsReadBackAfterItCloses) {
  Globals->RightsMask = 0x10;
  AddMillProgram(1, "N10 G0\r\n");
  SetMemo(1, "Clamp at the left");
  TChildFrame* f = Open(1);
  std::string shown;
  driver.expect_dialog(TTextFileDialog::kTemplate, [&](TDialog& d) {
    plat::Pilot p(d);
    shown = p.text(TTextFileDialog::kEditId);
    p.set_text(TTextFileDialog::kEditId, "Clamp at the left side\r\nTorque 40 Nm");
    d.CmOk();
  });
  Command(f, kCmMemorandum);
  EXPECT_EQ(shown, "Clamp at the left");
  EXPECT_EQ(Memo(1), "Clamp at the left side\r\nTorque 40 Nm");
  // Cancelled: the memo stays.
  driver.expect_dialog(TTextFileDialog::kTemplate, [](TDialog& d) {
    plat::Pilot(d).set_text(TTextFileDialog::kEditId, "lost");
    d.CmCancel();
  });
  Command(f, kCmMemorandum);
  EXPECT_EQ(Memo(1), "Clamp at the left side\r\nTorque 40 Nm");
}

TEST_F(PluginsTest, FileLoaderShowsTheChosenFileAndStartsThereNextTime) {
  std::filesystem::create_directories(Root() + "/n/NC");
  kvdb::WriteFileBytes(Root() + "/n/NC/P17.NC", "N1\r\n");
  plat::set_drive_root('N', Root() + "/n");
  Globals->LastDir = "N:\\";
  std::string start;
  driver.expect_dialog("TFileOpenDialog", [&](TDialog& d) {
    auto& fd = static_cast<TOpenSaveDialog&>(d);
    start = fd.GetData().InitialDir;
    fd.Choose("N:\\NC\\P17.NC");
  });
  driver.expect_message_box(IDOK, "N:\\NC\\P17.NC");
  RunFileLoader(nullptr);
  EXPECT_EQ(start, "N:\\");
  EXPECT_EQ(driver.message_boxes().back().caption, "Filename");
  EXPECT_EQ(std::string(Globals->LastDir.c_str()), "N:\\NC");
  // Nothing chosen: nothing shown.
  driver.expect_dialog("TFileOpenDialog", [](TDialog& d) { d.CmCancel(); });
  RunFileLoader(nullptr);
  plat::set_drive_root('N', "");
}

}  // namespace
