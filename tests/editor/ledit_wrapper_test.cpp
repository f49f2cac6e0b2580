// The wrappers: options stored before the control exists and sent in
// their fixed order at set-up, setters after it, notifications forwarded
// to the parent, the character-class string, text operations, commands.
#include "editor/ledit.h"

#include <gtest/gtest.h>

#include "platform/ui/dc.h"
#include "platform/ui/enabler.h"
#include "resources/menus/editor.h"
#include "tests/ledit/ledit_support.h"

using namespace ledittest;

namespace {

// Ids of the edits the tests put on their parent window.
constexpr int kEditId = 5, kSecondEdit = 6, kOtherEdit = 7, kColouredEdit = 9, kForwardingEdit = 42;

struct Msg {
  UINT msg;
  WPARAM wp;
  LPARAM lp;
  bool operator==(const Msg&) const = default;
};

std::ostream& operator<<(std::ostream& o, const Msg& m) {
  return o << "WM_USER+" << (static_cast<int>(m.msg) - WM_USER) << "(" << m.wp << ", " << m.lp << ")";
}

// Records what reaches the control behind the wrapper.
template <class Base>
class Spy : public Base {
 public:
  using Base::Base;
  LRESULT DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg >= WM_USER && msg < WM_USER + 100 && msg != LEM_SELCOLORS && msg != LEM_TOKENCOLOR &&
        msg != LEM_BACKGROUND && msg != LEM_LINEHOOK)
      Seen.push_back({msg, wp, lp});
    return Base::DefWindowProc(msg, wp, lp);
  }
  std::vector<Msg> Seen;
};

class LeditWrapper : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(parent.Create()); }
  void TearDown() override { parent.Destroy(); }
  Recorder parent;
};

TEST_F(LeditWrapper, SetupSendsTheStoredOptionsInTheirOrder) {
  auto* e = new Spy<TLEdit>(&parent, kEditId, "", 0, 0, 300, 100);
  e->SetOptionBit4(true);
  e->SetOptionBit(256, true);
  e->SetTypingMode(1);
  e->SetValue32(7);
  e->SetValues79(e, 0, 9);
  e->SetWidthValue(4);
  e->SetCharTable("1X", 1);
  e->SetSavedSelection(SelectionRange{2, 2, 1, 1});
  EXPECT_TRUE(e->Seen.empty());  // nothing goes out before the control exists
  ASSERT_TRUE(e->Create());
  HWND h = e->GetHandle();
  const unsigned char* table = e->GetCharTable();
  std::vector<Msg> want = {
      {LEM_SETOPTIONS, 32, 0}, {LEM_BIND, 1000, reinterpret_cast<LPARAM>(h)}, {LEM_SETTABWIDTH, 4, 0},
      {LEM_SETOPTIONS, 4, 0},  {LEM_SETOPTIONS, 0, 1024}, {LEM_SETOPTIONS, 0, 512}, {LEM_SETOPTIONS, 0, 8},
      {LEM_SETOPTIONS, 0, 16}, {LEM_SETOPTIONS, 0, 128}, {LEM_SETOPTIONS, 256, 0}, {LEM_SETOPTIONS, 0, 1},
      {LEM_SETOPTIONS, 0, 2},  {LEM_SETTYPING, 0, 0},    {LEM_SETVALUE32, 7, 0},    {LEM_SETVALUE78, 16, 0},
      {LEM_SETVALUES79, 3, 9}, {LEM_SETVALUE87, 0, 0},   {LEM_SETCHARTABLE, 257, reinterpret_cast<LPARAM>(table)},
  };
  ASSERT_GE(e->Seen.size(), want.size() + 1);
  EXPECT_EQ(std::vector<Msg>(e->Seen.begin(), e->Seen.begin() + want.size()), want);
  EXPECT_EQ(e->Seen[want.size()].msg, LEM_SETSEL);
  EXPECT_EQ(e->Seen.size(), want.size() + 1);
  EXPECT_EQ(parent.count(kEditId, 2100), 1);  // set-up done
  EXPECT_EQ(e->IsOvertype(), true);

  // A -1 value takes the control's own; the table of "1X" made one entry.
  auto* f = new Spy<TLEdit>(&parent, kSecondEdit, "", 0, 0, 300, 100);
  ASSERT_TRUE(f->Create());
  EXPECT_EQ(std::count(f->Seen.begin(), f->Seen.end(), Msg{LEM_GETVALUE32, 0, 0}), 1);
  EXPECT_EQ(std::count_if(f->Seen.begin(), f->Seen.end(), [](const Msg& m) { return m.msg == LEM_SETCHARTABLE; }), 0);
  EXPECT_EQ(e->GetCharTableCount(), 1 + (1 << 8));
}

