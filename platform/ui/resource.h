// Dialog templates from the resource files (*.dlg) of a resource directory.
//
// Format, one statement a line, '#' starts a comment:
//
//   dialog <id> [<name>] "<caption>" <x> <y> <cx> <cy>
//     style <style>            (default WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME)
//     exstyle <style>
//     font "<face>" <points>   (default "MS Sans Serif" 8)
//     <kind> <id> [<name>] "<text>" <x> <y> <cx> <cy> [<style>]
//     control <id> [<name>] "<text>" "<class>" <x> <y> <cx> <cy> [<style>]
//   end
//
// A control's id is a number or a standard button id (IDOK, IDCANCEL, ...).
// The name (IDD_PROGRAM, IDC_PROGRAM_LIST) is what code calls the id: the
// build writes one header of names per file (tools/dialog-ids). A name
// stands for one id in the whole file; -1 (texts nobody addresses) has none.
//
// Geometry is in dialog units from -32768 to 32767 (a quarter of the
// font's average character width, an eighth of its height). A style is names or numbers joined by
// '|'; a control's style is added to the default style of its kind, and
// "not NAME" takes a default bit away. Kinds: ltext ctext rtext groupbox
// icon bitmap edit pushbutton defpushbutton checkbox radiobutton listbox
// combobox progress. Texts are bytes in the program's code page: "\xA3"
// writes byte 0xA3, "\"" and "\\" a quote and a backslash, "\t" a tab.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/geometry.h"
#include "platform/wintypes.h"

namespace plat {

struct ControlTemplate {
  int id = 0;
  std::string name;       // IDC_..., or empty
  std::string kind;       // as written ("edit"), or "control"
  std::string className;  // "EDIT", "BUTTON", ...
  std::string text;
  UINT style = 0;
  UINT exStyle = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
};

struct DialogTemplate {
  int id = 0;
  std::string name;  // IDD_..., or empty
  std::string caption;
  UINT style = 0;
  UINT exStyle = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
  std::string font = "MS Sans Serif";
  int fontSize = 8;
  std::vector<ControlTemplate> controls;
  std::string source;  // file:line, for messages

  const ControlTemplate* control(int id) const;
  // Dialog units to pixels with this template's font.
  TRect to_pixels(int x, int y, int cx, int cy) const;
};

struct ParseResult {
  std::vector<DialogTemplate> dialogs;
  std::string error;  // "file:line: what"; empty when the text was sound
};

ParseResult parse_dialog_templates(const std::string& text, const std::string& sourceName);

// The resource directory: set by the program (or the KV_RESOURCE_DIR
// environment variable); its files are read on the first lookup.
void set_resource_dir(const std::string& dir);
std::string resource_dir();
// Adds templates from text (tests and generated resources); an id already
// known is an error.
bool add_dialog_templates(const std::string& text, const std::string& sourceName, std::string* error);
// The template of that id, or null (the reason goes to report_ui_error).
const DialogTemplate* find_dialog_template(int id);
void clear_resources();

// The value of a style or constant name, for templates.
std::optional<UINT> style_value(const std::string& name);

// Splits one line of a resource file into tokens: words, "|", and quoted
// texts that keep a leading '"' as marker, their escapes resolved. "#"
// starts a comment. False with a reason for a broken text.
bool tokenize_resource_line(const std::string& line, std::vector<std::string>& out, std::string& err);
// A number token (decimal, or hex with 0x) that fits a long; false for a
// text or anything else.
bool resource_number(const std::string& tok, long& v);

// Reads every file with that extension (".dlg") below the directory, or
// below KV_RESOURCE_DIR when the directory is empty, in name order, and
// hands each file's text and name to add; a file add refuses goes to
// report_ui_error with add's reason.
using ResourceFileAdder = std::function<bool(const std::string& text, const std::string& name, std::string* error)>;
void read_resource_files(const std::string& dir, const char* extension, const ResourceFileAdder& add);

}  // namespace plat
