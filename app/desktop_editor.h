// The editor port over the desktop module: the calling editor is an X11
// window, driven by the key chords its commands stand for (Ctrl+C, Ctrl+A,
// Ctrl+N, Ctrl+V), each carried out before SendCommand returns or given up
// after a bound. Without a desktop session or module it is the headless
// one: no window exists and nothing is sent.
#pragma once

#include "app/ports.h"

namespace morvel {

class CDesktopEditor final : public IEditorPort {
public:
    bool IsWindow(uint32_t window) override;
    void SendCommand(uint32_t window, int command) override;
    // The window the desktop has active, 0 when there is none (for
    // --editor=active).
    uint32_t ActiveWindow();
};

}  // namespace morvel
