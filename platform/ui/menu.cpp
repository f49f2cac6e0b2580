// Menus behind handles. Every call takes the table's lock, so a worker
// thread may change an item while the UI thread reads the bar.
#include "platform/ui/menu.h"

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "platform/ui/menu_resource.h"

namespace plat {
namespace {

struct Menu {
  std::vector<MenuItem> items;
};

std::recursive_mutex g_mu;
std::map<HMENU, std::unique_ptr<Menu>>& table() {
  static std::map<HMENU, std::unique_ptr<Menu>> t;
  return t;
}
uintptr_t g_next = 0x4E000;

Menu* get(HMENU h) {
  auto it = table().find(h);
  return it == table().end() ? nullptr : it->second.get();
}

HMENU create() {
  HMENU h = reinterpret_cast<HMENU>(g_next += 4);
  table()[h] = std::make_unique<Menu>();
  return h;
}

void destroy(HMENU h) {
  auto it = table().find(h);
  if (it == table().end()) return;
  std::unique_ptr<Menu> m = std::move(it->second);
  table().erase(it);
  for (auto& i : m->items)
    if (i.popup) destroy(i.popup);
}

// The menu and index of an item, by position or by command (depth first).
bool locate(HMENU h, UINT pos, UINT flags, Menu*& menu, size_t& index) {
  Menu* m = get(h);
  if (!m) return false;
  if (flags & MF_BYPOSITION) {
    if (pos >= m->items.size()) return false;
    menu = m;
    index = pos;
    return true;
  }
  for (size_t i = 0; i < m->items.size(); ++i) {
    const MenuItem& it = m->items[i];
    if (!it.popup && !(it.flags & MF_SEPARATOR) && it.id == pos) {
      menu = m;
      index = i;
      return true;
    }
    if (it.popup && locate(it.popup, pos, flags, menu, index)) return true;
  }
  return false;
}

MenuItem make_item(UINT flags, uintptr_t idOrPopup, const char* text) {
  MenuItem it;
  it.flags = flags & (MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_POPUP | MF_SEPARATOR);
  if (flags & MF_POPUP) it.popup = reinterpret_cast<HMENU>(idOrPopup);
  else it.id = static_cast<UINT>(idOrPopup);
  if (!(flags & MF_SEPARATOR) && text) it.text = text;
  return it;
}

bool valid_new(UINT flags, uintptr_t idOrPopup) {
  return !(flags & MF_POPUP) || get(reinterpret_cast<HMENU>(idOrPopup)) != nullptr;
}

}  // namespace

std::vector<MenuItem> menu_items(HMENU menu) {
  std::lock_guard lock(g_mu);
  Menu* m = get(menu);
  return m ? m->items : std::vector<MenuItem>{};
}

HMENU menu_holding(HMENU menu, UINT id, int* pos) {
  std::lock_guard lock(g_mu);
  Menu* m = get(menu);
  if (!m) return nullptr;
  for (size_t i = 0; i < m->items.size(); ++i) {
    const MenuItem& it = m->items[i];
    if (!it.popup && !(it.flags & MF_SEPARATOR) && it.id == id) {
      if (pos) *pos = static_cast<int>(i);
      return menu;
    }
    if (it.popup)
      if (HMENU h = menu_holding(it.popup, id, pos)) return h;
  }
  return nullptr;
}

size_t live_menu_count() {
  std::lock_guard lock(g_mu);
  return table().size();
}

void release_menu_shell(HMENU bar) {
  std::lock_guard lock(g_mu);
  table().erase(bar);
}

HMENU merge_menus(const TMenuDescr& frame, const TMenuDescr& child) {
  std::lock_guard lock(g_mu);
  HMENU bar = create();
  std::vector<MenuItem> fi = menu_items(frame), ci = menu_items(child);
  auto fg = frame.Groups(), cg = child.Groups();
  for (int g = 0; g < TMenuDescr::NumGroups; ++g) {
    const auto& from = cg[g].empty() ? fg[g] : cg[g];
    const auto& items = cg[g].empty() ? fi : ci;
    for (int p : from) get(bar)->items.push_back(items[p]);
  }
  return bar;
}

}  // namespace plat

using plat::g_mu;

HMENU CreateMenu() {
  std::lock_guard lock(g_mu);
  return plat::create();
}

