// The resumable converter of an operation fed the fuzz input in pieces: of
// one byte each when `bytewise`, so that a piece ends after every byte, else
// of 1 to 8 bytes, the sizes drawn from a generator seeded by the input's
// length.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/converter.h"

namespace morvel::fuzz {

inline void FeedInPieces(Operation op, const uint8_t* data, size_t size, bool bytewise, CByteStream& out) {
    auto converter = MakeConverter(op);
    uint32_t state = static_cast<uint32_t>(size) * 2654435761u;
    for (size_t at = 0; at < size;) {
        state = state * 1664525u + 1013904223u;
        size_t n = bytewise ? 1 : 1 + (state >> 24) % 8;
        if (n > size - at) n = size - at;
        converter->Feed(data + at, static_cast<int64_t>(n), out);
        at += n;
    }
    converter->Finish(out);
}

}  // namespace morvel::fuzz
