// Accelerator tables behind handles and the model's keyboard state.
#include "platform/ui/accel.h"

#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/ui/app_state.h"
#include "platform/ui/application.h"
#include "platform/ui/dialog.h"
#include "platform/ui/frame.h"
#include "platform/ui/menu_resource.h"

namespace plat {
namespace {

std::mutex g_mu;
std::map<HACCEL, std::vector<ACCEL>>& tables() {
  static std::map<HACCEL, std::vector<ACCEL>> t;
  return t;
}
uintptr_t g_next = 0xACC000;
std::map<int, bool> g_toggled, g_down;

}  // namespace

UINT find_accelerator(HACCEL table, UINT vk, BYTE modifiers) {
  std::lock_guard lock(g_mu);
  auto it = tables().find(table);
  if (it == tables().end()) return 0;
  BYTE mods = modifiers & (FSHIFT | FCONTROL | FALT);
  for (const ACCEL& a : it->second)
    if (a.key == vk && (a.fVirt & (FSHIFT | FCONTROL | FALT)) == mods) return a.cmd;
  return 0;
}

void set_key_toggled(int vk, bool on) {
  std::lock_guard lock(g_mu);
  g_toggled[vk] = on;
}

void set_key_down(int vk, bool down) {
  std::lock_guard lock(g_mu);
  g_down[vk] = down;
}

bool press_key(UINT vk, BYTE modifiers) {
  if (vk == VK_INSERT && modifiers == 0) set_key_toggled(VK_INSERT, !(GetKeyState(VK_INSERT) & 1));
  HWND focus = GetFocus();
  TWindow* start = window_object(focus);
  if (!start && app()) start = app()->GetMainWindow();
  // An MDI frame with the focus on itself passes keys to its active child first.
  if (auto* f = dynamic_cast<TFrameWindow*>(start))
    if (TFrameWindow* child = f->GetActiveMDIChild()) start = child;
  for (TWindow* w = start; w; w = w->GetParentO()) {
    auto* frame = dynamic_cast<TFrameWindow*>(w);
    if (!frame || !frame->GetHandle() || !frame->GetAccelTable()) continue;
    if (UINT cmd = find_accelerator(frame->GetAccelTable(), vk, modifiers)) {
      // Windows greys an accelerator whose menu item is grey.
      if (frame->IsCommandEnabled(cmd)) frame->SendMessage(WM_COMMAND, MAKEWPARAM(cmd, 1), 0);
      return true;
    }
  }
  if (focus && dialog_key(focus, vk, modifiers)) return true;
  if (focus) ::SendMessage(focus, WM_KEYDOWN, vk, 0);
  return false;
}

}  // namespace plat

HACCEL LoadAccelerators(HINSTANCE, int resId) {
  const plat::AccelTemplate* t = plat::find_accel_template(resId);
  if (!t) return nullptr;
  std::vector<ACCEL> entries;
  for (const auto& e : t->entries) entries.push_back({e.virt, e.key, e.cmd});
  return CreateAcceleratorTable(entries.data(), static_cast<int>(entries.size()));
}

HACCEL CreateAcceleratorTable(const ACCEL* entries, int count) {
  if (count < 0 || (count > 0 && !entries)) return nullptr;
  std::lock_guard lock(plat::g_mu);
  HACCEL h = reinterpret_cast<HACCEL>(plat::g_next += 4);
  plat::tables()[h] = std::vector<ACCEL>(entries, entries + count);
  return h;
}

BOOL DestroyAcceleratorTable(HACCEL table) {
  std::lock_guard lock(plat::g_mu);
  return plat::tables().erase(table) ? TRUE : FALSE;
}

short GetKeyState(int vk) {
  std::lock_guard lock(plat::g_mu);
  short s = 0;
  if (auto it = plat::g_toggled.find(vk); it != plat::g_toggled.end() && it->second) s |= 1;
  if (auto it = plat::g_down.find(vk); it != plat::g_down.end() && it->second) s |= static_cast<short>(0x8000);
  return s;
}
