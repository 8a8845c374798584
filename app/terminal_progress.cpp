#include "app/terminal_progress.h"

#include <cerrno>
#include <cstdio>

#include <unistd.h>

namespace morvel {

CTerminalProgress::CTerminalProgress(int fd, Clock clock)
    : fd_(fd), terminal_(::isatty(fd) == 1), clock_(std::move(clock)) {}

std::string CTerminalProgress::Line(int64_t done, int64_t total, double seconds) {
    const double mb = static_cast<double>(done) / 1e6;
    const double rate = seconds > 0 ? mb / seconds : 0.0;
    char text[96];
    if (total > 0) {
        const int64_t percent = done >= total ? 100 : done * 100 / total;
        std::snprintf(text, sizeof text, "morvel: %d%% %.1f MB/s", static_cast<int>(percent), rate);
    } else {
        std::snprintf(text, sizeof text, "morvel: %.1f MB %.1f MB/s", mb, rate);
    }
    return text;
}

bool CTerminalProgress::Advance(int64_t done, int64_t total) {
    if (!terminal_) return true;
    const auto now = clock_();
    if (!running_) {
        running_ = true;
        start_ = now;
        return true;
    }
    if (now - start_ < kDelay || (shown_ && now - last_ < kInterval)) return true;
    last_ = now;
    shown_ = true;
    // Back to the start of the line, the text, the rest of the line cleared.
    std::string text(1, '\r');
    text.append(Line(done, total, std::chrono::duration<double>(now - start_).count()));
    text.append("\x1b[K");
    Write(text);
    return true;
}

void CTerminalProgress::End() {
    if (shown_) Write("\r\x1b[K");
    running_ = false;
    shown_ = false;
}

void CTerminalProgress::Write(const std::string& text) {
    size_t off = 0;
    while (off < text.size()) {
        const ssize_t n = ::write(fd_, text.data() + off, text.size() - off);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // a terminal that is gone: the run goes on without it
        off += static_cast<size_t>(n);
    }
}

}  // namespace morvel
