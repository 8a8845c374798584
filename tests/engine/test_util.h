// Shared by the engine tests and the fuzz targets: streams from byte lists,
// readable hex, glibc's iconv, every conversion with its reference and its
// resumable converter, random text, and feeding a converter in pieces.
#pragma once

#include <iconv.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "engine/converter.h"
#include "engine/engine.h"
#include "engine/reference/reference.h"

namespace morvel::test {

using Bytes = std::vector<uint8_t>;

inline void Fill(CByteStream& s, const Bytes& bytes) {
    s.Clear();
    for (uint8_t b : bytes) s.Append(b);
}

inline Bytes ToBytes(const CByteStream& s) { return Bytes(s.Data(), s.Data() + s.Size()); }

inline std::string Hex(const Bytes& bytes) {
    std::string out;
    char buf[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", bytes[i]);
        out += buf;
    }
    return out;
}

inline Bytes Concat(const Bytes& a, const Bytes& b) {
    // Element by element: g++ 12 at -O3 misreads a range insert here as
    // writing out of bounds (-Warray-bounds).
    Bytes out;
    out.reserve(a.size() + b.size());
    for (uint8_t x : a) out.push_back(x);
    for (uint8_t x : b) out.push_back(x);
    return out;
}

// glibc's iconv from one character set to another.
class Iconv {
public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Iconv() {
        if (Ok()) iconv_close(cd_);
    }
    bool Ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    // The converted bytes, or nothing when iconv refuses the input.
    Bytes Convert(Bytes in) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        Bytes out(in.size() * 4 + 16);
        char* ip = reinterpret_cast<char*>(in.data());
        char* op = reinterpret_cast<char*>(out.data());
        size_t il = in.size(), ol = out.size();
        if (iconv(cd_, &ip, &il, &op, &ol) == static_cast<size_t>(-1)) return {};
        out.resize(out.size() - ol);
        return out;
    }

private:
    iconv_t cd_;
};

// `count` bytes of printable ASCII: put in front of a text, it makes the
// text meet the word-at-a-time and vector paths at every alignment and
// every block edge (0 to kMaxPrefix bytes cover the widest block twice).
constexpr size_t kMaxPrefix = 63;
inline Bytes AsciiPrefix(size_t count) {
    Bytes out;
    for (size_t i = 0; i < count; ++i) out.push_back(static_cast<uint8_t>('a' + i % 26));
    return out;
}

// UTF-16LE bytes of the given units, and of ASCII bytes (push_back, not
// insert, for the same reason as Concat).
inline Bytes U16(std::initializer_list<uint16_t> units) {
    Bytes out;
    for (uint16_t u : units) {
        out.push_back(static_cast<uint8_t>(u));
        out.push_back(static_cast<uint8_t>(u >> 8));
    }
    return out;
}
inline Bytes Widen(const Bytes& ascii) {
    Bytes out;
    for (uint8_t b : ascii) out.insert(out.end(), {b, 0});
    return out;
}

// ---- Vector levels ---------------------------------------------------------------

// Every level this processor runs, the scalar one first: every operation is
// checked at each.
inline const std::vector<VectorLevel>& VectorLevels() {
    static const std::vector<VectorLevel> levels = [] {
        std::vector<VectorLevel> out;
        for (int l = 0; l <= static_cast<int>(SupportedVectorLevel()); ++l) out.push_back(static_cast<VectorLevel>(l));
        return out;
    }();
    return levels;
}

// The engine runs at `level` while this is in scope.
class AtLevel {
public:
    explicit AtLevel(VectorLevel level) : before_(SetVectorLevel(level)) {}
    ~AtLevel() { SetVectorLevel(before_); }
    AtLevel(const AtLevel&) = delete;
    AtLevel& operator=(const AtLevel&) = delete;

private:
    VectorLevel before_;
};

