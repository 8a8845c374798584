// FromUtf16 in both modes (UTF-16 to CP932 and to UTF-8) against the
// reference; the CP932 side also as the run's converter fed in pieces.
#include "engine/reference/reference.h"
#include "tests/fuzz/fuzz_util.h"

using morvel::CByteStream;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    morvel::fuzz::CompareStreamOp(
        [](const CByteStream& s, CByteStream& d) { morvel::FromUtf16(s, d, morvel::Unicode); },
        [](const CByteStream& s, CByteStream& d) { morvel::reference::FromUtf16(s, d, morvel::Unicode); },
        morvel::Operation::Utf16InputToSjis, data, size);
    CByteStream src;
    morvel::fuzz::Load(src, data, size);
    morvel::fuzz::CompareStreamOp(
        [](const CByteStream& s, CByteStream& d) { morvel::FromUtf16(s, d, morvel::Utf8); },
        [](const CByteStream& s, CByteStream& d) { morvel::reference::FromUtf16(s, d, morvel::Utf8); }, src);
    return 0;
}
