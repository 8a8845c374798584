// AlnumToFullWidth, whole-text and fed in pieces, against its byte-by-byte reference.
#include "engine/reference/reference.h"
#include "tests/fuzz/width_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    morvel::fuzz::CompareFolding(morvel::AlnumToFullWidth, morvel::reference::AlnumToFullWidth,
                                 morvel::Operation::AlnumToFullWidth, data, size);
    return 0;
}
