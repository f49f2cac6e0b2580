// The desktop renderer: real windows for the window model when a display
// is present. Attached, it shows every model window (dialogs with their
// controls placed from the template's dialog units), mirrors state both
// ways (the user's typing, clicks, selections and focus become the model's
// notifications; the model's changes, also from worker threads, show at
// once), shows message boxes and file dialogs natively and shares the
// clipboard with the desktop. The model's loops then wait on the desktop's
// events. Nothing in this header depends on the toolkit.
#pragma once

namespace plat {

// Starts the toolkit on the display and attaches the renderer. False, with
// nothing changed, when no display is set or the toolkit cannot open it;
// the program then runs headless.
bool attach_desktop_renderer(int argc = 0, char** argv = nullptr);
// Detaches the renderer and closes its windows; the model stays as it is.
void detach_desktop_renderer();
bool desktop_renderer_attached();

}  // namespace plat
