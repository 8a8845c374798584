// Running the built morvel binary in a scratch directory: fork and exec with
// a controlled environment, standard output and error captured in files.
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
    Bytes stdinPipe;          // fed through a pipe
    std::string stdinPath;    // or standard input opened on this file
    std::string stdoutPath;   // standard output opened on this file (O_RDWR, no truncation)
    bool closeStdout = false;
    long fileSizeLimit = -1;  // RLIMIT_FSIZE for the child
    uid_t uid = 0;            // run as this user (and group) when not 0
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

class ScratchDir : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/morvel-run-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override {
        ::chmod(dir_.c_str(), 0700);
        const std::string cmd = "rm -rf '" + dir_ + "'";
        (void)std::system(cmd.c_str());
    }
    std::string P(const std::string& name) const { return dir_ + "/" + name; }
    Bytes Profile() const { return ReadFile(dir_ + "/morvel/morvel.ini"); }

    // Starts the binary in the scratch directory; Finish waits for it.
    pid_t Spawn(const std::vector<std::string>& args, const RunOptions& options = {}) {
        const std::string outPath = P(".stdout"), errPath = P(".stderr");
        int in[2];
        if (::pipe(in) != 0) return -1;
        const pid_t pid = ::fork();
        if (pid == 0) {
            for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ}) std::signal(sig, SIG_DFL);
            if (options.stdinPath.empty()) {
                ::dup2(in[0], 0);
            } else {
                const int f = ::open(options.stdinPath.c_str(), O_RDONLY);
                ::dup2(f, 0);
            }
            ::close(in[0]);
            ::close(in[1]);
            const int out = options.stdoutPath.empty() ? ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600)
                                                       : ::open(options.stdoutPath.c_str(), O_RDWR);
            const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(out, 1);
            ::dup2(err, 2);
            if (options.closeStdout) ::close(1);
            if (options.fileSizeLimit >= 0) {
                const struct rlimit lim = {static_cast<rlim_t>(options.fileSizeLimit),
                                           static_cast<rlim_t>(options.fileSizeLimit)};
                ::setrlimit(RLIMIT_FSIZE, &lim);
            }
            if (options.uid != 0 && (::setgroups(0, nullptr) != 0 || ::setgid(options.uid) != 0 ||
                                     ::setuid(options.uid) != 0))
                ::_exit(126);
            if (::chdir(dir_.c_str()) != 0) ::_exit(127);
            std::vector<std::string> env = {"XDG_CONFIG_HOME=" + dir_, "HOME=" + dir_, "LANG=" + options.lang,
                                            "PATH=/usr/bin:/bin"};
            std::vector<char*> argv, envp;
            static char binary[] = MORVEL_BINARY;
            argv.push_back(binary);
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            for (std::string& e : env) envp.push_back(e.data());
            envp.push_back(nullptr);
            ::execve(binary, argv.data(), envp.data());
            ::_exit(127);
        }
        ::close(in[0]);
        if (!options.stdinPipe.empty())
            (void)!::write(in[1], options.stdinPipe.data(), options.stdinPipe.size());
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

    // The names in the scratch directory that a run may have left behind.
    int Leftovers() const {
        const std::string cmd = "ls -A '" + dir_ + "' | grep -c morvel- > '" + dir_ + "/.count'";
        (void)std::system(cmd.c_str());
        return std::atoi(ReadFile(dir_ + "/.count").c_str());
    }

    std::string dir_;
};

// A Shift-JIS text in each encoding, and back, as files hold them (no
// trailing zero bytes), by the literal reference versions of the stages.
inline Bytes FromStream(const CByteStream& s) {
    Bytes b(reinterpret_cast<const char*>(s.Data()), static_cast<size_t>(s.Size()));
    for (int i = 0; i < 2 && !b.empty() && b.back() == '\0'; ++i) b.pop_back();
    return b;
}

// What a run makes of the file `input` by `plan`: the loaded text (the
// terminator, and for UTF-16 the padding to a whole zero code unit) through
// the reference stages, without the trailing zero bytes.
inline Bytes Expected(const Bytes& input, const ConversionPlan& plan) {
    CByteStream s;
    for (char c : input) s.Append(static_cast<uint8_t>(c));
    s.Append(0);
    if (plan.input == Unicode)
        while (s.Size() % 2 != 0 || s.Data()[s.Size() - 2] != 0) s.Append(0);
    reference::ConvertWholeText(plan, s);
    return FromStream(s);
}

inline Bytes EncodeSjis(const Bytes& sjis, EncodingId mode) { return Expected(sjis, {ShiftJis, mode}); }
inline Bytes DecodeToSjis(const Bytes& text, EncodingId mode) { return Expected(text, {mode, ShiftJis}); }

}  // namespace morvel::test
