#include "engine/converter.h"

#include <cstring>

#include "engine/engine.h"
#include "engine/internal/converters.h"

namespace morvel {
namespace {

// For an operation without a resumable core: gathers the whole text and
// converts it at the end. Same bytes, but the text is held in memory.
class GatheringConverter final : public CChunkConverter {
public:
    using ByteWise = void (*)(CByteStream&, CByteStream&);
    using FromStart = void (*)(const CByteStream&, CByteStream&);

    explicit GatheringConverter(ByteWise op) : byteWise_(op) {}
    explicit GatheringConverter(FromStart op) : fromStart_(op) {}

    void Feed(const uint8_t* p, int64_t n, CByteStream& /*out*/) override {
        if (n <= 0) return;
        std::memcpy(text_.Reserve(n), p, static_cast<size_t>(n));
        text_.Commit(n);
    }

    void Finish(CByteStream& out) override {
        CByteStream result;
        if (byteWise_) {
            text_.SetReadPos(0);
            byteWise_(text_, result);
        } else {
            // The whole-text chains leave `out` alone for an empty text; so
            // does this.
            fromStart_(text_, result);
        }
        text_.Clear();
        if (result.Size() > 0) {
            std::memcpy(out.Reserve(result.Size()), result.Data(), static_cast<size_t>(result.Size()));
            out.Commit(result.Size());
        }
    }

private:
    ByteWise byteWise_ = nullptr;
    FromStart fromStart_ = nullptr;
    CByteStream text_;
};

template <class Op>
std::unique_ptr<CChunkConverter> Gathering(Op op) {
    return std::make_unique<GatheringConverter>(op);
}

}  // namespace

std::unique_ptr<CChunkConverter> MakeConverter(Operation op) {
    switch (op) {
        case Operation::SjisToJis: return internal::NewSjisToJis();
        case Operation::JisToSjis: return internal::NewJisToSjis();
        case Operation::SjisToEuc: return internal::NewSjisToEuc();
        case Operation::EucToSjis: return internal::NewEucToSjis();
        case Operation::Utf16InputToSjis: return Gathering(&Utf16InputToSjis);
        case Operation::Utf8InputToSjis: return Gathering(&Utf8InputToSjis);
        case Operation::SjisToUtf16Output: return Gathering(&SjisToUtf16Output);
        case Operation::SjisToUtf8Output: return Gathering(&SjisToUtf8Output);
        case Operation::KanaToFullWidth: return internal::NewKanaToFullWidth();
        case Operation::KanaToHalfWidth: return internal::NewKanaToHalfWidth();
        case Operation::AlnumToHalfWidth: return internal::NewAlnumToHalfWidth();
        case Operation::AlnumToFullWidth: return internal::NewAlnumToFullWidth();
    }
    return nullptr;
}

}  // namespace morvel
