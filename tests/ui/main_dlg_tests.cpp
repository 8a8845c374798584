// The main dialog, its combo boxes and the about box, driven through their
// controls on the offscreen platform. Expected values are the dialog's
// documented behaviour: its template (ids, texts, places in dialog units),
// the opening rules, the handlers' effects and the collection rules.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
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

// The dialog with its two modal helpers replaced: the file dialog answers
// with `browseResult` (nullopt: cancelled), the about box is counted.
class TestDlg : public CMainDlg {
public:
    using CMainDlg::CMainDlg;
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

std::string Str(const QString& s) { return s.toStdString(); }

// Typing, any characters.
void Type(QWidget* w, const QString& text) {
    for (QChar c : text) QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

// The field's text as the dialog collects it.
QString Field(CDropComboBox* box) { return QString::fromStdString(box->GetWindowText()); }

QStringList Items(QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
    return items;
}

void Drop(QWidget* target, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    const QPointF where(target->width() / 2.0, target->height() / 2.0);
    QDragEnterEvent enter(where.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDropEvent drop(where, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
}

// A profile with the two recent lists, entries "1 " to "4 ".
struct Profile {
    QTemporaryDir dir;
    std::unique_ptr<CProfile> profile;
    std::unique_ptr<CRecentFileList> open, save;

    explicit Profile(const QByteArray& text) {
        const QString path = dir.filePath(QStringLiteral("morvel.ini"));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly)) file.write(text);
        file.close();
        profile = std::make_unique<CProfile>(Str(path));
        open = std::make_unique<CRecentFileList>(*profile, 0, "MRU Open", "%d ", 4, 40);
        save = std::make_unique<CRecentFileList>(*profile, 0, "MRU Save", "%d ", 4, 40);
        open->ReadList();
        save->ReadList();
    }
};

// Dialog units by the font's metrics: x * average width / 4, y * height / 8.
QRect Dlu(const QFont& font, int x, int y, int cx, int cy) {
    const QFontMetrics m(font);
    const int ax = (m.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 26 + 1) / 2;
    const int ay = m.height();
    auto px = [](int v, int base, int div) { return (v * base + div / 2) / div; };
    return QRect(px(x, ax, 4), px(y, ay, 8), px(cx, ax, 4), px(cy, ay, 8));
}

}  // namespace

class MainDlgTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void openingState_data();
    void openingState();
    void languageTexts_data();
    void languageTexts();
    void layoutFollowsTemplate_data();
    void layoutFollowsTemplate();
    void handlers_data();
    void handlers();
    void collection_data();
    void collection();
    void modalResult_data();
    void modalResult();
    void drops_data();
    void drops();
    void blankOnEdit_data();
    void blankOnEdit();
    void hostileProfileEntries();
    void keyboardAndNames_data();
    void keyboardAndNames();
    void aboutEntry_data();
    void aboutEntry();
    void aboutBoxCloses_data();
    void aboutBoxCloses();
};

// ---- Opening ---------------------------------------------------------------

void MainDlgTest::openingState_data() {
    QTest::addColumn<bool>("japanese");
    QTest::addColumn<int>("inputMode");
    QTest::addColumn<int>("outputMode");
    QTest::addColumn<int>("textPad");
    QTest::addColumn<int>("fromClipboard");
    QTest::addColumn<int>("checkedInput");
    QTest::addColumn<int>("inputModeAfter");
    QTest::addColumn<int>("checkedOutput");
    QTest::addColumn<int>("outputModeAfter");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("inputField");

    const QString path = QStringLiteral("/home/u/in.txt");
    const QString clip = QStringLiteral("Clipboard"), clipTp = QStringLiteral("Clipboard(TextPad)");
    const QString clipJa = QStringLiteral("クリップボード"), clipJaTp = QStringLiteral("クリップボード(TextPad)");
    QTest::newRow("auto detect, Shift-JIS out") << false << int(AutoDetect) << int(ShiftJis) << 0 << 0 << 1004
                                                << int(AutoDetect) << 1010 << int(ShiftJis) << clip << path;
    QTest::newRow("UTF-8 in and out become Shift-JIS") << false << int(Utf8) << int(Utf8) << 0 << 0 << 1005
                                                       << int(ShiftJis) << 1010 << int(ShiftJis) << clip << path;
    QTest::newRow("UTF-16 in becomes Shift-JIS, out stays") << false << int(Unicode) << int(Unicode) << 0 << 0
                                                            << 1005 << int(ShiftJis) << 1013 << int(Unicode) << clip
                                                            << path;
    QTest::newRow("undetermined in") << false << int(Undetermined) << int(Jis) << 0 << 0 << 1005 << int(ShiftJis)
                                     << 1011 << int(Jis) << clip << path;
    QTest::newRow("EUC, TextPad, clipboard input") << false << int(EucJp) << int(EucJp) << 1 << 1 << 1007
                                                   << int(EucJp) << 1012 << int(EucJp) << clipTp << clipTp;
    QTest::newRow("Japanese JIS") << true << int(Jis) << int(Jis) << 0 << 0 << 1006 << int(Jis) << 1011 << int(Jis)
                                  << clipJa << path;
    QTest::newRow("Japanese TextPad, clipboard input") << true << int(AutoDetect) << int(ShiftJis) << 1 << 1 << 1004
                                                       << int(AutoDetect) << 1010 << int(ShiftJis) << clipJaTp
                                                       << clipJaTp;
}

