// The clipboard port over the desktop module: the desktop's CLIPBOARD
// selection, whose text is UTF-8, seen through the program's two formats.
//   CF_TEXT         the text converted to CP932, ending with one 0x00
//   CF_UNICODETEXT  the text as UTF-16 little-endian, ending with a zero unit
// What the program puts there as CF_TEXT (CP932 bytes, up to the first 0x00)
// goes to the desktop as UTF-8; a byte sequence that is no CP932 character
// (EUC-JP text, say) becomes U+FFFD, so the desktop always gets valid UTF-8.
//
// The desktop's text is read at most once between Open and Close, and
// converted once for as long as it stays the same. Empty takes effect at
// Close; a SetData after it replaces the text read before in one step, and
// fails, leaving the clipboard as it is, when another program took the
// clipboard after that read. Without a desktop
// session or module the port is the headless one: no text, and Open fails.
#pragma once

#include "app/headless_ports.h"

namespace morvel {

class CDesktopClipboard final : public IClipboardPort {
public:
    bool Available() const override;
    bool Open(uint32_t ownerWindow) override;
    void Close() override;
    bool Empty() override;
    bool IsFormatAvailable(uint32_t format) override;
    bool GetData(uint32_t format, std::vector<uint8_t>& block) override;
    bool SetData(uint32_t format, const std::vector<uint8_t>& block) override;
    std::string LastErrorText() override;

private:
    bool HasText();

    CHeadlessClipboard m_headless;
    bool m_open = false;
    bool m_emptyPending = false;  // Empty was called; done at Close unless SetData came first
    enum class Text { kUnread, kNone, kRead } m_text = Text::kUnread;
    std::vector<uint8_t> m_utf8;                // the text last read
    std::vector<uint8_t> m_converted[2];        // CF_TEXT, CF_UNICODETEXT of it, once made
    std::string m_lastError;
};

}  // namespace morvel
