// The DNC tests with the program's own dialog templates and language texts,
// for dialogs driven through the UI driver.
#pragma once

#include "dnc_fixture.h"
#include "tests/support/dialog_fixture.h"

namespace kvdnc {

class DncDialogTest : public kvtest::DialogTest<DncTest> {};

}  // namespace kvdnc
