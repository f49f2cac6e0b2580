// The system log viewer: event filters, lines sorted by their text, and
// deleting the chosen entries or every entry shown.
#include "resources/dialogs/logs.h"
#include "storage/system_log.h"
#include "tests/storage/log_fixture.h"

namespace {

using kvlogs::LogTest;
using plat::Pilot;

class SystemLogTest : public LogTest {
 protected:
  void SetUp() override {
    LogTest::SetUp();
    // Written in time order; the days of the month run against it.
    MakeSystemLog({{"1", "7", "0", "CREATED A", "20260105"},
                   {"2", "1", "0", "SENT A", "20260204"},
                   {"3", "7", "0", "CREATED B", "20260204"},
                   {"4", "2", "0", "CANCELLED", "20260301"},
                   {"5", "24", "0", "SAVED", "20260105"},
                   {"6", "7", "0", "CREATED C", "20260301"},
                   {"7", "7", "0", "CREATED D", "20260210"},
                   {"8", "7", "0", "CREATED E", "20260115"}});
  }
  int Run(const std::function<void(Pilot&)>& answer) {
    driver.expect_dialog(IDD_SYSTEM_LOG, [&](TDialog& d) {
      Pilot p(d);
      answer(p);
    });
    TLogDlg dlg(nullptr);
    return dlg.Execute();
  }
  // The text of each line, as shown.
  static std::vector<std::string> Texts(Pilot& p) {
    std::vector<std::string> out;
    for (const std::string& line : p.lines(IDC_SYSTEM_LOG_LIST)) {
      size_t start = line.find(" , ") + 3;
      std::string text = line.substr(start, line.rfind(", @@") - start);
      out.push_back(text.substr(0, text.find_last_not_of(' ') + 1));
    }
    return out;
  }

