// The preview's text view: a read-only, multi-line view that shows bytes of
// the system code page (CP932) as text, black on white whatever the
// desktop's theme, and that has a text limit as the preview's handshake
// needs it (a limit is asked for, the effective one read back).
#pragma once

#include <QColor>
#include <QPlainTextEdit>
#include <cstdint>

namespace morvel {

class CColorEdit : public QPlainTextEdit {
    Q_OBJECT

public:
    // The most bytes of text the view takes: what is beyond it is not shown
    // (the text is still made whole). It keeps the view quick to fill,
    // scroll and resize with a result of any size.
    static constexpr int64_t kMaxText = int64_t{1} << 19;

    explicit CColorEdit(QWidget* parent = nullptr);

    // The text limit in bytes: `limit` lowered to kMaxText; 0 asks for the
    // maximum, kMaxText.
    void LimitText(int64_t limit);
    int64_t GetLimitText() const { return m_limit; }

    // Shows the first `n` bytes of `p` (no more than the limit) decoded as
    // CP932, up to the first 0x00 byte; CR LF and LF end lines.
    void SetBytes(const uint8_t* p, int64_t n);

    const QColor m_textColor{0, 0, 0};
    const QColor m_backColor{255, 255, 255};

private:
    int64_t m_limit = kMaxText;
};

}  // namespace morvel
