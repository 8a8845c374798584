// The preview: its conversion with the dialog's choices, its window, and the
// effect of every event of the main dialog on it, driven through the
// dialog's controls on the offscreen platform. Expected texts and bytes come
// from iconv (the encodings of a sample text), the engine's reference
// versions (width folding, the hex dump) and the documented formats (the
// captions' strings, message 109, the dump's line layout).
#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <iconv.h>
#include <optional>

#include <sys/stat.h>
#include <unistd.h>

#include "app/headless_ports.h"
#include "app/main_app.h"
#include "app/recent_file_list.h"
#include "engine/reference/reference.h"
#include "ui/drop_combo_box.h"
#include "ui/main_dlg.h"

using namespace morvel;

namespace {

// `in` converted by glibc's iconv; the test fails on bytes it cannot convert.
QByteArray Iconv(const char* to, const char* from, const QByteArray& in) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) qFatal("iconv %s -> %s", from, to);
    QByteArray out(in.size() * 4 + 16, '\0');
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == size_t(-1) || iconv(cd, nullptr, nullptr, &dst, &dstLeft) == size_t(-1))
        qFatal("iconv %s -> %s failed", from, to);
    iconv_close(cd);
    out.resize(out.size() - static_cast<qsizetype>(dstLeft));
    return out;
}
QByteArray Encode(const char* encoding, const QString& text) { return Iconv(encoding, "UTF-8", text.toUtf8()); }
// CP932 bytes as the text view shows them: up to the first NUL, lines
// ended by LF.
QString Shown(const QByteArray& cp932) {
    const qsizetype end = cp932.indexOf('\0');
    QString text = QString::fromUtf8(Iconv("UTF-8", "CP932", end < 0 ? cp932 : cp932.left(end)));
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QByteArray Bytes(const CByteStream& s) { return QByteArray(reinterpret_cast<const char*>(s.Data()), s.Size()); }
CByteStream Stream(const QByteArray& bytes) {
    CByteStream s;
    for (char c : bytes) s.Append(static_cast<uint8_t>(c));
    return s;
}

// The bytes a hex view shows: the hex part of each line, between the
// offset's " : " and the character column's.
QByteArray DumpedBytes(const QString& view) {
    QByteArray bytes;
    for (const QString& line : view.split('\n', Qt::SkipEmptyParts)) {
        const QString hex = line.section(QStringLiteral(" : "), 1, 1);
        bytes += QByteArray::fromHex(hex.toLatin1());
    }
    return bytes;
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// The dialog with its modal helpers replaced: messages are recorded, the
// file dialog answers with `browseResult`, the clipboard is `clipboard`
// (none: no text), read through the peek hook and counted.
class TestDlg : public CMainDlg {
public:
    explicit TestDlg(bool japanese = false) : CMainDlg(japanese ? Language::kJapanese : Language::kEnglish, nullptr) {
        peekClipboard = [this](CByteStream& text) {
            ++peeks;
            if (duringPeek) duringPeek();
            if (!clipboard) return 0;
            text.CopyFrom(Stream(*clipboard));
            return 1;
        };
        onRefreshPreview = [this] { ++refreshes; };
    }
    QStringList messages;
    std::optional<QByteArray> clipboard;
    std::function<void()> duringPeek;
    std::optional<std::string> browseResult;
    int peeks = 0, refreshes = 0;
    bool realBoxes = false;  // the dialog's own message boxes

    QString View() const { return PreviewWindow()->m_edit->toPlainText(); }
    QString Caption() const { return PreviewWindow()->windowTitle(); }
    void Click(int id) { qobject_cast<QAbstractButton*>(GetDlgItem(id))->click(); }

protected:
    void ShowPreviewMessage(const std::string& text) override {
        messages << QString::fromStdString(text);
        if (realBoxes) CMainDlg::ShowPreviewMessage(text);
    }
    bool RunFileDialog(bool, std::string& path) override {
        if (browseResult) path = *browseResult;
        return browseResult.has_value();
    }
};

void Drop(QWidget* target, const QString& path) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    const QPoint where(target->width() / 2, target->height() / 2);
    QDragEnterEvent enter(where, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDropEvent drop(where, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
}

const QString kSample = QStringLiteral("日本語 abc あア\r\n");
const QString kKana = QStringLiteral("abc あア\r\n");

// Radio buttons of the modes.
int InputButton(EncodingId mode) {
    switch (mode) {
        case AutoDetect: return IDC_IN_AUTO;
        case Jis: return IDC_IN_JIS;
        case EucJp: return IDC_IN_EUC;
        case Utf8: return IDC_IN_UTF8;
        default: return IDC_IN_SJIS;
    }
}
int OutputButton(EncodingId mode) {
    switch (mode) {
        case Jis: return IDC_OUT_JIS;
        case EucJp: return IDC_OUT_EUC;
        case Unicode: return IDC_OUT_UNICODE;
        case Utf8: return IDC_OUT_UTF8;
        default: return IDC_OUT_SJIS;
    }
}

// Width options of a row: "kana-full", "kana-half", "alnum-full", "alnum-half".
void SetFolding(TestDlg& dlg, const QString& folding) {
    if (folding.contains("kana")) {
        dlg.Click(IDC_CONVERT_KANA);
        dlg.Click(folding.contains("kana-half") ? IDC_KANA_TO_HALF : IDC_KANA_TO_FULL);
    }
    if (folding.contains("alnum")) {
        dlg.Click(IDC_CONVERT_ALNUM);
        dlg.Click(folding.contains("alnum-half") ? IDC_ALNUM_TO_HALF : IDC_ALNUM_TO_FULL);
    }
}

// Every event of the main dialog and what it does to the preview, from a
// start: "shown" (the input file read and shown as "one ｱ", then changed on
// disk to "two ｱ"), "hidden" (shown, hidden by the Preview button, then
// changed) or "closed" (shown, closed by its close box, then changed).
// Steps: "click:<id>", "drop-in:" / "drop-out:", "browse-in:" /
// "browse-out:" with a file ("three" names a third file), "closeup-in:" /
// "closeup-out:" with the list item selected as it closes, "clip" (a
// clipboard change), "paint" (the main dialog repaints), "esc" (Esc in the
// preview). Then the view, the caption, whether the window is shown, the
// state (H Hidden, R ReloadInput, C Reconvert, N Current), how many
// refreshes the steps asked for, and whether the preview was brought to the
// top (-1: not looked at).
struct EventCase {
    const char *name, *start, *steps, *view, *caption;
    bool visible;
    char state;
    int refreshes, raised;
};
const char* const kSjis = "Shift-JIS-> Shift-JIS";
const EventCase kEventCases[] = {
    {"output mode", "shown", "click:1013", "one ｱ", "Shift-JIS->UNICODE", true, 'N', 1, -1},
    {"input mode reads again", "shown", "click:1005", "two ｱ", kSjis, true, 'N', 1, -1},
    {"katakana on", "shown", "click:1018", "one ア", kSjis, true, 'N', 1, -1},
    {"katakana to half", "shown", "click:1018 click:1015", "one ｱ", kSjis, true, 'N', 2, -1},
    {"alphanumerics on", "shown", "click:1019", "ｏｎｅ　ｱ", kSjis, true, 'N', 1, -1},
    {"alphanumerics to half", "shown", "click:1019 click:1016", "one ｱ", kSjis, true, 'N', 2, -1},
    {"hex display", "shown", "click:1026", "   0 : 6F 6E 65 20 B1 00  : one ｱ.\n", "Shift-JIS-> Shift-JIS (HEX)", true,
     'N', 1, -1},
    {"hex display while hidden", "hidden", "click:1026", "one ｱ", kSjis, false, 'H', 0, -1},
    {"hex display while hidden, then Preview", "hidden", "click:1026 click:1025",
     "   0 : 74 77 6F 20 B1 00  : two ｱ.\n", "Shift-JIS-> Shift-JIS (HEX)", true, 'N', 1, -1},
    {"Preview hides", "shown", "click:1025", "one ｱ", kSjis, false, 'H', 0, -1},
    {"Preview shows, reading again", "hidden", "click:1025", "two ｱ", kSjis, true, 'N', 1, -1},
    {"Esc hides, the state stays", "shown", "esc", "one ｱ", kSjis, false, 'N', 0, -1},
    {"after the close box Preview shows the last result", "closed", "click:1025", "one ｱ", kSjis, true, 'N', 1, -1},
    {"after the close box an option shows it again", "closed", "click:1013", "one ｱ", "Shift-JIS->UNICODE", true, 'N',
     1, -1},
    {"file dropped on input", "shown", "drop-in:three", "three", kSjis, true, 'N', 1, -1},
    {"input list closed on an item", "shown", "closeup-in:1", "three", kSjis, true, 'N', 1, -1},
    {"input list closed on nothing", "shown", "closeup-in:-1", "one ｱ", kSjis, true, 'R', 0, -1},
    {"then only the output side converts, the kept input", "shown", "closeup-in:-1 clip click:1026 click:1013",
     "   0 : FF FE 6F 00 6E 00 65 00  20 00 71 FF 00 00  : \uF8F3\uF8F2o.n.e. .q\uF8F3..\n",
     "Shift-JIS->UNICODE (HEX)", true, 'N', 1, -1},
    {"output list closed", "shown", "closeup-out:1", "one ｱ", kSjis, true, 'N', 1, -1},
    {"file dropped on output", "shown", "drop-out:three", "one ｱ", kSjis, true, 'N', 1, -1},
    {"browse input", "shown", "browse-in:three", "three", kSjis, true, 'N', 1, -1},
    {"browse output", "shown", "click:1019 browse-out:three", "ｏｎｅ　ｱ", kSjis, true, 'N', 2, -1},
    {"browse output, preview hidden, shows the kept input", "shown", "click:1019 click:1025 browse-out:three", "one ｱ",
     kSjis, false, 'H', 1, -1},
    {"clipboard change reads a file input again", "shown", "clip", "two ｱ", kSjis, true, 'N', 1, -1},
    {"clipboard change, preview hidden", "hidden", "clip", "one ｱ", kSjis, false, 'H', 0, -1},
    {"clipboard change after the close box shows it", "closed", "clip", "two ｱ", kSjis, true, 'N', 1, -1},
    {"main dialog paints", "shown", "paint", "one ｱ", kSjis, true, 'N', 0, 1},
    {"main dialog paints, preview hidden", "hidden", "paint", "one ｱ", kSjis, false, 'H', 0, 0},
};

// Counts the times a window is brought to the top.
struct RaiseCounter : QObject {
    int raised = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::ZOrderChange) ++raised;
        return false;
    }
};

// A clipboard and an editor that record what is done to them.
struct FakeClipboard final : IClipboardPort {
    QByteArray text;
    int empties = 0, sets = 0, reads = 0;
    bool Available() const override { return true; }
    bool Open(uint32_t) override { return true; }
    void Close() override {}
    bool Empty() override { return ++empties, true; }
    bool IsFormatAvailable(uint32_t format) override { return format == CF_TEXT && !text.isNull(); }
    bool GetData(uint32_t, std::vector<uint8_t>& block) override {
        ++reads;
        block.assign(text.begin(), text.end());
        return true;
    }
    bool SetData(uint32_t, const std::vector<uint8_t>&) override { return ++sets, true; }
    std::string LastErrorText() override { return {}; }
};
struct FakeEditor final : IEditorPort {
    std::vector<int> commands;
    bool IsWindow(uint32_t) override { return true; }
    void SendCommand(uint32_t, int command) override { commands.push_back(command); }
};
struct FakeMessages final : IMessagePort {
    QStringList shown;
    void Show(const std::string& text, const std::string&) override { shown << QString::fromStdString(text); }
    bool AskYesNo(const std::string&) override { return true; }
    int Print(const std::string&) override { return 0; }
    void Diagnose(const std::string&) override {}
};

}  // namespace

class PreviewTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString P(const QString& name) const { return m_dir.filePath(name); }

private slots:
    // One preview per row: the input (a file, or the clipboard through the
    // field's label or an empty field), the modes and options, the view.
    // `text`: what the text view shows; `hex`: the bytes the hex view shows
    // (then `text`, when not empty, is the exact dump).
    void conversion_data() {
        QTest::addColumn<bool>("japanese");
        QTest::addColumn<QString>("source");  // "file", "label", "empty", "missing", "dir"
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("inMode");
        QTest::addColumn<int>("outMode");
        QTest::addColumn<QString>("folding");
        QTest::addColumn<bool>("hex");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("hexBytes");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<int>("inModeAfter");

        const QByteArray sjis = Encode("CP932", kSample), sjisKana = Encode("CP932", kKana);
        const QByteArray le = Encode("UTF-16LE", kSample);
        const QByteArray nul(1, '\0');
        const QString sample = Shown(sjis);
        auto row = [](const char* name) -> QTestData& { return QTest::newRow(name); };
        using L = QStringList;
        // clang-format off
        row("Shift-JIS file") << false << "file" << sjis << +ShiftJis << +ShiftJis << "" << false
            << "Shift-JIS-> Shift-JIS" << sample << QByteArray() << L{} << +ShiftJis;
        row("EUC-JP detected, JIS out, hex") << false << "file" << Encode("EUC-JP", kSample) << +AutoDetect << +Jis << ""
            << true << "DetectEUC-JP->JIS (HEX)" << "" << Encode("ISO-2022-JP", kSample) + nul << L{} << +AutoDetect;
        row("Japanese, UTF-8 out shows Shift-JIS") << true << "file" << sjis << +ShiftJis << +Utf8 << "" << false
            << "Shift-JIS-> UTF-8" << sample << QByteArray() << L{} << +ShiftJis;
        row("UTF-8 file, UNICODE out shows Shift-JIS") << false << "file" << Encode("UTF-8", kSample) << +Utf8 << +Unicode
            << "" << false << "UTF-8->UNICODE" << sample << QByteArray() << L{} << +Utf8;
        row("UNICODE out, hex") << false << "file" << sjis << +ShiftJis << +Unicode << "" << true
            << "Shift-JIS->UNICODE (HEX)" << "" << QByteArray("\xFF\xFE") + le + QByteArray(2, '\0') << L{} << +ShiftJis;
        row("UTF-8 out, hex") << true << "file" << sjis << +AutoDetect << +Utf8 << "" << true
            << "検出結果Shift-JIS-> UTF-8 (HEX)" << "" << Encode("UTF-8", kSample) + nul << L{} << +AutoDetect;
        row("JIS detected, EUC out shown as bytes") << false << "file" << Encode("ISO-2022-JP", kKana) << +AutoDetect
            << +EucJp << "" << false << "DetectJIS-> EUC" << Shown(Encode("EUC-JP", kKana)) << QByteArray() << L{}
            << +AutoDetect;
        row("JIS out shown with its escapes") << true << "file" << sjis << +ShiftJis << +Jis << "" << false
            << "Shift-JIS->JISコード" << Shown(Encode("ISO-2022-JP", kSample)) << QByteArray() << L{} << +ShiftJis;
        row("FF FE file while Shift-JIS is chosen") << false << "file" << QByteArray("\xFF\xFE") + le << +ShiftJis
            << +ShiftJis << "" << false << "DetectUNICODE-> Shift-JIS" << sample << QByteArray() << L{} << +AutoDetect;
        row("FF FE file, Japanese") << true << "file" << QByteArray("\xFF\xFE") + le << +EucJp << +ShiftJis << ""
            << false << "検出結果UNICODE-> Shift-JIS" << sample << QByteArray() << L{} << +AutoDetect;
        row("FE FF mark, little-endian text") << false << "file" << QByteArray("\xFE\xFF") + le << +Jis << +ShiftJis
            << "" << false << "DetectUNICODE-> Shift-JIS" << sample << QByteArray() << L{} << +AutoDetect;
        row("FE FF mark, Japanese") << true << "file" << QByteArray("\xFE\xFF") + le << +AutoDetect << +Unicode << ""
            << true << "検出結果UNICODE->UNICODE (HEX)" << "" << QByteArray("\xFF\xFE") + le + QByteArray(2, '\0') << L{}
            << +AutoDetect;
        row("undetermined is read as Shift-JIS") << false << "file" << QByteArray("\x82\xA0\x1B[A") << +AutoDetect
            << +ShiftJis << "" << false << "DetectShift-JIS-> Shift-JIS" << QStringLiteral("あ\x1B[A") << QByteArray()
            << L{} << +AutoDetect;
        row("empty file") << false << "file" << QByteArray() << +ShiftJis << +ShiftJis << "" << false
            << "Shift-JIS-> Shift-JIS" << "" << QByteArray() << L{} << +ShiftJis;
        row("empty file, hex") << false << "file" << QByteArray() << +ShiftJis << +ShiftJis << "" << true
            << "Shift-JIS-> Shift-JIS (HEX)" << "   0 : 00  : .\n" << nul << L{} << +ShiftJis;
        row("0x1A ends no copy") << false << "file" << QByteArray("ab\x1A" "cd") << +ShiftJis << +ShiftJis << ""
            << false << "Shift-JIS-> Shift-JIS" << QStringLiteral("ab\x1A" "cd") << QByteArray() << L{} << +ShiftJis;
        row("width folding") << false << "file" << Encode("CP932", QStringLiteral("アイ abc1")) << +ShiftJis
            << +ShiftJis << "kana-half alnum-full" << false << "Shift-JIS-> Shift-JIS"
            << QStringLiteral("ｱｲ　ａｂｃ１") << QByteArray() << L{} << +ShiftJis;
        row("missing file") << false << "missing" << QByteArray() << +ShiftJis << +ShiftJis << "" << false
            << "Shift-JIS-> Shift-JIS" << "" << QByteArray() << L{"File %1 not found \n[2]"} << +ShiftJis;
        row("missing file, Japanese") << true << "missing" << QByteArray() << +AutoDetect << +EucJp << "" << false
            << "検出結果-> EUCコード" << "" << QByteArray() << L{"ファイル %1が見つからないか開けません。\n[2]"}
            << +AutoDetect;
        row("a directory") << false << "dir" << QByteArray() << +ShiftJis << +ShiftJis << "" << false
            << "Shift-JIS-> Shift-JIS" << "" << QByteArray() << L{"File %1 not found \n[5]"} << +ShiftJis;
        row("nothing read, UTF-8 hex fails") << false << "missing" << QByteArray() << +ShiftJis << +Utf8 << "" << true
            << "" << "" << QByteArray() << L{"File %1 not found \n[2]", "Exception at Preview"} << +ShiftJis;
        row("clipboard label") << false << "label" << sjis + nul << +AutoDetect << +ShiftJis << "" << false
            << "DetectShift-JIS-> Shift-JIS" << sample << QByteArray() << L{} << +AutoDetect;
        row("empty field reads the clipboard") << true << "empty" << sjisKana + nul << +ShiftJis << +EucJp << ""
            << true << "Shift-JIS-> EUCコード (HEX)" << "" << Encode("EUC-JP", kKana) + nul << L{} << +ShiftJis;
        row("clipboard block beyond its text") << false << "label" << QByteArray("abc\0xyz\0", 8) << +ShiftJis
            << +ShiftJis << "" << true << "Shift-JIS-> Shift-JIS (HEX)" << ""
            << QByteArray("abc\0xyz\0", 8) << L{} << +ShiftJis;
        row("no text on the clipboard") << false << "label" << QByteArray() << +ShiftJis << +Jis << "" << false
            << "Shift-JIS->JIS" << "" << QByteArray() << L{} << +ShiftJis;
        // clang-format on
    }

    void conversion() {
        QFETCH(bool, japanese);
        QFETCH(QString, source);
        QFETCH(QByteArray, input);
        QFETCH(int, inMode);
        QFETCH(int, outMode);
        QFETCH(QString, folding);
        QFETCH(bool, hex);
        TestDlg dlg(japanese);
        QString path = P(QString(QTest::currentDataTag()).replace(' ', '_'));
        if (source == "file") WriteFile(path, input);
        if (source == "dir") QVERIFY(QDir().mkpath(path));
        if (source == "label" || source == "empty") {
            if (!input.isEmpty()) dlg.clipboard = input;
            path = source == "label" ? QString::fromStdString(dlg.m_clipboardLabel) : QString();
        }
        dlg.m_inputPath = path.toStdString();
        dlg.OnInitDialog();
        dlg.show();
        dlg.Click(InputButton(EncodingId(inMode)));
        dlg.Click(OutputButton(EncodingId(outMode)));
        SetFolding(dlg, folding);
        if (hex) dlg.Click(IDC_HEX_DISPLAY);
        dlg.Click(IDC_PREVIEW);

        QFETCH(QString, caption);
        QFETCH(QString, text);
        QFETCH(QByteArray, hexBytes);
        QFETCH(QStringList, messages);
        QFETCH(int, inModeAfter);
        QCOMPARE(dlg.Caption(), caption);
        if (hex) QCOMPARE(DumpedBytes(dlg.View()), hexBytes);
        if (!hex || !text.isEmpty()) QCOMPARE(dlg.View(), text);
        for (QString& m : messages)
            if (m.contains("%1")) m = m.arg(path);
        QCOMPARE(dlg.messages, messages);
        QCOMPARE(int(dlg.m_inputMode), inModeAfter);
        QCOMPARE(dlg.m_previewState, Current);
        QVERIFY(dlg.PreviewWindow()->isVisible());
        QCOMPARE(dlg.peeks, int(source == "label" || source == "empty"));
        // The radio buttons keep the user's choice.
        QVERIFY(qobject_cast<QAbstractButton*>(dlg.GetDlgItem(InputButton(EncodingId(inMode))))->isChecked());
    }

    void events_data() {
        QTest::addColumn<int>("row");
        for (size_t i = 0; i < std::size(kEventCases); ++i) QTest::newRow(kEventCases[i].name) << int(i);
    }

    void events() {
        QFETCH(int, row);
        const EventCase& c = kEventCases[row];
        const QString in = P("events-in.txt"), three = P("three.txt");
        WriteFile(in, "one \xB1");
        WriteFile(three, "three");
        CProfile profile("");
        CRecentFileList recent(profile, 0, "MRU Open", "%d ", 4, 40);
        recent.Add(three.toStdString());
        TestDlg dlg;
        dlg.m_inputMode = ShiftJis;
        dlg.m_inputPath = in.toStdString();
        dlg.m_recentOpen = dlg.m_recentSave = &recent;
        connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, &dlg, &CMainDlg::OnClipboardChanged);
        dlg.OnInitDialog();
        dlg.show();
        CPreviewDlg* preview = dlg.PreviewWindow();
        dlg.Click(IDC_PREVIEW);
        QCOMPARE(dlg.View(), QStringLiteral("one ｱ"));
        if (QString(c.start) == "hidden") dlg.Click(IDC_PREVIEW);
        if (QString(c.start) == "closed") preview->close();
        WriteFile(in, "two \xB1");
        RaiseCounter raises;
        preview->installEventFilter(&raises);
        dlg.refreshes = 0;

        static int clipboardChanges = 0;
        for (const QString& step : QString(c.steps).split(' ', Qt::SkipEmptyParts)) {
            const QString verb = step.section(':', 0, 0), arg = step.section(':', 1);
            const QString path = arg == "three" ? three : arg;
            CDropComboBox* box = verb.endsWith("-in") ? dlg.InputBox() : dlg.OutputBox();
            if (verb == "click") {
                dlg.Click(arg.toInt());
            } else if (verb.startsWith("browse")) {
                dlg.browseResult = path.isEmpty() ? std::nullopt : std::optional(path.toStdString());
                dlg.Click(verb == "browse-in" ? IDC_BROWSE_INPUT : IDC_BROWSE_OUTPUT);
            } else if (verb.startsWith("drop")) {
                Drop(box, path);
            } else if (verb.startsWith("closeup")) {
                // Closed on nothing, the field keeps its text (Qt's empty
                // selection would have emptied it).
                const std::string field = box->GetWindowText();
                box->showPopup();
                box->setCurrentIndex(arg.toInt());
                box->hidePopup();
                if (arg.toInt() < 0) box->SetWindowText(field);
            } else if (verb == "clip") {
                QGuiApplication::clipboard()->setText(QString::number(++clipboardChanges));
            } else if (verb == "paint") {
                dlg.repaint();
            } else if (verb == "esc") {
                QTest::keyClick(preview, Qt::Key_Escape);
            }
            QCoreApplication::processEvents();
        }
        QCOMPARE(dlg.View(), QString::fromUtf8(c.view));
        QCOMPARE(dlg.Caption(), QString::fromUtf8(c.caption));
        QCOMPARE(preview->isVisible(), c.visible);
        QCOMPARE(QLatin1Char("HR?CN"[dlg.m_previewState]), QLatin1Char(c.state));
        QCOMPARE(dlg.refreshes, c.refreshes);
        if (c.raised >= 0) QCOMPARE(raises.raised > 0, c.raised > 0);
        // Hidden by the Preview button, the result is let go.
        if (dlg.m_previewState == Hidden) QVERIFY(dlg.m_previewOut.Empty());
        QVERIFY(dlg.messages.isEmpty());
    }

    // The window: hidden until shown, a tool window at the template's size
    // in its font, first shown at the main dialog's client origin, the view
    // filling it at any size, fixed-pitch, black on white under a dark
    // theme; its close box and Esc only hide it.
    void window() {
        const QPalette theme = QApplication::palette();
        QPalette dark = theme;
        dark.setColor(QPalette::Base, Qt::black);
        dark.setColor(QPalette::Text, Qt::white);
        dark.setColor(QPalette::Window, Qt::darkGray);
        QApplication::setPalette(dark);
        TestDlg dlg;
        dlg.clipboard = QByteArray("a\0", 2);
        dlg.OnInitDialog();
        dlg.move(40, 30);
        dlg.show();
        CPreviewDlg* preview = dlg.PreviewWindow();
        QVERIFY(preview != nullptr && !preview->isVisible());
        QCOMPARE(preview->windowType(), Qt::Tool);
        QCOMPARE(preview->parentWidget(), &dlg);
        const QFontMetrics metrics(preview->font());
        const int ax = (metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 26 + 1) / 2;
        QCOMPARE(preview->size(), QSize((193 * ax + 2) / 4, (173 * metrics.height() + 4) / 8));
        dlg.Click(IDC_PREVIEW);
        QVERIFY(preview->isVisible());
        QCOMPARE(preview->pos(), dlg.mapToGlobal(QPoint(0, 0)));
        CColorEdit* edit = preview->m_edit;
        QVERIFY(edit->isReadOnly());
        QCOMPARE(edit->geometry(), preview->rect());
        const QFontInfo font(edit->font());
        QVERIFY(font.fixedPitch());
        QCOMPARE(font.pointSizeF(), QFontInfo(preview->font()).pointSizeF());
        const QImage shot = edit->grab().toImage();
        QCOMPARE(shot.pixelColor(shot.width() - 30, shot.height() - 30), QColor(Qt::white));
        QCOMPARE(edit->palette().color(QPalette::Text), QColor(Qt::black));
        // Resized and maximised, the view fills the window.
        for (const QSize& size : {QSize(640, 90), QSize(120, 480)}) {
            preview->resize(size);
            QCoreApplication::processEvents();
            QCOMPARE(edit->geometry(), preview->rect());
        }
        preview->showMaximized();
        QCoreApplication::processEvents();
        QCOMPARE(edit->geometry(), preview->rect());
        preview->showNormal();
        // Moved by the user, it keeps its place when shown again.
        preview->move(300, 200);
        dlg.Click(IDC_PREVIEW);
        dlg.Click(IDC_PREVIEW);
        QCOMPARE(preview->pos(), QPoint(300, 200));
        // Esc and the close box hide it; the dialog is not told.
        for (bool esc : {true, false}) {
            QVERIFY(preview->isVisible());
            if (esc)
                QTest::keyClick(preview, Qt::Key_Escape);
            else
                preview->close();
            QVERIFY(!preview->isVisible());
            QCOMPARE(dlg.m_previewState, Current);
            dlg.Click(IDC_OUT_JIS);
        }
        QApplication::setPalette(theme);

        // The messages: one box on the dialog, modal to it, under the
        // program's name; a second message while it is open takes its place.
        dlg.realBoxes = true;
        dlg.InputBox()->SetWindowText(P("absent").toStdString());
        dlg.OnInputDropped();
        dlg.Click(IDC_OUT_UTF8);
        dlg.Click(IDC_HEX_DISPLAY);
        const QList<QMessageBox*> boxes = dlg.findChildren<QMessageBox*>();
        QCOMPARE(boxes.size(), 1);
        QMessageBox* box = boxes.first();
        QVERIFY(box->isVisible());
        QCOMPARE(box->windowModality(), Qt::WindowModal);
        QCOMPARE(box->windowTitle(), QStringLiteral("Morvel"));
        QCOMPARE(box->text(), QStringLiteral("Exception at Preview"));
        QCOMPARE(dlg.messages.first(), "File " + P("absent") + " not found \n[2]");
        box->button(QMessageBox::Ok)->click();
        QTRY_VERIFY(dlg.findChildren<QMessageBox*>().isEmpty());
    }

    // What the view shows is capped; the result is made whole. Text view:
    // the result up to the cap less one byte; hex view: the dump of the
    // whole result, cut there.
    void largeResult() {
        const int64_t cap = CColorEdit::kMaxText;
        QByteArray text;
        for (int line = 0; text.size() < cap + 1000; ++line) text += QByteArray::number(line) + " abc\r\n";
        const QString path = P("large.txt");
        WriteFile(path, text);
        TestDlg dlg;
        dlg.m_inputMode = ShiftJis;
        dlg.m_inputPath = path.toStdString();
        dlg.OnInitDialog();
        dlg.show();
        dlg.Click(IDC_PREVIEW);
        QCOMPARE(dlg.m_previewOut.Size(), text.size() + 1);
        QCOMPARE(dlg.View(), QString::fromLatin1(text.left(cap - 1)).replace("\r\n", "\n"));
        dlg.Click(IDC_HEX_DISPLAY);
        QCOMPARE(dlg.m_previewOut.Size(), text.size() + 1);
        CByteStream dump;
        reference::FormatHexDump(dlg.m_previewOut, dump);
        QCOMPARE(dlg.View(), QString::fromLatin1(Bytes(dump).left(cap - 1)).replace("\r\n", "\n"));
    }

    // Inputs the preview must survive without a crash, a hang or a write:
    // the Part's message or an empty view.
    void badInput() {
        const QString dir = P("bad");
        QVERIFY(QDir().mkpath(dir));
        QByteArray binary;
        for (int i = 0; i < 4096; ++i) binary += char((i * 7919) >> 3);
        WriteFile(dir + "/binary", binary);
        QVERIFY(::mkfifo(QFile::encodeName(dir + "/fifo").constData(), 0600) == 0);
        const QStringList before = QDir(dir).entryList(QDir::AllEntries | QDir::System | QDir::Hidden);

        TestDlg dlg;
        dlg.OnInitDialog();
        dlg.show();
        auto preview = [&](const QString& path) {
            dlg.InputBox()->SetWindowText(path.toStdString());
            dlg.OnInputDropped();
            if (dlg.m_previewState == Hidden) dlg.Click(IDC_PREVIEW);
        };
        for (const char* mode : {"auto", "hex"}) {
            if (QString(mode) == "hex") dlg.Click(IDC_HEX_DISPLAY);
            preview(dir + "/binary");
            QCOMPARE(dlg.m_previewState, Current);
            QVERIFY(!dlg.m_previewIn.Empty());
        }
        dlg.Click(IDC_HEX_DISPLAY);
        // Pipes and devices are not read: a pipe's bytes are the run's, a
        // device may never end.
        for (const QString& path : {dir + "/fifo", QStringLiteral("/dev/zero")}) {
            preview(path);
            QCOMPARE(dlg.View(), QString());
            QCOMPARE(dlg.m_previewIn.Size(), 1);
        }
        QVERIFY(dlg.messages.isEmpty());
        // A file that vanishes between refreshes: told once, however often
        // the clipboard changes; back when it is back.
        WriteFile(dir + "/vanishing", "here");
        preview(dir + "/vanishing");
        QCOMPARE(dlg.View(), QStringLiteral("here"));
        QVERIFY(QFile::remove(dir + "/vanishing"));
        for (int i = 0; i < 3; ++i) dlg.OnClipboardChanged();
        QCOMPARE(dlg.messages, QStringList{"File " + dir + "/vanishing not found \n[2]"});
        QCOMPARE(dlg.View(), QString());
        WriteFile(dir + "/vanishing", "back");
        dlg.OnClipboardChanged();
        QCOMPARE(dlg.View(), QStringLiteral("back"));
        QVERIFY(QFile::remove(dir + "/vanishing"));
        // The clipboard as input, changing many times: one refresh each.
        dlg.InputBox()->SetWindowText("");
        dlg.OnInputDropped();
        const int peeks = dlg.peeks;
        for (int i = 0; i < 200; ++i) {
            dlg.clipboard = QByteArray::number(i) + '\0';
            dlg.OnClipboardChanged();
        }
        QCOMPARE(dlg.peeks - peeks, 200);
        QCOMPARE(dlg.View(), QStringLiteral("199"));
        // A change that arrives while a read is under way (in the loop of a
        // message box) is taken once, after that read. After a file that
        // could not be opened the input is empty and the state Current, so
        // the Preview button reads again: here the clipboard (the field
        // emptied by typing, which refreshes nothing).
        preview(dir + "/missing");
        dlg.InputBox()->SetWindowText("");
        dlg.PreviewWindow()->close();
        dlg.duringPeek = [&] {
            dlg.duringPeek = nullptr;
            dlg.clipboard = QByteArray("later", 6);
            dlg.OnClipboardChanged();
        };
        const int reads = dlg.peeks;
        dlg.Click(IDC_PREVIEW);
        QCOMPARE(dlg.peeks - reads, 2);
        QCOMPARE(dlg.View(), QStringLiteral("later"));
        QCOMPARE(QDir(dir).entryList(QDir::AllEntries | QDir::System | QDir::Hidden), before);
    }

    // The clipboard read through the application's ReadClipboard with peek,
    // in TextPad mode: the clipboard is not emptied, the editor gets no
    // command, nothing is written; each change is read once.
    void peekThroughTheApplication() {
        FakeClipboard clipboard;
        FakeEditor editor;
        CHeadlessDialog dialog;
        FakeMessages messages;
        CMainApp app({clipboard, editor, dialog, messages}, "", Language::kEnglish);
        app.m_textPadMode = 1;
        app.m_cmdInfo.m_editorWindow = 0x1234;
        clipboard.text = Encode("CP932", kSample);
        TestDlg dlg;
        dlg.peekClipboard = [&app](CByteStream& text) { return app.ReadClipboard(text, true); };
        dlg.m_textPadMode = 1;
        dlg.m_inputFromClipboard = 1;
        dlg.OnInitDialog();
        dlg.show();
        QCOMPARE(dlg.InputBox()->currentText(), QStringLiteral("Clipboard(TextPad)"));
        dlg.Click(IDC_PREVIEW);
        QCOMPARE(dlg.View(), Shown(clipboard.text));
        QCOMPARE(dlg.Caption(), QStringLiteral("DetectShift-JIS-> Shift-JIS"));
        clipboard.text = "next";
        dlg.OnClipboardChanged();
        QCOMPARE(dlg.View(), QStringLiteral("next"));
        QCOMPARE(clipboard.reads, 2);
        QCOMPARE(clipboard.empties + clipboard.sets, 0);
        QVERIFY(editor.commands.empty());
        QVERIFY(messages.shown.isEmpty());
    }
};

QTEST_MAIN(PreviewTest)
#include "preview_tests.moc"
