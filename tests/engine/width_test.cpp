#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "engine/converter.h"
#include "engine/engine.h"
#include "engine/reference/reference.h"
#include "engine/internal/width_tables.h"
#include "tests/engine/test_util.h"

namespace morvel {
namespace {

using test::AsciiPrefix;
using test::ByteOp;
using test::Bytes;
using test::Concat;
using test::Fill;
using test::Hex;
using test::RunOp;
using test::ToBytes;

struct Folding {
    const char* name;
    ByteOp fast;
    ByteOp ref;
    Operation op;
};

const Folding kFoldings[] = {
    {"KanaToFullWidth", &morvel::KanaToFullWidth, &reference::KanaToFullWidth, Operation::KanaToFullWidth},
    {"KanaToHalfWidth", &morvel::KanaToHalfWidth, &reference::KanaToHalfWidth, Operation::KanaToHalfWidth},
    {"AlnumToHalfWidth", &morvel::AlnumToHalfWidth, &reference::AlnumToHalfWidth, Operation::AlnumToHalfWidth},
    {"AlnumToFullWidth", &morvel::AlnumToFullWidth, &reference::AlnumToFullWidth, Operation::AlnumToFullWidth},
};

// Output and final read position of one run over `input`, starting at `pos`,
// appended to a destination that already holds `before`.
struct Outcome {
    Bytes out;
    int64_t readPos;
    bool operator==(const Outcome&) const = default;
};

Outcome Fold(ByteOp op, const Bytes& input, int64_t pos = 0, const Bytes& before = {}) {
    CByteStream src, dst;
    Fill(src, input);
    Fill(dst, before);
    src.SetReadPos(pos);
    op(src, dst);
    return {ToBytes(dst), src.ReadPos()};
}

// What AlnumToFullWidth makes of AsciiPrefix(n): every small letter x
// becomes 82 (x + 0x20).
Bytes FullWidthPrefix(size_t n) {
    Bytes out;
    for (uint8_t c : AsciiPrefix(n)) {
        out.push_back(0x82);
        out.push_back(static_cast<uint8_t>(c + 0x20));
    }
    return out;
}

// A case: the bytes of a text, the folding's result (without its final
// 0x00), and where reading stops (-1: at the end of the input).
struct Case {
    ByteOp op;
    Bytes in;
    Bytes out;
    int64_t stop = -1;
};

void CheckCases(const Case* cases, size_t count) {
    for (size_t c = 0; c < count; ++c) {
        const Case& k = cases[c];
        for (size_t n = 0; n < 32; ++n) {
            const Bytes input = Concat(AsciiPrefix(n), k.in);
            const bool foldsPrefix = k.op == &morvel::AlnumToFullWidth;
            Bytes expected = Concat(foldsPrefix ? FullWidthPrefix(n) : AsciiPrefix(n), k.out);
            expected.push_back(0x00);
            const int64_t stop = static_cast<int64_t>(n) + (k.stop < 0 ? static_cast<int64_t>(k.in.size()) : k.stop);
            const Outcome got = Fold(k.op, input);
            SCOPED_TRACE("input " + Hex(input));
            EXPECT_EQ(Hex(got.out), Hex(expected));
            EXPECT_EQ(got.readPos, stop);
        }
    }
}

TEST(KanaToFullWidth, FoldsHalfWidthKatakanaAndMarks) {
    ByteOp f = &morvel::KanaToFullWidth;
    const Case cases[] = {
        {f, {}, {}},
        {f, {0xB6, 0xDE}, {0x83, 0x4B}},                    // ｶﾞ -> ガ
        {f, {0xCA, 0xDF}, {0x83, 0x70}},                    // ﾊﾟ -> パ
        {f, {0xCA, 0xDE}, {0x83, 0x6F}},                    // ﾊﾞ -> バ
        {f, {0xC4, 0xDE}, {0x83, 0x68}},                    // ﾄﾞ -> ド
        {f, {0xCE, 0xDF}, {0x83, 0x7C}},                    // ﾎﾟ -> ポ
        {f, {0xB3, 0xDE}, {0x83, 0x45, 0x81, 0x4A}},        // ｳﾞ -> ウ゛, not ヴ
        {f, {0xB1, 0xDF}, {0x83, 0x41, 0x81, 0x4B}},        // ｱﾟ -> ア゜
        {f, {0xB6, 0xDF}, {0x83, 0x4A, 0x81, 0x4B}},        // ｶﾟ -> カ゜
        {f, {0xDE}, {0x81, 0x4A}},                          // ﾞ alone
        {f, {0xDE, 0xDE}, {0x81, 0x4A, 0x81, 0x4A}},        // the mark has no voiced form
        {f, {0xDF, 0xDE}, {0x81, 0x4B, 0x81, 0x4A}},
        {f, {0xB1, 0xB2}, {0x83, 0x41, 0x83, 0x43}},        // ｱｲ
        {f, {0xB6, 0xB6, 0xDE}, {0x83, 0x4A, 0x83, 0x4B}},  // ｶｶﾞ
        {f, {0xB1}, {0x83, 0x41}},                          // at the very end
        {f, {0xA1, 0xA4, 0xA5, 0xB0}, {0x81, 0x42, 0x81, 0x41, 0x81, 0x45, 0x81, 0x5B}},
        {f, {0xA6, 0xDE}, {0x83, 0x92, 0x81, 0x4A}},        // ｦﾞ
        {f, {0x83, 0xB1}, {0x83, 0xB1}},                    // trail byte B1 is no katakana
        {f, {0x83, 0xDE}, {0x83, 0xDE}},
        {f, {0xB6, 0x83, 0xDE}, {0x83, 0x4A, 0x83, 0xDE}},
        {f, {0x83}, {0x83}},                                // lead at the end kept
        {f, {0xA0, 0xDE, 0x80, 0xFD, 0xFE, 0xFF}, {0xA0, 0x81, 0x4A, 0x80, 0xFD, 0xFE, 0xFF}},
        {f, {0xB1, 0x00, 0xB2}, {0x83, 0x41}, 1},           // the text ends at 00 ...
        {f, {0xB6, 0x1A, 0xDE}, {0x83, 0x4A}, 1},           // ... and at 1A
        {f, {0x83, 0x00, 0x41}, {0x83}, 1},
        {f, {0x1A, 0xB1}, {}, 0},
    };
    CheckCases(cases, std::size(cases));
}

TEST(KanaToHalfWidth, FoldsFullWidthKatakanaAndLongVowel) {
    ByteOp f = &morvel::KanaToHalfWidth;
    const Case cases[] = {
        {f, {}, {}},
        {f, {0x83, 0x4B, 0x83, 0x70, 0x81, 0x5B}, {0xB6, 0xDE, 0xCA, 0xDF, 0xB0}},  // ガパー
        {f, {0x83, 0x94}, {0xB3, 0xDE}},              // ヴ
        {f, {0x83, 0x90}, {0xB4}},                    // ヰ -> ｴ
        {f, {0x83, 0x91}, {0xB2}},                    // ヱ -> ｲ
        {f, {0x83, 0x8E}, {0xDC}},                    // ヮ -> ﾜ
        {f, {0x83, 0x40}, {0xA7}},                    // ァ
        {f, {0x83, 0x7F}, {0xD1}},                    // takes the entry of 83 80
        {f, {0x83, 0x80}, {0xD1}},
        {f, {0x83, 0x3F}, {0x83, 0x3F}},
        {f, {0x83, 0x95, 0x83, 0x96}, {0x83, 0x95, 0x83, 0x96}},  // ヵヶ stay
        {f, {0x82, 0xA0}, {0x82, 0xA0}},              // あ
        {f, {0x81, 0x42, 0x81, 0x75, 0x81, 0x4A}, {0x81, 0x42, 0x81, 0x75, 0x81, 0x4A}},
        {f, {0x81, 0x5C}, {0x81, 0x5C}},
        {f, {0x83}, {}},                              // lead at the end dropped
        {f, {0x41, 0x88}, {0x41}},
        {f, {0x83, 0x83, 0x41}, {0xAC, 0x41}},        // 83 83 is ャ
        {f, {0xB1, 0xDE, 0x80, 0xA0, 0xFF}, {0xB1, 0xDE, 0x80, 0xA0, 0xFF}},
        {f, {0x83, 0x41, 0x00, 0x83, 0x41}, {0xB1}, 2},
        {f, {0x83, 0x1A, 0x41}, {}, 1},
    };
    CheckCases(cases, std::size(cases));
}

TEST(AlnumToHalfWidth, FoldsFullWidthLettersDigitsAndSymbols) {
    ByteOp f = &morvel::AlnumToHalfWidth;
    const Case cases[] = {
        {f, {}, {}},
        {f, {0x82, 0x60, 0x82, 0x81, 0x82, 0x4F, 0x81, 0x40, 0x81, 0x42, 0x81, 0x44},
         {0x41, 0x61, 0x30, 0x20, 0x2E, 0x2E}},       // Ａａ０　。．
        {f, {0x81, 0x51}, {0x5F}},                    // ＿
        {f, {0x81, 0x62}, {0x7C}},                    // ｜
        {f, {0x81, 0x41, 0x81, 0x43}, {0x2C, 0x2C}},  // 、，
        {f, {0x81, 0x8F, 0x81, 0x60, 0x81, 0x97}, {0x5C, 0x7E, 0x40}},
        {f, {0x82, 0x58, 0x82, 0x79, 0x82, 0x9A}, {0x39, 0x5A, 0x7A}},
        {f, {0x82, 0x4E, 0x82, 0x59, 0x82, 0x5F, 0x82, 0x7A, 0x82, 0x80, 0x82, 0x9B},
         {0x82, 0x4E, 0x82, 0x59, 0x82, 0x5F, 0x82, 0x7A, 0x82, 0x80, 0x82, 0x9B}},
        {f, {0x81, 0x5B, 0x81, 0x98, 0x81, 0x3F}, {0x81, 0x5B, 0x81, 0x98, 0x81, 0x3F}},
        {f, {0x88, 0x9F, 0x83, 0x82, 0x60}, {0x88, 0x9F, 0x83, 0x82, 0x60}},  // 83 82 is モ
        {f, {0x81}, {0x81}},                          // lead at the end kept
        {f, {0x82}, {0x82}},
        {f, {0x88}, {0x88}},
        {f, {0xB1, 0xDE, 0x80, 0xA0, 0xFD}, {0xB1, 0xDE, 0x80, 0xA0, 0xFD}},
        {f, {0x82, 0x60, 0x1A, 0x82, 0x60}, {0x41}, 2},
        {f, {0x82, 0x00}, {0x82}, 1},
    };
    CheckCases(cases, std::size(cases));
}

TEST(AlnumToFullWidth, FoldsAsciiLettersDigitsAndSymbols) {
    ByteOp f = &morvel::AlnumToFullWidth;
    const Case cases[] = {
        {f, {}, {}},
        {f, {0x41, 0x2E, 0x2C, 0x5F, 0x7C, 0x7E}, {0x82, 0x60, 0x81, 0x42, 0x81, 0x41, 0x81, 0x51, 0x7C, 0x7E}},
        {f, {0xB1}, {0xB1}},                          // katakana are left alone
        {f, {0x20, 0x30, 0x39, 0x5A, 0x7A}, {0x81, 0x40, 0x82, 0x4F, 0x82, 0x58, 0x82, 0x79, 0x82, 0x9A}},
        {f, {0x5C, 0x60, 0x40, 0x2F, 0x3A}, {0x81, 0x8F, 0x81, 0x4D, 0x81, 0x97, 0x81, 0x5E, 0x81, 0x46}},
        {f, {0x7B, 0x7D, 0x7F, 0x09, 0x0D, 0x0A}, {0x7B, 0x7D, 0x7F, 0x09, 0x0D, 0x0A}},
        {f, {0x88, 0x41}, {0x88, 0x41}},              // a trail byte is not a letter
        {f, {0x81, 0x60, 0x41}, {0x81, 0x60, 0x82, 0x60}},
        {f, {0x80, 0x41, 0xA0, 0xFD, 0xFF}, {0x80, 0x82, 0x60, 0xA0, 0xFD, 0xFF}},
        {f, {0x88}, {0x88}},                          // lead at the end kept
        {f, {0x41, 0x00, 0x41}, {0x82, 0x60}, 1},
        {f, {0x88, 0x1A, 0x41}, {0x88}, 1},
    };
    CheckCases(cases, std::size(cases));
    // The prefix sweep above compares with folded letters; the reference
    // must agree on those inputs as well.
    for (const Case& k : cases) {
        for (size_t n = 0; n < 32; ++n) {
            const Bytes input = Concat(AsciiPrefix(n), k.in);
            EXPECT_EQ(Fold(&morvel::AlnumToFullWidth, input), Fold(&reference::AlnumToFullWidth, input)) << Hex(input);
        }
    }
}

TEST(WidthFolding, ReadsFromTheReadPositionAndAppends) {
    const Bytes before = {0x55, 0x66};
    const Bytes input = {0x82, 0x60, 0xB6, 0xDE, 0x41, 0x83, 0x4B, 0x00, 0x42};
    for (const Folding& f : kFoldings) {
        SCOPED_TRACE(f.name);
        for (int64_t pos : {int64_t{0}, int64_t{1}, int64_t{3}, int64_t{7}, int64_t{8}, int64_t{9}, int64_t{50},
                            int64_t{-1}}) {
            const Outcome fast = Fold(f.fast, input, pos, before);
            EXPECT_EQ(fast, Fold(f.ref, input, pos, before)) << "pos " << pos;
            EXPECT_EQ(Bytes(fast.out.begin(), fast.out.begin() + 2), before);
            EXPECT_EQ(fast.out.back(), 0x00);
        }
        // Out of range: nothing is read and the position stays.
        EXPECT_EQ(Fold(f.fast, input, 50).readPos, 50);
        EXPECT_EQ(Fold(f.fast, input, -1).readPos, -1);
        EXPECT_EQ(Fold(f.fast, {}, 0), (Outcome{{0x00}, 0}));
    }
}

TEST(WidthFolding, EveryOneAndTwoByteTextMatchesReference) {
    for (const Folding& f : kFoldings) {
        SCOPED_TRACE(f.name);
        int failures = 0;
        for (size_t n : {size_t{0}, size_t{7}, size_t{8}, size_t{15}}) {
            const Bytes prefix = AsciiPrefix(n);
            for (int a = 0; a < 256 && failures < 5; ++a) {
                Bytes one = Concat(prefix, {static_cast<uint8_t>(a)});
                if (Fold(f.fast, one) != Fold(f.ref, one)) ADD_FAILURE() << Hex(one) << (++failures, "");
                for (int b = 0; b < 256 && failures < 5; ++b) {
                    Bytes two = Concat(prefix, {static_cast<uint8_t>(a), static_cast<uint8_t>(b)});
                    if (Fold(f.fast, two) != Fold(f.ref, two)) ADD_FAILURE() << Hex(two) << (++failures, "");
                }
            }
        }
    }
}

// Random texts made mostly of what the foldings look at: half-width
// katakana and their marks, lead bytes (often 81-83), trail bytes, ASCII
// runs, and now and then a terminator.
Bytes RandomText(std::mt19937& rng, size_t length) {
    auto pick = [&](int lo, int hi) { return static_cast<uint8_t>(std::uniform_int_distribution<int>(lo, hi)(rng)); };
    Bytes out;
    while (out.size() < length) {
        switch (pick(0, 19)) {
            case 0: case 1: case 2: out.push_back(pick(0xA1, 0xDF)); break;
            case 3: case 4: out.push_back(pick(0xDE, 0xDF)); break;
            case 5: case 6: out.push_back(pick(0x81, 0x83)); break;
            case 7: out.push_back(pick(0x81, 0x9F)); break;
            case 8: out.push_back(pick(0xE0, 0xFC)); break;
            case 9: case 10: out.push_back(pick(0x40, 0x9A)); break;
            case 11: out.push_back(pick(0x80, 0xFF)); break;
            case 12: if (pick(0, 7) == 0) out.push_back(pick(0, 1) ? 0x00 : 0x1A); break;
            case 13: out.push_back(pick(0x01, 0x7F)); break;
            default: {
                const int run = pick(0, 20);
                for (int i = 0; i < run; ++i) out.push_back(pick(0x20, 0x7E));
            }
        }
    }
    out.resize(length);
    return out;
}

TEST(WidthFolding, RandomTextsMatchReference) {
    std::mt19937 rng(20240611);
    for (const Folding& f : kFoldings) {
        SCOPED_TRACE(f.name);
        int failures = 0;
        for (int iter = 0; iter < 3000 && failures < 5; ++iter) {
            const size_t length = iter % 100 == 0 ? 4000 : std::uniform_int_distribution<size_t>(0, 120)(rng);
            const Bytes text = RandomText(rng, length);
            const int64_t pos = iter % 4 == 0 ? std::uniform_int_distribution<int64_t>(0, length + 1)(rng) : 0;
            if (Fold(f.fast, text, pos) != Fold(f.ref, text, pos)) {
                ++failures;
                ADD_FAILURE() << "pos " << pos << ": " << Hex(text);
            }
        }
    }
}

Bytes Code(uint16_t code) { return {static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code)}; }

// Full-width katakana to half-width and back gives the katakana again,
// except where the half-width forms share a byte or need a mark.
TEST(WidthFolding, FullWidthKatakanaSurviveTheRoundTrip) {
    struct Exception {
        uint16_t code;
        Bytes back;
    };
    const Exception exceptions[] = {
        {0x838E, {0x83, 0x8F}},              // ヮ -> ﾜ -> ワ
        {0x8390, {0x83, 0x47}},              // ヰ -> ｴ -> エ
        {0x8391, {0x83, 0x43}},              // ヱ -> ｲ -> イ
        {0x8394, {0x83, 0x45, 0x81, 0x4A}},  // ヴ -> ｳﾞ -> ウ゛
    };
    for (uint16_t code = 0x8340; code <= 0x8394; ++code) {
        if (code == 0x837F) continue;
        Bytes expected = Code(code);
        for (const Exception& e : exceptions) {
            if (e.code == code) expected = e.back;
        }
        expected.push_back(0x00);
        const Bytes half = RunOp(&morvel::KanaToHalfWidth, Code(code));
        const Bytes back = RunOp(&morvel::KanaToFullWidth, Bytes(half.begin(), half.end() - 1));
        EXPECT_EQ(Hex(back), Hex(expected)) << std::hex << code;
    }
    const Bytes longVowel = RunOp(&morvel::KanaToHalfWidth, Code(kFullLongVowel));
    EXPECT_EQ(RunOp(&morvel::KanaToFullWidth, Bytes(longVowel.begin(), longVowel.end() - 1)),
              Concat(Code(kFullLongVowel), {0x00}));
}

// Half-width katakana (alone and with the marks they take) to full-width and
// back are the same bytes again; the punctuation 。「」、・ and the marks
// themselves stay full-width on the way back.
TEST(WidthFolding, HalfWidthKatakanaSurviveTheRoundTrip) {
    for (int g = kHalfKanaFirst; g <= kHalfKanaLast; ++g) {
        const bool stays = g <= 0xA5 || g == kVoicedMark || g == kSemiVoicedMark;
        std::vector<Bytes> texts = {{static_cast<uint8_t>(g)}};
        if (kKanaFullVoiced[g - kKanaFullBase] != 0) texts.push_back({static_cast<uint8_t>(g), kVoicedMark});
        if (kKanaFullSemiVoiced[g - kKanaFullBase] != 0) texts.push_back({static_cast<uint8_t>(g), kSemiVoicedMark});
        for (const Bytes& text : texts) {
            const Bytes full = RunOp(&morvel::KanaToFullWidth, text);
            ASSERT_EQ(full.size(), 3u) << Hex(text);
            const Bytes back = RunOp(&morvel::KanaToHalfWidth, Bytes(full.begin(), full.end() - 1));
            EXPECT_EQ(Hex(back), Hex(Concat(stays ? Bytes(full.begin(), full.end() - 1) : text, {0x00})));
        }
    }
}

// Printable ASCII to full-width and back is the same byte, except { | } ~,
// which stay half-width. The full-width forms go back to their own
// character except ， and ． (they come back as 、 and 。).
TEST(WidthFolding, AlnumRoundTrips) {
    for (int a = 0x20; a <= 0x7E; ++a) {
        const Bytes full = RunOp(&morvel::AlnumToFullWidth, {static_cast<uint8_t>(a)});
        EXPECT_EQ(full.size(), a >= 0x7B ? 2u : 3u) << a;
        EXPECT_EQ(RunOp(&morvel::AlnumToHalfWidth, Bytes(full.begin(), full.end() - 1)),
                  (Bytes{static_cast<uint8_t>(a), 0x00}))
            << a;
    }
    for (int row = 0; row < kSymbolCount; ++row) {
        const Bytes half = RunOp(&morvel::AlnumToHalfWidth, Code(kSymbolFull[row]));
        ASSERT_EQ(half, (Bytes{kSymbolHalf[row], 0x00})) << row;
        const Bytes back = RunOp(&morvel::AlnumToFullWidth, {kSymbolHalf[row]});
        Bytes expected = Concat(Code(kSymbolFull[row]), {0x00});
        if (kSymbolHalf[row] >= 0x7B) expected = half;
        if (kSymbolFull[row] == 0x8143) expected = {0x81, 0x41, 0x00};
        if (kSymbolFull[row] == 0x8144) expected = {0x81, 0x42, 0x00};
        EXPECT_EQ(Hex(back), Hex(expected)) << row;
    }
}

// The resumable folding fed `text` in pieces that end at the given cuts
// (ascending offsets into the text), then finished.
Bytes FedInPieces(Operation op, const Bytes& text, const std::vector<size_t>& cuts) {
    auto converter = MakeConverter(op);
    CByteStream out;
    size_t at = 0;
    for (size_t cut : cuts) {
        converter->Feed(text.data() + at, static_cast<int64_t>(cut - at), out);
        at = cut;
    }
    converter->Feed(text.data() + at, static_cast<int64_t>(text.size() - at), out);
    converter->Finish(out);
    return ToBytes(out);
}

// Every unit a piece can cut short: a lead byte before its trail (also one
// whose trail looks like katakana or ASCII), a half-width katakana before
// the mark that may follow it, a lead byte or katakana that ends the text,
// and the same just before a terminator.
TEST(WidthFolding, ConvertersCarryCutUnitsAcrossEverySplit) {
    const Bytes texts[] = {
        {0xB6, 0xDE, 0xCA, 0xDF, 0xB3, 0xDE, 0xB1, 0xB2, 0xDE},
        {0x83, 0x4B, 0x83, 0x70, 0x81, 0x5B, 0x83, 0x94, 0x83, 0x7F},
        {0x82, 0x60, 0x82, 0x81, 0x81, 0x40, 0x81, 0x42, 0x41, 0x2E},
        {0x83, 0xB1, 0x83, 0xDE, 0x88, 0x41, 0xB6, 0x83, 0xDE},
        {0x41, 0xB1},
        {0x41, 0x83},
        {0x83, 0x41, 0x88},
        {0xB6, 0x00, 0xDE},
        {0x83, 0x1A, 0x40},
        {0xB6, 0xDE, 0xB6},
    };
    for (const Folding& f : kFoldings) {
        SCOPED_TRACE(f.name);
        for (const Bytes& body : texts) {
            for (size_t n : {size_t{0}, size_t{5}, size_t{13}}) {
                const Bytes text = Concat(AsciiPrefix(n), body);
                const Bytes expected = Fold(f.ref, text).out;
                for (size_t i = 0; i <= text.size(); ++i) {
                    for (size_t j = i; j <= text.size(); ++j) {
                        ASSERT_EQ(Hex(FedInPieces(f.op, text, {i, j})), Hex(expected))
                            << Hex(text) << " cut at " << i << " and " << j;
                    }
                }
                std::vector<size_t> everyByte;
                for (size_t i = 1; i < text.size(); ++i) everyByte.push_back(i);
                EXPECT_EQ(Hex(FedInPieces(f.op, text, everyByte)), Hex(expected)) << Hex(text);
            }
        }
        // An empty text, fed or not, is just the terminator.
        EXPECT_EQ(FedInPieces(f.op, {}, {}), (Bytes{0x00}));
        auto converter = MakeConverter(f.op);
        CByteStream out;
        converter->Finish(out);
        EXPECT_EQ(ToBytes(out), (Bytes{0x00}));
    }
}

// Long random texts in random pieces, large and small, against the
// reference: the pieces meet the word loop at every offset and cut every
// kind of unit.
TEST(WidthFolding, RandomTextsInRandomPiecesMatchReference) {
    std::mt19937 rng(7);
    for (const Folding& f : kFoldings) {
        SCOPED_TRACE(f.name);
        for (int iter = 0; iter < 300; ++iter) {
            const size_t length = iter % 50 == 0 ? 200000 : std::uniform_int_distribution<size_t>(0, 600)(rng);
            Bytes text = RandomText(rng, length);
            if (iter % 2 == 0) std::replace_if(text.begin(), text.end(), [](uint8_t b) { return b == 0 || b == 0x1A; }, 0x41);
            const size_t maxPiece = iter % 3 == 0 ? 3 : iter % 3 == 1 ? 40 : 70000;
            std::vector<size_t> cuts;
            for (size_t at = 0;;) {
                at += std::uniform_int_distribution<size_t>(1, maxPiece)(rng);
                if (at >= text.size()) break;
                cuts.push_back(at);
            }
            const Bytes got = FedInPieces(f.op, text, cuts);
            const Bytes expected = Fold(f.ref, text).out;
            if (got != expected) {
                ADD_FAILURE() << "length " << length << ", pieces up to " << maxPiece;
                break;
            }
        }
    }
}

}  // namespace
}  // namespace morvel
