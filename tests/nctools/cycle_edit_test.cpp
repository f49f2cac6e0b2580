// The machine cycles editor: cycles filed under the machine's type,
// parameter definitions and their refusals, flags, clear and delete, and
// the floppy copies, with the stored rows as python3-dbfread reads them.
#include <algorithm>

#include "dbmodel/machine.h"
#include "app/frame_commands.h"
#include "app/users_lines.h"
#include "editor/cycle_command.h"
#include "editor/cycle_edit.h"
#include "editor/cycle_run.h"
#include "platform/path.h"
#include "resources/dialogs/nctools.h"
#include "resources/menus/main.h"
#include "tests/nctools/nc_fixture.h"

namespace {

using kvnc::NcTest;
using plat::Pilot;

// The Save button of other cycle dialogs: this one has none.
constexpr int kSaveButton = 114;

bool Has(const std::vector<std::string>& rows, const std::string& part) {
  return std::any_of(rows.begin(), rows.end(), [&](const std::string& r) { return r.find(part) != std::string::npos; });
}
size_t Count(const std::vector<std::string>& rows, const std::string& part) {
  return std::count_if(rows.begin(), rows.end(), [&](const std::string& r) { return r.find(part) != std::string::npos; });
}

class CycleEdit : public NcTest {
 protected:
  void SetUp() override {
    NcTest::SetUp();
    MakeCounters();
    CreateTable<TcbCycleTable>("KELVCYC3.DBF");
    CreateTable<TcbParamTable>("KELVCYC4.DBF");
    CreateTable<TcbMachTable>("KELVMA.DBF");
    TcbMachTable m("KELVMA.DBF", 0, 0);
    ASSERT_EQ(m.Add("MILL1", 4, "Mill", "C:\\NC\\", 0), 1);
    TcbMachRecord* r = m.FindByName("MILL1");
    ASSERT_NE(r, nullptr);
    machine_ = r->ID;
    delete r;
    plat::set_drive_root('A', Root() + "/floppy");
  }
  void TearDown() override {
    plat::reset_drive_table();
    NcTest::TearDown();
  }
  std::string FloppyPath(const char* name) const { return Root() + "/floppy/" + name; }
  // A cycle made in the editor of machine type `type`.
  void MakeCycle(plat::UiDriver& driver, long type, const char* name) {
    driver.expect_dialog(TEditCycles::kResourceId, [&](TDialog& d) {
      Pilot p(d);
      p.set_text(IDC_CYCLES_NAME, name);
      p.click(IDC_CYCLES_NEW);
      p.click(IDCANCEL);
    });
    TEditCycles dlg(nullptr, type);
    dlg.Execute();
  }
  long machine_ = 0;
};

TEST_F(CycleEdit, DefinesParametersOfACycleOfTheMachinesType) {
  plat::GTestUiDriver driver;
  driver.expect_dialog(TEditCycles::kResourceId, [&](TDialog& d) {
    Pilot p(d);
    auto& dlg = static_cast<TEditCycles&>(d);
    EXPECT_EQ(dlg.MachineType, 4);
    EXPECT_TRUE(p.lines(IDC_CYCLES_CYCLE).empty());
    p.set_text(IDC_CYCLES_NAME, "DRILL 81");
    p.click(IDC_CYCLES_NEW);
    EXPECT_EQ(p.text(IDC_CYCLES_NAME), "");
    ASSERT_EQ(p.lines(IDC_CYCLES_CYCLE).size(), 1u);
    ASSERT_EQ(p.lines(IDC_CYCLES_PARAMS).size(), 15u);
    EXPECT_EQ(p.lines(IDC_CYCLES_PARAMS)[1].substr(0, 20), "P:02 - (undefined)  ");
    p.set_text(IDC_CYCLES_NAME, "DRILL 81");
    driver.expect_message_box(IDOK, "exists for this machine type");
    p.click(IDC_CYCLES_NEW);

    p.select(IDC_CYCLES_PARAMS, 1);
    p.set_text(IDC_CYCLES_CODE, "Z");
    p.set_text(IDC_CYCLES_HINT, "Depth");
    p.set_text(IDC_CYCLES_DECIMALS, "3");
    p.click(IDC_CYCLES_REQUIRED);
    p.click(IDC_CYCLES_BLANK);
    p.click(IDC_CYCLES_AUTOMATIC);
    EXPECT_TRUE(p.visible(IDC_CYCLES_AUTO_VALUE));
    p.set_text(IDC_CYCLES_AUTO_VALUE, "-12,5");
    // A repeated notice of a box does not move its bit again.
    d.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_CYCLES_PLUS_SIGN, BN_CLICKED),
                  reinterpret_cast<LPARAM>(d.GetDlgItem(IDC_CYCLES_PLUS_SIGN)));
    EXPECT_EQ(dlg.Param->FLAG & 0x8, 0);
    p.click(IDC_CYCLES_PLUS_SIGN);
    d.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_CYCLES_PLUS_SIGN, BN_CLICKED),
                  reinterpret_cast<LPARAM>(d.GetDlgItem(IDC_CYCLES_PLUS_SIGN)));
    EXPECT_EQ(dlg.Param->FLAG, 0x2 | 0x20 | 0x40 | 0x8);
    p.click(IDC_CYCLES_MODIFY);
    EXPECT_EQ(p.selection(IDC_CYCLES_PARAMS), 1);
    EXPECT_EQ(p.lines(IDC_CYCLES_PARAMS)[1].substr(0, 14), "P:02 - Z      ");
    EXPECT_EQ(p.text(IDC_CYCLES_AUTO_VALUE), "-12.500");
    p.click(IDC_CYCLES_NEGATIVE);  // in memory only: Cancel loses it
    EXPECT_FALSE(p.visible(kSaveButton));  // no Save button: Modify stores
    p.click(IDCANCEL);
  });
  RunMachineCycles(nullptr, machine_);
  auto cycles = PeerRows(DbPath("KELVCYC3.DBF"));
  ASSERT_EQ(cycles.size(), 1u);
  EXPECT_NE(cycles[0].find("CONN=4 NAME=DRILL 81"), std::string::npos) << cycles[0];
  auto params = PeerRows(DbPath("KELVCYC4.DBF"));
  EXPECT_EQ(params.size(), 15u);
  EXPECT_TRUE(Has(params, "PNUMBER=2 FLAG=107 DECI=3 AUTO=-12.5 CODE=Z HINT=Depth")) << params[1];
  EXPECT_EQ(Count(params, "FLAG=0 DECI=None AUTO=None"), 14u);  // as new rows are written
}

