// Usage and version texts, and the notice for a start that needs the dialog.
#pragma once

#include <string>

#include "app/strings.h"

namespace morvel {

std::string UsageText(Language language);
std::string UnknownOptionText(const std::string& option, Language language);
std::string NoDialogText(Language language);
std::string VersionText();

}  // namespace morvel
