// The UTF-16/UTF-8 conversions, their chains and the CP932 tables under
// them: fixed vectors (each run through the fast operation, its chain and
// the reference, behind 0..31 bytes of ASCII where the vector allows it),
// the whole double-byte table against glibc's iconv, round trips, and fast
// against reference on random text.
#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "engine/converter.h"
#include "engine/internal/cp932_tables.h"
#include "engine/engine.h"
#include "engine/reference/reference.h"
#include "tests/engine/test_util.h"

namespace morvel {
namespace {

using test::AsciiPrefix;
using test::Bytes;
using test::Concat;
using test::Fill;
using test::Hex;
using test::ToBytes;

enum class Op {
    SjisToUtf16,   // ToUtf16(Unicode) and SjisToUtf16Output
    Utf8ToUtf16,   // ToUtf16(Utf8)
    Utf16ToSjis,   // FromUtf16(Unicode) and Utf16InputToSjis
    Utf16ToUtf8,   // FromUtf16(Utf8)
    Utf8ToSjis,    // Utf8InputToSjis
    SjisToUtf8,    // SjisToUtf8Output
};

const char* OpName(Op op) {
    switch (op) {
        case Op::SjisToUtf16: return "ToUtf16(Unicode)";
        case Op::Utf8ToUtf16: return "ToUtf16(Utf8)";
        case Op::Utf16ToSjis: return "FromUtf16(Unicode)";
        case Op::Utf16ToUtf8: return "FromUtf16(Utf8)";
        case Op::Utf8ToSjis: return "Utf8InputToSjis";
        case Op::SjisToUtf8: return "SjisToUtf8Output";
    }
    return "?";
}

using StreamOp = void (*)(const CByteStream&, CByteStream&);

// Every implementation of an operation: the fast one, the chain that stands
// for it (if any) and the reference.
std::vector<StreamOp> Implementations(Op op) {
    switch (op) {
        case Op::SjisToUtf16:
            return {[](const CByteStream& s, CByteStream& d) { ToUtf16(s, d, Unicode); }, SjisToUtf16Output,
                    [](const CByteStream& s, CByteStream& d) { reference::ToUtf16(s, d, Unicode); }};
        case Op::Utf8ToUtf16:
            return {[](const CByteStream& s, CByteStream& d) { ToUtf16(s, d, Utf8); },
                    [](const CByteStream& s, CByteStream& d) { reference::ToUtf16(s, d, Utf8); }};
        case Op::Utf16ToSjis:
            return {[](const CByteStream& s, CByteStream& d) { FromUtf16(s, d, Unicode); }, Utf16InputToSjis,
                    [](const CByteStream& s, CByteStream& d) { reference::FromUtf16(s, d, Unicode); }};
        case Op::Utf16ToUtf8:
            return {[](const CByteStream& s, CByteStream& d) { FromUtf16(s, d, Utf8); },
                    [](const CByteStream& s, CByteStream& d) { reference::FromUtf16(s, d, Utf8); }};
        case Op::Utf8ToSjis: return {Utf8InputToSjis, reference::Utf8InputToSjis};
        case Op::SjisToUtf8: return {SjisToUtf8Output, reference::SjisToUtf8Output};
    }
    return {};
}

bool InputIsUtf16(Op op) { return op == Op::Utf16ToSjis || op == Op::Utf16ToUtf8; }
bool OutputIsUtf16(Op op) { return op == Op::SjisToUtf16 || op == Op::Utf8ToUtf16; }

// The destination starts out holding something, to show it is replaced.
Bytes RunStream(StreamOp f, const Bytes& input) {
    CByteStream src, dst;
    Fill(src, input);
    Fill(dst, {0xEE, 0xEE, 0xEE});
    f(src, dst);
    return ToBytes(dst);
}

// The same into a destination that already has room for any result.
Bytes RunRoomy(StreamOp f, const Bytes& input) {
    CByteStream src, dst;
    Fill(src, input);
    dst.Reserve(4 * static_cast<int64_t>(input.size()) + 16);
    for (int i = 0; i < 3; ++i) dst.Append(0xEE);  // as RunStream's
    f(src, dst);
    return ToBytes(dst);
}

Bytes Widen(const Bytes& ascii) {
    Bytes out;
    for (uint8_t b : ascii) out.insert(out.end(), {b, 0});
    return out;
}

Bytes U16(std::initializer_list<uint16_t> units) {
    Bytes out;
    for (uint16_t u : units) out.insert(out.end(), {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8)});
    return out;
}

struct Vector {
    Op op;
    Bytes in;
    Bytes out;
    bool atStart = false;  // about the head of the text: no ASCII prefix
};

// The ASCII prefix in the input's and the output's form (after FF FE for
// marked UTF-16 output).
void CheckVector(const Vector& v) {
    const size_t maxPrefix = v.atStart ? 0 : 31;
    for (size_t n = 0; n <= maxPrefix; ++n) {
        const Bytes ascii = AsciiPrefix(n);
        const Bytes in = Concat(InputIsUtf16(v.op) ? Widen(ascii) : ascii, v.in);
        Bytes want = v.out;
        if (n > 0) {
            const Bytes p = OutputIsUtf16(v.op) ? Widen(ascii) : ascii;
            const size_t at = v.op == Op::SjisToUtf16 ? 2 : 0;
            want.insert(want.begin() + static_cast<std::ptrdiff_t>(at), p.begin(), p.end());
        }
        for (StreamOp f : Implementations(v.op)) {
            ASSERT_EQ(Hex(RunStream(f, in)), Hex(want)) << OpName(v.op) << " of " << Hex(in);
        }
    }
}

TEST(UnicodeTest, Vectors) {
    using O = Op;
    const std::vector<Vector> vectors = {
        // CP932 -> UTF-16: terminator, mark, and 0x1A, which does not end the text.
        {O::SjisToUtf16, {0x41, 0x00}, {0xFF, 0xFE, 0x41, 0x00, 0x00, 0x00}},
        {O::SjisToUtf16, {0x82, 0xA0, 0x00}, {0xFF, 0xFE, 0x42, 0x30, 0x00, 0x00}},
        {O::SjisToUtf16, {0x00}, {0xFF, 0xFE, 0x00, 0x00}},
        {O::SjisToUtf16, {0x41}, {0xFF, 0xFE, 0x41, 0x00, 0x00, 0x00}},
        {O::SjisToUtf16, {0x41, 0x00, 0x42, 0x00}, {0xFF, 0xFE, 0x41, 0x00, 0x00, 0x00}},
        {O::SjisToUtf16, {0x41, 0x1A, 0x42, 0x00}, {0xFF, 0xFE, 0x41, 0x00, 0x1A, 0x00, 0x42, 0x00, 0x00, 0x00}},
        // The single bytes Windows maps outside the table, and half-width katakana.
        {O::SjisToUtf16, {0x80, 0xA0, 0xFD, 0xFE, 0xFF, 0xA1, 0xDF, 0x00},
         Concat({0xFF, 0xFE}, U16({0x0080, 0xF8F0, 0xF8F1, 0xF8F2, 0xF8F3, 0xFF61, 0xFF9F, 0}))},
        {O::SjisToUtf16, {0x5C, 0x7E, 0x00}, Concat({0xFF, 0xFE}, U16({0x5C, 0x7E, 0}))},
        // Malformed CP932: a lead without a trail is U+FFFD alone, a pair
        // that is no character one U+FFFD.
        {O::SjisToUtf16, {0x82, 0x00}, Concat({0xFF, 0xFE}, U16({0xFFFD, 0}))},
        {O::SjisToUtf16, {0x82}, Concat({0xFF, 0xFE}, U16({0xFFFD, 0}))},
        {O::SjisToUtf16, {0x82, 0x0D, 0x0A, 0x00}, Concat({0xFF, 0xFE}, U16({0xFFFD, 0x0D, 0x0A, 0}))},
        {O::SjisToUtf16, {0x82, 0x7F, 0x00}, Concat({0xFF, 0xFE}, U16({0xFFFD, 0x7F, 0}))},
        {O::SjisToUtf16, {0x82, 0xFD, 0x00}, Concat({0xFF, 0xFE}, U16({0xFFFD, 0xF8F1, 0}))},
        {O::SjisToUtf16, {0x82, 0x82, 0xA0, 0x00}, Concat({0xFF, 0xFE}, U16({0xFF42, 0xF8F0, 0}))},
        {O::SjisToUtf16, {0x82, 0x41, 0x42, 0x00}, Concat({0xFF, 0xFE}, U16({0xFFFD, 0x42, 0}))},
        {O::SjisToUtf16, {0x85, 0x40, 0xEB, 0xFC, 0x00}, Concat({0xFF, 0xFE}, U16({0xFFFD, 0xFFFD, 0}))},
        {O::SjisToUtf16, {0x81, 0x82, 0xA0, 0x00}, Concat({0xFF, 0xFE}, U16({0x2260, 0xF8F0, 0}))},
        // Vendor rows and the user-defined area.
        {O::SjisToUtf16, {0x87, 0x40, 0xED, 0x40, 0xFA, 0x40, 0xFC, 0x4B, 0x00},
         Concat({0xFF, 0xFE}, U16({0x2460, 0x7E8A, 0x2170, 0x9ED1, 0}))},
        {O::SjisToUtf16, {0xF0, 0x40, 0xF9, 0xFC, 0x00}, Concat({0xFF, 0xFE}, U16({0xE000, 0xE757, 0}))},
        {O::SjisToUtf16, {0x81, 0x5F, 0x81, 0x60, 0x81, 0x61, 0x81, 0x7C, 0x00},
         Concat({0xFF, 0xFE}, U16({0xFF3C, 0xFF5E, 0x2225, 0xFF0D, 0}))},

        // UTF-8 -> UTF-16: no mark of its own, a UTF-8 mark stays.
        {O::Utf8ToUtf16, {0x41, 0x00}, {0x41, 0x00, 0x00, 0x00}},
        {O::Utf8ToUtf16, {0xEF, 0xBB, 0xBF, 0x41, 0x00}, {0xFF, 0xFE, 0x41, 0x00, 0x00, 0x00}},
        {O::Utf8ToUtf16, {0x00}, {0x00, 0x00}},
        {O::Utf8ToUtf16, {0x41, 0x1A, 0x00}, {0x41, 0x00, 0x1A, 0x00, 0x00, 0x00}},
        {O::Utf8ToUtf16, {0xE3, 0x81, 0x82}, U16({0x3042, 0})},
        {O::Utf8ToUtf16, {0xC2, 0x80, 0xDF, 0xBF, 0xE0, 0xA0, 0x80, 0xEF, 0xBF, 0xBF, 0x00},
         U16({0x0080, 0x07FF, 0x0800, 0xFFFF, 0})},
        {O::Utf8ToUtf16, {0xF0, 0x9F, 0x98, 0x80, 0xF4, 0x8F, 0xBF, 0xBF, 0xF0, 0x90, 0x80, 0x80, 0x00},
         U16({0xD83D, 0xDE00, 0xDBFF, 0xDFFF, 0xD800, 0xDC00, 0})},
        // Malformed UTF-8: one U+FFFD per maximal subpart.
        {O::Utf8ToUtf16, {0x80, 0xBF, 0x00}, U16({0xFFFD, 0xFFFD, 0})},
        {O::Utf8ToUtf16, {0xC0, 0x80, 0xC1, 0xBF, 0x00}, U16({0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0})},
        {O::Utf8ToUtf16, {0xC2, 0x00}, U16({0xFFFD, 0})},
        {O::Utf8ToUtf16, {0xC2, 0xC2, 0xA9, 0x00}, U16({0xFFFD, 0x00A9, 0})},
        {O::Utf8ToUtf16, {0xE3, 0x81, 0x00}, U16({0xFFFD, 0})},
        {O::Utf8ToUtf16, {0xE3, 0x81, 0x41, 0x00}, U16({0xFFFD, 0x41, 0})},
        {O::Utf8ToUtf16, {0xE0, 0x80, 0x80, 0x00}, U16({0xFFFD, 0xFFFD, 0xFFFD, 0})},
        {O::Utf8ToUtf16, {0xE0, 0x9F, 0xBF, 0x00}, U16({0xFFFD, 0xFFFD, 0xFFFD, 0})},
        {O::Utf8ToUtf16, {0xED, 0xA0, 0x80, 0xED, 0xBF, 0xBF, 0x00},
         U16({0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0})},
        {O::Utf8ToUtf16, {0xED, 0x9F, 0xBF, 0x00}, U16({0xD7FF, 0})},
        {O::Utf8ToUtf16, {0xF0, 0x80, 0x80, 0x80, 0x00}, U16({0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0})},
        {O::Utf8ToUtf16, {0xF4, 0x90, 0x80, 0x80, 0x00}, U16({0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0})},
        {O::Utf8ToUtf16, {0xF0, 0x9F, 0x98, 0x00}, U16({0xFFFD, 0})},
        {O::Utf8ToUtf16, {0xF0, 0x9F, 0x41, 0x00}, U16({0xFFFD, 0x41, 0})},
        {O::Utf8ToUtf16, {0xF0, 0x9F, 0x98, 0xE3, 0x81, 0x82, 0x00}, U16({0xFFFD, 0x3042, 0})},
        {O::Utf8ToUtf16, {0xF5, 0x80, 0xF8, 0x88, 0x80, 0x80, 0x80, 0xFF, 0xFE, 0x00},
         U16({0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0})},

        // UTF-16 -> CP932: mark skipped (never swapped), end at the zero unit.
        {O::Utf16ToSjis, {0xFF, 0xFE, 0x42, 0x30, 0x00, 0x00}, {0x82, 0xA0, 0x00}, true},
        {O::Utf16ToSjis, {0x42, 0x30, 0x00, 0x00}, {0x82, 0xA0, 0x00}},
        {O::Utf16ToSjis, {0xFE, 0xFF, 0x30, 0x42, 0x00, 0x00}, {0x3F, 0x00}, true},  // U+4230
        {O::Utf16ToSjis, {0xFE, 0xFF, 0x42, 0x30, 0x00, 0x00}, {0x82, 0xA0, 0x00}, true},
        {O::Utf16ToSjis, {0xFF, 0xFE, 0xFF, 0xFE, 0x41, 0x00}, {0x3F, 0x41, 0x00}, true},
        {O::Utf16ToSjis, {0xFF, 0xFE, 0x00, 0x00}, {0x00}, true},
        {O::Utf16ToSjis, {0xFF, 0xFE}, {0x00}, true},
        {O::Utf16ToSjis, {0xFF}, {0x00}, true},
        {O::Utf16ToSjis, {0x41}, {0x00}},
        {O::Utf16ToSjis, {0x41, 0x00, 0x42}, {0x41, 0x00}},
        {O::Utf16ToSjis, {0x41, 0x00, 0x00, 0x00, 0x42, 0x00}, {0x41, 0x00}},
        {O::Utf16ToSjis, {0x41, 0x00, 0x1A, 0x00, 0x00, 0x00}, {0x41, 0x1A, 0x00}},
        // Single bytes back to themselves; the user-defined area.
        {O::Utf16ToSjis, U16({0x0080, 0xF8F0, 0xF8F1, 0xF8F2, 0xF8F3, 0xFF61, 0xFF9F, 0}),
         {0x80, 0xA0, 0xFD, 0xFE, 0xFF, 0xA1, 0xDF, 0x00}},
        {O::Utf16ToSjis, U16({0xE000, 0xE757, 0xE758, 0}), {0xF0, 0x40, 0xF9, 0xFC, 0x3F, 0x00}},
        // A character with several codes gets the preferred one.
        {O::Utf16ToSjis, U16({0x2170, 0x2252, 0x2160, 0xFFE2, 0x2235, 0x7E8A, 0x2460, 0}),
         {0xFA, 0x40, 0x81, 0xE0, 0x87, 0x54, 0x81, 0xCA, 0x81, 0xE6, 0xFA, 0x5C, 0x87, 0x40, 0x00}},
        // Characters of the JIS-table conversions, and their CP932 counterparts.
        {O::Utf16ToSjis, U16({0x301C, 0x2016, 0x2212, 0x00A2, 0x00A3, 0x00AC, 0x2014, 0x00A5, 0x203E, 0}),
         {0x81, 0x60, 0x81, 0x61, 0x81, 0x7C, 0x81, 0x91, 0x81, 0x92, 0x81, 0xCA, 0x81, 0x5C, 0x5C, 0x7E, 0x00}},
        {O::Utf16ToSjis, U16({0xFF5E, 0x2225, 0xFF0D, 0xFFE0, 0xFFE1, 0xFFE2, 0x2015, 0x5C, 0x7E, 0}),
         {0x81, 0x60, 0x81, 0x61, 0x81, 0x7C, 0x81, 0x91, 0x81, 0x92, 0x81, 0xCA, 0x81, 0x5C, 0x5C, 0x7E, 0x00}},
        // Composition: base + mark -> precomposed, where CP932 has it.
        {O::Utf16ToSjis, U16({0x304B, 0x3099, 0}), {0x82, 0xAA, 0x00}},
        {O::Utf16ToSjis, U16({0x30A6, 0x3099, 0x306F, 0x309A, 0}), {0x83, 0x94, 0x82, 0xCF, 0x00}},
        {O::Utf16ToSjis, U16({0x0415, 0x0308, 0x0438, 0x0306, 0}), {0x84, 0x46, 0x84, 0x7A, 0x00}},
        {O::Utf16ToSjis, U16({0x3D, 0x0338, 0}), {0x81, 0x82, 0x00}},
        {O::Utf16ToSjis, U16({0x304B, 0x3099, 0x3099, 0}), {0x82, 0xAA, 0x3F, 0x00}},
        {O::Utf16ToSjis, U16({0x3042, 0x3099, 0x304B, 0x309A, 0}), {0x82, 0xA0, 0x3F, 0x82, 0xA9, 0x3F, 0x00}},
        {O::Utf16ToSjis, U16({0x3099, 0x304B, 0}), {0x3F, 0x82, 0xA9, 0x00}},
        {O::Utf16ToSjis, U16({0x304B, 0x0000, 0x3099}), {0x82, 0xA9, 0x00}},
        {O::Utf16ToSjis, U16({0x41, 0x0301, 0}), {0x41, 0x3F, 0x00}},
        // Surrogates: a pair is one character, a lone one is "?" too.
        {O::Utf16ToSjis, U16({0xD83D, 0xDE00, 0}), {0x3F, 0x00}},
        {O::Utf16ToSjis, U16({0xD83D, 0x41, 0xDE00, 0}), {0x3F, 0x41, 0x3F, 0x00}},
        {O::Utf16ToSjis, U16({0xDE00, 0xD83D, 0xDE00, 0xD83D, 0}), {0x3F, 0x3F, 0x3F, 0x00}},
        {O::Utf16ToSjis, U16({0xD83D, 0x3099, 0xFFFD, 0}), {0x3F, 0x3F, 0x3F, 0x00}},

        // UTF-16 -> UTF-8: nothing skipped, lone surrogates U+FFFD.
        {O::Utf16ToUtf8, U16({0x3042, 0}), {0xE3, 0x81, 0x82, 0x00}},
        {O::Utf16ToUtf8, U16({0xFEFF, 0x41, 0}), {0xEF, 0xBB, 0xBF, 0x41, 0x00}},
        {O::Utf16ToUtf8, U16({0x80, 0x7FF, 0x800, 0xFFFF, 0}),
         {0xC2, 0x80, 0xDF, 0xBF, 0xE0, 0xA0, 0x80, 0xEF, 0xBF, 0xBF, 0x00}},
        {O::Utf16ToUtf8, U16({0xD83D, 0xDE00, 0xDBFF, 0xDFFF, 0}),
         {0xF0, 0x9F, 0x98, 0x80, 0xF4, 0x8F, 0xBF, 0xBF, 0x00}},
        {O::Utf16ToUtf8, U16({0xD83D, 0x41, 0xDE00, 0xD83D, 0}),
         {0xEF, 0xBF, 0xBD, 0x41, 0xEF, 0xBF, 0xBD, 0xEF, 0xBF, 0xBD, 0x00}},
        {O::Utf16ToUtf8, {0x41, 0x00, 0x1A, 0x00, 0x00, 0x00, 0x42, 0x00}, {0x41, 0x1A, 0x00}},
        {O::Utf16ToUtf8, {0x41, 0x00, 0x42}, {0x41, 0x00}},

        // UTF-8 -> CP932: a leading U+FEFF or U+FFFE (a mark in UTF-16) is skipped.
        {O::Utf8ToSjis, {0xEF, 0xBB, 0xBF, 0x41, 0x00}, {0x41, 0x00}, true},
        {O::Utf8ToSjis, {0xEF, 0xBF, 0xBE, 0x41, 0x00}, {0x41, 0x00}, true},
        {O::Utf8ToSjis, {0xEF, 0xBB, 0xBF}, {0x00}, true},
        {O::Utf8ToSjis, {0xEF, 0xBB, 0xBF, 0xEF, 0xBB, 0xBF, 0x41, 0x00}, {0x3F, 0x41, 0x00}, true},
        {O::Utf8ToSjis, {0xEF, 0xBB, 0x41, 0x00}, {0x3F, 0x41, 0x00}, true},
        {O::Utf8ToSjis, {0x41, 0xEF, 0xBB, 0xBF, 0x00}, {0x41, 0x3F, 0x00}},
        {O::Utf8ToSjis, {0x00}, {0x00}},
        {O::Utf8ToSjis, {0xE3, 0x81, 0x82, 0x00}, {0x82, 0xA0, 0x00}},
        {O::Utf8ToSjis, {0xE3, 0x81, 0x8B, 0xE3, 0x82, 0x99, 0x00}, {0x82, 0xAA, 0x00}},
        {O::Utf8ToSjis, {0x3D, 0xCC, 0xB8, 0x00}, {0x81, 0x82, 0x00}},
        {O::Utf8ToSjis, {0xD0, 0x95, 0xCC, 0x88, 0x00}, {0x84, 0x46, 0x00}},
        {O::Utf8ToSjis, {0xC2, 0xA5, 0xE2, 0x80, 0xBE, 0xE3, 0x80, 0x9C, 0xEF, 0xBD, 0x9E, 0x00},
         {0x5C, 0x7E, 0x81, 0x60, 0x81, 0x60, 0x00}},
        {O::Utf8ToSjis, {0xC2, 0x80, 0xEF, 0xA3, 0xB0, 0xEF, 0xBD, 0xA1, 0xEE, 0x80, 0x80, 0x00},
         {0x80, 0xA0, 0xA1, 0xF0, 0x40, 0x00}},
        {O::Utf8ToSjis, {0xF0, 0x9F, 0x98, 0x80, 0xED, 0xA0, 0x80, 0xE3, 0x81, 0x00}, {0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x00}},
        {O::Utf8ToSjis, {0x41, 0x1A, 0x42, 0x00, 0x43}, {0x41, 0x1A, 0x42, 0x00}},

        // CP932 -> UTF-8: no mark.
        {O::SjisToUtf8, {0x82, 0xA0, 0x00}, {0xE3, 0x81, 0x82, 0x00}},
        {O::SjisToUtf8, {0x00}, {0x00}},
        {O::SjisToUtf8, {0x80, 0xA0, 0xA1, 0xFF, 0x00}, {0xC2, 0x80, 0xEF, 0xA3, 0xB0, 0xEF, 0xBD, 0xA1, 0xEF, 0xA3, 0xB3, 0x00}},
        {O::SjisToUtf8, {0x82, 0x0A, 0x82, 0x00}, {0xEF, 0xBF, 0xBD, 0x0A, 0xEF, 0xBF, 0xBD, 0x00}},
        {O::SjisToUtf8, {0x41, 0x1A, 0x42, 0x00, 0x43}, {0x41, 0x1A, 0x42, 0x00}},
        {O::SjisToUtf8, {0xF0, 0x40, 0x81, 0x5F}, {0xEE, 0x80, 0x80, 0xEF, 0xBC, 0xBC, 0x00}},
    };
    for (const Vector& v : vectors) CheckVector(v);
}

TEST(UnicodeTest, EmptySourceLeavesDestination) {
    const Op ops[] = {Op::SjisToUtf16, Op::Utf8ToUtf16, Op::Utf16ToSjis, Op::Utf16ToUtf8, Op::Utf8ToSjis,
                      Op::SjisToUtf8};
    for (Op op : ops) {
        for (StreamOp f : Implementations(op)) {
            CByteStream src, dst;
            Fill(dst, {0x61, 0x62});
            dst.SetReadPos(1);
            f(src, dst);
            EXPECT_EQ(Hex(ToBytes(dst)), "61 62") << OpName(op);
            EXPECT_EQ(dst.ReadPos(), 1) << OpName(op);
        }
    }
}

// ---- The tables -----------------------------------------------------------------

std::vector<uint16_t> AllDoubleByteCodes() {
    std::vector<uint16_t> codes;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (lead >= 0xA0 && lead < 0xE0) continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail != 0x7F) codes.push_back(static_cast<uint16_t>(lead << 8 | trail));
        }
    }
    return codes;
}

