// Creation of the database files: the station's own tables at start-up and
// every table of the chosen database with the upgrades of older layouts.
// A create never replaces an existing file (the engine's safety setting).
// A table that is missing after its create, or does not open after its
// upgrade, makes the whole run report failure, so the start-up can tell the
// user instead of working on a half-made database.
#include "app/status_dlg.h"
#include "appcore/globals.h"
#include "appcore/message_ids.h"
#include "dbmodel/autoimp.h"
#include "dbmodel/changecrit.h"
#include "dbmodel/contact.h"
#include "dbmodel/counter.h"
#include "dbmodel/customer.h"
#include "dbmodel/cycle.h"
#include "dbmodel/dncport.h"
#include "dbmodel/dncset.h"
#include "dbmodel/filetable.h"
#include "dbmodel/idname.h"
#include "dbmodel/job.h"
#include "dbmodel/machine.h"
#include "dbmodel/macro.h"
#include "dbmodel/profile.h"
#include "dbmodel/setup_sheet.h"
#include "dbmodel/project.h"
#include "dbmodel/syslog.h"
#include "dbmodel/user_tables.h"
#include "dbmodel/versionlog.h"
#include "platform/file.h"

namespace {

enum Dir { kDatabase, kAlternate };

std::string DirOf(Dir dir) {
  std::string d = dir == kAlternate ? Globals->AlternateDir : Globals->DatabaseDir;
  if (!d.empty() && d.back() != '\\' && d.back() != '/') d += '\\';
  return d;
}

// One run of creates and upgrades: remembers whether any failed and shows
// the table being worked on in the status window, when there is one.
struct Run {
  TStatusWindow* status = nullptr;
  std::string text;
  bool ok = true;

  void Show(const char* name) {
    if (status) status->Set(text + " (" + name + ")");
  }

  template <class Table>
  void Make(Dir dir, const char* name) {
    Show(name);
    Table t(name, dir == kAlternate, 0);
    std::string path = DirOf(dir) + name;
    t.Create(path.c_str());
    if (!plat::file_exists(path)) ok = false;
  }

  template <class Table>
  void Upgrade(Dir dir, const char* name) {
    Show(name);
    Table t(name, dir == kAlternate, 0);
    t.Upgrade();
    // A layout this version does not know is left as it is; only a file
    // that no longer opens is a failure.
    if (!t.Open()) ok = false;
    t.Close();
  }

  // The DNC port files of the station's mode (the server's ports and
  // settings, else the editor's port list), brought to the current layout
  // when asked.
  void MakeDncFiles(bool station, bool upgrade) {
    const char* ports = station ? "KELVMD32.DBF" : "KELVCOMM.DBF";
    Make<TMultiDncTable>(kAlternate, ports);
    if (upgrade) Upgrade<TMultiDncTable>(kAlternate, ports);
    if (station) Make<TTramox01Table>(kAlternate, "TRAMOX01.DBF");
  }
};

}  // namespace

int TGlobals::CreateDatabaseFiles() {
  DbContext->safety = 1;
  Run r;
  r.Make<TcbCounterTable>(kAlternate, "KELVINDX.DBF");
  r.Make<TcbDataTable>(kAlternate, "KELVDATA.DBF");
  r.Upgrade<TcbDataTable>(kAlternate, "KELVDATA.DBF");
  r.Make<TcbAutoImpTable>(kAlternate, "AUTOIMP.DBF");
  r.Make<TAccountTable>(kAlternate, "USER0001.DBF");
  r.Make<TUserInfoTable>(kAlternate, "USER0002.DBF");
  r.Make<TcbDataTable>(kAlternate, "KELVDATA.DBF");
  r.MakeDncFiles(DncStationMode != 0, false);
  return r.ok ? 1 : 0;
}

