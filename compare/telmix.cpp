// The comparison behind the exported entry: runs one comparison and hands
// its steps to the caller's two list windows through the host table.
#include "compare/telmix.h"

#include <cstdlib>
#include <cstring>

#include "compare/compare_engine.h"
#include "platform/plugin_abi.h"

KV_PLUGIN_HOST;

namespace {

class ListOutput : public TCompareOutput {
 public:
  ListOutput(HWND oldList, HWND newList) : oldList_(oldList), newList_(newList) {}

  bool Add(TCompareType type, std::string_view oldText, std::string_view newText) override {
    return AddItem(oldList_, type, oldText) && AddItem(newList_, type, newText);
  }

 private:
  static bool AddItem(HWND list, TCompareType type, std::string_view text) {
    // "%d@@%s", sized for the whole line.
    const std::size_t length = 3 + text.size();
    char* item = static_cast<char*>(std::malloc(length + 1));
    if (!item) return false;
    item[0] = static_cast<char>('0' + type);
    item[1] = '@';
    item[2] = '@';
    if (!text.empty()) std::memcpy(item + 3, text.data(), text.size());
    item[length] = '\0';
    // The list keeps a copy of the text (owner-drawn lists too), so the
    // item is freed here instead of leaking one heap text per line.
    const bool added = KV_SEND_MESSAGE(list, LB_ADDSTRING, 0, item) >= 0;
    std::free(item);
    return added;
  }

  HWND oldList_;
  HWND newList_;
};

}  // namespace

extern "C" int kv_telmix_compare(const char* newFile, const char* oldFile, HWND oldList, HWND newList) {
  if (!newFile || !oldFile || !kv_plugin_host || !kv_plugin_host->send_message) return 0;
  try {
    TCompareEngine engine(oldFile, newFile);
    if (!engine.Load()) return 0;
    ListOutput out(oldList, newList);
    return engine.Walk(out) ? 1 : 0;
  } catch (...) {
    // Out of memory and the like must not cross into a C caller.
    return 0;
  }
}