void MainDlgTest::openingState() {
    QFETCH(bool, japanese);
    QFETCH(int, inputMode);
    QFETCH(int, outputMode);
    QFETCH(int, textPad);
    QFETCH(int, fromClipboard);
    Profile profile("[MRU Open]\n1 =/r/open1.txt\n2 =\n3 =/r/open3.txt\n[MRU Save]\n2 =/r/save2.txt\n");
    TestDlg dlg(japanese ? Language::kJapanese : Language::kEnglish, nullptr);
    // What the application hands over, including options the opening resets.
    dlg.m_inputMode = EncodingId(inputMode);
    dlg.m_detectedInput = Jis;
    dlg.m_outputMode = EncodingId(outputMode);
    dlg.m_kanaToHalf = dlg.m_alnumToHalf = dlg.m_convertKana = dlg.m_convertAlnum = 1;
    dlg.m_textPadMode = textPad;
    dlg.m_inputFromClipboard = fromClipboard;
    dlg.m_inputPath = "/home/u/in.txt";
    dlg.m_outputPath = "/home/u/out.txt";
    dlg.m_closeAfterRun = 1;
    dlg.m_recentOpen = profile.open.get();
    dlg.m_recentSave = profile.save.get();
    // Shown twice: the second showing starts over from the same handover.
    for (int showing = 0; showing < 2; ++showing) {
        dlg.OnInitDialog();
        dlg.show();
        QFETCH(int, checkedInput);
        QFETCH(int, inputModeAfter);
        QFETCH(int, checkedOutput);
        QFETCH(int, outputModeAfter);
        QFETCH(QString, label);
        QFETCH(QString, inputField);
        for (int id : {1004, 1005, 1006, 1007, 1030}) QCOMPARE(Button(dlg, id)->isChecked(), id == checkedInput);
        for (int id : {1010, 1011, 1012, 1013, 1029}) QCOMPARE(Button(dlg, id)->isChecked(), id == checkedOutput);
        QCOMPARE(int(dlg.m_inputMode), inputModeAfter);
        QCOMPARE(int(dlg.m_outputMode), outputModeAfter);
        QCOMPARE(int(dlg.m_detectedInput), inputMode == AutoDetect ? int(AutoDetect) : int(Jis));
        QCOMPARE(dlg.m_convertKana + dlg.m_convertAlnum + dlg.m_kanaToHalf + dlg.m_alnumToHalf, 0);
        for (int id : {1009, 1015, 1016, 1017}) {
            QVERIFY(!Button(dlg, id)->isChecked());
            QVERIFY(!Button(dlg, id)->isEnabled());
        }
        QVERIFY(!Button(dlg, 1018)->isChecked());
        QVERIFY(!Button(dlg, 1019)->isChecked());
        QVERIFY(!Button(dlg, 1026)->isChecked());
        QVERIFY(Button(dlg, 1028)->isChecked());
        QCOMPARE(QString::fromStdString(dlg.m_clipboardLabel), label);
        QCOMPARE(Items(dlg.InputBox()), (QStringList{label, "/r/open1.txt", "/r/open3.txt"}));
        QCOMPARE(Items(dlg.OutputBox()), (QStringList{label, "/r/save2.txt"}));
        QCOMPARE(dlg.InputBox()->currentText(), inputField);
        QCOMPARE(dlg.OutputBox()->currentText(), QStringLiteral("/home/u/out.txt"));
        QCOMPARE(dlg.OutputBox()->GetCurSel(), -1);
        QCOMPARE(dlg.m_previewState, Hidden);
        QVERIFY(!dlg.PreviewWindow()->isVisible());
        // Leave changes behind for the next showing to undo.
        Button(dlg, 1018)->click();
        Button(dlg, 1030)->click();
        Button(dlg, 1026)->click();
        dlg.m_inputMode = EncodingId(inputMode);
        dlg.m_outputMode = EncodingId(outputMode);
        dlg.m_detectedInput = Jis;
        dlg.hide();
    }
}

