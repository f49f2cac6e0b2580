// The program list file; see program_list_file.h.
#include "dbtools/program_list_file.h"

#include "appcore/globals.h"
#include "dbmodel/text_helpers.h"
#include "platform/file.h"

namespace {

// A new file beside the list that no other writer holds; closed File and
// *error set when none can be made.
plat::File CreateBeside(const std::string& path, std::string& tempPath, int* error) {
  for (int i = 0; i < 100; ++i) {
    tempPath = path + (i ? FormatText(".%d.tmp", i) : std::string(".tmp"));
    plat::File f = plat::create_file(tempPath, plat::Access::write, plat::Share::none,
                                     plat::Disposition::create_new, error);
    if (f.is_open() || *error != plat::error_exists) return f;
  }
  return {};
}

}  // namespace

TProgramLabels TProgramLabels::FromMessages() {
  return {Globals->GetMessageText(kMsgColumnProgramId), Globals->GetMessageText(kMsgColumnMachine),
          Globals->GetMessageText(kMsgLabelDescription), Globals->GetMessageText(kMsgColumnDrawingNo),
          Globals->GetMessageText(kMsgColumnPartNo), Globals->GetMessageText(kMsgLabelProgramFile)};
}

std::string ProgramListLine(const TcbFileRecord& p, const TProgramLabels& l) {
  return FormatText("%s : %-40s, %s : %-20s, %s : %-50s, %s : %-25s, %s : %-25s, %s : %s\r\n", l.Desc.c_str(),
                    p.DESC, l.Machine.c_str(), p.MACHINE, l.Char3.c_str(), p.CHAR3, l.Draw.c_str(), p.DRAW,
                    l.Part.c_str(), p.PART, l.File.c_str(), p.FilePath().c_str());
}

std::string ProgramListPath(TProgramSet kind, const std::string& itemName) {
  const int heading = kind == TProgramSet::Customer  ? kMsgListCustomerHeading
                      : kind == TProgramSet::Project ? kMsgListProjectHeading
                                                     : kMsgListMachineHeading;
  return Globals->ExportDir + "\\" + Globals->GetMessageText(heading) + " " + SafeNamePart(itemName) + ".lst";
}

bool WriteProgramListFile(const std::string& path, const TProgramList& programs, std::string& error) {
  const TProgramLabels labels = TProgramLabels::FromMessages();
  std::string text;
  for (const auto& p : programs) text += ProgramListLine(*p, labels);
  std::string temp;
  int code = 0;
  plat::File f = CreateBeside(path, temp, &code);
  if (!f.is_open()) {
    error = plat::error_text(code);
    return false;
  }
  bool ok = plat::write(f, text.data(), text.size()) == static_cast<int64_t>(text.size());
  if (!ok) code = plat::last_error();
  if (!plat::close(f) && ok) ok = false, code = plat::last_error();
  if (ok && !plat::copy_file(temp, path, false)) ok = false, code = plat::last_error();
  plat::delete_file(temp);
  if (!ok) error = plat::error_text(code);
  return ok;
}
