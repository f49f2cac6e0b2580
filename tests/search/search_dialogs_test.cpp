// The program searches driven as a user would: the text and combined
// searches' filters against a plain scan of the seeded program index, its remembered choices
// and texts, the nine buttons of the front ends with their hand-over, and
// the customer chooser.
#include "storage/search_dialogs.h"

#include "resources/dialogs/masterdata.h"
#include "resources/dialogs/search.h"
#include "storage/search_combined.h"

#include <algorithm>
#include <cctype>

#include "dbmodel/customer.h"
#include "dbmodel/machine.h"
#include "dbmodel/project.h"
#include "tests/storage/log_fixture.h"

namespace {

using plat::Pilot;

struct Row {
  long id;
  const char* desc;
  const char* part;
  const char* draw;
  const char* char3;
};

const Row kRows[] = {
    {1, "O1000", "AB-100", "D'1", "Gear shaft"},
    {2, "O'1", "AB-1000", "D\"2", "GEAR [FRONT]"},
    {3, "O1001", "XAB-10", "D[3]", "shaft 'left' \"A\""},
    {4, "o'1x", "ABCDEFGHIJKLMNOPQRSTUVWXY", "D'1\"", "plain"},
};

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

class SearchTest : public kvlogs::LogTest {
 protected:
  void SetUp() override {
    LogTest::SetUp();
    CreateTable<TcbMachTable>("KELVMA.DBF");
    CreateTable<TcbAdvCustTable>("KELVCUS2.DBF");
    CreateTable<TcbProTable>("KELVPRO.DBF");
    Globals->DefaultSearch = 2;
    Globals->KeepTextSearch = 0;
    for (auto& t : Globals->SearchTexts) t.Set(nullptr);
  }
  void TearDown() override {
    SetProgramListDialog(nullptr);
    SetBackupListDialog(nullptr);
    LogTest::TearDown();
  }

  void AddProgram(const char* file, const Row& row, long machine = 0, long customer = 0, long project = 0) {
    TcbFileTable t(file, 0, 0);
    TcbFileRecord r;
    r.NCID = r.LONG1 = row.id;
    CopyCut(r.DESC, sizeof r.DESC, row.desc);
    CopyCut(r.PART, 26, row.part);
    CopyCut(r.DRAW, 26, row.draw);
    CopyCut(r.CHAR3, sizeof r.CHAR3, row.char3);
    std::snprintf(r.NAME, sizeof r.NAME, "P%ld", row.id);
    CopyCut(r.EXT, sizeof r.EXT, "NC");
    r.MID = machine;
    r.CUST = customer;
    r.PROJECT = project;
    ASSERT_TRUE(t.Append(&r));
  }
  void SeedAll() {
    for (const Row& r : kRows) AddProgram("KELVFILE.DBF", r);
  }

  static std::vector<long> Ids(const TcbRecord* list) {
    std::vector<long> ids;
    for (auto* r = static_cast<const TcbFileRecord*>(list); r; r = static_cast<const TcbFileRecord*>(r->next))
      ids.push_back(r->NCID);
    std::sort(ids.begin(), ids.end());
    return ids;
  }

  // The rows of the program index that satisfy the search, read one by one.
  std::vector<long> Scan(int field, const std::string& typed, int mode) {
    static const size_t widths[4] = {40, 25, 25, 50};
    std::string text = Upper(typed.substr(0, 40));
    size_t width = widths[field];
    TcbFileTable t("KELVFILE.DBF", 0, 0);
    TcbFileRecord* all = t.ReadAll(1);
    std::vector<long> ids;
    for (auto* r = all; r; r = static_cast<TcbFileRecord*>(r->next)) {
      const char* values[4] = {r->DESC, r->PART, r->DRAW, r->CHAR3};
      std::string value = Upper(values[field]);
      value.resize(width, ' ');
      bool hit = mode == kSearchExact      ? text.size() <= width && value == text + std::string(width - text.size(), ' ')
                 : mode == kSearchStartsWith ? text.size() <= width && value.compare(0, text.size(), text) == 0
                                             : value.find(text) != std::string::npos;
      if (hit) ids.push_back(r->NCID);
    }
    FreeRecordList(all);
    std::sort(ids.begin(), ids.end());
    return ids;
  }

