// The Wayland clipboard through the command-line tools of wl-clipboard
// (wl-paste, wl-copy), each run with explicit types and a bounded wait.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace morvel::desktop {

// WAYLAND_DISPLAY is set and both tools are on PATH.
bool WaylandClipboardUsable();
bool WaylandReadClipboard(std::string& text);
bool WaylandWriteClipboard(const uint8_t* text, size_t size, const char** error);
bool WaylandEmptyClipboard();

}  // namespace morvel::desktop
