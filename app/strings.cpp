#include "app/strings.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace morvel {

namespace {

struct StringRow {
    int id;
    const char* english;
    const char* japanese;
};

#define MORVEL_STRING(id, english, japanese) {id, english, japanese},
constexpr StringRow kStrings[] = {
#include "res/strings.inc"
};
#undef MORVEL_STRING

std::string NumberText(const FormatArg& arg, char conversion) {
    char buf[32];
    if (!arg.isNumber) return arg.text;
    if (conversion == 'X')
        std::snprintf(buf, sizeof buf, "%X", static_cast<unsigned>(static_cast<uint32_t>(arg.number)));
    else
        std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(arg.number));
    return buf;
}

}  // namespace

Language InterfaceLanguage() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && value[0] != '\0')
            return std::strncmp(value, "ja", 2) == 0 ? Language::kJapanese : Language::kEnglish;
    }
    return Language::kEnglish;
}

const char* LoadString(int id, Language language) {
    for (const StringRow& row : kStrings) {
        if (row.id == id) return language == Language::kJapanese ? row.japanese : row.english;
    }
    return nullptr;
}

std::string FormatText(const std::string& format, std::initializer_list<FormatArg> args) {
    std::string out;
    auto next = args.begin();
    for (size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (c != '%' || i + 1 == format.size()) {
            out += c;
            continue;
        }
        const char conversion = format[++i];
        if (conversion == '%') {
            out += '%';
        } else if (conversion == 's' || conversion == 'd' || conversion == 'X') {
            if (next != args.end()) {
                out += conversion == 's' ? (next->isNumber ? NumberText(*next, 'd') : next->text)
                                         : NumberText(*next, conversion);
                ++next;
            }
        } else {
            out += '%';
            out += conversion;
        }
    }
    return out;
}

std::string FormatString(int id, Language language, std::initializer_list<FormatArg> args) {
    const char* text = LoadString(id, language);
    return text == nullptr ? std::string() : FormatText(text, args);
}

}  // namespace morvel
