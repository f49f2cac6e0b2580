// The test driver wired to GoogleTest: every failure it sees becomes a
// failure of the running test. Include from tests only.
#pragma once

#include <gtest/gtest.h>

#include "platform/ui/driver.h"

namespace plat {

class GTestUiDriver : public UiDriver {
 public:
  GTestUiDriver() : UiDriver([](const std::string& m) { ADD_FAILURE() << m; }) {}
};

}  // namespace plat
