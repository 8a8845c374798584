// The four width foldings on Shift-JIS text.
//
// Each finds the end of its text first (the first 0x00 or 0x1A from the
// read position, eight bytes at a time), reserves the worst case of its
// output once, writes through the raw pointer and commits. Where the
// folding leaves bytes below 0x80 as they are, it copies eight bytes at a
// time every word in which no character it changes starts. A lead byte
// always takes the next byte of the text with it.
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "engine/engine.h"
#include "engine/width_tables.h"

namespace morvel {
namespace {

constexpr uint64_t kOnes = 0x0101010101010101ULL;
constexpr uint64_t kHigh = 0x8080808080808080ULL;

inline uint64_t Load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void Store64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, sizeof v); }

// Bit 7 set in every byte of x that is zero; the lowest flagged byte is
// always a true hit.
inline uint64_t ZeroBytes(uint64_t x) { return (x - kOnes) & ~x & kHigh; }

inline unsigned FirstFlagged(uint64_t mask) { return static_cast<unsigned>(std::countr_zero(mask)) / 8; }

// The text of `src` from its read position: where it starts and ends. The
// read position is left alone until the folding has its room (so a failed
// allocation leaves the source as it was); Finish() then moves it to the end
// exactly as reading the text byte by byte would.
struct Text {
    const uint8_t* begin = nullptr;
    const uint8_t* end = nullptr;

    int64_t Length() const { return end - begin; }
};

Text FindText(const CByteStream& src) {
    const int64_t pos = src.ReadPos();
    const int64_t size = src.Size();
    if (pos < 0 || pos >= size) return {};
    const uint8_t* const begin = src.Data() + pos;
    const uint8_t* const stop = src.Data() + size;
    const uint8_t* p = begin;
    for (; stop - p >= 8; p += 8) {
        const uint64_t x = Load64(p);
        const uint64_t hit = ZeroBytes(x) | ZeroBytes(x ^ (kOnes * 0x1A));
        if (hit) return {begin, p + FirstFlagged(hit)};
    }
    while (p < stop && *p != 0x00 && *p != 0x1A) ++p;
    return {begin, p};
}

void Finish(CByteStream& src, const Text& text, CByteStream& dst, const uint8_t* out0, uint8_t* o) {
    *o++ = 0x00;
    dst.Commit(o - out0);
    if (text.begin != nullptr) src.SetReadPos(text.end - src.Data());
}

inline void Put16(uint8_t*& o, uint16_t code) {
    o[0] = static_cast<uint8_t>(code >> 8);
    o[1] = static_cast<uint8_t>(code);
    o += 2;
}

// A lead byte at p with whatever follows it in the text: both bytes copied,
// or the lead alone at the very end.
inline void CopyLeadPair(const uint8_t*& p, const uint8_t* e, uint8_t*& o) {
    o[0] = p[0];
    if (e - p >= 2) {
        o[1] = p[1];
        o += 2;
        p += 2;
    } else {
        o += 1;
        p += 1;
    }
}

constexpr bool IsHalfKana(unsigned b) { return b - kHalfKanaFirst <= unsigned{kHalfKanaLast - kHalfKanaFirst}; }

// ---- Eight bytes at a time ------------------------------------------------
//
// The foldings change only a few kinds of character; everything else is
// copied. A word of eight bytes is copied whole when no character that
// starts in it is one the folding changes. Where the characters start
// follows from which bytes are lead bytes: kWordUnits gives, for the lead
// bytes of a word (one bit per byte) and a character starting at byte 0,
// the bytes at which characters start and how far the word's last character
// reaches (8, or 9 when the last byte is a lead byte whose trail is the
// first byte of the next word).

// Bit 7 of each byte of x, gathered into the low 8 bits (byte i -> bit i).
inline unsigned GatherHigh(uint64_t flags) {
    return static_cast<unsigned>((((flags & kHigh) >> 7) * 0x0102040810204080ULL) >> 56);
}

// Bit 7 set in each byte of a word of 7-bit values y that is above n; exact
// for every byte (no carry leaves a byte).
inline uint64_t Above(uint64_t y, uint8_t n) { return (y + kOnes * static_cast<uint8_t>(0x7F - n)) & kHigh; }

// Bit 7 set in each byte of x in [first, last]; both of the same high bit.
inline uint64_t InRange(uint64_t x, uint8_t first, uint8_t last) {
    const uint64_t y = x & ~kHigh;
    const uint64_t high = (first & 0x80) ? x & kHigh : ~x & kHigh;
    return high & Above(y, static_cast<uint8_t>((first & 0x7F) - 1)) & ~Above(y, last & 0x7F);
}

// Lead bytes 0x81-0x9F and 0xE0-0xFC.
inline uint64_t LeadBytes(uint64_t x) { return InRange(x, 0x81, 0x9F) | InRange(x, 0xE0, 0xFC); }

