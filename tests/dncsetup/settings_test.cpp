// The option dialogs of one port row, driven as a user would: what each
// shows, what OK stores, and that a refused value or Cancel leaves the
// row as it was.
#include <cstring>

#include "dnc/setup_fields.h"
#include "dnc/setup_protocol.h"
#include "dnc/setup_reception.h"
#include "dnc/setup_transmission.h"
#include "platform/ui/filedlg.h"
#include "tests/dncsetup/setup_fixture.h"

namespace {

using kvdnc::SetupTest;
using plat::Pilot;

std::string Text(const TMultiDncRecord& r, int n) {
  const char* t = r.GetValue(n);
  return t ? t : "(null)";
}

TEST(SetupFields, CodesPreviewExpandsEveryCode) {
  struct Case {
    const char* codes;
    std::string preview;
  } cases[] = {
      {"13,10", "  [13][10]"},
      {"65,66", "  AB"},
      {"", ""},
      {"65,", "  A"},
      {"0,,66", "  [0][0]B"},
      {"321", std::string("  ") + static_cast<char>(321 & 0xFF)},
  };
  for (const Case& c : cases) EXPECT_EQ(CodesPreview(c.codes), c.preview) << c.codes;
  // A long list is shown whole, not cut at the line's width.
  std::string codes;
  for (int i = 0; i < 49; i++) codes += "1,";
  codes += "1";
  EXPECT_EQ(CodesPreview(codes).size(), 2u + 50 * 3);
}

TEST(SetupFields, NumbersAreReadFromTheirFirstCharacters) {
  struct Case {
    const char* text;
    size_t most;
    long value;
  } cases[] = {{"901", 3, 901}, {"1234", 3, 123}, {" 42x", 3, 42}, {"abc", 3, 0}, {"", 3, 0}, {"95", 1, 9}};
  for (const Case& c : cases) EXPECT_EQ(LeadingNumber(c.text, c.most), c.value) << c.text;
}

TEST(SetupFields, LeadingZeroLinesPadFromFourToSixteenDigits) {
  EXPECT_EQ(LeadingZeroLine(4), "(04) 9999");
  EXPECT_EQ(LeadingZeroLine(5), "(05) 09999");
  EXPECT_EQ(LeadingZeroLine(16), "(16) 0000000000009999");
}

TEST_F(SetupTest, TransmissionShowsAndStoresEveryField) {
  TMultiDncRecord r;
  r.SetText(15, "13,10");
  r.SetText(21, "C:\\HEAD.NC");
  r.SetText(62, "M30");
  r.Number[42] = 5;
  r.Number[70] = 1234;  // a longer number than the edit takes is shown whole
  r.Number[83] = 1;
  plat::GTestUiDriver driver;
  driver.expect_dialog(104, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_EQ(p.text(109), "13,10");
    EXPECT_EQ(p.text(110), "");
    EXPECT_EQ(p.text(102), "M30");
    EXPECT_EQ(p.text(123), "5");
    EXPECT_EQ(p.text(124), "1234");
    EXPECT_TRUE(p.checked(103));
    EXPECT_FALSE(p.visible(107));
    EXPECT_FALSE(p.visible(104));
    // A header file shows its Clear button, an empty tail line Select.
    EXPECT_TRUE(p.visible(121));
    EXPECT_FALSE(p.visible(114));
    EXPECT_TRUE(p.visible(115));
    EXPECT_FALSE(p.visible(122));
    p.click(121);
    EXPECT_EQ(p.text(116), "");
    EXPECT_TRUE(p.visible(114));
    driver.expect_dialog("TFileOpenDialog", [](TDialog& f) {
      static_cast<TOpenSaveDialog&>(f).Choose("C:\\NC\\TAIL.NC");
    });
    p.click(115);
    EXPECT_EQ(p.text(117), "C:\\NC\\TAIL.NC");
    EXPECT_FALSE(p.visible(115));
    EXPECT_TRUE(p.visible(122));
    p.set_text(110, "37,");
    p.set_text(112, "20*0");
    p.set_text(125, "7");
    p.set_text(108, "250");
    p.click(120);
    p.click(103);
    p.click(101);
    // The line-omit list edits the same row.
    driver.expect_dialog(37, [&](TDialog& o) {
      Pilot q(o);
      q.set_text(101, "(MSG");
      q.click(111);
      q.set_text(122, "M30");
      q.click(IDOK);
    });
    p.click(106);
    p.click(IDOK);
  });
  TMultiDncTrnParam dlg(nullptr, 104, &r);
  EXPECT_EQ(dlg.Execute(), IDOK);
  EXPECT_EQ(Text(r, 15), "13,10");
  EXPECT_EQ(Text(r, 16), "37,");
  EXPECT_EQ(Text(r, 19), "20*0");
  EXPECT_EQ(Text(r, 21), "");
  EXPECT_EQ(Text(r, 22), "C:\\NC\\TAIL.NC");
  EXPECT_EQ(Text(r, 62), "M30");
  EXPECT_EQ(r.Number[70], 123);
  EXPECT_EQ(r.Number[71], 7);
  EXPECT_EQ(r.Number[73], 250);
  EXPECT_EQ(r.Number[23], 1);
  EXPECT_EQ(r.Number[83], 0);
  EXPECT_EQ(r.Number[82], 1);
  EXPECT_EQ(Text(r, 135), "(MSG");
  EXPECT_EQ(r.Number[125], 1);
  EXPECT_EQ(Text(r, 145), "M30");
}

