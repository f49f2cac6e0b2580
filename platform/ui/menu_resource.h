// Menu and accelerator resources from the *.mnu files of the resource
// directory (beside the dialog templates).
//
// Format, one statement a line, '#' starts a comment:
//
//   menu <id> [<name>]
//     item <command> [<name>] "<text>" [grayed] [checked]
//     separator
//     popup "<text>"
//       ... items, separators, popups (32 deep at most) ...
//     end
//   end
//   accelerators <id> [<name>]
//     key <keys> <command>       keys: [Ctrl+][Shift+][Alt+]<key>
//   end
//   commands
//     command <command> <name>   a command no item of the file carries
//   end
//
// A name (letters, digits, '_') stands beside the number it names; the
// build writes a header of them (tools/dialog-ids) and the program itself
// reads only the numbers. In one file a name stands for one number and a
// command has one name. A key's command is a number or a command name of
// the same file.
//
// A key is a letter or digit (A, 7), F1 to F24, or one of Ins Del Home End
// PgUp PgDn Left Right Up Down Esc Enter Tab Back Space. Texts are bytes of
// the program's code page with the escapes of the dialog files ("\t"
// separates an item's accelerator text).
#pragma once

#include <string>
#include <vector>

#include "platform/wintypes.h"

namespace plat {

struct MenuTemplate {
  struct Item {
    bool isPopup = false;
    UINT flags = 0;  // MF_SEPARATOR, MF_GRAYED, MF_CHECKED
    UINT id = 0;
    std::string text;
    std::vector<Item> children;
  };
  int id = 0;
  std::vector<Item> items;
  std::string source;
};

struct AccelEntry {
  BYTE virt = 0;  // FVIRTKEY | FSHIFT | FCONTROL | FALT
  WORD key = 0;   // virtual-key code
  WORD cmd = 0;
};

struct AccelTemplate {
  int id = 0;
  std::vector<AccelEntry> entries;
  std::string source;
};

// A name given beside a number in the file.
struct MenuResourceName {
  enum Kind { Menu, Accelerators, Command };
  Kind kind = Command;
  std::string name;
  int id = 0;
  std::string source;  // "file:line"
};

struct MenuParseResult {
  std::vector<MenuTemplate> menus;
  std::vector<AccelTemplate> accels;
  std::vector<MenuResourceName> names;  // in the order of the file, each once
  std::string error;  // "file:line: what"
};

MenuParseResult parse_menu_resources(const std::string& text, const std::string& sourceName);
// Adds resources from text; an id already known is an error.
bool add_menu_resources(const std::string& text, const std::string& sourceName, std::string* error);
// From the resource directory (read at the first lookup after it changes);
// a missing id is reported through report_ui_error.
const MenuTemplate* find_menu_template(int id);
const AccelTemplate* find_accel_template(int id);
// "Ctrl+F5" to flags and key; false for a name it does not know.
bool parse_key(const std::string& text, BYTE& virt, WORD& key);

}  // namespace plat
