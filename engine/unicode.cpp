// The UTF-16 and UTF-8 conversions and the code-page layer under them
// (Windows code page 932 on the multibyte side).
//
// Each operation finds the end of its text (memchr for the first 0x00 of a
// multibyte text; a UTF-16 text ends at its first zero unit), reserves the
// worst-case output once, and writes through a raw pointer: ASCII goes a
// word of 8 bytes (4 UTF-16 units) at a time, everything else through direct
// table lookups. An allocation failure leaves source and destination as they
// were (see Output).
//
// The chains that pass through UTF-16 between UTF-8 and CP932 skip that
// intermediate but give exactly its bytes; engine/reference/unicode_ref.cpp
// takes the long way and the tests hold the two together.
#include <bit>
#include <cstring>

#include "engine/engine.h"
#include "engine/unicode_internal.h"

namespace morvel {

static_assert(std::endian::native == std::endian::little,
              "the ASCII runs are widened and narrowed as little-endian words");

namespace {

using namespace cp932;

constexpr uint64_t kAsciiMask8 = 0x8080808080808080ULL;      // 8 bytes
constexpr uint64_t kAsciiMask16 = 0xFF80FF80FF80FF80ULL;     // 4 UTF-16 units
constexpr uint64_t kLaneOnes16 = 0x0001000100010001ULL;
constexpr uint64_t kLaneHigh16 = 0x8000800080008000ULL;

inline uint64_t Load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

inline void Store64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, 8); }

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
    o[0] = static_cast<uint8_t>(u);
    o[1] = static_cast<uint8_t>(u >> 8);
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

// Length of the multibyte text at the start of s: up to its first 0x00, or
// all of it.
inline int64_t TextLength(const CByteStream& s) {
    const void* nul = std::memchr(s.Data(), 0, static_cast<size_t>(s.Size()));
    return nul ? static_cast<const uint8_t*>(nul) - s.Data() : s.Size();
}

// Where a result is written: room for its worst case in the destination's
// own storage when that is large enough (then nothing can fail), else in a
// new stream swapped in at the end, so that an allocation failure leaves the
// destination as it was. Either way the destination's contents are replaced
// and its read position stays where the caller left it.
class Output {
public:
    Output(CByteStream& dst, int64_t worst) : dst_(dst) {
        if (dst.Capacity() >= worst) {
            dst.EraseFront(dst.Size());
            target_ = &dst;
        } else {
            target_ = &built_;
        }
        start_ = target_->Reserve(worst);
    }

    uint8_t* Start() const { return start_; }

    void Finish(const uint8_t* end) {
        target_->Commit(end - start_);
        if (target_ == &built_) {
            const int64_t readPos = dst_.ReadPos();
            swap(dst_, built_);
            dst_.SetReadPos(readPos);
        }
    }

private:
    CByteStream& dst_;
    CByteStream built_;
    CByteStream* target_;
    uint8_t* start_;
};

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

// ---- CP932 decoding -----------------------------------------------------------

// Decodes the CP932 text [p, end) (no 0x00 inside) and writes each unit
// through Sink: Sink::Ascii8(o, word) writes the output of 8 bytes of a word
// (of which only the leading ASCII ones may count; the output has room for
// it while 8 input bytes are left), Sink::kAsciiWidth is the output size of
// one ASCII byte, Sink::Unit(o, u) writes one unit. Returns the output end.
template <class Sink>
uint8_t* DecodeCp932(const uint8_t* p, const uint8_t* end, uint8_t* o) {
    while (p < end) {
        while (end - p >= 8) {
            const uint64_t v = Load64(p);
            const uint64_t flags = v & kAsciiMask8;
            Sink::Ascii8(o, v);
            if (flags == 0) {
                o += 8 * Sink::kAsciiWidth;
                p += 8;
                continue;
            }
            const int k = LeadingBytes(flags);
            o += k * Sink::kAsciiWidth;
            p += k;
            break;
        }
        if (p == end) break;
        const uint8_t b = *p;
        if (b < 0x80) {
            o = Sink::Unit(o, b);
            ++p;
            continue;
        }
        if (!IsLead(b)) {
            o = Sink::Unit(o, DecodeSingle(b));
            ++p;
            continue;
        }
        // A lead byte: with a trail byte one unit (U+FFFD if the pair is no
        // character); without one the lead alone is U+FFFD and the next byte
        // is decoded on its own.
        if (end - p < 2 || !IsTrail(p[1])) {
            o = Sink::Unit(o, kReplacement);
            ++p;
            continue;
        }
        const uint16_t u = DecodePair(b, p[1]);
        o = Sink::Unit(o, u ? u : kReplacement);
        p += 2;
    }
    return o;
}

