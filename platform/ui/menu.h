// Menus: bars and popups behind handles, built by code or loaded from menu
// resources (menu_resource.h), changed by command or position, and the
// descriptors an MDI frame merges with its active child's. Numbers keep
// their Windows values.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/dialog.h"
#include "platform/wintypes.h"

#define MF_STRING 0x0000u
#define MF_ENABLED 0x0000u
#define MF_UNCHECKED 0x0000u
#define MF_BYCOMMAND 0x0000u
#define MF_GRAYED 0x0001u
#define MF_DISABLED 0x0002u
#define MF_CHECKED 0x0008u
#define MF_POPUP 0x0010u
#define MF_BYPOSITION 0x0400u
#define MF_SEPARATOR 0x0800u

#ifndef WM_INITMENUPOPUP
#define WM_INITMENUPOPUP 0x0117
#endif
#ifndef WM_MENUSELECT
#define WM_MENUSELECT 0x011F
#endif

HMENU CreateMenu();
HMENU CreatePopupMenu();
// Destroys the menu and the popups it holds.
BOOL DestroyMenu(HMENU menu);
BOOL IsMenu(HMENU menu);
// With MF_POPUP, idOrPopup is the popup's handle; the menu takes it over.
BOOL AppendMenu(HMENU menu, UINT flags, uintptr_t idOrPopup, const char* text);
BOOL InsertMenu(HMENU menu, UINT position, UINT flags, uintptr_t idOrPopup, const char* text);
// By command (searching popups too) or by position; the item takes the
// new flags, id and text.
BOOL ModifyMenu(HMENU menu, UINT position, UINT flags, uintptr_t idOrPopup, const char* text);
// Removes an item; DeleteMenu destroys a popup it removes, RemoveMenu not.
BOOL DeleteMenu(HMENU menu, UINT position, UINT flags);
BOOL RemoveMenu(HMENU menu, UINT position, UINT flags);
int GetMenuItemCount(HMENU menu);
// The command of the item at a position; -1 for a popup or separator.
UINT GetMenuItemID(HMENU menu, int position);
HMENU GetSubMenu(HMENU menu, int position);
int GetMenuString(HMENU menu, UINT item, char* buf, int size, UINT flags);
// The item's flags, or (UINT)-1 when there is no such item.
UINT GetMenuState(HMENU menu, UINT item, UINT flags);
// Both return the previous state, or (UINT)-1.
UINT EnableMenuItem(HMENU menu, UINT item, UINT enable);
UINT CheckMenuItem(HMENU menu, UINT item, UINT check);
// A fresh copy of menu resource id (null when there is none).
HMENU LoadMenu(HINSTANCE instance, int resId);

namespace plat {
struct MenuItem {
  UINT flags = 0;
  UINT id = 0;
  std::string text;
  HMENU popup = nullptr;
};
// A copy of the menu's items (empty for a bad handle).
std::vector<MenuItem> menu_items(HMENU menu);
// Finds the menu (bar or popup, searched depth first) that holds command
// id; its position in *pos.
HMENU menu_holding(HMENU menu, UINT id, int* pos = nullptr);
size_t live_menu_count();
}  // namespace plat

// A menu handle with its owner's rights: an owning TMenu destroys it.
class TMenu {
 public:
  TMenu();  // a new empty bar
  TMenu(HMENU menu, bool autoDelete = false);  // NOLINT
  TMenu(TResId resId);                         // NOLINT: loaded from the resources
  virtual ~TMenu();
  TMenu(const TMenu&) = delete;
  TMenu& operator=(const TMenu&) = delete;

  HMENU GetHandle() const { return Handle; }
  operator HMENU() const { return Handle; }
  bool IsOK() const { return IsMenu(Handle); }
  // Gives up ownership and hands back the handle.
  HMENU Release();

  bool AppendMenu(UINT flags, uintptr_t idOrPopup = 0, const char* text = nullptr) {
    return ::AppendMenu(Handle, flags, idOrPopup, text);
  }
  bool AppendMenu(UINT flags, HMENU popup, const char* text) {
    return ::AppendMenu(Handle, flags | MF_POPUP, reinterpret_cast<uintptr_t>(popup), text);
  }
  bool InsertMenu(UINT pos, UINT flags, uintptr_t id = 0, const char* text = nullptr) {
    return ::InsertMenu(Handle, pos, flags, id, text);
  }
  bool ModifyMenu(UINT pos, UINT flags, uintptr_t id = 0, const char* text = nullptr) {
    return ::ModifyMenu(Handle, pos, flags, id, text);
  }
  bool DeleteMenu(UINT pos, UINT flags) { return ::DeleteMenu(Handle, pos, flags); }
  bool RemoveMenu(UINT pos, UINT flags) { return ::RemoveMenu(Handle, pos, flags); }
  int GetMenuItemCount() const { return ::GetMenuItemCount(Handle); }
  UINT GetMenuItemID(int pos) const { return ::GetMenuItemID(Handle, pos); }
  UINT GetMenuState(UINT item, UINT flags) const { return ::GetMenuState(Handle, item, flags); }
  int GetMenuString(UINT item, char* buf, int size, UINT flags) const {
    return ::GetMenuString(Handle, item, buf, size, flags);
  }
  std::string GetMenuString(UINT item, UINT flags) const;
  HMENU GetSubMenu(int pos) const { return ::GetSubMenu(Handle, pos); }
  UINT EnableMenuItem(UINT item, UINT enable) { return ::EnableMenuItem(Handle, item, enable); }
  UINT CheckMenuItem(UINT item, UINT check) { return ::CheckMenuItem(Handle, item, check); }

 protected:
  HMENU Handle = nullptr;
  bool ShouldDelete = true;
};

class TPopupMenu : public TMenu {
 public:
  TPopupMenu();
  TPopupMenu(HMENU menu, bool autoDelete = false) : TMenu(menu, autoDelete) {}  // NOLINT
};

// A bar whose popups fall into six groups. When an MDI child is active, each
// group the child's descriptor fills replaces the frame's; the others stay.
// A descriptor without counts puts all its popups in the File group, so a
// child's plain bar replaces the frame's.
class TMenuDescr : public TMenu {
 public:
  enum TGroup { FileGroup, EditGroup, ContainerGroup, ObjectGroup, WindowGroup, HelpGroup, NumGroups };
  TMenuDescr();
  TMenuDescr(HMENU bar, int fileGroup = 0, int editGroup = 0, int containerGroup = 0, int objectGroup = 0,
             int windowGroup = 0, int helpGroup = 0, bool autoDelete = true);
  TMenuDescr(TResId resId, int fileGroup = 0, int editGroup = 0, int containerGroup = 0, int objectGroup = 0,
             int windowGroup = 0, int helpGroup = 0);
  int GetGroupCount(int group) const { return GroupCount[group]; }
  void SetGroupCount(int group, int count) { GroupCount[group] = count; }
  // Appends a popup and counts it in a group.
  bool AppendPopup(TGroup group, HMENU popup, const char* title);
  // The popups of each group, by position in the bar.
  std::vector<std::vector<int>> Groups() const;

 private:
  int GroupCount[NumGroups] = {0, 0, 0, 0, 0, 0};
};

namespace plat {
// A bar of the frame's groups with the child's filled ones in their place.
// The bar shares the popups: free it with release_menu_shell.
HMENU merge_menus(const TMenuDescr& frame, const TMenuDescr& child);
void release_menu_shell(HMENU bar);
}  // namespace plat
