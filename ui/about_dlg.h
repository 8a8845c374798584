// The about box: dialog template 100, Japanese in every interface language.
#pragma once

#include <QDialog>

namespace morvel {

class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace morvel
