// A fixture for tests that run the program's dialogs through the UI driver,
// over any base fixture: the program's own templates (resources/dialogs)
// and its English messages and dialog texts (resources/lang).
//
//   class JobDialogTest : public kvtest::DialogTest<kvdb::DbTest> {
//     void SetUp() override {
//       DialogTest::SetUp();
//       ...
#pragma once

#include "appcore/globals.h"
#include "platform/ui/resource.h"

namespace kvtest {

template <class Base>
class DialogTest : public Base {
 protected:
  void SetUp() override {
    Base::SetUp();
    plat::set_resource_dir(KV_SOURCE_DIR "/resources/dialogs");
    Globals->CfgDir = KV_SOURCE_DIR "/resources/lang/";
    Globals->LoadMessages(44, 0);
    Globals->LoadDialogTexts(44, 0);
    Globals->CaptionText.Set("Kelvane");
  }
};

}  // namespace kvtest
