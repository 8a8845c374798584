// Shift-JIS <-> EUC-JP. Stateless but for a unit cut short: a JIS X 0208
// pair with both high bits set, half-width katakana behind 0x8E.
#include <bit>

#include "engine/engine.h"
#include "engine/internal/chunked.h"
#include "engine/internal/converters.h"
#include "engine/internal/kanji.h"
#include "engine/internal/vector.h"

namespace morvel {
namespace internal {
namespace {

struct SjisToEucCore : ZeroClosedCore<TextEnd::Bytewise> {
    static constexpr int64_t kGrowth = 2;  // half-width katakana double
    static constexpr int64_t kMaxCarry = 1;

    const uint8_t* Run(const uint8_t* p, const uint8_t* end, bool final, uint8_t*& out) {
        return RunAtLevel(*this, p, end, final, out);
    }

    template <bool kVectors>
    const uint8_t* RunAt([[maybe_unused]] VectorLevel level, const uint8_t* p, const uint8_t* end, bool final,
                         uint8_t*& out) {
        uint8_t* o = out;
        [[maybe_unused]] const uint8_t* scalarUntil = p;
        while (p < end) {
            if constexpr (kVectors) {
                if (p >= scalarUntil && end - p > 16) {
                    const uint8_t* const from = p;
                    p = SjisToEucBlocks(level, p, end, o);
                    if (p - from < kScalarStretch) scalarUntil = p + kScalarStretch;
                    if (p == end) break;
                }
            }
            if (*p >= 0x20 && *p < 0x7F) {
                p = CopyUntil(p, end, o, NonPrintable);
                if (p == end) break;
            }
            const unsigned c = *p;
            if (c < 0x7F) {
                ++p;
                if (c >= 0x20 || IsKeptControl(c)) *o++ = static_cast<uint8_t>(c);
            } else if (c >= 0xA1 && c <= 0xDF) {
                ++p;
                o[0] = 0x8E;
                o[1] = static_cast<uint8_t>(c);
                o += 2;
            } else if (IsSjisLead(c)) {
                if (p + 1 == end) {
                    if (!final) break;
                    *o++ = static_cast<uint8_t>(c);  // a lead byte that ends the text
                    ++p;
                    continue;
                }
                // A run of pairs in a tight loop.
                do {
                    const unsigned s1 = p[0], s2 = p[1];
                    p += 2;
                    if (IsValidSjisPair(s1, s2)) {
                        SjisToJisPair(s1, s2, o);
                        o[0] |= 0x80;
                        o[1] |= 0x80;
                    } else {
                        o[0] = static_cast<uint8_t>(s1);
                        o[1] = static_cast<uint8_t>(s2 | 0x80);
                    }
                    o += 2;
                } while (end - p >= 2 && IsSjisLead(*p));
            } else {
                ++p;  // 0x7F, 0x80, 0xA0, 0xFD-0xFF are dropped
            }
        }
        out = o;
        return p;
    }
};

struct EucToSjisCore : ZeroClosedCore<TextEnd::Bytewise> {
    static constexpr int64_t kGrowth = 1;  // nothing grows
    static constexpr int64_t kMaxCarry = 2;

    const uint8_t* Run(const uint8_t* p, const uint8_t* end, bool final, uint8_t*& out) {
        return RunAtLevel(*this, p, end, final, out);
    }

    template <bool kVectors>
    const uint8_t* RunAt([[maybe_unused]] VectorLevel level, const uint8_t* p, const uint8_t* end, bool final,
                         uint8_t*& out) {
        uint8_t* o = out;
        [[maybe_unused]] const uint8_t* scalarUntil = p;
        while (p < end) {
            if constexpr (kVectors) {
                if (p >= scalarUntil && end - p >= 16) {
                    const uint8_t* const from = p;
                    p = EucToSjisBlocks(level, p, end, o);
                    if (p - from < kScalarStretch) scalarUntil = p + kScalarStretch;
                    if (p == end) break;
                }
            }
            if (*p >= 0x20 && *p < 0x7F) {
                p = CopyUntil(p, end, o, NonPrintable);
                if (p == end) break;
            }
            const unsigned c = *p;
            const int64_t left = end - p;
            if (c >= 0xA1 && c <= 0xFE && left >= 2) {
                // A run of JIS X 0208 pairs: the second byte is not examined.
                do {
                    JisToSjisPair(p[0] & 0x7Fu, p[1] & 0x7Fu, o);
                    o += 2;
                    p += 2;
                } while (end - p >= 2 && p[0] >= 0xA1 && p[0] <= 0xFE);
                continue;
            }
            if (c < 0x7F) {
                if (c >= 0x20 || IsKeptControl(c)) {
                    *o++ = static_cast<uint8_t>(c);
                    ++p;
                } else if (c == 0x1B) {
                    // An escape sequence that strayed into EUC-JP text is dropped:
                    // ESC, and "$" or "(" with the byte after it, or any one byte.
                    if (!final && (left == 1 || (left == 2 && (p[1] == '$' || p[1] == '(')))) break;
                    if (left == 1) {
                        p = end;
                    } else if (p[1] == '$' || p[1] == '(') {
                        p += left >= 3 ? 3 : left;
                    } else {
                        p += 2;
                    }
                } else {
                    ++p;  // other control characters are dropped
                }
            } else if (c == 0x8E) {
                if (left == 1) {
                    if (!final) break;
                    ++p;
                } else {
                    *o++ = p[1];  // whatever follows 0x8E is taken as it is
                    p += 2;
                }
            } else if (c >= 0xA1 && c <= 0xFE) {
                if (left == 1) {
                    if (!final) break;
                    *o++ = static_cast<uint8_t>(c);  // the text ends inside a pair
                    ++p;
                } else {
                    JisToSjisPair(c & 0x7F, p[1] & 0x7Fu, o);
                    o += 2;
                    p += 2;
                }
            } else {
                // 0x7F, 0x80-0x8D, 0x8F-0xA0 and 0xFF are dropped; so a JIS X
                // 0212 character loses its 0x8F and converts as a JIS X 0208 pair.
                ++p;
            }
        }
        out = o;
        return p;
    }
};

}  // namespace

std::unique_ptr<CChunkConverter> NewSjisToEuc() { return std::make_unique<Chunked<SjisToEucCore>>(); }
std::unique_ptr<CChunkConverter> NewEucToSjis() { return std::make_unique<Chunked<EucToSjisCore>>(); }

}  // namespace internal

void SjisToEuc(CByteStream& src, CByteStream& dst) { internal::RunWholeText<internal::SjisToEucCore>(src, dst); }
void EucToSjis(CByteStream& src, CByteStream& dst) { internal::RunWholeText<internal::EucToSjisCore>(src, dst); }

}  // namespace morvel
