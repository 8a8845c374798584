// Runs FormatHexDump and its printf-based reference on the same source and
// aborts when the dumps or their read positions differ.
#include <cstdint>
#include <cstdlib>

#include "engine/engine.h"
#include "engine/reference/reference.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    morvel::CByteStream src, fastDump, refDump;
    for (size_t i = 0; i < size; ++i) src.Append(data[i]);
    if (size > 0) {
        src.SetReadPos(data[0]);  // not used by the dump
        fastDump.Append(data[0]);
        fastDump.SetReadPos(1);
    }
    morvel::FormatHexDump(src, fastDump);
    morvel::reference::FormatHexDump(src, refDump);
    if (fastDump.ReadPos() != 0 || refDump.ReadPos() != 0) std::abort();
    if (fastDump.Size() != refDump.Size()) std::abort();
    for (int64_t i = 0; i < fastDump.Size(); ++i) {
        if (fastDump.Data()[i] != refDump.Data()[i]) std::abort();
    }
    return 0;
}
