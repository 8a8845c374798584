// Files larger than the blocks the run reads and converts: the binary's
// output must be the bytes of converting the whole text stage by stage.
#include <random>

#include "tests/app/run_helpers.h"

namespace morvel::test {
namespace {

using LargeFileTest = ScratchDir;

// About 3 MB of Shift-JIS with the things that cross block borders badly:
// pairs, half-width katakana with marks, line ends, odd bytes.
Bytes LargeSjis(unsigned seed) {
    static const char* const kPieces[] = {"\x88\x9f", "\x82\xa0", "\xb6\xde", "\xca\xdf", "\xb1",
                                          "\x82\x60", "\x81\x40", "\r\n",     "abc ",     "\x83\x4b",
                                          "\x81\x5b", "\x93\xfa\x96\x7b",     "\xfd",     "\x81"};
    std::mt19937 rng(seed);
    Bytes out;
    while (out.size() < 3'000'000) out += kPieces[rng() % std::size(kPieces)];
    return out;
}

TEST_F(LargeFileTest, BlockByBlockEqualsTheWholeText) {
    const Bytes sjis = LargeSjis(1);
    const struct {
        std::vector<std::string> args;
        ConversionPlan plan;
    } runs[] = {
        {{"/SE"}, {ShiftJis, EucJp}}, {{"/SJ"}, {ShiftJis, Jis}}, {{"/ST"}, {ShiftJis, Utf8}},
        {{"/SU"}, {ShiftJis, Unicode}}, {{"/ES"}, {EucJp, ShiftJis}}, {{"/JS"}, {Jis, ShiftJis}},
        {{"/TE"}, {Utf8, EucJp}}, {{"/US"}, {Unicode, ShiftJis}},
        {{"/SS", "/k", "/N"}, {ShiftJis, ShiftJis, true, true, true, false}},
        {{"/SE", "/K", "/n"}, {ShiftJis, EucJp, true, false, true, true}},
    };
    for (const auto& r : runs) {
        std::vector<std::string> args = r.args;
        SCOPED_TRACE(args[0] + (args.size() > 1 ? args[1] : ""));
        const Bytes input = r.plan.input == ShiftJis ? sjis : EncodeSjis(sjis, r.plan.input);
        WriteFile(P("in"), input);
        args.insert(args.end(), {"in", "out"});
        const RunResult result = Run(args);
        ASSERT_EQ(result.status, 0) << result.err;
        const Bytes got = ReadFile(P("out")), want = Expected(input, r.plan);
        ASSERT_EQ(got.size(), want.size());
        EXPECT_TRUE(got == want);
    }
}

TEST_F(LargeFileTest, DetectionAndMarkOnTheHeadOfALargeFile) {
    const Bytes sjis = LargeSjis(2);
    // A UTF-16 file with its mark is converted as UTF-16 even with /S.
    const Bytes utf16 = EncodeSjis(sjis, Unicode);
    WriteFile(P("in"), utf16);
    ASSERT_EQ(Run({"/SE", "in", "out"}).status, 0);
    EXPECT_TRUE(ReadFile(P("out")) == Expected(utf16, {Unicode, EucJp}));
    // Detection from the head alone decides as it does on the whole text.
    for (EncodingId mode : {EucJp, Jis, Utf8, ShiftJis}) {
        const Bytes text = mode == ShiftJis ? sjis : EncodeSjis(sjis, mode);
        CByteStream whole;
        for (char c : text) whole.Append(static_cast<uint8_t>(c));
        whole.Append(0);
        const EncodingId detected = DetectEncoding(whole);
        WriteFile(P("in"), text);
        ASSERT_EQ(Run({"/AS", "in", "out"}).status, 0);
        EXPECT_TRUE(ReadFile(P("out")) == Expected(text, {detected, ShiftJis})) << mode;
    }
    // A 0x1A far into the file ends the text there.
    Bytes cut = sjis;
    cut[2'000'001] = 0x1A;
    WriteFile(P("in"), cut);
    ASSERT_EQ(Run({"/SE", "in", "out"}).status, 0);
    EXPECT_TRUE(ReadFile(P("out")) == Expected(cut, {ShiftJis, EucJp}));
}

}  // namespace
}  // namespace morvel::test
