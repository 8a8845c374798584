// The hex dump of the preview: one line for every 16 bytes of the source,
//   offset (at least 4 uppercase hex digits, space-padded) " : "
//   the bytes as "XX " (an extra space before the ninth) " : "
//   the bytes as characters (those below 0x20 as ".") CR LF
// and one 0x00 after the last line. The dump is reserved once for the whole
// source and each line is written straight into it.
//
// Where the vector level allows, the full lines go sixteen bytes at a step
// through engine/internal/hex_dump_lines.inc; a short last line, and every
// line at the scalar level, goes through PutOffset and PutRun (PutFullRun).
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>

#include "engine/engine.h"
#include "engine/internal/lanes.h"
#include "engine/internal/vector.h"

namespace morvel {
namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

// The two uppercase hex digits of every byte.
struct HexPairs {
    char pair[256][2];
};

constexpr HexPairs MakeHexPairs() {
    HexPairs t{};
    for (int b = 0; b < 256; ++b) {
        t.pair[b][0] = kDigits[b >> 4];
        t.pair[b][1] = kDigits[b & 15];
    }
    return t;
}

constexpr HexPairs kHex = MakeHexPairs();

// Offset field, hex digits and separators of a line, without the offset's
// digits: 3 + 16 * 3 + 1 + 3 + 16 + 2.
constexpr int64_t kLineWithoutOffset = 73;
constexpr int kMinOffsetDigits = 4;

int HexDigits(uint64_t v) {
    int digits = 1;
    while (v >>= 4) ++digits;
    return digits;
}

uint8_t* PutOffset(uint8_t* o, uint64_t offset) {
    char digits[16];
    int k = 0;
    do {
        digits[k++] = kDigits[offset & 15];
        offset >>= 4;
    } while (offset != 0);
    for (int i = k; i < kMinOffsetDigits; ++i) *o++ = ' ';
    while (k > 0) *o++ = static_cast<uint8_t>(digits[--k]);
    std::memcpy(o, " : ", 3);
    return o + 3;
}

inline uint8_t* PutHex(uint8_t* o, uint8_t b) {
    o[0] = static_cast<uint8_t>(kHex.pair[b][0]);
    o[1] = static_cast<uint8_t>(kHex.pair[b][1]);
    o[2] = ' ';
    return o + 3;
}

inline uint8_t Shown(uint8_t b) { return b < 0x20 ? '.' : b; }

// Everything after the offset for a run of 1 to 16 bytes.
uint8_t* PutRun(uint8_t* o, const uint8_t* run, int count) {
    for (int i = 0; i < count; ++i) {
        if (i == 8) *o++ = ' ';
        o = PutHex(o, run[i]);
    }
    std::memcpy(o, " : ", 3);
    o += 3;
    for (int i = 0; i < count; ++i) o[i] = Shown(run[i]);
    o += count;
    o[0] = '\r';
    o[1] = '\n';
    return o + 2;
}

// The same for a full run of 16, with fixed trip counts.
uint8_t* PutFullRun(uint8_t* o, const uint8_t* run) {
    for (int i = 0; i < 8; ++i) o = PutHex(o, run[i]);
    *o++ = ' ';
    for (int i = 8; i < 16; ++i) o = PutHex(o, run[i]);
    std::memcpy(o, " : ", 3);
    o += 3;
    for (int i = 0; i < 16; ++i) o[i] = Shown(run[i]);
    o[16] = '\r';
    o[17] = '\n';
    return o + 18;
}

// ---- Sixteen bytes at a step ---------------------------------------------------

#if MORVEL_SSE2
// The vector lines write an offset field (its digits and " : ") with one
// 16-byte store.
constexpr int kVectorOffsetDigits = 13;

namespace sse2 {

// The hex digit of each lane's nibble (0 to 15).
inline __m128i DigitsOf(__m128i nibbles) {
    const __m128i letters = _mm_and_si128(_mm_cmpgt_epi8(nibbles, _mm_set1_epi8(9)), _mm_set1_epi8('A' - '9' - 1));
    return _mm_add_epi8(_mm_add_epi8(nibbles, _mm_set1_epi8('0')), letters);
}

// Four slots "XX  " (4 bytes each) as the columns "XX XX XX XX " in the
// first 12 bytes, zeros after them: each half drops its slots' second space,
// then the halves close up.
inline __m128i Columns(__m128i slots) {
    const __m128i firstSlot = _mm_set1_epi64x(0x0000000000FFFFFF);
    const __m128i secondSlot = _mm_set1_epi64x(0x0000FFFFFF000000);
    const __m128i halves =
        _mm_or_si128(_mm_and_si128(slots, firstSlot), _mm_and_si128(_mm_srli_epi64(slots, 8), secondSlot));
    return _mm_or_si128(_mm_move_epi64(halves), _mm_slli_si128(_mm_srli_si128(halves, 8), 6));
}

// The digit pairs of the bytes, widened to slots with spaces, go out four
// columns (12 bytes) at a store; each store's 4 bytes of zeros after its
// columns are overwritten by the next, but for the space in the middle.
inline void PutHexColumns(uint8_t* o, __m128i v) {
    const __m128i nibble = _mm_set1_epi8(0x0F);
    const __m128i high = DigitsOf(_mm_and_si128(_mm_srli_epi16(v, 4), nibble));
    const __m128i low = DigitsOf(_mm_and_si128(v, nibble));
    const __m128i first = _mm_unpacklo_epi8(high, low), second = _mm_unpackhi_epi8(high, low);
    const __m128i spaces = _mm_set1_epi8(' ');
    const __m128i middle = _mm_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, ' ', 0, 0, 0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), Columns(_mm_unpacklo_epi16(first, spaces)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 12),
                     _mm_or_si128(Columns(_mm_unpackhi_epi16(first, spaces)), middle));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 25), Columns(_mm_unpacklo_epi16(second, spaces)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 37), Columns(_mm_unpackhi_epi16(second, spaces)));
}

