// The editor's commands as key chords on X11, through libxcb with the XTEST
// and XFixes extensions.
//
// A command is synchronous, as the program expects of its editor: the
// editor's window is activated and the focus awaited, the modifiers the user
// still holds are released, the chord is sent with XTEST (toolkits such as
// GTK ignore key events sent with SendEvent) and a round trip makes sure
// the server has handled it. Then the effect is awaited: a copy shows as a
// new owner of CLIPBOARD (XFixes); the other commands get a short settle
// time, since nothing tells when an editor has carried them out.
//
// Every wait on the server has a deadline (a poll on the connection's
// descriptor, never a blocking reply wait), so an X server that stops
// answering, a grab that never ends or a window that goes away costs at
// most the bounds below and ends with the command not sent, which the
// program sees as an editor that copied nothing.
#include "app/desktop/x11_editor.h"

#include <pthread.h>
#include <signal.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>
#include <xcb/xtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "app/desktop/x11_connection.h"
#include "app/ports.h"

namespace morvel::desktop {

namespace {

using Ms = std::chrono::milliseconds;

constexpr Ms kConnectBound{2000};  // opening the display (a remote one may never answer)
constexpr Ms kReplyBound{1000};    // any one answer of the server
constexpr Ms kFocusBound{1000};    // the editor's window getting the focus
constexpr Ms kFocusPoll{2};        // between two looks at the focus
constexpr Ms kCopyBound{1000};     // a new clipboard owner after Ctrl+C
constexpr Ms kSettle{150};         // after every other chord
constexpr Ms kRetryAfter{10000};   // a display that did not answer is left alone this long
constexpr int kMaxTreeDepth = 64;  // window nesting searched for the focus

// Key symbols (X11/keysymdef.h).
constexpr xcb_keysym_t kControlL = 0xFFE3;
constexpr xcb_keysym_t kControlR = 0xFFE4;

// The editor's own connection to the display, opened on first use and kept:
// the reports of new clipboard owners arrive on it between commands, apart
// from the clipboard's connection and its waits. Given up when the server
// stops answering within the bounds.
struct Display {
    xcb_connection_t* c = nullptr;
    xcb_window_t root = XCB_NONE;
    xcb_atom_t clipboard = XCB_NONE;
    xcb_atom_t netActiveWindow = XCB_NONE;
    bool wmActivates = false;   // the window manager takes _NET_ACTIVE_WINDOW requests
    uint8_t fixesEvent = 0;     // XFixes' first event; 0 when the server lacks XFixes
    bool xtest = false;
    // The window that was last sent Ctrl+N: the paste that follows goes
    // wherever the focus now is (the new document may be a new window).
    xcb_window_t newDocumentFrom = XCB_NONE;
};

Display g_display;
// Until then no connection is tried: the display did not answer in time,
// and each command of an exchange would otherwise wait for it again.
Clock::time_point g_retryAfter;

void Disconnect() {
    if (g_display.c != nullptr) xcb_disconnect(g_display.c);
    g_display = Display{};
}

void GiveUp() {
    Disconnect();
    g_retryAfter = After(kRetryAfter);
}

// The answer to a request, or null: an error answer (the connection stays),
// or a broken connection or no answer in time (the connection is given up).
template <typename Reply, typename Cookie>
XPtr<Reply> Ask(Cookie cookie) {
    if (g_display.c == nullptr) return nullptr;
    const Deadline deadline = After(kReplyBound);
    XPtr<Reply> reply = Await<Reply>(g_display.c, cookie, deadline);
    if (!reply && (xcb_connection_has_error(g_display.c) || Clock::now() >= deadline)) GiveUp();
    return reply;
}

// A round trip: once it returns true, the server has handled every request
// sent before.
bool RoundTrip() {
    return g_display.c != nullptr && Ask<xcb_get_input_focus_reply_t>(xcb_get_input_focus(g_display.c)) != nullptr;
}

// The 32-bit values of a property of the root window (at most `count`).
std::vector<uint32_t> RootProperty(xcb_atom_t property, xcb_atom_t type, uint32_t count) {
    std::vector<uint32_t> values;
    if (g_display.c == nullptr || property == XCB_NONE) return values;
    auto reply = Ask<xcb_get_property_reply_t>(xcb_get_property(g_display.c, 0, g_display.root, property, type, 0, count));
    if (reply && reply->format == 32 && reply->type == type) {
        const auto* p = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
        values.assign(p, p + xcb_get_property_value_length(reply.get()) / 4);
    }
    return values;
}

// The display, opened on first use with what the commands need: the atoms,
// the extensions, whether the window manager activates windows on request,
// and XFixes' reports of new clipboard owners.
Display* Connect() {
    if (g_display.c != nullptr && xcb_connection_has_error(g_display.c)) Disconnect();
    if (g_display.c != nullptr) return &g_display;
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == '\0' || Clock::now() < g_retryAfter) return nullptr;
    int screen = 0;
    xcb_connection_t* c = ConnectWithin(kConnectBound, &screen);
    if (c == nullptr) {
        g_retryAfter = After(kRetryAfter);
        return nullptr;
    }
    g_display.c = c;
    xcb_screen_iterator_t roots = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screen && roots.rem > 1; ++i) xcb_screen_next(&roots);
    g_display.root = roots.data->root;

