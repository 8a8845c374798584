// The hex dump line by line with printf-style formatting, each finished line
// appended byte by byte.
#include <cstdio>
#include <string>

#include "engine/reference/reference.h"

namespace morvel::reference {

void FormatHexDump(const CByteStream& src, CByteStream& dump) {
    dump.Clear();
    dump.SetReadPos(0);
    const int64_t n = src.Size();
    const uint8_t* data = src.Data();
    char buf[32];
    for (int64_t offset = 0; offset < n; offset += 16) {
        const int64_t count = n - offset < 16 ? n - offset : 16;
        std::string line;
        std::snprintf(buf, sizeof buf, "%4llX : ", static_cast<unsigned long long>(offset));
        line += buf;
        for (int64_t i = 0; i < count; ++i) {
            if (i == 8) line += ' ';
            std::snprintf(buf, sizeof buf, "%02X ", data[offset + i]);
            line += buf;
        }
        line += " : ";
        for (int64_t i = 0; i < count; ++i) {
            const uint8_t b = data[offset + i];
            line += b < 0x20 ? '.' : static_cast<char>(b);
        }
        line += "\r\n";
        for (char c : line) dump.Append(static_cast<uint8_t>(c));
    }
    dump.Append(0x00);
}

}  // namespace morvel::reference