// The units ToUtf16 gives for the CP932 bytes, mark and terminator dropped.
std::vector<uint16_t> Decode(const Bytes& cp932) {
    CByteStream src, dst;
    Fill(src, Concat(cp932, {0}));
    ToUtf16(src, dst, Unicode);
    std::vector<uint16_t> units;
    for (int64_t i = 2; i + 3 < dst.Size(); i += 2) units.push_back(static_cast<uint16_t>(dst.Data()[i] | dst.Data()[i + 1] << 8));
    return units;
}

Bytes Encode(uint16_t unit) {
    CByteStream src, dst;
    Fill(src, U16({0xFEFF, unit, 0}));  // a mark, so that U+FEFF itself is a character
    FromUtf16(src, dst, Unicode);
    Bytes out = ToBytes(dst);
    out.pop_back();
    return out;
}

class Iconv {
public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Iconv() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
    }
    bool Ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    // The converted bytes, or nothing when iconv refuses the input.
    Bytes Convert(Bytes in) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char out[16];
        char* ip = reinterpret_cast<char*>(in.data());
        char* op = out;
        size_t il = in.size(), ol = sizeof out;
        if (iconv(cd_, &ip, &il, &op, &ol) == static_cast<size_t>(-1)) return {};
        return Bytes(out, op);
    }

