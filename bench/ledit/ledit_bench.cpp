// The edit control (LEdit32, headless in the window model) against
// wxStyledTextCtrl on the same generated NC programs: open, go to the last
// line (painted), replace all of one word, save (each side five times, in
// turn with the other), undo all; typing and a
// page scroll in the middle of a 1 MB and of a 100 MB text, both painting
// into the same display; the memory
// each holds after opening, against the file's size. The peer is driven as
// a careful user of it would: the file's bytes added raw with undo
// collection off, the replacements by target search with modification
// events off, the save straight from its character pointer with one
// fwrite. Every run checks both did the same work: equal replacement
// counts, equal saved files, and after undo all both texts equal to the
// file again; a difference fails the run. Printed at the end: a table of
// medians with the ratio ours / peer.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <wx/app.h>
#include <wx/frame.h>
#include <wx/dcclient.h>
#include <wx/init.h>
#include <wx/panel.h>
#include <wx/stc/stc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include "bench/outputs.h"
#include "platform/ledit/control.h"
#include "platform/ui/accel.h"
#include "platform/ui/dc.h"
#include "platform/ui/dc_render.h"
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

// Pages written before leave the disk's queue before a save is timed, so
// neither side pays for the other's writes.
void settle_disk() { ::sync(); }

// Each side's steps on the 100 MB text, timed into g_figures; false when a
// load or save failed.
struct OursSide {
  Ours o;
  long replaced = -1;
  bool load(const std::string& file) {
    long before = rss_bytes();
    auto t0 = Clock::now();
    if (::SendMessage(o.h(), LEM_LOADFILE, 0, reinterpret_cast<LPARAM>(file.c_str())) != 0) return false;
    g_figures["open/ours"].push_back(since(t0));
    g_memory["ours"] = static_cast<double>(rss_bytes() - before);
    t0 = Clock::now();
    o.go_to_line(static_cast<size_t>(::SendMessage(o.h(), LEM_GETLINECOUNT, 0, 0)));
    g_figures["last line/ours"].push_back(since(t0));
    return true;
  }
  void replace() {
    auto t0 = Clock::now();
    replaced = static_cast<long>(o.edit->Doc().replace_all(kWord, kWith, true, true, 0, o.edit->Doc().length()));
    g_figures["replace all/ours"].push_back(since(t0));
  }
  bool save(const std::string& out) {
    settle_disk();
    auto t0 = Clock::now();
    if (::SendMessage(o.h(), LEM_SAVEFILE, 0, reinterpret_cast<LPARAM>(out.c_str())) != 0) return false;
    g_figures["save/ours"].push_back(since(t0));
    return true;
  }
  bool undo_all(const std::string& original) {
    auto t0 = Clock::now();
    while (::SendMessage(o.h(), LEM_CANDO, LEC_UNDO, 0)) ::SendMessage(o.h(), LEM_UNDO, 0, 0);
    g_figures["undo all/ours"].push_back(since(t0));
    return kvbench::same_bytes("ours after undo all", o.edit->Doc().all(), original, true);
  }
};

// ---- the peer --------------------------------------------------------------------

wxFrame* g_frame = nullptr;

wxStyledTextCtrl* peer() {
  return new wxStyledTextCtrl(g_frame, wxID_ANY, wxPoint(0, 0), wxSize(800, 600));
}

// The file's bytes added raw in large pieces into room made for them,
// nothing recorded for undo; the text unmodified afterwards.
bool peer_load(wxStyledTextCtrl* s, const std::string& file) {
  FILE* f = std::fopen(file.c_str(), "rb");
  if (!f) return false;
  std::error_code ec;
  s->Allocate(static_cast<int>(fs::file_size(file, ec)) + 1);
  s->SetUndoCollection(false);
  std::vector<char> piece(4 << 20);
  for (size_t n; (n = std::fread(piece.data(), 1, piece.size(), f)) > 0;) s->AddTextRaw(piece.data(), static_cast<int>(n));
  bool ok = !std::ferror(f);
  std::fclose(f);
  s->SetUndoCollection(true);
  s->EmptyUndoBuffer();
  s->SetSavePoint();
  return ok;
}

