// The kept-program dialogs' list, details, file views and colours.
#include "platform/ui/ctlcolor.h"
#include "platform/ui/dc.h"
#include "app/frame_commands.h"
#include "resources/dialogs/restore.h"
#include "storage/restore_commands.h"
#include "tests/restore/restore_fixture.h"

namespace {

using kvrestore::RestoreTest;
using plat::Pilot;

TEST_F(RestoreTest, ListHasTheHeaderAndUnderlineThenOneLinePerRowAndShowsTheFirst) {
  Globals->SearchMode = 4;
  AddKept("KELVDNCF.DBF", 21, "O2100", mill, "G0 X1\r\n");
  AddKept("KELVDNCF.DBF", 22, "O2200", lathe, "", "LATHE");
  ASSERT_TRUE(RunFail([&](Pilot& p, TKeptProgramsDlg& d) {
    EXPECT_EQ(d.GetText(), std::string("Failed DNC transfers"));
    std::vector<std::string> lines = p.lines(IDC_KEPT_PROGRAMS_LIST);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].substr(0, 23), "Machine              - ");
    EXPECT_EQ(lines[0].substr(23, 11), "Description");  // order 4: description first
    EXPECT_EQ(lines[1], std::string(395, '_'));
    EXPECT_EQ(lines[2].substr(lines[2].size() - 11), "@0000000021");
    EXPECT_EQ(p.selection(IDC_KEPT_PROGRAMS_LIST), 2);
    EXPECT_EQ(p.text(IDC_KEPT_PROGRAMS_PROGRAM_ID), "O2100");
    EXPECT_EQ(p.text(IDC_KEPT_PROGRAMS_DESCRIPTION), "RECEIVED");
    EXPECT_EQ(p.text(IDC_KEPT_PROGRAMS_PART), "PART-1");
    EXPECT_EQ(p.text(IDC_KEPT_PROGRAMS_DRAWING), "DRW-1");
    EXPECT_EQ(p.text(IDC_KEPT_PROGRAMS_SIZE), "7");
    EXPECT_NE(p.text(IDC_KEPT_PROGRAMS_SAVED), "?");
    EXPECT_EQ(p.text(IDC_KEPT_PROGRAMS_VIEW), "G0 X1\r\n");
    EXPECT_EQ(d.MachineId, mill);
    EXPECT_EQ(d.MachineTypeId, 5);
    // The header and the underline stand for no row: the first row is taken.
    p.select(IDC_KEPT_PROGRAMS_LIST, 3);
    EXPECT_EQ(p.text(IDC_KEPT_PROGRAMS_PROGRAM_ID), "O2200");
    EXPECT_EQ(p.text(IDC_KEPT_PROGRAMS_SIZE), "0");
    EXPECT_EQ(p.text(IDC_KEPT_PROGRAMS_VIEW), "");
    p.select(IDC_KEPT_PROGRAMS_LIST, 1);
    EXPECT_EQ(p.selection(IDC_KEPT_PROGRAMS_LIST), 2);
    EXPECT_EQ(p.text(IDC_KEPT_PROGRAMS_PROGRAM_ID), "O2100");
  }));
}

TEST_F(RestoreTest, FileViewsShowTextHexadecimalAndDecimal) {
  AddKept("KELVDNCF.DBF", 21, "O2100", mill, nullptr);
  kvdb::WriteFileBytes(PathIn("kept", "F21.NC"), std::string("A\0\x80", 3));
  AddKept("KELVDNCF.DBF", 22, "BIG", mill, std::string(25000, 'x').c_str());
  AddKept("KELVDNCF.DBF", 23, "GONE", mill, nullptr);
  ASSERT_TRUE(RunFail([&](Pilot& p, TKeptProgramsDlg&) {
    for (int id : {IDC_KEPT_PROGRAMS_HEX, IDC_KEPT_PROGRAMS_DEC, IDC_KEPT_PROGRAMS_NORMAL})
      EXPECT_TRUE(p.visible(id)) << id;
    EXPECT_TRUE(p.checked(IDC_KEPT_PROGRAMS_NORMAL));
    EXPECT_EQ(p.text(IDC_KEPT_PROGRAMS_VIEW), "A\xA7\x80");
    EXPECT_TRUE(p.click(IDC_KEPT_PROGRAMS_HEX));
    EXPECT_EQ(p.text(IDC_KEPT_PROGRAMS_VIEW), "41, 00, 80, \r\n");
    EXPECT_TRUE(p.click(IDC_KEPT_PROGRAMS_DEC));
    EXPECT_EQ(p.text(IDC_KEPT_PROGRAMS_VIEW), "065, 000, 128, \r\n");
    // The chosen view stays for the next row; the text view holds 24,990.
    p.select(IDC_KEPT_PROGRAMS_LIST, 3);
    EXPECT_EQ(p.text(IDC_KEPT_PROGRAMS_SIZE), "25000");
    EXPECT_EQ(p.text(IDC_KEPT_PROGRAMS_VIEW).size(), 1000u * 32);
    EXPECT_TRUE(p.click(IDC_KEPT_PROGRAMS_NORMAL));
    EXPECT_EQ(p.text(IDC_KEPT_PROGRAMS_VIEW), std::string(24990, 'x'));
    // A row whose file is missing.
    p.select(IDC_KEPT_PROGRAMS_LIST, 4);
    EXPECT_EQ(p.text(IDC_KEPT_PROGRAMS_PROGRAM_ID), "GONE");
    EXPECT_EQ(p.text(IDC_KEPT_PROGRAMS_SIZE), "?");
    EXPECT_EQ(p.text(IDC_KEPT_PROGRAMS_SAVED), "?");
    EXPECT_EQ(p.text(IDC_KEPT_PROGRAMS_VIEW), "");
  }));
}

