// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: host, port and protocol resolvers, dotted addresses and the own host name.
#include "net/WSocketResolvers.h"

#include "net/WSocketLibrary.h"
#include "platform/PosixSocket.h"

#include <QtEndian>

#include <algorithm>

using namespace PosixSocket;

namespace {

bool IsAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// The decimal number the text starts with, held at Cap so that no digit count overflows it.
int LeadingNumber(const QString &Text, int Cap)
{
    int value = 0;
    for (QChar c : Text) {
        if (!IsAsciiDigit(c))
            break;
        value = std::min(value * 10 + c.digitValue(), Cap);
    }
    return value;
}

} // namespace

// The parts of a text that IsDottedAddress accepted, read as decimal numbers. inet_addr would
// read "010" as octal and connect somewhere else than the text says.
quint32 DottedToAddr(const QString &Text)
{
    quint32 parts[4] = {0, 0, 0, 0};
    int part = 0;
    for (QChar c : Text.trimmed()) {
        if (c == QLatin1Char('.'))
            ++part;
        else if (c.isDigit() && part < 4)
            parts[part] = parts[part] * 10 + quint32(c.digitValue());
    }
    return qToBigEndian(quint32((parts[0] << 24) | (parts[1] << 16) | (parts[2] << 8) | parts[3]));
}

bool IsDottedAddress(const QString &Text)
{
    const int n = int(Text.size());
    int i = 0;
    while (i < n && Text[i] == QLatin1Char(' '))
        ++i;
    if (i < n && Text[i] == QLatin1Char('.'))
        return false;
    int dots = 0;
    int part = 0;
    for (; i < n; ++i) {
        const QChar c = Text[i];
        if (IsAsciiDigit(c)) {
            part = std::min(part * 10 + c.digitValue(), 1000);
        } else if (c == QLatin1Char('.')) {
            ++dots;
            if (i + 1 >= n || !IsAsciiDigit(Text[i + 1]) || dots > 3 || part > 255)
                return false;
            part = 0;
        } else {
            for (; i < n; ++i)
                if (Text[i] != QLatin1Char(' '))
                    return false;
            break;
        }
    }
    return dots == 3 && part < 256;
}

quint32 WSocketResolveHost(const QString &Text)
{
    if (Text.isEmpty() || Text.size() > 256)
        throw ESocketException(QStringLiteral("WSocketResolveHost: '%1' Invalid Hostname.").arg(Text));
    const QString name = Text.trimmed();
    if (IsDottedAddress(name)) {
        const quint32 addr = DottedToAddr(name);
        if (addr == 0xFFFFFFFFu && name != QLatin1String("255.255.255.255"))
            throw ESocketException(QStringLiteral("WSocketResolveHost: '%1' Invalid IP address.").arg(Text));
        return addr;
    }
    WSocketLoadLibrary();
    QList<quint32> addrs;
    const int error = GetHostByName(name, addrs);
    if (error != 0 || addrs.isEmpty()) {
        WSocketSetLastError(error);
        throw ESocketException(QStringLiteral("WSocketResolveHost: Cannot convert host address '%1', Error #%2")
                                   .arg(Text)
                                   .arg(error));
    }
    return addrs.first();
}

quint16 WSocketResolvePort(const QString &Port, const QString &Proto)
{
    if (Port.isEmpty() || Port.size() >= 32)
        throw ESocketException(QStringLiteral("WSocketResolvePort: Invalid Port."));
    if (Proto.isEmpty() || Proto.size() >= 32)
        throw ESocketException(QStringLiteral("WSocketResolvePort: Invalid Proto."));
    if (IsAsciiDigit(Port[0])) {
        const int value = LeadingNumber(Port, 65536);
        // Above 65535 the port would wrap round to another service.
        if (value > 65535)
            throw ESocketException(QStringLiteral("WSocketResolvePort: Invalid Port."));
        return quint16(value);
    }
    WSocketLoadLibrary();
    quint16 port = 0;
    const int error = GetServByName(Port.trimmed(), Proto.trimmed(), port);
    if (error != 0) {
        WSocketSetLastError(error);
        throw ESocketException(QStringLiteral("WSocketResolvePort: Cannot convert port '%1', Error #%2").arg(Port).arg(error));
    }
    return port;
}

int WSocketResolveProto(const QString &Text)
{
    if (Text.isEmpty() || Text.size() >= 32)
        throw ESocketException(QStringLiteral("WSocketResolveProto: Invalid Protocol."));
    if (IsAsciiDigit(Text[0]))
        return LeadingNumber(Text, 0xFFFF);
    const QString name = Text.trimmed().toLower();
    if (name == QLatin1String("tcp"))
        return 6;
    if (name == QLatin1String("udp"))
        return 17;
    if (name == QLatin1String("raw"))
        return 255;
    WSocketLoadLibrary();
    int proto = 0;
    const int error = GetProtoByName(name, proto);
    if (error != 0) {
        WSocketSetLastError(error);
        throw ESocketException(QStringLiteral("WSocketResolveProto: Cannot convert protocol '%1', Error #%2").arg(Text).arg(error));
    }
    return proto;
}

QString OwnHostName()
{
    WSocketLoadLibrary();
    QString name;
    int error = 0;
    {
        const TWSocketLibraryUse use;
        error = GetHostName(name);
    }
    if (error != 0)
        throw ESocketException(QStringLiteral("Winsock.GetHostName failed"));
    QByteArray bytes = name.toUtf8();
    if (bytes.size() > 64)
        bytes.truncate(64);
    return QString::fromUtf8(bytes);
}
