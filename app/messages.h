// Messages on standard error: "morvel: " and the text. Questions cannot be
// answered there and count as No, so a run never waits for an answer.
#pragma once

#include <cstdio>

#include "app/ports.h"

namespace morvel {

class CStderrMessages final : public IMessagePort {
public:
    CStderrMessages(std::FILE* out = stdout, std::FILE* err = stderr) : out_(out), err_(err) {}
    void Show(const std::string& text, const std::string& caption) override;
    bool AskYesNo(const std::string& text) override;
    int Print(const std::string& text) override;
    void Diagnose(const std::string& text) override;

private:
    std::FILE* out_;
    std::FILE* err_;
};

}  // namespace morvel
