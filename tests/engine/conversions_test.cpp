// Every conversion of the engine, whole-text and resumable, against the rules'
// own vectors and against the byte-at-a-time reference: behind every ASCII
// alignment, on every one- and two-byte input, on random and long texts, fed
// in pieces cut anywhere, and chained as a run chains them.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <random>
#include <sstream>

#include "engine/pipeline.h"
#include "tests/engine/test_util.h"

namespace morvel {
namespace {

using namespace test;

struct Vector {
    Op op;
    Bytes in;
    Bytes out;             // the whole result, terminator included
    bool atStart = false;  // about the head of the text: no ASCII prefix
};

// Runs of 亜 and ASCII one to three characters long in JIS, and in Shift-JIS.
const Bytes kJisRuns = {0x1B, 0x24, 0x42, 0x30, 0x21, 0x1B, 0x28, 0x42, 0x41, 0x1B, 0x24, 0x42, 0x30, 0x21, 0x30,
                        0x21, 0x1B, 0x28, 0x42, 0x42, 0x43, 0x1B, 0x24, 0x42, 0x30, 0x21, 0x1B, 0x28, 0x42, 0x44,
                        0x1B, 0x24, 0x42, 0x30, 0x21, 0x30, 0x21, 0x30, 0x21, 0x1B, 0x28, 0x42, 0x45, 0x46, 0x47,
                        0x1B, 0x24, 0x42, 0x30, 0x21, 0x1B, 0x28, 0x42, 0x0D, 0x0A};
const Bytes kJisRunsSjis = {0x88, 0x9F, 0x41, 0x88, 0x9F, 0x88, 0x9F, 0x42, 0x43, 0x88, 0x9F, 0x44, 0x88,
                            0x9F, 0x88, 0x9F, 0x88, 0x9F, 0x45, 0x46, 0x47, 0x88, 0x9F, 0x0D, 0x0A};

Bytes Repeat(const Bytes& unit, int times) {
    Bytes out;
    for (int i = 0; i < times; ++i) out = Concat(out, unit);
    return out;
}

const std::vector<Vector>& Vectors() {
    using enum Op;
    static const std::vector<Vector> vectors = {
        // ---- Shift-JIS <-> JIS and EUC-JP
        // Aｱ亜 CR LF, and 漢字 with the closing ESC ( B at the end of the text.
        {SjisToJis, {0x41, 0xB1, 0x88, 0x9F, 0x0D, 0x0A},
         {0x41, 0x1B, 0x28, 0x49, 0x31, 0x1B, 0x24, 0x42, 0x30, 0x21, 0x1B, 0x28, 0x42, 0x0D, 0x0A, 0x00}},
        {SjisToJis, {0x8A, 0xBF, 0x8E, 0x9A}, {0x1B, 0x24, 0x42, 0x34, 0x41, 0x3B, 0x7A, 0x1B, 0x28, 0x42, 0x00}},
        // ｱ, then runs of 亜 and ASCII one to three characters long: up to
        // five changes of state in eight bytes, the first from Kana.
        {SjisToJis, {0xB1, 0x88, 0x9F, 0x41, 0x88, 0x9F, 0x88, 0x9F, 0x42, 0x43, 0x88, 0x9F, 0x44, 0x88, 0x9F,
                     0x88, 0x9F, 0x88, 0x9F, 0x45, 0x46, 0x47, 0x88, 0x9F, 0x0D, 0x0A},
         {0x1B, 0x28, 0x49, 0x31, 0x1B, 0x24, 0x42, 0x30, 0x21, 0x1B, 0x28, 0x42, 0x41, 0x1B, 0x24, 0x42, 0x30,
          0x21, 0x30, 0x21, 0x1B, 0x28, 0x42, 0x42, 0x43, 0x1B, 0x24, 0x42, 0x30, 0x21, 0x1B, 0x28, 0x42, 0x44,
          0x1B, 0x24, 0x42, 0x30, 0x21, 0x30, 0x21, 0x30, 0x21, 0x1B, 0x28, 0x42, 0x45, 0x46, 0x47, 0x1B, 0x24,
          0x42, 0x30, 0x21, 0x1B, 0x28, 0x42, 0x0D, 0x0A, 0x00}},
        {SjisToEuc, {0x41, 0xB1, 0x88, 0x9F, 0x0D, 0x0A}, {0x41, 0x8E, 0xB1, 0xB0, 0xA1, 0x0D, 0x0A, 0x00}},
        {JisToSjis, {0x41, 0x1B, 0x28, 0x49, 0x31, 0x1B, 0x24, 0x42, 0x30, 0x21, 0x1B, 0x28, 0x42, 0x0D, 0x0A},
         {0x41, 0xB1, 0x88, 0x9F, 0x0D, 0x0A, 0x00}},
        {JisToSjis, {0x1B, 0x24, 0x42, 0x34, 0x41, 0x3B, 0x7A, 0x1B, 0x28, 0x42}, {0x8A, 0xBF, 0x8E, 0x9A, 0x00}},
        // 32 亜, two blocks in Kanji state, then runs of 亜 and ASCII one to
        // three characters long, twice: up to three escape sequences in
        // eight bytes. More than a short text, also when cut anywhere.
        {JisToSjis, Concat(Concat({0x1B, 0x24, 0x42}, Repeat({0x30, 0x21}, 32)), Concat({0x1B, 0x28, 0x42}, Concat(kJisRuns, kJisRuns))),
         Concat(Repeat({0x88, 0x9F}, 32), Concat(Concat(kJisRunsSjis, kJisRunsSjis), {0x00}))},
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
        // Every conversion stops at 0x1A or 0x00, and ends with 0x00 (an empty
        // text too: see EmptySourcesAndReadPositionsOutsideTheText).
        {SjisToEuc, {0x41, 0x1A, 0x42}, {0x41, 0x00}},
        {SjisToJis, {0xB1, 0x00, 0x42}, {0x1B, 0x28, 0x49, 0x31, 0x1B, 0x28, 0x42, 0x00}},

        // ---- Katakana to full width
        {KanaToFullWidth, {0xB6, 0xDE}, {0x83, 0x4B, 0x00}},                    // ｶﾞ -> ガ
        {KanaToFullWidth, {0xCA, 0xDF}, {0x83, 0x70, 0x00}},                    // ﾊﾟ -> パ
        {KanaToFullWidth, {0xCA, 0xDE}, {0x83, 0x6F, 0x00}},                    // ﾊﾞ -> バ
        {KanaToFullWidth, {0xC4, 0xDE}, {0x83, 0x68, 0x00}},                    // ﾄﾞ -> ド
        {KanaToFullWidth, {0xCE, 0xDF}, {0x83, 0x7C, 0x00}},                    // ﾎﾟ -> ポ
        {KanaToFullWidth, {0xB3, 0xDE}, {0x83, 0x45, 0x81, 0x4A, 0x00}},        // ｳﾞ -> ウ゛, not ヴ
        {KanaToFullWidth, {0xB1, 0xDF}, {0x83, 0x41, 0x81, 0x4B, 0x00}},        // ｱﾟ -> ア゜
        {KanaToFullWidth, {0xB6, 0xDF}, {0x83, 0x4A, 0x81, 0x4B, 0x00}},        // ｶﾟ -> カ゜
        {KanaToFullWidth, {0xDE}, {0x81, 0x4A, 0x00}},                          // ﾞ alone
        {KanaToFullWidth, {0xDE, 0xDE}, {0x81, 0x4A, 0x81, 0x4A, 0x00}},        // the mark has no voiced form
        {KanaToFullWidth, {0xDF, 0xDE}, {0x81, 0x4B, 0x81, 0x4A, 0x00}},
        {KanaToFullWidth, {0xB1, 0xB2}, {0x83, 0x41, 0x83, 0x43, 0x00}},        // ｱｲ
        {KanaToFullWidth, {0xB6, 0xB6, 0xDE}, {0x83, 0x4A, 0x83, 0x4B, 0x00}},  // ｶｶﾞ
        {KanaToFullWidth, {0xB1}, {0x83, 0x41, 0x00}},                          // at the very end
        {KanaToFullWidth, {0xA1, 0xA4, 0xA5, 0xB0}, {0x81, 0x42, 0x81, 0x41, 0x81, 0x45, 0x81, 0x5B, 0x00}},
        {KanaToFullWidth, {0xA6, 0xDE}, {0x83, 0x92, 0x81, 0x4A, 0x00}},        // ｦﾞ
        {KanaToFullWidth, {0x83, 0xB1}, {0x83, 0xB1, 0x00}},                    // trail byte B1 is no katakana
        {KanaToFullWidth, {0x83, 0xDE}, {0x83, 0xDE, 0x00}},
        {KanaToFullWidth, {0xB6, 0x83, 0xDE}, {0x83, 0x4A, 0x83, 0xDE, 0x00}},
        {KanaToFullWidth, {0x83}, {0x83, 0x00}},                                // lead at the end kept
        {KanaToFullWidth, {0xA0, 0xDE, 0x80, 0xFD, 0xFE, 0xFF}, {0xA0, 0x81, 0x4A, 0x80, 0xFD, 0xFE, 0xFF, 0x00}},
        {KanaToFullWidth, {0xB1, 0x00, 0xB2}, {0x83, 0x41, 0x00}},              // the text ends at 00 ...
        {KanaToFullWidth, {0xB6, 0x1A, 0xDE}, {0x83, 0x4A, 0x00}},              // ... and at 1A
        {KanaToFullWidth, {0x83, 0x00, 0x41}, {0x83, 0x00}},
        {KanaToFullWidth, {0x1A, 0xB1}, {0x00}},
        {KanaToFullWidth, {0xB6, 0xDE, 0xB6}, {0x83, 0x4B, 0x83, 0x4A, 0x00}},

        // ---- Katakana to half width
        {KanaToHalfWidth, {0x83, 0x4B, 0x83, 0x70, 0x81, 0x5B}, {0xB6, 0xDE, 0xCA, 0xDF, 0xB0, 0x00}},  // ガパー
        {KanaToHalfWidth, {0x83, 0x94}, {0xB3, 0xDE, 0x00}},              // ヴ
        {KanaToHalfWidth, {0x83, 0x90}, {0xB4, 0x00}},                    // ヰ -> ｴ
        {KanaToHalfWidth, {0x83, 0x91}, {0xB2, 0x00}},                    // ヱ -> ｲ
        {KanaToHalfWidth, {0x83, 0x8E}, {0xDC, 0x00}},                    // ヮ -> ﾜ
        {KanaToHalfWidth, {0x83, 0x40}, {0xA7, 0x00}},                    // ァ
        {KanaToHalfWidth, {0x83, 0x7F}, {0xD1, 0x00}},                    // takes the entry of 83 80
        {KanaToHalfWidth, {0x83, 0x80}, {0xD1, 0x00}},
        {KanaToHalfWidth, {0x83, 0x3F}, {0x83, 0x3F, 0x00}},
        {KanaToHalfWidth, {0x83, 0x95, 0x83, 0x96}, {0x83, 0x95, 0x83, 0x96, 0x00}},  // ヵヶ stay
        {KanaToHalfWidth, {0x82, 0xA0}, {0x82, 0xA0, 0x00}},              // あ
        {KanaToHalfWidth, {0x81, 0x42, 0x81, 0x75, 0x81, 0x4A}, {0x81, 0x42, 0x81, 0x75, 0x81, 0x4A, 0x00}},
        {KanaToHalfWidth, {0x81, 0x5C}, {0x81, 0x5C, 0x00}},
        {KanaToHalfWidth, {0x83}, {0x00}},                                // lead at the end dropped
        {KanaToHalfWidth, {0x41, 0x88}, {0x41, 0x00}},
        {KanaToHalfWidth, {0x83, 0x83, 0x41}, {0xAC, 0x41, 0x00}},        // 83 83 is ャ
        {KanaToHalfWidth, {0xB1, 0xDE, 0x80, 0xA0, 0xFF}, {0xB1, 0xDE, 0x80, 0xA0, 0xFF, 0x00}},
        {KanaToHalfWidth, {0x83, 0x41, 0x00, 0x83, 0x41}, {0xB1, 0x00}},
        {KanaToHalfWidth, {0x83, 0x1A, 0x41}, {0x00}},
        {KanaToHalfWidth, {0x83, 0x4B, 0x83, 0x70, 0x81, 0x5B, 0x83, 0x94, 0x83, 0x7F},
         {0xB6, 0xDE, 0xCA, 0xDF, 0xB0, 0xB3, 0xDE, 0xD1, 0x00}},

        // ---- Letters, digits and symbols to half width
        {AlnumToHalfWidth, {0x82, 0x60, 0x82, 0x81, 0x82, 0x4F, 0x81, 0x40, 0x81, 0x42, 0x81, 0x44},
         {0x41, 0x61, 0x30, 0x20, 0x2E, 0x2E, 0x00}},       // Ａａ０　。．
        {AlnumToHalfWidth, {0x81, 0x51}, {0x5F, 0x00}},                    // ＿
        {AlnumToHalfWidth, {0x81, 0x62}, {0x7C, 0x00}},                    // ｜
        {AlnumToHalfWidth, {0x81, 0x41, 0x81, 0x43}, {0x2C, 0x2C, 0x00}},  // 、，
        {AlnumToHalfWidth, {0x81, 0x8F, 0x81, 0x60, 0x81, 0x97}, {0x5C, 0x7E, 0x40, 0x00}},
        {AlnumToHalfWidth, {0x82, 0x58, 0x82, 0x79, 0x82, 0x9A}, {0x39, 0x5A, 0x7A, 0x00}},
        {AlnumToHalfWidth, {0x82, 0x4E, 0x82, 0x59, 0x82, 0x5F, 0x82, 0x7A, 0x82, 0x80, 0x82, 0x9B},
         {0x82, 0x4E, 0x82, 0x59, 0x82, 0x5F, 0x82, 0x7A, 0x82, 0x80, 0x82, 0x9B, 0x00}},
        {AlnumToHalfWidth, {0x81, 0x5B, 0x81, 0x98, 0x81, 0x3F}, {0x81, 0x5B, 0x81, 0x98, 0x81, 0x3F, 0x00}},
        {AlnumToHalfWidth, {0x88, 0x9F, 0x83, 0x82, 0x60}, {0x88, 0x9F, 0x83, 0x82, 0x60, 0x00}},  // 83 82 is モ
        {AlnumToHalfWidth, {0x81}, {0x81, 0x00}},                          // lead at the end kept
        {AlnumToHalfWidth, {0x82}, {0x82, 0x00}},
        {AlnumToHalfWidth, {0xB1, 0xDE, 0x80, 0xA0, 0xFD}, {0xB1, 0xDE, 0x80, 0xA0, 0xFD, 0x00}},
        {AlnumToHalfWidth, {0x82, 0x60, 0x1A, 0x82, 0x60}, {0x41, 0x00}},
        {AlnumToHalfWidth, {0x82, 0x00}, {0x82, 0x00}},

        // ---- ASCII letters, digits and symbols to full width
        {AlnumToFullWidth, {0x41, 0x2E, 0x2C, 0x5F, 0x7C, 0x7E},
         {0x82, 0x60, 0x81, 0x42, 0x81, 0x41, 0x81, 0x51, 0x7C, 0x7E, 0x00}},
        {AlnumToFullWidth, {0xB1}, {0xB1, 0x00}},                          // katakana are left alone
        {AlnumToFullWidth, {0x20, 0x30, 0x39, 0x5A, 0x7A},
         {0x81, 0x40, 0x82, 0x4F, 0x82, 0x58, 0x82, 0x79, 0x82, 0x9A, 0x00}},
        {AlnumToFullWidth, {0x5C, 0x60, 0x40, 0x2F, 0x3A},
         {0x81, 0x8F, 0x81, 0x4D, 0x81, 0x97, 0x81, 0x5E, 0x81, 0x46, 0x00}},
        {AlnumToFullWidth, {0x7B, 0x7D, 0x7F, 0x09, 0x0D, 0x0A}, {0x7B, 0x7D, 0x7F, 0x09, 0x0D, 0x0A, 0x00}},
        {AlnumToFullWidth, {0x88, 0x41}, {0x88, 0x41, 0x00}},              // a trail byte is not a letter
        {AlnumToFullWidth, {0x81, 0x60, 0x41}, {0x81, 0x60, 0x82, 0x60, 0x00}},
        {AlnumToFullWidth, {0x80, 0x41, 0xA0, 0xFD, 0xFF}, {0x80, 0x82, 0x60, 0xA0, 0xFD, 0xFF, 0x00}},
        {AlnumToFullWidth, {0x88}, {0x88, 0x00}},                          // lead at the end kept
        {AlnumToFullWidth, {0x41, 0x00, 0x41}, {0x82, 0x60, 0x00}},
        {AlnumToFullWidth, {0x88, 0x1A, 0x41}, {0x88, 0x00}},

        // ---- CP932 -> UTF-16: terminator, mark, and 0x1A, which does not end the
        // text. (What each code maps to, both ways, is checked against iconv
        // in tables_test.cpp.)
        {SjisToUtf16, {0x41, 0x00}, {0xFF, 0xFE, 0x41, 0x00, 0x00, 0x00}},
        {SjisToUtf16, {0x82, 0xA0, 0x00}, {0xFF, 0xFE, 0x42, 0x30, 0x00, 0x00}},
        {SjisToUtf16, {0x00}, {0xFF, 0xFE, 0x00, 0x00}},
        {SjisToUtf16, {0x41}, {0xFF, 0xFE, 0x41, 0x00, 0x00, 0x00}},
        {SjisToUtf16, {0x41, 0x00, 0x42, 0x00}, {0xFF, 0xFE, 0x41, 0x00, 0x00, 0x00}},
        {SjisToUtf16, {0x41, 0x1A, 0x42, 0x00}, {0xFF, 0xFE, 0x41, 0x00, 0x1A, 0x00, 0x42, 0x00, 0x00, 0x00}},
        // The single bytes Windows maps outside the table, and half-width katakana.
        {SjisToUtf16, {0x80, 0xA0, 0xFD, 0xFE, 0xFF, 0xA1, 0xDF, 0x00},
         Concat({0xFF, 0xFE}, U16({0x0080, 0xF8F0, 0xF8F1, 0xF8F2, 0xF8F3, 0xFF61, 0xFF9F, 0}))},
        {SjisToUtf16, {0x5C, 0x7E, 0x00}, Concat({0xFF, 0xFE}, U16({0x5C, 0x7E, 0}))},
        // Malformed CP932: a lead without a trail is U+FFFD alone, a pair
        // that is no character one U+FFFD.
        {SjisToUtf16, {0x82, 0x00}, Concat({0xFF, 0xFE}, U16({0xFFFD, 0}))},
        {SjisToUtf16, {0x82}, Concat({0xFF, 0xFE}, U16({0xFFFD, 0}))},
        {SjisToUtf16, {0x82, 0x0D, 0x0A, 0x00}, Concat({0xFF, 0xFE}, U16({0xFFFD, 0x0D, 0x0A, 0}))},
        {SjisToUtf16, {0x82, 0x7F, 0x00}, Concat({0xFF, 0xFE}, U16({0xFFFD, 0x7F, 0}))},
        {SjisToUtf16, {0x82, 0xFD, 0x00}, Concat({0xFF, 0xFE}, U16({0xFFFD, 0xF8F1, 0}))},
        {SjisToUtf16, {0x82, 0x82, 0xA0, 0x00}, Concat({0xFF, 0xFE}, U16({0xFF42, 0xF8F0, 0}))},
        {SjisToUtf16, {0x82, 0x41, 0x42, 0x00}, Concat({0xFF, 0xFE}, U16({0xFFFD, 0x42, 0}))},
        {SjisToUtf16, {0x85, 0x40, 0xEB, 0xFC, 0x00}, Concat({0xFF, 0xFE}, U16({0xFFFD, 0xFFFD, 0}))},
        {SjisToUtf16, {0x81, 0x82, 0xA0, 0x00}, Concat({0xFF, 0xFE}, U16({0x2260, 0xF8F0, 0}))},

        // ---- UTF-8 -> UTF-16: no mark of its own, a UTF-8 mark stays.
        {Utf8ToUtf16, {0x41, 0x00}, {0x41, 0x00, 0x00, 0x00}},
        {Utf8ToUtf16, {0xEF, 0xBB, 0xBF, 0x41, 0x00}, {0xFF, 0xFE, 0x41, 0x00, 0x00, 0x00}},
        {Utf8ToUtf16, {0x00}, {0x00, 0x00}},
        {Utf8ToUtf16, {0x41, 0x1A, 0x00}, {0x41, 0x00, 0x1A, 0x00, 0x00, 0x00}},
        {Utf8ToUtf16, {0xE3, 0x81, 0x82}, U16({0x3042, 0})},
        {Utf8ToUtf16, {0xC2, 0x80, 0xDF, 0xBF, 0xE0, 0xA0, 0x80, 0xEF, 0xBF, 0xBF, 0x00},
         U16({0x0080, 0x07FF, 0x0800, 0xFFFF, 0})},
        {Utf8ToUtf16, {0xF0, 0x9F, 0x98, 0x80, 0xF4, 0x8F, 0xBF, 0xBF, 0xF0, 0x90, 0x80, 0x80, 0x00},
         U16({0xD83D, 0xDE00, 0xDBFF, 0xDFFF, 0xD800, 0xDC00, 0})},
        // Malformed UTF-8: one U+FFFD per maximal subpart.
        {Utf8ToUtf16, {0x80, 0xBF, 0x00}, U16({0xFFFD, 0xFFFD, 0})},
        {Utf8ToUtf16, {0xC0, 0x80, 0xC1, 0xBF, 0x00}, U16({0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0})},
        {Utf8ToUtf16, {0xC2, 0x00}, U16({0xFFFD, 0})},
        {Utf8ToUtf16, {0xC2, 0xC2, 0xA9, 0x00}, U16({0xFFFD, 0x00A9, 0})},
        {Utf8ToUtf16, {0xE3, 0x81, 0x00}, U16({0xFFFD, 0})},
        {Utf8ToUtf16, {0xE3, 0x81, 0x41, 0x00}, U16({0xFFFD, 0x41, 0})},
        {Utf8ToUtf16, {0xE0, 0x80, 0x80, 0x00}, U16({0xFFFD, 0xFFFD, 0xFFFD, 0})},
        {Utf8ToUtf16, {0xE0, 0x9F, 0xBF, 0x00}, U16({0xFFFD, 0xFFFD, 0xFFFD, 0})},
        {Utf8ToUtf16, {0xED, 0xA0, 0x80, 0xED, 0xBF, 0xBF, 0x00},
         U16({0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0})},
        {Utf8ToUtf16, {0xED, 0x9F, 0xBF, 0x00}, U16({0xD7FF, 0})},
        {Utf8ToUtf16, {0xF0, 0x80, 0x80, 0x80, 0x00}, U16({0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0})},
        {Utf8ToUtf16, {0xF4, 0x90, 0x80, 0x80, 0x00}, U16({0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0})},
        {Utf8ToUtf16, {0xF0, 0x9F, 0x98, 0x00}, U16({0xFFFD, 0})},
        {Utf8ToUtf16, {0xF0, 0x9F, 0x41, 0x00}, U16({0xFFFD, 0x41, 0})},
        {Utf8ToUtf16, {0xF0, 0x9F, 0x98, 0xE3, 0x81, 0x82, 0x00}, U16({0xFFFD, 0x3042, 0})},
        {Utf8ToUtf16, {0xF5, 0x80, 0xF8, 0x88, 0x80, 0x80, 0x80, 0xFF, 0xFE, 0x00},
         U16({0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0})},

        // ---- UTF-16 -> CP932: mark skipped (never swapped), end at the zero unit.
        {Utf16ToSjis, {0xFF, 0xFE, 0x42, 0x30, 0x00, 0x00}, {0x82, 0xA0, 0x00}, true},
        {Utf16ToSjis, {0x42, 0x30, 0x00, 0x00}, {0x82, 0xA0, 0x00}},
        {Utf16ToSjis, {0xFE, 0xFF, 0x30, 0x42, 0x00, 0x00}, {0x3F, 0x00}, true},  // U+4230
        {Utf16ToSjis, {0xFE, 0xFF, 0x42, 0x30, 0x00, 0x00}, {0x82, 0xA0, 0x00}, true},
        {Utf16ToSjis, {0xFF, 0xFE, 0xFF, 0xFE, 0x41, 0x00}, {0x3F, 0x41, 0x00}, true},
        {Utf16ToSjis, {0xFF, 0xFE, 0x00, 0x00}, {0x00}, true},
        {Utf16ToSjis, {0xFF, 0xFE}, {0x00}, true},
        {Utf16ToSjis, {0xFF}, {0x00}, true},
        {Utf16ToSjis, {0x41}, {0x00}},
        {Utf16ToSjis, {0x41, 0x00, 0x42}, {0x41, 0x00}},
        {Utf16ToSjis, {0x41, 0x00, 0x00, 0x00, 0x42, 0x00}, {0x41, 0x00}},
        {Utf16ToSjis, {0x41, 0x00, 0x1A, 0x00, 0x00, 0x00}, {0x41, 0x1A, 0x00}},
        // Composition: base + mark -> precomposed, where CP932 has it.
        {Utf16ToSjis, U16({0x304B, 0x3099, 0}), {0x82, 0xAA, 0x00}},
        {Utf16ToSjis, U16({0x30A6, 0x3099, 0x306F, 0x309A, 0}), {0x83, 0x94, 0x82, 0xCF, 0x00}},
        {Utf16ToSjis, U16({0x0415, 0x0308, 0x0438, 0x0306, 0}), {0x84, 0x46, 0x84, 0x7A, 0x00}},
        {Utf16ToSjis, U16({0x3D, 0x0338, 0}), {0x81, 0x82, 0x00}},
        {Utf16ToSjis, U16({0x304B, 0x3099, 0x3099, 0}), {0x82, 0xAA, 0x3F, 0x00}},
        {Utf16ToSjis, U16({0x3042, 0x3099, 0x304B, 0x309A, 0}), {0x82, 0xA0, 0x3F, 0x82, 0xA9, 0x3F, 0x00}},
        {Utf16ToSjis, U16({0x3099, 0x304B, 0}), {0x3F, 0x82, 0xA9, 0x00}},
        {Utf16ToSjis, U16({0x304B, 0x0000, 0x3099}), {0x82, 0xA9, 0x00}},
        {Utf16ToSjis, U16({0x41, 0x0301, 0}), {0x41, 0x3F, 0x00}},
        // Surrogates: a pair is one character, a lone one is "?" too.
        {Utf16ToSjis, U16({0xD83D, 0xDE00, 0}), {0x3F, 0x00}},
        {Utf16ToSjis, U16({0xD83D, 0x41, 0xDE00, 0}), {0x3F, 0x41, 0x3F, 0x00}},
        {Utf16ToSjis, U16({0xDE00, 0xD83D, 0xDE00, 0xD83D, 0}), {0x3F, 0x3F, 0x3F, 0x00}},
        {Utf16ToSjis, U16({0xD83D, 0x3099, 0xFFFD, 0}), {0x3F, 0x3F, 0x3F, 0x00}},

        // ---- UTF-16 -> UTF-8: nothing skipped, lone surrogates U+FFFD.
        {Utf16ToUtf8, U16({0x3042, 0}), {0xE3, 0x81, 0x82, 0x00}},
        {Utf16ToUtf8, U16({0xFEFF, 0x41, 0}), {0xEF, 0xBB, 0xBF, 0x41, 0x00}},
        {Utf16ToUtf8, U16({0x80, 0x7FF, 0x800, 0xFFFF, 0}),
         {0xC2, 0x80, 0xDF, 0xBF, 0xE0, 0xA0, 0x80, 0xEF, 0xBF, 0xBF, 0x00}},
        {Utf16ToUtf8, U16({0xD83D, 0xDE00, 0xDBFF, 0xDFFF, 0}), {0xF0, 0x9F, 0x98, 0x80, 0xF4, 0x8F, 0xBF, 0xBF, 0x00}},
        {Utf16ToUtf8, U16({0xD83D, 0x41, 0xDE00, 0xD83D, 0}),
         {0xEF, 0xBF, 0xBD, 0x41, 0xEF, 0xBF, 0xBD, 0xEF, 0xBF, 0xBD, 0x00}},
        {Utf16ToUtf8, {0x41, 0x00, 0x1A, 0x00, 0x00, 0x00, 0x42, 0x00}, {0x41, 0x1A, 0x00}},
        {Utf16ToUtf8, {0x41, 0x00, 0x42}, {0x41, 0x00}},

        // ---- UTF-8 -> CP932: a leading U+FEFF or U+FFFE (a mark in UTF-16) is skipped.
        {Utf8ToSjis, {0xEF, 0xBB, 0xBF, 0x41, 0x00}, {0x41, 0x00}, true},
        {Utf8ToSjis, {0xEF, 0xBF, 0xBE, 0x41, 0x00}, {0x41, 0x00}, true},
        {Utf8ToSjis, {0xEF, 0xBB, 0xBF}, {0x00}, true},
        {Utf8ToSjis, {0xEF, 0xBB, 0xBF, 0xEF, 0xBB, 0xBF, 0x41, 0x00}, {0x3F, 0x41, 0x00}, true},
        {Utf8ToSjis, {0xEF, 0xBB, 0x41, 0x00}, {0x3F, 0x41, 0x00}, true},
        {Utf8ToSjis, {0x41, 0xEF, 0xBB, 0xBF, 0x00}, {0x41, 0x3F, 0x00}},
        {Utf8ToSjis, {0x00}, {0x00}},
        {Utf8ToSjis, {0xE3, 0x81, 0x82, 0x00}, {0x82, 0xA0, 0x00}},
        {Utf8ToSjis, {0xE3, 0x81, 0x8B, 0xE3, 0x82, 0x99, 0x00}, {0x82, 0xAA, 0x00}},
        {Utf8ToSjis, {0x3D, 0xCC, 0xB8, 0x00}, {0x81, 0x82, 0x00}},
        {Utf8ToSjis, {0xD0, 0x95, 0xCC, 0x88, 0x00}, {0x84, 0x46, 0x00}},
        {Utf8ToSjis, {0xC2, 0xA5, 0xE2, 0x80, 0xBE, 0xE3, 0x80, 0x9C, 0xEF, 0xBD, 0x9E, 0x00},
         {0x5C, 0x7E, 0x81, 0x60, 0x81, 0x60, 0x00}},
        {Utf8ToSjis, {0xC2, 0x80, 0xEF, 0xA3, 0xB0, 0xEF, 0xBD, 0xA1, 0xEE, 0x80, 0x80, 0x00},
         {0x80, 0xA0, 0xA1, 0xF0, 0x40, 0x00}},
        {Utf8ToSjis, {0xF0, 0x9F, 0x98, 0x80, 0xED, 0xA0, 0x80, 0xE3, 0x81, 0x00}, {0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x00}},
        {Utf8ToSjis, {0x41, 0x1A, 0x42, 0x00, 0x43}, {0x41, 0x1A, 0x42, 0x00}},

        // ---- CP932 -> UTF-8: no mark.
        {SjisToUtf8, {0x82, 0xA0, 0x00}, {0xE3, 0x81, 0x82, 0x00}},
        {SjisToUtf8, {0x00}, {0x00}},
        {SjisToUtf8, {0x80, 0xA0, 0xA1, 0xFF, 0x00}, {0xC2, 0x80, 0xEF, 0xA3, 0xB0, 0xEF, 0xBD, 0xA1, 0xEF, 0xA3, 0xB3, 0x00}},
        {SjisToUtf8, {0x82, 0x0A, 0x82, 0x00}, {0xEF, 0xBF, 0xBD, 0x0A, 0xEF, 0xBF, 0xBD, 0x00}},
        {SjisToUtf8, {0x41, 0x1A, 0x42, 0x00, 0x43}, {0x41, 0x1A, 0x42, 0x00}},
        {SjisToUtf8, {0xF0, 0x40, 0x81, 0x5F}, {0xEE, 0x80, 0x80, 0xEF, 0xBC, 0xBC, 0x00}},
    };
    return vectors;
}

// A vector's input behind `n` bytes of ASCII, and the result then expected:
// the ASCII as the output writes it (after the mark of marked UTF-16).
std::pair<Bytes, Bytes> BehindAscii(const Vector& v, size_t n) {
    const Conversion& c = Of(v.op);
    Bytes ascii = AsciiPrefix(n), out = v.out;
    if (c.out == Form::Utf16 || c.out == Form::MarkedUtf16) ascii = Widen(ascii);
    if (c.out == Form::FullWidth) {  // a..z -> 82 81..82 9A
        Bytes full;
        for (uint8_t a : ascii) full.insert(full.end(), {0x82, static_cast<uint8_t>(a + 0x20)});
        ascii = full;
    }
    out.insert(out.begin() + (c.out == Form::MarkedUtf16 ? 2 : 0), ascii.begin(), ascii.end());
    return {Concat(InputPrefix(c, n), v.in), out};
}

// Characters other than ASCII in a conversion's input form, n bytes (units
// of UTF-16) in all: U+3042 in UTF-16 and UTF-8 (where n counts
// characters), else A4 A2 (a pair of EUC-JP, two single bytes of
// Shift-JIS) and an ASCII letter for an odd n.
Bytes NotAscii(const Conversion& c, size_t n) {
    const Bytes one = c.in == Form::Utf16 ? Bytes{0x42, 0x30} : c.in == Form::Utf8 ? Bytes{0xE3, 0x81, 0x82}
                                                                                      : Bytes{0xA4, 0xA2};
    Bytes out;
    for (size_t i = 0; i < (one.size() == 2 && c.in != Form::Utf16 ? n / 2 : n); ++i) out = Concat(out, one);
    if (c.in != Form::Utf16 && c.in != Form::Utf8 && n % 2 != 0) out.push_back(0x41);
    return out;
}

// Where a byte-wise conversion stops reading: at the first 0x00 or 0x1A.
int64_t TextLength(const Bytes& text) {
    return std::find_if(text.begin(), text.end(), [](uint8_t b) { return b == 0x00 || b == 0x1A; }) - text.begin();
}

// Every converter whose input form it is, fed `text` cut at every one and
// every two points and after every byte, gives the reference's bytes on the
// whole text.
void ExpectConvertersInPiecesOn(const Conversion& of, const Bytes& text) {
    for (const Conversion& c : kConversions) {
        if (!c.converter || c.in != of.in || (text.empty() && !c.byteWise)) continue;  // chains leave it alone then
        SCOPED_TRACE(std::string(c.name) + " of " + Hex(text));
        const Bytes want = Apply(c.reference, text).out;
        std::vector<size_t> everyByte;
        for (size_t i = 0; i <= text.size(); ++i) {
            if (i > 0 && i < text.size()) everyByte.push_back(i);
            for (size_t j = i; j <= text.size(); ++j) {
                if (FeedInPieces(*c.converter, text, {i, j}) != want) FAIL() << "cut at " << i << ", " << j;
            }
        }
        ASSERT_EQ(Hex(FeedInPieces(*c.converter, text, everyByte)), Hex(want)) << "byte by byte";
    }
}

// Every whole-text implementation gives the vector's result, behind 0..63
// bytes of ASCII: the reference, and the operation and its chain at every
// vector level as the reference does; a byte-wise one appends it to what the
// destination holds and stops reading at the end of the text, the others
// replace the destination.
// Followed by ASCII too, so that the vector paths meet its bytes inside a
// block, and deep in a long text, the operation gives the reference's
// bytes. Behind 13 bytes (or none, at the head of a text), every converter
// of its input form is fed it cut anywhere.
TEST(Conversions, VectorsBehindEveryAlignment) {
    const Bytes before = {0xEE};
    for (const Vector& v : Vectors()) {
        const Conversion& c = Of(v.op);
        for (size_t n = 0; n <= (v.atStart ? 0 : kMaxPrefix); ++n) {
            const auto [in, out] = BehindAscii(v, n);
            const Outcome want = c.byteWise ? Outcome{Concat(before, out), static_cast<int64_t>(n) + TextLength(v.in)}
                                            : Outcome{out, 0};
            ASSERT_EQ(Apply(c.reference, in, 0, before), want) << c.name << " of " << Hex(in);
            ASSERT_TRUE(MatchesReference(c, in, 0, before)) << c.name << " of " << Hex(in);
            const Bytes followed = Concat(in, InputPrefix(c, 40));
            ASSERT_TRUE(MatchesReference(c, followed, 0, before, false)) << c.name << " of " << Hex(followed);
            // The same deep in a long text, which takes paths of their own,
            // behind n bytes or units of characters other than ASCII.
            const Bytes deep = Concat(Concat(InputPrefix(c, 16 * 1024), NotAscii(c, n)), Concat(v.in, InputPrefix(c, 40)));
            ASSERT_TRUE(MatchesReference(c, deep, 0, before, false)) << c.name << " of " << Hex(v.in) << " deep, " << n;
            if (n == (v.atStart ? 0 : 13)) {
                ASSERT_NO_FATAL_FAILURE(ExpectConvertersInPiecesOn(c, in));
            }
        }
    }
}

// An empty source: a byte-wise conversion appends its terminator, the others
// leave the destination and its read position alone. A read position outside
// the source reads nothing and stays where it is. (The references read with
// CByteStream::ReadByte: the vectors pin where it ends a text.)
TEST(Conversions, EmptySourcesAndReadPositionsOutsideTheText) {
    for (const Conversion& c : kConversions) {
        for (Fn f : {c.fast, c.chain, c.reference}) {
            if (!f) continue;
            CByteStream src, dst;
            Fill(dst, {0x61, 0x62});
            dst.SetReadPos(1);
            f(src, dst);
            EXPECT_EQ(ToBytes(dst), (c.byteWise ? Bytes{0x61, 0x62, 0x00} : Bytes{0x61, 0x62})) << c.name;
            if (c.byteWise) {
                for (int64_t pos : {int64_t{3}, int64_t{50}, int64_t{-1}, std::numeric_limits<int64_t>::min()})
                    EXPECT_EQ(Apply(f, {0x82, 0x60, 0x41}, pos, {0x55}), (Outcome{{0x55, 0x00}, pos})) << c.name;
            } else {
                EXPECT_EQ(dst.ReadPos(), 1) << c.name;
            }
        }
    }
}

TEST(Conversions, EveryOneAndTwoByteInputMatchesTheReference) {
    for (const Conversion& c : kConversions) {
        int failures = 0;
        for (size_t n : {0, 7}) {
            for (int x = 0; x < 0x10100 && failures < 5; ++x) {
                Bytes text = InputPrefix(c, n);
                if (x < 0x100) text.push_back(static_cast<uint8_t>(x));
                else text.insert(text.end(), {static_cast<uint8_t>((x - 0x100) >> 8), static_cast<uint8_t>(x)});
                // Behind 7 bytes, followed by ASCII: in the middle of a vector block.
                if (n > 0) text = Concat(text, InputPrefix(c, 24));
                if (!MatchesReference(c, text, 0, {}, false)) ADD_FAILURE() << c.name << " of " << Hex(text) << (++failures, "");
            }
        }
    }
}

// Whether the conversion gives the reference's bytes on `text`: the
// whole-text operation and its chain at every level, read from `pos` into a
// destination that holds `before`; detection alike at every level; and the
// converter, at `level`, fed pieces of 1 to `maxPiece` bytes.
::testing::AssertionResult LikeTheReference(const Conversion& c, const Bytes& text, std::mt19937& rng,
                                            size_t maxPiece, VectorLevel level, int64_t pos = 0,
                                            const Bytes& before = {}) {
    if (!MatchesReference(c, text, pos, before)) return ::testing::AssertionFailure() << "whole, from " << pos;
    if (!DetectsAlikeAtEveryLevel(text)) return ::testing::AssertionFailure() << "detection";
    const AtLevel at(level);
    if (c.converter && (c.byteWise || !text.empty()) &&
        FeedInPieces(*c.converter, text, RandomCuts(rng, text.size(), maxPiece)) != Apply(c.reference, text).out)
        return ::testing::AssertionFailure() << "in pieces of up to " << maxPiece << " bytes at " << LevelName(level);
    return ::testing::AssertionSuccess();
}

VectorLevel NthLevel(size_t n) { return VectorLevels()[n % VectorLevels().size()]; }

// A piece planted in a long text to end a kernel's blocks there.
struct Planted {
    const char* name;
    Bytes bytes;
};

// `base` with `planted` put in at a random place, behind n bytes of ASCII.
Bytes WithPlanted(std::mt19937& rng, const Bytes& base, const Bytes& planted, size_t n) {
    const auto at = static_cast<std::ptrdiff_t>(rng() % base.size());
    Bytes text = AsciiPrefix(n);
    text.insert(text.end(), base.begin(), base.begin() + at);
    text.insert(text.end(), planted.begin(), planted.end());
    text.insert(text.end(), base.begin() + at, base.end());
    return text;
}

// Every conversion against the reference (LikeTheReference) on texts of
// every shape: random texts behind random ASCII, read from a random
// position (byte-wise conversions), into a destination that holds a byte or
// not, in pieces of up to 4, 300 or 70,000 bytes; random texts of over a
// block; and ASCII up to just before the end of the first block, then
// random text, shifted so that the block ends inside every unit of its head
// (the same texts meet detection's limit of 65,536 units); and UTF-8 of
// kana and kanji with a sequence planted in it (see below).
TEST(Conversions, TextsOfEveryShapeMatchTheReference) {
    std::mt19937 rng(2024);
    constexpr size_t kBlockUnits = 64 * 1024, kMaxPieces[] = {4, 300, 70000};
    for (const Conversion& c : kConversions) {
        SCOPED_TRACE(c.name);
        for (size_t i = 0; i < 1500; ++i) {
            const Bytes text = Concat(InputPrefix(c, rng() % (kMaxPrefix + 1)), RandomText(rng, c.in, rng() % 120));
            const int64_t pos = c.byteWise && rng() % 4 == 0 ? static_cast<int64_t>(rng() % (text.size() + 2)) : 0;
            const Bytes before = rng() % 2 ? Bytes{0xEE} : Bytes{};
            ASSERT_TRUE(LikeTheReference(c, text, rng, kMaxPieces[i % 3], NthLevel(i), pos, before)) << Hex(text);
        }
        for (size_t i = 0; i < 10; ++i) {
            const Bytes text = RandomText(rng, c.in, 25000);
            ASSERT_TRUE(LikeTheReference(c, text, rng, kMaxPieces[i % 3], NthLevel(i))) << Hex(text);
        }
        for (int tails = 0; tails < 3; ++tails) {
            Bytes tail = RandomText(rng, c.in, 50);
            DropTerminators(tail, c.in);
            for (size_t n = 0; n < 16; ++n) {
                const Bytes text = Concat(InputPrefix(c, kBlockUnits - 16 + n), tail);
                ASSERT_TRUE(LikeTheReference(c, text, rng, n % 2 ? 5000 : 70000, NthLevel(n)))
                    << Hex(tail) << " behind " << n;
            }
        }
    }

    // UTF-8 of kana and kanji goes a block at a time where it holds only
    // ASCII and three-byte sequences with a code: a long text of every CP932
    // character between runs of ASCII, with one of the sequences that end
    // such a block planted in it, behind 0..63 bytes of ASCII.
    Bytes sjis;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (lead == 0xA0) lead = 0xE0;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F) continue;
            sjis.insert(sjis.end(), {static_cast<uint8_t>(lead), static_cast<uint8_t>(trail)});
            if (trail % 11 == 0) sjis.insert(sjis.end(), {0xB6, 0xDE, ' ', 'x', 'y', '\n'});
            if (trail % 13 == 0) sjis.insert(sjis.end(), {'<', 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', '>'});
            if (trail % 29 == 0) sjis.insert(sjis.end(), 1 + (trail + lead) % 70, 'z');
        }
    }
    Bytes utf8 = Apply(Of(Op::SjisToUtf8).reference, sjis).out;
    utf8.pop_back();  // the terminator
    const Planted cases[] = {
        {"nothing", {}},
        {"ka and a voiced mark", {0xE3, 0x81, 0x8B, 0xE3, 0x82, 0x99}},
        {"a voiced mark alone", {0xE3, 0x82, 0x99}},
        {"= and a long solidus", {0x3D, 0xCC, 0xB8}},
        {"a two-byte sequence", {0xC2, 0xA7}},
        {"a four-byte sequence", {0xF0, 0x9F, 0x98, 0x80}},
        {"an overlong form of A", {0xE0, 0x81, 0x81}},
        {"a surrogate", {0xED, 0xA0, 0x80}},
        {"a mark inside", {0xEF, 0xBB, 0xBF}},
        {"a character without a code", {0xE0, 0xA0, 0x80}},
        {"a stray continuation byte", {0x80}},
        {"a sequence cut short", {0xE3, 0x81, 0x41}},
    };
    for (const Planted& planted : cases) {
        for (size_t n = 0; n <= kMaxPrefix; ++n) {
            const Bytes text = WithPlanted(rng, utf8, planted.bytes, n);
            ASSERT_TRUE(LikeTheReference(Of(Op::Utf8ToSjis), text, rng, n % 2 ? 5000 : 40000, NthLevel(n)))
                << planted.name << " behind " << n;
        }
    }
}

// Whether a run's stages give the bytes of the whole-text stages one after
// the other on the loaded text (the loader's terminator, and for UTF-16 the
// padding to a whole zero unit): fed in pieces that end at `cuts`; and cut
// at every NextCut point into pieces that pipelines of their own convert, a
// pipeline not at rest at a cut going on with the next piece.
::testing::AssertionResult LikeTheWholeTextStages(const ConversionPlan& plan, const Bytes& loaded,
                                                  std::vector<size_t> cuts) {
    CByteStream whole;
    Fill(whole, loaded);
    reference::ConvertWholeText(plan, whole);
    const auto name = [&] {
        std::ostringstream s;
        s << plan.input << " to " << plan.output << " kana " << plan.convertKana << plan.kanaToHalf << " alnum "
          << plan.convertAlnum << plan.alnumToHalf << " of " << Hex(loaded);
        return s.str();
    };
    CConversionPipeline pipeline(plan);
    CByteStream out, all;
    cuts.push_back(loaded.size());
    for (size_t at = 0, i = 0; i < cuts.size(); at = cuts[i++]) {
        pipeline.Feed(loaded.data() + at, static_cast<int64_t>(cuts[i] - at), out);
        for (int64_t k = 0; k < out.Size(); ++k) all.Append(out.Data()[k]);
        out.Discard();
    }
    pipeline.Finish(all);
    if (ToBytes(all) != ToBytes(whole)) return ::testing::AssertionFailure() << "in pieces: " << name();

    const auto size = static_cast<int64_t>(loaded.size());
    CByteStream cut;
    auto piece = std::make_unique<CConversionPipeline>(plan);
    for (int64_t from = 0, to = 0; to < size; from = to) {
        to = CConversionPipeline::NextCut(plan, loaded.data(), size, from + 1);
        if (to < 0) to = size;
        piece->Feed(loaded.data() + from, to - from, cut);
        if (to == size || piece->Ended()) break;
        if (!piece->AtRest()) continue;
        piece = std::make_unique<CConversionPipeline>(plan);
        piece->ContinueText();
    }
    piece->Finish(cut);
    if (ToBytes(cut) != ToBytes(whole)) return ::testing::AssertionFailure() << "cut at line breaks: " << name();
    return ::testing::AssertionSuccess();
}

// The run's stages (LikeTheWholeTextStages) on random texts with line
// breaks, by random plans, in random pieces. And EUC-JP to UTF-8 and
// UTF-16, which go in one pass where the text holds only ASCII and JIS X
// 0208 pairs: a long text of every such pair between runs of ASCII, with
// one of the bytes that end the pass planted in it, behind 0..63 bytes of
// ASCII, whole and in pieces.
TEST(Pipeline, InPiecesMatchesTheWholeTextStages) {
    const EncodingId modes[] = {ShiftJis, Jis, EucJp, Unicode, Utf8};
    std::mt19937 rng(5);
    for (size_t round = 0; round < 3000; ++round) {
        ConversionPlan plan;
        plan.input = modes[rng() % 5];
        plan.output = modes[rng() % 5];
        plan.convertKana = rng() % 2;
        plan.kanaToHalf = rng() % 2;
        plan.convertAlnum = rng() % 2;
        plan.alnumToHalf = rng() % 2;
        const Form form = plan.input == Unicode ? Form::Utf16 : plan.input == Utf8 ? Form::Utf8 : Form::Bytes;
        const Bytes loaded = Loaded(WithLineBreaks(rng, RandomText(rng, form, rng() % 80), form, rng() % 6), plan.input);
        const AtLevel at(NthLevel(round));
        ASSERT_TRUE(LikeTheWholeTextStages(plan, loaded, RandomCuts(rng, loaded.size(), 1 + rng() % 300)));
    }

    Bytes pairs;
    for (int first = 0xA1; first <= 0xFE; ++first) {
        for (int second = 0xA1; second <= 0xFE; ++second) {
            pairs.push_back(static_cast<uint8_t>(first));
            pairs.push_back(static_cast<uint8_t>(second));
            if (second % 7 == 0) pairs.insert(pairs.end(), {'a', '\t', 'b', '\r', '\n'});
        }
    }
    const Planted cases[] = {
        {"nothing", {}},
        {"half-width katakana", {0x8E, 0xB1, 0x8E, 0xDF, 0x8E, 0xA1}},
        {"0x8E before a Shift-JIS lead", {0x8E, 0x88, 0xA4, 0xA2}},
        {"0x8E before E0", {0x8E, 0xE0, 0xA4, 0xA2}},
        {"dropped bytes", {0x7F, 0xA0, 0x8D}},
        {"JIS X 0212", {0x8F, 0xB0, 0xA1}},
        {"a first byte before ASCII", {0xA4, 0x41}},
        {"a lone first byte before a control", {0xA4, 0x01}},
        {"a dropped control", {0x07}},
        {"escape sequences", {0x1B, 0x24, 0x42, 0xA4, 0xA2, 0x1B, 0x28, 0xA4, 0xA2, 0xA4, 0x1B, 0xA4, 0xA2, 0xA4}},
        {"an escape inside an escape", {0x1B, 0x1B, 0x24, 0x42}},
        {"an escape after a first byte", {0xA4, 0x1B, 0x28, 0x42}},
        {"a control and an escape in a run of ASCII",
         Concat(Concat(Bytes(40, 'x'), {0x07, 'y', 0x1B, 0x28, 0x42}), Bytes(40, 'z'))},
        {"0x80 and 0xFF", {0x80, 0xFF}},
        {"the end of the text (0x1A)", {0x1A}},
        {"the end of the text (0x00)", {0x00}},
        {"a first byte ending the text", {0xB0, 0x00}},
    };
    std::mt19937 plant(8);
    for (const Planted& planted : cases) {
        for (size_t n = 0; n <= kMaxPrefix; ++n) {
            const ConversionPlan plan = {EucJp, (n / 2) % 2 == 0 ? Utf8 : Unicode};
            const Bytes text = Concat(WithPlanted(plant, pairs, planted.bytes, n), {0x00});
            const AtLevel level(NthLevel(n));
            const std::vector<size_t> cuts = n % 2 ? RandomCuts(plant, text.size(), 40000) : std::vector<size_t>{};
            ASSERT_TRUE(LikeTheWholeTextStages(plan, text, cuts)) << planted.name << " behind " << n;
        }
    }
}

}  // namespace
}  // namespace morvel