  // One text search as the user runs it; the ids it found. A search that
  // finds nothing says so and stays open for another try.
  std::vector<long> FindBy(int field, const std::string& text, int mode, bool nothing) {
    driver.expect_dialog(IDD_FIND_BY, [&](TDialog& d) {
      Pilot p(d);
      p.set_text(IDC_FIND_BY_TEXT, text);
      p.click(IDC_FIND_BY_EXACT + mode);
      if (nothing) driver.expect_message_box(IDOK, "No program matches");
      p.click(IDC_FIND_BY_SEARCH);
      EXPECT_EQ(d.HasEnded(), !nothing);
      if (!d.HasEnded()) p.click(IDCANCEL);
    });
    TFindByDesc find(nullptr, field, false);
    EXPECT_EQ(find.Execute(), nothing ? IDCANCEL : IDOK);
    TcbFileRecord* list = find.TakeResults();
    std::vector<long> found = Ids(list);
    FreeRecordList(list);
    return found;
  }

  plat::GTestUiDriver driver;
};

TEST_F(SearchTest, TextSearchesFindWhatAPlainScanFinds) {
  SeedAll();
  const std::string longPart = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";  // one more than PART holds
  struct Case {
    int field;
    std::string text;
    int mode;
    std::vector<long> expected;
  } cases[] = {
      {kFieldProgramId, "O1000", kSearchExact, {1}},
      {kFieldProgramId, "o1", kSearchStartsWith, {1, 3}},
      {kFieldProgramId, "O'1", kSearchExact, {2}},
      {kFieldProgramId, "O'1", kSearchStartsWith, {2, 4}},
      {kFieldProgramId, "'1", kSearchContains, {2, 4}},
      {kFieldPart, "AB-100", kSearchExact, {1}},
      {kFieldPart, "ab-100", kSearchStartsWith, {1, 2}},
      {kFieldPart, "AB-10", kSearchContains, {1, 2, 3}},
      {kFieldPart, "ABCDEFGHIJKLMNOPQRSTUVWXY", kSearchExact, {4}},
      {kFieldPart, longPart, kSearchExact, {}},
      {kFieldPart, longPart, kSearchStartsWith, {}},
      {kFieldPart, longPart, kSearchContains, {}},
      {kFieldDrawing, "D'1", kSearchExact, {1}},
      {kFieldDrawing, "D'1", kSearchStartsWith, {1, 4}},
      {kFieldDrawing, "D\"", kSearchStartsWith, {2}},
      {kFieldDrawing, "[3]", kSearchContains, {3}},
      {kFieldDrawing, "'1\"", kSearchContains, {4}},
      {kFieldDescription, "gear", kSearchStartsWith, {1, 2}},
      {kFieldDescription, "[FRONT]", kSearchContains, {2}},
      {kFieldDescription, "'LEFT' \"A\"", kSearchContains, {3}},
      {kFieldDescription, "shaft", kSearchExact, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.field) + " '" + c.text + "' mode " + std::to_string(c.mode));
    EXPECT_EQ(Scan(c.field, c.text, c.mode), c.expected);
    EXPECT_EQ(FindBy(c.field, c.text, c.mode, c.expected.empty()), c.expected);
  }
}

TEST_F(SearchTest, ATextWithEveryQuoteIsRefusedAndTheDialogStaysOpen) {
  SeedAll();
  driver.expect_dialog(IDD_FIND_BY, [&](TDialog& d) {
    Pilot p(d);
    p.set_text(IDC_FIND_BY_TEXT, "O'\"[1]");
    driver.expect_message_box(IDOK, "cannot be searched");
    driver.expect_message_box(IDOK, "No program matches");
    p.click(IDC_FIND_BY_SEARCH);
    EXPECT_FALSE(d.HasEnded());
    p.click(IDCANCEL);
  });
  TFindByDesc find(nullptr, kFieldProgramId, false);
  EXPECT_EQ(find.Execute(), IDCANCEL);
  EXPECT_EQ(find.ResultList, nullptr);
}

