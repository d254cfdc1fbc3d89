// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: fuzz harness of the NTLM challenge: what is read from any message, laid out again as a
// challenge message of MS-NLMP, reads back the same, and the authenticate message built on it
// holds its names where its own buffers say, inside the message.
#include "FuzzCheck.h"

#include "net/IcsNtlmMsgs.h"
#include "net/MimeUtil.h"

namespace {

void Put16(QByteArray &b, qsizetype at, quint32 v)
{
    b[at] = char(v & 0xFF);
    b[at + 1] = char((v >> 8) & 0xFF);
}
void Put32(QByteArray &b, qsizetype at, quint32 v)
{
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}
quint32 Get16(const QByteArray &b, qsizetype at) { return uchar(b[at]) | uchar(b[at + 1]) << 8; }
quint32 Get32(const QByteArray &b, qsizetype at) { return Get16(b, at) | Get16(b, at + 2) << 16; }

QByteArray Utf16(const QString &text)
{
    QByteArray b;
    for (QChar c : text)
        b.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    return b;
}

// CHALLENGE_MESSAGE (MS-NLMP 2.2.1.2): target name, flags, challenge, reserved, target information
// (MsvAvNbComputerName 1, MsvAvNbDomainName 2, MsvAvEOL).
QByteArray Challenge(const TNtlmChallengeInfo &info)
{
    const QByteArray name = Utf16(info.Domain).left(0xFFFE);
    QByteArray pairs;
    for (const auto &[type, text] : {std::pair{1, info.Server}, std::pair{2, info.ServerDomain}}) {
        const QByteArray value = Utf16(text).left(0xFFFE);
        QByteArray head(4, '\0');
        Put16(head, 0, quint32(type));
        Put16(head, 2, quint32(value.size()));
        pairs += head + value;
    }
    pairs += QByteArray(4, '\0');
    QByteArray m("NTLMSSP\0", 8);
    m.resize(48);
    Put32(m, 8, 2);
    Put16(m, 12, quint32(name.size()));
    Put16(m, 14, quint32(name.size()));
    Put32(m, 16, 48);
    Put32(m, 20, 0x00828205);
    m.replace(24, 8, info.Challenge);
    Put32(m, 32, 0);
    Put32(m, 36, 0);
    Put16(m, 40, quint32(pairs.size()));
    Put16(m, 42, quint32(pairs.size()));
    Put32(m, 44, quint32(48 + name.size()));
    return m + name + pairs;
}

// The bytes of the security buffer at at, which must lie inside the message.
QByteArray Buffer(const QByteArray &m, qsizetype at)
{
    const quint32 length = Get16(m, at), offset = Get32(m, at + 4);
    FUZZ_CHECK(qint64(offset) + length <= m.size());
    return m.mid(offset, length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray message = Fuzz::Bytes(data, size);
    // The message as a server sends it (Base64), and the bytes taken as the header's text itself.
    for (const QString &text : {EncodeBase64Text(message), QString::fromLatin1(message)}) {
        const TNtlmChallengeInfo info = ParseNtlmChallenge(text);
        FUZZ_CHECK(info.Challenge.size() == 8);
        if (!info.Valid)
            continue;
        const TNtlmChallengeInfo again = ParseNtlmChallenge(EncodeBase64Text(Challenge(info)));
        FUZZ_CHECK(again.Valid && again.Challenge == info.Challenge);
        FUZZ_CHECK(Utf16(again.Domain) == Utf16(info.Domain).left(0xFFFE));
        FUZZ_CHECK(Utf16(again.Server) == Utf16(info.Server).left(0xFFFE));
        FUZZ_CHECK(Utf16(again.ServerDomain) == Utf16(info.ServerDomain).left(0xFFFE));

        // AUTHENTICATE_MESSAGE (2.2.1.3): LM, NT, domain, user, workstation buffers.
        const QByteArray reply = DecodeBase64Text(
            BuildNtlmAuthenticate(info.Domain, QStringLiteral("HOST"), QStringLiteral("user"), QStringLiteral("secret"),
                                  info.Challenge));
        FUZZ_CHECK(reply.size() >= 64 && reply.startsWith(QByteArray("NTLMSSP\0", 8)) && Get32(reply, 8) == 3);
        FUZZ_CHECK(Buffer(reply, 12).size() == 24 && Buffer(reply, 20).size() == 24);
        FUZZ_CHECK(Buffer(reply, 28) == Utf16(info.Domain).left(0xFFFE));
        FUZZ_CHECK(Buffer(reply, 36) == Utf16(QStringLiteral("user")));
        FUZZ_CHECK(Buffer(reply, 44) == Utf16(QStringLiteral("HOST")));
    }
    return 0;
}
