// The exchange with a calling editor on a real X server (run under
// xvfb-run): the program drives a small editor of the tests' own
// (editor_window) by key chords, once with no window manager (the focus is
// set directly) and once under openbox (windows are activated through it).
// The editor's selection, or its whole document, must come back converted
// in a new document, whose text the reference stages give; the bad window
// ids end in their message, and a window that goes away mid-exchange in
// "no text", never a hang.
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <chrono>
#include <cstring>
#include <cstdio>
#include <thread>

#include "tests/app/run_helpers.h"

namespace morvel::test {
namespace {

using namespace std::chrono_literals;

// How long a run, or the editor's answer, may take before the test calls it
// a hang: far beyond the program's own bounds.
constexpr auto kHang = 30s;

// The tests' own connection, to watch the window manager and to hold keys.
class TestDisplay {
public:
    TestDisplay() : c_(xcb_connect(nullptr, nullptr)) {
        if (!xcb_connection_has_error(c_)) root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
    }
    ~TestDisplay() { xcb_disconnect(c_); }
    bool Usable() const { return root_ != 0; }

    xcb_atom_t Atom(const char* name) {
        xcb_intern_atom_reply_t* r =
            xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t atom = r ? r->atom : 0;
        std::free(r);
        return atom;
    }
    // The window manager's active window, 0 when none.
    xcb_window_t ActiveWindow() {
        xcb_get_property_reply_t* r = xcb_get_property_reply(
            c_, xcb_get_property(c_, 0, root_, Atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 0, 1), nullptr);
        const xcb_window_t w =
            r && xcb_get_property_value_length(r) == 4 ? *static_cast<xcb_window_t*>(xcb_get_property_value(r)) : 0;
        std::free(r);
        return w;
    }
    // Whether a window manager maps a window of ours by now: openbox shows
    // itself on the root before it takes windows in.
    bool ManagesWindows() {
        const xcb_window_t w = xcb_generate_id(c_);
        xcb_create_window(c_, XCB_COPY_FROM_PARENT, w, root_, 0, 0, 10, 10, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_map_window(c_, w);
        bool viewable = false;
        for (int i = 0; i < 10 && !viewable; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            xcb_get_window_attributes_reply_t* a =
                xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, w), nullptr);
            viewable = a && a->map_state == XCB_MAP_STATE_VIEWABLE;
            std::free(a);
        }
        xcb_destroy_window(c_, w);
        xcb_aux_sync();
        return viewable;
    }
    bool HasRootProperty(const char* name) {
        xcb_get_property_reply_t* r =
            xcb_get_property_reply(c_, xcb_get_property(c_, 0, root_, Atom(name), XCB_ATOM_ANY, 0, 1), nullptr);
        const bool has = r && r->type != XCB_NONE;
        std::free(r);
        return has;
    }
    // What a window manager leaves on the root window, gone with it.
    void ForgetWindowManager() {
        for (const char* name : {"_NET_SUPPORTING_WM_CHECK", "_NET_SUPPORTED", "_NET_ACTIVE_WINDOW"})
            xcb_delete_property(c_, root_, Atom(name));
        xcb_aux_sync();
    }
    void PressKey(xcb_keysym_t keysym, bool down) {
        const xcb_setup_t* setup = xcb_get_setup(c_);
        xcb_get_keyboard_mapping_reply_t* map = xcb_get_keyboard_mapping_reply(
            c_, xcb_get_keyboard_mapping(c_, setup->min_keycode, setup->max_keycode - setup->min_keycode + 1), nullptr);
        ASSERT_NE(map, nullptr);
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
        for (int i = 0; i * map->keysyms_per_keycode < xcb_get_keyboard_mapping_keysyms_length(map); ++i) {
            if (syms[i * map->keysyms_per_keycode] != keysym) continue;
            xcb_test_fake_input(c_, down ? XCB_KEY_PRESS : XCB_KEY_RELEASE,
                                static_cast<uint8_t>(setup->min_keycode + i), XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
            break;
        }
        std::free(map);
        xcb_aux_sync();
    }

private:
    void xcb_aux_sync() { std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr)); }

    xcb_connection_t* c_;
    xcb_window_t root_ = 0;
};

constexpr xcb_keysym_t kShiftL = 0xFFE1;