TEST_F(LeditWrapper, SettersStoreBeforeCreationAndSendAfter) {
  auto* e = new Spy<TLEdit>(&parent, kEditId, "", 0, 0, 300, 100);
  UINT base = e->Attr.Style;
  EXPECT_EQ(base & 0x50030000u, 0x50030000u);
  e->SetReadOnly(true);
  e->SetStyleOptionA(true);
  e->SetStyleOptionB(true);
  e->SetScrollBars(true, false);
  e->SetStyleOptionA(false);  // clears only its own bit
  EXPECT_EQ(e->Attr.Style, (base | 0x800 | 0x400 | WS_HSCROLL) & ~WS_VSCROLL);
  EXPECT_TRUE(e->Seen.empty());
  for (auto [in, kept] : std::vector<std::pair<int, int>>{{0, 1}, {-5, 1}, {41, 40}, {40, 40}, {12, 12}}) {
    e->SetWidthValue(in);
    EXPECT_EQ(e->GetWidthValue(), kept) << in;
  }

  ASSERT_TRUE(e->Create());
  EXPECT_TRUE(e->IsReadOnly());  // the stored style reached the control
  UINT style = e->Attr.Style;
  e->Seen.clear();
  e->SetReadOnly(false);
  e->SetStyleOptionB(false);
  e->SetScrollBars(false, true);
  e->SetOptionLowNibble(26);
  e->SetOptionBit2(true);
  e->SetTypingMode(0);
  e->SetWidthValue(0);
  e->SetValue32(5);
  e->SetValue78(3);
  e->SetValue87(4);
  e->SetValues79(nullptr, 1, 1);
  e->SetValues79(e, 1, 0);
  e->SetValues79(e, 1, 2);
  std::vector<Msg> want = {
      {LEM_SETREADONLY, 0, 0},  {LEM_STYLEB, 0, 0},         {LEM_GETOPTIONWORD, 0, 0}, {LEM_SETOPTIONWORD, 0, 0x20000},
      {LEM_GETOPTIONWORD, 0, 0}, {LEM_SETOPTIONWORD, 0, 0x2000A}, {LEM_SETOPTIONS, 2, 0}, {LEM_SETTYPING, 1, 0},
      {LEM_SETTABWIDTH, 1, 0},  {LEM_SETVALUE32, 5, 0},     {LEM_SETVALUE78, 3, 0},    {LEM_SETVALUE87, 4, 0},
      {LEM_SETVALUES79, 0, 1},  {LEM_SETVALUES79, 5, 0},    {LEM_SETVALUES79, 7, 2},
  };
  EXPECT_EQ(e->Seen, want);
  EXPECT_EQ(e->Attr.Style, style);  // after creation only the control changes
  EXPECT_FALSE(e->IsReadOnly());
  EXPECT_EQ(e->GetValue32(), -1);  // stored only while the control does not exist
}

TEST_F(LeditWrapper, CharacterClassStringsMakeTheirEntries) {
  struct Case {
    std::string coded;
    std::vector<unsigned char> entries;
  } cases[] = {
      {"2A", {}},
      {"0", {1, 1}},
      {"1X", {'X', 0}},
      {"2()", {'(', ')'}},
      {"3Z", {'Z', 3}},
      {"4;", {';', 4}},
      {"a 1_ b 3Z,0", {'_', 0, 'Z', 3, 1, 1}},
      {"1X3", {'X', 0}},  // a class digit at the end makes no entry
      {"2(", {}},
  };
  for (const Case& c : cases) {
    TLEdit e(nullptr, "");
    e.SetCharTable(c.coded.c_str(), 0);
    EXPECT_EQ(e.GetCharTableCount(), static_cast<int>(c.entries.size() / 2)) << c.coded;
    EXPECT_EQ(std::vector<unsigned char>(e.GetCharTable(), e.GetCharTable() + c.entries.size()), c.entries) << c.coded;
  }
  std::string many;
  for (int i = 0; i < 300; ++i) many += "1" + std::string(1, static_cast<char>('A' + i % 26));
  TLEdit e(nullptr, "");
  e.SetCharTable(many.c_str(), 2);
  EXPECT_EQ(e.GetCharTableCount(), 254 + (2 << 8));
  unsigned char raw[] = {'A', 0};
  e.SetCharTable(raw, -3, 0);
  EXPECT_EQ(e.GetCharTableCount(), 0);
}

