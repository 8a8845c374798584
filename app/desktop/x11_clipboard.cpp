#include "app/desktop/x11_clipboard.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

#include <xcb/xfixes.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/desktop/process.h"
#include "app/desktop/x11_connection.h"

namespace morvel::desktop {

namespace {

// Bounds of a read: kAnswerBound for the owner's answer and for each piece
// of an incremental (INCR) transfer, kReadBound for the whole text.
constexpr std::chrono::seconds kReadBound{20};
// Bound of a write: the server started, the text handed over and the
// clipboard taken.
constexpr std::chrono::seconds kWriteBound{5};
// The write's answer when another program took the clipboard after the
// text was read: that program's text stays.
constexpr const char* kTakenMeanwhile = "another program took the clipboard while the text was converted";
// How long the server waits for the caller's text.
constexpr int kServerReceiveSeconds = 10;

enum AtomIndex { kClipboard, kUtf8String, kTextPlainUtf8, kIncr, kTargets, kTimestamp, kText, kProperty, kAtomCount };
const char* const kAtomNames[kAtomCount] = {
    "CLIPBOARD", "UTF8_STRING", "text/plain;charset=utf-8", "INCR", "TARGETS", "TIMESTAMP", "TEXT",
    "MORVEL_SELECTION"};

// The atoms on the process's connection, interned once.
const xcb_atom_t* Atoms(xcb_connection_t* c) {
    static xcb_atom_t atoms[kAtomCount];
    static xcb_connection_t* internedFor = nullptr;
    if (internedFor != c) {
        if (!InternAtoms(c, kAtomNames, atoms, kAtomCount, After(kAnswerBound))) return nullptr;
        internedFor = c;
    }
    return atoms;
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string Latin1ToUtf8(const std::string& latin1) {
    std::string out;
    out.reserve(latin1.size() * 2);
    for (unsigned char c : latin1) AppendUtf8(out, c);
    return out;
}

// STRING for the clipboard's readers: Latin-1, "?" for every character
// beyond it and for every byte that is no part of a UTF-8 character.
std::string Utf8ToLatin1(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const size_t n = utf8.size();
    for (size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        bool whole = length != 0 && i + length <= n;
        for (size_t k = 1; whole && k < length; ++k) whole = (p[i + k] & 0xC0) == 0x80;
        if (!whole) {
            out += '?';
            ++i;
            continue;
        }
        uint32_t cp = length == 1 ? c : c & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) cp = cp << 6 | (p[i + k] & 0x3F);
        out += cp <= 0xFF && (length == 1 || cp >= 0x80) ? static_cast<char>(cp) : '?';
        i += length;
    }
    return out;
}

// ---- Reading ----------------------------------------------------------------

enum class Answer { kText, kRefused, kNoAnswer, kNoText, kOwnerChanged };

// The code of XFixes' selection events on the connection (0 without the
// extension): a reader hears of a new owner, or of an owner that has gone,
// while it waits, instead of waiting out its bound.
uint8_t OwnerEvents(xcb_connection_t* c) {
    static xcb_connection_t* askedFor = nullptr;
    static uint8_t code = 0;
    if (askedFor != c) {
        askedFor = c;
        code = 0;
        const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_xfixes_id);
        if (ext && ext->present) {
            auto version = Await<xcb_xfixes_query_version_reply_t>(
                c, xcb_xfixes_query_version(c, XCB_XFIXES_MAJOR_VERSION, XCB_XFIXES_MINOR_VERSION),
                After(kAnswerBound));
            if (version) code = static_cast<uint8_t>(ext->first_event + XCB_XFIXES_SELECTION_NOTIFY);
        }
    }
    return code;
}

// The owner that did not answer the last read; the same owner is not asked
// again (the start-up check and the run read the clipboard one after the
// other), a new owner is.
xcb_window_t g_silentOwner = XCB_NONE;

// The text the process read last, kept while the clipboard keeps its owner:
// XFixes reports every change of owner to a window of the process's own, so
// the start-up check and the run after it take the text once. A write
// replaces the text read last only while the clipboard has kept the owner it
// was read from (`pending`): a program that took the clipboard in between
// keeps it.
struct LastRead {
    xcb_connection_t* c = nullptr;
    xcb_window_t watch = XCB_NONE;  // XFixes reports to it; its property changes give server times
    bool changed = true;  // an owner change was seen since the text was read
    bool valid = false;   // `text` may stand for another read
    bool pending = false;  // a text was read and no write or emptying followed
    xcb_window_t owner = XCB_NONE;
    std::string text;
};
LastRead g_last;

// Notes a change of owner reported to the watching window.
void NoteChange(const xcb_generic_event_t& e, uint8_t ownerEvent) {
    if (ownerEvent != 0 && EventType(e) == ownerEvent &&
        reinterpret_cast<const xcb_xfixes_selection_notify_event_t&>(e).window == g_last.watch)
        g_last.changed = true;
}

class Reader {
public:
    Reader(xcb_connection_t* c, const xcb_atom_t* atoms, xcb_window_t window, uint8_t ownerEvent)
        : c_(c), atoms_(atoms), window_(window), ownerEvent_(ownerEvent), whole_(After(kReadBound)) {}

