// The desktop module (libmorvel_desktop.so, app/desktop/), loaded on first
// use only: a run that never touches the clipboard or the editor loads none
// of the desktop's libraries.
#pragma once

struct MorvelDesktop;

namespace morvel {

// The hidden first argument that makes the program the clipboard's
// background server (started by the module itself, never by a user).
constexpr const char* kServeClipboardOption = "--serve-clipboard";

// The module, loaded on the first call when DISPLAY or WAYLAND_DISPLAY names
// a session: from the directory of the program's binary, else from
// ../lib/morvel/ beside it. nullptr without a session or a usable module;
// the answer is kept for the life of the process.
const MorvelDesktop* DesktopModule();

// The background server's whole life (argv as main received it); its exit
// status, 1 when the module cannot be loaded.
int ServeClipboard(int argc, char** argv);

}  // namespace morvel
