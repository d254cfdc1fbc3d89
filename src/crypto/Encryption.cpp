// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: Twofish CFB-8 under the hashed pass phrase, and the stored form of the proxy password.
#include "crypto/Encryption.h"

#include "crypto/Base64.h"
#include "crypto/CryptTools.h"
#include "crypto/Sha1.h"
#include "crypto/Twofish.h"

namespace {

// TODO: the prefix's ANSI code page (platform/CodePage.h) once it is in the tree.
bool PasswordToBytes(const QString &password, QByteArray *bytes)
{
    for (QChar c : password) {
        if (c.unicode() > 0xFF)
            return false;
    }
    *bytes = password.toLatin1();
    return true;
}

QString PasswordFromBytes(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes);
}

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

QString ProxyPasswordToSetting(const QString &password)
{
    QByteArray bytes;
    if (!PasswordToBytes(password, &bytes))
        return QString();
    try {
        EncryptString(ProxyPassPhrase(), bytes);
    } catch (const ECryptoError &) {
        return QString();
    }
    const QString stored = Base64Encode(bytes);
    Burn(bytes.data(), std::size_t(bytes.size()));
    return stored;
}

QString ProxyPasswordFromSetting(const QString &stored)
{
    try {
        QByteArray bytes = Base64Decode(stored);
        DecryptString(ProxyPassPhrase(), bytes);
        const QString password = PasswordFromBytes(bytes);
        Burn(bytes.data(), std::size_t(bytes.size()));
        return password;
    } catch (const ECryptoError &) {
        return QString();
    }
}