TEST_F(LeditWrapper, NotificationsReachTheParentAsIdAndCode) {
  auto* e = new TLEdit(&parent, kForwardingEdit, "", 0, 0, 300, 100);
  ASSERT_TRUE(e->Create());
  HWND h = e->GetHandle();
  parent.Notes.clear();
  type(h, "N1");
  EXPECT_EQ(parent.count(kForwardingEdit, 0x300), 2);
  key(h, VK_INSERT);
  EXPECT_EQ(parent.count(kForwardingEdit, 801), 1);
  EXPECT_EQ(e->GetTypingMode(), 1);
  struct Case {
    UINT code, forwarded;
  } cases[] = {{1500, 1500}, {1501, 1501}, {1278, 1280}, {1281, 1281}, {2048, 2048}, {0x100, 0x100},
               {0x200, 0x200}, {1537, 1537}, {1538, 1538}, {1022, 1024}, {1023, 1025}};
  for (const Case& c : cases) {
    parent.Notes.clear();
    ::SendMessage(h, WM_COMMAND, MAKEWPARAM(1000, c.code), reinterpret_cast<LPARAM>(h));
    EXPECT_EQ(parent.Notes, (std::vector<std::pair<int, int>>{{kForwardingEdit, static_cast<int>(c.forwarded)}}))
        << c.code;
  }
  parent.Notes.clear();
  ::SendMessage(h, WM_COMMAND, MAKEWPARAM(1000, 2049), reinterpret_cast<LPARAM>(h));
  EXPECT_TRUE(parent.Notes.empty());

  // Without a parent nothing is sent and nothing breaks.
  TLEdit orphan(nullptr, "");
  ASSERT_TRUE(orphan.Create());
  type(orphan.GetHandle(), "x");
  orphan.Destroy();
}

class Coloured : public TLEdit {
 public:
  using TLEdit::TLEdit;
  int GetTokenColor(const char* token, COLORREF& back, COLORREF& text) override {
    uint16_t cls;
    std::memcpy(&cls, token + ltoken_class_at, 2);
    text = cls == LTOK_WORD && std::string(token + ltoken_text_at) == "G" ? 0xFF0000 : 0;
    back = 0x00FFFF;
    return cls == LTOK_SYMBOL ? 3 : 1;
  }
};

TEST_F(LeditWrapper, TokenAndNormalColoursComeFromTheWrapper) {
  auto* e = new Coloured(&parent, kColouredEdit, "", 0, 0, 300, 40);
  e->SetCharTable("0 3Z", 0);
  e->SetNormalColors(true, 0x808080, 0xFFFFFF);
  ASSERT_TRUE(e->Create());
  ::SendMessage(*e, LEM_SETALLTEXT, 1, reinterpret_cast<LPARAM>("G1 Z5"));
  parent.Notes.clear();
  plat::DrawRecord rec = plat::paint_window(*e);
  std::map<std::string, COLORREF> colour;
  for (const plat::DrawOp& op : rec)
    if (op.kind == plat::DrawOp::Text) colour[op.text] = op.textColor;
  EXPECT_EQ(colour["G"], 0xFF0000u);
  EXPECT_EQ(colour["1"], 0u);
  EXPECT_EQ(colour[" "], 0x808080u);
  bool filled = false;  // the symbol's background was applied
  for (const plat::DrawOp& op : rec) filled |= op.kind == plat::DrawOp::FillRect && op.brushColor == 0x00FFFF;
  EXPECT_TRUE(filled);
  EXPECT_GE(parent.count(kColouredEdit, 30001), 1);
}

