// The string table (ids 101-129, English and Japanese), the choice of the
// interface language, and printf-style filling of a table text.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

namespace morvel {

enum class Language { kEnglish, kJapanese };

// Japanese when the first of LC_ALL, LC_MESSAGES, LANG that is set and not
// empty starts with "ja"; English otherwise. Reads the process environment.
Language InterfaceLanguage();

// The text of `id` in `language` (UTF-8), or nullptr when the table has none.
const char* LoadString(int id, Language language);

// One argument of FormatText: a string for %s or a number for %d and %X.
struct FormatArg {
    FormatArg(const std::string& s) : isNumber(false), text(s) {}
    FormatArg(const char* s) : isNumber(false), text(s) {}
    FormatArg(int64_t n) : isNumber(true), number(n) {}
    FormatArg(int n) : isNumber(true), number(n) {}
    FormatArg(uint32_t n) : isNumber(true), number(n) {}

    bool isNumber;
    std::string text;
    int64_t number = 0;
};

// Fills the placeholders of `format` (%s, %d, %X, %%) with the arguments in
// order. Arguments are copied as they are; only `format` is interpreted. A
// placeholder without an argument is left out; %X prints the low 32 bits.
std::string FormatText(const std::string& format, std::initializer_list<FormatArg> args);

// LoadString then FormatText; an id the table lacks gives an empty text.
std::string FormatString(int id, Language language, std::initializer_list<FormatArg> args = {});

// `text` (a path, an argument) as it may be shown inside a message: control
// characters (C0, DEL, C1, line and paragraph separators, bidirectional
// overrides) and bytes that are not UTF-8 become visible escapes ("\n",
// "\e", "\x9B", "\u202E"), so a name cannot move the cursor, retitle the
// terminal or fake a line of its own. Everything else is kept as it is.
std::string VisibleText(const std::string& text);

}  // namespace morvel
