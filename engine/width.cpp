// The four width foldings on Shift-JIS text, as resumable cores.
//
// Where a folding leaves bytes below 0x80 as they are, it copies eight bytes
// at a time every word in which no character it changes starts. A lead byte
// always takes the next byte of the text with it. A unit that the end of a
// piece cuts short (a lead byte, or a half-width katakana that a mark may
// follow) is left for the next piece; at the end of the text it goes by the
// end-of-text rules.
#include <array>
#include <bit>
#include <cstdint>

#include "engine/engine.h"
#include "engine/internal/chunked.h"
#include "engine/internal/converters.h"
#include "engine/internal/width_tables.h"

#define MORVEL_KERNEL_FILE "engine/internal/width_blocks.inc"
#include "engine/internal/kernel_file.h"

namespace morvel {
namespace internal {
namespace {

// The kernels of engine/internal/width_blocks.inc at the widest level in
// force; each stops a block and a byte before the end.
constexpr auto KanaFullVector = RunBlocks<MORVEL_WIDE(KanaFullBlocks), MORVEL_NARROW(KanaFullBlocks), 32>;
constexpr auto KanaHalfVector = RunBlocks<MORVEL_WIDE(KanaHalfBlocks), MORVEL_NARROW(KanaHalfBlocks), 32>;
constexpr auto AlnumHalfVector = RunBlocks<MORVEL_WIDE(AlnumHalfBlocks), MORVEL_NARROW(AlnumHalfBlocks), 32>;
// Widening ASCII a block at a time needs byte shuffles (32-byte blocks).
constexpr auto AlnumFullVector = RunBlocks<MORVEL_WIDE(AlnumFullBlocks), nullptr, 32>;

inline void Put16(uint8_t*& o, uint16_t code) {
    o[0] = static_cast<uint8_t>(code >> 8);
    o[1] = static_cast<uint8_t>(code);
    o += 2;
}

constexpr bool IsHalfKana(unsigned b) { return b - kHalfKanaFirst <= unsigned{kHalfKanaLast - kHalfKanaFirst}; }

// ---- Eight bytes at a time ------------------------------------------------
//
// The foldings change only a few kinds of character; everything else is
// copied. A word of eight bytes is copied whole when no character that
// starts in it is one the folding changes. Where the characters start
// follows from which bytes are lead bytes: kWordUnits gives, for the lead
// bytes of a word (one bit per byte) and a character starting at byte 0,
// the bytes at which characters start and how far the word's last character
// reaches (8, or 9 when the last byte is a lead byte whose trail is the
// first byte of the next word).

// Bit 7 of each byte of x, gathered into the low 8 bits (byte i -> bit i).
inline unsigned GatherHigh(uint64_t flags) {
    return static_cast<unsigned>((((flags & kHigh) >> 7) * 0x0102040810204080ULL) >> 56);
}

// Bit 7 set in each byte of a word of 7-bit values y that is above n; exact
// for every byte (no carry leaves a byte).
inline uint64_t Above(uint64_t y, uint8_t n) { return (y + kOnes * static_cast<uint8_t>(0x7F - n)) & kHigh; }

// Bit 7 set in each byte of x in [first, last]; both of the same high bit.
inline uint64_t InRange(uint64_t x, uint8_t first, uint8_t last) {
    const uint64_t y = x & ~kHigh;
    const uint64_t high = (first & 0x80) ? x & kHigh : ~x & kHigh;
    return high & Above(y, static_cast<uint8_t>((first & 0x7F) - 1)) & ~Above(y, last & 0x7F);
}

// Lead bytes 0x81-0x9F and 0xE0-0xFC.
inline uint64_t LeadBytes(uint64_t x) { return InRange(x, 0x81, 0x9F) | InRange(x, 0xE0, 0xFC); }

struct WordUnits {
    uint8_t starts;   // bit i: a character starts at byte i
    uint8_t advance;  // where the character after the word's last one starts
};

constexpr std::array<WordUnits, 256> MakeWordUnits() {
    std::array<WordUnits, 256> table{};
    for (int leads = 0; leads < 256; ++leads) {
        int i = 0;
        int starts = 0;
        while (i < 8) {
            starts |= 1 << i;
            i += (leads >> i) & 1 ? 2 : 1;
        }
        table[leads] = {static_cast<uint8_t>(starts), static_cast<uint8_t>(i)};
    }
    return table;
}

constexpr std::array<WordUnits, 256> kWordUnits = MakeWordUnits();

// The loop of the foldings but AlnumToFullWidth. While nine bytes remain (a
// word and the trail its last byte may take): Changed(v, w) flags the bytes
// of the word v that start a character the folding changes, w being the word
// one byte further on (so the byte after each one). A word whose characters
// the folding leaves alone is copied whole; otherwise the characters before
// the first one to change are copied and that one and the characters up to
// the next ASCII byte go through FoldUnit. The last bytes go character by
// character: ASCII copied, the rest through FoldUnit, which returns false
// (and consumes nothing) for a unit that `e` cuts short when the text goes
// on; the loop then stops in front of it.
// The word stores may reach past the bytes they add; that stays inside the
// room because every folding writes at most kGrowth bytes per input byte, so
// at least nine bytes of room are left while nine bytes of input are.
// Where the vector level allows, `blocks` copies 16 or 32 bytes at a step
// up to the next character the folding changes.
template <bool kVectors, class Changed, class FoldUnit>
inline const uint8_t* FoldTextAt(VectorLevel level, const uint8_t* p, const uint8_t* const e, bool final,
                                 uint8_t*& out, Changed changed, FoldUnit fold, BlockKernelAt blocks) {
    uint8_t* o = out;
    while (e - p >= 9) {
        if constexpr (kVectors) {
            if (e - p > 16) {
                p = blocks(level, p, e, o);
                if (e - p < 9) break;
            }
        }
        const uint64_t v = Load64(p);
        Store64(o, v);
        if ((v & kHigh) == 0) {
            p += 8;
            o += 8;
            continue;
        }
        const WordUnits units = kWordUnits[GatherHigh(LeadBytes(v))];
        const unsigned hits = GatherHigh(changed(v, Load64(p + 1))) & units.starts;
        if (hits == 0) {
            o[8] = p[8];
            p += units.advance;
            o += units.advance;
            continue;
        }
        const unsigned k = static_cast<unsigned>(std::countr_zero(hits));
        p += k;
        o += k;
        // Changed characters tend to come in runs (katakana words): go on
        // character by character up to the next ASCII byte.
        do {
            if (!fold(p, e, final, o)) {
                out = o;
                return p;
            }
        } while (p < e && *p >= 0x80);
    }
    while (p < e) {
        if (*p < 0x80) {
            *o++ = *p++;
        } else if (!fold(p, e, final, o)) {
            break;
        }
    }
    out = o;
    return p;
}

template <class Changed, class FoldUnit>
inline const uint8_t* FoldText(const uint8_t* p, const uint8_t* const e, bool final, uint8_t*& out, Changed changed,
                               FoldUnit fold, BlockKernelAt blocks) {
    const VectorLevel level = CurrentVectorLevel();
    return level == VectorLevel::Scalar ? FoldTextAt<false>(level, p, e, final, out, changed, fold, blocks)
                                        : FoldTextAt<true>(level, p, e, final, out, changed, fold, blocks);
}

// One unit of KanaToFullWidth from a byte 0x80 or above at p.
inline bool KanaFullUnit(const uint8_t*& p, const uint8_t* e, bool final, uint8_t*& o) {
    const unsigned g = *p;
    if (IsHalfKana(g)) {
        const int i = static_cast<int>(g) - kKanaFullBase;
        if (e - p >= 2) {
            const unsigned h = p[1];
            if (h == kVoicedMark) {
                if (kKanaFullVoiced[i] != 0) {
                    Put16(o, kKanaFullVoiced[i]);
                } else {
                    Put16(o, kKanaFull[i]);
                    Put16(o, kFullVoicedMark);
                }
                p += 2;
                return true;
            }
            if (h == kSemiVoicedMark) {
                if (kKanaFullSemiVoiced[i] != 0) {
                    Put16(o, kKanaFullSemiVoiced[i]);
                } else {
                    Put16(o, kKanaFull[i]);
                    Put16(o, kFullSemiVoicedMark);
                }
                p += 2;
                return true;
            }
        } else if (!final) {
            return false;  // a mark may yet follow
        }
        // Any other next byte is a character of its own: fold this one and
        // look at that byte afresh.
        Put16(o, kKanaFull[i]);
        p += 1;
    } else if (IsLeadByte(static_cast<int>(g))) {
        if (e - p < 2) {
            if (!final) return false;
            *o++ = *p++;  // a lead byte that ends the text
            return true;
        }
        o[0] = p[0];
        o[1] = p[1];
        o += 2;
        p += 2;
    } else {
        *o++ = *p++;
    }
    return true;
}

// The bytes that start a character KanaToFullWidth changes: ｡ to ﾟ.
inline uint64_t KanaFullChanged(uint64_t v, uint64_t) { return InRange(v, kHalfKanaFirst, kHalfKanaLast); }

// One unit of KanaToHalfWidth from a byte 0x80 or above at p.
inline bool KanaHalfUnit(const uint8_t*& p, const uint8_t* e, bool final, uint8_t*& o) {
    const unsigned a = *p;
    if (!IsLeadByte(static_cast<int>(a))) {
        *o++ = *p++;
        return true;
    }
    if (e - p < 2) {
        if (!final) return false;
        p += 1;  // a lead byte that ends the text is dropped
        return true;
    }
    KanaHalfPairs(p, e, o);
    return true;
}

// The characters KanaToHalfWidth changes: 83 40 - 83 94 and 81 5B (ー).
inline uint64_t KanaHalfChanged(uint64_t v, uint64_t next) {
    return (InRange(v, 0x83, 0x83) & (InRange(next, 0x40, 0x7F) | InRange(next, 0x80, 0x94))) |
           (InRange(v, 0x81, 0x81) & InRange(next, 0x5B, 0x5B));
}

// What AlnumToHalfWidth makes of the pair a b: an ASCII byte, or 0.
inline uint8_t AlnumHalfOf(unsigned a, unsigned b) { return a - 0x81u < 2u ? kAlnumHalfOf[a - 0x81u][b] : 0; }

// One unit of AlnumToHalfWidth from a byte 0x80 or above at p.
inline bool AlnumHalfUnit(const uint8_t*& p, const uint8_t* e, bool final, uint8_t*& o) {
    const unsigned a = *p;
    if (!IsLeadByte(static_cast<int>(a))) {
        *o++ = *p++;
        return true;
    }
    if (e - p < 2) {
        if (!final) return false;
        *o++ = *p++;  // a lead byte that ends the text
        return true;
    }
    uint8_t half = AlnumHalfOf(a, p[1]);
    if (half == 0) {
        o[0] = static_cast<uint8_t>(a);
        o[1] = p[1];
        o += 2;
        p += 2;
        return true;
    }
    // Full-width letters, digits and symbols come in runs (a field written
    // in full width): the pairs that fold go one after another, with no
    // branch between the two rows.
    do {
        *o++ = half;
        p += 2;
    } while (e - p >= 2 && (half = AlnumHalfOf(p[0], p[1])) != 0);
    return true;
}

// The characters AlnumToHalfWidth may change: 81 40 - 81 97 (the rows of
// kSymbolFull lie there) and the full-width digits and letters 82 4F - 82 58,
// 82 60 - 82 79, 82 81 - 82 9A.
inline uint64_t AlnumHalfChanged(uint64_t v, uint64_t next) {
    return (InRange(v, 0x81, 0x81) & (InRange(next, 0x40, 0x7F) | InRange(next, 0x80, 0x97))) |
           (InRange(v, 0x82, 0x82) &
            (InRange(next, 0x4F, 0x58) | InRange(next, 0x60, 0x79) | InRange(next, 0x81, 0x9A)));
}

// Every core leaves at most a lead byte or a half-width katakana unread and
// closes the text with its terminator 0x00.
struct WidthCoreBase : ZeroClosedCore<TextEnd::Bytewise> {
    static constexpr int64_t kMaxCarry = 1;
};

struct KanaToFullWidthCore : WidthCoreBase {
    // A half-width byte becomes one full-width character; a byte and its
    // mark become at most two.
    static constexpr int64_t kGrowth = 2;