    Answer Ask(xcb_atom_t target, std::string& text) {
        const xcb_atom_t property = atoms_[kProperty];
        xcb_convert_selection(c_, window_, atoms_[kClipboard], target, property, XCB_CURRENT_TIME);
        auto event = WaitEvent(c_, Bound(), [&](const xcb_generic_event_t& e) {
            if (OwnerChange(e)) return true;
            const auto& n = reinterpret_cast<const xcb_selection_notify_event_t&>(e);
            return EventType(e) == XCB_SELECTION_NOTIFY && n.requestor == window_ && n.target == target;
        });
        if (!event) return Answer::kNoAnswer;
        if (OwnerChange(*event)) return Answer::kOwnerChanged;
        if (reinterpret_cast<const xcb_selection_notify_event_t&>(*event).property == XCB_ATOM_NONE)
            return Answer::kRefused;
        auto head = Await<xcb_get_property_reply_t>(
            c_, xcb_get_property(c_, 0, window_, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 0), Bound());
        if (!head) return Answer::kNoText;
        if (head->type == atoms_[kIncr]) return ReadIncrementally(text);
        Answer answer = Answer::kNoText;
        if (!IsText(head->type, head->format)) {
            answer = Answer::kRefused;  // something else under the name of text
        } else if (head->bytes_after <= kMostClipboardText) {
            auto body = Await<xcb_get_property_reply_t>(
                c_, xcb_get_property(c_, 1, window_, property, XCB_GET_PROPERTY_TYPE_ANY, 0, (head->bytes_after + 3) / 4),
                Bound());
            if (body && IsText(body->type, body->format) && body->bytes_after == 0) {
                text.assign(static_cast<const char*>(xcb_get_property_value(body.get())),
                            static_cast<size_t>(xcb_get_property_value_length(body.get())));
                if (body->type == XCB_ATOM_STRING) text = Latin1ToUtf8(text);
                answer = Answer::kText;
            }
        }
        xcb_delete_property(c_, window_, property);
        return answer;
    }

private:
    Deadline Bound() const { return std::min(After(kAnswerBound), whole_); }

    bool OwnerChange(const xcb_generic_event_t& e) const {
        NoteChange(e, ownerEvent_);
        return ownerEvent_ != 0 && EventType(e) == ownerEvent_ &&
               reinterpret_cast<const xcb_xfixes_selection_notify_event_t&>(e).window == window_;
    }

    bool IsText(xcb_atom_t type, uint8_t format) const {
        return format == 8 && (type == atoms_[kUtf8String] || type == atoms_[kTextPlainUtf8] ||
                               type == XCB_ATOM_STRING || type == atoms_[kText]);
    }

