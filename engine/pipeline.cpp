#include "engine/pipeline.h"

#include <algorithm>
#include <cstring>

#include "engine/internal/converters.h"

namespace morvel {

CConversionPipeline::CConversionPipeline(const ConversionPlan& plan) {
    if (plan.input == EucJp && (plan.output == Utf8 || plan.output == Unicode) && !plan.convertKana &&
        !plan.convertAlnum) {
        // Both stages in one pass (the same bytes).
        stages_.push_back(plan.output == Utf8 ? internal::NewEucToUtf8Output() : internal::NewEucToUtf16Output());
        return;
    }
    switch (plan.input) {
        case Jis: stages_.push_back(MakeConverter(Operation::JisToSjis)); break;
        case EucJp: stages_.push_back(MakeConverter(Operation::EucToSjis)); break;
        case Unicode: stages_.push_back(MakeConverter(Operation::Utf16InputToSjis)); break;
        case Utf8: stages_.push_back(MakeConverter(Operation::Utf8InputToSjis)); break;
        default: break;
    }
    if (plan.convertKana)
        stages_.push_back(MakeConverter(plan.kanaToHalf ? Operation::KanaToHalfWidth : Operation::KanaToFullWidth));
    if (plan.convertAlnum)
        stages_.push_back(
            MakeConverter(plan.alnumToHalf ? Operation::AlnumToHalfWidth : Operation::AlnumToFullWidth));
    switch (plan.output) {
        case Jis: stages_.push_back(MakeConverter(Operation::SjisToJis)); break;
        case EucJp: stages_.push_back(MakeConverter(Operation::SjisToEuc)); break;
        case Unicode: stages_.push_back(MakeConverter(Operation::SjisToUtf16Output)); break;
        case Utf8: stages_.push_back(MakeConverter(Operation::SjisToUtf8Output)); break;
        default: break;
    }
    if (!stages_.empty()) between_.resize(stages_.size() - 1);
}

void CConversionPipeline::Feed(const uint8_t* p, int64_t n, CByteStream& out) {
    if (stages_.empty()) {
        if (n > 0) {
            std::memcpy(out.Reserve(n), p, static_cast<size_t>(n));
            out.Commit(n);
        }
        return;
    }
    // With stages in between, the text goes through in pieces small enough
    // that each stage's result is still in the processor's cache when the
    // next stage reads it.
    constexpr int64_t kPiece = 64 * 1024;
    if (stages_.size() > 1 && n > kPiece) {
        for (int64_t at = 0; at < n; at += kPiece) FeedPiece(p + at, std::min(kPiece, n - at), out);
        return;
    }
    FeedPiece(p, n, out);
}

void CConversionPipeline::FeedPiece(const uint8_t* p, int64_t n, CByteStream& out) {
    const uint8_t* text = p;
    int64_t length = n;
    for (size_t i = 0; i < stages_.size(); ++i) {
        const bool last = i + 1 == stages_.size();
        CByteStream& result = last ? out : between_[i];
        if (!last) result.Discard();
        stages_[i]->Feed(text, length, result);
        text = result.Data();
        length = result.Size();
        if (!last && length == 0) return;  // nothing reached the next stage
    }
}

void CConversionPipeline::Finish(CByteStream& out) {
    for (size_t i = 0; i < stages_.size(); ++i) {
        const bool last = i + 1 == stages_.size();
        CByteStream& result = last ? out : between_[i];
        if (!last) result.Discard();
        if (i > 0) stages_[i]->Feed(between_[i - 1].Data(), between_[i - 1].Size(), result);
        stages_[i]->Finish(result);
    }
}

void CConversionPipeline::ContinueText() {
    for (auto& stage : stages_) stage->ContinueText();
}

bool CConversionPipeline::Ended() const {
    return std::any_of(stages_.begin(), stages_.end(), [](const auto& stage) { return stage->Ended(); });
}

bool CConversionPipeline::AtRest() const {
    return std::all_of(stages_.begin(), stages_.end(), [](const auto& stage) { return stage->AtRest(); });
}

int64_t CConversionPipeline::NextCut(const ConversionPlan& plan, const uint8_t* text, int64_t n, int64_t from) {
    // The first LF or CR byte at or after `at`, or n.
    auto lineBreak = [&](int64_t at) {
        const void* lf = std::memchr(text + at, 0x0A, static_cast<size_t>(n - at));
        const int64_t lfAt = lf == nullptr ? n : static_cast<const uint8_t*>(lf) - text;
        const void* cr = std::memchr(text + at, 0x0D, static_cast<size_t>(lfAt - at));
        return cr == nullptr ? lfAt : static_cast<const uint8_t*>(cr) - text;
    };
    if (plan.input != Unicode) {
        const int64_t at = std::max<int64_t>(from, 1) - 1;
        const int64_t hit = at < n ? lineBreak(at) : n;
        return hit < n ? hit + 1 : -1;
    }
    // UTF-16 (little-endian, as it is read): a unit 000A or 000D.
    for (int64_t at = std::max<int64_t>(from, 2) - 2; at + 1 < n;) {
        const int64_t hit = lineBreak(at);
        if (hit + 1 >= n) return -1;
        if (hit % 2 == 0 && text[hit + 1] == 0) return hit + 2;
        at = hit + 1;
    }
    return -1;
}

}  // namespace morvel