  plat::GTestUiDriver driver;
};

TEST_F(SystemLogTest, EventButtonsListTheirTypesSortedByTheirLines) {
  Run([&](Pilot& p) {
    EXPECT_TRUE(p.lines(IDC_SYSTEM_LOG_LIST).empty());
    p.click(IDC_SYSTEM_LOG_DELETE_ALL);  // nothing shown: nothing to delete, nothing asked
    // Print, dump and view have no action, so they stay grey, a line
    // chosen or not; so do the buttons of events no writer makes.
    auto greyed = [&](const char* when) {
      for (int id : {IDC_SYSTEM_LOG_CONFIG_CHANGED, IDC_SYSTEM_LOG_DNC_CONFIG_CHANGED,
                     IDC_SYSTEM_LOG_TEMPORARY_RESTORED, IDC_SYSTEM_LOG_PRINT, IDC_SYSTEM_LOG_PRINT_ALL,
                     IDC_SYSTEM_LOG_DUMP, IDC_SYSTEM_LOG_DUMP_ALL, IDC_SYSTEM_LOG_VIEW_ALL})
        EXPECT_FALSE(p.enabled(id)) << id << " " << when;
    };
    greyed("with nothing listed");
    // The line starts with the date, day first: 01/03 before 04/02
    // before 05/01 before 10/02, whatever order they were written in.
    p.click(IDC_SYSTEM_LOG_CREATED);
    p.select(IDC_SYSTEM_LOG_LIST, 0);
    greyed("with a line chosen");
    EXPECT_TRUE(p.enabled(IDC_SYSTEM_LOG_DELETE));
    EXPECT_EQ(Texts(p), (std::vector<std::string>{"CREATED C", "CREATED B", "CREATED A", "CREATED D", "CREATED E"}));
    EXPECT_EQ(p.lines(IDC_SYSTEM_LOG_LIST)[2], "05/01-2026,        0 , CREATED A" + std::string(191, ' ') + ", @@1");
    p.click(IDC_SYSTEM_LOG_SENT);
    EXPECT_EQ(Texts(p), (std::vector<std::string>{"CANCELLED", "SENT A"}));
    // Editor saves (type 24) belong to no button.
    for (int id = IDC_SYSTEM_LOG_CREATED; id <= IDC_SYSTEM_LOG_MACHINE_CHANGED; id++) {
      p.click(id);
      for (const std::string& text : Texts(p)) EXPECT_NE(text, "SAVED") << id;
    }
    p.close_box();
  });
}

TEST_F(SystemLogTest, DeleteAndDeleteAllAskFirstAndKeepTheFilterInForce) {
  Run([&](Pilot& p) {
    p.click(IDC_SYSTEM_LOG_SENT);
    p.select(IDC_SYSTEM_LOG_LIST, 0);
    driver.expect_message_box(IDNO, "Delete the selected system log entries");
    p.click(IDC_SYSTEM_LOG_DELETE);
    EXPECT_EQ(p.lines(IDC_SYSTEM_LOG_LIST).size(), 2u);
    p.select(IDC_SYSTEM_LOG_LIST, 1);  // "SENT A" of 04/02 sorts after "CANCELLED" of 01/03
    driver.expect_message_box(IDYES);
    p.click(IDC_SYSTEM_LOG_DELETE);
    EXPECT_EQ(Texts(p), std::vector<std::string>{"CANCELLED"});
    p.click(IDC_SYSTEM_LOG_CREATED);
    driver.expect_message_box(IDNO, "Delete every system log entry shown");
    p.click(IDC_SYSTEM_LOG_DELETE_ALL);
    EXPECT_EQ(p.lines(IDC_SYSTEM_LOG_LIST).size(), 5u);
    driver.expect_message_box(IDYES);
    p.click(IDC_SYSTEM_LOG_DELETE_ALL);
    EXPECT_TRUE(p.lines(IDC_SYSTEM_LOG_LIST).empty());
    p.close_box();
  });
  EXPECT_EQ(PeerRows(DbPath("LOG00000.DBF"), "ID TYPE"),
            (std::vector<std::string>{"ID=4 TYPE=2", "ID=5 TYPE=24", "* ID=1 TYPE=7", "* ID=2 TYPE=1",
                                      "* ID=3 TYPE=7", "* ID=6 TYPE=7", "* ID=7 TYPE=7", "* ID=8 TYPE=7"}));
}

// The list takes any number of lines, chosen as on the desktop (a click,
// Shift to extend, Ctrl to add or take away one); Delete removes every
// chosen entry from the table and keeps the others, shown or not.
TEST_F(SystemLogTest, DeleteRemovesEverySelectedLine) {
  Run([&](Pilot& p) {
    p.click(IDC_SYSTEM_LOG_CREATED);
    ASSERT_EQ(Texts(p), (std::vector<std::string>{"CREATED C", "CREATED B", "CREATED A", "CREATED D", "CREATED E"}));
    p.select(IDC_SYSTEM_LOG_LIST, 0);
    p.select(IDC_SYSTEM_LOG_LIST, 1, MK_SHIFT);
    p.select(IDC_SYSTEM_LOG_LIST, 3, MK_CONTROL);
    p.select(IDC_SYSTEM_LOG_LIST, 4, MK_CONTROL);
    p.select(IDC_SYSTEM_LOG_LIST, 4, MK_CONTROL);
    ASSERT_EQ(p.selections(IDC_SYSTEM_LOG_LIST), (std::vector<int>{0, 1, 3}));
    driver.expect_message_box(IDYES, "Delete the selected system log entries");
    p.click(IDC_SYSTEM_LOG_DELETE);
    EXPECT_EQ(Texts(p), (std::vector<std::string>{"CREATED A", "CREATED E"}));
    EXPECT_TRUE(p.selections(IDC_SYSTEM_LOG_LIST).empty());
    p.click(IDC_SYSTEM_LOG_DELETE);  // nothing chosen: nothing asked, nothing deleted
    p.close_box();
  });
  EXPECT_EQ(PeerRows(DbPath("LOG00000.DBF"), "ID TEXT"),
            (std::vector<std::string>{"ID=1 TEXT=CREATED A", "ID=2 TEXT=SENT A", "ID=4 TEXT=CANCELLED",
                                      "ID=5 TEXT=SAVED", "ID=8 TEXT=CREATED E", "* ID=3 TEXT=CREATED B",
                                      "* ID=6 TEXT=CREATED C", "* ID=7 TEXT=CREATED D"}));
}

}  // namespace