private:
    iconv_t cd_;
};

// glibc's CP932 module agrees with the table on every double-byte code and
// on every BMP code point's encoding, the JIS-table equivalents included.
// It lacks only the single bytes 0x80, 0xA0, 0xFD-0xFF (and U+0080,
// U+F8F0-U+F8F3 the other way), which Windows maps and the table keeps.
TEST(UnicodeTest, TablesAgreeWithGlibcIconv) {
    Iconv decoder("UTF-16LE", "CP932");
    Iconv encoder("CP932", "UTF-16LE");
    if (!decoder.Ok() || !encoder.Ok()) GTEST_SKIP() << "glibc has no CP932 converter here";
    int mapped = 0;
    for (uint16_t code : AllDoubleByteCodes()) {
        const Bytes bytes = {static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code)};
        const Bytes glibc = decoder.Convert(bytes);
        const std::vector<uint16_t> ours = Decode(bytes);
        ASSERT_EQ(ours.size(), 1u) << Hex(bytes);
        if (glibc.empty()) {
            EXPECT_EQ(ours[0], 0xFFFD) << Hex(bytes);
        } else {
            ++mapped;
            ASSERT_EQ(glibc.size(), 2u) << Hex(bytes);
            EXPECT_EQ(ours[0], glibc[0] | glibc[1] << 8) << Hex(bytes);
        }
    }
    EXPECT_EQ(mapped, cp932::kDoubleByteCodes);
    const std::vector<uint16_t> windowsOnly = {0x0080, 0xF8F0, 0xF8F1, 0xF8F2, 0xF8F3};
    for (uint32_t u = 1; u <= 0xFFFF; ++u) {
        if (u >= 0xD800 && u <= 0xDFFF) continue;
        const uint16_t unit = static_cast<uint16_t>(u);
        const Bytes ours = Encode(unit);
        Bytes glibc = encoder.Convert(U16({unit}));
        if (glibc.empty()) glibc = {0x3F};
        if (std::find(windowsOnly.begin(), windowsOnly.end(), unit) != windowsOnly.end()) continue;
        ASSERT_EQ(Hex(ours), Hex(glibc)) << "U+" << std::hex << u;
    }
}

