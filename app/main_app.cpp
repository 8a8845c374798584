#include "app/main_app.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/exit_status.h"
#include "app/file_io.h"
#include "app/input_stage.h"
#include "app/parallel_run.h"
#include "app/usage.h"
#include "app/result_writer.h"
#include "engine/engine.h"
#include "engine/pipeline.h"

namespace morvel {

namespace {

constexpr int kRecentSize = 4;
constexpr int kRecentDisplayLength = 30;

// Code page 1252: the character of each byte 0x80-0x9F. The bytes the code
// page leaves undefined (81, 8D, 8F, 90, 9D) stand for the C1 controls of the
// same value; 0x00-0x7F and 0xA0-0xFF are the characters of the same value.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

int Cp1252Byte(uint16_t unit) {
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return unit;
    for (int i = 0; i < 32; ++i)
        if (kCp1252High[i] == unit) return 0x80 + i;
    return -1;
}

bool FileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// What the pump of a run returns when the progress port stopped it; apart
// from the input's kReadFailed and the errno values of a failed write.
constexpr int kRunCancelled = -2;
// Files from this size on are converted on two threads (CParallelRun), where
// the input encoding allows; below it a second thread pays for little.
constexpr int64_t kParallelBytes = 4 << 20;

// Whether a file's text has cut points (line breaks) in its head and in
// each of kCutWindows windows spread over the rest, the last at its end.
// The two-thread run cuts the text there; a long stretch without any is
// converted on one thread with nothing overlapped, slower than the
// one-thread run (a 100 MB file with line breaks in its first 256 KiB
// only: 74 ms against 44, Shift-JIS to EUC-JP).
constexpr int kCutWindows = 4;
constexpr int64_t kCutWindowBytes = 64 << 10;

bool CutsThroughout(const ConversionPlan& plan, const CInputStage& input, int64_t total) {
    const CByteStream& head = input.Head();
    if (CConversionPipeline::NextCut(plan, head.Data(), head.Size(), 1) < 0) return false;
    std::vector<uint8_t> window(kCutWindowBytes);
    for (int i = 1; i <= kCutWindows; ++i) {
        const int64_t at = ((total - kCutWindowBytes) * i / kCutWindows) & ~int64_t{1};  // even: whole UTF-16 units
        const int64_t got = input.ReadAt(window.data(), kCutWindowBytes, at);
        if (got <= 0 || CConversionPipeline::NextCut(plan, window.data(), got, 1) < 0) return false;
    }
    return true;
}

// Ends the progress of a run once, at the latest when the run leaves.
class ProgressScope {
public:
    explicit ProgressScope(IProgressPort* port) : port_(port) {}
    ~ProgressScope() { Close(); }
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;
    // False when the port asks the run to stop.
    bool Advance(int64_t done, int64_t total) {
        return !port_ || port_->Advance(total > 0 ? std::min(done, total) : done, total);
    }
    void Close() {
        if (port_) port_->End();
        port_ = nullptr;
    }

private:
    IProgressPort* port_;
};

}  // namespace

std::vector<uint8_t> WideClipboardText(const std::vector<uint8_t>& utf16le) {
    std::vector<uint8_t> out;
    size_t units = 0;
    while (units * 2 + 1 < utf16le.size() && (utf16le[units * 2] | utf16le[units * 2 + 1]) != 0) ++units;
    bool all1252 = true;
    for (size_t i = 0; i < units && all1252; ++i) {
        const int b = Cp1252Byte(static_cast<uint16_t>(utf16le[i * 2] | utf16le[i * 2 + 1] << 8));
        if (b < 0)
            all1252 = false;
        else
            out.push_back(static_cast<uint8_t>(b));
    }
    if (all1252) return out;
    CByteStream wide, sjis;
    wide.Append(0xFF);
    wide.Append(0xFE);
    for (size_t i = 0; i < units * 2; ++i) wide.Append(utf16le[i]);
    wide.Append(0);
    wide.Append(0);
    FromUtf16(wide, sjis, Unicode);
    out.assign(sjis.Data(), sjis.Data() + sjis.Size());
    while (!out.empty() && out.back() == 0) out.pop_back();
    return out;
}

CMainApp::CMainApp(AppPorts ports, std::string profilePath, Language language)
    : m_ports(ports),
      m_language(language),
      m_profile(std::move(profilePath)),
      m_recentOpen(m_profile, 0, "MRU Open", "%d ", kRecentSize, kRecentDisplayLength),
      m_recentSave(m_profile, 0, "MRU Save", "%d ", kRecentSize, kRecentDisplayLength) {}

int CMainApp::InitInstance(const std::vector<std::string>& args) {
    IMessagePort& messages = m_ports.messages;
    // 1-3: settings, recent-file lists.
    m_closeAfterRun = 1;
    m_recentOpen.ReadList();
    m_recentSave.ReadList();
    m_inputFromClipboard = 0;
    m_outputToClipboard = 0;

    // 4: the command line; long options are answered at once.
    const LongOptionRequest request = ParseCommandLine(args, m_cmdInfo);
    switch (request.kind) {
        case LongOptionRequest::kHelp:
        case LongOptionRequest::kVersion:
            if (const int err = messages.Print(request.kind == LongOptionRequest::kHelp ? UsageText(m_language)
                                                                                        : VersionText())) {
                messages.Diagnose(StdoutErrorText(std::strerror(err), m_language));
                return kExitFailure;
            }
            return kExitOk;
        case LongOptionRequest::kUnknown:
            messages.Diagnose(UnknownOptionText(request.option, m_language));
            return kExitUsage;
        case LongOptionRequest::kNone:
            break;
    }

    // 5-6: the dialog object is m_dialog; every Linux is "NT" for the
    // clipboard's wide read.
    m_isWindowsNT = 1;

    // 7: the calling editor's window; --editor=active takes the desktop's
    // active one, and without one the program cannot start as asked.
    if (m_cmdInfo.m_editorActive && !m_cmdInfo.TakeActiveWindow()) {
        messages.Diagnose(NoActiveWindowText(m_language));
        return kExitUsage;
    }
    if (m_cmdInfo.m_editorWindow != 0) {
        m_textPadMode = 1;
        if (!m_ports.editor.IsWindow(m_cmdInfo.m_editorWindow)) {
            messages.Show(FormatString(104, m_language, {m_cmdInfo.m_editorWindow}), FormatString(105, m_language));
            return kExitFailure;
        }
    } else {
        m_textPadMode = 0;
    }

    // 8-9.
    m_current->Clear();
    m_detectedInput = m_cmdInfo.m_inputMode;
    if (m_cmdInfo.m_clipboardRun) {
        m_cmdInfo.m_inputPath.clear();
        m_cmdInfo.m_outputPath.clear();
    }

    // 10-11: the start-up clipboard check. A direct file-to-file run outside
    // TextPad mode has no use for its result and skips it.
    const bool fileToFile = !m_cmdInfo.m_inputPath.empty() && !m_cmdInfo.m_outputPath.empty();
    const bool checkClipboard = m_textPadMode || !fileToFile;
    if (checkClipboard && ReadClipboard(*m_current, false) && m_cmdInfo.m_inputPath.empty() &&
        !m_current->Empty() && m_cmdInfo.m_inputMode == AutoDetect) {
        m_inputFromClipboard = 1;
        m_current->SetReadPos(0);
        m_detectedInput = DetectEncoding(*m_current);
        m_current->SetReadPos(0);
        if (m_detectedInput == EucJp && m_textPadMode)
            messages.Show(FormatString(106, m_language), FormatString(105, m_language));
        m_current->Clear();
    } else {
        m_inputFromClipboard = 0;
    }

    // 12: the path choice, and a dialog pass after every run that does not
    // end the program.
    bool direct = (m_closeAfterRun && fileToFile) || m_cmdInfo.m_clipboardRun;
    for (;;) {
        if (!direct) {
            const PassResult pass = RunDialogPass();
            if (pass == PassResult::kUnavailable) {
                messages.Diagnose(NoDialogText(m_language));
                return kExitUsage;
            }
            if (pass == PassResult::kEnd) return m_outputFailed ? kExitFailure : kExitOk;
        }
        if (!RunConversion()) return kExitFailure;
        if (m_closeAfterRun && !m_runCancelled) return m_outputFailed ? kExitFailure : kExitOk;
        direct = false;
    }
}

CMainApp::PassResult CMainApp::RunDialogPass() {
    IDialogPort& dialog = m_ports.dialog;
    if (!dialog.Available()) return PassResult::kUnavailable;
    CAppCommandLineInfo& s = m_cmdInfo;
    m_dialog.m_inputMode = s.m_inputMode;
    m_dialog.m_detectedInput = m_detectedInput;
    m_dialog.m_outputMode = s.m_outputMode;
    m_dialog.m_kanaToHalf = s.m_kanaToHalf;
    m_dialog.m_alnumToHalf = s.m_alnumToHalf;
    m_dialog.m_textPadMode = m_textPadMode;
    m_dialog.m_inputFromClipboard = m_inputFromClipboard;
    m_dialog.m_outputToClipboard = m_outputToClipboard;
    m_dialog.m_inputPath = s.m_inputPath;
    m_dialog.m_outputPath = s.m_outputPath;
    m_dialog.m_recentOpen = &m_recentOpen;
    m_dialog.m_recentSave = &m_recentSave;
    m_dialog.m_convertKana = s.m_convertKana;
    m_dialog.m_convertAlnum = s.m_convertAlnum;
    m_dialog.m_closeAfterRun = m_closeAfterRun;

    int result;
    for (;;) {
        result = dialog.RunDialog(m_dialog);
        if (result == IDOK && !m_dialog.m_outputPath.empty() && FileExists(m_dialog.m_outputPath) &&
            !m_ports.messages.AskYesNo(FormatString(107, m_language, {VisibleText(m_dialog.m_outputPath)})))
            continue;
        if (m_dialog.m_outputMode == EucJp && m_dialog.m_textPadMode && m_dialog.m_outputPath.empty() &&
            !m_ports.messages.AskYesNo(FormatString(108, m_language)))
            continue;
        break;
    }
    s.m_inputMode = m_dialog.m_inputMode;
    s.m_outputMode = m_dialog.m_outputMode;
    s.m_kanaToHalf = m_dialog.m_kanaToHalf;
    s.m_alnumToHalf = m_dialog.m_alnumToHalf;
    s.m_inputPath = m_dialog.m_inputPath;
    s.m_outputPath = m_dialog.m_outputPath;
    s.m_convertKana = m_dialog.m_convertKana;
    s.m_convertAlnum = m_dialog.m_convertAlnum;
    m_closeAfterRun = m_dialog.m_closeAfterRun;
    return result == IDCANCEL ? PassResult::kEnd : PassResult::kRun;
}

void CMainApp::ShowFileError(const std::string& path, int err) {
    m_ports.messages.Show(FormatString(109, m_language, {VisibleText(path), FileErrorCause(err)}), "");
}

// One conversion: the input (a file read block by block, or the clipboard's
// text) through the input stage, which decides the mode on its head, then
// the engine's stages as one pipeline, the result streamed to the output. A
// file never sits whole in memory (unless it is also the output, written in
// place), so a run costs the same few megabytes whatever the size of the
// file, and every byte is the same as converting the whole text stage by
// stage.
bool CMainApp::RunConversion() {
    CAppCommandLineInfo& s = m_cmdInfo;
    const bool fromFile = !s.m_inputPath.empty();
    const bool toFile = !s.m_outputPath.empty();
    m_runCancelled = false;
    try {
        // 1-2: input.
        CInputStage input;
        CByteStream& clipboardText = *m_current;
        if (fromFile) {
            // Remembered before the file is opened, so a failing path stays listed.
            if (m_recentOpen.Add(s.m_inputPath)) m_recentOpen.WriteList();
            if (const int err = input.OpenFile(s.m_inputPath)) {
                ShowFileError(s.m_inputPath, err);
                return false;
            }
        } else {
            if (!m_ports.clipboard.Available()) {
                m_ports.messages.Diagnose(NoClipboardText(m_language));
                m_outputFailed = true;
                return true;
            }
            clipboardText.Clear();
            if (!ReadClipboard(clipboardText, false) || clipboardText.Empty()) {
                // No text on the clipboard: nothing to convert, nothing written.
                m_outputFailed = true;
                return true;
            }
            input.SetText(clipboardText.Data(), clipboardText.Size(), true);
        }
        // The size progress is told against: a regular file's, or the
        // clipboard text's; 0 (not known) for pipes and devices.
        int64_t total = 0;
        struct stat st;
        if (!fromFile)
            total = clipboardText.Size();
        else if (::stat(s.m_inputPath.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            total = st.st_size;
        if (input.ReadHead() != 0) {
            m_ports.messages.Show(FormatString(111, m_language), "");
            return false;
        }

        // 3-5: detection, and a byte-order mark means UTF-16 whatever the mode.
        s.m_inputMode = input.ResolveMode(s.m_inputMode);

        // 8: UTF-16 never goes to the clipboard.
        if (s.m_outputMode == Unicode && !toFile) s.m_outputMode = ShiftJis;

        ConversionPlan plan;
        plan.input = s.m_inputMode;
        plan.output = s.m_outputMode;
        plan.convertKana = s.m_convertKana != 0;
        plan.kanaToHalf = s.m_kanaToHalf == 1;
        plan.convertAlnum = s.m_convertAlnum != 0;
        plan.alnumToHalf = s.m_alnumToHalf == 1;
        CConversionPipeline pipeline(plan);

        COutputFile file;
        if (toFile) {
            if (const int err = file.Open(s.m_outputPath)) {
                ShowFileError(s.m_outputPath, err);
                return false;
            }
            // The input file itself, written in place through another name
            // (/dev/stdout on the file read as /dev/stdin): read it all first.
            if (fromFile && file.OverwritesInPlace(input.Identity())) {
                if (input.ReadAll() != 0) {
                    file.Abort();
                    m_ports.messages.Show(FormatString(111, m_language), "");
                    return false;
                }
                file.TruncateOnCommit();
            }
        }
        // A file's result goes through the write-behind, which writes it on
        // a thread of its own while the next block is converted, and reads
        // the input ahead when it has nothing to write; the clipboard's
        // result is gathered whole.
        CResultWriter fileResult([&](const uint8_t* p, int64_t n) { return file.Write(p, n); });
        fileResult.WhenIdle([&] { return input.ReadAhead(); });
        // A large regular file with line breaks to cut it at throughout is
        // converted on two threads at once instead, each reading,
        // converting and writing its own stretches of it.
        std::optional<CParallelRun> parallel;
        if (fromFile && toFile && total >= kParallelBytes && input.Identity().regular &&
            !file.OverwritesInPlace(input.Identity()) && std::thread::hardware_concurrency() > 1 &&
            CutsThroughout(plan, input, total)) {
            parallel.emplace(
                plan, [&](uint8_t* p, int64_t n, int64_t at) { return input.ReadAt(p, n, at); },
                [&](const uint8_t* p, int64_t n) { return file.Write(p, n); });
        }
        CByteStream whole;  // the clipboard's result
        // Converts a block (or, with p null, finishes) and passes the result on.
        auto convert = [&](const uint8_t* p, int64_t n) -> int {
            if (toFile) return fileResult.Convert(pipeline, p, n);
            if (p != nullptr)
                pipeline.Feed(p, n, whole);
            else
                pipeline.Finish(whole);
            return 0;
        };
        // Nothing is written once the file is abandoned.
        auto abandon = [&] {
            fileResult.Abandon();
            file.Abort();
        };
        auto failWrite = [&](int err) {
            abandon();
            if (m_recentSave.Add(s.m_outputPath)) m_recentSave.WriteList();
            ShowFileError(s.m_outputPath, err);
            return false;
        };

        // 6-10: the stages, block by block, the progress told after each.
        ProgressScope progress(m_progress);
        int64_t done = 0;
        int pumped = progress.Advance(0, total) ? 0 : kRunCancelled;
        if (pumped == 0 && parallel) {
            pumped = parallel->Run([&](int64_t taken) { return progress.Advance(taken, total) ? 0 : kRunCancelled; });
        } else if (pumped == 0) {
            pumped = input.Pump([&](const uint8_t* p, int64_t n) {
                if (const int err = convert(p, n)) return err;
                done += n;
                return progress.Advance(done, total) ? 0 : kRunCancelled;
            });
        }
        progress.Close();
        if (pumped == kRunCancelled) {
            // Stopped by the user: the old output stays, nothing new is left.
            abandon();
            m_runCancelled = true;
            return true;
        }
        if (pumped == CInputStage::kReadFailed) {
            abandon();
            m_ports.messages.Show(FormatString(111, m_language), "");
            return false;
        }
        if (pumped != 0) return failWrite(pumped);
        if (!parallel) {
            if (const int err = convert(nullptr, 0)) return failWrite(err);
        }

        // 11: output; an empty result writes nothing.
        if ((toFile ? (parallel ? parallel->Total() : fileResult.Total()) : whole.Size()) == 0) {
            abandon();
            if (!toFile) m_outputFailed = true;
            return true;
        }
        if (toFile) {
            if (m_recentSave.Add(s.m_outputPath)) m_recentSave.WriteList();
            int err = parallel ? parallel->Close() : fileResult.Close();
            if (err == 0) err = file.Commit();
            if (err != 0) return failWrite(err);
        } else {
            swap(*m_current, whole);
            WriteClipboard(*m_current);
        }
    } catch (const std::bad_alloc&) {
        m_ports.messages.Show(FormatString(110, m_language), "");
        return false;
    } catch (const std::length_error&) {
        m_ports.messages.Show(FormatString(110, m_language), "");
        return false;
    }
    return true;
}

bool StartNeedsDialog(const std::vector<std::string>& args) {
    CAppCommandLineInfo info;
    if (ParseCommandLine(args, info).kind != LongOptionRequest::kNone) return false;
    if (info.m_clipboardRun) return false;
    return info.m_inputPath.empty() || info.m_outputPath.empty();
}

bool DesktopSessionNamed() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value && *value) return true;
    }
    return false;
}

