// The main dialog, its combo boxes and the about box, driven through their
// controls on the offscreen platform. Expected values are the dialog's
// documented behaviour: its template (ids, texts, places in dialog units),
// the opening rules, the handlers' effects and the collection rules.
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
#include <QMimeData>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <optional>

#include "app/profile.h"
#include "app/recent_file_list.h"
#include "ui/about_dlg.h"
#include "ui/drop_combo_box.h"
#include "ui/main_dlg.h"

using namespace morvel;

namespace {

// The dialog with its modal helpers replaced: the file dialog answers with
// `browseResult` (nullopt: cancelled), the about box is counted.
class TestDlg : public CMainDlg {
public:
    explicit TestDlg(bool japanese = false) : CMainDlg(japanese ? Language::kJapanese : Language::kEnglish, nullptr) {}
    std::optional<std::string> browseResult;
    std::vector<bool> browseSaves;
    int aboutBoxes = 0;
    std::vector<int> refreshes;  // the state each RefreshPreview saw

protected:
    bool RunFileDialog(bool save, std::string& path) override {
        browseSaves.push_back(save);
        if (browseResult) path = *browseResult;
        return browseResult.has_value();
    }
    void ShowAboutBox() override { ++aboutBoxes; }
};

QAbstractButton* Button(const CMainDlg& dlg, int id) { return qobject_cast<QAbstractButton*>(dlg.GetDlgItem(id)); }
QString Field(CDropComboBox* box) { return QString::fromStdString(box->GetWindowText()); }

// Typing, any characters.
void Type(QWidget* w, const QString& text) {
    for (QChar c : text) QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

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
// about entry, the clipboard item and its TextPad form.
struct LanguageTexts {
    const char *caption, *autoDetect, *cancel, *about, *clipboard, *clipboardTextPad;
};
const LanguageTexts kEnglish = {"Morvel Ver2.5.1", "ANSI(&A)", "Cancel", "Morvel Version info(&A)...", "Clipboard",
                                "Clipboard(TextPad)"};
const LanguageTexts kJapanese = {"Morvel Ver 2.5.1", "自動検出(&A)", "ｷｬﾝｾﾙ", "Morvel のﾊﾞｰｼﾞｮﾝ情報(&A)...",
                                 "クリップボード", "クリップボード(TextPad)"};

struct Opening {
    bool japanese;
    EncodingId in, out;
    int textPad, fromClipboard;
    int inRadio;
    EncodingId inAfter;
    int outRadio;
    EncodingId outAfter;
};

// The handlers, each row a sequence of steps on the open dialog (the
// preview shown first where `previewActive`): "click:<id>", "browse-in:" /
// "browse-out:" with the chosen path (none: cancelled), "drop-in:" /
// "drop-out:" with a path, "closeup-in:" / "closeup-out:" with the item
// selected when the list closes, "clip:<text>" for a clipboard change. Then
// the preview states each refresh saw and the final state (H Hidden,
// R ReloadInput, C Reconvert, N Current), and what must hold: "checked:",
// "unchecked:", "enabled:", "disabled:" with an id, "<member>=<value>",
// "input=" / "output=" with the field's text, "preview=visible|hidden",
// "browse=open|save".
struct HandlerCase {
    const char *name;
    bool previewActive;
    const char *steps, *refreshes, *finalState, *expect;
};
const HandlerCase kHandlerCases[] = {
    {"input JIS, preview hidden", false, "click:1006", "", "H", "m_inputMode=2"},
    {"input UTF-8, preview on", true, "click:1030", "R", "N", "m_inputMode=8"},
    {"input auto", true, "click:1006 click:1004", "RR", "N", "m_inputMode=5"},
    {"output UNICODE", true, "click:1013", "C", "N", "m_outputMode=4"},
    {"output UTF8, preview hidden", false, "click:1029", "", "H", "m_outputMode=8"},
    {"output EUC", true, "click:1012", "C", "N", "m_outputMode=3"},
    {"Katakana on checks To DBCS", true, "click:1018", "C", "N",
     "m_convertKana=1 checked:1009 unchecked:1015 enabled:1009 enabled:1015 disabled:1016"},
    {"katakana to half", true, "click:1018 click:1015", "CC", "N", "m_kanaToHalf=1 checked:1015 unchecked:1009"},
    {"Katakana off keeps the check, disables", false, "click:1018 click:1015 click:1018", "", "H",
     "m_convertKana=0 m_kanaToHalf=1 checked:1015 unchecked:1009 disabled:1009 disabled:1015"},
    {"Alpha numeric on checks To DBCS", false, "click:1019", "", "H",
     "m_convertAlnum=1 checked:1017 unchecked:1016 enabled:1016 enabled:1017 disabled:1009"},
    {"alnum to half, back to full", true, "click:1019 click:1016 click:1017", "CCC", "N",
     "m_alnumToHalf=0 checked:1017 unchecked:1016"},
    {"Alpha numeric off keeps the checks", false, "click:1019 click:1016 click:1019", "", "H",
     "m_convertAlnum=0 m_alnumToHalf=1 checked:1016 unchecked:1017 disabled:1016"},
    {"directions disabled at opening", false, "click:1015 click:1016", "", "H",
     "m_kanaToHalf=0 m_alnumToHalf=0 unchecked:1015"},
    {"hex, preview hidden", false, "click:1026", "", "H", "m_hexDisplay=1"},
    {"hex, preview current", true, "click:1026 click:1026", "CC", "N", "m_hexDisplay=0"},
    {"preview shows", false, "click:1025", "H", "N", "preview=visible"},
    {"preview hides", true, "click:1025", "", "H", "preview=hidden"},
    {"browse input", true, "browse-in:/home/u/picked.txt", "R", "N", "input=/home/u/picked.txt browse=open"},
    {"browse input cancelled empties the field", false, "browse-in:", "", "H", "input= browse=open"},
    {"browse output", true, "browse-out:/home/u/o.txt", "C", "N", "output=/home/u/o.txt browse=save"},
    {"drop on input", true, "drop-in:/home/u/d.txt", "R", "N", "input=/home/u/d.txt"},
    {"drop on output", true, "drop-out:/home/u/e.txt", "C", "N", "output=/home/u/e.txt"},
    {"input list closed on an item", true, "closeup-in:1", "R", "N", "input=/r/a.txt"},
    {"input list closed on nothing", true, "closeup-in:-1", "", "R", ""},
    {"input list closed, preview hidden", false, "closeup-in:1", "", "H", ""},
    {"output list closed", true, "closeup-out:1", "C", "N", "output=/r/b.txt"},
    {"clipboard changes, preview current", true, "clip:one clip:two", "RR", "N", ""},
    {"clipboard change, preview hidden", false, "clip:three", "", "H", ""},
};

}  // namespace

Q_DECLARE_METATYPE(Opening)

class MainDlgTest : public QObject {
    Q_OBJECT

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
            dlg.OnInitDialog();
            dlg.show();
            for (int id : {1004, 1005, 1006, 1007, 1030}) QCOMPARE(Button(dlg, id)->isChecked(), id == o.inRadio);
            for (int id : {1010, 1011, 1012, 1013, 1029}) QCOMPARE(Button(dlg, id)->isChecked(), id == o.outRadio);
            QCOMPARE(dlg.m_inputMode, o.inAfter);
            QCOMPARE(dlg.m_outputMode, o.outAfter);
            QCOMPARE(dlg.m_detectedInput, o.in == AutoDetect ? AutoDetect : Jis);
            QCOMPARE(dlg.m_convertKana + dlg.m_convertAlnum + dlg.m_kanaToHalf + dlg.m_alnumToHalf, 0);
            for (int id : {1009, 1015, 1016, 1017}) {
                QVERIFY(!Button(dlg, id)->isChecked());
                QVERIFY(!Button(dlg, id)->isEnabled());
            }
            for (int id : {1018, 1019, 1026}) QVERIFY(!Button(dlg, id)->isChecked());
            QVERIFY(Button(dlg, 1028)->isChecked());
            QCOMPARE(QString::fromStdString(dlg.m_clipboardLabel), label);
            QCOMPARE(Items(dlg.InputBox()), (QStringList{label, "/r/open1.txt", "/r/open3.txt"}));
            QCOMPARE(Items(dlg.OutputBox()), (QStringList{label, "/r/save2.txt"}));
            QCOMPARE(dlg.InputBox()->currentText(), o.fromClipboard ? label : QStringLiteral("/home/u/in.txt"));
            QCOMPARE(dlg.OutputBox()->currentText(), QStringLiteral("/home/u/out.txt"));
            QCOMPARE(dlg.OutputBox()->GetCurSel(), -1);
            QCOMPARE(dlg.m_previewState, Hidden);
            QVERIFY(!dlg.PreviewWindow()->isVisible());
            // The language's texts; the about box is Japanese in every language.
            QCOMPARE(dlg.windowTitle(), QString::fromUtf8(t.caption));
            QCOMPARE(Button(dlg, 1004)->text(), QString::fromUtf8(t.autoDetect));
            QCOMPARE(Button(dlg, 2)->text(), QString::fromUtf8(t.cancel));
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
            // Leave changes behind for the next showing to undo.
            for (int id : {1018, 1030, 1026}) Button(dlg, id)->click();
            handOver();
            dlg.hide();
        }
        CAboutDlg about(&dlg);
        QCOMPARE(about.windowTitle(), QStringLiteral("Morvelのバージョン情報"));
        QStringList texts;
        for (QLabel* l : about.findChildren<QLabel*>()) texts << l->text();
        QVERIFY(texts.contains(QStringLiteral("Morvel Ver 2.5.1")));
    }

    void handlers_data() {
        QTest::addColumn<int>("row");
        for (size_t i = 0; i < std::size(kHandlerCases); ++i) QTest::newRow(kHandlerCases[i].name) << int(i);
    }

    void handlers() {
        QFETCH(int, row);
        const HandlerCase& c = kHandlerCases[row];
        Profile profile("[MRU Open]\n1 =/r/a.txt\n[MRU Save]\n1 =/r/b.txt\n");
        TestDlg dlg;
        dlg.m_inputMode = ShiftJis;
        dlg.m_inputPath = "/home/u/in.txt";
        dlg.m_recentOpen = profile.open.get();
        dlg.m_recentSave = profile.save.get();
        dlg.onRefreshPreview = [&dlg] { dlg.refreshes.push_back(dlg.m_previewState); };
        // The host's connection of the clipboard notification.
        connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, &dlg, &CMainDlg::OnClipboardChanged);
        dlg.OnInitDialog();
        dlg.show();
        if (c.previewActive) {
            Button(dlg, IDC_PREVIEW)->click();
            QCOMPARE(dlg.m_previewState, Current);
            dlg.refreshes.clear();
        }
        for (const QString& step : QString(c.steps).split(' ', Qt::SkipEmptyParts)) {
            const QString verb = step.section(':', 0, 0), arg = step.section(':', 1);
            CDropComboBox* box = verb.endsWith("-in") ? dlg.InputBox() : dlg.OutputBox();
            if (verb == "click") {
                Button(dlg, arg.toInt())->click();
            } else if (verb.startsWith("browse")) {
                dlg.browseResult = arg.isEmpty() ? std::nullopt : std::optional(arg.toStdString());
                Button(dlg, verb == "browse-in" ? IDC_BROWSE_INPUT : IDC_BROWSE_OUTPUT)->click();
            } else if (verb.startsWith("drop")) {
                Drop(box, {QUrl::fromLocalFile(arg)});
            } else if (verb.startsWith("closeup")) {
                box->showPopup();
                box->setCurrentIndex(arg.toInt());
                box->hidePopup();
                QCoreApplication::processEvents();
            } else if (verb == "clip") {
                QGuiApplication::clipboard()->setText(arg);
                QCoreApplication::processEvents();
            }
        }
        auto letter = [](int state) { return QLatin1Char("HR?CN"[state]); };
        QString seen;
        for (int state : dlg.refreshes) seen += letter(state);
        QCOMPARE(seen, QString(c.refreshes));
        QCOMPARE(QString(letter(dlg.m_previewState)), QString(c.finalState));
        const std::map<QString, int> members = {
            {"m_inputMode", dlg.m_inputMode},     {"m_outputMode", dlg.m_outputMode},
            {"m_kanaToHalf", dlg.m_kanaToHalf},   {"m_alnumToHalf", dlg.m_alnumToHalf},
            {"m_convertKana", dlg.m_convertKana}, {"m_convertAlnum", dlg.m_convertAlnum},
            {"m_hexDisplay", dlg.m_hexDisplay}};
        for (const QString& e : QString(c.expect).split(' ', Qt::SkipEmptyParts)) {
            static const QRegularExpression separator(QStringLiteral("[:=]"));
            const QString key = e.section(separator, 0, 0), value = e.section(separator, 1);
            if (key == "checked" || key == "unchecked")
                QVERIFY2(Button(dlg, value.toInt())->isChecked() == (key == "checked"), qPrintable(e));
            else if (key == "enabled" || key == "disabled")
                QVERIFY2(Button(dlg, value.toInt())->isEnabled() == (key == "enabled"), qPrintable(e));
            else if (key == "input" || key == "output")
                QCOMPARE(Field(key == "input" ? dlg.InputBox() : dlg.OutputBox()), value);
            else if (key == "preview")
                QCOMPARE(dlg.PreviewWindow()->isVisible(), value == "visible");
            else if (key == "browse")
                QCOMPARE(dlg.browseSaves, std::vector<bool>{value == "save"});
            else
                QVERIFY2(members.count(key) && members.at(key) == value.toInt(), qPrintable(e));
        }
    }

    void collection_data() {
        QTest::addColumn<bool>("japanese");
        QTest::addColumn<int>("textPad");
        QTest::addColumn<QStringList>("typed");      // into input, output; "=" leaves the field as opened
        QTest::addColumn<QStringList>("collected");  // m_inputPath, m_outputPath
        QTest::addColumn<int>("outputToClipboard");
        using S = QStringList;
        QTest::newRow("labels") << false << 0 << S{"Clipboard", "Clipboard"} << S{"", ""} << 1;
        QTest::newRow("empty fields") << false << 0 << S{"", ""} << S{"", ""} << 0;
        QTest::newRow("label in other case is a path") << false << 0 << S{"clipboard", "CLIPBOARD"}
                                                       << S{"clipboard", "CLIPBOARD"} << 0;
        QTest::newRow("TextPad label") << false << 1 << S{"Clipboard(TextPad)", "Clipboard(TextPad)"} << S{"", ""} << 1;
        QTest::newRow("plain label in TextPad mode is a path") << false << 1 << S{"Clipboard", "Clipboard"}
                                                               << S{"Clipboard", "Clipboard"} << 0;
        QTest::newRow("Japanese label") << true << 0 << S{"クリップボード", "クリップボード"} << S{"", ""} << 1;
        QTest::newRow("paths as typed") << false << 0 << S{"/tmp/a %s %n.txt", " /tmp/b.txt "}
                                        << S{"/tmp/a %s %n.txt", " /tmp/b.txt "} << 0;
        QTest::newRow("handed paths come back") << false << 0 << S{"=", "="} << S{"/home/u/in.txt", "/home/u/out.txt"}
                                                << 0;
    }

    void collection() {
        QFETCH(bool, japanese);
        QFETCH(int, textPad);
        QFETCH(QStringList, typed);
        TestDlg dlg(japanese);
        dlg.m_textPadMode = textPad;
        dlg.m_inputPath = "/home/u/in.txt";
        dlg.m_outputPath = "/home/u/out.txt";
        dlg.OnInitDialog();
        dlg.show();
        CDropComboBox* boxes[] = {dlg.InputBox(), dlg.OutputBox()};
        for (int i = 0; i < 2; ++i) {
            if (typed[i] == "=") continue;
            boxes[i]->lineEdit()->clear();
            Type(boxes[i]->lineEdit(), typed[i]);
        }
        Button(dlg, IDOK)->click();
        QFETCH(QStringList, collected);
        QFETCH(int, outputToClipboard);
        QCOMPARE(QString::fromStdString(dlg.m_inputPath), collected[0]);
        QCOMPARE(QString::fromStdString(dlg.m_outputPath), collected[1]);
        QCOMPARE(dlg.m_outputToClipboard, outputToClipboard);
    }

    void modalResult_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("result");
        QTest::newRow("Execute") << "execute" << IDOK;
        QTest::newRow("Enter") << "enter" << IDOK;
        QTest::newRow("Cancel") << "cancel" << IDCANCEL;
        QTest::newRow("Esc") << "esc" << IDCANCEL;
        QTest::newRow("close box") << "close" << IDCANCEL;
    }

    void modalResult() {
        QFETCH(QString, how);
        QFETCH(int, result);
        TestDlg dlg;
        int refreshes = 0;
        dlg.onRefreshPreview = [&] { ++refreshes; };
        QTimer::singleShot(0, &dlg, [&] {
            QTest::keyClicks(dlg.OutputBox()->lineEdit(), "/tmp/typed.txt");
            Button(dlg, 1028)->click();
            if (how == "execute") Button(dlg, IDOK)->click();
            if (how == "cancel") Button(dlg, IDCANCEL)->click();
            if (how == "enter") QTest::keyClick(&dlg, Qt::Key_Return);
            if (how == "esc") QTest::keyClick(&dlg, Qt::Key_Escape);
            if (how == "close") dlg.close();
        });
        QCOMPARE(dlg.DoModal(), result);
        // Execute collects the fields and check boxes; the others do not.
        QCOMPARE(dlg.m_outputPath, result == IDOK ? std::string("/tmp/typed.txt") : std::string());
        QCOMPARE(dlg.m_closeAfterRun, result == IDOK ? 1 : 0);
        // Once the dialog has ended, clipboard changes are not its business.
        dlg.m_previewState = Current;
        dlg.OnClipboardChanged();
        QCOMPARE(refreshes, 0);
    }

    void drops_data() {
        QTest::addColumn<QList<QUrl>>("urls");
        QTest::addColumn<QByteArray>("field");  // the field's bytes after the drop
        QTest::addColumn<int>("notifications");
        const QByteArray before = "/before.txt";
        QTest::newRow("one file") << QList<QUrl>{QUrl::fromLocalFile("/home/u/a b.txt")} << QByteArray("/home/u/a b.txt") << 1;
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
        dlg.OnInitDialog();
        dlg.show();
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
            Button(dlg, IDOK)->click();
            QCOMPARE(dlg.m_inputPath, (*profile.open)[i - 1]);
        }
    }

    void keyboardAndNames_data() {
        QTest::addColumn<bool>("japanese");
        QTest::addColumn<QStringList>("fieldNames");
        QTest::newRow("English") << false << QStringList{"Input", "Output"};
        QTest::newRow("Japanese") << true << QStringList{"変換元ファイル", "変換先ファイル"};
    }

    void keyboardAndNames() {
        QFETCH(bool, japanese);
        QFETCH(QStringList, fieldNames);
        TestDlg dlg(japanese);
        dlg.OnInitDialog();
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        Button(dlg, 1018)->click();
        Button(dlg, 1019)->click();
        // Tab reaches every control in the template's order, a radio group
        // once; the arrow keys then reach each button of the group.
        const std::vector<std::vector<int>> stops = {{1},    {2},    {1001}, {1003}, {1004, 1005, 1006, 1007, 1030},
                                                     {1010, 1011, 1012, 1013, 1029}, {1009, 1015}, {1016, 1017},
                                                     {1018}, {1019}, {1020}, {1021}, {1026}, {1025}, {1028}, {1}};
        // Every control is named; the fields by their labels.
        std::vector<int> ids;
        for (const std::vector<int>& stop : stops) ids.insert(ids.end(), stop.begin(), stop.end());
        for (int id : ids) QVERIFY2(!dlg.GetDlgItem(id)->accessibleName().isEmpty(), qPrintable(QString::number(id)));
        QCOMPARE(dlg.InputBox()->accessibleName(), fieldNames[0]);
        QCOMPARE(dlg.OutputBox()->accessibleName(), fieldNames[1]);
        auto focusedId = [&] {
            QWidget* focus = QApplication::focusWidget();
            for (int id : ids)
                if (dlg.GetDlgItem(id) == focus || dlg.GetDlgItem(id)->isAncestorOf(focus)) return id;
            return 0;
        };
        Button(dlg, IDOK)->setFocus();
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
        dlg.OnInitDialog();
        dlg.show();
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

    void aboutBoxCloses() {
        for (int key : {int(Qt::Key_Return), int(Qt::Key_Escape), 0}) {
            CAboutDlg about;
            QTimer::singleShot(0, &about, [&] {
                if (key != 0) QTest::keyClick(&about, Qt::Key(key));
                for (QAbstractButton* b : about.findChildren<QAbstractButton*>())
                    if (key == 0) b->click();  // OK
            });
            QCOMPARE(about.exec(), key == Qt::Key_Escape ? int(QDialog::Rejected) : int(QDialog::Accepted));
            QVERIFY(!about.isVisible());
        }
    }
};

QTEST_MAIN(MainDlgTest)
#include "main_dlg_tests.moc"
