// Runs KanaToHalfWidth and its byte-by-byte reference on the same text and aborts
// when their output or the final read position differ. The first input byte
// picks the starting read position (0 most of the time); a destination
// that already holds bytes checks that both append.
#include <cstdint>
#include <cstdlib>

#include "engine/engine.h"
#include "engine/reference/reference.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t control = data[0];
    ++data;
    --size;
    morvel::CByteStream fastSrc, refSrc, fastDst, refDst;
    for (size_t i = 0; i < size; ++i) {
        fastSrc.Append(data[i]);
        refSrc.Append(data[i]);
    }
    const int64_t pos = control < 0xC0 ? 0 : static_cast<int64_t>(control - 0xC0) - 1;
    fastSrc.SetReadPos(pos);
    refSrc.SetReadPos(pos);
    if (control & 1) {
        fastDst.Append(0x55);
        refDst.Append(0x55);
    }
    morvel::KanaToHalfWidth(fastSrc, fastDst);
    morvel::reference::KanaToHalfWidth(refSrc, refDst);
    if (fastSrc.ReadPos() != refSrc.ReadPos()) std::abort();
    if (fastDst.Size() != refDst.Size()) std::abort();
    for (int64_t i = 0; i < fastDst.Size(); ++i) {
        if (fastDst.Data()[i] != refDst.Data()[i]) std::abort();
    }
    return 0;
}
