// The Unix link as the operator meets it in the DNC control window: the
// command-set buttons and their dialogs, the order dialog, and Send on a
// port that takes its programs from the host. Against the real host.
#include <gtest/gtest.h>

#include <filesystem>

#include "dnc/control_window.h"
#include "dnc/rs232.h"
#include "dnc/unixlink_dialogs.h"
#include "platform/ui/driver.h"
#include "resources/dialogs/dnccontrol.h"
#include "tests/unixlink/unixlink_fixture.h"

namespace {

using kvunix::UnixLinkTest;
using plat::Pilot;
using Runs = std::vector<std::vector<std::string>>;

class UnixControlTest : public UnixLinkTest {
 protected:
  void SetUp() override {
    UnixLinkTest::SetUp();
    ASSERT_TRUE(host_.Listening());
  }
  void TearDown() override {
    if (window_) window_->Destroy();
    UnixLinkTest::TearDown();
  }
  void Config(std::vector<std::string> extra) {
    auto lines = LoginLines(host_.Port());
    lines.insert(lines.end(), extra.begin(), extra.end());
    WriteConfig(lines);
  }
  TDncControll& Window() {
    window_ = std::make_unique<TDncControll>(nullptr);
    EXPECT_TRUE(window_->Create());
    window_->ShowWindow(SW_SHOW);
    return *window_;
  }
  // Answers the next selection list: picks the line, then OK (or Cancel).
  void Choose(const std::string& line, const std::vector<std::string>& offered, bool ok = true) {
    driver.expect_dialog(IDD_UNIX_SELECT, [=](TDialog& d) {
      Pilot p(d);
      const auto lines = p.lines(IDC_UNIX_SELECT_LIST);
      EXPECT_EQ(lines, offered);
      for (std::size_t i = 0; i < lines.size(); i++)
        if (lines[i] == line) p.select(IDC_UNIX_SELECT_LIST, static_cast<int>(i));
      p.click(ok ? IDOK : IDCANCEL);
    });
  }
  void Input(const std::string& caption, const std::string& text, bool ok = true) {
    driver.expect_dialog(IDD_UNIX_INPUT, [=](TDialog& d) {
      EXPECT_EQ(d.GetText(), caption);
      Pilot p(d);
      p.type(IDC_UNIX_INPUT_TEXT, text);
      p.click(ok ? IDOK : IDCANCEL);
    });
  }

