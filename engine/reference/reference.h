// Literal, byte-at-a-time implementations of every engine operation, written
// as directly as possible from the rules they follow: each reads its source
// only through CByteStream::ReadByte and writes only through Append. They are
// slow on purpose; the tests use them as the oracle for the fast operations
// in engine/, and the benchmark as the baseline.
#pragma once

#include "engine/engine.h"
#include "engine/pipeline.h"

namespace morvel::reference {

void SjisToJis(CByteStream& src, CByteStream& dst);
void JisToSjis(CByteStream& src, CByteStream& dst);
void SjisToEuc(CByteStream& src, CByteStream& dst);
void EucToSjis(CByteStream& src, CByteStream& dst);

// Through the UTF-16 intermediate, step by step.
void ToUtf16(const CByteStream& src, CByteStream& dst, EncodingId mode);
void FromUtf16(const CByteStream& src, CByteStream& dst, EncodingId mode);
void Utf8InputToSjis(const CByteStream& in, CByteStream& out);
void SjisToUtf8Output(const CByteStream& in, CByteStream& out);

void KanaToFullWidth(CByteStream& src, CByteStream& dst);
void KanaToHalfWidth(CByteStream& src, CByteStream& dst);
void AlnumToHalfWidth(CByteStream& src, CByteStream& dst);
void AlnumToFullWidth(CByteStream& src, CByteStream& dst);

void FormatHexDump(const CByteStream& src, CByteStream& dump);

}  // namespace morvel::reference

namespace morvel::reference {

// The conversion stages of a run on the whole text, as the run does them
// with two work streams: the input conversion, the foldings, the output
// conversion. `current` holds the loaded text and receives the result.
void ConvertWholeText(const ConversionPlan& plan, CByteStream& current);

}  // namespace morvel::reference
