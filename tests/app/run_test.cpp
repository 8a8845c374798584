// End-to-end runs of the morvel binary: every input mode against every
// output mode, the width switches, the mark rules, files larger than a block,
// the messages with their exit statuses, the profile after each run, files
// of every kind and the command-line corners.
#include <random>

#include "tests/app/run_helpers.h"

namespace morvel::test {
namespace {

// Shift-JIS: ASCII, hiragana, kanji, half-width katakana (with a voiced
// mark), full-width symbols and a line break.
const Bytes kSample =
    "Text 123: \x82\xa0\x82\xa2\x82\xa4 \x93\xfa\x96\x7b\x8c\xea \xb6\xde\xb1\xb2 "
    "\x81\x9a\x81\xa8\x81\x75\x81\x76\r\nline 2\r\n";
const Bytes kJaNotFound =  // ファイル %sが見つからないか開けません。 around the path
    "\xE3\x81\x8C\xE8\xA6\x8B\xE3\x81\xA4\xE3\x81\x8B\xE3\x82\x89\xE3\x81\xAA\xE3\x81\x84"
    "\xE3\x81\x8B\xE9\x96\x8B\xE3\x81\x91\xE3\x81\xBE\xE3\x81\x9B\xE3\x82\x93\xE3\x80\x82\n";

using RunTest = ScratchDir;

RunOptions With(void (*set)(RunOptions&)) { RunOptions o; set(o); return o; }
const RunOptions kJapanese = With([](RunOptions& o) { o.lang = "ja_JP.UTF-8"; });

TEST_F(RunTest, FixedBytes) {
    const struct {
        std::vector<std::string> args;
        Bytes input, expected;
    } cases[] = {
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
        std::vector<std::string> args = c.args;
        SCOPED_TRACE(args[0] + (args.size() > 1 ? args[1] : "") + " " + c.input);
        args.insert(args.end(), {"in", "out"});
        WriteFile(P("in"), c.input);
        const RunResult r = Run(args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(ReadFile(P("out")), c.expected);
    }
}

// About 3 MB of Shift-JIS with the things that cross block borders badly:
// pairs, half-width katakana with marks, line ends, odd bytes.
Bytes LargeSjis(unsigned seed, size_t size) {
    static const char* const kPieces[] = {"\x88\x9f", "\x82\xa0", "\xb6\xde", "\xca\xdf", "\xb1",
                                          "\x82\x60", "\x81\x40", "\r\n",     "abc ",     "\x83\x4b",
                                          "\x81\x5b", "\x93\xfa\x96\x7b",     "\xfd",     "\x81"};
    std::mt19937 rng(seed);
    Bytes out;
    while (out.size() < size) out += kPieces[rng() % std::size(kPieces)];
    return out;
}

// Every input mode to every output mode, detection too, on the sample; and
// files larger than the blocks the run reads and converts, converted on one
// thread, and larger than the size from which two threads convert segments
// at once where the input encoding allows. The output must be the bytes of
// converting the whole text stage by stage; detection from the head alone
// finds the sample's encoding, and decides on a large file as on the whole
// text; a 0x1A far into the file ends the text there.
TEST_F(RunTest, OutputIsTheWholeTextConvertedStageByStage) {
    struct Case {
        std::vector<std::string> args;
        ConversionPlan plan;  // plan.input: the file's encoding
        int64_t end = -1;     // where a 0x1A goes in
        bool wholeDecides = false;  // the input mode as detection decides on the whole text
    };
    const struct { char letter; EncodingId id; } modes[] = {
        {'S', ShiftJis}, {'J', Jis}, {'E', EucJp}, {'U', Unicode}, {'T', Utf8}};
    std::vector<Case> everyMode;
    for (const auto& in : modes) {
        for (const auto& out : modes)
            everyMode.push_back({{std::string("/") + in.letter + out.letter}, {in.id, out.id}});
        everyMode.push_back({{"/AS"}, {in.id, ShiftJis}});
    }
    const std::vector<Case> large = {
        {{"/SE"}, {ShiftJis, EucJp}}, {{"/SJ"}, {ShiftJis, Jis}}, {{"/ST"}, {ShiftJis, Utf8}},
        {{"/SU"}, {ShiftJis, Unicode}}, {{"/ES"}, {EucJp, ShiftJis}}, {{"/JS"}, {Jis, ShiftJis}},
        {{"/TE"}, {Utf8, EucJp}}, {{"/US"}, {Unicode, ShiftJis}},
        {{"/SE"}, {Unicode, EucJp}},  // a UTF-16 file with its mark is UTF-16 even with /S
        {{"/SS", "/k", "/N"}, {ShiftJis, ShiftJis, true, true, true, false}},
        {{"/SE", "/K", "/n"}, {ShiftJis, EucJp, true, false, true, true}},
        {{"/AS"}, {EucJp, ShiftJis}, -1, true}, {{"/AS"}, {Jis, ShiftJis}, -1, true},
        {{"/AS"}, {Utf8, ShiftJis}, -1, true}, {{"/AS"}, {ShiftJis, ShiftJis}, -1, true},
        {{"/SE"}, {ShiftJis, EucJp}, 2'000'001},
    };
    for (const auto& [sjis, runs] : {std::pair{kSample, everyMode}, std::pair{LargeSjis(2, 3'000'000), large},
                                     std::pair{LargeSjis(2, 5'000'000), large}}) {
        for (const Case& r : runs) {
            std::vector<std::string> args = r.args;
            SCOPED_TRACE(args[0] + (args.size() > 1 ? args[1] : "") + " " + std::to_string(r.plan.input) + ", " +
                         std::to_string(sjis.size()) + " bytes");
            Bytes input = r.plan.input == ShiftJis ? sjis : EncodeSjis(sjis, r.plan.input);
            if (r.end >= 0) input[r.end] = 0x1A;
            WriteFile(P("in"), input);
            args.insert(args.end(), {"in", "out"});
            const RunResult result = Run(args);
            ASSERT_EQ(result.status, 0) << result.err;
            EXPECT_EQ(result.err, "");
            ConversionPlan plan = r.plan;
            if (r.wholeDecides) {
                CByteStream whole;
                for (char c : input) whole.Append(static_cast<uint8_t>(c));
                whole.Append(0);
                plan.input = DetectEncoding(whole);
            }
            const Bytes got = ReadFile(P("out")), want = Expected(input, plan);
            ASSERT_EQ(got.size(), want.size());
            EXPECT_TRUE(got == want);
        }
    }
}

// Each run puts its paths, made absolute, on top of the lists it read.
TEST_F(RunTest, ProfileAfterEachRun) {
    WriteFile(P("a.txt"), "a");
    WriteFile(P("b.txt"), "b");
    ::mkdir(P("sub").c_str(), 0700);
    EXPECT_EQ(Run({"/SE", "a.txt", "out1"}).status, 0);
    EXPECT_EQ(Run({"/SE", "./b.txt", "sub/../out2"}).status, 0);
    EXPECT_EQ(Profile(), "[MRU Open]\n1 =" + P("b.txt") + "\n2 =" + P("a.txt") + "\n\n[MRU Save]\n1 =" +
                             P("out2") + "\n2 =" + P("out1") + "\n\n");
}

TEST_F(RunTest, MessagesAndExitStatuses) {
    // A missing input is still recorded; nothing else is.
    const std::string missing = P("missing%s%n.txt");
    EXPECT_EQ(Run({"/SE", missing, "out"}).status, 1);
    EXPECT_EQ(Profile(), "[MRU Open]\n1 =" + missing + "\n\n");
    WriteFile(P("in"), "text");
    ::mkdir(P("dir").c_str(), 0700);
    const struct {
        std::vector<std::string> args;
        RunOptions options;
        int status;
        std::string err, out = "";  // err: all of standard error, or a part where it has no line end; out: a part
    } cases[] = {
        {{"/SE", missing, "out"}, {}, 1, "morvel: File " + missing + " not found \n[2]\n"},
        {{"/SE", missing, "out"}, kJapanese, 1,
         "morvel: \xE3\x83\x95\xE3\x82\xA1\xE3\x82\xA4\xE3\x83\xAB " + missing + kJaNotFound + "[2]\n"},
        {{"/SE", "in", P("no/such/dir")}, {}, 1, "morvel: File " + P("no/such/dir") + " not found \n[2]\n"},
        // Directories are cause 5, as input and as output; a full disk 13.
        {{"/SE", P("dir"), "out"}, {}, 1, "morvel: File " + P("dir") + " not found \n[5]\n"},
        {{"/SE", "in", P("dir")}, {}, 1, "morvel: File " + P("dir") + " not found \n[5]\n"},
        {{"/SE", "in", "/dev/full"}, {}, 1, "morvel: File /dev/full not found \n[13]\n"},
        // The calling editor's window does not exist.
        {{"/SE", "in", "out", "0x1f0a"}, {}, 1, "morvel: Bad Handle was found 1F0A\n"},
        {{"123"}, kJapanese, 1,
         "morvel: \xE6\xAD\xA3\xE3\x81\x97\xE3\x81\x84\xE3\x83\x8F\xE3\x83\xB3\xE3\x83\x89\xE3\x83\xAB"
         "\xE3\x81\xA7\xE3\x81\xAF\xE3\x81\x82\xE3\x82\x8A\xE3\x81\xBE\xE3\x81\x9B\xE3\x82\x93 7B\n"},
        // Control characters of a path are shown, not obeyed.
        {{"/SE", "a\x1b]0;title\x07\nmorvel: fake\x9b", "out"}, {}, 1,
         "morvel: File a\\e]0;title\\a\\nmorvel: fake\\x9B not found \n[2]\n"},
        // Usage and version that cannot be written are an error.
        {{"--help"}, With([](RunOptions& o) { o.stdoutPath = "/dev/full"; }), 1,
         "morvel: cannot write to standard output: No space left on device\n"},
        {{"--version"}, With([](RunOptions& o) { o.closeStdout = true; }), 1,
         "morvel: cannot write to standard output: Bad file descriptor\n"},
        // Starts without a direct run: the dialog needed, the clipboard missing, help, an unknown option.
        {{}, {}, 2, "(see 'morvel --help')"},
        {{"/SE", "only-input.txt"}, {}, 2, "(see 'morvel --help')"},
        {{"/c"}, {}, 1, "morvel: no clipboard is available"},
        {{"--help"}, {}, 0, "", "--version"},
        {{"--help"}, kJapanese, 0, "", "\xe4\xbd\xbf\xe3\x81\x84\xe6\x96\xb9"},  // 使い方
        {{"--version"}, {}, 0, "", "morvel " MORVEL_VERSION "\n"},
        {{"/SE", "--x\x1b[2J", "a", "b"}, {}, 2, "--x\\e[2J"},  // shown as escapes
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.err);
        const RunResult r = Run(c.args, c.options);
        EXPECT_EQ(r.status, c.status);
        const bool whole = c.err.empty() || c.err.back() == '\n';
        EXPECT_TRUE(whole ? r.err == c.err : r.err.find(c.err) != std::string::npos) << r.err;
        EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
    }
    EXPECT_FALSE(Exists(P("out")));
    EXPECT_FALSE(Exists(P("a")));
    EXPECT_EQ(Profile().find("no/such"), std::string::npos);  // an output that cannot be created
    // Controls as characters (CSI U+009B, the override U+202E) do not reach the terminal either.
    const std::string err = Run({"/SE", "b\xc2\x9b\xe2\x80\xae", "out"}).err;
    EXPECT_TRUE(err.find("\xc2\x9b") == err.npos && err.find("\xe2\x80\xae") == err.npos) << err;
    EXPECT_NE(err.find("[2]"), err.npos) << err;
}

TEST_F(RunTest, FailedWriteLeavesTheOldFileWhole) {
    WriteFile(P("out"), "old contents");
    ::chmod(P("out").c_str(), 0640);
    // Beyond the file-size limit: a message, not death by SIGXFSZ; early in
    // the run, and far into a long one, where the output is written while
    // later blocks are converted.
    for (const int64_t size : {200'000, 3'000'000}) {
        WriteFile(P("in"), Bytes(size, 'x'));
        RunOptions limited;
        limited.fileSizeLimit = size - 4096;
        const RunResult r = Run({"/SS", "in", "out"}, limited);
        EXPECT_EQ(r.signal, 0);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "morvel: File out not found \n[1]\n");
        EXPECT_EQ(ReadFile(P("out")), "old contents");
        EXPECT_EQ(Leftovers(), "");
    }
    // A good write keeps the mode of the file it replaces.
    EXPECT_EQ(Run({"/SE", "in", "out"}).status, 0);
    struct stat st;
    ASSERT_EQ(::stat(P("out").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(ReadFile(P("out")), Bytes(3'000'000, 'x'));
}

// A run stopped by a signal half way through a large file dies of that
// signal and leaves the old output whole and no new file behind.
TEST_F(RunTest, SignalsLeaveNoNewFileBehind) {
    ASSERT_EQ(::mkfifo(P("fifo").c_str(), 0600), 0);
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGKILL}) {
        SCOPED_TRACE(sig);
        WriteFile(P("out"), "old contents");
        const pid_t pid = Spawn({"/SE", "fifo", "out"});
        const int fifo = ::open(P("fifo").c_str(), O_WRONLY);
        ASSERT_GE(fifo, 0);
        // More than the head, so the output is open and being written.
        const Bytes block(1 << 20, 'a');
        ASSERT_EQ(::write(fifo, block.data(), block.size()), static_cast<ssize_t>(block.size()));
        // Wait until the new file is open (as /proc shows the descriptor).
        for (int i = 0; i < 1000; ++i) {
            if (Shell("ls -l /proc/" + std::to_string(pid) + "/fd | grep -q '" + dir_ + "/[^ ]'") == 0) break;
            ::usleep(10000);
        }
        ::kill(pid, sig);
        const RunResult r = Finish(pid);
        ::close(fifo);
        EXPECT_EQ(r.signal, sig);
        EXPECT_EQ(ReadFile(P("out")), "old contents");
        EXPECT_EQ(Leftovers(), "");
    }
}

// Replacing a file keeps what protected it: a read-only file is refused, an
// owner is kept where the process may keep it, and the set-uid and set-gid
// bits never pass to a file of another owner.
TEST_F(RunTest, ReplacingKeepsWhatProtectedTheFile) {
    if (::geteuid() != 0) GTEST_SKIP() << "acting as two users needs root";
    constexpr uid_t kUser = 65534;
    ASSERT_EQ(::chown(dir_.c_str(), kUser, kUser), 0);
    WriteFile(P("in"), "\x82\xa0");
    ASSERT_EQ(::chown(P("in").c_str(), kUser, kUser), 0);
    const struct {
        const char* what;
        uid_t runAs, ownerBefore;
        unsigned modeBefore;
        int status;
        uid_t ownerAfter;
        unsigned modeAfter;
    } cases[] = {
        {"read-only file, ordinary user", kUser, kUser, 0444, 1, kUser, 0444},
        {"user's set-uid file, root", 0, kUser, 04755, 0, kUser, 04755},
        {"root's writable set-uid file, ordinary user", kUser, 0, 06777, 0, kUser, 0777},
        {"own file, ordinary user", kUser, kUser, 0640, 0, kUser, 0640},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(P("out"), "old");
        ASSERT_EQ(::chown(P("out").c_str(), c.ownerBefore, c.ownerBefore), 0);
        ASSERT_EQ(::chmod(P("out").c_str(), c.modeBefore), 0);
        RunOptions o;
        o.uid = c.runAs;
        const RunResult r = Run({"/SE", "in", "out"}, o);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(r.err, c.status == 0 ? "" : "morvel: File out not found \n[5]\n");
        EXPECT_EQ(ReadFile(P("out")), c.status == 0 ? "\xa4\xa2" : "old");
        struct stat st;
        ASSERT_EQ(::stat(P("out").c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, c.ownerAfter);
        EXPECT_EQ(st.st_gid, c.ownerAfter);
        EXPECT_EQ(st.st_mode & 07777, c.modeAfter);
        ::unlink(P("out").c_str());
    }
}

TEST_F(RunTest, FilesOfEveryKind) {
    // A filter from standard input to standard output.
    RunResult r = Run({"/SE", "/dev/stdin", "/dev/stdout"}, With([](RunOptions& o) { o.stdinPipe = "A\x82\xa0\n"; }));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "A\xa4\xa2\n");
    EXPECT_EQ(r.err, "");

    // The same file as input and output; a symbolic link, whose target is
    // replaced while the link stays; a regular file under /dev, replaced
    // like any other, then created anew; a link to /dev/stdout, which
    // reaches the caller's standard output.
    const Bytes sjis = "\x82\xa0\x82\xa2", euc = "\xa4\xa2\xa4\xa4";
    WriteFile(P("same"), sjis);
    EXPECT_EQ(Run({"/SE", "same", "same"}).status, 0);
    EXPECT_EQ(ReadFile(P("same")), euc);
    WriteFile(P("in"), sjis);
    WriteFile(P("target"), "old");
    ASSERT_EQ(::symlink("target", P("link").c_str()), 0);
    EXPECT_EQ(Run({"/SE", "in", "link"}).status, 0);
    struct stat st;
    ASSERT_EQ(::lstat(P("link").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadFile(P("target")), euc);
    const std::string shm = "/dev/shm/morvel-test-" + std::to_string(::getpid());
    if (::access("/dev/shm", W_OK) == 0) {
        WriteFile(shm, "old contents, longer than the new");
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(Run({"/SE", "in", shm}).status, 0);
            EXPECT_EQ(ReadFile(shm), euc);
            ::unlink(shm.c_str());
        }
    }
    ASSERT_EQ(::symlink("/dev/stdout", P("to-stdout").c_str()), 0);
    r = Run({"/SE", "in", "to-stdout"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, euc);

    // One file as standard input and output: read whole before it is
    // written, and no byte of the old text left after a shorter one.
    Bytes big;
    while (big.size() < 3'000'000) big += "\x93\xfa\x96\x7b\x8c\xea abc\r\n";
    for (const auto& [sw, from, to] : {std::tuple{"/ST", ShiftJis, Utf8}, std::tuple{"/TS", Utf8, ShiftJis}}) {
        SCOPED_TRACE(sw);
        const Bytes before = from == ShiftJis ? big : EncodeSjis(big, Utf8);
        WriteFile(P("both"), before);
        RunOptions o;
        o.stdinPath = o.stdoutPath = P("both");
        r = Run({sw, "/dev/stdin", "/dev/stdout"}, o);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(ReadFile(P("both")) == Expected(before, {from, to}));
    }

    // Kernel files whose size the system reports as 0 or as a page are read
    // to their end.
    for (const char* kernelFile : {"/proc/version", "/sys/devices/system/cpu/online"}) {
        if (::access(kernelFile, R_OK) != 0) continue;
        r = Run({"/SS", kernelFile, "kernel"});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(ReadFile(P("kernel")), ReadFile(kernelFile)) << kernelFile;
        EXPECT_NE(ReadFile(P("kernel")), "");
    }

    // The README's first command.
    r = Run({"/ST", std::string(MORVEL_SOURCE_DIR) + "/res/samples/sample-sjis.txt", "/dev/stdout"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\xe6\xbc\xa2\xe5\xad\x97"), std::string::npos);  // 漢字
}

}  // namespace
}  // namespace morvel::test