    // The extensions' queries go out before the atoms' and are answered
    // first, so reading the extension data below does not wait.
    xcb_prefetch_extension_data(c, &xcb_test_id);
    xcb_prefetch_extension_data(c, &xcb_xfixes_id);
    const char* const names[] = {"CLIPBOARD", "_NET_ACTIVE_WINDOW", "_NET_SUPPORTED"};
    xcb_atom_t atoms[3];
    const Deadline deadline = After(kReplyBound);
    if (!InternAtoms(c, names, atoms, 3, deadline)) {
        GiveUp();
        return nullptr;
    }
    g_display.clipboard = atoms[0];
    g_display.netActiveWindow = atoms[1];

    const xcb_query_extension_reply_t* test = xcb_get_extension_data(c, &xcb_test_id);
    g_display.xtest = test != nullptr && test->present;
    const xcb_query_extension_reply_t* fixes = xcb_get_extension_data(c, &xcb_xfixes_id);
    if (fixes != nullptr && fixes->present) {
        auto version = Ask<xcb_xfixes_query_version_reply_t>(
            xcb_xfixes_query_version(c, XCB_XFIXES_MAJOR_VERSION, XCB_XFIXES_MINOR_VERSION));
        if (g_display.c == nullptr) return nullptr;
        if (version) {
            xcb_xfixes_select_selection_input(c, g_display.root, g_display.clipboard,
                                              XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER);
            g_display.fixesEvent = fixes->first_event;
        }
    }
    for (uint32_t atom : RootProperty(atoms[2], XCB_ATOM_ATOM, 1024))
        if (atom == g_display.netActiveWindow) g_display.wmActivates = true;
    if (!RoundTrip()) return nullptr;
    return &g_display;
}

bool WindowExists(xcb_window_t window) {
    if (window == XCB_NONE || g_display.c == nullptr) return false;
    return Ask<xcb_get_window_attributes_reply_t>(xcb_get_window_attributes(g_display.c, window)) != nullptr;
}

// The window that has the input focus: XCB_NONE, or PointerRoot (1).
xcb_window_t FocusWindow() {
    if (g_display.c == nullptr) return XCB_NONE;
    auto reply = Ask<xcb_get_input_focus_reply_t>(xcb_get_input_focus(g_display.c));
    return reply ? reply->focus : XCB_NONE;
}

bool IsRealWindow(xcb_window_t window) { return window != XCB_NONE && window != XCB_INPUT_FOCUS_POINTER_ROOT; }

// Whether the focus is `window` or a window inside it.
bool FocusInside(xcb_window_t window) {
    xcb_window_t w = FocusWindow();
    for (int depth = 0; IsRealWindow(w) && w != g_display.root && depth < kMaxTreeDepth; ++depth) {
        if (w == window) return true;
        auto tree = Ask<xcb_query_tree_reply_t>(xcb_query_tree(g_display.c, w));
        if (!tree) return false;
        w = tree->parent;
    }
    return false;
}

void SetFocus(xcb_window_t window) {
    // Refused (BadMatch) while the window is not viewable: the wait for the
    // focus then runs out. The error comes as an event and is dropped.
    xcb_set_input_focus(g_display.c, XCB_INPUT_FOCUS_PARENT, window, XCB_CURRENT_TIME);
}