// Every code decodes to one character that encodes back to it, except the
// duplicates, which go to the preferred code of the same character:
// NEC-selected IBM (ED/EE) -> IBM (FA-FC) or JIS X 0208; NEC row 13 (87) ->
// JIS X 0208; IBM -> NEC row 13 or JIS X 0208.
TEST(UnicodeTest, DoubleByteCodesRoundTrip) {
    auto rank = [](int lead) {
        if (lead == 0x87) return 2;
        if (lead >= 0xFA) return 3;
        if (lead == 0xED || lead == 0xEE) return 4;
        return 1;
    };
    int roundTrips = 0, preferred = 0;
    for (uint16_t code : AllDoubleByteCodes()) {
        const Bytes bytes = {static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code)};
        const std::vector<uint16_t> units = Decode(bytes);
        ASSERT_EQ(units.size(), 1u);
        if (units[0] == 0xFFFD) continue;
        const Bytes back = Encode(units[0]);
        if (back == bytes) {
            ++roundTrips;
            EXPECT_NE(rank(code >> 8), 4) << Hex(bytes);
            continue;
        }
        ++preferred;
        ASSERT_EQ(back.size(), 2u) << Hex(bytes);
        EXPECT_EQ(Decode(back), units) << Hex(bytes) << " -> " << Hex(back);
        EXPECT_LT(rank(back[0]), rank(code >> 8)) << Hex(bytes) << " -> " << Hex(back);
    }
    EXPECT_EQ(roundTrips + preferred, cp932::kDoubleByteCodes);
    EXPECT_EQ(preferred, 398);  // 374 ED/EE codes, 9 of NEC row 13, 15 IBM
}

