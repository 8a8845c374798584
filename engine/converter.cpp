#include "engine/converter.h"

#include "engine/internal/converters.h"

namespace morvel {

std::unique_ptr<CChunkConverter> MakeConverter(Operation op) {
    switch (op) {
        case Operation::SjisToJis: return internal::NewSjisToJis();
        case Operation::JisToSjis: return internal::NewJisToSjis();
        case Operation::SjisToEuc: return internal::NewSjisToEuc();
        case Operation::EucToSjis: return internal::NewEucToSjis();
        case Operation::Utf16InputToSjis: return internal::NewUtf16InputToSjis();
        case Operation::Utf8InputToSjis: return internal::NewUtf8InputToSjis();
        case Operation::SjisToUtf16Output: return internal::NewSjisToUtf16Output();
        case Operation::SjisToUtf8Output: return internal::NewSjisToUtf8Output();
        case Operation::KanaToFullWidth: return internal::NewKanaToFullWidth();
        case Operation::KanaToHalfWidth: return internal::NewKanaToHalfWidth();
        case Operation::AlnumToHalfWidth: return internal::NewAlnumToHalfWidth();
        case Operation::AlnumToFullWidth: return internal::NewAlnumToFullWidth();
    }
    return nullptr;
}

}  // namespace morvel
