// Shift-JIS <-> JIS and EUC-JP: the rules' own vectors, the fast codecs
// against the byte-at-a-time reference, round trips over all of JIS X 0208,
// and glibc iconv as an outside check.
#include <gtest/gtest.h>
#include <iconv.h>

#include <random>
#include <string>

#include "engine/reference/reference.h"
#include "tests/engine/test_util.h"

namespace morvel {
namespace {

using test::Bytes;
using test::ByteOp;
using test::Concat;
using test::RunOp;

struct Codec {
    const char* name;
    ByteOp fast;
    ByteOp slow;
};

const Codec kCodecs[] = {
    {"SjisToJis", SjisToJis, reference::SjisToJis},
    {"JisToSjis", JisToSjis, reference::JisToSjis},
    {"SjisToEuc", SjisToEuc, reference::SjisToEuc},
    {"EucToSjis", EucToSjis, reference::EucToSjis},
};

struct Vector {
    ByteOp op;
    Bytes in;
    Bytes out;
};

const Vector kVectors[] = {
    // Aｱ亜 CR LF
    {SjisToJis, {0x41, 0xB1, 0x88, 0x9F, 0x0D, 0x0A},
     {0x41, 0x1B, 0x28, 0x49, 0x31, 0x1B, 0x24, 0x42, 0x30, 0x21, 0x1B, 0x28, 0x42, 0x0D, 0x0A, 0x00}},
    // 漢字: the closing ESC ( B comes at the end of the text
    {SjisToJis, {0x8A, 0xBF, 0x8E, 0x9A}, {0x1B, 0x24, 0x42, 0x34, 0x41, 0x3B, 0x7A, 0x1B, 0x28, 0x42, 0x00}},
    {SjisToEuc, {0x41, 0xB1, 0x88, 0x9F, 0x0D, 0x0A}, {0x41, 0x8E, 0xB1, 0xB0, 0xA1, 0x0D, 0x0A, 0x00}},
    {JisToSjis, {0x41, 0x1B, 0x28, 0x49, 0x31, 0x1B, 0x24, 0x42, 0x30, 0x21, 0x1B, 0x28, 0x42, 0x0D, 0x0A},
     {0x41, 0xB1, 0x88, 0x9F, 0x0D, 0x0A, 0x00}},
    {JisToSjis, {0x1B, 0x24, 0x42, 0x34, 0x41, 0x3B, 0x7A, 0x1B, 0x28, 0x42}, {0x8A, 0xBF, 0x8E, 0x9A, 0x00}},
    {EucToSjis, {0x41, 0x8E, 0xB1, 0xB0, 0xA1, 0x0D, 0x0A}, {0x41, 0xB1, 0x88, 0x9F, 0x0D, 0x0A, 0x00}},
    // ESC $ @ and ESC ( J are understood; SO and SI switch to and from Kana.
    {JisToSjis, {0x1B, 0x24, 0x40, 0x30, 0x21, 0x1B, 0x28, 0x4A, 0x41, 0x00}, {0x88, 0x9F, 0x41, 0x00}},
    {JisToSjis, {0x0E, 0x31, 0x0F, 0x41}, {0xB1, 0x41, 0x00}},
    // Texts that end inside a pair, or on a lone lead byte.
    {JisToSjis, {0x1B, 0x24, 0x42, 0x30}, {0x30, 0x00}},
    {EucToSjis, {0xB0}, {0xB0, 0x00}},
    {SjisToJis, {0x88}, {0x88, 0x00}},
    {SjisToEuc, {0x88}, {0x88, 0x00}},
    // Dropped bytes: BEL, 7F, 80, A0, FD-FF; the decoder in ASCII state keeps them.
    {SjisToJis, {0x07, 0x41, 0x7F, 0x80, 0xA0, 0xFD, 0xFE, 0xFF}, {0x41, 0x00}},
    {SjisToEuc, {0x07, 0x41, 0x7F, 0x80, 0xA0, 0xFD, 0xFE, 0xFF}, {0x41, 0x00}},
    {JisToSjis, {0x07, 0x7F, 0x80, 0xA0, 0xFD, 0xFE, 0xFF}, {0x07, 0x7F, 0x80, 0xA0, 0xFD, 0xFE, 0xFF, 0x00}},
    // A pair that is not valid is copied, its trail with the top bit in EUC.
    {SjisToEuc, {0x81, 0x20}, {0x81, 0xA0, 0x00}},
    {SjisToJis, {0x81, 0x20, 0x41}, {0x81, 0x20, 0x41, 0x00}},
    // Leads beyond JIS X 0208 are computed without checks.
    {SjisToJis, {0xF0, 0x40}, {0x1B, 0x24, 0x42, 0x7F, 0x21, 0x1B, 0x28, 0x42, 0x00}},
    {SjisToJis, {0xFA, 0x40}, {0x1B, 0x24, 0x42, 0x93, 0x21, 0x1B, 0x28, 0x42, 0x00}},
    {SjisToEuc, {0xF0, 0x40}, {0xFF, 0xA1, 0x00}},
    // Escape sequences inside EUC-JP are dropped; JIS X 0212 loses its 0x8F.
    {EucToSjis, {0x1B, 0x24, 0x42, 0x41}, {0x41, 0x00}},
    {EucToSjis, {0x1B, 0x5A, 0x41}, {0x41, 0x00}},
    {EucToSjis, {0x8F, 0xB0, 0xA1}, {0x88, 0x9F, 0x00}},
    {EucToSjis, {0x8E}, {0x00}},
    // A space in Kanji state is the first byte of a pair.
    {JisToSjis, {0x1B, 0x24, 0x42, 0x20, 0x21}, {0x80, 0x9F, 0x00}},
    // Every conversion stops at 0x1A or 0x00, and ends with 0x00.
    {SjisToEuc, {0x41, 0x1A, 0x42}, {0x41, 0x00}},
    {SjisToJis, {0xB1, 0x00, 0x42}, {0x1B, 0x28, 0x49, 0x31, 0x1B, 0x28, 0x42, 0x00}},
    {JisToSjis, {}, {0x00}},
    {EucToSjis, {}, {0x00}},
    {SjisToJis, {}, {0x00}},
    {SjisToEuc, {}, {0x00}},
};

TEST(Japanese, VectorsBehindEveryAlignment) {
    for (const auto& v : kVectors) {
        for (size_t k = 0; k < 32; ++k) {
            const Bytes prefix = test::AsciiPrefix(k);
            EXPECT_EQ(RunOp(v.op, Concat(prefix, v.in)), Concat(prefix, v.out))
                << "input " << test::Hex(v.in) << " behind " << k << " bytes";
        }
    }
}

// Every codec, fast and reference, on one stream; also checks where each
// leaves the source's read position.
void ExpectSameAsReference(const Codec& codec, const Bytes& input, int64_t start = 0) {
    CByteStream a, b, outA, outB;
    test::Fill(a, input);
    test::Fill(b, input);
    a.SetReadPos(start);
    b.SetReadPos(start);
    codec.fast(a, outA);
    codec.slow(b, outB);
    ASSERT_EQ(test::ToBytes(outA), test::ToBytes(outB)) << codec.name << " on " << test::Hex(input);
    ASSERT_EQ(a.ReadPos(), b.ReadPos()) << codec.name << " on " << test::Hex(input);
}

TEST(Japanese, EveryOneAndTwoByteInputMatchesTheReference) {
    for (const auto& codec : kCodecs) {
        for (int x = 0; x < 256; ++x) {
            ExpectSameAsReference(codec, {static_cast<uint8_t>(x)});
            for (int y = 0; y < 256; ++y) ExpectSameAsReference(codec, {static_cast<uint8_t>(x), static_cast<uint8_t>(y)});
        }
    }
}

// Random texts built from the pieces these codecs care about.
Bytes RandomText(std::mt19937& rng, size_t pieces) {
    static const Bytes kPieces[] = {
        {0x1B, 0x24, 0x42}, {0x1B, 0x24, 0x40}, {0x1B, 0x28, 0x42}, {0x1B, 0x28, 0x49}, {0x1B, 0x28, 0x4A},
        {0x1B}, {0x0E}, {0x0F}, {0x0D, 0x0A}, {0x09}, {0x8E}, {0x8F}, {0x1A}, {0x00},
        {0x88, 0x9F}, {0x82, 0xA0}, {0xB0, 0xA1}, {0x30, 0x21}, {0xB1}, {0x81}, {0xFC, 0xFC},
        {0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x4B},
    };
    Bytes out;
    for (size_t i = 0; i < pieces; ++i) {
        if (rng() % 3 == 0) {
            out.push_back(static_cast<uint8_t>(rng()));
        } else {
            const Bytes& p = kPieces[rng() % std::size(kPieces)];
            out.insert(out.end(), p.begin(), p.end());
        }
    }
    return out;
}

TEST(Japanese, RandomTextsMatchTheReference) {
    std::mt19937 rng(2024);
    for (int i = 0; i < 3000; ++i) {
        const Bytes text = RandomText(rng, rng() % 200);
        const int64_t start = rng() % 4 == 0 ? static_cast<int64_t>(rng() % (text.size() + 2)) : 0;
        for (const auto& codec : kCodecs) ExpectSameAsReference(codec, text, start);
    }
    // Long texts cross the codecs' internal chunks.
    for (int i = 0; i < 4; ++i) {
        const Bytes text = RandomText(rng, 60000);
        for (const auto& codec : kCodecs) ExpectSameAsReference(codec, text);
    }
}

// The 6,879 characters of JIS X 0208, as glibc's EUC-JP sees them: every
// two-byte EUC-JP code in A1-FE x A1-FE that iconv accepts.
std::vector<std::pair<uint8_t, uint8_t>> JisX0208() {
    std::vector<std::pair<uint8_t, uint8_t>> chars;
    iconv_t cd = iconv_open("UTF-8", "EUC-JP");
    if (cd == reinterpret_cast<iconv_t>(-1)) return chars;
    for (int a = 0xA1; a <= 0xFE; ++a) {
        for (int b = 0xA1; b <= 0xFE; ++b) {
            char in[2] = {static_cast<char>(a), static_cast<char>(b)};
            char out[16];
            char* ip = in;
            char* op = out;
            size_t il = 2, ol = sizeof out;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            if (iconv(cd, &ip, &il, &op, &ol) != static_cast<size_t>(-1) && il == 0)
                chars.emplace_back(static_cast<uint8_t>(a), static_cast<uint8_t>(b));
        }
    }
    iconv_close(cd);
    return chars;
}

Bytes Iconv(const char* from, const char* to, const Bytes& in) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return {};
    Bytes out(in.size() * 4 + 16);
    char* ip = reinterpret_cast<char*>(const_cast<uint8_t*>(in.data()));
    char* op = reinterpret_cast<char*>(out.data());
    size_t il = in.size(), ol = out.size();
    const size_t r = iconv(cd, &ip, &il, &op, &ol);
    iconv_close(cd);
    if (r == static_cast<size_t>(-1)) return {};
    out.resize(out.size() - ol);
    return out;
}

TEST(Japanese, AllOfJisX0208AgreesWithIconvAndRoundTrips) {
    const auto chars = JisX0208();
    ASSERT_EQ(chars.size(), 6879u) << "glibc's EUC-JP module is needed for this check";

    Bytes euc, sjis;
    for (auto [a, b] : chars) {
        const Bytes one = {a, b};
        const Bytes viaIconv = Iconv("EUC-JP", "SHIFT_JIS", one);
        ASSERT_EQ(viaIconv.size(), 2u) << test::Hex(one);
        // Shift-JIS to EUC-JP agrees with iconv character by character.
        EXPECT_EQ(RunOp(SjisToEuc, viaIconv), Concat(one, {0x00})) << test::Hex(viaIconv);
        euc.insert(euc.end(), one.begin(), one.end());
        sjis.insert(sjis.end(), viaIconv.begin(), viaIconv.end());
    }
    // The whole set with half-width katakana, printable ASCII and line ends.
    for (int c = 0xA1; c <= 0xDF; ++c) sjis.push_back(static_cast<uint8_t>(c));
    for (int c = 0x20; c <= 0x7E; ++c) sjis.push_back(static_cast<uint8_t>(c));
    for (uint8_t c : {0x09, 0x0D, 0x0A, 0x88, 0x9F, 0x41}) sjis.push_back(c);
    const Bytes terminated = Concat(sjis, {0x00});

    EXPECT_EQ(RunOp(EucToSjis, RunOp(SjisToEuc, sjis)), terminated);
    EXPECT_EQ(RunOp(JisToSjis, RunOp(SjisToJis, sjis)), terminated);
    // And JIS through iconv's own ISO-2022-JP decoder, for the kanji part.
    const Bytes jis = RunOp(SjisToJis, Concat(Iconv("EUC-JP", "SHIFT_JIS", euc), {0x0A}));
    const Bytes jisText(jis.begin(), jis.end() - 1);
    EXPECT_EQ(Iconv("ISO-2022-JP", "EUC-JP", jisText), Concat(euc, {0x0A}));
}

}  // namespace
}  // namespace morvel
