// The edit control (LEdit32, headless in the window model) against
// wxStyledTextCtrl on the same generated NC programs: open, go to the last
// line (painted), replace all of one word, undo all, save; typing and a
// page scroll in the middle of a 1 MB and of a 100 MB text; the memory
// each holds after opening, against the file's size. Printed at the end:
// a table of medians with the ratio ours / peer.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <wx/app.h>
#include <wx/frame.h>
#include <wx/init.h>
#include <wx/stc/stc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include "platform/ledit/control.h"
#include "platform/ui/accel.h"
#include "platform/ui/dc.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const char* const kWord = "G00";
const char* const kWith = "G0";

fs::path g_dir;
std::map<std::string, std::vector<double>> g_figures;  // "step/tool" -> seconds per run
std::map<std::string, double> g_memory;                // tool -> bytes held after opening

double since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

long rss_bytes() {
  std::ifstream in("/proc/self/statm");
  long pages = 0, resident = 0;
  in >> pages >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

// An NC program of about mb megabytes: moves with coordinates, a rapid
// (the word replaced) on one line in ten.
std::string make_program(int mb) {
  fs::path p = g_dir / ("P" + std::to_string(mb) + ".NC");
  if (fs::exists(p)) return p.string();
  std::mt19937 rng(mb);
  std::uniform_int_distribution<int> coord(-500000, 500000), pick(0, 9);
  std::string out;
  out.reserve(static_cast<size_t>(mb) << 20);
  char line[96];
  for (long n = 1; out.size() < (static_cast<size_t>(mb) << 20); ++n) {
    int k = std::snprintf(line, sizeof line, "N%ld %s X%.3f Y%.3f Z%.3f\r\n", n * 10, pick(rng) ? "G01" : kWord,
                          coord(rng) / 1000.0, coord(rng) / 1000.0, coord(rng) / 10000.0);
    out.append(line, k);
  }
  std::ofstream(p, std::ios::binary) << out;
  return p.string();
}

// ---- our control -----------------------------------------------------------------

struct Ours {
  TWindow parent{nullptr, "bench"};
  LEditControl* edit = nullptr;
  Ours() {
    parent.Attr.Style = WS_OVERLAPPEDWINDOW;
    parent.Create();
    edit = new LEditControl(&parent, 1, nullptr, 0, 0, 800, 600);
    edit->Create();
  }
  ~Ours() { parent.Destroy(); }
  HWND h() const { return edit->GetHandle(); }
  void go_to_line(size_t line1) {
    SelectionRange r{0, 0, static_cast<uint32_t>(line1), static_cast<uint32_t>(line1)};
    ::SendMessage(h(), LEM_SETSEL, 0, reinterpret_cast<LPARAM>(&r));
    plat::paint_window(*edit);
  }
};

void OursWhole(benchmark::State& state) {
  std::string file = make_program(100);
  std::string out = (g_dir / "OUT_OURS.NC").string();
  for (auto _ : state) {
    Ours o;
    long before = rss_bytes();
    auto t0 = Clock::now();
    if (::SendMessage(o.h(), LEM_LOADFILE, 0, reinterpret_cast<LPARAM>(file.c_str())) != 0) state.SkipWithError("load");
    g_figures["open/ours"].push_back(since(t0));
    g_memory["ours"] = static_cast<double>(rss_bytes() - before);
    t0 = Clock::now();
    o.go_to_line(static_cast<size_t>(::SendMessage(o.h(), LEM_GETLINECOUNT, 0, 0)));
    g_figures["last line/ours"].push_back(since(t0));
    t0 = Clock::now();
    size_t n = o.edit->Doc().replace_all(kWord, kWith, true, true, 0, o.edit->Doc().length());
    g_figures["replace all/ours"].push_back(since(t0));
    state.counters["replaced"] = static_cast<double>(n);
    t0 = Clock::now();
    while (::SendMessage(o.h(), LEM_CANDO, LEC_UNDO, 0)) ::SendMessage(o.h(), LEM_UNDO, 0, 0);
    g_figures["undo all/ours"].push_back(since(t0));
    t0 = Clock::now();
    if (::SendMessage(o.h(), LEM_SAVEFILE, 0, reinterpret_cast<LPARAM>(out.c_str())) != 0) state.SkipWithError("save");
    g_figures["save/ours"].push_back(since(t0));
  }
}

// Typing one character and scrolling a page in the middle of the text,
// with the window painted each time.
void OursTyping(benchmark::State& state) {
  std::string file = make_program(static_cast<int>(state.range(0)));
  Ours o;
  ::SendMessage(o.h(), LEM_LOADFILE, 0, reinterpret_cast<LPARAM>(file.c_str()));
  o.go_to_line(static_cast<size_t>(::SendMessage(o.h(), LEM_GETLINECOUNT, 0, 0)) / 2);
  bool down = true;
  for (auto _ : state) {
    ::SendMessage(o.h(), WM_CHAR, 'X', 0);
    ::SendMessage(o.h(), WM_KEYDOWN, down ? VK_NEXT : VK_PRIOR, 0);
    down = !down;
    plat::paint_window(*o.edit);
  }
}

// ---- the peer --------------------------------------------------------------------

wxFrame* g_frame = nullptr;

wxStyledTextCtrl* peer() {
  auto* stc = new wxStyledTextCtrl(g_frame, wxID_ANY, wxPoint(0, 0), wxSize(800, 600));
  stc->SetUndoCollection(true);
  return stc;
}

void PeerWhole(benchmark::State& state) {
  std::string file = make_program(100);
  std::string out = (g_dir / "OUT_PEER.NC").string();
  for (auto _ : state) {
    wxStyledTextCtrl* s = peer();
    long before = rss_bytes();
    auto t0 = Clock::now();
    if (!s->LoadFile(file)) state.SkipWithError("load");
    g_figures["open/peer"].push_back(since(t0));
    g_memory["peer"] = static_cast<double>(rss_bytes() - before);
    t0 = Clock::now();
    s->GotoLine(s->GetLineCount() - 1);
    s->Update();
    g_figures["last line/peer"].push_back(since(t0));
    t0 = Clock::now();
    s->BeginUndoAction();
    s->SetSearchFlags(wxSTC_FIND_MATCHCASE | wxSTC_FIND_WHOLEWORD);
    s->SetTargetRange(0, s->GetLength());
    long n = 0;
    std::string with = kWith;
    while (s->SearchInTarget(kWord) >= 0) {
      s->ReplaceTarget(with);
      s->SetTargetRange(s->GetTargetEnd(), s->GetLength());
      ++n;
    }
    s->EndUndoAction();
    g_figures["replace all/peer"].push_back(since(t0));
    state.counters["replaced"] = static_cast<double>(n);
    t0 = Clock::now();
    while (s->CanUndo()) s->Undo();
    g_figures["undo all/peer"].push_back(since(t0));
    t0 = Clock::now();
    if (!s->SaveFile(out)) state.SkipWithError("save");
    g_figures["save/peer"].push_back(since(t0));
    s->Destroy();
  }
}

void PeerTyping(benchmark::State& state) {
  std::string file = make_program(static_cast<int>(state.range(0)));
  wxStyledTextCtrl* s = peer();
  s->LoadFile(file);
  s->GotoLine(s->GetLineCount() / 2);
  bool down = true;
  for (auto _ : state) {
    s->AddText("X");
    if (down) s->PageDown();
    else s->PageUp();
    down = !down;
    s->Update();
  }
  s->Destroy();
}

BENCHMARK(OursWhole)->Iterations(1)->Repetitions(3)->Unit(benchmark::kSecond)->ReportAggregatesOnly(true);
BENCHMARK(PeerWhole)->Iterations(1)->Repetitions(3)->Unit(benchmark::kSecond)->ReportAggregatesOnly(true);
BENCHMARK(OursTyping)->Arg(1)->Arg(100)->Unit(benchmark::kMicrosecond);
BENCHMARK(PeerTyping)->Arg(1)->Arg(100)->Unit(benchmark::kMicrosecond);

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// A display for the peer: ours when set, else a private Xvfb.
pid_t start_display() {
  if (getenv("DISPLAY")) return 0;
  pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    execl("/usr/bin/Xvfb", "Xvfb", ":97", "-screen", "0", "1024x768x24", "-nolisten", "tcp", nullptr);
    _exit(127);
  }
  setenv("DISPLAY", ":97", 1);
  for (int i = 0; i < 100 && !fs::exists("/tmp/.X11-unix/X97"); ++i) usleep(50000);
  usleep(200000);
  return pid;
}

}  // namespace

