// Word-at-a-time byte scanning shared by the engine's fast paths.
//
// The tests below look at eight bytes at once (little-endian loads). Each
// returns a mask with bit 7 of every flagged byte set; the lowest flagged
// byte is always exact (borrows only ever flag bytes above a true hit), so
// FirstFlagged() gives the index of the first byte that stops a run.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "engine/byte_stream.h"
#include "engine/internal/lanes.h"

namespace morvel::internal {

constexpr uint64_t kOnes = 0x0101010101010101ULL;
constexpr uint64_t kHigh = 0x8080808080808080ULL;

inline uint64_t Load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void Store64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, sizeof v); }

// Bytes equal to zero.
inline uint64_t ZeroBytes(uint64_t x) { return (x - kOnes) & ~x & kHigh; }

// Bytes equal to b.
inline uint64_t BytesEqual(uint64_t x, uint8_t b) { return ZeroBytes(x ^ (kOnes * b)); }

// Bytes below n (n at most 0x80).
inline uint64_t BytesBelow(uint64_t x, uint8_t n) { return (x - kOnes * n) & ~x & kHigh; }

// Bytes outside the printable ASCII range 0x20-0x7E.
inline uint64_t NonPrintable(uint64_t x) {
    return BytesBelow(x, 0x20) | (x & kHigh) | BytesEqual(x, 0x7F);
}

inline unsigned FirstFlagged(uint64_t mask) {
    return static_cast<unsigned>(std::countr_zero(mask)) / 8;
}


// Copies bytes from p to o eight at a time while `stoppers` flags none of a
// word's bytes (it maps a loaded word to its flag mask, as the tests above
// do). Stops at the first flagged byte, or fewer than eight bytes before
// `end`, and returns where. Writes whole words: o needs 8 bytes of room
// beyond what it keeps.
template <class Stoppers>
inline const uint8_t* CopyUntil(const uint8_t* p, const uint8_t* end, uint8_t*& o, Stoppers stoppers) {
    while (end - p >= 8) {
        const uint64_t x = Load64(p);
        const uint64_t stop = stoppers(x);
        Store64(o, x);
        if (stop) {
            const unsigned k = FirstFlagged(stop);
            o += k;
            return p + k;
        }
        o += 8;
        p += 8;
    }
    return p;
}

// Index of the first 0x00 or 0x1A in p[0, n), or n: where a text held in a
// stream ends for every reader that goes through ReadByte. Eight bytes at a
// step; TextLength below takes 16 or 32 where it can.
inline int64_t TextLengthScalar(const uint8_t* p, int64_t n) {
    int64_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const uint64_t x = Load64(p + i);
        const uint64_t hit = ZeroBytes(x) | BytesEqual(x, 0x1A);
        if (hit) return i + FirstFlagged(hit);
    }
    for (; i < n; ++i) {
        if (p[i] == 0x00 || p[i] == 0x1A) return i;
    }
    return n;
}

#if MORVEL_AVX2
MORVEL_TARGET_AVX2 int64_t TextLengthAvx2(const uint8_t* p, int64_t n);
#endif

inline int64_t TextLength(const uint8_t* p, int64_t n) {
#if MORVEL_SSE2
    if (UseSse2()) {
        using namespace v128;
        int64_t i = 0;
        for (; i + kWidth <= n; i += kWidth) {
#if MORVEL_AVX2
            // Past the first bytes, long texts 32 bytes at a step (short
            // texts pay no call).
            if (i == 64 && n >= 128 && UseAvx2()) return i + TextLengthAvx2(p + i, n - i);
#endif
            const Vec v = Load(p + i);
            const Mask hit = Bits(Or(Equal(v, 0x00), Equal(v, 0x1A)));
            if (hit) return i + std::countr_zero(hit);
        }
        return i + TextLengthScalar(p + i, n - i);
    }
#endif
    return TextLengthScalar(p, n);
}

// The text a byte-wise operation reads: from the source's read position to
// the end of its text.
struct TextSpan {
    const uint8_t* begin;
    const uint8_t* end;
};

// Takes the text `src` holds from its read position and leaves the read
// position at its end, exactly where reading it byte by byte would stop.
inline TextSpan TakeText(CByteStream& src) {
    const int64_t pos = src.ReadPos();
    const int64_t size = src.Size();
    if (pos < 0 || pos >= size) return {nullptr, nullptr};
    const uint8_t* p = src.Data() + pos;
    const int64_t length = TextLength(p, size - pos);
    src.SetReadPos(pos + length);
    return {p, p + length};
}

// Input is converted in chunks of this many bytes, so that the room reserved
// for the worst case of a chunk stays small beside the text.
constexpr int64_t kChunk = 64 * 1024;

}  // namespace morvel::internal
