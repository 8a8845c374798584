// The width tables, laid out as rows a reader can check against the
// folding rules line by line, and the lookups derived from them at compile
// time for the fast foldings.
#include "engine/internal/width_tables.h"

#include <array>

namespace morvel {

// Full-width form of each half-width byte (index byte - 0xA0; row = high
// digit of the byte, column = low digit; 0xA0 is not a katakana).
constexpr uint16_t kKanaFull[kKanaFullCount] = {
    /* A_ */ 0x0000 /* —  */, 0x8142 /* 。 */, 0x8175 /* 「 */, 0x8176 /* 」 */, 0x8141 /* 、 */, 0x8145 /* ・ */, 0x8392 /* ヲ */, 0x8340 /* ァ */, 0x8342 /* ィ */, 0x8344 /* ゥ */, 0x8346 /* ェ */, 0x8348 /* ォ */, 0x8383 /* ャ */, 0x8385 /* ュ */, 0x8387 /* ョ */, 0x8362 /* ッ */,
    /* B_ */ 0x815B /* ー */, 0x8341 /* ア */, 0x8343 /* イ */, 0x8345 /* ウ */, 0x8347 /* エ */, 0x8349 /* オ */, 0x834A /* カ */, 0x834C /* キ */, 0x834E /* ク */, 0x8350 /* ケ */, 0x8352 /* コ */, 0x8354 /* サ */, 0x8356 /* シ */, 0x8358 /* ス */, 0x835A /* セ */, 0x835C /* ソ */,
    /* C_ */ 0x835E /* タ */, 0x8360 /* チ */, 0x8363 /* ツ */, 0x8365 /* テ */, 0x8367 /* ト */, 0x8369 /* ナ */, 0x836A /* ニ */, 0x836B /* ヌ */, 0x836C /* ネ */, 0x836D /* ノ */, 0x836E /* ハ */, 0x8371 /* ヒ */, 0x8374 /* フ */, 0x8377 /* ヘ */, 0x837A /* ホ */, 0x837D /* マ */,
    /* D_ */ 0x837E /* ミ */, 0x8380 /* ム */, 0x8381 /* メ */, 0x8382 /* モ */, 0x8384 /* ヤ */, 0x8386 /* ユ */, 0x8388 /* ヨ */, 0x8389 /* ラ */, 0x838A /* リ */, 0x838B /* ル */, 0x838C /* レ */, 0x838D /* ロ */, 0x838F /* ワ */, 0x8393 /* ン */, 0x814A /* ゛ */, 0x814B /* ゜ */,
};

// ｶ to ﾄ and ﾊ to ﾎ have a voiced form; ﾊ to ﾎ a semi-voiced one. ｳ has none.
constexpr ByteRange kKanaVoicedRanges[kKanaVoicedRangeCount] = {{0xB6, 0xC4}, {0xCA, 0xCE}};
constexpr ByteRange kKanaSemiVoicedRanges[kKanaSemiVoicedRangeCount] = {{0xCA, 0xCE}};

// Half-width form of each full-width katakana 83 40 - 83 94 (row = first
// three hex digits of its code, column = last digit): base byte and mark,
// 0x20 when there is no mark. Note ヮ -> ﾜ, ヰ -> ｴ and ヱ -> ｲ.
constexpr uint8_t kKanaHalf[kKanaHalfCount][2] = {
    /* 834_ */ {0xA7, 0x20} /* ァ */, {0xB1, 0x20} /* ア */, {0xA8, 0x20} /* ィ */, {0xB2, 0x20} /* イ */, {0xA9, 0x20} /* ゥ */, {0xB3, 0x20} /* ウ */, {0xAA, 0x20} /* ェ */, {0xB4, 0x20} /* エ */, {0xAB, 0x20} /* ォ */, {0xB5, 0x20} /* オ */, {0xB6, 0x20} /* カ */, {0xB6, 0xDE} /* ガ */, {0xB7, 0x20} /* キ */, {0xB7, 0xDE} /* ギ */, {0xB8, 0x20} /* ク */, {0xB8, 0xDE} /* グ */,
    /* 835_ */ {0xB9, 0x20} /* ケ */, {0xB9, 0xDE} /* ゲ */, {0xBA, 0x20} /* コ */, {0xBA, 0xDE} /* ゴ */, {0xBB, 0x20} /* サ */, {0xBB, 0xDE} /* ザ */, {0xBC, 0x20} /* シ */, {0xBC, 0xDE} /* ジ */, {0xBD, 0x20} /* ス */, {0xBD, 0xDE} /* ズ */, {0xBE, 0x20} /* セ */, {0xBE, 0xDE} /* ゼ */, {0xBF, 0x20} /* ソ */, {0xBF, 0xDE} /* ゾ */, {0xC0, 0x20} /* タ */, {0xC0, 0xDE} /* ダ */,
    /* 836_ */ {0xC1, 0x20} /* チ */, {0xC1, 0xDE} /* ヂ */, {0xAF, 0x20} /* ッ */, {0xC2, 0x20} /* ツ */, {0xC2, 0xDE} /* ヅ */, {0xC3, 0x20} /* テ */, {0xC3, 0xDE} /* デ */, {0xC4, 0x20} /* ト */, {0xC4, 0xDE} /* ド */, {0xC5, 0x20} /* ナ */, {0xC6, 0x20} /* ニ */, {0xC7, 0x20} /* ヌ */, {0xC8, 0x20} /* ネ */, {0xC9, 0x20} /* ノ */, {0xCA, 0x20} /* ハ */, {0xCA, 0xDE} /* バ */,
    /* 837_ */ {0xCA, 0xDF} /* パ */, {0xCB, 0x20} /* ヒ */, {0xCB, 0xDE} /* ビ */, {0xCB, 0xDF} /* ピ */, {0xCC, 0x20} /* フ */, {0xCC, 0xDE} /* ブ */, {0xCC, 0xDF} /* プ */, {0xCD, 0x20} /* ヘ */, {0xCD, 0xDE} /* ベ */, {0xCD, 0xDF} /* ペ */, {0xCE, 0x20} /* ホ */, {0xCE, 0xDE} /* ボ */, {0xCE, 0xDF} /* ポ */, {0xCF, 0x20} /* マ */, {0xD0, 0x20} /* ミ */, /* 837F: not a character */
    /* 838_ */ {0xD1, 0x20} /* ム */, {0xD2, 0x20} /* メ */, {0xD3, 0x20} /* モ */, {0xAC, 0x20} /* ャ */, {0xD4, 0x20} /* ヤ */, {0xAD, 0x20} /* ュ */, {0xD5, 0x20} /* ユ */, {0xAE, 0x20} /* ョ */, {0xD6, 0x20} /* ヨ */, {0xD7, 0x20} /* ラ */, {0xD8, 0x20} /* リ */, {0xD9, 0x20} /* ル */, {0xDA, 0x20} /* レ */, {0xDB, 0x20} /* ロ */, {0xDC, 0x20} /* ヮ */, {0xDC, 0x20} /* ワ */,
    /* 839_ */ {0xB4, 0x20} /* ヰ */, {0xB2, 0x20} /* ヱ */, {0xA6, 0x20} /* ヲ */, {0xDD, 0x20} /* ン */, {0xB3, 0xDE} /* ヴ */,
};

// Row by row: the full-width symbol ...
constexpr uint16_t kSymbolFull[kSymbolCount] = {
    0x8140,  //  0  ideographic space
    0x8142,  //  1  。
    0x8141,  //  2  、
    0x8149,  //  3  ！
    0x8168,  //  4  ”
    0x8194,  //  5  ＃
    0x8190,  //  6  ＄
    0x8193,  //  7  ％
    0x8195,  //  8  ＆
    0x8166,  //  9  ’
    0x8169,  // 10  （
    0x816A,  // 11  ）
    0x8196,  // 12  ＊
    0x817B,  // 13  ＋
    0x8143,  // 14  ，
    0x817C,  // 15  －
    0x8144,  // 16  ．
    0x815E,  // 17  ／
    0x8146,  // 18  ：
    0x8147,  // 19  ；
    0x8183,  // 20  ＜
    0x8181,  // 21  ＝
    0x8184,  // 22  ＞
    0x8148,  // 23  ？
    0x8197,  // 24  ＠
    0x816D,  // 25  ［
    0x818F,  // 26  ￥
    0x816E,  // 27  ］
    0x814F,  // 28  ＾
    0x8151,  // 29  ＿
    0x814D,  // 30  ｀
    0x816F,  // 31  ｛
    0x8162,  // 32  ｜
    0x8170,  // 33  ｝
    0x8160,  // 34  ～
};

// ... and its ASCII byte.
constexpr uint8_t kSymbolHalf[kSymbolCount] = {
    0x20,  //  0  space
    0x2E,  //  1  .
    0x2C,  //  2  ,
    0x21,  //  3  !
    0x22,  //  4  quotation mark
    0x23,  //  5  #
    0x24,  //  6  $
    0x25,  //  7  %
    0x26,  //  8  &
    0x27,  //  9  apostrophe
    0x28,  // 10  (
    0x29,  // 11  )
    0x2A,  // 12  *
    0x2B,  // 13  +
    0x2C,  // 14  ,
    0x2D,  // 15  -
    0x2E,  // 16  .
    0x2F,  // 17  /
    0x3A,  // 18  :
    0x3B,  // 19  ;
    0x3C,  // 20  <
    0x3D,  // 21  =
    0x3E,  // 22  >
    0x3F,  // 23  ?
    0x40,  // 24  @
    0x5B,  // 25  [
    0x5C,  // 26  backslash
    0x5D,  // 27  ]
    0x5E,  // 28  ^
    0x5F,  // 29  low line
    0x60,  // 30  grave accent
    0x7B,  // 31  {
    0x7C,  // 32  vertical line
    0x7D,  // 33  }
    0x7E,  // 34  ~
};

// ---- Derived lookups -------------------------------------------------------

namespace {

// kKanaFull code + step for every byte inside one of the ranges, 0 elsewhere.
template <int N>
constexpr std::array<uint16_t, kKanaFullCount> MakeKanaForms(const ByteRange (&ranges)[N], int step) {
    std::array<uint16_t, kKanaFullCount> forms{};
    for (const ByteRange& range : ranges) {
        for (int b = range.first; b <= range.last; ++b) {
            forms[b - kKanaFullBase] = static_cast<uint16_t>(kKanaFull[b - kKanaFullBase] + step);
        }
    }
    return forms;
}

constexpr std::array<std::array<uint8_t, 256>, 2> MakeAlnumHalfOf() {
    std::array<std::array<uint8_t, 256>, 2> map{};
    for (int row = kSymbolCount - 1; row >= 0; --row) {  // downwards, so the first row wins
        if ((kSymbolFull[row] >> 8) == 0x81) map[0][kSymbolFull[row] & 0xFF] = kSymbolHalf[row];
    }
    for (int b = 0x4F; b <= 0x58; ++b) map[1][b] = static_cast<uint8_t>(b - 0x1F);  // ０-９
    for (int b = 0x60; b <= 0x79; ++b) map[1][b] = static_cast<uint8_t>(b - 0x1F);  // Ａ-Ｚ
    for (int b = 0x81; b <= 0x9A; ++b) map[1][b] = static_cast<uint8_t>(b - 0x20);  // ａ-ｚ
    return map;
}

constexpr bool IsSymbolByte(int a) {
    return (a >= 0x20 && a <= 0x2F) || (a >= 0x3A && a <= 0x40) || (a >= 0x5B && a <= 0x60);
}

// ASCII digits and capitals -> 82 (a + 0x1F), small letters -> 82 (a + 0x20),
// the symbol bytes -> the full-width form of their first row in kSymbolHalf,
// lead bytes marked, every other byte kept.
constexpr std::array<AlnumFullForm, 256> MakeAlnumFullOf() {
    std::array<AlnumFullForm, 256> map{};
    for (int a = 0; a < 256; ++a) {
        AlnumFullForm& f = map[a];
        f = {{static_cast<uint8_t>(a), 0}, 1};
        if (IsSymbolByte(a)) {
            f.len = 0xFF;  // must be found below
            for (int row = 0; row < kSymbolCount; ++row) {
                if (kSymbolHalf[row] == a) {
                    f = {{static_cast<uint8_t>(kSymbolFull[row] >> 8), static_cast<uint8_t>(kSymbolFull[row] & 0xFF)}, 2};
                    break;
                }
            }
        } else if ((a >= 0x30 && a <= 0x39) || (a >= 0x41 && a <= 0x5A)) {
            f = {{0x82, static_cast<uint8_t>(a + 0x1F)}, 2};
        } else if (a >= 0x61 && a <= 0x7A) {
            f = {{0x82, static_cast<uint8_t>(a + 0x20)}, 2};
        } else if (IsLeadByte(a)) {
            f = {{static_cast<uint8_t>(a), 0}, 0};
        }
    }
    return map;
}

constexpr bool EverySymbolByteHasARow(const std::array<AlnumFullForm, 256>& map) {
    for (int a = 0; a < 256; ++a) {
        if (IsSymbolByte(a) && map[a].len != 2) return false;
    }
    return true;
}

constexpr AlnumFullShuffles MakeAlnumFullShuffles(const std::array<AlnumFullForm, 256>& map) {
    AlnumFullShuffles t{};
    for (int i = 0; i < 32; ++i) {
        const int k = i % 16;
        t.from20[i] = map[0x20 + k].out[1];
        t.from3A[i] = k < 7 ? map[0x3A + k].out[1] : k < 13 ? map[0x54 + k].out[1] : 0;
    }
    for (int kept = 0; kept < 256; ++kept) {
        int n = 0;
        for (int j = 0; j < 8; ++j) {
            if (!((kept >> j) & 1)) t.keep[kept][n++] = static_cast<uint8_t>(2 * j);
            t.keep[kept][n++] = static_cast<uint8_t>(2 * j + 1);
        }
        while (n < 16) t.keep[kept][n++] = 0x80;
    }
    return t;
}

}  // namespace

constexpr std::array<uint16_t, kKanaFullCount> kKanaFullVoiced = MakeKanaForms(kKanaVoicedRanges, 1);
constexpr std::array<uint16_t, kKanaFullCount> kKanaFullSemiVoiced = MakeKanaForms(kKanaSemiVoicedRanges, 2);
constexpr std::array<std::array<uint8_t, 256>, 2> kAlnumHalfOf = MakeAlnumHalfOf();
constexpr std::array<AlnumFullForm, 256> kAlnumFullOf = MakeAlnumFullOf();
constexpr AlnumFullShuffles kAlnumFullShuffles = MakeAlnumFullShuffles(kAlnumFullOf);

static_assert(EverySymbolByteHasARow(kAlnumFullOf), "a symbol byte without a row in kSymbolHalf");
static_assert(kKanaFullVoiced[0xB6 - kKanaFullBase] == 0x834B && kKanaFullVoiced[0xC4 - kKanaFullBase] == 0x8368 &&
              kKanaFullVoiced[0xB3 - kKanaFullBase] == 0);
static_assert(kKanaFullSemiVoiced[0xCA - kKanaFullBase] == 0x8370 && kKanaFullSemiVoiced[0xCE - kKanaFullBase] == 0x837C);

}  // namespace morvel
