// What the renderer's own screen test needs: the desktop loop run until a
// condition holds, user input simulated through the toolkit (real key and
// mouse events on the display), and where the controls ended up on screen.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/geometry.h"
#include "platform/wintypes.h"

class TDialog;

namespace plat::desktop {

// Runs desktop events and the model's queue until done() holds; false when
// the timeout passed first.
bool run_until(const std::function<bool()>& done, std::chrono::milliseconds timeout);
// Runs desktop events for a while (lets the display settle).
void run_for(std::chrono::milliseconds time);

// Moves the mouse over the control and clicks it: in its middle, or at a
// point of its own, with Shift and Ctrl held when keys has MK_SHIFT,
// MK_CONTROL.
bool click(HWND control);
bool click_at(HWND control, int x, int y, UINT keys = 0);
// Presses and releases Enter, or Esc, wherever the focus is.
void press_enter();
void press_escape();
// A function key F1..F12, with Ctrl when asked; a letter with Ctrl.
void press_function_key(int n, bool ctrl = false);
void press_ctrl(char letter);
// A navigation key by its VK_ code (arrows, Home, End, Page Up/Down,
// Insert, Delete), with Shift or Ctrl held when asked.
void press_key(UINT vk, bool shift = false, bool ctrl = false);
// From the desktop's timer, once a message box is up: runs whileUp (the
// box is on screen), then presses the key in it (Enter for 0). Answers a
// box that the program shows meanwhile (its own loop runs then, not ours).
void answer_box_later(std::chrono::milliseconds delay, char key = 0, std::function<void()> whileUp = {});
// The MB_ICON* kind of the message box on screen (0 for none or no box),
// and where its icon is on the screen.
unsigned box_icon(TRect* where = nullptr);

// A frame's menu bar as shown: the popup titles, an item's text and
// whether it is grey; choose_menu opens the popup holding the command and
// picks it (false when the frame shows no such item).
std::vector<std::string> menu_titles(HWND frame);
std::string menu_item_text(HWND frame, UINT command);
bool menu_item_enabled(HWND frame, UINT command);
bool choose_menu(HWND frame, UINT command);
// Clicks into the control and types the text key by key (ASCII).
bool type(HWND control, const std::string& text);
// Clicks one of a maximised MDI child's boxes in its frame's bar
// (SC_MINIMIZE, SC_RESTORE, SC_CLOSE); false when the bar shows none.
bool click_bar_box(HWND frame, UINT sc);
// Types the text (ASCII) wherever the keyboard focus is, without a click.
void type_here(const std::string& text);
// A movement key (VK_HOME, VK_END, VK_UP, VK_DOWN, VK_PRIOR, VK_NEXT)
// wherever the keyboard focus is.
void press_key_here(UINT vk);
// Tab (Shift+Tab) wherever the keyboard focus is.
void press_tab(bool shift = false);
// Presses the left button at a point of the window, moves by (dx, dy) and
// releases it there.
bool drag(HWND window, int x, int y, int dx, int dy);
// Where the window is on the screen (empty when it has none).
TRect screen_rect(HWND window);

// Where the control's real window is, in its parent's client coordinates
// (empty when it has none).
TRect placed_rect(HWND control);
// The text its real window shows, in the program's code page.
std::string shown_text(HWND control);
// The lines its real list shows; of an owner-drawn list, the texts the
// program draws for each item.
std::vector<std::string> shown_lines(HWND control);
// The line its real list or combo box shows as selected; -1 for none.
// Of a list of several selected lines, the first, and all of them.
int shown_selection(HWND control);
std::vector<int> shown_selections(HWND control);
// Where a line of its real list is, in the control's own coordinates
// (as click_at takes them); empty when the list shows no such line.
TRect shown_line_rect(HWND control, int index);
// The width its widest line takes in the font it shows (0 without lines).
int shown_widest_line(HWND control);
// The first and last lines a multi-line edit's view shows (from 0);
// -1, -1 while it shows none (no view yet, or no size).
std::pair<int, int> shown_line_range(HWND edit);
// Whether its real window has the keyboard focus.
bool shown_focus(HWND control);
// Whether its real window shows a check mark (check, radio, push-like).
bool shown_checked(HWND control);
// The size its text needs in the font it shows (0 x 0 without text).
TSize text_extent(HWND control);
// Called with each modal dialog once it is on screen, on the UI thread.
void set_modal_hook(std::function<void(TDialog&)> hook);

}  // namespace plat::desktop
