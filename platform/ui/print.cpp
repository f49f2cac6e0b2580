// TPrinter, TPrintout and the print DC: pages to a PDF, the PDF to the queue.
#include "platform/ui/print.h"

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <mutex>

#include "platform/path.h"

extern char** environ;

namespace plat {
namespace {

std::mutex g_mu;
bool g_haveDefault = false;
TPrintSetup g_default;

// A title made safe as part of a file name.
std::string file_stem(const std::string& title) {
  std::string s;
  for (unsigned char c : title) s += (std::isalnum(c) || c == '-' || c == '_') ? static_cast<char>(c) : '_';
  if (s.empty()) s = "print";
  return s.substr(0, 40);
}

// Runs the queue command without a shell, so titles and paths need no quoting.
bool hand_to_queue(const TPrintSetup& setup, const std::string& title, const std::string& file, std::string& error) {
  std::vector<std::string> args = {setup.QueueCommand, "-d", setup.Queue, "-t", title, "-n",
                                   std::to_string(std::max(1, setup.Copies)), file};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid;
  int rc = posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
  if (rc != 0) return error = "cannot run " + setup.QueueCommand + " for the print queue " + setup.Queue, false;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return error = "lost the print queue command", false;
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return error = "the print queue " + setup.Queue + " refused " + file, false;
  return true;
}

// The lines a program writes, run without a shell; false with a reason
// when it cannot be run or fails.
bool output_lines(const std::vector<std::string>& args, std::vector<std::string>& lines, std::string& error) {
  int fds[2];
  if (pipe(fds) != 0) return error = "no pipe for " + args[0], false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  posix_spawn_file_actions_addclose(&actions, fds[1]);
  std::vector<std::string> copy = args;
  std::vector<char*> argv;
  for (auto& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid;
  int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (rc != 0) {
    ::close(fds[0]);
    return error = "cannot run " + args[0], false;
  }
  std::string text;
  char buf[4096];
  for (;;) {
    ssize_t n = ::read(fds[0], buf, sizeof buf);
    if (n > 0) text.append(buf, static_cast<size_t>(n));
    else if (n == 0 || errno != EINTR) break;
  }
  ::close(fds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return error = "lost " + args[0], false;
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return error = args[0] + " found no print service", false;
  size_t start = 0;
  for (size_t nl; start < text.size(); start = nl + 1) {
    nl = text.find('\n', start);
    if (nl == std::string::npos) nl = text.size();
    std::string line = text.substr(start, nl - start);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return true;
}

const char* kPrintTemplates = R"(
dialog 1538 "Print" 0 0 180 100
  groupbox      -1   "Print range"   6  6 110 58
  radiobutton 1056   "&All"         12 18  60 10  WS_GROUP | WS_TABSTOP
  radiobutton 1058   "&Pages"       12 32  40 10
  rtext         -1   "&from:"       12 46  20  8
  edit        1152   ""             34 44  24 12
  rtext         -1   "&to:"         60 46  14  8
  edit        1153   ""             76 44  24 12
  ltext         -1   "&Copies:"      6 72  30  8
  edit        1154   "1"            40 70  24 12
  defpushbutton 1 "OK"             124  6  50 14
  pushbutton 2 "Cancel"        124 24  50 14
end
dialog 1539 "Print Setup" 0 0 220 100
  groupbox      -1   "Orientation"   6  6 100 40
  radiobutton 1056   "P&ortrait"    12 18  60 10  WS_GROUP | WS_TABSTOP
  radiobutton 1057   "&Landscape"   12 30  60 10
  checkbox    1058   "Letter paper" 12 52  80 10
  ltext         -1   "Output directory:" 6 66 70 8
  edit        1152   ""             80 64 130 12  ES_AUTOHSCROLL
  ltext         -1   "Print queue:"  6 82 70 8
  edit        1153   ""             80 80 130 12  ES_AUTOHSCROLL
  defpushbutton 1 "OK"             160  6  50 14
  pushbutton 2 "Cancel"        160 24  50 14
end
)";

// The dialogs travel with the layer; a resource directory set later does
// not lose them.
void ensure_templates() {
  static std::mutex mu;
  std::lock_guard lock(mu);
  std::string err;
  // Adding is all or nothing; a second call finds them present and adds none.
  add_dialog_templates(kPrintTemplates, "print dialogs", &err);
}

}  // namespace

void set_default_print_setup(const TPrintSetup& setup) {
  std::lock_guard lock(g_mu);
  g_default = setup;
  g_haveDefault = true;
}

TPrintSetup default_print_setup() {
  std::lock_guard lock(g_mu);
  if (g_haveDefault) return g_default;
  TPrintSetup s;
  const char* dir = std::getenv("KV_PRINT_DIR");
  s.OutputDir = dir && *dir ? dir : base_directory() + "/print";
  if (const char* q = std::getenv("KV_PRINT_QUEUE")) s.Queue = q;
  return s;
}

std::vector<std::string> printer_names(std::string& error) {
  std::vector<std::string> names;
  error.clear();
  if (!output_lines({default_print_setup().ListCommand, "-e"}, names, error)) return {};
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

}  // namespace plat

// ---- print DC ----

namespace {
int dots(int mm, int dpi) { return static_cast<int>(std::lround(mm / 25.4 * dpi)); }
}  // namespace

TPrintDC::TPrintDC(const TPrintSetup& s)
    : TDC(dots(s.Landscape ? s.PaperHeightMm : s.PaperWidthMm, s.Dpi),
          dots(s.Landscape ? s.PaperWidthMm : s.PaperHeightMm, s.Dpi), s.Dpi, s.Dpi),
      SetupData(s) {}

int TPrintDC::StartDoc(const char* name) {
  Name = name ? name : "";
  PageList.clear();
  TakeRecord();
  return 1;
}

int TPrintDC::StartPage() {
  TakeRecord();
  InPage = true;
  return 1;
}

int TPrintDC::EndPage() {
  if (!InPage) return -1;
  PageList.push_back(TakeRecord());
  InPage = false;
  return 1;
}

int TPrintDC::EndDoc() {
  if (InPage) EndPage();
  return 1;
}

void TPrintDC::AbortDoc() {
  PageList.clear();
  TakeRecord();
  InPage = false;
}

// ---- printout ----

TPrintout::TPrintout(const char* title) : Title(title ? title : "") {}

void TPrintout::GetDialogInfo(int& minPage, int& maxPage, int& selFromPage, int& selToPage) {
  minPage = 1;
  maxPage = 1;
  selFromPage = selToPage = 0;
}

void TPrintout::SetPrintParams(TPrintDC* dc, TSize pageSize) {
  DC = dc;
  PageSize = pageSize;
}

bool TPrintout::HasPage(int pageNumber) { return pageNumber == 1; }

// ---- printer ----

TPrinter::TPrinter() : SetupData(plat::default_print_setup()) {}

bool TPrinter::Fail(TWindow* parent, const std::string& what) {
  Error = what;
  ::MessageBox(parent ? parent->GetHandle() : nullptr, ("Printing failed: " + what).c_str(), "Print",
               MB_OK | MB_ICONSTOP);
  return false;
}

bool TPrinter::Print(TWindow* parent, TPrintout& printout, bool prompt) {
  Error.clear();
  File.clear();
  PageCount = 0;
  TPrintDialogData data;
  int from = 0, to = 0;
  printout.GetDialogInfo(data.MinPage, data.MaxPage, from, to);
  data.FromPage = from;
  data.ToPage = to;
  data.Copies = SetupData.Copies;
  if (prompt) {
    TPrintDialog dlg(parent, data);
    if (dlg.Execute() != IDOK) {
      Error = "cancelled";
      return false;
    }
  }
  TPrintSetup setup = SetupData;
  setup.Copies = std::max(1, data.Copies);
  TPrintDC dc(setup);
  printout.SetPrintParams(&dc, dc.DeviceSize());
  int first = data.FromPage > 0 ? data.FromPage : std::max(1, data.MinPage);
  int last = data.FromPage > 0 && data.ToPage > 0 ? data.ToPage : data.MaxPage;
  // A printout that never runs out of pages stops here.
  const int kPageLimit = 10000;
  if (last <= 0 || last - first >= kPageLimit) last = first + kPageLimit - 1;
  printout.BeginPrinting();
  printout.BeginDocument(first, last, 0);
  dc.StartDoc(printout.GetTitle());
  for (int page = first; page <= last && printout.HasPage(page); ++page) {
    dc.StartPage();
    TRect r(0, 0, dc.DeviceSize().cx, dc.DeviceSize().cy);
    printout.PrintPage(page, r, 0);
    dc.EndPage();
  }
  dc.EndDoc();
  printout.EndDocument();
  printout.EndPrinting();
  printout.SetPrintParams(nullptr, {});
  return Output(parent, setup, printout.GetTitle(), dc.Pages());
}

bool TPrinter::Submit(TWindow* parent, const TPrintDC& dc) {
  Error.clear();
  File.clear();
  PageCount = 0;
  return Output(parent, SetupData, dc.DocName(), dc.Pages());
}

bool TPrinter::Output(TWindow* parent, const TPrintSetup& setup, const std::string& title,
                      const std::vector<plat::DrawRecord>& pages) {
  PageCount = static_cast<int>(pages.size());
  if (PageCount == 0) return true;  // nothing to print is no failure

  std::string dir = plat::to_native_path(setup.OutputDir);
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (!std::filesystem::is_directory(dir)) return Fail(parent, "the output directory " + setup.OutputDir + " cannot be made");
  static std::mutex seqMu;
  static int seq = 0;
  std::string path;
  {
    std::lock_guard lock(seqMu);
    char stamp[32];
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
    // Never overwrite an earlier print of the same second.
    do {
      path = dir + "/" + plat::file_stem(title) + "-" + stamp + "-" + std::to_string(++seq) + ".pdf";
    } while (std::filesystem::exists(path, ec));
  }
  std::string err;
  if (!plat::write_pdf(path, pages, setup, err)) return Fail(parent, err);
  File = path;
  if (!setup.Queue.empty() && !plat::hand_to_queue(setup, title, path, err)) return Fail(parent, err);
  return true;
}

void TPrinter::Setup(TWindow* parent) {
  TPrintSetup copy = SetupData;
  TPrintSetupDialog dlg(parent, copy);
  if (dlg.Execute() == IDOK) SetupData = copy;
}

// ---- dialogs ----

namespace {
int number_of(TWindow& dlg, int id, int fallback) {
  char buf[32];
  dlg.GetDlgItemText(id, buf, sizeof buf);
  char* end;
  long v = std::strtol(buf, &end, 10);
  return (end == buf || *end) ? fallback : static_cast<int>(v);
}
}  // namespace

TPrintDialog::TPrintDialog(TWindow* parent, TPrintDialogData& data) : TDialog(parent, kTemplate), Data(data) {
  plat::ensure_templates();
}

void TPrintDialog::SetupWindow() {
  TDialog::SetupWindow();
  bool range = Data.FromPage > 0;
  SendDlgItemMessage(IdAll, BM_SETCHECK, range ? BST_UNCHECKED : BST_CHECKED);
  SendDlgItemMessage(IdPages, BM_SETCHECK, range ? BST_CHECKED : BST_UNCHECKED);
  int from = range ? Data.FromPage : Data.MinPage;
  int to = range ? Data.ToPage : Data.MaxPage;
  SetDlgItemText(IdFrom, std::to_string(from).c_str());
  SetDlgItemText(IdTo, to > 0 ? std::to_string(to).c_str() : "");
  SetDlgItemText(IdCopies, std::to_string(std::max(1, Data.Copies)).c_str());
}

void TPrintDialog::CmOk() {
  if (SendDlgItemMessage(IdPages, BM_GETCHECK) == BST_CHECKED) {
    int from = number_of(*this, IdFrom, Data.MinPage);
    int to = number_of(*this, IdTo, Data.MaxPage);
    int hi = Data.MaxPage > 0 ? Data.MaxPage : std::max(from, to);
    if (from < Data.MinPage || to < from || to > hi) {
      MessageBox(("Enter pages from " + std::to_string(Data.MinPage) + " to " + std::to_string(hi) + ".").c_str(),
                 "Print", MB_OK | MB_ICONINFORMATION);
      return;
    }
    Data.FromPage = from;
    Data.ToPage = to;
  } else {
    Data.FromPage = Data.ToPage = 0;
  }
  Data.Copies = std::max(1, number_of(*this, IdCopies, 1));
  TDialog::CmOk();
}

TPrintSetupDialog::TPrintSetupDialog(TWindow* parent, TPrintSetup& setup) : TDialog(parent, kTemplate), Data(setup) {
  plat::ensure_templates();
}

void TPrintSetupDialog::SetupWindow() {
  TDialog::SetupWindow();
  SendDlgItemMessage(IdPortrait, BM_SETCHECK, Data.Landscape ? BST_UNCHECKED : BST_CHECKED);
  SendDlgItemMessage(IdLandscape, BM_SETCHECK, Data.Landscape ? BST_CHECKED : BST_UNCHECKED);
  SendDlgItemMessage(IdLetter, BM_SETCHECK, Data.PaperWidthMm == 216 ? BST_CHECKED : BST_UNCHECKED);
  SetDlgItemText(IdOutputDir, Data.OutputDir.c_str());
  SetDlgItemText(IdQueue, Data.Queue.c_str());
}

void TPrintSetupDialog::CmOk() {
  Data.Landscape = SendDlgItemMessage(IdLandscape, BM_GETCHECK) == BST_CHECKED;
  bool letter = SendDlgItemMessage(IdLetter, BM_GETCHECK) == BST_CHECKED;
  Data.PaperWidthMm = letter ? 216 : 210;
  Data.PaperHeightMm = letter ? 279 : 297;
  char buf[512];
  GetDlgItemText(IdOutputDir, buf, sizeof buf);
  if (*buf) Data.OutputDir = buf;
  GetDlgItemText(IdQueue, buf, sizeof buf);
  Data.Queue = buf;
  TDialog::CmOk();
}