void MainDlgTest::languageTexts_data() {
    QTest::addColumn<bool>("japanese");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("autoDetect");
    QTest::addColumn<QString>("cancel");
    QTest::addColumn<QString>("aboutEntry");
    QTest::newRow("English") << false << "Morvel Ver2.5.1" << "ANSI(&A)" << "Cancel" << "Morvel Version info(&A)...";
    QTest::newRow("Japanese") << true << "Morvel Ver 2.5.1" << "自動検出(&A)" << "ｷｬﾝｾﾙ"
                              << "Morvel のﾊﾞｰｼﾞｮﾝ情報(&A)...";
}

void MainDlgTest::languageTexts() {
    QFETCH(bool, japanese);
    QFETCH(QString, caption);
    QFETCH(QString, autoDetect);
    QFETCH(QString, cancel);
    QFETCH(QString, aboutEntry);
    TestDlg dlg(japanese ? Language::kJapanese : Language::kEnglish, nullptr);
    dlg.OnInitDialog();
    QCOMPARE(dlg.windowTitle(), caption);
    QCOMPARE(Button(dlg, 1004)->text(), autoDetect);
    QCOMPARE(Button(dlg, 2)->text(), cancel);
    QVERIFY(!dlg.windowIcon().isNull());
    QCOMPARE(dlg.actions().size(), 1);
    QCOMPARE(dlg.actions().first()->text(), aboutEntry);
    // The about box is Japanese whatever the interface language.
    CAboutDlg about(&dlg);
    QCOMPARE(about.windowTitle(), QStringLiteral("Morvelのバージョン情報"));
    QStringList texts;
    for (QLabel* label : about.findChildren<QLabel*>()) texts << label->text();
    QVERIFY(texts.contains(QStringLiteral("Morvel Ver 2.5.1")));
}

// ---- Layout ----------------------------------------------------------------

void MainDlgTest::layoutFollowsTemplate_data() {
    QTest::addColumn<bool>("japanese");
    QTest::addColumn<int>("id");
    QTest::addColumn<QRect>("dlu");
    for (bool ja : {false, true}) {
        const char* lang = ja ? "ja" : "en";
        auto row = [&](int id, int x, int y, int cx, int cy) {
            QTest::addRow("%s %d", lang, id) << ja << id << QRect(x, y, cx, cy);
        };
        row(1, 255, 20, 40, 14);
        row(2, 255, 110, 40, 14);
        row(1001, 80, 20, 12, 13);
        row(1003, 80, 45, 12, 13);
        row(1004, 16, 80, 55, 20);
        row(1030, 16, 140, 55, 20);
        row(1008, 6, 70, 70, 105);
        row(1013, 192, ja ? 126 : 125, 52, 20);
        row(1014, 181, 70, 67, 105);
        row(1009, 104, 95, 63, 10);
        row(1017, 104, 160, 65, 10);
        row(1019, 94, 130, 70, 10);
        row(1026, 255, 70, 55, 10);
        row(1025, 255, 45, 40, 13);
        row(1028, 255, 153, 55, 15);
        row(0, 0, 0, 315, 185);  // the dialog
    }
}

void MainDlgTest::layoutFollowsTemplate() {
    QFETCH(bool, japanese);
    QFETCH(int, id);
    QFETCH(QRect, dlu);
    TestDlg dlg(japanese ? Language::kJapanese : Language::kEnglish, nullptr);
    const QRect expected = Dlu(dlg.font(), dlu.x(), dlu.y(), dlu.width(), dlu.height());
    QCOMPARE(id == 0 ? QRect(QPoint(0, 0), dlg.size()) : dlg.GetDlgItem(id)->geometry(), expected);
    if (japanese) QVERIFY(QFontInfo(dlg.font()).family().contains(QStringLiteral("CJK")));
}