TEST_F(CycleEdit, TextsThatDoNotFitTheirFieldsAreRefused) {
  plat::GTestUiDriver driver;
  MakeCycle(driver, 4, "POCKET");
  auto before = PeerRows(DbPath("KELVCYC4.DBF"));
  driver.expect_dialog(TEditCycles::kResourceId, [&](TDialog& d) {
    Pilot p(d);
    p.select(IDC_CYCLES_PARAMS, 0);
    struct Case {
      int edit;
      std::string text;
      const char* message;
    } cases[] = {
        {IDC_CYCLES_CODE, std::string(26, 'X'), "address"},
        {IDC_CYCLES_HINT, std::string(26, 'h'), "hint"},
        {IDC_CYCLES_AUTO_VALUE, "123456", "automatic value"},
        {IDC_CYCLES_AUTO_VALUE, "12x", "automatic value"},
    };
    p.click(IDC_CYCLES_AUTOMATIC);
    for (const Case& c : cases) {
      p.set_text(IDC_CYCLES_CODE, "X");
      p.set_text(IDC_CYCLES_HINT, "ok");
      p.set_text(IDC_CYCLES_AUTO_VALUE, "1");
      p.set_text(c.edit, c.text);
      driver.expect_message_box(IDOK, c.message);
      p.click(IDC_CYCLES_MODIFY);
      EXPECT_TRUE(p.focused(c.edit)) << c.text;
    }
    p.set_text(IDC_CYCLES_CODE, "");
    p.set_text(IDC_CYCLES_AUTO_VALUE, "1");
    p.click(IDC_CYCLES_MODIFY);  // an empty address: focus and a beep
    EXPECT_TRUE(p.focused(IDC_CYCLES_CODE));
    // Unchecked, the automatic value is not looked at and stored as 0.
    p.click(IDC_CYCLES_AUTOMATIC);
    p.set_text(IDC_CYCLES_CODE, std::string(25, 'A'));
    p.set_text(IDC_CYCLES_HINT, std::string(25, 'b'));
    p.set_text(IDC_CYCLES_AUTO_VALUE, "garbage");
    p.click(IDC_CYCLES_MODIFY);
    p.click(IDCANCEL);
  });
  TEditCycles dlg(nullptr, 4);
  dlg.Execute();
  auto after = PeerRows(DbPath("KELVCYC4.DBF"));
  EXPECT_TRUE(Has(after, "PNUMBER=1 FLAG=1 DECI=0 AUTO=0.0 CODE=" + std::string(25, 'A') + " HINT=" + std::string(25, 'b')));
  EXPECT_EQ(Count(after, "FLAG=0"), 14u);
  EXPECT_EQ(before.size(), after.size());
}