TEST_F(SearchTest, TheMatchKindAndTheTextsAreRemembered) {
  SeedAll();
  Globals->DefaultSearch = 7;  // unknown: starting with
  driver.expect_dialog(IDD_FIND_BY, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_TRUE(p.checked(IDC_FIND_BY_STARTS));
    EXPECT_FALSE(p.checked(IDC_FIND_BY_EXACT));
    EXPECT_EQ(p.text(IDC_FIND_BY_TEXT), "");
    p.click(IDC_FIND_BY_SEARCH);  // an empty text searches nothing
    EXPECT_FALSE(d.HasEnded());
    p.set_text(IDC_FIND_BY_TEXT, "AB-100");
    p.click(IDC_FIND_BY_EXACT);
    p.click(IDC_FIND_BY_SEARCH);
  });
  EXPECT_EQ(TFindByDesc(nullptr, kFieldPart, false).Execute(), IDOK);
  EXPECT_EQ(Globals->DefaultSearch, 1);
  EXPECT_STREQ(Globals->SearchTexts[kFieldPart].get(), "AB-100");
  EXPECT_EQ(Globals->SearchMode, 3);

  // Without KEEPTEXTSEARCH the edit starts empty; the exact kind holds for
  // every field. A text is remembered even when it finds nothing.
  driver.expect_dialog(IDD_FIND_BY, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_TRUE(p.checked(IDC_FIND_BY_EXACT));
    EXPECT_EQ(p.text(IDC_FIND_BY_TEXT), "");
    p.set_text(IDC_FIND_BY_TEXT, "NOTHING");
    driver.expect_message_box(IDOK, "No program matches");
    p.click(IDC_FIND_BY_SEARCH);
    p.click(IDCANCEL);
  });
  EXPECT_EQ(TFindByDesc(nullptr, kFieldDrawing, false).Execute(), IDCANCEL);
  EXPECT_STREQ(Globals->SearchTexts[kFieldDrawing].get(), "NOTHING");

  Globals->KeepTextSearch = 1;
  for (int field : {kFieldPart, kFieldDrawing, kFieldProgramId}) {
    driver.expect_dialog(IDD_FIND_BY, [&](TDialog& d) {
      Pilot p(d);
      EXPECT_EQ(p.text(IDC_FIND_BY_TEXT), field == kFieldPart ? "AB-100" : field == kFieldDrawing ? "NOTHING" : "");
      p.click(IDCANCEL);
    });
    EXPECT_EQ(TFindByDesc(nullptr, field, false).Execute(), IDCANCEL);
  }
}

TEST_F(SearchTest, TheSearchKindFollowsTheButtonAlsoWhenTheTextSearchIsCancelled) {
  SetProgramListDialog([](TWindow*, TcbFileRecord* list) {
    FreeRecordList(list);
    return IDCANCEL;
  });
  struct Case {
    int button;
    int kind;
  } cases[] = {{IDC_SEARCH_DESCRIPTION, 4}, {IDC_SEARCH_PROGRAM_ID, 1}, {IDC_SEARCH_PART, 3}, {IDC_SEARCH_DRAWING, 2}};
  for (const Case& c : cases) {
    Globals->SearchMode = 9;
    driver.expect_dialog(IDD_SEARCH, [&](TDialog& d) {
      Pilot p(d);
      driver.expect_dialog(IDD_FIND_BY, [&](TDialog& f) {
        EXPECT_FALSE(d.IsWindowVisible());
        Pilot(f).click(IDCANCEL);
      });
      p.click(c.button);
      EXPECT_FALSE(d.HasEnded());
      EXPECT_TRUE(d.IsWindowVisible());
      p.click(IDCANCEL);
    });
    EXPECT_EQ(TOpenSearch(nullptr).Execute(), IDCANCEL);
    EXPECT_EQ(Globals->SearchMode, c.kind) << c.button;
  }
}

TEST_F(SearchTest, OpenSearchHandsEveryResultToTheProgramDialog) {
  long mill;
  {
    TcbMachTable t("KELVMA.DBF", 0, 0);
    ASSERT_TRUE(t.Add("DMU50", 5, "mill", "C:\\NC\\", 0));
    mill = t.ExistsByName("DMU50");
  }
  AddProgram("KELVFILE.DBF", kRows[0], mill);
  AddProgram("KELVFILE.DBF", kRows[1]);
  std::vector<std::vector<long>> handed;
  int answer = IDOK;
  SetProgramListDialog([&](TWindow*, TcbFileRecord* list) {
    handed.push_back(Ids(list));
    FreeRecordList(list);
    Globals->CurrentProgramId = 1;
    return answer;
  });
  // By machine: the chooser first, then the programs of that machine.
  driver.expect_dialog(IDD_SEARCH, [&](TDialog& d) {
    driver.expect_dialog(IDD_SELECT_MACHINE, [](TDialog& m) { Pilot(m).click(IDOK); });
    Pilot(d).click(IDC_SEARCH_MACHINE);
  });
  EXPECT_EQ(ChooseProgram(nullptr), 1);
  // All, with the program dialog left without opening.
  answer = IDCANCEL;
  driver.expect_dialog(IDD_SEARCH, [&](TDialog& d) { Pilot(d).click(IDC_SEARCH_ALL); });
  EXPECT_EQ(ChooseProgram(nullptr), 0) << "nothing opened";
  // A text search; a customer without programs still opens the program
  // dialog, with an empty list.
  answer = IDOK;
  driver.expect_dialog(IDD_SEARCH, [&](TDialog& d) {
    driver.expect_dialog(IDD_FIND_BY, [](TDialog& f) {
      Pilot p(f);
      p.set_text(IDC_FIND_BY_TEXT, "O'");
      p.click(IDC_FIND_BY_SEARCH);
    });
    Pilot(d).click(IDC_SEARCH_PROGRAM_ID);
  });
  EXPECT_EQ(ChooseProgram(nullptr), 1);
  {
    TcbAdvCustTable c("KELVCUS2.DBF", 0, 0);
    ASSERT_GT(c.Add("ACME"), 0);
  }
  driver.expect_dialog(IDD_SEARCH, [&](TDialog& d) {
    driver.expect_dialog(IDD_SELECT_CUSTOMER, [](TDialog& c) { Pilot(c).click(IDOK); });
    Pilot(d).click(IDC_SEARCH_CUSTOMER);
  });
  EXPECT_EQ(ChooseProgram(nullptr), 1);
  EXPECT_EQ(handed, (std::vector<std::vector<long>>{{1}, {1, 2}, {2}, {}}));
}

