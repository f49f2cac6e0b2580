// The DNC tests with the program's own dialog templates and language texts,
// for dialogs driven through the UI driver.
#pragma once

#include "dnc_fixture.h"
#include "platform/ui/resource.h"

namespace kvdnc {

class DncDialogTest : public DncTest {
 protected:
  void SetUp() override {
    DncTest::SetUp();
    plat::set_resource_dir(KV_SOURCE_DIR "/resources/dialogs");
    Globals->CfgDir = KV_SOURCE_DIR "/resources/lang/";
    Globals->LoadMessages(44, 0);
    Globals->LoadDialogTexts(44, 0);
    Globals->CaptionText.Set("Kelvane");
  }
};

}  // namespace kvdnc
