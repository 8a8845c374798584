// The command line: switches, the editor's window handle and file names, read
// into CAppCommandLineInfo, whose fields are the settings of the first run.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/engine.h"

namespace morvel {

class CAppCommandLineInfo {
public:
    // One argument, with its leading "-" or "/" already removed when it is a
    // switch. Never fails: every argument changes a setting or is ignored.
    void ParseParam(const char* text, bool isSwitch, bool isLast);

    EncodingId m_inputMode = AutoDetect;
    EncodingId m_outputMode = ShiftJis;
    int32_t m_kanaToHalf = 0;
    int32_t m_alnumToHalf = 0;
    std::string m_inputPath;
    std::string m_outputPath;
    int32_t m_convertKana = 0;
    int32_t m_convertAlnum = 0;
    int32_t m_clipboardRun = 0;
    int32_t m_pathCount = 0;
    uint32_t m_editorWindow = 0;
    // --editor=active: the editor's window is the one the desktop has active
    // at start-up. A window handle later on the line takes its place again.
    int32_t m_editorActive = 0;
    // Where that window is found (0: none); empty where there is no desktop.
    std::function<uint32_t()> m_activeWindowSource;

    // Takes the desktop's active window as the editor's window: false, with
    // the window 0, when there is none.
    bool TakeActiveWindow();

private:
    void ParseSwitch(const char* text);
    void ParseParameter(const char* text);
};

// What the long options (arguments beginning with "--") ask for. The first
// long option on the line decides; --editor=active is a setting, not a
// request, and is left out of that.
struct LongOptionRequest {
    enum Kind { kNone, kHelp, kVersion, kUnknown };
    Kind kind = kNone;
    std::string option;  // the unknown option as given
};

// Walks the arguments after the program name in order. An argument that
// begins with "/" and holds a second "/" is a path; any other beginning with
// "-" or "/" is a switch; the rest are parameters.
LongOptionRequest ParseCommandLine(const std::vector<std::string>& args, CAppCommandLineInfo& info);

}  // namespace morvel
