// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: Base64 of the NTLM messages.
#include "net/MimeUtil.h"

#include "crypto/Base64.h"

#include <array>

namespace {

constexpr int kInvalid = -1;
constexpr int kPad = -2;

constexpr std::array<int, 256> MakeTable()
{
    std::array<int, 256> table{};
    for (int &v : table)
        v = kInvalid;
    const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(alphabet[i])] = i;
    table['='] = kPad;
    return table;
}

constexpr std::array<int, 256> kTable = MakeTable();

int Lookup(QChar c)
{
    return c.unicode() < 256 ? kTable[c.unicode()] : kInvalid;
}

}  // namespace

QString EncodeBase64Text(const QByteArray &Data)
{
    return Base64Encode(Data);
}

QByteArray DecodeBase64Text(const QString &Text)
{
    QByteArray data;
    data.reserve(Text.size() / 4 * 3 + 2);
    for (qsizetype i = 0; i + 1 < Text.size(); i += 4) {
        int v[4];
        for (int k = 0; k < 4; ++k)
            v[k] = i + k < Text.size() ? Lookup(Text.at(i + k)) : kPad;
        if (v[0] == kPad || v[1] == kPad)
            break;
        const auto bits = [](int x) { return x < 0 ? 0u : unsigned(x); };
        const unsigned group = (bits(v[0]) << 18) | (bits(v[1]) << 12) | (bits(v[2]) << 6) | bits(v[3]);
        data += char(group >> 16);
        if (v[2] == kPad)
            break;
        data += char(group >> 8);
        if (v[3] == kPad)
            break;
        data += char(group);
    }
    return data;
}