    // INCR: the owner sends the text in pieces, each after the last one has
    // been deleted; an empty piece ends it.
    Answer ReadIncrementally(std::string& text) {
        const xcb_atom_t property = atoms_[kProperty];
        xcb_delete_property(c_, window_, property);
        std::string pieces;
        xcb_atom_t type = XCB_ATOM_NONE;
        for (;;) {
            auto event = WaitEvent(c_, Bound(), [&](const xcb_generic_event_t& e) {
                if (OwnerChange(e)) return true;
                if (EventType(e) != XCB_PROPERTY_NOTIFY) return false;
                const auto& p = reinterpret_cast<const xcb_property_notify_event_t&>(e);
                return p.window == window_ && p.atom == property && p.state == XCB_PROPERTY_NEW_VALUE;
            });
            if (!event) return Answer::kNoAnswer;  // the owner stopped
            if (OwnerChange(*event)) return Answer::kOwnerChanged;  // it went away, or another took over
            auto piece = Await<xcb_get_property_reply_t>(
                c_,
                xcb_get_property(c_, 1, window_, property, XCB_GET_PROPERTY_TYPE_ANY, 0,
                                 static_cast<uint32_t>(kMostClipboardText / 4 + 1)),
                Bound());
            if (!piece) return Answer::kNoText;
            const size_t length = static_cast<size_t>(xcb_get_property_value_length(piece.get()));
            if (length == 0) break;
            if (!IsText(piece->type, piece->format) || piece->bytes_after != 0 ||
                length > kMostClipboardText - pieces.size()) {
                xcb_delete_property(c_, window_, property);
                return Answer::kNoText;
            }
            if (type == XCB_ATOM_NONE) type = piece->type;
            pieces.append(static_cast<const char*>(xcb_get_property_value(piece.get())), length);
        }
        text = type == XCB_ATOM_STRING ? Latin1ToUtf8(pieces) : std::move(pieces);
        return Answer::kText;
    }

    xcb_connection_t* c_;
    const xcb_atom_t* atoms_;
    xcb_window_t window_;
    uint8_t ownerEvent_;
    Deadline whole_;
};

// ---- Serving ------------------------------------------------------------------

// A text larger than one piece goes to a reader incrementally.
struct Transfer {
    xcb_window_t requestor;
    xcb_atom_t property;
    xcb_atom_t type;
    const std::string* data;
    size_t offset;
    Deadline deadline;
};

class Server {
public:
    Server(xcb_connection_t* c, const xcb_atom_t* atoms, std::string text)
        : c_(c), atoms_(atoms), utf8_(std::move(text)) {
        xcb_prefetch_maximum_request_length(c);
    }