int TGlobals::RebuildDatabase() {
  DbContext->safety = 1;
  if (!MessageTexts.Has(kMsgCheckingDatabase))
    MessageTexts.Set(kMsgCheckingDatabase, GetMessageText(kMsgCheckingDatabase));
  Run r;
  r.text = MessageTexts.Get(kMsgCheckingDatabase);
  TStatusWindow status(r.text);
  r.status = &status;
  r.Make<TcbCounterTable>(kDatabase, "KELVINDX.DBF");
  r.Make<TcbCounterTable>(kAlternate, "KELVINDX.DBF");
  for (const char* name : {"KELVFILE.DBF", "KELVBACK.DBF", "KELVDNCT.DBF", "KELVDNCF.DBF", "KELVLOCK.DBF"})
    r.Make<TcbFileTable>(kDatabase, name);
  r.Make<TcbMatyTable>(kDatabase, "KELVMT.DBF");
  r.Make<TcbProTable>(kDatabase, "KELVPRO.DBF");
  r.Make<TcbMacroTable>(kDatabase, "KELVMACR.DBF");
  r.Make<TcbMachTable>(kDatabase, "KELVMA.DBF");
  r.Make<TcbAdvCustTable>(kDatabase, "KELVCUS2.DBF");
  {
    TcbCounterTable counters("KELVINDX.DBF", 0, 0);
    counters.EnsureRecords();
  }
  r.Make<TcbAdvCustTable>(kDatabase, "KELVSUPP.DBF");
  r.Make<TPictureTable>(kDatabase, "PT000001.DBF");
  r.Make<TcbIdAndNameTable>(kDatabase, "KELVCOUN.DBF");
  r.Make<TcbIdAndNameTable>(kDatabase, "KELVPOSI.DBF");
  r.Make<TcbPersonTable>(kDatabase, "KELVCONT.DBF");
  r.Make<TcbFileTable>(kDatabase, "KELVAUTO.DBF");
  r.Make<TJobTable01>(kDatabase, kJobFile);
  r.Make<TJobTable02>(kDatabase, kJobLineFile);
  r.Make<TcbAutoImpTable>(kAlternate, "AUTOIMP.DBF");
  r.Make<TSheetTypeTable>(kDatabase, "SS000001.DBF");
  r.Make<TSheet02Table>(kDatabase, "SS000002.DBF");
  r.Make<TSheet03Table>(kDatabase, "SS000003.DBF");
  r.Make<TSheet04Table>(kDatabase, "SS000004.DBF");
  r.Make<TSheet05Table>(kDatabase, "SS000005.DBF");
  r.Make<TcbCycleTable>(kDatabase, "KELVCYC3.DBF");
  r.Make<TcbParamTable>(kDatabase, "KELVCYC4.DBF");
  for (Dir dir : {kAlternate, kDatabase}) r.Make<TAccountTable>(dir, "USER0001.DBF");
  for (Dir dir : {kAlternate, kDatabase}) r.Make<TUserInfoTable>(dir, "USER0002.DBF");
  r.Make<TcbDataTable>(kAlternate, "KELVDATA.DBF");
  r.MakeDncFiles(DncStationMode != 0, true);
  r.Make<TLogTable>(kDatabase, "LOG00000.DBF");
  r.Make<TcbLogTypeTable>(kDatabase, "LOG00001.DBF");
  r.Make<TLog00002Table>(kDatabase, "LOG00002.DBF");
  r.Make<TcbFileTable>(kDatabase, "LOG00003.DBF");
  r.Make<TcbLogChangeTable>(kDatabase, "LOG00004.DBF");

  for (const char* name :
       {"KELVFILE.DBF", "KELVBACK.DBF", "KELVDNCT.DBF", "KELVDNCF.DBF", "KELVLOCK.DBF", "KELVAUTO.DBF"})
    r.Upgrade<TcbFileTable>(kDatabase, name);
  r.Upgrade<TLog00002Table>(kDatabase, "LOG00002.DBF");
  r.Upgrade<TcbMachTable>(kDatabase, "KELVMA.DBF");
  r.Upgrade<TcbMacroTable>(kDatabase, "KELVMACR.DBF");
  r.Upgrade<TcbFileTable>(kDatabase, "LOG00003.DBF");
  if (AutoImportEdit) r.Upgrade<TcbAutoImpTable>(kAlternate, "AUTOIMP.DBF");
  return r.ok ? 1 : 0;
}
