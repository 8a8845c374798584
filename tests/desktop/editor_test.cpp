// The exchange with a calling editor on a real X server (run under
// xvfb-run): the program drives a small editor of the tests' own
// (editor_window) by key chords, once with no window manager (the focus is
// set directly) and once under openbox (windows are activated through it).
// The editor's selection, or its whole document, must come back converted
// in a new document, whose text the reference stages give; the bad window
// ids end in their message, and a window that goes away mid-exchange in
// "no text", never a hang. xdotool and xprop watch the window manager and
// hold keys.
#include <chrono>
#include <cstdio>
#include <thread>

#include "tests/app/run_helpers.h"

namespace morvel::test {
namespace {

// How long a run, or the editor's answer, may take before the test calls it
// a hang: far beyond the program's own bounds.
constexpr auto kHang = std::chrono::seconds(30);

template <typename Condition>
bool WaitFor(Condition done) {
    for (auto end = std::chrono::steady_clock::now() + kHang; std::chrono::steady_clock::now() < end;) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

// UTF-8 text as the desktop holds it, through the clipboard's CP932 form and
// the run's width folding, back to UTF-8: what the new document must hold.
Bytes Converted(const Bytes& utf8, bool kana, bool toHalf) {
    const ConversionPlan folding{ShiftJis, ShiftJis, kana, toHalf, !kana, toHalf};
    return Expected(Expected(Expected(utf8, {Utf8, ShiftJis}), folding), {ShiftJis, Utf8});
}

class EditorExchange : public ScratchDir, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (display == nullptr || *display == '\0') GTEST_SKIP() << "no X server (run under xvfb-run)";
        ScratchDir::SetUp();
        for (const char* name : {"DISPLAY", "XAUTHORITY"})
            if (const char* value = std::getenv(name)) x_.env.push_back(std::string(name) + "=" + value);
        x_.stdoutPath = x_.stderrPath = "/dev/null";
        ForgetWindowManager();
        if (UnderWindowManager()) {
            if (Shell("command -v openbox >/dev/null") != 0) GTEST_SKIP() << "openbox is not installed";
            x_.program = "openbox";
            windowManager_ = Spawn({"--sm-disable"}, x_);
            // openbox shows itself on the root before it takes windows in:
            // until then, a window of ours is lost. Once it switches desktops
            // on request, its event loop runs.
            for (const char* desktop : {"1", "0"}) {
                ASSERT_TRUE(WaitFor([&] {
                    return X(std::string("xdotool set_desktop ") + desktop +
                             " && xprop -root _NET_CURRENT_DESKTOP | grep -q '= " + desktop + "$'");
                }));
            }
        }
    }
    void TearDown() override {
        for (pid_t& pid : editors_) Stop(pid);
        Stop(windowManager_);
        ForgetWindowManager();
        ScratchDir::TearDown();
    }
    bool UnderWindowManager() const { return GetParam(); }
    // A command of the X tools on the test's display: whether it succeeded.
    static bool X(const std::string& command) { return Shell(command + " 2>/dev/null") == 0; }
    // What a window manager leaves on the root window, gone with it.
    static void ForgetWindowManager() {
        for (const char* name : {"_NET_SUPPORTING_WM_CHECK", "_NET_SUPPORTED", "_NET_ACTIVE_WINDOW"})
            X(std::string("xprop -root -remove ") + name);
    }
    static void Stop(pid_t& pid) {
        if (pid > 0 && ::kill(pid, SIGTERM) == 0) ::waitpid(pid, nullptr, 0);
        pid = -1;
    }

    // An editor over `text`, with its options; the id of its window.
    std::string StartEditor(const Bytes& text, std::vector<std::string> options = {}) {
        prefix_ = P("editor" + std::to_string(editors_.size()));
        WriteFile(prefix_ + ".text", text);
        options.insert(options.begin(), {prefix_, "--text=" + prefix_ + ".text"});
        RunOptions o = x_;
        o.program = EDITOR_WINDOW;
        editors_.push_back(Spawn(options, o));
        EXPECT_TRUE(WaitFor([&] { return Exists(prefix_ + ".id"); }));
        return ReadFile(prefix_ + ".id");
    }
    bool IsActive(const std::string& window) const {
        const std::string active = prefix_ + ".active";
        return X("xdotool getactivewindow > " + active) && ReadFile(active) == window + "\n";
    }
    // The last editor's documents and the chords it received.
    Bytes Document(int n) const { return ReadFile(prefix_ + ".doc" + std::to_string(n)); }
    Bytes Chords() const { return ReadFile(prefix_ + ".log"); }

