// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: NTLM v1 messages and responses after Microsoft's [MS-NLMP] (sections 2.2.1 and 3.3.1).
#include "net/IcsNtlmMsgs.h"

#include "net/IcsDES.h"
#include "net/IcsMD4.h"
#include "net/MimeUtil.h"
#include "platform/CodePage.h"

#include <QtEndian>

#include <cstring>

namespace {

const char kSignature[8] = {'N', 'T', 'L', 'M', 'S', 'S', 'P', '\0'};
constexpr quint32 kNegotiateFlags = 0x8207;  // UNICODE | OEM | REQUEST_TARGET | NTLM | ALWAYS_SIGN
constexpr quint32 kDomainSupplied = 0x1000;
constexpr quint32 kWorkstationSupplied = 0x2000;
constexpr quint32 kAuthenticateFlags = 0x8205;  // UNICODE | REQUEST_TARGET | NTLM | ALWAYS_SIGN

void Put16(QByteArray &Message, int Offset, quint16 Value)
{
    qToLittleEndian(Value, Message.data() + Offset);
}

void Put32(QByteArray &Message, int Offset, quint32 Value)
{
    qToLittleEndian(Value, Message.data() + Offset);
}

// A security buffer: length, maximum length, offset.
void PutBuffer(QByteArray &Message, int Offset, qsizetype Length, qsizetype BufferOffset)
{
    Put16(Message, Offset, quint16(Length));
    Put16(Message, Offset + 2, quint16(Length));
    Put32(Message, Offset + 4, quint32(BufferOffset));
}

QByteArray Header(quint32 Type, int Size)
{
    QByteArray message(Size, '\0');
    std::memcpy(message.data(), kSignature, 8);
    Put32(message, 8, Type);
    return message;
}

quint16 Get16(const QByteArray &Message, qsizetype Offset)
{
    return qFromLittleEndian<quint16>(Message.constData() + Offset);
}

quint32 Get32(const QByteArray &Message, qsizetype Offset)
{
    return qFromLittleEndian<quint32>(Message.constData() + Offset);
}

QString FromUnicodeBytes(const QByteArray &Bytes)
{
    QString text;
    text.reserve(Bytes.size() / 2);
    for (qsizetype i = 0; i + 1 < Bytes.size(); i += 2)
        text += QChar(Get16(Bytes, i));
    return text;
}

// The 8-bit form of a name of the negotiate message.
QByteArray OemBytes(const QString &Text)
{
    return Text.toLatin1();
}

QByteArray EightBytes(const QByteArray &Data)
{
    QByteArray block = Data.left(8);
    block.append(8 - block.size(), '\0');
    return block;
}

// The 16-byte hash padded to three DES keys, each enciphering the challenge.
QByteArray ThreeKeyResponse(const QByteArray &Hash16, const QByteArray &Challenge)
{
    QByteArray keys = Hash16 + QByteArray(5, '\0');
    const QByteArray challenge = EightBytes(Challenge);
    return DesWith7ByteKey(keys.mid(0, 7), challenge) + DesWith7ByteKey(keys.mid(7, 7), challenge)
           + DesWith7ByteKey(keys.mid(14, 7), challenge);
}

}  // namespace

QByteArray ToUnicodeBytes(const QString &Text)
{
    QByteArray bytes(Text.size() * 2, '\0');
    for (qsizetype i = 0; i < Text.size(); ++i)
        qToLittleEndian(quint16(Text.at(i).unicode()), bytes.data() + 2 * i);
    return bytes;
}

QByteArray DesWith7ByteKey(const QByteArray &Key7, const QByteArray &Data8)
{
    std::uint8_t k[7] = {};
    for (int i = 0; i < 7 && i < Key7.size(); ++i)
        k[i] = std::uint8_t(Key7.at(i));
    std::uint8_t key[8];
    key[0] = k[0];
    for (int i = 1; i < 7; ++i)
        key[i] = std::uint8_t(k[i - 1] << (8 - i) | k[i] >> i);
    key[7] = std::uint8_t(k[6] << 1);
    for (std::uint8_t &b : key)
        b &= 0xFE;
    const QByteArray data = EightBytes(Data8);
    std::uint8_t out[8];
    DesBlock(reinterpret_cast<const std::uint8_t *>(data.constData()), out, key, true);
    return QByteArray(reinterpret_cast<const char *>(out), 8);
}

