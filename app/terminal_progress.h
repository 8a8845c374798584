// Progress of a command-line run on a terminal: once a run has taken more
// than a second, one line on standard error, rewritten in place, with the
// share done (or the bytes, when the input's size is not known) and the
// speed; erased when the run ends. Nothing at all when the descriptor is not
// a terminal, so redirected output and scripts see no progress.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "app/ports.h"

namespace morvel {

class CTerminalProgress final : public IProgressPort {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    // `fd` is written only when it is a terminal; `clock` is for tests.
    explicit CTerminalProgress(int fd = 2, Clock clock = std::chrono::steady_clock::now);

    bool Advance(int64_t done, int64_t total) override;
    void End() override;

    // The line for `done` bytes of `total` after `seconds`:
    // "morvel: 42% 12.3 MB/s", or "morvel: 5.2 MB 12.3 MB/s" without a total.
    static std::string Line(int64_t done, int64_t total, double seconds);

    // How long a run goes on before its line appears, and the least time
    // between two updates of it.
    static constexpr std::chrono::milliseconds kDelay{1000};
    static constexpr std::chrono::milliseconds kInterval{100};

private:
    void Write(const std::string& text);

    int fd_;
    bool terminal_;
    Clock clock_;
    bool running_ = false;
    bool shown_ = false;
    std::chrono::steady_clock::time_point start_, last_;
};

}  // namespace morvel
