// Usage and version texts, and the notice for a start that needs the dialog.
#pragma once

#include <string>

#include "app/strings.h"

namespace morvel {

std::string UsageText(Language language);
std::string UnknownOptionText(const std::string& option, Language language);
std::string NoDialogText(Language language);
std::string VersionText();
// The remark for a clipboard run where no clipboard can be had.
std::string NoClipboardText(Language language);
// The remark for --editor=active where the desktop has no active window.
std::string NoActiveWindowText(Language language);
// The remark for a failed write of the usage or version text; `reason` is
// the system's description of the failure.
std::string StdoutErrorText(const std::string& reason, Language language);

}  // namespace morvel
