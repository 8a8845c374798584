#include "app/usage.h"

namespace morvel {

namespace {
#include "res/usage.inc"
}  // namespace

std::string UsageText(Language language) {
    return language == Language::kJapanese ? kUsageJapanese : kUsageEnglish;
}

std::string UnknownOptionText(const std::string& option, Language language) {
    return FormatText(language == Language::kJapanese ? kUnknownOptionJapanese : kUnknownOptionEnglish,
                      {VisibleText(option)});
}

std::string NoDialogText(Language language) {
    return language == Language::kJapanese ? kNoDialogJapanese : kNoDialogEnglish;
}

std::string NoClipboardText(Language language) {
    return language == Language::kJapanese ? kNoClipboardJapanese : kNoClipboardEnglish;
}

std::string NoActiveWindowText(Language language) {
    return language == Language::kJapanese ? kNoActiveWindowJapanese : kNoActiveWindowEnglish;
}

std::string StdoutErrorText(const std::string& reason, Language language) {
    return FormatText(language == Language::kJapanese ? kStdoutErrorJapanese : kStdoutErrorEnglish, {reason});
}

std::string VersionText() { return FormatText(kVersionText, {MORVEL_VERSION}); }

}  // namespace morvel
