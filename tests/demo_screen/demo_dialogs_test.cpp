// The program on its demo station, its dialogs opened one after another as
// the menus open them, and every list and combo box read back from the
// screen: no line shows the ids a record's line carries for the program
// ("@@", "$$", "\xA3\xA3") or the padding and comma before them, and no
// drop-down is wider than the screen. The job lists open without a
// warning of the toolkit.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "app/appmain.h"
#include "main/register.h"
#include "app/main_frame.h"
#include "dnc/setup_commands.h"
#include "appcore/globals.h"
#include "editor/child_frame.h"
#include "platform/msgbox.h"
#include "platform/path.h"
#include "platform/ui/combobox.h"
#include "platform/ui/driver.h"
#include "platform/ui/listbox.h"
#include "platform/ui/resource.h"
#include "tests/render/render_support.h"

namespace {

namespace fs = std::filesystem;

// The dialogs the walk meets, by template.
enum DialogId : int {
  kDlgMachineChooser = 1,
  kDlgLogon = 2,
  kDlgCycles = 9,
  kDlgSystemLog = 25,
  kDlgLogTypes = 31,
  kDlgUsers = 38,
  kDlgChangeCriteria = 45,
  kDlgProgram = 46,
  kDlgSearch = 53,
  kDlgJobLists = 58,
  kDlgDncSetup = 102,
  kDlgConnectDrive = 1550,
  kDlgConnectPrinter = 1551,
};
// Their controls the walk fills.
enum ControlId : int {
  kLogonUser = 101,
  kLogonPassword = 102,
  kMachineList = 101,
  kSearchAll = 105,
  kEventProgramCreated = 101,
};
// The main frame's commands the walk runs.
enum CommandId : UINT {
  kCmFileNew = 101,
  kCmFileOpen = 102,
  kCmBackups = 107,
  kCmMachineCycles = 1205,
  kCmUsers = 1206,
  kCmViewSystemLog = 7100,
  kCmLogBaseTypes = 7101,
  kCmLogChangeCriteria = 7102,
  kCmMaintainJobs = 7200,
  kCmConnectNetworkDrive = 401,
  kCmConnectNetworkPrinter = 402,
};

// The system log's event of a program created by a save.
constexpr int kLogProgramSaved = 7;

// The script the program runs once the start-up is done, then it closes.
std::function<void(TMainFrame&)> g_script;

class TScriptedApp : public TheApp {
 protected:
  TMainFrame* NewFrame(const char* title, TWindow* client) override { return frame_ = new TMainFrame(title, client); }
  bool IdleAction(long idleCount) override {
    bool more = TheApp::IdleAction(idleCount);
    if (g_script && Globals && Globals->StartupDone) {
      auto run = std::move(g_script);
      g_script = nullptr;
      run(*frame_);
      frame_->PostMessage(WM_CLOSE);
    }
    return more;
  }