    // Takes the clipboard at `since`, or at the server's time now when it
    // is 0: kRefused when the server kept another owner (one that took the
    // clipboard later than that), kNoAnswer when the server did not answer.
    enum class Taken { kOwned, kRefused, kNoAnswer };
    Taken Own(xcb_window_t root, xcb_timestamp_t since) {
        window_ = xcb_generate_id(c_);
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(c_, XCB_COPY_FROM_PARENT, window_, root, -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                          XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
        time_ = since;
        if (time_ == 0) {
            // A server time for the ownership: that of a change to our own window.
            xcb_change_property(c_, XCB_PROP_MODE_APPEND, window_, atoms_[kProperty], XCB_ATOM_STRING, 8, 0, "");
            auto event = WaitEvent(c_, After(kAnswerBound), [&](const xcb_generic_event_t& e) {
                return EventType(e) == XCB_PROPERTY_NOTIFY &&
                       reinterpret_cast<const xcb_property_notify_event_t&>(e).window == window_;
            });
            if (!event) return Taken::kNoAnswer;
            time_ = reinterpret_cast<const xcb_property_notify_event_t&>(*event).time;
        }
        xcb_set_selection_owner(c_, window_, atoms_[kClipboard], time_);
        // The take is confirmed by the server's answer, never assumed.
        auto owner = Await<xcb_get_selection_owner_reply_t>(c_, xcb_get_selection_owner(c_, atoms_[kClipboard]),
                                                            After(kAnswerBound));
        if (!owner) return Taken::kNoAnswer;
        return owner->owner == window_ ? Taken::kOwned : Taken::kRefused;
    }

    // Serves the clipboard until another client takes it or the display
    // goes away.
    void Run() {
        const size_t most = static_cast<size_t>(xcb_get_maximum_request_length(c_)) * 4;
        piece_ = std::max<size_t>(most / 4, 4096);
        const int fd = xcb_get_file_descriptor(c_);
        for (;;) {
            while (xcb_generic_event_t* raw = xcb_poll_for_event(c_)) {
                XPtr<xcb_generic_event_t> e(raw);
                if (!Handle(*e)) {
                    xcb_flush(c_);  // the answers given before the clipboard was taken
                    return;
                }
            }
            xcb_flush(c_);
            if (xcb_connection_has_error(c_)) return;
            int timeout = -1;
            for (const Transfer& t : transfers_) {
                const int left = MillisecondsLeft(t.deadline);
                timeout = timeout < 0 ? left : std::min(timeout, left);
            }
            struct pollfd pfd = {fd, POLLIN, 0};
            if (::poll(&pfd, 1, timeout) < 0 && errno != EINTR) return;
            const auto expired = [](const Transfer& t) { return MillisecondsLeft(t.deadline) == 0; };
            for (const Transfer& t : transfers_)
                if (expired(t)) Forget(t.requestor);
            transfers_.erase(std::remove_if(transfers_.begin(), transfers_.end(), expired), transfers_.end());
        }
    }

private:
    // false: the clipboard is no longer ours.
    bool Handle(const xcb_generic_event_t& e) {
        switch (EventType(e)) {
            case 0: {  // an error: a reader's window has gone
                const auto& error = reinterpret_cast<const xcb_generic_error_t&>(e);
                Drop(error.resource_id);
                return true;
            }
            case XCB_SELECTION_CLEAR:
                return reinterpret_cast<const xcb_selection_clear_event_t&>(e).selection != atoms_[kClipboard];
            case XCB_SELECTION_REQUEST:
                Answer(reinterpret_cast<const xcb_selection_request_event_t&>(e));
                return true;
            case XCB_PROPERTY_NOTIFY:
                Continue(reinterpret_cast<const xcb_property_notify_event_t&>(e));
                return true;
            default:
                return true;
        }
    }

    void Answer(const xcb_selection_request_event_t& request) {
        xcb_atom_t property = request.property != XCB_ATOM_NONE ? request.property : request.target;
        const xcb_atom_t target = request.target;
        const bool ours = request.selection == atoms_[kClipboard] && request.owner == window_ &&
                          (request.time == XCB_CURRENT_TIME || request.time >= time_);
        if (!ours) {
            property = XCB_ATOM_NONE;
        } else if (target == atoms_[kTargets]) {
            const xcb_atom_t targets[] = {atoms_[kTargets], atoms_[kTimestamp], atoms_[kUtf8String],
                                          atoms_[kTextPlainUtf8], atoms_[kText], XCB_ATOM_STRING};
            xcb_change_property(c_, XCB_PROP_MODE_REPLACE, request.requestor, property, XCB_ATOM_ATOM, 32,
                                sizeof targets / sizeof targets[0], targets);
        } else if (target == atoms_[kTimestamp]) {
            xcb_change_property(c_, XCB_PROP_MODE_REPLACE, request.requestor, property, XCB_ATOM_INTEGER, 32, 1,
                                &time_);
        } else if (target == atoms_[kUtf8String] || target == atoms_[kText] || target == atoms_[kTextPlainUtf8]) {
            Send(request.requestor, property, target == atoms_[kTextPlainUtf8] ? target : atoms_[kUtf8String],
                 utf8_);
        } else if (target == XCB_ATOM_STRING) {
            if (!latin1Made_) {
                latin1_ = Utf8ToLatin1(utf8_);
                latin1Made_ = true;
            }
            Send(request.requestor, property, XCB_ATOM_STRING, latin1_);
        } else {
            property = XCB_ATOM_NONE;  // MULTIPLE and everything else: refused
        }
        xcb_selection_notify_event_t notify = {};
        notify.response_type = XCB_SELECTION_NOTIFY;
        notify.time = request.time;
        notify.requestor = request.requestor;
        notify.selection = request.selection;
        notify.target = target;
        notify.property = property;
        char event[32] = {};
        std::memcpy(event, &notify, sizeof notify);
        xcb_send_event(c_, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT, event);
    }

    void Send(xcb_window_t requestor, xcb_atom_t property, xcb_atom_t type, const std::string& data) {
        if (data.size() <= piece_) {
            xcb_change_property(c_, XCB_PROP_MODE_REPLACE, requestor, property, type, 8,
                                static_cast<uint32_t>(data.size()), data.data());
            return;
        }
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(c_, requestor, XCB_CW_EVENT_MASK, &mask);
        const uint32_t size = static_cast<uint32_t>(std::min<size_t>(data.size(), UINT32_MAX));
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, requestor, property, atoms_[kIncr], 32, 1, &size);
        transfers_.push_back({requestor, property, type, &data, 0, After(kAnswerBound)});
    }

