// The option dialogs of one port row, driven as a user would: what each
// shows, what OK stores, and that a refused value or Cancel leaves the
// row as it was.
#include <cstring>

#include "dnc/setup_fields.h"
#include "dnc/setup_protocol.h"
#include "dnc/setup_reception.h"
#include "dnc/setup_transmission.h"
#include "platform/ui/filedlg.h"
#include "resources/dialogs/dnclink.h"
#include "resources/dialogs/dncsetup.h"
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
  r.SetText(kPropLineEnd, "13,10");
  r.SetText(kPropHeaderFile, "C:\\HEAD.NC");
  r.SetText(kPropWaitText, "M30");
  r.Number[kPropPauseSeconds] = 5;
  r.Number[kPropBreakCount] = 1234;  // a longer number than the edit takes is shown whole
  r.Number[kPropEndBeforePause] = 1;
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_TRANSMISSION, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_EQ(p.text(IDC_TRANSMISSION_CRLF), "13,10");
    EXPECT_EQ(p.text(IDC_TRANSMISSION_OMIT), "");
    EXPECT_EQ(p.text(IDC_TRANSMISSION_ON_LINES), "M30");
    EXPECT_EQ(p.text(IDC_TRANSMISSION_DELAY), "5");
    EXPECT_EQ(p.text(IDC_TRANSMISSION_BREAK), "1234");
    EXPECT_TRUE(p.checked(IDC_TRANSMISSION_EOF));
    EXPECT_FALSE(p.visible(IDC_TRANSMISSION_REPLACEMENTS));
    EXPECT_FALSE(p.visible(IDC_TRANSMISSION_SEND_LINE));
    // A header file shows its Clear button, an empty tail line Select.
    EXPECT_TRUE(p.visible(IDC_TRANSMISSION_HEADER_CLEAR));
    EXPECT_FALSE(p.visible(IDC_TRANSMISSION_HEADER_SELECT));
    EXPECT_TRUE(p.visible(IDC_TRANSMISSION_TAIL_SELECT));
    EXPECT_FALSE(p.visible(IDC_TRANSMISSION_TAIL_CLEAR));
    p.click(IDC_TRANSMISSION_HEADER_CLEAR);
    EXPECT_EQ(p.text(IDC_TRANSMISSION_HEADER), "");
    EXPECT_TRUE(p.visible(IDC_TRANSMISSION_HEADER_SELECT));
    driver.expect_dialog("TFileOpenDialog", [](TDialog& f) {
      static_cast<TOpenSaveDialog&>(f).Choose("C:\\NC\\TAIL.NC");
    });
    p.click(IDC_TRANSMISSION_TAIL_SELECT);
    EXPECT_EQ(p.text(IDC_TRANSMISSION_TAIL), "C:\\NC\\TAIL.NC");
    EXPECT_FALSE(p.visible(IDC_TRANSMISSION_TAIL_SELECT));
    EXPECT_TRUE(p.visible(IDC_TRANSMISSION_TAIL_CLEAR));
    p.set_text(IDC_TRANSMISSION_OMIT, "37,");
    p.set_text(IDC_TRANSMISSION_BEFORE, "20*0");
    p.set_text(IDC_TRANSMISSION_XOFF, "7");
    p.set_text(IDC_TRANSMISSION_LINE_DELAY, "250");
    p.click(IDC_TRANSMISSION_WHITESPACE);
    p.click(IDC_TRANSMISSION_EOF);
    p.click(IDC_TRANSMISSION_FIRST_ONLY);
    // The line-omit list edits the same row.
    driver.expect_dialog(IDD_LINE_OMIT, [&](TDialog& o) {
      Pilot q(o);
      q.set_text(IDC_LINE_OMIT_TEXT1, "(MSG");
      q.click(IDC_LINE_OMIT_FIRST1);
      q.set_text(IDC_LINE_OMIT_END_FEED, "M30");
      q.click(IDOK);
    });
    p.click(IDC_TRANSMISSION_LINE_OMIT);
    p.click(IDOK);
  });
  TMultiDncTrnParam dlg(nullptr, IDD_TRANSMISSION, &r);
  EXPECT_EQ(dlg.Execute(), IDOK);
  EXPECT_EQ(Text(r, kPropLineEnd), "13,10");
  EXPECT_EQ(Text(r, kPropOmitCodes), "37,");
  EXPECT_EQ(Text(r, kPropBeforeFile), "20*0");
  EXPECT_EQ(Text(r, kPropHeaderFile), "");
  EXPECT_EQ(Text(r, kPropTailFile), "C:\\NC\\TAIL.NC");
  EXPECT_EQ(Text(r, kPropWaitText), "M30");
  EXPECT_EQ(r.Number[kPropBreakCount], 123);
  EXPECT_EQ(r.Number[kPropXoffLimit], 7);
  EXPECT_EQ(r.Number[kPropBlockDelay], 250);
  EXPECT_EQ(r.Number[kPropSkipWhitespace], 1);
  EXPECT_EQ(r.Number[kPropEndBeforePause], 0);
  EXPECT_EQ(r.Number[kPropPauseFirst], 1);
  EXPECT_EQ(Text(r, kPropOmitText), "(MSG");
  EXPECT_EQ(r.Number[kPropOmitFirst], 1);
  EXPECT_EQ(Text(r, kPropOmitFeed), "M30");
}