TEST_F(LeditWrapper, TextOperationsByLineNumberAndHandles) {
  auto* e = new TLEdit(&parent, kEditId, "", 0, 0, 300, 100);
  ASSERT_TRUE(e->Create());
  ::SendMessage(*e, LEM_SETALLTEXT, 1, reinterpret_cast<LPARAM>("N1\r\nN2\r\nN3"));
  EXPECT_EQ(e->GetLine(2), "N2");
  char small[3];
  EXPECT_FALSE(e->GetLine(small, sizeof small, 2));
  EXPECT_FALSE(e->HasSelection());
  e->SetSelection(1, 0, 2, 1);
  EXPECT_TRUE(e->HasSelection());
  e->SetCaretPos(2, 1);
  EXPECT_FALSE(e->HasSelection());
  e->DeleteLine(1);  // not the last: up to the next line's start
  EXPECT_EQ(all_text(*e), "N2\r\nN3");
  e->DeleteLine(2);  // the last: to its end, its line break before it stays
  EXPECT_EQ(all_text(*e), "N2\r\n");

  HGLOBAL hg = e->GetTextHandle();
  ASSERT_TRUE(hg);
  EXPECT_EQ(GlobalSize(hg), 5u);
  EXPECT_STREQ(static_cast<char*>(GlobalLock(hg)), "N2\r\n");
  GlobalUnlock(hg);
  e->SetCaretPos(2, 0);
  e->InsertTextHandle(hg);
  EXPECT_EQ(all_text(*e), "N2\r\nN2\r\n");
  HGLOBAL h2 = e->GetTextHandle2();
  e->SetTextHandle(hg);
  EXPECT_EQ(all_text(*e), "N2\r\n");
  GlobalFree(hg);
  EXPECT_STREQ(static_cast<char*>(GlobalLock(h2)), "N2\r\nN2\r\n");
  GlobalUnlock(h2);
  GlobalFree(h2);
  EXPECT_TRUE(e->CanClose());
}

TEST_F(LeditWrapper, StandardCommandsMapToTheControlsNumbers) {
  auto* e = new Spy<TLEdit>(&parent, kEditId, "", 0, 0, 300, 100);
  ASSERT_TRUE(e->Create());
  type(*e, "ab");
  EXPECT_EQ(TLEdit::ControlCommandOf(kCmStdEditClearAll), LEC_CLEARALL);
  EXPECT_EQ(TLEdit::ControlCommandOf(24999), 0u);
  e->Seen.clear();
  TCommandEnabler undo(kCmStdEditUndo), other(24999);
  e->CeEditCommand(undo);
  e->CeEditCommand(other);
  EXPECT_TRUE(undo.GetEnabled());
  EXPECT_FALSE(other.GetEnabled());
  EXPECT_EQ(e->Seen, (std::vector<Msg>{{LEM_CANDO, LEC_UNDO, 0}, {LEM_CANDO, 0, 0}}));
  ::SendMessage(*e, WM_COMMAND, kCmStdEditUndo, 0);
  EXPECT_EQ(all_text(*e), "");
  ::SendMessage(*e, WM_COMMAND, kCmEditRedo, 0);  // passed on as it is
  EXPECT_EQ(all_text(*e), "ab");
  ::SendMessage(*e, WM_COMMAND, kCmStdEditClearAll, 0);
  EXPECT_EQ(all_text(*e), "");
}

TEST_F(LeditWrapper, FileWrapperKeepsItsName) {
  auto* f = new Spy<TLEditFile>(&parent, kEditId, "", 0, 0, 300, 100);
  EXPECT_TRUE(f->Attr.Style & 1);
  EXPECT_TRUE(f->SetFileName("C:\\NC\\P12.NC"));
  EXPECT_FALSE(f->SetFileName(std::string(255, 'A').c_str()));
  EXPECT_STREQ(f->StoredFileName(), "C:\\NC\\P12.NC");
  ASSERT_TRUE(f->Create());
  EXPECT_EQ(f->GetFileName(), "C:\\NC\\P12.NC");
  // The control telling a new name passes the wrapper, which keeps it.
  ::SendMessage(*f, LEM_SETFILENAME, 0, reinterpret_cast<LPARAM>("C:\\NC\\P13.NC"));
  EXPECT_STREQ(f->StoredFileName(), "C:\\NC\\P13.NC");
  f->SetFileName("D:\\X.NC");
  EXPECT_EQ(f->GetFileName(), "D:\\X.NC");

  auto* g = new Spy<TLEditFile>(&parent, kSecondEdit, "", 0, 0, 300, 100);
  ASSERT_TRUE(g->Create());
  EXPECT_EQ(std::count_if(g->Seen.begin(), g->Seen.end(), [](const Msg& m) { return m.msg == LEM_DEFFILENAME; }), 1);

  auto* group = new TLEditGroup(&parent);
  ASSERT_TRUE(group->Create());
  auto* m = new TLEdit(&parent, kOtherEdit, "", 0, 0, 10, 10);
  m->SetGroup(group);
  ASSERT_TRUE(m->Create());
  EXPECT_EQ(m->GetGroupAnswer(), 1);
  EXPECT_EQ(group->Members(), std::vector<HWND>{m->GetHandle()});
  EXPECT_EQ(m->ClassName(), "LEdit32");
  EXPECT_EQ(group->ClassName(), "LEditGroup32");
}

}  // namespace

