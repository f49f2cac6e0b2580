// Menus from their resources with the language's item texts.
#include "app/menu_popup.h"

#include "appcore/globals.h"
#include "platform/ui/menu.h"

const char* MenuText(int id) {
  return Globals->MenuTexts && Globals->MenuTexts->Has(id) ? Globals->MenuTexts->Get(id) : nullptr;
}

HMENU LoadPopup(int resId) {
  HMENU popup = LoadMenu(nullptr, resId);
  if (!popup) return CreatePopupMenu();
  for (const plat::MenuItem& item : plat::menu_items(popup)) {
    if (item.flags & (MF_SEPARATOR | MF_POPUP)) continue;
    if (const char* text = MenuText(static_cast<int>(item.id)))
      ModifyMenu(popup, item.id, MF_BYCOMMAND | MF_STRING | (item.flags & (MF_GRAYED | MF_CHECKED)), item.id, text);
  }
  return popup;
}
