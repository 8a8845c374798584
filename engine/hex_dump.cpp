// The hex dump of the preview: one line for every 16 bytes of the source,
//   offset (at least 4 uppercase hex digits, space-padded) " : "
//   the bytes as "XX " (an extra space before the ninth) " : "
//   the bytes as characters (those below 0x20 as ".") CR LF
// and one 0x00 after the last line. The dump is reserved once for the whole
// source and each line is written straight into it.
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>

#include "engine/engine.h"

namespace morvel {
namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

// The two uppercase hex digits of every byte.
struct HexPairs {
    char pair[256][2];
};

constexpr HexPairs MakeHexPairs() {
    HexPairs t{};
    for (int b = 0; b < 256; ++b) {
        t.pair[b][0] = kDigits[b >> 4];
        t.pair[b][1] = kDigits[b & 15];
    }
    return t;
}

constexpr HexPairs kHex = MakeHexPairs();

// Offset field, hex digits and separators of a line, without the offset's
// digits: 3 + 16 * 3 + 1 + 3 + 16 + 2.
constexpr int64_t kLineWithoutOffset = 73;
constexpr int kMinOffsetDigits = 4;

int HexDigits(uint64_t v) {
    int digits = 1;
    while (v >>= 4) ++digits;
    return digits;
}

uint8_t* PutOffset(uint8_t* o, uint64_t offset) {
    char digits[16];
    int k = 0;
    do {
        digits[k++] = kDigits[offset & 15];
        offset >>= 4;
    } while (offset != 0);
    for (int i = k; i < kMinOffsetDigits; ++i) *o++ = ' ';
    while (k > 0) *o++ = static_cast<uint8_t>(digits[--k]);
    std::memcpy(o, " : ", 3);
    return o + 3;
}

inline uint8_t* PutHex(uint8_t* o, uint8_t b) {
    o[0] = static_cast<uint8_t>(kHex.pair[b][0]);
    o[1] = static_cast<uint8_t>(kHex.pair[b][1]);
    o[2] = ' ';
    return o + 3;
}

inline uint8_t Shown(uint8_t b) { return b < 0x20 ? '.' : b; }

// Everything after the offset for a run of 1 to 16 bytes.
uint8_t* PutRun(uint8_t* o, const uint8_t* run, int count) {
    for (int i = 0; i < count; ++i) {
        if (i == 8) *o++ = ' ';
        o = PutHex(o, run[i]);
    }
    std::memcpy(o, " : ", 3);
    o += 3;
    for (int i = 0; i < count; ++i) o[i] = Shown(run[i]);
    o += count;
    o[0] = '\r';
    o[1] = '\n';
    return o + 2;
}

// The same for a full run of 16, with fixed trip counts.
uint8_t* PutFullRun(uint8_t* o, const uint8_t* run) {
    for (int i = 0; i < 8; ++i) o = PutHex(o, run[i]);
    *o++ = ' ';
    for (int i = 8; i < 16; ++i) o = PutHex(o, run[i]);
    std::memcpy(o, " : ", 3);
    o += 3;
    for (int i = 0; i < 16; ++i) o[i] = Shown(run[i]);
    o[16] = '\r';
    o[17] = '\n';
    return o + 18;
}

}  // namespace

void FormatHexDump(const CByteStream& src, CByteStream& dump) {
    const int64_t n = src.Size();
    const uint8_t* const data = src.Data();
    const int64_t lines = n / 16 + (n % 16 != 0 ? 1 : 0);
    int offsetDigits = kMinOffsetDigits;
    if (lines > 0) {
        const int last = HexDigits(static_cast<uint64_t>(lines - 1) * 16);
        if (last > offsetDigits) offsetDigits = last;
    }
    const int64_t perLine = kLineWithoutOffset + offsetDigits;
    if (lines > (std::numeric_limits<int64_t>::max() - 1) / perLine) throw std::bad_alloc();

    // Empty the dump, keeping its storage when the new dump fits in it (the
    // preview dumps into the same buffer at every refresh); otherwise free
    // it first so that growing does not copy the old bytes.
    const int64_t room = lines * perLine + 1;
    if (dump.Capacity() < room) {
        dump.Clear();
    } else {
        dump.EraseFront(dump.Size());
    }
    dump.SetReadPos(0);
    uint8_t* const out0 = dump.Reserve(room);
    uint8_t* o = out0;
    int64_t offset = 0;
    for (; n - offset >= 16; offset += 16) {
        o = PutOffset(o, static_cast<uint64_t>(offset));
        o = PutFullRun(o, data + offset);
    }
    if (offset < n) {
        o = PutOffset(o, static_cast<uint64_t>(offset));
        o = PutRun(o, data + offset, static_cast<int>(n - offset));
    }
    *o++ = 0x00;
    dump.Commit(o - out0);
}

}  // namespace morvel
