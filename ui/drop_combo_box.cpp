#include "ui/drop_combo_box.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>

#include "app/strings.h"

namespace morvel {

namespace {

QByteArray Bytes(const std::string& text) { return QByteArray(text.data(), static_cast<qsizetype>(text.size())); }

// The bytes of a local file's path named by `url`, or "" when the URL names
// no file on this machine. The path is taken from the URL's encoded form,
// so a name that is not UTF-8 keeps its bytes.
std::string LocalPath(const QUrl& url) {
    if (!url.isValid() || !url.isLocalFile()) return std::string();
    const QString host = url.host();
    if (!host.isEmpty() && host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0) return std::string();
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
}

}  // namespace

CDropComboBox::CDropComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    // Typed text is taken as it is: no completion, nothing added to the list.
    setCompleter(nullptr);
    setInsertPolicy(QComboBox::NoInsert);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(8);
    // Drops go to the box, not to its edit field.
    setAcceptDrops(true);
    lineEdit()->setAcceptDrops(false);
    connect(lineEdit(), &QLineEdit::textEdited, this, &CDropComboBox::OnEditUpdate);
}

QString CDropComboBox::ShownText(const std::string& bytes) { return QString::fromStdString(VisibleText(bytes)); }

std::string CDropComboBox::GetWindowText() const {
    const QString shown = currentText();
    const int selected = currentIndex();
    if (selected >= 0 && itemText(selected) == shown) return GetLBText(selected);
    if (shown == m_fieldShown) return m_fieldBytes;
    const int index = findText(shown, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0) return GetLBText(index);
    return shown.toStdString();
}

void CDropComboBox::SetWindowText(const std::string& text) {
    m_fieldBytes = text;
    m_fieldShown = ShownText(text);
    setEditText(m_fieldShown);
    lineEdit()->setCursorPosition(0);  // the start of a long path in view
}

void CDropComboBox::ResetContent() {
    clear();
    SetWindowText(std::string());
}

int CDropComboBox::AddString(const std::string& text) { return InsertString(count(), text); }

int CDropComboBox::InsertString(int index, const std::string& text) {
    if (index < 0 || index > count()) index = count();
    const int selected = currentIndex();
    const QString field = lineEdit()->text();
    const int cursor = lineEdit()->cursorPosition();
    insertItem(index, ShownText(text), Bytes(text));
    // A list without a selection keeps none, and the field keeps its text.
    if (selected == -1 && currentIndex() != -1) setCurrentIndex(-1);
    if (lineEdit()->text() != field) {
        lineEdit()->setText(field);
        lineEdit()->setCursorPosition(cursor);
    }
    return index;
}

std::string CDropComboBox::GetLBText(int index) const {
    const QVariant data = itemData(index);
    if (data.typeId() == QMetaType::QByteArray) return data.toByteArray().toStdString();
    return itemText(index).toStdString();
}

void CDropComboBox::OnEditUpdate() {
    const int selected = currentIndex();
    if (selected == -1) return;
    // An edited text is no longer the selected item's.
    QLineEdit* edit = lineEdit();
    const QString text = edit->text();
    const int cursor = edit->cursorPosition();
    setCurrentIndex(-1);
    edit->setText(text);
    edit->setCursorPosition(cursor);
    if (selected == 0 && m_blankLabelOnEdit) {
        // The clipboard item gives way to one blank, selected so that the
        // next key typed replaces it.
        edit->setText(QStringLiteral(" "));
        edit->selectAll();
    }
}

bool CDropComboBox::OnDropFiles(const QMimeData* data) {
    const QList<QUrl> urls = data != nullptr ? data->urls() : QList<QUrl>();
    const std::string path = urls.size() == 1 ? LocalPath(urls.first()) : std::string();
    if (path.empty()) {
        QApplication::beep();
        return false;
    }
    SetWindowText(path);
    emit notify(kDropNotification);
    return true;
}

void CDropComboBox::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void CDropComboBox::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void CDropComboBox::dropEvent(QDropEvent* event) {
    OnDropFiles(event->mimeData());
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void CDropComboBox::hidePopup() {
    const bool shown = view()->isVisible();
    QComboBox::hidePopup();
    // Told once the list has closed and its choice, if any, is in the field.
    if (shown) QMetaObject::invokeMethod(this, [this] { emit closedUp(); }, Qt::QueuedConnection);
}

}  // namespace morvel