struct WordUnits {
    uint8_t starts;   // bit i: a character starts at byte i
    uint8_t advance;  // where the character after the word's last one starts
};

constexpr std::array<WordUnits, 256> MakeWordUnits() {
    std::array<WordUnits, 256> table{};
    for (int leads = 0; leads < 256; ++leads) {
        int i = 0;
        int starts = 0;
        while (i < 8) {
            starts |= 1 << i;
            i += (leads >> i) & 1 ? 2 : 1;
        }
        table[leads] = {static_cast<uint8_t>(starts), static_cast<uint8_t>(i)};
    }
    return table;
}

constexpr std::array<WordUnits, 256> kWordUnits = MakeWordUnits();

// The loop the foldings but AlnumToFullWidth share. While nine bytes remain
// (a word and the trail its last byte may take): Changed(v, w) flags the
// bytes of the word v that start a character the folding changes, w being
// the word one byte further on (so the byte after each one). A word whose characters
// the folding leaves alone is copied whole; otherwise the characters before
// the first one to change are copied and that one and the characters up
// to the next ASCII byte go through FoldUnit.
// The last bytes go character by character: ASCII copied, the rest through
// FoldUnit, which also deals with a lead byte at the very end.
// The word stores may reach past the bytes they add; that stays inside the
// room because every folding writes at most as many bytes per input byte as
// it reserved for, so at least as much room is left as input.
template <class Changed, class FoldUnit>
inline uint8_t* FoldText(const uint8_t* p, const uint8_t* const e, uint8_t* o, Changed changed, FoldUnit fold) {
    while (e - p >= 9) {
        const uint64_t v = Load64(p);
        Store64(o, v);
        if ((v & kHigh) == 0) {
            p += 8;
            o += 8;
            continue;
        }
        const WordUnits units = kWordUnits[GatherHigh(LeadBytes(v))];
        const unsigned hits = GatherHigh(changed(v, Load64(p + 1))) & units.starts;
        if (hits == 0) {
            o[8] = p[8];
            p += units.advance;
            o += units.advance;
            continue;
        }
        const unsigned k = static_cast<unsigned>(std::countr_zero(hits));
        p += k;
        o += k;
        // Changed characters tend to come in runs (katakana words): go on
        // character by character up to the next ASCII byte.
        do {
            fold(p, e, o);
        } while (p < e && *p >= 0x80);
    }
    while (p < e) {
        if (*p < 0x80) {
            *o++ = *p++;
        } else {
            fold(p, e, o);
        }
    }
    return o;
}

// One unit of KanaToFullWidth from a byte 0x80 or above at p.
inline void KanaFullUnit(const uint8_t*& p, const uint8_t* e, uint8_t*& o) {
    const unsigned g = *p;
    if (IsHalfKana(g)) {
        const int i = static_cast<int>(g) - kKanaFullBase;
        if (e - p >= 2) {
            const unsigned h = p[1];
            if (h == kVoicedMark) {
                if (kKanaFullVoiced[i] != 0) {
                    Put16(o, kKanaFullVoiced[i]);
                } else {
                    Put16(o, kKanaFull[i]);
                    Put16(o, kFullVoicedMark);
                }
                p += 2;
                return;
            }
            if (h == kSemiVoicedMark) {
                if (kKanaFullSemiVoiced[i] != 0) {
                    Put16(o, kKanaFullSemiVoiced[i]);
                } else {
                    Put16(o, kKanaFull[i]);
                    Put16(o, kFullSemiVoicedMark);
                }
                p += 2;
                return;
            }
        }
        // Any other next byte is a character of its own: fold this one and
        // look at that byte afresh.
        Put16(o, kKanaFull[i]);
        p += 1;
    } else if (IsLeadByte(static_cast<int>(g))) {
        CopyLeadPair(p, e, o);
    } else {
        *o++ = *p++;
    }
}

// The bytes that start a character KanaToFullWidth changes: ｡ to ﾟ.
inline uint64_t KanaFullChanged(uint64_t v, uint64_t) { return InRange(v, kHalfKanaFirst, kHalfKanaLast); }

// One unit of KanaToHalfWidth from a byte 0x80 or above at p.
inline void KanaHalfUnit(const uint8_t*& p, const uint8_t* e, uint8_t*& o) {
    const unsigned a = *p;
    if (!IsLeadByte(static_cast<int>(a))) {
        *o++ = *p++;
        return;
    }
    if (e - p < 2) {  // a lead byte without its trail is dropped
        p += 1;
        return;
    }
    const unsigned b = p[1];
    p += 2;
    if (a == 0x83 && b - kKanaHalfTrailFirst <= unsigned{kKanaHalfTrailLast - kKanaHalfTrailFirst}) {
        const uint8_t* half = kKanaHalf[KanaHalfIndex(static_cast<int>(b))];
        o[0] = half[0];
        o[1] = half[1];
        o += half[1] == kKanaHalfNone ? 1 : 2;
    } else if (a == (kFullLongVowel >> 8) && b == (kFullLongVowel & 0xFF)) {
        *o++ = kHalfLongVowel;
    } else {
        o[0] = static_cast<uint8_t>(a);
        o[1] = static_cast<uint8_t>(b);
        o += 2;
    }
}

