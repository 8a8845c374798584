// The application object: start-up, the conversion run, the clipboard
// exchange and the dialog passes. Everything the program does happens inside
// InitInstance; the desktop is reached only through the ports.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/ports.h"
#include "app/strings.h"
#include "engine/byte_stream.h"
#include "app/profile.h"
#include "app/recent_file_list.h"

namespace morvel {

struct AppPorts {
    IClipboardPort& clipboard;
    IEditorPort& editor;
    IDialogPort& dialog;
    IMessagePort& messages;
};

class CMainApp {
public:
    // `profilePath` is the profile file ("" for none).
    CMainApp(AppPorts ports, std::string profilePath, Language language);

    // The program's whole life; returns its exit status.
    int InitInstance(const std::vector<std::string>& args);

    // The clipboard's text into `stream`: 1 when text was read (the stream
    // then ends with 0x00), 0 otherwise (the stream as it was). In TextPad
    // mode and not `peek`, the editor is made to copy its selection first.
    int ReadClipboard(CByteStream& stream, bool peek);
    // The whole stream onto the clipboard as text, then, in TextPad mode,
    // pasted into a new document of the editor. 0 when the stream is empty
    // or no block could be made.
    int WriteClipboard(const CByteStream& stream);

    // Settings.
    CAppCommandLineInfo m_cmdInfo;
    int32_t m_textPadMode = 0;
    int32_t m_inputFromClipboard = 0;
    int32_t m_outputToClipboard = 0;
    int32_t m_closeAfterRun = 1;
    int32_t m_isWindowsNT = 1;
    EncodingId m_detectedInput = AutoDetect;

    // Where a run tells its progress (none by default). A run that the port
    // stops leaves the old output whole, writes nothing, and is followed by a
    // dialog pass, as after a run with "Close after exe" cleared.
    void SetProgressPort(IProgressPort* progress) { m_progress = progress; }

    CRecentFileList& RecentOpen() { return m_recentOpen; }
    CRecentFileList& RecentSave() { return m_recentSave; }
    CByteStream& CurrentStream() { return *m_current; }

private:
    bool RunConversion();           // false: a message ended the program
    enum class PassResult { kRun, kEnd, kUnavailable };
    PassResult RunDialogPass();
    void ShowFileError(const std::string& path, int err);
    void Swap() { std::swap(m_current, m_spare); }

    AppPorts m_ports;
    Language m_language;
    CProfile m_profile;
    CRecentFileList m_recentOpen;
    CRecentFileList m_recentSave;
    CByteStream m_streamA, m_streamB;
    CByteStream* m_current = &m_streamA;
    CByteStream* m_spare = &m_streamB;
    ConversionRequest m_dialog;  // the dialog's members, kept between passes
    bool m_outputFailed = false;
    IProgressPort* m_progress = nullptr;
    bool m_runCancelled = false;  // the last run was stopped through m_progress
};

// Whether a start with these arguments leads to the dialog: no long option
// answers it at once, and neither both files nor /c ask for a direct run.
bool StartNeedsDialog(const std::vector<std::string>& args);

// Whether the environment names a desktop session (DISPLAY or
// WAYLAND_DISPLAY set and not empty).
bool DesktopSessionNamed();

// The dialog's program, morvel-dialog: beside the running binary, else in
// ../lib/morvel/ beside it (an installed program). "" when neither exists.
std::string DialogProgramPath();

// Text of the clipboard's UTF-16 format, as the wide read turns it into
// bytes: all in code page 1252 if every character has a form there, else
// CP932 ("?" for what CP932 lacks). The text ends at its first zero code
// unit; the result has no terminator. Empty when the text is empty.
std::vector<uint8_t> WideClipboardText(const std::vector<uint8_t>& utf16le);

}  // namespace morvel
