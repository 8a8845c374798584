#include "ui/dialog_host.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>

#include <string>
#include <vector>

#include "app/desktop_clipboard.h"
#include "app/desktop_editor.h"
#include "app/file_io.h"
#include "app/headless_ports.h"
#include "app/main_app.h"
#include "app/messages.h"
#include "app/terminal_progress.h"
#include "ui/main_dlg.h"
#include "ui/progress_dialog.h"
#include "ui/qt_ports.h"

namespace morvel {

namespace {

// Qt's platform: the one the user asked for, else X11 (the desktop module's
// clipboard and editor exchange are X11's too), or Wayland first where only
// a Wayland session is named; in each case with the offscreen platform
// behind it, so that a display that cannot be reached ends in a platform
// without windows instead of an abort. Returns whether the user asked for
// the offscreen platform (for tests of the dialog).
bool ChoosePlatform() {
    QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.isEmpty())
        platform = qEnvironmentVariableIsEmpty("DISPLAY") && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
                       ? "wayland;xcb"
                       : "xcb";
    const bool askedOffscreen = platform.contains("offscreen");
    if (!askedOffscreen) platform += ";offscreen";
    qputenv("QT_QPA_PLATFORM", platform);
    return askedOffscreen;
}

}  // namespace

int RunDialogHost(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    PrepareFileSignals();
    const Language language = InterfaceLanguage();
    const bool askedOffscreen = ChoosePlatform();
    // Qt sees the program's name only: the arguments are the program's own
    // switches and files ("-style" or "-display" must not reach Qt).
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication qapp(qtArgc, qtArgv);
    QApplication::setQuitOnLastWindowClosed(false);
    CDesktopClipboard clipboard;
    CDesktopEditor editor;

    if (QGuiApplication::platformName() == QLatin1String("offscreen") && !askedOffscreen) {
        // No window can be seen: the command-line program's behaviour.
        CHeadlessDialog dialog;
        CStderrMessages messages;
        CTerminalProgress progress;
        CMainApp app({clipboard, editor, dialog, messages}, CProfile::DefaultPath(), language);
        app.m_cmdInfo.m_activeWindowSource = [&editor] { return editor.ActiveWindow(); };
        app.SetProgressPort(&progress);
        return app.InitInstance(args);
    }

    CMainDlg dialog(language, &clipboard);
    if (!dialog.m_icon.isNull()) QApplication::setWindowIcon(dialog.m_icon);
    // One notification per change of the desktop's clipboard.
    QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, &dialog, &CMainDlg::OnClipboardChanged);
    CQtDialogPort dialogPort(dialog);
    CQtMessages messages(language);
    CQtProgress progress(&dialog, language);
    CMainApp app({clipboard, editor, dialogPort, messages}, CProfile::DefaultPath(), language);
    app.m_cmdInfo.m_activeWindowSource = [&editor] { return editor.ActiveWindow(); };
    app.SetProgressPort(&progress);
    // The preview reads the clipboard without emptying it or asking the
    // editor for a copy.
    dialog.peekClipboard = [&app](CByteStream& text) { return app.ReadClipboard(text, true); };
    return app.InitInstance(args);
}

}  // namespace morvel
