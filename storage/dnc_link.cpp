#include "storage/dnc_link.h"

namespace {
TDncLinkRunner& Runner() {
  static TDncLinkRunner runner;
  return runner;
}
}  // namespace

void SetDncLinkRunner(TDncLinkRunner runner) { Runner() = std::move(runner); }
const TDncLinkRunner& GetDncLinkRunner() { return Runner(); }
