#include "app/command_line.h"

#include <cstring>

namespace morvel {

namespace {

bool SetOutputFromLetter(char c, EncodingId& mode) {
    switch (c) {
        case 'S': case 's': mode = ShiftJis; return true;
        case 'J': case 'j': mode = Jis; return true;
        case 'E': case 'e': mode = EucJp; return true;
        case 'U': case 'u': mode = Unicode; return true;
        case 'T': case 't': mode = Utf8; return true;
        default: return false;
    }
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

void CAppCommandLineInfo::ParseParam(const char* text, bool isSwitch, bool /*isLast*/) {
    if (isSwitch)
        ParseSwitch(text);
    else
        ParseParameter(text);
}

void CAppCommandLineInfo::ParseSwitch(const char* text) {
    // First character: the input mode, a width option or the clipboard run.
    // The letters of the input modes read the same in either case; K, N and
    // c do not.
    switch (text[0]) {
        case '\0': return;  // a lone "/" or "-"
        case 'A': case 'a': m_inputMode = AutoDetect; break;
        case 'S': case 's': m_inputMode = ShiftJis; break;
        case 'J': case 'j': m_inputMode = Jis; break;
        case 'E': case 'e': m_inputMode = EucJp; break;
        case 'U': case 'u': m_inputMode = Unicode; break;
        case 'T': case 't': m_inputMode = Utf8; break;
        case 'M': case 'm':
            // Resets both modes; the rest of the switch is not read.
            m_inputMode = AutoDetect;
            m_outputMode = ShiftJis;
            return;
        case 'K': m_convertKana = 1; m_kanaToHalf = 0; break;
        case 'k': m_convertKana = 1; m_kanaToHalf = 1; break;
        case 'N': m_convertAlnum = 1; m_alnumToHalf = 0; break;
        case 'n': m_convertAlnum = 1; m_alnumToHalf = 1; break;
        case 'c': m_clipboardRun = 1; break;
        default: break;  // ?, H, h, C and the rest: no effect
    }
    // Second character, in any case: the output mode. The rest is ignored.
    if (text[1] != '\0') SetOutputFromLetter(text[1], m_outputMode);
}

void CAppCommandLineInfo::ParseParameter(const char* text) {
    if (text[0] == '\0') {
        m_editorWindow = 0;
        m_editorActive = 0;
        return;
    }
    // A window handle: "0x" and hexadecimal digits, or decimal digits, read
    // in 32 bits with silent wrap-around.
    bool isNumber = true;
    uint32_t value = 0;
    if (text[0] == '0' && text[1] == 'x') {
        for (const char* p = text + 2; *p != '\0'; ++p) {
            const int d = HexDigit(*p);
            if (d < 0) {
                isNumber = false;
                break;
            }
            value = value * 16u + static_cast<uint32_t>(d);
        }
    } else {
        for (const char* p = text; *p != '\0'; ++p) {
            if (*p < '0' || *p > '9') {
                isNumber = false;
                break;
            }
            value = value * 10u + static_cast<uint32_t>(*p - '0');
        }
    }
    if (isNumber) {
        m_editorWindow = value;
        m_editorActive = 0;
        return;
    }
    // A file name: the first names the input, every later one the output.
    if (m_pathCount == 0)
        m_inputPath = text;
    else
        m_outputPath = text;
    ++m_pathCount;
}

bool CAppCommandLineInfo::TakeActiveWindow() {
    m_editorWindow = m_activeWindowSource ? m_activeWindowSource() : 0;
    return m_editorWindow != 0;
}

LongOptionRequest ParseCommandLine(const std::vector<std::string>& args, CAppCommandLineInfo& info) {
    LongOptionRequest request;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool isLast = i + 1 == args.size();
        if (arg == "--editor=active") {
            info.m_editorActive = 1;
            continue;
        }
        if (arg.size() >= 2 && arg[0] == '-' && arg[1] == '-') {
            if (request.kind == LongOptionRequest::kNone) {
                if (arg == "--help")
                    request.kind = LongOptionRequest::kHelp;
                else if (arg == "--version")
                    request.kind = LongOptionRequest::kVersion;
                else {
                    request.kind = LongOptionRequest::kUnknown;
                    request.option = arg;
                }
            }
            continue;
        }
        const bool isPath = arg[0] == '/' && arg.find('/', 1) != std::string::npos;
        if (!isPath && (arg[0] == '-' || arg[0] == '/'))
            info.ParseParam(arg.c_str() + 1, true, isLast);
        else
            info.ParseParam(arg.c_str(), false, isLast);
    }
    return request;
}

}  // namespace morvel