 private:
  TMainFrame* frame_ = nullptr;
};

int RunScripted() {
  TScriptedApp app;
  return app.Run();
}

class DemoDialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(rendertest::VirtualDisplay::get().ok()) << rendertest::VirtualDisplay::get().why();
    home_ = fs::temp_directory_path() / ("kvdemo_" + std::to_string(getpid()));
    fs::remove_all(home_);
    fs::create_directories(home_);
    std::string make = "'" KV_DEMO_DB_BIN "' '" KV_BUILD_RESOURCES "' '" + home_.string() + "' >/dev/null";
    ASSERT_EQ(std::system(make.c_str()), 0) << make;
    ASSERT_EQ(chdir(home_.c_str()), 0);
    setenv("KELVANE_HOME", home_.c_str(), 1);
    plat::set_base_directory(home_.string());
    plat::reset_drive_table();
    plat::set_resource_dir(KV_BUILD_RESOURCES);
    static bool registered = false;
    if (!registered) RegisterProgramCommands();
    registered = true;
    // Boxes are answered with their first button and kept for the report.
    oldBoxes_ = plat::set_message_box_handler([this](HWND, const std::string& text, const std::string&, UINT flags) {
      boxes_.push_back(text);
      return plat::default_message_box_answer(flags);
    });
    SetAppRunner(RunScripted);
  }
  void TearDown() override {
    desk::set_modal_hook(nullptr);
    SetAppRunner(nullptr);
    g_script = nullptr;
    plat::set_message_box_handler(oldBoxes_);
    // Out of the station before it goes, so no later shell starts in a
    // directory that is gone.
    std::error_code ec;
    fs::current_path(fs::temp_directory_path(), ec);
    fs::remove_all(home_, ec);
  }

  // Every list and combo box among the controls, read back from the
  // screen once it shows the program's lines.
  void Inspect(const std::string& where, const std::vector<TWindow*>& controls) {
    for (TWindow* c : controls) {
      auto* list = dynamic_cast<TListBox*>(c);
      auto* combo = dynamic_cast<TComboBox*>(c);
      if (!list && !combo) continue;
      HWND h = c->GetHandle();
      const int count = list ? list->GetCount() : combo->GetCount();
      std::vector<std::string> shown;
      bool synced = desk::run_until(
          [&] {
            shown = desk::shown_lines(h);
            return static_cast<int>(shown.size()) == count;
          },
          10s);
      std::string name = where + ", control " + std::to_string(c->GetId());
      if (!synced) faults_.push_back(name + " shows " + std::to_string(shown.size()) + " of " +
                                     std::to_string(count) + " lines");
      for (int i = 0; i < count && i < static_cast<int>(shown.size()); ++i) {
        const std::string model = list ? list->GetString(i) : combo->GetString(i);
        const std::string& line = shown[i];
        for (const char* mark : {"@@", "$$", "\xA3\xA3"})
          if (line.find(mark) != std::string::npos) faults_.push_back(name + " shows \"" + line + "\"");
        if (model.find("@@") != std::string::npos && !line.empty() && (line.back() == ' ' || line.back() == ','))
          faults_.push_back(name + " shows the padding of \"" + line + "\"");
        ++lines_;
      }
      if (combo && desk::shown_widest_line(h) > GetSystemMetrics(SM_CXSCREEN))
        faults_.push_back(name + " drops down wider than the screen");
    }
  }
  void Inspect(TDialog& d) {
    seen_.insert(d.GetTemplateId());
    Inspect("dialog " + std::to_string(d.GetTemplateId()), d.GetChildren());
  }

  // The program started on the station; the script runs after the logon.
  void Run(const std::function<void(TMainFrame&)>& script, const std::function<void(TDialog&)>& answer) {
    g_script = script;
    desk::set_modal_hook([&, answer](TDialog& d) {
      answer(d);
      if (!d.HasEnded()) d.CloseWindow(IDCANCEL);
    });
    char name[] = "kelvane";
    char* argv[] = {name, nullptr};
    EXPECT_EQ(AppMain(1, argv), 0);
  }
  // Logs the demo user on after looking at the logon's lists.
  bool LogOn(TDialog& d) {
    if (d.GetTemplateId() != kDlgLogon) return false;
    Inspect(d);
    plat::Pilot p(d);
    std::vector<std::string> users = p.lines(kLogonUser);
    for (size_t i = 0; i < users.size(); ++i)
      if (users[i].rfind("DEMO", 0) == 0) p.select(kLogonUser, static_cast<int>(i));
    p.set_text(kLogonPassword, "DEMO");
    p.click(IDOK);
    return true;
  }

  fs::path home_;
  plat::MessageBoxHandler oldBoxes_;
  std::vector<std::string> boxes_;
  std::vector<std::string> faults_;
  std::set<int> seen_;
  int lines_ = 0;
};

