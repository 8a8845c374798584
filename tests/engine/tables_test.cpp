// The tables under the conversions, checked whole: CP932 and JIS X 0208
// against glibc's iconv, and the round trips that the code tables and the
// width tables promise.
#include <gtest/gtest.h>

#include "engine/internal/cp932_tables.h"
#include "engine/internal/width_tables.h"
#include "tests/engine/test_util.h"

namespace morvel {
namespace {

using namespace test;

// The result of a whole-text conversion, run from byte 0 into an empty stream.
Bytes Result(Fn f, const Bytes& text) { return Apply(f, text).out; }

Bytes Unterminated(Bytes b) {
    b.pop_back();
    return b;
}

std::vector<uint16_t> AllDoubleByteCodes() {
    std::vector<uint16_t> codes;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (lead >= 0xA0 && lead < 0xE0) continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail != 0x7F) codes.push_back(static_cast<uint16_t>(lead << 8 | trail));
        }
    }
    return codes;
}

Bytes Code(uint16_t code) { return {static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code)}; }

// The units ToUtf16 gives for the CP932 bytes, mark and terminator dropped.
std::vector<uint16_t> Decode(const Bytes& cp932) {
    const Bytes utf16 = Result(Of(Op::SjisToUtf16).fast, Concat(cp932, {0}));
    std::vector<uint16_t> units;
    for (size_t i = 2; i + 3 < utf16.size(); i += 2) units.push_back(static_cast<uint16_t>(utf16[i] | utf16[i + 1] << 8));
    return units;
}

// The CP932 bytes of one unit (behind a mark, so that U+FEFF is a character).
Bytes Encode(uint16_t unit) { return Unterminated(Result(Of(Op::Utf16ToSjis).fast, U16({0xFEFF, unit, 0}))); }

// glibc's CP932 module agrees with the table on every double-byte code and
// on every BMP code point's encoding, the JIS-table equivalents included
// (so every code that decodes to a character encodes back to it or to the
// preferred code of the same character, as glibc's does). It lacks only
// the single bytes 0x80, 0xA0, 0xFD-0xFF (and U+0080, U+F8F0-U+F8F3 the
// other way), which Windows maps and the table keeps: every single byte
// decodes as glibc's does where it maps one, and comes back as itself.
TEST(Cp932Table, AgreesWithGlibcIconv) {
    Iconv decoder("UTF-16LE", "CP932");
    Iconv encoder("CP932", "UTF-16LE");
    ASSERT_TRUE(decoder.Ok() && encoder.Ok()) << "glibc's CP932 module is needed for this check";
    int mapped = 0;
    for (uint16_t code : AllDoubleByteCodes()) {
        const Bytes glibc = decoder.Convert(Code(code));
        const std::vector<uint16_t> ours = Decode(Code(code));
        ASSERT_EQ(ours.size(), 1u) << Hex(Code(code));
        if (glibc.empty()) {
            EXPECT_EQ(ours[0], 0xFFFD) << Hex(Code(code));
        } else {
            ++mapped;
            ASSERT_EQ(glibc.size(), 2u) << Hex(Code(code));
            EXPECT_EQ(ours[0], glibc[0] | glibc[1] << 8) << Hex(Code(code));
        }
    }
    EXPECT_EQ(mapped, cp932::kDoubleByteCodes);
    for (uint32_t u = 1; u <= 0xFFFF; ++u) {
        if ((u >= 0xD800 && u <= 0xDFFF) || u == 0x80 || (u >= 0xF8F0 && u <= 0xF8F3)) continue;
        Bytes glibc = encoder.Convert(U16({static_cast<uint16_t>(u)}));
        if (glibc.empty()) glibc = {0x3F};
        ASSERT_EQ(Hex(Encode(static_cast<uint16_t>(u))), Hex(glibc)) << "U+" << std::hex << u;
    }
    for (int b = 1; b <= 0xFF; ++b) {
        if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) continue;  // lead bytes
        const Bytes one = {static_cast<uint8_t>(b)}, glibc = decoder.Convert(one);
        const std::vector<uint16_t> units = Decode(one);
        ASSERT_EQ(units.size(), 1u) << b;
        if (glibc.empty()) {
            EXPECT_TRUE(b == 0x80 || b == 0xA0 || b >= 0xFD) << b;
        } else {
            EXPECT_EQ(units[0], glibc[0] | glibc[1] << 8) << b;
        }
        EXPECT_EQ(Hex(Encode(units[0])), Hex(one));
    }
}

