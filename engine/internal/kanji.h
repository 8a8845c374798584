// Row-and-cell arithmetic between Shift-JIS and JIS X 0208 pairs, shared by
// the JIS and EUC-JP codecs. No tables: on the 6,879 characters of JIS X 0208
// these agree with the published Shift-JIS mapping, and outside it they are
// applied unchanged; a computed byte is stored as its low 8 bits.
#pragma once

#include <cstdint>

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

}  // namespace morvel::internal