bool peer_save(wxStyledTextCtrl* s, const std::string& file) {
  FILE* f = std::fopen(file.c_str(), "wb");
  if (!f) return false;
  size_t n = static_cast<size_t>(s->GetLength());
  bool ok = std::fwrite(s->GetCharacterPointer(), 1, n, f) == n;
  return std::fclose(f) == 0 && ok;
}

struct PeerSide {
  wxStyledTextCtrl* s = peer();
  long replaced = -1;
  int mask = s->GetModEventMask();
  ~PeerSide() { s->Destroy(); }
  bool load(const std::string& file) {
    long before = rss_bytes();
    auto t0 = Clock::now();
    if (!peer_load(s, file)) return false;
    g_figures["open/peer"].push_back(since(t0));
    g_memory["peer"] = static_cast<double>(rss_bytes() - before);
    t0 = Clock::now();
    s->GotoLine(s->GetLineCount() - 1);
    s->Update();
    g_figures["last line/peer"].push_back(since(t0));
    return true;
  }
  void replace() {
    auto t0 = Clock::now();
    s->SetModEventMask(0);
    s->BeginUndoAction();
    s->SetSearchFlags(wxSTC_FIND_MATCHCASE | wxSTC_FIND_WHOLEWORD);
    s->SetTargetRange(0, s->GetLength());
    long n = 0;
    const std::string with = kWith;
    const wxString word = kWord;
    while (s->SearchInTarget(word) >= 0) {
      s->ReplaceTargetRaw(with.data(), static_cast<int>(with.size()));
      s->SetTargetRange(s->GetTargetEnd(), s->GetLength());
      ++n;
    }
    s->EndUndoAction();
    s->SetModEventMask(mask);
    g_figures["replace all/peer"].push_back(since(t0));
    replaced = n;
  }
  bool save(const std::string& out) {
    settle_disk();
    auto t0 = Clock::now();
    if (!peer_save(s, out)) return false;
    g_figures["save/peer"].push_back(since(t0));
    return true;
  }
  bool undo_all(const std::string& original) {
    auto t0 = Clock::now();
    s->SetModEventMask(0);
    while (s->CanUndo()) s->Undo();
    s->SetModEventMask(mask);
    g_figures["undo all/peer"].push_back(since(t0));
    return kvbench::same_bytes("peer after undo all", std::string_view(s->GetCharacterPointer(), s->GetLength()),
                               original, true);
  }
};

// ---- both on the same text -----------------------------------------------------------

// Each repetition runs both sides on the same text, the one first that
// went second before, saves each several times in turn, and checks their
// outputs against each other.
constexpr int kSaves = 5;

void Whole(benchmark::State& state) {
  std::string file = make_program(100);
  const std::string original = kvbench::read_file(file);
  const std::string outOurs = (g_dir / "OUT_OURS.NC").string(), outPeer = (g_dir / "OUT_PEER.NC").string();
  static int round = 0;
  for (auto _ : state) {
    const bool oursFirst = !kvbench::peer_first(round++);
    OursSide ours;
    PeerSide theirs;
    bool ok = true;
    for (int k = 0; k < 2; ++k) {
      if ((k == 0) == oursFirst) {
        ok = ok && ours.load(file);
        ours.replace();
      } else {
        ok = ok && theirs.load(file);
        theirs.replace();
      }
    }
    if (!ok) {
      kvbench::fail(state, "a load failed");
      return;
    }
    state.counters["replaced"] = static_cast<double>(ours.replaced);
    if (ours.replaced != theirs.replaced) {
      std::printf("replace all: %ld replaced, the peer %ld\n", ours.replaced, theirs.replaced);
      kvbench::fail(state, "the replacement counts differ");
      return;
    }
    for (int k = 0; k < 2 * kSaves; ++k) ok = ok && ((k % 2 == 0) == oursFirst ? ours.save(outOurs) : theirs.save(outPeer));
    if (!ok) {
      kvbench::fail(state, "a save failed");
      return;
    }
    bool same = kvbench::same_files("saved after replace all", outOurs, outPeer, true);
    same = ours.undo_all(original) && same;
    same = theirs.undo_all(original) && same;
    if (!same) {
      kvbench::fail(state, "the outputs differ");
      return;
    }
  }
}

