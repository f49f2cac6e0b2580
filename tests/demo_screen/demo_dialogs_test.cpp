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

#include <algorithm>
#include <chrono>

#include "app/appmain.h"
#include "appcore/log_text.h"
#include "dnc/link_dialog.h"
#include "resources/dialogs/compare.h"
#include "resources/dialogs/dnclink.h"
#include "resources/dialogs/logs.h"
#include "resources/dialogs/program.h"
#include "resources/dialogs/search.h"
#include "resources/menus/editor.h"
#include "resources/menus/main.h"
#include "tests/dbmodel/layout_peer.h"
#include "tests/sim/sim_process.h"
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
#include "tests/support/scripted_app.h"

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
using kvtest::g_script;
using kvtest::RunScripted;

class DemoDialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(rendertest::VirtualDisplay::get().ok()) << rendertest::VirtualDisplay::get().why();
    home_ = fs::temp_directory_path() / ("kvdemo_" + std::to_string(getpid()));
    fs::remove_all(home_);
    fs::create_directories(home_);
    std::string make = "'" KV_DEMO_DB_BIN "' '" KV_BUILD_RESOURCES "' '" + home_.string() + "' >/dev/null";
    ASSERT_EQ(std::system(make.c_str()), 0) << make;
    kvtest::EnterStation(home_, KV_BUILD_RESOURCES);
    ASSERT_TRUE(fs::equivalent(fs::current_path(), home_));
    // Boxes are answered with their first button and kept for the report.
    oldBoxes_ = plat::set_message_box_handler([this](HWND, const std::string& text, const std::string&, UINT flags) {
      boxes_.push_back(text);
      return plat::default_message_box_answer(flags);
    });
  }
  void TearDown() override {
    plat::set_message_box_handler(oldBoxes_);
    kvtest::LeaveStation(home_);
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
        Globals->WriteLog(kLogProgramCreated, "O1000 DEMO", "VMC-1");
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

// Every item of the menu bar runs for the demo user, who holds every
// right: no command is left without its window. Run C-Hook alone stays
// grey, for no C-Hook is installed.
TEST_F(DemoDialogs, EveryMenuCommandRunsButRunCHook) {
  std::vector<UINT> grey, items;
  std::function<void(TMainFrame&, HMENU)> walk = [&](TMainFrame& frame, HMENU menu) {
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
      if (HMENU sub = GetSubMenu(menu, i)) {
        walk(frame, sub);
        continue;
      }
      UINT id = GetMenuItemID(menu, i);
      if (id == 0 || id == static_cast<UINT>(-1)) continue;  // separators
      items.push_back(id);
      if (!frame.IsCommandEnabled(id)) grey.push_back(id);
    }
  };
  Run([&](TMainFrame& frame) { walk(frame, frame.GetMenu()); },
      [&](TDialog& d) { LogOn(d); });
  EXPECT_GT(items.size(), 30u) << "the whole bar was walked";
  EXPECT_EQ(grey, std::vector<UINT>{kCmRunCHook});
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

// ---- the demo story ----------------------------------------------------------

// The story the README tells, on the demo station with its simulated
// RS-232 machine (the standalone simulator, bound to COM3 through the
// station's port map as tools/run-demo binds it): log on, open a program,
// edit it, save it with its version-log entry, compare it with another,
// send it to the machine and take it back. Every step is checked in the
// tables as python3-dbfread reads them.
class DemoStory : public DemoDialogs {
 protected:
  void SetUp() override {
    DemoDialogs::SetUp();
    if (HasFatalFailure()) return;
    const fs::path cfg = home_ / "c" / "KELVACFG";
    fs::copy_file(KV_TELMIX_LIB, cfg / "CHOOKS" / fs::path(KV_TELMIX_LIB).filename(),
                  fs::copy_options::overwrite_existing);
    machine_ = home_ / "machines" / "VMC-1";
    sim_ = std::make_unique<sim::SimProcess>(KV_MACHINE_SIM_BIN, "rs232", machine_.string(),
                                             KV_BUILD_RESOURCES "/demo/programs/PH200_OP10.NC");
    const std::string device = sim_->device();
    ASSERT_FALSE(device.empty()) << "the simulated machine did not start: " << Read(machine_ / "machine.log");
    std::ofstream(cfg / "CFG" / "COMPORTS.CFG") << "COM" << kMachineCom << "=" << device << "\n";
  }
  void TearDown() override {
    sim_.reset();
    DemoDialogs::TearDown();
  }

  // Waits for a condition of the files, with the program's loop running.
  static bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    return desk::run_until(done, limit);
  }
  // The live rows of a table as the peer reads them ("FIELD=value ...").
  std::vector<std::string> Rows(const std::string& table) {
    return kvdb::PeerRows(home_.string(), (home_ / "c" / "KELVACFG" / "DB31" / table).string(), false);
  }
  std::vector<std::string> RowsWith(const std::string& table, const std::string& part) {
    std::vector<std::string> out;
    for (const std::string& r : Rows(table))
      if (r.find(part) != std::string::npos) out.push_back(r);
    return out;
  }
  // The value of a field in a peer row: up to the next " NAME=".
  static std::string Field(const std::string& row, const std::string& name) {
    const std::string key = name + "=";
    std::size_t at = row.rfind(" " + key) != std::string::npos ? row.rfind(" " + key) + 1 : row.rfind(key, 0);
    if (at == std::string::npos) return "<no " + name + ">";
    at += key.size();
    std::size_t end = at;
    while (end < row.size()) {
      std::size_t space = row.find(' ', end);
      if (space == std::string::npos) return row.substr(at);
      std::size_t eq = row.find('=', space);
      std::size_t next = row.find(' ', space + 1);
      if (eq != std::string::npos && (next == std::string::npos || eq < next)) return row.substr(at, space - at);
      end = space + 1;
    }
    return row.substr(at);
  }
  std::string ProgramFile(const std::string& row) {
    std::string dir = Field(row, "DIR");
    std::string path = plat::to_native_path(dir + Field(row, "NAME") + "." + Field(row, "EXT"));
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }
  static std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }

  // A button of the DNC link as the user presses it. The link stands on
  // screen while its owner, the editor, is hidden for the transfer: the
  // driver's click, which asks whether every owner is visible, would not
  // press it.
  static bool Press(plat::Pilot& p, int id) {
    TWindow* c = p.control(id);
    if (!c || !p.visible(id) || !p.enabled(id)) return false;
    c->SendMessage(BM_CLICK, 0, 0);
    return true;
  }

  // The compare window's lines as it draws them: "<type>@@<text>", the
  // type 0 for a line both texts have.
  static std::vector<std::string> CompareLines(plat::Pilot& p, int id) {
    std::vector<std::string> out;
    auto* list = dynamic_cast<TListBox*>(p.control(id));
    for (int i = 0; list && i < list->GetCount(); ++i)
      if (const char* t = reinterpret_cast<const char*>(list->GetItemData(i))) out.push_back(t);
    return out;
  }

  static constexpr int kMachineCom = 3;
  fs::path machine_;
  std::unique_ptr<sim::SimProcess> sim_;
};

