// Shared set-up of the layer's window tests: the test templates and a
// driver whose failures are collected, so a test can also check that a
// failure was reported.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ui/driver.h"
#include "platform/ui/handles.h"
#include "platform/ui/resource.h"

namespace uitest {

inline void use_test_templates() { plat::set_resource_dir(KV_FIXTURES_DIR "/ui"); }

// A driver that records failures instead of failing at once.
struct RecordingDriver : plat::UiDriver {
  std::vector<std::string>* sink;
  explicit RecordingDriver(std::vector<std::string>* s)
      : plat::UiDriver([s](const std::string& m) { s->push_back(m); }), sink(s) {}
};

class UiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    use_test_templates();
    windows_before_ = plat::live_window_count();
  }
  void TearDown() override { EXPECT_EQ(plat::live_window_count(), windows_before_) << "windows left alive"; }

 private:
  size_t windows_before_ = 0;
};

}  // namespace uitest
