// ToUtf16 in both modes (CP932 and UTF-8 to UTF-16) against the reference;
// the CP932 side also as the run's converter fed in pieces.
#include "engine/reference/reference.h"
#include "tests/fuzz/fuzz_util.h"

using morvel::CByteStream;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    morvel::fuzz::CompareStreamOp(
        [](const CByteStream& s, CByteStream& d) { morvel::ToUtf16(s, d, morvel::Unicode); },
        [](const CByteStream& s, CByteStream& d) { morvel::reference::ToUtf16(s, d, morvel::Unicode); },
        morvel::Operation::SjisToUtf16Output, data, size);
    CByteStream src;
    morvel::fuzz::Load(src, data, size);
    morvel::fuzz::CompareStreamOp(
        [](const CByteStream& s, CByteStream& d) { morvel::ToUtf16(s, d, morvel::Utf8); },
        [](const CByteStream& s, CByteStream& d) { morvel::reference::ToUtf16(s, d, morvel::Utf8); }, src);
    return 0;
}
