// FromUtf16 in both modes: UTF-16 to CP932 (Unicode) and to UTF-8.
// The fast operation and the literal reference run on the fuzz input, each
// into a destination that already holds a byte (the fast one both into a
// small destination and into one with room for the result), and the
// resumable converter of the run fed the input in small pieces; any
// difference aborts.
#include <cstdint>
#include <cstdlib>

#include "engine/engine.h"
#include "engine/reference/reference.h"
#include "tests/fuzz/fuzz_pieces.h"
#include "tests/fuzz/fuzz_util.h"

namespace {

using StreamOp = void (*)(const morvel::CByteStream&, morvel::CByteStream&);

void Compare(StreamOp fast, StreamOp slow, const morvel::CByteStream& src) {
    morvel::CByteStream a, roomy, b;
    a.Append(0xEE);
    roomy.Reserve(4 * src.Size() + 16);
    roomy.Append(0xEE);
    b.Append(0xEE);
    fast(src, a);
    fast(src, roomy);
    slow(src, b);
    if (!morvel::fuzz::Same(a, b) || !morvel::fuzz::Same(roomy, b)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    morvel::CByteStream src;
    morvel::fuzz::Load(src, data, size);
    Compare([](const morvel::CByteStream& s, morvel::CByteStream& d) { morvel::FromUtf16(s, d, morvel::Unicode); },
            [](const morvel::CByteStream& s, morvel::CByteStream& d) { morvel::reference::FromUtf16(s, d, morvel::Unicode); },
            src);
    Compare([](const morvel::CByteStream& s, morvel::CByteStream& d) { morvel::FromUtf16(s, d, morvel::Utf8); },
            [](const morvel::CByteStream& s, morvel::CByteStream& d) { morvel::reference::FromUtf16(s, d, morvel::Utf8); },
            src);
    if (size > 0) {
        // The run's converter in pieces against the reference.
        StreamOp reference = [](const morvel::CByteStream& s, morvel::CByteStream& d) { morvel::reference::FromUtf16(s, d, morvel::Unicode); };
        morvel::CByteStream whole;
        reference(src, whole);
        for (bool bytewise : {true, false}) {
            morvel::CByteStream pieces;
            morvel::fuzz::FeedInPieces(morvel::Operation::Utf16InputToSjis, data, size, bytewise, pieces);
            if (!morvel::fuzz::Same(pieces, whole)) std::abort();
        }
    }
    return 0;
}
