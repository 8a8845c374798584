// The command line, case by case: every switch letter, the two-step reading,
// window handles and file names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/command_line.h"

namespace morvel {
namespace {

struct Expected {
    EncodingId input = AutoDetect;
    EncodingId output = ShiftJis;
    int convertKana = 0, kanaToHalf = 0, convertAlnum = 0, alnumToHalf = 0;
    int clipboardRun = 0;
    uint32_t window = 0;
    int editorActive = 0;
    std::string inputPath, outputPath;
    int pathCount = 0;
};

struct Case {
    std::vector<std::string> args;
    Expected expected;
};

Expected E(EncodingId in, EncodingId out) {
    Expected e;
    e.input = in;
    e.output = out;
    return e;
}
Expected Kana(int toHalf) { Expected e; e.convertKana = 1; e.kanaToHalf = toHalf; return e; }
Expected Alnum(int toHalf) { Expected e; e.convertAlnum = 1; e.alnumToHalf = toHalf; return e; }
Expected Window(uint32_t w) { Expected e; e.window = w; return e; }
Expected Active(uint32_t w, int active) { Expected e; e.window = w; e.editorActive = active; return e; }
Expected Paths(std::string in, std::string out, int count) {
    Expected e;
    e.inputPath = std::move(in);
    e.outputPath = std::move(out);
    e.pathCount = count;
    return e;
}

TEST(CommandLine, EveryCase) {
    Expected sePaths = Paths("in.txt", "out.txt", 2);
    sePaths.input = ShiftJis;
    sePaths.output = EucJp;
    Expected kJ = Kana(1);
    kJ.output = Jis;
    Expected clip;
    clip.clipboardRun = 1;
    Expected absolute = Paths("/home/user/a.txt", "/tmp/b", 2);
    absolute.input = EucJp;
    absolute.output = Utf8;

    const std::vector<Case> cases = {
        {{}, Expected{}},
        {{"/SE", "in.txt", "out.txt"}, sePaths},
        {{"/S", "/E"}, E(EucJp, ShiftJis)},
        {{"/ME"}, E(AutoDetect, ShiftJis)},
        {{"/SE", "/m"}, E(AutoDetect, ShiftJis)},
        {{"/auto"}, E(AutoDetect, Unicode)},
        {{"/K"}, Kana(0)},
        {{"/k"}, Kana(1)},
        {{"/N"}, Alnum(0)},
        {{"/n"}, Alnum(1)},
        {{"/kJ"}, kJ},
        {{"/C"}, Expected{}},
        {{"/c"}, clip},
        {{"-sj"}, E(ShiftJis, Jis)},
        {{"/Tu"}, E(Utf8, Unicode)},
        {{"/uT"}, E(Unicode, Utf8)},
        {{"/jex"}, E(Jis, EucJp)},
        {{"/ES", "/?", "/H", "/h", "/Xz"}, E(EucJp, ShiftJis)},
        {{"/?e"}, E(AutoDetect, EucJp)},  // the second letter counts after any first
        {{"/"}, Expected{}},
        {{"-"}, Expected{}},
        {{"123"}, Window(123)},
        {{"0x1F0A"}, Window(0x1F0A)},
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
        {{"a.txt", "5", "b.txt"}, [] { Expected e = Paths("a.txt", "b.txt", 2); e.window = 5; return e; }()},
        // Absolute paths are paths, not switches; one slash alone is a switch.
        {{"/EU", "/home/user/a.txt", "/tmp/b", "/T"}, [&] { Expected e = absolute; e.input = Utf8; e.output = Unicode; return e; }()},
        {{"/EU", "/home/user/a.txt", "/tmp/b", "/ET"}, absolute},
        {{"/tmp/"}, Paths("/tmp/", "", 1)},
        // --editor=active against a window handle: the later one counts.
        {{"--editor=active", "/c"}, [] { Expected e = Active(0, 1); e.clipboardRun = 1; return e; }()},
        {{"--editor=active", "123"}, Active(123, 0)},
        {{"123", "--editor=active"}, Active(123, 1)},
        {{"--editor=active", ""}, Active(0, 0)},
    };

    for (const Case& c : cases) {
        std::string name;
        for (const std::string& a : c.args) name += "[" + a + "]";
        SCOPED_TRACE(name);
        CAppCommandLineInfo info;
        const LongOptionRequest request = ParseCommandLine(c.args, info);
        EXPECT_EQ(request.kind, LongOptionRequest::kNone);
        const Expected& e = c.expected;
        EXPECT_EQ(info.m_inputMode, e.input);
        EXPECT_EQ(info.m_outputMode, e.output);
        EXPECT_EQ(info.m_convertKana, e.convertKana);
        EXPECT_EQ(info.m_kanaToHalf, e.kanaToHalf);
        EXPECT_EQ(info.m_convertAlnum, e.convertAlnum);
        EXPECT_EQ(info.m_alnumToHalf, e.alnumToHalf);
        EXPECT_EQ(info.m_clipboardRun, e.clipboardRun);
        EXPECT_EQ(info.m_editorWindow, e.window);
        EXPECT_EQ(info.m_editorActive, e.editorActive);
        EXPECT_EQ(info.m_inputPath, e.inputPath);
        EXPECT_EQ(info.m_outputPath, e.outputPath);
        EXPECT_EQ(info.m_pathCount, e.pathCount);
    }
}

TEST(CommandLine, LongOptions) {
    const struct {
        std::vector<std::string> args;
        LongOptionRequest::Kind kind;
        std::string option;
    } cases[] = {
        {{"--help"}, LongOptionRequest::kHelp, ""},
        {{"/SE", "--version", "--help"}, LongOptionRequest::kVersion, ""},
        {{"--frobnicate", "--help"}, LongOptionRequest::kUnknown, "--frobnicate"},
        {{"--"}, LongOptionRequest::kUnknown, "--"},
        {{"-h"}, LongOptionRequest::kNone, ""},
        {{"--editor=active", "--help"}, LongOptionRequest::kHelp, ""},
        {{"--editor=active", "--frobnicate"}, LongOptionRequest::kUnknown, "--frobnicate"},
        {{"--editor=window"}, LongOptionRequest::kUnknown, "--editor=window"},
        {{"--editor"}, LongOptionRequest::kUnknown, "--editor"},
        {{"--editor=Active"}, LongOptionRequest::kUnknown, "--editor=Active"},
    };
    for (const auto& c : cases) {
        CAppCommandLineInfo info;
        const LongOptionRequest request = ParseCommandLine(c.args, info);
        EXPECT_EQ(request.kind, c.kind) << c.args[0];
        EXPECT_EQ(request.option, c.option) << c.args[0];
    }
}

}  // namespace
}  // namespace morvel