struct Utf16Sink {
    static constexpr int kAsciiWidth = 2;
    static void Ascii8(uint8_t* o, uint64_t v) {
        Store64(o, Widen4(static_cast<uint32_t>(v)));
        Store64(o + 8, Widen4(static_cast<uint32_t>(v >> 32)));
    }
    static uint8_t* Unit(uint8_t* o, uint32_t u) { return PutUnit(o, u); }
};

struct Utf8Sink {
    static constexpr int kAsciiWidth = 1;
    static void Ascii8(uint8_t* o, uint64_t v) { Store64(o, v); }
    static uint8_t* Unit(uint8_t* o, uint32_t u) { return PutUtf8(o, u); }
};

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

// ---- Encoding to CP932 ---------------------------------------------------------

// Writes CP932 for a stream of code points, composing a base with a
// following combining mark where the precomposed form has a code. Marks have
// no code of their own, so a composition is looked for only at a code point
// without one: the base's output (`prevOut`) is then rewritten in place.
class Cp932Writer {
public:
    explicit Cp932Writer(uint8_t* o) : o_(o) {}

    uint8_t* Out() const { return o_; }

    // n >= 1 ASCII bytes already copied to Out(); the last may be a base.
    void AdvanceAscii(int n, uint8_t last) {
        prevOut_ = o_ + n - 1;
        prev_ = last;
        o_ += n;
    }