TEST_F(SetupTest, InvalidValueThenCancelLeavesTheRowAsItWas) {
  TMultiDncRecord r;
  r.SetText(15, "13,10");
  r.Number[8] = 30;
  plat::GTestUiDriver driver;
  driver.expect_dialog(104, [&](TDialog& d) {
    Pilot p(d);
    p.set_text(109, "13;10");
    p.set_text(123, "9");
    driver.expect_message_box(IDOK, "Invalid character in input");
    p.click(IDOK);
    EXPECT_TRUE(p.focused(109));
    p.click(IDCANCEL);
  });
  // A timeout above 900 is refused; the close box then leaves the row.
  driver.expect_dialog(103, [&](TDialog& d) {
    Pilot p(d);
    p.set_text(101, "901");
    p.set_text(102, "10");
    driver.expect_message_box(IDOK, "Value is not in the range 0 to 900.");
    p.click(IDOK);
    EXPECT_TRUE(p.focused(101));
    p.close_box();
  });
  {
    TMultiDncTrnParam dlg(nullptr, 104, &r);
    EXPECT_EQ(dlg.Execute(), IDCANCEL);
  }
  {
    TReceptionSetup dlg(nullptr, 103, &r);
    EXPECT_EQ(dlg.Execute(), IDCANCEL);
  }
  EXPECT_EQ(Text(r, 15), "13,10");
  EXPECT_EQ(r.Number[42], 0);
  EXPECT_EQ(r.Number[8], 30);
  EXPECT_EQ(Text(r, 9), "(null)");
}

TEST_F(SetupTest, AdvancedRs232RefusesAStopStringTheRowCannotHold) {
  TMultiDncRecord r;
  std::strcpy(r.Short156, "OLD");
  r.Number[147] = 1;
  r.Number[157] = 2;
  plat::GTestUiDriver driver;
  driver.expect_dialog(114, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_EQ(p.text(107), "OLD");
    EXPECT_EQ(p.text(108), "2");
    EXPECT_TRUE(p.checked(102));
    p.set_text(107, "ABCDEFGHIJKLMNOPQRSTU");  // 21 characters
    p.click(101);
    driver.expect_message_box(IDOK, "at most 19 characters");
    p.click(IDOK);
    EXPECT_TRUE(p.focused(107));
    EXPECT_STREQ(r.Short156, "OLD");
    EXPECT_EQ(r.Number[146], 0);
    p.set_text(107, "  \tM30 STOP  ");
    p.set_text(108, "3");
    p.click(IDOK);
  });
  TStdRs232Setup dlg(nullptr, &r);
  EXPECT_EQ(dlg.Execute(), IDOK);
  EXPECT_STREQ(r.Short156, "M30 STOP");
  EXPECT_EQ(r.Number[146], 1);
  EXPECT_EQ(r.Number[147], 1);
  EXPECT_EQ(r.Number[157], 3);
}

