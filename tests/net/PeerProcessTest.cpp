// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the peer programs of the network tests come up on 127.0.0.1, and TCustomWSocket talks to them.
#include "PeerProcess.h"

#include "net/WSocket.h"
#include "support/Needs.h"

#include <gtest/gtest.h>

#include <QTest>

namespace {

// A raw exchange over TCustomWSocket: sends request on connection, collects until the peer closes
// (or until enough bytes when want > 0).
struct TRawExchange {
    TCustomWSocket Socket;
    QByteArray Reply;
    int Connected = -1;
    bool Closed = false;

    TRawExchange(quint16 port, const QByteArray &request)
    {
        Socket.OnSessionConnected = [this, request](QObject *, quint16 e) {
            Connected = e;
            if (e == 0)
                Socket.SendText(request);
        };
        Socket.OnDataAvailable = [this](QObject *, quint16) { Reply += Socket.ReceiveText(); };
        Socket.OnSessionClosed = [this](QObject *, quint16) { Closed = true; };
        Socket.SetAddr("127.0.0.1");
        Socket.SetPort(QString::number(port));
        Socket.Connect();
    }
    [[nodiscard]] bool WaitClosed(int timeoutMs = 15000)
    {
        return QTest::qWaitFor([this] { return Closed; }, timeoutMs);
    }
    [[nodiscard]] bool WaitBytes(int count, int timeoutMs = 15000)
    {
        return QTest::qWaitFor([this, count] { return Reply.size() >= count || Closed; }, timeoutMs) && Reply.size() >= count;
    }
};

#define START_OR_SKIP(call, peer)                                                                        \
    do {                                                                                                 \
        if (!(call)) {                                                                                   \
            if ((peer).Missing())                                                                        \
                VASKIMO_MISSING((peer).Why());                                                           \
            FAIL() << (peer).Why().toStdString();                                                        \
        }                                                                                                \
    } while (false)

QByteArray Body(const QByteArray &reply)
{
    const int at = int(reply.indexOf("\r\n\r\n"));
    return at < 0 ? QByteArray() : reply.mid(at + 4);
}

} // namespace

TEST(PeerProcessTest, NginxServesAFileToARawSocket)
{
    TestPeers::TPeerProcess nginx;
    QByteArray big(1024 * 1024 + 3, '\0');
    for (int i = 0; i < big.size(); ++i)
        big[i] = char(i % 253);
    ASSERT_TRUE(nginx.WriteFile("html/small.txt", "Hello from nginx\n"));
    ASSERT_TRUE(nginx.WriteFile("html/big.bin", big));
    START_OR_SKIP(TestPeers::StartNginx(nginx), nginx);

    const struct {
        const char *name;
        const char *path;
        QByteArray body;
    } cases[] = {
        {"small file", "/small.txt", "Hello from nginx\n"},
        {"large file", "/big.bin", big},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TRawExchange x(nginx.Port(), QByteArray("GET ") + c.path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
        ASSERT_TRUE(x.WaitClosed()) << nginx.Output().toStdString();
        EXPECT_EQ(x.Connected, 0);
        EXPECT_TRUE(x.Reply.startsWith("HTTP/1.1 200 OK\r\n")) << x.Reply.left(200).constData();
        EXPECT_TRUE(x.Reply.contains("Content-Length: " + QByteArray::number(c.body.size()) + "\r\n"));
        EXPECT_TRUE(Body(x.Reply) == c.body);
    }
    TRawExchange missing(nginx.Port(), "GET /none.txt HTTP/1.0\r\n\r\n");
    ASSERT_TRUE(missing.WaitClosed());
    EXPECT_TRUE(missing.Reply.startsWith("HTTP/1.1 404 ")) << missing.Reply.left(100).constData();

    nginx.Stop();
    EXPECT_FALSE(nginx.Running());
    EXPECT_FALSE(TestPeers::Accepts(nginx.Port()));
}

TEST(PeerProcessTest, HttpProxiesRelayToNginx)
{
    TestPeers::TPeerProcess nginx;
    ASSERT_TRUE(nginx.WriteFile("html/p.txt", "through the proxy"));
    START_OR_SKIP(TestPeers::StartNginx(nginx), nginx);
    const QByteArray request = "GET http://127.0.0.1:" + nginx.PortText().toLatin1() + "/p.txt HTTP/1.0\r\n\r\n";
    for (const char *name : {"tinyproxy", "squid"}) {
        SCOPED_TRACE(name);
        TestPeers::TPeerProcess proxy;
        const bool started = QByteArray(name) == "tinyproxy" ? TestPeers::StartTinyproxy(proxy) : TestPeers::StartSquid(proxy);
        if (!started) {
            if (proxy.Missing())
                continue;
            ADD_FAILURE() << proxy.Why().toStdString();
            continue;
        }
        TRawExchange x(proxy.Port(), request);
        ASSERT_TRUE(x.WaitClosed()) << proxy.Output().toStdString();
        EXPECT_TRUE(x.Reply.startsWith("HTTP/1.")) << x.Reply.left(200).constData();
        EXPECT_TRUE(x.Reply.contains(" 200 ")) << x.Reply.left(200).constData();
        EXPECT_EQ(Body(x.Reply), "through the proxy");
    }
}

TEST(PeerProcessTest, TinyproxyAsksForBasicAuthentication)
{
    TestPeers::TPeerProcess proxy;
    START_OR_SKIP(TestPeers::StartTinyproxy(proxy, "user", "secret"), proxy);
    TRawExchange x(proxy.Port(), "GET http://127.0.0.1:1/ HTTP/1.0\r\n\r\n");
    ASSERT_TRUE(x.WaitClosed());
    EXPECT_TRUE(x.Reply.startsWith("HTTP/1.0 407 ")) << x.Reply.left(200).constData();
}

TEST(PeerProcessTest, SocksServersAnswerTheMethodOffer)
{
    const struct {
        const char *name;
        bool (*start)(TestPeers::TPeerProcess &);
        QByteArray offer;
        QByteArray answer;
    } cases[] = {
        {"danted, no authentication", [](TestPeers::TPeerProcess &p) { return TestPeers::StartDanted(p); },
         QByteArray("\x05\x01\x00", 3), QByteArray("\x05\x00", 2)},
        {"microsocks, no authentication", [](TestPeers::TPeerProcess &p) { return TestPeers::StartMicrosocks(p); },
         QByteArray("\x05\x01\x00", 3), QByteArray("\x05\x00", 2)},
        {"microsocks, user and password",
         [](TestPeers::TPeerProcess &p) { return TestPeers::StartMicrosocks(p, "user", "secret"); },
         QByteArray("\x05\x01\x02", 3), QByteArray("\x05\x02", 2)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TestPeers::TPeerProcess peer;
        if (!c.start(peer)) {
            if (!peer.Missing())
                ADD_FAILURE() << peer.Why().toStdString();
            continue;
        }
        TRawExchange x(peer.Port(), c.offer);
        ASSERT_TRUE(x.WaitBytes(2)) << peer.Output().toStdString();
        EXPECT_EQ(x.Reply.toHex(), c.answer.toHex());
    }
}