// The 6,879 characters of JIS X 0208 (every two-byte EUC-JP code that
// glibc's EUC-JP accepts): Shift-JIS to EUC-JP agrees with iconv character
// by character; the whole set with half-width katakana, ASCII and line ends
// goes through EUC-JP and JIS and back unchanged; and iconv's own
// ISO-2022-JP decoder reads our JIS.
TEST(JisX0208, AgreesWithIconvAndRoundTrips) {
    Iconv check("UTF-8", "EUC-JP"), toSjis("SHIFT_JIS", "EUC-JP");
    ASSERT_TRUE(check.Ok() && toSjis.Ok()) << "glibc's EUC-JP module is needed for this check";
    Bytes euc, sjis;
    for (int a = 0xA1; a <= 0xFE; ++a) {
        for (int b = 0xA1; b <= 0xFE; ++b) {
            const Bytes one = {static_cast<uint8_t>(a), static_cast<uint8_t>(b)};
            if (check.Convert(one).empty()) continue;
            const Bytes viaIconv = toSjis.Convert(one);
            ASSERT_EQ(viaIconv.size(), 2u) << Hex(one);
            EXPECT_EQ(Result(SjisToEuc, viaIconv), Concat(one, {0x00})) << Hex(viaIconv);
            euc.insert(euc.end(), one.begin(), one.end());
            sjis.insert(sjis.end(), viaIconv.begin(), viaIconv.end());
        }
    }
    ASSERT_EQ(euc.size(), 2u * 6879);
    const Bytes kanji = Concat(sjis, {0x0A});
    for (int c = 0xA1; c <= 0xDF; ++c) sjis.push_back(static_cast<uint8_t>(c));
    for (int c = 0x20; c <= 0x7E; ++c) sjis.push_back(static_cast<uint8_t>(c));
    for (uint8_t c : {0x09, 0x0D, 0x0A, 0x88, 0x9F, 0x41}) sjis.push_back(c);
    EXPECT_EQ(Result(EucToSjis, Unterminated(Result(SjisToEuc, sjis))), Concat(sjis, {0x00}));
    EXPECT_EQ(Result(JisToSjis, Unterminated(Result(SjisToJis, sjis))), Concat(sjis, {0x00}));
    EXPECT_EQ(Iconv("EUC-JP", "ISO-2022-JP").Convert(Unterminated(Result(SjisToJis, kanji))), Concat(euc, {0x0A}));
}

// Full-width katakana to half width and back are the same, except where the
// half-width forms share a byte or need a mark; half-width katakana (alone
// and with the marks they take) to full width and back are the same bytes,
// except 。「」、・ and the marks themselves, which stay full-width.
TEST(WidthTables, KatakanaRoundTrip) {
    const std::pair<uint16_t, Bytes> exceptions[] = {
        {0x838E, {0x83, 0x8F}},              // ヮ -> ﾜ -> ワ
        {0x8390, {0x83, 0x47}},              // ヰ -> ｴ -> エ
        {0x8391, {0x83, 0x43}},              // ヱ -> ｲ -> イ
        {0x8394, {0x83, 0x45, 0x81, 0x4A}},  // ヴ -> ｳﾞ -> ウ゛
    };
    std::vector<uint16_t> codes = {kFullLongVowel};
    for (uint16_t code = 0x8340; code <= 0x8394; ++code) {
        if (code != 0x837F) codes.push_back(code);
    }
    for (uint16_t code : codes) {
        Bytes expected = Code(code);
        for (const auto& [from, back] : exceptions) expected = from == code ? back : expected;
        const Bytes half = Unterminated(Result(KanaToHalfWidth, Code(code)));
        EXPECT_EQ(Hex(Unterminated(Result(KanaToFullWidth, half))), Hex(expected)) << std::hex << code;
    }
    for (int g = kHalfKanaFirst; g <= kHalfKanaLast; ++g) {
        const bool stays = g <= 0xA5 || g == kVoicedMark || g == kSemiVoicedMark;
        std::vector<Bytes> texts = {{static_cast<uint8_t>(g)}};
        if (kKanaFullVoiced[g - kKanaFullBase] != 0) texts.push_back({static_cast<uint8_t>(g), kVoicedMark});
        if (kKanaFullSemiVoiced[g - kKanaFullBase] != 0) texts.push_back({static_cast<uint8_t>(g), kSemiVoicedMark});
        for (const Bytes& text : texts) {
            const Bytes full = Unterminated(Result(KanaToFullWidth, text));
            ASSERT_EQ(full.size(), 2u) << Hex(text);
            EXPECT_EQ(Hex(Unterminated(Result(KanaToHalfWidth, full))), Hex(stays ? full : text));
        }
    }
}

// Printable ASCII to full width and back is the same byte, except { | } ~,
// which stay half-width. The full-width forms go back to their own
// character except ， and ． (they come back as 、 and 。).
TEST(WidthTables, AlnumRoundTrip) {
    for (int a = 0x20; a <= 0x7E; ++a) {
        const Bytes full = Unterminated(Result(AlnumToFullWidth, {static_cast<uint8_t>(a)}));
        EXPECT_EQ(full.size(), a >= 0x7B ? 1u : 2u) << a;
        EXPECT_EQ(Result(AlnumToHalfWidth, full), (Bytes{static_cast<uint8_t>(a), 0x00})) << a;
    }
    for (int row = 0; row < kSymbolCount; ++row) {
        const Bytes half = Result(AlnumToHalfWidth, Code(kSymbolFull[row]));
        ASSERT_EQ(half, (Bytes{kSymbolHalf[row], 0x00})) << row;
        const uint16_t code = kSymbolFull[row], full = code == 0x8143 ? 0x8141 : code == 0x8144 ? 0x8142 : code;
        const Bytes expected = kSymbolHalf[row] >= 0x7B ? half : Bytes{Code(full)[0], Code(full)[1], 0x00};
        EXPECT_EQ(Hex(Result(AlnumToFullWidth, {kSymbolHalf[row]})), Hex(expected)) << row;
    }
}

}  // namespace
}  // namespace morvel
