// Morvel's encoding engine: detection, conversions between Shift-JIS (the
// working encoding) and the other encodings, width folding and the hex dump.
//
// Calling convention of the byte-wise operations (the Japanese conversions
// and the width foldings): the operation reads its source from the source's
// read position up to the end of its text (the first 0x00 or 0x1A, or the
// end of the stream), leaves the read position at that point, appends its
// result to the destination without clearing it, and ends the result with
// one byte 0x00. The caller rewinds the source and clears the destination
// first, and swaps the two for the next stage.
//
// The UTF-16 operations read their source from byte 0 (not from the read
// position), end it at the first 0x00 byte (the first zero code unit on the
// UTF-16 side; 0x1A does not end a text there) and replace the
// destination's contents.
//
// No operation fails on malformed input: bytes are converted, copied or
// dropped by fixed rules. Only allocation fails (std::bad_alloc); the source
// is then unchanged. Source and destination must be different streams.
#pragma once

#include <cstdint>

#include "engine/byte_stream.h"

namespace morvel {

// The small integer by which the whole program names an encoding.
enum EncodingId : int32_t {
    Undetermined = 0,  // detection result only; treated as ShiftJis
    ShiftJis = 1,
    Jis = 2,        // ISO-2022-JP
    EucJp = 3,
    Unicode = 4,    // UTF-16 little-endian with the mark FF FE ("UNICODE")
    AutoDetect = 5, // input mode only
    Utf8 = 8,
};

// ---- Detection ------------------------------------------------------------

// Tells which encoding the text in `text` is in. Reads at most 65,536 units
// per pass; never changes the bytes; moves the read position (callers set it
// to 0 again before converting). A text that is well-formed Shift-JIS (CP932)
// but not EUC-JP, or the reverse, is taken to be that encoding before the
// counts of the passes are compared.
EncodingId DetectEncoding(CByteStream& text);

// Detection from read position 0 reads at most this many bytes: 65,536 UTF-8 units of up to 4 bytes, then one more.
constexpr int64_t kDetectionHeadBytes = 4 * 0x10000 + 1;

// ---- Shift-JIS <-> JIS (ISO-2022-JP) and EUC-JP ---------------------------

void SjisToJis(CByteStream& src, CByteStream& dst);
void JisToSjis(CByteStream& src, CByteStream& dst);
void SjisToEuc(CByteStream& src, CByteStream& dst);
void EucToSjis(CByteStream& src, CByteStream& dst);

// ---- UTF-16 and UTF-8 -------------------------------------------------------

// mode Unicode: the multibyte side is Shift-JIS (CP932) and the UTF-16 result
// starts with the mark FF FE. Any other mode (callers pass Utf8): the
// multibyte side is UTF-8. The result ends with a zero code unit. A source
// without a single byte leaves the destination as it was.
void ToUtf16(const CByteStream& src, CByteStream& dst, EncodingId mode);

// mode Unicode: a leading FF FE or FE FF is skipped (the text is read as
// little-endian either way) and the result is Shift-JIS (CP932), "?" for what
// CP932 lacks. Otherwise the result is UTF-8. The result ends with 0x00. An
// empty source leaves the destination as it was.
void FromUtf16(const CByteStream& src, CByteStream& dst, EncodingId mode);

// The four chains the run and the preview share. Each reads `in` from byte 0
// and replaces `out`; the bytes are those of the ToUtf16/FromUtf16 steps
// they stand for (the UTF-16 intermediate is skipped where that gives the
// same bytes).
//   Utf16InputToSjis:  FromUtf16(in, out, Unicode)
//   Utf8InputToSjis:   ToUtf16(in, tmp, Utf8); FromUtf16(tmp, out, Unicode)
//   SjisToUtf16Output: ToUtf16(in, out, Unicode)
//   SjisToUtf8Output:  ToUtf16(in, tmp, Unicode); drop its mark;
//                      FromUtf16(tmp, out, Utf8)
// When the first step would leave nothing (an empty `in`), `out` is left as
// it was.
void Utf16InputToSjis(const CByteStream& in, CByteStream& out);
void Utf8InputToSjis(const CByteStream& in, CByteStream& out);
void SjisToUtf16Output(const CByteStream& in, CByteStream& out);
void SjisToUtf8Output(const CByteStream& in, CByteStream& out);

// ---- Width folding (Shift-JIS to Shift-JIS) ---------------------------------

void KanaToFullWidth(CByteStream& src, CByteStream& dst);
void KanaToHalfWidth(CByteStream& src, CByteStream& dst);
void AlnumToHalfWidth(CByteStream& src, CByteStream& dst);
void AlnumToFullWidth(CByteStream& src, CByteStream& dst);

// ---- Vector paths -------------------------------------------------------------

// The operations and detection take runs of ASCII, and of two-byte
// characters where that pays, 16 bytes at a time with SSE2 (always there on
// x86-64) and 32 with AVX2 where the processor has it; elsewhere, and at
// level Scalar, they go a byte or a word of 8 bytes at a time. The bytes are
// the same at every level.
enum class VectorLevel : int32_t { Scalar = 0, Sse2 = 1, Avx2 = 2 };

// The widest level this processor and this build can run.
VectorLevel SupportedVectorLevel();

// The level in force: the supported one unless SetVectorLevel lowered it.
VectorLevel ActiveVectorLevel();

// Sets the level of every later call in the process (at most the supported
// one) and returns the one in force before: for tests and benchmarks that
// run the scalar and the vector paths side by side.
VectorLevel SetVectorLevel(VectorLevel level);

// ---- Hex dump ---------------------------------------------------------------

// Replaces `dump` with the 16-bytes-per-line dump of every byte of `src`
// ("%4X : ", the bytes as "%02X " with an extra space before the ninth,
// " : ", the bytes as characters with those below 0x20 shown as ".", CR LF),
// followed by one 0x00. The dump's read position becomes 0.
void FormatHexDump(const CByteStream& src, CByteStream& dump);

}  // namespace morvel