// UTF-8 text as the desktop holds it, through the clipboard's CP932 form and
// the run's width folding, back to UTF-8: what the new document must hold.
Bytes Converted(const Bytes& utf8, ConversionPlan folding) {
    folding.input = ShiftJis;
    folding.output = ShiftJis;
    return Expected(Expected(Expected(utf8, {Utf8, ShiftJis}), folding), {ShiftJis, Utf8});
}

ConversionPlan KanaToFull() { ConversionPlan p; p.convertKana = true; p.kanaToHalf = false; return p; }
ConversionPlan KanaToHalf() { ConversionPlan p; p.convertKana = true; p.kanaToHalf = true; return p; }
ConversionPlan AlnumToFull() { ConversionPlan p; p.convertAlnum = true; p.alnumToHalf = false; return p; }

class EditorExchange : public ScratchDir, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (display == nullptr || *display == '\0') GTEST_SKIP() << "no X server (run under xvfb-run)";
        ScratchDir::SetUp();
        ASSERT_TRUE(x_.Usable());
        x_.ForgetWindowManager();
        if (UnderWindowManager()) {
            if (std::system("command -v openbox >/dev/null") != 0) GTEST_SKIP() << "openbox is not installed";
            windowManager_ = Start({"openbox", "--sm-disable"}, "openbox");
            ASSERT_TRUE(WaitFor([&] { return x_.HasRootProperty("_NET_SUPPORTING_WM_CHECK") && x_.ManagesWindows(); }));
        }
    }
    void TearDown() override {
        for (pid_t pid : editors_) Stop(pid);
        if (windowManager_ > 0) Stop(windowManager_);
        x_.ForgetWindowManager();
        ScratchDir::TearDown();
    }
    bool UnderWindowManager() const { return GetParam(); }

    // Starts a program with the test's display (or none), its output in
    // NAME.out and NAME.err.
    pid_t Start(const std::vector<std::string>& args, const std::string& name, bool withDisplay = true) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int out = ::open(P(name + ".out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = ::open(P(name + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int in = ::open("/dev/null", O_RDONLY);
            ::dup2(in, 0);
            ::dup2(out, 1);
            ::dup2(err, 2);
            if (::chdir(dir_.c_str()) != 0) ::_exit(127);
            ::setenv("HOME", dir_.c_str(), 1);
            ::setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
            ::setenv("LANG", "C.UTF-8", 1);
            ::unsetenv("LC_ALL");
            ::unsetenv("WAYLAND_DISPLAY");
            if (!withDisplay) ::unsetenv("DISPLAY");
            std::vector<char*> argv;
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execvp(argv[0], argv.data());
            ::_exit(127);
        }
        return pid;
    }
    void Stop(pid_t pid) {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    }
    template <typename Condition>
    bool WaitFor(Condition done) {
        for (auto end = std::chrono::steady_clock::now() + kHang; std::chrono::steady_clock::now() < end;) {
            if (done()) return true;
            std::this_thread::sleep_for(10ms);
        }
        return done();
    }

    // An editor over `text`, with its options; the id of its window.
    std::string StartEditor(const Bytes& text, std::vector<std::string> options = {}) {
        const std::string name = "editor" + std::to_string(editorsStarted_++);
        const std::string prefix = P(name);
        WriteFile(prefix + ".text", text);
        std::vector<std::string> args = {EDITOR_WINDOW, prefix, "--text=" + prefix + ".text"};
        args.insert(args.end(), options.begin(), options.end());
        editors_.push_back(Start(args, name));
        prefix_ = prefix;
        EXPECT_TRUE(WaitFor([&] { return Exists(prefix + ".id"); }));
        return ReadFile(prefix + ".id");
    }
    // The last editor's documents and the chords it received.
    Bytes Document(int n) const { return ReadFile(prefix_ + ".doc" + std::to_string(n)); }
    Bytes Chords() const { return ReadFile(prefix_ + ".log"); }
    bool HasDocument(int n) const { return Exists(prefix_ + ".doc" + std::to_string(n)); }

    // Runs the program; its exit status (-1 when it had to be killed) and
    // standard error.
    RunResult RunMorvel(const std::vector<std::string>& args, bool withDisplay = true) {
        std::vector<std::string> argv = {MORVEL_BINARY};
        argv.insert(argv.end(), args.begin(), args.end());
        const pid_t pid = Start(argv, "morvel", withDisplay);
        RunResult r;
        int wstatus = 0;
        const bool ended = WaitFor([&] { return ::waitpid(pid, &wstatus, WNOHANG) == pid; });
        if (!ended) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &wstatus, 0);
        }
        r.status = ended && WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
        r.err = ReadFile(P("morvel.err"));
        return r;
    }

    TestDisplay x_;
    pid_t windowManager_ = -1;
    std::vector<pid_t> editors_;
    int editorsStarted_ = 0;
    std::string prefix_;
};

