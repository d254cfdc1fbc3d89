// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: SOCKS handshake messages and reply parsers.
#include "SocksMessages.h"

namespace SocksMessages {

namespace {

void AppendPort(QByteArray &message, quint16 port)
{
    message.append(char(port >> 8));
    message.append(char(port & 0xFF));
}

quint8 At(const QByteArray &data, int index)
{
    return quint8(data.at(index));
}

TSocksReply Failure(int error, const QString &text)
{
    TSocksReply reply;
    reply.Status = TSocksReply::Failed;
    reply.Error = error;
    reply.Text = text;
    return reply;
}

TSocksReply NeedBytes(int length)
{
    TSocksReply reply;
    reply.Length = length;
    return reply;
}

TSocksReply Finished(int length)
{
    TSocksReply reply;
    reply.Status = TSocksReply::Done;
    reply.Length = length;
    return reply;
}

TSocksReply Socks5ReplyCodeFailure(int code)
{
    switch (code) {
    case 1: return Failure(SocksServerFailure, "general SOCKS server failure");
    case 2: return Failure(SocksNotAllowed, "connection not allowed by ruleset");
    case 3: return Failure(SocksNetworkUnreachable, "network unreachable");
    case 4: return Failure(SocksHostUnreachable, "host unreachable");
    case 5: return Failure(SocksConnectionRefused, "connection refused");
    case 6: return Failure(SocksTtlExpired, "time to live expired");
    case 7: return Failure(SocksCommandNotSupported, "command not supported");
    case 8: return Failure(SocksAddressTypeNotSupported, "address type not supported");
    default: return Failure(SocksUnassignedError, QStringLiteral("unassigned error #%1").arg(code));
    }
}

}  // namespace

QByteArray MethodOffer(bool usercode)
{
    QByteArray message("\x05\x01", 2);
    message.append(char(usercode ? MethodUsercode : MethodNoAuthentication));
    return message;
}

QByteArray Socks4Request(quint16 port, quint32 addr, const QByteArray &usercode)
{
    QByteArray message("\x04\x01", 2);
    AppendPort(message, port);
    message.append(reinterpret_cast<const char *>(&addr), 4);  // already in network order
    message.append(usercode);
    message.append('\0');
    return message;
}

QByteArray Socks4ARequest(quint16 port, const QByteArray &usercode, const QByteArray &host)
{
    QByteArray message("\x04\x01", 2);
    AppendPort(message, port);
    message.append("\x00\x00\x00\x01", 4);
    message.append(usercode);
    message.append('\0');
    message.append(host);
    message.append('\0');
    return message;
}

std::optional<QByteArray> Socks5Request(const QByteArray &host, quint16 port)
{
    if (host.size() > 255)
        return std::nullopt;
    QByteArray message("\x05\x01\x00\x03", 4);
    message.append(char(host.size()));
    message.append(host);
    AppendPort(message, port);
    return message;
}

std::optional<QByteArray> Socks5Authentication(const QByteArray &usercode, const QByteArray &password)
{
    if (usercode.size() > 255 || password.size() > 255)
        return std::nullopt;
    QByteArray message(1, '\x01');
    message.append(char(usercode.size()));
    message.append(usercode);
    message.append(char(password.size()));
    message.append(password);
    return message;
}

TSocksReply ParseMethodReply(const QByteArray &data)
{
    if (data.size() < 2)
        return NeedBytes(2);
    if (At(data, 0) != 0x05)
        return Failure(SocksVersionError, "socks version error");
    const int method = At(data, 1);
    if (method != MethodNoAuthentication && method != MethodUsercode)
        return Failure(SocksMethodNotAcceptable, "authentification method not acceptable");
    TSocksReply reply = Finished(2);
    reply.Method = method;
    return reply;
}

TSocksReply ParseAuthenticationReply(const QByteArray &data)
{
    if (data.isEmpty())
        return NeedBytes(2);
    if (At(data, 0) != 0x01)
        return Failure(SocksVersionError, "socks version error");
    if (data.size() > 2)
        return Failure(SocksLogicError, "too much data availaible");
    if (data.size() < 2)
        return NeedBytes(2);
    if (At(data, 1) != 0x00)
        return Failure(SocksAuthenticationFailed, "socks authentication failed");
    return Finished(2);
}

TSocksReply ParseSocks4Reply(const QByteArray &data)
{
    if (data.size() < 8)
        return NeedBytes(8);
    if (At(data, 0) != 0x00)
        return Failure(SocksVersionError, "socks version error");
    switch (At(data, 1)) {
    case 90: return Finished(8);
    case 91: return Failure(SocksRequestRejected, "request rejected or failed");
    case 92: return Failure(SocksConnectionRefused, "connection refused");
    case 93: return Failure(SocksAuthenticationFailed, "authentification failed");
    default: return Failure(SocksUnassignedError, QStringLiteral("unassigned error #%1").arg(At(data, 1)));
    }
}

TSocksReply ParseSocks5Reply(const QByteArray &data)
{
    if (data.isEmpty())
        return NeedBytes(5);
    if (At(data, 0) != 0x05)
        return Failure(SocksVersionError, "socks version error");
    if (data.size() >= 2 && At(data, 1) != 0x00)
        return Socks5ReplyCodeFailure(At(data, 1));
    if (data.size() < 5)
        return NeedBytes(5);
    const int type = At(data, 3);
    if (type != 1 && type != 3)
        return Failure(SocksAddressTypeNotSupported, "address type not supported");
    const int length = type == 1 ? 10 : At(data, 4) + 7;
    if (data.size() < length)
        return NeedBytes(length);
    TSocksReply reply = Finished(length);
    int portAt;
    if (type == 1) {
        reply.BoundAddr = QStringLiteral("%1.%2.%3.%4").arg(At(data, 4)).arg(At(data, 5)).arg(At(data, 6)).arg(At(data, 7));
        portAt = 8;
    } else {
        reply.BoundAddr = QString::fromLatin1(data.mid(5, At(data, 4)));
        portAt = At(data, 4) + 5;
    }
    reply.BoundPort = QString::number((At(data, portAt) << 8) | At(data, portAt + 1));
    return reply;
}

}  // namespace SocksMessages