TEST_F(CycleEdit, ClearAndDeleteAskFirst) {
  plat::GTestUiDriver driver;
  MakeCycle(driver, 4, "TAP");
  MakeCycle(driver, 4, "BORE");
  MakeCycle(driver, 9, "TAP");  // another type may use the name
  driver.expect_dialog(TEditCycles::kResourceId, [&](TDialog& d) {
    Pilot p(d);
    ASSERT_EQ(p.lines(IDC_CYCLES_CYCLE).size(), 2u);
    p.select(IDC_CYCLES_CYCLE, 0);
    p.select(IDC_CYCLES_PARAMS, 2);
    p.set_text(IDC_CYCLES_CODE, "G84");
    p.click(IDC_CYCLES_AUTOMATIC);
    p.click(IDC_CYCLES_MODIFY);
    driver.expect_message_box(IDNO, "Clear the definition");
    p.click(IDC_CYCLES_CLEAR);
    driver.expect_message_box(IDYES, "Clear the definition");
    p.click(IDC_CYCLES_CLEAR);
    EXPECT_EQ(p.selection(IDC_CYCLES_PARAMS), 0);
    EXPECT_EQ(p.lines(IDC_CYCLES_PARAMS)[2].substr(0, 18), "P:03 - (undefined)");
    driver.expect_message_box(IDNO, "Delete this cycle");
    p.click(IDC_CYCLES_DELETE_CYCLE);
    EXPECT_EQ(p.lines(IDC_CYCLES_CYCLE).size(), 2u);
    driver.expect_message_box(IDYES, "Delete this cycle");
    p.click(IDC_CYCLES_DELETE_CYCLE);
    EXPECT_EQ(p.lines(IDC_CYCLES_CYCLE).size(), 1u);
    // The last cycle goes: the other boxes clear, the automatic-value box
    // keeps its state.
    p.select(IDC_CYCLES_PARAMS, 0);
    p.click(IDC_CYCLES_REQUIRED);
    p.click(IDC_CYCLES_AUTOMATIC);
    driver.expect_message_box(IDYES, "Delete this cycle");
    p.click(IDC_CYCLES_DELETE_CYCLE);
    EXPECT_TRUE(p.lines(IDC_CYCLES_CYCLE).empty());
    EXPECT_TRUE(p.lines(IDC_CYCLES_PARAMS).empty());
    EXPECT_FALSE(p.checked(IDC_CYCLES_REQUIRED));
    EXPECT_TRUE(p.checked(IDC_CYCLES_AUTOMATIC));
    EXPECT_EQ(p.text(IDC_CYCLES_CODE), "");
    p.click(IDC_CYCLES_REQUIRED);  // no parameter left to change
    p.click(IDC_CYCLES_MODIFY);
    p.click(IDCANCEL);
  });
  TEditCycles dlg(nullptr, 4);
  dlg.Execute();
  auto cycles = PeerRows(DbPath("KELVCYC3.DBF"));
  EXPECT_EQ(Count(cycles, "* "), 2u);
  EXPECT_EQ(Count(cycles, "NAME=TAP"), 2u);
  auto params = PeerRows(DbPath("KELVCYC4.DBF"));
  EXPECT_EQ(params.size(), 45u);
  EXPECT_EQ(Count(params, "* "), 30u);
  EXPECT_FALSE(Has(params, "G84"));
}