TEST_F(RestoreTest, TemporaryTransfersAndFailedImportsShowTheTextViewOnly) {
  AddKept("KELVDNCT.DBF", 31, "O3100", mill, std::string("N1\0", 3).c_str());
  kvdb::WriteFileBytes(PathIn("kept", "F31.NC"), std::string("N1\0", 3));
  AddKept("KELVAUTO.DBF", 41, "O4100", mill, "N2");
  ASSERT_TRUE(Run<TRestoreDncTemp>("KELVDNCT.DBF", [&](Pilot& p, TKeptProgramsDlg& d) {
    EXPECT_EQ(d.GetText(), std::string("New DNC transfers"));
    for (int id : {IDC_KEPT_PROGRAMS_HEX, IDC_KEPT_PROGRAMS_DEC, IDC_KEPT_PROGRAMS_NORMAL})
      EXPECT_FALSE(p.visible(id)) << id;
    EXPECT_EQ(p.text(IDC_KEPT_PROGRAMS_VIEW), "N1\xA7");
  }));
  ASSERT_TRUE(Run<TFailedImports>("KELVAUTO.DBF", [&](Pilot& p, TKeptProgramsDlg& d) {
    EXPECT_EQ(d.GetText(), std::string("Failed imports"));
    EXPECT_FALSE(p.visible(IDC_KEPT_PROGRAMS_HEX));
    EXPECT_EQ(p.text(IDC_KEPT_PROGRAMS_VIEW), "N2");
  }));
  // An empty table opens no dialog.
  EXPECT_FALSE(Run<TRestoreDncFail>("KELVDNCF.DBF", [](Pilot&, TKeptProgramsDlg&) {}));
}

// The menu commands open their dialog only on a table with rows; on an
// empty one they open nothing and show no message.
TEST_F(RestoreTest, MenuCommandsOpenNothingOnAnEmptyTable) {
  struct Case {
    UINT command;
    const char* table;
    const char* caption;
  };
  const Case cases[] = {{kCmFailedDncTransfers, "KELVDNCF.DBF", "Failed DNC transfers"},
                        {kCmNewDncTransfers, "KELVDNCT.DBF", "New DNC transfers"},
                        {kCmFailedImports, "KELVAUTO.DBF", "Failed imports"}};
  RegisterRestoreCommands();
  auto* frame = new TCommandHostFrame(nullptr, "Kelvane", nullptr);
  frame->Create();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table);
    plat::GTestUiDriver empty;
    EXPECT_TRUE(frame->IsCommandEnabled(c.command));
    frame->RouteCommand(c.command);
    EXPECT_TRUE(empty.dialogs_shown().empty());
    EXPECT_TRUE(empty.message_boxes().empty());
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table);
    AddKept(c.table, 51, "O5100", mill, "N1");
    plat::GTestUiDriver one;
    std::string caption;
    one.expect_dialog(IDD_KEPT_PROGRAMS, [&](TDialog& d) {
      caption = d.GetText();
      Pilot(d).press_escape();
    });
    frame->RouteCommand(c.command);
    EXPECT_EQ(caption, c.caption);
  }
  for (const Case& c : cases) RegisterFrameCommand(c.command, nullptr);
  frame->Destroy();
  delete frame;
}

