// Texts fed in pieces: every resumable converter, and the whole chain of a
// run's stages, must give the bytes of the whole-text operations.
#include <gtest/gtest.h>

#include <random>

#include "engine/converter.h"
#include "engine/pipeline.h"
#include "engine/reference/reference.h"
#include "tests/engine/test_util.h"

namespace morvel {
namespace {

using test::Bytes;

// Random text from pieces that matter to some codec: escapes, leads, kana
// with marks, UTF-8 and UTF-16 fragments, terminators, now and then behind a
// byte-order mark.
Bytes RandomText(std::mt19937& rng, size_t pieces) {
    static const Bytes kPieces[] = {
        {0x1B, 0x24, 0x42}, {0x1B, 0x28, 0x42}, {0x1B, 0x28, 0x49}, {0x1B}, {0x0E}, {0x0F},
        {0x0D, 0x0A}, {0x8E}, {0x8F}, {0x1A}, {0x00}, {0x88, 0x9F}, {0x82, 0xA0}, {0x83, 0x4B},
        {0xB6, 0xDE}, {0xCA, 0xDF}, {0xB0, 0xA1}, {0x30, 0x21}, {0xB1}, {0x81}, {0x82, 0x60},
        {0xE3, 0x81, 0x8B}, {0xE3, 0x82, 0x99}, {0xEF, 0xBB, 0xBF}, {0xF0, 0x9F, 0x98, 0x80},
        {0xFF, 0xFE}, {0x42, 0x30}, {0x3D, 0xD8, 0x00, 0xDE}, {0x4B, 0x30, 0x99, 0x30},
        {0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x4B, 0x4C},
        // Bases and the marks they compose with, in UTF-8 and UTF-16: = and
        // U+0338, И and U+0306, ウ and U+3099; a UTF-8 U+FFFE; a lone high
        // surrogate of UTF-16.
        {0x3D}, {0xCC, 0xB8}, {0x3D, 0x00, 0x38, 0x03}, {0xD0, 0x98, 0xCC, 0x86},
        {0x18, 0x04, 0x06, 0x03}, {0xE3, 0x82, 0xA6}, {0xA6, 0x30}, {0x99, 0x30}, {0xEF, 0xBF, 0xBE},
        {0x3D, 0xD8},
    };
    // The marks that only count at the very start of a text.
    static const Bytes kMarks[] = {{0xFF, 0xFE}, {0xFE, 0xFF}, {0xEF, 0xBB, 0xBF}, {0xEF, 0xBF, 0xBE}};
    Bytes out;
    if (rng() % 4 == 0) out = kMarks[rng() % std::size(kMarks)];
    for (size_t i = 0; i < pieces; ++i) {
        if (rng() % 4 == 0) {
            out.push_back(static_cast<uint8_t>(rng()));
        } else {
            const Bytes& p = kPieces[rng() % std::size(kPieces)];
            out.insert(out.end(), p.begin(), p.end());
        }
    }
    return out;
}

// Feeds `text` to `feed` in pieces of random size (or all at once).
template <class Feed>
void InPieces(std::mt19937& rng, const Bytes& text, Feed feed) {
    size_t at = 0;
    const int style = static_cast<int>(rng() % 3);
    while (at < text.size()) {
        size_t n = style == 0 ? text.size() : style == 1 ? 1 + rng() % 4 : 1 + rng() % 300;
        if (n > text.size() - at) n = text.size() - at;
        feed(text.data() + at, static_cast<int64_t>(n));
        at += n;
    }
}

struct NamedOperation {
    Operation op;
    const char* name;
    bool fromStart;  // reads from byte 0 (the UTF-16 side), else byte-wise
    void (*byteWise)(CByteStream&, CByteStream&);
    void (*chain)(const CByteStream&, CByteStream&);
};

const NamedOperation kOperations[] = {
    {Operation::SjisToJis, "SjisToJis", false, SjisToJis, nullptr},
    {Operation::JisToSjis, "JisToSjis", false, JisToSjis, nullptr},
    {Operation::SjisToEuc, "SjisToEuc", false, SjisToEuc, nullptr},
    {Operation::EucToSjis, "EucToSjis", false, EucToSjis, nullptr},
    {Operation::KanaToFullWidth, "KanaToFullWidth", false, KanaToFullWidth, nullptr},
    {Operation::KanaToHalfWidth, "KanaToHalfWidth", false, KanaToHalfWidth, nullptr},
    {Operation::AlnumToHalfWidth, "AlnumToHalfWidth", false, AlnumToHalfWidth, nullptr},
    {Operation::AlnumToFullWidth, "AlnumToFullWidth", false, AlnumToFullWidth, nullptr},
    {Operation::Utf16InputToSjis, "Utf16InputToSjis", true, nullptr, Utf16InputToSjis},
    {Operation::Utf8InputToSjis, "Utf8InputToSjis", true, nullptr, Utf8InputToSjis},
    {Operation::SjisToUtf16Output, "SjisToUtf16Output", true, nullptr, SjisToUtf16Output},
    {Operation::SjisToUtf8Output, "SjisToUtf8Output", true, nullptr, SjisToUtf8Output},
};

TEST(Streaming, EveryConverterInPiecesEqualsTheWholeTextOperation) {
    std::mt19937 rng(99);
    for (int round = 0; round < 1500; ++round) {
        Bytes text = RandomText(rng, rng() % 120);
        if (round % 10 == 0) text = RandomText(rng, 30000);  // crosses internal blocks
        for (const auto& op : kOperations) {
            CByteStream src, expected;
            test::Fill(src, text);
            if (op.fromStart) {
                if (text.empty()) continue;  // the chains leave their output alone then
                op.chain(src, expected);
            } else {
                op.byteWise(src, expected);
            }
            auto converter = MakeConverter(op.op);
            CByteStream got;
            InPieces(rng, text, [&](const uint8_t* p, int64_t n) { converter->Feed(p, n, got); });
            converter->Finish(got);
            ASSERT_EQ(test::Hex(test::ToBytes(got)), test::Hex(test::ToBytes(expected)))
                << op.name << " on " << test::Hex(text);
        }
    }
}

// The loader's terminator, and for UTF-16 the padding to a whole zero unit.
Bytes Loaded(Bytes text, EncodingId input) {
    text.push_back(0x00);
    if (input == Unicode) {
        while (text.size() % 2 != 0 || text[text.size() - 2] != 0 || text.back() != 0) text.push_back(0x00);
    }
    return text;
}

TEST(Streaming, PipelineInPiecesEqualsTheRunsWholeTextStages) {
    const EncodingId modes[] = {ShiftJis, Jis, EucJp, Unicode, Utf8};
    std::mt19937 rng(5);
    for (int round = 0; round < 3000; ++round) {
        ConversionPlan plan;
        plan.input = modes[rng() % 5];
        plan.output = modes[rng() % 5];
        plan.convertKana = rng() % 2;
        plan.kanaToHalf = rng() % 2;
        plan.convertAlnum = rng() % 2;
        plan.alnumToHalf = rng() % 2;
        const Bytes loaded = Loaded(RandomText(rng, rng() % 80), plan.input);

        CByteStream whole;
        test::Fill(whole, loaded);
        reference::ConvertWholeText(plan, whole);

        CConversionPipeline pipeline(plan);
        CByteStream out, all;
        InPieces(rng, loaded, [&](const uint8_t* p, int64_t n) {
            pipeline.Feed(p, n, out);
            for (int64_t i = 0; i < out.Size(); ++i) all.Append(out.Data()[i]);
            out.Discard();
        });
        pipeline.Finish(all);
        ASSERT_EQ(test::Hex(test::ToBytes(all)), test::Hex(test::ToBytes(whole)))
            << "input " << plan.input << " output " << plan.output << " kana " << plan.convertKana
            << plan.kanaToHalf << " alnum " << plan.convertAlnum << plan.alnumToHalf << " on "
            << test::Hex(loaded);
    }
}

}  // namespace
}  // namespace morvel