// The editor's text: a kanji on either side keeps detection on Shift-JIS.
const Bytes kDocument = "前 ｶﾀｶﾅ ABC 後\n";

TEST_P(EditorExchange, TheResultLandsInANewDocument) {
    const struct Case {
        const char* name;
        Bytes text;
        Bytes selection;  // a part of the text; none: the whole document is taken
        std::vector<std::string> options, switches;
        ConversionPlan folding;
        Bytes chords;
        bool holdShift = false;
        bool active = false;  // --editor=active instead of the window id
    } cases[] = {
        {"selection", kDocument, "ｶﾀｶﾅ ABC 後", {}, {"/K"}, KanaToFull(), "CCNV"},
        // The start-up check and the run each copy; with nothing selected
        // the first copy yields nothing, and Ctrl+A selects the document.
        {"no selection", "ＡＢＣ abc 123 テキスト\n", "", {}, {"/N"}, AlnumToFull(), "CACCNV"},
        {"a new window for the new document", "全角 カタカナ ABC\n", "カタカナ ABC", {"--new-window"}, {"/k"},
         KanaToHalf(), "CCNV"},
        {"Shift held by the user", kDocument, "ｶﾀｶﾅ ABC 後", {}, {"/K"}, KanaToFull(), "CCNV", true},
        {"the active window", kDocument, "", {}, {"/K"}, KanaToFull(), "CACCNV", false, true},
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
            ASSERT_TRUE(WaitFor([&] { return std::to_string(x_.ActiveWindow()) == window; }));
        }
        std::vector<std::string> args = c.switches;
        args.push_back("/c");
        args.push_back(c.active ? "--editor=active" : window);
        if (c.holdShift) x_.PressKey(kShiftL, true);
        const RunResult r = RunMorvel(args);
        if (c.holdShift) x_.PressKey(kShiftL, false);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        ASSERT_TRUE(WaitFor([&] { return Chords().size() >= c.chords.size(); })) << Chords();
        EXPECT_EQ(Chords(), c.chords);
        const Bytes taken = c.selection.empty() ? c.text : c.selection;
        EXPECT_EQ(Document(0), c.text);
        EXPECT_EQ(Document(1), Converted(taken, c.folding));
        EXPECT_FALSE(HasDocument(2));
    }
}

TEST_P(EditorExchange, BadWindows) {
    // A window that existed and is gone, and an id no window can have.
    StartEditor(kDocument);
    const std::string gone = ReadFile(prefix_ + ".id");
    Stop(editors_.back());
    editors_.pop_back();
    char goneHex[16];
    std::snprintf(goneHex, sizeof goneHex, "%X", static_cast<unsigned>(std::stoul(gone)));
    for (const auto& [arg, shown] : {std::pair<std::string, std::string>{gone, goneHex}, {"0x7fffffff", "7FFFFFFF"}}) {
        const RunResult r = RunMorvel({"/c", arg});
        EXPECT_EQ(r.status, 1) << arg;
        EXPECT_EQ(r.err, "morvel: Bad Handle was found " + shown + "\n");
    }

    // A window that goes away during the exchange (at Ctrl+A): no text.
    StartEditor(kDocument, {"--vanish-on=a"});
    RunResult r = RunMorvel({"/c", ReadFile(prefix_ + ".id")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Chords(), "C");
    EXPECT_FALSE(HasDocument(1));

    // --editor=active with no active window, and with no display at all.
    if (!UnderWindowManager()) {
        const std::string message =
            "morvel: --editor=active: the desktop has no active window to take as the editor's "
            "(no desktop session, or no window is active)\n";
        for (bool withDisplay : {true, false}) {
            r = RunMorvel({"--editor=active", "/c"}, withDisplay);
            EXPECT_EQ(r.status, 2);
            EXPECT_EQ(r.err, message);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(WindowManager, EditorExchange, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Openbox" : "None"; });

}  // namespace
}  // namespace morvel::test
