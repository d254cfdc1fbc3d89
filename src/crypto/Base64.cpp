// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: Base64 encoding and the lenient decoder of the stored proxy password.
#include "crypto/Base64.h"

#include "crypto/CryptTools.h"

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

unsigned SixBits(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'A' && u <= u'Z')
        return u - u'A';
    if (u >= u'a' && u <= u'z')
        return u - u'a' + 26;
    if (u >= u'0' && u <= u'9')
        return u - u'0' + 52;
    if (u == u'+')
        return 62;
    return 63;
}

}  // namespace

QString Base64Encode(const QByteArray &data)
{
    QString text;
    text.reserve((data.size() + 2) / 3 * 4);
    const auto *bytes = reinterpret_cast<const unsigned char *>(data.constData());
    const qsizetype n = data.size();
    for (qsizetype i = 0; i < n; i += 3) {
        const qsizetype rest = n - i;
        const unsigned group = (unsigned(bytes[i]) << 16) | (rest > 1 ? unsigned(bytes[i + 1]) << 8 : 0u)
                               | (rest > 2 ? unsigned(bytes[i + 2]) : 0u);
        text += QLatin1Char(kAlphabet[(group >> 18) & 63]);
        text += QLatin1Char(kAlphabet[(group >> 12) & 63]);
        text += rest > 1 ? QLatin1Char(kAlphabet[(group >> 6) & 63]) : QLatin1Char('=');
        text += rest > 2 ? QLatin1Char(kAlphabet[group & 63]) : QLatin1Char('=');
    }
    return text;
}

QByteArray Base64Decode(const QString &text)
{
    if (text.size() % 4 != 0)
        throw ECryptoError(QStringLiteral("Base64: Incorrect string format"));
    QByteArray data;
    data.reserve(text.size() / 4 * 3);
    for (qsizetype i = 0; i < text.size(); i += 4) {
        const unsigned group = (SixBits(text.at(i)) << 18) | (SixBits(text.at(i + 1)) << 12)
                               | (SixBits(text.at(i + 2)) << 6) | SixBits(text.at(i + 3));
        int count = 3;
        if (i + 4 == text.size()) {
            if (text.at(i + 2) == u'=')
                count = 1;
            else if (text.at(i + 3) == u'=')
                count = 2;
        }
        data += char(group >> 16);
        if (count > 1)
            data += char(group >> 8);
        if (count > 2)
            data += char(group);
    }
    return data;
}