TEST(UnicodeTest, SingleBytesRoundTrip) {
    for (int b = 1; b <= 0xFF; ++b) {
        const bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        if (lead) continue;
        const Bytes bytes = {static_cast<uint8_t>(b)};
        const std::vector<uint16_t> units = Decode(bytes);
        ASSERT_EQ(units.size(), 1u);
        EXPECT_EQ(Hex(Encode(units[0])), Hex(bytes));
    }
}

// ---- Fast against reference on random text --------------------------------------

class RandomText {
public:
    explicit RandomText(uint32_t seed) : rng_(seed) {}

    int Pick(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }

    void Ascii(Bytes& out) {
        for (int n = Pick(24); n > 0; --n) out.push_back(static_cast<uint8_t>(0x20 + Pick(0x5F)));
    }

    // The end of a text now and then: 0x00 in the middle, or none at all.
    void Finish(Bytes& out) {
        if (Pick(8) == 0 && !out.empty()) out.insert(out.begin() + Pick(static_cast<int>(out.size())), 0);
        if (Pick(4) != 0) out.push_back(0);
    }

    Bytes Cp932() {
        Bytes out;
        for (int items = Pick(40); items > 0; --items) {
            switch (Pick(6)) {
                case 0: Ascii(out); break;
                case 1: out.push_back(static_cast<uint8_t>(1 + Pick(255))); break;
                default: {
                    const int lead = Pick(2) ? 0x81 + Pick(31) : 0xE0 + Pick(29);
                    out.push_back(static_cast<uint8_t>(lead));
                    out.push_back(static_cast<uint8_t>(Pick(8) ? 0x40 + Pick(0xBD) : 1 + Pick(255)));
                }
            }
        }
        Finish(out);
        return out;
    }

