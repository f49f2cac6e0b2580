// Shared readers and lists of the port setup dialogs.
#include "dnc/setup_fields.h"

#include <cctype>
#include <cstring>

#include "appcore/globals.h"
#include "appcore/message_ids.h"
#include "platform/msgbox.h"

namespace {
constexpr int kFirstDrivenBaud = 5;
}  // namespace

const char* const kBaudTexts[17] = {"50",   "75",   "110",  "134.5", "150",   "300",   "600",   "1200",  "1800",
                                    "2400", "4800", "7200", "9600",  "19200", "38400", "57600", "115200"};
const char* const kDataBitTexts[4] = {"5 Bit", "6 Bit", "7 Bit", "8 Bit"};
const char* const kStopBitTexts[2] = {"1 Bit", "2 Bit"};
const char* const kParityTexts[5] = {"None", "Odd", "Even", "Mark", "Space"};
const char* const kFlowTexts[4] = {"None", "Software", "Hardware", "Both"};

long LeadingNumber(const std::string& text, size_t maxChars) {
  std::string s = text.substr(0, maxChars);
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) i++;
  long v = 0;
  for (; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); i++) v = v * 10 + (s[i] - '0');
  return v;
}

std::string EditText(const TEdit* edit, size_t bound) {
  std::string s = edit->GetText();
  if (s.size() > bound) s.resize(bound);
  return s;
}

void ShowProperty(TEdit* edit, const TMultiDncRecord* r, int n) {
  const char* t = r->GetValue(n);
  if (t && *t) edit->SetWindowText(t);
}

void ShowNumber(TEdit* edit, long value) { edit->SetWindowText(std::to_string(value).c_str()); }

std::string CodesPreview(const std::string& codes) {
  if (codes.empty()) return {};
  std::string out = "  ";
  size_t pos = 0;
  while (true) {
    long code = LeadingNumber(codes.substr(pos), std::string::npos);
    if (code < 32) {
      out += "[" + std::to_string(code) + "]";
    } else {
      out += static_cast<char>(code & 0xFF);
    }
    size_t comma = codes.find(',', pos);
    if (comma == std::string::npos || comma + 1 == codes.size()) break;
    pos = comma + 1;
  }
  return out;
}

std::string FillIn(std::string text, const std::string& mark, const std::string& value) {
  size_t at = text.find(mark);
  if (at != std::string::npos) text.replace(at, mark.size(), value);
  return text;
}

bool TextFits(TWindow* owner, TEdit* edit, const std::string& text, size_t most) {
  if (text.size() <= most) return true;
  std::string msg = Globals ? Globals->GetMessageText(kMsgTextTooLong) : std::string();
  msg = FillIn(msg, "%d", std::to_string(most));
  ::MessageBox(owner ? owner->GetHandle() : nullptr, msg.c_str(), Globals ? Globals->CaptionText.c_str() : "",
               MB_OK | MB_ICONSTOP);
  edit->SetFocus();
  return false;
}

void CopyPortRecord(const TMultiDncRecord& from, TMultiDncRecord& to) {
  to.Clear();
  std::memcpy(to.Number, from.Number, sizeof to.Number);
  std::memcpy(to.Short156, from.Short156, sizeof to.Short156);
  for (int n = 1; n <= TMultiDncRecord::kProperties; n++)
    if (const char* t = from.GetValue(n)) to.SetText(n, t);
}

void FillCombo(TComboBox* combo, const char* const* texts, int count) {
  combo->ClearList();
  for (int i = 0; i < count; i++) combo->AddString(texts[i]);
}

void FillBaudCombo(TComboBox* combo) {
  FillCombo(combo, kBaudTexts + kFirstDrivenBaud, 17 - kFirstDrivenBaud);
}

void SelectBaud(TComboBox* combo, long index) {
  if (index < 0 || index > 16) {
    combo->SetSelIndex(-1);
    return;
  }
  combo->SetSelIndex(index < kFirstDrivenBaud ? 0 : static_cast<int>(index - kFirstDrivenBaud));
}

long SelectedBaud(const TComboBox* combo) {
  int i = combo->GetSelIndex();
  return i < 0 ? -1 : i + kFirstDrivenBaud;
}