#include "engine/internal/hex_dump_lines.inc"

}  // namespace sse2
#endif  // MORVEL_SSE2

#if MORVEL_AVX2
// The first 48 bytes of a line as three stores of 16, each a byte shuffle of
// a window of the 32 digits of the line's bytes (digit d of byte i at 2i + d),
// spaces where the shuffle gives zeros.
struct ColumnShuffles {
    alignas(16) int8_t index[3][16];
    alignas(16) int8_t spaces[3][16];
};

constexpr int kColumnWindow[3] = {0, 11, 16};

constexpr ColumnShuffles MakeColumnShuffles() {
    ColumnShuffles t{};
    for (int c = 0; c < 3; ++c) {
        for (int k = 0; k < 16; ++k) {
            t.index[c][k] = -128;
            t.spaces[c][k] = ' ';
        }
    }
    for (int i = 0; i < 16; ++i) {
        const int column = 3 * i + (i >= 8 ? 1 : 0);
        for (int d = 0; d < 2; ++d) {
            const int q = column + d;
            t.index[q / 16][q % 16] = static_cast<int8_t>(2 * i + d - kColumnWindow[q / 16]);
            t.spaces[q / 16][q % 16] = 0;
        }
    }
    return t;
}

constexpr ColumnShuffles kColumnShuffles = MakeColumnShuffles();

constexpr bool ColumnWindowsHoldTheirDigits() {
    for (const auto& row : kColumnShuffles.index) {
        for (int8_t index : row) {
            if (index != -128 && (index < 0 || index > 15)) return false;
        }
    }
    return true;
}
static_assert(ColumnWindowsHoldTheirDigits());

MORVEL_AVX2_BEGIN
namespace avx2 {

inline __m128i Shuffled(__m128i window, int c) {
    const __m128i index = _mm_load_si128(reinterpret_cast<const __m128i*>(kColumnShuffles.index[c]));
    const __m128i spaces = _mm_load_si128(reinterpret_cast<const __m128i*>(kColumnShuffles.spaces[c]));
    return _mm_or_si128(_mm_shuffle_epi8(window, index), spaces);
}

inline void PutHexColumns(uint8_t* o, __m128i v) {
    const __m128i digits =
        _mm_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F');
    const __m128i nibble = _mm_set1_epi8(0x0F);
    const __m128i high = _mm_shuffle_epi8(digits, _mm_and_si128(_mm_srli_epi16(v, 4), nibble));
    const __m128i low = _mm_shuffle_epi8(digits, _mm_and_si128(v, nibble));
    const __m128i first = _mm_unpacklo_epi8(high, low), second = _mm_unpackhi_epi8(high, low);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), Shuffled(first, 0));
    const __m128i middle = _mm_alignr_epi8(second, first, kColumnWindow[1]);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 16), Shuffled(middle, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 32), Shuffled(second, 2));
}

#include "engine/internal/hex_dump_lines.inc"

}  // namespace avx2
MORVEL_AVX2_END
#endif  // MORVEL_AVX2

}  // namespace

void FormatHexDump(const CByteStream& src, CByteStream& dump) {
    const int64_t n = src.Size();
    const uint8_t* const data = src.Data();
    const int64_t lines = n / 16 + (n % 16 != 0 ? 1 : 0);
    int offsetDigits = kMinOffsetDigits;
    if (lines > 0) {
        const int last = HexDigits(static_cast<uint64_t>(lines - 1) * 16);
        if (last > offsetDigits) offsetDigits = last;
    }
    const int64_t perLine = kLineWithoutOffset + offsetDigits;
    if (lines > (std::numeric_limits<int64_t>::max() - 1) / perLine) throw std::bad_alloc();

    // Empty the dump, keeping its storage when the new dump fits in it (the
    // preview dumps into the same buffer at every refresh); otherwise free
    // it first so that growing does not copy the old bytes.
    const int64_t room = lines * perLine + 1;
    if (dump.Capacity() < room) {
        dump.Clear();
    } else {
        dump.EraseFront(dump.Size());
    }
    dump.SetReadPos(0);
    uint8_t* const out0 = dump.Reserve(room);
    uint8_t* o = out0;
    int64_t offset = 0;
#if MORVEL_SSE2
    if (offsetDigits <= kVectorOffsetDigits) {
        const VectorLevel level = internal::CurrentVectorLevel();
        const int64_t fullLines = n / 16;
#if MORVEL_AVX2
        if (level >= VectorLevel::Avx2) {
            o = avx2::PutFullLines(data, fullLines, 0, o);
            offset = fullLines * 16;
        }
#endif
        if (level == VectorLevel::Sse2) {
            o = sse2::PutFullLines(data, fullLines, 0, o);
            offset = fullLines * 16;
        }
    }
#endif
    for (; n - offset >= 16; offset += 16) {
        o = PutOffset(o, static_cast<uint64_t>(offset));
        o = PutFullRun(o, data + offset);
    }
    if (offset < n) {
        o = PutOffset(o, static_cast<uint64_t>(offset));
        o = PutRun(o, data + offset, static_cast<int>(n - offset));
    }
    *o++ = 0x00;
    dump.Commit(o - out0);
}

}  // namespace morvel
