// morvel: converts Japanese text between encodings. The clipboard is the
// desktop's when a desktop session and the desktop module are there (loaded
// on first use), else it holds no text; so is the calling editor's window,
// else none exists. A start that shows the dialog goes on in the dialog's
// own program (morvel-dialog, which links Qt; this one never does) when a
// desktop session is named; without one, or without that program, the
// program says so and ends.
#include <cstring>
#include <string>
#include <vector>

#include "app/desktop_clipboard.h"
#include "app/desktop_editor.h"
#include "app/desktop_loader.h"
#include "app/file_io.h"
#include "app/headless_ports.h"
#include "app/main_app.h"
#include "app/messages.h"
#include "app/terminal_progress.h"

#include <unistd.h>

int main(int argc, char** argv) {
    // The clipboard's background server, started by the program itself.
    if (argc >= 2 && std::strcmp(argv[1], morvel::kServeClipboardOption) == 0)
        return morvel::ServeClipboard(argc, argv);
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (morvel::StartNeedsDialog(args) && morvel::DesktopSessionNamed()) {
        const std::string dialog = morvel::DialogProgramPath();
        if (!dialog.empty()) ::execv(dialog.c_str(), argv);  // returns only when it failed
    }
    morvel::PrepareFileSignals();
    morvel::CDesktopClipboard clipboard;
    morvel::CDesktopEditor editor;
    morvel::CHeadlessDialog dialog;
    morvel::CStderrMessages messages;
    morvel::CMainApp app({clipboard, editor, dialog, messages}, morvel::CProfile::DefaultPath(),
                         morvel::InterfaceLanguage());
    app.m_cmdInfo.m_activeWindowSource = [&editor] { return editor.ActiveWindow(); };
    morvel::CTerminalProgress progress;
    app.SetProgressPort(&progress);
    return app.InitInstance(args);
}
