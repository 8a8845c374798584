// The CP932 to UTF-8 chain, whole-text and fed in pieces, against the
// reference that goes through UTF-16.
#include "engine/reference/reference.h"
#include "tests/fuzz/fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    morvel::fuzz::CompareStreamOp(morvel::SjisToUtf8Output, morvel::reference::SjisToUtf8Output,
                                  morvel::Operation::SjisToUtf8Output, data, size);
    return 0;
}
