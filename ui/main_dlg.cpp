#include "ui/main_dlg.h"

#include <QAction>
#include <QButtonGroup>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileDialog>
#include <QFontMetrics>
#include <QMenu>
#include <QPaintEvent>
#include <QPushButton>
#include <QRadioButton>

#include "app/recent_file_list.h"
#include "ui/about_dlg.h"
#include "ui/dialog_builder.h"
#include "ui/dialog_templates.h"
#include "ui/drop_combo_box.h"

namespace morvel {

namespace {

struct ModeButton {
    int id;
    EncodingId mode;
};
constexpr ModeButton kInputModeButtons[] = {
    {IDC_IN_AUTO, AutoDetect}, {IDC_IN_SJIS, ShiftJis}, {IDC_IN_JIS, Jis}, {IDC_IN_EUC, EucJp}, {IDC_IN_UTF8, Utf8}};
constexpr ModeButton kOutputModeButtons[] = {
    {IDC_OUT_SJIS, ShiftJis}, {IDC_OUT_JIS, Jis}, {IDC_OUT_EUC, EucJp}, {IDC_OUT_UNICODE, Unicode}, {IDC_OUT_UTF8, Utf8}};

// The browse dialogs' filters (English in every interface language).
const char* const kFileFilters[] = {"Text Files (*.txt)", "C,C++ Files (*.c *.cpp *.h)",
                                    "Html Files (*.htm *.html)", "All Files (*)"};

}  // namespace

CMainDlg::CMainDlg(Language language, IClipboardPort* clipboard, QWidget* parent)
    : QDialog(parent), m_language(language), m_clipboard(clipboard) {
    const DialogTemplate& tmpl = MainDialogTemplate(language);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QString::fromUtf8(tmpl.caption));
    if (const char* label = LoadString(102, language)) m_clipboardLabel = label;
    m_icon = LoadIcon(128);
    setWindowIcon(m_icon);
    m_convertKana = 0;
    m_convertAlnum = 0;
    m_closeAfterRun = 0;

    setFont(DialogFont(tmpl));
    const DialogUnits units(font());
    const std::vector<QWidget*> widgets =
        BuildControls(tmpl, this, units, [](QWidget* parent) { return new CDropComboBox(parent); });
    for (size_t i = 0; i < widgets.size(); ++i)
        if (tmpl.controls[i].id != IDC_STATIC && widgets[i] != nullptr) m_controls[tmpl.controls[i].id] = widgets[i];

    m_previewButton = qobject_cast<QPushButton*>(GetDlgItem(IDC_PREVIEW));
    m_browseOutput = qobject_cast<QPushButton*>(GetDlgItem(IDC_BROWSE_OUTPUT));
    m_browseInput = qobject_cast<QPushButton*>(GetDlgItem(IDC_BROWSE_INPUT));
    m_outputBox = qobject_cast<CDropComboBox*>(GetDlgItem(IDC_OUTPUT_BOX));
    m_inputBox = qobject_cast<CDropComboBox*>(GetDlgItem(IDC_INPUT_BOX));
    m_kanaToHalfRadio = qobject_cast<QRadioButton*>(GetDlgItem(IDC_KANA_TO_HALF));
    m_alnumToHalfRadio = qobject_cast<QRadioButton*>(GetDlgItem(IDC_ALNUM_TO_HALF));
    m_kanaToFullRadio = qobject_cast<QRadioButton*>(GetDlgItem(IDC_KANA_TO_FULL));
    m_alnumToFullRadio = qobject_cast<QRadioButton*>(GetDlgItem(IDC_ALNUM_TO_FULL));

    // The lists drop to the template's height.
    const int itemHeight = QFontMetrics(font()).height() + 4;
    for (CDropComboBox* box : {m_inputBox, m_outputBox})
        box->setMaxVisibleItems(std::max(1, (units.Y(108) - box->height()) / itemHeight));

