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

    // A text may be cut at the points NextCut finds and each piece
    // converted by a pipeline of its own, all but the first told
    // ContinueText: the results one after the other are the bytes of the
    // whole text converted at once, wherever the pipeline that took the
    // text up to a cut is AtRest there; where it is not, that pipeline goes
    // on with the next piece. Nearly every line break leaves the stages at
    // rest: not one that a lead byte or an escape sequence takes in, nor
    // the end of a line of JIS in another shift state than ASCII's.

    // The text began before the first piece fed here. Call before the
    // first Feed.
    void ContinueText();
    // A stage has met the end of the text: what is fed from now on changes
    // nothing but what Finish appends.
    bool Ended() const;
    // Every stage is at rest (CChunkConverter::AtRest): a pipeline told
    // ContinueText would convert what follows with the same bytes.
    bool AtRest() const;
    // The first cut at or after `from` in `text`, `n` bytes, read in
    // `plan`'s input encoding: right behind a line feed or a carriage
    // return (so that files of any line ending have them); in UTF-16, a
    // unit of either, `text` starting at an even offset of the whole text.
    // -1 when there is none.
    static int64_t NextCut(const ConversionPlan& plan, const uint8_t* text, int64_t n, int64_t from);

private:
    void FeedPiece(const uint8_t* p, int64_t n, CByteStream& out);

    std::vector<std::unique_ptr<CChunkConverter>> stages_;
    std::vector<CByteStream> between_;  // stage i's result, stage i+1's text
};

}  // namespace morvel