TEST_F(SearchTest, ACancelledChooserRunsNoQuery) {
  SetProgramListDialog([](TWindow*, TcbFileRecord* list) {
    ADD_FAILURE() << "no search ran";
    FreeRecordList(list);
    return IDOK;
  });
  {
    TcbMachTable t("KELVMA.DBF", 0, 0);
    ASSERT_TRUE(t.Add("DMU50", 5, "mill", "C:\\NC\\", 0));
  }
  driver.expect_dialog(IDD_SEARCH, [&](TDialog& d) {
    Pilot p(d);
    driver.expect_dialog(IDD_SELECT_MACHINE, [](TDialog& m) { Pilot(m).click(IDCANCEL); });
    p.click(IDC_SEARCH_MACHINE);
    driver.expect_dialog(IDD_SELECT_PROJECT, [](TDialog& s) { Pilot(s).click(IDCANCEL); });
    p.click(IDC_SEARCH_PROJECT);
    // No customer at all: said, and nothing searched.
    driver.expect_message_box(IDOK, "no customer");
    p.click(IDC_SEARCH_CUSTOMER);
    EXPECT_FALSE(d.HasEnded());
    p.click(IDCANCEL);
  });
  EXPECT_EQ(ChooseProgram(nullptr), 0);
}

TEST_F(SearchTest, NewSearchStaysOpenUntilASearchFindsSomethingAndListsAsOpenDoes) {
  driver.expect_dialog(IDD_SEARCH, [&](TDialog& d) {
    Pilot p(d);
    p.click(IDC_SEARCH_ALL);  // nothing in the index yet
    EXPECT_FALSE(d.HasEnded());
    SeedAll();
    {
      TcbFileTable t("KELVFILE.DBF", 0, 0);
      delete t.DeleteById(3);
    }
    p.click(IDC_SEARCH_ALL);
  });
  TNewSearch search(nullptr);
  EXPECT_EQ(search.Execute(), IDOK);
  // By program id, as File, Open's All lists them, whatever order the
  // rows were written in.
  std::vector<long> listed;
  for (auto* r = search.ResultList; r; r = static_cast<TcbFileRecord*>(r->next)) listed.push_back(r->NCID);
  EXPECT_EQ(listed, (std::vector<long>{2, 1, 4}));
  std::vector<long> opened;
  SetProgramListDialog([&](TWindow*, TcbFileRecord* list) {
    for (auto* r = list; r; r = static_cast<TcbFileRecord*>(r->next)) opened.push_back(r->NCID);
    FreeRecordList(list);
    return IDCANCEL;
  });
  driver.expect_dialog(IDD_SEARCH, [&](TDialog& d) { Pilot(d).click(IDC_SEARCH_ALL); });
  EXPECT_EQ(ChooseProgram(nullptr), 0) << "the program dialog was left: no program chosen";
  EXPECT_EQ(opened, listed);
}

