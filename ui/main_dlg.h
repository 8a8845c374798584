// The main dialog: where the user sets up a conversion. Built from dialog
// template 102 in the interface language; its public members are the
// ConversionRequest the application hands over before DoModal and reads back
// after it. The object is built once and shown again by every dialog pass,
// so the members carry over from one showing to the next; OnInitDialog sets
// the window up afresh at each showing.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QPointer>
#include <QString>
#include <functional>
#include <map>
#include <string>

#include "app/ports.h"
#include "app/strings.h"
#include "engine/byte_stream.h"
#include "ui/preview_dlg.h"

class QAction;
class QMessageBox;
class QPushButton;
class QRadioButton;

namespace morvel {

class CDropComboBox;

// Where the preview stands; kept by the main dialog, written by its handlers
// and by RefreshPreview.
enum PreviewState : int32_t {
    Hidden = 0,       // not active: never shown, or hidden by the Preview button
    ReloadInput = 1,  // the input must be read again before the next conversion
    Reconvert = 3,    // the kept input must be converted again
    Current = 4,      // what the preview shows matches the choices
};

// Control ids of template 102.
enum MainDlgControl : int {
    IDC_BROWSE_INPUT = 1001,
    IDC_BROWSE_OUTPUT = 1003,
    IDC_IN_AUTO = 1004,
    IDC_IN_SJIS = 1005,
    IDC_IN_JIS = 1006,
    IDC_IN_EUC = 1007,
    IDC_IN_GROUP = 1008,
    IDC_KANA_TO_FULL = 1009,
    IDC_OUT_SJIS = 1010,
    IDC_OUT_JIS = 1011,
    IDC_OUT_EUC = 1012,
    IDC_OUT_UNICODE = 1013,
    IDC_OUT_GROUP = 1014,
    IDC_KANA_TO_HALF = 1015,
    IDC_ALNUM_TO_HALF = 1016,
    IDC_ALNUM_TO_FULL = 1017,
    IDC_CONVERT_KANA = 1018,
    IDC_CONVERT_ALNUM = 1019,
    IDC_INPUT_BOX = 1020,
    IDC_OUTPUT_BOX = 1021,
    IDC_PREVIEW = 1025,
    IDC_HEX_DISPLAY = 1026,
    IDC_CLOSE_AFTER_RUN = 1028,
    IDC_OUT_UTF8 = 1029,
    IDC_IN_UTF8 = 1030,
};

// The command of the about entry (the context menu's and F1's).
constexpr int IDM_ABOUTBOX = 0x0010;

class CMainDlg : public QDialog, public ConversionRequest {
    Q_OBJECT

public:
    // `clipboard` is the desktop's clipboard port (it may be null); the
    // dialog does not own it. The preview reads through peekClipboard.
    CMainDlg(Language language, IClipboardPort* clipboard, QWidget* parent = nullptr);
    ~CMainDlg() override;

    // Shows the dialog modally: IDOK after Execute (the values collected),
    // IDCANCEL after Cancel, Esc or the close box (nothing collected).
    int DoModal();

    // Members of the dialog beyond the request, as the handlers use them.
    std::string m_clipboardLabel;    // list item 0: "Clipboard" or "Clipboard(TextPad)", UTF-8
    PreviewState m_previewState = Hidden;
    int32_t m_hexDisplay = 0;        // check box 1026
    CByteStream m_previewIn;         // the preview's input, as Shift-JIS
    CByteStream m_previewOut;        // the preview's result
    QIcon m_icon;                    // icon 128

    // The preview: RefreshPreview calls this hook when it is set. The hook
    // sees the state the handler has just set (ReloadInput: read the input
    // again; Reconvert: convert the kept input; Current: nothing to do).
    std::function<void()> onRefreshPreview;

    // The clipboard's text for the preview, read without disturbing it:
    // the clipboard is not emptied and no calling editor is sent a command
    // (the application's ReadClipboard with peek set). 1 when text was read
    // into the stream, which then ends with 0x00; 0 otherwise. Unset: the
    // clipboard offers no text.
    std::function<int(CByteStream&)> peekClipboard;

    // Window set-up at each showing (called by DoModal), and the exchange
    // between the members and the controls: save = true collects from the
    // controls, false shows the flags in them.
    virtual void OnInitDialog();
    void DoDataExchange(bool save);
    void UpdateData(bool save) { DoDataExchange(save); }

