// The width foldings byte by byte, straight from their rules: read with
// ReadByte until -1, write with Append, look characters up in the literal
// tables (the symbol tables by a linear search from row 0).
#include "engine/reference/reference.h"
#include "engine/internal/width_tables.h"

namespace morvel::reference {
namespace {

bool InRanges(const ByteRange* ranges, int count, int b) {
    for (int i = 0; i < count; ++i) {
        if (b >= ranges[i].first && b <= ranges[i].last) return true;
    }
    return false;
}

void AppendCode(CByteStream& dst, int code) {
    dst.Append(static_cast<uint8_t>(code >> 8));
    dst.Append(static_cast<uint8_t>(code & 0xFF));
}

int FullOf(int g) { return kKanaFull[g - kKanaFullBase]; }

}  // namespace

void KanaToFullWidth(CByteStream& src, CByteStream& dst) {
    int g = src.ReadByte();
    while (g != -1) {
        if (g >= kHalfKanaFirst && g <= kHalfKanaLast) {
            const int h = src.ReadByte();
            if (h == -1) {
                AppendCode(dst, FullOf(g));
                break;
            }
            if (h == kVoicedMark) {
                if (InRanges(kKanaVoicedRanges, kKanaVoicedRangeCount, g)) {
                    AppendCode(dst, FullOf(g) + 1);
                } else {
                    AppendCode(dst, FullOf(g));
                    AppendCode(dst, kFullVoicedMark);
                }
            } else if (h == kSemiVoicedMark) {
                if (InRanges(kKanaSemiVoicedRanges, kKanaSemiVoicedRangeCount, g)) {
                    AppendCode(dst, FullOf(g) + 2);
                } else {
                    AppendCode(dst, FullOf(g));
                    AppendCode(dst, kFullSemiVoicedMark);
                }
            } else {
                AppendCode(dst, FullOf(g));
                g = h;  // the next character, already read
                continue;
            }
        } else if (IsLeadByte(g)) {
            const int t = src.ReadByte();
            dst.Append(static_cast<uint8_t>(g));
            if (t != -1) dst.Append(static_cast<uint8_t>(t));
        } else {
            dst.Append(static_cast<uint8_t>(g));
        }
        g = src.ReadByte();
    }
    dst.Append(0x00);
}

void KanaToHalfWidth(CByteStream& src, CByteStream& dst) {
    for (int a = src.ReadByte(); a != -1; a = src.ReadByte()) {
        if (!IsLeadByte(a)) {
            dst.Append(static_cast<uint8_t>(a));
            continue;
        }
        const int b = src.ReadByte();
        if (b == -1) break;  // the lone lead byte is dropped
        if (a == 0x83 && b >= kKanaHalfTrailFirst && b <= kKanaHalfTrailLast) {
            const uint8_t* half = kKanaHalf[KanaHalfIndex(b)];
            dst.Append(half[0]);
            if (half[1] != kKanaHalfNone) dst.Append(half[1]);
        } else if (a == 0x81 && b == 0x5B) {
            dst.Append(kHalfLongVowel);
        } else {
            dst.Append(static_cast<uint8_t>(a));
            dst.Append(static_cast<uint8_t>(b));
        }
    }
    dst.Append(0x00);
}

void AlnumToHalfWidth(CByteStream& src, CByteStream& dst) {
    for (int a = src.ReadByte(); a != -1; a = src.ReadByte()) {
        if (a == 0x81) {
            const int b = src.ReadByte();
            int row = -1;
            if (b >= 0x40 && b <= 0x97) {
                for (int r = 0; r < kSymbolCount && row < 0; ++r) {
                    if (kSymbolFull[r] == 0x8100 + b) row = r;
                }
            }
            if (row >= 0) {
                dst.Append(kSymbolHalf[row]);
            } else {
                dst.Append(0x81);
                if (b != -1) dst.Append(static_cast<uint8_t>(b));
            }
        } else if (a == 0x82) {
            const int b = src.ReadByte();
            if ((b >= 0x4F && b <= 0x58) || (b >= 0x60 && b <= 0x79)) {
                dst.Append(static_cast<uint8_t>(b - 0x1F));
            } else if (b >= 0x81 && b <= 0x9A) {
                dst.Append(static_cast<uint8_t>(b - 0x20));
            } else {
                dst.Append(0x82);
                if (b != -1) dst.Append(static_cast<uint8_t>(b));
            }
        } else if (IsLeadByte(a)) {
            const int b = src.ReadByte();
            dst.Append(static_cast<uint8_t>(a));
            if (b != -1) dst.Append(static_cast<uint8_t>(b));
        } else {
            dst.Append(static_cast<uint8_t>(a));
        }
    }
    dst.Append(0x00);
}

void AlnumToFullWidth(CByteStream& src, CByteStream& dst) {
    for (int a = src.ReadByte(); a != -1; a = src.ReadByte()) {
        if ((a >= 0x20 && a <= 0x2F) || (a >= 0x3A && a <= 0x40) || (a >= 0x5B && a <= 0x60)) {
            int row = 0;
            while (kSymbolHalf[row] != a) ++row;  // every such byte has a row
            AppendCode(dst, kSymbolFull[row]);
        } else if ((a >= 0x30 && a <= 0x39) || (a >= 0x41 && a <= 0x5A)) {
            dst.Append(0x82);
            dst.Append(static_cast<uint8_t>(a + 0x1F));
        } else if (a >= 0x61 && a <= 0x7A) {
            dst.Append(0x82);
            dst.Append(static_cast<uint8_t>(a + 0x20));
        } else if (IsLeadByte(a)) {
            const int b = src.ReadByte();
            dst.Append(static_cast<uint8_t>(a));
            if (b != -1) dst.Append(static_cast<uint8_t>(b));
        } else {
            dst.Append(static_cast<uint8_t>(a));
        }
    }
    dst.Append(0x00);
}

}  // namespace morvel::reference
