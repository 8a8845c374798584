// Tables of the width foldings (Shift-JIS to Shift-JIS).
//
// The literal tables (kKanaFull, kKanaHalf, kSymbolFull, kSymbolHalf) are
// laid out in width_tables.cpp as rows a reader can check line by line; the
// voiced and semi-voiced forms and the byte-indexed lookups of the fast
// foldings are derived from them at compile time.
#pragma once

#include <array>
#include <cstdint>

namespace morvel {

// Half-width katakana are the single bytes 0xA1-0xDF; 0xDE is the voiced
// mark, 0xDF the semi-voiced mark.
inline constexpr uint8_t kHalfKanaFirst = 0xA1;
inline constexpr uint8_t kHalfKanaLast = 0xDF;
inline constexpr uint8_t kVoicedMark = 0xDE;
inline constexpr uint8_t kSemiVoicedMark = 0xDF;

// The full-width marks appended after a half-width character that has no
// voiced (semi-voiced) form of its own.
inline constexpr uint16_t kFullVoicedMark = 0x814A;      // ゛
inline constexpr uint16_t kFullSemiVoicedMark = 0x814B;  // ゜

// Index into the kKanaFull family for a byte b in 0xA0-0xDF: b - 0xA0.
// Entry 0 (0xA0) is not a katakana and holds 0.
inline constexpr int kKanaFullBase = 0xA0;
inline constexpr int kKanaFullCount = 64;

// The full-width Shift-JIS code of each half-width byte.
extern const uint16_t kKanaFull[kKanaFullCount];

// An inclusive range of half-width bytes.
struct ByteRange {
    uint8_t first;
    uint8_t last;
};

// The bytes with a voiced form (kKanaFull code + 1): ｶ-ﾄ and ﾊ-ﾎ; and
// those with a semi-voiced form (kKanaFull code + 2): ﾊ-ﾎ.
inline constexpr int kKanaVoicedRangeCount = 2;
inline constexpr int kKanaSemiVoicedRangeCount = 1;
extern const ByteRange kKanaVoicedRanges[kKanaVoicedRangeCount];
extern const ByteRange kKanaSemiVoicedRanges[kKanaSemiVoicedRangeCount];

// The voiced and semi-voiced full-width codes, derived from kKanaFull and
// the ranges above; 0 where the byte has no such form.
extern const std::array<uint16_t, kKanaFullCount> kKanaFullVoiced;
extern const std::array<uint16_t, kKanaFullCount> kKanaFullSemiVoiced;

// The half-width form of each full-width katakana 83 40 - 83 94: a base
// byte and a mark, the mark kKanaHalfNone when the form is one byte only.
// KanaHalfIndex gives the entry of a trail byte t in 0x40-0x94; 83 7F is
// not a character and takes the entry of 83 80.
inline constexpr int kKanaHalfCount = 84;
inline constexpr uint8_t kKanaHalfNone = 0x20;
inline constexpr uint8_t kKanaHalfTrailFirst = 0x40;
inline constexpr uint8_t kKanaHalfTrailLast = 0x94;
extern const uint8_t kKanaHalf[kKanaHalfCount][2];

constexpr int KanaHalfIndex(int trail) { return trail < 0x80 ? trail - 0x40 : trail - 0x41; }

// The full-width long-vowel mark ー and its half-width form ｰ.
inline constexpr uint16_t kFullLongVowel = 0x815B;
inline constexpr uint8_t kHalfLongVowel = 0xB0;

// KanaToHalfWidth on the pairs at p, one after another while a lead byte is
// there with its trail in front of e (at least one: p holds a lead byte and
// e - p >= 2): the full-width katakana and ー to their half-width forms,
// other pairs copied. Katakana words come as runs of pairs.
inline void KanaHalfPairs(const uint8_t*& p, const uint8_t* e, uint8_t*& o);

// Two parallel tables: the full-width symbol of each row and its ASCII
// byte. The ASCII bytes '.' and ',' stand in two rows each; a search from
// row 0 finds 。 and 、 first.
inline constexpr int kSymbolCount = 35;
extern const uint16_t kSymbolFull[kSymbolCount];
extern const uint8_t kSymbolHalf[kSymbolCount];

// ---- Byte-indexed lookups of the fast foldings (derived) -------------------

// What AlnumToHalfWidth makes of the pair a b for the leads 81 (row 0) and
// 82 (row 1), by trail byte: the ASCII byte of a full-width symbol (the
// first row of kSymbolFull that holds it), digit or letter, or 0 where the
// pair stays as it is.
extern const std::array<std::array<uint8_t, 256>, 2> kAlnumHalfOf;

// How AlnumToFullWidth treats each byte: out[0..len) is what it appends; a
// len of 0 marks a lead byte, which takes the next byte with it unchanged.
struct AlnumFullForm {
    uint8_t out[2];
    uint8_t len;
};
extern const std::array<AlnumFullForm, 256> kAlnumFullOf;

// For the byte shuffles of AlnumToFullWidth (16 lanes, written twice for the
// two halves of 32 lanes): the second byte of the full-width form of each
// symbol byte a, by a - 0x20 for 20-2F (`from20`), by a - 0x3A for 3A-40 and
// a - 0x54 for 5B-60 (`from3A`); and, for each set of lanes of a group of 8
// that keep their one byte (bit j: lane j), where the group's bytes come
// from in the 16 bytes of its lanes' two bytes taken in turn (lane j's at
// 2j and 2j + 1, the one kept at 2j + 1), 0x80 past the end.
struct AlnumFullShuffles {
    alignas(32) uint8_t from20[32];
    alignas(32) uint8_t from3A[32];
    uint8_t keep[256][16];
};
extern const AlnumFullShuffles kAlnumFullShuffles;

// Shift-JIS lead bytes: 0x81-0x9F and 0xE0-0xFC.
constexpr bool IsLeadByte(int b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

inline void KanaHalfPairs(const uint8_t*& p, const uint8_t* e, uint8_t*& o) {
    do {
        const unsigned lead = p[0], b = p[1];
        p += 2;
        if (lead == 0x83 && b - kKanaHalfTrailFirst <= unsigned{kKanaHalfTrailLast - kKanaHalfTrailFirst}) {
            const uint8_t* half = kKanaHalf[KanaHalfIndex(static_cast<int>(b))];
            o[0] = half[0];
            o[1] = half[1];
            o += half[1] == kKanaHalfNone ? 1 : 2;
        } else if (lead == (kFullLongVowel >> 8) && b == (kFullLongVowel & 0xFF)) {
            *o++ = kHalfLongVowel;
        } else {
            o[0] = static_cast<uint8_t>(lead);
            o[1] = static_cast<uint8_t>(b);
            o += 2;
        }
    } while (e - p >= 2 && IsLeadByte(*p));
}

}  // namespace morvel