  kvunix::RexecHost host_;
  std::unique_ptr<TDncControll> window_;
};

TEST_F(UnixControlTest, ButtonsShowTheConfiguredSetsOnly) {
  TDncControll& w = Window();
  Pilot p(w);
  EXPECT_FALSE(p.visible(IDC_DNC_CONTROL_UNIX_LINK1)) << "no unixlink.cfg";
  EXPECT_FALSE(p.visible(IDC_DNC_CONTROL_UNIX_LINK2));
  driver.expect_message_box(IDOK, "unixlink.cfg is missing");
  w.UnixLinkTransfer(0);
  w.Destroy();

  Config({"BUTTON_TEXT1=\"Parts\"", "COMMAND11=\"ls\"", "BUTTON_TEXT2=\"Orders\""});
  TDncControll& w2 = Window();
  Pilot p2(w2);
  EXPECT_TRUE(p2.visible(IDC_DNC_CONTROL_UNIX_LINK2));
  EXPECT_EQ(p2.text(IDC_DNC_CONTROL_UNIX_LINK2), "Parts");
  EXPECT_FALSE(p2.visible(IDC_DNC_CONTROL_UNIX_LINK1)) << "set 2 has no first command";
}

// A set of three commands: the argument dialog, two steps with a choice
// from their output, a last step that records what it got.
class UnixCommandSetTest : public UnixControlTest {
 protected:
  void SetUp() override {
    UnixControlTest::SetUp();
    const std::string rec = Recorder();
    Config({"BUTTON_TEXT1=\"Parts\"", "ARGUMENT_DIALOG1=1", "ARGUMENT_TITLE1=\"Part number\"",
            "COMMAND11=\"" + rec + " s1 %1; printf '%s\\n' a-%1 b-%1\"",
            "TITLE11=\"Programs of %1\"",
            "COMMAND12=\"" + rec + " s2 %1; printf 'x\\ny y\\n'\"", "TITLE12=\"Versions of %1\"",
            "COMMAND13=\"" + rec + " s3 %1 %2 '%3'\""});
  }
};

TEST_F(UnixCommandSetTest, ArgumentsFlowThroughTheStepsAndCancelEndsTheRunAtEachPoint) {
  TDncControll& w = Window();
  Pilot p(w);
  ASSERT_TRUE(p.visible(IDC_DNC_CONTROL_UNIX_LINK2));

  Input("Part number", "P 1", false);
  ASSERT_TRUE(p.click(IDC_DNC_CONTROL_UNIX_LINK2));
  EXPECT_EQ(Records(), Runs{});

  Input("Part number", "P 1");
  Choose("b-P 1", {"a-P 1", "b-P 1"}, false);
  ASSERT_TRUE(p.click(IDC_DNC_CONTROL_UNIX_LINK2));
  EXPECT_EQ(Records(), (Runs{{"s1", "P 1"}}));

  Input("Part number", "P 2");
  Choose("b-P 2", {"a-P 2", "b-P 2"});
  Choose("y y", {"x", "y y"}, false);
  ASSERT_TRUE(p.click(IDC_DNC_CONTROL_UNIX_LINK2));
  EXPECT_EQ(Records(), (Runs{{"s1", "P 1"}, {"s1", "P 2"}, {"s2", "b-P 2"}}));

  Input("Part number", "P 3");
  Choose("b-P 3", {"a-P 3", "b-P 3"});
  Choose("y y", {"x", "y y"});
  ASSERT_TRUE(p.click(IDC_DNC_CONTROL_UNIX_LINK2));
  const auto runs = Records();
  ASSERT_EQ(runs.size(), 6u);
  EXPECT_EQ(runs[5], (std::vector<std::string>{"s3", "b-P 3", "y y", ""}));
}

TEST_F(UnixCommandSetTest, ASelectionDialogCaptionFillsItsArguments) {
  TDncControll& w = Window();
  Input("Part number", "P9");
  driver.expect_dialog(IDD_UNIX_SELECT, [](TDialog& d) {
    EXPECT_EQ(d.GetText(), "Programs of P9");
    Pilot(d).click(IDCANCEL);
  });
  w.UnixLinkTransfer(0);
}

TEST_F(UnixControlTest, SelectionListsTakeTheirLinesAsGiven) {
  const struct {
    std::string output;
    std::vector<std::string> lines;
    int pick;
    std::string chosen;
  } cases[] = {
      {"P1.nc\xAD" "a\xAD" "P2.nc\xAD", {"P1.nc", "a", "P2.nc"}, 2, "P2.nc"},
      {"P1.nc\xAD" "a\xAD", {"P1.nc", "a"}, 1, ""},  // one character: no choice
      {"no line end", {"no line end"}, 0, "no line end"},
      {"", {}, -1, ""},
  };
  for (const auto& c : cases) {
    driver.expect_dialog(IDD_UNIX_SELECT, [&](TDialog& d) {
      Pilot p(d);
      EXPECT_EQ(p.lines(IDC_UNIX_SELECT_LIST), c.lines);
      if (c.pick >= 0) p.select(IDC_UNIX_SELECT_LIST, c.pick);
      p.click(IDOK);
    });
    TMySelectionDialog2 dlg(nullptr, "Choose", c.output);
    EXPECT_EQ(dlg.Execute(), IDOK);
    EXPECT_EQ(dlg.GetSelection(), c.chosen);
  }
  // A double click chooses and closes.
  driver.expect_dialog(IDD_UNIX_SELECT, [](TDialog& d) { Pilot(d).double_click(IDC_UNIX_SELECT_LIST, 1); });
  TMySelectionDialog2 dlg(nullptr, "Choose", "P1\xADP2\xAD");
  EXPECT_EQ(dlg.Execute(), IDOK);
  EXPECT_EQ(dlg.GetSelection(), "P2");
}

TEST_F(UnixControlTest, AChoiceLongerThanAnArgumentEndsTheRun) {
  const std::string rec = Recorder();
  Config({"COMMAND11=\"head -c 120 /dev/zero | tr '\\0' L; echo\"", "TITLE11=\"Long\"",
          "COMMAND12=\"" + rec + " %1\""});
  TDncControll& w = Window();
  Choose(std::string(120, 'L'), {std::string(120, 'L')});
  driver.expect_message_box(IDOK, "longer than 99 characters");
  w.UnixLinkTransfer(0);
  EXPECT_EQ(Records(), Runs{});
}

// ---- the order dialog ----------------------------------------------------------------

class UnixOrderTest : public UnixControlTest {
 protected:
  void Orders(bool final = true) {
    std::vector<std::string> lines = {"BUTTON_TEXT2=\"Orders\"", "BRASKOLM_F_ORDRE2=1",
                                      "COMMAND21=\"printf 'ord-a\\nord-b\\n'\"", "TITLE21=\"Order\"",
                                      "COMMAND22=\"printf 'common-1\\ncommon-2\\n'\"", "TITLE22=\"Common\""};
    if (final) lines.push_back("COMMAND23=\"" + Recorder() + " final\"");
    Config(lines);
  }
  // Answers the order dialog: runs what, then reads the identification.
  void OrderDialog(std::function<void(Pilot&)> what, bool ok = true) {
    driver.expect_dialog(IDD_UNIX_ORDER, [this, what, ok](TDialog& d) {
      Pilot p(d);
      EXPECT_EQ(p.text(IDC_UNIX_ORDER_COUNT), "0");
      EXPECT_TRUE(p.checked(IDC_UNIX_ORDER_STANDARD));
      id_ = p.text(IDC_UNIX_ORDER_ID);
      what(p);
      p.click(ok ? IDOK : IDCANCEL);
    });
  }
  std::string id_;
};

TEST_F(UnixOrderTest, TwoOrdersGoToTheFinalCommandJoined) {
  Orders();
  TDncControll& w = Window();
  Pilot p(w);
  ASSERT_TRUE(p.visible(IDC_DNC_CONTROL_UNIX_LINK1));
  OrderDialog([this](Pilot& o) {
    Choose("ord-a", {"ord-a", "ord-b"});
    Choose("common-2", {"common-1", "common-2"});
    ASSERT_TRUE(o.click(IDC_UNIX_ORDER_MORE));
    EXPECT_EQ(o.text(IDC_UNIX_ORDER_COUNT), "1");
    // The second order runs the first step only.
    Choose("ord-b", {"ord-a", "ord-b"});
    ASSERT_TRUE(o.click(IDC_UNIX_ORDER_MORE));
    EXPECT_EQ(o.text(IDC_UNIX_ORDER_COUNT), "2");
    // A cancelled choice takes no order.
    Choose("ord-a", {"ord-a", "ord-b"}, false);
    ASSERT_TRUE(o.click(IDC_UNIX_ORDER_MORE));
    EXPECT_EQ(o.text(IDC_UNIX_ORDER_COUNT), "2");
    ASSERT_TRUE(o.click(IDC_UNIX_ORDER_STANDARD));
  });
  ASSERT_TRUE(p.click(IDC_DNC_CONTROL_UNIX_LINK1));
  ASSERT_EQ(id_.size(), 8u);
  EXPECT_EQ(id_[0], 'F');
  EXPECT_EQ(Records(), (Runs{{"final", "ord-a@ord-b", id_, "common-2", "0"}}));
}

TEST_F(UnixOrderTest, ACancelledFirstOrderLeavesTheCommonChoiceToTheNext) {
  Orders();
  TDncControll& w = Window();
  OrderDialog([this](Pilot& o) {
    Choose("ord-a", {"ord-a", "ord-b"});
    Choose("common-1", {"common-1", "common-2"}, false);
    ASSERT_TRUE(o.click(IDC_UNIX_ORDER_MORE));
    EXPECT_EQ(o.text(IDC_UNIX_ORDER_COUNT), "0");
    Choose("ord-b", {"ord-a", "ord-b"});
    Choose("common-1", {"common-1", "common-2"});
    ASSERT_TRUE(o.click(IDC_UNIX_ORDER_MORE));
  });
  w.UnixLinkTransfer(1);
  EXPECT_EQ(Records(), (Runs{{"final", "ord-b", id_, "common-1", "1"}}));
}

TEST_F(UnixOrderTest, WithoutOrdersTheCommandRunsWithEmptyTexts) {
  Orders();
  TDncControll& w = Window();
  OrderDialog([](Pilot&) {});
  w.UnixLinkTransfer(1);
  EXPECT_EQ(Records(), (Runs{{"final", "", id_, "", "1"}}));
  // Fortryd runs nothing.
  OrderDialog([](Pilot&) {}, false);
  w.UnixLinkTransfer(1);
  EXPECT_EQ(Records().size(), 1u);
}

TEST_F(UnixOrderTest, WithoutTheThirdCommandNothingRunsAndTheUserIsTold) {
  Orders(false);
  TDncControll& w = Window();
  OrderDialog([](Pilot&) {});
  driver.expect_message_box(IDOK, "no third command");
  w.UnixLinkTransfer(1);
  EXPECT_EQ(Records(), Runs{});
}

TEST_F(UnixOrderTest, AnOrderListPast1023CharactersIsRefused) {
  // Orders of 99 characters: ten of them and their "@" make 1000.
  const std::string order(99, 'o');
  Config({"BRASKOLM_F_ORDRE2=1", "ARGUMENT_DIALOG2=1", "ARGUMENT_TITLE2=\"Order\"",
          "COMMAND23=\"" + Recorder() + " final\""});
  TDncControll& w = Window();
  OrderDialog([&](Pilot& o) {
    for (int i = 0; i < 11; i++) {
      Input("Order", order);
      if (i == 10) driver.expect_message_box(IDOK, "past 1023 characters");
      ASSERT_TRUE(o.click(IDC_UNIX_ORDER_MORE));
    }
    EXPECT_EQ(o.text(IDC_UNIX_ORDER_COUNT), "10");
  });
  w.UnixLinkTransfer(1);
  const auto runs = Records();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0][1].size(), 10 * 99 + 9u);
}

