#include "app/desktop/process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace morvel::desktop {

pid_t Spawn(const char* const* argv, const SpawnOptions& options) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    if (posix_spawn_file_actions_init(&actions) != 0) return -1;
    if (posix_spawnattr_init(&attr) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return -1;
    }
    // Descriptors: the given ones first (theirs are all 4 or above, see
    // SocketPair), then /dev/null where none was given.
    if (options.stdinFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, options.stdinFd, 0);
    else
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (options.stdoutFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, options.stdoutFd, 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    int firstClosed = 3;
    if (options.extraFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, options.extraFd, 3);
        firstClosed = 4;
    }
    posix_spawn_file_actions_addclosefrom_np(&actions, firstClosed);

    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (options.newSession) flags |= POSIX_SPAWN_SETSID;
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, flags);

    pid_t pid = -1;
    char* const* args = const_cast<char* const*>(argv);
    const char* program = options.program ? options.program : argv[0];
    const int err = options.searchPath ? posix_spawnp(&pid, program, &actions, &attr, args, environ)
                                       : posix_spawn(&pid, program, &actions, &attr, args, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    return err == 0 ? pid : -1;
}

int WaitChild(pid_t pid, Deadline deadline) {
    int status = 0;
    for (auto pause = std::chrono::microseconds(100);; pause = std::min(pause * 2, decltype(pause)(20000))) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (done < 0 && errno != EINTR) return -1;
        if (MillisecondsLeft(deadline) == 0) break;
        std::this_thread::sleep_for(pause);
    }
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return -1;
}

bool SocketPair(int fds[2]) {
    int raw[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, raw) != 0) return false;
    for (int i = 0; i < 2; ++i) {
        if (raw[i] >= 4) {
            fds[i] = raw[i];
            continue;
        }
        fds[i] = ::fcntl(raw[i], F_DUPFD_CLOEXEC, 4);
        ::close(raw[i]);
    }
    if (fds[0] < 0 || fds[1] < 0) {
        if (fds[0] >= 0) ::close(fds[0]);
        if (fds[1] >= 0) ::close(fds[1]);
        return false;
    }
    return true;
}

namespace {

bool WaitFor(int fd, short events, int timeoutMs) {
    for (;;) {
        struct pollfd pfd = {fd, events, 0};
        const int n = ::poll(&pfd, 1, timeoutMs);
        if (n > 0) return true;
        if (n == 0 || errno != EINTR) return false;
    }
}

}  // namespace

bool SendAll(int fd, const void* data, size_t size, Deadline deadline) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            p += n;
            size -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
        const int left = MillisecondsLeft(deadline);
        if (left == 0 || !WaitFor(fd, POLLOUT, left)) return false;
    }
    return true;
}

ReadEnd ReceiveAll(int fd, std::string& out, size_t cap, std::chrono::milliseconds idle, Deadline deadline) {
    char buffer[65536];
    for (;;) {
        const int left = std::min(MillisecondsLeft(deadline), static_cast<int>(idle.count()));
        if (left == 0 || !WaitFor(fd, POLLIN, left)) return ReadEnd::kTimeout;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n == 0) return ReadEnd::kEnd;
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            return ReadEnd::kError;
        }
        if (out.size() + static_cast<size_t>(n) > cap) return ReadEnd::kTooLarge;
        out.append(buffer, static_cast<size_t>(n));
    }
}

bool OnPath(const char* name) {
    const char* path = std::getenv("PATH");
    if (!path || !*path) path = "/usr/local/bin:/usr/bin:/bin";
    for (const char* start = path;;) {
        const char* end = std::strchr(start, ':');
        const size_t length = end ? static_cast<size_t>(end - start) : std::strlen(start);
        std::string file = length == 0 ? std::string(1, '.') : std::string(start, length);
        file += '/';
        file += name;
        struct stat st;
        if (::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(file.c_str(), X_OK) == 0) return true;
        if (!end) return false;
        start = end + 1;
    }
}

}  // namespace morvel::desktop