TEST_F(SetupTest, InvalidValueThenCancelLeavesTheRowAsItWas) {
  TMultiDncRecord r;
  r.SetText(kPropLineEnd, "13,10");
  r.Number[kPropReadTimeout] = 30;
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_TRANSMISSION, [&](TDialog& d) {
    Pilot p(d);
    p.set_text(IDC_TRANSMISSION_CRLF, "13;10");
    p.set_text(IDC_TRANSMISSION_DELAY, "9");
    driver.expect_message_box(IDOK, "Invalid character in input");
    p.click(IDOK);
    EXPECT_TRUE(p.focused(IDC_TRANSMISSION_CRLF));
    p.click(IDCANCEL);
  });
  // A timeout above 900 is refused; the close box then leaves the row.
  driver.expect_dialog(IDD_RECEPTION, [&](TDialog& d) {
    Pilot p(d);
    p.set_text(IDC_RECEPTION_TIMEOUT, "901");
    p.set_text(IDC_RECEPTION_CRLF, "10");
    driver.expect_message_box(IDOK, "Value is not in the range 0 to 900.");
    p.click(IDOK);
    EXPECT_TRUE(p.focused(IDC_RECEPTION_TIMEOUT));
    p.close_box();
  });
  {
    TMultiDncTrnParam dlg(nullptr, IDD_TRANSMISSION, &r);
    EXPECT_EQ(dlg.Execute(), IDCANCEL);
  }
  {
    TReceptionSetup dlg(nullptr, IDD_RECEPTION, &r);
    EXPECT_EQ(dlg.Execute(), IDCANCEL);
  }
  EXPECT_EQ(Text(r, kPropLineEnd), "13,10");
  EXPECT_EQ(r.Number[kPropPauseSeconds], 0);
  EXPECT_EQ(r.Number[kPropReadTimeout], 30);
  EXPECT_EQ(Text(r, kPropReceiveLineEnd), "(null)");
}

TEST_F(SetupTest, AdvancedRs232RefusesAStopStringTheRowCannotHold) {
  TMultiDncRecord r;
  std::strcpy(r.Short156, "OLD");
  r.Number[kPropAnswerDc4] = 1;
  r.Number[kPropSkipOccurrence] = 2;
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_RS232, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_EQ(p.text(IDC_RS232_STOP_TEXT), "OLD");
    EXPECT_EQ(p.text(IDC_RS232_STOP_COUNT), "2");
    EXPECT_TRUE(p.checked(IDC_RS232_REPLY_DC4));
    p.set_text(IDC_RS232_STOP_TEXT, "ABCDEFGHIJKLMNOPQRSTU");  // 21 characters
    p.click(IDC_RS232_WAIT_DC2);
    driver.expect_message_box(IDOK, "at most 19 characters");
    p.click(IDOK);
    EXPECT_TRUE(p.focused(IDC_RS232_STOP_TEXT));
    EXPECT_STREQ(r.Short156, "OLD");
    EXPECT_EQ(r.Number[kPropWaitDc2], 0);
    p.set_text(IDC_RS232_STOP_TEXT, "  \tM30 STOP  ");
    p.set_text(IDC_RS232_STOP_COUNT, "3");
    p.click(IDOK);
  });
  TStdRs232Setup dlg(nullptr, &r);
  EXPECT_EQ(dlg.Execute(), IDOK);
  EXPECT_STREQ(r.Short156, "M30 STOP");
  EXPECT_EQ(r.Number[kPropWaitDc2], 1);
  EXPECT_EQ(r.Number[kPropAnswerDc4], 1);
  EXPECT_EQ(r.Number[kPropSkipOccurrence], 3);
}

