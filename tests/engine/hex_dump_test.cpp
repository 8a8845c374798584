#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include "tests/engine/test_util.h"

namespace morvel {
namespace {

using namespace test;

// The dump by `format` over a dump stream that holds other bytes, of a
// source read from byte 2: every byte is dumped whatever the read position,
// which stays; the dump's contents are replaced and its read position goes
// to 0.
Bytes Dump(void (*format)(const CByteStream&, CByteStream&), const Bytes& input) {
    CByteStream src, dump;
    Fill(src, input);
    src.SetReadPos(2);
    Fill(dump, Bytes(500, 0x55));
    dump.SetReadPos(7);
    format(src, dump);
    EXPECT_EQ(src.ReadPos(), 2);
    EXPECT_EQ(dump.ReadPos(), 0);
    return ToBytes(dump);
}

std::string AsText(const Bytes& b) { return std::string(b.begin(), b.end()); }

std::string Dump(const Bytes& input) { return AsText(Dump(&morvel::FormatHexDump, input)); }

// Whether the dump is the reference's at every vector level, made in an
// empty stream and in one whose storage it reuses (full of 0x55 bytes).
::testing::AssertionResult MatchesReferenceAtEveryLevel(const Bytes& input) {
    const Bytes want = Dump(&reference::FormatHexDump, input);
    CByteStream src, reused;
    Fill(src, input);
    for (VectorLevel level : VectorLevels()) {
        const AtLevel at(level);
        reused.Clear();
        std::memset(reused.Reserve(static_cast<int64_t>(want.size())), 0x55, want.size());
        reused.Commit(static_cast<int64_t>(want.size()));
        morvel::FormatHexDump(src, reused);
        for (const Bytes& got : {Dump(&morvel::FormatHexDump, input), ToBytes(reused)}) {
            if (got == want) continue;
            size_t i = 0;
            while (i < got.size() && i < want.size() && got[i] == want[i]) ++i;
            return ::testing::AssertionFailure() << LevelName(level) << ": " << got.size() << " bytes against "
                                                 << want.size() << ", first difference at " << i;
        }
    }
    return ::testing::AssertionSuccess();
}

Bytes Range(int from, int count) {
    Bytes out;
    for (int i = 0; i < count; ++i) out.push_back(static_cast<uint8_t>(from + i));
    return out;
}

TEST(HexDump, FormatsLinesAsTheReferenceAtEveryLevel) {
    using namespace std::string_literals;
    struct Case {
        Bytes in;
        std::string dump;  // without the final NUL
    };
    const Case cases[] = {
        {{}, ""},
        {{0x00}, "   0 : 00  : .\r\n"},
        {{0x41, 0x42, 0x43, 0x00}, "   0 : 41 42 43 00  : ABC.\r\n"},
        {Range(0, 16), "   0 : 00 01 02 03 04 05 06 07  08 09 0A 0B 0C 0D 0E 0F  : ................\r\n"},
        {Range(0x30, 17),
         "   0 : 30 31 32 33 34 35 36 37  38 39 3A 3B 3C 3D 3E 3F  : 0123456789:;<=>?\r\n"
         "  10 : 40  : @\r\n"},
        {Range(0x41, 9), "   0 : 41 42 43 44 45 46 47 48  49  : ABCDEFGHI\r\n"},
        {Range(0x41, 8), "   0 : 41 42 43 44 45 46 47 48  : ABCDEFGH\r\n"},
        {{0x09, 0x0D, 0x0A, 0x1B, 0x00, 0x1F, 0x20}, "   0 : 09 0D 0A 1B 00 1F 20  : ...... \r\n"},
        {{0x7F, 0x80, 0xA0, 0xFF}, "   0 : 7F 80 A0 FF  : \x7F\x80\xA0\xFF\r\n"},
        {{0xFF, 0xFE, 0x41, 0x00, 0x00, 0x00}, "   0 : FF FE 41 00 00 00  : \xFF\xFE" "A...\r\n"},
        // A character split between two lines: its lead byte ends the first
        // column, its trail byte begins the next one.
        {{0x61, 0x61, 0x61, 0x61, 0x61, 0x61, 0x61, 0x61, 0x61, 0x61, 0x61, 0x61, 0x61, 0x61, 0x61, 0x82, 0xA0},
         "   0 : 61 61 61 61 61 61 61 61  61 61 61 61 61 61 61 82  : aaaaaaaaaaaaaaa\x82\r\n"
         "  10 : A0  : \xA0\r\n"},
    };
    // Each row exactly; behind an ASCII prefix the layout shifts, and the
    // reference says how. The same at every level (the dump at every level
    // is the reference's, so each row's at every level too), and random
    // sources too.
    for (const Case& c : cases) {
        EXPECT_EQ(Dump(c.in), c.dump + "\0"s) << Hex(c.in);
        for (size_t n = 0; n <= kMaxPrefix; ++n) {
            EXPECT_TRUE(MatchesReferenceAtEveryLevel(Concat(AsciiPrefix(n), c.in))) << Hex(c.in) << " behind " << n;
        }
    }
    std::mt19937 rng(77);
    for (int iter = 0; iter < 200; ++iter) {
        Bytes input(iter <= 100 ? static_cast<size_t>(iter) : rng() % 4000);
        for (uint8_t& b : input) b = static_cast<uint8_t>(rng());
        ASSERT_TRUE(MatchesReferenceAtEveryLevel(input)) << Hex(input);
    }
}

TEST(HexDump, WideOffsetsTakeTheDigitsTheyNeed) {
    const Bytes input = Range(0, 0x10000 + 0x12);
    ASSERT_TRUE(MatchesReferenceAtEveryLevel(input));
    const std::string dump = Dump(input);  // at every level, as checked
    EXPECT_EQ(dump.substr(0x0FFF * 77, 7), "FFF0 : ");
    EXPECT_EQ(dump.substr(0x1000 * 77, 8), "10000 : ");
    EXPECT_EQ(dump.substr(0x1000 * 77 + 78, 8), "10010 : ");
    EXPECT_EQ(dump.size(), 0x1000 * 77 + 78 + (6 + 2 + 6 + 3 + 2 + 2) + 1);
}

}  // namespace
}  // namespace morvel
