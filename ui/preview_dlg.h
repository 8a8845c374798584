// The preview window: dialog template 101, a resizable tool window (small
// caption, no taskbar button) owned by the main dialog, holding the one
// read-only text view (control 1022) that always fills it. It has no logic
// of its own: the main dialog sets its caption and text and shows and hides
// it. Its close box and Esc only hide it, and the main dialog is not told.
#pragma once

#include <QDialog>

#include "ui/color_edit.h"

namespace morvel {

// The control id of the text view.
constexpr int IDC_PREVIEW_EDIT = 1022;

class CPreviewDlg : public QDialog {
    Q_OBJECT

public:
    // Made hidden, at the template's size in its font; the text view gets
    // a fixed-pitch font of the template font's size.
    explicit CPreviewDlg(QWidget* owner);

    CColorEdit* m_edit = nullptr;

    // Above the owner's other windows (shown or not, it is not shown here).
    void BringWindowToTop() { raise(); }

    // The first show puts the window at the owner's client origin; later
    // ones leave it where the user put it.
    void setVisible(bool visible) override;

private:
    bool m_placed = false;
};

}  // namespace morvel