    auto onClick = [this](int id, auto handler) {
        if (auto* button = qobject_cast<QAbstractButton*>(GetDlgItem(id)))
            connect(button, &QAbstractButton::clicked, this, handler);
    };
    for (const ModeButton& b : kInputModeButtons) onClick(b.id, [this, mode = b.mode] { OnInputMode(mode); });
    for (const ModeButton& b : kOutputModeButtons) onClick(b.id, [this, mode = b.mode] { OnOutputMode(mode); });
    onClick(IDC_KANA_TO_FULL, [this] { OnKanaDirection(0); });
    onClick(IDC_KANA_TO_HALF, [this] { OnKanaDirection(1); });
    onClick(IDC_ALNUM_TO_FULL, [this] { OnAlnumDirection(0); });
    onClick(IDC_ALNUM_TO_HALF, [this] { OnAlnumDirection(1); });
    onClick(IDC_CONVERT_KANA, [this] { OnConvertKana(); });
    onClick(IDC_CONVERT_ALNUM, [this] { OnConvertAlnum(); });
    onClick(IDC_HEX_DISPLAY, [this] { OnHexDisplay(); });
    onClick(IDC_PREVIEW, [this] { OnPreview(); });
    onClick(IDC_BROWSE_INPUT, [this] { OnBrowseInput(); });
    onClick(IDC_BROWSE_OUTPUT, [this] { OnBrowseOutput(); });
    onClick(IDOK, [this] { accept(); });
    onClick(IDCANCEL, [this] { reject(); });
    connect(m_inputBox, &CDropComboBox::notify, this, [this](int code) {
        if (code == kDropNotification) OnInputDropped();
    });
    connect(m_inputBox, &CDropComboBox::closedUp, this, &CMainDlg::OnInputCloseUp);
    connect(m_outputBox, &CDropComboBox::notify, this, [this](int code) {
        if (code == kDropNotification) OnOutputChanged();
    });
    connect(m_outputBox, &CDropComboBox::closedUp, this, &CMainDlg::OnOutputChanged);

    // The about entry: in the context menu, and F1 anywhere in the window.
    m_aboutAction = new QAction(this);
    m_aboutAction->setShortcut(QKeySequence(Qt::Key_F1));
    m_aboutAction->setShortcutContext(Qt::WindowShortcut);
    addAction(m_aboutAction);
    connect(m_aboutAction, &QAction::triggered, this, [this] { OnSysCommand(IDM_ABOUTBOX); });

    setFixedSize(units.X(tmpl.cx), units.Y(tmpl.cy));
}

CMainDlg::~CMainDlg() = default;

