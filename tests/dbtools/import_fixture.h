// Shared set-up of the special import tests: the scratch program database
// (program_db_fixture.h) with a main frame holding the import commands and
// the choosers answered as a user would.
#pragma once

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/frame_commands.h"
#include "app/status_dlg.h"
#include "dbmodel/customer.h"
#include "dbmodel/machine.h"
#include "dbmodel/project.h"
#include "dbtools/import_commands.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/plugin.h"
#include "platform/ui/filedlg.h"
#include "platform/ui/handles.h"
#include "resources/dialogs/editor.h"
#include "resources/dialogs/masterdata.h"
#include "storage/save_prog.h"
#include "tests/dbtools/program_db_fixture.h"
#include "tests/storage/log_fixture.h"

namespace kvimport {

class ImportTest : public ProgramDbTest {
 protected:
  void SetUp() override {
    ProgramDbTest::SetUp();
    plat::set_plugin_dir(KV_TEST_PLUGIN_DIR);
    RegisterImportCommands();
    frame = new TCommandHostFrame(nullptr, "Kelvane", nullptr);
    ASSERT_TRUE(frame->Create());
  }
  void TearDown() override {
    frame->Destroy();
    delete frame;
    for (UINT id = kCmImportToMachine; id <= kCmImportWc18200; ++id) RegisterFrameCommand(id, nullptr);
    plat::set_plugin_dir("");
    ProgramDbTest::TearDown();
  }
  // Runs a command as the menu does.
  void Run(UINT command) { frame->SendMessage(WM_COMMAND, command); }

  // The machine chooser, answered with the machine of that name.
  void ExpectMachine(const std::string& name) {
    driver.expect_dialog(IDD_SELECT_MACHINE, [name](TDialog& d) {
      plat::Pilot p(d);
      auto lines = p.lines(IDC_SELECT_MACHINE_LIST);
      for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].rfind(name + " ", 0) == 0) p.select(IDC_SELECT_MACHINE_LIST, static_cast<int>(i));
      p.click(IDOK);
    });
  }
  void ExpectCancel(int dialog) {
    driver.expect_dialog(dialog, [](TDialog& d) { plat::Pilot(d).click(IDCANCEL); });
  }
  // The file dialog, answered with a file in the DOS form.
  void ExpectFile(const std::string& dosPath) {
    driver.expect_dialog("TFileOpenDialog",
                         [dosPath](TDialog& d) { static_cast<TOpenSaveDialog&>(d).Choose(dosPath); });
  }
  void ExpectFileCancel() {
    driver.expect_dialog("TFileOpenDialog", [](TDialog& d) { d.CmCancel(); });
  }

  TCommandHostFrame* frame = nullptr;
};

// Every text the status window shows, in order (a repeat of the same text
// counted once): read each time the window lets the desktop draw.
class StatusTexts {
 public:
  explicit StatusTexts(TWindow& owner) : owner_(owner) {
    old_ = plat::set_ui_host(plat::UiHost{});
    plat::UiHost mine = old_;
    mine.pump = [this] {
      Record();
      if (old_.pump) old_.pump();
    };
    plat::set_ui_host(mine);
  }
  ~StatusTexts() { plat::set_ui_host(old_); }
  StatusTexts(const StatusTexts&) = delete;
  StatusTexts& operator=(const StatusTexts&) = delete;

  const std::vector<std::string>& Texts() const { return texts_; }
  // Runs once at every new text, before the import goes on.
  std::function<void(const std::string&)> OnText;

 private:
  void Record() {
    plat::WindowRef w = plat::find_window(owner_.GetHandle());
    if (!w) return;
    std::vector<HWND> children;
    {
      std::lock_guard lock(w->mu);
      children = w->children;
    }
    for (HWND h : children) {
      plat::WindowRef c = plat::find_window(h);
      auto* status = c ? dynamic_cast<TShowStatusDlg*>(c->object) : nullptr;
      if (!status) continue;
      std::string text = status->GetStatus();
      if (!texts_.empty() && texts_.back() == text) return;
      texts_.push_back(text);
      if (OnText) OnText(text);
    }
  }

  TWindow& owner_;
  plat::UiHost old_;
  std::vector<std::string> texts_;
};

}  // namespace kvimport
