// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: Twofish CFB-8 under the hashed pass phrase, and the stored form of the proxy password.
#include "crypto/Encryption.h"

#include "crypto/Base64.h"
#include "crypto/CryptTools.h"
#include "crypto/Sha1.h"
#include "crypto/Twofish.h"

#include "platform/CodePage.h"

namespace {

void Crypt(const QByteArray &passPhrase, QByteArray &s, bool decrypt)
{
    QByteArray key = HashPassPhrase(passPhrase);
    TTwofishContext context;
    TwofishInit(context, key.constData(), std::size_t(key.size()));
    Burn(key.data(), std::size_t(key.size()));
    const std::uint8_t zero[16] = {};
    TwofishEncryptCBC(context, zero, context.IV);
    TwofishReset(context);
    if (!s.isEmpty()) {
        if (decrypt)
            TwofishDecryptCFB8(context, s.constData(), s.data(), std::size_t(s.size()));
        else
            TwofishEncryptCFB8(context, s.constData(), s.data(), std::size_t(s.size()));
    }
    TwofishBurn(context);
}

}  // namespace

QByteArray ProxyPassPhrase()
{
    return QByteArrayLiteral("PaloKivi");
}

QByteArray HashPassPhrase(const QByteArray &passPhrase)
{
    return SHA1Digest(passPhrase);
}

void EncryptString(const QByteArray &passPhrase, QByteArray &s)
{
    Crypt(passPhrase, s, false);
}

void DecryptString(const QByteArray &passPhrase, QByteArray &s)
{
    Crypt(passPhrase, s, true);
}

QString ProxyPasswordToSetting(const QString &password, int codePage)
{
    bool lossless = false;
    QByteArray bytes = EncodeAnsi(password, codePage > 0 ? codePage : AnsiCodePage(), &lossless);
    if (!lossless) {
        Burn(bytes.data(), std::size_t(bytes.size()));
        return QString();
    }
    try {
        EncryptString(ProxyPassPhrase(), bytes);
    } catch (const ECryptoError &) {
        return QString();
    }
    const QString stored = Base64Encode(bytes);
    Burn(bytes.data(), std::size_t(bytes.size()));
    return stored;
}

QString ProxyPasswordFromSetting(const QString &stored, int codePage)
{
    try {
        QByteArray bytes = Base64Decode(stored);
        DecryptString(ProxyPassPhrase(), bytes);
        const QString password = DecodeAnsi(bytes, codePage > 0 ? codePage : AnsiCodePage());
        Burn(bytes.data(), std::size_t(bytes.size()));
        return password;
    } catch (const ECryptoError &) {
        return QString();
    }
}
