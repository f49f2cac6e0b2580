// Shared set-up of the special import tests: the log tests' scratch
// database with the program index, machines, customers and projects; the
// scratch root as drive K: so that paths read as the stations write them;
// a main frame with the import commands; the choosers answered as a user
// would; the rows read back by python3-dbfread and the files by cmp.
#pragma once

#include <algorithm>
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
#include "resources/dialogs/masterdata.h"
#include "tests/storage/log_fixture.h"

namespace kvimport {

// One row of a table as python3-dbfread reads it.
struct PeerRow {
  bool deleted = false;
  std::map<std::string, std::string> values;
  const std::string& operator[](const std::string& field) const { return values.at(field); }
};

inline const std::vector<std::string> kProgramFields = {
    "NCID", "DESC", "DIR", "NAME", "EXT", "PART", "DRAW", "CUST", "MID", "MAT",
    "PROJECT", "MACHINE", "CHAR3", "LONG1", "MEMOSTR", "LOCK", "PROG", "MAZAK", "SENT"};

// Runs a command line; its standard output, the exit status in *status.
inline std::string RunCommand(const std::string& cmd, int* status = nullptr) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int rc = pclose(p);
  if (status) *status = rc;
  return out;
}

inline std::string Unhex(const std::string& hex) {
  if (hex == "-") return "";
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

class ImportTest : public kvlogs::LogTest {
 protected:
  void SetUp() override {
    LogTest::SetUp();
    CreateTable<TcbMachTable>("KELVMA.DBF");
    CreateTable<TcbAdvCustTable>("KELVCUS2.DBF");
    CreateTable<TcbProTable>("KELVPRO.DBF");
    plat::set_drive_root('K', Root());
    for (const char* d : {"MILL1", "LATHE", "TEMP", "SRC"}) std::filesystem::create_directories(Root() + "/" + d);
    Globals->TempDir = "K:\\TEMP\\";
    Globals->LastDir = "K:\\SRC\\";
    {
      TcbMachTable t("KELVMA.DBF", 0, 0);
      EXPECT_TRUE(t.Add("MILL1", 5, "mill", "K:\\MILL1\\", 0));
      EXPECT_TRUE(t.Add("LATHE", 6, "lathe", "K:\\LATHE\\", 0));
      EXPECT_TRUE(t.Add("NOWHERE", 7, "gone", "K:\\MISSING\\", 0));
      mill = t.ExistsByName("MILL1");
      lathe = t.ExistsByName("LATHE");
    }
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
    plat::set_write_fault("", 0);
    plat::set_read_fault("", 0);
    plat::reset_drive_table();
    LogTest::TearDown();
  }

  std::string Native(const std::string& sub) const { return Root() + "/" + sub; }
  void Write(const std::string& sub, const std::string& bytes) const {
    kvtest::ScratchDir::write_file(Native(sub), bytes);
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

  // The next program id the counter will hand out.
  long PeekProgramId() {
    long next = NextProgramId() + 1;
    return next;
  }
  // Draws ids until the next one is `id`.
  void NextProgramIdIs(long id) {
    while (NextProgramId() < id - 1) {
    }
  }

  // Every row of a table as python3-dbfread reads it, live rows first.
  std::vector<PeerRow> PeerTable(const std::string& path, const std::vector<std::string>& fields = kProgramFields) {
    int status = 0;
    std::string out = RunCommand(
        "/usr/bin/python3 " KV_SOURCE_DIR "/tests/engine/peers/dbfread_dump.py '" + path + "'", &status);
    EXPECT_EQ(status, 0) << out;
    std::vector<PeerRow> rows;
    std::size_t start = 0;
    for (std::size_t nl; (nl = out.find('\n', start)) != std::string::npos; start = nl + 1) {
      std::string line = out.substr(start, nl - start);
      std::vector<std::string> cells;
      std::size_t from = 0;
      for (std::size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1)
        cells.push_back(line.substr(from, tab - from));
      cells.push_back(line.substr(from));
      PeerRow row;
      row.deleted = cells[0] == "D";
      // dbfread reads a memo to the end of its last block: the zero bytes
      // that fill it are not part of the text.
      for (std::size_t i = 0; i < fields.size() && i + 1 < cells.size(); ++i) {
        std::string value = Unhex(cells[i + 1]);
        value.erase(value.find_last_not_of('\0') + 1);
        row.values[fields[i]] = value;
      }
      rows.push_back(row);
    }
    return rows;
  }
  std::vector<PeerRow> Programs() { return PeerTable(DbPath("KELVFILE.DBF")); }

  // The names in a directory (not recursing), sorted.
  std::vector<std::string> Names(const std::string& sub) const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(Native(sub))) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  plat::GTestUiDriver driver;
  TCommandHostFrame* frame = nullptr;
  long mill = 0, lathe = 0;
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
