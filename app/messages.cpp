#include "app/messages.h"

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

void CStderrMessages::Print(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), out_);
    std::fflush(out_);
}

void CStderrMessages::Diagnose(const std::string& text) { WriteLine(err_, text); }

}  // namespace morvel
