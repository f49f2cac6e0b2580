// The test driver and the pilot that acts on a dialog like a user.
#include "platform/ui/driver.h"

#include "platform/ui/button.h"
#include "platform/ui/combobox.h"
#include "platform/ui/edit.h"
#include "platform/ui/listbox.h"
#include "platform/ui/queue.h"

namespace plat {

UiDriver::UiDriver(Fail fail) : fail_(std::move(fail)) {
  UiHost host;
  host.show_modal = [this](TDialog& dlg) { show_modal(dlg); };
  host.wait = [this](const std::string& what) { return wait(what); };
  host.error = [this](const std::string& e) {
    {
      std::lock_guard lock(mu_);
      errors_.push_back(e);
    }
    fail_(e);
  };
  oldHost_ = set_ui_host(std::move(host));
  oldBox_ = set_message_box_handler(
      [this](HWND, const std::string& text, const std::string& caption, UINT flags) { return box(text, caption, flags); });
}

UiDriver::~UiDriver() {
  set_ui_host(std::move(oldHost_));
  set_message_box_handler(std::move(oldBox_));
  for (const Expected& e : dialogs_)
    fail_("expected dialog " + (e.className.empty() ? std::to_string(e.id) : e.className) + " was never shown");
  for (const ExpectedBox& b : boxes_) fail_("expected message box \"" + b.textPart + "\" was never shown");
  ui_queue().clear();
  clear_quit();
}

void UiDriver::expect_dialog(int templateId, Answer answer) {
  std::lock_guard lock(mu_);
  dialogs_.push_back({templateId, {}, std::move(answer)});
}

void UiDriver::expect_dialog(const std::string& className, Answer answer) {
  std::lock_guard lock(mu_);
  dialogs_.push_back({0, className, std::move(answer)});
}

void UiDriver::expect_message_box(int answer, const std::string& textPart) {
  std::lock_guard lock(mu_);
  boxes_.push_back({answer, textPart});
}

void UiDriver::show_modal(TDialog& dlg) {
  std::string cls = class_name_of(&dlg, typeid(dlg));
  std::string name = std::to_string(dlg.GetTemplateId()) + " " + cls;
  Expected e;
  bool have = false;
  {
    std::lock_guard lock(mu_);
    shown_.push_back(name);
    if (!dialogs_.empty()) {
      const Expected& f = dialogs_.front();
      bool match = f.className.empty() ? f.id == dlg.GetTemplateId() : f.className == cls;
      if (match) {
        e = std::move(dialogs_.front());
        dialogs_.pop_front();
        have = true;
      }
    }
  }
  if (!have) {
    fail_("unexpected dialog " + name);
    dlg.Destroy(IDCANCEL);
    return;
  }
  if (e.answer) e.answer(dlg);
}

bool UiDriver::wait(const std::string& what) {
  if (ui_queue().wait_until(std::chrono::steady_clock::now() + patience_)) return true;
  fail_(what + " waits with nothing left to do");
  return false;
}

int UiDriver::box(const std::string& text, const std::string& caption, UINT flags) {
  int answer;
  bool expected = false;
  std::string mismatch;
  {
    std::lock_guard lock(mu_);
    if (!boxes_.empty()) {
      ExpectedBox b = boxes_.front();
      boxes_.pop_front();
      expected = true;
      answer = b.answer;
      if (text.find(b.textPart) == std::string::npos)
        mismatch = "message box \"" + text + "\" where one with \"" + b.textPart + "\" was expected";
    } else {
      answer = default_message_box_answer(flags);
    }
    boxLog_.push_back({text, caption, flags, answer});
  }
  if (!expected) fail_("unexpected message box [" + caption + "] " + text);
  else if (!mismatch.empty()) fail_(mismatch);
  return answer;
}

void UiDriver::pump() { dispatch_all(); }

bool UiDriver::idle(long idleCount) { return run_idle(idleCount); }

bool UiDriver::wait_and_pump(std::chrono::milliseconds timeout) {
  if (!ui_queue().wait_until(std::chrono::steady_clock::now() + timeout)) return false;
  dispatch_all();
  return true;
}

std::vector<std::string> UiDriver::dialogs_shown() const {
  std::lock_guard lock(mu_);
  return shown_;
}

std::vector<MessageBoxRecord> UiDriver::message_boxes() const {
  std::lock_guard lock(mu_);
  return boxLog_;
}

std::vector<std::string> UiDriver::errors() const {
  std::lock_guard lock(mu_);
  return errors_;
}

// ---- Pilot ----

TWindow* Pilot::control(int id) const { return window_object(w_.GetDlgItem(id)); }

std::string Pilot::text(int id) const {
  TWindow* c = control(id);
  return c ? c->TWindow::GetText() : std::string();
}

void Pilot::set_text(int id, const std::string& text) {
  if (TWindow* c = control(id)) c->SetWindowText(text.c_str());
}

void Pilot::focus(int id) {
  if (TWindow* c = control(id)) c->SetFocus();
}

void Pilot::type(int id, const std::string& text) {
  TWindow* c = control(id);
  if (!c || !c->IsWindowEnabled()) return;
  c->SetFocus();
  for (char ch : text) ::SendMessage(c->GetHandle(), WM_CHAR, static_cast<unsigned char>(ch), 0);
}

bool Pilot::click(int id) {
  TWindow* c = control(id);
  if (!c || !c->IsWindowVisible() || !c->IsWindowEnabled()) return false;
  ::SendMessage(c->GetHandle(), BM_CLICK, 0, 0);
  return true;
}

bool Pilot::select(int id, int index, UINT keys) {
  TWindow* c = control(id);
  if (!c || !c->IsWindowEnabled()) return false;
  if (auto* lb = dynamic_cast<TListBox*>(c)) {
    if (index < 0 || index >= lb->GetCount()) return false;
    lb->UserSelect(index, keys);
    return true;
  }
  if (auto* cb = dynamic_cast<TComboBox*>(c)) {
    if (index < 0 || index >= cb->GetCount()) return false;
    cb->UserSelect(index);
    return true;
  }
  return false;
}

bool Pilot::double_click(int id, int index) {
  auto* lb = dynamic_cast<TListBox*>(control(id));
  if (!lb || !lb->IsWindowEnabled() || index < 0 || index >= lb->GetCount()) return false;
  lb->UserDoubleClick(index);
  return true;
}

void Pilot::press_enter() {
  // The default push button answers Enter; without one, IDOK does.
  int id = IDOK;
  std::vector<HWND> kids;
  if (WindowRef ref = w_.Data()) {
    std::lock_guard lock(ref->mu);
    kids = ref->children;
  }
  for (HWND k : kids) {
    TWindow a(k);
    if (a.ClassName() == "BUTTON" && (a.GetStyle() & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
      id = a.GetId();
      break;
    }
  }
  HWND button = w_.GetDlgItem(id);
  if (button && !::IsWindow(button)) return;
  if (button) {
    TWindow a(button);
    if (!a.IsWindowEnabled()) {
      MessageBeep(MB_OK);
      return;
    }
  }
  w_.ReceiveMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

void Pilot::press_escape() {
  HWND button = w_.GetDlgItem(IDCANCEL);
  w_.ReceiveMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

void Pilot::close_box() { w_.ReceiveMessage(WM_CLOSE, 0, 0); }

bool Pilot::checked(int id) const {
  HWND h = w_.GetDlgItem(id);
  return h && ::SendMessage(h, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool Pilot::enabled(int id) const {
  TWindow* c = control(id);
  return c && c->IsWindowEnabled();
}

bool Pilot::visible(int id) const {
  TWindow* c = control(id);
  return c && (c->GetStyle() & WS_VISIBLE);
}

bool Pilot::focused(int id) const {
  HWND h = w_.GetDlgItem(id);
  return h && ::GetFocus() == h;
}

int Pilot::selection(int id) const {
  TWindow* c = control(id);
  if (auto* lb = dynamic_cast<TListBox*>(c)) return lb->GetSelIndex();
  if (auto* cb = dynamic_cast<TComboBox*>(c)) return cb->GetSelIndex();
  return -1;
}

std::vector<int> Pilot::selections(int id) const {
  auto* lb = dynamic_cast<TListBox*>(control(id));
  return lb ? lb->GetSelIndexes() : std::vector<int>{};
}

std::vector<std::string> Pilot::lines(int id) const {
  std::vector<std::string> out;
  TWindow* c = control(id);
  if (auto* lb = dynamic_cast<TListBox*>(c)) {
    for (int i = 0; i < lb->GetCount(); ++i) out.push_back(lb->GetString(i));
  } else if (auto* cb = dynamic_cast<TComboBox*>(c)) {
    for (int i = 0; i < cb->GetCount(); ++i) out.push_back(cb->GetString(i));
  }
  return out;
}

}  // namespace plat