// Another station deletes the cycle while its parameter is edited here:
// Modify is refused with a message, the deleted rows stay as they were and
// the dialog shows the cycles that are left.
TEST_F(CycleEdit, AModifyOfAParameterOfACycleDeletedElsewhereIsRefused) {
  plat::GTestUiDriver driver;
  MakeCycle(driver, 4, "TAP");
  MakeCycle(driver, 4, "BORE");
  const auto before = PeerRows(DbPath("KELVCYC4.DBF"));
  driver.expect_dialog(TEditCycles::kResourceId, [&](TDialog& d) {
    Pilot p(d);
    ASSERT_EQ(p.lines(IDC_CYCLES_CYCLE).size(), 2u);
    p.select(IDC_CYCLES_CYCLE, 1);
    p.select(IDC_CYCLES_PARAMS, 2);
    p.set_text(IDC_CYCLES_CODE, "G84");
    p.click(IDC_CYCLES_REQUIRED);
    {
      // As the other station's Delete does it.
      const long cycle = SelectedLineId(*static_cast<TEditCycles&>(d).CycleBox);
      TcbCycleTable cycles("KELVCYC3.DBF", 0, 0);
      ASSERT_NE(cycles.DeleteById(cycle), 0);
      TcbParamTable params("KELVCYC4.DBF", 0, 0);
      ASSERT_NE(params.DeleteOfOwner(cycle), 0);
    }
    const size_t boxes = driver.message_boxes().size();
    driver.expect_message_box(IDOK, "deleted at another station");
    p.click(IDC_CYCLES_MODIFY);
    EXPECT_EQ(driver.message_boxes().size(), boxes + 1);
    ASSERT_EQ(p.lines(IDC_CYCLES_CYCLE).size(), 1u);
    EXPECT_EQ(p.lines(IDC_CYCLES_PARAMS).size(), 15u);
    // The parameter shown now is the cycle left's, and Modify stores it.
    p.set_text(IDC_CYCLES_CODE, "G85");
    p.click(IDC_CYCLES_MODIFY);
    p.click(IDCANCEL);
  });
  TEditCycles dlg(nullptr, 4);
  dlg.Execute();
  const auto after = PeerRows(DbPath("KELVCYC4.DBF"));
  ASSERT_EQ(after.size(), before.size());
  EXPECT_EQ(Count(after, "* "), 15u);
  for (const std::string& r : after) {
    EXPECT_EQ(r.find("G84"), std::string::npos) << r;
    if (r.rfind("* ", 0) == 0) {
      EXPECT_NE(r.find("FLAG=0 "), std::string::npos) << r;
    }
  }
  EXPECT_EQ(Count(after, "CODE=G85"), 1u);
}