QWidget* CMainDlg::GetDlgItem(int id) const {
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

int CMainDlg::DoModal() {
    OnInitDialog();
    const int result = exec();
    OnDestroy();
    return result == QDialog::Accepted ? IDOK : IDCANCEL;
}

void CMainDlg::OnInitDialog() {
    // The controls show the flags as handed over.
    DoDataExchange(false);

    // The about entry's text; without one the context menu has no entry.
    const char* about = LoadString(101, m_language);
    m_aboutAction->setText(about != nullptr ? QString::fromUtf8(about) : QString());
    setWindowIcon(m_icon);

    // Width folding starts off at every showing, both directions unchecked
    // and disabled.
    m_convertKana = m_convertAlnum = m_kanaToHalf = m_alnumToHalf = 0;
    for (int id : {IDC_KANA_TO_FULL, IDC_KANA_TO_HALF, IDC_ALNUM_TO_FULL, IDC_ALNUM_TO_HALF}) {
        Enable(id, false);
        SetCheck(id, false);
    }

    // Modes: the input radio buttons offer no UTF-16, and neither mode
    // starts at UTF-8; anything they cannot show becomes Shift-JIS.
    switch (m_inputMode) {
        case Jis: SetCheck(IDC_IN_JIS, true); break;
        case EucJp: SetCheck(IDC_IN_EUC, true); break;
        case AutoDetect:
            SetCheck(IDC_IN_AUTO, true);
            m_detectedInput = AutoDetect;
            break;
        default:
            m_inputMode = ShiftJis;
            SetCheck(IDC_IN_SJIS, true);
            break;
    }
    switch (m_outputMode) {
        case Jis: SetCheck(IDC_OUT_JIS, true); break;
        case EucJp: SetCheck(IDC_OUT_EUC, true); break;
        case Unicode: SetCheck(IDC_OUT_UNICODE, true); break;
        default:
            m_outputMode = ShiftJis;
            SetCheck(IDC_OUT_SJIS, true);
            break;
    }

    // The lists: the recent paths (most recent first, empty entries left
    // out) behind the clipboard item.
    m_inputBox->ResetContent();
    m_outputBox->ResetContent();
    for (auto [box, list] : {std::pair{m_inputBox, m_recentOpen}, std::pair{m_outputBox, m_recentSave}}) {
        if (list == nullptr) continue;
        for (int i = 0; i < list->GetSize(); ++i)
            if (!(*list)[i].empty()) box->AddString((*list)[i]);
    }
    m_outputBox->SetWindowText(m_outputPath);
    m_outputBox->m_blankLabelOnEdit = m_outputToClipboard;
    m_inputBox->m_blankLabelOnEdit = m_inputFromClipboard;
    if (const char* label = LoadString(m_textPadMode ? 103 : 102, m_language); label != nullptr && *label != '\0')
        m_clipboardLabel = label;
    m_inputBox->InsertString(0, m_clipboardLabel);
    m_inputBox->SetCurSel(0);
    if (!m_inputFromClipboard) m_inputBox->SetWindowText(m_inputPath);
    m_outputBox->InsertString(0, m_clipboardLabel);

    // The preview window exists, hidden, for as long as this showing.
    m_previewState = Hidden;
    delete m_preview;
    m_preview = new CPreviewDlg(this);
    m_hexDisplay = 0;

    // From now on clipboard changes count.
    m_onScreen = true;
    DoDataExchange(false);
}

void CMainDlg::OnDestroy() {
    m_onScreen = false;
    delete m_preview;
    m_preview = nullptr;
}

void CMainDlg::DoDataExchange(bool save) {
    const std::pair<int, int32_t*> checks[] = {{IDC_CONVERT_KANA, &m_convertKana},
                                               {IDC_CONVERT_ALNUM, &m_convertAlnum},
                                               {IDC_HEX_DISPLAY, &m_hexDisplay},
                                               {IDC_CLOSE_AFTER_RUN, &m_closeAfterRun}};
    for (auto [id, flag] : checks) {
        if (save)
            *flag = IsChecked(id) ? 1 : 0;
        else
            SetCheck(id, *flag != 0);
    }
    if (!save) return;
    // The clipboard item, compared byte for byte, and an empty field both
    // mean the clipboard; any other text is a path, taken as it is.
    m_inputPath = m_inputBox->GetWindowText();
    if (m_inputPath == m_clipboardLabel) m_inputPath.clear();
    m_outputPath = m_outputBox->GetWindowText();
    m_outputToClipboard = m_outputPath == m_clipboardLabel ? 1 : 0;
    if (m_outputToClipboard) m_outputPath.clear();
}

void CMainDlg::accept() {
    UpdateData(true);
    QDialog::accept();
}

void CMainDlg::reject() { QDialog::reject(); }

void CMainDlg::SetCheck(int id, bool checked) {
    auto* button = qobject_cast<QAbstractButton*>(GetDlgItem(id));
    if (button == nullptr || button->isChecked() == checked) return;
    // An exclusive group refuses to uncheck its checked button by itself.
    QButtonGroup* group = button->group();
    const bool exclusive = group != nullptr && group->exclusive();
    if (exclusive && !checked) group->setExclusive(false);
    button->setChecked(checked);
    if (exclusive && !checked) group->setExclusive(true);
}

bool CMainDlg::IsChecked(int id) const {
    auto* button = qobject_cast<QAbstractButton*>(GetDlgItem(id));
    return button != nullptr && button->isChecked();
}

void CMainDlg::Enable(int id, bool enabled) {
    if (QWidget* w = GetDlgItem(id)) w->setEnabled(enabled);
}

void CMainDlg::PreviewOn(PreviewState state) {
    if (m_previewState == Hidden) return;
    m_previewState = state;
    RefreshPreview();
}

void CMainDlg::OnInputMode(EncodingId mode) {
    m_inputMode = mode;
    PreviewOn(ReloadInput);
}

void CMainDlg::OnOutputMode(EncodingId mode) {
    m_outputMode = mode;
    PreviewOn(Reconvert);
}

void CMainDlg::OnKanaDirection(int toHalf) {
    SetCheck(IDC_KANA_TO_FULL, toHalf == 0);
    SetCheck(IDC_KANA_TO_HALF, toHalf != 0);
    m_kanaToHalf = toHalf;
    PreviewOn(Reconvert);
}

void CMainDlg::OnAlnumDirection(int toHalf) {
    SetCheck(IDC_ALNUM_TO_FULL, toHalf == 0);
    SetCheck(IDC_ALNUM_TO_HALF, toHalf != 0);
    m_alnumToHalf = toHalf;
    PreviewOn(Reconvert);
}

void CMainDlg::OnConvertKana() {
    UpdateData(true);
    SetCheck(IDC_KANA_TO_FULL, m_kanaToHalf == 0);
    SetCheck(IDC_KANA_TO_HALF, m_kanaToHalf != 0);
    Enable(IDC_KANA_TO_FULL, m_convertKana != 0);
    Enable(IDC_KANA_TO_HALF, m_convertKana != 0);
    PreviewOn(Reconvert);
}

void CMainDlg::OnConvertAlnum() {
    UpdateData(true);
    Enable(IDC_ALNUM_TO_FULL, m_convertAlnum != 0);
    Enable(IDC_ALNUM_TO_HALF, m_convertAlnum != 0);
    if (m_convertAlnum) {
        SetCheck(IDC_ALNUM_TO_FULL, m_alnumToHalf == 0);
        SetCheck(IDC_ALNUM_TO_HALF, m_alnumToHalf != 0);
    }
    PreviewOn(Reconvert);
}

void CMainDlg::OnHexDisplay() {
    UpdateData(true);
    if (m_previewState == Current) {
        m_previewState = Reconvert;
        RefreshPreview();
    }
}

void CMainDlg::OnPreview() {
    if (m_preview != nullptr && m_preview->isVisible()) {
        m_previewOut.Clear();
        m_previewState = Hidden;
        m_preview->hide();
        return;
    }
    RefreshPreview();
    if (m_preview != nullptr) m_preview->show();
}

void CMainDlg::Browse(CDropComboBox* box, bool save) {
    UpdateData(true);
    std::string path;
    // A cancelled dialog empties the field, which then means the clipboard.
    box->SetWindowText(RunFileDialog(save, path) ? path : std::string());
    UpdateData(false);
}

void CMainDlg::OnBrowseInput() {
    Browse(m_inputBox, false);
    PreviewOn(ReloadInput);
}

void CMainDlg::OnBrowseOutput() {
    Browse(m_outputBox, true);
    // The view shows the kept input until the refresh replaces it.
    if (!m_previewIn.Empty() && m_preview != nullptr) ShowInPreview(m_previewIn);
    PreviewOn(Reconvert);
}

void CMainDlg::OnInputDropped() { PreviewOn(ReloadInput); }

void CMainDlg::OnInputCloseUp() {
    if (m_previewState == Hidden) return;
    m_previewState = ReloadInput;
    const int selected = m_inputBox->GetCurSel();
    if (selected == -1) return;
    m_inputBox->SetWindowText(m_inputBox->GetLBText(selected));
    RefreshPreview();
}

void CMainDlg::OnOutputChanged() { PreviewOn(Reconvert); }

void CMainDlg::OnClipboardChanged() {
    if (!m_onScreen || m_previewState != Current) return;
    m_previewState = ReloadInput;
    m_clipboardReload = true;
    RefreshPreview();
    m_clipboardReload = false;
}

void CMainDlg::OnSysCommand(int id) {
    if ((id & ~0xF) == IDM_ABOUTBOX) ShowAboutBox();
}

void CMainDlg::ShowAboutBox() {
    CAboutDlg about(this);
    about.exec();
}

void CMainDlg::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    if (m_previewState != Hidden && m_preview != nullptr) m_preview->BringWindowToTop();
}

void CMainDlg::contextMenuEvent(QContextMenuEvent* event) {
    if (m_aboutAction->text().isEmpty()) return;
    QMenu menu(this);
    menu.addAction(m_aboutAction);
    menu.exec(event->globalPos());
}

bool CMainDlg::RunFileDialog(bool save, std::string& path) {
    QFileDialog dialog(this);
    QStringList filters;
    for (const char* filter : kFileFilters) filters << QString::fromLatin1(filter);
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    if (save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    path = QFile::encodeName(dialog.selectedFiles().first()).toStdString();
    return true;
}

}  // namespace morvel
