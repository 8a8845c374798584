#include "ui/preview_dlg.h"

#include <QFontDatabase>
#include <QVBoxLayout>

#include "ui/dialog_builder.h"
#include "ui/dialog_templates.h"

namespace morvel {

namespace {

// Styles of a text view, beside the marks of dialog_templates.h.
constexpr unsigned kMultiline = 1u << 8;
constexpr unsigned kReadOnly = 1u << 9;
constexpr unsigned kVScroll = 1u << 10;      // a vertical scroll bar when the text is taller
constexpr unsigned kHScroll = 1u << 11;      // a horizontal one when a line is wider
constexpr unsigned kAutoVScroll = 1u << 12;
constexpr unsigned kAutoHScroll = 1u << 13;  // lines are not wrapped

enum class PreviewControlKind { kEdit };

struct EditTemplate {
    int id;
    PreviewControlKind kind;
    const char* text;
    int x, y, cx, cy;
    unsigned style;
    const char* name;
    int icon;
};

#define MORVEL_DIALOG(id, caption, face, points, cx, cy) \
    const DialogTemplate kPreviewTemplate = {id, caption, face, points, cx, cy, {}};
#define MORVEL_CONTROL(id, kind, text, x, y, cx, cy, style, name, icon) \
    constexpr EditTemplate kPreviewEdit = {id, PreviewControlKind::k##kind, text, x, y, cx, cy, style, name, icon};
#include "res/dialog_101.inc"
#undef MORVEL_DIALOG
#undef MORVEL_CONTROL

// The template font turned fixed-pitch: its size, any monospaced face.
QFont FixedPitchFont(const QFont& templateFont) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (templateFont.pointSizeF() > 0)
        font.setPointSizeF(templateFont.pointSizeF());
    else if (templateFont.pixelSize() > 0)
        font.setPixelSize(templateFont.pixelSize());
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    return font;
}

}  // namespace

CPreviewDlg::CPreviewDlg(QWidget* owner) : QDialog(owner) {
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QString::fromUtf8(kPreviewTemplate.caption));
    setFont(DialogFont(kPreviewTemplate));
    const DialogUnits units(font());

    m_edit = new CColorEdit(this);
    m_edit->setObjectName(QStringLiteral("edit%1").arg(kPreviewEdit.id));
    m_edit->setAccessibleName(QString::fromUtf8(kPreviewEdit.name));
    m_edit->setPlainText(QString::fromUtf8(kPreviewEdit.text));
    m_edit->setGeometry(units.Rect(kPreviewEdit.x, kPreviewEdit.y, kPreviewEdit.cx, kPreviewEdit.cy));
    const unsigned style = kPreviewEdit.style;
    m_edit->setReadOnly((style & kReadOnly) != 0);
    m_edit->setVerticalScrollBarPolicy((style & kVScroll) ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    m_edit->setHorizontalScrollBarPolicy((style & kHScroll) ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    m_edit->setLineWrapMode((style & kAutoHScroll) ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
    m_edit->setFocusPolicy((style & kTabStop) ? Qt::StrongFocus : Qt::ClickFocus);
    m_edit->setFrameShape(QFrame::NoFrame);  // no border style
    m_edit->setFont(FixedPitchFont(font()));

    // The view always covers the whole client area.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_edit);

    resize(units.X(kPreviewTemplate.cx), units.Y(kPreviewTemplate.cy));
}

void CPreviewDlg::setVisible(bool visible) {
    if (visible && !m_placed && parentWidget() != nullptr) {
        move(parentWidget()->mapToGlobal(QPoint(0, 0)));
        m_placed = true;
    }
    QDialog::setVisible(visible);
}

}  // namespace morvel
