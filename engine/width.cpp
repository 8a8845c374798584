// The four width foldings on Shift-JIS text.
//
// Each finds the end of its text first (the first 0x00 or 0x1A from the
// read position, eight bytes at a time), reserves the worst case of its
// output once, writes through the raw pointer and commits. Runs of bytes
// below 0x80 are copied eight at a time where the folding leaves them as
// they are. A lead byte always takes the next byte of the text with it.
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

// Copies the run of bytes below 0x80 at p; stops at the first byte 0x80 or
// above, or at the end of the text. It stores eight bytes at a time while
// eight remain, possibly past the end of the run: that stays inside the room
// because every folding writes at most as many bytes per input byte as it
// reserved for, so at least as much room is left as input.
inline void CopyAscii(const uint8_t*& p, const uint8_t* e, uint8_t*& o) {
    while (e - p >= 8) {
        const uint64_t v = Load64(p);
        const uint64_t high = v & kHigh;
        Store64(o, v);
        if (high) {
            const unsigned k = FirstFlagged(high);
            p += k;
            o += k;
            return;
        }
        p += 8;
        o += 8;
    }
    while (p < e && *p < 0x80) *o++ = *p++;
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

inline bool IsHalfKana(unsigned b) { return b - kHalfKanaFirst <= unsigned{kHalfKanaLast - kHalfKanaFirst}; }

}  // namespace

// Output: at most 2 bytes per input byte (a half-width byte becomes one
// full-width character; a byte and its mark become at most two), plus 0x00.
// The output never falls behind the input, so the eight-byte stores of the
// ASCII copy stay inside the room.
void KanaToFullWidth(CByteStream& src, CByteStream& dst) {
    const Text text = FindText(src);
    uint8_t* const out0 = dst.Reserve(2 * text.Length() + 1);
    uint8_t* o = out0;
    const uint8_t* p = text.begin;
    const uint8_t* const e = text.end;
    while (p < e) {
        if (*p < 0x80) {
            CopyAscii(p, e, o);
            continue;
        }
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
                    continue;
                }
                if (h == kSemiVoicedMark) {
                    if (kKanaFullSemiVoiced[i] != 0) {
                        Put16(o, kKanaFullSemiVoiced[i]);
                    } else {
                        Put16(o, kKanaFull[i]);
                        Put16(o, kFullSemiVoicedMark);
                    }
                    p += 2;
                    continue;
                }
            }
            // Any other next byte is a character of its own: fold this one
            // and look at that byte afresh.
            Put16(o, kKanaFull[i]);
            p += 1;
        } else if (IsLeadByte(static_cast<int>(g))) {
            CopyLeadPair(p, e, o);
        } else {
            *o++ = *p++;
        }
    }
    Finish(src, text, dst, out0, o);
}

// Output: never more bytes than input (a lead byte at the very end is
// dropped), plus 0x00.
void KanaToHalfWidth(CByteStream& src, CByteStream& dst) {
    const Text text = FindText(src);
    uint8_t* const out0 = dst.Reserve(text.Length() + 1);
    uint8_t* o = out0;
    const uint8_t* p = text.begin;
    const uint8_t* const e = text.end;
    while (p < e) {
        if (*p < 0x80) {
            CopyAscii(p, e, o);
            continue;
        }
        const unsigned a = *p;
        if (!IsLeadByte(static_cast<int>(a))) {
            *o++ = *p++;
            continue;
        }
        if (e - p < 2) {  // a lead byte without its trail is dropped
            p += 1;
            continue;
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
    Finish(src, text, dst, out0, o);
}

// Output: never more bytes than input, plus 0x00.
void AlnumToHalfWidth(CByteStream& src, CByteStream& dst) {
    const Text text = FindText(src);
    uint8_t* const out0 = dst.Reserve(text.Length() + 1);
    uint8_t* o = out0;
    const uint8_t* p = text.begin;
    const uint8_t* const e = text.end;
    while (p < e) {
        if (*p < 0x80) {
            CopyAscii(p, e, o);
            continue;
        }
        const unsigned a = *p;
        if (!IsLeadByte(static_cast<int>(a))) {
            *o++ = *p++;
            continue;
        }
        if (e - p < 2) {  // the lead byte alone at the very end
            *o++ = *p++;
            continue;
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