// Typing in the middle of the 100 MB text just opened: each keystroke
// timed with the repaint that shows it on the display, the first ones
// included (where a text kept in one block pays for making room). Our
// control is shown as the program's renderer shows it: a panel whose paint
// replays with cairo what the control painted; the peer paints itself. Both
// type the same characters at the same place, in turn, the one first that
// went second before; afterwards each text must be the file with them put
// in there, or the run fails.
constexpr int kKeystrokes = 20;

struct OursOnScreen {
  Ours o;
  wxPanel* panel = new wxPanel(g_frame, wxID_ANY, wxPoint(0, 0), wxSize(800, 600));
  OursOnScreen() {
    panel->Bind(wxEVT_PAINT, [this](wxPaintEvent&) {
      wxPaintDC dc(panel);
      const plat::DrawRecord record = plat::paint_window(*o.edit);
      if (auto* cr = static_cast<cairo_t*>(dc.GetImpl()->GetCairoContext())) plat::render_record(cr, record, 1.0);
    });
  }
  ~OursOnScreen() { panel->Destroy(); }
  void show() {
    panel->Refresh(false);
    panel->Update();
  }
};

// The text typed: one letter a keystroke.
std::string typed_text() {
  std::string typed;
  for (int k = 0; k < kKeystrokes; ++k) typed += static_cast<char>('A' + k % 26);
  return typed;
}

// Our side; line (from 0) the middle of the text, found by our control.
bool type_ours(const std::string& file, const std::string& original, size_t& line) {
  const std::string typed = typed_text();
  OursOnScreen screen;
  Ours& o = screen.o;
  if (::SendMessage(o.h(), LEM_LOADFILE, 0, reinterpret_cast<LPARAM>(file.c_str())) != 0) return false;
  line = static_cast<size_t>(::SendMessage(o.h(), LEM_GETLINECOUNT, 0, 0)) / 2;
  o.go_to_line(line + 1);
  screen.show();
  for (int k = 0; k < kKeystrokes; ++k) {
    auto t0 = Clock::now();
    ::SendMessage(o.h(), WM_CHAR, static_cast<unsigned char>(typed[k]), 0);
    screen.show();
    const double s = since(t0);
    g_figures["keystroke/ours"].push_back(s);
    if (k == 0) g_figures["first keystroke/ours"].push_back(s);
  }
  const size_t at = o.edit->Doc().line_start(line);
  return kvbench::same_bytes("ours after typing", o.edit->Doc().all(), original.substr(0, at) + typed + original.substr(at),
                             true);
}

bool type_peer(const std::string& file, const std::string& original, size_t line) {
  const std::string typed = typed_text();
  wxStyledTextCtrl* s = peer();
  if (!peer_load(s, file)) {
    s->Destroy();
    return false;
  }
  s->GotoLine(static_cast<int>(line));
  s->Update();
  for (int k = 0; k < kKeystrokes; ++k) {
    auto t0 = Clock::now();
    s->AddText(wxString(1, typed[k]));
    s->Update();
    const double t = since(t0);
    g_figures["keystroke/peer"].push_back(t);
    if (k == 0) g_figures["first keystroke/peer"].push_back(t);
  }
  const size_t at = static_cast<size_t>(s->PositionFromLine(static_cast<int>(line)));
  const bool same = kvbench::same_bytes("peer after typing", std::string_view(s->GetCharacterPointer(), s->GetLength()),
                                        original.substr(0, at) + typed + original.substr(at), true);
  s->Destroy();
  return same;
}