    const uint8_t* Run(const uint8_t* p, const uint8_t* end, bool final, uint8_t*& o) {
        return FoldText(p, end, final, o, KanaFullChanged, KanaFullUnit, KanaFullVector);
    }
};

struct KanaToHalfWidthCore : WidthCoreBase {
    static constexpr int64_t kGrowth = 1;  // never more bytes than read

    const uint8_t* Run(const uint8_t* p, const uint8_t* end, bool final, uint8_t*& o) {
        return FoldText(p, end, final, o, KanaHalfChanged, KanaHalfUnit, KanaHalfVector);
    }
};

struct AlnumToHalfWidthCore : WidthCoreBase {
    static constexpr int64_t kGrowth = 1;  // never more bytes than read

    const uint8_t* Run(const uint8_t* p, const uint8_t* end, bool final, uint8_t*& o) {
        return FoldText(p, end, final, o, AlnumHalfChanged, AlnumHalfUnit, AlnumHalfVector);
    }
};

// Every byte goes through kAlnumFullOf, which says what it becomes; only lead
// bytes need more.
struct AlnumToFullWidthCore : WidthCoreBase {
    static constexpr int64_t kGrowth = 2;

    const uint8_t* Run(const uint8_t* p, const uint8_t* end, bool final, uint8_t*& out) {
        return RunAtLevel(*this, p, end, final, out);
    }

