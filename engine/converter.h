// Resumable converters: the engine's operations for a text that arrives in
// pieces (a file read in blocks, a pipe). Feeding a text piece by piece and
// then finishing gives exactly the bytes that the whole-text operation of
// engine.h gives on the same text, terminator included, whatever the pieces.
//
// Each converter ends the text where its whole-text operation does: the
// byte-wise operations at the first 0x00 or 0x1A, the ones that read CP932
// or UTF-8 at the first 0x00, the ones that read UTF-16 at the first zero
// code unit. Bytes fed after that are ignored.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/byte_stream.h"

namespace morvel {

class CChunkConverter {
public:
    virtual ~CChunkConverter() = default;

    // Converts `n` bytes at `p`, appending to `out`. A character or escape
    // sequence that the piece cuts short is kept and converted with the next
    // piece.
    virtual void Feed(const uint8_t* p, int64_t n, CByteStream& out) = 0;

    // The text is over: converts what was kept by the end-of-text rules and
    // appends what the end of the text brings (a closing escape sequence,
    // the terminator: one 0x00, or a zero code unit for UTF-16).
    virtual void Finish(CByteStream& out) = 0;

    // The text began before the first piece this converter is fed (another
    // converter took what came before): what only a text's first bytes
    // bring is left out, UTF-16's mark written in front and a mark skipped
    // at the start of UTF-8 and UTF-16. Call before the first Feed.
    virtual void ContinueText() = 0;

    // The end of the text has been met (a terminator byte or unit fed, or
    // Finish called): whatever is fed from now on is ignored.
    virtual bool Ended() const = 0;

    // Nothing is held back, the text has not ended and the shift state is
    // the one a text starts in: what follows converts as it would with a
    // new converter told ContinueText.
    virtual bool AtRest() const = 0;
};

// The operations that have a resumable form, named as in engine.h.
enum class Operation {
    SjisToJis,
    JisToSjis,
    SjisToEuc,
    EucToSjis,
    Utf16InputToSjis,
    Utf8InputToSjis,
    SjisToUtf16Output,
    SjisToUtf8Output,
    KanaToFullWidth,
    KanaToHalfWidth,
    AlnumToHalfWidth,
    AlnumToFullWidth,
};

std::unique_ptr<CChunkConverter> MakeConverter(Operation op);

}  // namespace morvel
