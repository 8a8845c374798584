// CMainApp over fake ports: the clipboard exchange with the editor, the wide
// read, the dialog passes with the settings a run leaves behind, and a run
// told to stop by its progress port.
#include <functional>
#include <map>
#include <new>
#include <stdexcept>

#include "app/exit_status.h"
#include "app/main_app.h"
#include "tests/app/run_helpers.h"

namespace morvel::test {
namespace {

using Block = std::vector<uint8_t>;

Block B(const std::string& s) { return Block(s.begin(), s.end()); }
Block Contents(const CByteStream& s) { return Block(s.Data(), s.Data() + s.Size()); }

struct FakeClipboard : IClipboardPort {
    bool Available() const override { return true; }
    bool Open(uint32_t) override { return open = !failOpen; }
    void Close() override { open = false; }
    bool Empty() override {
        EXPECT_TRUE(open);
        formats.clear();
        return true;
    }
    bool IsFormatAvailable(uint32_t f) override { return formats.count(f) != 0; }
    bool GetData(uint32_t f, Block& block) override {
        EXPECT_TRUE(open);
        if (throwOnGet == 1) throw std::bad_alloc();
        if (throwOnGet == 2) throw std::runtime_error("broken");
        block = formats[f];
        return true;
    }
    bool SetData(uint32_t f, const Block& block) override {
        EXPECT_TRUE(open);
        if (!failSet) formats[f] = block;
        return !failSet;
    }
    std::string LastErrorText() override { return "busy"; }