TEST_F(SearchTest, BackupSearchStaysSilentOnNothingAndComesBackForANewSearch) {
  long mill;
  {
    TcbMachTable t("KELVMA.DBF", 0, 0);
    ASSERT_TRUE(t.Add("DMU50", 5, "mill", "C:\\NC\\", 0));
    mill = t.ExistsByName("DMU50");
  }
  int shown = 0;
  SetBackupListDialog([&](TWindow*, TcbFileRecord* list) {
    EXPECT_EQ(Ids(list), std::vector<long>{7});
    FreeRecordList(list);
    return ++shown == 1 ? int(kNewSearch) : IDCANCEL;
  });
  driver.expect_dialog(IDD_SEARCH, [&](TDialog& d) {
    Pilot p(d);
    driver.expect_dialog(IDD_SELECT_MACHINE, [](TDialog& m) { Pilot(m).click(IDOK); });
    p.click(IDC_SEARCH_MACHINE);  // no backup of that machine: no message, still open
    EXPECT_FALSE(d.HasEnded());
    EXPECT_TRUE(d.IsWindowVisible());
    AddProgram("KELVBACK.DBF", {7, "O7", "", "", ""}, mill);
    p.click(IDC_SEARCH_ALL);  // the backup dialog asks for a new search
    EXPECT_FALSE(d.HasEnded());
    EXPECT_TRUE(d.IsWindowVisible());
    p.click(IDC_SEARCH_ALL);
  });
  EXPECT_EQ(TOpenBackup(nullptr).Execute(), IDOK);
  EXPECT_EQ(shown, 2);
}

TEST_F(SearchTest, CustomerChooserTakesTheSelectedLine) {
  long acme, zenith;
  {
    TcbAdvCustTable c("KELVCUS2.DBF", 0, 0);
    zenith = c.Add("ZENITH");
    acme = c.Add("ACME");
  }
  Globals->ChosenCustomerId = 55;
  driver.expect_dialog(IDD_SELECT_CUSTOMER, [&](TDialog& d) {
    EXPECT_EQ(Globals->ChosenCustomerId, acme);  // the first name, before any click
    Pilot(d).click(IDOK);
  });
  EXPECT_EQ(TSelectCustomer(nullptr).Execute(), IDOK);
  EXPECT_EQ(Globals->ChosenCustomerId, acme);

  driver.expect_dialog(IDD_SELECT_CUSTOMER, [&](TDialog& d) { Pilot(d).double_click(IDC_SELECT_CUSTOMER_LIST, 1); });
  EXPECT_EQ(TSelectCustomer(nullptr).Execute(), IDOK);
  EXPECT_EQ(Globals->ChosenCustomerId, zenith);

  driver.expect_dialog(IDD_SELECT_CUSTOMER, [&](TDialog& d) {
    Pilot p(d);
    p.select(IDC_SELECT_CUSTOMER_LIST, 1);
    p.click(IDCANCEL);
  });
  EXPECT_EQ(TSelectCustomer(nullptr).Execute(), IDCANCEL);
  EXPECT_EQ(Globals->ChosenCustomerId, zenith);

  driver.expect_dialog(IDD_SELECT_CUSTOMER, [&](TDialog& d) { Pilot(d).click(IDCANCEL); });
  {
    TSelectCustomer dlg(nullptr);
    EXPECT_EQ(Globals->ChosenCustomerId, 0);
    EXPECT_EQ(dlg.Execute(), IDCANCEL);
  }
}

// ---- combined search ---------------------------------------------------------

class CombinedTest : public SearchTest {
 protected:
  void SetUp() override {
    SearchTest::SetUp();
    TcbMachTable m("KELVMA.DBF", 0, 0);
    ASSERT_TRUE(m.Add("LATHE", 7, "lathe", "C:\\NC\\L\\", 0));
    ASSERT_TRUE(m.Add("DMU50", 5, "mill", "C:\\NC\\D\\", 0));
    lathe = m.ExistsByName("LATHE");
    mill = m.ExistsByName("DMU50");
    m.Close();
    TcbAdvCustTable c("KELVCUS2.DBF", 0, 0);
    zenith = c.Add("ZENITH");
    acme = c.Add("ACME");
    c.Close();
    TcbProTable pr("KELVPRO.DBF", 0, 0);
    TcbProRecord* r = pr.Add("GEARBOX", acme);
    ASSERT_TRUE(r);
    gearbox = r->ID;
    delete r;
    r = pr.Add("AXLE", acme);
    ASSERT_TRUE(r);
    axle = r->ID;
    delete r;
  }
  void SeedLinked() {
    AddProgram("KELVFILE.DBF", kRows[0], mill, acme, axle);
    AddProgram("KELVFILE.DBF", kRows[1], lathe, acme, gearbox);
    AddProgram("KELVFILE.DBF", kRows[2], mill, zenith);
    AddProgram("KELVFILE.DBF", kRows[3], lathe);
  }
  // Runs the dialog with the answer; the filter it built and its result.
  int Run(const std::function<void(Pilot&, TCombinedSearch&)>& act, std::string* filter = nullptr,
          std::vector<long>* found = nullptr) {
    driver.expect_dialog(IDD_COMBINED_SEARCH, [&](TDialog& d) {
      auto& dlg = static_cast<TCombinedSearch&>(d);
      Pilot p(d);
      act(p, dlg);
      if (d.HasEnded()) return;
      if (filter) {
        EXPECT_TRUE(dlg.BuildFilter(*filter));
      }
      p.click(IDOK);
    });
    TCombinedSearch dlg(nullptr, false);
    int rc = dlg.Execute();
    TcbFileRecord* list = dlg.TakeResults();
    if (found) *found = Ids(list);
    FreeRecordList(list);
    return rc;
  }