    // The reader deleted the last piece: the next one, or the empty end.
    void Continue(const xcb_property_notify_event_t& e) {
        if (e.state != XCB_PROPERTY_DELETE) return;
        for (size_t i = 0; i < transfers_.size(); ++i) {
            Transfer& t = transfers_[i];
            if (t.requestor != e.window || t.property != e.atom) continue;
            const size_t n = std::min(piece_, t.data->size() - t.offset);
            xcb_change_property(c_, XCB_PROP_MODE_REPLACE, t.requestor, t.property, t.type, 8,
                                static_cast<uint32_t>(n), t.data->data() + t.offset);
            t.offset += n;
            t.deadline = After(kAnswerBound);
            if (n == 0) {
                const xcb_window_t requestor = t.requestor;
                transfers_.erase(transfers_.begin() + static_cast<std::ptrdiff_t>(i));
                Forget(requestor);
            }
            return;
        }
    }

    void Drop(xcb_window_t window) {
        transfers_.erase(std::remove_if(transfers_.begin(), transfers_.end(),
                                        [&](const Transfer& t) { return t.requestor == window; }),
                         transfers_.end());
    }

    // Stops listening to a reader's window once no transfer to it is left.
    void Forget(xcb_window_t requestor) {
        for (const Transfer& t : transfers_)
            if (t.requestor == requestor && MillisecondsLeft(t.deadline) > 0) return;
        const uint32_t none = XCB_EVENT_MASK_NO_EVENT;
        xcb_change_window_attributes(c_, requestor, XCB_CW_EVENT_MASK, &none);
    }

    xcb_connection_t* c_;
    const xcb_atom_t* atoms_;
    std::string utf8_, latin1_;
    bool latin1Made_ = false;
    size_t piece_ = 4096;
    xcb_window_t window_ = XCB_NONE;
    xcb_timestamp_t time_ = XCB_CURRENT_TIME;
    std::vector<Transfer> transfers_;
};

// Reads exactly `size` bytes from a blocking descriptor.
bool ReceiveExactly(int fd, void* data, size_t size) {
    char* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = ::recv(fd, p, size, 0);
        if (n > 0) {
            p += n;
            size -= static_cast<size_t>(n);
        } else if (n == 0 || errno != EINTR) {
            return false;
        }
    }
    return true;
}

}  // namespace

namespace {

constexpr uint32_t kOwnerChanges = XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                   XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                   XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE;

xcb_window_t NewWindow(xcb_connection_t* c, uint32_t eventMask) {
    const xcb_window_t window = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, RootWindow(), -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &eventMask);
    return window;
}

xcb_window_t Owner(xcb_connection_t* c, const xcb_atom_t* atoms) {
    auto owner = Await<xcb_get_selection_owner_reply_t>(c, xcb_get_selection_owner(c, atoms[kClipboard]),
                                                        After(kAnswerBound));
    return owner ? owner->owner : xcb_window_t{XCB_NONE};
}

}  // namespace

bool X11ReadClipboard(std::string& text) {
    xcb_connection_t* c = Connection();
    const xcb_atom_t* atoms = c ? Atoms(c) : nullptr;
    if (!atoms) return false;
    const uint8_t ownerEvent = OwnerEvents(c);
    if (g_last.c != c) {
        g_last = LastRead{};
        g_last.c = c;
        g_last.watch = NewWindow(c, XCB_EVENT_MASK_PROPERTY_CHANGE);
        if (ownerEvent != 0) xcb_xfixes_select_selection_input(c, g_last.watch, atoms[kClipboard], kOwnerChanges);
    }
    // The owner now; every change reported before its answer has arrived
    // by then and is in that answer.
    const auto currentOwner = [&] {
        const xcb_window_t now = Owner(c, atoms);
        while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
            NoteChange(*e, ownerEvent);
            std::free(e);
        }
        return now;
    };
    xcb_window_t owner = currentOwner();
    g_last.pending = false;
    if (ownerEvent != 0 && !g_last.changed && g_last.valid && owner == g_last.owner) {
        text = g_last.text;
        g_last.pending = true;
        return true;
    }
    g_last.changed = false;
    g_last.valid = false;
    g_last.text.clear();

    const xcb_window_t window = NewWindow(c, XCB_EVENT_MASK_PROPERTY_CHANGE);
    if (ownerEvent != 0) xcb_xfixes_select_selection_input(c, window, atoms[kClipboard], kOwnerChanges);
    Reader reader(c, atoms, window, ownerEvent);
    bool found = false;
    // The owner may change while it is asked (a new one taking over from
    // the old, which then ends): the new owner is asked from the start, a
    // few times at most.
    for (int round = 0; round < 3; ++round) {
        if (round > 0) {
            owner = currentOwner();
            g_last.changed = false;  // the text is now the new owner's
        }
        if (owner == XCB_NONE || owner == g_silentOwner) break;
        Answer answer = Answer::kRefused;
        for (const xcb_atom_t target : {atoms[kUtf8String], atoms[kTextPlainUtf8], xcb_atom_t{XCB_ATOM_STRING}}) {
            std::string candidate;
            answer = reader.Ask(target, candidate);
            if (answer == Answer::kRefused) continue;
            if (answer == Answer::kNoAnswer) g_silentOwner = owner;
            if (answer == Answer::kText) {
                text = std::move(candidate);
                found = true;
            }
            break;
        }
        if (answer != Answer::kOwnerChanged) break;
    }
    xcb_destroy_window(c, window);
    xcb_flush(c);
    g_last.owner = owner;
    g_last.pending = found;
    if (found && ownerEvent != 0 && !g_last.changed) {
        g_last.text = text;
        g_last.valid = true;
    }
    return found;
}