// ---- Handlers --------------------------------------------------------------

// Steps: "click:<id>", "browse-in:<path>" / "browse-out:<path>" (an empty
// path cancels), "drop-in:<path>" / "drop-out:<path>", "closeup-in:<index>" /
// "closeup-out:<index>" (the list dropped and closed with that item
// selected), "clip:<text>" (the clipboard changes).
// Expectations: "checked:<id>", "unchecked:<id>", "enabled:<id>",
// "disabled:<id>", "<member>=<value>", "input=<text>", "output=<text>",
// "preview=visible|hidden".
void MainDlgTest::handlers_data() {
    QTest::addColumn<bool>("previewActive");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QList<int>>("refreshes");  // state seen by each refresh
    QTest::addColumn<int>("finalState");
    QTest::addColumn<QStringList>("expect");
    using L = QList<int>;
    using S = QStringList;
    const int H = Hidden, R = ReloadInput, C = Reconvert, N = Current;

    QTest::newRow("input JIS, preview hidden") << false << S{"click:1006"} << L{} << H << S{"m_inputMode=2"};
    QTest::newRow("input UTF-8, preview on") << true << S{"click:1030"} << L{R} << N << S{"m_inputMode=8"};
    QTest::newRow("input auto, preview on") << true << S{"click:1006", "click:1004"} << L{R, R} << N
                                            << S{"m_inputMode=5"};
    QTest::newRow("output UNICODE, preview on") << true << S{"click:1013"} << L{C} << N << S{"m_outputMode=4"};
    QTest::newRow("output UTF8, preview hidden") << false << S{"click:1029"} << L{} << H << S{"m_outputMode=8"};
    QTest::newRow("output EUC, preview on") << true << S{"click:1012"} << L{C} << N << S{"m_outputMode=3"};
    QTest::newRow("Katakana on checks To DBCS")
        << true << S{"click:1018"} << L{C} << N
        << S{"m_convertKana=1", "checked:1009", "unchecked:1015", "enabled:1009", "enabled:1015", "disabled:1016"};
    QTest::newRow("katakana to half") << true << S{"click:1018", "click:1015"} << L{C, C} << N
                                      << S{"m_kanaToHalf=1", "checked:1015", "unchecked:1009"};
    QTest::newRow("Katakana off keeps the check, disables")
        << false << S{"click:1018", "click:1015", "click:1018"} << L{} << H
        << S{"m_convertKana=0", "m_kanaToHalf=1", "checked:1015", "unchecked:1009", "disabled:1009", "disabled:1015"};
    QTest::newRow("Alpha numeric on checks To DBCS")
        << false << S{"click:1019"} << L{} << H
        << S{"m_convertAlnum=1", "checked:1017", "unchecked:1016", "enabled:1016", "enabled:1017", "disabled:1009"};
    QTest::newRow("alnum to half, back to full") << true << S{"click:1019", "click:1016", "click:1017"} << L{C, C, C}
                                                 << N << S{"m_alnumToHalf=0", "checked:1017", "unchecked:1016"};
    QTest::newRow("Alpha numeric off keeps the checks")
        << false << S{"click:1019", "click:1016", "click:1019"} << L{} << H
        << S{"m_convertAlnum=0", "m_alnumToHalf=1", "checked:1016", "unchecked:1017", "disabled:1016"};
    QTest::newRow("directions stay disabled at opening") << false << S{"click:1015", "click:1016"} << L{} << H
                                                         << S{"m_kanaToHalf=0", "m_alnumToHalf=0", "unchecked:1015"};
    QTest::newRow("hex, preview hidden") << false << S{"click:1026"} << L{} << H << S{"m_hexDisplay=1"};
    QTest::newRow("hex, preview current") << true << S{"click:1026", "click:1026"} << L{C, C} << N
                                          << S{"m_hexDisplay=0"};
    QTest::newRow("preview shows") << false << S{"click:1025"} << L{H} << N << S{"preview=visible"};
    QTest::newRow("preview hides") << true << S{"click:1025"} << L{} << H << S{"preview=hidden"};
    QTest::newRow("browse input chosen") << true << S{"browse-in:/home/u/picked.txt"} << L{R} << N
                                         << S{"input=/home/u/picked.txt", "browse=open"};
    QTest::newRow("browse input cancelled empties the field") << false << S{"browse-in:"} << L{} << H
                                                              << S{"input=", "browse=open"};
    QTest::newRow("browse output") << true << S{"browse-out:/home/u/o.txt"} << L{C} << N
                                   << S{"output=/home/u/o.txt", "browse=save"};
    QTest::newRow("browse collects the check boxes") << false << S{"click:1018", "browse-out:"} << L{} << H
                                                     << S{"m_convertKana=1", "output="};
    QTest::newRow("drop on input") << true << S{"drop-in:/home/u/d.txt"} << L{R} << N << S{"input=/home/u/d.txt"};
    QTest::newRow("drop on output") << true << S{"drop-out:/home/u/e.txt"} << L{C} << N << S{"output=/home/u/e.txt"};
    QTest::newRow("input list closed on an item") << true << S{"closeup-in:1"} << L{R} << N << S{"input=/r/a.txt"};
    QTest::newRow("input list closed with nothing") << true << S{"closeup-in:-1"} << L{} << R << S{};
    QTest::newRow("input list closed, preview hidden") << false << S{"closeup-in:1"} << L{} << H << S{};
    QTest::newRow("output list closed") << true << S{"closeup-out:1"} << L{C} << N << S{"output=/r/b.txt"};
    QTest::newRow("clipboard change, preview current") << true << S{"clip:one", "clip:two"} << L{R, R} << N << S{};
    QTest::newRow("clipboard change, preview hidden") << false << S{"clip:three"} << L{} << H << S{};
}

