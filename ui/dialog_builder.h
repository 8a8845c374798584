// Qt widgets from a dialog template: the dialog font of the template's
// language, dialog units turned into pixels by that font's metrics, one
// widget per control at its place, and the program's icons.
#pragma once

#include <QFont>
#include <QIcon>
#include <QRect>
#include <QString>
#include <functional>
#include <vector>

#include "ui/dialog_templates.h"

class QWidget;

namespace morvel {

// The font a template's face stands for: the desktop's UI font for the
// English templates, a Japanese face (found by fontconfig) for the
// templates whose face is a Japanese one; the desktop font's size.
QFont DialogFont(const DialogTemplate& tmpl);

// Dialog units of a font: x * average character width / 4, y * character
// height / 8, the average width taken over the 52 Latin letters.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    int X(int x) const { return (x * baseX_ + 2) / 4; }
    int Y(int y) const { return (y * baseY_ + 4) / 8; }
    QRect Rect(int x, int y, int cx, int cy) const { return QRect(X(x), Y(y), X(cx), Y(cy)); }
    int BaseX() const { return baseX_; }
    int BaseY() const { return baseY_; }

private:
    int baseX_;
    int baseY_;
};

// Icon 128 (the program's) and 137 (the browse buttons'), our own SVG
// artwork; an empty icon for any other id.
QIcon LoadIcon(int id);

// The text without its mnemonic, for an accessible name: a trailing "(&x)"
// goes whole ("Input(&i)" -> "Input"), any other "&" is dropped ("&&"
// stays one "&").
QString NameWithoutMnemonic(const QString& text);

// One widget per control of `tmpl`, children of `dialog`, placed by `units`
// and in template order (which is made the tab order): push buttons, radio
// buttons, check boxes, group boxes (below the controls they frame), labels
// (each the buddy of the combo box on its row), static icons; combo boxes
// come from `makeComboBox`. Every control gets an accessible name. Returns
// the widgets in template order.
std::vector<QWidget*> BuildControls(const DialogTemplate& tmpl, QWidget* dialog, const DialogUnits& units,
                                    const std::function<QWidget*(QWidget* parent)>& makeComboBox = {});

}  // namespace morvel