// The commands of the menus whose dialogs show lists of records, as the
// demo user runs them. (The file dialogs' commands are left out: the
// desktop's own dialogs show no lines of the program.)
constexpr UINT kWalk[] = {kCmFileOpen,          kCmMachineCycles,       kCmUsers,        kCmViewSystemLog,
                          kCmLogBaseTypes,      kCmLogChangeCriteria,   kCmMaintainJobs, kCmMultiDncSetup,
                          kCmBackups,           kCmConnectNetworkDrive, kCmConnectNetworkPrinter};

TEST_F(DemoDialogs, NoListOrComboShowsTheIdsOfItsLines) {
  std::vector<UINT> skipped;
  Run(
      [&](TMainFrame& frame) {
        // An entry for the system log's list, as a save writes it.
        Globals->WriteLog(kLogProgramSaved, "O1000 DEMO", "VMC-1");
        for (UINT id : kWalk) {
          if (!frame.IsCommandEnabled(id)) {
            skipped.push_back(id);
            continue;
          }
          frame.SendMessage(WM_COMMAND, id);
        }
        // A new editor: its tool bar's cycle and macro boxes.
        frame.SendMessage(WM_COMMAND, kCmFileNew);
        TChildFrame* editor = frame.Children[0];
        ASSERT_NE(editor, nullptr);
        Inspect("the editor's tool bar", {editor->CycleBox(), editor->MacroBox()});
        editor->PostMessage(WM_CLOSE);
        desk::run_until([&] { return frame.Children[0] == nullptr; }, 10s);
      },
      [&](TDialog& d) {
        if (LogOn(d)) return;
        plat::Pilot p(d);
        // The system log lists the events of the button pressed.
        if (d.GetTemplateId() == kDlgSystemLog) p.click(kEventProgramCreated);
        Inspect(d);
        // The searches list every program; the choosers take their first line.
        if (d.GetTemplateId() == kDlgSearch) p.click(kSearchAll);
        if (d.GetTemplateId() == kDlgMachineChooser && !p.lines(kMachineList).empty()) {
          p.select(kMachineList, 0);
          p.click(IDOK);
        }
      });
  for (const std::string& f : faults_) ADD_FAILURE() << f;
  // The dialogs the walk must have reached: the logon, the program dialog,
  // the machine chooser and cycles, users, the logs, the job lists, the
  // DNC setup and the two connections.
  for (int id : {kDlgLogon, kDlgProgram, kDlgMachineChooser, kDlgCycles, kDlgUsers, kDlgSystemLog, kDlgLogTypes,
                 kDlgChangeCriteria, kDlgJobLists, kDlgDncSetup, kDlgConnectDrive, kDlgConnectPrinter})
    EXPECT_TRUE(seen_.count(id)) << "dialog " << id << " was not reached";
  EXPECT_GT(lines_, 20) << "the demo's lists hold its records";
  EXPECT_TRUE(skipped.empty()) << ::testing::PrintToString(skipped);
  for (const std::string& b : boxes_) std::printf("box: %s\n", b.c_str());
}

// The job lists' dialog opens without a warning of the toolkit on the
// program's standard error.
TEST_F(DemoDialogs, TheJobListsOpenWithoutAToolkitWarning) {
  const fs::path errors = home_ / "stderr.txt";
  int saved = -1;
  bool opened = false;
  Run(
      [&](TMainFrame& frame) {
        std::fflush(stderr);
        saved = dup(2);
        FILE* f = std::fopen(errors.c_str(), "w");
        ASSERT_NE(f, nullptr);
        dup2(fileno(f), 2);
        std::fclose(f);
        frame.SendMessage(WM_COMMAND, kCmMaintainJobs);
        std::fflush(stderr);
        dup2(saved, 2);
        close(saved);
      },
      [&](TDialog& d) {
        if (LogOn(d)) return;
        if (d.GetTemplateId() != kDlgJobLists) return;
        opened = true;
        // On screen with every line, as the user sees it.
        Inspect(d);
      });
  EXPECT_TRUE(opened);
  std::ifstream in(errors);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(text.find("Gtk-"), std::string::npos) << text;
  EXPECT_EQ(text.find("GLib-"), std::string::npos) << text;
}

}  // namespace