void MainDlgTest::handlers() {
    QFETCH(bool, previewActive);
    QFETCH(QStringList, steps);
    QFETCH(QList<int>, refreshes);
    QFETCH(int, finalState);
    QFETCH(QStringList, expect);
    Profile profile("[MRU Open]\n1 =/r/a.txt\n[MRU Save]\n1 =/r/b.txt\n");
    TestDlg dlg(Language::kEnglish, nullptr);
    dlg.m_inputMode = ShiftJis;
    dlg.m_inputPath = "/home/u/in.txt";
    dlg.m_recentOpen = profile.open.get();
    dlg.m_recentSave = profile.save.get();
    dlg.onRefreshPreview = [&dlg] { dlg.refreshes.push_back(dlg.m_previewState); };
    // The host's connection of the clipboard notification.
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, &dlg, &CMainDlg::OnClipboardChanged);
    dlg.OnInitDialog();
    dlg.show();
    if (previewActive) {
        Button(dlg, IDC_PREVIEW)->click();
        QCOMPARE(dlg.m_previewState, Current);
        dlg.refreshes.clear();
    }
    for (const QString& step : steps) {
        const QString verb = step.section(':', 0, 0), arg = step.section(':', 1);
        CDropComboBox* box = verb.endsWith("-in") ? dlg.InputBox() : dlg.OutputBox();
        if (verb == "click") {
            Button(dlg, arg.toInt())->click();
        } else if (verb.startsWith("browse")) {
            dlg.browseResult = arg.isEmpty() ? std::nullopt : std::optional(Str(arg));
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
    QCOMPARE(QList<int>(dlg.refreshes.begin(), dlg.refreshes.end()), refreshes);
    QCOMPARE(int(dlg.m_previewState), finalState);
    const std::map<QString, int> members = {
        {"m_inputMode", dlg.m_inputMode},       {"m_outputMode", dlg.m_outputMode},
        {"m_kanaToHalf", dlg.m_kanaToHalf},     {"m_alnumToHalf", dlg.m_alnumToHalf},
        {"m_convertKana", dlg.m_convertKana},   {"m_convertAlnum", dlg.m_convertAlnum},
        {"m_hexDisplay", dlg.m_hexDisplay}};
    for (const QString& e : expect) {
        const QString key = e.section(QRegularExpression("[:=]"), 0, 0), value = e.section(QRegularExpression("[:=]"), 1);
        if (key == "checked" || key == "unchecked")
            QVERIFY2(Button(dlg, value.toInt())->isChecked() == (key == "checked"), qPrintable(e));
        else if (key == "enabled" || key == "disabled")
            QVERIFY2(Button(dlg, value.toInt())->isEnabled() == (key == "enabled"), qPrintable(e));
        else if (key == "input")
            QCOMPARE(Field(dlg.InputBox()), value);
        else if (key == "output")
            QCOMPARE(Field(dlg.OutputBox()), value);
        else if (key == "preview")
            QCOMPARE(dlg.PreviewWindow()->isVisible(), value == "visible");
        else if (key == "browse")
            QCOMPARE(dlg.browseSaves, std::vector<bool>{value == "save"});
        else
            QVERIFY2(members.count(key) && members.at(key) == value.toInt(), qPrintable(e));
    }
}

// ---- Collection ------------------------------------------------------------

void MainDlgTest::collection_data() {
    QTest::addColumn<bool>("japanese");
    QTest::addColumn<int>("textPad");
    QTest::addColumn<QString>("input");   // typed into the field; "=" leaves it as opened
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("inputPath");
    QTest::addColumn<QString>("outputPath");
    QTest::addColumn<int>("outputToClipboard");
    QTest::newRow("labels") << false << 0 << "Clipboard" << "Clipboard" << "" << "" << 1;
    QTest::newRow("empty fields") << false << 0 << "" << "" << "" << "" << 0;
    QTest::newRow("label in other case is a path") << false << 0 << "clipboard" << "CLIPBOARD" << "clipboard"
                                                   << "CLIPBOARD" << 0;
    QTest::newRow("TextPad label") << false << 1 << "Clipboard(TextPad)" << "Clipboard(TextPad)" << "" << "" << 1;
    QTest::newRow("plain label in TextPad mode is a path") << false << 1 << "Clipboard" << "Clipboard"
                                                           << "Clipboard" << "Clipboard" << 0;
    QTest::newRow("Japanese label") << true << 0 << "クリップボード" << "クリップボード" << "" << "" << 1;
    QTest::newRow("paths as typed") << false << 0 << "/tmp/a %s %n.txt" << " /tmp/b.txt " << "/tmp/a %s %n.txt"
                                    << " /tmp/b.txt " << 0;
    QTest::newRow("handed paths come back") << false << 0 << "=" << "=" << "/home/u/in.txt" << "/home/u/out.txt" << 0;
}

void MainDlgTest::collection() {
    QFETCH(bool, japanese);
    QFETCH(int, textPad);
    QFETCH(QString, input);
    QFETCH(QString, output);
    TestDlg dlg(japanese ? Language::kJapanese : Language::kEnglish, nullptr);
    dlg.m_textPadMode = textPad;
    dlg.m_inputPath = "/home/u/in.txt";
    dlg.m_outputPath = "/home/u/out.txt";
    dlg.OnInitDialog();
    dlg.show();
    if (input != "=") {
        dlg.InputBox()->lineEdit()->clear();
        Type(dlg.InputBox()->lineEdit(), input);
    }
    if (output != "=") {
        dlg.OutputBox()->lineEdit()->clear();
        Type(dlg.OutputBox()->lineEdit(), output);
    }
    Button(dlg, IDOK)->click();
    QFETCH(QString, inputPath);
    QFETCH(QString, outputPath);
    QFETCH(int, outputToClipboard);
    QCOMPARE(QString::fromStdString(dlg.m_inputPath), inputPath);
    QCOMPARE(QString::fromStdString(dlg.m_outputPath), outputPath);
    QCOMPARE(dlg.m_outputToClipboard, outputToClipboard);
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
}

void MainDlgTest::modalResult_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("collected");
    QTest::newRow("Execute") << "execute" << IDOK << true;
    QTest::newRow("Enter") << "enter" << IDOK << true;
    QTest::newRow("Cancel") << "cancel" << IDCANCEL << false;
    QTest::newRow("Esc") << "esc" << IDCANCEL << false;
    QTest::newRow("close box") << "close" << IDCANCEL << false;
}

