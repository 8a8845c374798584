// morvel-dialog: started by morvel (with the same arguments) when a start
// shows the dialog; it is the only program of the package that links Qt.
#include <cstring>

#include "app/desktop_loader.h"
#include "ui/dialog_host.h"

int main(int argc, char** argv) {
    // The clipboard's background server is started as this very binary.
    if (argc >= 2 && std::strcmp(argv[1], morvel::kServeClipboardOption) == 0)
        return morvel::ServeClipboard(argc, argv);
    return morvel::RunDialogHost(argc, argv);
}
