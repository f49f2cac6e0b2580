// Builds the demo station from the readable files of resources/demo: the
// directory layout under drive C: of a home directory, the configuration
// and language files, every database table, and the demo's machine types,
// customers, projects, machines and NC programs, written through the
// program's own table classes.
//
//   kelvane-demo-db <resources dir> <home dir>
//
// The program then runs with KELVANE_HOME=<home dir>. An existing demo
// database is left alone (exit 0).
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "appcore/globals.h"
#include "dbmodel/user_tables.h"
#include "dbmodel/counter.h"
#include "dbmodel/customer.h"
#include "dbmodel/engine_context.h"
#include "dbmodel/filetable.h"
#include "dbmodel/idname.h"
#include "dbmodel/machine.h"
#include "dbmodel/project.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/ui/resource.h"

namespace {

const char* const kLayout[] = {
    "LOCAL",   "DB31",    "CHOOKS",   "TEMPLATE", "TEMPLATE\\LOCAL", "PICTURES",         "VIDEO",
    "IMPORT",  "EXPORT",  "BACKUP",   "BACKUP\\PROGRAMS", "BACKUP\\GE3", "BACKUP\\DXF", "TEMP",
    "CFG",     "DNCFAIL", "DNCTEMP",  "GE3",      "DXF",             "SCRIPTS"};
const char* const kLanguageFiles[] = {"MESSAGES", "DIALOGS", "LOGSTRS", "PRINTS", "MENUHINT", "MENUES"};

int Fail(const std::string& what) {
  std::fprintf(stderr, "kelvane-demo-db: %s\n", what.c_str());
  return 1;
}

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r");
  if (a == std::string::npos) return "";
  size_t b = s.find_last_not_of(" \t\r");
  return s.substr(a, b - a + 1);
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> out;
  std::stringstream ss(line);
  std::string f;
  while (std::getline(ss, f, '|')) out.push_back(Trim(f));
  return out;
}

// demo.txt: "[section]" lines, then one row a line with fields separated
// by "|"; "#" starts a comment line.
std::map<std::string, std::vector<std::vector<std::string>>> ReadCatalogue(const std::string& path) {
  std::map<std::string, std::vector<std::vector<std::string>>> rows;
  std::ifstream in(path);
  std::string line, section;
  while (std::getline(in, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      section = line.substr(1, line.size() - 2);
      continue;
    }
    rows[section].push_back(Fields(line));
  }
  return rows;
}

