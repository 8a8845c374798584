// The UTF-16 and UTF-8 conversions and the code-page layer under them
// (Windows code page 932 on the multibyte side).
//
// Each conversion is a resumable core (see engine/internal/chunked.h): the
// whole-text operations of engine.h and the converters of a streamed run are
// the same code. Inside a core, ASCII goes a word of 8 bytes (4 UTF-16
// units) at a time and everything else through direct table lookups.
//
// The chains that pass through UTF-16 between UTF-8 and CP932 skip that
// intermediate but give exactly its bytes; engine/reference/unicode_ref.cpp
// takes the long way and the tests hold the two together.
#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <type_traits>

#include "engine/engine.h"
#include "engine/internal/chunked.h"
#include "engine/internal/converters.h"
#include "engine/internal/kanji.h"
#include "engine/internal/lanes.h"
#include "engine/internal/unicode_internal.h"

namespace morvel {

static_assert(std::endian::native == std::endian::little,
              "the ASCII runs are widened and narrowed as little-endian words");

namespace internal {

// The runs of ASCII between kana and kanji are short (33 bytes on average
// in a Japanese-English dictionary): the 16-byte kernels, inline, take them
// at every level, and 32-byte ones do not pay for their call. Decoding
// CP932 block by block (DecodeCp932Blocks) does: it has both widths.

// A CP932 code as its bytes lie in the output (a double-byte code's lead in
// the low byte, so 0x4000 or more; see OutputCode below) written at o in
// one store; a single byte's second byte is written over by what follows.
// Returns its length, with no branch: the lengths of the codes in a block
// follow no pattern.
inline uint32_t PutCodeLane(uint8_t* o, uint32_t code) {
    const uint16_t bytes = static_cast<uint16_t>(code);
    std::memcpy(o, &bytes, 2);
    return 1 + ((code + 0xFF00) >> 16);
}

// For each pattern of 8 bits, the byte shuffle that moves the 16-bit units
// of the lanes whose bits are set, in order, to the front of 16 bytes: how
// the 32-byte blocks put together the units of the lanes that start a
// character (UTF-16 output).
struct UnitCompaction {
    alignas(16) uint8_t row[256][16];
};
constexpr UnitCompaction MakeUnitCompaction() {
    UnitCompaction t{};
    for (int bits = 0; bits < 256; ++bits) {
        int n = 0;
        for (int lane = 0; lane < 8; ++lane) {
            if ((bits >> lane) & 1) {
                t.row[bits][n++] = static_cast<uint8_t>(2 * lane);
                t.row[bits][n++] = static_cast<uint8_t>(2 * lane + 1);
            }
        }
        while (n < 16) t.row[bits][n++] = 0x80;  // zero
    }
    return t;
}
inline constexpr UnitCompaction kUnitCompaction = MakeUnitCompaction();

// The row of 8E in the table of EUC-JP pairs (EucPairs), behind the rows
// of the first bytes A1-FE.
constexpr uint8_t kEucKanaRow = 0xFE - 0xA0 + 1;

// The top bit of an entry of Cp932OutputEntries: the unit has no CP932 code.
constexpr uint32_t kNoCode = 0x80000000;

// The last character a kernel wrote: where its code starts in the output,
// where it starts in the input, its code point.
struct LastCode {
    uint8_t* written;
    const uint8_t* in;
    uint32_t unit;
};

#if MORVEL_SSE2
namespace v128 {
#include "engine/internal/unicode_blocks.inc"
}  // namespace v128
#endif

#if MORVEL_AVX2
MORVEL_AVX2_BEGIN
namespace v256 {
#include "engine/internal/unicode_blocks.inc"

// Called, not inlined, from code compiled for SSE2.
template <class Sink, class Entry>
[[gnu::noinline]] const uint8_t* DecodeCp932BlocksCall(const uint8_t* p, const uint8_t* end, uint8_t*& out,
                                                       const Entry* table) {
    return DecodeCp932Blocks<Sink>(p, end, out, table);
}
[[gnu::noinline]] const uint8_t* EncodeUtf8BlocksCall(const uint8_t* p, const uint8_t* end, uint8_t*& out,
                                                     const uint32_t* entries, LastCode& last) {
    return EncodeUtf8Blocks(p, end, out, entries, last);
}
template <class Sink, class Entry>
[[gnu::noinline]] const uint8_t* DecodeEucBlocksCall(const uint8_t* p, const uint8_t* end, uint8_t*& out,
                                                     const Entry* table) {
    return DecodeEucBlocks<Sink>(p, end, out, table);
}
}  // namespace v256
MORVEL_AVX2_END
#endif

namespace {

using namespace cp932;

#if MORVEL_SSE2
#define MORVEL_NARROW(kernel) v128::kernel
#else
#define MORVEL_NARROW(kernel) nullptr
#endif

// The kernels of engine/internal/unicode_blocks.inc.
constexpr auto CopyAsciiVector = RunBlocks<nullptr, MORVEL_NARROW(CopyAsciiBlocks), 0>;
constexpr auto WidenAsciiVector = RunBlocks<nullptr, MORVEL_NARROW(WidenAsciiBlocks), 0>;
constexpr auto NarrowAsciiVector = RunBlocks<nullptr, MORVEL_NARROW(NarrowAsciiUnits), 0>;

#undef MORVEL_NARROW

constexpr uint64_t kAsciiMask16 = 0xFF80FF80FF80FF80ULL;  // 4 UTF-16 units
constexpr uint64_t kLaneOnes16 = 0x0001000100010001ULL;
constexpr uint64_t kLaneHigh16 = 0x8000800080008000ULL;

inline void Store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

// Four ASCII bytes (low to high) spread to four little-endian UTF-16 units.
inline uint64_t Widen4(uint32_t v) {
    uint64_t x = v;
    x = (x | x << 16) & 0x0000FFFF0000FFFFULL;
    x = (x | x << 8) & 0x00FF00FF00FF00FFULL;
    return x;
}

// Four UTF-16 units below 0x100 narrowed to their low bytes.
inline uint32_t Narrow4(uint64_t x) {
    x = (x | x >> 8) & 0x0000FFFF0000FFFFULL;
    x = (x | x >> 16) & 0x00000000FFFFFFFFULL;
    return static_cast<uint32_t>(x);
}

inline uint16_t LoadUnit(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

inline uint8_t* PutUnit(uint8_t* o, uint32_t u) {
    const uint16_t unit = static_cast<uint16_t>(u);
    std::memcpy(o, &unit, 2);  // little-endian, as asserted above
    return o + 2;
}

// A code point (not a surrogate) as UTF-8.
inline uint8_t* PutUtf8(uint8_t* o, uint32_t u) {
    if (u < 0x80) {
        *o = static_cast<uint8_t>(u);
        return o + 1;
    }
    if (u < 0x800) {
        o[0] = static_cast<uint8_t>(0xC0 | u >> 6);
        o[1] = static_cast<uint8_t>(0x80 | (u & 0x3F));
        return o + 2;
    }
    if (u < 0x10000) {
        o[0] = static_cast<uint8_t>(0xE0 | u >> 12);
        o[1] = static_cast<uint8_t>(0x80 | (u >> 6 & 0x3F));
        o[2] = static_cast<uint8_t>(0x80 | (u & 0x3F));
        return o + 3;
    }
    o[0] = static_cast<uint8_t>(0xF0 | u >> 18);
    o[1] = static_cast<uint8_t>(0x80 | (u >> 12 & 0x3F));
    o[2] = static_cast<uint8_t>(0x80 | (u >> 6 & 0x3F));
    o[3] = static_cast<uint8_t>(0x80 | (u & 0x3F));
    return o + 4;
}

inline uint8_t* PutCode(uint8_t* o, uint16_t code) {
    if (code < 0x100) {
        *o = static_cast<uint8_t>(code);
        return o + 1;
    }
    o[0] = static_cast<uint8_t>(code >> 8);
    o[1] = static_cast<uint8_t>(code);
    return o + 2;
}

// Number of ASCII bytes (units) at the low end of a word whose flag bits
// mark the bytes (units) that are not; flags != 0.
inline int LeadingBytes(uint64_t flags) { return std::countr_zero(flags) >> 3; }
inline int LeadingUnits(uint64_t flags) { return std::countr_zero(flags) >> 4; }

// Flags the units of a 4-unit word that are not ASCII or are zero. The zero
// test may also flag units above a zero unit, never below the first one, so
// the lowest flag is exact.
inline uint64_t NonAsciiUnits(uint64_t v) {
    return (v & kAsciiMask16) | ((v - kLaneOnes16) & ~v & kLaneHigh16);
}

// The UTF-16 mark FF FE, or FE FF read the wrong way round.
inline bool IsUtf16Mark(const uint8_t* p) {
    return (p[0] == 0xFF && p[1] == 0xFE) || (p[0] == 0xFE && p[1] == 0xFF);
}

// ---- CP932 decoding -----------------------------------------------------------

// What every CP932 pair gives, a row per lead byte (by kLeadIndex) and a
// column per byte after it; 0 where that byte is no trail (the lead then
// stands alone). Row 0 holds what each byte that stands alone gives. Made from the code-page tables on first use, so that a
// pair takes one lookup. Making them costs about 0.1 ms once, so texts
// shorter than kPairTableText go to the code-page tables directly.
constexpr int64_t kPairTableText = 16 * 1024;

template <class Entry, int kRows = kLeadCount + 1>
struct PairTable {
    Entry entry[kRows][256];
};

// The pair's unit, U+FFFD where the pair is no character.
const PairTable<uint16_t>& Cp932PairUnits() {
    static const PairTable<uint16_t> table = [] {
        PairTable<uint16_t> t{};
        for (int lead = 0; lead < 256; ++lead) {
            const int row = kLeadIndex[lead];
            if (row == 0) {
                t.entry[0][lead] = DecodeSingle(static_cast<uint8_t>(lead));
                continue;
            }
            for (int trail = 0; trail < 256; ++trail) {
                if (!IsTrail(static_cast<uint8_t>(trail))) continue;
                const uint16_t u = DecodePair(static_cast<uint8_t>(lead), static_cast<uint8_t>(trail));
                t.entry[row][trail] = u ? u : kReplacement;
            }
        }
        return t;
    }();
    return table;
}

// The unit of a pair, U+FFFD where the pair is no character; 0 where the
// trail is no trail.
uint16_t PairUnit(uint8_t lead, uint8_t trail) {
    if (!IsTrail(trail)) return 0;
    const uint16_t u = DecodePair(lead, trail);
    return u ? u : kReplacement;
}

// A unit as UTF-8: its bytes from the low end, their count in the top byte.
uint32_t Utf8Entry(uint16_t u) {
    uint8_t bytes[4] = {};
    const int n = static_cast<int>(PutUtf8(bytes, u) - bytes);
    return static_cast<uint32_t>(bytes[0] | bytes[1] << 8 | bytes[2] << 16 | n << 24);
}

// The same unit as UTF-8 (every unit of a pair takes two or three bytes),
// and behind the rows of the leads one of empty entries (no bytes kept):
// the row that the kernels look up for the second byte of a pair.
constexpr int kUtf8SecondsRow = kLeadCount + 1;
using Utf8PairTable = PairTable<uint32_t, kUtf8SecondsRow + 1>;

const Utf8PairTable& Cp932PairUtf8() {
    static const Utf8PairTable table = [] {
        Utf8PairTable t{};
        const PairTable<uint16_t>& units = Cp932PairUnits();
        for (int b = 0; b < 256; ++b) t.entry[0][b] = Utf8Entry(units.entry[0][b]);
        for (int row = 1; row <= kLeadCount; ++row) {
            for (int trail = 0; trail < 256; ++trail) {
                const uint16_t u = units.entry[row][trail];
                if (u != 0) t.entry[row][trail] = Utf8Entry(u);
            }
        }
        return t;
    }();
    return table;
}

// The CP932 code of a BMP unit as its bytes lie in the output, read as a
// little-endian unit: a single byte as it is, a double-byte code with its
// lead in the low byte (trails are never 0, so such a code is 0x4000 or
// more); 0 when there is none.
inline uint16_t OutputCode(uint16_t u) {
    const uint16_t code = EncodeBmp(u);
    return code > 0xFF ? static_cast<uint16_t>(code >> 8 | code << 8) : code;
}

// OutputCode of every BMP unit in one table, made on first use (for texts
// of kPairTableText and more).
const uint16_t* Cp932OutputCodes() {
    static const std::unique_ptr<uint16_t[]> table = [] {
        auto t = std::make_unique<uint16_t[]>(0x10000);
        for (uint32_t u = 0; u < 0x10000; ++u) t[u] = OutputCode(static_cast<uint16_t>(u));
        return t;
    }();
    return table.get();
}

// OutputCode of every BMP unit as the UTF-8 blocks take it: the code, its
// length (1 or 2) above it, and the top bit set where there is none; made
// on first use, from Cp932OutputCodes. With the length and the check for no
// code worked out from the code, two operations more per character, UTF-8
// to Shift-JIS ran at 1.90 GB/s on the Japanese-English dictionary against
// 2.07, at 1.30 against 1.50 on the kanji-dense one.
const uint32_t* Cp932OutputEntries() {
    static const std::unique_ptr<uint32_t[]> table = [] {
        const uint16_t* const codes = Cp932OutputCodes();
        auto t = std::make_unique<uint32_t[]>(0x10000);
        for (uint32_t u = 0; u < 0x10000; ++u)
            t[u] = codes[u] == 0 ? kNoCode : codes[u] | (codes[u] > 0xFF ? 2u : 1u) << 16;
        return t;
    }();
    return table.get();
}

struct Utf16Sink {
    static constexpr int kAsciiWidth = 2;
    static constexpr bool kByStart = false;  // see Utf8Sink
    // No row of empty entries: with one, and entries of 32 bits that hold
    // the bytes kept, CP932 blocks went 2.03 -> 1.81 GB/s on the
    // Japanese-English dictionary.
    static constexpr int kSecondsRow = 0;
    static constexpr BlockKernelAt kAsciiBlocks = WidenAsciiVector;

    static void Ascii8(uint8_t* o, uint64_t v) {
        Store64(o, Widen4(static_cast<uint32_t>(v)));
        Store64(o + 8, Widen4(static_cast<uint32_t>(v >> 32)));
    }
    static uint8_t* Unit(uint8_t* o, uint32_t u) { return PutUnit(o, u); }
    static const PairTable<uint16_t>& Pairs() { return Cp932PairUnits(); }
    static uint16_t Pair(uint8_t lead, uint8_t trail) { return PairUnit(lead, trail); }
    static uint8_t* PutPair(uint8_t* o, uint16_t unit) { return PutUnit(o, unit); }
    static uint8_t* PutLane(uint8_t* o, uint16_t unit, uint32_t keep) {
        PutUnit(o, unit);
        return o + 2 * keep;
    }
};

struct Utf8Sink {
    static constexpr int kAsciiWidth = 1;
    // EUC-JP blocks are decoded start by start (PutLanes), each ending
    // behind its last character that is not plain ASCII: the whole run from
    // the Japanese-English dictionary took 58.7 ms against 65.5 with every
    // lane looked up, from the kanji-dense one 93.5 against 98.1. (To UTF-16
    // the kanji-dense run went 83.9 -> 90.1; CP932 blocks taken so lost on
    // one text or the other for either output.)
    static constexpr bool kByStart = true;
    // CP932 blocks look up every lane, those of second bytes in this row,
    // so that no keep bit is worked out per lane: 1.77 -> 1.85 GB/s on the
    // Japanese-English dictionary, 1.14 -> 1.24 on the kanji-dense one.
    static constexpr int kSecondsRow = kUtf8SecondsRow;
    static constexpr BlockKernelAt kAsciiBlocks = CopyAsciiVector;

    static void Ascii8(uint8_t* o, uint64_t v) { Store64(o, v); }
    static uint8_t* Unit(uint8_t* o, uint32_t u) { return PutUtf8(o, u); }
    static const Utf8PairTable& Pairs() { return Cp932PairUtf8(); }
    static uint32_t Pair(uint8_t lead, uint8_t trail) {
        const uint16_t u = PairUnit(lead, trail);
        return u ? Utf8Entry(u) : 0;
    }
    // Writes four bytes, keeps two or three (a pair's two input bytes have
    // room for six).
    static uint8_t* PutPair(uint8_t* o, uint32_t utf8) {
        std::memcpy(o, &utf8, 4);
        return o + (utf8 >> 24);
    }
    static uint8_t* PutLane(uint8_t* o, uint32_t utf8, uint32_t keep) {
        std::memcpy(o, &utf8, 4);
        return o + ((utf8 >> 24) & (0 - keep));
    }
};

// Decodes the CP932 text [p, end) (no 0x00 inside) and writes each unit
// through Sink: Sink::Ascii8(o, word) writes the output of 8 bytes of a word
// (of which only the leading ASCII ones may count; the output has room for
// it while 8 input bytes are left), Sink::kAsciiWidth is the output size of
// one ASCII byte, Sink::Unit(o, u) writes one unit. Unless `final`, stops in
// front of a lead byte that `end` separates from its trail. Returns where it
// stopped.
template <class Sink, bool kVectors>
const uint8_t* DecodeCp932([[maybe_unused]] VectorLevel level, const uint8_t* p, const uint8_t* end, bool final,
                           uint8_t*& out) {
    uint8_t* o = out;
    const auto* const pairs = end - p >= kPairTableText ? &Sink::Pairs() : nullptr;
    while (p < end) {
#if MORVEL_SSE2
        // Long texts block by block, up to a lead without a trail or the
        // last blocks.
        if constexpr (kVectors) {
            if (pairs != nullptr) {
#if MORVEL_AVX2
                if (level >= VectorLevel::Avx2) {
                    p = v256::DecodeCp932BlocksCall<Sink>(p, end, o, &pairs->entry[0][0]);
                }
#endif
                p = v128::DecodeCp932Blocks<Sink>(p, end, o, &pairs->entry[0][0]);
            }
        }
#endif
        // ASCII a word at a time; past a whole word, by the vector kernels.
        while (end - p >= 8) {
            const uint64_t v = Load64(p);
            const uint64_t flags = v & kHigh;
            Sink::Ascii8(o, v);
            if (flags == 0) {
                o += 8 * Sink::kAsciiWidth;
                p += 8;
                if constexpr (kVectors) {
                    if (end - p >= 16) p = Sink::kAsciiBlocks(level, p, end, o);
                }
                continue;
            }
            const int k = LeadingBytes(flags);
            o += k * Sink::kAsciiWidth;
            p += k;
            break;
        }
        if (p == end) break;
        // Unit by unit up to the next ASCII byte (or the last bytes).
        do {
            // A run of pairs: one unit each, U+FFFD if the pair is no
            // character.
            while (end - p >= 2) {
                const uint8_t row = kLeadIndex[*p];
                if (row == 0) break;
                const auto entry = pairs ? pairs->entry[row][p[1]] : Sink::Pair(*p, p[1]);
                if (entry == 0) break;  // no trail
                o = Sink::PutPair(o, entry);
                p += 2;
            }
            if (p == end) break;
            const uint8_t b = *p;
            if (b < 0x80) {
                o = Sink::Unit(o, b);
            } else if (!IsLead(b)) {
                o = Sink::Unit(o, DecodeSingle(b));
            } else {
                // A lead without a trail is U+FFFD and the next byte is
                // decoded on its own; one that ends the text waits for more.
                if (end - p < 2 && !final) {
                    out = o;
                    return p;
                }
                o = Sink::Unit(o, kReplacement);
            }
            ++p;
            // Short runs of ASCII between kana and kanji stay here; a word
            // of ASCII goes back to the word loop.
        } while (p < end && (*p >= 0x80 || end - p < 8 || (Load64(p) & kHigh) != 0));
    }
    out = o;
    return p;
}

// ---- EUC-JP decoding ----------------------------------------------------------

// What EUC-JP to Shift-JIS and then CP932 decoding give for each pair of
// EUC-JP, in the form of Sink::Pairs(): a row per first byte (b - 0xA0 for
// the JIS X 0208 pairs A1-FE, kEucKanaRow for 8E) and a column per second
// byte (A1-FE, A1-DF after 8E; 0 elsewhere), and row 0 for ASCII. Each
// entry is the CP932 table's for what EUC-JP to Shift-JIS writes: a pair,
// or after 8E the second byte alone. Made on first use, for texts of
// kPairTableText and more.
constexpr int kEucRows = kEucKanaRow + 1;

template <class Sink>
const auto& EucPairs() {
    using Entry = std::remove_cvref_t<decltype(Sink::Pairs().entry[0][0])>;
    static const PairTable<Entry, kEucRows> table = [] {
        PairTable<Entry, kEucRows> t{};
        const auto& cp932 = Sink::Pairs();
        for (int b = 0; b < 0x80; ++b) t.entry[0][b] = cp932.entry[0][b];
        for (int first = 0xA1; first <= 0xFE; ++first) {
            for (int second = 0xA1; second <= 0xFE; ++second) {
                uint8_t sjis[2];
                JisToSjisPair(first & 0x7F, second & 0x7F, sjis);
                // Always a lead and a trail, so one character.
                t.entry[first - 0xA0][second] = cp932.entry[kLeadIndex[sjis[0]]][sjis[1]];
            }
        }
        for (int kana = 0xA1; kana <= 0xDF; ++kana) t.entry[kEucKanaRow][kana] = cp932.entry[0][kana];
        return t;
    }();
    return table;
}

// Runs the kernels of DecodeEucBlocks from p; returns where they stopped.
template <class Sink>
const uint8_t* DecodeEucVector(VectorLevel level, const uint8_t* p, const uint8_t* end, CByteStream& out) {
#if MORVEL_SSE2
    const auto* const table = &EucPairs<Sink>().entry[0][0];
    uint8_t* const start = out.Reserve((Sink::kAsciiWidth == 2 ? 2 : 3) * (end - p) + kSlack);
    uint8_t* o = start;
#if MORVEL_AVX2
    if (level >= VectorLevel::Avx2) p = v256::DecodeEucBlocksCall<Sink>(p, end, o, table);
#endif
    if (level >= VectorLevel::Sse2) p = v128::DecodeEucBlocks<Sink>(p, end, o, table);
    out.Commit(o - start);
#else
    (void)level;
    (void)end;
    (void)out;
#endif
    return p;
}

// ---- UTF-8 decoding -----------------------------------------------------------

// Decodes one sequence at p (p < end, *p >= 0x80) and advances p past it.
// A malformed sequence gives U+FFFD for its maximal subpart: the longest
// prefix of a well-formed sequence, or one byte if there is none.
inline uint32_t DecodeUtf8(const uint8_t*& p, const uint8_t* end) {
    const uint8_t b = p[0];
    const int64_t left = end - p;
    if (b >= 0xC2 && b <= 0xDF) {
        if (left >= 2 && (p[1] & 0xC0) == 0x80) {
            const uint32_t u = (b & 0x1Fu) << 6 | (p[1] & 0x3Fu);
            p += 2;
            return u;
        }
    } else if (b >= 0xE0 && b <= 0xEF) {
        const uint8_t lo = b == 0xE0 ? 0xA0 : 0x80;
        const uint8_t hi = b == 0xED ? 0x9F : 0xBF;
        if (left >= 2 && p[1] >= lo && p[1] <= hi) {
            if (left >= 3 && (p[2] & 0xC0) == 0x80) {
                const uint32_t u = (b & 0x0Fu) << 12 | (p[1] & 0x3Fu) << 6 | (p[2] & 0x3Fu);
                p += 3;
                return u;
            }
            p += 2;
            return kReplacement;
        }
    } else if (b >= 0xF0 && b <= 0xF4) {
        const uint8_t lo = b == 0xF0 ? 0x90 : 0x80;
        const uint8_t hi = b == 0xF4 ? 0x8F : 0xBF;
        if (left >= 2 && p[1] >= lo && p[1] <= hi) {
            if (left >= 3 && (p[2] & 0xC0) == 0x80) {
                if (left >= 4 && (p[3] & 0xC0) == 0x80) {
                    const uint32_t u = (b & 0x07u) << 18 | (p[1] & 0x3Fu) << 12 | (p[2] & 0x3Fu) << 6 |
                                       (p[3] & 0x3Fu);
                    p += 4;
                    return u;
                }
                p += 3;
                return kReplacement;
            }
            p += 2;
            return kReplacement;
        }
    }
    ++p;
    return kReplacement;
}

// Whether the bytes [p, end) (p < end, *p >= 0x80) are the beginning of a
// well-formed sequence that `end` cuts short: more bytes could complete it.
inline bool Utf8CutShort(const uint8_t* p, const uint8_t* end) {
    const uint8_t b = *p;
    const int64_t length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
    if (b < 0xC2 || b > 0xF4 || end - p >= length) return false;
    const uint8_t* q = p;
    DecodeUtf8(q, end);
    return q == end;  // every byte so far fits
}

// ---- Encoding to CP932 ---------------------------------------------------------

// Writes CP932 for a stream of code points, composing a base with a
// following combining mark where the precomposed form has a code. Marks have
// no code of their own, so a composition is looked for only at a code point
// without one: the base's output is then rewritten in place. The base is
// remembered with the input position it came from, so that a core that must
// stop before the text is complete can take the base back (Unwind) and meet
// it again with what follows.
class Cp932Writer {
public:
    explicit Cp932Writer(uint8_t* o) : o_(o) {}

    uint8_t* Out() const { return o_; }

    // n >= 1 ASCII bytes already copied to Out(); the last, read at `at`,
    // may be a base.
    void AdvanceAscii(int n, const uint8_t* at) {
        prevOut_ = o_ + n - 1;
        prevIn_ = at;
        prev_ = *at;
        o_ += n;
    }

    // Output up to `o` written elsewhere, its last code point u (one with a
    // code) read at `at` and written at `written`.
    void Resume(uint8_t* o, uint32_t u, const uint8_t* at, uint8_t* written) {
        o_ = o;
        prevOut_ = written;
        prevIn_ = at;
        prev_ = u;
    }

    // The code point u, read at `at`.
    void Put(uint32_t u, const uint8_t* at) {
        if (u < 0x10000) {
            const uint16_t code = EncodeBmp(static_cast<uint16_t>(u));
            if (code != 0) {
                prevOut_ = o_;
                prevIn_ = at;
                prev_ = u;
                o_ = PutCode(o_, code);
                return;
            }
            if (prev_ != 0) {
                const uint16_t composed = Compose(static_cast<uint16_t>(prev_), static_cast<uint16_t>(u));
                if (composed != 0) {
                    o_ = PutCode(prevOut_, composed);
                    prev_ = 0;
                    return;
                }
            }
        }
        // No CP932 form (a supplementary character, a surrogate, U+FFFD, ...).
        prevOut_ = o_;
        prevIn_ = at;
        prev_ = u < 0x10000 && !IsSurrogate(u) ? u : 0;
        *o_++ = kDefaultChar;
    }

    // Where the input must be read again from when it stops at p before the
    // text is complete: at the last code point if a mark might still follow
    // it (its output is taken back), else at p. Below the first base of a
    // composition (a line feed, say) nothing is taken back, so that a piece
    // of text ending there leaves nothing behind.
    const uint8_t* Unwind(const uint8_t* p) {
        if (prev_ < kCompositions[0].base) return p;
        o_ = prevOut_;
        prev_ = 0;
        return prevIn_;
    }

private:
    uint8_t* o_;
    uint8_t* prevOut_ = nullptr;
    const uint8_t* prevIn_ = nullptr;
    uint32_t prev_ = 0;  // the last code point written, 0 when it cannot be a base
};

// ---- The cores ------------------------------------------------------------------

// CP932 to UTF-16 (with the mark FF FE in front) or straight to UTF-8: the
// UTF-16 text in between holds only BMP characters that are not surrogates,
// so nothing else changes on the way. No CP932 byte decodes to U+FEFF or
// U+FFFE, so the UTF-16 text never starts with a mark of its own and always
// gets FF FE, also when it is empty.
template <class Sink, bool kMark>
struct Cp932DecodeCore {
    static constexpr TextEnd kEnd = TextEnd::ZeroByte;
    // A byte gives one unit at most (2 bytes of UTF-16, 3 of UTF-8).
    static constexpr int64_t kGrowth = Sink::kAsciiWidth == 2 ? 2 : 3;
    static constexpr int64_t kMaxCarry = 1;  // a lead byte
    static constexpr int64_t kCloseMax = 4;  // the mark and a zero unit
    bool ended = false;
    bool marked = !kMark;

    const uint8_t* Run(const uint8_t* p, const uint8_t* end, bool final, uint8_t*& o) {
        PutMark(o);
        const VectorLevel level = CurrentVectorLevel();
        return level == VectorLevel::Scalar ? DecodeCp932<Sink, false>(level, p, end, final, o)
                                            : DecodeCp932<Sink, true>(level, p, end, final, o);
    }

    void ContinueText() { marked = true; }
    // The mark is written: a text cut before it would lose it.
    bool AtRest() const { return marked; }

    void Close(uint8_t*& o) {
        PutMark(o);
        *o++ = 0;
        if constexpr (kMark) *o++ = 0;
    }

    void PutMark(uint8_t*& o) {
        if (marked) return;
        o[0] = 0xFF;
        o[1] = 0xFE;
        o += 2;
        marked = true;
    }
};

using Cp932ToUtf16Core = Cp932DecodeCore<Utf16Sink, true>;
using Cp932ToUtf8Core = Cp932DecodeCore<Utf8Sink, false>;

// UTF-8 to UTF-16, without a mark of its own (a UTF-8 mark becomes U+FEFF).
struct Utf8ToUtf16Core {
    static constexpr TextEnd kEnd = TextEnd::ZeroByte;
    // Every input byte gives at most one unit (a 4-byte sequence gives two).
    static constexpr int64_t kGrowth = 2;
    static constexpr int64_t kMaxCarry = 3;  // a sequence cut short
    static constexpr int64_t kCloseMax = 2;
    bool ended = false;

    const uint8_t* Run(const uint8_t* p, const uint8_t* end, bool final, uint8_t*& out) {
        return RunAtLevel(*this, p, end, final, out);
    }

    template <bool kVectors>
    const uint8_t* RunAt([[maybe_unused]] VectorLevel level, const uint8_t* p, const uint8_t* end, bool final,
                         uint8_t*& out) {
        uint8_t* o = out;
        while (p < end) {
            // ASCII a word at a time; past a whole word, by the vector kernels.
            while (end - p >= 8) {
                const uint64_t v = Load64(p);
                const uint64_t flags = v & kHigh;
                Utf16Sink::Ascii8(o, v);
                if (flags == 0) {
                    o += 16;
                    p += 8;
                    if constexpr (kVectors) {
                        if (end - p >= 16) p = WidenAsciiVector(level, p, end, o);
                    }
                    continue;
                }
                const int k = LeadingBytes(flags);
                o += 2 * k;
                p += k;
                break;
            }
            if (p == end) break;
            // Sequence by sequence up to the next ASCII byte (or the last bytes).
            do {
                if (*p < 0x80) {
                    o = PutUnit(o, *p++);
                    continue;
                }
                if (!final && end - p < 4 && Utf8CutShort(p, end)) {
                    out = o;
                    return p;
                }
                const uint32_t u = DecodeUtf8(p, end);
                if (u < 0x10000) {
                    o = PutUnit(o, u);
                } else {
                    o = PutUnit(o, 0xD800 + ((u - 0x10000) >> 10));
                    o = PutUnit(o, 0xDC00 + (u & 0x3FF));
                }
            } while (p < end && *p >= 0x80);
        }
        out = o;
        return p;
    }

    void Close(uint8_t*& o) {
        *o++ = 0;
        *o++ = 0;
    }
};

// UTF-16 to CP932, "?" for what CP932 lacks. A leading FF FE or FE FF is
// skipped; the text is read as little-endian either way. The core stops in
// front of a unit cut short, a high surrogate whose partner may follow and
// a code point that a combining mark may follow, so it always stops at an
// even offset from the start of the text and needs no count of its own.
struct Utf16ToCp932Core : ZeroClosedCore<TextEnd::Core> {
    static constexpr int64_t kGrowth = 1;    // a unit gives two bytes at most
    static constexpr int64_t kMaxCarry = 5;  // a base, a high surrogate, an odd byte
    bool started = false;

    void ContinueText() { started = true; }
    // Past the start, where a mark is skipped.
    bool AtRest() const { return started; }

    const uint8_t* Run(const uint8_t* p, const uint8_t* end, bool final, uint8_t*& out) {
        return RunAtLevel(*this, p, end, final, out);
    }

    template <bool kVectors>
    const uint8_t* RunAt([[maybe_unused]] VectorLevel level, const uint8_t* p, const uint8_t* end, bool final,
                         uint8_t*& out) {
        if (!started) {
            if (end - p < 2 && !final) return p;
            if (end - p >= 2 && IsUtf16Mark(p)) p += 2;
            started = true;
        }
        const uint8_t* const limit = p + ((end - p) & ~int64_t{1});
        Cp932Writer w(out);
        [[maybe_unused]] const uint16_t* const codes = limit - p >= kPairTableText ? Cp932OutputCodes() : nullptr;
        while (p < limit) {
#if MORVEL_SSE2
            // Long texts block by block, up to a unit without a code or the
            // last blocks.
            if constexpr (kVectors) {
                if (codes != nullptr) {
                    const uint8_t* const from = p;
                    uint8_t* o = w.Out();
                    uint8_t* last = nullptr;
                    p = v128::EncodeCp932Blocks(p, limit, o, codes, last);  // (32-unit blocks are slower)
                    if (p != from) w.Resume(o, LoadUnit(p - 2), p - 2, last);
                }
            }
#endif
            // ASCII a word (4 units) at a time; past a whole word, by the
            // vector kernels.
            while (limit - p >= 8) {
                const uint64_t v = Load64(p);
                const uint64_t flags = NonAsciiUnits(v);
                Store32(w.Out(), Narrow4(v & ~kAsciiMask16));
                const int k = flags == 0 ? 4 : LeadingUnits(flags);
                if (k > 0) w.AdvanceAscii(k, p + 2 * k - 2);
                p += 2 * k;
                if (k < 4) break;
                if constexpr (kVectors) {
                    if (limit - p >= 32) {
                        uint8_t* o = w.Out();
                        const uint8_t* const ascii = NarrowAsciiVector(level, p, limit, o);
                        if (ascii != p) w.AdvanceAscii(static_cast<int>((ascii - p) / 2), ascii - 2);
                        p = ascii;
                    }
                }
            }
            if (p == limit) break;
            // Unit by unit up to the next ASCII unit (or the last units).
            bool cut = false;
            do {
                const uint16_t u = LoadUnit(p);
                if (u == 0) {
                    ended = true;
                    out = w.Out();
                    return p;
                }
                if (IsHighSurrogate(u)) {
                    cut = limit - p < 4 && !final;
                    if (cut) break;
                    if (limit - p >= 4 && IsLowSurrogate(LoadUnit(p + 2))) {
                        w.Put(0x10000, p);  // a supplementary character: one "?"
                        p += 4;
                        continue;
                    }
                }
                w.Put(u, p);
                p += 2;
            } while (p < limit && LoadUnit(p) >= 0x80);
            if (cut) break;
        }
        if (final) {
            p = end;  // an odd last byte is no unit
        } else {
            p = w.Unwind(p);
        }
        out = w.Out();
        return p;
    }
};

// A run of well-formed three-byte sequences of characters that have a
// CP932 code (kana and kanji, the full-width forms), from p while at least
// four bytes are left: each by one four-byte load and one lookup (in
// `codes` when given, the table of every unit's OutputCode). Returns where it
// stopped: at p when the first sequence is not one of those.
inline const uint8_t* ThreeByteRun(const uint8_t* p, const uint8_t* end, const uint16_t* codes, Cp932Writer& w) {
    const uint8_t* const from = p;
    uint8_t* o = w.Out();
    uint8_t* written = o;
    const uint8_t* lastIn = p;
    uint32_t u = 0;
    while (end - p >= 4) {
        uint32_t x;
        std::memcpy(&x, p, 4);  // little-endian, as asserted above
        if ((x & 0x80) == 0) {
            // A short run of ASCII between kana and kanji stays here; four
            // bytes of ASCII, or a 0x00, go back to the word loop.
            if ((x & 0x80808080) == 0 || (x & 0xFF) == 0) break;
            u = x & 0xFF;
            written = o;
            lastIn = p;
            *o++ = static_cast<uint8_t>(u);
            ++p;
            continue;
        }
        if ((x & 0xC0C0F0) != 0x8080E0) break;
        const uint32_t v = (x & 0x0F) << 12 | (x >> 2 & 0xFC0) | (x >> 16 & 0x3F);
        if (v < 0x800) break;  // an overlong form (surrogates have no code)
        const uint16_t code = codes != nullptr ? codes[v] : OutputCode(static_cast<uint16_t>(v));
        if (code == 0) break;
        u = v;
        written = o;
        lastIn = p;
        o += PutCodeLane(o, code);
        p += 3;
    }
    if (p != from) w.Resume(o, u, lastIn, written);
    return p;
}

// The kernel of EncodeUtf8Blocks from p, the writer brought up to what it
// wrote. It runs at 32 lanes only: at 16, Japanese-English text went
// slower than by ThreeByteRun (1.9 against 1.5 GB/s), kanji-dense text no
// faster.
inline const uint8_t* EncodeUtf8Vector([[maybe_unused]] VectorLevel level, const uint8_t* p,
                                       [[maybe_unused]] const uint8_t* end, [[maybe_unused]] const uint32_t* entries,
                                       [[maybe_unused]] Cp932Writer& w) {
#if MORVEL_AVX2
    if (level >= VectorLevel::Avx2) {
        const uint8_t* const from = p;
        uint8_t* o = w.Out();
        LastCode last{};
        p = v256::EncodeUtf8BlocksCall(p, end, o, entries, last);
        if (p != from) w.Resume(o, last.unit, last.in, last.written);
    }
#endif
    return p;
}

// UTF-8 straight to CP932. The UTF-16 text in between would begin with the
// unit of the first character, and a unit U+FEFF or U+FFFE there reads as a
// mark and is skipped; so is the UTF-8 sequence that gives it.
struct Utf8ToCp932Core : ZeroClosedCore<TextEnd::ZeroByte> {
    // One input byte gives at most one output byte: only sequences of two
    // bytes or more become double-byte codes. So while 8 input bytes are
    // left, the output has room for a whole word.
    static constexpr int64_t kGrowth = 1;
    static constexpr int64_t kMaxCarry = 6;  // a base and a sequence cut short
    bool started = false;

    void ContinueText() { started = true; }
    // Past the start, where a mark is skipped.
    bool AtRest() const { return started; }

    const uint8_t* Run(const uint8_t* p, const uint8_t* end, bool final, uint8_t*& out) {
        return RunAtLevel(*this, p, end, final, out);
    }

    template <bool kVectors>
    const uint8_t* RunAt([[maybe_unused]] VectorLevel level, const uint8_t* p, const uint8_t* end, bool final,
                         uint8_t*& out) {
        if (!started) {
            if (end - p < 3 && !final) return p;
            if (end - p >= 3 && p[0] == 0xEF && ((p[1] == 0xBB && p[2] == 0xBF) || (p[1] == 0xBF && p[2] == 0xBE)))
                p += 3;
            started = true;
        }
        Cp932Writer w(out);
        const uint16_t* const codes = end - p >= kPairTableText ? Cp932OutputCodes() : nullptr;
        [[maybe_unused]] const uint32_t* const entries =
            codes != nullptr && kVectors && level >= VectorLevel::Avx2 ? Cp932OutputEntries() : nullptr;
        [[maybe_unused]] const uint8_t* scalarUntil = p;
        while (p < end) {
            // ASCII a word at a time; past a whole word, by the vector kernels.
            while (end - p >= 8) {
                const uint64_t v = Load64(p);
                const uint64_t flags = v & kHigh;
                Store64(w.Out(), v);
                const int k = flags == 0 ? 8 : LeadingBytes(flags);
                if (k > 0) w.AdvanceAscii(k, p + k - 1);
                p += k;
                if (k < 8) break;
                if constexpr (kVectors) {
                    if (end - p >= 16) {
                        uint8_t* o = w.Out();
                        const uint8_t* const ascii = CopyAsciiVector(level, p, end, o);
                        if (ascii != p) w.AdvanceAscii(static_cast<int>(ascii - p), ascii - 1);
                        p = ascii;
                    }
                }
            }
            if (p == end) break;
            // Sequence by sequence up to the next ASCII byte (or the last bytes).
            bool cut = false;
            do {
                const uint8_t* const at = p;
                if (*p < 0x80) {
                    w.Put(*p++, at);
                    continue;
                }
                if constexpr (kVectors) {
                    if (codes != nullptr && p >= scalarUntil) {
                        p = EncodeUtf8Vector(level, p, end, entries, w);
                        if (p - at < kScalarStretch) scalarUntil = p + kScalarStretch;
                        if (p != at) continue;
                    }
                }
                if (end - p >= 4) {
                    p = ThreeByteRun(p, end, codes, w);
                    if (p != at) continue;
                }
                cut = !final && end - p < 4 && Utf8CutShort(p, end);
                if (cut) break;
                w.Put(DecodeUtf8(p, end), at);
            } while (p < end && *p >= 0x80);
            if (cut) break;
        }
        if (!final) p = w.Unwind(p);
        out = w.Out();
        return p;
    }
};

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD. Stops in front of a
// unit cut short and a high surrogate whose partner may follow.
struct Utf16ToUtf8Core : ZeroClosedCore<TextEnd::Core> {
    // One unit (2 bytes) gives at most three bytes, a pair of them four.
    static constexpr int64_t kGrowth = 2;
    static constexpr int64_t kMaxCarry = 3;  // a high surrogate and an odd byte

    const uint8_t* Run(const uint8_t* p, const uint8_t* end, bool final, uint8_t*& out) {
        return RunAtLevel(*this, p, end, final, out);
    }

    template <bool kVectors>
    const uint8_t* RunAt([[maybe_unused]] VectorLevel level, const uint8_t* p, const uint8_t* end, bool final,
                         uint8_t*& out) {
        const uint8_t* const limit = p + ((end - p) & ~int64_t{1});
        uint8_t* o = out;
        while (p < limit) {
            // ASCII a word (4 units) at a time; past a whole word, by the
            // vector kernels.
            while (limit - p >= 8) {
                const uint64_t v = Load64(p);
                const uint64_t flags = NonAsciiUnits(v);
                Store32(o, Narrow4(v & ~kAsciiMask16));
                const int k = flags == 0 ? 4 : LeadingUnits(flags);
                o += k;
                p += 2 * k;
                if (k < 4) break;
                if constexpr (kVectors) {
                    if (limit - p >= 32) p = NarrowAsciiVector(level, p, limit, o);
                }
            }
            if (p == limit) break;
            // Unit by unit up to the next ASCII unit (or the last units).
            bool stop = false;
            do {
                const uint16_t u = LoadUnit(p);
                if (u == 0) {
                    ended = stop = true;
                    break;
                }
                if (!IsSurrogate(u)) {
                    o = PutUtf8(o, u);
                    p += 2;
                    continue;
                }
                if (IsHighSurrogate(u)) {
                    stop = limit - p < 4 && !final;
                    if (stop) break;
                    if (limit - p >= 4 && IsLowSurrogate(LoadUnit(p + 2))) {
                        o = PutUtf8(o, 0x10000 + ((u - 0xD800u) << 10) + (LoadUnit(p + 2) - 0xDC00u));
                        p += 4;
                        continue;
                    }
                }
                o = PutUtf8(o, kReplacement);
                p += 2;
            } while (p < limit && LoadUnit(p) >= 0x80);
            if (stop) break;
        }
        out = o;
        return final && !ended ? end : p;
    }
};

// EUC-JP to UTF-8 or UTF-16: the two stages EUC-JP to Shift-JIS and
// Shift-JIS to the UTF (`Decode`, which writes through Sink), and the
// kernels of DecodeEucBlocks, which write what the two give in one pass, for
// stretches of ASCII and JIS X 0208 pairs. The kernels run only where
// both stages are at rest (nothing held back, and UTF-16's mark written by
// the stages); where they stop, the two
// stages take the next stretch, longer each time the kernels at once stop
// again, so that text they cannot take costs them little.
template <class Sink, class Decode>
class EucDecodeConverter final : public CChunkConverter {
public:
    void Feed(const uint8_t* p, int64_t n, CByteStream& out) override {
        const uint8_t* const end = p + n;
        const VectorLevel level = CurrentVectorLevel();
        const bool vectors = MORVEL_SSE2 && level != VectorLevel::Scalar && n >= kPairTableText;
        while (p < end) {
            if (vectors && euc_->AtRest() && decode_.AtRest()) {
                const uint8_t* const from = p;
                p = DecodeEucVector<Sink>(level, p, end, out);
                stretch_ = p - from >= kMinStretch ? kMinStretch : std::min(2 * stretch_, kMaxStretch);
            }
            const int64_t take = vectors ? std::min(stretch_, end - p) : end - p;
            Stages(p, take, out);
            p += take;
        }
    }

    void ContinueText() override {
        decode_.ContinueText();
    }

    bool Ended() const override { return euc_->Ended() || decode_.Ended(); }

    bool AtRest() const override { return euc_->AtRest() && decode_.AtRest(); }

    void Finish(CByteStream& out) override {
        between_.Discard();
        euc_->Finish(between_);
        decode_.Feed(between_.Data(), between_.Size(), out);
        decode_.Finish(out);
    }

private:
    // Stretches grow to where the stages use their pair tables (16 KiB)
    // and beyond.
    static constexpr int64_t kMinStretch = 64;
    static constexpr int64_t kMaxStretch = 64 * 1024;

    void Stages(const uint8_t* p, int64_t n, CByteStream& out) {
        if (n <= 0) return;
        between_.Discard();
        euc_->Feed(p, n, between_);
        decode_.Feed(between_.Data(), between_.Size(), out);
    }

    std::unique_ptr<CChunkConverter> euc_ = NewEucToSjis();
    Chunked<Decode> decode_;
    CByteStream between_;
    int64_t stretch_ = kMinStretch;
};

}  // namespace

std::unique_ptr<CChunkConverter> NewEucToUtf8Output() {
    return std::make_unique<EucDecodeConverter<Utf8Sink, Cp932ToUtf8Core>>();
}
std::unique_ptr<CChunkConverter> NewEucToUtf16Output() {
    return std::make_unique<EucDecodeConverter<Utf16Sink, Cp932ToUtf16Core>>();
}
std::unique_ptr<CChunkConverter> NewUtf16InputToSjis() { return std::make_unique<Chunked<Utf16ToCp932Core>>(); }
std::unique_ptr<CChunkConverter> NewUtf8InputToSjis() { return std::make_unique<Chunked<Utf8ToCp932Core>>(); }
std::unique_ptr<CChunkConverter> NewSjisToUtf16Output() { return std::make_unique<Chunked<Cp932ToUtf16Core>>(); }
std::unique_ptr<CChunkConverter> NewSjisToUtf8Output() { return std::make_unique<Chunked<Cp932ToUtf8Core>>(); }

}  // namespace internal

void ToUtf16(const CByteStream& src, CByteStream& dst, EncodingId mode) {
    if (mode == Unicode) {
        internal::ReplaceWithWholeText<internal::Cp932ToUtf16Core>(src, dst);
    } else {
        internal::ReplaceWithWholeText<internal::Utf8ToUtf16Core>(src, dst);
    }
}

void FromUtf16(const CByteStream& src, CByteStream& dst, EncodingId mode) {
    if (mode == Unicode) {
        internal::ReplaceWithWholeText<internal::Utf16ToCp932Core>(src, dst);
    } else {
        internal::ReplaceWithWholeText<internal::Utf16ToUtf8Core>(src, dst);
    }
}

void Utf16InputToSjis(const CByteStream& in, CByteStream& out) {
    internal::ReplaceWithWholeText<internal::Utf16ToCp932Core>(in, out);
}

void Utf8InputToSjis(const CByteStream& in, CByteStream& out) {
    internal::ReplaceWithWholeText<internal::Utf8ToCp932Core>(in, out);
}

void SjisToUtf16Output(const CByteStream& in, CByteStream& out) {
    internal::ReplaceWithWholeText<internal::Cp932ToUtf16Core>(in, out);
}

void SjisToUtf8Output(const CByteStream& in, CByteStream& out) {
    internal::ReplaceWithWholeText<internal::Cp932ToUtf8Core>(in, out);
}

}  // namespace morvel