TEST_F(SetupTest, ProgramCheckStoresNumbersTextsAndBox) {
  TMultiDncRecord r;
  r.Number[70] = 10;
  plat::GTestUiDriver driver;
  driver.expect_dialog(101, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_EQ(p.text(100), "10");
    p.set_text(101, "5");
    p.set_text(102, "%");
    p.set_text(103, "M30");
    p.set_text(104, "0");
    p.set_text(106, "(");
    p.click(105);
    p.click(IDOK);
  });
  TCheckProtSetup dlg(nullptr, &r);
  EXPECT_EQ(dlg.Execute(), IDOK);
  EXPECT_EQ(r.Number[70], 10);
  EXPECT_EQ(r.Number[71], 5);
  EXPECT_EQ(r.Number[72], 0);
  EXPECT_EQ(Text(r, 63), "%");
  EXPECT_EQ(Text(r, 64), "M30");
  EXPECT_EQ(Text(r, 65), "(");
  EXPECT_EQ(r.Number[85], 1);
}

TEST_F(SetupTest, ReservedNumberFormatListAndRefusals) {
  TMultiDncRecord r;
  r.Number[67] = 9000;
  plat::GTestUiDriver driver;
  driver.expect_dialog(107, [&](TDialog& d) {
    Pilot p(d);
    auto lines = p.lines(102);
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(lines[0], "(04) 9999");
    EXPECT_EQ(lines[12], "(16) 0000000000009999");
    EXPECT_EQ(p.text(101), "9000");
    EXPECT_FALSE(p.enabled(102));  // format off
    p.click(103);
    EXPECT_TRUE(p.enabled(102));
    p.select(102, 12);
    p.set_text(101, "");
    p.click(IDOK);
    EXPECT_TRUE(p.focused(101));
    // Fifteen digits fit the edit but not the stored number.
    p.set_text(101, "999999999999999");
    driver.expect_message_box(IDOK, "Value is not in the range 0 to 2147483647.");
    p.click(IDOK);
    EXPECT_EQ(r.Number[67], 9000);
    p.set_text(101, "2147483647");
    p.click(IDOK);
  });
  {
    TResNumberProtocolDlg dlg(nullptr, &r);
    EXPECT_EQ(dlg.Execute(), IDOK);
  }
  EXPECT_EQ(r.Number[67], 2147483647);
  EXPECT_EQ(r.Number[163], 1);
  EXPECT_EQ(r.Number[164], 12);
  // A Mazak port takes no format: list and box are grey, OK still stores.
  r.Number[69] = 1;
  driver.expect_dialog(107, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_FALSE(p.enabled(102));
    EXPECT_FALSE(p.enabled(103));
    EXPECT_EQ(p.selection(102), 12);
    p.set_text(101, "77");
    p.click(IDOK);
  });
  TResNumberProtocolDlg dlg(nullptr, &r);
  EXPECT_EQ(dlg.Execute(), IDOK);
  EXPECT_EQ(r.Number[67], 77);
  EXPECT_EQ(r.Number[163], 1);
  EXPECT_EQ(r.Number[164], 12);
}

TEST_F(SetupTest, ReceptionStoresFieldsAndOffersByNamingMode) {
  TMultiDncRecord r;
  r.Number[8] = 45;
  plat::GTestUiDriver driver;
  struct Case {
    long naming;
    bool fastEnabled, scriptsShown;
  } cases[] = {{0, true, false}, {2, true, true}, {3, false, false}};
  for (const Case& c : cases) {
    r.Number[33] = c.naming;
    driver.expect_dialog(103, [&](TDialog& d) {
      Pilot p(d);
      EXPECT_EQ(p.enabled(110), c.fastEnabled) << c.naming;
      EXPECT_EQ(p.visible(113), c.scriptsShown) << c.naming;
      if (c.scriptsShown) {
        // Script naming leads on to the ID-script editor.
        bool opened = false;
        driver.expect_dialog(113, [&](TDialog& s) {
          opened = true;
          Pilot(s).click(IDCANCEL);
        });
        p.click(113);
        EXPECT_TRUE(opened);
      }
      EXPECT_FALSE(p.visible(109));
      EXPECT_FALSE(p.enabled(114));
      EXPECT_FALSE(p.checked(106) || p.checked(107) || p.checked(108));
      p.click(IDCANCEL);
    });
    TReceptionSetup dlg(nullptr, 103, &r);
    dlg.Execute();
  }
  r.Number[33] = 0;
  driver.expect_dialog(103, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_EQ(p.text(101), "45");
    p.set_text(101, "");
    p.set_text(102, "13");
    p.set_text(103, "37");
    p.set_text(104, "4");
    p.set_text(105, "0,127");
    p.click(107);
    driver.expect_message_box(IDOK, "To be released soon...");
    p.click(112);
    p.click(IDOK);
  });
  TReceptionSetup dlg(nullptr, 103, &r);
  EXPECT_EQ(dlg.Execute(), IDOK);
  EXPECT_EQ(r.Number[8], 0);
  EXPECT_EQ(Text(r, 9), "13");
  EXPECT_EQ(Text(r, 11), "37");
  EXPECT_EQ(Text(r, 36), "4");
  EXPECT_EQ(Text(r, 10), "0,127");
  EXPECT_EQ(r.Number[34], 2);
}