HMENU CreatePopupMenu() { return CreateMenu(); }

BOOL DestroyMenu(HMENU menu) {
  std::lock_guard lock(g_mu);
  if (!plat::get(menu)) return FALSE;
  plat::destroy(menu);
  return TRUE;
}

BOOL IsMenu(HMENU menu) {
  std::lock_guard lock(g_mu);
  return plat::get(menu) != nullptr;
}

BOOL AppendMenu(HMENU menu, UINT flags, uintptr_t idOrPopup, const char* text) {
  std::lock_guard lock(g_mu);
  plat::Menu* m = plat::get(menu);
  if (!m || !plat::valid_new(flags, idOrPopup)) return FALSE;
  m->items.push_back(plat::make_item(flags, idOrPopup, text));
  return TRUE;
}

BOOL InsertMenu(HMENU menu, UINT position, UINT flags, uintptr_t idOrPopup, const char* text) {
  std::lock_guard lock(g_mu);
  if (!plat::valid_new(flags, idOrPopup)) return FALSE;
  plat::Menu* m;
  size_t index;
  if (!plat::locate(menu, position, flags, m, index)) {
    // Past the end by position appends, as Windows does.
    if (!(flags & MF_BYPOSITION) || !(m = plat::get(menu))) return FALSE;
    index = m->items.size();
  }
  m->items.insert(m->items.begin() + static_cast<long>(index), plat::make_item(flags, idOrPopup, text));
  return TRUE;
}

BOOL ModifyMenu(HMENU menu, UINT position, UINT flags, uintptr_t idOrPopup, const char* text) {
  std::lock_guard lock(g_mu);
  plat::Menu* m;
  size_t index;
  if (!plat::valid_new(flags, idOrPopup) || !plat::locate(menu, position, flags, m, index)) return FALSE;
  plat::MenuItem& it = m->items[index];
  HMENU oldPopup = it.popup;
  it = plat::make_item(flags, idOrPopup, text);
  if (oldPopup && oldPopup != it.popup) plat::destroy(oldPopup);
  return TRUE;
}

static BOOL remove_item(HMENU menu, UINT position, UINT flags, bool destroyPopup) {
  std::lock_guard lock(g_mu);
  plat::Menu* m;
  size_t index;
  if (!plat::locate(menu, position, flags, m, index)) return FALSE;
  HMENU popup = m->items[index].popup;
  m->items.erase(m->items.begin() + static_cast<long>(index));
  if (popup && destroyPopup) plat::destroy(popup);
  return TRUE;
}

BOOL DeleteMenu(HMENU menu, UINT position, UINT flags) { return remove_item(menu, position, flags, true); }
BOOL RemoveMenu(HMENU menu, UINT position, UINT flags) { return remove_item(menu, position, flags, false); }

int GetMenuItemCount(HMENU menu) {
  std::lock_guard lock(g_mu);
  plat::Menu* m = plat::get(menu);
  return m ? static_cast<int>(m->items.size()) : -1;
}

UINT GetMenuItemID(HMENU menu, int position) {
  std::lock_guard lock(g_mu);
  plat::Menu* m = plat::get(menu);
  if (!m || position < 0 || size_t(position) >= m->items.size()) return static_cast<UINT>(-1);
  const plat::MenuItem& it = m->items[position];
  return (it.popup || (it.flags & MF_SEPARATOR)) ? static_cast<UINT>(-1) : it.id;
}

HMENU GetSubMenu(HMENU menu, int position) {
  std::lock_guard lock(g_mu);
  plat::Menu* m = plat::get(menu);
  if (!m || position < 0 || size_t(position) >= m->items.size()) return nullptr;
  return m->items[position].popup;
}

int GetMenuString(HMENU menu, UINT item, char* buf, int size, UINT flags) {
  std::lock_guard lock(g_mu);
  plat::Menu* m;
  size_t index;
  if (!plat::locate(menu, item, flags, m, index)) return plat::copy_text("", buf, size);
  return plat::copy_text(m->items[index].text, buf, size);
}

UINT GetMenuState(HMENU menu, UINT item, UINT flags) {
  std::lock_guard lock(g_mu);
  plat::Menu* m;
  size_t index;
  if (!plat::locate(menu, item, flags, m, index)) return static_cast<UINT>(-1);
  return m->items[index].flags;
}

