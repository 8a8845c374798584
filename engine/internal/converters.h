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

}  // namespace morvel::internal
