// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the ANSI code page conversion used by the undo files.
#include "AnsiText.h"

namespace {
// Windows-1252 at 0x80..0x9F; 0 marks the five unassigned bytes.
constexpr char16_t Cp1252High[32] = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};
}

namespace AnsiText {

bool Encode(const QString &text, QByteArray *bytes)
{
    bytes->clear();
    bytes->reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            bytes->append(char(u));
            continue;
        }
        int found = -1;
        for (int i = 0; i < 32; ++i)
            if (Cp1252High[i] == u && u != 0)
                found = i;
        if (found < 0)
            return false;
        bytes->append(char(0x80 + found));
    }
    return true;
}

QString Decode(const QByteArray &bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (const char b : bytes) {
        const quint8 u = quint8(b);
        if (u >= 0x80 && u < 0xA0 && Cp1252High[u - 0x80] != 0)
            out += QChar(Cp1252High[u - 0x80]);
        else
            out += QChar(u);
    }
    return out;
}

}