int main(int argc, char** argv) {
  pid_t xvfb = start_display();
  g_dir = fs::temp_directory_path() / ("kv_bench_ledit_" + std::to_string(getpid()));
  fs::create_directories(g_dir);
  int wxArgc = 1;
  char* wxArgv[] = {argv[0], nullptr};
  wxApp::SetInstance(new wxApp());
  if (!wxEntryStart(wxArgc, wxArgv) || !wxTheApp->CallOnInit()) {
    std::fprintf(stderr, "no display for the peer\n");
    return 1;
  }
  g_frame = new wxFrame(nullptr, wxID_ANY, "peer", wxPoint(0, 0), wxSize(820, 640));
  g_frame->Show();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  std::printf("\n%-14s %10s %10s %8s\n", "100 MB text", "ours s", "peer s", "ratio");
  for (const char* step : {"open", "last line", "replace all", "undo all", "save"}) {
    double a = median(g_figures[std::string(step) + "/ours"]), b = median(g_figures[std::string(step) + "/peer"]);
    std::printf("%-14s %10.3f %10.3f %8.2f\n", step, a, b, b > 0 ? a / b : 0.0);
  }
  std::error_code ec;
  double size = static_cast<double>(fs::file_size(g_dir / "P100.NC", ec));
  std::printf("%-14s %9.2fx %9.2fx   (memory held after opening / file size)\n", "memory", g_memory["ours"] / size,
              g_memory["peer"] / size);
  g_frame->Destroy();
  wxEntryCleanup();
  fs::remove_all(g_dir, ec);
  if (xvfb > 0) kill(xvfb, SIGTERM), waitpid(xvfb, nullptr, 0);
  return 0;
}
