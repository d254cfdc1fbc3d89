// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the SOCKS 4, 4A and 5 handshake messages (RFC 1928, RFC 1929) as bytes, and their replies parsed.
//
// No socket here: the socket layer feeds the parsers what it has received so far of one reply and
// acts on the verdict. A parser never looks at a byte the reply has not delivered yet, so a short or
// hostile reply can only stay incomplete or fail, never be read beyond its end.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace SocksMessages {

// Error numbers reported through OnSocksError and then as the error of OnSessionConnected.
enum : int {
    SocksLogicError = 20001,  // also "too much data availaible" in the authentication reply
    SocksVersionError = 20002,
    SocksMethodNotAcceptable = 20003,
    SocksServerFailure = 20004,
    SocksNotAllowed = 20005,
    SocksNetworkUnreachable = 20006,
    SocksHostUnreachable = 20007,
    SocksConnectionRefused = 20008,
    SocksTtlExpired = 20009,
    SocksCommandNotSupported = 20010,
    SocksAddressTypeNotSupported = 20011,
    SocksUnassignedError = 20012,
    SocksInternalError = 20013,
    SocksAuthenticationFailed = 20015,
    SocksRequestRejected = 20016,
    SocksResolveFailed = 20017,
};

// Method numbers of the SOCKS 5 method offer.
enum : int { MethodNoAuthentication = 0x00, MethodUsercode = 0x02 };

// Longest reply of the handshake: a SOCKS 5 connect reply with a 255-byte bound name.
constexpr int LongestReply = 4 + 1 + 255 + 2;

// 05 01 method: offers one method, user code and password (2) or none (0).
QByteArray MethodOffer(bool usercode);
// SOCKS 4: 04 01, port, IPv4 address, user code, 00. Port in host order, Addr in network order.
QByteArray Socks4Request(quint16 port, quint32 addr, const QByteArray &usercode);
// SOCKS 4A: 04 01, port, 0.0.0.1, user code, 00, host name, 00; the proxy resolves the name.
QByteArray Socks4ARequest(quint16 port, const QByteArray &usercode, const QByteArray &host);
// SOCKS 5 connect by domain name: 05 01 00 03, length, name, port. No message for a name longer
// than 255 bytes: its length does not fit the length byte.
std::optional<QByteArray> Socks5Request(const QByteArray &host, quint16 port);
// RFC 1929: 01, length, user code, length, password. None when either is longer than 255 bytes.
std::optional<QByteArray> Socks5Authentication(const QByteArray &usercode, const QByteArray &password);

// The verdict on the bytes received so far of one reply.
struct TSocksReply
{
    enum TStatus { Incomplete, Done, Failed };
    TStatus Status = Incomplete;
    int Length = 0;     // Incomplete: bytes the reply needs in all, as far as known; Done: its length
    int Error = 0;      // Failed: the error number
    QString Text;       // Failed: the error text
    int Method = 0;     // method reply: the method the proxy chose
    QString BoundAddr;  // SOCKS 5 connect reply: the address (dotted or name) and port the proxy bound
    QString BoundPort;
};

TSocksReply ParseMethodReply(const QByteArray &data);
// More than the two bytes of the reply fails: the proxy cannot have anything else to say yet.
TSocksReply ParseAuthenticationReply(const QByteArray &data);
TSocksReply ParseSocks4Reply(const QByteArray &data);
TSocksReply ParseSocks5Reply(const QByteArray &data);

}  // namespace SocksMessages