#include "editor/ledit_view.h"

namespace {

TEST(LeditView, PiecesStopAt16KAndAt64KBoundaries) {
  // 65536 bytes starting 100 bytes below a boundary.
  uintptr_t at = 3 * 65536 - 100;
  std::vector<size_t> pieces;
  for (size_t left = 65536; left;) {
    size_t n = TLEditView::PieceSize(at, left);
    pieces.push_back(n);
    at += n;
    left -= n;
  }
  EXPECT_EQ(pieces, (std::vector<size_t>{100, 16384, 16384, 16384, 16284}));
}

// A document over a string, with failures on request.
class StringDoc : public TLEditDocument {
 public:
  struct Stream : TLEditStream {
    StringDoc& d;
    size_t at = 0;
    explicit Stream(StringDoc& doc) : d(doc) {}
    int64_t Size() override { return static_cast<int64_t>(d.data.size()); }
    size_t Read(void* buf, size_t n) override {
      if (d.failRead) return 0;
      n = std::min(n, d.data.size() - at);
      std::memcpy(buf, d.data.data() + at, n);
      at += n;
      d.pieces.push_back(n);
      return n;
    }
    bool Write(const void* buf, size_t n) override {
      if (d.failWrite) return false;
      d.written.append(static_cast<const char*>(buf), n);
      d.pieces.push_back(n);
      return true;
    }
  };
  std::unique_ptr<TLEditStream> InStream(int) override { return std::make_unique<Stream>(*this); }
  std::unique_ptr<TLEditStream> OutStream(int) override {
    written.clear();
    return std::make_unique<Stream>(*this);
  }
  bool HasData() const override { return !data.empty(); }
  void PostError(int code) override { errors.push_back(code); }
  std::string data, written;
  std::vector<size_t> pieces;
  std::vector<int> errors;
  bool failRead = false, failWrite = false;
};

TEST_F(LeditWrapper, ViewReadsAndCommitsItsDocument) {
  StringDoc doc;
  doc.data = std::string(40000, 'G') + "\r\nM30\r\n";
  auto* v = new TLEditView(doc, &parent);
  ASSERT_TRUE(v->Create());
  EXPECT_TRUE(v->TextLoaded());
  for (size_t n : doc.pieces) EXPECT_LE(n, 16384u);
  EXPECT_EQ(v->GetLine(2), "M30");
  EXPECT_FALSE(v->VnIsDirty());
  EXPECT_TRUE(v->VnIsWindow(v->GetHandle()));
  EXPECT_FALSE(v->VnIsWindow(parent.GetHandle()));
  EXPECT_TRUE(v->VnCommit(false));  // clean: nothing written
  EXPECT_EQ(doc.written, "");
  type(*v, "%");
  EXPECT_TRUE(v->VnIsDirty());
  EXPECT_TRUE(v->VnCommit(false));
  EXPECT_EQ(doc.written, "%" + doc.data);
  EXPECT_FALSE(v->VnIsDirty());
  doc.failWrite = true;
  EXPECT_FALSE(v->VnCommit(true));
  doc.failRead = true;
  v->VnRevert(false);
  EXPECT_FALSE(v->TextLoaded());
  EXPECT_EQ(doc.errors, (std::vector<int>{TLEditDocument::ErrWrite, TLEditDocument::ErrRead}));
  EXPECT_STREQ(TLEditView::StaticName(), "Large Edit View");
}

}  // namespace

