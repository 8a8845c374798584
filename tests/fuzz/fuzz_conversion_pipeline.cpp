// The pipeline of a run's stages, fed in pieces, against the whole-text
// stages done one after the other. The first two input bytes choose the plan
// and the piece sizes; the rest is the loaded text.
#include <cstdlib>
#include <cstring>

#include "engine/pipeline.h"
#include "engine/reference/reference.h"
#include "tests/fuzz/fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace morvel;
    if (size < 2) return 0;
    static const EncodingId kModes[] = {ShiftJis, Jis, EucJp, Unicode, Utf8, Undetermined};
    ConversionPlan plan;
    plan.input = kModes[data[0] % 6];
    plan.output = kModes[(data[0] / 6) % 6];
    plan.convertKana = data[1] & 1;
    plan.kanaToHalf = data[1] & 2;
    plan.convertAlnum = data[1] & 4;
    plan.alnumToHalf = data[1] & 8;
    const size_t piece = 1 + (data[1] >> 4) * 7;
    data += 2;
    size -= 2;

    // The loaded text: the bytes, a terminator, and for UTF-16 the padding.
    CByteStream loaded;
    fuzz::Load(loaded, data, size);
    loaded.Append(0x00);
    if (plan.input == Unicode) {
        while (loaded.Size() % 2 != 0 || loaded.Data()[loaded.Size() - 2] != 0) loaded.Append(0x00);
    }

    CConversionPipeline pipeline(plan);
    CByteStream out;
    for (int64_t at = 0; at < loaded.Size(); at += static_cast<int64_t>(piece)) {
        const int64_t n = loaded.Size() - at < static_cast<int64_t>(piece) ? loaded.Size() - at : piece;
        pipeline.Feed(loaded.Data() + at, n, out);
    }
    pipeline.Finish(out);

    reference::ConvertWholeText(plan, loaded);
    if (!fuzz::Same(out, loaded)) std::abort();
    return 0;
}
