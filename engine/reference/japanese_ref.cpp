// Shift-JIS <-> JIS and EUC-JP, one ReadByte and one Append at a time,
// straight from the conversion rules. The oracle for engine/jis.cpp and
// engine/euc.cpp.
#include "engine/reference/reference.h"

namespace morvel::reference {
namespace {

bool IsLead(int c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

bool IsValidPair(int s1, int s2) {
    const int w = s1 * 256 + s2;
    return (w >= 0x8140 && w <= 0x9FFC) || (w >= 0xE040 && w <= 0xFCFC);
}

bool IsKeptControl(int c) { return c == 0x09 || c == 0x0A || c == 0x0D; }

void SjisPairToJis(int s1, int s2, int& j1, int& j2) {
    j1 = s1 <= 0x9F ? 2 * s1 - 0xE1 : 2 * s1 - 0x161;
    if (s2 >= 0x9F) {
        j1 += 1;
        j2 = s2 - 0x7E;
    } else {
        j2 = s2 >= 0x80 ? s2 - 0x20 : s2 - 0x1F;
    }
}

void JisPairToSjis(int j1, int j2, int& s1, int& s2) {
    s1 = (j1 - 1) / 2 + (j1 <= 0x5E ? 0x71 : 0xB1);
    if (j1 & 1) {
        s2 = j2 + 0x1F + (j2 >= 0x60 ? 1 : 0);
    } else {
        s2 = j2 + 0x7E;
    }
}

void Put(CByteStream& dst, int v) { dst.Append(static_cast<uint8_t>(v & 0xFF)); }

void PutEscape(CByteStream& dst, int a, int b) {
    Put(dst, 0x1B);
    Put(dst, a);
    Put(dst, b);
}

enum class State { Ascii, Kana, Kanji };

}  // namespace

void SjisToJis(CByteStream& src, CByteStream& dst) {
    State state = State::Ascii;
    for (int c = src.ReadByte(); c != -1; c = src.ReadByte()) {
        if (c < 0x7F) {
            if (c < 0x20 && !IsKeptControl(c)) continue;
            if (state != State::Ascii) {
                PutEscape(dst, '(', 'B');
                state = State::Ascii;
            }
            Put(dst, c);
        } else if (c >= 0xA1 && c <= 0xDF) {
            if (state != State::Kana) {
                PutEscape(dst, '(', 'I');
                state = State::Kana;
            }
            Put(dst, c & 0x7F);
        } else if (IsLead(c)) {
            const int t = src.ReadByte();
            if (t == -1) {
                Put(dst, c);
            } else if (IsValidPair(c, t)) {
                if (state != State::Kanji) {
                    PutEscape(dst, '$', 'B');
                    state = State::Kanji;
                }
                int j1, j2;
                SjisPairToJis(c, t, j1, j2);
                Put(dst, j1);
                Put(dst, j2);
            } else {
                Put(dst, c);
                Put(dst, t);
            }
        }
        // 0x7F, 0x80, 0xA0, 0xFD-0xFF: dropped.
    }
    if (state != State::Ascii) PutEscape(dst, '(', 'B');
    Put(dst, 0x00);
}

void SjisToEuc(CByteStream& src, CByteStream& dst) {
    for (int c = src.ReadByte(); c != -1; c = src.ReadByte()) {
        if (c < 0x7F) {
            if (c < 0x20 && !IsKeptControl(c)) continue;
            Put(dst, c);
        } else if (c >= 0xA1 && c <= 0xDF) {
            Put(dst, 0x8E);
            Put(dst, c);
        } else if (IsLead(c)) {
            const int t = src.ReadByte();
            if (t == -1) {
                Put(dst, c);
            } else if (IsValidPair(c, t)) {
                int j1, j2;
                SjisPairToJis(c, t, j1, j2);
                Put(dst, j1 | 0x80);
                Put(dst, j2 | 0x80);
            } else {
                Put(dst, c);
                Put(dst, t | 0x80);
            }
        }
    }
    Put(dst, 0x00);
}

void JisToSjis(CByteStream& src, CByteStream& dst) {
    State state = State::Ascii;
    for (int c = src.ReadByte(); c != -1; c = src.ReadByte()) {
        if (c == 0x0E) {
            state = State::Kana;
        } else if (c == 0x0F) {
            state = State::Ascii;
        } else if (c == 0x1B) {
            const int d = src.ReadByte();
            if (d != '$' && d != '(') continue;
            const int e = src.ReadByte();
            if (e == -1) continue;
            if (d == '$' && (e == '@' || e == 'B')) state = State::Kanji;
            if (d == '(' && e == 'I') state = State::Kana;
            if (d == '(' && (e == 'B' || e == 'J')) state = State::Ascii;
        } else if (IsKeptControl(c) || (c >= 0xA1 && c <= 0xDF)) {
            Put(dst, c);
        } else if (state == State::Kana) {
            Put(dst, c | 0x80);
        } else if (state == State::Kanji) {
            const int d = src.ReadByte();
            if (d == -1) {
                Put(dst, c);
            } else {
                int s1, s2;
                JisPairToSjis(c, d, s1, s2);
                Put(dst, s1);
                Put(dst, s2);
            }
        } else {
            Put(dst, c);
        }
    }
    Put(dst, 0x00);
}

void EucToSjis(CByteStream& src, CByteStream& dst) {
    for (int c = src.ReadByte(); c != -1; c = src.ReadByte()) {
        if (c < 0x7F) {
            if (c >= 0x20 || IsKeptControl(c)) {
                Put(dst, c);
            } else if (c == 0x1B) {
                const int d = src.ReadByte();
                if (d == '$' || d == '(') src.ReadByte();
            }
        } else if (c == 0x8E) {
            const int k = src.ReadByte();
            if (k != -1) Put(dst, k);
        } else if (c >= 0xA1 && c <= 0xFE) {
            const int d = src.ReadByte();
            if (d == -1) {
                Put(dst, c);
            } else {
                int s1, s2;
                JisPairToSjis(c & 0x7F, d & 0x7F, s1, s2);
                Put(dst, s1);
                Put(dst, s2);
            }
        }
        // 0x7F, 0x80-0x8D, 0x8F-0xA0, 0xFF: dropped.
    }
    Put(dst, 0x00);
}

}  // namespace morvel::reference
