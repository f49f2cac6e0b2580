// The main frame's commands under the logged-on user's rights: which
// commands the menus and tool bars enable for a rights mask, that a posted
// command the user may not run is refused by its handler, that the DNC
// start and port setup wait while the server runs, and that the commands
// which open an editor do nothing while all four editor slots are taken.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/main_frame.h"
#include "platform/ui/app_state.h"
#include "platform/ui/gtest_driver.h"
#include "resources/dialogs/users.h"
#include "resources/menus/editor.h"
#include "resources/menus/main.h"
#include "tests/app/station.h"

namespace {

using station::StationTest;

constexpr uint32_t kNever = 0xFFFFFFFF;  // no mask enables it

// Every command of the main frame's menus, tool bars and outside senders,
// with the right that enables it (0: none guards it).
struct CommandRight {
  UINT id;
  uint32_t bit;
};

std::vector<CommandRight> EveryCommand() {
  std::vector<CommandRight> all = {
      {kCmFileNew, 0x1}, {kCmFileOpen, 0}, {kCmBackups, 0x80}, {kCmFailedDncTransfers, 0x400000},
      {kCmNewDncTransfers, 0x800000}, {kCmFileImport, 0x1}, {kCmExit, 0}, {kCmConnectDatabase, 0},
      {kCmConnectNetworkDrive, 0}, {kCmConnectNetworkPrinter, 0}, {kCmRunCHook, kNever}, {kCmMain405, 0},
      {kCmCustomers, 0x200}, {kCmProjects, 0x400}, {kCmMachineTypes, 0x800}, {kCmMachines, 0x800},
      {kCmMachineCycles, 0x1000}, {kCmUsers, 0x4000}, {kCmMacros, 0x2000}, {kCmPack, 0x100}, {kCmReindex, 0x100},
      {kCmAutoImportDefs, 0x4000000}, {kCmFailedImports, 0x80}, {kCmMain1212, 0x80}, {kCmOpenEditorWindow, 0},
      {kCmNameFilesByProgramId, 0}, {kCmCreateJobFile, 0}, {kCmExportProgramsForCustomer, 0x8000000},
      {kCmExportProgramsForProject, 0x8000000}, {kCmExportProgramsForMachine, 0x8000000},
      {kCmPrintProgramsForCustomer, 0x10000000}, {kCmPrintProgramsForProject, 0x10000000},
      {kCmPrintProgramsForMachine, 0x10000000}, {kCmListProgramsForCustomer, 0x10000000},
      {kCmListProgramsForProject, 0x10000000}, {kCmListProgramsForMachine, 0x10000000}, {kCmViewSystemLog, 0x2000000},
      {kCmLogBaseTypes, 0x8000}, {kCmLogChangeCriteria, 0x8000}, {kCmMaintainJobs, 0}, {kCmJobs7201, 0},
      {kCmOpenEditor, 0}, {kCmMain9001, 0}, {kCmDatabaseLost, 0}, {kCmHideAll, 0}, {kCmShowAll, 0}, {kCmAbout, 0},
      {kCmMultiDncSetup, 0x1000000}, {kCmDncStart, 0x100000}, {kCmDncConfigure, 0}, {kCmDncStop, 0},
      {kCmOpenNamedProgram, 0}};
  for (UINT id = kCmImportToMachine; id <= kCmImportWc18200; ++id) all.push_back({id, 0});
  for (UINT id = kCmReplaceDrive; id <= kCmConvertLinefeeds; ++id) all.push_back({id, 0});
  for (UINT id = 8000; id <= 8019; ++id) all.push_back({id, 0});
  return all;
}

bool Allows(uint32_t mask, uint32_t bit) { return bit != kNever && (bit == 0 || (mask & bit) != 0); }

class FrameCommandsTest : public StationTest {
 protected:
  TMainFrame* Build() {
    LoadGlobals();
    app_ = std::make_unique<TheApp>();
    app_->InitMainWindow();
    auto* frame = static_cast<TMainFrame*>(app_->GetMainWindow());
    EXPECT_TRUE(frame->Create());
    return frame;
  }
  void TearDown() override {
    for (UINT id : registered_) RegisterFrameCommand(id, nullptr);
    SetDncServerProbe(nullptr);
    app_.reset();
    StationTest::TearDown();
  }
  // A stand-in for a command whose window another layer provides.
  void StandIn(UINT id) {
    registered_.push_back(id);
    RegisterFrameCommand(id, [this](TFrameWindow&, UINT cmd) { ran_.push_back(cmd); });
  }

