// The desktop module: the clipboard and the calling editor on a real desktop
// (X11 through libxcb, Wayland through its clipboard tools), built as a
// shared library that the program loads only when it first needs the
// clipboard or the editor, so a file run never loads any of it.
//
// The module and the program meet through this C interface only: plain
// types, blocks allocated by the module and released by its free_block, no
// C++ object crosses (the program links its C++ runtime statically).
#pragma once

#include <stddef.h>
#include <stdint.h>

extern "C" {

#define MORVEL_DESKTOP_ABI 1

struct MorvelDesktop {
    int abi;  // MORVEL_DESKTOP_ABI

    // ---- Clipboard: the desktop's CLIPBOARD selection, as UTF-8 text ----
    // 1 when a desktop clipboard can be reached (a display answered), else 0.
    int (*clipboard_available)(void);
    // The clipboard's text: 1 with *data (from the module, to free_block)
    // and *size set, 0 when there is no text (none, not text, no answer in
    // time). Never blocks beyond the module's bounds.
    int (*clipboard_read)(uint8_t** data, size_t* size);
    // Puts `size` bytes of UTF-8 text on the clipboard, served by a
    // background process of the module until another program takes the
    // clipboard. It replaces the text this process read last, and only
    // while that text is still there: another program that took the
    // clipboard since keeps it (0). 1 once ownership is confirmed; 0 on
    // failure, with *error set to a static description.
    int (*clipboard_write)(const uint8_t* data, size_t size, const char** error);
    // Leaves the clipboard owning nothing. 1 done, 0 failed.
    int (*clipboard_empty)(void);
    // The background server's whole life: reads the text from `fd`, takes
    // the clipboard, confirms on `fd`... as the module defines it. Returns
    // the process exit status.
    int (*serve_clipboard)(int argc, char** argv);

    // ---- Editor: the calling editor's X11 window ----
    // 1 when `window` is a window of the X server.
    int (*editor_is_window)(uint32_t window);
    // Activates the window and sends the key chord of `command` (the
    // program's command ids), returning once its effect can be seen or a
    // bound has passed.
    void (*editor_send_command)(uint32_t window, int command);
    // The desktop's active window, 0 when none can be had.
    uint32_t (*editor_active_window)(void);

    void (*free_block)(void* block);
};

// The module's one exported symbol.
const struct MorvelDesktop* morvel_desktop(void);

}  // extern "C"
