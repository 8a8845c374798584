#include <gtest/gtest.h>

#include <cstring>

#include "tests/engine/test_util.h"

namespace morvel {
namespace {

using test::Bytes;
using test::Concat;

EncodingId Detect(const Bytes& bytes, int64_t from = 0) {
    CByteStream s;
    test::Fill(s, bytes);
    s.SetReadPos(from);
    return DetectEncoding(s);
}

Bytes Repeat(uint8_t b, size_t n) { return Bytes(n, b); }

const Bytes kJisKanji = {0x1B, 0x24, 0x42, 0x30, 0x21, 0x1B, 0x28, 0x42, 0x00};

struct DetectCase {
    const char* name;
    Bytes bytes;
    EncodingId expected;
    int64_t from = 0;  // the read position detection starts at
};

TEST(DetectEncoding, DecisionOrder) {
    const DetectCase cases[] = {
        {"UTF-16 mark FF FE", {0xFF, 0xFE, 0x41, 0x00, 0x00}, Unicode},
        {"UTF-16 mark FE FF", {0xFE, 0xFF, 0x00, 0x41, 0x00}, Unicode},
        // The mark is read from the caller's read position.
        {"UTF-16 mark at the read position", {0x41, 0xFF, 0xFE, 0x41, 0x00}, Unicode, 1},
        {"FF FE past the read position is no mark", {0x41, 0xFF, 0xFE, 0x41, 0x00}, ShiftJis},
        {"UTF-8 mark beats a designation", Concat({0xEF, 0xBB, 0xBF}, kJisKanji), Utf8},
        {"UTF-8 mark beats a JIS fault", {0xEF, 0xBB, 0xBF, 0x1B, 0x5B, 0x00}, Utf8},
        {"JIS with line end in ASCII", {0x1B, 0x24, 0x42, 0x30, 0x21, 0x1B, 0x28, 0x42, 0x0D, 0x0A, 0x00}, Jis},
        {"line end in Kanji state is a fault",
         {0x1B, 0x24, 0x42, 0x30, 0x21, 0x0D, 0x0A, 0x1B, 0x28, 0x42, 0x00}, Undetermined},
        {"ESC [ is a fault", {0x82, 0xA0, 0x1B, 0x5B, 0x41, 0x00}, Undetermined},
        {"lone ESC at the end is a fault", {0x41, 0x1B, 0x00}, Undetermined},
        {"ESC $ then end is a fault", {0x41, 0x1B, 0x24, 0x00}, Undetermined},
        {"ESC ( Z is neither fault nor designation", {0x1B, 0x28, 0x5A, 0x41, 0x00}, Utf8},
        {"SO katakana SI sets no designation", {0x0E, 0x31, 0x0F, 0x00}, Utf8},
        {"ESC ( I with 8-bit katakana is JIS", {0x1B, 0x28, 0x49, 0x31, 0xB1, 0xB2, 0x1B, 0x28, 0x42, 0x00}, Jis},
        {"empty stream", {}, Undetermined},
        {"only a terminator", {0x00}, Undetermined},
        {"pure ASCII", {0x61, 0x62, 0x63, 0x0D, 0x0A, 0x00}, Utf8},
        {"Shift-JIS a", {0x82, 0xA0, 0x00}, ShiftJis},
        {"EUC-JP a", {0xA4, 0xA2, 0x00}, EucJp},
        {"half-width katakana in Shift-JIS look like EUC", {0xB1, 0xB2, 0x0D, 0x0A, 0x00}, EucJp},
        {"invalid pairs both ways", {0x81, 0x20, 0x81, 0x40, 0x00}, Undetermined},
        {"EUC kanji and half-width katakana", {0xB0, 0xA1, 0x8E, 0xB1, 0x00}, EucJp},
        {"nothing after 0x1A is examined", {0x41, 0x1A, 0x1B, 0x5B, 0x00}, Utf8},
        // Well-formed UTF-8 with a multi-byte sequence decides before the passes.
        {"UTF-8 a without a mark", {0xE3, 0x81, 0x82, 0x00}, Utf8},
        {"UTF-8 kanji and ASCII", {0x41, 0xE6, 0xBC, 0xA2, 0xE5, 0xAD, 0x97, 0x0A, 0x00}, Utf8},
        {"UTF-8 four-byte sequence", {0xF0, 0x9F, 0x98, 0x80, 0x00}, Utf8},
        {"UTF-8 cut short by the end of the text", {0xE3, 0x81, 0x00}, ShiftJis},
        // Not well-formed UTF-8, so the counting passes decide.
        {"overlong form", {0xC0, 0xAF, 0x00}, EucJp},
        {"surrogate", {0xED, 0xA0, 0x80, 0x00}, ShiftJis},
        {"above U+10FFFF", {0xF4, 0x90, 0x80, 0x80, 0x00}, ShiftJis},
        // Well-formed in only one of Shift-JIS and EUC-JP decides before the counts.
        {"Shift-JIS ｱ画: 0x89 after a katakana byte, never EUC-JP", {0xB1, 0x89, 0xE6, 0x00}, ShiftJis},
        {"EUC-JP ゅ,: E5 2C in a Shift-JIS reading", {0xA4, 0xE5, 0x2C, 0x00}, EucJp},
        {"FF stands alone in code page 932", {0xB1, 0xB2, 0xFF, 0x00}, ShiftJis},
        {"EUC-JP with a JIS X 0212 character", {0xA4, 0xE5, 0x2C, 0x8F, 0xB0, 0xA1, 0x00}, EucJp},
        {"8F without its pair is no EUC-JP", {0xB1, 0xB2, 0x8F, 0x41, 0x00}, ShiftJis},
        {"a lead byte cut off by the end", {0xB1, 0xB2, 0x88, 0x9F, 0xB3, 0x88, 0x00}, ShiftJis},
        {"a lead byte cut off by 0x1A", {0xB1, 0xB2, 0x88, 0x9F, 0xB3, 0x88, 0x1A, 0x41, 0x00}, ShiftJis},
        {"an EUC-JP pair cut off by the end", {0x41, 0xA4, 0xE5, 0x2C, 0xA4, 0x00}, EucJp},
    };
    for (const auto& c : cases) EXPECT_EQ(Detect(c.bytes, c.from), c.expected) << c.name;
}

// Detection looks at the first 65,536 units of the text in each pass. The
// UTF-8 pass reads the most: 65,536 units of four bytes, then the first byte
// of the next. F0 80 81 20 is such a unit, and not well-formed in any
// encoding (81 20 fails as a Shift-JIS pair, 80 after F0 as EUC-JP), so
// only the UTF-8 counts can decide.
TEST(DetectEncoding, UnitLimitOf65536) {
    const Bytes ga = {0x89, 0xE6};  // 画 in Shift-JIS
    Bytes wide;
    for (int i = 0; i < 65537; ++i) wide.insert(wide.end(), {0xF0, 0x80, 0x81, 0x20});
    wide.push_back(0x00);
    Bytes lastSeen = wide, unseen = wide;
    lastSeen[4 * 65535] = unseen[4 * 65536] = 0xFF;
    const DetectCase cases[] = {
        // The escape as the 65,536th unit is still seen; one byte later it is not.
        {"escape as unit 65,536", Concat(Repeat(0x61, 65535), kJisKanji), Jis},
        {"escape as unit 65,537", Concat(Repeat(0x61, 65536), kJisKanji), Utf8},
        // A fault beyond the limit does not count either.
        {"ESC [ beyond the limit", Concat(Concat(Repeat(0x61, 70000), {0x1B, 0x5B}), {0x82, 0xA0, 0x00}), Utf8},
        // The first 64 KiB are ASCII: what follows is not looked at.
        {"64 KiB of ASCII, then kanji", Concat(Repeat(0x61, 65536), Concat(ga, {0x00})), Utf8},
        {"64 KiB less one of ASCII, then kanji", Concat(Repeat(0x61, 65535), Concat(ga, {0x00})), ShiftJis},
        // Half-width katakana, then a kanji as the 65,536th Shift-JIS unit: the
        // EUC-JP reading pairs the last katakana with 0x89.
        {"katakana, then kanji as the last unit", Concat(Repeat(0xB1, 65535), Concat(ga, {0x00})), ShiftJis},
        {"katakana, then kanji cut off by the end", Concat(Repeat(0xB1, 65535), {0x89, 0x00}), ShiftJis},
        {"katakana, then kanji beyond the window", Concat(Repeat(0xB1, 65536), Concat(ga, {0x00})), ShiftJis},
        // The head of a longer text, cut inside that last pair, with no terminator.
        {"the head, cut inside the last pair", Concat(Repeat(0xB1, 65535), {0x89}), ShiftJis},
        // A UTF-8 sequence that straddles the window is no fault.
        {"UTF-8 across the window", Concat(Repeat(0x61, 65535), {0xE3, 0x81, 0x82, 0x00}), Utf8},
        // The 65,536th unit of four bytes is examined, the 65,537th is not.
        {"a fault in the last unit of the UTF-8 pass", lastSeen, Undetermined},
        {"a fault beyond it", unseen, Utf8},
    };
    for (const auto& c : cases) EXPECT_EQ(Detect(c.bytes), c.expected) << c.name;
    // The same sequence cut by the end of the text right at the window is no UTF-8.
    EXPECT_NE(Detect(Concat(Repeat(0x61, 65535), {0xE3, 0x00})), Utf8);

    // The UTF-8 pass stops right after its last unit, within the head; the
    // head alone, without a terminator, reads the same.
    const int64_t reach = 4 * 65536 + 1;
    EXPECT_LE(reach, kDetectionHeadBytes);
    for (const Bytes& text : {wide, Bytes(wide.begin(), wide.begin() + kDetectionHeadBytes)}) {
        CByteStream s;
        test::Fill(s, text);
        EXPECT_EQ(DetectEncoding(s), Utf8);
        EXPECT_EQ(s.ReadPos(), reach);
    }
    // A lead byte followed by megabytes of bytes that never make a valid
    // pair, and the like: detection looks at the head only, at every level,
    // and leaves the text as it was.
    for (const Bytes& p : {Repeat(0x81, 1 << 20), Concat({0x81}, Repeat(0x20, 1 << 20)),
                           Concat({0xA1}, Repeat(0x41, 1 << 20)), Repeat(0x1B, 1 << 20)})
        EXPECT_TRUE(test::DetectsAlikeAtEveryLevel(p));
}

// Real sentences converted by glibc's iconv: half-width katakana among
// kanji whose Shift-JIS lead (0x89 画 開, 0x93 東 電) EUC-JP never holds, and
// short EUC-JP texts whose Shift-JIS reading breaks on a pair such as EA 20.
TEST(DetectEncoding, SentencesInEachEncoding) {
    const char* const sentences[] = {
        "ｱﾌﾟﾘｹｰｼｮﾝ開発ﾂｰﾙ",
        "ﾃﾞｰﾀﾍﾞｰｽｻｰﾊﾞｰ東京ｾﾝﾀｰ",
        "ﾌｧｲﾙｦ開ｸ",
        "ｶﾌﾞｼｷｶﾞｲｼｬｻﾝﾌﾟﾙ 東京ｼｽﾃﾑ開発ｾﾝﾀｰ ﾌﾟﾛｼﾞｪｸﾄﾏﾈｰｼﾞｬｰ ﾃﾞﾝﾜﾊﾞﾝｺﾞｳ 電話",
        "割り [わり]",
        "我我 [われわれ]",
        "わり\n",
        "東京,大阪",
        "日本語の文章です。\r\n",
    };
    const struct {
        const char* charset;
        EncodingId expected;
    } forms[] = {{"SHIFT_JIS", ShiftJis}, {"CP932", ShiftJis}, {"EUC-JP", EucJp}};
    for (const auto& form : forms) {
        test::Iconv iconv(form.charset, "UTF-8");
        if (!iconv.Ok()) GTEST_SKIP() << "iconv lacks " << form.charset;
        for (const char* sentence : sentences) {
            const Bytes out = iconv.Convert(Bytes(sentence, sentence + std::strlen(sentence)));
            ASSERT_FALSE(out.empty()) << sentence;
            EXPECT_EQ(Detect(Concat(out, {0x00})), form.expected) << form.charset << " " << sentence;
        }
    }
}

}  // namespace
}  // namespace morvel
