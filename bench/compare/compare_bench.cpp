// The compare library against GNU diff on the same generated file pairs, in
// one run: NC programs of 100,000 and 1,000,000 lines differing in scattered
// places (two generators), and the hard pairs: identical files of one line
// repeated, the same with 20 edits, files with no line in common, and 20,000
// lines of 8 KB. diff runs as an external process, as a user would run it,
// with -H (--speed-large-files), which is meant for large files with
// scattered small changes and makes it faster on them.
//
// Printed at the end, per pair: the median times and their ratio, the peak
// memory of each and the number of lines each tool kept unchanged. Memory is
// measured in fresh small processes (this program started again with
// --peak-telmix or --peak-diff), since a forked child inherits its parent's
// peak: diff's from its own process, the library's as the growth of the
// peak over the resident size before the call. The host stub keeps no item
// texts, so the library's figure is what the library itself holds.
//
// The two cannot list the same steps (the library links unique lines and
// shows a moved block as deleted and inserted; diff keeps a longest common
// subsequence), so their outputs are compared by what they say: after the
// timed runs, each pair is compared once more with the item texts kept.
// Every timed run must have said the same as that one: the library as many
// unchanged steps, diff the same bytes.
// The library's old side must be the old file and its new side the new
// file, line for line, with both texts of every unchanged step equal; the
// old file with diff's commands applied must be the same new file. Any
// difference fails the run.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/outputs.h"
#include "compare/telmix.h"
#include "platform/plugin_abi.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

struct Pair {
  std::string name;
  std::string oldFile, newFile;
  long oldLines = 0;
};

std::vector<Pair> g_pairs;
long g_sameItems = 0;

// The lines each side of a comparison shows, '\n' after each; the
// placeholders of the side without a line are left out.
struct Shown {
  std::string oldSide, newSide;
  std::string lastSame;      // old text of the unchanged step being added
  long unequalSame = 0;      // unchanged steps whose two texts differ

  void Add(bool oldList, const char* item) {
    const int type = item[0] - '0';
    const char* text = item + 3;  // after "%d@@"
    if (oldList) {
      if (type != 3) oldSide.append(text).push_back('\n');
      if (type == 0) lastSame = text;
    } else {
      if (type != 2) newSide.append(text).push_back('\n');
      if (type == 0 && lastSame != text) ++unequalSame;
    }
  }
};
Shown* g_shown = nullptr;  // set while a comparison is checked

// Host stub: counts the unchanged steps on the old side; keeps the texts
// only while a comparison is checked.
LRESULT CountItem(HWND hwnd, UINT, WPARAM, LPARAM lparam) {
  const char* text = reinterpret_cast<const char*>(lparam);
  if (hwnd == reinterpret_cast<HWND>(1) && text[0] == '0') ++g_sameItems;
  if (g_shown) g_shown->Add(hwnd == reinterpret_cast<HWND>(1), text);
  return 0;
}
struct kv_plugin_host g_host{sizeof(struct kv_plugin_host), &CountItem, nullptr, nullptr, nullptr};

