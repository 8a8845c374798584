// The UTF-16 conversions one unit at a time, and the chains literally
// through a UTF-16 temporary stream. The UTF-16 side cannot be read with
// ReadByte (its units hold 0x00 bytes, and 0x1A does not end a text here),
// so the source is read by index from byte 0; output goes through Append
// into a stream that then replaces the destination's contents.
#include <cstdint>
#include <vector>

#include "engine/reference/reference.h"
#include "engine/internal/unicode_internal.h"

namespace morvel::reference {

namespace {

using namespace cp932;

void AppendUnit(CByteStream& out, uint32_t u) {
    out.Append(static_cast<uint8_t>(u & 0xFF));
    out.Append(static_cast<uint8_t>(u >> 8));
}

void AppendUtf8(CByteStream& out, uint32_t u) {
    if (u <= 0x7F) {
        out.Append(static_cast<uint8_t>(u));
    } else if (u <= 0x7FF) {
        out.Append(static_cast<uint8_t>(0xC0 + u / 64));
        out.Append(static_cast<uint8_t>(0x80 + u % 64));
    } else if (u <= 0xFFFF) {
        out.Append(static_cast<uint8_t>(0xE0 + u / 4096));
        out.Append(static_cast<uint8_t>(0x80 + u / 64 % 64));
        out.Append(static_cast<uint8_t>(0x80 + u % 64));
    } else {
        out.Append(static_cast<uint8_t>(0xF0 + u / 262144));
        out.Append(static_cast<uint8_t>(0x80 + u / 4096 % 64));
        out.Append(static_cast<uint8_t>(0x80 + u / 64 % 64));
        out.Append(static_cast<uint8_t>(0x80 + u % 64));
    }
}

void AppendCode(CByteStream& out, uint16_t code) {
    if (code > 0xFF) out.Append(static_cast<uint8_t>(code >> 8));
    out.Append(static_cast<uint8_t>(code & 0xFF));
}

// The bytes of the multibyte text: from byte 0 up to the first 0x00.
std::vector<uint8_t> MultibyteText(const CByteStream& src) {
    std::vector<uint8_t> text;
    for (int64_t i = 0; i < src.Size() && src.Data()[i] != 0; ++i) text.push_back(src.Data()[i]);
    return text;
}

// The UTF-16LE units from byte `from` up to the first zero unit; an odd
// last byte is no unit.
std::vector<uint16_t> Utf16Text(const CByteStream& src, int64_t from) {
    std::vector<uint16_t> units;
    for (int64_t i = from; i + 1 < src.Size(); i += 2) {
        const uint16_t u = static_cast<uint16_t>(src.Data()[i] | src.Data()[i + 1] << 8);
        if (u == 0) break;
        units.push_back(u);
    }
    return units;
}

// CP932 bytes -> code units.
std::vector<uint16_t> DecodeCp932(const std::vector<uint8_t>& text) {
    std::vector<uint16_t> units;
    size_t i = 0;
    while (i < text.size()) {
        const uint8_t b = text[i];
        if (!IsLead(b)) {
            units.push_back(DecodeSingle(b));
            i += 1;
        } else if (i + 1 < text.size() && IsTrail(text[i + 1])) {
            const uint16_t u = DecodePair(b, text[i + 1]);
            units.push_back(u != 0 ? u : kReplacement);
            i += 2;
        } else {
            // A lead without a trail: U+FFFD for the lead alone.
            units.push_back(kReplacement);
            i += 1;
        }
    }
    return units;
}

bool InRange(uint8_t b, uint8_t lo, uint8_t hi) { return b >= lo && b <= hi; }

// UTF-8 bytes -> code points, after the well-formed byte sequences table:
// the first byte fixes the length and the range of the second byte, every
// further byte is 80..BF. A sequence cut short by a byte out of range is one
// U+FFFD for the bytes that did fit (its maximal subpart); a byte that
// starts no sequence is one U+FFFD.
std::vector<uint32_t> DecodeUtf8(const std::vector<uint8_t>& text) {
    std::vector<uint32_t> cps;
    size_t i = 0;
    while (i < text.size()) {
        const uint8_t b = text[i];
        int length = 0;
        uint8_t lo = 0x80, hi = 0xBF;
        uint32_t cp = 0;
        if (b <= 0x7F) {
            length = 1;
            cp = b;
        } else if (InRange(b, 0xC2, 0xDF)) {
            length = 2;
            cp = b & 0x1F;
        } else if (b == 0xE0) {
            length = 3, lo = 0xA0;
            cp = 0;
        } else if (InRange(b, 0xE1, 0xEC) || InRange(b, 0xEE, 0xEF)) {
            length = 3;
            cp = b & 0x0F;
        } else if (b == 0xED) {
            length = 3, hi = 0x9F;
            cp = 0x0D;
        } else if (b == 0xF0) {
            length = 4, lo = 0x90;
            cp = 0;
        } else if (InRange(b, 0xF1, 0xF3)) {
            length = 4;
            cp = b & 0x07;
        } else if (b == 0xF4) {
            length = 4, hi = 0x8F;
            cp = 4;
        } else {
            cps.push_back(kReplacement);
            i += 1;
            continue;
        }
        int taken = 1;
        while (taken < length && i + taken < text.size()) {
            const uint8_t c = text[i + taken];
            const bool fits = taken == 1 ? InRange(c, lo, hi) : InRange(c, 0x80, 0xBF);
            if (!fits) break;
            cp = cp * 64 + (c & 0x3F);
            ++taken;
        }
        cps.push_back(taken == length ? cp : kReplacement);
        i += taken;
    }
    return cps;
}

// The CP932 bytes of the units, composition first, "?" for what has no code.
void EncodeCp932(const std::vector<uint16_t>& units, CByteStream& out) {
    size_t i = 0;
    while (i < units.size()) {
        const uint16_t u = units[i];
        if (i + 1 < units.size()) {
            const uint16_t composed = Compose(u, units[i + 1]);
            if (composed != 0) {
                AppendCode(out, composed);
                i += 2;
                continue;
            }
        }
        if (IsHighSurrogate(u) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
            out.Append(kDefaultChar);  // one character, no CP932 form
            i += 2;
            continue;
        }
        const uint16_t code = IsSurrogate(u) ? 0 : EncodeBmp(u);
        if (code != 0) {
            AppendCode(out, code);
        } else {
            out.Append(kDefaultChar);
        }
        i += 1;
    }
}

}  // namespace

void ToUtf16(const CByteStream& src, CByteStream& dst, EncodingId mode) {
    if (src.Size() == 0) return;
    const std::vector<uint8_t> text = MultibyteText(src);
    CByteStream result;
    if (mode == Unicode) {
        for (uint16_t u : DecodeCp932(text)) AppendUnit(result, u);
    } else {
        for (uint32_t cp : DecodeUtf8(text)) {
            if (cp <= 0xFFFF) {
                AppendUnit(result, cp);
            } else {
                AppendUnit(result, 0xD800 + (cp - 0x10000) / 1024);
                AppendUnit(result, 0xDC00 + (cp - 0x10000) % 1024);
            }
        }
    }
    AppendUnit(result, 0);
    if (mode == Unicode) {
        const uint8_t* d = result.Data();
        const bool marked = (d[0] == 0xFF && d[1] == 0xFE) || (d[0] == 0xFE && d[1] == 0xFF);
        if (!marked) {
            result.Insert(0, 0xFF, 2);
            result.Data()[1] = 0xFE;
        }
    }
    dst.CopyFrom(result);
}

void FromUtf16(const CByteStream& src, CByteStream& dst, EncodingId mode) {
    if (src.Size() == 0) return;
    CByteStream result;
    if (mode == Unicode) {
        int64_t from = 0;
        if (src.Size() >= 2) {
            const uint8_t* d = src.Data();
            if ((d[0] == 0xFF && d[1] == 0xFE) || (d[0] == 0xFE && d[1] == 0xFF)) from = 2;
        }
        EncodeCp932(Utf16Text(src, from), result);
    } else {
        const std::vector<uint16_t> units = Utf16Text(src, 0);
        for (size_t i = 0; i < units.size(); ++i) {
            const uint16_t u = units[i];
            if (IsHighSurrogate(u) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
                AppendUtf8(result, 0x10000 + (u - 0xD800u) * 1024 + (units[i + 1] - 0xDC00u));
                ++i;
            } else if (IsSurrogate(u)) {
                AppendUtf8(result, kReplacement);
            } else {
                AppendUtf8(result, u);
            }
        }
    }
    result.Append(0);
    dst.CopyFrom(result);
}

void Utf8InputToSjis(const CByteStream& in, CByteStream& out) {
    CByteStream temporary;
    reference::ToUtf16(in, temporary, Utf8);
    reference::FromUtf16(temporary, out, Unicode);
}

void SjisToUtf8Output(const CByteStream& in, CByteStream& out) {
    CByteStream temporary;
    reference::ToUtf16(in, temporary, Unicode);
    temporary.EraseFront(2);
    reference::FromUtf16(temporary, out, Utf8);
}

}  // namespace morvel::reference
