// The program's ports to the desktop: the clipboard, the calling editor, the
// main dialog, the message boxes and the progress of a long run. The file-to-file run needs none of them
// to exist; the headless versions (headless_ports.h) stand in where there is
// no desktop, and the tests replace them with fakes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/engine.h"

namespace morvel {

class CRecentFileList;

// Clipboard formats: text in the system code page (CP932) and UTF-16 text.
constexpr uint32_t CF_TEXT = 1;
constexpr uint32_t CF_UNICODETEXT = 13;

// Commands understood by the calling editor.
constexpr int ID_FILE_NEW = 0xE100;
constexpr int ID_EDIT_COPY = 0xE122;
constexpr int ID_EDIT_PASTE = 0xE125;
constexpr int ID_EDIT_SELECT_ALL = 0xE12A;
constexpr int ID_EDITOR_PREPARE_PASTE = 32787;  // sent between new and paste

// Results of the dialog.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

class IClipboardPort {
public:
    virtual ~IClipboardPort() = default;
    // False when there is no desktop clipboard at all.
    virtual bool Available() const = 0;
    virtual bool Open(uint32_t ownerWindow) = 0;
    virtual void Close() = 0;
    virtual bool Empty() = 0;
    virtual bool IsFormatAvailable(uint32_t format) = 0;
    // The whole block of `format` (it may hold more than the text); false
    // when the clipboard hands out none.
    virtual bool GetData(uint32_t format, std::vector<uint8_t>& block) = 0;
    virtual bool SetData(uint32_t format, const std::vector<uint8_t>& block) = 0;
    // The system's description of the last failure of SetData.
    virtual std::string LastErrorText() = 0;
};

class IEditorPort {
public:
    virtual ~IEditorPort() = default;
    virtual bool IsWindow(uint32_t window) = 0;
    // Returns once the editor has carried the command out.
    virtual void SendCommand(uint32_t window, int command) = 0;
};

// What the application hands to the main dialog and reads back.
struct ConversionRequest {
    EncodingId m_inputMode = AutoDetect;
    EncodingId m_detectedInput = AutoDetect;
    EncodingId m_outputMode = ShiftJis;
    int32_t m_kanaToHalf = 0;
    int32_t m_alnumToHalf = 0;
    int32_t m_textPadMode = 0;
    int32_t m_inputFromClipboard = 0;
    int32_t m_outputToClipboard = 0;
    std::string m_inputPath;
    std::string m_outputPath;
    CRecentFileList* m_recentOpen = nullptr;
    CRecentFileList* m_recentSave = nullptr;
    int32_t m_convertKana = 0;
    int32_t m_convertAlnum = 0;
    int32_t m_closeAfterRun = 1;
};

class IDialogPort {
public:
    virtual ~IDialogPort() = default;
    virtual bool Available() const = 0;
    // Shows the dialog modally over `request`: IDOK or IDCANCEL.
    virtual int RunDialog(ConversionRequest& request) = 0;
};

// Progress of a run, told between the blocks of its input. The port decides
// whether and when anything is shown, so a short run shows nothing.
class IProgressPort {
public:
    virtual ~IProgressPort() = default;
    // `done` bytes of the input have gone through the run, of `total` (0
    // when the size is not known beforehand). False asks the run to stop.
    virtual bool Advance(int64_t done, int64_t total) = 0;
    // The run is over, however it ended: whatever was shown goes away.
    virtual void End() = 0;
};

class IMessagePort {
public:
    virtual ~IMessagePort() = default;
    // A message box with OK; an empty caption means none of its own.
    virtual void Show(const std::string& text, const std::string& caption) = 0;
    // A Yes/No question under the program's title; true for Yes.
    virtual bool AskYesNo(const std::string& text) = 0;
    // Text for standard output (usage, version): 0, or the errno value of a
    // failed write.
    virtual int Print(const std::string& text) = 0;
    // A remark about the command line or the session, for standard error.
    virtual void Diagnose(const std::string& text) = 0;
};

}  // namespace morvel
