// Progress of a command-line run on a terminal: the line's timing and text
// over a clock of the test's own, and the program itself with standard error
// on a pseudo-terminal or on a file, its output a pipe that the test holds
// back so that the run lasts more than a second.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <poll.h>
#include <pty.h>

#include "app/terminal_progress.h"
#include "tests/app/run_helpers.h"

namespace morvel::test {
namespace {

// Everything the master side of a pseudo-terminal holds now.
Bytes Drain(int master) {
    Bytes out;
    char buf[4096];
    for (;;) {
        struct pollfd p = {master, POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0 || !(p.revents & POLLIN)) return out;
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n <= 0) return out;
        out.append(buf, static_cast<size_t>(n));
    }
}

struct Pty {
    Pty() {
        EXPECT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        struct termios t;
        ::tcgetattr(slave, &t);
        ::cfmakeraw(&t);  // bytes as written, no line discipline in between
        ::tcsetattr(slave, TCSANOW, &t);
    }
    ~Pty() {
        ::close(master);
        ::close(slave);
    }
    int master = -1, slave = -1;
};

TEST(TerminalProgress, LineAfterASecondUpdatedAndErased) {
    using namespace std::chrono;
    Pty pty;
    steady_clock::time_point now{};
    CTerminalProgress progress(pty.slave, [&] { return now; });
    const struct {
        int ms;          // clock, from an origin of the test's
        int64_t done;    // bytes; -1: the run ends here
        int64_t total;
        const char* shown;
    } steps[] = {
        {0, 0, 50'000'000, ""},
        {500, 10'000'000, 50'000'000, ""},  // within the first second: nothing
        {2000, 21'000'000, 50'000'000, "\rmorvel: 42% 10.5 MB/s\x1b[K"},
        {2050, 22'000'000, 50'000'000, ""},  // too soon after the last update
        {2500, 50'000'000, 50'000'000, "\rmorvel: 100% 20.0 MB/s\x1b[K"},
        {2600, -1, 0, "\r\x1b[K"},
        // The size not known beforehand: the bytes instead of the share.
        {10000, 0, 0, ""},
        {12000, 5'200'000, 0, "\rmorvel: 5.2 MB 2.6 MB/s\x1b[K"},
        {12100, -1, 0, "\r\x1b[K"},
        // A short run leaves the terminal alone.
        {20000, 0, 1000, ""},
        {20900, 1000, 1000, ""},
        {20950, -1, 0, ""},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.ms);
        now = steady_clock::time_point{} + milliseconds(s.ms);
        if (s.done < 0)
            progress.End();
        else
            EXPECT_TRUE(progress.Advance(s.done, s.total));
        EXPECT_EQ(Drain(pty.master), s.shown);
    }
}

using ProgressRun = ScratchDir;

// The binary converts 4 MiB into a pipe that the test stops reading for a
// while; with standard error on a terminal a progress line appears and is
// erased at the end, on a file nothing is written there.
TEST_F(ProgressRun, ShownOnATerminalOnly) {
    Bytes sjis;
    while (sjis.size() < (4u << 20)) sjis += "abc \x82\xa0\x82\xa2\x83\x41 0123456789\r\n";
    WriteFile(P("in.txt"), sjis);
    ASSERT_EQ(::mkfifo(P("out.fifo").c_str(), 0600), 0);
    for (const bool terminal : {true, false}) {
        SCOPED_TRACE(terminal ? "terminal" : "file");
        Pty pty;
        RunOptions o;
        if (terminal) o.stderrPath = ::ttyname(pty.slave);
        const pid_t pid = Spawn({"/SE", "in.txt", "out.fifo"}, o);
        const int fifo = ::open(P("out.fifo").c_str(), O_RDONLY);
        ASSERT_GE(fifo, 0);
        Bytes got;
        char buf[65536];
        for (ssize_t n; (n = ::read(fifo, buf, sizeof buf)) > 0;) {
            const bool before = got.size() < 100'000;
            got.append(buf, static_cast<size_t>(n));
            if (before && got.size() >= 100'000)  // the run waits on the full pipe meanwhile
                std::this_thread::sleep_for(std::chrono::milliseconds(1300));
        }
        ::close(fifo);
        const RunResult r = Finish(pid);
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(got == EncodeSjis(sjis, EucJp)) << got.size() << " bytes";
        EXPECT_EQ(r.err, "");
        if (terminal) {
            const Bytes shown = Drain(pty.master);
            for (const char* part : {"\rmorvel: ", "% ", " MB/s\x1b[K"})
                EXPECT_NE(shown.find(part), std::string::npos) << shown;
            ASSERT_GE(shown.size(), 4u);
            EXPECT_EQ(shown.substr(shown.size() - 4), "\r\x1b[K");  // erased, nothing after
        }
    }
}

}  // namespace
}  // namespace morvel::test
