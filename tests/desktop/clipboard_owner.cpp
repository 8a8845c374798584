// A misbehaving owner of CLIPBOARD for the tests.
//
//   clipboard_owner silent    takes the clipboard and never answers a request
//   clipboard_owner garbage   answers every request with 32-bit numbers
//   clipboard_owner stalled   answers with an incremental (INCR) transfer,
//                             sends its first piece and then nothing more
//   clipboard_owner latin1    answers requests for STRING alone, with "ABC"
//   clipboard_owner handover  answers each request for UTF8_STRING ("旧"
//                             from its first window, "新" from the later ones)
//                             and takes the clipboard anew with a new window
//                             right after: a program that copies again while
//                             its reader converts what it read
//   clipboard_owner none      leaves the clipboard owning nothing, and ends
//
// It prints "ready" once the clipboard is its own, and ends when another
// client takes the clipboard, the display goes away, or after 60 seconds.
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <poll.h>

namespace {

xcb_atom_t Intern(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t atom = r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(r);
    return atom;
}

void Notify(xcb_connection_t* c, const xcb_selection_request_event_t& request, xcb_atom_t property) {
    union {
        xcb_selection_notify_event_t n;
        char bytes[32];  // what the server sends
    } event = {};
    event.n = {XCB_SELECTION_NOTIFY, 0, 0, request.time, request.requestor, request.selection,
               request.target, property};
    xcb_send_event(c, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT, event.bytes);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode != "silent" && mode != "garbage" && mode != "stalled" && mode != "latin1" && mode != "handover" &&
        mode != "none") {
        std::fprintf(stderr, "usage: clipboard_owner silent|garbage|stalled|latin1|handover|none\n");
        return 2;
    }
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) return 1;
    const xcb_atom_t clipboard = Intern(c, "CLIPBOARD");
    const xcb_atom_t incr = Intern(c, "INCR");
    const xcb_atom_t utf8 = Intern(c, "UTF8_STRING");
    if (mode == "none") {
        xcb_set_selection_owner(c, XCB_NONE, clipboard, XCB_CURRENT_TIME);
        std::free(xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, clipboard), nullptr));
        xcb_disconnect(c);
        return 0;
    }

    const xcb_window_t window = xcb_generate_id(c), root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_set_selection_owner(c, window, clipboard, XCB_CURRENT_TIME);
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, clipboard), nullptr);
    const bool owned = owner && owner->owner == window;
    std::free(owner);
    if (!owned) return 1;
    std::puts("ready");
    std::fflush(stdout);

    xcb_window_t current = window;  // the owner window of ours (a new one at each handover)
    xcb_window_t reader = XCB_NONE;  // the stalled transfer's reader
    xcb_atom_t readerProperty = XCB_ATOM_NONE;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) return 0;
        struct pollfd pfd = {xcb_get_file_descriptor(c), POLLIN, 0};
        ::poll(&pfd, 1, static_cast<int>(left.count()));
        while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
            const uint8_t type = e->response_type & 0x7F;
            // An earlier window's loss is a handover, the owner's own doing.
            if (type == XCB_SELECTION_CLEAR && reinterpret_cast<xcb_selection_clear_event_t*>(e)->owner == current)
                return 0;
            if (type == XCB_PROPERTY_NOTIFY) {
                const auto& p = *reinterpret_cast<xcb_property_notify_event_t*>(e);
                if (p.window == reader && p.atom == readerProperty && p.state == XCB_PROPERTY_DELETE) {
                    const std::string piece(4096, 'a');
                    xcb_change_property(c, XCB_PROP_MODE_REPLACE, reader, readerProperty, utf8, 8, piece.size(),
                                        piece.data());
                    xcb_flush(c);
                    reader = XCB_NONE;
                }
            }
            if (type == XCB_SELECTION_REQUEST && mode != "silent") {
                const auto& request = *reinterpret_cast<xcb_selection_request_event_t*>(e);
                const xcb_atom_t property = request.property ? request.property : request.target;
                if (mode == "garbage") {
                    const uint32_t numbers[4] = {1, 2, 3, 4};
                    xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, property, XCB_ATOM_INTEGER,
                                        32, 4, numbers);
                    Notify(c, request, property);
                } else if (mode == "latin1" && request.target == XCB_ATOM_STRING) {
                    xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, property, XCB_ATOM_STRING, 8,
                                        3, "ABC");
                    Notify(c, request, property);
                } else if (mode == "handover" && request.target == utf8) {
                    const char* text = request.owner == window ? "旧" : "新";
                    xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, property, utf8, 8,
                                        std::strlen(text), text);
                    Notify(c, request, property);
                    if (request.owner == current) {
                        current = xcb_generate_id(c);
                        xcb_create_window(c, XCB_COPY_FROM_PARENT, current, root, 0, 0, 1, 1, 0,
                                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
                        xcb_set_selection_owner(c, current, clipboard, XCB_CURRENT_TIME);
                    }
                } else if (mode == "stalled" && request.target == utf8) {
                    // A long text announced; its first piece goes once the
                    // reader has deleted the announcement, then silence.
                    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
                    xcb_change_window_attributes(c, request.requestor, XCB_CW_EVENT_MASK, &mask);
                    const uint32_t size = 1 << 20;
                    xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, property, incr, 32, 1, &size);
                    Notify(c, request, property);
                    reader = request.requestor;
                    readerProperty = property;
                } else {
                    Notify(c, request, XCB_ATOM_NONE);
                }
                xcb_flush(c);
            }
            std::free(e);
        }
        if (xcb_connection_has_error(c)) return 0;
    }
}