TEST_F(SetupTest, FastReceivePreviewsAndStoresWithReturnStatements) {
  TMultiDncRecord r;
  r.SetText(12, "13,10");
  r.SetText(158, "78");
  r.Number[33] = 1;
  plat::GTestUiDriver driver;
  driver.expect_dialog(103, [&](TDialog& d) {
    Pilot p(d);
    driver.expect_dialog(105, [&](TDialog& f) {
      Pilot q(f);
      EXPECT_EQ(q.text(110), "  [13][10]");
      EXPECT_FALSE(q.enabled(102));  // naming other than triggers
      EXPECT_TRUE(q.enabled(103));
      EXPECT_TRUE(q.enabled(203));
      EXPECT_EQ(q.text(103), "78");
      EXPECT_TRUE(q.checked(106));  // save mode 0 shows the second
      q.focus(103);
      EXPECT_EQ(q.text(110), "  N");
      q.set_text(104, "65,66");
      EXPECT_EQ(q.text(110), "  AB");
      auto& fast = static_cast<TFastReceiveSetup&>(f);
      TMemoryDC dc;
      EXPECT_NE(fast.EvCtlColor(dc, q.control(110)->GetHandle(), WM_CTLCOLORSTATIC), nullptr);
      EXPECT_EQ(dc.GetTextColor(), RGB(0, 255, 0));
      EXPECT_EQ(dc.GetBkColor(), RGB(0, 0, 0));
      q.click(107);
      q.click(109);
      driver.expect_dialog(111, [&](TDialog& s) {
        Pilot t(s);
        t.set_text(101, "PROGRAM NOT FOUND\r\nSORRY");
        t.click(IDOK);
      });
      q.click(108);
      q.click(IDOK);
    });
    p.click(110);
    p.click(IDCANCEL);  // what the sub-dialogs stored stays
  });
  TReceptionSetup dlg(nullptr, 103, &r);
  EXPECT_EQ(dlg.Execute(), IDCANCEL);
  EXPECT_EQ(Text(r, 12), "13,10");
  EXPECT_EQ(Text(r, 159), "65,66");
  EXPECT_EQ(r.Number[29], 3);
  EXPECT_EQ(r.Number[30], 1);
  EXPECT_EQ(Text(r, 46), "PROGRAM NOT FOUND\r\nSORRY");
  EXPECT_EQ(Text(r, 47), "");
}

TEST_F(SetupTest, RemoteRequestsShowRestartFieldsGreyAndStoreTheRest) {
  TMultiDncRecord r;
  r.SetText(160, "82,83");
  r.Number[14] = 3;
  plat::GTestUiDriver driver;
  driver.expect_dialog(106, [&](TDialog& d) {
    Pilot p(d);
    for (int id : {107, 108, 109, 208}) EXPECT_FALSE(p.enabled(id)) << id;
    EXPECT_TRUE(p.enabled(102));
    EXPECT_EQ(p.text(107), "82,83");
    EXPECT_EQ(p.text(105), "3");
    p.set_text(101, "37,80");
    EXPECT_EQ(p.text(110), "  %P");
    p.set_text(102, "13");
    p.set_text(103, "74");
    p.set_text(104, "10");
    p.set_text(105, "12");
    p.click(IDOK);
  });
  TRemoteRequestSetup dlg(nullptr, &r);
  EXPECT_EQ(dlg.Execute(), IDOK);
  EXPECT_EQ(Text(r, 13), "37,80");
  EXPECT_EQ(Text(r, 32), "13");
  EXPECT_EQ(Text(r, 56), "74");
  EXPECT_EQ(Text(r, 57), "10");
  EXPECT_EQ(Text(r, 160), "82,83");
  EXPECT_EQ(r.Number[14], 12);
}

}  // namespace
