// Shared body of the width folding fuzz targets. The first input byte is a
// control byte: it picks the starting read position of the whole-text run
// (0 most of the time), whether the destination already holds a byte, and
// the largest piece the resumable folding is fed. Aborts when the
// whole-text folding or the folding fed in pieces differ from the
// byte-by-byte reference in output or in the final read position.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "engine/converter.h"
#include "tests/fuzz/fuzz_util.h"

namespace morvel::fuzz {

inline void CompareFolding(ByteOp fast, ByteOp slow, Operation op, const uint8_t* data, size_t size) {
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

    // The same text fed in pieces of 1 to `maxPiece` bytes, their sizes
    // taken from the text itself.
    CByteStream whole, expected, got;
    Load(whole, data, size);
    slow(whole, expected);
    const size_t maxPiece = 1 + (control >> 1) % 24;
    auto converter = MakeConverter(op);
    for (size_t at = 0; at < size;) {
        size_t n = 1 + data[at] % maxPiece;
        if (n > size - at) n = size - at;
        converter->Feed(data + at, static_cast<int64_t>(n), got);
        at += n;
    }
    converter->Finish(got);
    if (!Same(got, expected)) std::abort();
}

}  // namespace morvel::fuzz