kv_compare_fn LoadTelmix() {
  void* lib = dlopen(TELMIX_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  if (!lib) return nullptr;
  auto** slot = static_cast<const struct kv_plugin_host**>(dlsym(lib, KV_PLUGIN_HOST_SYMBOL));
  if (!slot) return nullptr;
  *slot = &g_host;
  return reinterpret_cast<kv_compare_fn>(dlsym(lib, KV_COMPARE_ENTRY));
}

std::string NcLine(std::mt19937& rng, long n) {
  static const char* const repeated[] = {"G0 Z5.", "M3 S1200", "G1 Z-2. F100", "(FINISH)", "M5", "M8", "G90 G54"};
  std::uniform_int_distribution<int> pick(0, 19), coord(-50000, 50000), feed(1, 40);
  if (pick(rng) == 0) return repeated[pick(rng) % 7];
  char line[96];
  std::snprintf(line, sizeof line, "N%ld G1 X%.3f Y%.3f F%d", n * 10, coord(rng) / 1000.0, coord(rng) / 1000.0,
                feed(rng) * 50);
  return line;
}

void WriteLines(const std::string& file, const Lines& lines, const char* end) {
  std::ofstream out(file, std::ios::binary);
  for (const auto& line : lines) out << line << end;
}

Pair Files(const fs::path& dir, const std::string& name, const Lines& oldLines, const Lines& newLines,
           const char* end = "\r\n") {
  Pair pair{name, (dir / (name + ".old")).string(), (dir / (name + ".new")).string(),
            static_cast<long>(oldLines.size())};
  WriteLines(pair.oldFile, oldLines, end);
  WriteLines(pair.newFile, newLines, end);
  return pair;
}

// A program and a copy with a change, an insertion or a deletion every few
// hundred lines and a few moved blocks.
Pair NcEdits(const fs::path& dir, long lines) {
  std::mt19937 rng(static_cast<unsigned>(lines));
  Lines oldLines, newLines;
  oldLines.reserve(lines);
  for (long n = 1; n <= lines; ++n) oldLines.push_back(NcLine(rng, n));
  std::uniform_int_distribution<int> edit(0, 599);
  for (long n = 0; n < lines; ++n) {
    switch (edit(rng)) {
      case 0: newLines.push_back(NcLine(rng, n + 1) + " M8"); break;  // changed
      case 1: break;                                                 // deleted
      case 2: newLines.push_back("G4 P0.5"); newLines.push_back(oldLines[n]); break;  // inserted
      default: newLines.push_back(oldLines[n]);
    }
  }
  std::uniform_int_distribution<std::size_t> at(0, newLines.size() - 40);
  for (int moves = 0; moves < 5; ++moves) {
    const std::size_t from = at(rng), length = 30;
    Lines block(newLines.begin() + from, newLines.begin() + from + length);
    newLines.erase(newLines.begin() + from, newLines.begin() + from + length);
    const std::size_t to = at(rng);
    newLines.insert(newLines.begin() + to, block.begin(), block.end());
  }
  return Files(dir, "nc_edits_" + std::to_string(lines), oldLines, newLines);
}

// The other generator: LF ends, a third of the lines from a small set of
// common ones, unnumbered coordinates, and an edit every 30 lines or so.
Pair NcDense(const fs::path& dir, long lines) {
  std::mt19937 rng(4711);
  static const char* const common[] = {"G0 Z5.",  "G0 Z50.", "M3 S1200", "M5",  "M8",      "M9",      "G90 G54",
                                       "G1 Z-2.", "G1 Z-4.", "G1 Z-6.",  "G17", "(CONTOUR)", "(POCKET)", "T1 M6"};
  std::uniform_int_distribution<int> pick(0, 2), which(0, 13), coord(-20000, 20000), edit(0, 29), kind(0, 2);
  auto line = [&] {
    if (pick(rng) == 0) return std::string(common[which(rng)]);
    char text[64];
    std::snprintf(text, sizeof text, "X%.3f Y%.3f", coord(rng) / 1000.0, coord(rng) / 1000.0);
    return std::string(text);
  };
  Lines oldLines, newLines;
  for (long n = 0; n < lines; ++n) oldLines.push_back(line());
  for (const auto& old : oldLines) {
    if (edit(rng) != 0) {
      newLines.push_back(old);
      continue;
    }
    switch (kind(rng)) {
      case 0: newLines.push_back(line()); break;
      case 1: break;
      default: newLines.push_back(line()); newLines.push_back(old);
    }
  }
  return Files(dir, "nc_dense_" + std::to_string(lines), oldLines, newLines, "\n");
}

Pair Repeated(const fs::path& dir, long lines, int edits) {
  Lines oldLines(lines, "G1 X10. Y20. F500"), newLines = oldLines;
  std::mt19937 rng(99);
  std::uniform_int_distribution<long> at(0, lines - 1);
  for (int k = 0; k < edits; ++k) newLines[at(rng)].append(" M").append(std::to_string(k));
  return Files(dir, edits ? "repeated_20_edits" : "identical_repeated", oldLines, newLines);
}

Pair Different(const fs::path& dir, long lines) {
  std::mt19937 rng(17);
  Lines oldLines, newLines;
  for (long n = 1; n <= lines; ++n) oldLines.push_back(NcLine(rng, n).append(" A"));
  for (long n = 1; n <= lines; ++n) newLines.push_back(NcLine(rng, n).append(" B"));
  return Files(dir, "fully_different", oldLines, newLines);
}

Pair LongLines(const fs::path& dir, long lines, std::size_t length) {
  std::mt19937 rng(8);
  std::uniform_int_distribution<int> letter('A', 'Z');
  Lines oldLines(lines);
  for (auto& line : oldLines) {
    line.resize(length);
    for (auto& c : line) c = static_cast<char>(letter(rng));
  }
  Lines newLines = oldLines;
  std::uniform_int_distribution<long> at(0, lines - 1);
  for (int k = 0; k < 20; ++k) newLines[at(rng)][length / 2] = '0';
  return Files(dir, "long_lines_8k", oldLines, newLines);
}

// Runs diff old new > out and waits for it; true when it ran (exit 0 or 1).
// usage receives diff's own resource use.
bool RunDiff(const Pair& pair, const std::string& out, struct rusage* usage) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const char* argv[] = {"diff", "-H", pair.oldFile.c_str(), pair.newFile.c_str(), nullptr};
  pid_t pid;
  const int rc = posix_spawnp(&pid, "diff", &actions, nullptr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  int status = 0;
  if (wait4(pid, &status, 0, usage) < 0 || !WIFEXITED(status)) return false;
  return WEXITSTATUS(status) <= 1;
}

// Old lines diff kept: all but those it lists as removed ("< ").
long DiffUnchanged(const Pair& pair, const std::string& out) {
  std::ifstream in(out, std::ios::binary);
  long removed = 0;
  for (std::string line; std::getline(in, line);) removed += line.compare(0, 2, "< ") == 0;
  return pair.oldLines - removed;
}

// A file's lines as the library reads them: each without its LF or CR LF,
// '\n' after each.
std::string LinesOf(std::string_view bytes) {
  std::string lines;
  lines.reserve(bytes.size());
  for (std::size_t at = 0; at < bytes.size();) {
    std::size_t lf = bytes.find('\n', at);
    if (lf == std::string_view::npos) lf = bytes.size();
    std::string_view line = bytes.substr(at, lf - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.append(line).push_back('\n');
    at = lf + 1;
  }
  return lines;
}

// The old file's lines with diff's normal output applied ("<from>[,<to>]
// a|c|d ..." commands, "< " lines taken out, "> " lines put in): the new
// file as diff describes it, in the form of LinesOf. False when the script
// does not fit the old file.
bool Patched(std::string_view oldLines, std::string_view script, std::string& out) {
  std::vector<std::string_view> old;
  for (std::size_t at = 0, lf; (lf = oldLines.find('\n', at)) != std::string_view::npos; at = lf + 1)
    old.push_back(oldLines.substr(at, lf - at));
  out.clear();
  std::size_t next = 0;  // the old line to copy next, from 0
  std::size_t taken = 0;  // the old line the next "< " line takes out
  auto copyTo = [&](std::size_t end) {
    for (; next < end && next < old.size(); ++next) out.append(old[next]).push_back('\n');
    return next == end;
  };
  const std::string scriptLines = LinesOf(script);
  std::string_view rest = scriptLines;
  for (std::size_t lf; (lf = rest.find('\n')) != std::string_view::npos; rest.remove_prefix(lf + 1)) {
    std::string_view line = rest.substr(0, lf);
    if (line.starts_with("> ")) {
      out.append(line.substr(2)).push_back('\n');
    } else if (line.starts_with("< ")) {
      if (taken >= next || old[taken] != line.substr(2)) return false;
      ++taken;
    } else if (line != "---" && !line.starts_with("\\")) {
      if (taken != next) return false;  // fewer "< " lines than the command takes out
      char* end = nullptr;
      const std::string command(line);
      const long from = std::strtol(command.c_str(), &end, 10);
      long to = from;
      if (*end == ',') to = std::strtol(end + 1, &end, 10);
      const char op = *end;
      if (op == 'a') {
        if (!copyTo(static_cast<std::size_t>(to))) return false;
        taken = next;
      } else if ((op == 'c' || op == 'd') && from >= 1 && to >= from && static_cast<std::size_t>(to) <= old.size()) {
        if (!copyTo(static_cast<std::size_t>(from - 1))) return false;
        taken = next;
        next = static_cast<std::size_t>(to);  // the lines taken out, each met as a "< " line
      } else {
        return false;
      }
    }
  }
  if (taken != next) return false;
  copyTo(old.size());
  return true;
}

int Compare(kv_compare_fn compare, const Pair& pair) {
  return compare(pair.newFile.c_str(), pair.oldFile.c_str(), reinterpret_cast<HWND>(1), reinterpret_cast<HWND>(2));
}

// Resident memory in KB from /proc/self/status (VmRSS or VmHWM).
long StatusKb(const char* field) {
  std::ifstream in("/proc/self/status");
  const std::string prefix = std::string(field) + ":";
  for (std::string line; std::getline(in, line);)
    if (line.compare(0, prefix.size(), prefix) == 0) return std::atol(line.c_str() + prefix.size());
  return -1;
}

// The helper modes: one comparison or one diff run, printing its peak in KB.
int PeakHelper(kv_compare_fn compare, const std::string& mode, const Pair& pair, const std::string& out) {
  if (mode == "--peak-diff") {
    struct rusage usage {};
    if (!RunDiff(pair, out, &usage)) return 1;
    std::printf("%ld\n", usage.ru_maxrss);
    return 0;
  }
  const long before = StatusKb("VmRSS");
  if (Compare(compare, pair) != 1) return 1;
  std::printf("%ld\n", StatusKb("VmHWM") - before);
  return 0;
}

// Runs this program as a helper and reads the peak it prints; -1 on failure.
long PeakKb(const std::string& self, const char* mode, const Pair& pair, const std::string& out) {
  const std::string command =
      "'" + self + "' " + mode + " '" + pair.oldFile + "' '" + pair.newFile + "' '" + out + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return -1;
  long kb = -1;
  if (std::fscanf(pipe, "%ld", &kb) != 1) kb = -1;
  return pclose(pipe) == 0 ? kb : -1;
}

// What each pair's timed runs said: the library's unchanged steps, diff's
// output; each run must say what the first said.
std::map<std::string, long> g_telmixSame;
std::map<std::string, std::string> g_diffSaid;

void BM_Telmix(benchmark::State& state, kv_compare_fn compare, const Pair* pair) {
  long same = 0;
  for (auto _ : state) {
    g_sameItems = 0;
    if (Compare(compare, *pair) != 1) {
      kvbench::fail(state, "_COMPARE failed");
      return;
    }
    same = g_sameItems;
    auto first = g_telmixSame.emplace(pair->name, same).first;
    if (first->second != same) return kvbench::fail(state, pair->name + ": the library said otherwise than before");
  }
  state.counters["unchanged"] = static_cast<double>(same);
}

void BM_Diff(benchmark::State& state, std::string out, const Pair* pair) {
  struct rusage usage {};
  for (auto _ : state) {
    if (!RunDiff(*pair, out, &usage)) {
      kvbench::fail(state, "diff failed");
      return;
    }
    state.PauseTiming();
    const std::string said = kvbench::read_file(out);
    auto first = g_diffSaid.emplace(pair->name, said).first;
    const bool same = kvbench::same_bytes(pair->name + ", diff's output against its first run", said, first->second, true);
    state.ResumeTiming();
    if (!same) return kvbench::fail(state, pair->name + ": diff said otherwise than before");
  }
  state.counters["unchanged"] = static_cast<double>(DiffUnchanged(*pair, out));
}

// Keeps the counters of each benchmark beside its median time.
class KeepingReporter : public kvbench::MedianReporter {
 public:
  struct Result {
    double ms = 0;
    double unchanged = 0;
  };
  std::map<std::string, Result> results;

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& run : runs) {
      auto found = run.counters.find("unchanged");
      if (!run.error_occurred && found != run.counters.end()) results[run.run_name.function_name].unchanged = found->second;
    }
    MedianReporter::ReportRuns(runs);
  }

  void run_registered() {
    MedianReporter::run_registered();
    for (auto& [name, r] : results) r.ms = median(name) * 1e3;
  }
};