bool X11EmptyClipboard() {
    xcb_connection_t* c = Connection();
    const xcb_atom_t* atoms = c ? Atoms(c) : nullptr;
    if (!atoms) return false;
    xcb_set_selection_owner(c, XCB_NONE, atoms[kClipboard], XCB_CURRENT_TIME);
    auto owner = Await<xcb_get_selection_owner_reply_t>(c, xcb_get_selection_owner(c, atoms[kClipboard]),
                                                        After(kAnswerBound));
    g_silentOwner = XCB_NONE;
    g_last.valid = false;
    g_last.pending = false;
    return owner && owner->owner == XCB_NONE;
}

namespace {

// The X server's time now: that of a change to the watching window (every
// owner change reported before it is noted on the way). 0 when none came.
xcb_timestamp_t ServerTime(xcb_connection_t* c, const xcb_atom_t* atoms, uint8_t ownerEvent) {
    xcb_change_property(c, XCB_PROP_MODE_APPEND, g_last.watch, atoms[kProperty], XCB_ATOM_STRING, 8, 0, "");
    auto event = WaitEvent(c, After(kAnswerBound), [&](const xcb_generic_event_t& e) {
        NoteChange(e, ownerEvent);
        return EventType(e) == XCB_PROPERTY_NOTIFY &&
               reinterpret_cast<const xcb_property_notify_event_t&>(e).window == g_last.watch;
    });
    return event ? reinterpret_cast<const xcb_property_notify_event_t&>(*event).time : xcb_timestamp_t{0};
}

// Why the text read last cannot be replaced, nullptr when it can: the
// clipboard must still have the owner it was read from. `since` gets the
// time the server's take is to carry; the X server ignores a take older
// than the last change of owner, so a program that takes the clipboard
// after this check keeps it too: the check waits until the server's clock
// has passed `since`, and every later change carries a later time.
const char* WhyNotReplaceable(xcb_connection_t* c, const xcb_atom_t* atoms, xcb_timestamp_t& since) {
    const char* const noAnswer = "the X server did not answer";
    const uint8_t ownerEvent = OwnerEvents(c);
    since = ServerTime(c, atoms, ownerEvent);
    if (since == 0) return noAnswer;
    const Deadline deadline = After(kAnswerBound);
    for (;;) {
        const xcb_timestamp_t now = ServerTime(c, atoms, ownerEvent);
        if (now == 0 || (now == since && MillisecondsLeft(deadline) == 0)) return noAnswer;
        if (now != since) break;
        std::this_thread::sleep_for(std::chrono::microseconds(250));
    }
    // Without XFixes: the same owner at least.
    const bool unchanged = ownerEvent != 0 ? !g_last.changed : Owner(c, atoms) == g_last.owner;
    return unchanged ? nullptr : kTakenMeanwhile;
}

}  // namespace

