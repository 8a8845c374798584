// The UTF-8 to CP932 chain, whole-text and fed in pieces, against the
// reference that goes through UTF-16.
#include "engine/reference/reference.h"
#include "tests/fuzz/fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    morvel::fuzz::CompareStreamOp(morvel::Utf8InputToSjis, morvel::reference::Utf8InputToSjis,
                                  morvel::Operation::Utf8InputToSjis, data, size);
    return 0;
}
