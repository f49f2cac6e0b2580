// The replacement texts of a port's two sides in TRAMOX01.DBF: what the
// dialog shows of each side, what OK stores (and python3-dbfread reads),
// the row made for a port without one, and a refused code list.
#include "dnc/replace_text.h"
#include "tests/dncsetup/setup_fixture.h"

namespace {

using kvdnc::SetupTest;
using plat::Pilot;

class ReplaceTextTest : public SetupTest {
 protected:
  void SetUp() override {
    SetupTest::SetUp();
    TTramox01Table t("TRAMOX01.DBF", 1, 0);
    t.Create(AltPath("TRAMOX01.DBF").c_str());
  }
  int Run(int selector, long id, const std::function<void(Pilot&, TDialog&)>& answer) {
    driver.expect_dialog(IDD_REPLACE_TEXT, [&](TDialog& d) {
      Pilot p(d);
      answer(p, d);
    });
    return TReplaceTextDialog(nullptr, selector, id).Execute();
  }
  // C01..C64 of the row, as the peer reads them ("None" for an empty one).
  std::vector<std::string> Texts(long id) {
    std::vector<int> fields;
    for (int i = 1; i <= 65; ++i) fields.push_back(i);
    for (const std::string& row : PeerFields(AltPath("TRAMOX01.DBF"), fields)) {
      std::vector<std::string> cells;
      size_t start = 0;
      for (size_t bar; (bar = row.find('|', start)) != std::string::npos; start = bar + 1)
        cells.push_back(row.substr(start, bar - start));
      cells.push_back(row.substr(start));
      if (!cells.empty() && cells[0] == std::to_string(id)) return {cells.begin() + 1, cells.end()};
    }
    return {};
  }

  plat::GTestUiDriver driver;
};

TEST_F(ReplaceTextTest, APortWithoutARowGetsAnEmptyOneAtOnce) {
  EXPECT_EQ(Run(TReplaceTextDialog::kReception, 7, [](Pilot& p, TDialog& d) {
              EXPECT_EQ(d.GetText(), "Reception replacement");
              for (int id = IDC_REPLACE_TEXT1; id <= IDC_REPLACE_TEXT32; ++id) EXPECT_EQ(p.text(id), "") << id;
              p.click(IDCANCEL);
            }),
            IDCANCEL);
  std::vector<std::string> texts = Texts(7);
  ASSERT_EQ(texts.size(), 64u) << "the row stays though the dialog was left";
  for (const std::string& t : texts) EXPECT_TRUE(t.empty() || t == "None") << t;
}

TEST_F(ReplaceTextTest, EachSideShowsAndStoresItsOwnThirtyTwoTexts) {
  {
    TTramox01Record r;
    r.ID = 3;
    for (int i = 0; i < 64; ++i) std::snprintf(r.text[i], sizeof r.text[i], "%d", i + 1);
    TTramox01Table t("TRAMOX01.DBF", 1, 0);
    ASSERT_EQ(t.Append(&r), 1);
  }
  EXPECT_EQ(Run(TReplaceTextDialog::kTransmission, 3, [](Pilot& p, TDialog& d) {
              EXPECT_EQ(d.GetText(), "Transmission replacement");
              // Edit n holds text 32 + n.
              EXPECT_EQ(p.text(IDC_REPLACE_TEXT1), "33");
              EXPECT_EQ(p.text(IDC_REPLACE_TEXT17), "49");
              EXPECT_EQ(p.text(IDC_REPLACE_TEXT32), "64");
              p.set_text(IDC_REPLACE_TEXT1, "13,10");
              p.set_text(IDC_REPLACE_TEXT32, "");
              p.click(IDOK);
            }),
            IDOK);
  std::vector<std::string> texts = Texts(3);
  ASSERT_EQ(texts.size(), 64u);
  EXPECT_EQ(texts[0], "1") << "the reception side stays";
  EXPECT_EQ(texts[31], "32");
  EXPECT_EQ(texts[32], "13,10");
  EXPECT_EQ(texts[48], "49");
  EXPECT_TRUE(texts[63].empty() || texts[63] == "None") << texts[63];
}

TEST_F(ReplaceTextTest, AnythingButCodesAndCommasIsRefusedAndNothingStored) {
  EXPECT_EQ(Run(TReplaceTextDialog::kReception, 9, [&](Pilot& p, TDialog& d) {
              p.set_text(IDC_REPLACE_TEXT20, "13;10");
              driver.expect_message_box(IDOK, "Invalid character in input");
              p.click(IDOK);
              EXPECT_FALSE(d.HasEnded());
              p.click(IDCANCEL);
            }),
            IDCANCEL);
  std::vector<std::string> texts = Texts(9);
  ASSERT_EQ(texts.size(), 64u);
  EXPECT_TRUE(texts[19].empty() || texts[19] == "None") << texts[19];
}

}  // namespace