TEST_F(CycleEdit, CyclesTravelByFloppyToAnotherMachineType) {
  plat::GTestUiDriver driver;
  MakeCycle(driver, 4, "DRILL");
  // No disk in the drive: nothing to import, and an export is refused.
  driver.expect_dialog(TEditCycles::kResourceId, [&](TDialog& d) {
    Pilot p(d);
    p.select(IDC_CYCLES_PARAMS, 0);
    p.set_text(IDC_CYCLES_CODE, "X");
    p.click(IDC_CYCLES_MODIFY);
    driver.expect_dialog(TCycleImport::kResourceId, [&](TDialog& i) {
      Pilot q(i);
      EXPECT_TRUE(q.lines(IDC_CYCLE_IMPORT_LIST).empty());
      q.click(IDOK);  // no selection: nothing happens
      EXPECT_FALSE(i.HasEnded());
      q.click(IDCANCEL);
    });
    p.click(IDC_CYCLES_IMPORT);
    driver.expect_dialog(TCycleExport::kResourceId, [&](TDialog& e) {
      Pilot q(e);
      q.click(IDOK);  // no name
      EXPECT_TRUE(q.focused(IDC_CYCLE_EXPORT_NAME));
      q.set_text(IDC_CYCLE_EXPORT_NAME, "DRILL 4");
      driver.expect_message_box(IDOK, "could not be stored");
      q.click(IDOK);
      EXPECT_FALSE(e.HasEnded());
      std::filesystem::create_directories(FloppyPath(""));
      q.click(IDOK);
    });
    p.click(IDC_CYCLES_EXPORT);
    driver.expect_dialog(TCycleExport::kResourceId, [&](TDialog& e) {
      Pilot q(e);
      EXPECT_EQ(q.lines(IDC_CYCLE_EXPORT_LIST).size(), 1u);
      q.set_text(IDC_CYCLE_EXPORT_NAME, "DRILL 4");
      q.click(IDOK);
    });
    p.click(IDC_CYCLES_EXPORT);
    p.click(IDCANCEL);
  });
  TEditCycles dlg(nullptr, 4);
  dlg.Execute();
  auto floppy = PeerRows(FloppyPath("KELVCYC3.DBF"));
  EXPECT_EQ(Count(floppy, "CONN=0 NAME=DRILL 4"), 2u);
  auto floppyParams = PeerRows(FloppyPath("KELVCYC4.DBF"));
  EXPECT_EQ(floppyParams.size(), 30u);
  EXPECT_EQ(Count(floppyParams, "FLAG=1 DECI=0 AUTO=0.0 CODE=X"), 2u);

  driver.expect_dialog(TEditCycles::kResourceId, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_TRUE(p.lines(IDC_CYCLES_CYCLE).empty());
    driver.expect_dialog(TCycleImport::kResourceId, [&](TDialog& i) {
      Pilot q(i);
      EXPECT_EQ(q.lines(IDC_CYCLE_IMPORT_LIST).size(), 2u);
      q.select(IDC_CYCLE_IMPORT_LIST, 1);
      q.click(IDOK);
    });
    p.click(IDC_CYCLES_IMPORT);
    ASSERT_EQ(p.lines(IDC_CYCLES_CYCLE).size(), 1u);
    EXPECT_EQ(p.lines(IDC_CYCLES_PARAMS)[0].substr(0, 8), "P:01 - X");
    p.click(IDCANCEL);
  });
  TEditCycles other(nullptr, 7);
  other.Execute();
  auto cycles = PeerRows(DbPath("KELVCYC3.DBF"));
  EXPECT_EQ(Count(cycles, "CONN=7 NAME=DRILL 4"), 1u);
  auto params = PeerRows(DbPath("KELVCYC4.DBF"));
  EXPECT_EQ(params.size(), 30u);
  EXPECT_EQ(Count(params, "CODE=X"), 2u);
}

TEST_F(CycleEdit, TestButtonRunsTheFillInWithoutInsert) {
  plat::GTestUiDriver driver;
  MakeCycle(driver, 4, "FACE");
  driver.expect_dialog(TEditCycles::kResourceId, [&](TDialog& d) {
    Pilot p(d);
    p.select(IDC_CYCLES_PARAMS, 0);
    p.set_text(IDC_CYCLES_CODE, "G0");
    p.click(IDC_CYCLES_ALWAYS_ADDRESS);
    p.click(IDC_CYCLES_MODIFY);
    driver.expect_dialog(TCycleRun::kResourceId, [&](TDialog& r) {
      Pilot q(r);
      EXPECT_FALSE(q.visible(IDC_CYCLE_INSERT));
      EXPECT_EQ(q.text(IDC_CYCLE_LABEL1), "G0");
      driver.expect_message_box(IDOK, "G0");
      q.click(IDC_CYCLE_TEST);
      q.click(IDCANCEL);
    });
    p.click(IDC_CYCLES_TEST);
    p.click(IDCANCEL);
  });
  TEditCycles dlg(nullptr, 4);
  dlg.Execute();
}

TEST_F(CycleEdit, FrameCommandChoosesTheMachineFirst) {
  SetMachineChooser({});
  RegisterCycleCommands();
  EXPECT_FALSE(HasFrameCommand(kCmMachineCycles));  // no chooser yet: grey
  int answer = 0;
  SetMachineChooser([&](TWindow*, long* id) {
    *id = machine_;
    return answer;
  });
  RegisterCycleCommands();
  EXPECT_TRUE(HasFrameCommand(kCmMachineCycles));
  TWindow frame(nullptr, "Main");
  CmMachineCycles(frame);  // cancelled: no dialog
  answer = 1;
  plat::GTestUiDriver driver;
  driver.expect_dialog(TEditCycles::kResourceId, [](TDialog& d) {
    EXPECT_EQ(static_cast<TEditCycles&>(d).MachineType, 4);
    Pilot(d).click(IDCANCEL);
  });
  CmMachineCycles(frame);
  SetMachineChooser({});
  RegisterCycleCommands();
}

}  // namespace
