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

// ReadClipboard (with peek or not) and WriteClipboard, case by case: the
// clipboard's formats (and how it fails), the editor's selection and
// document, the stream holding "kept" before the call. Then the result, the
// stream, the editor's commands in order and the message; the clipboard is
// closed after each, and a peek leaves it as it was.
TEST_F(AppPortsTest, ClipboardExchangeCases) {
    enum Op { kRead, kPeek, kWrite };
    const Block old = B(std::string("old\0", 4)), kept = B("kept");
    const std::vector<int> paste = {ID_FILE_NEW, ID_EDITOR_PREPARE_PASTE, ID_EDIT_PASTE};
    auto failOpen = [](FakeClipboard& c) { c.failOpen = true; };
    const struct {
        const char* name;
        Op op;
        bool textPad;
        EncodingId inputMode;
        std::map<uint32_t, Block> formats;
        std::string selection, document;
        void (*breakIt)(FakeClipboard&);
        int result;
        Block stream;
        std::vector<int> commands;
        std::string message;
    } cases[] = {
        {"text with NULs", kRead, false, AutoDetect, {{CF_TEXT, B(std::string("abc\0\0\0\0\0\0\0\0\0\0\0\0\0", 16))}}, "",
         "", nullptr, 1, B(std::string("abc\0\0\0\0\0\0\0\0\0\0\0\0\0", 16)), {}, ""},
        {"text", kRead, false, AutoDetect, {{CF_TEXT, B("abc")}}, "", "", nullptr, 1, B(std::string("abc\0", 4)), {}, ""},
        {"no text format", kRead, false, AutoDetect, {{CF_UNICODETEXT, B("a\0")}}, "", "", nullptr, 0, kept, {}, ""},
        // Wide read: code page 1252 where every character has a byte there,
        // otherwise Shift-JIS.
        {"wide, Latin-1", kRead, false, EucJp, {{CF_UNICODETEXT, {0xA4, 0x00, 0xA2, 0x00, 0x20, 0x00, 0x00, 0x00}}}, "",
         "", nullptr, 1, {0xA4, 0xA2, 0x20, 0x00}, {}, ""},
        {"wide, euro sign", kRead, false, EucJp, {{CF_UNICODETEXT, {0xAC, 0x20, 0x41, 0x00}}}, "", "", nullptr, 1,
         {0x80, 0x41, 0x00}, {}, ""},
        {"wide, kanji", kRead, false, EucJp, {{CF_UNICODETEXT, {0xE5, 0x65, 0x41, 0x00, 0x00, 0x00}}}, "", "", nullptr, 1,
         {0x93, 0xFA, 0x41, 0x00}, {}, ""},
        {"a picture only", kRead, false, AutoDetect, {{2, B("picture")}}, "", "", nullptr, 0, kept, {}, ""},
        // TextPad mode: the clipboard emptied, then the editor's copy read.
        {"a selection", kRead, true, AutoDetect, {{CF_TEXT, old}}, "sel", "doc", nullptr, 1, B(std::string("sel\0", 4)),
         {ID_EDIT_COPY}, ""},
        {"an empty document", kRead, true, AutoDetect, {{CF_TEXT, old}}, "", "", nullptr, 0, kept,
         {ID_EDIT_COPY, ID_EDIT_SELECT_ALL, ID_EDIT_COPY}, ""},
        {"peek", kPeek, true, AutoDetect, {{CF_TEXT, old}}, "sel", "doc", nullptr, 1, old, {}, ""},
        {"peek at a picture", kPeek, true, AutoDetect, {{2, B("picture")}}, "sel", "doc", nullptr, 0, kept, {}, ""},
        // The failures: each shows its message once and the run goes on.
        {"open to read", kRead, false, AutoDetect, {{CF_TEXT, B("abc")}}, "", "", failOpen, 0, kept, {},
         "Clipboard open error 2?|"},
        {"open to empty", kRead, true, AutoDetect, {{CF_TEXT, B("abc")}}, "", "", failOpen, 0, kept, {},
         "Clipboard open error 1?|"},
        {"memory", kRead, false, AutoDetect, {{CF_TEXT, B("abc")}}, "", "", [](FakeClipboard& c) { c.throwOnGet = 1; }, 0,
         kept, {}, "Memory Exception|"},
        {"other", kRead, false, AutoDetect, {{CF_TEXT, B("abc")}}, "", "", [](FakeClipboard& c) { c.throwOnGet = 2; }, 0,
         kept, {}, "Other Exception|"},
        {"refused", kWrite, true, AutoDetect, {}, "", "", [](FakeClipboard& c) { c.failSet = true; }, 1, kept, paste,
         "Paste failed busy?|"},
        {"not opened", kWrite, true, AutoDetect, {}, "", "", failOpen, 1, kept, paste, "Cannot open the Clipboard|"},
        {"not opened, no editor", kWrite, false, AutoDetect, {}, "", "", failOpen, 1, kept, {},
         "Cannot open the Clipboard|"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        clipboard = FakeClipboard();
        clipboard.formats = c.formats;
        if (c.breakIt != nullptr) c.breakIt(clipboard);
        editor = FakeEditor(&clipboard);
        editor.selection = c.selection;
        editor.document = c.document;
        messages.shown.clear();
        CMainApp app = MakeApp(c.textPad);
        app.m_cmdInfo.m_inputMode = c.inputMode;
        CByteStream s;
        for (uint8_t b : kept) s.Append(b);
        EXPECT_EQ(c.op == kWrite ? app.WriteClipboard(s) : app.ReadClipboard(s, c.op == kPeek), c.result);
        EXPECT_EQ(Contents(s), c.stream);
        EXPECT_EQ(editor.commands, c.commands);
        EXPECT_EQ(messages.shown, c.message.empty() ? std::vector<std::string>() : std::vector<std::string>{c.message});
        if (c.op == kPeek) {
            EXPECT_EQ(clipboard.formats, c.formats);
        }
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