    // Runs the program, killed when it hangs (status -1).
    RunResult RunMorvel(const std::vector<std::string>& args, bool withDisplay = true) {
        RunOptions o = x_;
        o.program = MORVEL_BINARY;
        o.stdoutPath = o.stderrPath = "";
        if (!withDisplay) o.env.clear();
        const pid_t pid = Spawn(args, o);
        siginfo_t info{};  // looked at, left to Finish
        if (!WaitFor([&] { return !::waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) && info.si_pid == pid; }))
            ::kill(pid, SIGKILL);
        return Finish(pid);
    }

    RunOptions x_;  // the display's variables, output dropped
    pid_t windowManager_ = -1;
    std::vector<pid_t> editors_;
    std::string prefix_;
};

// The editor's text: a kanji on either side keeps detection on Shift-JIS.
const Bytes kDocument = "前 ｶﾀｶﾅ ABC 後\n";

TEST_P(EditorExchange, TheResultLandsInANewDocument) {
    const struct Case {
        const char* name;
        Bytes text;
        Bytes selection;  // a part of the text; none: the whole document is taken
        std::vector<std::string> options;
        const char* fold;  // /K, /k or /N
        Bytes chords;
        bool holdShift = false;
        bool active = false;  // --editor=active instead of the window id
    } cases[] = {
        {"selection", kDocument, "ｶﾀｶﾅ ABC 後", {}, "/K", "CCNV"},
        // The start-up check and the run each copy; with nothing selected
        // the first copy yields nothing, and Ctrl+A selects the document.
        {"no selection", "ＡＢＣ abc 123 テキスト\n", "", {}, "/N", "CACCNV"},
        {"a new window for the new document", "全角 カタカナ ABC\n", "カタカナ ABC", {"--new-window"}, "/k",
         "CCNV"},
        {"Shift held by the user", kDocument, "ｶﾀｶﾅ ABC 後", {}, "/K", "CCNV", true},
        {"the active window", kDocument, "", {}, "/K", "CACCNV", false, true},
    };
    for (const Case& c : cases) {
        if (c.active && !UnderWindowManager()) continue;  // the focus alone names no window
        SCOPED_TRACE(c.name);
        std::vector<std::string> options = c.options;
        if (!c.selection.empty())
            options.push_back("--select=" + std::to_string(c.text.find(c.selection)) + ":" +
                              std::to_string(c.selection.size()));
        const std::string window = StartEditor(c.text, options);
        // The window manager makes a new window the active one.
        if (c.active) {
            ASSERT_TRUE(WaitFor([&] { return IsActive(window); }));
        }
        if (c.holdShift) X("xdotool keydown Shift_L");
        const RunResult r = RunMorvel({c.fold, "/c", c.active ? "--editor=active" : window});
        if (c.holdShift) X("xdotool keyup Shift_L");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        ASSERT_TRUE(WaitFor([&] { return Chords().size() >= c.chords.size(); })) << Chords();
        EXPECT_EQ(Chords(), c.chords);
        EXPECT_EQ(Document(0), c.text);
        const Bytes taken = c.selection.empty() ? c.text : c.selection;
        EXPECT_EQ(Document(1), Converted(taken, c.fold[1] != 'N', c.fold[1] == 'k'));
        EXPECT_FALSE(Exists(prefix_ + ".doc2"));
    }
}

TEST_P(EditorExchange, BadWindows) {
    // A window that existed and is gone, and an id no window can have.
    const std::string gone = StartEditor(kDocument);
    Stop(editors_.back());
    char goneHex[16];
    std::snprintf(goneHex, sizeof goneHex, "%X", static_cast<unsigned>(std::stoul(gone)));
    for (const auto& [arg, shown] : {std::pair<std::string, std::string>{gone, goneHex}, {"0x7fffffff", "7FFFFFFF"}}) {
        const RunResult r = RunMorvel({"/c", arg});
        EXPECT_EQ(r.status, 1) << arg;
        EXPECT_EQ(r.err, "morvel: Bad Handle was found " + shown + "\n");
    }

    // A window that goes away during the exchange (at Ctrl+A): no text.
    RunResult r = RunMorvel({"/c", StartEditor(kDocument, {"--vanish-on=a"})});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Chords(), "C");
    EXPECT_FALSE(Exists(prefix_ + ".doc1"));

    // --editor=active with no active window, and with no display at all.
    if (!UnderWindowManager()) {
        for (bool withDisplay : {true, false}) {
            r = RunMorvel({"--editor=active", "/c"}, withDisplay);
            EXPECT_EQ(r.status, 2);
            EXPECT_EQ(r.err, "morvel: --editor=active: the desktop has no active window to take as the editor's "
                             "(no desktop session, or no window is active)\n");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(WindowManager, EditorExchange, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Openbox" : "None"; });

}  // namespace
}  // namespace morvel::test
