// Owner-drawn list and combo boxes: the control asks its parent for the
// item height once (WM_MEASUREITEM; a combo box also for its field, item
// -1) and has each visible item drawn by it (WM_DRAWITEM) on a context
// that records into the control, with the item's id, data, state and
// rectangle. A parent passes both messages on to the control object by
// default, whose DrawItem splits them by action. Without CBS_HASSTRINGS
// (LBS_HASSTRINGS) an item is the value the program added, not a text.
#pragma once

#include "platform/ui/gdi_types.h"
#include "platform/ui/geometry.h"
#include "platform/wintypes.h"

class TDC;

#define WM_MEASUREITEM 0x002C
#define LB_SETITEMHEIGHT 0x01A0
#define LB_GETITEMHEIGHT 0x01A1
#define CB_SETITEMHEIGHT 0x0153
#define CB_GETITEMHEIGHT 0x0154
#define ODT_LISTBOX 2
#define ODT_COMBOBOX 3
#define ODA_DRAWENTIRE 0x0001u
#define ODA_SELECT 0x0002u
#define ODA_FOCUS 0x0004u
#define ODS_SELECTED 0x0001u
#define ODS_GRAYED 0x0002u
#define ODS_DISABLED 0x0004u
#define ODS_FOCUS 0x0010u
#define ODS_COMBOBOXEDIT 0x1000u  // the item stands in a combo box's field

struct DRAWITEMSTRUCT {
  UINT CtlType;
  UINT CtlID;
  UINT itemID;
  UINT itemAction;
  UINT itemState;
  HWND hwndItem;
  HDC hDC;
  TRect rcItem;  // in the list's client coordinates
  uintptr_t itemData;
};

struct MEASUREITEMSTRUCT {
  UINT CtlType;
  UINT CtlID;
  UINT itemID;
  UINT itemWidth;
  UINT itemHeight;
  uintptr_t itemData;
};

namespace plat {

// Draws item index of an owner-drawn list through its parent into dc, at
// rc, in the given ODS_* state; false when the list has no such item.
bool draw_list_item(HWND list, int index, TDC& dc, const TRect& rc, UINT state, UINT action = ODA_DRAWENTIRE);
// The state a list's item is drawn in now (selected, focused).
UINT list_item_state(HWND list, int index);
// The same for an owner-drawn combo box's item (its field: ODS_COMBOBOXEDIT).
bool draw_combo_item(HWND combo, int index, TDC& dc, const TRect& rc, UINT state);

}  // namespace plat
