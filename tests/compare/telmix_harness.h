// Loads libtelmix.so as the program does, with a host table whose
// send_message records the items added to each list window.
#ifndef KV_TESTS_COMPARE_TELMIX_HARNESS_H
#define KV_TESTS_COMPARE_TELMIX_HARNESS_H

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "compare/telmix.h"
#include "platform/plugin_abi.h"
#include "tests/support/scratch_dir.h"

namespace telmix_test {

inline HWND const kOldList = reinterpret_cast<HWND>(0x1001);
inline HWND const kNewList = reinterpret_cast<HWND>(0x1002);

struct Lists {
  int result = -1;
  std::vector<std::string> oldSide;
  std::vector<std::string> newSide;
};

// Items per window of the call running now; LB_ERR for the window named in
// refuseAfter once it holds that many.
inline std::map<HWND, std::vector<std::string>> g_items;
inline HWND g_refuseList = nullptr;
inline std::size_t g_refuseAfter = 0;

inline LRESULT RecordMessage(HWND hwnd, UINT msg, WPARAM, LPARAM lparam) {
  if (msg != LB_ADDSTRING) return LB_ERR;
  auto& items = g_items[hwnd];
  if (hwnd == g_refuseList && items.size() >= g_refuseAfter) return LB_ERR;
  const char* text = reinterpret_cast<const char*>(lparam);
  items.emplace_back(text);
  // The list copies the text; the library frees its own item.
  return static_cast<LRESULT>(items.size() - 1);
}

class Library {
 public:
  static Library& Get() {
    static Library lib;
    return lib;
  }
  kv_compare_fn compare = nullptr;
  void* handle = nullptr;
  const struct kv_plugin_host** hostSlot = nullptr;

 private:
  Library() {
    handle = dlopen(TELMIX_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (!handle) return;
    compare = reinterpret_cast<kv_compare_fn>(dlsym(handle, KV_COMPARE_ENTRY));
    hostSlot = static_cast<const struct kv_plugin_host**>(dlsym(handle, KV_PLUGIN_HOST_SYMBOL));
    if (hostSlot) *hostSlot = &host_;
  }
  struct kv_plugin_host host_{sizeof(struct kv_plugin_host), &RecordMessage, nullptr, nullptr, nullptr};
};

// A scratch directory for one test.
using TempDir = kvtest::ScratchDir;

// Runs _COMPARE on two named files, new file first as the program passes them.
inline Lists CompareFiles(const std::string& newFile, const std::string& oldFile) {
  Library& lib = Library::Get();
  EXPECT_NE(lib.compare, nullptr) << dlerror();
  Lists lists;
  if (!lib.compare) return lists;
  g_items.clear();
  lists.result = lib.compare(newFile.c_str(), oldFile.c_str(), kOldList, kNewList);
  lists.oldSide = std::move(g_items[kOldList]);
  lists.newSide = std::move(g_items[kNewList]);
  g_items.clear();
  return lists;
}

inline Lists CompareTexts(const std::string& oldText, const std::string& newText) {
  TempDir dir("telmix");
  return CompareFiles(dir.write("new.nc", newText), dir.write("old.nc", oldText));
}

}  // namespace telmix_test

#endif