QByteArray LmResponse(const QString &Password, const QByteArray &Challenge, int CodePage)
{
    QByteArray password = EncodeAnsi(Password.toUpper(), CodePage).left(14);
    password.append(14 - password.size(), '\0');
    const QByteArray magic("KGS!@#$%", 8);
    const QByteArray hash = DesWith7ByteKey(password.left(7), magic) + DesWith7ByteKey(password.mid(7), magic);
    return ThreeKeyResponse(hash, Challenge);
}

QByteArray NtResponse(const QString &Password, const QByteArray &Challenge)
{
    return ThreeKeyResponse(MD4String(ToUnicodeBytes(Password)), Challenge);
}

QString BuildNtlmNegotiate(const QString &Host, const QString &Domain)
{
    const QByteArray host = OemBytes(Host.toUpper()).left(0xFFFF);
    const QByteArray domain = OemBytes(Domain.toUpper()).left(0xFFFF);
    QByteArray message = Header(1, 32);
    quint32 flags = kNegotiateFlags;
    if (!host.isEmpty())
        flags |= kWorkstationSupplied;
    if (!domain.isEmpty())
        flags |= kDomainSupplied;
    Put32(message, 12, flags);
    PutBuffer(message, 16, domain.size(), domain.isEmpty() ? 0 : 32 + host.size());
    PutBuffer(message, 24, host.size(), host.isEmpty() ? 0 : 32);
    return EncodeBase64Text(message + host + domain);
}

TNtlmChallengeInfo ParseNtlmChallenge(const QString &Base64Text)
{
    TNtlmChallengeInfo info;
    const QByteArray message = DecodeBase64Text(Base64Text);
    const qsizetype size = message.size();
    // Signature, type, target name buffer, flags and the challenge make the shortest message (32 bytes).
    if (size < 32 || std::memcmp(message.constData(), kSignature, 8) != 0 || Get32(message, 8) != 2)
        return info;
    info.Valid = true;
    info.Challenge = message.mid(24, 8);

    const qint64 nameLength = Get16(message, 12);
    const qint64 nameOffset = Get32(message, 16);
    if (nameOffset + nameLength <= size)
        info.Domain = FromUnicodeBytes(message.mid(nameOffset, nameLength));

    if (size < 48)
        return info;
    // Attribute entries (type, length, value) up to the end entry or the end of the message.
    qint64 at = Get32(message, 44);
    while (at + 4 <= size) {
        const quint16 type = Get16(message, at);
        const quint16 length = Get16(message, at + 2);
        if (type == 0 && length == 0)
            break;
        if (at + 4 + length > size)
            break;
        const QString value = FromUnicodeBytes(message.mid(at + 4, length));
        if (type == 1)
            info.Server = value;
        else if (type == 2)
            info.ServerDomain = value;
        at += 4 + length;
    }
    return info;
}

QString BuildNtlmAuthenticate(const QString &Domain, const QString &Host, const QString &User,
                              const QString &Password, const QByteArray &Challenge, int CodePage)
{
    // A security buffer counts its bytes in 16 bits.
    const QByteArray domain = ToUnicodeBytes(Domain).left(0xFFFE);
    const QByteArray user = ToUnicodeBytes(User).left(0xFFFE);
    const QByteArray host = ToUnicodeBytes(Host).left(0xFFFE);
    const QByteArray lm = LmResponse(Password, Challenge, CodePage);
    const QByteArray nt = NtResponse(Password, Challenge);
    const qsizetype d = domain.size(), u = user.size(), h = host.size();

    QByteArray message = Header(3, 64);
    PutBuffer(message, 12, 24, 64 + d + u + h);
    PutBuffer(message, 20, 24, 64 + d + u + h + 24);
    PutBuffer(message, 28, d, 64);
    PutBuffer(message, 36, u, 64 + d);
    PutBuffer(message, 44, h, 64 + d + u);
    PutBuffer(message, 52, 0, 0);
    Put32(message, 60, kAuthenticateFlags);
    return EncodeBase64Text(message + domain + user + host + lm + nt);
}