// The caller's side: the program's own binary is started as the server (a
// spawn, safe in a threaded caller); the time its take is to carry, the
// text's length and the text are handed over on a socket, and the server's
// answer awaited: its pid, then '1' once the clipboard is its, or '0' when
// the X server kept another owner.
bool X11WriteClipboard(const uint8_t* text, size_t size, const char** error) {
    *error = "no X display can be reached";
    xcb_connection_t* c = Connection();
    const xcb_atom_t* atoms = c ? Atoms(c) : nullptr;
    if (!atoms) return false;
    // The text read last is replaced only where it still is; without a read
    // the server takes the clipboard at its own time (0).
    xcb_timestamp_t since = 0;
    const bool replacing = g_last.c == c && g_last.pending;
    g_last.valid = false;
    g_last.pending = false;
    if (replacing) {
        if (const char* why = WhyNotReplaceable(c, atoms, since)) {
            *error = why;
            return false;
        }
    }
    int fds[2];
    *error = "the clipboard's server cannot be started";
    if (!SocketPair(fds)) return false;
    static const char* const argv[] = {"morvel", "--serve-clipboard", nullptr};
    SpawnOptions options;
    options.program = "/proc/self/exe";
    options.extraFd = fds[1];
    const pid_t starter = Spawn(argv, options);
    ::close(fds[1]);
    if (starter < 0) {
        ::close(fds[0]);
        return false;
    }
    const Deadline deadline = After(kWriteBound);
    const uint32_t time = since;
    const uint64_t length = size;
    const bool handed = SendAll(fds[0], &time, sizeof time, deadline) &&
                        SendAll(fds[0], &length, sizeof length, deadline) && SendAll(fds[0], text, size, deadline);
    ::shutdown(fds[0], SHUT_WR);
    std::string answer;
    const ReadEnd end = handed ? ReceiveAll(fds[0], answer, 16, kWriteBound, deadline) : ReadEnd::kError;
    ::close(fds[0]);
    WaitChild(starter, After(kAnswerBound));  // the starter ends as soon as the server is on its own
    if (end == ReadEnd::kEnd && answer.size() == sizeof(int32_t) + 1) {
        if (answer.back() == '1') return true;
        *error = kTakenMeanwhile;  // the server's take was ignored: another program's was later
        return false;
    }
    if (answer.size() >= sizeof(int32_t) && end != ReadEnd::kEnd) {
        int32_t server = 0;
        std::memcpy(&server, answer.data(), sizeof server);
        if (server > 1) ::kill(server, SIGKILL);  // too late: it must not take the clipboard afterwards
    }
    *error = handed ? "the clipboard could not be taken in time" : "the text could not be handed to the clipboard's server";
    return false;
}

int X11ServeClipboard() {
    struct stat st;
    if (::fstat(3, &st) != 0 || !S_ISSOCK(st.st_mode)) return 2;
    // The starter ends at once; the server goes on as a child of init, in a
    // session of its own, so the caller never has to reap it.
    const pid_t child = ::fork();
    if (child != 0) return child > 0 ? 0 : 1;
    ::setsid();
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGHUP, SIG_IGN);
    const int32_t pid = static_cast<int32_t>(::getpid());
    const struct timeval wait = {kServerReceiveSeconds, 0};
    ::setsockopt(3, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    if (::send(3, &pid, sizeof pid, MSG_NOSIGNAL) != sizeof pid) return 1;
    uint32_t since = 0;
    uint64_t length = 0;
    std::string text;
    try {
        if (!ReceiveExactly(3, &since, sizeof since) || !ReceiveExactly(3, &length, sizeof length) ||
            length > text.max_size())
            return 1;
        text.resize(static_cast<size_t>(length));
    } catch (const std::bad_alloc&) {
        return 1;
    }
    if (!ReceiveExactly(3, text.data(), text.size())) return 1;

    xcb_connection_t* c = Connection();
    const xcb_atom_t* atoms = c ? Atoms(c) : nullptr;
    if (!atoms) return 1;
    Server server(c, atoms, std::move(text));
    const Server::Taken taken = server.Own(RootWindow(), since);
    // '1' owned, '0' refused; no answer when the X server gave none.
    if (taken != Server::Taken::kNoAnswer) {
        const char status = taken == Server::Taken::kOwned ? '1' : '0';
        (void)::send(3, &status, 1, MSG_NOSIGNAL);
    }
    ::close(3);
    if (taken != Server::Taken::kOwned) return 1;
    server.Run();
    return 0;
}

}  // namespace morvel::desktop