std::string DialogProgramPath() {
    char exe[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return {};
    std::string dir(exe, static_cast<size_t>(n));
    dir.erase(dir.find_last_of('/') + 1);
    for (const char* place : {"", "../lib/morvel/"}) {
        const std::string path = dir + place + "morvel-dialog";
        if (::access(path.c_str(), X_OK) == 0) return path;
    }
    return {};
}

int CMainApp::ReadClipboard(CByteStream& stream, bool peek) {
    IClipboardPort& clip = m_ports.clipboard;
    IEditorPort& editor = m_ports.editor;
    if (!clip.Available()) return 0;  // no desktop: no text, and no message
    const uint32_t window = m_cmdInfo.m_editorWindow;
    const bool wide = m_isWindowsNT && (m_cmdInfo.m_inputMode == EucJp || m_detectedInput == EucJp);
    const uint32_t format = wide ? CF_UNICODETEXT : CF_TEXT;
    const bool driveEditor = m_textPadMode && !peek;

    clip.Close();
    if (driveEditor) {
        // Empty the clipboard so that only what the editor copies is read.
        if (!clip.Open(0)) {
            m_ports.messages.Show(FormatString(112, m_language, {1}), "");
            return 0;
        }
        clip.Empty();
        clip.Close();
        editor.SendCommand(window, ID_EDIT_COPY);
    }
    std::vector<uint8_t> block;
    try {
        // A desktop clipboard converts its text to the format asked for:
        // memory can run out while the data is taken too.
        for (int attempt = 1;; ++attempt) {
            if (!clip.Open(0)) {
                m_ports.messages.Show(FormatString(112, m_language, {2}), "");
                return 0;
            }
            if (clip.IsFormatAvailable(format) && clip.GetData(format, block)) break;
            clip.Close();
            if (!driveEditor || attempt > 1) return 0;
            // Nothing was selected: copy the whole document.
            editor.SendCommand(window, ID_EDIT_SELECT_ALL);
            editor.SendCommand(window, ID_EDIT_COPY);
        }
        if (wide) {
            const std::vector<uint8_t> text = WideClipboardText(block);
            if (!text.empty()) {
                stream.Resize(static_cast<int64_t>(text.size()));
                std::memcpy(stream.Data(), text.data(), text.size());
            }
        } else {
            stream.Resize(static_cast<int64_t>(block.size()));
            if (!block.empty()) std::memcpy(stream.Data(), block.data(), block.size());
        }
        clip.Close();
        if (!stream.Empty() && stream.Data()[stream.Size() - 1] != 0x00) stream.Append(0x00);
    } catch (const std::bad_alloc&) {
        clip.Close();
        m_ports.messages.Show("Memory Exception", "");
        return 0;
    } catch (...) {
        clip.Close();
        m_ports.messages.Show("Other Exception", "");
        return 0;
    }
    return 1;
}

int CMainApp::WriteClipboard(const CByteStream& stream) {
    if (stream.Empty()) return 0;
    IClipboardPort& clip = m_ports.clipboard;
    std::vector<uint8_t> block;
    try {
        block.assign(stream.Data(), stream.Data() + stream.Size());
    } catch (const std::bad_alloc&) {
        m_ports.messages.Show(FormatString(114, m_language), "");
        m_outputFailed = true;
        return 0;
    }
    bool accepted = false;
    clip.Close();
    if (!clip.Open(m_textPadMode ? m_cmdInfo.m_editorWindow : 0)) {
        m_ports.messages.Show("Cannot open the Clipboard", "");
    } else {
        clip.Empty();
        accepted = clip.SetData(CF_TEXT, block);
        if (!accepted) m_ports.messages.Show(FormatString(115, m_language, {clip.LastErrorText()}), "");
    }
    clip.Close();
    if (m_textPadMode) {
        for (int command : {ID_FILE_NEW, ID_EDITOR_PREPARE_PASTE, ID_EDIT_PASTE})
            m_ports.editor.SendCommand(m_cmdInfo.m_editorWindow, command);
    }
    if (!accepted) m_outputFailed = true;
    return 1;
}

}  // namespace morvel