TEST_F(RestoreTest, CustomerAndProjectFollowTheRowAndTheBoxes) {
  long acme, bolt, gear;
  {
    TcbAdvCustTable c("KELVCUS2.DBF", 0, 0);
    acme = c.Add("ACME");
    bolt = c.Add("BOLT WORKS");
  }
  {
    TcbProTable pr("KELVPRO.DBF", 0, 0);
    std::unique_ptr<TcbProRecord> r(pr.Add("GEARBOX", acme));
    gear = r->ID;
  }
  AddKept("KELVDNCF.DBF", 21, "NOCUST", mill, "A");
  AddKept("KELVDNCF.DBF", 22, "WITHPROJ", mill, "B", "MILL1", acme, gear);
  AddKept("KELVDNCF.DBF", 23, "NOPROJ", mill, "C", "MILL1", bolt, 0);
  ASSERT_TRUE(RunFail([&](Pilot& p, TKeptProgramsDlg& d) {
    EXPECT_FALSE(p.checked(IDC_KEPT_PROGRAMS_CUSTOMER_BOX));
    EXPECT_TRUE(p.visible(IDC_KEPT_PROGRAMS_CUSTOMER_BOX));
    EXPECT_FALSE(p.visible(IDC_KEPT_PROGRAMS_CUSTOMER));
    EXPECT_FALSE(p.visible(IDC_KEPT_PROGRAMS_PROJECT));
    EXPECT_FALSE(p.visible(IDC_KEPT_PROGRAMS_PROJECT_BOX));
    p.select(IDC_KEPT_PROGRAMS_LIST, 3);
    EXPECT_TRUE(p.checked(IDC_KEPT_PROGRAMS_CUSTOMER_BOX));
    EXPECT_TRUE(p.visible(IDC_KEPT_PROGRAMS_CUSTOMER));
    EXPECT_TRUE(p.checked(IDC_KEPT_PROGRAMS_PROJECT_BOX));
    EXPECT_TRUE(p.visible(IDC_KEPT_PROGRAMS_PROJECT));
    EXPECT_EQ(d.CustomerId, acme);
    EXPECT_EQ(d.ProjectId, gear);
    // A customer without projects: no project box or list.
    p.select(IDC_KEPT_PROGRAMS_LIST, 4);
    EXPECT_EQ(d.CustomerId, bolt);
    EXPECT_FALSE(p.visible(IDC_KEPT_PROGRAMS_PROJECT_BOX));
    EXPECT_FALSE(p.visible(IDC_KEPT_PROGRAMS_PROJECT));
    // Unchecking drops the customer; checking takes the one shown.
    EXPECT_TRUE(p.click(IDC_KEPT_PROGRAMS_CUSTOMER_BOX));
    EXPECT_EQ(d.CustomerId, 0);
    EXPECT_FALSE(p.visible(IDC_KEPT_PROGRAMS_CUSTOMER));
    EXPECT_TRUE(p.click(IDC_KEPT_PROGRAMS_CUSTOMER_BOX));
    EXPECT_EQ(d.CustomerId, bolt);
    EXPECT_TRUE(p.visible(IDC_KEPT_PROGRAMS_CUSTOMER));
  }));
}

TEST_F(RestoreTest, ControlColours) {
  AddKept("KELVDNCF.DBF", 21, "O2100", mill, "A");
  ASSERT_TRUE(RunFail([&](Pilot& p, TKeptProgramsDlg& d) {
    TClientDC dc(d.GetHandle());
    auto colors = [&](int id) { return plat::ask_control_colors(p.control(id)->GetHandle(), dc); };
    struct Case {
      int id;
      COLORREF text, back, brush;
    } cases[] = {
        {102, RGB(0, 0, 0), RGB(0, 192, 192), RGB(0, 192, 192)},
        {210, RGB(255, 255, 0), RGB(0, 0, 128), RGB(0, 0, 128)},
        {211, RGB(255, 255, 0), RGB(0, 0, 128), RGB(0, 0, 128)},
        {116, RGB(192, 0, 0), RGB(192, 192, 192), RGB(192, 192, 192)},
        {115, RGB(0, 0, 192), RGB(192, 192, 192), RGB(192, 192, 192)},
        {201, RGB(0, 0, 192), RGB(192, 192, 192), RGB(192, 192, 192)},
    };
    for (const Case& c : cases) {
      plat::ControlColors got = colors(c.id);
      EXPECT_EQ(got.text, c.text) << c.id;
      EXPECT_EQ(got.back, c.back) << c.id;
      EXPECT_EQ(got.brush, c.brush) << c.id;
    }
    EXPECT_EQ(colors(101).brush, RGB(255, 255, 255));
    EXPECT_FALSE(colors(IDC_KEPT_PROGRAMS_PROGRAM_ID).fromParent);
  }));
}

}  // namespace
