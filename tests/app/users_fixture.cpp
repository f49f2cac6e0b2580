// The parts of the shared set-up that need the table classes' insides.
#include "tests/app/users_fixture.h"

#include "dbmodel/idname.h"

namespace kvusers {

void UsersTest::AddTypeRow(long id, const char* name) {
  TUserAccountTypeTable t("USER0001.DBF", 0, 1);
  TcbIdAndNameRecord r;
  r.ID = id;
  CopyCut(r.NAME, sizeof r.NAME, name);
  ASSERT_NE(t.Add(&r), nullptr);
}

}  // namespace kvusers
