// Fuzz target: two arbitrary files compared by the compare library, linked
// in with a host table that collects the list items. Besides running clean,
// the steps must give back both files: the old side's lines of every step
// but the inserted ones are the old file's lines in order, likewise for the
// new side, and equal steps show the same line on both sides.
// Covers: compare/line_reader.cpp, compare/compare_engine.cpp, compare/telmix.cpp
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "compare/telmix.h"
#include "platform/plugin_abi.h"
#include "tests/support/scratch_dir.h"

namespace {

HWND const kOldList = reinterpret_cast<HWND>(0x1001);
HWND const kNewList = reinterpret_cast<HWND>(0x1002);
std::vector<std::string> g_old, g_new;

LRESULT Collect(HWND hwnd, UINT msg, WPARAM, LPARAM lparam) {
  if (msg != LB_ADDSTRING || (hwnd != kOldList && hwnd != kNewList)) std::abort();
  auto& items = hwnd == kOldList ? g_old : g_new;
  items.emplace_back(reinterpret_cast<const char*>(lparam));
  return static_cast<LRESULT>(items.size() - 1);
}
const struct kv_plugin_host kHost = {sizeof(struct kv_plugin_host), &Collect};

// The lines of a file as the compare library reads them (line_reader.h).
std::vector<std::string> Lines(std::string_view bytes) {
  std::vector<std::string> lines;
  std::string cur;
  for (char c : bytes) {
    if (c == '\n') {
      if (!cur.empty() && cur.back() == '\r') cur.pop_back();
      lines.push_back(cur);
      cur.clear();
    } else {
      cur += c == '\0' ? '\xA7' : c;
    }
  }
  if (!cur.empty()) lines.push_back(cur);
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static kvtest::ScratchDir dir("kv-fuzz-compare");
  if (size < 1) return 0;
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const size_t cut = rest.size() * data[0] / 255;
  const std::string_view oldText = rest.substr(0, cut), newText = rest.substr(cut);
  const std::string oldFile = dir.write("OLD.NC", oldText);
  const std::string newFile = dir.write("NEW.NC", newText);

  kv_plugin_host = &kHost;
  g_old.clear();
  g_new.clear();
  if (kv_telmix_compare(newFile.c_str(), oldFile.c_str(), kOldList, kNewList) != 1) std::abort();
  if (g_old.size() != g_new.size()) std::abort();

  std::vector<std::string> oldLines, newLines;
  for (size_t i = 0; i < g_old.size(); ++i) {
    const std::string& o = g_old[i];
    const std::string& n = g_new[i];
    if (o.size() < 3 || n.size() < 3 || o[0] != n[0] || o.compare(1, 2, "@@") || n.compare(1, 2, "@@")) std::abort();
    const char type = o[0];
    if (type < '0' || type > '3') std::abort();
    if (type == '0' && o != n) std::abort();
    if (type != '3') oldLines.push_back(o.substr(3));
    if (type != '2') newLines.push_back(n.substr(3));
  }
  if (oldLines != Lines(oldText) || newLines != Lines(newText)) std::abort();
  return 0;
}
