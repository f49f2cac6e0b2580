// The program searches driven as a user would: the text and combined
// searches' filters against a plain scan of the seeded program index, its remembered choices
// and texts, the nine buttons of the front ends with their hand-over, and
// the customer chooser.
#include "storage/search_dialogs.h"

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
    driver.expect_dialog(48, [&](TDialog& d) {
      Pilot p(d);
      p.set_text(101, text);
      p.click(102 + mode);
      if (nothing) driver.expect_message_box(IDOK, "No program matches");
      p.click(105);
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
  driver.expect_dialog(48, [&](TDialog& d) {
    Pilot p(d);
    p.set_text(101, "O'\"[1]");
    driver.expect_message_box(IDOK, "cannot be searched");
    driver.expect_message_box(IDOK, "No program matches");
    p.click(105);
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
  driver.expect_dialog(48, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_TRUE(p.checked(103));
    EXPECT_FALSE(p.checked(102));
    EXPECT_EQ(p.text(101), "");
    p.click(105);  // an empty text searches nothing
    EXPECT_FALSE(d.HasEnded());
    p.set_text(101, "AB-100");
    p.click(102);
    p.click(105);
  });
  EXPECT_EQ(TFindByDesc(nullptr, kFieldPart, false).Execute(), IDOK);
  EXPECT_EQ(Globals->DefaultSearch, 1);
  EXPECT_STREQ(Globals->SearchTexts[kFieldPart].get(), "AB-100");
  EXPECT_EQ(Globals->SearchMode, 3);

  // Without KEEPTEXTSEARCH the edit starts empty; the exact kind holds for
  // every field. A text is remembered even when it finds nothing.
  driver.expect_dialog(48, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_TRUE(p.checked(102));
    EXPECT_EQ(p.text(101), "");
    p.set_text(101, "NOTHING");
    driver.expect_message_box(IDOK, "No program matches");
    p.click(105);
    p.click(IDCANCEL);
  });
  EXPECT_EQ(TFindByDesc(nullptr, kFieldDrawing, false).Execute(), IDCANCEL);
  EXPECT_STREQ(Globals->SearchTexts[kFieldDrawing].get(), "NOTHING");

  Globals->KeepTextSearch = 1;
  for (int field : {kFieldPart, kFieldDrawing, kFieldProgramId}) {
    driver.expect_dialog(48, [&](TDialog& d) {
      Pilot p(d);
      EXPECT_EQ(p.text(101), field == kFieldPart ? "AB-100" : field == kFieldDrawing ? "NOTHING" : "");
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
  } cases[] = {{110, 4}, {107, 1}, {102, 3}, {106, 2}};
  for (const Case& c : cases) {
    Globals->SearchMode = 9;
    driver.expect_dialog(53, [&](TDialog& d) {
      Pilot p(d);
      driver.expect_dialog(48, [&](TDialog& f) {
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
  driver.expect_dialog(53, [&](TDialog& d) {
    driver.expect_dialog(1, [](TDialog& m) { Pilot(m).click(IDOK); });
    Pilot(d).click(103);
  });
  EXPECT_EQ(ChooseProgram(nullptr), IDOK);
  // All, with the program dialog left without opening.
  answer = IDCANCEL;
  driver.expect_dialog(53, [&](TDialog& d) { Pilot(d).click(105); });
  EXPECT_EQ(ChooseProgram(nullptr), IDCANCEL);
  // A text search; a customer without programs still opens the program
  // dialog, with an empty list.
  answer = IDOK;
  driver.expect_dialog(53, [&](TDialog& d) {
    driver.expect_dialog(48, [](TDialog& f) {
      Pilot p(f);
      p.set_text(101, "O'");
      p.click(105);
    });
    Pilot(d).click(107);
  });
  EXPECT_EQ(ChooseProgram(nullptr), IDOK);
  {
    TcbAdvCustTable c("KELVCUS2.DBF", 0, 0);
    ASSERT_GT(c.Add("ACME"), 0);
  }
  driver.expect_dialog(53, [&](TDialog& d) {
    driver.expect_dialog(24, [](TDialog& c) { Pilot(c).click(IDOK); });
    Pilot(d).click(104);
  });
  EXPECT_EQ(ChooseProgram(nullptr), IDOK);
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
  driver.expect_dialog(53, [&](TDialog& d) {
    Pilot p(d);
    driver.expect_dialog(1, [](TDialog& m) { Pilot(m).click(IDCANCEL); });
    p.click(103);
    driver.expect_dialog(28, [](TDialog& s) { Pilot(s).click(IDCANCEL); });
    p.click(108);
    // No customer at all: said, and nothing searched.
    driver.expect_message_box(IDOK, "no customer");
    p.click(104);
    EXPECT_FALSE(d.HasEnded());
    p.click(IDCANCEL);
  });
  EXPECT_EQ(ChooseProgram(nullptr), IDCANCEL);
}

TEST_F(SearchTest, NewSearchStaysOpenUntilASearchFindsSomethingAndListsAsOpenDoes) {
  driver.expect_dialog(53, [&](TDialog& d) {
    Pilot p(d);
    p.click(105);  // nothing in the index yet
    EXPECT_FALSE(d.HasEnded());
    SeedAll();
    {
      TcbFileTable t("KELVFILE.DBF", 0, 0);
      delete t.DeleteById(3);
    }
    p.click(105);
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
  driver.expect_dialog(53, [&](TDialog& d) { Pilot(d).click(105); });
  EXPECT_EQ(ChooseProgram(nullptr), IDCANCEL);
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
  driver.expect_dialog(53, [&](TDialog& d) {
    Pilot p(d);
    driver.expect_dialog(1, [](TDialog& m) { Pilot(m).click(IDOK); });
    p.click(103);  // no backup of that machine: no message, still open
    EXPECT_FALSE(d.HasEnded());
    EXPECT_TRUE(d.IsWindowVisible());
    AddProgram("KELVBACK.DBF", {7, "O7", "", "", ""}, mill);
    p.click(105);  // the backup dialog asks for a new search
    EXPECT_FALSE(d.HasEnded());
    EXPECT_TRUE(d.IsWindowVisible());
    p.click(105);
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
  driver.expect_dialog(24, [&](TDialog& d) {
    EXPECT_EQ(Globals->ChosenCustomerId, acme);  // the first name, before any click
    Pilot(d).click(IDOK);
  });
  EXPECT_EQ(TSelectCustomer(nullptr).Execute(), IDOK);
  EXPECT_EQ(Globals->ChosenCustomerId, acme);

  driver.expect_dialog(24, [&](TDialog& d) { Pilot(d).double_click(101, 1); });
  EXPECT_EQ(TSelectCustomer(nullptr).Execute(), IDOK);
  EXPECT_EQ(Globals->ChosenCustomerId, zenith);

  driver.expect_dialog(24, [&](TDialog& d) {
    Pilot p(d);
    p.select(101, 1);
    p.click(IDCANCEL);
  });
  EXPECT_EQ(TSelectCustomer(nullptr).Execute(), IDCANCEL);
  EXPECT_EQ(Globals->ChosenCustomerId, zenith);

  driver.expect_dialog(24, [&](TDialog& d) { Pilot(d).click(IDCANCEL); });
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
    driver.expect_dialog(13, [&](TDialog& d) {
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
  Run([](Pilot& p, TCombinedSearch&) { EXPECT_TRUE(p.visible(102)); }, &filter);
  EXPECT_EQ(filter, "MID = " + std::to_string(mill) + " .AND. CUST = " + std::to_string(acme) +
                        " .AND. PROJECT = " + std::to_string(axle));
  Run([](Pilot& p, TCombinedSearch&) {
        p.click(110);
        p.click(105);  // project off
      }, &filter);
  EXPECT_EQ(filter, "MID = " + std::to_string(mill) + " .OR. CUST = " + std::to_string(acme));
  Run([](Pilot& p, TCombinedSearch&) {
        p.click(111);
        p.click(104);
        p.click(106);
        p.set_text(113, "abc");
      }, &filter);
  EXPECT_EQ(filter, "'ABC' $ UPPER(CHAR3)");
  Run([](Pilot& p, TCombinedSearch&) {
        p.click(104);
        p.click(106);
        p.set_text(107, "abc");
      }, &filter);
  EXPECT_EQ(filter, "UPPER(DESC) = 'ABC" + blanks37 + "'");
  Run([](Pilot& p, TCombinedSearch&) {
        p.click(105);
        p.click(106);
        p.set_text(107, "x");
      }, &filter);
  EXPECT_EQ(filter, "CUST = " + std::to_string(acme) + " .AND. UPPER(DESC) = 'X" + blanks39 + "'");
  // Quotes of the user's text choose the delimiter.
  Run([](Pilot& p, TCombinedSearch&) {
        p.click(104);
        p.click(106);
        p.click(111);
        p.set_text(107, "O'1");
        p.set_text(109, "\"[");
      }, &filter);
  EXPECT_EQ(filter, "\"O'1\" $ UPPER(DESC) .AND. '\"[' $ UPPER(DRAW)");
}

TEST_F(CombinedTest, ResultsAreThoseOfAPlainScan) {
  SeedLinked();
  struct Case {
    const char* name;
    int method;        // 110 inclusive, 111 exclusive, 112 exact
    int machine;       // combo line, -1 box off
    int customer;      // combo line, -1 box off
    int project;       // combo line, -1 box off
    const char* texts[4];  // program id, part, description, drawing
    std::vector<long> expected;
  } cases[] = {
      {"machine only", 112, 0, -1, -1, {"", "", "", ""}, {1, 3}},
      {"exclusive all", 111, 0, 0, -1, {"", "AB-10", "", ""}, {1}},
      {"inclusive machine or part", 110, 1, -1, -1, {"", "XAB", "", ""}, {2, 3, 4}},
      {"inclusive quote", 110, -1, -1, -1, {"O'1", "", "", ""}, {2, 4}},
      {"exact quote", 112, -1, -1, -1, {"o'1", "", "", ""}, {2}},
      {"customer and project", 112, -1, 0, 1, {"", "", "", ""}, {2}},
      {"inclusive texts", 110, -1, -1, -1, {"", "AB-1000", "", "[3]"}, {2, 3}},
      {"exclusive quotes", 111, -1, -1, -1, {"", "", "'LEFT'", "D["}, {3}},
      {"nothing chosen", 111, -1, -1, -1, {"", "", "", ""}, {1, 2, 3, 4}},
      {"other customer", 112, -1, 1, -1, {"", "", "", ""}, {3}},
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
        bool hit = terms.empty() ||
                   (c.method == 110 ? std::find(terms.begin(), terms.end(), true) != terms.end()
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
        p.click(106);
      } else {
        p.select(103, c.machine);
      }
      if (c.customer < 0) {
        p.click(104);
      } else {
        p.select(101, c.customer);
        if (c.project < 0 && p.checked(105)) p.click(105);
        if (c.project >= 0) p.select(102, c.project);
      }
      const int edits[4] = {107, 108, 113, 109};
      for (int i = 0; i < 4; i++) p.set_text(edits[i], c.texts[i]);
    }, nullptr, &found);
    EXPECT_EQ(rc, c.expected.empty() ? IDCANCEL : IDOK);
    EXPECT_EQ(found, c.expected);
  }
}

TEST_F(CombinedTest, TheBoxesFollowTheCustomer) {
  std::string filter;
  int rc = Run([&](Pilot& p, TCombinedSearch& d) {
    p.click(104);  // customer off: the project goes off with it
    EXPECT_FALSE(p.checked(105));
    EXPECT_FALSE(p.visible(105));
    EXPECT_FALSE(p.visible(102));
    p.click(104);  // on again: the project box is back, but off
    EXPECT_TRUE(p.visible(105));
    EXPECT_FALSE(p.checked(105));
    p.click(105);
    EXPECT_TRUE(p.visible(102));
    p.select(101, 1);  // ZENITH has no project: off and hidden
    EXPECT_FALSE(p.checked(105));
    EXPECT_FALSE(p.visible(105));
    EXPECT_FALSE(p.visible(102));
    EXPECT_EQ(d.ProjectId, axle);  // stale, and not used
    p.click(106);
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
  Run([](Pilot& p, TCombinedSearch&) {
    for (int id : {104, 101, 105, 102}) EXPECT_FALSE(p.visible(id)) << id;
  }, &filter);
  EXPECT_EQ(filter.rfind("MID = ", 0), 0u);
  EXPECT_EQ(filter.find("CUST"), std::string::npos);
}

TEST_F(CombinedTest, OpenSearchHandsTheCombinedResultOn) {
  SeedLinked();
  std::vector<long> handed;
  SetProgramListDialog([&](TWindow*, TcbFileRecord* list) {
    handed = Ids(list);
    FreeRecordList(list);
    return IDOK;
  });
  Globals->SearchMode = 4;
  driver.expect_dialog(53, [&](TDialog& d) {
    driver.expect_dialog(13, [&](TDialog& c) {
      EXPECT_FALSE(d.IsWindowVisible());
      Pilot p(c);
      p.click(105);  // machine DMU50 and customer ACME
      p.click(IDOK);
    });
    Pilot(d).click(109);
  });
  EXPECT_EQ(ChooseProgram(nullptr), IDOK);
  EXPECT_EQ(handed, std::vector<long>{1});
  EXPECT_EQ(Globals->SearchMode, 1);
}

}  // namespace