void MainDlgTest::modalResult() {
    QFETCH(QString, how);
    TestDlg dlg(Language::kEnglish, nullptr);
    dlg.m_inputPath = "/home/u/in.txt";
    int refreshesAfter = -1;
    dlg.onRefreshPreview = [&] { ++refreshesAfter; };
    QTimer::singleShot(0, &dlg, [&] {
        QTest::keyClicks(dlg.OutputBox()->lineEdit(), "/tmp/typed.txt");
        Button(dlg, 1028)->click();
        if (how == "execute") Button(dlg, IDOK)->click();
        if (how == "cancel") Button(dlg, IDCANCEL)->click();
        if (how == "enter") QTest::keyClick(&dlg, Qt::Key_Return);
        if (how == "esc") QTest::keyClick(&dlg, Qt::Key_Escape);
        if (how == "close") dlg.close();
    });
    QFETCH(int, result);
    QFETCH(bool, collected);
    QCOMPARE(dlg.DoModal(), result);
    QCOMPARE(dlg.m_outputPath, collected ? std::string("/tmp/typed.txt") : std::string());
    QCOMPARE(dlg.m_closeAfterRun, collected ? 1 : 0);
    // After the showing, clipboard changes are nobody's business.
    dlg.m_previewState = Current;
    dlg.OnClipboardChanged();
    QCOMPARE(refreshesAfter, -1);
}

