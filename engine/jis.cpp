// Shift-JIS <-> ISO-2022-JP (JIS).
//
// Both directions are state machines over the three shift states ASCII, Kana
// and Kanji. Written: ESC $ B (Kanji), ESC ( I (Kana), ESC ( B (ASCII).
// Understood on reading as well: ESC $ @, ESC ( J, SO and SI.
#include "engine/engine.h"
#include "engine/internal/kanji.h"
#include "engine/internal/scan.h"

namespace morvel {
namespace {

using namespace internal;

enum class Shift { Ascii, Kana, Kanji };

inline uint8_t* PutEscape(uint8_t* o, uint8_t a, uint8_t b) {
    o[0] = 0x1B;
    o[1] = a;
    o[2] = b;
    return o + 3;
}

// Bytes that end a run copied unchanged in the ASCII state of the decoder:
// SO, SI and ESC.
inline uint64_t JisShiftBytes(uint64_t x) {
    return ZeroBytes((x ^ (kOnes * 0x0E)) & (kOnes * 0xFE)) | BytesEqual(x, 0x1B);
}

}  // namespace

void SjisToJis(CByteStream& src, CByteStream& dst) {
    auto [p, end] = TakeText(src);
    Shift state = Shift::Ascii;
    while (p < end) {
        const int64_t len = end - p < kChunk ? end - p : kChunk;
        const uint8_t* const stop = p + len;
        // A byte gives at most an escape and one byte; a pair an escape and two.
        uint8_t* const out = dst.Reserve(4 * len + 16);
        uint8_t* o = out;
        while (p < stop) {
            if (state == Shift::Ascii) {
                // Printable ASCII passes through unchanged in the ASCII state.
                while (stop - p >= 8) {
                    const uint64_t x = Load64(p);
                    const uint64_t stopper = NonPrintable(x);
                    Store64(o, x);
                    if (stopper) {
                        const unsigned k = FirstFlagged(stopper);
                        o += k;
                        p += k;
                        break;
                    }
                    o += 8;
                    p += 8;
                }
                if (p >= stop) break;
            }
            const unsigned c = *p;
            if (c < 0x7F) {
                ++p;
                if (c < 0x20 && !IsKeptControl(c)) continue;
                if (state != Shift::Ascii) {
                    o = PutEscape(o, '(', 'B');
                    state = Shift::Ascii;
                }
                *o++ = static_cast<uint8_t>(c);
            } else if (c >= 0xA1 && c <= 0xDF) {
                ++p;
                if (state != Shift::Kana) {
                    o = PutEscape(o, '(', 'I');
                    state = Shift::Kana;
                }
                *o++ = static_cast<uint8_t>(c & 0x7F);
            } else if (IsSjisLead(c)) {
                if (p + 1 == end) {  // a lead byte that ends the text
                    *o++ = static_cast<uint8_t>(c);
                    ++p;
                    continue;
                }
                const unsigned t = p[1];
                p += 2;
                if (IsValidSjisPair(c, t)) {
                    if (state != Shift::Kanji) {
                        o = PutEscape(o, '$', 'B');
                        state = Shift::Kanji;
                    }
                    SjisToJisPair(c, t, o);
                } else {
                    o[0] = static_cast<uint8_t>(c);
                    o[1] = static_cast<uint8_t>(t);
                }
                o += 2;
            } else {
                ++p;  // 0x7F, 0x80, 0xA0, 0xFD-0xFF are dropped
            }
        }
        dst.Commit(o - out);
    }
    uint8_t* const out = dst.Reserve(4);
    uint8_t* o = out;
    if (state != Shift::Ascii) o = PutEscape(o, '(', 'B');
    *o++ = 0x00;
    dst.Commit(o - out);
}

void JisToSjis(CByteStream& src, CByteStream& dst) {
    auto [p, end] = TakeText(src);
    Shift state = Shift::Ascii;
    while (p < end) {
        const int64_t len = end - p < kChunk ? end - p : kChunk;
        const uint8_t* const stop = p + len;
        // Nothing grows: escapes vanish, pairs stay pairs.
        uint8_t* const out = dst.Reserve(len + 16);
        uint8_t* o = out;
        while (p < stop) {
            if (state == Shift::Ascii) {
                // Everything but SO, SI and ESC is copied in the ASCII state.
                while (stop - p >= 8) {
                    const uint64_t x = Load64(p);
                    const uint64_t stopper = JisShiftBytes(x);
                    Store64(o, x);
                    if (stopper) {
                        const unsigned k = FirstFlagged(stopper);
                        o += k;
                        p += k;
                        break;
                    }
                    o += 8;
                    p += 8;
                }
                if (p >= stop) break;
            }
            const unsigned c = *p++;
            if (c == 0x0E) {
                state = Shift::Kana;
            } else if (c == 0x0F) {
                state = Shift::Ascii;
            } else if (c == 0x1B) {
                if (p == end) break;
                const unsigned d = *p++;
                if (d != '$' && d != '(') continue;
                if (p == end) break;
                const unsigned e = *p++;
                if (d == '$' && (e == '@' || e == 'B')) state = Shift::Kanji;
                if (d == '(' && e == 'I') state = Shift::Kana;
                if (d == '(' && (e == 'B' || e == 'J')) state = Shift::Ascii;
            } else if (IsKeptControl(c) || (c >= 0xA1 && c <= 0xDF)) {
                *o++ = static_cast<uint8_t>(c);
            } else if (state == Shift::Kana) {
                *o++ = static_cast<uint8_t>(c | 0x80);
            } else if (state == Shift::Kanji) {
                if (p == end) {  // the text ends inside a pair
                    *o++ = static_cast<uint8_t>(c);
                } else {
                    JisToSjisPair(c, *p++, o);
                    o += 2;
                }
            } else {
                *o++ = static_cast<uint8_t>(c);
            }
        }
        dst.Commit(o - out);
    }
    dst.Append(0x00);
}

}  // namespace morvel
