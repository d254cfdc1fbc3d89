// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the proxy password's encryption and its stored Base64 form.
#include "crypto/Base64.h"
#include "crypto/Encryption.h"
#include "crypto/Sha1.h"
#include "crypto/Twofish.h"

#include <gtest/gtest.h>

namespace {

TEST(Encryption, KeyIsTheDigestAndTheVectorTheEnciphermentOfTheZeroBlock)
{
    const QByteArray key = HashPassPhrase("PaloKivi");
    EXPECT_EQ(key, SHA1Digest("PaloKivi"));
    ASSERT_EQ(key.size(), 20);

    // First byte of CFB-8 is the plain byte xor the first byte of E(E(0)) under the 192-bit key.
    TTwofishContext context;
    TwofishInit(context, key.constData(), 20);
    std::uint8_t block[16] = {};
    TwofishEncryptBlock(context, block, block);
    TwofishEncryptBlock(context, block, block);
    QByteArray s("x");
    EncryptString("PaloKivi", s);
    EXPECT_EQ(std::uint8_t(s[0]), std::uint8_t('x' ^ block[0]));
}

TEST(Encryption, RoundTripsKeepTheLengthAndAreRepeatable)
{
    for (const QByteArray &password : {QByteArray(""), QByteArray("a"), QByteArray("s3cr\xE9t pass"), QByteArray(40, '\0')}) {
        SCOPED_TRACE(password.toHex().toStdString());
        QByteArray s = password;
        EncryptString(ProxyPassPhrase(), s);
        EXPECT_EQ(s.size(), password.size());
        if (!password.isEmpty()) {
            EXPECT_NE(s, password);
        }
        QByteArray again = password;
        EncryptString(ProxyPassPhrase(), again);
        EXPECT_EQ(again, s);  // the vector depends only on the key
        DecryptString(ProxyPassPhrase(), s);
        EXPECT_EQ(s, password);
    }
    QByteArray other("secret");
    EncryptString("Other", other);
    QByteArray mine("secret");
    EncryptString(ProxyPassPhrase(), mine);
    EXPECT_NE(other, mine);
}

TEST(Encryption, StoredProxyPassword)
{
    EXPECT_EQ(ProxyPasswordToSetting("", 1252), "");
    EXPECT_EQ(ProxyPasswordFromSetting("", 1252), "");
    for (const QString &password : {QString("p"), QString("pw"), QString("pwd"), QString::fromUtf8("Päss wörd!")}) {
        SCOPED_TRACE(password.toStdString());
        const QString stored = ProxyPasswordToSetting(password, 1252);
        EXPECT_EQ(stored.size(), (password.size() + 2) / 3 * 4);
        EXPECT_NE(stored, Base64Encode(password.toLatin1()));
        EXPECT_EQ(ProxyPasswordFromSetting(stored, 1252), password);
    }
    // The bytes are those of the code page: one byte a character in 1251 too.
    const QString cyrillic = QString::fromUtf8("Пароль");
    const QString stored = ProxyPasswordToSetting(cyrillic, 1251);
    EXPECT_EQ(stored.size(), 8);
    EXPECT_EQ(ProxyPasswordFromSetting(stored, 1251), cyrillic);
    // A password the code page cannot hold is not stored damaged.
    EXPECT_EQ(ProxyPasswordToSetting(cyrillic, 1252), "");
}

TEST(Encryption, UnreadableStoredValuesReadAsNoPassword)
{
    EXPECT_EQ(ProxyPasswordFromSetting("abcde", 1252), "");
    EXPECT_EQ(ProxyPasswordFromSetting("a", 1252), "");
    // Any text of the right length decodes to something and never fails or reads past its end.
    EXPECT_EQ(ProxyPasswordFromSetting("****", 1252).size(), 3);
    EXPECT_EQ(ProxyPasswordFromSetting("====", 1252).size(), 1);
    EXPECT_EQ(ProxyPasswordFromSetting(QString(4000, u'\u20AC'), 1252).size(), 3000);
}

}  // namespace
