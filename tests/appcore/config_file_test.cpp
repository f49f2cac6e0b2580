// Start-up reading: directory layouts, KELVA31.CFG, language files with
// their user overrides, SYNTAX.CFG and the cached captions.
// Covers: appcore/config_file.cpp, appcore/language_files.cpp, appcore/globals.cpp
#include <gtest/gtest.h>

#include <string>

#include "appcore/fatal.h"
#include "appcore/globals.h"
#include "platform/msgbox.h"
#include "platform/path.h"
#include "tests/support/scratch_dir.h"

namespace {

// Drive C: lies in a fresh directory; the working directory is C:\WORK.
class ConfigFile : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::set_base_directory(dir_.file());
    plat::reset_drive_table();
    ASSERT_TRUE(plat::set_drive_root('C', dir_.file("c")));
    dir_.write("c/WORK/.keep", "");
    ASSERT_TRUE(plat::set_current_directory("C:\\WORK"));
  }
  void TearDown() override { plat::reset_drive_table(); }

  void Cfg(const std::string& name, const std::string& text) { dir_.write("c/WORK/KELVACFG/CFG/" + name, text); }

  kvtest::ScratchDir dir_;
};

TEST_F(ConfigFile, PrimaryLayoutUnderWorkingDirectory) {
  Cfg("KELVA31.CFG", "");
  TGlobals g;
  EXPECT_EQ(g.ReadConfig(), TGlobals::ConfigRead::Read);
  EXPECT_EQ(g.BaseDir, "C:\\WORK\\");
  EXPECT_EQ(g.CfgDir, "C:\\WORK\\KELVACFG\\CFG\\");
  EXPECT_EQ(g.DatabaseDir, "C:\\WORK\\KELVACFG\\DB31\\");
  EXPECT_EQ(g.LocalDir, "C:\\WORK\\KELVACFG\\LOCAL\\");
  EXPECT_EQ(g.AlternateDir, "C:\\WORK\\KELVACFG\\LOCAL\\");
  EXPECT_EQ(g.BackupDir, "C:\\WORK\\KELVACFG\\BACKUP\\PROGRAMS\\");
  EXPECT_EQ(g.TemplateLocalDir, "C:\\WORK\\KELVACFG\\TEMPLATE\\LOCAL\\");
  EXPECT_EQ(g.ImportDir, "C:\\WORK\\KELVACFG\\IMPORT\\");
  EXPECT_EQ(g.LastDir, g.ImportDir);
  EXPECT_EQ(g.FileData.InitialDir, g.ImportDir);
  EXPECT_EQ(g.FileData.Flags, 0x281406u);
}

TEST_F(ConfigFile, RootWorkingDirectoryHasOneBackslash) {
  ASSERT_TRUE(plat::set_current_directory("C:\\"));
  EXPECT_EQ(TGlobals::MakeCfgPath(nullptr), "C:\\");
  TGlobals g;
  g.BuildPrimaryLayout();
  EXPECT_EQ(g.BaseDir, "C:\\");
  EXPECT_EQ(g.CfgDir, "C:\\KELVACFG\\CFG\\");
}

TEST_F(ConfigFile, FallbackLayoutUnderWindowsDirectory) {
  std::string win = TGlobals::MakeWindowsDirPath(nullptr);
  ASSERT_EQ(win.back(), '\\');
  kvtest::ScratchDir::write_file(plat::to_native_path(win + "KELVACFG\\CFG\\KELVA31.CFG"), "LANGUAGE=49\r\n");
  TGlobals g;
  EXPECT_EQ(g.ReadConfig(), TGlobals::ConfigRead::Read);
  EXPECT_EQ(g.LanguageNo, 49);
  EXPECT_EQ(g.BaseDir, win);
  EXPECT_EQ(g.CfgDir, win + "KELVACFG\\CFG\\");
  EXPECT_EQ(g.DatabaseDir, win + "KELVACFG\\DB31\\");
  EXPECT_EQ(g.LocalDir, "C:\\WORK\\KELVACFG\\LOCAL\\");
  EXPECT_EQ(g.TemplateLocalDir, "C:\\WORK\\KELVACFG\\TEMPLATE\\LOCAL\\");
}

TEST_F(ConfigFile, MissingFileKeepsDefaults) {
  Cfg("MESSAGES.CFG", "{\r\n44,106,\"Title\"\r\n}\r\n");
  TGlobals g;
  EXPECT_EQ(g.ReadConfig(), TGlobals::ConfigRead::Missing);
  EXPECT_EQ(g.LanguageNo, 44);
  EXPECT_EQ(g.MessageTexts.Get(106), nullptr);
  EXPECT_FALSE(g.CaptionText.IsSet());
}

