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
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/engine.h"

namespace morvel::test {

using Bytes = std::string;  // file contents, byte for byte

struct RunResult {
    int status = -1;  // exit status, or -1 when the program did not exit
    Bytes out, err;
};

struct RunOptions {
    std::string lang = "C.UTF-8";
    Bytes stdinPipe;          // fed through a pipe
    long fileSizeLimit = -1;  // RLIMIT_FSIZE for the child, SIGXFSZ ignored
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

    RunResult Run(const std::vector<std::string>& args, const RunOptions& options = {}) {
        const std::string outPath = P(".stdout"), errPath = P(".stderr");
        int in[2];
        if (::pipe(in) != 0) return {};
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(in[0], 0);
            ::close(in[0]);
            ::close(in[1]);
            const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(out, 1);
            ::dup2(err, 2);
            if (options.fileSizeLimit >= 0) {
                std::signal(SIGXFSZ, SIG_IGN);
                const struct rlimit lim = {static_cast<rlim_t>(options.fileSizeLimit),
                                           static_cast<rlim_t>(options.fileSizeLimit)};
                ::setrlimit(RLIMIT_FSIZE, &lim);
            }
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
        int wstatus = 0;
        ::waitpid(pid, &wstatus, 0);
        RunResult result;
        result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
        result.out = ReadFile(outPath);
        result.err = ReadFile(errPath);
        ::unlink(outPath.c_str());
        ::unlink(errPath.c_str());
        return result;
    }

    std::string dir_;
};

// The engine's own forms of a Shift-JIS text in each encoding, as files hold
// them: no trailing zero bytes.
inline Bytes FromStream(const CByteStream& s) {
    Bytes b(reinterpret_cast<const char*>(s.Data()), static_cast<size_t>(s.Size()));
    for (int i = 0; i < 2 && !b.empty() && b.back() == '\0'; ++i) b.pop_back();
    return b;
}

inline void ToStream(const Bytes& b, CByteStream& s, int zeros) {
    s.Clear();
    for (char c : b) s.Append(static_cast<uint8_t>(c));
    for (int i = 0; i < zeros; ++i) s.Append(0);
    s.SetReadPos(0);
}

inline Bytes EncodeSjis(const Bytes& sjis, EncodingId mode) {
    CByteStream src, dst;
    ToStream(sjis, src, 1);
    switch (mode) {
        case Jis: SjisToJis(src, dst); break;
        case EucJp: SjisToEuc(src, dst); break;
        case Unicode: SjisToUtf16Output(src, dst); break;
        case Utf8: SjisToUtf8Output(src, dst); break;
        default: return sjis;
    }
    return FromStream(dst);
}

inline Bytes DecodeToSjis(const Bytes& text, EncodingId mode) {
    CByteStream src, dst;
    ToStream(text, src, mode == Unicode ? 2 : 1);
    switch (mode) {
        case Jis: JisToSjis(src, dst); break;
        case EucJp: EucToSjis(src, dst); break;
        case Unicode: Utf16InputToSjis(src, dst); break;
        case Utf8: Utf8InputToSjis(src, dst); break;
        default: return text;
    }
    return FromStream(dst);
}

}  // namespace morvel::test