    uint32_t CodePoint() {
        static const uint32_t interesting[] = {0x3099, 0x309A, 0x0308, 0x0306, 0x0338, 0x304B, 0x30A6, 0x0415,
                                               0x3D,   0xFEFF, 0xFFFE, 0xFFFD, 0x80,   0xF8F0, 0xE000, 0x10FFFF};
        switch (Pick(6)) {
            case 0: return interesting[Pick(16)];
            case 1: return 0x3040 + static_cast<uint32_t>(Pick(0xC0));
            case 2: return 0x4E00 + static_cast<uint32_t>(Pick(0x5200));
            case 3: return 0x80 + static_cast<uint32_t>(Pick(0x780));
            case 4: return 0x10000 + static_cast<uint32_t>(Pick(0x100000));
            default: return 1 + static_cast<uint32_t>(Pick(0xFFFF));
        }
    }

    Bytes Utf8() {
        Bytes out;
        if (Pick(8) == 0) out.insert(out.end(), {0xEF, 0xBB, 0xBF});
        for (int items = Pick(40); items > 0; --items) {
            const int kind = Pick(8);
            if (kind == 0) {
                Ascii(out);
            } else if (kind == 1) {
                out.push_back(static_cast<uint8_t>(0x80 + Pick(0x80)));
            } else {
                uint32_t u = CodePoint();
                if (u >= 0xD800 && u <= 0xDFFF) u = 0xFFFD;
                uint8_t buf[4];
                int n = 0;
                if (u < 0x80) {
                    buf[n++] = static_cast<uint8_t>(u);
                } else if (u < 0x800) {
                    buf[n++] = static_cast<uint8_t>(0xC0 | u >> 6);
                    buf[n++] = static_cast<uint8_t>(0x80 | (u & 0x3F));
                } else if (u < 0x10000) {
                    buf[n++] = static_cast<uint8_t>(0xE0 | u >> 12);
                    buf[n++] = static_cast<uint8_t>(0x80 | (u >> 6 & 0x3F));
                    buf[n++] = static_cast<uint8_t>(0x80 | (u & 0x3F));
                } else {
                    buf[n++] = static_cast<uint8_t>(0xF0 | u >> 18);
                    buf[n++] = static_cast<uint8_t>(0x80 | (u >> 12 & 0x3F));
                    buf[n++] = static_cast<uint8_t>(0x80 | (u >> 6 & 0x3F));
                    buf[n++] = static_cast<uint8_t>(0x80 | (u & 0x3F));
                }
                if (kind == 2) n = 1 + Pick(n);  // cut short
                out.insert(out.end(), buf, buf + n);
            }
        }
        Finish(out);
        return out;
    }

