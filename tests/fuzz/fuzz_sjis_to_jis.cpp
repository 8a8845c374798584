// SjisToJis, whole-text and fed in pieces, against its byte-at-a-time reference.
#include "engine/reference/reference.h"
#include "tests/fuzz/fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    morvel::fuzz::CompareByteOp(morvel::SjisToJis, morvel::reference::SjisToJis, morvel::Operation::SjisToJis, data, size);
    return 0;
}