inline const char* LevelName(VectorLevel level) {
    return level == VectorLevel::Scalar ? "scalar" : level == VectorLevel::Sse2 ? "SSE2" : "AVX2";
}

// ---- The conversions ----------------------------------------------------------

using Fn = void (*)(CByteStream& src, CByteStream& dst);

template <auto F>
void Call(CByteStream& s, CByteStream& d) { F(s, d); }
template <auto F, EncodingId M>
void CallWith(CByteStream& s, CByteStream& d) { F(s, d, M); }

// How a text is laid out: the input's form picks the random text and how an
// ASCII prefix is written; the output's form says how that prefix comes out.
enum class Form { Bytes, Utf8, Utf16, MarkedUtf16, FullWidth };

struct Conversion {
    const char* name;
    Form in, out;
    bool byteWise;  // reads from the read position and appends; else reads from byte 0 and replaces
    Fn fast, reference;
    Fn chain;  // the chain of engine.h that gives the same bytes, if any
    std::optional<Operation> converter;
};

enum class Op {
    SjisToJis, JisToSjis, SjisToEuc, EucToSjis,
    KanaToFullWidth, KanaToHalfWidth, AlnumToHalfWidth, AlnumToFullWidth,
    SjisToUtf16, Utf16ToSjis, Utf8ToSjis, SjisToUtf8, Utf8ToUtf16, Utf16ToUtf8,
};

// Indexed by Op.
#define MORVEL_BYTE_WISE(name, out) {#name, Form::Bytes, Form::out, true, name, reference::name, nullptr, Operation::name}
inline const Conversion kConversions[] = {
    MORVEL_BYTE_WISE(SjisToJis, Bytes), MORVEL_BYTE_WISE(JisToSjis, Bytes),
    MORVEL_BYTE_WISE(SjisToEuc, Bytes), MORVEL_BYTE_WISE(EucToSjis, Bytes),
    MORVEL_BYTE_WISE(KanaToFullWidth, Bytes), MORVEL_BYTE_WISE(KanaToHalfWidth, Bytes),
    MORVEL_BYTE_WISE(AlnumToHalfWidth, Bytes), MORVEL_BYTE_WISE(AlnumToFullWidth, FullWidth),
    {"SjisToUtf16Output", Form::Bytes, Form::MarkedUtf16, false, CallWith<ToUtf16, Unicode>,
     CallWith<reference::ToUtf16, Unicode>, Call<SjisToUtf16Output>, Operation::SjisToUtf16Output},
    {"Utf16InputToSjis", Form::Utf16, Form::Bytes, false, CallWith<FromUtf16, Unicode>,
     CallWith<reference::FromUtf16, Unicode>, Call<Utf16InputToSjis>, Operation::Utf16InputToSjis},
    {"Utf8InputToSjis", Form::Utf8, Form::Bytes, false, Call<Utf8InputToSjis>, Call<reference::Utf8InputToSjis>,
     nullptr, Operation::Utf8InputToSjis},
    {"SjisToUtf8Output", Form::Bytes, Form::Bytes, false, Call<SjisToUtf8Output>,
     Call<reference::SjisToUtf8Output>, nullptr, Operation::SjisToUtf8Output},
    {"Utf8ToUtf16", Form::Utf8, Form::Utf16, false, CallWith<ToUtf16, Utf8>, CallWith<reference::ToUtf16, Utf8>,
     nullptr, std::nullopt},
    {"Utf16ToUtf8", Form::Utf16, Form::Bytes, false, CallWith<FromUtf16, Utf8>,
     CallWith<reference::FromUtf16, Utf8>, nullptr, std::nullopt},
};
#undef MORVEL_BYTE_WISE

inline const Conversion& Of(Op op) { return kConversions[static_cast<int>(op)]; }

// What one run leaves: the destination's bytes and the source's read position.
struct Outcome {
    Bytes out;
    int64_t readPos;
    bool operator==(const Outcome&) const = default;
};
inline void PrintTo(const Outcome& o, std::ostream* os) { *os << Hex(o.out) << " (read to " << o.readPos << ")"; }

