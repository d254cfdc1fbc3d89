// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: NTLM v1 against [MS-NLMP] 4.2.2, the messages' layout, and challenge messages well-formed, cut short and hostile.
#include "net/IcsNtlmMsgs.h"

#include "net/IcsMD4.h"
#include "net/MimeUtil.h"

#include <QtEndian>

#include <gtest/gtest.h>

namespace {

const QByteArray kChallenge = QByteArray::fromHex("0123456789abcdef");

quint16 U16(const QByteArray &m, int at) { return qFromLittleEndian<quint16>(m.constData() + at); }
quint32 U32(const QByteArray &m, int at) { return qFromLittleEndian<quint32>(m.constData() + at); }

void Put16(QByteArray &m, int at, quint16 v) { qToLittleEndian(v, m.data() + at); }
void Put32(QByteArray &m, int at, quint32 v) { qToLittleEndian(v, m.data() + at); }

QByteArray Utf16(const char *text) { return ToUnicodeBytes(QString::fromLatin1(text)); }

QByteArray Attribute(quint16 type, const QByteArray &value)
{
    QByteArray a(4, '\0');
    Put16(a, 0, type);
    Put16(a, 2, quint16(value.size()));
    return a + value;
}

// A challenge message: 48-byte header, the target name at 48, the target information behind it.
QByteArray ChallengeMessage(const QByteArray &targetName, const QByteArray &targetInfo)
{
    QByteArray m(48, '\0');
    m.replace(0, 8, QByteArray("NTLMSSP\0", 8));
    Put32(m, 8, 2);
    Put16(m, 12, quint16(targetName.size()));
    Put16(m, 14, quint16(targetName.size()));
    Put32(m, 16, 48);
    Put32(m, 20, 0x00810205);
    m.replace(24, 8, kChallenge);
    Put16(m, 40, quint16(targetInfo.size()));
    Put16(m, 42, quint16(targetInfo.size()));
    Put32(m, 44, quint32(48 + targetName.size()));
    return m + targetName + targetInfo;
}

QByteArray WellFormed()
{
    return ChallengeMessage(Utf16("DOMAIN"), Attribute(2, Utf16("DOMAIN")) + Attribute(1, Utf16("SERVER"))
                                                 + Attribute(4, Utf16("domain.example")) + Attribute(0, {}));
}

TEST(Ntlm, NegotiateMessage)
{
    EXPECT_EQ(BuildNtlmNegotiate(QString(), QString()), QStringLiteral("TlRMTVNTUAABAAAAB4IAAAAAAAAAAAAAAAAAAAAAAAA="));

    const QByteArray m = DecodeBase64Text(BuildNtlmNegotiate(QStringLiteral("ws1"), QStringLiteral("Corp")));
    ASSERT_EQ(m.size(), 32 + 3 + 4);
    EXPECT_EQ(m.left(8), QByteArray("NTLMSSP\0", 8));
    EXPECT_EQ(U32(m, 8), 1u);
    EXPECT_EQ(U32(m, 12), 0x8207u | 0x2000u | 0x1000u);
    EXPECT_EQ(U16(m, 16), 4);
    EXPECT_EQ(U16(m, 18), 4);
    EXPECT_EQ(U32(m, 20), 32u + 3u);
    EXPECT_EQ(U16(m, 24), 3);
    EXPECT_EQ(U16(m, 26), 3);
    EXPECT_EQ(U32(m, 28), 32u);
    EXPECT_EQ(m.mid(32), QByteArray("WS1CORP"));

    const QByteArray hostOnly = DecodeBase64Text(BuildNtlmNegotiate(QStringLiteral("h"), QString()));
    EXPECT_EQ(U32(hostOnly, 12), 0x8207u | 0x2000u);
    EXPECT_EQ(U32(hostOnly, 20), 0u);
    EXPECT_EQ(U32(hostOnly, 28), 32u);
}

// [MS-NLMP] 4.2.2: user "User", domain "Domain", password "Password", server challenge 0123456789abcdef.
TEST(Ntlm, PublishedVersion1Example)
{
    EXPECT_EQ(MD4String(ToUnicodeBytes(QStringLiteral("Password"))).toHex(), QByteArray("a4f49c406510bdcab6824ee7c30fd852"));
    const QByteArray magic("KGS!@#$%");
    EXPECT_EQ((DesWith7ByteKey("PASSWOR", magic) + DesWith7ByteKey(QByteArray("D\0\0\0\0\0\0", 7), magic)).toHex(),
              QByteArray("e52cac67419a9a224a3b108f3fa6cb6d"));
    EXPECT_EQ(NtResponse(QStringLiteral("Password"), kChallenge).toHex(),
              QByteArray("67c43011f30298a2ad35ece64f16331c44bdbed927841f94"));
    EXPECT_EQ(LmResponse(QStringLiteral("Password"), kChallenge).toHex(),
              QByteArray("98def7b87f88aa5dafe2df779688a172def11c7d5ccdef13"));
}

TEST(Ntlm, PasswordEdges)
{
    // LM sees the first 14 characters upper-cased; NT sees them all, case kept.
    EXPECT_EQ(LmResponse(QStringLiteral("Password123456789"), kChallenge),
              LmResponse(QStringLiteral("PASSWORD123456"), kChallenge));
    EXPECT_NE(NtResponse(QStringLiteral("Password123456789"), kChallenge),
              NtResponse(QStringLiteral("Password123456"), kChallenge));
    EXPECT_NE(NtResponse(QStringLiteral("password"), kChallenge), NtResponse(QStringLiteral("Password"), kChallenge));

    // Empty: LM keys from 14 zero bytes (the well-known aad3b435b51404ee halves), NT from MD4 of nothing.
    EXPECT_EQ(DesWith7ByteKey(QByteArray(7, '\0'), "KGS!@#$%").toHex(), QByteArray("aad3b435b51404ee"));
    const QByteArray lmHash = QByteArray::fromHex("aad3b435b51404eeaad3b435b51404ee") + QByteArray(5, '\0');
    const QByteArray ntHash = QByteArray::fromHex("31d6cfe0d16ae931b73c59d7e0c089c0") + QByteArray(5, '\0');
    const auto threeKeys = [](const QByteArray &keys) {
        return DesWith7ByteKey(keys.mid(0, 7), kChallenge) + DesWith7ByteKey(keys.mid(7, 7), kChallenge)
               + DesWith7ByteKey(keys.mid(14, 7), kChallenge);
    };
    EXPECT_EQ(LmResponse(QString(), kChallenge), threeKeys(lmHash));
    EXPECT_EQ(NtResponse(QString(), kChallenge), threeKeys(ntHash));

    // Beyond ASCII the LM password is its bytes in the ANSI code page ("\x80URO" in 1252, "\x88URO"
    // in 1251); the first halves of the hashes come from openssl's DES, the second ones are empty.
    const struct { int codePage; const char *firstHalf; } codePages[] = {
        {1252, "9a2797604319f1ed"},
        {1251, "cbfd8f6e936d398e"},
    };
    for (const auto &c : codePages) {
        SCOPED_TRACE(c.codePage);
        const QByteArray hash = QByteArray::fromHex(c.firstHalf) + QByteArray::fromHex("aad3b435b51404ee") + QByteArray(5, '\0');
        EXPECT_EQ(LmResponse(QString::fromUtf8("\xe2\x82\xacuro"), kChallenge, c.codePage), threeKeys(hash));
    }
}

TEST(Ntlm, UnicodeFormIsUtf16LittleEndian)
{
    // byte-wise widening for Latin-1; characters beyond it keep their real code unit, as the NT hash wants
    EXPECT_EQ(ToUnicodeBytes(QString::fromUtf8("Aé€")).toHex(), QByteArray("4100e900ac20"));
    EXPECT_EQ(ToUnicodeBytes(QString()), QByteArray());
}

TEST(Ntlm, SevenByteKeySpreadsTheBitsAndClearsParity)
{
    // 0xFF..: every key byte 0xFE, the same key as all ones for DES.
    EXPECT_EQ(DesWith7ByteKey(QByteArray(7, '\xFF'), QByteArray::fromHex("ffffffffffffffff")).toHex(),
              QByteArray("7359b2163e4edc58"));
    // FIPS 81's key 0123456789abcdef without its parity bits
    EXPECT_EQ(DesWith7ByteKey(QByteArray::fromHex("00451338957377"), QByteArray("Now is t")).toHex(),
              QByteArray("3fa40e8a984d4815"));
}

TEST(Ntlm, AuthenticateMessageLayout)
{
    const QByteArray m = DecodeBase64Text(BuildNtlmAuthenticate(QStringLiteral("Domain"), QStringLiteral("COMPUTER"),
                                                                QStringLiteral("User"), QStringLiteral("Password"), kChallenge));
    const QByteArray domain = Utf16("Domain"), user = Utf16("User"), host = Utf16("COMPUTER");
    const int d = domain.size(), u = user.size(), h = host.size();
    ASSERT_EQ(m.size(), 64 + d + u + h + 48);
    EXPECT_EQ(m.left(8), QByteArray("NTLMSSP\0", 8));
    EXPECT_EQ(U32(m, 8), 3u);
    const struct {
        const char *name;
        int field, length, offset;
        QByteArray content;
    } buffers[] = {
        {"LM response", 12, 24, 64 + d + u + h, QByteArray::fromHex("98def7b87f88aa5dafe2df779688a172def11c7d5ccdef13")},
        {"NT response", 20, 24, 64 + d + u + h + 24, QByteArray::fromHex("67c43011f30298a2ad35ece64f16331c44bdbed927841f94")},
        {"domain", 28, d, 64, domain},
        {"user", 36, u, 64 + d, user},
        {"host", 44, h, 64 + d + u, host},
        {"session key", 52, 0, 0, QByteArray()},
    };
    for (const auto &b : buffers) {
        SCOPED_TRACE(b.name);
        EXPECT_EQ(U16(m, b.field), b.length);
        EXPECT_EQ(U16(m, b.field + 2), b.length);
        EXPECT_EQ(U32(m, b.field + 4), quint32(b.offset));
        EXPECT_EQ(m.mid(b.offset, b.length), b.content);
    }
    EXPECT_EQ(U32(m, 60), 0x8205u);

    // No challenge known: built with a zero challenge, like the answer to an empty type-2 text.
    const TNtlmChallengeInfo none = ParseNtlmChallenge(QString());
    const QByteArray z = DecodeBase64Text(BuildNtlmAuthenticate({}, {}, QStringLiteral("u"), QStringLiteral("p"), none.Challenge));
    EXPECT_EQ(z.mid(64 + 2, 24), LmResponse(QStringLiteral("p"), QByteArray(8, '\0')));
}

TEST(Ntlm, ChallengeMessages)
{
    const QByteArray good = WellFormed();
    QByteArray badSignature = good;
    badSignature[0] = 'X';
    QByteArray wrongType = good;
    Put32(wrongType, 8, 1);
    QByteArray nameOutside = good;
    Put32(nameOutside, 16, 0xFFFFFFF0u);
    QByteArray nameTooLong = good;
    Put16(nameTooLong, 12, 0xFFFF);
    QByteArray infoOutside = good;
    Put32(infoOutside, 44, 0xFFFFFFFFu);
    QByteArray infoAtTheEnd = good;
    Put32(infoAtTheEnd, 44, quint32(good.size() - 2));
    const QByteArray attributeTooLong = ChallengeMessage(Utf16("D"), Attribute(1, Utf16("SERVER"))
                                                                           + Attribute(2, Utf16("DOMAIN")).left(10));
    const QByteArray noEndEntry = ChallengeMessage(Utf16("D"), Attribute(1, Utf16("S1")) + Attribute(2, Utf16("D1")));
    const QByteArray oddName = ChallengeMessage(Utf16("AB").left(3), {});

    const struct {
        const char *name;
        QString text;
        bool valid;
        const char *domain, *server, *serverDomain;
    } cases[] = {
        {"well-formed", EncodeBase64Text(good), true, "DOMAIN", "SERVER", "DOMAIN"},
        {"empty text", QString(), false, "", "", ""},
        {"not Base64 at all", QStringLiteral("!!!!"), false, "", "", ""},
        {"shorter than the challenge", EncodeBase64Text(good.left(31)), false, "", "", ""},
        {"header without target information", EncodeBase64Text(good.left(40)), true, "", "", ""},
        {"another signature", EncodeBase64Text(badSignature), false, "", "", ""},
        {"another message type", EncodeBase64Text(wrongType), false, "", "", ""},
        {"target name offset outside", EncodeBase64Text(nameOutside), true, "", "SERVER", "DOMAIN"},
        {"target name longer than the message", EncodeBase64Text(nameTooLong), true, "", "SERVER", "DOMAIN"},
        {"target information outside", EncodeBase64Text(infoOutside), true, "DOMAIN", "", ""},
        {"target information in the last bytes", EncodeBase64Text(infoAtTheEnd), true, "DOMAIN", "", ""},
        {"attribute longer than the message", EncodeBase64Text(attributeTooLong), true, "D", "SERVER", ""},
        {"no end entry", EncodeBase64Text(noEndEntry), true, "D", "S1", "D1"},
        {"odd-length name drops its last byte", EncodeBase64Text(oddName), true, "A", "", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const TNtlmChallengeInfo info = ParseNtlmChallenge(c.text);
        EXPECT_EQ(info.Valid, c.valid);
        EXPECT_EQ(info.Domain, QString::fromLatin1(c.domain));
        EXPECT_EQ(info.Server, QString::fromLatin1(c.server));
        EXPECT_EQ(info.ServerDomain, QString::fromLatin1(c.serverDomain));
        EXPECT_EQ(info.Challenge, c.valid ? kChallenge : QByteArray(8, '\0'));
    }
}

TEST(Ntlm, ChallengeCutAtEveryLength)
{
    const QByteArray good = WellFormed();
    for (qsizetype n = 0; n <= good.size(); ++n) {
        SCOPED_TRACE(n);
        const TNtlmChallengeInfo info = ParseNtlmChallenge(EncodeBase64Text(good.left(n)));
        EXPECT_EQ(info.Valid, n >= 32);
        EXPECT_EQ(info.Challenge.size(), 8);
        // the name lies at 48..60; attribute 2 at 60..76, attribute 1 at 76..92
        EXPECT_EQ(info.Domain.isEmpty(), n < 60);
        EXPECT_EQ(info.ServerDomain.isEmpty(), n < 76);
        EXPECT_EQ(info.Server.isEmpty(), n < 92);
    }
}

}  // namespace
