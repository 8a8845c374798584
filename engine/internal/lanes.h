// Lane operations of the vector kernels, the same names at two widths:
//   v128: 16 lanes of SSE2 (every x86-64 processor has it);
//   v256: 32 lanes of AVX2, compiled for AVX2 only (a target region, no
//         -mavx2) and run only after the processor has said it has AVX2.
// A kernel file (engine/internal/*_blocks.inc) is written once against
// these names and included inside each namespace; the v256 copy lies in
// MORVEL_AVX2_BEGIN ... MORVEL_AVX2_END.
//
// A lane mask has all bits of a lane set or clear. Bits() packs bit 7 of
// each lane into bit i of a Mask; LanesOf() does the reverse.
#pragma once

#include <bit>
#include <cstdint>

#include "engine/internal/vector.h"

#if MORVEL_SSE2

namespace morvel::internal::v128 {

using Vec = __m128i;
using Mask = uint32_t;
constexpr int kWidth = 16;
constexpr Mask kAll = 0xFFFF;

inline Vec Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store(uint8_t* p, Vec v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
inline Vec Splat(uint8_t b) { return _mm_set1_epi8(static_cast<char>(b)); }
inline Vec Zero() { return _mm_setzero_si128(); }
inline Mask Bits(Vec lanes) { return static_cast<Mask>(_mm_movemask_epi8(lanes)); }

inline Vec And(Vec a, Vec b) { return _mm_and_si128(a, b); }
inline Vec Or(Vec a, Vec b) { return _mm_or_si128(a, b); }
inline Vec AndNot(Vec notThis, Vec b) { return _mm_andnot_si128(notThis, b); }
inline Vec Add(Vec a, Vec b) { return _mm_add_epi8(a, b); }
inline Vec Sub(Vec a, Vec b) { return _mm_sub_epi8(a, b); }
inline Vec Same(Vec a, Vec b) { return _mm_cmpeq_epi8(a, b); }
inline Vec MinU(Vec a, Vec b) { return _mm_min_epu8(a, b); }
inline Vec MaxU(Vec a, Vec b) { return _mm_max_epu8(a, b); }
// (a + b + 1) / 2 per lane, unsigned.
inline Vec Average(Vec a, Vec b) { return _mm_avg_epu8(a, b); }
// Each pair of lanes (a 16-bit unit, the first lane low) shifted by n bits:
// bits cross from one lane of a pair into the other.
template <int n>
inline Vec ShiftUnitsLeft(Vec v) { return _mm_slli_epi16(v, n); }
template <int n>
inline Vec ShiftUnitsRight(Vec v) { return _mm_srli_epi16(v, n); }

// Lane i holds lane i - 1 of v; lane 0 holds 0.
inline Vec PreviousLanes(Vec v) { return _mm_slli_si128(v, 1); }

// The lane mask of bit i of `bits` for each lane i.
inline Vec LanesOf(Mask bits) {
    Vec x = _mm_cvtsi32_si128(static_cast<int>(bits));
    x = _mm_unpacklo_epi8(x, x);   // b0 b0 b1 b1
    x = _mm_unpacklo_epi16(x, x);  // b0 x4, b1 x4
    x = _mm_unpacklo_epi32(x, x);  // b0 x8, b1 x8
    const Vec bit = _mm_set_epi8(-128, 64, 32, 16, 8, 4, 2, 1, -128, 64, 32, 16, 8, 4, 2, 1);
    return _mm_cmpeq_epi8(_mm_and_si128(x, bit), bit);
}

// Lanes of `a` and `b` taken in turn, a first: 32 bytes at o.
inline void StoreInterleaved(uint8_t* o, Vec a, Vec b) {
    Store(o, _mm_unpacklo_epi8(a, b));
    Store(o + 16, _mm_unpackhi_epi8(a, b));
}

// The lanes of 16 bytes as 16 UTF-16 units (32 bytes), and 16 units of
// which only the low bytes count as 16 bytes.
inline void StoreWidened(uint8_t* o, Vec v) {
    Store(o, _mm_unpacklo_epi8(v, Zero()));
    Store(o + 16, _mm_unpackhi_epi8(v, Zero()));
}
inline Vec LoadNarrowed(const uint8_t* p) {
    const Vec mask = _mm_set1_epi16(0x00FF);
    return _mm_packus_epi16(And(Load(p), mask), And(Load(p + 16), mask));
}
// Lanes (of a narrowed block of units) whose unit at p is not ASCII or is 0.
inline Mask UnitsNotAsciiOrZero(const uint8_t* p) {
    const Vec a = Load(p), b = Load(p + 16);
    const Vec notAscii = _mm_set1_epi16(static_cast<short>(0xFF80));
    const Vec goodA = AndNot(_mm_cmpeq_epi16(a, Zero()), _mm_cmpeq_epi16(And(a, notAscii), Zero()));
    const Vec goodB = AndNot(_mm_cmpeq_epi16(b, Zero()), _mm_cmpeq_epi16(And(b, notAscii), Zero()));
    return ~Bits(_mm_packs_epi16(goodA, goodB)) & kAll;
}

#include "engine/internal/lanes_common.inc"

}  // namespace morvel::internal::v128

#endif  // MORVEL_SSE2

#if MORVEL_AVX2

#if defined(__clang__)
#define MORVEL_AVX2_BEGIN \
    _Pragma("clang attribute push(__attribute__((target(\"avx2,bmi,bmi2,popcnt\"))), apply_to = function)")
#define MORVEL_AVX2_END _Pragma("clang attribute pop")
#else
#define MORVEL_AVX2_BEGIN _Pragma("GCC push_options") _Pragma("GCC target(\"avx2,bmi,bmi2,popcnt\")")
#define MORVEL_AVX2_END _Pragma("GCC pop_options")
#endif

namespace morvel::internal {
// Row b: 32 bytes b.
struct SplatRows {
    alignas(32) uint8_t row[256][32];
};
extern const SplatRows kSplat32;
}  // namespace morvel::internal

MORVEL_AVX2_BEGIN
namespace morvel::internal::v256 {

using Vec = __m256i;
using Mask = uint32_t;
constexpr int kWidth = 32;
constexpr Mask kAll = 0xFFFFFFFF;

inline Vec Load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
inline void Store(uint8_t* p, Vec v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
// Constants come from a table in another file, which the compiler cannot
// fold: a constant is then an operand read from memory. Folded, GCC would
// build each again from a general register (three instructions) at every
// use in a loop that needs more constants than there are registers.
inline Vec Splat(uint8_t b) { return Load(kSplat32.row[b]); }
inline Vec Zero() { return _mm256_setzero_si256(); }
inline Mask Bits(Vec lanes) { return static_cast<Mask>(_mm256_movemask_epi8(lanes)); }

inline Vec And(Vec a, Vec b) { return _mm256_and_si256(a, b); }
inline Vec Or(Vec a, Vec b) { return _mm256_or_si256(a, b); }
inline Vec AndNot(Vec notThis, Vec b) { return _mm256_andnot_si256(notThis, b); }
inline Vec Add(Vec a, Vec b) { return _mm256_add_epi8(a, b); }
inline Vec Sub(Vec a, Vec b) { return _mm256_sub_epi8(a, b); }
inline Vec Same(Vec a, Vec b) { return _mm256_cmpeq_epi8(a, b); }
inline Vec MinU(Vec a, Vec b) { return _mm256_min_epu8(a, b); }
inline Vec MaxU(Vec a, Vec b) { return _mm256_max_epu8(a, b); }
inline Vec Average(Vec a, Vec b) { return _mm256_avg_epu8(a, b); }
template <int n>
inline Vec ShiftUnitsLeft(Vec v) { return _mm256_slli_epi16(v, n); }
template <int n>
inline Vec ShiftUnitsRight(Vec v) { return _mm256_srli_epi16(v, n); }

inline Vec PreviousLanes(Vec v) {
    // The low half moved up into the high half, zero below; then each half
    // shifted by a byte with the byte in front of it.
    return _mm256_alignr_epi8(v, _mm256_permute2x128_si256(v, v, 0x08), 15);
}

inline Vec LanesOf(Mask bits) {
    const Vec x = _mm256_set1_epi32(static_cast<int>(bits));
    const Vec spread = _mm256_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1,  //
                                        2, 2, 2, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3);
    const Vec bit = _mm256_set1_epi64x(static_cast<long long>(0x8040201008040201ULL));
    return _mm256_cmpeq_epi8(_mm256_and_si256(_mm256_shuffle_epi8(x, spread), bit), bit);
}

inline void StoreInterleaved(uint8_t* o, Vec a, Vec b) {
    const Vec low = _mm256_unpacklo_epi8(a, b), high = _mm256_unpackhi_epi8(a, b);  // within each half
    Store(o, _mm256_permute2x128_si256(low, high, 0x20));
    Store(o + 32, _mm256_permute2x128_si256(low, high, 0x31));
}

inline void StoreWidened(uint8_t* o, Vec v) {
    Store(o, _mm256_cvtepu8_epi16(_mm256_castsi256_si128(v)));
    Store(o + 32, _mm256_cvtepu8_epi16(_mm256_extracti128_si256(v, 1)));
}
inline Vec LoadNarrowed(const uint8_t* p) {
    const Vec mask = _mm256_set1_epi16(0x00FF);
    const Vec packed = _mm256_packus_epi16(And(Load(p), mask), And(Load(p + 32), mask));
    return _mm256_permute4x64_epi64(packed, 0xD8);  // the halves' quarters back in order
}
inline Mask UnitsNotAsciiOrZero(const uint8_t* p) {
    const Vec a = Load(p), b = Load(p + 32);
    const Vec notAscii = _mm256_set1_epi16(static_cast<short>(0xFF80));
    const Vec goodA = AndNot(_mm256_cmpeq_epi16(a, Zero()), _mm256_cmpeq_epi16(And(a, notAscii), Zero()));
    const Vec goodB = AndNot(_mm256_cmpeq_epi16(b, Zero()), _mm256_cmpeq_epi16(And(b, notAscii), Zero()));
    const Vec good = _mm256_permute4x64_epi64(_mm256_packs_epi16(goodA, goodB), 0xD8);
    return ~Bits(good);
}

#include "engine/internal/lanes_common.inc"

}  // namespace morvel::internal::v256
MORVEL_AVX2_END

#endif  // MORVEL_AVX2

// ---- Added lane operations ------------------------------------------------------
//
// Blend(mask, yes, no) gives what Select of lanes_common.inc gives, for a lane
// mask: AVX2 does it in one instruction.
//
// Byte shuffles work on each half of 16 lanes of a vector (one half at
// SSE2 width, two at AVX2 width). InterleaveLow and InterleaveHigh take
// lanes 0-7 and 8-15 of each half of a and b in turn, a first (the 16 bytes
// of each half of the result); LowEighths and HighEighths put lanes 0-7 and
// 8-15 of each half of a in front of the same lanes of b.
//
// LanesBefore(v, previous): lane i holds lane i - 1 of v, lane 0 the last
// lane of `previous` (PreviousLanes across two blocks that follow one
// another).
//
// kShuffles says whether the byte shuffle of AVX2 is there, which SSE2
// lacks: ShuffleHalves gives in lane i of each half the lane of `table` in
// that half that the low 4 bits of lane i of `index` name, or 0 where bit 7
// of that lane is set; LoadHalves reads the two halves from two places,
// LoadEighths the four eighths of 8 lanes from four, BothHalves puts one
// half of a vector in both, StoreLowHalf and StoreHighHalf write one half.
// Kernels use these only under `if constexpr (kShuffles)`: at SSE2 width
// they are declared and never defined, so that a use elsewhere fails to
// link.

#if MORVEL_SSE2
namespace morvel::internal::v128 {
inline Vec Blend(Vec mask, Vec yes, Vec no) { return Select(mask, yes, no); }
inline Vec InterleaveLow(Vec a, Vec b) { return _mm_unpacklo_epi8(a, b); }
inline Vec InterleaveHigh(Vec a, Vec b) { return _mm_unpackhi_epi8(a, b); }
inline Vec LowEighths(Vec a, Vec b) { return _mm_unpacklo_epi64(a, b); }
inline Vec HighEighths(Vec a, Vec b) { return _mm_unpackhi_epi64(a, b); }
inline Vec LanesBefore(Vec v, Vec previous) { return Or(_mm_slli_si128(v, 1), _mm_srli_si128(previous, 15)); }

constexpr bool kShuffles = false;
Vec ShuffleHalves(Vec table, Vec index);
Vec LoadHalves(const uint8_t* low, const uint8_t* high);
Vec LoadEighths(const uint8_t* a, const uint8_t* b, const uint8_t* c, const uint8_t* d);
Vec BothHalves(Vec v, int half);
void StoreLowHalf(uint8_t* p, Vec v);
void StoreHighHalf(uint8_t* p, Vec v);
}  // namespace morvel::internal::v128
#endif

#if MORVEL_AVX2
MORVEL_AVX2_BEGIN
namespace morvel::internal::v256 {
inline Vec Blend(Vec mask, Vec yes, Vec no) { return _mm256_blendv_epi8(no, yes, mask); }
inline Vec InterleaveLow(Vec a, Vec b) { return _mm256_unpacklo_epi8(a, b); }
inline Vec InterleaveHigh(Vec a, Vec b) { return _mm256_unpackhi_epi8(a, b); }
inline Vec LowEighths(Vec a, Vec b) { return _mm256_unpacklo_epi64(a, b); }
inline Vec HighEighths(Vec a, Vec b) { return _mm256_unpackhi_epi64(a, b); }
inline Vec LanesBefore(Vec v, Vec previous) {
    // Below v's low half the high half of `previous`, then each half
    // shifted by a byte with the byte in front of it.
    return _mm256_alignr_epi8(v, _mm256_permute2x128_si256(previous, v, 0x21), 15);
}

constexpr bool kShuffles = true;
inline Vec ShuffleHalves(Vec table, Vec index) { return _mm256_shuffle_epi8(table, index); }
inline Vec LoadHalves(const uint8_t* low, const uint8_t* high) {
    return _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(high), reinterpret_cast<const __m128i*>(low));
}
inline Vec LoadEighths(const uint8_t* a, const uint8_t* b, const uint8_t* c, const uint8_t* d) {
    const __m128i low = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a)),
                                           _mm_loadl_epi64(reinterpret_cast<const __m128i*>(b)));
    const __m128i high = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(c)),
                                            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(d)));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
}
// The low (half 0) or the high half (1) of v in both halves.
inline Vec BothHalves(Vec v, int half) {
    return half == 0 ? _mm256_permute4x64_epi64(v, 0x44) : _mm256_permute4x64_epi64(v, 0xEE);
}
inline void StoreLowHalf(uint8_t* p, Vec v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(v));
}
inline void StoreHighHalf(uint8_t* p, Vec v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_extracti128_si256(v, 1));
}
}  // namespace morvel::internal::v256
MORVEL_AVX2_END
#endif
