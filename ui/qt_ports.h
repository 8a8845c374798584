// The program's ports on a desktop session, for the dialog's program: the
// message boxes and questions as Qt message boxes, and the main dialog
// shown for a dialog pass.
#pragma once

#include <string>

#include "app/messages.h"
#include "app/ports.h"
#include "app/strings.h"

namespace morvel {

class CMainDlg;

// The program's title, the caption of its questions.
constexpr const char* kProgramTitle = "Morvel";

// Errors and warnings in a box with OK and the caption given (none of its
// own when empty); questions with Yes and No under the program's title. The
// usage and remarks still go to standard output and error.
class CQtMessages final : public IMessagePort {
public:
    explicit CQtMessages(Language language) : m_language(language) {}
    void Show(const std::string& text, const std::string& caption) override;
    bool AskYesNo(const std::string& text) override;
    int Print(const std::string& text) override { return m_stdio.Print(text); }
    void Diagnose(const std::string& text) override { m_stdio.Diagnose(text); }

private:
    Language m_language;
    CStderrMessages m_stdio;
};

// The one main dialog, built at start-up: a pass hands it the request,
// shows it modally and takes the request back as the dialog left it.
class CQtDialogPort final : public IDialogPort {
public:
    explicit CQtDialogPort(CMainDlg& dialog) : m_dialog(dialog) {}
    bool Available() const override { return true; }
    int RunDialog(ConversionRequest& request) override;

private:
    CMainDlg& m_dialog;
};

}  // namespace morvel