  long lathe = 0, mill = 0, acme = 0, zenith = 0, axle = 0, gearbox = 0;
};

TEST_F(CombinedTest, FiltersAsTheCriteriaStand) {
  const std::string blanks37(37, ' '), blanks39(39, ' ');
  std::string filter;
  // At once: the first machine, customer and project by name, exact.
  Run([](Pilot& p, TCombinedSearch&) { EXPECT_TRUE(p.visible(IDC_COMBINED_SEARCH_PROJECT)); }, &filter);
  EXPECT_EQ(filter, "MID = " + std::to_string(mill) + " .AND. CUST = " + std::to_string(acme) +
                        " .AND. PROJECT = " + std::to_string(axle));
  Run([](Pilot& p, TCombinedSearch&) {
        p.click(IDC_COMBINED_SEARCH_INCLUSIVE);
        p.click(IDC_COMBINED_SEARCH_PROJECT_BOX);  // project off
      }, &filter);
  EXPECT_EQ(filter, "MID = " + std::to_string(mill) + " .OR. CUST = " + std::to_string(acme));
  Run([](Pilot& p, TCombinedSearch&) {
        p.click(IDC_COMBINED_SEARCH_EXCLUSIVE);
        p.click(IDC_COMBINED_SEARCH_CUSTOMER_BOX);
        p.click(IDC_COMBINED_SEARCH_MACHINE_BOX);
        p.set_text(IDC_COMBINED_SEARCH_DESCRIPTION, "abc");
      }, &filter);
  EXPECT_EQ(filter, "'ABC' $ UPPER(CHAR3)");
  Run([](Pilot& p, TCombinedSearch&) {
        p.click(IDC_COMBINED_SEARCH_CUSTOMER_BOX);
        p.click(IDC_COMBINED_SEARCH_MACHINE_BOX);
        p.set_text(IDC_COMBINED_SEARCH_PROGRAM_ID, "abc");
      }, &filter);
  EXPECT_EQ(filter, "UPPER(DESC) = 'ABC" + blanks37 + "'");
  Run([](Pilot& p, TCombinedSearch&) {
        p.click(IDC_COMBINED_SEARCH_PROJECT_BOX);
        p.click(IDC_COMBINED_SEARCH_MACHINE_BOX);
        p.set_text(IDC_COMBINED_SEARCH_PROGRAM_ID, "x");
      }, &filter);
  EXPECT_EQ(filter, "CUST = " + std::to_string(acme) + " .AND. UPPER(DESC) = 'X" + blanks39 + "'");
  // Quotes of the user's text choose the delimiter.
  Run([](Pilot& p, TCombinedSearch&) {
        p.click(IDC_COMBINED_SEARCH_CUSTOMER_BOX);
        p.click(IDC_COMBINED_SEARCH_MACHINE_BOX);
        p.click(IDC_COMBINED_SEARCH_EXCLUSIVE);
        p.set_text(IDC_COMBINED_SEARCH_PROGRAM_ID, "O'1");
        p.set_text(IDC_COMBINED_SEARCH_DRAWING, "\"[");
      }, &filter);
  EXPECT_EQ(filter, "\"O'1\" $ UPPER(DESC) .AND. '\"[' $ UPPER(DRAW)");
}