TEST_F(ConfigFile, LanguageFilesOverridesSyntaxAndCaptions) {
  Cfg("KELVA31.CFG", "; station settings\r\nLANGUAGE=49\r\nFILEMASK=NC|*.NC|\r\nOFD_F2=3,80\r\n");
  Cfg("MESSAGES.CFG",
      "[English]\n{\n44,106,\"English\"\n}\n[German]\n{\n49,106,\"Kelvane\"\n49,165,\"Zeile\\r\\nzwei\"\n"
      "49,300,\"bleibt\"\n}\n");
  Cfg("MESSAGES.USR", "{\n49,165,\"Benutzer\"\n}\n");
  Cfg("DIALOGS.CFG", "{\n49,647,\"Abbruch\\r\\n\"\n}\n");
  Cfg("LOGSTRS.CFG", "{\n49,7,\"%s %s %s %s\"\n}\n");
  Cfg("PRINTS.CFG", "{\n49,1,\"Seite\"\n}\n");
  Cfg("MENUHINT.CFG", "{\n49,2000,\"Hinweis\"\n}\n");
  Cfg("MENUES.CFG", "{\n49,24301,\"&Neu\\tStrg+N\"\n}\n");
  Cfg("MENUES.USR", "{\n49,24302,\"&Offnen\"\n}\n");
  Cfg("SYNTAX.CFG", "[FANUC]\nX=red green\n\n[HEIDENHAIN]\nnoequals\nY=\tblue\n");

  TGlobals g;
  g.MenuTexts->Set(5, "stale");
  ASSERT_EQ(g.ReadConfig(), TGlobals::ConfigRead::Read);
  EXPECT_EQ(g.FileData.Filter, "NC|*.NC|");
  EXPECT_EQ(g.OfdColumn[1], 3);
  EXPECT_STREQ(g.MessageTexts.Get(106), "Kelvane");
  EXPECT_STREQ(g.MessageTexts.Get(165), "Benutzer");
  EXPECT_STREQ(g.MessageTexts.Get(300), "bleibt");
  EXPECT_STREQ(g.DialogTexts.Get(647), "Abbruch\\r\\n");
  EXPECT_STREQ(g.LogTexts.Get(7), "%s %s %s %s");
  EXPECT_STREQ(g.PrintTexts.Get(1), "Seite");
  EXPECT_STREQ(g.MenuHints->Get(2000), "Hinweis");
  EXPECT_STREQ(g.MenuTexts->Get(24301), "&Neu\tStrg+N");
  EXPECT_STREQ(g.MenuTexts->Get(24302), "&Offnen");
  EXPECT_EQ(g.MenuTexts->Get(5), nullptr);
  EXPECT_EQ(g.SyntaxValues, (std::vector<std::string>{"red", "blue"}));
  EXPECT_EQ(g.SyntaxValueCount, 2);
  EXPECT_EQ(ReadSyntaxSections(g.CfgDir), 2);
  EXPECT_STREQ(g.CaptionText.get(), "Kelvane");
  EXPECT_STREQ(g.CaptionText2.get(), "Benutzer");
  EXPECT_STREQ(g.ErrorCaptionText.get(), "String with ID = 284 not present in MESSAGES.CFG");
}

TEST_F(ConfigFile, LoaderReportsMissingFile) {
  Cfg("MESSAGES.CFG", "{\n44,1,\"one\"\n}\n");
  TGlobals g;
  g.BuildPrimaryLayout();
  EXPECT_EQ(g.LoadMessages(44, 0), 1);
  EXPECT_EQ(g.LoadMessages(44, 1), 0);
  EXPECT_STREQ(g.MessageTexts.Get(1), "one");
  EXPECT_EQ(ReadSyntaxSections(g.CfgDir), 0);
  g.LoadSyntax();
  EXPECT_EQ(g.SyntaxValueCount, 0);
}

TEST_F(ConfigFile, FatalLineStopsTheReading) {
  Cfg("KELVA31.CFG", "LANGUAGE=49\r\nOFD_F4=7,10\r\nNOTIFYINTERVAL=3\r\n");
  Cfg("MESSAGES.CFG", "{\n49,106,\"x\"\n}\n");
  int exits = 0;
  FatalExitHook old = SetFatalExitHook([&](int) { ++exits; });
  plat::clear_message_box_log();
  TGlobals g;
  EXPECT_EQ(g.ReadConfig(), TGlobals::ConfigRead::Fatal);
  SetFatalExitHook(old);
  EXPECT_EQ(exits, 1);
  EXPECT_EQ(plat::message_box_log().at(0).text, "OFD_4 in KELVA31.CFG is out of range (1 -> 5)");
  EXPECT_EQ(g.NotifyInterval, 10);
  EXPECT_EQ(g.MessageTexts.Get(106), nullptr);
}

// Our delivered English texts: every id the start-up and the table layer use.
TEST(DeliveredTexts, EnglishFilesCoverTheUsedIds) {
  TGlobals g;
  g.CfgDir = std::string(KV_SOURCE_DIR) + "/resources/lang/";
  g.LoadAllLanguageFiles();
  for (int id : {106, 125, 165, 284, 1142}) EXPECT_TRUE(g.MessageTexts.Has(id)) << "message " << id;
  EXPECT_TRUE(g.DialogTexts.Has(647));
  // Each log text takes its type's values and the user's two names, all texts.
  const std::pair<int, int> kSlots[] = {{1, 5},  {2, 5},  {3, 5},  {4, 4},  {5, 4},  {6, 6},
                                        {7, 4},  {12, 4}, {20, 3}, {21, 6}, {22, 4}, {23, 4},
                                        {24, 4}, {25, 4}, {26, 5}, {27, 5}, {28, 5}, {29, 5}};
  for (auto [type, slots] : kSlots) {
    ASSERT_TRUE(g.LogTexts.Has(type)) << "log type " << type;
    std::string t = g.LogTexts.Get(type);
    int conversions = 0, strings = 0;
    for (std::size_t i = 0; (i = t.find('%', i)) != std::string::npos; i += 2) {
      ++conversions;
      if (t.compare(i, 2, "%s") == 0) ++strings;
    }
    EXPECT_EQ(strings, slots) << t;
    EXPECT_EQ(conversions, slots) << t;
  }
}

}  // namespace
