// The recent-file lists over a real profile file: moving to the top, the
// section written whole, every other byte of the file kept, and files that
// cannot be read or are not files at all.
#include <algorithm>

#include "app/profile.h"
#include "app/recent_file_list.h"
#include "tests/app/run_helpers.h"

namespace morvel::test {
namespace {

using Values = std::vector<std::string>;

// Runs `body` in a forked child: its return value is the exit status, 99
// when an exception escaped it, -1 when the child did not exit.
template <class Body>
int InChild(Body body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        int status = 99;
        try {
            status = body();
        } catch (...) {
        }
        ::_exit(status);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -2;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Leaves `spare` bytes of address space to the process beyond what it uses.
bool LimitAddressSpace(rlim_t spare) {
    const long pages = std::atol(ReadFile("/proc/self/statm").c_str());  // the first number: all pages
    const rlim_t limit = static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + spare;
    const struct rlimit lim = {limit, limit};
    return pages > 0 && ::setrlimit(RLIMIT_AS, &lim) == 0;
}

// A profile at `path` and its list of the section, read.
struct Mru {
    explicit Mru(const std::string& path, const char* section = "MRU Open")
        : profile(path), list(profile, 0, section, "%d ", 4, 30) { list.ReadList(); }
    Values Get() const { return {list[0], list[1], list[2], list[3]}; }
    CProfile profile;
    CRecentFileList list;
};

class ProfileTest : public ScratchDir {
protected:
    void SetUp() override {
        ScratchDir::SetUp();
        path_ = P("sub/morvel.ini");
    }
    void Put(const std::string& text) {
        Shell("rm -rf '" + P("sub") + "' && mkdir -p '" + P("sub") + "'");
        WriteFile(path_, text);
    }
    std::string path_;
};

TEST_F(ProfileTest, AddMovesToTopAndWritesSectionWhole) {
    Mru mru(path_);
    EXPECT_EQ(mru.Get(), Values(4));

    const struct {
        std::string add;
        Values after;
    } steps[] = {
        {"/a.txt", {"/a.txt", "", "", ""}},
        {"/b.txt", {"/b.txt", "/a.txt", "", ""}},
        {"/a.txt", {"/a.txt", "/b.txt", "", ""}},
        {"/A.txt", {"/A.txt", "/a.txt", "/b.txt", ""}},  // case matters
        {"/c", {"/c", "/A.txt", "/a.txt", "/b.txt"}},
        {"/d", {"/d", "/c", "/A.txt", "/a.txt"}},        // /b.txt drops out
        {"/a.txt", {"/a.txt", "/d", "/c", "/A.txt"}},    // a match in the last place
        {"/x/./y/../z//w", {"/x/z/w", "/a.txt", "/d", "/c"}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.add);
        ASSERT_TRUE(mru.list.Add(step.add));
        mru.list.WriteList();
        EXPECT_EQ(mru.Get(), step.after);
        EXPECT_EQ(Mru(path_).Get(), step.after);
    }
    EXPECT_EQ(ReadFile(path_), "[MRU Open]\n1 =/x/z/w\n2 =/a.txt\n3 =/d\n4 =/c\n\n");
    struct stat st;
    ASSERT_EQ(::stat(P("sub").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // Paths that cannot be listed leave the list alone. (A relative path is
    // made absolute: the run test's profile shows it.)
    for (const std::string& bad : {std::string(""), std::string("/a\nb"), std::string("/a\rb"),
                                   std::string(4096, 'x'), "/" + std::string(4095, 'y')}) {
        EXPECT_FALSE(mru.list.Add(bad));
        EXPECT_EQ(mru.Get(), steps[std::size(steps) - 1].after);
    }
}

// Each file is `before` + `section` + `after`; adding "/fresh" to the list
// read from it, with 8 MiB of address space to spare whatever the file's
// size, must leave `before` + `written` + `after`, byte for byte, and
// writing the same list again must leave the file alone.
TEST_F(ProfileTest, EveryOtherByteIsKept) {
    std::string binary;  // NUL, CR, LF, '[', ']', '=' and invalid UTF-8
    for (int i = 0; i < 256; ++i) binary += static_cast<char>(i);
    std::string big = "[Big]\r\nk=" + std::string(70000, 'v') + "\r\n" + std::string(70000, ' ') +
                      "[MRU Open]\r\n1 =/hidden\r\n";  // too long to be a header
    for (int i = 0; i < 70000; ++i) big.append("n").append(std::to_string(i)).append("=v\r\n");
    std::string many = "[MRU Open]\n";
    for (int i = 0; i < 20000; ++i) many += std::to_string(i) + " =/p" + std::to_string(i) + "\n";
    const struct {
        std::string name, before, section, after;
        Values reads;
        std::string written;
    } cases[] = {
        {"CRLF, comments, a second section of the name", "; comment\r\n[Other]\r\nkey=value\r\n",
         "[MRU Open]\r\n  2   =/two\r\n1 =/first\r\n1 =/second\r\n; note\r\n\r\n", "[Tail]\nx=y\n[MRU Open]\n3 =/dup\n",
         {"/first", "/two"}, "[MRU Open]\r\n1 =/fresh\r\n2 =/first\r\n3 =/two\r\n\r\n"},
        {"binary", binary + "\n", "[MRU Open]\n1 =/ok\n", "[B]\n" + binary, {"/ok"},
         "[MRU Open]\n1 =/fresh\n2 =/ok\n\n"},
        {"long lines, 140,000 lines", big, "[MRU Open]\r\n1 =/late\r\n", "[Z]\r\nz=" + std::string(70000, 'w'),
         {"/late"}, "[MRU Open]\r\n1 =/fresh\r\n2 =/late\r\n\r\n"},
        {"a long line in the section", "", "[MRU Open]\n1 =/" + std::string(1 << 20, 'a') + "\n2 =/b\n", "",
         {"", "/b"}, "[MRU Open]\n1 =/fresh\n3 =/b\n\n"},
        {"many entries", "", many, "", {"/p1", "/p2", "/p3", "/p4"},
         "[MRU Open]\n1 =/fresh\n2 =/p1\n3 =/p2\n4 =/p3\n\n"},
        {"4 MB of line ends first", std::string(4 << 20, '\n'), "[MRU Open]\n1 =/late\n", "", {"/late"},
         "[MRU Open]\n1 =/fresh\n2 =/late\n\n"},
        {"no line end at the end", "", "[MRU Open]\n1 =/end", "", {"/end"}, "[MRU Open]\n1 =/fresh\n2 =/end\n\n"},
        {"malformed lines", "", "[MRU Open]\n1 /x\n[\n]\n=\n", "[Next]\nx=y\n", {}, "[MRU Open]\n1 =/fresh\n\n"},
        {"new section, CRLF file without a last line end", "[Other]\r\nx=y", "", "", {},
         "\r\n\r\n[MRU Open]\r\n1 =/fresh\r\n\r\n"},
        {"new section after a blank line", "[Other]\nx=y\n\n", "", "", {}, "[MRU Open]\n1 =/fresh\n\n"},
        {"empty file", "", "", "", {}, "[MRU Open]\n1 =/fresh\n\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Put(c.before + c.section + c.after);
        const int status = InChild([&] {
            if (!LimitAddressSpace(8 << 20)) return 10;
            Mru mru(path_);
            Values reads = c.reads;
            reads.resize(4);  // the rest empty
            if (mru.Get() != reads) return 1;
            if (!mru.list.Add("/fresh")) return 2;
            mru.list.WriteList();
            return 0;
        });
        EXPECT_EQ(status, 0) << "1: read wrong, 99: an exception escaped";
        const std::string expected = c.before + c.written + c.after, actual = ReadFile(path_);
        EXPECT_TRUE(actual == expected)
            << "differs from byte "
            << std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end()).first - expected.begin();

        struct stat before, after;
        Mru mru(path_);
        ASSERT_EQ(::stat(path_.c_str(), &before), 0);
        mru.list.WriteList();  // nothing changes: the file stays the same file
        ASSERT_EQ(::stat(path_.c_str(), &after), 0);
        EXPECT_EQ(before.st_ino, after.st_ino);
        EXPECT_EQ(ReadFile(path_).size(), expected.size());
    }
}

// A profile that is there but cannot be read, or is not a regular file,
// reads as empty and is never written over. Each case runs in a child, the
// unreadable ones as the unprivileged owner of the file, who could replace
// it (the directory is theirs to write; a 0200 file is theirs to write).
TEST_F(ProfileTest, WhatCannotBeReadIsNeverWritten) {
    const std::string original = "[Other]\r\nkeep=1\r\n[MRU Open]\r\n1 =/old\r\n";
    enum Kind { kNoPath, kUnreadable, kFifo, kDirectory };
    const struct {
        std::string name;
        Kind kind;
        mode_t mode;
    } cases[] = {
        {"no path", kNoPath, 0644},
        {"mode 0000, unprivileged", kUnreadable, 0},
        {"mode 0200, unprivileged", kUnreadable, 0200},
        {"FIFO", kFifo, 0},
        {"directory", kDirectory, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Put(original);
        if (c.kind == kUnreadable) {
            // Root acts as an ordinary user; an ordinary user is one already.
            ASSERT_TRUE(::geteuid() != 0 || ::chown(path_.c_str(), 65534, 65534) == 0);
            for (const std::string& p : {path_, dir_, P("sub")})
                ASSERT_EQ(::chmod(p.c_str(), p == path_ ? c.mode : 0777), 0);
        } else if (c.kind == kFifo || c.kind == kDirectory) {
            ASSERT_EQ(::unlink(path_.c_str()), 0);
            ASSERT_EQ(c.kind == kFifo ? ::mkfifo(path_.c_str(), 0666) : ::mkdir(path_.c_str(), 0700), 0);
        }
        const std::string path = c.kind == kNoPath ? "" : path_;
        const int status = InChild([&] {
            if (c.kind == kUnreadable && ::geteuid() == 0 &&
                (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
                 ::setresuid(65534, 65534, 65534) != 0))
                return 10;
            Mru mru(path);
            if (mru.list[0] != "") return 1;
            if (!mru.list.Add("/new")) return 2;
            mru.list.WriteList();
            if (mru.profile.WriteSection("MRU Open", {{"1 ", "/new"}})) return 3;
            return 0;
        });
        EXPECT_EQ(status, 0);
        struct stat st;
        ASSERT_EQ(::lstat(path_.c_str(), &st), 0);
        EXPECT_EQ(S_ISFIFO(st.st_mode), c.kind == kFifo);
        EXPECT_EQ(S_ISDIR(st.st_mode), c.kind == kDirectory);
        if (S_ISREG(st.st_mode)) {
            EXPECT_EQ(st.st_mode & 07777, c.mode);
            ::chmod(path_.c_str(), 0600);  // so that an ordinary user's test can read it back
            EXPECT_EQ(ReadFile(path_), original);
        }
    }
}

}  // namespace
}  // namespace morvel::test
