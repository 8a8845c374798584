#include "app/desktop_clipboard.h"

#include <cstring>

#include "app/desktop/desktop_module.h"
#include "app/desktop_loader.h"
#include "engine/engine.h"

namespace morvel {

namespace {

// The desktop module when it has a clipboard to offer (asked once).
const MorvelDesktop* Clipboard() {
    static const MorvelDesktop* const desktop = [] {
        const MorvelDesktop* d = DesktopModule();
        return d && d->clipboard_available() ? d : nullptr;
    }();
    return desktop;
}

// `bytes` and one terminating 0x00 as a stream for the engine.
CByteStream TextStream(const uint8_t* bytes, size_t size) {
    CByteStream s;
    s.Resize(static_cast<int64_t>(size) + 1);
    if (size) std::memcpy(s.Data(), bytes, size);
    return s;
}

std::vector<uint8_t> Bytes(const CByteStream& s) { return std::vector<uint8_t>(s.Data(), s.Data() + s.Size()); }

}  // namespace

bool CDesktopClipboard::Available() const { return Clipboard() != nullptr; }

bool CDesktopClipboard::Open(uint32_t ownerWindow) {
    if (!Clipboard()) return m_headless.Open(ownerWindow);
    m_open = true;
    m_text = Text::kUnread;
    return true;
}

void CDesktopClipboard::Close() {
    // An emptying that no write followed.
    if (m_emptyPending) {
        m_emptyPending = false;
        if (const MorvelDesktop* d = Clipboard()) d->clipboard_empty();
    }
    m_open = false;
    m_text = Text::kUnread;
}

// Done at Close, unless a write follows first: the write replaces the text in
// one step, and only where it is still the one read (the desktop's clipboard
// is not held while the program converts, as a Windows clipboard would be:
// another program may take it meanwhile, and keeps it).
bool CDesktopClipboard::Empty() {
    const MorvelDesktop* d = Clipboard();
    if (!d || !m_open) return false;
    m_text = Text::kNone;
    m_emptyPending = true;
    return true;
}

bool CDesktopClipboard::HasText() {
    const MorvelDesktop* d = Clipboard();
    if (!d || !m_open) return false;
    if (m_text == Text::kUnread) {
        uint8_t* data = nullptr;
        size_t size = 0;
        m_text = Text::kNone;
        if (d->clipboard_read(&data, &size)) {
            try {
                // A new text drops the conversions of the last one.
                if (size != m_utf8.size() || (size != 0 && std::memcmp(data, m_utf8.data(), size) != 0)) {
                    m_converted[0].clear();
                    m_converted[1].clear();
                    m_utf8.assign(data, data + size);
                }
                m_text = Text::kRead;
            } catch (...) {
                d->free_block(data);
                m_utf8.clear();
                throw;
            }
            d->free_block(data);
        }
    }
    return m_text == Text::kRead;
}

bool CDesktopClipboard::IsFormatAvailable(uint32_t format) {
    return (format == CF_TEXT || format == CF_UNICODETEXT) && HasText();
}

bool CDesktopClipboard::GetData(uint32_t format, std::vector<uint8_t>& block) {
    if (!IsFormatAvailable(format)) return false;
    std::vector<uint8_t>& converted = m_converted[format == CF_TEXT ? 0 : 1];
    if (converted.empty()) {
        const CByteStream utf8 = TextStream(m_utf8.data(), m_utf8.size());
        CByteStream out;
        if (format == CF_TEXT)
            Utf8InputToSjis(utf8, out);
        else
            ToUtf16(utf8, out, Utf8);
        if (out.Empty()) {  // an empty text: its terminator alone
            out.Append(0);
            if (format == CF_UNICODETEXT) out.Append(0);
        }
        converted = Bytes(out);
    }
    block = converted;
    return true;
}

bool CDesktopClipboard::SetData(uint32_t format, const std::vector<uint8_t>& block) {
    const MorvelDesktop* d = Clipboard();
    m_lastError.clear();
    if (!d || !m_open) return false;
    m_emptyPending = false;  // the write replaces the text, or leaves what is there
    if (format != CF_TEXT) {
        m_lastError = "only text can be put on the desktop's clipboard";
        return false;
    }
    CByteStream utf8;
    SjisToUtf8Output(TextStream(block.data(), block.size()), utf8);
    size_t size = static_cast<size_t>(utf8.Size());
    while (size > 0 && utf8.Data()[size - 1] == 0) --size;  // the terminator stays here
    const char* error = nullptr;
    m_text = Text::kUnread;
    if (d->clipboard_write(utf8.Data(), size, &error)) return true;
    m_lastError = error ? error : "";
    return false;
}

std::string CDesktopClipboard::LastErrorText() { return m_lastError; }

}  // namespace morvel
