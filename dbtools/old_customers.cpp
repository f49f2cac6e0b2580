// Update old customers: the customers of the older customer file
// KELVCUST.DBF are added to the customer table, each company once, so a
// second run adds nothing.
#include <set>

#include "app/frame_commands.h"
#include "appcore/globals.h"
#include "appcore/log_text.h"
#include "dbmodel/customer.h"
#include "dbtools/maintenance.h"
#include "dbtools/table_rewrite.h"
#include "platform/file.h"
#include "platform/msgbox.h"
#include "platform/ui/window.h"

namespace {

constexpr const char* kOldCustomers = "KELVCUST.DBF";
constexpr const char* kCustomers = "KELVCUS2.DBF";
constexpr int kOldNameField = 2;
constexpr int kCompanyField = 6;
constexpr std::size_t kCompanyWidth = 40;

std::string Company(std::string name) {
  if (name.size() > kCompanyWidth) name.resize(kCompanyWidth);
  name.erase(name.find_last_not_of(' ') + 1);
  return name;
}

// The names of the live rows of a table's field; the walk's result.
TRewriteResult Names(const std::string& path, int field, std::vector<std::string>& names) {
  return RewriteTable(path, field,
                      [&](DbDataFile*, const std::string& text) -> std::optional<std::string> {
                        names.push_back(text);
                        return std::nullopt;
                      },
                      true);
}

}  // namespace

void CmUpdateOldCustomers(TFrameWindow& frame) {
  auto box = [&](const std::string& text, UINT icon) {
    ::MessageBox(frame.GetHandle(), text.c_str(), Globals->CaptionText.c_str(), MB_OK | icon);
  };
  std::vector<std::string> old, current;
  TRewriteResult r = Names(Globals->DatabaseDir + kOldCustomers, kOldNameField, old);
  if (!r.present) {
    box(FormatLogValues(Globals->GetMessageText(kMsgOldCustomersMissing), {r.file}), MB_ICONEXCLAMATION);
    return;
  }
  TRewriteResult c = Names(Globals->DatabaseDir + kCustomers, kCompanyField, current);
  if (r.outcome != TTableOutcome::Done || !c.present || c.outcome != TTableOutcome::Done) {
    box(MaintenanceSummary({{r.file, r.outcome, r.why}, {c.file, c.present ? c.outcome : TTableOutcome::Failed, c.why}}),
        MB_ICONEXCLAMATION);
    return;
  }
  std::set<std::string> known;
  for (const auto& name : current) known.insert(Company(name));
  int added = 0, there = 0;
  std::string failed;
  TcbAdvCustTable customers(kCustomers, 0, 0);
  for (const auto& name : old) {
    const std::string company = Company(name);
    if (company.empty() || known.count(company)) {
      ++there;
      continue;
    }
    if (customers.Add(company.c_str()) == 0) {
      failed += "\r\n" + company;
      continue;
    }
    known.insert(company);
    ++added;
  }
  std::string text =
      FormatLogValues(Globals->GetMessageText(kMsgOldCustomersSummary), {std::to_string(added), std::to_string(there)});
  if (!failed.empty()) text += "\r\n\r\n" + Globals->GetMessageText(kMsgMaintenanceFailedHeading) + failed;
  box(text, failed.empty() ? MB_ICONINFORMATION : MB_ICONEXCLAMATION);
}