namespace {

// Paints a background of its own, asked by the control through the wrapper.
class Backdrop : public TLEdit {
 public:
  using TLEdit::TLEdit;
  void Paint(TDC& dc, bool, TRect& r) override {
    TBrush b(0x00C0FF);
    dc.FillRect(r, b);
  }
};

TEST_F(LeditWrapper, MemoryPaintingHandsTheControlABackgroundBitmap) {
  auto* e = new Backdrop(&parent, kEditId, "", 0, 0, 120, 40);
  ASSERT_TRUE(e->Create());
  plat::DrawRecord plain = plat::paint_window(*e);
  auto isBlit = [](const plat::DrawOp& op) { return op.kind == plat::DrawOp::Blit; };
  EXPECT_TRUE(std::none_of(plain.begin(), plain.end(), isBlit));
  e->SetMemoryPainting(true);
  plat::DrawRecord rec = plat::paint_window(*e);
  auto blit = std::find_if(rec.begin(), rec.end(), isBlit);
  ASSERT_NE(blit, rec.end());
  ASSERT_TRUE(blit->image);
  EXPECT_EQ(blit->rect.Width(), 120);
}

}  // namespace

#include "tests/platform/file_sandbox.h"

namespace {

TEST_F(LeditWrapper, StreamsKeepTheOptionsAndAFileWrapperReopensItsText) {
  FileSandbox box;
  FileSandbox::put(box.c("P7.NC"), "N1\r\nN2 G01\r\n");
  auto* a = new TLEditFile(&parent, kEditId, "", 0, 0, 300, 100);
  a->SetOptionBit(512, true);
  a->SetWidthValue(3);
  a->SetValue78(9);
  a->SetCharTable("0 3Z", 1);
  a->SetNormalColors(true, 0x808080, 0xFFFFFF);
  a->SetFont(new TFont("Courier New", -15));
  a->SetFileName("P7");
  ASSERT_TRUE(a->Create());
  ::SendMessage(*a, LEM_LOADFILE, 0, reinterpret_cast<LPARAM>("C:\\P7.NC"));
  a->SetSelection(2, 1, 2, 3);
  TLEditOut out;
  a->Write(out);

  // Read into a fresh wrapper before its control exists, then created.
  auto* b = new Spy<TLEditFile>(&parent, TLEditStreamed{});
  TLEditIn in(out.Bytes);
  ASSERT_TRUE(b->Read(in));
  EXPECT_TRUE(b->IsStreamed());
  EXPECT_TRUE(b->Attr.Style & 0x100);
  EXPECT_TRUE(b->GetOptionBit(512));
  EXPECT_EQ(b->GetWidthValue(), 3);
  EXPECT_EQ(b->GetCharTableCount(), 2 + (1 << 8));
  EXPECT_STREQ(b->StoredFileName(), "P7");
  EXPECT_STREQ(b->PendingName(), "C:\\P7.NC");
  b->Attr.Id = 6;
  ASSERT_TRUE(b->Create());
  EXPECT_EQ(b->GetFileName(), "P7");
  EXPECT_EQ(b->GetLine(1), "");  // the text comes with a read into a live control

  // Read into a live control: everything is sent again and the text reloads.
  b->Seen.clear();
  TLEditIn again(out.Bytes);
  ASSERT_TRUE(b->Read(again));
  EXPECT_EQ(b->GetLine(2), "N2 G01");
  SelectionRange r = b->GetSelection();
  EXPECT_EQ(r.startCol, 1);
  EXPECT_EQ(r.endCol, 3);
  EXPECT_EQ(std::count(b->Seen.begin(), b->Seen.end(), Msg{LEM_SETTABWIDTH, 3, 0}), 1);
  EXPECT_EQ(std::count(b->Seen.begin(), b->Seen.end(), Msg{LEM_SETOPTIONS, 512, 0}), 1);
  EXPECT_EQ(std::count_if(b->Seen.begin(), b->Seen.end(), [](const Msg& m) { return m.msg == LEM_SETFONT; }), 1);

  // A stream cut short changes nothing.
  std::string cut = out.Bytes.substr(0, out.Bytes.size() / 2);
  TLEditIn broken(cut);
  TLEdit c(nullptr, "");
  EXPECT_FALSE(c.Read(broken));
  EXPECT_EQ(c.GetWidthValue(), 8);
}

}  // namespace