TEST_F(CombinedTest, ResultsAreThoseOfAPlainScan) {
  SeedLinked();
  struct Case {
    const char* name;
    int method;        // the search method's radio button
    int machine;       // combo line, -1 box off
    int customer;      // combo line, -1 box off
    int project;       // combo line, -1 box off
    const char* texts[4];  // program id, part, description, drawing
    std::vector<long> expected;
  } cases[] = {
      {"machine only", IDC_COMBINED_SEARCH_EXACT, 0, -1, -1, {"", "", "", ""}, {1, 3}},
      {"exclusive all", IDC_COMBINED_SEARCH_EXCLUSIVE, 0, 0, -1, {"", "AB-10", "", ""}, {1}},
      {"inclusive machine or part", IDC_COMBINED_SEARCH_INCLUSIVE, 1, -1, -1, {"", "XAB", "", ""}, {2, 3, 4}},
      {"inclusive quote", IDC_COMBINED_SEARCH_INCLUSIVE, -1, -1, -1, {"O'1", "", "", ""}, {2, 4}},
      {"exact quote", IDC_COMBINED_SEARCH_EXACT, -1, -1, -1, {"o'1", "", "", ""}, {2}},
      {"customer and project", IDC_COMBINED_SEARCH_EXACT, -1, 0, 1, {"", "", "", ""}, {2}},
      {"inclusive texts", IDC_COMBINED_SEARCH_INCLUSIVE, -1, -1, -1, {"", "AB-1000", "", "[3]"}, {2, 3}},
      {"exclusive quotes", IDC_COMBINED_SEARCH_EXCLUSIVE, -1, -1, -1, {"", "", "'LEFT'", "D["}, {3}},
      {"nothing chosen", IDC_COMBINED_SEARCH_EXCLUSIVE, -1, -1, -1, {"", "", "", ""}, {1, 2, 3, 4}},
      {"other customer", IDC_COMBINED_SEARCH_EXACT, -1, 1, -1, {"", "", "", ""}, {3}},
  };
  const long machines[] = {mill, lathe};  // sorted by name
  const long customers[] = {acme, zenith};
  const long projects[] = {axle, gearbox};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // The scan: each criterion on its own, joined by the method's connector.
    std::vector<long> scanned;
    {
      TcbFileTable t("KELVFILE.DBF", 0, 0);
      TcbFileRecord* all = t.ReadAll(1);
      for (auto* r = all; r; r = static_cast<TcbFileRecord*>(r->next)) {
        std::vector<bool> terms;
        if (c.machine >= 0) terms.push_back(r->MID == machines[c.machine]);
        if (c.customer >= 0) terms.push_back(r->CUST == customers[c.customer]);
        if (c.project >= 0) terms.push_back(r->PROJECT == projects[c.project]);
        const char* values[4] = {r->DESC, r->PART, r->CHAR3, r->DRAW};
        const size_t widths[4] = {40, 25, 50, 25};
        for (int i = 0; i < 4; i++) {
          std::string text = Upper(c.texts[i]);
          if (text.empty()) continue;
          std::string value = Upper(values[i]);
          value.resize(widths[i], ' ');
          terms.push_back(c.method == 112 ? value == text + std::string(widths[i] - text.size(), ' ')
                                          : value.find(text) != std::string::npos);
        }
        bool hit = terms.empty() || (c.method == IDC_COMBINED_SEARCH_INCLUSIVE
                                         ? std::find(terms.begin(), terms.end(), true) != terms.end()
                                         : std::find(terms.begin(), terms.end(), false) == terms.end());
        if (hit) scanned.push_back(r->NCID);
      }
      FreeRecordList(all);
      std::sort(scanned.begin(), scanned.end());
    }
    EXPECT_EQ(scanned, c.expected);
    std::vector<long> found;
    int rc = Run([&](Pilot& p, TCombinedSearch&) {
      p.click(c.method);
      if (c.machine < 0) {
        p.click(IDC_COMBINED_SEARCH_MACHINE_BOX);
      } else {
        p.select(IDC_COMBINED_SEARCH_MACHINE, c.machine);
      }
      if (c.customer < 0) {
        p.click(IDC_COMBINED_SEARCH_CUSTOMER_BOX);
      } else {
        p.select(IDC_COMBINED_SEARCH_CUSTOMER, c.customer);
        if (c.project < 0 && p.checked(IDC_COMBINED_SEARCH_PROJECT_BOX)) p.click(IDC_COMBINED_SEARCH_PROJECT_BOX);
        if (c.project >= 0) p.select(IDC_COMBINED_SEARCH_PROJECT, c.project);
      }
      const int edits[4] = {IDC_COMBINED_SEARCH_PROGRAM_ID, IDC_COMBINED_SEARCH_PART, IDC_COMBINED_SEARCH_DESCRIPTION,
                            IDC_COMBINED_SEARCH_DRAWING};
      for (int i = 0; i < 4; i++) p.set_text(edits[i], c.texts[i]);
    }, nullptr, &found);
    EXPECT_EQ(rc, c.expected.empty() ? IDCANCEL : IDOK);
    EXPECT_EQ(found, c.expected);
  }
}