// ---- Combo box ---------------------------------------------------------------

void MainDlgTest::drops_data() {
    QTest::addColumn<QList<QUrl>>("urls");
    QTest::addColumn<QByteArray>("field");  // the field's bytes after the drop
    QTest::addColumn<int>("notifications");
    const QByteArray before = "/before.txt";
    QTest::newRow("one file") << QList<QUrl>{QUrl::fromLocalFile("/home/u/a b.txt")} << QByteArray("/home/u/a b.txt")
                              << 1;
    QTest::newRow("two files") << QList<QUrl>{QUrl::fromLocalFile("/a.txt"), QUrl::fromLocalFile("/b.txt")} << before
                               << 0;
    QTest::newRow("a folder") << QList<QUrl>{QUrl::fromLocalFile(QDir::tempPath())} << QDir::tempPath().toUtf8() << 1;
    QTest::newRow("not a local file") << QList<QUrl>{QUrl("https://example.org/a.txt")} << before << 0;
    QTest::newRow("file on another host") << QList<QUrl>{QUrl("file://elsewhere/a.txt")} << before << 0;
    QTest::newRow("name that is not UTF-8") << QList<QUrl>{QUrl::fromEncoded("file:///tmp/%FF%FE.txt")}
                                            << QByteArray("/tmp/\xFF\xFE.txt") << 1;
    QTest::newRow("Japanese name") << QList<QUrl>{QUrl::fromLocalFile("/tmp/日本語.txt")}
                                   << QByteArray("/tmp/日本語.txt") << 1;
    QTest::newRow("nothing") << QList<QUrl>{} << before << 0;
}

void MainDlgTest::drops() {
    QFETCH(QList<QUrl>, urls);
    QFETCH(QByteArray, field);
    QFETCH(int, notifications);
    CDropComboBox box;
    box.SetWindowText("/before.txt");
    QList<int> codes;
    connect(&box, &CDropComboBox::notify, [&](int code) { codes << code; });
    box.show();
    Drop(&box, urls);
    QCOMPARE(QByteArray::fromStdString(box.GetWindowText()), field);
    QCOMPARE(codes, QList<int>(notifications, kDropNotification));
}