static UINT set_flag(HMENU menu, UINT item, UINT flags, UINT mask, UINT value) {
  std::lock_guard lock(g_mu);
  plat::Menu* m;
  size_t index;
  if (!plat::locate(menu, item, flags, m, index)) return static_cast<UINT>(-1);
  UINT old = m->items[index].flags & mask;
  m->items[index].flags = (m->items[index].flags & ~mask) | (value & mask);
  return old;
}

UINT EnableMenuItem(HMENU menu, UINT item, UINT enable) {
  return set_flag(menu, item, enable & MF_BYPOSITION, MF_GRAYED | MF_DISABLED, enable);
}

UINT CheckMenuItem(HMENU menu, UINT item, UINT check) {
  return set_flag(menu, item, check & MF_BYPOSITION, MF_CHECKED, check);
}

HMENU LoadMenu(HINSTANCE, int resId) {
  const plat::MenuTemplate* t = plat::find_menu_template(resId);
  if (!t) return nullptr;
  std::lock_guard lock(g_mu);
  std::function<HMENU(const std::vector<plat::MenuTemplate::Item>&)> build =
      [&](const std::vector<plat::MenuTemplate::Item>& items) {
        HMENU h = plat::create();
        for (const auto& i : items) {
          plat::MenuItem it;
          it.flags = i.flags;
          it.id = i.id;
          it.text = i.text;
          if (i.isPopup) {
            it.flags |= MF_POPUP;
            it.popup = build(i.children);
          }
          plat::get(h)->items.push_back(std::move(it));
        }
        return h;
      };
  return build(t->items);
}

// ---- wrappers ----

TMenu::TMenu() : Handle(CreateMenu()) {}
TMenu::TMenu(HMENU menu, bool autoDelete) : Handle(menu), ShouldDelete(autoDelete) {}
TMenu::TMenu(TResId resId) : Handle(LoadMenu(nullptr, resId.Id)) {}

TMenu::~TMenu() {
  if (ShouldDelete && Handle) DestroyMenu(Handle);
}

HMENU TMenu::Release() {
  ShouldDelete = false;
  return Handle;
}

std::string TMenu::GetMenuString(UINT item, UINT flags) const {
  char buf[256];
  ::GetMenuString(Handle, item, buf, sizeof buf, flags);
  return buf;
}

TPopupMenu::TPopupMenu() : TMenu(CreatePopupMenu(), true) {}

TMenuDescr::TMenuDescr() = default;

TMenuDescr::TMenuDescr(HMENU bar, int f, int e, int c, int o, int w, int h, bool autoDelete) : TMenu(bar, autoDelete) {
  int counts[NumGroups] = {f, e, c, o, w, h};
  std::copy(counts, counts + NumGroups, GroupCount);
}

TMenuDescr::TMenuDescr(TResId resId, int f, int e, int c, int o, int w, int h)
    : TMenuDescr(LoadMenu(nullptr, resId.Id), f, e, c, o, w, h, true) {}

bool TMenuDescr::AppendPopup(TGroup group, HMENU popup, const char* title) {
  if (!AppendMenu(MF_POPUP, reinterpret_cast<uintptr_t>(popup), title)) return false;
  // Popups appended so far without a group keep theirs in the File group.
  int counted = 0;
  for (int c : GroupCount) counted += c;
  int items = GetMenuItemCount() - 1;
  if (counted == 0 && items > 0) GroupCount[FileGroup] = items;
  ++GroupCount[group];
  return true;
}

std::vector<std::vector<int>> TMenuDescr::Groups() const {
  std::vector<std::vector<int>> g(NumGroups);
  int n = GetMenuItemCount();
  int counted = 0;
  for (int c : GroupCount) counted += c;
  if (counted == 0) {
    for (int i = 0; i < n; ++i) g[FileGroup].push_back(i);
    return g;
  }
  int pos = 0;
  for (int grp = 0; grp < NumGroups; ++grp)
    for (int k = 0; k < GroupCount[grp] && pos < n; ++k) g[grp].push_back(pos++);
  // Items beyond the counts belong to the last group.
  while (pos < n) g[HelpGroup].push_back(pos++);
  return g;
}
