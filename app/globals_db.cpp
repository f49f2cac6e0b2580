// Creation of the database files: the station's own tables at start-up and
// every table of the chosen database with the upgrades of older layouts.
// A create never replaces an existing file (the engine's safety setting);
// a table that cannot be made or upgraded is reported by the engine or by
// its upgrade, not here.
#include "appcore/globals.h"
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
#include "dbmodel/machine.h"
#include "dbmodel/macro.h"
#include "dbmodel/profile.h"
#include "dbmodel/project.h"
#include "dbmodel/syslog.h"
#include "dbmodel/user_tables.h"
#include "dbmodel/versionlog.h"

namespace {

enum Dir { kDatabase, kAlternate };

std::string DirOf(Dir dir) {
  std::string d = dir == kAlternate ? Globals->AlternateDir : Globals->DatabaseDir;
  if (!d.empty() && d.back() != '\\' && d.back() != '/') d += '\\';
  return d;
}

template <class Table>
void Make(Dir dir, const char* name) {
  Table t(name, dir == kAlternate, 0);
  t.Create((DirOf(dir) + name).c_str());
}

template <class Table>
void Upgrade(Dir dir, const char* name) {
  Table t(name, dir == kAlternate, 0);
  t.Upgrade();
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

}  // namespace

int TGlobals::CreateDatabaseFiles() {
  DbContext->safety = 1;
  Make<TcbCounterTable>(kAlternate, "KELVINDX.DBF");
  Make<TcbDataTable>(kAlternate, "KELVDATA.DBF");
  Upgrade<TcbDataTable>(kAlternate, "KELVDATA.DBF");
  Make<TcbAutoImpTable>(kAlternate, "AUTOIMP.DBF");
  Make<TAccountTable>(kAlternate, "USER0001.DBF");
  Make<TUserInfoTable>(kAlternate, "USER0002.DBF");
  Make<TcbDataTable>(kAlternate, "KELVDATA.DBF");
  MakeDncFiles(DncStationMode != 0, false);
  return 1;
}

int TGlobals::RebuildDatabase() {
  DbContext->safety = 1;
  Make<TcbCounterTable>(kDatabase, "KELVINDX.DBF");
  Make<TcbCounterTable>(kAlternate, "KELVINDX.DBF");
  for (const char* name : {"KELVFILE.DBF", "KELVBACK.DBF", "KELVDNCT.DBF", "KELVDNCF.DBF", "KELVLOCK.DBF"})
    Make<TcbFileTable>(kDatabase, name);
  Make<TcbMatyTable>(kDatabase, "KELVMT.DBF");
  Make<TcbProTable>(kDatabase, "KELVPRO.DBF");
  Make<TcbMacroTable>(kDatabase, "KELVMACR.DBF");
  Make<TcbMachTable>(kDatabase, "KELVMA.DBF");
  Make<TcbAdvCustTable>(kDatabase, "KELVCUS2.DBF");
  {
    TcbCounterTable counters("KELVINDX.DBF", 0, 0);
    counters.EnsureRecords();
  }
  Make<TcbAdvCustTable>(kDatabase, "KELVSUPP.DBF");
  Make<TPictureTable>(kDatabase, "PT000001.DBF");
  Make<TcbIdAndNameTable>(kDatabase, "KELVCOUN.DBF");
  Make<TcbIdAndNameTable>(kDatabase, "KELVPOSI.DBF");
  Make<TcbPersonTable>(kDatabase, "KELVCONT.DBF");
  Make<TcbFileTable>(kDatabase, "KELVAUTO.DBF");
  Make<TcbAutoImpTable>(kAlternate, "AUTOIMP.DBF");
  Make<TSheetTypeTable>(kDatabase, "SS000001.DBF");
  Make<TcbCycleTable>(kDatabase, "KELVCYC3.DBF");
  Make<TcbParamTable>(kDatabase, "KELVCYC4.DBF");
  for (Dir dir : {kAlternate, kDatabase}) Make<TAccountTable>(dir, "USER0001.DBF");
  for (Dir dir : {kAlternate, kDatabase}) Make<TUserInfoTable>(dir, "USER0002.DBF");
  Make<TcbDataTable>(kAlternate, "KELVDATA.DBF");
  MakeDncFiles(DncStationMode != 0, true);
  Make<TLogTable>(kDatabase, "LOG00000.DBF");
  Make<TcbLogTypeTable>(kDatabase, "LOG00001.DBF");
  Make<TLog00002Table>(kDatabase, "LOG00002.DBF");
  Make<TcbFileTable>(kDatabase, "LOG00003.DBF");
  Make<TcbLogChangeTable>(kDatabase, "LOG00004.DBF");

  for (const char* name :
       {"KELVFILE.DBF", "KELVBACK.DBF", "KELVDNCT.DBF", "KELVDNCF.DBF", "KELVLOCK.DBF", "KELVAUTO.DBF"})
    Upgrade<TcbFileTable>(kDatabase, name);
  Upgrade<TLog00002Table>(kDatabase, "LOG00002.DBF");
  Upgrade<TcbMachTable>(kDatabase, "KELVMA.DBF");
  Upgrade<TcbMacroTable>(kDatabase, "KELVMACR.DBF");
  Upgrade<TcbFileTable>(kDatabase, "LOG00003.DBF");
  if (AutoImportEdit) Upgrade<TcbAutoImpTable>(kAlternate, "AUTOIMP.DBF");
  return 1;
}