// One more comparison of the pair by each, checked as the top of this file
// says.
void CheckOutputs(kv_compare_fn compare, const Pair& pair, const std::string& diffOut) {
  Shown shown;
  g_shown = &shown;
  g_sameItems = 0;
  const int done = Compare(compare, pair);
  g_shown = nullptr;
  struct rusage usage {};
  if (done != 1 || !RunDiff(pair, diffOut, &usage)) {
    kvbench::fail(pair.name + ": a comparison did not complete");
    return;
  }
  if (g_telmixSame.count(pair.name) && g_telmixSame[pair.name] != g_sameItems)
    kvbench::fail(pair.name + ": the timed runs' unchanged steps are not the checked run's");
  if (g_diffSaid.count(pair.name))
    kvbench::same_bytes(pair.name + ", diff's output in the timed runs and the checked run", g_diffSaid[pair.name],
                        kvbench::read_file(diffOut), true);
  if (shown.unequalSame) kvbench::fail(pair.name + ": unchanged steps with unequal texts");
  const std::string oldLines = LinesOf(kvbench::read_file(pair.oldFile));
  kvbench::same_bytes(pair.name + ", old file as the library shows it", shown.oldSide, oldLines);
  std::string patched;
  if (!Patched(oldLines, kvbench::read_file(diffOut), patched)) {
    kvbench::fail(pair.name + ": diff's output does not fit the old file");
    return;
  }
  kvbench::same_bytes(pair.name + ", new file as the library shows it and as diff makes it", shown.newSide, patched);
  kvbench::same_bytes(pair.name + ", new file as diff makes it", patched, LinesOf(kvbench::read_file(pair.newFile)));
}

}  // namespace

