// The main dialog, its combo boxes, the about box and the preview, driven
// through their controls on the offscreen platform. Expected values are the
// dialog's documented behaviour (its template: ids, texts, places in dialog
// units; the opening rules, the handlers' effects, the collection rules, the
// captions' strings, message 109, the dump's line layout), iconv (the
// encodings of a sample text) and the engine's reference versions (width
// folding, the hex dump).
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QMimeData>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <iconv.h>
#include <optional>

#include <sys/stat.h>

#include "app/profile.h"
#include "app/recent_file_list.h"
#include "engine/reference/reference.h"
#include "ui/about_dlg.h"
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
// CP932 bytes as the text view shows them, in UTF-8: up to the first NUL,
// lines ended by LF.
QByteArray Shown(const QByteArray& cp932) {
    const qsizetype end = cp932.indexOf('\0');
    return Iconv("UTF-8", "CP932", end < 0 ? cp932 : cp932.left(end)).replace("\r\n", "\n");
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// The dialog with its modal helpers replaced: messages are recorded, the
// file dialog answers with `browseResult` (nullopt: cancelled), the about
// box is counted, the clipboard is `clipboard` (none: no text), read
// through the peek hook and counted, and each refresh notes the state it
// saw (H Hidden, R ReloadInput, C Reconvert, N Current).
class TestDlg : public CMainDlg {
public:
    explicit TestDlg(bool japanese = false) : CMainDlg(japanese ? Language::kJapanese : Language::kEnglish, nullptr) {
        peekClipboard = [this](CByteStream& text) {
            ++peeks;
            if (duringPeek) duringPeek();
            if (!clipboard) return 0;
            text.Clear();
            for (char c : *clipboard) text.Append(static_cast<uint8_t>(c));
            return 1;
        };
        onRefreshPreview = [this] { refreshes += QLatin1Char("HR?CN"[m_previewState]); };
    }
    QStringList messages;
    std::optional<QByteArray> clipboard;
    std::function<void()> duringPeek;
    std::optional<std::string> browseResult;
    std::vector<bool> browseSaves;
    int peeks = 0, aboutBoxes = 0;
    QString refreshes;
    bool realBoxes = false;  // the dialog's own message boxes

    QAbstractButton* Button(int id) const { return qobject_cast<QAbstractButton*>(GetDlgItem(id)); }
    void Click(int id) { Button(id)->click(); }
    QString View() const { return PreviewWindow()->m_edit->toPlainText(); }
    QString Caption() const { return PreviewWindow()->windowTitle(); }
    void Open() {
        OnInitDialog();
        show();
    }

protected:
    void ShowPreviewMessage(const std::string& text) override {
        messages << QString::fromStdString(text);
        if (realBoxes) CMainDlg::ShowPreviewMessage(text);
    }
    bool RunFileDialog(bool save, std::string& path) override {
        browseSaves.push_back(save);
        if (browseResult) path = *browseResult;
        return browseResult.has_value();
    }
    void ShowAboutBox() override { ++aboutBoxes; }
};

QStringList Items(QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
    return items;
}

void Drop(QWidget* target, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    const QPoint where(target->width() / 2, target->height() / 2);
    QDragEnterEvent enter(where, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDropEvent drop(where, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
}

// A profile file with the two recent lists.
struct Profile {
    QTemporaryDir dir;
    std::unique_ptr<CProfile> profile;
    std::unique_ptr<CRecentFileList> open, save;

    explicit Profile(const QByteArray& text) {
        QFile file(dir.filePath(QStringLiteral("morvel.ini")));
        if (file.open(QIODevice::WriteOnly)) file.write(text);
        file.close();
        profile = std::make_unique<CProfile>(file.fileName().toStdString());
        open = std::make_unique<CRecentFileList>(*profile, 0, "MRU Open", "%d ", 4, 40);
        save = std::make_unique<CRecentFileList>(*profile, 0, "MRU Save", "%d ", 4, 40);
        open->ReadList();
        save->ReadList();
    }
};

// Dialog units by the font's metrics: x * average width / 4, y * height / 8.
QRect Dlu(const QFont& font, const QRect& dlu) {
    const QFontMetrics m(font);
    const int ax = (m.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 26 + 1) / 2;
    const int ay = m.height();
    auto px = [](int v, int base, int div) { return (v * base + div / 2) / div; };
    return QRect(px(dlu.x(), ax, 4), px(dlu.y(), ay, 8), px(dlu.width(), ax, 4), px(dlu.height(), ay, 8));
}

// The texts of each interface language: caption, button 1004, Cancel, the
// about entry, the clipboard item and its TextPad form, the fields' names.
struct LanguageTexts {
    const char *caption, *autoDetect, *cancel, *about, *clipboard, *clipboardTextPad, *inputName, *outputName;
};
const LanguageTexts kEnglish = {"Morvel Ver2.5.1", "ANSI(&A)", "Cancel", "Morvel Version info(&A)...", "Clipboard",
                                "Clipboard(TextPad)", "Input", "Output"};
const LanguageTexts kJapanese = {"Morvel Ver 2.5.1", "自動検出(&A)", "ｷｬﾝｾﾙ", "Morvel のﾊﾞｰｼﾞｮﾝ情報(&A)...",
                                 "クリップボード", "クリップボード(TextPad)", "変換元ファイル", "変換先ファイル"};

// The keyboard on a dialog just shown, its direction buttons enabled.
void Keyboard(TestDlg& dlg, const LanguageTexts& t) {
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    // Tab reaches every control in the template's order, a radio group
    // once; the arrow keys then reach each button of the group.
    const std::vector<std::vector<int>> stops = {{1},    {2},    {1001}, {1003}, {1004, 1005, 1006, 1007, 1030},
                                                 {1010, 1011, 1012, 1013, 1029}, {1009, 1015}, {1016, 1017},
                                                 {1018}, {1019}, {1020}, {1021}, {1026}, {1025}, {1028}, {1}};
    // Every control is named; the fields by their labels.
    std::vector<int> ids;
    for (const std::vector<int>& stop : stops) ids.insert(ids.end(), stop.begin(), stop.end());
    for (int id : ids) QVERIFY2(!dlg.GetDlgItem(id)->accessibleName().isEmpty(), qPrintable(QString::number(id)));
    QCOMPARE(dlg.InputBox()->accessibleName(), QString::fromUtf8(t.inputName));
    QCOMPARE(dlg.OutputBox()->accessibleName(), QString::fromUtf8(t.outputName));
    auto focusedId = [&] {
        QWidget* focus = QApplication::focusWidget();
        for (int id : ids)
            if (dlg.GetDlgItem(id) == focus || dlg.GetDlgItem(id)->isAncestorOf(focus)) return id;
        return 0;
    };
    dlg.Button(IDOK)->setFocus();
    for (const std::vector<int>& stop : stops) {
        QVERIFY2(std::count(stop.begin(), stop.end(), focusedId()), qPrintable(QString::number(focusedId())));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    for (const std::vector<int>& group : stops) {
        if (group.size() < 2) continue;
        dlg.GetDlgItem(group.front())->setFocus();
        std::vector<int> reached;
        for (size_t i = 0; i < group.size(); ++i) {
            reached.push_back(focusedId());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        }
        QCOMPARE(reached, group);
    }
    // Mnemonics: a label's moves to its field, a radio button's picks it.
    QTest::keyClick(&dlg, Qt::Key_O, Qt::AltModifier);
    QCOMPARE(focusedId(), int(IDC_OUTPUT_BOX));
    QTest::keyClick(&dlg, Qt::Key_J, Qt::AltModifier);
    QTRY_COMPARE(dlg.m_inputMode, Jis);
    QTest::keyClick(&dlg, Qt::Key_K, Qt::AltModifier);
    QTRY_COMPARE(dlg.m_outputMode, Jis);
}

struct Opening {
    bool japanese;
    EncodingId in, out;
    int textPad, fromClipboard;
    int inRadio;
    EncodingId inAfter;
    int outRadio;
    EncodingId outAfter;
};

const QString kSample = QStringLiteral("日本語 abc あア\r\n");
const QString kKana = QStringLiteral("abc あア\r\n");

// One preview per row: the input (a file; the clipboard through the field's
// label or an empty field; a missing file; a directory), the modes and width
// options chosen ("kana-full", "kana-half", "alnum-full", "alnum-half"), the
// caption, and what the view shows: the text in UTF-8, or with `hex` the
// bytes of the dump; then the messages (%1: the path).
struct ConversionCase {
    const char *name;
    bool japanese;
    const char *source;
    QByteArray input;
    EncodingId in, out;
    const char* folding;
    bool hex;
    const char* caption;
    QByteArray shown;
    QStringList messages = {};
};
const std::vector<ConversionCase>& ConversionCases() {
    static const std::vector<ConversionCase> cases = [] {
        const QByteArray sjis = Encode("CP932", kSample), sjisKana = Encode("CP932", kKana), sample = Shown(sjis);
        const QByteArray le = Encode("UTF-16LE", kSample), nul(1, '\0'), ffFe = "\xFF\xFE", feFf = "\xFE\xFF";
        // clang-format off
        return std::vector<ConversionCase>{
            {"EUC-JP detected, JIS out, hex", false, "file", Encode("EUC-JP", kSample), AutoDetect, Jis, "", true,
             "DetectEUC-JP->JIS (HEX)", Encode("ISO-2022-JP", kSample) + nul},
            {"Japanese, UTF-8 out shows Shift-JIS", true, "file", sjis, ShiftJis, Utf8, "", false, "Shift-JIS-> UTF-8", sample},
            {"UTF-8 file, UNICODE out shows Shift-JIS", false, "file", Encode("UTF-8", kSample), Utf8, Unicode, "", false,
             "UTF-8->UNICODE", sample},
            {"UNICODE out, hex", false, "file", sjis, ShiftJis, Unicode, "", true, "Shift-JIS->UNICODE (HEX)",
             ffFe + le + QByteArray(2, '\0')},
            {"UTF-8 out, hex", true, "file", sjis, AutoDetect, Utf8, "", true, "検出結果Shift-JIS-> UTF-8 (HEX)",
             Encode("UTF-8", kSample) + nul},
            {"JIS detected, EUC out shown as bytes", false, "file", Encode("ISO-2022-JP", kKana), AutoDetect, EucJp, "",
             false, "DetectJIS-> EUC", Shown(Encode("EUC-JP", kKana))},
            {"JIS out shown with its escapes", true, "file", sjis, ShiftJis, Jis, "", false, "Shift-JIS->JISコード",
             Shown(Encode("ISO-2022-JP", kSample))},
            {"FF FE file while Shift-JIS is chosen", false, "file", ffFe + le, ShiftJis, ShiftJis, "", false,
             "DetectUNICODE-> Shift-JIS", sample},
            {"FE FF mark, little-endian text", false, "file", feFf + le, Jis, ShiftJis, "", false, "DetectUNICODE-> Shift-JIS",
             sample},
            {"FE FF mark, Japanese", true, "file", feFf + le, AutoDetect, Unicode, "", true, "検出結果UNICODE->UNICODE (HEX)",
             ffFe + le + QByteArray(2, '\0')},
            {"undetermined is read as Shift-JIS", false, "file", "\x82\xA0\x1B[A", AutoDetect, ShiftJis, "", false,
             "DetectShift-JIS-> Shift-JIS", "あ\x1B[A"},
            {"empty file, hex", false, "file", "", ShiftJis, ShiftJis, "", true, "Shift-JIS-> Shift-JIS (HEX)", nul},
            {"0x1A ends no copy", false, "file", "ab\x1A" "cd", ShiftJis, ShiftJis, "", false, "Shift-JIS-> Shift-JIS",
             "ab\x1A" "cd"},
            {"width folding", false, "file", Encode("CP932", QStringLiteral("アイ　ａｂｃ１")), ShiftJis, ShiftJis,
             "kana-half alnum-half", false, "Shift-JIS-> Shift-JIS", "ｱｲ abc1"},
            {"missing file, Japanese", true, "missing", "", AutoDetect, EucJp, "", false, "検出結果-> EUCコード", "",
             {"ファイル %1が見つからないか開けません。\n[2]"}},
            {"a directory", false, "dir", "", ShiftJis, ShiftJis, "", false, "Shift-JIS-> Shift-JIS", "",
             {"File %1 not found \n[5]"}},
            {"nothing read, UTF-8 hex fails", false, "missing", "", ShiftJis, Utf8, "", true, "", "",
             {"File %1 not found \n[2]", "Exception at Preview"}},
            {"clipboard label", false, "label", sjis + nul, AutoDetect, ShiftJis, "", false, "DetectShift-JIS-> Shift-JIS",
             sample},
            {"empty field reads the clipboard", true, "empty", sjisKana + nul, ShiftJis, EucJp, "", true,
             "Shift-JIS-> EUCコード (HEX)", Encode("EUC-JP", kKana) + nul},
            {"clipboard block beyond its text", false, "label", QByteArray("abc\0xyz\0", 8), ShiftJis, ShiftJis, "", true,
             "Shift-JIS-> Shift-JIS (HEX)", QByteArray("abc\0xyz\0", 8)},
            {"no text on the clipboard", false, "label", "", ShiftJis, Jis, "", false, "Shift-JIS->JIS", ""},
        };
        // clang-format on
    }();
    return cases;
}
const std::map<EncodingId, int> kInputButtons = {
    {AutoDetect, IDC_IN_AUTO}, {ShiftJis, IDC_IN_SJIS}, {Jis, IDC_IN_JIS}, {EucJp, IDC_IN_EUC}, {Utf8, IDC_IN_UTF8}};
const std::map<EncodingId, int> kOutputButtons = {
    {ShiftJis, IDC_OUT_SJIS}, {Jis, IDC_OUT_JIS}, {EucJp, IDC_OUT_EUC}, {Unicode, IDC_OUT_UNICODE}, {Utf8, IDC_OUT_UTF8}};

// Every event of the main dialog and what it does to the dialog and the
// preview, from a start: "shown" (the input file read and shown as "one ｱ",
// then changed on disk to "two ｱ"), "hidden" (shown, hidden by the Preview
// button, then changed) or "closed" (shown, closed by its close box, then
// changed). Steps: "click:<id>", "drop-in:" / "drop-out:", "browse-in:" /
// "browse-out:" with a file ("three" names a third file, the recent lists'
// one entry; none: the file dialog cancelled), "closeup-in:" /
// "closeup-out:" with the list item selected as it closes, "clip" (a
// clipboard change), "paint" (the main dialog repaints), "esc" (Esc in the
// preview). Then the view, the caption, whether the window is shown, the
// state, the states the refreshes saw, whether the preview was brought to
// the top (-1: not looked at), and what else must hold: "checked:",
// "unchecked:", "enabled:", "disabled:" with an id, "<member>=<value>",
// "input=" / "output=" with the field's text, "browse=open|save".
struct EventCase {
    const char *name, *start, *steps, *view, *caption;
    bool visible;
    char state;
    const char* refreshes;
    int raised;
    const char* expect = "";
};
const char* const kSjis = "Shift-JIS-> Shift-JIS";
const EventCase kEventCases[] = {
    {"output mode", "shown", "click:1013", "one ｱ", "Shift-JIS->UNICODE", true, 'N', "C", -1},
    {"input mode reads again", "shown", "click:1005", "two ｱ", kSjis, true, 'N', "R", -1},
    {"katakana on checks To DBCS", "shown", "click:1018", "one ア", kSjis, true, 'N', "C", -1,
     "checked:1009 unchecked:1015 enabled:1009 enabled:1015 disabled:1016"},
    {"katakana to half", "shown", "click:1018 click:1015", "one ｱ", kSjis, true, 'N', "CC", -1,
     "checked:1015 unchecked:1009"},
    {"Katakana off keeps the check, disables; modes refresh nothing while hidden", "hidden",
     "click:1006 click:1029 click:1018 click:1015 click:1018", "one ｱ", kSjis, false, 'H', "", -1,
     "m_inputMode=2 m_outputMode=8 m_convertKana=0 m_kanaToHalf=1 checked:1015 unchecked:1009 disabled:1009 disabled:1015"},
    {"alphanumerics on checks To DBCS", "shown", "click:1019", "ｏｎｅ　ｱ", kSjis, true, 'N', "C", -1,
     "checked:1017 unchecked:1016 enabled:1016 enabled:1017 disabled:1009"},
    {"alphanumerics back to full", "shown", "click:1019 click:1016 click:1017", "ｏｎｅ　ｱ", kSjis, true, 'N', "CCC", -1,
     "m_alnumToHalf=0 checked:1017 unchecked:1016"},
    {"Alpha numeric off keeps the checks", "hidden", "click:1019 click:1016 click:1019", "one ｱ", kSjis, false, 'H', "",
     -1, "m_convertAlnum=0 m_alnumToHalf=1 checked:1016 unchecked:1017 disabled:1016"},
    {"hex display", "shown", "click:1026", "   0 : 6F 6E 65 20 B1 00  : one ｱ.\n", "Shift-JIS-> Shift-JIS (HEX)", true,
     'N', "C", -1},
    {"hex display while hidden, then Preview", "hidden", "click:1026 click:1025", "   0 : 74 77 6F 20 B1 00  : two ｱ.\n",
     "Shift-JIS-> Shift-JIS (HEX)", true, 'N', "H", -1},
    {"Preview hides", "shown", "click:1025", "one ｱ", kSjis, false, 'H', "", -1},
    {"Esc hides, the state stays", "shown", "esc", "one ｱ", kSjis, false, 'N', "", -1},
    {"the close box hides, the state stays", "closed", "", "one ｱ", kSjis, false, 'N', "", -1},
    {"after the close box Preview shows the last result", "closed", "click:1025", "one ｱ", kSjis, true, 'N', "N", -1},
    {"after the close box an option shows it again", "closed", "click:1013", "one ｱ", "Shift-JIS->UNICODE", true, 'N',
     "C", -1},
    {"file dropped on input", "shown", "drop-in:three", "three", kSjis, true, 'N', "R", -1},
    {"input list closed on an item", "shown", "closeup-in:1", "three", kSjis, true, 'N', "R", -1},
    {"input list closed on nothing", "shown", "closeup-in:-1", "one ｱ", kSjis, true, 'R', "", -1},
    {"input list closed, preview hidden", "hidden", "closeup-in:1", "one ｱ", kSjis, false, 'H', "", -1},
    {"then only the output side converts, the kept input", "shown", "closeup-in:-1 clip click:1026 click:1013",
     "   0 : FF FE 6F 00 6E 00 65 00  20 00 71 FF 00 00  : \uF8F3\uF8F2o.n.e. .q\uF8F3..\n",
     "Shift-JIS->UNICODE (HEX)", true, 'N', "C", -1},
    {"output list closed", "shown", "closeup-out:1", "one ｱ", kSjis, true, 'N', "C", -1, "output=three"},
    {"file dropped on output", "shown", "drop-out:three", "one ｱ", kSjis, true, 'N', "C", -1, "output=three"},
    {"browse input", "shown", "browse-in:three", "three", kSjis, true, 'N', "R", -1, "browse=open"},
    {"browse input cancelled empties the field", "hidden", "browse-in:", "one ｱ", kSjis, false, 'H', "", -1,
     "input= browse=open"},
    {"browse output", "shown", "click:1019 browse-out:three", "ｏｎｅ　ｱ", kSjis, true, 'N', "CC", -1,
     "output=three browse=save"},
    {"browse output, preview hidden, shows the kept input", "shown", "click:1019 click:1025 browse-out:three", "one ｱ",
     kSjis, false, 'H', "C", -1},
    {"clipboard change reads a file input again", "shown", "clip", "two ｱ", kSjis, true, 'N', "R", -1},
    {"clipboard change, preview hidden", "hidden", "clip", "one ｱ", kSjis, false, 'H', "", -1},
    {"clipboard change after the close box shows it", "closed", "clip", "two ｱ", kSjis, true, 'N', "R", -1},
    {"main dialog paints", "shown", "paint", "one ｱ", kSjis, true, 'N', "", 1},
    {"main dialog paints, preview hidden", "hidden", "paint", "one ｱ", kSjis, false, 'H', "", 0},
};

// Counts the times a window is brought to the top.
struct RaiseCounter : QObject {
    int raised = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::ZOrderChange) ++raised;
        return false;
    }
};

}  // namespace

Q_DECLARE_METATYPE(Opening)

class DialogTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString P(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void openingState_data() {
        QTest::addColumn<Opening>("o");
        QTest::newRow("auto detect, Shift-JIS out") << Opening{false, AutoDetect, ShiftJis, 0, 0, 1004, AutoDetect, 1010, ShiftJis};
        QTest::newRow("UTF-8 in and out become Shift-JIS") << Opening{false, Utf8, Utf8, 0, 0, 1005, ShiftJis, 1010, ShiftJis};
        QTest::newRow("UTF-16 in becomes Shift-JIS") << Opening{false, Unicode, Unicode, 0, 0, 1005, ShiftJis, 1013, Unicode};
        QTest::newRow("undetermined in") << Opening{false, Undetermined, Jis, 0, 0, 1005, ShiftJis, 1011, Jis};
        QTest::newRow("EUC, TextPad, clipboard in") << Opening{false, EucJp, EucJp, 1, 1, 1007, EucJp, 1012, EucJp};
        QTest::newRow("Japanese JIS") << Opening{true, Jis, Jis, 0, 0, 1006, Jis, 1011, Jis};
        QTest::newRow("Japanese TextPad, clipboard in") << Opening{true, AutoDetect, ShiftJis, 1, 1, 1004, AutoDetect, 1010, ShiftJis};
    }

    void openingState() {
        QFETCH(Opening, o);
        const LanguageTexts& t = o.japanese ? kJapanese : kEnglish;
        const QString label = QString::fromUtf8(o.textPad ? t.clipboardTextPad : t.clipboard);
        Profile profile("[MRU Open]\n1 =/r/open1.txt\n2 =\n3 =/r/open3.txt\n[MRU Save]\n2 =/r/save2.txt\n");
        TestDlg dlg(o.japanese);
        // What the application hands over, options the opening resets included.
        auto handOver = [&] {
            dlg.m_inputMode = o.in;
            dlg.m_outputMode = o.out;
            dlg.m_detectedInput = Jis;
            dlg.m_kanaToHalf = dlg.m_alnumToHalf = dlg.m_convertKana = dlg.m_convertAlnum = 1;
        };
        handOver();
        dlg.m_textPadMode = o.textPad;
        dlg.m_inputFromClipboard = o.fromClipboard;
        dlg.m_inputPath = "/home/u/in.txt";
        dlg.m_outputPath = "/home/u/out.txt";
        dlg.m_closeAfterRun = 1;
        dlg.m_recentOpen = profile.open.get();
        dlg.m_recentSave = profile.save.get();
        // Shown twice: the second showing starts over from the same handover.
        for (int showing = 0; showing < 2; ++showing) {
            dlg.Open();
            for (int id : {1004, 1005, 1006, 1007, 1030}) QCOMPARE(dlg.Button(id)->isChecked(), id == o.inRadio);
            for (int id : {1010, 1011, 1012, 1013, 1029}) QCOMPARE(dlg.Button(id)->isChecked(), id == o.outRadio);
            QCOMPARE(dlg.m_inputMode, o.inAfter);
            QCOMPARE(dlg.m_outputMode, o.outAfter);
            QCOMPARE(dlg.m_detectedInput, o.in == AutoDetect ? AutoDetect : Jis);
            QCOMPARE(dlg.m_convertKana + dlg.m_convertAlnum + dlg.m_kanaToHalf + dlg.m_alnumToHalf, 0);
            for (int id : {1009, 1015, 1016, 1017}) {
                QVERIFY(!dlg.Button(id)->isChecked());
                QVERIFY(!dlg.Button(id)->isEnabled());
            }
            for (int id : {1018, 1019, 1026}) QVERIFY(!dlg.Button(id)->isChecked());
            QVERIFY(dlg.Button(1028)->isChecked());
            QCOMPARE(QString::fromStdString(dlg.m_clipboardLabel), label);
            QCOMPARE(Items(dlg.InputBox()), (QStringList{label, "/r/open1.txt", "/r/open3.txt"}));
            QCOMPARE(Items(dlg.OutputBox()), (QStringList{label, "/r/save2.txt"}));
            QCOMPARE(dlg.InputBox()->currentText(), o.fromClipboard ? label : QStringLiteral("/home/u/in.txt"));
            QCOMPARE(dlg.OutputBox()->currentText(), QStringLiteral("/home/u/out.txt"));
            QCOMPARE(dlg.OutputBox()->GetCurSel(), -1);
            QCOMPARE(dlg.m_previewState, Hidden);
            QVERIFY(!dlg.PreviewWindow()->isVisible());
            // The language's texts.
            QCOMPARE(dlg.windowTitle(), QString::fromUtf8(t.caption));
            QCOMPARE(dlg.Button(1004)->text(), QString::fromUtf8(t.autoDetect));
            QCOMPARE(dlg.Button(2)->text(), QString::fromUtf8(t.cancel));
            QCOMPARE(dlg.actions().value(0)->text(), QString::fromUtf8(t.about));
            QVERIFY(!dlg.windowIcon().isNull());
            // Places and sizes: the template's dialog units in the dialog font.
            const std::pair<int, QRect> places[] = {
                {0, {0, 0, 315, 185}},    {1, {255, 20, 40, 14}},   {2, {255, 110, 40, 14}}, {1001, {80, 20, 12, 13}},
                {1004, {16, 80, 55, 20}}, {1008, {6, 70, 70, 105}}, {1013, {192, o.japanese ? 126 : 125, 52, 20}},
                {1014, {181, 70, 67, 105}}, {1009, {104, 95, 63, 10}}, {1017, {104, 160, 65, 10}},
                {1019, {94, 130, 70, 10}}, {1026, {255, 70, 55, 10}}, {1025, {255, 45, 40, 13}},
                {1028, {255, 153, 55, 15}}};
            for (const auto& [id, dlu] : places)
                QCOMPARE(id == 0 ? QRect(QPoint(0, 0), dlg.size()) : dlg.GetDlgItem(id)->geometry(), Dlu(dlg.font(), dlu));
            if (o.japanese) QVERIFY(QFontInfo(dlg.font()).family().contains(QStringLiteral("CJK")));
            // Leave changes behind for the next showing to undo; the first
            // showing also goes through the keyboard.
            for (int id : {1018, 1019, 1030, 1026}) dlg.Click(id);
            if (showing == 0) Keyboard(dlg, t);
            handOver();
            dlg.hide();
        }
    }

    // How the dialog ends and what it collects: Execute and Enter collect
    // the fields and check boxes, the others nothing.
    void collection_data() {
        QTest::addColumn<bool>("japanese");
        QTest::addColumn<int>("textPad");
        QTest::addColumn<QStringList>("typed");      // into input, output; "=" leaves the field as opened
        QTest::addColumn<QString>("end");            // execute, enter, cancel, esc, close
        QTest::addColumn<QStringList>("collected");  // m_inputPath, m_outputPath
        QTest::addColumn<int>("outputToClipboard");
        using S = QStringList;
        const S handed = {"/home/u/in.txt", "/home/u/out.txt"}, typed = {"=", "/tmp/typed.txt"};
        QTest::newRow("labels") << false << 0 << S{"Clipboard", "Clipboard"} << "execute" << S{"", ""} << 1;
        QTest::newRow("empty fields") << false << 0 << S{"", ""} << "execute" << S{"", ""} << 0;
        QTest::newRow("label in other case is a path") << false << 0 << S{"clipboard", "CLIPBOARD"} << "execute"
                                                       << S{"clipboard", "CLIPBOARD"} << 0;
        QTest::newRow("TextPad label") << false << 1 << S{"Clipboard(TextPad)", "Clipboard(TextPad)"} << "execute"
                                       << S{"", ""} << 1;
        QTest::newRow("plain label in TextPad mode is a path") << false << 1 << S{"Clipboard", "Clipboard"} << "execute"
                                                               << S{"Clipboard", "Clipboard"} << 0;
        QTest::newRow("Japanese label") << true << 0 << S{"クリップボード", "クリップボード"} << "execute" << S{"", ""} << 1;
        QTest::newRow("paths as typed") << false << 0 << S{"/tmp/a %s %n.txt", " /tmp/b.txt "} << "execute"
                                        << S{"/tmp/a %s %n.txt", " /tmp/b.txt "} << 0;
        QTest::newRow("handed paths come back") << false << 0 << S{"=", "="} << "execute" << handed << 0;
        QTest::newRow("Enter") << false << 0 << typed << "enter" << S{handed[0], typed[1]} << 0;
        for (const char* end : {"cancel", "esc", "close"}) QTest::newRow(end) << false << 0 << typed << end << handed << 0;
    }

    void collection() {
        QFETCH(bool, japanese);
        QFETCH(int, textPad);
        QFETCH(QStringList, typed);
        QFETCH(QString, end);
        TestDlg dlg(japanese);
        dlg.m_textPadMode = textPad;
        dlg.m_inputPath = "/home/u/in.txt";
        dlg.m_outputPath = "/home/u/out.txt";
        QTimer::singleShot(0, &dlg, [&] {
            CDropComboBox* boxes[] = {dlg.InputBox(), dlg.OutputBox()};
            for (int i = 0; i < 2; ++i) {
                if (typed[i] == "=") continue;
                QLineEdit* edit = boxes[i]->lineEdit();
                edit->clear();
                for (QChar ch : typed[i])  // any characters, one key each
                    QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(ch), Qt::NoModifier);
            }
            dlg.Click(IDC_CLOSE_AFTER_RUN);
            if (end == "execute") dlg.Click(IDOK);
            if (end == "cancel") dlg.Click(IDCANCEL);
            if (end == "enter") QTest::keyClick(&dlg, Qt::Key_Return);
            if (end == "esc") QTest::keyClick(&dlg, Qt::Key_Escape);
            if (end == "close") dlg.close();
        });
        const bool collects = end == "execute" || end == "enter";
        QCOMPARE(dlg.DoModal(), collects ? IDOK : IDCANCEL);
        QFETCH(QStringList, collected);
        QFETCH(int, outputToClipboard);
        QCOMPARE(QString::fromStdString(dlg.m_inputPath), collected[0]);
        QCOMPARE(QString::fromStdString(dlg.m_outputPath), collected[1]);
        QCOMPARE(dlg.m_outputToClipboard, outputToClipboard);
        QCOMPARE(dlg.m_closeAfterRun, int(collects));
        // Once the dialog has ended, clipboard changes are not its business.
        dlg.m_previewState = Current;
        dlg.OnClipboardChanged();
        QCOMPARE(dlg.refreshes, QString());
    }

    void drops_data() {
        QTest::addColumn<QList<QUrl>>("urls");
        QTest::addColumn<QByteArray>("field");  // the field's bytes after the drop
        QTest::addColumn<int>("notifications");
        const QByteArray before = "/before.txt";
        QTest::newRow("two files") << QList<QUrl>{QUrl::fromLocalFile("/a"), QUrl::fromLocalFile("/b")} << before << 0;
        QTest::newRow("a folder") << QList<QUrl>{QUrl::fromLocalFile(QDir::tempPath())} << QDir::tempPath().toUtf8() << 1;
        QTest::newRow("not a local file") << QList<QUrl>{QUrl("https://example.org/a.txt")} << before << 0;
        QTest::newRow("file on another host") << QList<QUrl>{QUrl("file://elsewhere/a.txt")} << before << 0;
        QTest::newRow("name that is not UTF-8") << QList<QUrl>{QUrl::fromEncoded("file:///tmp/%FF%FE.txt")}
                                                << QByteArray("/tmp/\xFF\xFE.txt") << 1;
        QTest::newRow("nothing") << QList<QUrl>{} << before << 0;
    }

    void drops() {
        QFETCH(QList<QUrl>, urls);
        CDropComboBox box;
        box.SetWindowText("/before.txt");
        QList<int> codes;
        connect(&box, &CDropComboBox::notify, [&](int code) { codes << code; });
        box.show();
        Drop(&box, urls);
        QFETCH(QByteArray, field);
        QFETCH(int, notifications);
        QCOMPARE(QByteArray::fromStdString(box.GetWindowText()), field);
        QCOMPARE(codes, QList<int>(notifications, kDropNotification));
    }

    void blankOnEdit_data() {
        QTest::addColumn<int>("flag");
        QTest::addColumn<int>("selected");  // -1: the field holds typed text
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("text");
        QTest::newRow("label selected, flag set") << 1 << 0 << "x" << " ";
        QTest::newRow("the next key replaces the blank") << 1 << 0 << "/t" << "t";
        QTest::newRow("label selected, flag clear") << 0 << 0 << "x" << "Clipboardx";
        QTest::newRow("path selected") << 1 << 1 << "x" << "/a.txtx";
        QTest::newRow("nothing selected") << 1 << -1 << "x" << "abcx";
    }

    void blankOnEdit() {
        QFETCH(int, flag);
        QFETCH(int, selected);
        QFETCH(QString, typed);
        QFETCH(QString, text);
        CDropComboBox box;
        box.AddString("Clipboard");
        box.AddString("/a.txt");
        box.m_blankLabelOnEdit = flag;
        box.show();
        if (selected >= 0) {
            box.SetCurSel(selected);
            box.lineEdit()->end(false);
        } else {
            QTest::keyClicks(box.lineEdit(), "abc");
        }
        QTest::keyClicks(box.lineEdit(), typed);
        QCOMPARE(box.currentText(), text);
    }

    void hostileProfileEntries() {
        const QByteArray longPath = "/" + QByteArray(4000, 'x') + ".txt";
        Profile profile("[MRU Open]\n1 =" + longPath + "\n2 =/a\tb\x1b[31m\x7f\xc2\x9b.txt\n3 =/bad\xff\xfe.txt\n" +
                        "4 =/rtl\xe2\x80\xae.txt\n[MRU Save]\n1 =" + longPath + "\n");
        TestDlg dlg;
        dlg.m_recentOpen = profile.open.get();
        dlg.m_recentSave = profile.save.get();
        const QSize size = dlg.size();
        const QRect inputRect = dlg.InputBox()->geometry(), outputRect = dlg.OutputBox()->geometry();
        dlg.Open();
        QCOMPARE(dlg.size(), size);
        QCOMPARE(dlg.InputBox()->geometry(), inputRect);
        QCOMPARE(dlg.OutputBox()->geometry(), outputRect);
        QCOMPARE(dlg.InputBox()->count(), 5);
        for (const QString& text : Items(dlg.InputBox())) {
            for (QChar c : text) QVERIFY2(c.category() != QChar::Other_Control && c != QChar(0x202E), qPrintable(text));
            QVERIFY(!text.contains(QChar::ReplacementCharacter));
        }
        dlg.InputBox()->showPopup();
        QVERIFY(dlg.InputBox()->view()->window()->width() <= dlg.screen()->geometry().width());
        dlg.InputBox()->hidePopup();
        // Each entry chosen and executed comes back byte for byte.
        for (int i = 1; i <= 4; ++i) {
            dlg.InputBox()->SetCurSel(i);
            dlg.Click(IDOK);
            QCOMPARE(dlg.m_inputPath, (*profile.open)[i - 1]);
        }
    }

    void aboutEntry_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("boxes");
        for (int id : {16, 17, 31, 32, 15}) QTest::addRow("command %d", id) << QString::number(id) << int(id / 16 == 1);
        QTest::newRow("F1") << "F1" << 1;
        QTest::newRow("context menu") << "menu" << 1;
    }

    void aboutEntry() {
        QFETCH(QString, how);
        QFETCH(int, boxes);
        TestDlg dlg;
        dlg.Open();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        if (how == "F1") {
            QTest::keyClick(&dlg, Qt::Key_F1);
        } else if (how == "menu") {
            // The entry picked by its mnemonic from the menu that opens.
            QTimer::singleShot(0, [] {
                if (QWidget* menu = QApplication::activePopupWidget()) QTest::keyClick(menu, Qt::Key_A);
            });
            QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), dlg.mapToGlobal(QPoint(5, 5)));
            QCoreApplication::sendEvent(&dlg, &event);
        } else {
            dlg.OnSysCommand(how.toInt());
        }
        QTRY_COMPARE(dlg.aboutBoxes, boxes);
    }

    // The about box, Japanese in every language, closed by Enter, Esc or OK.
    void aboutBox() {
        for (int key : {int(Qt::Key_Return), int(Qt::Key_Escape), 0}) {
            CAboutDlg about;
            QCOMPARE(about.windowTitle(), QStringLiteral("Morvelのバージョン情報"));
            QStringList texts;
            for (QLabel* l : about.findChildren<QLabel*>()) texts << l->text();
            QVERIFY(texts.contains(QStringLiteral("Morvel Ver 2.5.1")));
            QTimer::singleShot(0, &about, [&] {
                if (key != 0) QTest::keyClick(&about, Qt::Key(key));
                for (QAbstractButton* b : about.findChildren<QAbstractButton*>())
                    if (key == 0) b->click();  // OK
            });
            QCOMPARE(about.exec(), key == Qt::Key_Escape ? int(QDialog::Rejected) : int(QDialog::Accepted));
            QVERIFY(!about.isVisible());
        }
    }

    void conversion_data() {
        QTest::addColumn<int>("row");
        for (size_t i = 0; i < ConversionCases().size(); ++i) QTest::newRow(ConversionCases()[i].name) << int(i);
    }

    void conversion() {
        QFETCH(int, row);
        const ConversionCase& c = ConversionCases()[row];
        TestDlg dlg(c.japanese);
        dlg.realBoxes = true;
        QString path = P(QString(c.name).replace(' ', '_'));
        const QString source = c.source;
        if (source == "file") WriteFile(path, c.input);
        if (source == "dir") QVERIFY(QDir().mkpath(path));
        if (source == "label" || source == "empty") {
            if (!c.input.isEmpty()) dlg.clipboard = c.input;
            path = source == "label" ? QString::fromStdString(dlg.m_clipboardLabel) : QString();
        }
        dlg.m_inputPath = path.toStdString();
        dlg.Open();
        dlg.Click(kInputButtons.at(c.in));
        dlg.Click(kOutputButtons.at(c.out));
        const QString folding = c.folding;
        if (folding.contains("kana")) {
            dlg.Click(IDC_CONVERT_KANA);
            dlg.Click(folding.contains("kana-half") ? IDC_KANA_TO_HALF : IDC_KANA_TO_FULL);
        }
        if (folding.contains("alnum")) {
            dlg.Click(IDC_CONVERT_ALNUM);
            dlg.Click(folding.contains("alnum-half") ? IDC_ALNUM_TO_HALF : IDC_ALNUM_TO_FULL);
        }
        if (c.hex) dlg.Click(IDC_HEX_DISPLAY);
        dlg.Click(IDC_PREVIEW);

        QCOMPARE(dlg.Caption(), QString::fromUtf8(c.caption));
        // A hex view's bytes: the hex part of each line, between the offset's
        // " : " and the character column's.
        QByteArray dumped;
        for (const QString& line : dlg.View().split('\n', Qt::SkipEmptyParts))
            dumped += QByteArray::fromHex(line.section(QStringLiteral(" : "), 1, 1).toLatin1());
        QCOMPARE(c.hex ? dumped : dlg.View().toUtf8(), c.shown);
        QStringList messages = c.messages;
        for (QString& m : messages) m.replace("%1", path);
        QCOMPARE(dlg.messages, messages);
        // The messages: one box on the dialog, modal to it, under the
        // program's name; a second message while it is open takes its place.
        const QList<QMessageBox*> boxes = dlg.findChildren<QMessageBox*>();
        QCOMPARE(boxes.size(), int(!messages.isEmpty()));
        for (QMessageBox* box : boxes) {
            QVERIFY(box->isVisible());
            QCOMPARE(box->windowModality(), Qt::WindowModal);
            QCOMPARE(box->windowTitle(), QStringLiteral("Morvel"));
            QCOMPARE(box->text(), messages.last());
            box->button(QMessageBox::Ok)->click();
            QTRY_VERIFY(dlg.findChildren<QMessageBox*>().isEmpty());
        }
        // A caption that names the input as detected goes with the dialog's
        // mode turned to detect (the mark's rule); the radio buttons keep the
        // user's choice.
        const bool detected = dlg.Caption().startsWith("Detect") || dlg.Caption().startsWith("検出結果");
        QCOMPARE(dlg.m_inputMode, detected ? AutoDetect : c.in);
        QVERIFY(dlg.Button(kInputButtons.at(c.in))->isChecked());
        QCOMPARE(dlg.m_previewState, Current);
        QVERIFY(dlg.PreviewWindow()->isVisible());
        QCOMPARE(dlg.peeks, int(source == "label" || source == "empty"));
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
        // The host's connection of the clipboard notification.
        connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, &dlg, &CMainDlg::OnClipboardChanged);
        dlg.Open();
        CPreviewDlg* preview = dlg.PreviewWindow();
        dlg.Click(IDC_PREVIEW);
        QCOMPARE(dlg.View(), QStringLiteral("one ｱ"));
        if (QString(c.start) == "hidden") dlg.Click(IDC_PREVIEW);
        if (QString(c.start) == "closed") preview->close();
        WriteFile(in, "two \xB1");
        RaiseCounter raises;
        preview->installEventFilter(&raises);
        dlg.refreshes.clear();

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
                Drop(box, {QUrl::fromLocalFile(path)});
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
        QCOMPARE(dlg.refreshes, QString(c.refreshes));
        if (c.raised >= 0) QCOMPARE(raises.raised > 0, c.raised > 0);
        // Hidden by the Preview button, the result is let go.
        if (dlg.m_previewState == Hidden) QVERIFY(dlg.m_previewOut.Empty());
        QVERIFY(dlg.messages.isEmpty());
        const std::map<QString, int> members = {
            {"m_inputMode", dlg.m_inputMode},     {"m_outputMode", dlg.m_outputMode},
            {"m_kanaToHalf", dlg.m_kanaToHalf},   {"m_alnumToHalf", dlg.m_alnumToHalf},
            {"m_convertKana", dlg.m_convertKana}, {"m_convertAlnum", dlg.m_convertAlnum}};
        for (const QString& e : QString(c.expect).split(' ', Qt::SkipEmptyParts)) {
            static const QRegularExpression separator(QStringLiteral("[:=]"));
            const QString key = e.section(separator, 0, 0), value = e.section(separator, 1);
            if (key.endsWith("checked"))
                QVERIFY2(dlg.Button(value.toInt())->isChecked() == (key == "checked"), qPrintable(e));
            else if (key.endsWith("abled"))
                QVERIFY2(dlg.Button(value.toInt())->isEnabled() == (key == "enabled"), qPrintable(e));
            else if (key == "input" || key == "output")
                QCOMPARE(QString::fromStdString((key == "input" ? dlg.InputBox() : dlg.OutputBox())->GetWindowText()),
                         value == "three" ? three : value);
            else if (key == "browse")
                QCOMPARE(dlg.browseSaves, std::vector<bool>{value == "save"});
            else
                QVERIFY2(members.count(key) && members.at(key) == value.toInt(), qPrintable(e));
        }
    }

    // The window: a tool window at the template's size in its font, first
    // shown at the main dialog's client origin, the view filling it at any
    // size, fixed-pitch, black on white under a dark theme.
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
        QCOMPARE(preview->windowType(), Qt::Tool);
        QCOMPARE(preview->parentWidget(), &dlg);
        QCOMPARE(preview->size(), Dlu(preview->font(), QRect(0, 0, 193, 173)).size());
        dlg.Click(IDC_PREVIEW);
        QVERIFY(preview->isVisible());
        QCOMPARE(preview->pos(), dlg.mapToGlobal(QPoint(0, 0)));
        CColorEdit* edit = preview->m_edit;
        QVERIFY(edit->isReadOnly());
        const QFontInfo font(edit->font());
        QVERIFY(font.fixedPitch());
        QCOMPARE(font.pointSizeF(), QFontInfo(preview->font()).pointSizeF());
        const QImage shot = edit->grab().toImage();
        QCOMPARE(shot.pixelColor(shot.width() - 30, shot.height() - 30), QColor(Qt::white));
        QCOMPARE(edit->palette().color(QPalette::Text), QColor(Qt::black));
        // Resized, the view fills the window.
        for (const QSize& size : {QSize(640, 90), QSize(120, 480)}) {
            preview->resize(size);
            QCoreApplication::processEvents();
            QCOMPARE(edit->geometry(), preview->rect());
        }
        // Moved by the user, it keeps its place when shown again.
        preview->move(300, 200);
        dlg.Click(IDC_PREVIEW);
        dlg.Click(IDC_PREVIEW);
        QCOMPARE(preview->pos(), QPoint(300, 200));
        QApplication::setPalette(theme);
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
        dlg.Open();
        dlg.Click(IDC_PREVIEW);
        QCOMPARE(dlg.m_previewOut.Size(), text.size() + 1);
        QCOMPARE(dlg.View(), QString::fromLatin1(text.left(cap - 1)).replace("\r\n", "\n"));
        dlg.Click(IDC_HEX_DISPLAY);
        QCOMPARE(dlg.m_previewOut.Size(), text.size() + 1);
        CByteStream dump;
        reference::FormatHexDump(dlg.m_previewOut, dump);
        const QString dumped = QString::fromLatin1(reinterpret_cast<const char*>(dump.Data()), cap - 1);
        QCOMPARE(dlg.View(), QString(dumped).replace("\r\n", "\n"));
    }

    // Inputs the preview must survive without a crash, a hang or a write:
    // the message or an empty view.
    void badInput() {
        const QString dir = P("bad");
        QVERIFY(QDir().mkpath(dir));
        QByteArray binary;
        for (int i = 0; i < 4096; ++i) binary += char((i * 7919) >> 3);
        WriteFile(dir + "/binary", binary);
        QVERIFY(::mkfifo(QFile::encodeName(dir + "/fifo").constData(), 0600) == 0);
        const QStringList before = QDir(dir).entryList(QDir::AllEntries | QDir::System | QDir::Hidden);

        TestDlg dlg;
        dlg.Open();
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
};

QTEST_MAIN(DialogTest)
#include "dialog_tests.moc"
