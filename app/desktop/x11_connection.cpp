#include "app/desktop/x11_connection.h"

#include <xcb/xcbext.h>

#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

#include <poll.h>

namespace morvel::desktop {

void FreeDeleter::operator()(void* p) const { std::free(p); }

int MillisecondsLeft(Deadline deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(left);
}

// xcb_connect blocks while it connects and reads the server's set-up, with
// no bound of its own; it runs on a thread of its own, and a connection that
// comes too late is closed by that thread when it arrives.
xcb_connection_t* ConnectWithin(std::chrono::milliseconds bound, int* screen) {
    struct Attempt {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        bool abandoned = false;
        xcb_connection_t* connection = nullptr;
        int screen = 0;
    };
    auto attempt = std::make_shared<Attempt>();
    try {
        std::thread([attempt] {
            int number = 0;
            xcb_connection_t* c = xcb_connect(nullptr, &number);
            if (xcb_connection_has_error(c)) {
                xcb_disconnect(c);
                c = nullptr;
            }
            std::lock_guard<std::mutex> lock(attempt->mutex);
            if (attempt->abandoned) {
                if (c) xcb_disconnect(c);
                return;
            }
            attempt->connection = c;
            attempt->screen = number;
            attempt->finished = true;
            attempt->done.notify_all();
        }).detach();
    } catch (...) {
        return nullptr;
    }
    std::unique_lock<std::mutex> lock(attempt->mutex);
    if (!attempt->done.wait_for(lock, bound, [&] { return attempt->finished; })) {
        attempt->abandoned = true;
        return nullptr;
    }
    if (screen) *screen = attempt->screen;
    return attempt->connection;
}

namespace {

struct ProcessConnection {
    bool tried = false;
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = 0;
};

ProcessConnection& Shared() {
    static ProcessConnection shared;
    return shared;
}

}  // namespace

xcb_connection_t* Connection() {
    ProcessConnection& shared = Shared();
    if (shared.connection && xcb_connection_has_error(shared.connection)) {
        // The server went away; a later call may find a new one.
        xcb_disconnect(shared.connection);
        shared = ProcessConnection{};
    }
    if (!shared.tried) {
        shared.tried = true;
        int screen = 0;
        shared.connection = ConnectWithin(kAnswerBound, &screen);
        if (shared.connection) {
            xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(shared.connection));
            for (int i = 0; i < screen && it.rem > 0; ++i) xcb_screen_next(&it);
            if (it.rem > 0) shared.root = it.data->root;
        }
    }
    return shared.connection;
}

xcb_window_t RootWindow() { return Connection() ? Shared().root : 0; }

bool WaitReadable(xcb_connection_t* c, Deadline deadline) {
    for (;;) {
        if (xcb_connection_has_error(c)) return false;
        const int left = MillisecondsLeft(deadline);
        if (left == 0) return false;
        struct pollfd pfd = {xcb_get_file_descriptor(c), POLLIN, 0};
        const int n = ::poll(&pfd, 1, left);
        if (n > 0) return true;
        if (n < 0 && errno != EINTR) return false;
    }
}

void* WaitReply(xcb_connection_t* c, unsigned int sequence, Deadline deadline) {
    xcb_flush(c);
    for (;;) {
        void* reply = nullptr;
        xcb_generic_error_t* error = nullptr;
        if (xcb_poll_for_reply(c, sequence, &reply, &error)) {
            std::free(error);
            return reply;
        }
        if (!WaitReadable(c, deadline)) {
            xcb_discard_reply(c, sequence);  // should it come after all
            return nullptr;
        }
    }
}

XPtr<xcb_generic_event_t> WaitEvent(xcb_connection_t* c, Deadline deadline,
                                    const std::function<bool(const xcb_generic_event_t&)>& match) {
    xcb_flush(c);
    for (;;) {
        while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
            XPtr<xcb_generic_event_t> event(e);
            if (match(*event)) return event;
        }
        if (!WaitReadable(c, deadline)) return nullptr;
    }
}

bool InternAtoms(xcb_connection_t* c, const char* const* names, xcb_atom_t* atoms, size_t count,
                 Deadline deadline) {
    constexpr size_t kMost = 16;
    if (count > kMost) return false;
    xcb_intern_atom_cookie_t cookies[kMost];
    for (size_t i = 0; i < count; ++i) {
        size_t length = 0;
        while (names[i][length] != '\0') ++length;
        cookies[i] = xcb_intern_atom(c, 0, static_cast<uint16_t>(length), names[i]);
    }
    bool all = true;
    for (size_t i = 0; i < count; ++i) {
        auto reply = Await<xcb_intern_atom_reply_t>(c, cookies[i], deadline);
        atoms[i] = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        if (!reply) all = false;
    }
    return all;
}

}  // namespace morvel::desktop