    void Put(uint32_t u) {
        if (u < 0x10000) {
            const uint16_t code = EncodeBmp(static_cast<uint16_t>(u));
            if (code != 0) {
                prevOut_ = o_;
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
        prev_ = u < 0x10000 && !IsSurrogate(u) ? u : 0;
        *o_++ = kDefaultChar;
    }

private:
    uint8_t* o_;
    uint8_t* prevOut_ = nullptr;
    uint32_t prev_ = 0;  // the last code point written, 0 when it cannot be a base
};

// ---- The operations ---------------------------------------------------------------

void Cp932ToUtf16(const CByteStream& src, CByteStream& dst) {
    const int64_t n = TextLength(src);
    Output out(dst, 2 * n + 4);
    // No CP932 byte decodes to U+FEFF or U+FFFE, so the text never starts
    // with a mark of its own and always gets FF FE.
    uint8_t* o = out.Start();
    *o++ = 0xFF;
    *o++ = 0xFE;
    o = DecodeCp932<Utf16Sink>(src.Data(), src.Data() + n, o);
    *o++ = 0;
    *o++ = 0;
    out.Finish(o);
}

void Utf8ToUtf16(const CByteStream& src, CByteStream& dst) {
    const int64_t n = TextLength(src);
    // Every input byte gives at most one unit (a 4-byte sequence gives two).
    Output out(dst, 2 * n + 2);
    uint8_t* o = out.Start();
    const uint8_t* p = src.Data();
    const uint8_t* const end = p + n;
    while (p < end) {
        while (end - p >= 8) {
            const uint64_t v = Load64(p);
            const uint64_t flags = v & kAsciiMask8;
            Utf16Sink::Ascii8(o, v);
            if (flags == 0) {
                o += 16;
                p += 8;
                continue;
            }
            const int k = LeadingBytes(flags);
            o += 2 * k;
            p += k;
            break;
        }
        if (p == end) break;
        if (*p < 0x80) {
            o = PutUnit(o, *p++);
            continue;
        }
        const uint32_t u = DecodeUtf8(p, end);
        if (u < 0x10000) {
            o = PutUnit(o, u);
        } else {
            o = PutUnit(o, 0xD800 + ((u - 0x10000) >> 10));
            o = PutUnit(o, 0xDC00 + (u & 0x3FF));
        }
    }
    *o++ = 0;
    *o++ = 0;
    out.Finish(o);
}

void Utf16ToCp932(const CByteStream& src, CByteStream& dst) {
    const uint8_t* p = src.Data();
    const uint8_t* const limit = p + (src.Size() & ~int64_t{1});
    if (src.Size() >= 2 && ((p[0] == 0xFF && p[1] == 0xFE) || (p[0] == 0xFE && p[1] == 0xFF))) p += 2;
    // One unit gives at most two bytes.
    Output out(dst, (limit - p) + 1);
    Cp932Writer w(out.Start());
    while (p < limit) {
        while (limit - p >= 8) {
            const uint64_t v = Load64(p);
            const uint64_t flags = NonAsciiUnits(v);
            Store32(w.Out(), Narrow4(v & ~kAsciiMask16));
            const int k = flags == 0 ? 4 : LeadingUnits(flags);
            if (k > 0) w.AdvanceAscii(k, p[2 * k - 2]);
            p += 2 * k;
            if (k < 4) break;
        }
        if (p == limit) break;
        const uint16_t u = LoadUnit(p);
        if (u == 0) break;
        p += 2;
        if (IsHighSurrogate(u) && p < limit && IsLowSurrogate(LoadUnit(p))) {
            p += 2;
            w.Put(0x10000);  // a supplementary character: one "?"
            continue;
        }
        w.Put(u);
    }
    uint8_t* o = w.Out();
    *o++ = 0;
    out.Finish(o);
}

void Utf16ToUtf8(const CByteStream& src, CByteStream& dst) {
    const uint8_t* p = src.Data();
    const uint8_t* const limit = p + (src.Size() & ~int64_t{1});
    // One unit gives at most three bytes (a pair of them four).
    Output out(dst, (limit - p) / 2 * 3 + 1);
    uint8_t* o = out.Start();
    while (p < limit) {
        while (limit - p >= 8) {
            const uint64_t v = Load64(p);
            const uint64_t flags = NonAsciiUnits(v);
            Store32(o, Narrow4(v & ~kAsciiMask16));
            const int k = flags == 0 ? 4 : LeadingUnits(flags);
            o += k;
            p += 2 * k;
            if (k < 4) break;
        }
        if (p == limit) break;
        const uint16_t u = LoadUnit(p);
        if (u == 0) break;
        p += 2;
        if (!IsSurrogate(u)) {
            o = PutUtf8(o, u);
        } else if (IsHighSurrogate(u) && p < limit && IsLowSurrogate(LoadUnit(p))) {
            o = PutUtf8(o, 0x10000 + ((u - 0xD800u) << 10) + (LoadUnit(p) - 0xDC00u));
            p += 2;
        } else {
            o = PutUtf8(o, kReplacement);
        }
    }
    *o++ = 0;
    out.Finish(o);
}

}  // namespace

void ToUtf16(const CByteStream& src, CByteStream& dst, EncodingId mode) {
    if (src.Size() == 0) return;
    if (mode == Unicode) {
        Cp932ToUtf16(src, dst);
    } else {
        Utf8ToUtf16(src, dst);
    }
}

void FromUtf16(const CByteStream& src, CByteStream& dst, EncodingId mode) {
    if (src.Size() == 0) return;
    if (mode == Unicode) {
        Utf16ToCp932(src, dst);
    } else {
        Utf16ToUtf8(src, dst);
    }
}

void Utf16InputToSjis(const CByteStream& in, CByteStream& out) { FromUtf16(in, out, Unicode); }

void SjisToUtf16Output(const CByteStream& in, CByteStream& out) { ToUtf16(in, out, Unicode); }

// UTF-8 straight to CP932. The UTF-16 text in between would begin with the
// unit of the first character, and a unit U+FEFF or U+FFFE there reads as a
// mark and is skipped; so is the UTF-8 sequence that gives it.
void Utf8InputToSjis(const CByteStream& in, CByteStream& out) {
    if (in.Size() == 0) return;
    const int64_t n = TextLength(in);
    const uint8_t* p = in.Data();
    const uint8_t* const end = p + n;
    if (n >= 3 && p[0] == 0xEF && ((p[1] == 0xBB && p[2] == 0xBF) || (p[1] == 0xBF && p[2] == 0xBE))) p += 3;
    // One input byte gives at most one output byte: only sequences of two
    // bytes or more become double-byte codes. So while 8 input bytes are
    // left, the output has room for a whole word.
    Output result(out, (end - p) + 1);
    Cp932Writer w(result.Start());
    while (p < end) {
        while (end - p >= 8) {
            const uint64_t v = Load64(p);
            const uint64_t flags = v & kAsciiMask8;
            Store64(w.Out(), v);
            const int k = flags == 0 ? 8 : LeadingBytes(flags);
            if (k > 0) w.AdvanceAscii(k, p[k - 1]);
            p += k;
            if (k < 8) break;
        }
        if (p == end) break;
        if (*p < 0x80) {
            w.Put(*p++);
            continue;
        }
        w.Put(DecodeUtf8(p, end));
    }
    uint8_t* o = w.Out();
    *o++ = 0;
    result.Finish(o);
}

// CP932 straight to UTF-8: the UTF-16 text in between holds only BMP
// characters that are not surrogates, so nothing else changes on the way.
void SjisToUtf8Output(const CByteStream& in, CByteStream& out) {
    if (in.Size() == 0) return;
    const int64_t n = TextLength(in);
    // One input byte gives at most three output bytes.
    Output result(out, 3 * n + 1);
    uint8_t* o = DecodeCp932<Utf8Sink>(in.Data(), in.Data() + n, result.Start());
    *o++ = 0;
    result.Finish(o);
}

}  // namespace morvel