// Runs `f` on `text` from read position `pos` into a destination that holds
// `before` and, when `roomy`, has room for any result already.
inline Outcome Apply(Fn f, const Bytes& text, int64_t pos = 0, const Bytes& before = {}, bool roomy = false) {
    CByteStream src, dst;
    Fill(src, text);
    src.SetReadPos(pos);
    if (roomy) dst.Reserve(4 * static_cast<int64_t>(text.size() + before.size()) + 16);
    for (uint8_t b : before) dst.Append(b);
    f(src, dst);
    return {ToBytes(dst), src.ReadPos()};
}

// `n` bytes of ASCII in the conversion's input form.
inline Bytes InputPrefix(const Conversion& c, size_t n) {
    return c.in == Form::Utf16 ? Widen(AsciiPrefix(n)) : AsciiPrefix(n);
}

// Whether the operation and its chain give the reference's outcome at every
// vector level, into the destination as given and (unless `roomy` is false)
// into one with room for any result already.
inline bool MatchesReference(const Conversion& c, const Bytes& text, int64_t pos = 0, const Bytes& before = {},
                             bool roomy = true) {
    const Outcome want = Apply(c.reference, text, pos, before);
    for (VectorLevel level : VectorLevels()) {
        const AtLevel at(level);
        for (Fn f : {c.fast, c.chain}) {
            if (f && (Apply(f, text, pos, before) != want || (roomy && Apply(f, text, pos, before, true) != want)))
                return false;
        }
    }
    return true;
}

// Whether DetectEncoding gives the same result, and leaves the read position
// at the same place, at every vector level (the scalar passes are the
// vector passes' oracle); that result one of the listed ones, the text
// unchanged and no more than its head read.
inline bool DetectsAlikeAtEveryLevel(const Bytes& text) {
    std::optional<std::pair<EncodingId, int64_t>> first;
    for (VectorLevel level : VectorLevels()) {
        const AtLevel at(level);
        CByteStream s;
        Fill(s, text);
        const EncodingId id = DetectEncoding(s);
        const std::pair<EncodingId, int64_t> got{id, s.ReadPos()};
        const bool listed =
            id == Undetermined || id == ShiftJis || id == Jis || id == EucJp || id == Unicode || id == Utf8;
        if (!listed || ToBytes(s) != text || got.second < 0 || got.second > kDetectionHeadBytes) return false;
        if (first && *first != got) return false;
        first = got;
    }
    return true;
}

// The converter `op` fed `text` in pieces that end at `cuts` (ascending
// offsets into the text), then finished.
inline Bytes FeedInPieces(Operation op, const Bytes& text, const std::vector<size_t>& cuts) {
    auto converter = MakeConverter(op);
    CByteStream out;
    size_t at = 0;
    for (size_t cut : cuts) {
        converter->Feed(text.data() + at, static_cast<int64_t>(cut - at), out);
        at = cut;
    }
    converter->Feed(text.data() + at, static_cast<int64_t>(text.size() - at), out);
    converter->Finish(out);
    return ToBytes(out);
}

// Cuts of `size` bytes into pieces of 1 to `maxPiece` bytes.
inline std::vector<size_t> RandomCuts(std::mt19937& rng, size_t size, size_t maxPiece) {
    std::vector<size_t> cuts;
    for (size_t at = 1 + rng() % maxPiece; at < size; at += 1 + rng() % maxPiece) cuts.push_back(at);
    return cuts;
}

// ---- Random text ----------------------------------------------------------------

