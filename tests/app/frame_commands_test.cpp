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
      {101, 0x1},        {102, 0},          {107, 0x80},      {108, 0x400000},    {109, 0x800000},
      {110, 0x1},        {116, 0},          {400, 0},         {401, 0},           {402, 0},
      {403, kNever},     {405, 0},          {1201, 0x200},    {1202, 0x400},      {1203, 0x800},
      {1204, 0x800},     {1205, 0x1000},    {1206, 0x4000},   {1207, 0x2000},     {1208, 0x100},
      {1209, 0x100},     {1210, 0x4000000}, {1211, 0x80},     {1212, 0x80},       {1213, 0},
      {1214, 0},         {1229, 0},         {5000, 0x8000000}, {5001, 0x8000000}, {5002, 0x8000000},
      {5010, 0x10000000}, {5011, 0x10000000}, {5012, 0x10000000}, {5020, 0x10000000}, {5021, 0x10000000},
      {5022, 0x10000000}, {7100, 0x2000000}, {7101, 0x8000},  {7102, 0x8000},     {7200, 0},
      {7201, 0},         {9000, 0},         {9001, 0},        {9002, 0},          {9003, 0},
      {9004, 0},         {20501, 0},        {24355, 0x1000000}, {25152, 0x100000}, {25153, 0},
      {25154, 0},        {29000, 0}};
  for (UINT id = 6000; id <= 6008; ++id) all.push_back({id, 0});
  for (UINT id = 7000; id <= 7008; ++id) all.push_back({id, 0});
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
  // Without a handler nothing is enabled, whatever the rights: the tool
  // bar's DNC-configure button, which has nothing to do, is grey.
  Globals->RightsMask = 0xFFFFFFFF;
  EXPECT_FALSE(frame->IsCommandEnabled(25153));
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
  EXPECT_EQ(own, (std::vector<UINT>{116, 400, 401, 402, 403, 1206, 7201, 9001, 9002, 9003, 9004, 20501}));

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
  frame->SendMessage(WM_COMMAND, 1206);
  EXPECT_TRUE(driver.dialogs_shown().empty()) << "refused without right 0x4000";
  Globals->RightsMask = 0x4000;
  driver.expect_dialog(IDD_USERS, [](TDialog& d) { plat::Pilot(d).close_box(); });
  frame->SendMessage(WM_COMMAND, 1206);
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
  EXPECT_EQ(ran_, (std::vector<UINT>{25152, 24355}));
  // After the stop they follow the mask again.
  Globals->RightsMask = 0x200000;
  EXPECT_FALSE(frame->IsCommandEnabled(25152)) << "0x200000 keeps the control window, it starts nothing";
  frame->Destroy();
}

TEST_F(FrameCommandsTest, WithFourEditorsOpenNoCommandOpensAnother) {
  TMainFrame* frame = Build();
  const std::vector<UINT> opening = {101, 102, 110, 1213, 9000, 29000};
  for (UINT id : opening) StandIn(id);
  Globals->RightsMask = 0xFFFFFFFF;
  // The slots hold editors; their windows are not looked at.
  alignas(std::max_align_t) static char editors[4][16];
  for (int i = 0; i < TMainFrame::kChildSlots; ++i) frame->Children[i] = reinterpret_cast<TChildFrame*>(editors[i]);
  EXPECT_EQ(frame->FreeChildSlot(), -1);
  for (UINT id : opening) frame->SendMessage(WM_COMMAND, id);
  EXPECT_TRUE(ran_.empty());
  EXPECT_TRUE(frame->IsCommandEnabled(101)) << "the menus follow the rights only";
  // An editor closes: the first free slot is taken again.
  frame->Children[2] = nullptr;
  EXPECT_EQ(frame->FreeChildSlot(), 2);
  for (UINT id : opening) frame->SendMessage(WM_COMMAND, id);
  EXPECT_EQ(ran_, opening);
  for (auto*& child : frame->Children) child = nullptr;
  frame->Destroy();
}

}  // namespace
