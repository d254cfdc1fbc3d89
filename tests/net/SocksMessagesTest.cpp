// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: tests of the SOCKS 4/4A/5 handshake bytes and the reply parsers, truncated and hostile replies included.
#include "net/SocksMessages.h"

#include "LayersPeers.h"

#include <QtEndian>

#include <gtest/gtest.h>

#include <functional>

using namespace SocksMessages;
using LayersPeers::Hex;
using LayersPeers::Shown;

namespace {

quint32 Net(quint32 hostOrder)
{
    return qToBigEndian(hostOrder);
}

TEST(SocksRequestTest, MessagesByteForByte)
{
    const struct
    {
        const char *name;
        QByteArray actual;
        QByteArray expected;
    } cases[] = {
        {"method offer, no authentication", MethodOffer(false), Hex("050100")},
        {"method offer, user code and password", MethodOffer(true), Hex("050102")},
        {"socks 4 with user code", Socks4Request(80, Net(0x7F000001), "bob"), Hex("040100507f000001626f6200")},
        {"socks 4 without user code", Socks4Request(8080, Net(0xC0A80102), ""), Hex("04011f90c0a8010200")},
        {"socks 4A puts 0.0.0.1 and the name behind the user code", Socks4ARequest(443, "u", "example.com"),
         Hex("040101bb0000000175006578616d706c652e636f6d00")},
        {"socks 4A without user code", Socks4ARequest(1, "", "h"), Hex("040100010000000100" "6800")},
        {"socks 5 request by name", Socks5Request("example.com", 80).value(),
         Hex("050100030b6578616d706c652e636f6d0050")},
        {"socks 5 sends a dotted address as a name", Socks5Request("10.0.0.1", 65535).value(),
         Hex("0501000308" "31302e302e302e31" "ffff")},
        {"socks 5 user code and password (RFC 1929)", Socks5Authentication("user", "pass").value(),
         Hex("010475736572" "0470617373")},
        {"socks 5 empty password", Socks5Authentication("u", "").value(), Hex("01017500")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Shown(c.actual), Shown(c.expected));
    }
}

TEST(SocksRequestTest, LengthBytesNeverOverflow)
{
    const QByteArray longest(255, 'h');
    const std::optional<QByteArray> request = Socks5Request(longest, 80);
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ(request->size(), 7 + 255);
    EXPECT_EQ(quint8(request->at(4)), 255);
    EXPECT_FALSE(Socks5Request(QByteArray(256, 'h'), 80).has_value());

    const std::optional<QByteArray> login = Socks5Authentication(QByteArray(255, 'u'), QByteArray(255, 'p'));
    ASSERT_TRUE(login.has_value());
    EXPECT_EQ(login->size(), 3 + 255 + 255);
    EXPECT_EQ(quint8(login->at(1)), 255);
    EXPECT_EQ(quint8(login->at(2 + 255)), 255);
    EXPECT_FALSE(Socks5Authentication(QByteArray(256, 'u'), "p").has_value());
    EXPECT_FALSE(Socks5Authentication("u", QByteArray(256, 'p')).has_value());
}

using TParser = std::function<TSocksReply(const QByteArray &)>;

struct TReplyCase
{
    const char *name;
    TParser parse;
    QByteArray data;
    TSocksReply::TStatus status;
    int length;  // needed bytes (incomplete) or reply length (done)
    int error;
    const char *text;
};

void Check(const TReplyCase &c)
{
    SCOPED_TRACE(c.name);
    const TSocksReply reply = c.parse(c.data);
    EXPECT_EQ(reply.Status, c.status);
    if (c.status == TSocksReply::Failed) {
        EXPECT_EQ(reply.Error, c.error);
        EXPECT_EQ(reply.Text.toStdString(), c.text);
    } else {
        EXPECT_EQ(reply.Length, c.length);
    }
}

TEST(SocksReplyTest, Verdicts)
{
    const auto I = TSocksReply::Incomplete, D = TSocksReply::Done, F = TSocksReply::Failed;
    const TReplyCase cases[] = {
        {"method: nothing yet", ParseMethodReply, Hex(""), I, 2, 0, ""},
        {"method: one byte", ParseMethodReply, Hex("05"), I, 2, 0, ""},
        {"method: no authentication", ParseMethodReply, Hex("0500"), D, 2, 0, ""},
        {"method: user code", ParseMethodReply, Hex("0502"), D, 2, 0, ""},
        {"method: none acceptable", ParseMethodReply, Hex("05ff"), F, 0, 20003, "authentification method not acceptable"},
        {"method: GSSAPI was never offered", ParseMethodReply, Hex("0501"), F, 0, 20003,
         "authentification method not acceptable"},
        {"method: a socks 4 answer", ParseMethodReply, Hex("005a"), F, 0, 20002, "socks version error"},

        {"login: nothing yet", ParseAuthenticationReply, Hex(""), I, 2, 0, ""},
        {"login: version only", ParseAuthenticationReply, Hex("01"), I, 2, 0, ""},
        {"login: accepted", ParseAuthenticationReply, Hex("0100"), D, 2, 0, ""},
        {"login: refused", ParseAuthenticationReply, Hex("0101"), F, 0, 20015, "socks authentication failed"},
        {"login: wrong version", ParseAuthenticationReply, Hex("0500"), F, 0, 20002, "socks version error"},
        {"login: wrong version seen in the first byte", ParseAuthenticationReply, Hex("05"), F, 0, 20002,
         "socks version error"},
        {"login: more than the reply", ParseAuthenticationReply, Hex("010000"), F, 0, 20001, "too much data availaible"},

        {"socks 4: seven bytes", ParseSocks4Reply, Hex("005a0050000000"), I, 8, 0, ""},
        {"socks 4: granted", ParseSocks4Reply, Hex("005a005000000000"), D, 8, 0, ""},
        {"socks 4: rejected", ParseSocks4Reply, Hex("005b000000000000"), F, 0, 20016, "request rejected or failed"},
        {"socks 4: no identd", ParseSocks4Reply, Hex("005c000000000000"), F, 0, 20008, "connection refused"},
        {"socks 4: user codes differ", ParseSocks4Reply, Hex("005d000000000000"), F, 0, 20015, "authentification failed"},
        {"socks 4: unknown code", ParseSocks4Reply, Hex("005e000000000000"), F, 0, 20012, "unassigned error #94"},
        {"socks 4: version byte not 0", ParseSocks4Reply, Hex("045a000000000000"), F, 0, 20002, "socks version error"},

        {"socks 5: nothing yet", ParseSocks5Reply, Hex(""), I, 5, 0, ""},
        {"socks 5: four bytes", ParseSocks5Reply, Hex("05000001"), I, 5, 0, ""},
        {"socks 5: IPv4 needs ten", ParseSocks5Reply, Hex("050000017f"), I, 10, 0, ""},
        {"socks 5: IPv4 granted", ParseSocks5Reply, Hex("050000017f0000011f90"), D, 10, 0, ""},
        {"socks 5: name granted", ParseSocks5Reply, Hex("0500000304686f7374" "0050"), D, 11, 0, ""},
        {"socks 5: long name still arriving", ParseSocks5Reply, Hex("05000003ff6161"), I, 262, 0, ""},
        {"socks 5: IPv6 bound address", ParseSocks5Reply, Hex("0500000400000000"), F, 0, 20011, "address type not supported"},
        {"socks 5: unknown address type", ParseSocks5Reply, Hex("0500000900"), F, 0, 20011, "address type not supported"},
        {"socks 5: server failure", ParseSocks5Reply, Hex("0501"), F, 0, 20004, "general SOCKS server failure"},
        {"socks 5: ruleset", ParseSocks5Reply, Hex("0502"), F, 0, 20005, "connection not allowed by ruleset"},
        {"socks 5: network", ParseSocks5Reply, Hex("0503"), F, 0, 20006, "network unreachable"},
        {"socks 5: host", ParseSocks5Reply, Hex("0504"), F, 0, 20007, "host unreachable"},
        {"socks 5: refused", ParseSocks5Reply, Hex("050500010000000000"), F, 0, 20008, "connection refused"},
        {"socks 5: ttl", ParseSocks5Reply, Hex("0506"), F, 0, 20009, "time to live expired"},
        {"socks 5: command", ParseSocks5Reply, Hex("0507"), F, 0, 20010, "command not supported"},
        {"socks 5: address type", ParseSocks5Reply, Hex("0508"), F, 0, 20011, "address type not supported"},
        {"socks 5: unassigned code", ParseSocks5Reply, Hex("05ff"), F, 0, 20012, "unassigned error #255"},
        {"socks 5: wrong version seen at once", ParseSocks5Reply, Hex("04"), F, 0, 20002, "socks version error"},
    };
    for (const TReplyCase &c : cases)
        Check(c);
}

TEST(SocksReplyTest, BoundAddressAndPort)
{
    const TSocksReply ipv4 = ParseSocks5Reply(Hex("05000001c0a800071f90"));
    ASSERT_EQ(ipv4.Status, TSocksReply::Done);
    EXPECT_EQ(ipv4.BoundAddr, "192.168.0.7");
    EXPECT_EQ(ipv4.BoundPort, "8080");

    const TSocksReply name = ParseSocks5Reply(Hex("0500000304686f7374ffff"));
    ASSERT_EQ(name.Status, TSocksReply::Done);
    EXPECT_EQ(name.BoundAddr, "host");
    EXPECT_EQ(name.BoundPort, "65535");

    const TSocksReply empty = ParseSocks5Reply(Hex("05000003000001"));
    ASSERT_EQ(empty.Status, TSocksReply::Done);
    EXPECT_EQ(empty.Length, 7);
    EXPECT_EQ(empty.BoundAddr, "");
    EXPECT_EQ(empty.BoundPort, "1");

    // The longest reply the protocol allows completes, and data behind it is no part of it.
    QByteArray longest = Hex("05000003ff");
    longest.append(QByteArray(255, 'n'));
    longest.append(Hex("0016"));
    longest.append("GET / HTTP/1.0");
    const TSocksReply big = ParseSocks5Reply(longest);
    ASSERT_EQ(big.Status, TSocksReply::Done);
    EXPECT_EQ(big.Length, LongestReply);
    EXPECT_EQ(big.BoundAddr, QString(255, 'n'));
    EXPECT_EQ(big.BoundPort, "22");
}

// Every reply cut short at any offset is incomplete, and says it needs more than it has.
TEST(SocksReplyTest, EveryTruncationIsIncomplete)
{
    QByteArray longName = Hex("050000038c");
    longName.append(QByteArray(0x8c, 'x'));
    longName.append(Hex("0050"));
    const struct
    {
        const char *name;
        TParser parse;
        QByteArray whole;
    } cases[] = {
        {"method", ParseMethodReply, Hex("0502")},
        {"login", ParseAuthenticationReply, Hex("0100")},
        {"socks 4", ParseSocks4Reply, Hex("005a1f90c0a80001")},
        {"socks 5 IPv4", ParseSocks5Reply, Hex("050000017f0000010050")},
        {"socks 5 name", ParseSocks5Reply, Hex("0500000309" "6c6f63616c686f7374" "1f90")},
        {"socks 5 name longer than 128 bytes", ParseSocks5Reply, longName},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        for (int cut = 0; cut < c.whole.size(); ++cut) {
            SCOPED_TRACE(cut);
            const TSocksReply reply = c.parse(c.whole.left(cut));
            EXPECT_EQ(reply.Status, TSocksReply::Incomplete);
            EXPECT_GT(reply.Length, cut);
            EXPECT_LE(reply.Length, c.whole.size());
        }
        const TSocksReply done = c.parse(c.whole);
        EXPECT_EQ(done.Status, TSocksReply::Done);
        EXPECT_EQ(done.Length, c.whole.size());
    }
}

}  // namespace
