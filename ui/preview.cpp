// The preview conversion: the members of CMainDlg that read the input,
// convert it with the dialog's current choices and show the result.
//
// The input is read through the run's input stage (the same head, mode
// decision and terminator as a run) and brought into Shift-JIS by the
// engine's pipeline into m_previewIn; it is kept there, so a change on the
// output side converts it again without reading it again. A refresh folds
// widths, converts to the output encoding into m_previewOut and shows the
// text or its hex dump. Nothing here writes a file or the clipboard.
#include <QMessageBox>
#include <cstring>
#include <stdexcept>

#include <sys/stat.h>

#include "app/file_io.h"
#include "app/input_stage.h"
#include "engine/pipeline.h"
#include "ui/drop_combo_box.h"
#include "ui/main_dlg.h"
#include "ui/qt_ports.h"

namespace morvel {

namespace {

// The caption's name of an input encoding (none for any other value).
int InputNameId(EncodingId encoding) {
    switch (encoding) {
        case Jis: return 118;
        case EucJp: return 119;
        case ShiftJis:
        case Undetermined: return 120;
        case Unicode: return 121;
        case Utf8: return 128;
        default: return 0;
    }
}

// The caption's part for the output encoding.
int OutputPartId(EncodingId encoding) {
    switch (encoding) {
        case Jis: return 123;
        case EucJp: return 124;
        case Unicode: return 125;
        case Utf8: return 127;
        default: return 126;
    }
}

constexpr char kHexSuffix[] = " (HEX)";
constexpr char kPreviewFailure[] = "Exception at Preview";

}  // namespace

void CMainDlg::RefreshPreview() {
    if (onRefreshPreview) onRefreshPreview();
    if (m_preview == nullptr) return;
    if (m_refreshing) {
        // Asked from inside a running refresh (a clipboard change while a
        // message box waits): run once more when that one is done, as asked.
        m_refreshAgain = true;
        m_stateAgain = m_previewState;
        m_clipboardAgain = m_clipboardReload;
        return;
    }
    m_refreshing = true;
    const bool clipboardReload = m_clipboardReload;
    bool again = false;
    do {
        if (again) {
            m_previewState = m_stateAgain;
            m_clipboardReload = m_clipboardAgain;
        }
        m_refreshAgain = false;
        if (m_previewState == Hidden || m_previewState == ReloadInput || m_previewIn.Empty()) LoadPreviewInput();
        if (m_previewState != Current) {
            m_previewState = Current;
            m_previewIn.SetReadPos(0);
            try {
                ConvertPreview();
            } catch (...) {
                // The window keeps the caption and text it had and is not
                // shown by this refresh; the state stays Current.
                ShowPreviewMessage(kPreviewFailure);
            }
        }
        // The members back into the controls, on every path.
        UpdateData(false);
        again = m_refreshAgain;
    } while (again);
    m_clipboardReload = clipboardReload;
    m_refreshing = false;
}

void CMainDlg::LoadPreviewInput() {
    m_detectedInput = AutoDetect;
    const std::string name = m_inputBox->GetWindowText();
    m_inputPath = name;
    try {
        CInputStage stage;
        CByteStream clipboardText;
        int64_t expected = 0;  // bytes of input, where known beforehand
        if (name.empty() || name == m_clipboardLabel) {
            // The clipboard, left as it is; without text the preview keeps
            // what it has.
            if (!peekClipboard || peekClipboard(clipboardText) == 0) return;
            stage.SetText(clipboardText.Data(), clipboardText.Size(), true);
            expected = clipboardText.Size();
        } else {
            struct stat st;
            const bool known = ::stat(name.c_str(), &st) == 0;
            if (known && S_ISREG(st.st_mode)) expected = st.st_size;
            if (known && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
                // A pipe, a device or a socket: reading it would take bytes
                // meant for the run, or never end. Previewed as empty.
                stage.SetText(nullptr, 0, false);
            } else if (const int err = stage.OpenFile(name)) {
                m_previewIn.Clear();
                const int cause = FileErrorCause(err);
                const std::string failure = name + '\n' + std::to_string(cause);
                // A clipboard change reloads a file input too: the same
                // failure again is not told again.
                if (!(m_clipboardReload && failure == m_lastOpenFailure))
                    ShowPreviewMessage(FormatString(109, m_language, {VisibleText(name), cause}));
                m_lastOpenFailure = failure;
                return;
            }
        }
        m_lastOpenFailure.clear();
        if (stage.ReadHead() != 0) return;

        // The mode to read by: the chosen one, or the detected one; a text
        // that starts with a UTF-16 byte-order mark is UTF-16 whatever the
        // choice (a mode of UTF-16 without a mark reads as Shift-JIS).
        const bool detect = m_inputMode == AutoDetect;
        const EncodingId readBy = stage.ResolveMode(m_inputMode == Unicode ? ShiftJis : m_inputMode);
        const bool utf16 = readBy == Unicode;
        std::string label;
        if (detect) label = LoadString(117, m_language);

        ConversionPlan plan;
        plan.input = readBy;
        CConversionPipeline pipeline(plan);
        CByteStream in;
        // Shift-JIS takes no more bytes than any input encoding.
        in.Reserve(expected + 2);
        if (stage.Pump([&](const uint8_t* p, int64_t n) {
                pipeline.Feed(p, n, in);
                return 0;
            }) != 0)
            return;
        pipeline.Finish(in);

        if (detect) m_detectedInput = readBy;
        if (utf16) {
            // From here on the input is taken as detected, also by the run
            // this dialog hands its choices to; the radio buttons stay.
            m_inputMode = AutoDetect;
            m_detectedInput = Unicode;
        }
        if (const int id = InputNameId(readBy)) label += LoadString(id, m_language);
        m_previewIn = std::move(in);
        m_preview->setWindowTitle(QString::fromStdString(label));
        m_preview->m_edit->setPlainText(QString::fromUtf8(LoadString(122, m_language)));
    } catch (...) {
        // Memory, a read error: the refresh goes on with what m_previewIn holds.
    }
}

void CMainDlg::ConvertPreview() {
    // The caption: the input as chosen or as detected, then the output.
    std::string caption;
    EncodingId named = m_inputMode;
    if (m_inputMode == AutoDetect) {
        caption = LoadString(117, m_language);
        named = m_detectedInput;
    }
    if (const int id = InputNameId(named)) caption += LoadString(id, m_language);

    // Width folding, katakana before alphanumerics.
    CByteStream folded, between;
    CByteStream* b = &m_previewIn;
    auto foldKana = m_kanaToHalf == 0 ? KanaToFullWidth : KanaToHalfWidth;
    auto foldAlnum = m_alnumToHalf == 0 ? AlnumToFullWidth : AlnumToHalfWidth;
    if (m_convertKana && m_convertAlnum) {
        foldKana(m_previewIn, between);
        between.SetReadPos(0);
        foldAlnum(between, folded);
        b = &folded;
    } else if (m_convertKana) {
        foldKana(m_previewIn, folded);
        b = &folded;
    } else if (m_convertAlnum) {
        foldAlnum(m_previewIn, folded);
        b = &folded;
    }
    between.Clear();

    // The output encoding. The text view shows the Shift-JIS text that
    // UTF-16 and UTF-8 would be made from; the hex view the real bytes.
    m_previewOut.Discard();
    CByteStream& B = *b;
    B.SetReadPos(0);
    switch (m_outputMode) {
        case Jis: SjisToJis(B, m_previewOut); break;
        case EucJp: SjisToEuc(B, m_previewOut); break;
        case Unicode:
            if (m_hexDisplay)
                SjisToUtf16Output(B, m_previewOut);
            else
                m_previewOut.CopyFrom(B);
            break;
        case Utf8:
            if (m_hexDisplay) {
                // No UTF-16 text can be made of nothing at all.
                if (B.Empty()) throw std::length_error("empty UTF-16 intermediate");
                SjisToUtf8Output(B, m_previewOut);
            } else {
                m_previewOut.CopyFrom(B);
            }
            break;
        default: m_previewOut.CopyFrom(B); break;
    }
    caption += LoadString(OutputPartId(m_outputMode), m_language);
    folded.Clear();

    if (m_hexDisplay) {
        // Only what the view can show is dumped. A line is at least 77
        // characters long, so these whole lines of the result make more
        // than the view's largest limit; they begin the whole dump, so the
        // text shown and the limit read back are the same.
        constexpr int64_t kDumpedBytes = (CColorEdit::kMaxText / 77 + 2) * 16;
        CByteStream dump;
        if (m_previewOut.Size() > kDumpedBytes) {
            CByteStream head;
            std::memcpy(head.Reserve(kDumpedBytes), m_previewOut.Data(), kDumpedBytes);
            head.Commit(kDumpedBytes);
            FormatHexDump(head, dump);
        } else {
            FormatHexDump(m_previewOut, dump);
        }
        ShowInPreview(dump);
        caption += kHexSuffix;
    } else {
        ShowInPreview(m_previewOut);
    }
    m_preview->setWindowTitle(QString::fromStdString(caption));
    m_preview->show();
}

// The text limit handshake: the view's limit is asked to be the buffer's
// size and read back; what is shown is the buffer up to its first 0x00, at
// most one byte less than the limit. The buffer itself is left whole.
void CMainDlg::ShowInPreview(const CByteStream& text) {
    CColorEdit* edit = m_preview->m_edit;
    edit->LimitText(text.Size());
    const int64_t limit = edit->GetLimitText();
    if (limit < 1) throw std::length_error("text limit");
    edit->SetBytes(text.Data(), std::min(text.Size(), limit - 1));
}

void CMainDlg::ShowPreviewMessage(const std::string& text) {
    const QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (m_previewBox != nullptr) {
        m_previewBox->setText(shown);
        return;
    }
    auto* box = new QMessageBox(QMessageBox::NoIcon, QString::fromLatin1(kProgramTitle), shown, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    m_previewBox = box;
    box->open();  // modal to this dialog
}

}  // namespace morvel