    Bytes Utf16() {
        Bytes out;
        if (Pick(4) == 0) out.insert(out.end(), {0xFF, 0xFE});
        for (int items = Pick(40); items > 0; --items) {
            const int kind = Pick(8);
            if (kind == 0) {
                Bytes ascii;
                Ascii(ascii);
                for (uint8_t b : ascii) out.insert(out.end(), {b, 0});
            } else if (kind == 1) {
                out.push_back(static_cast<uint8_t>(Pick(256)));
                out.push_back(static_cast<uint8_t>(0xD8 + Pick(8)));  // a surrogate of either half
            } else {
                const uint32_t u = CodePoint();
                if (u < 0x10000) {
                    out.insert(out.end(), {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8)});
                } else {
                    const uint32_t hi = 0xD800 + ((u - 0x10000) >> 10), lo = 0xDC00 + (u & 0x3FF);
                    out.insert(out.end(), {static_cast<uint8_t>(hi), static_cast<uint8_t>(hi >> 8),
                                           static_cast<uint8_t>(lo), static_cast<uint8_t>(lo >> 8)});
                }
            }
        }
        if (Pick(8) == 0) out.push_back(0x41);  // an odd last byte
        if (Pick(4) != 0) out.insert(out.end(), {0, 0});
        return out;
    }

private:
    std::mt19937 rng_;
};

