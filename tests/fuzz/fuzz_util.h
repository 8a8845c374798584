// Shared bodies of the fuzz targets: run an engine operation and its literal
// reference on the same input, and the operation's resumable converter fed
// the input in pieces, and abort on any difference in the result or in
// where the source's read position was left.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "engine/converter.h"
#include "engine/engine.h"

namespace morvel::fuzz {

inline void Load(CByteStream& s, const uint8_t* data, size_t size) {
    s.Clear();
    if (size > 0) {
        std::memcpy(s.Reserve(static_cast<int64_t>(size)), data, size);
        s.Commit(static_cast<int64_t>(size));
    }
}

inline bool Same(const CByteStream& a, const CByteStream& b) {
    return a.Size() == b.Size() &&
           (a.Size() == 0 || std::memcmp(a.Data(), b.Data(), static_cast<size_t>(a.Size())) == 0);
}

// The converter of `op` fed `data` in pieces: of one byte each when
// `bytewise`, so that a piece ends after every byte, else of 1 to `maxPiece`
// bytes, the sizes drawn from a generator seeded by the input's length.
inline void FeedInPieces(Operation op, const uint8_t* data, size_t size, bool bytewise, size_t maxPiece,
                         CByteStream& out) {
    auto converter = MakeConverter(op);
    uint32_t state = static_cast<uint32_t>(size) * 2654435761u;
    for (size_t at = 0; at < size;) {
        state = state * 1664525u + 1013904223u;
        size_t n = bytewise ? 1 : 1 + (state >> 24) % maxPiece;
        if (n > size - at) n = size - at;
        converter->Feed(data + at, static_cast<int64_t>(n), out);
        at += n;
    }
    converter->Finish(out);
}

// Aborts unless the converter of `op`, in pieces of every kind, gives
// `expected`.
inline void CheckPieces(Operation op, const uint8_t* data, size_t size, size_t maxPiece, const CByteStream& expected) {
    for (bool bytewise : {true, false}) {
        CByteStream pieces;
        FeedInPieces(op, data, size, bytewise, maxPiece, pieces);
        if (!Same(pieces, expected)) std::abort();
    }
}

using ByteOp = void (*)(CByteStream&, CByteStream&);

// A byte-wise operation. The first input byte is a control byte: it picks
// the starting read position (0 most of the time), whether the destination
// already holds a byte, and the largest piece the converter is fed.
inline void CompareByteOp(ByteOp fast, ByteOp slow, Operation op, const uint8_t* data, size_t size) {
    if (size == 0) return;
    const uint8_t control = data[0];
    ++data;
    --size;

    CByteStream fastSrc, refSrc, fastDst, refDst;
    Load(fastSrc, data, size);
    Load(refSrc, data, size);
    const int64_t pos = control < 0xC0 ? 0 : static_cast<int64_t>(control - 0xC0) - 1;
    fastSrc.SetReadPos(pos);
    refSrc.SetReadPos(pos);
    if (control & 1) {
        fastDst.Append(0x55);
        refDst.Append(0x55);
    }
    fast(fastSrc, fastDst);
    slow(refSrc, refDst);
    if (!Same(fastDst, refDst) || fastSrc.ReadPos() != refSrc.ReadPos()) std::abort();

    CByteStream whole, expected;
    Load(whole, data, size);
    slow(whole, expected);
    CheckPieces(op, data, size, 1 + (control >> 1) % 24, expected);
}

using StreamOp = void (*)(const CByteStream&, CByteStream&);

// An operation that reads its source from byte 0 and replaces its
// destination: into a destination that already holds a byte, and into one
// with room for any result already.
inline void CompareStreamOp(StreamOp fast, StreamOp slow, const CByteStream& src) {
    CByteStream a, roomy, b;
    a.Append(0xEE);
    roomy.Reserve(4 * src.Size() + 16);
    roomy.Append(0xEE);
    b.Append(0xEE);
    fast(src, a);
    fast(src, roomy);
    slow(src, b);
    if (!Same(a, b) || !Same(roomy, b)) std::abort();
}

// The same, and the run's converter `op` (whose whole-text form is `slow`)
// fed the input in pieces.
inline void CompareStreamOp(StreamOp fast, StreamOp slow, Operation op, const uint8_t* data, size_t size) {
    CByteStream src;
    Load(src, data, size);
    CompareStreamOp(fast, slow, src);
    if (size == 0) return;
    CByteStream expected;
    slow(src, expected);
    CheckPieces(op, data, size, 8, expected);
}

}  // namespace morvel::fuzz
