#include "ui/dialog_builder.h"

#include <algorithm>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSvgRenderer>
#include <QWidget>

// The resources live in a static library: register them before first use.
static void InitUiResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(morvel_ui);
        return true;
    }();
    (void)done;
}

namespace morvel {

namespace {

bool IsJapaneseFace(const char* face) {
    // Every face of the Japanese templates is spelled in Japanese characters.
    for (const char* p = face; *p != '\0'; ++p)
        if (static_cast<unsigned char>(*p) >= 0x80) return true;
    return false;
}

}  // namespace

QFont DialogFont(const DialogTemplate& tmpl) {
    QFont font = QApplication::font();
    if (IsJapaneseFace(tmpl.fontFace)) {
        QStringList families = {QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Noto Sans JP"),
                                QStringLiteral("IPAPGothic"),       QStringLiteral("IPAGothic"),
                                QStringLiteral("VL PGothic"),       QStringLiteral("TakaoPGothic")};
        families += font.families();
        font.setFamilies(families);
    }
    return font;
}

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX_ = std::max(1, (letters / 26 + 1) / 2);
    baseY_ = std::max(1, metrics.height());
}

QIcon LoadIcon(int id) {
    InitUiResources();
    const char* path = id == 128 ? ":/icons/morvel.svg" : id == 137 ? ":/icons/browse.svg" : nullptr;
    if (path == nullptr) return QIcon();
    QSvgRenderer renderer{QString::fromLatin1(path)};
    if (!renderer.isValid()) return QIcon();
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QString NameWithoutMnemonic(const QString& text) {
    QString name = text;
    static const QRegularExpression trailing(QStringLiteral("\\(&[^&)]\\)$"));
    name.remove(trailing);
    QString out;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (name[i] == QLatin1Char('&') && i + 1 < name.size()) ++i;
        out += name[i];
    }
    return out;
}

std::vector<QWidget*> BuildControls(const DialogTemplate& tmpl, QWidget* dialog, const DialogUnits& units,
                                    const std::function<QWidget*(QWidget* parent)>& makeComboBox) {
    std::vector<QWidget*> widgets;
    QButtonGroup* radioGroup = nullptr;
    for (const ControlTemplate& c : tmpl.controls) {
        const QString text = QString::fromUtf8(c.text);
        QWidget* w = nullptr;
        if (c.style & kGroup) radioGroup = nullptr;
        switch (c.kind) {
            case ControlKind::kPushButton:
            case ControlKind::kDefPushButton: {
                auto* button = new QPushButton(text, dialog);
                if (c.kind == ControlKind::kDefPushButton) button->setDefault(true);
                w = button;
                break;
            }
            case ControlKind::kIconButton: {
                auto* button = new QPushButton(dialog);
                button->setIcon(LoadIcon(c.icon));
                const int side = std::clamp(std::min(units.X(c.cx), units.Y(c.cy)) - 6, 8, 16);
                button->setIconSize(QSize(side, side));
                button->setToolTip(QString::fromUtf8(c.name));
                w = button;
                break;
            }
            case ControlKind::kRadioButton: {
                auto* radio = new QRadioButton(text, dialog);
                if (radioGroup == nullptr) radioGroup = new QButtonGroup(dialog);
                radioGroup->addButton(radio, c.id);
                w = radio;
                break;
            }
            case ControlKind::kCheckBox:
                w = new QCheckBox(text, dialog);
                break;
            case ControlKind::kGroupBox: {
                auto* box = new QGroupBox(text, dialog);
                box->setAttribute(Qt::WA_TransparentForMouseEvents);
                box->setFocusPolicy(Qt::NoFocus);
                w = box;
                break;
            }
            case ControlKind::kLabel: {
                auto* label = new QLabel(text, dialog);
                label->setTextFormat(Qt::PlainText);
                if (c.style & kVCenter)
                    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
                else {
                    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
                    label->setWordWrap(true);
                }
                w = label;
                break;
            }
            case ControlKind::kComboBox:
                w = makeComboBox ? makeComboBox(dialog) : nullptr;
                break;
            case ControlKind::kStaticIcon: {
                auto* label = new QLabel(dialog);
                const int side = std::min(units.X(c.cx), units.Y(c.cy));
                label->setPixmap(LoadIcon(c.icon).pixmap(side, side));
                w = label;
                break;
            }
        }
        if (w == nullptr) {
            widgets.push_back(nullptr);
            continue;
        }
        QRect rect = units.Rect(c.x, c.y, c.cx, c.cy);
        // A combo box's height in the template includes its dropped list;
        // the closed box is as tall as its font needs.
        if (c.kind == ControlKind::kComboBox) rect.setHeight(w->sizeHint().height());
        w->setGeometry(rect);
        // The template's widths were made for narrower faces and indicators:
        // a button text that does not fit is set a little condensed (down
        // to 80 %) rather than cut, and the control keeps its place.
        if (c.kind == ControlKind::kRadioButton || c.kind == ControlKind::kCheckBox) {
            const QString shown = QString(text).remove(QLatin1Char('&'));
            const int decoration = w->sizeHint().width() - QFontMetrics(w->font()).horizontalAdvance(shown);
            QFont condensed = w->font();
            for (int stretch = 95; stretch >= 80; stretch -= 5) {
                if (decoration + QFontMetrics(condensed).horizontalAdvance(shown) <= rect.width()) break;
                condensed.setStretch(stretch);
                w->setFont(condensed);
            }
        }
        w->setAccessibleName(*c.name != '\0' ? QString::fromUtf8(c.name) : NameWithoutMnemonic(text));
        widgets.push_back(w);
    }

    // Group boxes lie under the controls they frame.
    for (size_t i = 0; i < widgets.size(); ++i)
        if (widgets[i] != nullptr && tmpl.controls[i].kind == ControlKind::kGroupBox) widgets[i]->lower();

    // A label names the field on its row: its mnemonic moves the focus there,
    // and the field takes the label's text as its accessible name.
    for (size_t i = 0; i < widgets.size(); ++i) {
        if (tmpl.controls[i].kind != ControlKind::kLabel || (tmpl.controls[i].style & kNoPrefix)) continue;
        for (size_t j = 0; j < widgets.size(); ++j) {
            if (widgets[j] == nullptr || tmpl.controls[j].kind != ControlKind::kComboBox ||
                tmpl.controls[j].y != tmpl.controls[i].y)
                continue;
            static_cast<QLabel*>(widgets[i])->setBuddy(widgets[j]);
            widgets[j]->setAccessibleName(widgets[i]->accessibleName());
        }
    }

    // Tab order: template order.
    QWidget* previous = nullptr;
    for (QWidget* w : widgets) {
        if (w == nullptr || !(w->focusPolicy() & Qt::TabFocus)) continue;
        if (previous != nullptr) QWidget::setTabOrder(previous, w);
        previous = w;
    }
    return widgets;
}

}  // namespace morvel
