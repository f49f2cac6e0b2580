// The program associations as the editor shows them: the eight values of
// a full record, of one without customer and project, of one whose
// customer was deleted, and of none.
#include "masterdata/assoc_dialog.h"

#include "resources/dialogs/masterdata.h"
#include "tests/masterdata/master_fixture.h"

namespace {

using kvmaster::MasterTest;
using plat::Pilot;

class AssocTest : public MasterTest {
 protected:
  // The values as shown, in the order of their statics.
  std::vector<std::string> Shown(const TcbFileRecord* program) {
    std::vector<std::string> values;
    driver.expect_dialog(IDD_ASSOCIATIONS, [&](TDialog& d) {
      Pilot p(d);
      EXPECT_EQ(d.GetText(), "Program associations");
      EXPECT_EQ(p.text(IDC_ASSOCIATIONS_CUSTOMER_LABEL), "Customer :");
      for (int id = IDC_ASSOCIATIONS_ID; id <= IDC_ASSOCIATIONS_FILE; id++) values.push_back(p.text(id));
      p.click(IDOK);
    });
    TDisplayAssoc(nullptr, program).Execute();
    return values;
  }
  plat::GTestUiDriver driver;
};

TEST_F(AssocTest, TheValuesOfTheProgramAsTheIndexHoldsThem) {
  long acme = AddCustomer("ACME");
  long gearbox = AddProject("GEARBOX", acme);
  long gone = AddCustomer("GONE");
  {
    TcbAdvCustTable t("KELVCUS2.DBF", 0, 0);
    ASSERT_TRUE(t.DeleteById(gone));
  }
  TcbFileRecord r;
  FillProgram(r, 40, 0);
  CopyCut(r.DIR, sizeof r.DIR, "C:\\NC\\DMU\\");
  CopyCut(r.CHAR3, sizeof r.CHAR3, "housing");
  CopyCut(r.DRAW, sizeof r.DRAW, "D-17");
  CopyCut(r.PART, sizeof r.PART, "P-4");
  const std::vector<std::string> known = {"PRG40", "housing", "D-17", "P-4"};
  auto with = [&](const std::string& customer, const std::string& project) {
    std::vector<std::string> v = known;
    v.insert(v.end(), {customer, project, "DMU50", "C:\\NC\\DMU\\P40.NC"});
    return v;
  };
  struct Case {
    long cust, project;
    std::vector<std::string> shown;
  };
  for (const Case& c : {Case{acme, gearbox, with("ACME", "GEARBOX")}, Case{0, 0, with("", "")},
                        // A customer deleted elsewhere reads as other stations store it.
                        Case{gone, 0, with("deleted", "")}}) {
    r.CUST = c.cust;
    r.PROJECT = c.project;
    EXPECT_EQ(Shown(&r), c.shown) << c.cust << " " << c.project;
  }
  EXPECT_EQ(Shown(nullptr), std::vector<std::string>(8));
}

}  // namespace
