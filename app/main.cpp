// morvel: converts Japanese text between encodings. Without a desktop the
// clipboard holds no text, the editor has no window and there is no dialog.
#include <string>
#include <vector>

#include "app/file_io.h"
#include "app/headless_ports.h"
#include "app/main_app.h"
#include "app/messages.h"

int main(int argc, char** argv) {
    morvel::PrepareFileSignals();
    morvel::CHeadlessClipboard clipboard;
    morvel::CHeadlessEditor editor;
    morvel::CHeadlessDialog dialog;
    morvel::CStderrMessages messages;
    morvel::CMainApp app({clipboard, editor, dialog, messages}, morvel::CProfile::DefaultPath(),
                         morvel::InterfaceLanguage());
    return app.InitInstance(std::vector<std::string>(argv + 1, argv + argc));
}