TEST_F(CombinedTest, TheBoxesFollowTheCustomer) {
  std::string filter;
  int rc = Run([&](Pilot& p, TCombinedSearch& d) {
    p.click(IDC_COMBINED_SEARCH_CUSTOMER_BOX);  // customer off: the project goes off with it
    EXPECT_FALSE(p.checked(IDC_COMBINED_SEARCH_PROJECT_BOX));
    EXPECT_FALSE(p.visible(IDC_COMBINED_SEARCH_PROJECT_BOX));
    EXPECT_FALSE(p.visible(IDC_COMBINED_SEARCH_PROJECT));
    p.click(IDC_COMBINED_SEARCH_CUSTOMER_BOX);  // on again: the project box is back, but off
    EXPECT_TRUE(p.visible(IDC_COMBINED_SEARCH_PROJECT_BOX));
    EXPECT_FALSE(p.checked(IDC_COMBINED_SEARCH_PROJECT_BOX));
    p.click(IDC_COMBINED_SEARCH_PROJECT_BOX);
    EXPECT_TRUE(p.visible(IDC_COMBINED_SEARCH_PROJECT));
    p.select(IDC_COMBINED_SEARCH_CUSTOMER, 1);  // ZENITH has no project: off and hidden
    EXPECT_FALSE(p.checked(IDC_COMBINED_SEARCH_PROJECT_BOX));
    EXPECT_FALSE(p.visible(IDC_COMBINED_SEARCH_PROJECT_BOX));
    EXPECT_FALSE(p.visible(IDC_COMBINED_SEARCH_PROJECT));
    EXPECT_EQ(d.ProjectId, axle);  // stale, and not used
    p.click(IDC_COMBINED_SEARCH_MACHINE_BOX);
  }, &filter);
  EXPECT_EQ(filter, "CUST = " + std::to_string(zenith));
  EXPECT_EQ(rc, IDCANCEL);  // nothing matched: closed as if cancelled
}

TEST_F(CombinedTest, WithoutMachinesItEndsAtOnceAndWithoutCustomersItHidesThem) {
  {
    TcbMachTable m("KELVMA.DBF", 0, 0);
    ASSERT_TRUE(m.DeleteById(mill));
    ASSERT_TRUE(m.DeleteById(lathe));
  }
  {
    TCombinedSearch dlg(nullptr, false);
    EXPECT_EQ(dlg.Execute(), IDCANCEL);  // no dialog expected: none shown
  }
  {
    TcbMachTable m("KELVMA.DBF", 0, 0);
    ASSERT_TRUE(m.Add("MILL2", 5, "mill", "C:\\NC\\", 0));
    TcbAdvCustTable c("KELVCUS2.DBF", 0, 0);
    ASSERT_TRUE(c.DeleteById(acme));
    ASSERT_TRUE(c.DeleteById(zenith));
  }
  std::string filter;
  Run(
      [](Pilot& p, TCombinedSearch&) {
        for (int id : {IDC_COMBINED_SEARCH_CUSTOMER_BOX, IDC_COMBINED_SEARCH_CUSTOMER, IDC_COMBINED_SEARCH_PROJECT_BOX,
                       IDC_COMBINED_SEARCH_PROJECT})
          EXPECT_FALSE(p.visible(id)) << id;
      },
      &filter);
  EXPECT_EQ(filter.rfind("MID = ", 0), 0u);
  EXPECT_EQ(filter.find("CUST"), std::string::npos);
}

TEST_F(CombinedTest, OpenSearchHandsTheCombinedResultOn) {
  SeedLinked();
  std::vector<long> handed;
  SetProgramListDialog([&](TWindow*, TcbFileRecord* list) {
    handed = Ids(list);
    FreeRecordList(list);
    Globals->CurrentProgramId = 1;
    return IDOK;
  });
  Globals->SearchMode = 4;
  driver.expect_dialog(IDD_SEARCH, [&](TDialog& d) {
    driver.expect_dialog(IDD_COMBINED_SEARCH, [&](TDialog& c) {
      EXPECT_FALSE(d.IsWindowVisible());
      Pilot p(c);
      p.click(IDC_COMBINED_SEARCH_PROJECT_BOX);  // machine DMU50 and customer ACME
      p.click(IDOK);
    });
    Pilot(d).click(IDC_SEARCH_COMBINED);
  });
  EXPECT_EQ(ChooseProgram(nullptr), 1);
  EXPECT_EQ(handed, std::vector<long>{1});
  EXPECT_EQ(Globals->SearchMode, 1);
}

}  // namespace
