// Lookups of the CP932 code-page layer shared by the fast conversions in
// unicode.cpp and the literal ones in reference/unicode_ref.cpp.
#pragma once

#include <cstdint>

#include "engine/internal/cp932_tables.h"

namespace morvel::cp932 {

inline constexpr uint16_t kReplacement = 0xFFFD;  // what malformed input becomes
inline constexpr uint8_t kDefaultChar = 0x3F;     // "?" for what CP932 lacks

// The unit a lone byte stands for (0 for a lead byte or 0x00).
inline uint16_t DecodeSingle(uint8_t b) { return kSingleByte[b]; }

inline bool IsLead(uint8_t b) { return kLeadIndex[b] != 0; }
inline bool IsTrail(uint8_t b) { return kTrailIndex[b] != 0; }

// The unit of a lead byte and a trail byte, 0 when the pair is no character.
inline uint16_t DecodePair(uint8_t lead, uint8_t trail) {
    return kDoubleByte[(kLeadIndex[lead] - 1) * kTrailCount + kTrailIndex[trail] - 1];
}

// The CP932 code of a BMP code point: a single byte below 0x100, else
// lead << 8 | trail; 0 when there is none.
inline uint16_t EncodeBmp(uint16_t u) { return kEncodePages[kEncodePageIndex[u >> 8] * 256 + (u & 0xFF)]; }

// The CP932 code of the precomposed form of base + mark, 0 when there is none.
inline uint16_t Compose(uint16_t base, uint16_t mark) {
    if (mark < kMinCompositionMark || mark > kMaxCompositionMark) return 0;
    const uint32_t key = static_cast<uint32_t>(base) << 16 | mark;
    int lo = 0, hi = kCompositionCount;
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        const uint32_t k = static_cast<uint32_t>(kCompositions[mid].base) << 16 | kCompositions[mid].mark;
        if (k == key) return kCompositions[mid].code;
        if (k < key) lo = mid + 1; else hi = mid;
    }
    return 0;
}

inline bool IsHighSurrogate(uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
inline bool IsLowSurrogate(uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }
inline bool IsSurrogate(uint32_t u) { return u >= 0xD800 && u <= 0xDFFF; }

}  // namespace morvel::cp932