TEST_F(SetupTest, ProgramCheckStoresNumbersTextsAndBox) {
  TMultiDncRecord r;
  r.Number[kPropBreakCount] = 10;
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_CHECK, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_EQ(p.text(IDC_CHECK_START), "10");
    p.set_text(IDC_CHECK_STEP, "5");
    p.set_text(IDC_CHECK_FIRST_TEXT, "%");
    p.set_text(IDC_CHECK_LAST_TEXT, "M30");
    p.set_text(IDC_CHECK_NOTIFY, "0");
    p.set_text(IDC_CHECK_LEAVE_OUT, "(");
    p.click(IDC_CHECK_HAS_N);
    p.click(IDOK);
  });
  TCheckProtSetup dlg(nullptr, &r);
  EXPECT_EQ(dlg.Execute(), IDOK);
  EXPECT_EQ(r.Number[kPropBreakCount], 10);
  EXPECT_EQ(r.Number[kPropXoffLimit], 5);
  EXPECT_EQ(r.Number[kPropFlashCount], 0);
  EXPECT_EQ(Text(r, kPropFirstLineText), "%");
  EXPECT_EQ(Text(r, kPropResetText), "M30");
  EXPECT_EQ(Text(r, kPropIgnoreText), "(");
  EXPECT_EQ(r.Number[kPropBlockLetter], 1);
}

TEST_F(SetupTest, ReservedNumberFormatListAndRefusals) {
  TMultiDncRecord r;
  r.Number[kPropReservedNumber] = 9000;
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_RESERVED_NUMBER, [&](TDialog& d) {
    Pilot p(d);
    auto lines = p.lines(IDC_RESERVED_NUMBER_FORMATS);
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(lines[0], "(04) 9999");
    EXPECT_EQ(lines[12], "(16) 0000000000009999");
    EXPECT_EQ(p.text(IDC_RESERVED_NUMBER_VALUE), "9000");
    EXPECT_FALSE(p.enabled(IDC_RESERVED_NUMBER_FORMATS));  // format off
    p.click(IDC_RESERVED_NUMBER_FORMAT);
    EXPECT_TRUE(p.enabled(IDC_RESERVED_NUMBER_FORMATS));
    p.select(IDC_RESERVED_NUMBER_FORMATS, 12);
    p.set_text(IDC_RESERVED_NUMBER_VALUE, "");
    p.click(IDOK);
    EXPECT_TRUE(p.focused(IDC_RESERVED_NUMBER_VALUE));
    // Fifteen digits fit the edit but not the stored number.
    p.set_text(IDC_RESERVED_NUMBER_VALUE, "999999999999999");
    driver.expect_message_box(IDOK, "Value is not in the range 0 to 2147483647.");
    p.click(IDOK);
    EXPECT_EQ(r.Number[kPropReservedNumber], 9000);
    p.set_text(IDC_RESERVED_NUMBER_VALUE, "2147483647");
    p.click(IDOK);
  });
  {
    TResNumberProtocolDlg dlg(nullptr, &r);
    EXPECT_EQ(dlg.Execute(), IDOK);
  }
  EXPECT_EQ(r.Number[kPropReservedNumber], 2147483647);
  EXPECT_EQ(r.Number[kPropZeroPad], 1);
  EXPECT_EQ(r.Number[kPropZeroPadIndex], 12);
  // A Mazak port takes no format: list and box are grey, OK still stores.
  r.Number[kPropProtocol] = 1;
  driver.expect_dialog(IDD_RESERVED_NUMBER, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_FALSE(p.enabled(IDC_RESERVED_NUMBER_FORMATS));
    EXPECT_FALSE(p.enabled(IDC_RESERVED_NUMBER_FORMAT));
    EXPECT_EQ(p.selection(IDC_RESERVED_NUMBER_FORMATS), 12);
    p.set_text(IDC_RESERVED_NUMBER_VALUE, "77");
    p.click(IDOK);
  });
  TResNumberProtocolDlg dlg(nullptr, &r);
  EXPECT_EQ(dlg.Execute(), IDOK);
  EXPECT_EQ(r.Number[kPropReservedNumber], 77);
  EXPECT_EQ(r.Number[kPropZeroPad], 1);
  EXPECT_EQ(r.Number[kPropZeroPadIndex], 12);
}

