#include "app/messages.h"

#include <cerrno>

namespace morvel {

namespace {

void WriteLine(std::FILE* f, const std::string& text) {
    std::string line = "morvel: " + text;
    if (line.back() != '\n') line += '\n';
    std::fwrite(line.data(), 1, line.size(), f);
    std::fflush(f);
}

}  // namespace

// The caption adds nothing on a terminal: the text says it all.
void CStderrMessages::Show(const std::string& text, const std::string& /*caption*/) { WriteLine(err_, text); }

bool CStderrMessages::AskYesNo(const std::string& text) {
    WriteLine(err_, text);
    return false;
}

int CStderrMessages::Print(const std::string& text) {
    errno = 0;
    const size_t written = std::fwrite(text.data(), 1, text.size(), out_);
    if (std::fflush(out_) != 0 || written != text.size() || std::ferror(out_)) return errno != 0 ? errno : EIO;
    return 0;
}

void CStderrMessages::Diagnose(const std::string& text) { WriteLine(err_, text); }

}  // namespace morvel