inline Bytes Utf8Of(uint32_t u) {
    if (u < 0x80) return {static_cast<uint8_t>(u)};
    const int n = u < 0x800 ? 2 : u < 0x10000 ? 3 : 4;
    Bytes out(n);
    for (int i = n - 1; i > 0; --i, u >>= 6) out[i] = static_cast<uint8_t>(0x80 | (u & 0x3F));
    out[0] = static_cast<uint8_t>(0xF00 >> n | u);  // C0, E0 or F0 and the top bits
    return out;
}

inline Bytes Utf16Of(uint32_t u) {
    if (u < 0x10000) return U16({static_cast<uint16_t>(u)});
    return U16({static_cast<uint16_t>(0xD800 + ((u - 0x10000) >> 10)), static_cast<uint16_t>(0xDC00 + (u & 0x3FF))});
}

// Random text of `items` items, made of what steers some conversion: escape
// sequences and shift codes, lead and trail bytes, half-width katakana and
// their marks, byte-order marks, bases with combining marks, surrogates,
// runs of ASCII, any byte, now and then a terminator; the characters mostly
// in `form` (Bytes: Shift-JIS, EUC-JP and JIS alike). UTF-16 text is made
// of whole units but may end on an odd byte.
inline Bytes RandomText(std::mt19937& rng, Form form, size_t items) {
    static const Bytes kPieces[] = {
        {0x1B, 0x24, 0x42}, {0x1B, 0x24, 0x40}, {0x1B, 0x28, 0x42}, {0x1B, 0x28, 0x49}, {0x1B, 0x28, 0x4A},
        {0x1B}, {0x0E}, {0x0F}, {0x0D, 0x0A}, {0x09}, {0x8E}, {0x8F}, {0x8F, 0xB0, 0xA1}, {0x88, 0x9F},
        {0x82, 0xA0}, {0x83, 0x4B}, {0x81, 0x5B}, {0x83, 0x94}, {0xB6, 0xDE}, {0xCA, 0xDF}, {0xB3, 0xDE},
        {0xB0, 0xA1}, {0x30, 0x21}, {0xB1}, {0x81}, {0x82, 0x60}, {0xFC, 0xFC}, {0xE3, 0x81, 0x8B},
        {0xE3, 0x82, 0x99}, {0x3D, 0xCC, 0xB8}, {0xD0, 0x98, 0xCC, 0x86}, {0xEF, 0xBB, 0xBF}, {0xEF, 0xBF, 0xBE},
        {0xFF, 0xFE}, {0x42, 0x30}, {0x3D, 0xD8}, {0x3D, 0xD8, 0x00, 0xDE}, {0x4B, 0x30, 0x99, 0x30},
        {0x3D, 0x00, 0x38, 0x03}, {0x18, 0x04, 0x06, 0x03}, {0xA6, 0x30, 0x99, 0x30},
    };
    static const Bytes kMarks[] = {{0xFF, 0xFE}, {0xFE, 0xFF}, {0xEF, 0xBB, 0xBF}, {0xEF, 0xBF, 0xBE}};
    static const uint32_t kCodePoints[] = {0x3099, 0x309A, 0x0308, 0x0306, 0x0338, 0x304B, 0x30A6, 0x0415,
                                           0x3D,   0xFEFF, 0xFFFE, 0xFFFD, 0x80,   0xF8F0, 0xE000, 0x10FFFF,
                                           0x5C,   0xA5,   0x203E, 0x301C, 0xFF5E, 0x2460, 0x7E8A, 0xFF61};
    auto pick = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
    auto byte = [](uint32_t b) { return static_cast<uint8_t>(b); };
    const bool utf16 = form == Form::Utf16;
    Bytes out;
    if (pick(4) == 0) out = kMarks[pick(utf16 ? 2 : 4)];
    for (size_t i = 0; i < items; ++i) {
        Bytes item;
        switch (pick(10)) {
            case 0: case 1: item = kPieces[pick(std::size(kPieces))]; break;
            case 2: item = {byte(rng()), byte(rng())}; item.resize(utf16 ? 2 : 1); break;
            case 3:
                for (uint32_t n = pick(24); n > 0; --n) item.push_back(byte(0x20 + pick(0x5F)));
                if (utf16) item = Widen(item);
                break;
            case 4: if (pick(6) == 0) item = Bytes(utf16 ? 2 : 1, static_cast<uint8_t>(pick(2) || utf16 ? 0x00 : 0x1A)); break;
            default:
                if (form == Form::Bytes) {
                    switch (pick(4)) {
                        case 0: item = {byte(pick(2) ? 0x81 + pick(3) : 0x81 + pick(31)), byte(0x40 + pick(0xBD))}; break;
                        case 1: item = {byte(0xE0 + pick(29)), byte(pick(8) ? 0x40 + pick(0xBD) : rng())}; break;
                        case 2: item = {byte(0xA1 + pick(0x3F))}; if (pick(2)) item.push_back(byte(0xDE + pick(2))); break;
                        default: item = {byte(0xA1 + pick(0x5E)), byte(0xA1 + pick(0x5E))};
                    }
                    break;
                }
                uint32_t u;
                switch (pick(6)) {
                    case 0: u = kCodePoints[pick(std::size(kCodePoints))]; break;
                    case 1: u = 0x3040 + pick(0xC0); break;
                    case 2: u = 0x4E00 + pick(0x5200); break;
                    case 3: u = 0x80 + pick(0x780); break;
                    case 4: u = 0x10000 + pick(0x100000); break;
                    default: u = 1 + pick(0xFFFF);
                }
                item = utf16 ? Utf16Of(u) : Utf8Of(u);
                if (pick(6) == 0) item.resize(utf16 ? 2 : 1 + pick(static_cast<uint32_t>(item.size())));  // cut short
        }
        if (utf16 && item.size() % 2) item.push_back(0x00);
        out.insert(out.end(), item.begin(), item.end());
    }
    if (utf16 && pick(8) == 0) out.push_back(0x41);
    return out;
}

