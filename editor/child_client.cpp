// The edit control of an editor window. KELVFONT.CFG holds the font: a
// 32-byte head of zeros, then the 60-byte font record.
#include <cstring>

#include "appcore/globals.h"
#include "editor/child_frame.h"
#include "editor/text_files.h"
#include "platform/ledit/protocol.h"
#include "resources/menus/editor.h"

namespace {

constexpr size_t kFontHead = 32;
static_assert(sizeof(LOGFONT) == 60, "the font record is 60 bytes");

std::string FontFilePath() { return Globals->CfgDir + "KELVFONT.CFG"; }

}  // namespace

TClient::TClient() : TLEdit(nullptr, "", 0x305208) {
  // The stock font is not ours to free.
  SetFont(new TFont(static_cast<HFONT>(GetStockObject(DEVICE_DEFAULT_FONT)), false));
  SetOptionBit4(true);
  if (!Globals->SyntaxDef.empty()) SetCharTable(Globals->SyntaxDef.c_str(), 0);
  SetNormalColors(true, 0x808080, 0xFFFFFF);
}

void TClient::SetupWindow() {
  TLEdit::SetupWindow();
  SendMessage(LEM_SETSTATE, 0, 2);
  LoadFont();
}

bool TClient::LoadFont() {
  std::string bytes;
  TFileError error;
  if (!ReadWholeFile(FontFilePath(), bytes, error) || bytes.size() < kFontHead + sizeof(LOGFONT)) return false;
  LOGFONT lf;
  std::memcpy(&lf, bytes.data() + kFontHead, sizeof lf);
  lf.lfFaceName[sizeof lf.lfFaceName - 1] = '\0';
  SetFont(new TFont(lf));
  return true;
}

bool TClient::SaveFont() {
  LOGFONT lf;
  if (!FontObj || !FontObj->GetObject(lf)) return false;
  std::string bytes(kFontHead, '\0');
  bytes.append(reinterpret_cast<const char*>(&lf), sizeof lf);
  TFileError error;
  return WriteWholeFile(FontFilePath(), bytes, error);
}

void TClient::EvTextChanged() {
  TLEdit::EvTextChanged();
  if (TWindow* parent = GetParentO()) parent->PostMessage(WM_COMMAND, kCmUpdateStatus, 0);
}

COLORREF TClient::TokenColor(uint16_t tokenClass, uint32_t value, const char* text) {
  switch (tokenClass) {
    case LTOK_WORD:
      for (int i = 0; i < Globals->SyntaxValueCount && i < static_cast<int>(Globals->SyntaxValues.size()); i++)
        if (Globals->SyntaxValues[i] == text) return 0xFF0000;
      return 0;
    case LTOK_INTEGER:
    case LTOK_DECIMAL:
      return value < 0x10000 ? 0x0000FF : 0x00FF00;
    case LTOK_SYMBOL:
      return std::strcmp(text, "Z") == 0 ? 0x0000C0 : 0xC000C0;
    default:
      return 0;
  }
}

int TClient::GetTokenColor(const char* token, COLORREF& back, COLORREF& text) {
  back = 0;
  uint16_t cls;
  uint32_t value;
  std::memcpy(&cls, token + ltoken_class_at, sizeof cls);
  std::memcpy(&value, token + ltoken_value_at, sizeof value);
  text = TokenColor(cls, value, token + ltoken_text_at);
  return 1;
}
