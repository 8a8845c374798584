// Encoding detection: byte-order marks first, then four counting passes (JIS,
// Shift-JIS, EUC-JP, UTF-8) over at most 65,536 units each, decided by a
// fixed order of rules. Two rules stand among those of the counts:
//
// - Ahead of all of them: a text that is well-formed UTF-8 and holds at least
//   one multi-byte sequence is UTF-8. On Linux nearly every text is UTF-8, and
//   without that rule the counting passes take UTF-8 Japanese for Shift-JIS
//   (E3 81 is a valid Shift-JIS pair).
// - After the JIS rules, before the counts are compared: a text that is
//   well-formed in exactly one of Shift-JIS and EUC-JP is in that one. The
//   counts alone take Shift-JIS half-width katakana (single bytes A1-DF) for
//   EUC-JP pairs, and the EUC-JP pass reads on over bytes that EUC-JP never
//   holds (0x89, 0x93, ...) until it finds a partner; the Shift-JIS pass in
//   turn counts any byte after a lead as a trail (E5 2C).
//
// The two byte grammars:
// - Shift-JIS (code page 932): a lead 81-9F or E0-FC takes a trail 40-7E or
//   80-FC; every other byte stands alone: 00-7F, the half-width katakana
//   A1-DF, and 80, A0, FD-FF, which the code-page layer maps to U+0080 and
//   U+F8F0-U+F8F3 like any character.
// - EUC-JP: 00-7F; A1-FE A1-FE; 8E A1-DF (half-width katakana); 8F A1-FE
//   A1-FE (JIS X 0212, which the EUC-JP decoder reads as its JIS X 0208
//   pair). 80-8D, 90-A0 and FF never occur.
// Each grammar is checked inside the counting pass of its encoding, over
// exactly the units that pass reads: up to the first fault, a unit of the
// grammar is one unit of the pass (8F and its pair are two). A unit cut
// short by the end of the text or by the unit limit leaves the text
// well-formed: what detection sees is often the head of a longer text, cut
// inside a character.
//
// Every pass reads from byte 0 up to the first 0x00 or 0x1A, as
// CByteStream::ReadByte does. That end is found once, within the first
// kDetectionHeadBytes bytes (the most any pass can read); the passes then
// read plain memory: the Shift-JIS and EUC-JP passes 64 bytes at a step
// where no pair needs a retry, the JIS and UTF-8 passes skip ASCII a word at
// a time. A pass runs only while a rule still needs it: well-formed UTF-8
// decides before any pass, the first JIS fault ends the JIS pass, the EUC-JP
// pass stops at its first fault when the text is well-formed Shift-JIS, and
// the UTF-8 pass runs only when no other count decides. The read position
// is left where the last pass that ran stopped.
#include <bit>

#include "engine/engine.h"
#include "engine/internal/scan.h"

#define MORVEL_KERNEL_FILE "engine/internal/detect_blocks.inc"
#include "engine/internal/kernel_file.h"

namespace morvel {

namespace {

using internal::kHigh;

constexpr int64_t kUnitLimit = 0x10000;
// The Shift-JIS and EUC-JP passes may try one lead byte against trail after
// trail; such retries stop at this many bytes from the start. Every unit
// that starts later is at most two bytes long, so those passes read at most
// 3 x 65,536 bytes, the JIS pass 3 x 65,536 + 1 (escapes), and the UTF-8
// pass, the farthest, 4 x 65,536 + 1: kDetectionHeadBytes.
constexpr int64_t kByteWindow = 0x10000;

// Reads like CByteStream::ReadByte over the text [0, end), without touching
// the stream until the detection is over.
struct Cursor {
    const uint8_t* data;
    int64_t end;  // the text's first 0x00 or 0x1A, or where reading stops
    int64_t pos;
    VectorLevel level;  // Scalar: words of 8 bytes; else the kernels of detect_blocks.inc

    int Read() { return pos < end ? data[pos++] : -1; }