// ---- Send on a port of the Unix link -------------------------------------------------

class UnixSendTest : public UnixControlTest {
 protected:
  void SetUp() override {
    UnixControlTest::SetUp();
    OnePort(kProtoStandard, [](TMultiDncRecord& r) {
      StandardTexts(r);
      r.Number[kPropUnixLink] = 1;
    });
    // The host's programs lie two directories above the configured one.
    std::filesystem::create_directories(Host() + "/progs/nc");
    WriteFile(Host() + "/x", program_);
    Config({"UNIX_COMMAND1=\"printf '../../x\\nz\\n'\"", "UNIX_WINTITLE1=\"Programs\"",
            "UNIX_FILE_DIRECTORY=\"" + Host() + "/progs/nc\""});
  }
  const std::string program_ = "%\r\nG1 X1\r\nM30\r\n%";
};

TEST_F(UnixSendTest, TheChosenFileIsCopiedIntoTheTemporaryDirectoryAndSent) {
  sim::Machine m(kCom);
  TDncControll& w = Window();
  ASSERT_NO_FATAL_FAILURE(StartServer(&w));
  w.SelectPort(0);
  Pilot p(w);
  ASSERT_TRUE(p.enabled(IDC_DNC_CONTROL_SEND)) << "a Unix-link port sends without the program search";

  // Cancelled: nothing is copied, nothing handed over.
  Choose("../../x", {"../../x", "z"}, false);
  ASSERT_TRUE(p.click(IDC_DNC_CONTROL_SEND));
  EXPECT_EQ(Ports[0]->RequestedText(), "");
  // A single character is no choice.
  Choose("z", {"../../x", "z"});
  ASSERT_TRUE(p.click(IDC_DNC_CONTROL_SEND));
  EXPECT_EQ(Ports[0]->RequestedText(), "");

  Choose("../../x", {"../../x", "z"});
  ASSERT_TRUE(p.click(IDC_DNC_CONTROL_SEND));
  EXPECT_EQ(p.text(IDC_DNC_CONTROL_PROGRAM), "Program : [127.0.0.1] ../../x");
  const std::string local = Root() + "/temp/" + std::to_string(kCom) + "_x";
  EXPECT_EQ(ReadFile(local), program_);
  const std::string expected = Framed(program_);
  EXPECT_EQ(Collect(m, expected.size()), expected);
  StopServer();
}

