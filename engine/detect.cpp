// Encoding detection: byte-order marks first, then four counting passes (JIS,
// Shift-JIS, EUC-JP, UTF-8) over at most 65,536 units each, decided by a
// fixed order of rules. Ahead of those rules stands one more: a text that is
// well-formed UTF-8 and holds at least one multi-byte sequence is UTF-8. On
// Linux nearly every text is UTF-8, and without that rule the counting
// passes take UTF-8 Japanese for Shift-JIS (E3 81 is a valid Shift-JIS pair).
#include "engine/engine.h"
#include "engine/internal/scan.h"

namespace morvel {
namespace {

constexpr int64_t kUnitLimit = 0x10000;
// The Shift-JIS and EUC-JP passes may try one lead byte against trail after
// trail; such retries stop at this many bytes from the start, so no pass
// looks further than one unit beyond it.
constexpr int64_t kByteWindow = 0x10000;

// Reads like CByteStream::ReadByte over the stream's bytes, without touching
// the stream until the detection is over.
struct Cursor {
    const uint8_t* data;
    int64_t size;
    int64_t pos;

    int Read() {
        if (pos < 0 || pos >= size) return -1;
        const uint8_t c = data[pos];
        if (c == 0x00 || c == 0x1A) return -1;
        ++pos;
        return c;
    }
};

struct JisCounts {
    int64_t faults = 0;
    bool designated = false;
};

JisCounts JisPass(Cursor cur, int64_t limit) {
    enum class State { Ascii, Kana, Kanji } state = State::Ascii;
    JisCounts r;
    for (int64_t units = 0;; ++units) {
        const int c = cur.Read();
        if (c == -1 || units == limit) break;
        if (c == 0x1B) {
            const int d = cur.Read();
            if (d != '$' && d != '(') {
                ++r.faults;
                continue;
            }
            const int e = cur.Read();
            if (e == -1) {
                ++r.faults;
            } else if (d == '$' && (e == '@' || e == 'B')) {
                state = State::Kanji;
                r.designated = true;
            } else if (d == '(' && e == 'I') {
                state = State::Kana;
                r.designated = true;
            } else if (d == '(' && (e == 'B' || e == 'J')) {
                state = State::Ascii;
                r.designated = true;
            }
        } else if (c == 0x0E) {
            state = State::Kana;
        } else if (c == 0x0F) {
            state = State::Ascii;
        } else if (state == State::Kanji) {
            const int d = cur.Read();
            if (d == -1 || c < 0x21 || c > 0x7E || d < 0x21 || d > 0x7E) ++r.faults;
        } else if (state == State::Kana) {
            // 8-bit half-width katakana are accepted here, as the JIS decoder
            // takes them in every state.
            const bool sevenBit = c >= 0x21 && c <= 0x5F;
            const bool eightBit = c >= 0xA1 && c <= 0xDF;
            if (!sevenBit && !eightBit) ++r.faults;
        }
    }
    return r;
}

struct PairCounts {
    int64_t valid = 0;
    int64_t invalid = 0;
};

PairCounts SjisPass(Cursor cur, int64_t limit) {
    PairCounts r;
    for (int64_t units = 0;; ++units) {
        const int c = cur.Read();
        if (c == -1 || units == limit) break;
        if (!((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC))) continue;
        for (bool first = true;; first = false) {
            if (!first && cur.pos >= kByteWindow) break;
            const int t = cur.Read();
            if (t == -1) break;
            const int w = c * 256 + t;
            if ((w >= 0x8140 && w <= 0x9FFC) || (w >= 0xE040 && w <= 0xFCFC)) {
                ++r.valid;
                break;
            }
            ++r.invalid;  // and the same lead tries the next byte
        }
    }
    return r;
}

PairCounts EucPass(Cursor cur, int64_t limit) {
    PairCounts r;
    for (int64_t units = 0;; ++units) {
        const int c = cur.Read();
        if (c == -1 || units == limit) break;
        if (c >= 0xA1 && c <= 0xFE) {
            for (bool first = true;; first = false) {
                if (!first && cur.pos >= kByteWindow) break;
                const int t = cur.Read();
                if (t == -1) break;
                if (t >= 0xA1 && t <= 0xFE) {
                    ++r.valid;
                    break;
                }
                // not counted; the same first byte tries the next byte
            }
        } else if (c == 0x8E) {
            const int t = cur.Read();
            if (t == -1) continue;
            if (t >= 0xA1 && t <= 0xDF) {
                ++r.valid;
            } else {
                ++r.invalid;
            }
        } else if (c >= 0x80 && c <= 0xA0) {
            ++r.invalid;
        }
    }
    return r;
}

struct Utf8Counts {
    int64_t valid = 0;
    int64_t invalid = 0;
    int64_t endPos = 0;  // where the pass left the read position
};

Utf8Counts Utf8Pass(Cursor cur, int64_t limit) {
    Utf8Counts r;
    auto continuation = [&cur] {
        const int b = cur.Read();
        return b != -1 && (b & 0xC0) == 0x80;
    };
    for (int64_t units = 0;; ++units) {
        const int c = cur.Read();
        if (c == -1 || units == limit) break;
        bool ok;
        if (c < 0x80) {
            ok = true;
        } else if ((c & 0xC0) == 0x80) {
            ok = false;
        } else if ((c & 0xE0) == 0xC0) {
            ok = continuation();
        } else if ((c & 0xF0) == 0xE0) {
            ok = continuation();
            if (ok) cur.Read();
        } else if ((c & 0xF8) == 0xF0) {
            ok = continuation() && continuation();
            if (ok) cur.Read();
        } else {
            ok = false;
        }
        ++(ok ? r.valid : r.invalid);
    }
    r.endPos = cur.pos;
    return r;
}

// Whether the text from byte 0, over at most its first kByteWindow bytes, is
// well-formed UTF-8 (no stray continuation, no overlong form, no surrogate,
// nothing above U+10FFFF) with at least one multi-byte sequence. A sequence
// that the window cuts short counts as well-formed; one that the end of the
// text cuts short does not.
bool IsWellFormedUtf8Text(const uint8_t* data, int64_t size) {
    const int64_t window = size < kByteWindow ? size : kByteWindow;
    const int64_t n = internal::TextLength(data, window);
    const bool cutByWindow =
        n == kByteWindow && size > kByteWindow && data[kByteWindow] != 0x00 && data[kByteWindow] != 0x1A;
    bool multiByte = false;
    int64_t i = 0;
    while (i < n) {
        if (n - i >= 8 && (internal::Load64(data + i) & internal::kHigh) == 0) {
            i += 8;
            continue;
        }
        const unsigned c = data[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int length;
        unsigned lo = 0x80, hi = 0xBF;  // range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            if (c == 0xE0) lo = 0xA0;
            if (c == 0xED) hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F;
        } else {
            return false;
        }
        multiByte = true;
        for (int k = 1; k < length; ++k) {
            if (i + k >= n) return cutByWindow;
            const unsigned b = data[i + k];
            if (k == 1 ? (b < lo || b > hi) : (b & 0xC0) != 0x80) return false;
        }
        i += length;
    }
    return multiByte;
}

}  // namespace

EncodingId DetectEncoding(CByteStream& text) {
    const uint8_t* const data = text.Data();
    const int64_t size = text.Size();

    // A UTF-16 mark, read from where the caller left the read position.
    {
        Cursor mark{data, size, text.ReadPos()};
        const int a = mark.Read();
        const int b = mark.Read();
        text.SetReadPos(mark.pos);
        if ((a == 0xFF && b == 0xFE) || (a == 0xFE && b == 0xFF)) return Unicode;
    }

    // A UTF-8 mark decides before any count.
    {
        Cursor mark{data, size, 0};
        const int a = mark.Read();
        const int b = mark.Read();
        const int c = mark.Read();
        if (a == 0xEF && b == 0xBB && c == 0xBF) {
            text.SetReadPos(mark.pos);
            return Utf8;
        }
    }

    const int64_t limit = size < kUnitLimit ? size : kUnitLimit;
    const Cursor start{data, size, 0};
    const JisCounts jis = JisPass(start, limit);
    const PairCounts sjis = SjisPass(start, limit);
    const PairCounts euc = EucPass(start, limit);
    const Utf8Counts utf8 = Utf8Pass(start, limit);
    text.SetReadPos(utf8.endPos);

    if (size > 0 && IsWellFormedUtf8Text(data, size)) return Utf8;
    if (jis.faults > 0) return Undetermined;
    if (jis.designated) return Jis;
    if (sjis.valid > euc.valid && sjis.invalid == 0) return ShiftJis;
    if (euc.valid > sjis.valid && euc.invalid == 0) return EucJp;
    if (sjis.invalid == 0 && euc.invalid > 0) return ShiftJis;
    if (sjis.invalid > 0 && euc.invalid == 0) return EucJp;
    if (utf8.invalid == 0 && utf8.valid > 0) return Utf8;
    return Undetermined;
}

}  // namespace morvel
