#include "app/desktop_editor.h"

#include "app/desktop/desktop_module.h"
#include "app/desktop_loader.h"

namespace morvel {

bool CDesktopEditor::IsWindow(uint32_t window) {
    const MorvelDesktop* d = DesktopModule();
    return d != nullptr && d->editor_is_window(window) != 0;
}

void CDesktopEditor::SendCommand(uint32_t window, int command) {
    if (const MorvelDesktop* d = DesktopModule()) d->editor_send_command(window, command);
}

uint32_t CDesktopEditor::ActiveWindow() {
    const MorvelDesktop* d = DesktopModule();
    return d != nullptr ? d->editor_active_window() : 0;
}

}  // namespace morvel
