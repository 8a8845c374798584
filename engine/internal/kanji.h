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

inline void SjisToJisPair(unsigned s1, unsigned s2, uint8_t* out) {
    unsigned j1 = s1 <= 0x9F ? 2 * s1 - 0xE1 : 2 * s1 - 0x161;
    unsigned j2;
    if (s2 >= 0x9F) {
        j1 += 1;
        j2 = s2 - 0x7E;
    } else {
        j2 = s2 >= 0x80 ? s2 - 0x20 : s2 - 0x1F;
    }
    out[0] = static_cast<uint8_t>(j1);
    out[1] = static_cast<uint8_t>(j2);
}

// j1 is at least 1 for every caller (a zero byte ends the text first), so the
// halving never meets a negative value.
inline void JisToSjisPair(unsigned j1, unsigned j2, uint8_t* out) {
    const unsigned s1 = (j1 - 1) / 2 + (j1 <= 0x5E ? 0x71 : 0xB1);
    const unsigned s2 = (j1 & 1) ? j2 + 0x1F + (j2 >= 0x60 ? 1 : 0) : j2 + 0x7E;
    out[0] = static_cast<uint8_t>(s1);
    out[1] = static_cast<uint8_t>(s2);
}

}  // namespace morvel::internal