    // The preview refresh (ui/preview.cpp): calls onRefreshPreview, reads
    // the input again where the state or an empty input asks for it,
    // converts unless the state is Current, shows the result as text or as
    // a hex dump under a caption naming the encodings, and shows the window.
    // A refresh asked for while one runs (from a message box's loop) runs
    // once right after it.
    virtual void RefreshPreview();
    // Reads the input (the file named in the input field, or the clipboard
    // through peekClipboard) into m_previewIn as Shift-JIS, and notes the
    // encoding detected. Called only by RefreshPreview.
    void LoadPreviewInput();

    // The about entry: ids 16 to 31 open the about box.
    void OnSysCommand(int id);

    // The control of template 102 with `id` (nullptr if there is none).
    QWidget* GetDlgItem(int id) const;
    CDropComboBox* InputBox() const { return m_inputBox; }
    CDropComboBox* OutputBox() const { return m_outputBox; }
    CPreviewDlg* PreviewWindow() const { return m_preview; }
    Language InterfaceLanguage() const { return m_language; }

public slots:
    // Once per change of the clipboard. The host connects it to
    // QClipboard::dataChanged (or its desktop port's notification) once;
    // it acts only while the dialog is on screen.
    void OnClipboardChanged();

    // Handlers of the controls (public so that a host or a test can drive
    // them exactly as the controls do).
    void OnInputMode(EncodingId mode);
    void OnOutputMode(EncodingId mode);
    void OnKanaDirection(int toHalf);
    void OnAlnumDirection(int toHalf);
    void OnConvertKana();
    void OnConvertAlnum();
    void OnHexDisplay();
    void OnPreview();
    void OnBrowseInput();
    void OnBrowseOutput();
    void OnInputDropped();
    void OnInputCloseUp();
    void OnOutputChanged();

    void accept() override;  // Execute: collect, then end with IDOK
    void reject() override;  // Cancel, Esc, close box: end with IDCANCEL

protected:
    // The file dialog of the browse buttons: true with the chosen full path,
    // false when the user cancelled. `save` selects the save dialog (which
    // does not ask about overwriting; the application asks after Execute).
    virtual bool RunFileDialog(bool save, std::string& path);
    // The about box, shown modally.
    virtual void ShowAboutBox();
    // A message of the preview in a box on this dialog, under the program's
    // name. The box is modal to the dialog but does not hold up the
    // refresh; while one is open, the next message replaces its text.
    virtual void ShowPreviewMessage(const std::string& text);

    void contextMenuEvent(QContextMenuEvent* event) override;
    // Each paint while the preview is active brings its window to the top.
    void paintEvent(QPaintEvent* event) override;

private:
    void OnDestroy();
    void Browse(CDropComboBox* box, bool save);
    void SetCheck(int id, bool checked);
    bool IsChecked(int id) const;
    void Enable(int id, bool enabled);
    void PreviewOn(PreviewState state);  // if active: set `state`, refresh
    void ConvertPreview();               // a refresh's conversion, view and caption
    void ShowInPreview(const CByteStream& text);

    Language m_language;
    IClipboardPort* m_clipboard;
    bool m_onScreen = false;  // between OnInitDialog and the end of the showing

    std::map<int, QWidget*> m_controls;
    QPushButton* m_previewButton = nullptr;
    QPushButton* m_browseOutput = nullptr;
    QPushButton* m_browseInput = nullptr;
    CDropComboBox* m_outputBox = nullptr;
    CDropComboBox* m_inputBox = nullptr;
    QRadioButton* m_kanaToHalfRadio = nullptr;
    QRadioButton* m_alnumToHalfRadio = nullptr;
    QRadioButton* m_kanaToFullRadio = nullptr;
    QRadioButton* m_alnumToFullRadio = nullptr;
    CPreviewDlg* m_preview = nullptr;
    QPointer<QMessageBox> m_previewBox;  // the preview's open message box
    bool m_refreshing = false;           // a refresh is running
    bool m_refreshAgain = false;         // and another was asked for meanwhile
    PreviewState m_stateAgain = Hidden;  // the state that one was asked with
    bool m_clipboardReload = false;      // the load follows a clipboard change
    bool m_clipboardAgain = false;       // and so does the one asked for meanwhile
    std::string m_lastOpenFailure;       // name and cause of the last failed open
    QAction* m_aboutAction = nullptr;  // the about entry: context menu and F1
};

}  // namespace morvel
