// End-to-end runs of the morvel binary: every input mode against every
// output mode, the width switches, the mark rules, the messages with their
// exit statuses, the profile after each run, and the command-line corners.
#include "tests/app/run_helpers.h"

namespace morvel::test {
namespace {

// Shift-JIS: ASCII, hiragana, kanji, half-width katakana (with a voiced
// mark), full-width symbols and a line break.
const Bytes kSample =
    "Text 123: \x82\xa0\x82\xa2\x82\xa4 \x93\xfa\x96\x7b\x8c\xea \xb6\xde\xb1\xb2 "
    "\x81\x9a\x81\xa8\x81\x75\x81\x76\r\nline 2\r\n";

const struct Mode {
    char letter;
    EncodingId id;
} kModes[] = {{'S', ShiftJis}, {'J', Jis}, {'E', EucJp}, {'U', Unicode}, {'T', Utf8}};

using RunTest = ScratchDir;

RunOptions JapaneseRun() { RunOptions o; o.lang = "ja_JP.UTF-8"; return o; }
RunOptions SizeLimit(long n) { RunOptions o; o.fileSizeLimit = n; return o; }
RunOptions Stdin(const Bytes& b) { RunOptions o; o.stdinPipe = b; return o; }

TEST_F(RunTest, EveryInputModeToEveryOutputMode) {
    for (const Mode& in : kModes) {
        const Bytes input = EncodeSjis(kSample, in.id);
        const Bytes asSjis = DecodeToSjis(input, in.id);
        WriteFile(P("in"), input);
        for (const Mode& out : kModes) {
            const std::string sw = std::string("/") + in.letter + out.letter;
            SCOPED_TRACE(sw);
            const RunResult r = Run({sw, "in", "out"});
            EXPECT_EQ(r.status, 0);
            EXPECT_EQ(r.err, "");
            EXPECT_EQ(ReadFile(P("out")), EncodeSjis(asSjis, out.id));
        }
        // Detected input, Shift-JIS output.
        const RunResult r = Run({"/A", "in", "out"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(ReadFile(P("out")), asSjis) << in.letter;
    }
    // Shift-JIS, EUC-JP and UTF-8 carry every character of the sample.
    for (EncodingId mode : {EucJp, Utf8})
        EXPECT_EQ(DecodeToSjis(EncodeSjis(kSample, mode), mode), kSample);
}

TEST_F(RunTest, FixedBytes) {
    const struct {
        std::vector<std::string> args;
        Bytes input, expected;
    } cases[] = {
        {{"/SE"}, "\x82\xa0", "\xa4\xa2"},
        {{"/ST"}, "\x82\xa0 \xb1", "\xe3\x81\x82 \xef\xbd\xb1"},
        {{"/SU"}, "A\x82\xa0", Bytes("\xff\xfe" "A\0\x42\x30", 6)},
        {{"/SJ"}, "\x82\xa0", "\x1b$B$\"\x1b(B"},
        {{"/ES"}, "\xa4\xa2", "\x82\xa0"},
        {{"/TS"}, "\xe6\x97\xa5", "\x93\xfa"},
        // A text ends at its first 0x1A or 0x00.
        {{"/SE"}, Bytes("ab\x1a" "cd", 5), "ab"},
        {{"/SS"}, Bytes("ab\x1a" "cd", 5), Bytes("ab\x1a" "cd", 5)},  // no stage to end it
        {{"/SE"}, Bytes("ab\0cd", 5), "ab"},
        {{"/SS"}, "", ""},
        // Width folding.
        {{"/SS", "/K"}, "\xb1\xb2\xb6\xde", "\x83\x41\x83\x43\x83\x4b"},
        {{"/SS", "/k"}, "\x83\x41\x83\x43\x83\x4b", "\xb1\xb2\xb6\xde"},
        {{"/SS", "/N"}, "A1", "\x82\x60\x82\x50"},
        {{"/SS", "/n"}, "\x82\x60\x82\x50", "A1"},
        {{"/kE"}, "\x83\x41", "\x8e\xb1"},  // the second letter still picks the output
        {{"/SS", "/K", "/n"}, "\xb1\x82\x60", "\x83\x41" "A"},
        // Mark rules: FF FE or FE FF means UTF-16 even with /S.
        {{"/SS"}, Bytes("\xff\xfe" "A\0B\0", 6), "AB"},
        {{"/SS"}, Bytes("\xfe\xff" "A\0", 4), "A"},
        {{"/SS"}, "\xff\xfe", ""},
        {{"/SS"}, "\xff", "\xff"},
        {{"/AT"}, Bytes("\xff\xfe\x42\x30", 4), "\xe3\x81\x82"},
        {{"/ST"}, "abc", "abc"},  // UTF-8 output has no mark
        {{"/SU"}, "", "\xff\xfe"},
    };
    for (const auto& c : cases) {
        std::string name;
        for (const std::string& a : c.args) name += a + " ";
        SCOPED_TRACE(name + Bytes(c.input));
        WriteFile(P("in"), c.input);
        std::vector<std::string> args = c.args;
        args.push_back("in");
        args.push_back("out");
        const RunResult r = Run(args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(ReadFile(P("out")), c.expected);
    }
}

TEST_F(RunTest, ProfileAfterEachRun) {
    WriteFile(P("a.txt"), "a");
    WriteFile(P("b.txt"), "b");
    EXPECT_EQ(Run({"/SE", "a.txt", "out1"}).status, 0);
    EXPECT_EQ(Profile(), "[MRU Open]\n1 =" + P("a.txt") + "\n\n[MRU Save]\n1 =" + P("out1") + "\n\n");
    ::mkdir(P("sub").c_str(), 0700);
    EXPECT_EQ(Run({"/SE", "./b.txt", "sub/../out2"}).status, 0);
    EXPECT_EQ(Run({"/SE", P("a.txt"), P("out1")}).status, 0);
    EXPECT_EQ(Profile(), "[MRU Open]\n1 =" + P("a.txt") + "\n2 =" + P("b.txt") + "\n\n[MRU Save]\n1 =" +
                             P("out1") + "\n2 =" + P("out2") + "\n\n");
}

TEST_F(RunTest, MessagesAndExitStatuses) {
    const std::string missing = P("missing%s%n.txt");
    RunResult r = Run({"/SE", missing, "out"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "morvel: File " + missing + " not found \n[2]\n");
    EXPECT_EQ(Profile(), "[MRU Open]\n1 =" + missing + "\n\n");
    EXPECT_FALSE(Exists(P("out")));

    r = Run({"/SE", missing, "out"}, JapaneseRun());
    EXPECT_EQ(r.err, "morvel: \xE3\x83\x95\xE3\x82\xA1\xE3\x82\xA4\xE3\x83\xAB " + missing +
                         "\xE3\x81\x8C\xE8\xA6\x8B\xE3\x81\xA4\xE3\x81\x8B\xE3\x82\x89\xE3\x81\xAA\xE3\x81\x84"
                         "\xE3\x81\x8B\xE9\x96\x8B\xE3\x81\x91\xE3\x81\xBE\xE3\x81\x9B\xE3\x82\x93\xE3\x80\x82\n[2]\n");

    WriteFile(P("in"), "text");
    // An output that cannot be created is not recorded.
    r = Run({"/SE", "in", P("no/such/dir")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "morvel: File " + P("no/such/dir") + " not found \n[2]\n");
    EXPECT_EQ(Profile().find("MRU Save"), std::string::npos);

    // Directories are cause 5, as input and as output.
    ::mkdir(P("dir").c_str(), 0700);
    r = Run({"/SE", P("dir"), "out"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "morvel: File " + P("dir") + " not found \n[5]\n");
    r = Run({"/SE", "in", P("dir")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "morvel: File " + P("dir") + " not found \n[5]\n");

    // A full disk.
    r = Run({"/SE", "in", "/dev/full"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "morvel: File /dev/full not found \n[13]\n");

    // The calling editor's window does not exist.
    r = Run({"/SE", "in", "out", "0x1f0a"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "morvel: Bad Handle was found 1F0A\n");
    EXPECT_FALSE(Exists(P("out")));
    r = Run({"123"}, JapaneseRun());
    EXPECT_EQ(r.err, "morvel: \xE6\xAD\xA3\xE3\x81\x97\xE3\x81\x84\xE3\x83\x8F\xE3\x83\xB3\xE3\x83\x89\xE3\x83\xAB"
                     "\xE3\x81\xA7\xE3\x81\xAF\xE3\x81\x82\xE3\x82\x8A\xE3\x81\xBE\xE3\x81\x9B\xE3\x82\x93 7B\n");
}

TEST_F(RunTest, FailedWriteLeavesTheOldFileWhole) {
    WriteFile(P("in"), Bytes(200000, 'x'));
    WriteFile(P("out"), "old contents");
    ::chmod(P("out").c_str(), 0640);
    const RunResult r = Run({"/SS", "in", "out"}, SizeLimit(4096));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "morvel: File out not found \n[1]\n");
    EXPECT_EQ(ReadFile(P("out")), "old contents");
    // No half-written file is left behind.
    EXPECT_EQ(Run({"/SS", "in", "out2"}).status, 0);
    const std::string ls = "ls -A '" + dir_ + "' | grep -c morvel- > '" + P("count") + "'";
    (void)std::system(ls.c_str());
    EXPECT_EQ(ReadFile(P("count")), "0\n");
    // A good write keeps the mode of the file it replaces.
    EXPECT_EQ(Run({"/SE", "in", "out"}).status, 0);
    struct stat st;
    ASSERT_EQ(::stat(P("out").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(ReadFile(P("out")), Bytes(200000, 'x'));
}

TEST_F(RunTest, FilesOfEveryKind) {
    // A filter from standard input to standard output.
    RunResult r = Run({"/SE", "/dev/stdin", "/dev/stdout"}, Stdin("A\x82\xa0\n"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "A\xa4\xa2\n");
    EXPECT_EQ(r.err, "");

    // The same file as input and output.
    WriteFile(P("same"), "\x82\xa0\x82\xa2");
    EXPECT_EQ(Run({"/SE", "same", "same"}).status, 0);
    EXPECT_EQ(ReadFile(P("same")), "\xa4\xa2\xa4\xa4");

    // A symbolic link: the file it points to is replaced, the link stays.
    WriteFile(P("target"), "old");
    WriteFile(P("same"), "\x82\xa0\x82\xa2");
    ASSERT_EQ(::symlink("target", P("link").c_str()), 0);
    EXPECT_EQ(Run({"/SE", "same", "link"}).status, 0);
    struct stat st;
    ASSERT_EQ(::lstat(P("link").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadFile(P("target")), "\xa4\xa2\xa4\xa4");

    // The README's first command.
    r = Run({"/ST", std::string(MORVEL_SOURCE_DIR) + "/res/samples/sample-sjis.txt", "/dev/stdout"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\xe6\xbc\xa2\xe5\xad\x97"), std::string::npos);  // 漢字
}

TEST_F(RunTest, StartsWithoutADirectRun) {
    const struct {
        std::vector<std::string> args;
        int status;
        std::string outHas, errHas;
    } cases[] = {
        {{}, 2, "", "--help"},
        {{"/SE", "only-input.txt"}, 2, "", "--help"},
        {{"/c"}, 1, "", ""},  // no clipboard: nothing to convert, nothing put back
        {{"--help"}, 0, "--version", ""},
        {{"--version"}, 0, "morvel " MORVEL_VERSION "\n", ""},
        {{"/SE", "--nope", "a", "b"}, 2, "", "--nope"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "(none)" : c.args[0]);
        const RunResult r = Run(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.out.find(c.outHas), std::string::npos) << r.out;
        EXPECT_NE(r.err.find(c.errHas), std::string::npos) << r.err;
        if (c.errHas.empty()) {
            EXPECT_EQ(r.err, "");
        }
    }
    EXPECT_FALSE(Exists(P("a")));
    // The help is in the interface language.
    const RunResult ja = Run({"--help"}, JapaneseRun());
    EXPECT_NE(ja.out.find("\xe4\xbd\xbf\xe3\x81\x84\xe6\x96\xb9"), std::string::npos);  // 使い方
}

}  // namespace
}  // namespace morvel::test
