// DetectEncoding on any bytes: one of the listed results, the text unchanged,
// and the same answer from any read position but for the UTF-16 mark.
#include <cstdlib>
#include <cstring>

#include "tests/fuzz/fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    morvel::CByteStream s;
    morvel::fuzz::Load(s, data, size);
    const morvel::EncodingId id = morvel::DetectEncoding(s);
    switch (id) {
        case morvel::Undetermined: case morvel::ShiftJis: case morvel::Jis:
        case morvel::EucJp: case morvel::Unicode: case morvel::Utf8:
            break;
        default:
            std::abort();
    }
    if (size > 0 && std::memcmp(s.Data(), data, size) != 0) std::abort();
    if (s.ReadPos() < 0 || s.ReadPos() > static_cast<int64_t>(size) || s.ReadPos() > 0x10000 + 4) std::abort();
    return 0;
}