TEST_F(DemoStory, LogOnEditSaveWithALogEntryCompareSendAndReceiveBack) {
  const std::string kProgram = "PH-200 HOUSING OP10", kOther = "PH-200 HOUSING OP20";
  const std::string kEdit = "(CHECKED ON THE DEMO STATION)";
  std::string wanted = kProgram;  // the line the program dialog picks
  std::vector<std::string> newLines, oldLines;
  int logEntries = 0, linkRuns = 0;
  bool sent = false, received = false;
  TChildFrame* editor = nullptr;
  Run(
      [&](TMainFrame& frame) {
        // Open: File > Open, All, the program's line, Open.
        frame.SendMessage(WM_COMMAND, kCmFileOpen);
        editor = frame.Children[0];
        ASSERT_NE(editor, nullptr) << "no editor opened";
        ASSERT_TRUE(WaitFor([&] { return editor->IsWindowVisible(); }, 10s));
        // Edit: a comment typed in as the second line.
        editor->Edit()->SetFocus();
        desk::press_key_here(VK_DOWN);
        desk::press_key_here(VK_HOME);
        desk::type_here(kEdit);
        desk::press_enter();
        ASSERT_TRUE(WaitFor([&] { return editor->IsModified(); }, 10s));
        // Save, and the version-log entry of the saved version.
        editor->SendMessage(WM_COMMAND, kCmFileSave);
        EXPECT_FALSE(editor->IsModified());
        editor->SendMessage(WM_COMMAND, kCmAddToLog);
        // Compare with the second operation of the same part.
        wanted = kOther;
        editor->SendMessage(WM_COMMAND, kCmCompare);
        // Send to the machine and take its program back.
        editor->SendMessage(WM_COMMAND, kCmDncSend);
        ASSERT_TRUE(received) << "nothing came back from the machine";
        EXPECT_TRUE(editor->IsModified()) << "the received text counts as changed";
        editor->SendMessage(WM_COMMAND, kCmFileSave);
        EXPECT_FALSE(editor->IsModified());
        editor->SendMessage(WM_COMMAND, kCmAddToLog);
        editor->PostMessage(WM_CLOSE);
        WaitFor([&] { return frame.Children[0] == nullptr; }, 10s);
      },
      [&](TDialog& d) {
        if (LogOn(d)) return;
        plat::Pilot p(d);
        switch (d.GetTemplateId()) {
          case IDD_SEARCH:
            p.click(IDC_SEARCH_ALL);
            break;
          case IDD_PROGRAM: {
            std::vector<std::string> lines = p.lines(IDC_PROGRAM_LIST);
            for (size_t i = 0; i < lines.size(); ++i)
              if (lines[i].find(wanted) != std::string::npos) p.select(IDC_PROGRAM_LIST, static_cast<int>(i));
            p.click(IDC_PROGRAM_OPEN);
            break;
          }
          case IDD_ADD_TO_LOG: {
            ++logEntries;
            std::vector<std::string> types = p.lines(IDC_LOG_ENTRY_MAIN_TYPE);
            for (size_t i = 0; i < types.size(); ++i)
              if (types[i].rfind("Change request", 0) == 0) p.select(IDC_LOG_ENTRY_MAIN_TYPE, static_cast<int>(i));
            std::vector<std::string> reasons = p.lines(IDC_LOG_ENTRY_REASON1);
            for (size_t i = 0; i < reasons.size(); ++i)
              if (reasons[i].rfind("Feed and speed", 0) == 0) p.select(IDC_LOG_ENTRY_REASON1, static_cast<int>(i));
            p.type(IDC_LOG_ENTRY_NOTE, logEntries == 1 ? "Comment added" : "Back from the machine");
            p.click(IDOK);
            EXPECT_TRUE(d.HasEnded()) << "the entry was not taken";
            break;
          }
          case IDD_COMPARE:
            ASSERT_TRUE(WaitFor([&] { return p.lines(IDC_COMPARE_NEW_LIST).size() > 10; }, 20s));
            newLines = CompareLines(p, IDC_COMPARE_NEW_LIST);
            oldLines = CompareLines(p, IDC_COMPARE_OLD_LIST);
            break;
          case IDD_DNC_LINK: {
            ++linkRuns;
            auto& link = static_cast<TDncLinkDlg&>(d);
            EXPECT_EQ(p.text(IDC_DNC_LINK_PROGRAM), kProgram);
            ASSERT_TRUE(Press(p, IDC_DNC_LINK_SEND));
            ASSERT_TRUE(WaitFor([&] { return !link.TestRunning(); }, 60s)) << "the send did not end";
            sent = true;
            // The machine keeps the program once the line is quiet.
            ASSERT_TRUE(WaitFor([&] { return fs::exists(machine_ / "received-1.nc"); }, 20s))
                << Read(machine_ / "machine.log");
            // Asked to receive, the machine punches the program it holds.
            ASSERT_TRUE(Press(p, IDC_DNC_LINK_RECEIVE));
            received = WaitFor([&] { return d.HasEnded(); }, 60s);
            if (!received) {
              Press(p, IDC_DNC_LINK_STOP);
              WaitFor([&] { return !link.TestRunning(); }, 60s);
            }
            break;
          }
          default:
            ADD_FAILURE() << "dialog " << d.GetTemplateId() << " was not part of the story";
        }
      });

  // Logged on and opened: one editor on the program.
  const std::vector<std::string> programs = RowsWith("KELVFILE.DBF", "DESC=" + kProgram + " ");
  ASSERT_EQ(programs.size(), 1u) << ::testing::PrintToString(Rows("KELVFILE.DBF"));
  const std::string ncid = Field(programs[0], "NCID");
  // Edited and saved: the file holds the new line; the save is in the
  // system log and the version log has the entry with its type, reason,
  // note and user.
  const std::string text = ProgramFile(programs[0]);
  EXPECT_NE(text.find("%\r\n" + kEdit + "\r\nO1001"), std::string::npos) << text;
  const std::vector<std::string> types = RowsWith("LOG00001.DBF", "NAME=Change request");
  ASSERT_EQ(types.size(), 1u);
  const std::vector<std::string> reasons = RowsWith("LOG00004.DBF", "NAME=Feed and speed");
  ASSERT_EQ(reasons.size(), 1u);
  const std::vector<std::string> entries = RowsWith("LOG00002.DBF", " PROGRAM=" + ncid + " ");
  ASSERT_EQ(entries.size(), 2u) << ::testing::PrintToString(Rows("LOG00002.DBF"));
  for (const std::string& e : entries) {
    EXPECT_EQ(Field(e, "TYPE"), Field(types[0], "ID")) << e;
    EXPECT_EQ(Field(e, "REASON01"), Field(reasons[0], "ID")) << e;
    EXPECT_EQ(Field(e, "USERNAME"), "Demo Programmer") << e;
  }
  EXPECT_NE(entries[0].find("Comment added"), std::string::npos) << entries[0];
  EXPECT_NE(entries[1].find("Back from the machine"), std::string::npos) << entries[1];
  EXPECT_EQ(RowsWith("LOG00000.DBF", "TYPE=" + std::to_string(kLogProgramSaved) + " ").size(), 2u)
      << ::testing::PrintToString(Rows("LOG00000.DBF"));
  // Compared: the typed line is marked as a difference; the first line,
  // "%", as common to both.
  ASSERT_FALSE(newLines.empty());
  ASSERT_FALSE(oldLines.empty());
  EXPECT_EQ(newLines[0], "0@@%");
  EXPECT_EQ(oldLines[0], "0@@%");
  const auto typed = std::find_if(newLines.begin(), newLines.end(),
                                  [&](const std::string& l) { return l.find(kEdit) != std::string::npos; });
  ASSERT_NE(typed, newLines.end()) << ::testing::PrintToString(newLines);
  EXPECT_NE(typed->rfind("0@@", 0), 0u) << *typed;
  // Sent: the machine holds the edited program; the send is logged.
  ASSERT_TRUE(sent);
  EXPECT_EQ(linkRuns, 1);
  const std::string onMachine = Read(machine_ / "received-1.nc");
  EXPECT_NE(onMachine.find(kEdit + "\r\nO1001"), std::string::npos) << onMachine;
  const std::vector<std::string> sends = RowsWith("LOG00000.DBF", "TYPE=" + std::to_string(kLogProgramSent) + " ");
  ASSERT_EQ(sends.size(), 1u) << ::testing::PrintToString(Rows("LOG00000.DBF"));
  EXPECT_NE(sends[0].find(kProgram), std::string::npos) << sends[0];
  // Received back and saved: the program is what the machine punched,
  // from its first "%" to its last.
  ASSERT_TRUE(received);
  const std::string back = ProgramFile(programs[0]);
  EXPECT_EQ(back, onMachine.substr(0, onMachine.rfind('%') + 1)) << back;
  for (const std::string& b : boxes_) std::printf("box: %s\n", b.c_str());
}
