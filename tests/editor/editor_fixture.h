// Shared set-up of the editor window tests: the log tests' scratch
// database (program index, logs, counters) with machines, customers and
// projects, a configuration and temporary directory, the program's
// resources, and helpers that build an editor window and read its state.
#pragma once

#include <memory>

#include "appcore/display_flags.h"
#include "dbmodel/customer.h"
#include "dbmodel/cycle.h"
#include "dbmodel/machine.h"
#include "dbmodel/macro.h"
#include "dbmodel/project.h"
#include "editor/child_frame.h"
#include "platform/ledit/protocol.h"
#include "tests/storage/log_fixture.h"

namespace kveditor {

class EditorTest : public kvlogs::LogTest {
 protected:
  void SetUp() override {
    LogTest::SetUp();
    plat::set_resource_dir(KV_SOURCE_DIR "/resources");
    std::filesystem::create_directories(Root() + "/cfg");
    std::filesystem::create_directories(Root() + "/temp");
    Globals->CfgDir = KV_SOURCE_DIR "/resources/lang/";
    Globals->LoadMenuTexts(44, 0);
    Globals->LoadLogTexts(44, 0);
    Globals->CfgDir = Root() + "/cfg\\";
    Globals->TempDir = Root() + "/temp\\";
    Globals->DisplayFlags = kDisplayStatusBar | kDisplayToolBar;
    // As the program sets it: a lock held elsewhere fails instead of waiting.
    DbContext->lock_attempts = 2;
    CreateTable<TcbMachTable>("KELVMA.DBF");
    CreateTable<TcbAdvCustTable>("KELVCUS2.DBF");
    CreateTable<TcbProTable>("KELVPRO.DBF");
    CreateTable<TcbMacroTable>("KELVMACR.DBF");
    CreateTable<TcbCycleTable>("KELVCYC3.DBF");
    CreateTable<TcbFileTable>("KELVLOCK.DBF");
    {
      TcbMachTable t("KELVMA.DBF", 0, 0);
      ASSERT_TRUE(t.Add("DMU50", 5, "mill", (Root() + "/mach\\").c_str(), 0));
      mill = t.ExistsByName("DMU50");
    }
  }
  void TearDown() override {
    frames.clear();
    LogTest::TearDown();
  }

  // An editor window for the program id (0: none), created.
  TChildFrame* Open(long id, int number = 0) {
    slots[number] = nullptr;
    auto* f = new TChildFrame(nullptr, &slots[number], id, number);
    slots[number] = f;
    EXPECT_TRUE(f->Create());
    frames.emplace_back(f, [](TChildFrame* w) {
      if (w->IsWindow()) w->Destroy();
      delete w;
    });
    return f;
  }
  // Closes the window as the user does; true when it closed.
  bool Close(TChildFrame* f) {
    if (!f->CanClose()) return false;
    f->Destroy();
    return true;
  }
  static std::string Text(TChildFrame* f) {
    long n = static_cast<long>(f->Edit()->SendMessage(LEM_GETLENGTH, 1));
    std::string s(static_cast<size_t>(n) + 1, '\0');
    LEditBuffer b{s.data(), s.size()};
    f->Edit()->SendMessage(LEM_COPYALLTEXT, 1, reinterpret_cast<LPARAM>(&b));
    s.resize(static_cast<size_t>(n));
    return s;
  }
  static void Type(TChildFrame* f, const std::string& text) {
    f->Edit()->SendMessage(LEM_INSERT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
  static std::string ReadFile(const std::string& path) { return kvdb::ReadFileBytes(path); }
  static bool Enabled(TChildFrame* f, UINT id) { return f->IsCommandEnabled(id); }
  static void Command(TChildFrame* f, UINT id) { f->SendMessage(WM_COMMAND, id, 0); }

  // A program of the mill with its file P<id>.NC holding text.
  void AddMillProgram(long id, const std::string& text, int mazak = 0) {
    kvdb::WriteFileBytes(MachPath("P" + std::to_string(id) + ".NC"), text);
    TcbFileTable t("KELVFILE.DBF", 0, 0);
    TcbFileRecord r;
    FillProgram(r, id, id);
    r.MID = mill;
    r.MAZAK = mazak;
    ASSERT_EQ(t.Append(&r), 1);
  }
  // The memo of the program id, written and read through the program index.
  void SetMemo(long id, const char* text) {
    TcbFileTable t("KELVFILE.DBF", 0, 0);
    std::unique_ptr<TcbFileRecord> r(t.FindById(id));
    t.made = nullptr;
    ASSERT_TRUE(r);
    r->SetMemo(text);
    ASSERT_EQ(t.Update(r.get()), 1);
  }
  // The memo of the program id; "<none>" for a program without one.
  std::string Memo(long id) {
    TcbFileTable t("KELVFILE.DBF", 0, 0);
    std::unique_ptr<TcbFileRecord> r(t.FindById(id));
    t.made = nullptr;
    return r && r->MEMOSTR ? r->MEMOSTR : "<none>";
  }

  plat::GTestUiDriver driver;
  TChildFrame* slots[4] = {};
  long mill = 0;

 private:
  std::vector<std::unique_ptr<TChildFrame, void (*)(TChildFrame*)>> frames;
};

}  // namespace kveditor