// `text` with `count` line breaks put in at random places (whole units in
// UTF-16), some of them behind bytes that take them into an escape
// sequence; where a lead byte stands in front, into a pair.
inline Bytes WithLineBreaks(std::mt19937& rng, Bytes text, Form form, size_t count) {
    static const Bytes kLines[] = {{'a', 'b', 'c', '\n'}, {'=', '\r', '\n'}, {'\t', '~', '\r'},
                                   {'a', 0x1B, '(', '\n'}, {'a', 0x1B, '$', '\n'}, {'a', 0x1B, 'b', '\n'}};
    const bool utf16 = form == Form::Utf16;
    for (size_t i = 0; i < count; ++i) {
        const Bytes line = utf16 ? Widen(kLines[rng() % 3]) : kLines[rng() % std::size(kLines)];
        const size_t at = rng() % (text.size() + 1);
        const auto where = static_cast<std::ptrdiff_t>(utf16 ? at & ~size_t{1} : at);
        text.insert(text.begin() + where, line.begin(), line.end());
    }
    return text;
}

// `text` with what would end it early (0x00 and 0x1A; in UTF-16 a zero
// unit) made "A".
inline void DropTerminators(Bytes& text, Form form) {
    if (form == Form::Utf16) {
        for (size_t i = 0; i + 1 < text.size(); i += 2) text[i] = (text[i] | text[i + 1]) ? text[i] : 0x41;
    } else {
        for (uint8_t& b : text) b = b == 0x00 || b == 0x1A ? 0x41 : b;
    }
}

// `text` as a run loads it: its 0x00 behind, and in UTF-16 0x00 until the
// size is even and the last unit is zero.
inline Bytes Loaded(Bytes text, EncodingId input) {
    text.push_back(0x00);
    while (input == Unicode && (text.size() % 2 != 0 || text[text.size() - 2] != 0)) text.push_back(0x00);
    return text;
}

}  // namespace morvel::test
