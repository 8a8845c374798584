// Row-and-cell arithmetic between Shift-JIS and JIS X 0208 pairs, shared by
// the JIS and EUC-JP codecs. No tables: on the 6,879 characters of JIS X 0208
// these agree with the published Shift-JIS mapping, and outside it they are
// applied unchanged; a computed byte is stored as its low 8 bits.
#pragma once

#include <array>
#include <cstdint>

#include "engine/engine.h"

namespace morvel::internal {

inline bool IsSjisLead(unsigned c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// A lead byte followed by any byte that makes the combined value lie in
// 0x8140-0x9FFC or 0xE040-0xFCFC; only the combined value is tested.
inline bool IsValidSjisPair(unsigned s1, unsigned s2) {
    const unsigned w = s1 * 256 + s2;
    return (w >= 0x8140 && w <= 0x9FFC) || (w >= 0xE040 && w <= 0xFCFC);
}

inline bool IsKeptControl(unsigned c) { return c == 0x09 || c == 0x0A || c == 0x0D; }

// The arithmetic, tabulated per byte so that a pair converts without
// branches: kSjisRow[s1] + kSjisRowStep[s2] and kSjisCell[s2] give the JIS
// pair; kJisLead[j1] and kJisTrail[j1 & 1][j2] give the Shift-JIS pair.
struct PairTables {
    uint8_t sjisRow[256];
    uint8_t sjisRowStep[256];
    uint8_t sjisCell[256];
    uint8_t jisLead[256];
    uint8_t jisTrail[2][256];
};

constexpr PairTables MakePairTables() {
    PairTables t{};
    for (int b = 0; b < 256; ++b) {
        t.sjisRow[b] = static_cast<uint8_t>(b <= 0x9F ? 2 * b - 0xE1 : 2 * b - 0x161);
        t.sjisRowStep[b] = b >= 0x9F ? 1 : 0;
        t.sjisCell[b] = static_cast<uint8_t>(b >= 0x9F ? b - 0x7E : b >= 0x80 ? b - 0x20 : b - 0x1F);
        // (j1 - 1) / 2 truncates towards zero, as the row rule has it.
        t.jisLead[b] = static_cast<uint8_t>((b - 1) / 2 + (b <= 0x5E ? 0x71 : 0xB1));
        t.jisTrail[1][b] = static_cast<uint8_t>(b + 0x1F + (b >= 0x60 ? 1 : 0));
        t.jisTrail[0][b] = static_cast<uint8_t>(b + 0x7E);
    }
    return t;
}

inline constexpr PairTables kPairTables = MakePairTables();

inline void SjisToJisPair(unsigned s1, unsigned s2, uint8_t* out) {
    out[0] = static_cast<uint8_t>(kPairTables.sjisRow[s1] + kPairTables.sjisRowStep[s2]);
    out[1] = kPairTables.sjisCell[s2];
}

inline void JisToSjisPair(unsigned j1, unsigned j2, uint8_t* out) {
    out[0] = kPairTables.jisLead[j1];
    out[1] = kPairTables.jisTrail[j1 & 1][j2];
}

// Where Shift-JIS to JIS puts the bytes of 8 lanes when an escape sequence
// goes in front of each lane of a set (bit j: lane j), for a byte shuffle
// from 16 bytes: the 8 converted lanes, then for each lane the middle byte
// of the escape that would go in front of it ('$' or '('). For each byte of
// the result (8 bytes and 3 per escape, at most 32): the lane it comes from
// (0-7), 8 + j for the middle byte of lane j's escape, and for ESC and 'B'
// 0x80 plus the byte (a shuffle index with bit 7 set gives 0, to which the
// rest is added back). Bytes past the result give 0.
struct EscapeSpread {
    uint8_t from[32];
};

constexpr std::array<EscapeSpread, 256> MakeEscapeSpreads() {
    std::array<EscapeSpread, 256> table{};
    for (int changes = 0; changes < 256; ++changes) {
        EscapeSpread& t = table[changes];
        int n = 0;
        for (int j = 0; j < 8; ++j) {
            if ((changes >> j) & 1) {
                t.from[n++] = 0x80 + 0x1B;
                t.from[n++] = static_cast<uint8_t>(8 + j);
                t.from[n++] = 0x80 + 'B';
            }
            t.from[n++] = static_cast<uint8_t>(j);
        }
        while (n < 32) t.from[n++] = 0x80;
    }
    return table;
}

inline constexpr std::array<EscapeSpread, 256> kEscapeSpreads = MakeEscapeSpreads();

// For JIS to Shift-JIS, which leaves out the bytes of escape sequences: byte
// shuffles of 16 lanes that drop lanes. keepLow[m] gives the lanes 0-7 that
// are not in the set m (bit j: lane j), in order, then 0x80 (a shuffle index
// that gives 0); keepHigh[m] the same for lanes 8-15 of the 16. With n lanes
// kept of the low 8, close[n] moves the kept lanes of the high 8 (from lane
// 8 on) down to lane n.
struct DropShuffles {
    uint8_t keepLow[256][8];
    uint8_t keepHigh[256][8];
    uint8_t close[9][16];
};

constexpr DropShuffles MakeDropShuffles() {
    DropShuffles t{};
    for (int dropped = 0; dropped < 256; ++dropped) {
        int n = 0;
        for (int j = 0; j < 8; ++j) {
            if ((dropped >> j) & 1) continue;
            t.keepLow[dropped][n] = static_cast<uint8_t>(j);
            t.keepHigh[dropped][n] = static_cast<uint8_t>(8 + j);
            ++n;
        }
        for (; n < 8; ++n) t.keepLow[dropped][n] = t.keepHigh[dropped][n] = 0x80;
    }
    for (int n = 0; n <= 8; ++n) {
        for (int q = 0; q < 16; ++q) {
            t.close[n][q] = static_cast<uint8_t>(q < n ? q : q - n + 8 < 16 ? q - n + 8 : 0x80);
        }
    }
    return t;
}

inline constexpr DropShuffles kDropShuffles = MakeDropShuffles();

// Bit i of the result: whether bits 0 to i of x hold an odd number of ones.
constexpr uint32_t PrefixParity(uint32_t x) {
    x ^= x << 1;
    x ^= x << 2;
    x ^= x << 4;
    x ^= x << 8;
    x ^= x << 16;
    return x;
}

// ---- Vector kernels (kanji_kernels.cpp, from engine/internal/kanji_blocks.inc) --
//
// Each converts from p while it can, at the widest level that `level` allows
// (above Scalar), writes at o and returns where it stopped, always at a
// character boundary (engine/internal/vector.h). The JIS ones take and
// leave the shift state in `state`: 0 ASCII, 1 Kana, 2 Kanji.
const uint8_t* SjisToEucBlocks(VectorLevel level, const uint8_t* p, const uint8_t* end, uint8_t*& o);
const uint8_t* EucToSjisBlocks(VectorLevel level, const uint8_t* p, const uint8_t* end, uint8_t*& o);
const uint8_t* SjisToJisBlocks(VectorLevel level, const uint8_t* p, const uint8_t* end, uint8_t*& o, int& state);
const uint8_t* JisToSjisBlocks(VectorLevel level, const uint8_t* p, const uint8_t* end, uint8_t*& o, int& state);

}  // namespace morvel::internal
