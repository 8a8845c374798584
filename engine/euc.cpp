// Shift-JIS <-> EUC-JP. Stateless: a JIS X 0208 pair with both high bits set,
// half-width katakana behind 0x8E.
#include "engine/engine.h"
#include "engine/internal/kanji.h"
#include "engine/internal/scan.h"

namespace morvel {
namespace {

using namespace internal;

// Copies the run of printable ASCII at p (both directions pass it through
// unchanged) and returns how far it got; stops short of `stop` by fewer than
// eight bytes, or at the first other byte.
inline const uint8_t* CopyPrintable(const uint8_t* p, const uint8_t* stop, uint8_t*& o) {
    while (stop - p >= 8) {
        const uint64_t x = Load64(p);
        const uint64_t stopper = NonPrintable(x);
        Store64(o, x);
        if (stopper) {
            const unsigned k = FirstFlagged(stopper);
            o += k;
            return p + k;
        }
        o += 8;
        p += 8;
    }
    return p;
}

}  // namespace

void SjisToEuc(CByteStream& src, CByteStream& dst) {
    auto [p, end] = TakeText(src);
    while (p < end) {
        const int64_t len = end - p < kChunk ? end - p : kChunk;
        const uint8_t* const stop = p + len;
        // Half-width katakana double; everything else keeps its length.
        uint8_t* const out = dst.Reserve(2 * len + 16);
        uint8_t* o = out;
        while (p < stop) {
            p = CopyPrintable(p, stop, o);
            if (p >= stop) break;
            const unsigned c = *p;
            if (c < 0x7F) {
                ++p;
                if (c >= 0x20 || IsKeptControl(c)) *o++ = static_cast<uint8_t>(c);
            } else if (c >= 0xA1 && c <= 0xDF) {
                ++p;
                o[0] = 0x8E;
                o[1] = static_cast<uint8_t>(c);
                o += 2;
            } else if (IsSjisLead(c)) {
                if (p + 1 == end) {  // a lead byte that ends the text
                    *o++ = static_cast<uint8_t>(c);
                    ++p;
                    continue;
                }
                const unsigned t = p[1];
                p += 2;
                if (IsValidSjisPair(c, t)) {
                    SjisToJisPair(c, t, o);
                    o[0] |= 0x80;
                    o[1] |= 0x80;
                } else {
                    o[0] = static_cast<uint8_t>(c);
                    o[1] = static_cast<uint8_t>(t | 0x80);
                }
                o += 2;
            } else {
                ++p;  // 0x7F, 0x80, 0xA0, 0xFD-0xFF are dropped
            }
        }
        dst.Commit(o - out);
    }
    dst.Append(0x00);
}

void EucToSjis(CByteStream& src, CByteStream& dst) {
    auto [p, end] = TakeText(src);
    while (p < end) {
        const int64_t len = end - p < kChunk ? end - p : kChunk;
        const uint8_t* const stop = p + len;
        uint8_t* const out = dst.Reserve(len + 16);  // nothing grows
        uint8_t* o = out;
        while (p < stop) {
            p = CopyPrintable(p, stop, o);
            if (p >= stop) break;
            const unsigned c = *p++;
            if (c < 0x7F) {
                if (c >= 0x20 || IsKeptControl(c)) {
                    *o++ = static_cast<uint8_t>(c);
                } else if (c == 0x1B) {
                    // An escape sequence that strayed into EUC-JP text is dropped.
                    if (p == end) break;
                    const unsigned d = *p++;
                    if ((d == '$' || d == '(') && p < end) ++p;
                }
                // Other control characters are dropped.
            } else if (c == 0x8E) {
                if (p < end) *o++ = *p++;
            } else if (c >= 0xA1 && c <= 0xFE) {
                if (p == end) {  // the text ends inside a pair
                    *o++ = static_cast<uint8_t>(c);
                } else {
                    JisToSjisPair(c & 0x7F, *p++ & 0x7Fu, o);
                    o += 2;
                }
            }
            // 0x7F, 0x80-0x8D, 0x8F-0xA0 and 0xFF are dropped; so a JIS X 0212
            // character loses its 0x8F and its two bytes convert as a pair.
        }
        dst.Commit(o - out);
    }
    dst.Append(0x00);
}

}  // namespace morvel
