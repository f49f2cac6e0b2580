// Lines of KELVA31.CFG and what they do to the settings.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "appcore/display_flags.h"
#include "appcore/fatal.h"
#include "appcore/globals.h"
#include "platform/msgbox.h"

namespace {

struct Case {
  const char* name;
  std::vector<const char*> lines;
  std::function<void(const TGlobals&)> check;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class ConfigLine : public ::testing::TestWithParam<Case> {};

TEST_P(ConfigLine, Applies) {
  TGlobals g;
  g.CfgDir = "C:\\KELVACFG\\CFG\\";
  g.TempDir = "C:\\KELVACFG\\TEMP\\";
  for (const char* l : GetParam().lines) ASSERT_EQ(g.ApplyConfigLine(l), 1) << l;
  GetParam().check(g);
}

const Case kCases[] = {
    {"comment", {";LANGUAGE=1"}, [](const TGlobals& g) { EXPECT_EQ(g.LanguageNo, 44); }},
    {"blank_instead_of_semicolon", {" LANGUAGE=1"}, [](const TGlobals& g) { EXPECT_EQ(g.LanguageNo, 1); }},
    {"substring_match", {"XLANGUAGEY=7"}, [](const TGlobals& g) { EXPECT_EQ(g.LanguageNo, 7); }},
    {"number_without_equals", {"LANGUAGE 49"}, [](const TGlobals& g) { EXPECT_EQ(g.LanguageNo, 44); }},
    {"number_not_numeric", {"NOTIFYINTERVAL=abc"}, [](const TGlobals& g) { EXPECT_EQ(g.NotifyInterval, 0); }},
    {"number_blanks_sign", {"LSV2RESPROGNO=  -12x"}, [](const TGlobals& g) { EXPECT_EQ(g.Lsv2ResProgNo, -12); }},
    {"number_saturates", {"LOGOUTAFTER=99999999999999"}, [](const TGlobals& g) { EXPECT_EQ(g.LogoutAfter, 2147483647); }},
    {"last_line_wins", {"READBLOCKSIZE=10", "READBLOCKSIZE=20"}, [](const TGlobals& g) { EXPECT_EQ(g.ReadBlockSize, 20); }},
    {"lsv2_block_not_read_block", {"LSV2BLOCKSIZE=5"},
     [](const TGlobals& g) {
       EXPECT_EQ(g.Lsv2BlockSize, 5);
       EXPECT_EQ(g.ReadBlockSize, 1024);
     }},
    {"flag_never_cleared", {"ALWAYS_ONTOP=1", "ALWAYS_ONTOP=0"}, [](const TGlobals& g) { EXPECT_EQ(g.DisplayFlags, kDisplayOnTop); }},
    {"usehints_sets_status_bar", {"USEHINTS=1"}, [](const TGlobals& g) { EXPECT_EQ(g.DisplayFlags, 0x0C); }},
    {"all_flags", {"TOOLBARS=1", "STATUSBAR=2", "MAXIMIZED=-1"}, [](const TGlobals& g) { EXPECT_EQ(g.DisplayFlags, 0x16); }},
    {"ofd_width_capped", {"OFD_F2=3,80"},
     [](const TGlobals& g) {
       EXPECT_EQ(g.OfdColumn[1], 3);
       EXPECT_EQ(g.OfdWidth[1], 50);
       EXPECT_EQ(g.OfdColumn[0], 1);
     }},
    {"ofd_out_of_range_key_ignored", {"OFD_F6=9,10"},
     [](const TGlobals& g) {
       EXPECT_EQ(g.OfdColumn, (std::array<int32_t, 5>{1, 2, 3, 4, 5}));
       EXPECT_EQ(g.OfdWidth, (std::array<int32_t, 5>{20, 40, 25, 25, 50}));
     }},
    {"ofd_kind_only", {"OFD_F5=1"},
     [](const TGlobals& g) {
       EXPECT_EQ(g.OfdColumn[4], 1);
       EXPECT_EQ(g.OfdWidth[4], 50);
     }},
    {"quoted_texts", {"DEFUSER=\"ADMIN\"", "DEFPASSWORD=\"a b;c\" x", "DNCSERVERNAME=\"\""},
     [](const TGlobals& g) {
       EXPECT_STREQ(g.DefUser.get(), "ADMIN");
       EXPECT_STREQ(g.DefPassword.get(), "a b;c");
       ASSERT_TRUE(g.DncServerName.IsSet());
       EXPECT_STREQ(g.DncServerName.get(), "");
     }},
    {"quoted_without_quotes", {"DEFUSER=ADMIN", "CHECKPATH=\"X:\\DB"},
     [](const TGlobals& g) {
       EXPECT_FALSE(g.DefUser.IsSet());
       EXPECT_FALSE(g.CheckPath.IsSet());
     }},
    {"debug_flag_exact", {"DEBUGFLAG=\"qimpa\""}, [](const TGlobals& g) { EXPECT_EQ(g.DebugMode, 0); }},
    {"debug_flag", {"DEBUGFLAG=\"QIMPA\""}, [](const TGlobals& g) { EXPECT_EQ(g.DebugMode, 1); }},
    {"temppath_first_word", {"TEMPPATH=   D:\\TMP\\ more text"}, [](const TGlobals& g) { EXPECT_EQ(g.TempDir, "D:\\TMP\\"); }},
    {"temppath_gets_backslash", {"TEMPPATH=D:\\TMP"}, [](const TGlobals& g) { EXPECT_EQ(g.TempDir, "D:\\TMP\\"); }},
    {"temppath_empty_keeps_default", {"TEMPPATH=   "}, [](const TGlobals& g) { EXPECT_EQ(g.TempDir, "C:\\KELVACFG\\TEMP\\"); }},
    {"filemask_joined", {"FILEMASK= NC files|*.NC|", "FILEMASK=\tAll|*.*|"},
     [](const TGlobals& g) { EXPECT_EQ(g.FileMask, "NC files|*.NC|All|*.*|"); }},
    {"logo_in_cfg_dir", {"LOGOBITMAP=\"LOGO.BMP\""},
     [](const TGlobals& g) { EXPECT_STREQ(g.LogoBitmap.get(), "C:\\KELVACFG\\CFG\\LOGO.BMP"); }},
    {"first_key_decides", {"DEFUSER=\"LANGUAGE=3\""},
     [](const TGlobals& g) {
       EXPECT_EQ(g.LanguageNo, 0);  // the number after the first "="
       EXPECT_FALSE(g.DefUser.IsSet());
     }},
    {"numbers", {"AUTOTRAMOX=1", "AUTONOTIFYDNC=2", "AUTOIMPORTEDIT=3", "AUTOIMPORTDNC=4", "ENABLE_MASSIMPORT=5",
                 "ALWAYSDOLOG=6", "CLOSE_CYCLEWINDOW_ON_INSERT=0", "RUNDNCNOTIFICATION=7", "NETLOGON=8",
                 "KEEPTEXTSEARCH=9", "DEFAULTSEARCH=4", "DNCBLOCKSIZE=512"},
     [](const TGlobals& g) {
       EXPECT_EQ(g.AutoTramox, 1);
       EXPECT_EQ(g.AutoNotifyDnc, 2);
       EXPECT_EQ(g.AutoImportEdit, 3);
       EXPECT_EQ(g.AutoImportDnc, 4);
       EXPECT_EQ(g.EnableMassImport, 5);
       EXPECT_EQ(g.AlwaysDoLog, 6);
       EXPECT_EQ(g.CloseCycleWindowOnInsert, 0);
       EXPECT_EQ(g.RunDncNotification, 7);
       EXPECT_EQ(g.NetLogon, 8);
       EXPECT_EQ(g.KeepTextSearch, 9);
       EXPECT_EQ(g.DefaultSearch, 4);
       EXPECT_EQ(g.DncBlockSize, 512);
     }},
    {"texts", {"SYNTAXDEF=\"FANUC\"", "MEMOTEMPLATE=\"MEMO.TXT\"", "CHECKPATH=\"X:\\DB\""},
     [](const TGlobals& g) {
       EXPECT_STREQ(g.SyntaxDef.get(), "FANUC");
       EXPECT_STREQ(g.MemoTemplate.get(), "MEMO.TXT");
       EXPECT_STREQ(g.CheckPath.get(), "X:\\DB");
     }},
};

INSTANTIATE_TEST_SUITE_P(Lines, ConfigLine, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ConfigLineFatal, OfdKindOutOfRangeEndsTheProgram) {
  std::vector<int> exits;
  FatalExitHook old = SetFatalExitHook([&](int code) { exits.push_back(code); });
  plat::clear_message_box_log();
  TGlobals g;
  EXPECT_EQ(g.ApplyConfigLine("OFD_F1=0,10"), 0);
  SetFatalExitHook(old);

  ASSERT_EQ(exits.size(), 1u);
  EXPECT_NE(exits[0], 0);
  auto boxes = plat::message_box_log();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "OFD_1 in KELVA31.CFG is out of range (1 -> 5)");
  EXPECT_EQ(boxes[0].caption, "Fatal Error");
}

TEST(ConfigLineFatal, ProcessExitsNonZero) {
  EXPECT_EXIT(
      {
        plat::queue_message_box_answer(IDOK);
        TGlobals g;
        g.ApplyConfigLine("OFD_F3=6");
      },
      ::testing::ExitedWithCode(kFatalExitCode), "");
  EXPECT_NE(kFatalExitCode, 0);
}

}  // namespace
