#include "ui/color_edit.h"

#include <QPalette>
#include <QString>
#include <QtEndian>
#include <algorithm>
#include <cstring>

#include "engine/engine.h"

namespace morvel {

CColorEdit::CColorEdit(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    // Black on white in every state, like a field one can type in, not on
    // the dialog's own background colour.
    QPalette colors = palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        colors.setColor(group, QPalette::Text, m_textColor);
        colors.setColor(group, QPalette::Base, m_backColor);
        colors.setColor(group, QPalette::Window, m_backColor);
    }
    setPalette(colors);
    setBackgroundVisible(false);
    // The view takes its text in one piece: no undo history of it.
    setUndoRedoEnabled(false);
}

void CColorEdit::LimitText(int64_t limit) { m_limit = limit <= 0 ? kMaxText : std::min(limit, kMaxText); }

void CColorEdit::SetBytes(const uint8_t* p, int64_t n) {
    n = std::clamp<int64_t>(n, 0, m_limit);
    if (const void* nul = n > 0 ? std::memchr(p, 0, static_cast<size_t>(n)) : nullptr)
        n = static_cast<const uint8_t*>(nul) - p;
    QString text;
    if (n > 0) {
        // CP932 to UTF-16 by the code-page layer: the mark FF FE, the text,
        // a zero code unit.
        CByteStream bytes, utf16;
        std::memcpy(bytes.Reserve(n), p, static_cast<size_t>(n));
        bytes.Commit(n);
        bytes.Append(0x00);
        ToUtf16(bytes, utf16, Unicode);
        const int64_t units = utf16.Size() / 2 - 2;
        if (units > 0) {
            text.resize(static_cast<qsizetype>(units));
            qFromLittleEndian<char16_t>(utf16.Data() + 2, static_cast<qsizetype>(units), text.data());
        }
    }
    setPlainText(text);
}

}  // namespace morvel