int main(int argc, char** argv) {
  const kv_compare_fn compare = LoadTelmix();
  if (!compare) {
    std::fprintf(stderr, "cannot load %s: %s\n", TELMIX_LIBRARY, dlerror());
    return 1;
  }
  if (argc == 5 && std::string(argv[1]).compare(0, 7, "--peak-") == 0)
    return PeakHelper(compare, argv[1], Pair{"", argv[2], argv[3]}, argv[4]);
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  benchmark::Initialize(&argc, argv);
  std::string pattern = (kvbench::scratch_root() / "telmix-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) return 1;
  const fs::path dir = pattern;
  g_pairs = {NcEdits(dir, 100000),        NcEdits(dir, 1000000),     NcDense(dir, 1000000),
             Repeated(dir, 1000000, 0),   Repeated(dir, 1000000, 20), Different(dir, 1000000),
             LongLines(dir, 20000, 8192)};
  const std::string diffOut = (dir / "diff.out").string();

  for (const Pair& pair : g_pairs) {
    // Several timed runs of every pair; the median is kept.
    const int iterations = pair.oldLines >= 1000000 ? 2 : 10;
    const std::string ours = "telmix/" + pair.name, peer = "gnu_diff/" + pair.name;
    for (auto* b : {kvbench::add(ours, 3, benchmark::RegisterBenchmark(ours.c_str(), BM_Telmix, compare, &pair)),
                    kvbench::add(peer, 3, benchmark::RegisterBenchmark(peer.c_str(), BM_Diff, diffOut, &pair))})
      b->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(iterations);
  }
  KeepingReporter reporter;
  reporter.run_registered();
  std::printf("\n");
  for (const Pair& pair : g_pairs)
    if (reporter.results.count("telmix/" + pair.name) && reporter.results.count("gnu_diff/" + pair.name))
      CheckOutputs(compare, pair, diffOut);

  std::printf("\n%-22s %10s %10s %6s %10s %10s %6s %12s %12s\n", "pair", "telmix ms", "diff ms", "ratio",
              "telmix MB", "diff MB", "ratio", "telmix same", "diff same");
  for (const Pair& pair : g_pairs) {
    const auto t = reporter.results["telmix/" + pair.name];
    const auto d = reporter.results["gnu_diff/" + pair.name];
    if (t.ms <= 0 || d.ms <= 0) continue;  // filtered out
    const long lib = PeakKb(self, "--peak-telmix", pair, diffOut);
    const long peer = PeakKb(self, "--peak-diff", pair, diffOut);
    if (lib < 0 || peer < 0) kvbench::fail(pair.name + ": a memory run did not complete");
    std::printf("%-22s %10.1f %10.1f %6.2f %10.1f %10.1f %6.2f %12.0f %12.0f\n", pair.name.c_str(), t.ms, d.ms,
                t.ms / d.ms, lib / 1024.0, peer / 1024.0, peer > 0 ? static_cast<double>(lib) / peer : 0.0,
                t.unchanged, d.unchanged);
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
  return kvbench::verdict();
}
