// Shared body of the fuzz targets: run an engine operation and its literal
// reference on the same input and abort on any difference in the result or
// in where the source's read position was left.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>

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

using ByteOp = void (*)(CByteStream&, CByteStream&);

inline void CompareByteOp(ByteOp fast, ByteOp slow, const uint8_t* data, size_t size) {
    CByteStream a, b, outA, outB;
    Load(a, data, size);
    Load(b, data, size);
    fast(a, outA);
    slow(b, outB);
    if (!Same(outA, outB) || a.ReadPos() != b.ReadPos()) std::abort();
}

}  // namespace morvel::fuzz
