// The kept-program dialogs' list, details, file views and colours.
#include "platform/ui/ctlcolor.h"
#include "platform/ui/dc.h"
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
    std::vector<std::string> lines = p.lines(101);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].substr(0, 23), "Machine              - ");
    EXPECT_EQ(lines[0].substr(23, 11), "Description");  // order 4: description first
    EXPECT_EQ(lines[1], std::string(395, '_'));
    EXPECT_EQ(lines[2].substr(lines[2].size() - 11), "@0000000021");
    EXPECT_EQ(p.selection(101), 2);
    EXPECT_EQ(p.text(111), "O2100");
    EXPECT_EQ(p.text(112), "RECEIVED");
    EXPECT_EQ(p.text(113), "PART-1");
    EXPECT_EQ(p.text(114), "DRW-1");
    EXPECT_EQ(p.text(210), "7");
    EXPECT_NE(p.text(211), "?");
    EXPECT_EQ(p.text(102), "G0 X1\r\n");
    EXPECT_EQ(d.MachineId, mill);
    EXPECT_EQ(d.MachineTypeId, 5);
    // The header and the underline stand for no row: the first row is taken.
    p.select(101, 3);
    EXPECT_EQ(p.text(111), "O2200");
    EXPECT_EQ(p.text(210), "0");
    EXPECT_EQ(p.text(102), "");
    p.select(101, 1);
    EXPECT_EQ(p.selection(101), 2);
    EXPECT_EQ(p.text(111), "O2100");
  }));
}

TEST_F(RestoreTest, FileViewsShowTextHexadecimalAndDecimal) {
  AddKept("KELVDNCF.DBF", 21, "O2100", mill, nullptr);
  kvdb::WriteFileBytes(PathIn("kept", "F21.NC"), std::string("A\0\x80", 3));
  AddKept("KELVDNCF.DBF", 22, "BIG", mill, std::string(25000, 'x').c_str());
  AddKept("KELVDNCF.DBF", 23, "GONE", mill, nullptr);
  ASSERT_TRUE(RunFail([&](Pilot& p, TKeptProgramsDlg&) {
    for (int id : {118, 119, 120}) EXPECT_TRUE(p.visible(id)) << id;
    EXPECT_TRUE(p.checked(120));
    EXPECT_EQ(p.text(102), "A\xA7\x80");
    EXPECT_TRUE(p.click(118));
    EXPECT_EQ(p.text(102), "41, 00, 80, \r\n");
    EXPECT_TRUE(p.click(119));
    EXPECT_EQ(p.text(102), "065, 000, 128, \r\n");
    // The chosen view stays for the next row; the text view holds 24,990.
    p.select(101, 3);
    EXPECT_EQ(p.text(210), "25000");
    EXPECT_EQ(p.text(102).size(), 1000u * 32);
    EXPECT_TRUE(p.click(120));
    EXPECT_EQ(p.text(102), std::string(24990, 'x'));
    // A row whose file is missing.
    p.select(101, 4);
    EXPECT_EQ(p.text(111), "GONE");
    EXPECT_EQ(p.text(210), "?");
    EXPECT_EQ(p.text(211), "?");
    EXPECT_EQ(p.text(102), "");
  }));
}

TEST_F(RestoreTest, TemporaryTransfersAndFailedImportsShowTheTextViewOnly) {
  AddKept("KELVDNCT.DBF", 31, "O3100", mill, std::string("N1\0", 3).c_str());
  kvdb::WriteFileBytes(PathIn("kept", "F31.NC"), std::string("N1\0", 3));
  AddKept("KELVAUTO.DBF", 41, "O4100", mill, "N2");
  ASSERT_TRUE(Run<TRestoreDncTemp>("KELVDNCT.DBF", [&](Pilot& p, TKeptProgramsDlg& d) {
    EXPECT_EQ(d.GetText(), std::string("New DNC transfers"));
    for (int id : {118, 119, 120}) EXPECT_FALSE(p.visible(id)) << id;
    EXPECT_EQ(p.text(102), "N1\xA7");
  }));
  ASSERT_TRUE(Run<TFailedImports>("KELVAUTO.DBF", [&](Pilot& p, TKeptProgramsDlg& d) {
    EXPECT_EQ(d.GetText(), std::string("Failed imports"));
    EXPECT_FALSE(p.visible(118));
    EXPECT_EQ(p.text(102), "N2");
  }));
  // An empty table opens no dialog.
  EXPECT_FALSE(Run<TRestoreDncFail>("KELVDNCF.DBF", [](Pilot&, TKeptProgramsDlg&) {}));
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
    EXPECT_FALSE(p.checked(109));
    EXPECT_TRUE(p.visible(109));
    EXPECT_FALSE(p.visible(107));
    EXPECT_FALSE(p.visible(108));
    EXPECT_FALSE(p.visible(110));
    p.select(101, 3);
    EXPECT_TRUE(p.checked(109));
    EXPECT_TRUE(p.visible(107));
    EXPECT_TRUE(p.checked(110));
    EXPECT_TRUE(p.visible(108));
    EXPECT_EQ(d.CustomerId, acme);
    EXPECT_EQ(d.ProjectId, gear);
    // A customer without projects: no project box or list.
    p.select(101, 4);
    EXPECT_EQ(d.CustomerId, bolt);
    EXPECT_FALSE(p.visible(110));
    EXPECT_FALSE(p.visible(108));
    // Unchecking drops the customer; checking takes the one shown.
    EXPECT_TRUE(p.click(109));
    EXPECT_EQ(d.CustomerId, 0);
    EXPECT_FALSE(p.visible(107));
    EXPECT_TRUE(p.click(109));
    EXPECT_EQ(d.CustomerId, bolt);
    EXPECT_TRUE(p.visible(107));
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
    EXPECT_FALSE(colors(111).fromParent);
  }));
}

}  // namespace