// The characters KanaToHalfWidth changes: 83 40 - 83 94 and 81 5B (ー).
inline uint64_t KanaHalfChanged(uint64_t v, uint64_t next) {
    return (InRange(v, 0x83, 0x83) & (InRange(next, 0x40, 0x7F) | InRange(next, 0x80, 0x94))) |
           (InRange(v, 0x81, 0x81) & InRange(next, 0x5B, 0x5B));
}

// One unit of AlnumToHalfWidth from a byte 0x80 or above at p.
inline void AlnumHalfUnit(const uint8_t*& p, const uint8_t* e, uint8_t*& o) {
    const unsigned a = *p;
    if (!IsLeadByte(static_cast<int>(a)) || e - p < 2) {  // also a lead byte alone at the very end
        *o++ = *p++;
        return;
    }
    const unsigned b = p[1];
    p += 2;
    if (a == 0x81 && kSymbolHalfOf81[b] != 0) {
        *o++ = kSymbolHalfOf81[b];
    } else if (a == 0x82 && ((b >= 0x4F && b <= 0x58) || (b >= 0x60 && b <= 0x79))) {  // ０-９, Ａ-Ｚ
        *o++ = static_cast<uint8_t>(b - 0x1F);
    } else if (a == 0x82 && b >= 0x81 && b <= 0x9A) {  // ａ-ｚ
        *o++ = static_cast<uint8_t>(b - 0x20);
    } else {
        o[0] = static_cast<uint8_t>(a);
        o[1] = static_cast<uint8_t>(b);
        o += 2;
    }
}

// The characters AlnumToHalfWidth may change: 81 40 - 81 97 (the rows of
// kSymbolFull lie there) and the full-width digits and letters 82 4F - 82 58,
// 82 60 - 82 79, 82 81 - 82 9A.
inline uint64_t AlnumHalfChanged(uint64_t v, uint64_t next) {
    return (InRange(v, 0x81, 0x81) & (InRange(next, 0x40, 0x7F) | InRange(next, 0x80, 0x97))) |
           (InRange(v, 0x82, 0x82) &
            (InRange(next, 0x4F, 0x58) | InRange(next, 0x60, 0x79) | InRange(next, 0x81, 0x9A)));
}

}  // namespace

// Output: at most 2 bytes per input byte (a half-width byte becomes one
// full-width character; a byte and its mark become at most two), plus 0x00.
void KanaToFullWidth(CByteStream& src, CByteStream& dst) {
    const Text text = FindText(src);
    uint8_t* const out0 = dst.Reserve(2 * text.Length() + 1);
    uint8_t* const o = FoldText(text.begin, text.end, out0, KanaFullChanged, KanaFullUnit);
    Finish(src, text, dst, out0, o);
}

// Output: never more bytes than input (a lead byte at the very end is
// dropped), plus 0x00.
void KanaToHalfWidth(CByteStream& src, CByteStream& dst) {
    const Text text = FindText(src);
    uint8_t* const out0 = dst.Reserve(text.Length() + 1);
    uint8_t* const o = FoldText(text.begin, text.end, out0, KanaHalfChanged, KanaHalfUnit);
    Finish(src, text, dst, out0, o);
}

// Output: never more bytes than input, plus 0x00.
void AlnumToHalfWidth(CByteStream& src, CByteStream& dst) {
    const Text text = FindText(src);
    uint8_t* const out0 = dst.Reserve(text.Length() + 1);
    uint8_t* const o = FoldText(text.begin, text.end, out0, AlnumHalfChanged, AlnumHalfUnit);
    Finish(src, text, dst, out0, o);
}

// Output: at most 2 bytes per input byte, plus 0x00. Every byte goes through
// kAlnumFullOf, which says what it becomes; only lead bytes need more.
void AlnumToFullWidth(CByteStream& src, CByteStream& dst) {
    const Text text = FindText(src);
    uint8_t* const out0 = dst.Reserve(2 * text.Length() + 1);
    uint8_t* o = out0;
    const uint8_t* p = text.begin;
    const uint8_t* const e = text.end;
    while (p < e) {
        const AlnumFullForm& f = kAlnumFullOf[*p];
        if (f.len != 0) {
            o[0] = f.out[0];
            o[1] = f.out[1];
            o += f.len;
            p += 1;
        } else {
            CopyLeadPair(p, e, o);
        }
    }
    Finish(src, text, dst, out0, o);
}

}  // namespace morvel
