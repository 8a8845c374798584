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

namespace morvel {

namespace {

// The length of the well-formed UTF-8 sequence at p[0..n), or 0.
size_t Utf8SequenceLength(const unsigned char* p, size_t n, uint32_t& cp) {
    const unsigned char c = p[0];
    size_t len;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) { len = 2; cp = c & 0x1F; }
    else if (c >= 0xE0 && c <= 0xEF) { len = 3; cp = c & 0x0F; if (c == 0xE0) lo = 0xA0; if (c == 0xED) hi = 0x9F; }
    else if (c >= 0xF0 && c <= 0xF4) { len = 4; cp = c & 0x07; if (c == 0xF0) lo = 0x90; if (c == 0xF4) hi = 0x8F; }
    else return 0;
    if (n < len || p[1] < lo || p[1] > hi) return 0;
    for (size_t i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        cp = cp << 6 | (p[i] & 0x3F);
    }
    return len;
}

// Characters that move the cursor, change the terminal or reorder what
// follows: the C0 and C1 controls, DEL, the line and paragraph separators
// and the bidirectional overrides and isolates.
bool IsControl(uint32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x2028 || cp == 0x2029 ||
           (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
}

}  // namespace

std::string VisibleText(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        uint32_t cp = p[i];
        size_t len = 1;
        if (cp >= 0x80) {
            len = Utf8SequenceLength(p + i, n - i, cp);
            if (len == 0) {  // not UTF-8: the byte as it is, in hexadecimal
                out += "\\x";
                out += kHex[p[i] >> 4];
                out += kHex[p[i] & 15];
                ++i;
                continue;
            }
        }
        if (!IsControl(cp)) {
            out.append(text, i, len);
        } else if (cp < 0x80) {
            static const char kNamed[] = "abtnvfr";
            if (cp >= 7 && cp <= 13) {
                out += '\\';
                out += kNamed[cp - 7];
            } else if (cp == 0x1B) {
                out += "\\e";
            } else {
                out += "\\x";
                out += kHex[cp >> 4];
                out += kHex[cp & 15];
            }
        } else {
            out += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(cp >> shift) & 15];
        }
        i += len;
    }
    return out;
}

}  // namespace morvel
