// Child processes of the desktop module (the clipboard's server, the
// Wayland clipboard tools): started with posix_spawn, never a fork of the
// caller, so the caller may run threads of its own (the dialog); every wait
// on them is bounded.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/desktop/x11_connection.h"

namespace morvel::desktop {

struct SpawnOptions {
    int stdinFd = -1;       // -1: /dev/null
    int stdoutFd = -1;      // -1: /dev/null
    int extraFd = -1;       // becomes descriptor 3 when not -1
    bool newSession = false;
    bool searchPath = false;  // argv[0] is a name looked up on PATH
    const char* program = nullptr;  // the file to run when not argv[0]
};

// Starts argv (ending with nullptr) with standard error on /dev/null, every
// descriptor but 0-2 (and 3 when given) closed, no signal blocked and the
// default action for every signal. The pid, or -1.
pid_t Spawn(const char* const* argv, const SpawnOptions& options);

// Waits until `pid` ends; past the deadline it is killed (SIGKILL) and
// reaped. Its exit status, or -1 when it did not exit by itself.
int WaitChild(pid_t pid, Deadline deadline);

// A connected pair of stream sockets, both close-on-exec, neither below 4
// (so that either can be handed on as descriptor 3).
bool SocketPair(int fds[2]);

// Writes all of `data` to the socket before the deadline (no SIGPIPE when
// the other end has gone).
bool SendAll(int fd, const void* data, size_t size, Deadline deadline);

// Reads until the other end closes: kEnd with everything read, or the
// reason it stopped. `idle` bounds the wait for each piece, `deadline` the
// whole; more than `cap` bytes is kTooLarge.
enum class ReadEnd { kEnd, kTimeout, kTooLarge, kError };
ReadEnd ReceiveAll(int fd, std::string& out, size_t cap, std::chrono::milliseconds idle, Deadline deadline);

// Whether an executable file of that name is on PATH.
bool OnPath(const char* name);

}  // namespace morvel::desktop
