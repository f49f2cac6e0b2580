// The comparison behind the exported entry: runs one comparison and hands
// its steps to the caller's two list windows through the host table.
#include "compare/telmix.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "compare/compare_engine.h"
#include "platform/plugin_abi.h"

KV_PLUGIN_HOST;

namespace {

class ListOutput : public TCompareOutput {
 public:
  ListOutput(HWND oldList, HWND newList) : oldList_(oldList), newList_(newList) {}

  bool Add(TCompareType type, std::string_view oldText, std::string_view newText) override {
    Format(type, oldText);
    if (!Send(oldList_)) return false;
    // Equal lines share their text; the item built for the old side serves.
    if (newText.data() != oldText.data() || newText.size() != oldText.size()) Format(type, newText);
    return Send(newList_);
  }

 private:
  // "%d@@%s", sized for the whole line. The list keeps a copy of the text
  // (owner-drawn lists too), so one buffer serves every item.
  void Format(TCompareType type, std::string_view text) {
    const std::size_t length = 3 + text.size();
    if (item_.size() <= length) item_.resize(std::max(length + 1, 2 * item_.size()));
    char* p = item_.data();
    p[0] = static_cast<char>('0' + type);
    p[1] = '@';
    p[2] = '@';
    if (!text.empty()) std::memcpy(p + 3, text.data(), text.size());
    p[length] = '\0';
  }
  bool Send(HWND list) { return KV_SEND_MESSAGE(list, LB_ADDSTRING, 0, item_.data()) >= 0; }

  HWND oldList_;
  HWND newList_;
  std::vector<char> item_ = std::vector<char>(256);
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
