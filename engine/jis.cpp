// Shift-JIS <-> ISO-2022-JP (JIS).
//
// Both directions are state machines over the three shift states ASCII, Kana
// and Kanji. Written: ESC $ B (Kanji), ESC ( I (Kana), ESC ( B (ASCII).
// Understood on reading as well: ESC $ @, ESC ( J, SO and SI.
#include <bit>

#include "engine/engine.h"
#include "engine/internal/chunked.h"
#include "engine/internal/converters.h"
#include "engine/internal/kanji.h"
#include "engine/internal/vector.h"

namespace morvel {
namespace internal {
namespace {

// The shift states, numbered as the kernels (kanji.h) number them.
enum class Shift { Ascii = 0, Kana = 1, Kanji = 2 };

// A kernel of kanji.h with the shift state as the core keeps it.
template <auto Kernel>
inline const uint8_t* WithShift(VectorLevel level, const uint8_t* p, const uint8_t* end, uint8_t*& o, Shift& state) {
    int s = static_cast<int>(state);
    p = Kernel(level, p, end, o, s);
    state = static_cast<Shift>(s);
    return p;
}

inline uint8_t* PutEscape(uint8_t* o, uint8_t a, uint8_t b) {
    o[0] = 0x1B;
    o[1] = a;
    o[2] = b;
    return o + 3;
}

// Bytes that end a run copied unchanged in the ASCII state of the decoder:
// SO, SI and ESC.
inline uint64_t JisShiftBytes(uint64_t x) {
    return ZeroBytes((x ^ (kOnes * 0x0E)) & (kOnes * 0xFE)) | BytesEqual(x, 0x1B);
}

struct SjisToJisCore {
    static constexpr TextEnd kEnd = TextEnd::Bytewise;
    // A byte gives at most an escape and one byte; a pair an escape and two.
    static constexpr int64_t kGrowth = 4;
    static constexpr int64_t kMaxCarry = 1;
    static constexpr int64_t kCloseMax = 4;
    bool ended = false;
    Shift state = Shift::Ascii;

    bool AtRest() const { return state == Shift::Ascii; }

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
                    p = WithShift<SjisToJisBlocks>(level, p, end, o, state);
                    if (p - from < kScalarStretch) scalarUntil = p + kScalarStretch;
                    if (p == end) break;
                }
            }
            if (state == Shift::Ascii && *p >= 0x20 && *p < 0x7F) {
                // Printable ASCII passes through unchanged in the ASCII state.
                p = CopyUntil(p, end, o, NonPrintable);
                if (p == end) break;
            }
            const unsigned c = *p;
            if (c < 0x7F) {
                ++p;
                if (c < 0x20 && !IsKeptControl(c)) continue;
                if (state != Shift::Ascii) {
                    o = PutEscape(o, '(', 'B');
                    state = Shift::Ascii;
                }
                *o++ = static_cast<uint8_t>(c);
            } else if (c >= 0xA1 && c <= 0xDF) {
                ++p;
                if (state != Shift::Kana) {
                    o = PutEscape(o, '(', 'I');
                    state = Shift::Kana;
                }
                *o++ = static_cast<uint8_t>(c & 0x7F);
            } else if (IsSjisLead(c)) {
                if (p + 1 == end) {
                    if (!final) break;
                    *o++ = static_cast<uint8_t>(c);  // a lead byte that ends the text
                    ++p;
                    continue;
                }
                const unsigned t = p[1];
                p += 2;
                if (IsValidSjisPair(c, t)) {
                    if (state != Shift::Kanji) {
                        o = PutEscape(o, '$', 'B');
                        state = Shift::Kanji;
                    }
                    SjisToJisPair(c, t, o);
                } else {
                    o[0] = static_cast<uint8_t>(c);
                    o[1] = static_cast<uint8_t>(t);
                }
                o += 2;
            } else {
                ++p;  // 0x7F, 0x80, 0xA0, 0xFD-0xFF are dropped
            }
        }
        out = o;
        return p;
    }

    void Close(uint8_t*& o) {
        if (state != Shift::Ascii) o = PutEscape(o, '(', 'B');
        *o++ = 0x00;
    }
};

struct JisToSjisCore : ZeroClosedCore<TextEnd::Bytewise> {
    static constexpr int64_t kGrowth = 1;  // escapes vanish, pairs stay pairs
    static constexpr int64_t kMaxCarry = 2;
    Shift state = Shift::Ascii;

    bool AtRest() const { return state == Shift::Ascii; }

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
                if (p >= scalarUntil && end - p >= 16 + 3) {
                    const uint8_t* const from = p;
                    p = WithShift<JisToSjisBlocks>(level, p, end, o, state);
                    if (p - from < kScalarStretch) scalarUntil = p + kScalarStretch;
                    if (p == end) break;
                }
            }
            if (state == Shift::Ascii && *p != 0x0E && *p != 0x0F && *p != 0x1B) {
                // Everything but SO, SI and ESC is copied in the ASCII state.
                p = CopyUntil(p, end, o, JisShiftBytes);
                if (p == end) break;
            }
            const unsigned c = *p;
            if (c == 0x0E) {
                state = Shift::Kana;
                ++p;
            } else if (c == 0x0F) {
                state = Shift::Ascii;
                ++p;
            } else if (c == 0x1B) {
                // ESC d e; at the end of the text whatever was read is dropped.
                if (end - p < 3 && !final) {
                    if (end - p == 1 || p[1] == '$' || p[1] == '(') break;
                }
                if (end - p == 1) {
                    p = end;
                    break;
                }
                const unsigned d = p[1];
                if (d != '$' && d != '(') {
                    p += 2;
                    continue;
                }
                if (end - p == 2) {
                    p = end;
                    break;
                }
                const unsigned e = p[2];
                p += 3;
                if (d == '$' && (e == '@' || e == 'B')) state = Shift::Kanji;
                if (d == '(' && e == 'I') state = Shift::Kana;
                if (d == '(' && (e == 'B' || e == 'J')) state = Shift::Ascii;
            } else if (IsKeptControl(c) || (c >= 0xA1 && c <= 0xDF)) {
                *o++ = static_cast<uint8_t>(c);
                ++p;
            } else if (state == Shift::Kana) {
                *o++ = static_cast<uint8_t>(c | 0x80);
                ++p;
            } else if (state == Shift::Kanji) {
                if (p + 1 == end) {
                    if (!final) break;
                    *o++ = static_cast<uint8_t>(c);  // the text ends inside a pair
                    ++p;
                } else {
                    JisToSjisPair(c, p[1], o);
                    o += 2;
                    p += 2;
                }
            } else {
                *o++ = static_cast<uint8_t>(c);
                ++p;
            }
        }
        out = o;
        return p;
    }
};

}  // namespace

std::unique_ptr<CChunkConverter> NewSjisToJis() { return std::make_unique<Chunked<SjisToJisCore>>(); }
std::unique_ptr<CChunkConverter> NewJisToSjis() { return std::make_unique<Chunked<JisToSjisCore>>(); }

}  // namespace internal

void SjisToJis(CByteStream& src, CByteStream& dst) { internal::RunWholeText<internal::SjisToJisCore>(src, dst); }
void JisToSjis(CByteStream& src, CByteStream& dst) { internal::RunWholeText<internal::JisToSjisCore>(src, dst); }

}  // namespace morvel