// Brings the focus into `window`: through the window manager where it
// offers _NET_ACTIVE_WINDOW (as a pager would ask, so no focus-stealing
// rule holds it back), else, or if that has not worked halfway through the
// bound, by setting the input focus directly. True once the focus is there.
bool Activate(xcb_window_t window) {
    if (FocusInside(window)) return true;
    if (g_display.c == nullptr) return false;
    const Clock::time_point start = Clock::now();
    bool focusSet = false;
    if (g_display.wmActivates) {
        xcb_client_message_event_t message;
        std::memset(&message, 0, sizeof message);
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = g_display.netActiveWindow;
        message.data.data32[0] = 2;  // source indication: a pager, acting for the user
        message.data.data32[1] = XCB_CURRENT_TIME;
        message.data.data32[2] = XCB_NONE;
        xcb_send_event(g_display.c, 0, g_display.root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&message));
    } else {
        SetFocus(window);
        focusSet = true;
    }
    for (;;) {
        std::this_thread::sleep_for(kFocusPoll);
        if (FocusInside(window)) return true;
        if (g_display.c == nullptr) return false;
        const auto elapsed = Clock::now() - start;
        if (elapsed >= kFocusBound) return false;
        if (!focusSet && elapsed >= kFocusBound / 2) {
            if (!WindowExists(window)) return false;
            SetFocus(window);
            focusSet = true;
        }
    }
}

