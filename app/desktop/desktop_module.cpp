// The desktop module's one exported symbol and the choice of clipboard: the
// Wayland tools where WAYLAND_DISPLAY names a session and they are
// installed, else the X server of DISPLAY.
#include "app/desktop/desktop_module.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "app/desktop/wayland_clipboard.h"
#include "app/desktop/x11_clipboard.h"
#include "app/desktop/x11_connection.h"
#include "app/desktop/x11_editor.h"

namespace morvel::desktop {

namespace {

bool UseWayland() {
    static const bool wayland = WaylandClipboardUsable();
    return wayland;
}

int ClipboardAvailable() {
    try {
        if (UseWayland()) return 1;
        const char* display = std::getenv("DISPLAY");
        return display && *display && Connection() ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

int ClipboardRead(uint8_t** data, size_t* size) {
    *data = nullptr;
    *size = 0;
    try {
        std::string text;
        if (!(UseWayland() ? WaylandReadClipboard(text) : X11ReadClipboard(text))) return 0;
        // malloc(0) may give nullptr: one byte at least.
        auto* block = static_cast<uint8_t*>(std::malloc(text.size() + 1));
        if (!block) return 0;
        std::memcpy(block, text.data(), text.size());
        *data = block;
        *size = text.size();
        return 1;
    } catch (...) {
        return 0;
    }
}

int ClipboardWrite(const uint8_t* data, size_t size, const char** error) {
    try {
        return (UseWayland() ? WaylandWriteClipboard(data, size, error) : X11WriteClipboard(data, size, error)) ? 1
                                                                                                                : 0;
    } catch (...) {
        *error = "out of memory";
        return 0;
    }
}

int ClipboardEmpty() {
    try {
        return (UseWayland() ? WaylandEmptyClipboard() : X11EmptyClipboard()) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

int ServeClipboard(int, char**) {
    try {
        return X11ServeClipboard();
    } catch (...) {
        return 1;
    }
}

int IsWindow(uint32_t window) { return X11EditorIsWindow(window); }
void SendCommand(uint32_t window, int command) { X11EditorSendCommand(window, command); }
uint32_t ActiveWindow() { return X11EditorActiveWindow(); }
void FreeBlock(void* block) { std::free(block); }

const MorvelDesktop kModule = {
    MORVEL_DESKTOP_ABI, ClipboardAvailable, ClipboardRead, ClipboardWrite, ClipboardEmpty, ServeClipboard,
    IsWindow,           SendCommand,        ActiveWindow,  FreeBlock,
};

}  // namespace
}  // namespace morvel::desktop

extern "C" __attribute__((visibility("default"))) const MorvelDesktop* morvel_desktop(void) {
    return &morvel::desktop::kModule;
}