TEST(UnicodeTest, FastMatchesReferenceOnRandomText) {
    RandomText gen(20240611);
    const Op ops[] = {Op::SjisToUtf16, Op::Utf8ToUtf16, Op::Utf16ToSjis, Op::Utf16ToUtf8, Op::Utf8ToSjis,
                      Op::SjisToUtf8};
    for (int round = 0; round < 150; ++round) {
        for (Op op : ops) {
            const bool utf8In = op == Op::Utf8ToUtf16 || op == Op::Utf8ToSjis;
            const Bytes text = InputIsUtf16(op) ? gen.Utf16() : utf8In ? gen.Utf8() : gen.Cp932();
            const std::vector<StreamOp> impls = Implementations(op);
            for (size_t n = 0; n < 32; ++n) {
                const Bytes ascii = AsciiPrefix(n);
                const Bytes in = Concat(InputIsUtf16(op) ? Widen(ascii) : ascii, text);
                const Bytes want = RunStream(impls.back(), in);
                for (size_t i = 0; i + 1 < impls.size(); ++i) {
                    ASSERT_EQ(Hex(RunStream(impls[i], in)), Hex(want)) << OpName(op) << " of " << Hex(in);
                    ASSERT_EQ(Hex(RunRoomy(impls[i], in)), Hex(want)) << OpName(op) << " of " << Hex(in);
                }
            }
        }
    }
}

// The resumable converter of a chain fed in pieces of random size (mostly
// tiny, so that every unit, mark and surrogate pair meets a piece's end).
Bytes RunInPieces(Operation op, const Bytes& input, std::mt19937& rng) {
    auto converter = MakeConverter(op);
    CByteStream out;
    Fill(out, {0xEE});  // appended to, like every converter's output
    const size_t maxPiece = rng() % 2 ? 4 : 40;
    for (size_t at = 0; at < input.size();) {
        const size_t n = std::min(input.size() - at, 1 + rng() % maxPiece);
        converter->Feed(input.data() + at, static_cast<int64_t>(n), out);
        at += n;
    }
    converter->Finish(out);
    Bytes got = ToBytes(out);
    got.erase(got.begin());
    return got;
}

TEST(UnicodeTest, ConvertersInPiecesMatchReference) {
    RandomText gen(77);
    std::mt19937 rng(78);
    const std::pair<Op, Operation> chains[] = {{Op::SjisToUtf16, Operation::SjisToUtf16Output},
                                               {Op::Utf16ToSjis, Operation::Utf16InputToSjis},
                                               {Op::Utf8ToSjis, Operation::Utf8InputToSjis},
                                               {Op::SjisToUtf8, Operation::SjisToUtf8Output}};
    for (int round = 0; round < 3000; ++round) {
        for (const auto& [op, operation] : chains) {
            const Bytes text = InputIsUtf16(op) ? gen.Utf16() : op == Op::Utf8ToSjis ? gen.Utf8() : gen.Cp932();
            if (text.empty()) continue;  // the chains leave their destination alone then
            const Bytes want = RunStream(Implementations(op).back(), text);
            ASSERT_EQ(Hex(RunInPieces(operation, text, rng)), Hex(want)) << OpName(op) << " of " << Hex(text);
        }
    }
}

// Texts longer than the blocks the operations convert at a time: ASCII up
// to just before the end of the first block, then random text, shifted by
// 0..63 units so that the block ends inside every unit of its head.
TEST(UnicodeTest, LongTextsMatchReference) {
    RandomText gen(5150);
    const Op ops[] = {Op::SjisToUtf16, Op::Utf8ToUtf16, Op::Utf16ToSjis, Op::Utf16ToUtf8, Op::Utf8ToSjis,
                      Op::SjisToUtf8};
    constexpr size_t kBlock = 64 * 1024;
    for (Op op : ops) {
        const bool utf16In = InputIsUtf16(op), utf8In = op == Op::Utf8ToUtf16 || op == Op::Utf8ToSjis;
        const size_t unit = utf16In ? 2 : 1;
        for (int tails = 0; tails < 3; ++tails) {
            Bytes tail;
            while (tail.size() < 64 * unit + 16) {
                Bytes item = utf16In ? gen.Utf16() : utf8In ? gen.Utf8() : gen.Cp932();
                // No terminator inside; an odd UTF-16 piece is evened out.
                if (utf16In) {
                    if (item.size() % 2) item.push_back(0x30);
                    for (size_t i = 0; i + 1 < item.size(); i += 2) {
                        if (item[i] == 0 && item[i + 1] == 0) item[i] = 0x41;
                    }
                } else {
                    std::replace(item.begin(), item.end(), uint8_t{0}, uint8_t{0x41});
                }
                tail.insert(tail.end(), item.begin(), item.end());
            }
            const Bytes filler = AsciiPrefix(kBlock / unit - 64);
            const std::vector<StreamOp> impls = Implementations(op);
            for (size_t n = 0; n < 64; ++n) {
                const Bytes ascii = Concat(AsciiPrefix(n), filler);
                const Bytes in = Concat(utf16In ? Widen(ascii) : ascii, tail);
                const Bytes got = RunStream(impls.front(), in), want = RunStream(impls.back(), in);
                if (got != want) {
                    const auto at = std::mismatch(got.begin(), got.end(), want.begin(), want.end()).first - got.begin();
                    FAIL() << OpName(op) << " differs at output byte " << at << " on " << Hex(tail) << " behind "
                           << ascii.size() << " ASCII";
                }
            }
        }
    }
}

}  // namespace
}  // namespace morvel