  std::unique_ptr<TheApp> app_;
  // Fails a dialog or box no test expects, and ends each test's quit.
  plat::GTestUiDriver driver_;
  std::vector<UINT> registered_;
  std::vector<UINT> ran_;
};

TEST_F(FrameCommandsTest, EveryCommandFollowsItsRightAndItsHandlerRefusesWithoutIt) {
  TMainFrame* frame = Build();
  const std::vector<CommandRight> all = EveryCommand();
  // Without a handler nothing is enabled, whatever the rights. The tool
  // bar's DNC-configure button has one that does nothing: it is enabled,
  // and a press opens nothing (the driver fails any dialog or box).
  Globals->RightsMask = 0xFFFFFFFF;
  EXPECT_TRUE(frame->IsCommandEnabled(kCmDncConfigure));
  frame->SendMessage(WM_COMMAND, kCmDncConfigure);
  for (const CommandRight& c : all) {
    if (!frame->HandlesCommand(c.id)) {
      EXPECT_FALSE(frame->IsCommandEnabled(c.id)) << c.id;
    }
  }

  // The frame's own handlers run dialogs, boxes or the window's state: only
  // their enablers are asked here. Every other command gets a stand-in.
  std::vector<UINT> own;
  for (const CommandRight& c : all) {
    if (frame->HandlesCommand(c.id)) {
      own.push_back(c.id);
    } else {
      StandIn(c.id);
    }
  }
  EXPECT_EQ(own, (std::vector<UINT>{kCmExit, kCmConnectDatabase, kCmConnectNetworkDrive, kCmConnectNetworkPrinter,
                                    kCmRunCHook, kCmUsers, kCmJobs7201, kCmMain9001, kCmDatabaseLost, kCmHideAll,
                                    kCmShowAll, kCmAbout, kCmDncConfigure}));

  std::vector<uint32_t> masks = {0, 0xFFFFFFFF};
  for (int b = 0; b < 32; ++b) {
    masks.push_back(1u << b);
    masks.push_back(~(1u << b));
  }
  for (uint32_t mask : masks) {
    Globals->RightsMask = mask;
    for (const CommandRight& c : all) {
      SCOPED_TRACE("mask " + std::to_string(mask) + ", command " + std::to_string(c.id));
      const bool allowed = Allows(mask, c.bit);
      EXPECT_EQ(frame->IsCommandEnabled(c.id), allowed);
      if (std::find(own.begin(), own.end(), c.id) != own.end()) continue;
      ran_.clear();
      // Posted as an editor or a plug-in would: no menu stands in the way.
      frame->PostMessage(WM_COMMAND, c.id);
      plat::dispatch_all();
      EXPECT_EQ(ran_, allowed ? std::vector<UINT>{c.id} : std::vector<UINT>{});
    }
  }
  frame->Destroy();
}

TEST_F(FrameCommandsTest, UsersOpenOnlyWithTheirRight) {
  TMainFrame* frame = Build();
  plat::UiDriver& driver = driver_;
  Globals->RightsMask = ~0x4000u;
  frame->SendMessage(WM_COMMAND, kCmUsers);
  EXPECT_TRUE(driver.dialogs_shown().empty()) << "refused without right 0x4000";
  Globals->RightsMask = 0x4000;
  driver.expect_dialog(IDD_USERS, [](TDialog& d) { plat::Pilot(d).close_box(); });
  frame->SendMessage(WM_COMMAND, kCmUsers);
  EXPECT_EQ(driver.dialogs_shown().size(), 1u);
  frame->Destroy();
}

TEST_F(FrameCommandsTest, DncStartAndPortSetupWaitWhileTheServerRuns) {
  TMainFrame* frame = Build();
  StandIn(25152);
  StandIn(24355);
  bool running = true;
  SetDncServerProbe([&] { return running; });
  Globals->RightsMask = 0xFFFFFFFF;
  for (UINT id : {25152u, 24355u}) {
    EXPECT_FALSE(frame->IsCommandEnabled(id)) << id << " grey for every user while the server runs";
    frame->SendMessage(WM_COMMAND, id);
  }
  EXPECT_TRUE(ran_.empty());
  running = false;
  for (UINT id : {25152u, 24355u}) {
    EXPECT_TRUE(frame->IsCommandEnabled(id)) << id;
    frame->SendMessage(WM_COMMAND, id);
  }
  EXPECT_EQ(ran_, (std::vector<UINT>{kCmDncStart, kCmMultiDncSetup}));
  // After the stop they follow the mask again.
  Globals->RightsMask = 0x200000;
  EXPECT_FALSE(frame->IsCommandEnabled(kCmDncStart)) << "0x200000 keeps the control window, it starts nothing";
  frame->Destroy();
}

TEST_F(FrameCommandsTest, WithFourEditorsOpenNoCommandOpensAnother) {
  TMainFrame* frame = Build();
  const std::vector<UINT> opening = {kCmFileNew,          kCmFileOpen,   kCmFileImport,
                                     kCmOpenEditorWindow, kCmOpenEditor, kCmOpenNamedProgram};
  for (UINT id : opening) StandIn(id);
  Globals->RightsMask = 0xFFFFFFFF;
  // The slots hold editors; their windows are not looked at.
  alignas(std::max_align_t) static char editors[4][16];
  for (int i = 0; i < TMainFrame::kChildSlots; ++i) frame->Children[i] = reinterpret_cast<TChildFrame*>(editors[i]);
  EXPECT_EQ(frame->FreeChildSlot(), -1);
  for (UINT id : opening) frame->SendMessage(WM_COMMAND, id);
  EXPECT_TRUE(ran_.empty());
  EXPECT_TRUE(frame->IsCommandEnabled(kCmFileNew)) << "the menus follow the rights only";
  // An editor closes: the first free slot is taken again.
  frame->Children[2] = nullptr;
  EXPECT_EQ(frame->FreeChildSlot(), 2);
  for (UINT id : opening) frame->SendMessage(WM_COMMAND, id);
  EXPECT_EQ(ran_, opening);
  for (auto*& child : frame->Children) child = nullptr;
  frame->Destroy();
}

}  // namespace