void MainDlgTest::blankOnEdit_data() {
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

void MainDlgTest::blankOnEdit() {
    QFETCH(int, flag);
    QFETCH(int, selected);
    QFETCH(QString, typed);
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
    QFETCH(QString, text);
    QCOMPARE(box.currentText(), text);
}

void MainDlgTest::hostileProfileEntries() {
    const QByteArray longPath = "/" + QByteArray(4000, 'x') + ".txt";
    Profile profile("[MRU Open]\n1 =" + longPath + "\n2 =/a\tb\x1b[31m\x7f\xc2\x9b.txt\n3 =/bad\xff\xfe.txt\n" +
                    "4 =/rtl\xe2\x80\xae.txt\n[MRU Save]\n1 =" + longPath + "\n");
    TestDlg dlg(Language::kEnglish, nullptr);
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
    for (int i = 0; i < dlg.InputBox()->count(); ++i) {
        const QString text = dlg.InputBox()->itemText(i);
        for (QChar c : text) QVERIFY2(c.category() != QChar::Other_Control && c != QChar(0x202E), qPrintable(text));
        QVERIFY(!text.contains(QChar::ReplacementCharacter));
    }
    // The list drops within the screen.
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

// ---- Keyboard, names, about ------------------------------------------------

void MainDlgTest::keyboardAndNames_data() {
    QTest::addColumn<bool>("japanese");
    QTest::addColumn<QString>("inputName");
    QTest::addColumn<QString>("outputName");
    QTest::newRow("English") << false << "Input" << "Output";
    QTest::newRow("Japanese") << true << "変換元ファイル" << "変換先ファイル";
}

void MainDlgTest::keyboardAndNames() {
    QFETCH(bool, japanese);
    QFETCH(QString, inputName);
    QFETCH(QString, outputName);
    TestDlg dlg(japanese ? Language::kJapanese : Language::kEnglish, nullptr);
    dlg.OnInitDialog();
    dlg.show();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    Button(dlg, 1018)->click();
    Button(dlg, 1019)->click();
    // Every control is named; the fields by their labels.
    const std::vector<int> ids = {1,    2,    1001, 1003, 1004, 1005, 1006, 1007, 1030, 1010, 1011, 1012, 1013,
                                  1029, 1009, 1015, 1016, 1017, 1018, 1019, 1020, 1021, 1026, 1025, 1028};
    for (int id : ids) QVERIFY2(!dlg.GetDlgItem(id)->accessibleName().isEmpty(), qPrintable(QString::number(id)));
    QCOMPARE(dlg.InputBox()->accessibleName(), inputName);
    QCOMPARE(dlg.OutputBox()->accessibleName(), outputName);
    // Tab reaches every control in the template's order, a radio group
    // once; the arrow keys then reach each button of the group.
    const std::vector<std::vector<int>> stops = {{1},    {2},    {1001}, {1003}, {1004, 1005, 1006, 1007, 1030},
                                                 {1010, 1011, 1012, 1013, 1029}, {1009, 1015}, {1016, 1017},
                                                 {1018}, {1019}, {1020}, {1021}, {1026}, {1025}, {1028}, {1}};
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
    QVERIFY(dlg.OutputBox()->isAncestorOf(QApplication::focusWidget()) || dlg.OutputBox()->hasFocus());
    QTest::keyClick(&dlg, Qt::Key_J, Qt::AltModifier);
    QTRY_COMPARE(dlg.m_inputMode, Jis);
    QTest::keyClick(&dlg, Qt::Key_K, Qt::AltModifier);
    QTRY_COMPARE(dlg.m_outputMode, Jis);
}

void MainDlgTest::aboutEntry_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("boxes");
    QTest::newRow("command 16") << "16" << 1;
    QTest::newRow("command 17") << "17" << 1;
    QTest::newRow("command 31") << "31" << 1;
    QTest::newRow("command 32") << "32" << 0;
    QTest::newRow("command 15") << "15" << 0;
    QTest::newRow("F1") << "F1" << 1;
    QTest::newRow("context menu") << "menu" << 1;
}

void MainDlgTest::aboutEntry() {
    QFETCH(QString, how);
    TestDlg dlg(Language::kEnglish, nullptr);
    dlg.OnInitDialog();
    dlg.show();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    if (how == "F1") {
        QTest::keyClick(&dlg, Qt::Key_F1);
    } else if (how == "menu") {
        // The context menu opens on the dialog; its entry is picked by its mnemonic.
        QTimer::singleShot(0, [] {
            QWidget* menu = QApplication::activePopupWidget();
            if (menu != nullptr) QTest::keyClick(menu, Qt::Key_A);
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), dlg.mapToGlobal(QPoint(5, 5)));
        QCoreApplication::sendEvent(&dlg, &event);
    } else {
        dlg.OnSysCommand(how.toInt());
    }
    QFETCH(int, boxes);
    QTRY_COMPARE(dlg.aboutBoxes, boxes);
}

void MainDlgTest::aboutBoxCloses_data() {
    QTest::addColumn<int>("key");
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("Esc") << int(Qt::Key_Escape);
    QTest::newRow("OK") << 0;
}

void MainDlgTest::aboutBoxCloses() {
    QFETCH(int, key);
    CAboutDlg about;
    QTimer::singleShot(0, &about, [&] {
        if (key != 0)
            QTest::keyClick(&about, Qt::Key(key));
        else
            for (QAbstractButton* b : about.findChildren<QAbstractButton*>()) b->click();
    });
    about.exec();
    QVERIFY(!about.isVisible());
    QCOMPARE(about.result(), key == Qt::Key_Escape ? int(QDialog::Rejected) : int(QDialog::Accepted));
}

QTEST_MAIN(MainDlgTest)
#include "main_dlg_tests.moc"
