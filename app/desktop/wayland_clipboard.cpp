#include "app/desktop/wayland_clipboard.h"

#include <cstdlib>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/desktop/process.h"
#include "app/desktop/x11_clipboard.h"

namespace morvel::desktop {

namespace {

constexpr std::chrono::seconds kReadBound{20};
constexpr std::chrono::seconds kWriteBound{5};

// The text types, best first; the first one the clipboard offers is read.
const char* const kTextTypes[] = {"text/plain;charset=utf-8", "UTF8_STRING", "text/plain"};

// Runs a tool with `input` on its standard input and its standard output
// read into `output` (at most `cap` bytes), each wait bounded; a tool that
// overruns is killed. True when it exited with status 0 and everything
// went through.
bool RunTool(const char* const* argv, const std::string* input, std::string* output, size_t cap,
             std::chrono::seconds whole) {
    const Deadline deadline = After(whole);
    int in[2] = {-1, -1}, out[2] = {-1, -1};
    if (input && !SocketPair(in)) return false;
    if (output && !SocketPair(out)) {
        if (input) {
            ::close(in[0]);
            ::close(in[1]);
        }
        return false;
    }
    SpawnOptions options;
    options.stdinFd = input ? in[1] : -1;
    options.stdoutFd = output ? out[1] : -1;
    options.newSession = true;  // wl-copy stays behind to serve the text
    options.searchPath = true;
    const pid_t pid = Spawn(argv, options);
    if (input) ::close(in[1]);
    if (output) ::close(out[1]);
    bool ok = pid > 0;
    if (input) {
        ok = ok && SendAll(in[0], input->data(), input->size(), deadline);
        ::close(in[0]);
    }
    if (output) {
        ok = ok && ReceiveAll(out[0], *output, cap, kAnswerBound, deadline) == ReadEnd::kEnd;
        ::close(out[0]);
    }
    if (pid > 0 && WaitChild(pid, ok ? deadline : Clock::now()) != 0) ok = false;
    return ok;
}

// WAYLAND_DISPLAY names the compositor's socket, in XDG_RUNTIME_DIR unless
// it is a path.
bool WaylandSocketThere() {
    const char* display = std::getenv("WAYLAND_DISPLAY");
    if (!display || !*display) return false;
    std::string path = display;
    if (path[0] != '/') {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (!runtime || !*runtime) return false;
        path = std::string(runtime) + "/" + path;
    }
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

}  // namespace

bool WaylandClipboardUsable() { return WaylandSocketThere() && OnPath("wl-paste") && OnPath("wl-copy"); }

bool WaylandReadClipboard(std::string& text) {
    static const char* const list[] = {"wl-paste", "--list-types", nullptr};
    std::string types;
    if (!RunTool(list, nullptr, &types, 1 << 16, std::chrono::seconds(2))) return false;
    const char* chosen = nullptr;
    for (const char* type : kTextTypes) {
        size_t at = 0;
        const std::string name(type);
        while (!chosen && (at = types.find(name, at)) != std::string::npos) {
            const size_t end = at + name.size();
            if ((at == 0 || types[at - 1] == '\n') && (end == types.size() || types[end] == '\n')) chosen = type;
            at = end;
        }
        if (chosen) break;
    }
    if (!chosen) return false;
    const char* const paste[] = {"wl-paste", "--no-newline", "--type", chosen, nullptr};
    std::string candidate;
    if (!RunTool(paste, nullptr, &candidate, kMostClipboardText, kReadBound)) return false;
    text = std::move(candidate);
    return true;
}

bool WaylandWriteClipboard(const uint8_t* text, size_t size, const char** error) {
    static const char* const copy[] = {"wl-copy", "--type", "text/plain;charset=utf-8", nullptr};
    const std::string input(reinterpret_cast<const char*>(text), size);
    if (RunTool(copy, &input, nullptr, 0, kWriteBound)) return true;
    *error = "wl-copy did not take the text";
    return false;
}

bool WaylandEmptyClipboard() {
    static const char* const clear[] = {"wl-copy", "--clear", nullptr};
    return RunTool(clear, nullptr, nullptr, 0, std::chrono::seconds(2));
}

}  // namespace morvel::desktop
