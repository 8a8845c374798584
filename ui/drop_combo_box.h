// The combo box behind the dialog's input and output fields: a drop-down
// list with an edit field that takes one dropped file, and that can blank
// the clipboard item when the user starts to edit it.
//
// Texts are bytes (paths are bytes on Linux). What the field and the list
// show is the text made visible: UTF-8 as it is, control characters and
// bytes that are not UTF-8 as escapes (one line always). The bytes behind a
// shown text are kept, so a path that cannot be shown as it is still comes
// back whole from GetWindowText while the field shows it unchanged.
#pragma once

#include <QComboBox>
#include <QString>
#include <cstdint>
#include <string>

class QMimeData;

namespace morvel {

// The notification a drop sends to the dialog (the code of a double click,
// which a drop-down combo box never sends by itself).
constexpr int kDropNotification = 2;

class CDropComboBox : public QComboBox {
    Q_OBJECT

public:
    explicit CDropComboBox(QWidget* parent = nullptr);

    // When set, an edit of the field while list item 0 is selected replaces
    // the field's text by one blank.
    int32_t m_blankLabelOnEdit = 0;

    // The field's text, and setting it (the list's selection is left as it is).
    std::string GetWindowText() const;
    void SetWindowText(const std::string& text);

    // The list: emptied (the field too), an item added at the end or put at
    // `index`, the selected item (-1 for none), selecting one (its text goes
    // into the field), an item's text.
    void ResetContent();
    int AddString(const std::string& text);
    int InsertString(int index, const std::string& text);
    int GetCurSel() const { return currentIndex(); }
    void SetCurSel(int index) { setCurrentIndex(index); }
    std::string GetLBText(int index) const;

    // A drop on the box: exactly one local file (or folder) puts its full
    // path into the field and sends `notify(kDropNotification)`; anything
    // else beeps and changes nothing. True when the drop was taken.
    bool OnDropFiles(const QMimeData* data);

    // The text shown for `bytes`.
    static QString ShownText(const std::string& bytes);

    void hidePopup() override;

signals:
    // kDropNotification after a drop; the list closing is closedUp().
    void notify(int code);
    void closedUp();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void OnEditUpdate();

    QString m_fieldShown;      // what SetWindowText last put into the field
    std::string m_fieldBytes;  // and its bytes
};

}  // namespace morvel