TEST_F(SetupTest, ReceptionStoresFieldsAndOffersByNamingMode) {
  TMultiDncRecord r;
  r.Number[kPropReadTimeout] = 45;
  plat::GTestUiDriver driver;
  struct Case {
    long naming;
    bool fastEnabled, scriptsShown;
  } cases[] = {{0, true, false}, {2, true, true}, {3, false, false}};
  for (const Case& c : cases) {
    r.Number[kPropNamingMode] = c.naming;
    driver.expect_dialog(IDD_RECEPTION, [&](TDialog& d) {
      Pilot p(d);
      EXPECT_EQ(p.enabled(IDC_RECEPTION_FAST_RECEIVE), c.fastEnabled) << c.naming;
      EXPECT_EQ(p.visible(IDC_RECEPTION_SCRIPTS), c.scriptsShown) << c.naming;
      if (c.scriptsShown) {
        // Script naming leads on to the ID-script editor.
        bool opened = false;
        driver.expect_dialog(IDD_ID_SCRIPT, [&](TDialog& s) {
          opened = true;
          Pilot(s).click(IDCANCEL);
        });
        p.click(IDC_RECEPTION_SCRIPTS);
        EXPECT_TRUE(opened);
      }
      EXPECT_FALSE(p.visible(IDC_RECEPTION_ASCII_TABLE));
      EXPECT_FALSE(p.enabled(IDC_RECEPTION_RESET_REQUESTS));
      EXPECT_FALSE(p.checked(IDC_RECEPTION_KEEP_ALL) || p.checked(IDC_RECEPTION_NONE_BELOW_SPACE) ||
                   p.checked(IDC_RECEPTION_NO_ZEROS));
      p.click(IDCANCEL);
    });
    TReceptionSetup dlg(nullptr, IDD_RECEPTION, &r);
    dlg.Execute();
  }
  r.Number[kPropNamingMode] = 0;
  driver.expect_dialog(IDD_RECEPTION, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_EQ(p.text(IDC_RECEPTION_TIMEOUT), "45");
    p.set_text(IDC_RECEPTION_TIMEOUT, "");
    p.set_text(IDC_RECEPTION_CRLF, "13");
    p.set_text(IDC_RECEPTION_TRIGGER, "37");
    p.set_text(IDC_RECEPTION_EOT, "4");
    p.set_text(IDC_RECEPTION_FILTER, "0,127");
    p.click(IDC_RECEPTION_NONE_BELOW_SPACE);
    driver.expect_message_box(IDOK, "To be released soon...");
    p.click(IDC_RECEPTION_REPLACEMENTS);
    p.click(IDOK);
  });
  TReceptionSetup dlg(nullptr, IDD_RECEPTION, &r);
  EXPECT_EQ(dlg.Execute(), IDOK);
  EXPECT_EQ(r.Number[kPropReadTimeout], 0);
  EXPECT_EQ(Text(r, kPropReceiveLineEnd), "13");
  EXPECT_EQ(Text(r, kPropStartTrigger), "37");
  EXPECT_EQ(Text(r, kPropEndTrigger), "4");
  EXPECT_EQ(Text(r, kPropRemoveList), "0,127");
  EXPECT_EQ(r.Number[kPropNulFilter], 2);
}

