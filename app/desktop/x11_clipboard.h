// The CLIPBOARD selection of the X server, as UTF-8 text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace morvel::desktop {

// The most text taken from or served to the clipboard; more is no text.
constexpr size_t kMostClipboardText = size_t{256} << 20;

// The clipboard's text as UTF-8 (STRING, Latin-1, converted): false when
// there is none, the owner offers no text, answers with something else or
// not in time, or the text is too large.
bool X11ReadClipboard(std::string& text);

// Puts `text` on the clipboard, served by a background process of the
// program's own binary (X11ServeClipboard) until another client takes the
// clipboard. After a read it replaces the text read, and only while the
// clipboard has kept the owner it was read from: another client that took
// it since, or takes it before the server does, keeps it. False, with a
// description in *error, when ownership was not confirmed in time or that
// other client kept the clipboard.
bool X11WriteClipboard(const uint8_t* text, size_t size, const char** error);

// The clipboard owns nothing afterwards.
bool X11EmptyClipboard();

// The background server's whole life: descriptor 3 is the caller's socket.
// Returns the process's exit status.
int X11ServeClipboard();

}  // namespace morvel::desktop
