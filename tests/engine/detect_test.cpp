#include <gtest/gtest.h>

#include <random>

#include "tests/engine/test_util.h"

namespace morvel {
namespace {

using test::Bytes;
using test::Concat;

EncodingId Detect(const Bytes& bytes) {
    CByteStream s;
    test::Fill(s, bytes);
    s.SetReadPos(0);
    return DetectEncoding(s);
}

Bytes Repeat(uint8_t b, size_t n) { return Bytes(n, b); }

const Bytes kJisKanji = {0x1B, 0x24, 0x42, 0x30, 0x21, 0x1B, 0x28, 0x42, 0x00};

struct DetectCase {
    const char* name;
    Bytes bytes;
    EncodingId expected;
};

TEST(DetectEncoding, DecisionOrder) {
    const DetectCase cases[] = {
        {"UTF-16 mark FF FE", {0xFF, 0xFE, 0x41, 0x00, 0x00}, Unicode},
        {"UTF-16 mark FE FF", {0xFE, 0xFF, 0x00, 0x41, 0x00}, Unicode},
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
    };
    for (const auto& c : cases) EXPECT_EQ(Detect(c.bytes), c.expected) << c.name;
}

TEST(DetectEncoding, UnitLimitOf65536) {
    // The escape as the 65,536th unit is still seen; one byte later it is not.
    EXPECT_EQ(Detect(Concat(Repeat(0x61, 65535), kJisKanji)), Jis);
    EXPECT_EQ(Detect(Concat(Repeat(0x61, 65536), kJisKanji)), Utf8);
    // A fault beyond the limit does not count either.
    EXPECT_EQ(Detect(Concat(Concat(Repeat(0x61, 70000), {0x1B, 0x5B}), {0x82, 0xA0, 0x00})), Utf8);
}

TEST(DetectEncoding, Utf8WindowCutsASequenceShortWithoutPenalty) {
    // 65,535 ASCII bytes, then a three-byte sequence that straddles the window.
    Bytes text = Concat(Repeat(0x61, 65535), {0xE3, 0x81, 0x82, 0x00});
    EXPECT_EQ(Detect(text), Utf8);
    // The same sequence cut by the end of the text right at the window is not.
    Bytes cut = Concat(Repeat(0x61, 65535), {0xE3, 0x00});
    EXPECT_NE(Detect(cut), Utf8);
}

TEST(DetectEncoding, UtfMarkIsReadFromTheCallersPosition) {
    CByteStream s;
    test::Fill(s, {0x41, 0xFF, 0xFE, 0x41, 0x00});
    s.SetReadPos(1);
    EXPECT_EQ(DetectEncoding(s), Unicode);
    s.SetReadPos(0);
    EXPECT_NE(DetectEncoding(s), Unicode);
}

TEST(DetectEncoding, HostileInputsStayBoundedAndNeverChangeTheText) {
    // A lead byte followed by megabytes of bytes that never make a valid
    // pair, and the like: detection must look at a bounded prefix only.
    std::mt19937 rng(7);
    const Bytes patterns[] = {Repeat(0x81, 1 << 20), Concat({0x81}, Repeat(0x20, 1 << 20)),
                              Concat({0xA1}, Repeat(0x41, 1 << 20)), Repeat(0x1B, 1 << 20)};
    for (const auto& p : patterns) {
        CByteStream s;
        test::Fill(s, p);
        DetectEncoding(s);
        EXPECT_EQ(test::ToBytes(s), p);
        EXPECT_LE(s.ReadPos(), 0x10000 + 4);
    }
    for (int i = 0; i < 2000; ++i) {
        Bytes b(rng() % 64);
        for (auto& x : b) x = static_cast<uint8_t>(rng());
        CByteStream s;
        test::Fill(s, b);
        const EncodingId id = DetectEncoding(s);
        EXPECT_TRUE(id == Undetermined || id == ShiftJis || id == Jis || id == EucJp || id == Unicode ||
                    id == Utf8);
        EXPECT_EQ(test::ToBytes(s), b);
    }
}

}  // namespace
}  // namespace morvel
