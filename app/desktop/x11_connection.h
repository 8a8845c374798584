// The desktop module's connection to the X server and the waits on it.
// Every wait has a deadline: the descriptor of the connection is polled, so
// an X client that never answers (a clipboard owner, an editor) costs at
// most the bound, never a hang.
#pragma once

#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace morvel::desktop {

using Clock = std::chrono::steady_clock;
using Deadline = Clock::time_point;

// How long the X server or another client gets for one answer.
constexpr std::chrono::milliseconds kAnswerBound{2000};

inline Deadline After(std::chrono::milliseconds bound) { return Clock::now() + bound; }
// Milliseconds left until `deadline`, 0 once it has passed.
int MillisecondsLeft(Deadline deadline);

// A new connection to the display named by DISPLAY, made within `bound` (a
// server that accepts but never answers the set-up included); nullptr when
// none could be had in time. `screen` gets the default screen's number.
xcb_connection_t* ConnectWithin(std::chrono::milliseconds bound, int* screen = nullptr);

// The process's connection, made on first use within kAnswerBound and kept
// for the life of the process; nullptr when there is none (also remembered).
xcb_connection_t* Connection();
// The root window of the connection's default screen (0 without one).
xcb_window_t RootWindow();

// Waits until the connection has something to read or the deadline passes;
// false on the deadline or a broken connection.
bool WaitReadable(xcb_connection_t* c, Deadline deadline);

struct FreeDeleter {
    void operator()(void* p) const;
};
template <typename T>
using XPtr = std::unique_ptr<T, FreeDeleter>;

// The reply to request `sequence`, flushed first; nullptr on an error, a
// broken connection or the deadline.
void* WaitReply(xcb_connection_t* c, unsigned int sequence, Deadline deadline);
template <typename Reply, typename Cookie>
XPtr<Reply> Await(xcb_connection_t* c, Cookie cookie, Deadline deadline) {
    return XPtr<Reply>(static_cast<Reply*>(WaitReply(c, cookie.sequence, deadline)));
}

// The first event that `match` accepts, within the deadline; the events it
// passes over are dropped. nullptr on the deadline or a broken connection.
XPtr<xcb_generic_event_t> WaitEvent(xcb_connection_t* c, Deadline deadline,
                                    const std::function<bool(const xcb_generic_event_t&)>& match);

// Interns `count` atom names at once (one round trip); false when any
// answer is missing.
bool InternAtoms(xcb_connection_t* c, const char* const* names, xcb_atom_t* atoms, size_t count,
                 Deadline deadline);

// The event code without the "sent by SendEvent" bit.
inline uint8_t EventType(const xcb_generic_event_t& e) { return e.response_type & 0x7F; }

}  // namespace morvel::desktop
