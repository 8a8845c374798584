// Factories of the resumable converters, one per codec file.
#pragma once

#include <memory>

#include "engine/converter.h"

namespace morvel::internal {

std::unique_ptr<CChunkConverter> NewSjisToJis();
std::unique_ptr<CChunkConverter> NewJisToSjis();
std::unique_ptr<CChunkConverter> NewSjisToEuc();
std::unique_ptr<CChunkConverter> NewEucToSjis();
std::unique_ptr<CChunkConverter> NewKanaToFullWidth();
std::unique_ptr<CChunkConverter> NewKanaToHalfWidth();
std::unique_ptr<CChunkConverter> NewAlnumToHalfWidth();
std::unique_ptr<CChunkConverter> NewAlnumToFullWidth();
std::unique_ptr<CChunkConverter> NewUtf16InputToSjis();
std::unique_ptr<CChunkConverter> NewUtf8InputToSjis();
std::unique_ptr<CChunkConverter> NewSjisToUtf16Output();
std::unique_ptr<CChunkConverter> NewSjisToUtf8Output();

// EUC-JP to Shift-JIS and Shift-JIS to UTF-8 (UTF-16) in one: the same
// bytes as the two one after the other.
std::unique_ptr<CChunkConverter> NewEucToUtf8Output();
std::unique_ptr<CChunkConverter> NewEucToUtf16Output();

}  // namespace morvel::internal