    // Whether eight more bytes of the text follow, and so Word() may load.
    bool WordAhead() const { return end - pos >= 8; }
    uint64_t Word() const { return internal::Load64(data + pos); }
};

// ---- The kernels of engine/internal/detect_blocks.inc at a level above Scalar

// How many of the n bytes at p are no ESC, SO or SI before the first that is
// (whole blocks only).
int64_t PlainJisBytes([[maybe_unused]] VectorLevel level, [[maybe_unused]] const uint8_t* p,
                      [[maybe_unused]] int64_t n) {
    int64_t i = 0;
#if MORVEL_AVX2
    if (level >= VectorLevel::Avx2) i = internal::v256::PlainJisBytes(p, n);
#endif
#if MORVEL_SSE2
    i += internal::v128::PlainJisBytes(p + i, n - i);
#endif
    return i;
}

// How many of the n bytes at p are ASCII before the first that is not (whole
// blocks only).
int64_t AsciiBytes([[maybe_unused]] VectorLevel level, [[maybe_unused]] const uint8_t* p,
                   [[maybe_unused]] int64_t n) {
    int64_t i = 0;
#if MORVEL_AVX2
    if (level >= VectorLevel::Avx2) i = internal::v256::AsciiBytes(p, n);
#endif
#if MORVEL_SSE2
    i += internal::v128::AsciiBytes(p + i, n - i);
#endif
    return i;
}

// Reads like CByteStream::ReadByte over the whole stream from any position:
// only for the UTF-16 mark, which is read from where the caller left it.
int ReadStreamByte(const uint8_t* data, int64_t size, int64_t& pos) {
    if (pos < 0 || pos >= size) return -1;
    const uint8_t c = data[pos];
    if (c == 0x00 || c == 0x1A) return -1;
    ++pos;
    return c;
}

constexpr bool IsSjisLead(int c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
constexpr bool IsSjisTrail(int t) { return t >= 0x40 && t <= 0xFC && t != 0x7F; }
constexpr bool IsEucByte(int t) { return t >= 0xA1 && t <= 0xFE; }

// ---- Byte classes a word at a time ----------------------------------------
//
// Each test below flags bytes of a little-endian word in their bit 7; Gather
// packs those flags into one bit a byte. All are exact (no borrows cross
// from byte to byte).

using internal::kOnes;

// Bytes whose low seven bits are at least n (n at most 0x80).
constexpr uint64_t Low7AtLeast(uint64_t x, unsigned n) { return ((x & ~kHigh) + kOnes * (0x80 - n)) & kHigh; }

// Bytes in [lo, hi], where lo and hi lie on the same side of 0x80.
constexpr uint64_t InRange(uint64_t x, unsigned lo, unsigned hi) {
    const uint64_t top = (lo & 0x80) ? x & kHigh : ~x & kHigh;
    return top & Low7AtLeast(x, lo & 0x7F) & ~Low7AtLeast(x, (hi & 0x7F) + 1);
}

// Bit i of the result is bit 7 of byte i.
constexpr unsigned Gather(uint64_t flags) { return static_cast<unsigned>(((flags >> 7) * 0x0102040810204080ULL) >> 56); }

// Shift-JIS lead bytes: 81-9F, E0-FC.
constexpr uint64_t SjisLeads(uint64_t x) { return InRange(x, 0x81, 0x9F) | InRange(x, 0xE0, 0xFC); }
// Bytes that are no Shift-JIS trail: 00-3F, 7F, FD-FF.
constexpr uint64_t SjisBadTrails(uint64_t x) {
    return InRange(x, 0x00, 0x3F) | InRange(x, 0x7F, 0x7F) | InRange(x, 0xFD, 0xFF);
}
// EUC-JP code set 1 bytes: A1-FE.
constexpr uint64_t EucBytes(uint64_t x) { return InRange(x, 0xA1, 0xFE); }

// The word tests agree with the byte tests for every byte in every place.
constexpr bool WordTestsAgree() {
    for (int place = 0; place < 8; ++place) {
        for (int c = 0; c < 256; ++c) {
            const uint64_t x = (0x4141414141414141ULL & ~(uint64_t{0xFF} << (8 * place))) | uint64_t(c) << (8 * place);
            const unsigned bit = 1u << place;
            if ((Gather(SjisLeads(x)) != (IsSjisLead(c) ? bit : 0)) ||
                (Gather(SjisBadTrails(x)) != (IsSjisTrail(c) ? 0 : bit)) ||
                (Gather(EucBytes(x)) != (IsEucByte(c) ? bit : 0)))
                return false;
        }
    }
    return true;
}
static_assert(WordTestsAgree());

// A block: 64 bytes taken as 64 units or fewer in one step. Its masks have
// bit i for byte i.
constexpr int64_t kBlock = 64;
// After blocks in a row that need a second look, the passes go unit by unit
// over up to this many bytes before they try a block again.
constexpr int64_t kMaxStretch = 4096;

struct BlockMasks {
    uint64_t a = 0;
    uint64_t b = 0;
};

template <class TestA, class TestB>
BlockMasks Masks(const uint8_t* p, TestA testA, TestB testB) {
    BlockMasks m;
    for (int k = 0; k < 8; ++k) {
        const uint64_t x = internal::Load64(p + 8 * k);
        m.a |= uint64_t{Gather(testA(x))} << (8 * k);
        m.b |= uint64_t{Gather(testB(x))} << (8 * k);
    }
    return m;
}

// The same masks as Masks(p, SjisLeads, SjisBadTrails) and Masks(p,
// EucBytes, high bytes), by the kernels where the level allows.
BlockMasks SjisMasks([[maybe_unused]] VectorLevel level, const uint8_t* p) {
    BlockMasks m;
#if MORVEL_AVX2
    if (level >= VectorLevel::Avx2) {
        internal::v256::SjisBlockBits(p, m.a, m.b);
        return m;
    }
#endif
#if MORVEL_SSE2
    if (level >= VectorLevel::Sse2) {
        internal::v128::SjisBlockBits(p, m.a, m.b);
        return m;
    }
#endif
    return Masks(p, SjisLeads, SjisBadTrails);
}

BlockMasks EucMasks([[maybe_unused]] VectorLevel level, const uint8_t* p) {
    BlockMasks m;
#if MORVEL_AVX2
    if (level >= VectorLevel::Avx2) {
        internal::v256::EucBlockBits(p, m.a, m.b);
        return m;
    }
#endif
#if MORVEL_SSE2
    if (level >= VectorLevel::Sse2) {
        internal::v128::EucBlockBits(p, m.a, m.b);
        return m;
    }
#endif
    return Masks(p, EucBytes, [](uint64_t x) { return x & kHigh; });
}

struct JisCounts {
    int64_t faults = 0;
    bool designated = false;
    int64_t endPos = 0;  // where the pass stopped reading
};

// Bytes that change the state of the JIS pass: ESC, SO, SI.
uint64_t JisSwitches(uint64_t x) {
    return internal::BytesEqual(x, 0x1B) | internal::BytesEqual(x, 0x0E) | internal::BytesEqual(x, 0x0F);
}

JisCounts JisPass(Cursor cur, int64_t limit) {
    enum class State { Ascii, Kana, Kanji } state = State::Ascii;
    JisCounts r;
    for (int64_t units = 0;; ++units) {
        // In ASCII state every byte but ESC, SO and SI is one accepted unit.
        if (state == State::Ascii) {
            // (After a fault only the words below run, as at level Scalar, so
            // that the pass stops reading at the same byte.)
            if (cur.level != VectorLevel::Scalar && r.faults == 0) {
                const int64_t n = limit - units < cur.end - cur.pos ? limit - units : cur.end - cur.pos;
                const int64_t plain = PlainJisBytes(cur.level, cur.data + cur.pos, n);
                cur.pos += plain;
                units += plain;
            }
            while (limit - units >= 8 && cur.WordAhead() && JisSwitches(cur.Word()) == 0) {
                cur.pos += 8;
                units += 8;
            }
        }
        const int c = cur.Read();
        if (c == -1 || units == limit || r.faults > 0) break;  // one fault decides
        if (c == 0x1B) {
            const int d = cur.Read();
            if (d != '$' && d != '(') {
                ++r.faults;
                continue;
            }
            const int e = cur.Read();
            if (e == -1) {
                ++r.faults;
            } else if (d == '$' && (e == '@' || e == 'B')) {
                state = State::Kanji;
                r.designated = true;
            } else if (d == '(' && e == 'I') {
                state = State::Kana;
                r.designated = true;
            } else if (d == '(' && (e == 'B' || e == 'J')) {
                state = State::Ascii;
                r.designated = true;
            }
        } else if (c == 0x0E) {
            state = State::Kana;
        } else if (c == 0x0F) {
            state = State::Ascii;
        } else if (state == State::Kanji) {
            const int d = cur.Read();
            if (d == -1 || c < 0x21 || c > 0x7E || d < 0x21 || d > 0x7E) ++r.faults;
        } else if (state == State::Kana) {
            // 8-bit half-width katakana are accepted here, as the JIS decoder
            // takes them in every state.
            const bool sevenBit = c >= 0x21 && c <= 0x5F;
            const bool eightBit = c >= 0xA1 && c <= 0xDF;
            if (!sevenBit && !eightBit) ++r.faults;
        }
    }
    r.endPos = cur.pos;
    return r;
}

struct PairCounts {
    int64_t valid = 0;
    int64_t invalid = 0;
    bool wellFormed = true;  // in the byte grammar of the pass's encoding
    int64_t endPos = 0;      // where the pass stopped reading
};

// The trail of a Shift-JIS lead c that has just been read. A pair's code
// fails only with lead 81 or E0 and a trail below 40, or lead 9F or FC and a
// trail above FC; the same lead then tries the next byte.
void SjisTrail(Cursor& cur, int c, PairCounts& r) {
    int t = cur.Read();
    if (t == -1) return;  // a lead cut off by the end of the text
    if (!IsSjisTrail(t)) r.wellFormed = false;
    for (;;) {
        const int w = c * 256 + t;
        if ((w >= 0x8140 && w <= 0x9FFC) || (w >= 0xE040 && w <= 0xFCFC)) {
            ++r.valid;
            return;
        }
        ++r.invalid;
        if (cur.pos >= kByteWindow) return;
        t = cur.Read();
        if (t == -1) return;
    }
}

// One unit of the Shift-JIS pass; false at the end of the text.
bool SjisUnit(Cursor& cur, PairCounts& r) {
    const int c = cur.Read();
    if (c == -1) return false;
    if (IsSjisLead(c)) SjisTrail(cur, c, r);  // any other byte stands alone
    return true;
}

// Whether a lead whose pair can fail by its code (81, E0, 9F, FC) starts a
// unit in the block at p just before one of the bytes in `seconds`.
bool EdgeLeadBefore(const uint8_t* p, uint64_t seconds) {
    for (; seconds; seconds &= seconds - 1) {
        const uint8_t c = p[std::countr_zero(seconds) - 1];
        if (c == 0x81 || c == 0xE0 || c == 0x9F || c == 0xFC) return true;
    }
    return false;
}

PairCounts SjisPass(Cursor cur, int64_t limit) {
    PairCounts r;
    int64_t units = 0;
    int64_t byUnit = 0;         // bytes before this go unit by unit
    int64_t stretch = kBlock;   // how many, when the next block fails
    while (units < limit) {
        if (cur.pos >= byUnit && limit - units >= kBlock && cur.end - cur.pos > kBlock) {
            // 64 bytes at once: where the units start, and whether any pair
            // needs a second look. The byte after the block is the trail of
            // a lead that starts a unit at its last byte.
            const uint8_t* p = cur.data + cur.pos;
            const BlockMasks m = SjisMasks(cur.level, p);
            const uint64_t trails = internal::PairSeconds(m.a);
            const uint64_t leadStarts = m.a & ~trails;
            const int64_t last = static_cast<int64_t>(leadStarts >> 63);
            const uint64_t badTrails = trails & m.b;
            const bool badLast = last && !IsSjisTrail(p[kBlock]);
            const bool edgeLast = badLast && (p[kBlock - 1] == 0x81 || p[kBlock - 1] == 0xE0 ||
                                              p[kBlock - 1] == 0x9F || p[kBlock - 1] == 0xFC);
            if (!edgeLast && (badTrails == 0 || !EdgeLeadBefore(p, badTrails))) {
                if (badTrails || badLast) r.wellFormed = false;
                units += std::popcount(~trails);
                r.valid += std::popcount(leadStarts);
                cur.pos += kBlock + last;
                stretch = kBlock;
                continue;
            }
            // A pair whose code fails, and the same lead tries the next byte:
            // this block, and more after each block in a row that fails, goes
            // unit by unit.
            byUnit = cur.pos + stretch;
            stretch = stretch < kMaxStretch ? 2 * stretch : kMaxStretch;
        }
        if (!SjisUnit(cur, r)) break;
        ++units;
    }
    r.endPos = cur.pos;
    return r;
}

// The second byte of an EUC-JP unit whose first byte, in A1-FE, has just
// been read.
void EucSecond(Cursor& cur, PairCounts& r) {
    int t = cur.Read();
    if (t == -1) return;
    if (IsEucByte(t)) {
        ++r.valid;
        return;
    }
    r.wellFormed = false;
    // Not counted; the same first byte tries the next byte.
    while (cur.pos < kByteWindow) {
        t = cur.Read();
        if (t == -1) return;
        if (IsEucByte(t)) {
            ++r.valid;
            return;
        }
    }
}

// One unit of the EUC-JP pass; false at the end of the text. `pairDue`: the
// last unit was 8F, so this one must be an A1-FE pair.
bool EucUnit(Cursor& cur, PairCounts& r, bool& pairDue) {
    const int c = cur.Read();
    if (c == -1) return false;
    const bool afterThree = pairDue;
    pairDue = false;
    if (IsEucByte(c)) {
        EucSecond(cur, r);
        return true;
    }
    if (afterThree) r.wellFormed = false;  // 8F without its pair
    if (c == 0x8E) {
        const int t = cur.Read();
        if (t == -1) return true;
        if (t >= 0xA1 && t <= 0xDF) {
            ++r.valid;
        } else {
            ++r.invalid;
            r.wellFormed = false;
        }
    } else if (c == 0x8F) {
        ++r.invalid;  // counted against EUC-JP, yet well-formed with its pair
        pairDue = true;
    } else if (c >= 0x80 && c <= 0xA0) {
        ++r.invalid;
        r.wellFormed = false;
    } else if (c == 0xFF) {
        r.wellFormed = false;
    }
    return true;
}

// With `untilFault`, the pass stops at the first byte that EUC-JP cannot
// hold there: its counts are then partial, and only `wellFormed` tells.
PairCounts EucPass(Cursor cur, int64_t limit, bool untilFault) {
    PairCounts r;
    bool pairDue = false;
    int64_t units = 0;
    int64_t byUnit = 0;         // bytes before this go unit by unit
    int64_t stretch = kBlock;   // how many, when the next block fails
    while (units < limit && !(untilFault && !r.wellFormed)) {
        if (!pairDue && cur.pos >= byUnit && limit - units >= kBlock && cur.end - cur.pos > kBlock) {
            // 64 bytes at once when they hold only ASCII and A1-FE pairs.
            const uint8_t* p = cur.data + cur.pos;
            const BlockMasks m = EucMasks(cur.level, p);
            const uint64_t seconds = internal::PairSeconds(m.a);
            const uint64_t starts = ~seconds;
            const uint64_t pairStarts = m.a & starts;
            const int64_t last = static_cast<int64_t>(pairStarts >> 63);
            if ((seconds & ~m.a) == 0 && (starts & m.b & ~m.a) == 0 && (!last || IsEucByte(p[kBlock]))) {
                units += std::popcount(starts);
                r.valid += std::popcount(pairStarts);
                cur.pos += kBlock + last;
                stretch = kBlock;
                continue;
            }
            byUnit = cur.pos + stretch;
            stretch = stretch < kMaxStretch ? 2 * stretch : kMaxStretch;
        }
        if (!EucUnit(cur, r, pairDue)) break;
        ++units;
    }
    r.endPos = cur.pos;
    return r;
}

struct Utf8Counts {
    int64_t valid = 0;
    int64_t invalid = 0;
    int64_t endPos = 0;  // where the pass stopped reading
};

Utf8Counts Utf8Pass(Cursor cur, int64_t limit) {
    Utf8Counts r;
    auto continuation = [&cur] {
        const int b = cur.Read();
        return b != -1 && (b & 0xC0) == 0x80;
    };
    for (int64_t units = 0;; ++units) {
        const int c = cur.Read();
        if (c == -1 || units == limit) break;
        bool ok;
        if (c < 0x80) {
            ok = true;
            // A run of ASCII a block or word at a time, each byte a valid unit,
            // never up to the limit.
            if (cur.level != VectorLevel::Scalar) {
                const int64_t n = limit - units - 1 < cur.end - cur.pos ? limit - units - 1 : cur.end - cur.pos;
                const int64_t ascii = AsciiBytes(cur.level, cur.data + cur.pos, n);
                cur.pos += ascii;
                units += ascii;
                r.valid += ascii;
            }
            while (limit - units > 8 && cur.WordAhead() && cur.data[cur.pos] < 0x80 && (cur.Word() & kHigh) == 0) {
                cur.pos += 8;
                units += 8;
                r.valid += 8;
            }
        } else if ((c & 0xC0) == 0x80) {
            ok = false;
        } else if ((c & 0xE0) == 0xC0) {
            ok = continuation();
        } else if ((c & 0xF0) == 0xE0) {
            ok = continuation();
            if (ok) cur.Read();
        } else if ((c & 0xF8) == 0xF0) {
            ok = continuation() && continuation();
            if (ok) cur.Read();
        } else {
            ok = false;
        }
        ++(ok ? r.valid : r.invalid);
    }
    r.endPos = cur.pos;
    return r;
}

// Whether the text [0, end), over at most its first kByteWindow bytes, is
// well-formed UTF-8 (no stray continuation, no overlong form, no surrogate,
// nothing above U+10FFFF) with at least one multi-byte sequence. A sequence
// that the window cuts short counts as well-formed; one that the end of the
// text cuts short does not.
bool IsWellFormedUtf8Text(const uint8_t* data, int64_t end, VectorLevel level) {
    const int64_t n = end < kByteWindow ? end : kByteWindow;
    const bool cutByWindow = end > kByteWindow;
    bool multiByte = false;
    int64_t i = 0;
    while (i < n) {
        if (n - i >= 8 && (internal::Load64(data + i) & kHigh) == 0) {
            i += 8;
            if (level != VectorLevel::Scalar) i += AsciiBytes(level, data + i, n - i);
            continue;
        }
        const unsigned c = data[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int length;
        unsigned lo = 0x80, hi = 0xBF;  // range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            if (c == 0xE0) lo = 0xA0;
            if (c == 0xED) hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F;
        } else {
            return false;
        }
        multiByte = true;
        for (int k = 1; k < length; ++k) {
            if (i + k >= n) return cutByWindow;
            const unsigned b = data[i + k];
            if (k == 1 ? (b < lo || b > hi) : (b & 0xC0) != 0x80) return false;
        }
        i += length;
    }
    return multiByte;
}

}  // namespace

EncodingId DetectEncoding(CByteStream& text) {
    const uint8_t* const data = text.Data();
    const int64_t size = text.Size();

    // A UTF-16 mark, read from where the caller left the read position.
    {
        int64_t pos = text.ReadPos();
        const int a = ReadStreamByte(data, size, pos);
        const int b = ReadStreamByte(data, size, pos);
        text.SetReadPos(pos);
        if ((a == 0xFF && b == 0xFE) || (a == 0xFE && b == 0xFF)) return Unicode;
    }

    // The text as every pass reads it from byte 0.
    const int64_t end = internal::TextLength(data, size < kDetectionHeadBytes ? size : kDetectionHeadBytes);
    const VectorLevel level = internal::CurrentVectorLevel();
    const Cursor start{data, end, 0, level};

    // A UTF-8 mark decides before any count.
    {
        Cursor mark = start;
        const int a = mark.Read();
        const int b = mark.Read();
        const int c = mark.Read();
        if (a == 0xEF && b == 0xBB && c == 0xBF) {
            text.SetReadPos(mark.pos);
            return Utf8;
        }
    }

    // The rules in their order; a pass runs only when a rule needs it, and
    // the read position is left where the last pass that ran stopped.
    if (IsWellFormedUtf8Text(data, end, level)) return Utf8;

    const int64_t limit = size < kUnitLimit ? size : kUnitLimit;
    const JisCounts jis = JisPass(start, limit);
    text.SetReadPos(jis.endPos);
    if (jis.faults > 0) return Undetermined;
    if (jis.designated) return Jis;

    // Well-formed in one of Shift-JIS and EUC-JP only. The EUC-JP pass needs
    // no counts past its first fault when Shift-JIS is well-formed: then
    // either this rule decides, or both are well-formed and the pass has run
    // to its end.
    const PairCounts sjis = SjisPass(start, limit);
    const PairCounts euc = EucPass(start, limit, sjis.wellFormed);
    text.SetReadPos(euc.endPos);
    if (sjis.wellFormed != euc.wellFormed) return sjis.wellFormed ? ShiftJis : EucJp;

    if (sjis.valid > euc.valid && sjis.invalid == 0) return ShiftJis;
    if (euc.valid > sjis.valid && euc.invalid == 0) return EucJp;
    if (sjis.invalid == 0 && euc.invalid > 0) return ShiftJis;
    if (sjis.invalid > 0 && euc.invalid == 0) return EucJp;

    const Utf8Counts utf8 = Utf8Pass(start, limit);
    text.SetReadPos(utf8.endPos);
    if (utf8.invalid == 0 && utf8.valid > 0) return Utf8;
    return Undetermined;
}

}  // namespace morvel
