// Running the built morvel binary (or another program) in a scratch
// directory: fork and exec with a controlled environment, standard output and
// error captured in files; and what the reference stages make of a text.
#pragma once

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/engine.h"
#include "engine/reference/reference.h"

namespace morvel::test {

using Bytes = std::string;  // file contents, byte for byte

struct RunResult {
    int status = -1;  // exit status, or -1 when the program did not exit
    int signal = 0;   // the signal that ended it, or 0
    Bytes out, err;
};

struct RunOptions {
    std::string lang = "C.UTF-8";
    Bytes stdinPipe;                 // fed through a pipe
    std::string stdinPath;           // or standard input opened on this file
    std::string stdoutPath;          // standard output opened on this file (O_RDWR, no truncation)
    std::string stderrPath;          // standard error opened on this file (no truncation)
    bool closeStdout = false;
    long fileSizeLimit = -1;         // RLIMIT_FSIZE for the child
    uid_t uid = 0;                   // run as this user (and group) when not 0
    std::vector<std::string> env;    // NAME=VALUE beyond HOME, XDG_CONFIG_HOME, LANG and PATH
    std::string program = MORVEL_BINARY;  // looked up in PATH when it has no slash
};

inline Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

inline int Shell(const std::string& command) { return std::system(command.c_str()); }

class ScratchDir : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/morvel-run-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override {
        ::chmod(dir_.c_str(), 0700);
        Shell("rm -rf '" + dir_ + "'");
    }
    std::string P(const std::string& name) const { return dir_ + "/" + name; }
    Bytes Profile() const { return ReadFile(P("morvel/morvel.ini")); }

    // Starts the program in the scratch directory; Finish waits for it.
    pid_t Spawn(const std::vector<std::string>& args, const RunOptions& o = {}) {
        int in[2];
        if (::pipe(in) != 0) return -1;
        const pid_t pid = ::fork();
        if (pid == 0) {
            for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ}) std::signal(sig, SIG_DFL);
            ::dup2(o.stdinPath.empty() ? in[0] : ::open(o.stdinPath.c_str(), O_RDONLY), 0);
            ::close(in[1]);
            const int create = O_WRONLY | O_CREAT | O_TRUNC;
            ::dup2(o.stdoutPath.empty() ? ::open(P(".stdout").c_str(), create, 0600)
                                        : ::open(o.stdoutPath.c_str(), O_RDWR), 1);
            ::dup2(o.stderrPath.empty() ? ::open(P(".stderr").c_str(), create, 0600)
                                        : ::open(o.stderrPath.c_str(), O_WRONLY), 2);
            if (o.closeStdout) ::close(1);
            const struct rlimit lim = {static_cast<rlim_t>(o.fileSizeLimit), static_cast<rlim_t>(o.fileSizeLimit)};
            if (o.fileSizeLimit >= 0) ::setrlimit(RLIMIT_FSIZE, &lim);
            if (o.uid != 0 && (::setgroups(0, nullptr) != 0 || ::setgid(o.uid) != 0 || ::setuid(o.uid) != 0))
                ::_exit(126);
            if (::chdir(dir_.c_str()) != 0) ::_exit(127);
            std::vector<std::string> env = {"XDG_CONFIG_HOME=" + dir_, "HOME=" + dir_, "LANG=" + o.lang,
                                            "PATH=/usr/bin:/bin"};
            env.insert(env.end(), o.env.begin(), o.env.end());
            std::vector<char*> argv = {const_cast<char*>(o.program.c_str())}, envp;
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            for (std::string& e : env) envp.push_back(e.data());
            argv.push_back(nullptr);
            envp.push_back(nullptr);
            ::execvpe(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        ::close(in[0]);
        if (!o.stdinPipe.empty()) (void)!::write(in[1], o.stdinPipe.data(), o.stdinPipe.size());
        ::close(in[1]);
        return pid;
    }

    RunResult Finish(pid_t pid) {
        int wstatus = 0;
        ::waitpid(pid, &wstatus, 0);
        RunResult result;
        result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
        result.signal = WIFSIGNALED(wstatus) ? WTERMSIG(wstatus) : 0;
        result.out = ReadFile(P(".stdout"));
        result.err = ReadFile(P(".stderr"));
        ::unlink(P(".stdout").c_str());
        ::unlink(P(".stderr").c_str());
        return result;
    }

    RunResult Run(const std::vector<std::string>& args, const RunOptions& options = {}) {
        return Finish(Spawn(args, options));
    }

    // The names in the scratch directory that `pattern` matches (grep), one
    // a line; Leftovers: those that a run may have left behind.
    std::string Names(const std::string& pattern = "") const {
        Shell("ls -A '" + dir_ + "' | grep -e '" + pattern + "' > '" + dir_ + ".names'");
        const std::string names = ReadFile(dir_ + ".names");
        ::unlink((dir_ + ".names").c_str());
        return names;
    }
    std::string Leftovers() const { return Names("morvel-"); }

    std::string dir_;
};

// What a run makes of the file `input` by `plan`: the loaded text (the
// terminator, and for UTF-16 the padding to a whole zero code unit) through
// the literal reference versions of the stages, as files hold it (without
// the trailing zero bytes).
inline Bytes Expected(const Bytes& input, const ConversionPlan& plan) {
    CByteStream s;
    for (char c : input) s.Append(static_cast<uint8_t>(c));
    s.Append(0);
    if (plan.input == Unicode)
        while (s.Size() % 2 != 0 || s.Data()[s.Size() - 2] != 0) s.Append(0);
    reference::ConvertWholeText(plan, s);
    Bytes b(reinterpret_cast<const char*>(s.Data()), static_cast<size_t>(s.Size()));
    for (int i = 0; i < 2 && !b.empty() && b.back() == '\0'; ++i) b.pop_back();
    return b;
}

inline Bytes EncodeSjis(const Bytes& sjis, EncodingId mode) { return Expected(sjis, {ShiftJis, mode}); }

}  // namespace morvel::test