TEST_F(SetupTest, FastReceivePreviewsAndStoresWithReturnStatements) {
  TMultiDncRecord r;
  r.SetText(kPropIdTrigger, "13,10");
  r.SetText(kPropNumberTrigger, "78");
  r.Number[kPropNamingMode] = 1;
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_RECEPTION, [&](TDialog& d) {
    Pilot p(d);
    driver.expect_dialog(IDD_FAST_RECEIVE, [&](TDialog& f) {
      Pilot q(f);
      EXPECT_EQ(q.text(IDC_CODES_PREVIEW), "  [13][10]");
      EXPECT_FALSE(q.enabled(IDC_FAST_RECEIVE_ID_END));  // naming other than triggers
      EXPECT_TRUE(q.enabled(IDC_FAST_RECEIVE_NUMBER_START));
      EXPECT_TRUE(q.enabled(IDC_FAST_RECEIVE_NUMBER_GROUP));
      EXPECT_EQ(q.text(IDC_FAST_RECEIVE_NUMBER_START), "78");
      EXPECT_TRUE(q.checked(IDC_FAST_RECEIVE_BACKUP));  // save mode 0 shows the second
      q.focus(IDC_FAST_RECEIVE_NUMBER_START);
      EXPECT_EQ(q.text(IDC_CODES_PREVIEW), "  N");
      q.set_text(IDC_FAST_RECEIVE_NUMBER_END, "65,66");
      EXPECT_EQ(q.text(IDC_CODES_PREVIEW), "  AB");
      auto& fast = static_cast<TFastReceiveSetup&>(f);
      TMemoryDC dc;
      EXPECT_NE(fast.EvCtlColor(dc, q.control(IDC_CODES_PREVIEW)->GetHandle(), WM_CTLCOLORSTATIC), nullptr);
      EXPECT_EQ(dc.GetTextColor(), RGB(0, 255, 0));
      EXPECT_EQ(dc.GetBkColor(), RGB(0, 0, 0));
      q.click(IDC_FAST_RECEIVE_TEMPORARY);
      q.click(IDC_FAST_RECEIVE_MISHAPS);
      driver.expect_dialog(IDD_RETURN_STAT, [&](TDialog& s) {
        Pilot t(s);
        t.set_text(IDC_RETURN_STAT_NOT_FOUND, "PROGRAM NOT FOUND\r\nSORRY");
        t.click(IDOK);
      });
      q.click(IDC_FAST_RECEIVE_RETURN_STATEMENTS);
      q.click(IDOK);
    });
    p.click(IDC_RECEPTION_FAST_RECEIVE);
    p.click(IDCANCEL);  // what the sub-dialogs stored stays
  });
  TReceptionSetup dlg(nullptr, IDD_RECEPTION, &r);
  EXPECT_EQ(dlg.Execute(), IDCANCEL);
  EXPECT_EQ(Text(r, kPropIdTrigger), "13,10");
  EXPECT_EQ(Text(r, kPropNumberEndTrigger), "65,66");
  EXPECT_EQ(r.Number[kPropStorageMode], 3);
  EXPECT_EQ(r.Number[kPropDiscardFailed], 1);
  EXPECT_EQ(Text(r, kPropFirstReturnStatement), "PROGRAM NOT FOUND\r\nSORRY");
  EXPECT_EQ(Text(r, kPropFirstReturnStatement + 1), "");
}

TEST_F(SetupTest, RemoteRequestsShowRestartFieldsGreyAndStoreTheRest) {
  TMultiDncRecord r;
  r.SetText(kPropRestartTrigger, "82,83");
  r.Number[kPropAnswerDelay] = 3;
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_REMOTE, [&](TDialog& d) {
    Pilot p(d);
    for (int id :
         {IDC_REMOTE_RESTART_TRIGGER, IDC_REMOTE_RESTART_END, IDC_REMOTE_LINE_TRIGGER, IDC_REMOTE_RESTART_GROUP})
      EXPECT_FALSE(p.enabled(id)) << id;
    EXPECT_TRUE(p.enabled(IDC_REMOTE_PROGRAM_END));
    EXPECT_EQ(p.text(IDC_REMOTE_RESTART_TRIGGER), "82,83");
    EXPECT_EQ(p.text(IDC_REMOTE_DELAY), "3");
    p.set_text(IDC_REMOTE_PROGRAM_TRIGGER, "37,80");
    EXPECT_EQ(p.text(IDC_CODES_PREVIEW), "  %P");
    p.set_text(IDC_REMOTE_PROGRAM_END, "13");
    p.set_text(IDC_REMOTE_JOB_TRIGGER, "74");
    p.set_text(IDC_REMOTE_JOB_END, "10");
    p.set_text(IDC_REMOTE_DELAY, "12");
    p.click(IDOK);
  });
  TRemoteRequestSetup dlg(nullptr, &r);
  EXPECT_EQ(dlg.Execute(), IDOK);
  EXPECT_EQ(Text(r, kPropRequestTrigger), "37,80");
  EXPECT_EQ(Text(r, kPropRequestEndTrigger), "13");
  EXPECT_EQ(Text(r, kPropJobTrigger), "74");
  EXPECT_EQ(Text(r, kPropJobEndTrigger), "10");
  EXPECT_EQ(Text(r, kPropRestartTrigger), "82,83");
  EXPECT_EQ(r.Number[kPropAnswerDelay], 12);
}

}  // namespace
