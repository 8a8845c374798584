#include "ui/qt_ports.h"

#include <QMessageBox>
#include <QPushButton>
#include <QString>

#include "ui/main_dlg.h"

namespace morvel {

namespace {

QString Text(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

void CQtMessages::Show(const std::string& text, const std::string& caption) {
    QMessageBox box(QMessageBox::NoIcon, Text(caption), Text(text), QMessageBox::Ok);
    box.exec();
}

bool CQtMessages::AskYesNo(const std::string& text) {
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(kProgramTitle), Text(text));
    const bool japanese = m_language == Language::kJapanese;
    QPushButton* yes = box.addButton(japanese ? QString::fromUtf8("はい(&Y)") : QStringLiteral("&Yes"),
                                     QMessageBox::YesRole);
    box.addButton(japanese ? QString::fromUtf8("いいえ(&N)") : QStringLiteral("&No"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.exec();
    return box.clickedButton() == yes;  // Esc or the close box: No
}

int CQtDialogPort::RunDialog(ConversionRequest& request) {
    static_cast<ConversionRequest&>(m_dialog) = request;
    const int result = m_dialog.DoModal();
    request = static_cast<const ConversionRequest&>(m_dialog);
    return result;
}

}  // namespace morvel