    template <bool kVectors>
    const uint8_t* RunAt(VectorLevel level, const uint8_t* p, const uint8_t* end, bool final, uint8_t*& out) {
        uint8_t* o = out;
        while (p < end) {
            if constexpr (kVectors) {
                if (level >= VectorLevel::Avx2 && end - p > 16) {
                    p = AlnumFullVector(level, p, end, o);  // all but the last block and byte
                    if (p == end) break;
                }
            }
            const AlnumFullForm& f = kAlnumFullOf[*p];
            if (f.len != 0) {
                o[0] = f.out[0];
                o[1] = f.out[1];
                o += f.len;
                p += 1;
            } else if (end - p >= 2) {
                o[0] = p[0];
                o[1] = p[1];
                o += 2;
                p += 2;
            } else {
                if (!final) break;
                *o++ = *p++;  // a lead byte that ends the text
            }
        }
        out = o;
        return p;
    }
};

}  // namespace

std::unique_ptr<CChunkConverter> NewKanaToFullWidth() { return std::make_unique<Chunked<KanaToFullWidthCore>>(); }
std::unique_ptr<CChunkConverter> NewKanaToHalfWidth() { return std::make_unique<Chunked<KanaToHalfWidthCore>>(); }
std::unique_ptr<CChunkConverter> NewAlnumToHalfWidth() { return std::make_unique<Chunked<AlnumToHalfWidthCore>>(); }
std::unique_ptr<CChunkConverter> NewAlnumToFullWidth() { return std::make_unique<Chunked<AlnumToFullWidthCore>>(); }

}  // namespace internal

void KanaToFullWidth(CByteStream& src, CByteStream& dst) {
    internal::RunWholeText<internal::KanaToFullWidthCore>(src, dst);
}
void KanaToHalfWidth(CByteStream& src, CByteStream& dst) {
    internal::RunWholeText<internal::KanaToHalfWidthCore>(src, dst);
}
void AlnumToHalfWidth(CByteStream& src, CByteStream& dst) {
    internal::RunWholeText<internal::AlnumToHalfWidthCore>(src, dst);
}
void AlnumToFullWidth(CByteStream& src, CByteStream& dst) {
    internal::RunWholeText<internal::AlnumToFullWidthCore>(src, dst);
}

}  // namespace morvel
