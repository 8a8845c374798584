// The engine stages of one conversion, chained for a text that arrives in
// pieces: the input conversion to Shift-JIS, the katakana folding, the
// alphanumeric folding and the output conversion, each only where the plan
// asks for it. The bytes that come out are those of running the whole-text
// operations one after the other on the whole text, each on the previous
// one's result, terminators included.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/converter.h"
#include "engine/engine.h"

namespace morvel {

struct ConversionPlan {
    // Jis, EucJp, Unicode or Utf8 convert to Shift-JIS; any other value
    // (ShiftJis, Undetermined) takes the text as Shift-JIS.
    EncodingId input = ShiftJis;
    // Jis, EucJp, Unicode or Utf8; any other value leaves Shift-JIS.
    EncodingId output = ShiftJis;
    bool convertKana = false;
    bool kanaToHalf = false;
    bool convertAlnum = false;
    bool alnumToHalf = false;
};

class CConversionPipeline {
public:
    explicit CConversionPipeline(const ConversionPlan& plan);

    // A piece of the loaded text: the bytes as read, then the loader's
    // terminator (and, for UTF-16 input, its padding). Appends to `out`.
    void Feed(const uint8_t* p, int64_t n, CByteStream& out);

    // The loaded text is over: appends the rest of the result to `out`.
    void Finish(CByteStream& out);

    // Whether the text passes through unchanged (no stage at all).
    bool PassesThrough() const { return stages_.empty(); }

private:
    void FeedPiece(const uint8_t* p, int64_t n, CByteStream& out);

    std::vector<std::unique_ptr<CChunkConverter>> stages_;
    std::vector<CByteStream> between_;  // stage i's result, stage i+1's text
};

}  // namespace morvel
