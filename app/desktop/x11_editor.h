// The calling editor's X11 window, inside the desktop module: whether a
// window exists, the key chords that stand for the editor's commands, and
// the desktop's active window. Inside the module only (its symbols are
// hidden): the program reaches them through the module's struct.
#pragma once

#include <cstdint>

namespace morvel::desktop {

// 1 when `window` is a window of the X server (0 names none), else 0; also 0
// when no display can be reached.
int X11EditorIsWindow(uint32_t window);

// Carries out one of the program's editor commands (ID_EDIT_COPY Ctrl+C,
// ID_EDIT_SELECT_ALL Ctrl+A, ID_FILE_NEW Ctrl+N, ID_EDIT_PASTE Ctrl+V; any
// other command sends nothing) on `window`: activates it, waits until the
// focus is inside it, releases the modifiers the user holds, sends the chord
// through XTEST and waits until its effect can be seen. Every wait is
// bounded; a window that is gone, or never gets the focus, receives nothing.
void X11EditorSendCommand(uint32_t window, int command);

// The desktop's active window (the root's _NET_ACTIVE_WINDOW; without a
// window manager that keeps it, the window with the input focus), 0 when
// there is none or no display can be reached.
uint32_t X11EditorActiveWindow();

}  // namespace morvel::desktop