void Typing(benchmark::State& state) {
  const std::string file = make_program(100);
  const std::string original = kvbench::read_file(file);
  static int round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const bool peerFirst = kvbench::peer_first(round++);
    size_t line = 0;
    // The peer types where ours did: the line is ours to find, untimed.
    if (peerFirst) {
      Ours o;
      if (::SendMessage(o.h(), LEM_LOADFILE, 0, reinterpret_cast<LPARAM>(file.c_str())) != 0)
        return kvbench::fail(state, "our load failed");
      line = static_cast<size_t>(::SendMessage(o.h(), LEM_GETLINECOUNT, 0, 0)) / 2;
    }
    for (int k = 0; k < 2; ++k)
      if ((k == 0) != peerFirst) {
        if (!type_ours(file, original, line))
          return kvbench::fail(state, "our text after typing is not the file with the keys typed");
      } else if (!type_peer(file, original, line)) {
        return kvbench::fail(state, "the peer's text after typing is not the file with the keys typed");
      }
    state.ResumeTiming();
  }
}

KV_BENCHMARK(Whole, 5)->Iterations(1)->Unit(benchmark::kSecond);
KV_BENCHMARK(Typing, 5)->Iterations(1)->Unit(benchmark::kSecond);

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
  g_dir = kvbench::scratch_root() / ("kv_bench_ledit_" + std::to_string(getpid()));
  fs::create_directories(g_dir);
  int wxArgc = 1;
  char* wxArgv[] = {argv[0], nullptr};
  // A failed assertion in the toolkit ends the run instead of waiting on
  // a dialog no one answers.
  wxSetAssertHandler([](const wxString& file, int line, const wxString&, const wxString& cond, const wxString& msg) {
    std::fprintf(stderr, "wx assertion %s:%d: %s %s\n", file.utf8_str().data(), line, cond.utf8_str().data(),
                 msg.utf8_str().data());
    std::abort();
  });
  wxApp::SetInstance(new wxApp());
  if (!wxEntryStart(wxArgc, wxArgv) || !wxTheApp->CallOnInit()) {
    std::fprintf(stderr, "no display for the peer\n");
    return 1;
  }
  g_frame = new wxFrame(nullptr, wxID_ANY, "peer", wxPoint(0, 0), wxSize(820, 640));
  g_frame->Show();
  kvbench::MedianReporter reporter;
  reporter.run(argc, argv);

  std::printf("\n%-16s %10s %10s %8s   %s\n", "100 MB text", "ours", "peer", "ratio", "(fastest-slowest, ours / peer)");
  for (const char* step : {"open", "last line", "replace all", "undo all", "save", "keystroke", "first keystroke"}) {
    const auto& ours = g_figures[std::string(step) + "/ours"];
    const auto& peer = g_figures[std::string(step) + "/peer"];
    if (ours.empty() || peer.empty()) continue;
    // Keystrokes in milliseconds, the rest in seconds.
    const bool key = std::strstr(step, "keystroke") != nullptr;
    const double k = key ? 1e3 : 1;
    double a = median(ours), b = median(peer);
    auto [oLo, oHi] = std::minmax_element(ours.begin(), ours.end());
    auto [pLo, pHi] = std::minmax_element(peer.begin(), peer.end());
    std::printf("%-16s %8.3f %s %8.3f %s %8.2f   (%.3f-%.3f / %.3f-%.3f, %zu runs)\n", step, a * k, key ? "ms" : "s ",
                b * k, key ? "ms" : "s ", b > 0 ? a / b : 0.0, *oLo * k, *oHi * k, *pLo * k, *pHi * k, ours.size());
  }
  std::error_code ec;
  double size = static_cast<double>(fs::file_size(g_dir / "P100.NC", ec));
  std::printf("%-14s %9.2fx %9.2fx   (memory held after opening / file size)\n", "memory", g_memory["ours"] / size,
              g_memory["peer"] / size);
  if (!g_figures["open/ours"].empty() && kvbench::verdict() == 0)
    std::printf("replace all, save, undo all: outputs equal in every run (%zu runs, %zu saves each side)\n",
                g_figures["open/ours"].size(), g_figures["save/ours"].size());
  g_frame->Destroy();
  wxEntryCleanup();
  fs::remove_all(g_dir, ec);
  if (xvfb > 0) kill(xvfb, SIGTERM), waitpid(xvfb, nullptr, 0);
  return kvbench::verdict();
}