// Key releases for the modifier keys the user holds down, so that a held
// Shift or Alt does not change the chord (Ctrl+Shift+N is another command).
// Keys the user holds stay released until pressed again.
void ReleaseHeldModifiers() {
    xcb_connection_t* c = g_display.c;
    const auto modifiers = xcb_get_modifier_mapping(c);
    const auto keymap = xcb_query_keymap(c);
    auto map = Ask<xcb_get_modifier_mapping_reply_t>(modifiers);
    auto held = Ask<xcb_query_keymap_reply_t>(keymap);
    if (!map || !held || g_display.c == nullptr) return;
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(map.get());
    const int count = xcb_get_modifier_mapping_keycodes_length(map.get());
    bool released[256] = {};
    for (int i = 0; i < count; ++i) {
        const xcb_keycode_t k = codes[i];
        if (k == 0 || released[k] || !(held->keys[k / 8] & (1u << (k % 8)))) continue;
        xcb_test_fake_input(c, XCB_KEY_RELEASE, k, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        released[k] = true;
    }
}

// The key codes of Control and of the letter, from the keyboard mapping: the
// key whose first (unshifted) or second symbol is the letter.
bool ChordKeys(xcb_keysym_t letter, xcb_keycode_t& control, xcb_keycode_t& key) {
    const xcb_setup_t* setup = xcb_get_setup(g_display.c);
    const xcb_keycode_t first = setup->min_keycode;
    const auto count = static_cast<uint8_t>(setup->max_keycode - setup->min_keycode + 1);
    auto mapping = Ask<xcb_get_keyboard_mapping_reply_t>(xcb_get_keyboard_mapping(g_display.c, first, count));
    if (!mapping) return false;
    const int perKey = mapping->keysyms_per_keycode;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(mapping.get());
    const int total = xcb_get_keyboard_mapping_keysyms_length(mapping.get());
    const xcb_keysym_t upper = letter - 'a' + 'A';
    control = key = 0;
    for (int column = 0; column < 2 && column < perKey; ++column) {
        for (int i = 0; i * perKey + column < total; ++i) {
            const xcb_keysym_t s = syms[i * perKey + column];
            const auto code = static_cast<xcb_keycode_t>(first + i);
            if (control == 0 && column == 0 && s == kControlL) control = code;
            if (key == 0 && (s == letter || s == upper)) key = code;
        }
    }
    for (int i = 0; control == 0 && perKey > 0 && i * perKey < total; ++i)
        if (syms[i * perKey] == kControlR) control = static_cast<xcb_keycode_t>(first + i);
    return control != 0 && key != 0;
}

// Control held while the letter's key goes down and up, then a round trip.
bool SendChord(xcb_keysym_t letter) {
    xcb_keycode_t control, key;
    if (!ChordKeys(letter, control, key)) return false;
    xcb_connection_t* c = g_display.c;
    xcb_test_fake_input(c, XCB_KEY_PRESS, control, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_test_fake_input(c, XCB_KEY_PRESS, key, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_test_fake_input(c, XCB_KEY_RELEASE, key, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_test_fake_input(c, XCB_KEY_RELEASE, control, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    return RoundTrip();
}

// Drops the events that have come so far: owner changes from before the
// chord, errors of requests whose failure does not matter.
void DrainEvents() {
    while (xcb_generic_event_t* event = xcb_poll_for_event(g_display.c)) std::free(event);
}

// Waits until some client owns CLIPBOARD anew; false when the bound passes.
bool AwaitNewClipboardOwner() {
    const auto event = WaitEvent(g_display.c, After(kCopyBound), [](const xcb_generic_event_t& e) {
        if (EventType(e) != g_display.fixesEvent + XCB_XFIXES_SELECTION_NOTIFY) return false;
        const auto& notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t&>(e);
        return notify.selection == g_display.clipboard && notify.owner != XCB_NONE;
    });
    if (xcb_connection_has_error(g_display.c)) Disconnect();
    return event != nullptr;
}

// Keeps a server that has gone away from ending the process with SIGPIPE
// (libxcb writes without MSG_NOSIGNAL): the signal is blocked on this thread
// while the editor's requests go out, and one they raised is taken back
// before the old mask returns.
class SigpipeGuard {
public:
    SigpipeGuard() {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, &old_);
        sigset_t pending;
        sigpending(&pending);
        wasPending_ = sigismember(&pending, SIGPIPE) == 1;
    }
    ~SigpipeGuard() {
        sigset_t pending;
        sigpending(&pending);
        if (!wasPending_ && sigismember(&pending, SIGPIPE) == 1) {
            sigset_t pipe;
            sigemptyset(&pipe);
            sigaddset(&pipe, SIGPIPE);
            const timespec now = {0, 0};
            while (sigtimedwait(&pipe, nullptr, &now) == -1 && errno == EINTR) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    SigpipeGuard(const SigpipeGuard&) = delete;
    SigpipeGuard& operator=(const SigpipeGuard&) = delete;

private:
    sigset_t old_;
    bool wasPending_ = false;
};

xcb_keysym_t ChordLetter(int command) {
    switch (command) {
        case ID_EDIT_COPY: return 'c';
        case ID_EDIT_SELECT_ALL: return 'a';
        case ID_FILE_NEW: return 'n';
        case ID_EDIT_PASTE: return 'v';
        default: return 0;
    }
}

}  // namespace

// The entry points let no exception out: the module's callers are C.

int X11EditorIsWindow(uint32_t window) {
    SigpipeGuard guard;
    try {
        if (window == XCB_NONE || Connect() == nullptr) return 0;
        return WindowExists(window) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

void X11EditorSendCommand(uint32_t window, int command) {
    const xcb_keysym_t letter = ChordLetter(command);
    if (letter == 0) return;  // the command between the new document and the paste
    SigpipeGuard guard;
    try {
        Display* d = Connect();
        if (d == nullptr || !d->xtest) return;
        const bool afterNewDocument = command == ID_EDIT_PASTE && d->newDocumentFrom == window;
        d->newDocumentFrom = XCB_NONE;
        if (!WindowExists(window)) return;
        if (afterNewDocument) {
            // The new document has the focus, maybe in a window of its own:
            // bringing the old window back would paste into the old document.
            if (!IsRealWindow(FocusWindow())) return;
        } else if (!Activate(window)) {
            return;
        }
        if (g_display.c == nullptr) return;
        ReleaseHeldModifiers();
        if (g_display.c == nullptr) return;
        DrainEvents();
        if (!SendChord(letter)) return;
        if (command == ID_FILE_NEW) g_display.newDocumentFrom = window;
        if (command == ID_EDIT_COPY && g_display.fixesEvent != 0)
            AwaitNewClipboardOwner();
        else
            std::this_thread::sleep_for(kSettle);
    } catch (...) {
    }
}

uint32_t X11EditorActiveWindow() {
    SigpipeGuard guard;
    try {
        Display* d = Connect();
        if (d == nullptr) return 0;
        auto reply = Ask<xcb_get_property_reply_t>(
            xcb_get_property(d->c, 0, d->root, d->netActiveWindow, XCB_ATOM_WINDOW, 0, 1));
        if (g_display.c == nullptr) return 0;
        if (reply && reply->type != XCB_NONE) {
            // The window manager keeps the property: it alone says.
            if (reply->type != XCB_ATOM_WINDOW || reply->format != 32 ||
                xcb_get_property_value_length(reply.get()) != 4)
                return 0;
            const uint32_t window = *static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
            return WindowExists(window) ? window : 0;
        }
        const xcb_window_t focus = FocusWindow();
        return IsRealWindow(focus) && focus != d->root ? focus : 0;
    } catch (...) {
        return 0;
    }
}

}  // namespace morvel::desktop
