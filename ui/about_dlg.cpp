#include "ui/about_dlg.h"

#include <QAbstractButton>

#include "ui/dialog_builder.h"
#include "ui/dialog_templates.h"

namespace morvel {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    const DialogTemplate& tmpl = AboutDialogTemplate();
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QString::fromUtf8(tmpl.caption));
    setWindowIcon(LoadIcon(128));
    setFont(DialogFont(tmpl));
    const DialogUnits units(font());
    const std::vector<QWidget*> widgets = BuildControls(tmpl, this, units);
    for (size_t i = 0; i < widgets.size(); ++i) {
        if (tmpl.controls[i].id == 1)
            connect(static_cast<QAbstractButton*>(widgets[i]), &QAbstractButton::clicked, this, &QDialog::accept);
        if (tmpl.controls[i].kind == ControlKind::kStaticIcon) widgets[i]->setAccessibleName(QStringLiteral("Morvel"));
    }
    setFixedSize(units.X(tmpl.cx), units.Y(tmpl.cy));
}

}  // namespace morvel