bool CopyInto(const std::string& nativeFrom, const std::string& dosTo) {
  std::ifstream in(nativeFrom, std::ios::binary);
  if (!in) return false;
  std::string bytes((std::istreambuf_iterator<char>(in)), {});
  // NC files and configuration files of the stations end lines in CR LF.
  std::string crlf;
  for (char c : bytes) {
    if (c == '\n' && (crlf.empty() || crlf.back() != '\r')) crlf += '\r';
    crlf += c;
  }
  std::ofstream out(plat::to_native_path(dosTo), std::ios::binary);
  out << crlf;
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return Fail("usage: kelvane-demo-db <resources dir> <home dir>");
  const std::string resources = argv[1];
  const std::string demo = resources + "/demo";
  plat::set_base_directory(argv[2]);
  plat::set_resource_dir(resources);
  DbContext->safety = 1;
  DbContext->report_create_errors = 0;
  const std::string root = "C:\\KELVACFG\\";
  if (plat::file_exists(root + "DB31\\KELVFILE.DBF")) {
    std::printf("demo database exists: %s\n", plat::to_native_path(root + "DB31").c_str());
    return 0;
  }
  plat::create_directory("C:\\KELVACFG");
  for (const char* d : kLayout) {
    std::string path = root + d;
    if (!plat::directory_exists(path) && !plat::create_directory(path) && !plat::directory_exists(path)) {
      // create_directory makes one level: the parents come first in the list.
      return Fail("cannot make " + plat::to_native_path(path));
    }
  }
  if (!CopyInto(demo + "/KELVA31.CFG", root + "CFG\\KELVA31.CFG")) return Fail("no " + demo + "/KELVA31.CFG");
  for (const char* name : kLanguageFiles)
    if (!CopyInto(resources + "/lang/" + name + ".CFG", root + "CFG\\" + name + ".CFG"))
      return Fail(std::string("no language file ") + name);

  auto catalogue = ReadCatalogue(demo + "/demo.txt");
  for (const auto& m : catalogue["machines"]) {
    if (m.size() < 4) continue;
    std::string dir = root + "NC\\";
    plat::create_directory(dir);
    if (!plat::create_directory(dir + m[3]) && !plat::directory_exists(dir + m[3]))
      return Fail("cannot make the program directory of " + m[0]);
  }

  Globals = new TGlobals;
  plat::set_current_directory("C:\\");
  if (Globals->ReadConfig() != TGlobals::ConfigRead::Read) return Fail("the demo configuration was not read");
  if (!Globals->CreateDatabaseFiles() || !Globals->CheckDirectories()) return Fail("the station's tables or paths");
  if (!Globals->RebuildDatabase()) return Fail("the database tables could not be made");

  for (const auto& u : catalogue["users"]) {
    if (u.size() < 4) return Fail("user row without login, password and names");
    TUserInfoTable table("USER0002.DBF", 0, 1);
    if (table.AddUser(kAdminTypeId, u[0].c_str(), u[1].c_str(), u[2].c_str(), u[3].c_str()) <= 0)
      return Fail("user " + u[0]);
  }

  std::map<std::string, long> types, customers, projects;
  struct Machine {
    long id, type;
    std::string path;
  };
  std::map<std::string, Machine> machines;

  for (const auto& t : catalogue["machine types"]) {
    TcbMatyTable table("KELVMT.DBF", 0, 0);
    TcbIdAndNameRecord r;
    r.ID = NextMachineTypeId();
    std::snprintf(r.NAME, sizeof r.NAME, "%s", t[0].c_str());
    if (r.ID <= 0 || !table.Add(&r)) return Fail("machine type " + t[0]);
    types[t[0]] = r.ID;
  }
  for (const auto& c : catalogue["customers"]) {
    TcbAdvCustTable table("KELVCUS2.DBF", 0, 0);
    long id = table.Add(c[0].c_str());
    if (id <= 0) return Fail("customer " + c[0]);
    customers[c[0]] = id;
  }
  for (const auto& p : catalogue["projects"]) {
    if (p.size() < 2 || !customers.count(p[1])) return Fail("project without a known customer: " + p[0]);
    TcbProTable table("KELVPRO.DBF", 0, 0);
    TcbProRecord* r = table.Add(p[0].c_str(), customers[p[1]]);
    if (!r) return Fail("project " + p[0]);
    projects[p[0]] = r->ID;
    delete r;
  }
  for (const auto& m : catalogue["machines"]) {
    if (m.size() < 4 || !types.count(m[1])) return Fail("machine without a known type: " + m[0]);
    std::string path = root + "NC\\" + m[3] + "\\";
    TcbMachTable table("KELVMA.DBF", 0, 0);
    if (!table.Add(m[0].c_str(), types[m[1]], m[2].c_str(), path.c_str(), 0)) return Fail("machine " + m[0]);
    machines[m[0]] = {table.ExistsByName(m[0].c_str()), types[m[1]], path};
  }
  int programs = 0;
  for (const auto& p : catalogue["programs"]) {
    // file | Program-ID | machine | customer | project | part | drawing | description
    if (p.size() < 8 || !machines.count(p[2]) || !customers.count(p[3]) || !projects.count(p[4]))
      return Fail("program row with an unknown machine, customer or project: " + p[0]);
    const Machine& m = machines[p[2]];
    TcbFileRecord r;
    r.NCID = NextProgramId();
    if (r.NCID <= 0) return Fail("no program id");
    r.LONG1 = r.NCID;
    r.CUST = customers[p[3]];
    r.PROJECT = projects[p[4]];
    r.MID = m.id;
    r.MAT = m.type;
    std::snprintf(r.NAME, sizeof r.NAME, "P%ld", r.NCID);
    std::snprintf(r.EXT, sizeof r.EXT, "NC");
    std::snprintf(r.DESC, sizeof r.DESC, "%s", p[1].c_str());
    std::snprintf(r.DIR, sizeof r.DIR, "%s", m.path.c_str());
    std::snprintf(r.MACHINE, sizeof r.MACHINE, "%s", p[2].c_str());
    std::snprintf(r.PART, sizeof r.PART, "%.25s", p[5].c_str());
    std::snprintf(r.DRAW, sizeof r.DRAW, "%.25s", p[6].c_str());
    std::snprintf(r.CHAR3, sizeof r.CHAR3, "%s", p[7].c_str());
    r.PROG = 0;
    r.LOCK = 0;
    if (!CopyInto(demo + "/programs/" + p[0], m.path + r.NAME + ".NC")) return Fail("no program file " + p[0]);
    TcbFileTable table("KELVFILE.DBF", 0, 0);
    if (!table.Append(&r)) return Fail("program " + p[1]);
    ++programs;
  }
  std::printf("demo database made: %zu machine types, %zu customers, %zu projects, %zu machines, %d programs in %s\n",
              types.size(), customers.size(), projects.size(), machines.size(), programs,
              plat::to_native_path(root).c_str());
  delete Globals;
  Globals = nullptr;
  return 0;
}
