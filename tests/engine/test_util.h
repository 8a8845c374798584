// Small helpers shared by the engine tests: streams from byte lists, results
// as byte vectors, readable hex for failure messages, and the ASCII-prefix
// sweep that makes every vector meet the fast paths at every alignment.
#pragma once

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "engine/engine.h"

namespace morvel::test {

using Bytes = std::vector<uint8_t>;

inline void Fill(CByteStream& s, const Bytes& bytes) {
    s.Clear();
    for (uint8_t b : bytes) s.Append(b);
}

inline Bytes ToBytes(const CByteStream& s) {
    return Bytes(s.Data(), s.Data() + s.Size());
}

inline std::string Hex(const Bytes& bytes) {
    std::string out;
    char buf[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", bytes[i]);
        out += buf;
    }
    return out;
}

inline Bytes Concat(const Bytes& a, const Bytes& b) {
    // Element by element: g++ 12 at -O3 misreads a range insert here as
    // writing out of bounds (-Warray-bounds).
    Bytes out;
    out.reserve(a.size() + b.size());
    for (uint8_t x : a) out.push_back(x);
    for (uint8_t x : b) out.push_back(x);
    return out;
}

// `count` bytes of printable ASCII, as a prefix that every byte-wise
// operation passes through unchanged except AlnumToFullWidth.
inline Bytes AsciiPrefix(size_t count) {
    Bytes out;
    for (size_t i = 0; i < count; ++i) out.push_back(static_cast<uint8_t>('a' + i % 26));
    return out;
}

using ByteOp = void (*)(CByteStream&, CByteStream&);

// Runs a byte-wise operation the way every caller does: rewound source,
// cleared destination.
inline Bytes RunOp(ByteOp op, const Bytes& input) {
    CByteStream src, dst;
    Fill(src, input);
    src.SetReadPos(0);
    op(src, dst);
    return ToBytes(dst);
}

}  // namespace morvel::test