TEST_F(UnixSendTest, TheSecondListNarrowsTheChoiceAndAFailedCopySendsNothing) {
  const std::string rec = Recorder();
  Config({"UNIX_COMMAND1=\"printf 'P1\\n'\"", "UNIX_WINTITLE1=\"Programs\"",
          "UNIX_COMMAND2=\"" + rec + " %s; printf 'P1.old\\nP1.new\\n'\"", "UNIX_WINTITLE2=\"Versions of %s\"",
          "UNIX_FILE_DIRECTORY=\"" + Host() + "\""});
  sim::Machine m(kCom);
  TDncControll& w = Window();
  ASSERT_NO_FATAL_FAILURE(StartServer(&w));
  w.SelectPort(0);
  Pilot p(w);
  // Without its plug-ins the link says so.
  plat::set_plugin_dir(Root());
  driver.expect_message_box(IDOK, "(RCMD32) could not be loaded");
  ASSERT_TRUE(p.click(IDC_DNC_CONTROL_SEND));
  plat::set_plugin_dir(KV_PLUGINS_DIR);

  Choose("P1", {"P1"});
  driver.expect_dialog(IDD_UNIX_SELECT, [](TDialog& d) {
    EXPECT_EQ(d.GetText(), "Versions of P1");
    Pilot q(d);
    q.select(IDC_UNIX_SELECT_LIST, 1);
    q.click(IDOK);
  });
  driver.expect_message_box(IDOK, "could not be copied");
  ASSERT_TRUE(p.click(IDC_DNC_CONTROL_SEND));
  EXPECT_EQ(Records(), (Runs{{"P1"}}));
  EXPECT_NE(BoxTexts().back().find("P1.new"), std::string::npos) << BoxTexts().back();
  EXPECT_EQ(Ports[0]->RequestedText(), "");
  EXPECT_FALSE(std::filesystem::exists(Root() + "/temp/" + std::to_string(kCom) + "_P1.new"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Root() + "/temp"), {}), 0);
  StopServer();
}

}  // namespace
