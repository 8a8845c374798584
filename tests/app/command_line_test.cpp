// The command line, case by case (the two-step reading of switches, window
// handles and file names; the width switches and plain runs are run end to
// end by the run test), and the texts it leads to: the string table, the
// interface language and the filling of placeholders.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "app/command_line.h"
#include "app/strings.h"

namespace morvel {
namespace {

// The settings a parse leaves, in the order of Fields, and the long option
// it answers.
struct E {
    EncodingId input = AutoDetect, output = ShiftJis;
    int kana = 0, kanaToHalf = 0, alnum = 0, alnumToHalf = 0, clipboard = 0;
    uint32_t window = 0;
    int active = 0;
    std::string inputPath = "", outputPath = "";
    int pathCount = 0;
    LongOptionRequest::Kind request = LongOptionRequest::kNone;
    std::string option = "";
};

// Compared at once (gtest prints both tuples).
auto Fields(const CAppCommandLineInfo& i) {
    return std::tuple(i.m_inputMode, i.m_outputMode, i.m_convertKana, i.m_kanaToHalf, i.m_convertAlnum,
                      i.m_alnumToHalf, i.m_clipboardRun, i.m_editorWindow, i.m_editorActive, i.m_inputPath,
                      i.m_outputPath, i.m_pathCount);
}
auto Fields(const E& e) {
    return std::tuple(e.input, e.output, e.kana, e.kanaToHalf, e.alnum, e.alnumToHalf, e.clipboard, e.window,
                      e.active, e.inputPath, e.outputPath, e.pathCount);
}

E Modes(EncodingId in, EncodingId out) { return {.input = in, .output = out}; }
E Window(uint32_t w, int active = 0) { return {.window = w, .active = active}; }
E Paths(std::string in, std::string out, int count, EncodingId from = AutoDetect, EncodingId to = ShiftJis,
        uint32_t window = 0) {
    return {.input = from, .output = to, .window = window, .inputPath = in, .outputPath = out, .pathCount = count};
}
E Long(LongOptionRequest::Kind request, std::string option = "", E e = {}) {
    e.request = request;
    e.option = option;
    return e;
}

TEST(CommandLine, EveryCase) {
    using enum LongOptionRequest::Kind;
    const struct {
        std::vector<std::string> args;
        E expected;
    } cases[] = {
        {{}, {}},
        {{"/S", "/E"}, Modes(EucJp, ShiftJis)},
        {{"/ME"}, Modes(AutoDetect, ShiftJis)},
        {{"/SE", "/m"}, Modes(AutoDetect, ShiftJis)},
        {{"/auto"}, Modes(AutoDetect, Unicode)},
        {{"/C"}, {}},
        {{"/c"}, {.clipboard = 1}},
        {{"-sj"}, Modes(ShiftJis, Jis)},
        {{"/Tu"}, Modes(Utf8, Unicode)},
        {{"/uT"}, Modes(Unicode, Utf8)},
        {{"/jex"}, Modes(Jis, EucJp)},
        {{"/ES", "/?", "/H", "/h", "/Xz"}, Modes(EucJp, ShiftJis)},
        {{"/?e"}, Modes(AutoDetect, EucJp)},  // the second letter counts after any first
        {{"/"}, {}},
        {{"-"}, {}},
        {{"0xffffFFFF"}, Window(0xFFFFFFFFu)},
        {{"0X1F"}, Paths("0X1F", "", 1)},
        {{"0x"}, Window(0)},
        {{"123", "0x"}, Window(0)},
        {{"123", ""}, Window(0)},
        {{"0x1G"}, Paths("0x1G", "", 1)},
        {{"12a"}, Paths("12a", "", 1)},
        {{"4294967297"}, Window(1)},
        {{"0x100000001"}, Window(1)},
        {{"a.txt", "b.txt", "c.txt"}, Paths("a.txt", "c.txt", 3)},
        {{"a.txt", "5", "b.txt"}, Paths("a.txt", "b.txt", 2, AutoDetect, ShiftJis, 5)},
        // Absolute paths are paths, not switches; one slash alone is a switch.
        {{"/EU", "/home/user/a.txt", "/tmp/b", "/T"}, Paths("/home/user/a.txt", "/tmp/b", 2, Utf8, Unicode)},
        {{"/EU", "/home/user/a.txt", "/tmp/b", "/ET"}, Paths("/home/user/a.txt", "/tmp/b", 2, EucJp, Utf8)},
        {{"/tmp/"}, Paths("/tmp/", "", 1)},
        // --editor=active against a window handle: the later one counts.
        {{"--editor=active", "/c"}, {.clipboard = 1, .active = 1}},
        {{"--editor=active", "123"}, Window(123, 0)},
        {{"123", "--editor=active"}, Window(123, 1)},
        {{"--editor=active", ""}, Window(0, 0)},
        // Long options: the first one counts, and the switches around it are read.
        {{"/SE", "--version", "--help"}, Long(kVersion, "", Modes(ShiftJis, EucJp))},
        {{"--frobnicate", "--help"}, Long(kUnknown, "--frobnicate")},
        {{"--"}, Long(kUnknown, "--")},
        {{"-h"}, {}},
        {{"--editor=active", "--help"}, Long(kHelp, "", {.active = 1})},
        {{"--editor=active", "--frobnicate"}, Long(kUnknown, "--frobnicate", {.active = 1})},
        {{"--editor=window"}, Long(kUnknown, "--editor=window")},
        {{"--editor"}, Long(kUnknown, "--editor")},
        {{"--editor=Active"}, Long(kUnknown, "--editor=Active")},
    };
    for (const auto& c : cases) {
        std::string name;
        for (const std::string& a : c.args) name += "[" + a + "]";
        CAppCommandLineInfo info;
        const LongOptionRequest request = ParseCommandLine(c.args, info);
        EXPECT_EQ(std::tie(request.kind, request.option), std::tie(c.expected.request, c.expected.option)) << name;
        EXPECT_EQ(Fields(info), Fields(c.expected)) << name;
    }
}

TEST(Strings, TableIsCompleteInBothLanguages) {
    for (int id = 101; id <= 129; ++id) {
        for (Language lang : {Language::kEnglish, Language::kJapanese}) {
            ASSERT_NE(LoadString(id, lang), nullptr) << id;
            EXPECT_NE(LoadString(id, lang)[0], '\0') << id;
        }
    }
    EXPECT_EQ(LoadString(100, Language::kEnglish), nullptr);
    EXPECT_EQ(LoadString(130, Language::kJapanese), nullptr);
    // Half-width katakana in 101 stay half-width.
    EXPECT_NE(std::string(LoadString(101, Language::kJapanese)).find("\xEF\xBE\x8A\xEF\xBE\x9E"), std::string::npos);
}

TEST(Strings, FormatSubstitutesArgumentsVerbatim) {
    const struct {
        std::string format, expected;
    } cases[] = {
        {"Bad Handle was found %X", "Bad Handle was found /tmp/%s%n%d"},  // a string stays a string
        {"100%% %s", "100% /tmp/%s%n%d"},
        {"%s %d %s", "/tmp/%s%n%d 2 "},  // a missing argument is left out
        {"tail %", "tail %"},
        {"%q", "%q"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatText(c.format, {"/tmp/%s%n%d", 2}), c.expected) << c.format;
    EXPECT_EQ(FormatText("%X|%d", {uint32_t{0xDEADBEEF}, -5}), "DEADBEEF|-5");
}

TEST(Strings, InterfaceLanguageFromEnvironment) {
    const char* names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    const struct {
        const char* values[3];  // of the names, nullptr: unset
        Language expected;
    } cases[] = {
        {{nullptr, nullptr, nullptr}, Language::kEnglish},
        {{"", "", "ja_JP.UTF-8"}, Language::kJapanese},
        {{nullptr, "C", "ja_JP.UTF-8"}, Language::kEnglish},
        {{"ja", "C", "C"}, Language::kJapanese},
        {{"de_DE.UTF-8", nullptr, "ja_JP.UTF-8"}, Language::kEnglish},
        {{nullptr, nullptr, "jA_JP"}, Language::kEnglish},
    };
    for (const auto& c : cases) {
        for (int i = 0; i < 3; ++i) c.values[i] ? ::setenv(names[i], c.values[i], 1) : ::unsetenv(names[i]);
        EXPECT_EQ(InterfaceLanguage(), c.expected) << (c.values[2] ? c.values[2] : "-");
    }
}

}  // namespace
}  // namespace morvel