    std::map<uint32_t, Block> formats;
    bool open = false, failOpen = false, failSet = false;
    int throwOnGet = 0;  // 1 out of memory, 2 any other failure
};

// An editor whose copy puts its selection, or the whole document once it is
// selected, on the clipboard; nothing when that is empty.
struct FakeEditor : IEditorPort {
    explicit FakeEditor(FakeClipboard* c) : clipboard(c) {}
    bool IsWindow(uint32_t w) override { return w == window; }
    void SendCommand(uint32_t w, int command) override {
        EXPECT_EQ(w, window);
        commands.push_back(command);
        if (command == ID_EDIT_SELECT_ALL) allSelected = true;
        const std::string& text = allSelected ? document : selection;
        if (command == ID_EDIT_COPY && !text.empty()) clipboard->formats[CF_TEXT] = B(text + '\0');
    }
    FakeClipboard* clipboard;
    uint32_t window = 0x1234;
    std::string selection, document;
    bool allSelected = false;
    std::vector<int> commands;
};

// Each opening of the dialog takes the next step (Cancel when none is left).
struct FakeDialog : IDialogPort {
    bool Available() const override { return true; }
    int RunDialog(ConversionRequest& r) override {
        seen.push_back(r);
        return seen.size() > steps.size() ? IDCANCEL : steps[seen.size() - 1](r);
    }
    std::vector<std::function<int(ConversionRequest&)>> steps;
    std::vector<ConversionRequest> seen;
};

struct FakeMessages : IMessagePort {
    void Show(const std::string& text, const std::string& caption) override { shown.push_back(text + "|" + caption); }
    bool AskYesNo(const std::string& text) override {
        asked.push_back(text);
        return asked.size() > answers.size() || answers[asked.size() - 1];
    }
    int Print(const std::string&) override { return 0; }
    void Diagnose(const std::string& text) override { shown.push_back(text); }
    std::vector<std::string> shown, asked;
    std::vector<bool> answers;  // Yes when none is left
};

struct AppPortsTest : ScratchDir {
    // In TextPad mode the editor's window is the caller's.
    CMainApp MakeApp(bool textPad = false) {
        CMainApp app({clipboard, editor, dialog, messages}, "", Language::kEnglish);
        app.m_textPadMode = textPad;
        app.m_cmdInfo.m_editorWindow = textPad ? editor.window : 0;
        return app;
    }
    FakeClipboard clipboard;
    FakeEditor editor{&clipboard};
    FakeDialog dialog;
    FakeMessages messages;
};

TEST_F(AppPortsTest, TextPadExchangeWithNothingSelected) {
    editor.document = "\x82\xa0 abc";
    EXPECT_EQ(MakeApp().InitInstance({"/SE", "/c", "0x1234"}), kExitOk);
    EXPECT_EQ(editor.commands, (std::vector<int>{ID_EDIT_COPY, ID_EDIT_SELECT_ALL, ID_EDIT_COPY, ID_EDIT_COPY,
                                                 ID_FILE_NEW, ID_EDITOR_PREPARE_PASTE, ID_EDIT_PASTE}));
    EXPECT_EQ(clipboard.formats[CF_TEXT], B(std::string("\xa4\xa2 abc\0", 7)));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_FALSE(clipboard.open);

    // EUC-JP in the editor (iconv's form of 日本語の文章です。): the start-up
    // check warns with 106 under caption 105.
    editor = FakeEditor(&clipboard);
    editor.document = "\xc6\xfc\xcb\xdc\xb8\xec\xa4\xce\xca\xb8\xbe\xcf\xa4\xc7\xa4\xb9\xa1\xa3\r\n";
    MakeApp().InitInstance({"/c", "0x1234"});
    ASSERT_FALSE(messages.shown.empty());
    EXPECT_EQ(messages.shown[0],
              "Clipboard contains EUC code.Please set TextPad script to English or convert from file.|Warning");
}

TEST_F(AppPortsTest, ReadClipboardCases) {
    CMainApp app = MakeApp();
    CByteStream s;
    const struct {
        EncodingId inputMode;
        uint32_t format;
        Block block;
        int result;
        Block expected;
    } cases[] = {
        {AutoDetect, CF_TEXT, B(std::string("abc\0\0\0\0\0\0\0\0\0\0\0\0\0", 16)), 1,
         B(std::string("abc\0\0\0\0\0\0\0\0\0\0\0\0\0", 16))},
        {AutoDetect, CF_TEXT, B("abc"), 1, B(std::string("abc\0", 4))},
        {AutoDetect, CF_UNICODETEXT, B("a\0"), 0, {}},  // no text format: stream as it was
        // Wide read: code page 1252 where every character has a byte there.
        {EucJp, CF_UNICODETEXT, {0xA4, 0x00, 0xA2, 0x00, 0x20, 0x00, 0x00, 0x00}, 1, {0xA4, 0xA2, 0x20, 0x00}},
        {EucJp, CF_UNICODETEXT, {0xAC, 0x20, 0x41, 0x00}, 1, {0x80, 0x41, 0x00}},
        // Otherwise Shift-JIS.
        {EucJp, CF_UNICODETEXT, {0xE5, 0x65, 0x41, 0x00, 0x00, 0x00}, 1, {0x93, 0xFA, 0x41, 0x00}},
    };
    for (const auto& c : cases) {
        clipboard.formats = {{c.format, c.block}};
        app.m_cmdInfo.m_inputMode = c.inputMode;
        app.m_detectedInput = AutoDetect;
        s.Clear();
        EXPECT_EQ(app.ReadClipboard(s, false), c.result);
        EXPECT_EQ(Contents(s), c.expected);
        EXPECT_FALSE(clipboard.open);
    }
    EXPECT_TRUE(messages.shown.empty());
    clipboard.failOpen = true;
    EXPECT_EQ(app.ReadClipboard(s, false), 0);
    EXPECT_EQ(messages.shown, (std::vector<std::string>{"Clipboard open error 2?|"}));
}

// ReadClipboard in TextPad mode: what is emptied, which commands go to the
// editor in which order, and what is read.
TEST_F(AppPortsTest, TextPadReadCases) {
    const Block old = B(std::string("old\0", 4));
    const struct {
        const char* name;
        std::string selection, document;
        bool peek;
        int result;
        std::vector<int> commands;
        Block stream;  // after the read
        bool oldKept;  // the clipboard still holds the old text
    } cases[] = {
        {"a selection", "sel", "doc", false, 1, {ID_EDIT_COPY}, B(std::string("sel\0", 4)), false},
        {"nothing selected", "", "doc", false, 1, {ID_EDIT_COPY, ID_EDIT_SELECT_ALL, ID_EDIT_COPY},
         B(std::string("doc\0", 4)), false},
        {"an empty document", "", "", false, 0, {ID_EDIT_COPY, ID_EDIT_SELECT_ALL, ID_EDIT_COPY}, B("kept"), false},
        {"peek", "sel", "doc", true, 1, {}, old, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        clipboard.formats = {{CF_TEXT, old}};
        editor = FakeEditor(&clipboard);
        editor.selection = c.selection;
        editor.document = c.document;
        CByteStream s;
        for (char ch : std::string("kept")) s.Append(static_cast<uint8_t>(ch));
        EXPECT_EQ(MakeApp(true).ReadClipboard(s, c.peek), c.result);
        EXPECT_EQ(editor.commands, c.commands);
        EXPECT_EQ(Contents(s), c.stream);
        EXPECT_EQ(clipboard.formats.count(CF_TEXT) && clipboard.formats[CF_TEXT] == old, c.oldKept);
        EXPECT_FALSE(clipboard.open);
    }
    // Peek with no text, and a clipboard that holds only a picture: no text,
    // no message, nothing sent.
    for (const bool textPad : {true, false}) {
        clipboard.formats = {{2, B("picture")}};
        editor.commands.clear();
        CByteStream s;
        EXPECT_EQ(MakeApp(textPad).ReadClipboard(s, textPad), 0);
        EXPECT_TRUE(s.Empty());
        EXPECT_TRUE(editor.commands.empty());
    }
    EXPECT_TRUE(messages.shown.empty());
}

// The clipboard's failures: each shows its message once and the run goes on.
TEST_F(AppPortsTest, ClipboardFailureMessages) {
    const std::vector<int> paste = {ID_FILE_NEW, ID_EDITOR_PREPARE_PASTE, ID_EDIT_PASTE};
    const struct {
        const char* name;
        void (*breakIt)(FakeClipboard&);
        bool textPad, write;
        int result;
        std::string message;
        std::vector<int> commands;
    } cases[] = {
        {"open to empty", [](FakeClipboard& c) { c.failOpen = true; }, true, false, 0, "Clipboard open error 1?|", {}},
        {"memory", [](FakeClipboard& c) { c.throwOnGet = 1; }, false, false, 0, "Memory Exception|", {}},
        {"other", [](FakeClipboard& c) { c.throwOnGet = 2; }, false, false, 0, "Other Exception|", {}},
        {"refused", [](FakeClipboard& c) { c.failSet = true; }, true, true, 1, "Paste failed busy?|", paste},
        {"not opened", [](FakeClipboard& c) { c.failOpen = true; }, true, true, 1, "Cannot open the Clipboard|", paste},
        {"not opened, no editor", [](FakeClipboard& c) { c.failOpen = true; }, false, true, 1,
         "Cannot open the Clipboard|", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        clipboard = FakeClipboard();
        clipboard.formats[CF_TEXT] = B("abc");
        c.breakIt(clipboard);
        editor.commands.clear();
        editor.selection = "abc";
        messages.shown.clear();
        CMainApp app = MakeApp(c.textPad);
        CByteStream s;
        s.Append('x');
        s.Append(0);
        EXPECT_EQ(c.write ? app.WriteClipboard(s) : app.ReadClipboard(s, false), c.result);
        EXPECT_EQ(messages.shown, std::vector<std::string>{c.message});
        EXPECT_EQ(editor.commands, c.commands);
        EXPECT_FALSE(clipboard.open);
    }
    // An empty stream changes nothing and sends nothing, in TextPad mode too.
    clipboard = FakeClipboard();
    editor.commands.clear();
    EXPECT_EQ(MakeApp(true).WriteClipboard(CByteStream()), 0);
    EXPECT_TRUE(clipboard.formats.empty());
    EXPECT_TRUE(editor.commands.empty());
}

TEST_F(AppPortsTest, DialogPassesCarryWhatTheRunLeft) {
    // Pass 1: UTF-16 text from the clipboard to the clipboard, dialog stays.
    // Pass 2 sees the detected input and Shift-JIS output, and cancels.
    clipboard.formats[CF_TEXT] = B("\x82\xa0");
    dialog.steps = {[](ConversionRequest& r) {
        r.m_outputMode = Unicode;
        r.m_closeAfterRun = 0;
        return IDOK;
    }};
    EXPECT_EQ(MakeApp().InitInstance({}), kExitOk);
    ASSERT_EQ(dialog.seen.size(), 2u);
    EXPECT_EQ(dialog.seen[0].m_inputMode, AutoDetect);
    EXPECT_EQ(dialog.seen[0].m_inputFromClipboard, 1);
    EXPECT_EQ(dialog.seen[0].m_detectedInput, ShiftJis);
    EXPECT_EQ(dialog.seen[1].m_inputMode, ShiftJis);
    EXPECT_EQ(dialog.seen[1].m_outputMode, ShiftJis);
    EXPECT_EQ(clipboard.formats[CF_TEXT], B(std::string("\x82\xa0\0", 3)));
}

// The questions before a run: No to overwriting leads back to the dialog
// with what the user left; EUC-JP to the editor's clipboard is asked about
// even when the dialog is cancelled.
TEST_F(AppPortsTest, QuestionsBeforeARun) {
    dialog.steps = {[](ConversionRequest& r) {
                        r.m_outputPath.assign(1, '/');  // exists
                        return IDOK;
                    },
                    [](ConversionRequest& r) {
                        EXPECT_EQ(r.m_outputPath, "/");
                        return IDCANCEL;
                    }};
    messages.answers = {false};
    EXPECT_EQ(MakeApp().InitInstance({}), kExitOk);
    EXPECT_EQ(messages.asked, (std::vector<std::string>{"File / already exists.Do you over write ?"}));
    EXPECT_EQ(dialog.seen.size(), 2u);

    dialog = FakeDialog();
    messages = FakeMessages();
    editor.selection = "abc";
    dialog.steps = {[](ConversionRequest& r) {
        r.m_outputMode = EucJp;
        return IDCANCEL;
    }};
    EXPECT_EQ(MakeApp().InitInstance({"0x1234"}), kExitOk);
    EXPECT_EQ(messages.asked, (std::vector<std::string>{"Trying to output as EUC.Clipboard does nto handle EUC "
                                                        "propery.Please write into a file.Continue?"}));
    EXPECT_EQ(dialog.seen.size(), 1u);
}

// A progress port that stops the run once `stopAt` bytes have gone through.
struct FakeProgress : IProgressPort {
    bool Advance(int64_t done, int64_t total) override {
        calls.push_back({done, total});
        return stopAt < 0 || done < stopAt;
    }
    void End() override { ++ends; }
    int64_t stopAt = -1;
    std::vector<std::pair<int64_t, int64_t>> calls;
    int ends = 0;
};

// Pass 1 converts a 3 MiB file, with progress up to its size; pass 2 is
// stopped after the first MiB over an existing output, which stays as it
// was with nothing left beside it, and the dialog comes back (pass 3).
TEST_F(AppPortsTest, ProgressAndAStoppedRun) {
    const Bytes text(3 << 20, 'a');
    const int64_t size = text.size();
    WriteFile(P("in"), text);
    WriteFile(P("out2"), "old");
    FakeProgress progress;
    dialog.steps = {[&](ConversionRequest& r) {
                        r.m_inputPath = P("in");
                        r.m_outputPath = P("out1");
                        r.m_closeAfterRun = 0;
                        return IDOK;
                    },
                    [&](ConversionRequest& r) {
                        EXPECT_EQ(progress.calls.size() >= 2 ? progress.calls.back().first : 0, size);
                        EXPECT_EQ(progress.ends, 1);
                        progress.calls.clear();
                        progress.stopAt = 1 << 20;
                        r.m_outputPath = P("out2");
                        r.m_closeAfterRun = 1;
                        return IDOK;
                    }};
    CMainApp app = MakeApp();
    app.SetProgressPort(&progress);
    EXPECT_EQ(app.InitInstance({}), kExitOk);
    EXPECT_EQ(dialog.seen.size(), 3u);  // the stopped run leads back to the dialog
    ASSERT_FALSE(progress.calls.empty());
    EXPECT_EQ(progress.calls.front(), std::make_pair(int64_t(0), size));
    EXPECT_GE(progress.calls.back().first, int64_t(1) << 20);
    EXPECT_LT(progress.calls.back().first, size);
    EXPECT_EQ(progress.ends, 2);
    EXPECT_TRUE(ReadFile(P("out1")) == text);
    EXPECT_EQ(ReadFile(P("out2")), "old");
    EXPECT_EQ(Names(), "in\nout1\nout2\n");
    EXPECT_EQ(messages.asked.size(), 1u);  // out2 exists
    EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
}  // namespace morvel::test
