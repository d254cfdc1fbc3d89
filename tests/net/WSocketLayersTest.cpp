// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: tests of the socket layers on 127.0.0.1: line mode over every split of a stream, line limit,
// editing, the synchronous wait, SOCKS property rules and handshakes against scripted proxies.
#include "net/WSocketLayers.h"

#include "LayersPeers.h"
#include "PostedMessages.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <mutex>

using namespace LayersPeers;

namespace {

// A TWSocket with a record of what it delivered.
struct TClient
{
    TWSocket Socket;
    QList<QByteArray> Reads;  // one entry per data event that read something
    QStringList Events;
    int Connected = -1;
    int Closed = -1;

    TClient()
    {
        Socket.OnDataAvailable = [this](QObject *, quint16) {
            const QByteArray text = Socket.ReceiveText();
            if (!text.isEmpty())
                Reads << text;
        };
        Socket.OnSessionConnected = [this](QObject *, quint16 error) {
            Connected = error;
            Events << QStringLiteral("connected %1").arg(error);
        };
        Socket.OnSessionClosed = [this](QObject *, quint16 error) {
            Closed = error;
            Events << QStringLiteral("closed %1").arg(error);
        };
    }
    int Received() const
    {
        int total = 0;
        for (const QByteArray &r : Reads)
            total += int(r.size());
        return total;
    }
    QByteArray All() const { return Reads.join(); }
    // Connects to the listener and returns the peer's end.
    int ConnectTo(TListener &listener)
    {
        Socket.SetAddr("127.0.0.1");
        Socket.SetPort(listener.PortText());
        Socket.Connect();
        const int fd = listener.Accept();
        EXPECT_GE(fd, 0);
        EXPECT_TRUE(QTest::qWaitFor([&] { return Connected == 0; }, 5000));
        return fd;
    }
    [[nodiscard]] bool WaitReceived(int count) const
    {
        return QTest::qWaitFor([&] { return Received() + Socket.HeldCount() >= count; }, 5000);
    }
    [[nodiscard]] bool WaitClosed() const
    {
        return QTest::qWaitFor([&] { return Closed >= 0; }, 5000);
    }
};

// ---- Line mode -------------------------------------------------------------------------------

TEST(LineModeTest, EverySplitOfTheStreamGivesTheSameLines)
{
    const struct
    {
        const char *name;
        QByteArray end;
    } ends[] = {{"CR LF", "\r\n"}, {"LF", "\n"}, {"five-byte end", "<END>"}};
    for (const auto &e : ends) {
        SCOPED_TRACE(e.name);
        // An empty line, a lone CR inside a line, a lone part of the end marker, and a last line that
        // only the close ends.
        const QList<QByteArray> lines = {"alpha" + e.end, "be\rta" + e.end, e.end,
                                         "ga" + e.end.left(e.end.size() - 1) + "mma" + e.end, "last"};
        const QByteArray stream = lines.join();
        for (int cut = 0; cut <= stream.size(); ++cut) {
            SCOPED_TRACE(cut);
            TListener listener;
            TClient client;
            client.Socket.SetLineMode(true);
            client.Socket.SetLineEnd(e.end);
            const int peer = client.ConnectTo(listener);
            ASSERT_GE(peer, 0);
            if (cut > 0) {
                ASSERT_TRUE(WriteAll(peer, stream.left(cut)));
                ASSERT_TRUE(client.WaitReceived(cut));
            }
            ASSERT_TRUE(WriteAll(peer, stream.mid(cut)));
            ASSERT_TRUE(client.WaitReceived(int(stream.size())));
            ::close(peer);
            ASSERT_TRUE(client.WaitClosed());
            EXPECT_EQ(client.Reads, lines);
        }
    }
}

TEST(LineModeTest, OneByteAtATime)
{
    const QByteArray stream = "GET / HTTP/1.0\r\nHost: a\r\n\r\n";
    TListener listener;
    TClient client;
    client.Socket.SetLineMode(true);
    const int peer = client.ConnectTo(listener);
    for (int i = 0; i < stream.size(); ++i) {
        ASSERT_TRUE(WriteAll(peer, stream.mid(i, 1)));
        ASSERT_TRUE(client.WaitReceived(i + 1));
    }
    EXPECT_EQ(client.Reads, (QList<QByteArray>{"GET / HTTP/1.0\r\n", "Host: a\r\n", "\r\n"}));
    ::close(peer);
}

TEST(LineModeTest, LineLimit)
{
    const struct
    {
        const char *name;
        QByteArray first;
        bool clear;
        QList<int> limitCounts;
        QList<QByteArray> lines;
    } cases[] = {
        {"at the limit nothing happens", "0123456789", true, {}, {"0123456789xy\r\n"}},
        {"one above, cleared", "0123456789A", true, {11}, {"xy\r\n"}},
        {"one above, kept", "0123456789A", false, {11}, {"0123456789Axy\r\n"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TListener listener;
        TClient client;
        QList<int> counts;
        client.Socket.SetLineMode(true);
        client.Socket.SetLineLimit(10);
        client.Socket.OnLineLimitExceeded = [&](QObject *, int count, bool &clearData) {
            EXPECT_TRUE(clearData) << "ClearData starts True";
            counts << count;
            clearData = c.clear;
        };
        const int peer = client.ConnectTo(listener);
        ASSERT_TRUE(WriteAll(peer, c.first));
        ASSERT_TRUE(QTest::qWaitFor([&] { return client.Socket.HeldCount() == c.first.size() || !counts.isEmpty(); },
                                    5000));
        EXPECT_EQ(client.Socket.HeldCount(), c.clear && !counts.isEmpty() ? 0 : c.first.size());
        ASSERT_TRUE(WriteAll(peer, "xy\r\n"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !client.Reads.isEmpty(); }, 5000));
        EXPECT_EQ(client.Reads, c.lines);
        EXPECT_EQ(counts, c.limitCounts);
        ::close(peer);
    }
}

TEST(LineModeTest, LongLinesArriveWholeAndTheDefaultLimitHolds)
{
    TListener listener;
    TClient client;
    client.Socket.SetLineMode(true);
    client.Socket.SetLineLimit(0);  // no limit
    const int peer = client.ConnectTo(listener);
    QByteArray big(300000, 'x');
    for (int i = 0; i < big.size(); i += 997)
        big[i] = char('a' + i % 26);
    ASSERT_TRUE(WriteAll(peer, big + "\r\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !client.Reads.isEmpty(); }, 10000));
    EXPECT_TRUE(client.Reads.first() == big + "\r\n");
    ::close(peer);

    TListener listener2;
    TClient limited;
    int exceeded = 0;
    limited.Socket.SetLineMode(true);
    EXPECT_EQ(limited.Socket.LineLimit(), 65536);
    limited.Socket.OnLineLimitExceeded = [&](QObject *, int count, bool &) {
        EXPECT_GT(count, 65536);
        ++exceeded;
    };
    const int peer2 = limited.ConnectTo(listener2);
    ASSERT_TRUE(WriteAll(peer2, QByteArray(70000, 'y')));
    ASSERT_TRUE(QTest::qWaitFor([&] { return exceeded > 0; }, 10000));
    // The end of the line comes behind every byte: the line it ends holds only what followed the drop.
    ASSERT_TRUE(WriteAll(peer2, "\r\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !limited.Reads.isEmpty(); }, 10000));
    EXPECT_EQ(exceeded, 1);
    EXPECT_EQ(limited.Reads.size(), 1);
    EXPECT_LT(limited.Reads.first().size(), 70000 - 65536 + 2) << "the held bytes were dropped";
    ::close(peer2);
}

// Line mode on; the line "one" switches it off, and raw bytes are read only while takeRaw is set.
void SwitchOffAfterLineOne(TClient &client, const bool &takeRaw)
{
    client.Socket.SetLineMode(true);
    client.Socket.OnDataAvailable = [&client, &takeRaw](QObject *, quint16) {
        if (!client.Socket.LineMode() && !takeRaw)
            return;  // not reading now: the bytes stay held
        const QByteArray text = client.Socket.ReceiveText();
        if (!text.isEmpty())
            client.Reads << text;
        if (text == "one\r\n")
            client.Socket.SetLineMode(false);
    };
}

TEST(LineModeTest, SwitchingLineModeOffAndOnKeepsTheOrder)
{
    TListener listener;
    TClient client;
    bool takeRaw = false;
    SwitchOffAfterLineOne(client, takeRaw);
    const int peer = client.ConnectTo(listener);
    ASSERT_TRUE(WriteAll(peer, "one\r\ntwo\r\nthree\r\nfou"));
    ASSERT_TRUE(client.WaitReceived(20));
    EXPECT_EQ(client.Reads, QList<QByteArray>{"one\r\n"});
    EXPECT_EQ(client.Socket.HeldCount(), 15);
    EXPECT_EQ(client.Socket.RcvdCount(), 15) << "with line mode off the held bytes count";

    // Back in line mode, the held bytes are searched from their start: two lines, not one.
    client.Socket.SetLineMode(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.Reads.size() == 3; }, 5000));
    EXPECT_EQ(client.Reads, (QList<QByteArray>{"one\r\n", "two\r\n", "three\r\n"}));
    EXPECT_EQ(client.Socket.HeldCount(), 3);

    // Off again: the partial line comes raw, before what follows it.
    takeRaw = true;
    client.Socket.SetLineMode(false);
    ASSERT_TRUE(WriteAll(peer, "r\r\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.All().endsWith("four\r\n"); }, 5000));
    EXPECT_EQ(client.All(), "one\r\ntwo\r\nthree\r\nfour\r\n");
    ::close(peer);
}

TEST(LineModeTest, RawReadOfHeldBytesAlsoTakesWhatWaitsInTheSocket)
{
    TListener listener;
    TClient client;
    bool takeRaw = false;
    SwitchOffAfterLineOne(client, takeRaw);
    const int peer = client.ConnectTo(listener);
    ASSERT_TRUE(WriteAll(peer, "one\r\ntwo"));
    ASSERT_TRUE(client.WaitReceived(8));
    ASSERT_TRUE(AllPostedMessagesHandled()) << "the switch's own re-delivery";
    ASSERT_EQ(client.Socket.HeldCount(), 3);
    takeRaw = true;
    ASSERT_TRUE(WriteAll(peer, "three"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.All() == "one\r\ntwothree"; }, 3000)) << client.All().toStdString();
    ASSERT_TRUE(WriteAll(peer, "four"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.All().endsWith("four"); }, 3000));
    ::close(peer);
}

TEST(LineModeTest, AHandlerThatReadsNothingDoesNotHang)
{
    TListener listener;
    TClient client;
    int calls = 0;
    client.Socket.SetLineMode(true);
    client.Socket.OnDataAvailable = [&](QObject *, quint16) { ++calls; };
    const int peer = client.ConnectTo(listener);
    ASSERT_TRUE(WriteAll(peer, "first\r\nsecond\r\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return calls > 0; }, 5000));
    ASSERT_TRUE(AllPostedMessagesHandled());
    EXPECT_LT(calls, 10);
    EXPECT_EQ(client.Socket.RcvdCount(), 7) << "the line stays pending";
    EXPECT_EQ(client.Socket.ReceiveText(), "first\r\n");
    ::close(peer);
}

TEST(LineModeTest, NoHandlerDropsLines)
{
    TListener listener;
    TClient client;
    client.Socket.OnDataAvailable = nullptr;
    client.Socket.SetLineMode(true);
    const int peer = client.ConnectTo(listener);
    ASSERT_TRUE(WriteAll(peer, "a\r\nb\r\npartial"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.Socket.HeldCount() == 7; }, 5000));
    ::close(peer);
    ASSERT_TRUE(client.WaitClosed());
    EXPECT_EQ(client.Socket.HeldCount(), 0);
}

TEST(LineModeTest, EditingAndEcho)
{
    TListener listener;
    TClient client;
    client.Socket.SetLineMode(true);
    client.Socket.SetLineEdit(true);
    client.Socket.SetLineEcho(true);
    const int peer = client.ConnectTo(listener);
    ASSERT_TRUE(WriteAll(peer, "ab\bc\td\r\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !client.Reads.isEmpty(); }, 5000));
    EXPECT_EQ(client.Reads.first(), "ac      d\r\n");
    EXPECT_EQ(Shown(ReadExactly(peer, 15)), Shown("ab\b \bc      d\r\n"));

    // A backspace in a later read takes back a held byte; one with nothing before it does nothing.
    ASSERT_TRUE(WriteAll(peer, "\bxy"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.Socket.HeldCount() == 2; }, 5000));
    ASSERT_TRUE(WriteAll(peer, "\bz\r\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.Reads.size() == 2; }, 5000));
    EXPECT_EQ(client.Reads.at(1), "xz\r\n");
    EXPECT_EQ(Shown(ReadExactly(peer, 8)), Shown("xy\b \bz\r\n"));
    ::close(peer);
}

TEST(LineModeTest, EchoWithoutEditingSendsTheBytesBack)
{
    TListener listener;
    TClient client;
    client.Socket.SetLineMode(true);
    client.Socket.SetLineEcho(true);
    const int peer = client.ConnectTo(listener);
    ASSERT_TRUE(WriteAll(peer, "a\bb\r\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !client.Reads.isEmpty(); }, 5000));
    EXPECT_EQ(client.Reads.first(), "a\bb\r\n");
    EXPECT_EQ(Shown(ReadExactly(peer, 5)), Shown("a\bb\r\n"));
    ::close(peer);
}

TEST(LineModeTest, SendTextLine)
{
    TListener listener;
    TClient client;
    const int peer = client.ConnectTo(listener);
    EXPECT_EQ(client.Socket.SendTextLine(""), 0);
    EXPECT_EQ(client.Socket.SendTextLine("abc"), 5);
    client.Socket.SetLineEnd("\n");
    EXPECT_EQ(client.Socket.SendTextLine("de"), 3);
    client.Socket.SetLineEnd("");
    EXPECT_EQ(client.Socket.SendTextLine("f"), 1);
    client.Socket.Close();
    QByteArray sent;
    EXPECT_TRUE(ReadUntilClosed(peer, &sent));
    EXPECT_EQ(sent, "abc\r\nde\nf");
    ::close(peer);
}

// ---- Synchronous wait ----------------------------------------------------------------------------

struct TTimedSocket : TWSocket
{
    void SetTimeout(int ms) { FTimeout = ms; }
};

TEST(SyncWaitTest, FlagTimeOutAndTermination)
{
    TTimedSocket socket;
    bool done = true;
    EXPECT_EQ(socket.WaitForFlag(done), 0) << "a flag already set returns at once";

    done = false;
    QTimer::singleShot(20, [&] { done = true; });
    EXPECT_EQ(socket.WaitForFlag(done), 0);

    socket.SetTimeout(60);
    done = false;
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(socket.WaitForFlag(done), 12001);
    EXPECT_GE(clock.elapsed(), 60);
    EXPECT_LT(clock.elapsed(), 3000);

    socket.SetTimeout(0);
    socket.SetTerminated(true);
    EXPECT_EQ(socket.WaitForFlag(done), 12001);
    socket.SetTerminated(false);

    // RunAndWait clears the flag before it runs the procedure.
    done = true;
    bool ran = false;
    const int result = socket.RunAndWait(
        [&] {
            ran = true;
            EXPECT_FALSE(done);
            QTimer::singleShot(10, [&] { done = true; });
        },
        done);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(ran);
}

TEST(SyncWaitTest, WaitsForTheConnection)
{
    TListener listener;
    TTimedSocket socket;
    bool connected = false;
    socket.OnSessionConnected = [&](QObject *, quint16 error) {
        EXPECT_EQ(error, 0);
        connected = true;
    };
    socket.SetTimeout(5000);
    socket.SetAddr("127.0.0.1");
    socket.SetPort(listener.PortText());
    EXPECT_EQ(socket.RunAndWait([&] { socket.Connect(); }, connected), 0);
    const int peer = listener.Accept();
    EXPECT_GE(peer, 0);
    ::close(peer);
}

// ---- SOCKS properties ------------------------------------------------------------------------------

QString RaisedText(const std::function<void()> &call)
{
    try {
        call();
    } catch (const ESocketException &e) {
        return e.Message();
    }
    return {};
}

TEST(SocksPropertyTest, LevelServerAndPortRules)
{
    TWSocket socket;
    EXPECT_EQ(socket.SocksLevel(), "5");
    socket.SetSocksLevel("4a");
    EXPECT_EQ(socket.SocksLevel(), "4A");
    EXPECT_EQ(RaisedText([&] { socket.SetSocksLevel("6"); }), "Invalid socks level. Must be 4, 4A or 5.");
    EXPECT_EQ(RaisedText([&] { socket.SetSocksLevel("4b"); }), "Invalid socks level. Must be 4, 4A or 5.");
    EXPECT_EQ(socket.SocksLevel(), "4A");
    socket.SetSocksServer("  127.0.0.1 ");
    EXPECT_EQ(socket.SocksServer(), "127.0.0.1");
    socket.SetSocksPort(" 1080 ");
    EXPECT_EQ(socket.SocksPort(), "1080");

    EXPECT_EQ(RaisedText([&] { socket.Listen(); }), "Listening is not supported thru socks server");
    socket.SetProto("udp");
    socket.SetAddr("127.0.0.1");
    socket.SetPort("80");
    EXPECT_EQ(RaisedText([&] { socket.Connect(); }), "tcp is the only protocol supported thru socks server");
}

TEST(SocksPropertyTest, ChangesRefusedWhileOpenAndResetByClose)
{
    TListener proxy;
    TWSocket socket;
    socket.SetSocksServer("127.0.0.1");
    socket.SetSocksPort(proxy.PortText());
    socket.SetSocksLevel("4");
    socket.SetAddr("127.0.0.1");
    socket.SetPort("80");
    socket.Connect();
    const int peer = proxy.Accept();
    ASSERT_GE(peer, 0);
    ASSERT_NE(socket.State(), wsClosed);
    EXPECT_EQ(RaisedText([&] { socket.SetSocksServer("x"); }), "Can't change socks server if not closed");
    EXPECT_EQ(RaisedText([&] { socket.SetSocksPort("1"); }), "Can't change socks port if not closed");
    EXPECT_EQ(RaisedText([&] { socket.SetSocksLevel("5"); }), "Can't change socks level if not closed");
    socket.Close();
    EXPECT_EQ(socket.SocksServer(), "");
    EXPECT_EQ(socket.SocksPort(), "");
    EXPECT_EQ(socket.SocksLevel(), "5");
    ::close(peer);
}

TEST(SocksPropertyTest, Socks5RefusesWhatItsLengthBytesCannotCarry)
{
    TWSocket socket;
    socket.SetSocksServer("127.0.0.1");
    socket.SetSocksPort("1080");
    socket.SetAddr(QString(256, 'h'));
    socket.SetPort("80");
    EXPECT_EQ(RaisedText([&] { socket.Connect(); }), "connect: host name too long for socks 5");
    EXPECT_EQ(socket.State(), wsClosed);

    socket.SetAddr("host");
    socket.SetSocksAuthentication(socksAuthenticateUsercode);
    socket.SetSocksUsercode(QString(256, 'u'));
    EXPECT_EQ(RaisedText([&] { socket.Connect(); }), "connect: socks user code or password too long");
}

// ---- SOCKS handshakes against scripted proxies -------------------------------------------------------

// A TClient that also records the SOCKS events.
struct TSocksClient : TClient
{
    QList<int> AuthStates;
    int SocksError = 0;
    QString SocksText;

    TSocksClient(const QString &level, quint16 proxyPort)
    {
        Socket.SetSocksLevel(level);
        Socket.SetSocksServer("127.0.0.1");
        Socket.SetSocksPort(QString::number(proxyPort));
        Socket.OnSocksConnected = [this](QObject *, quint16 error) { Events << QStringLiteral("proxy %1").arg(error); };
        Socket.OnSocksError = [this](QObject *, int error, const QString &text) {
            SocksError = error;
            SocksText = text;
            Events << QStringLiteral("socks error %1").arg(error);
        };
        Socket.OnSocksAuthState = [this](QObject *, TSocksAuthState state) {
            AuthStates << state;
            Events << QStringLiteral("auth %1").arg(int(state));
        };
    }
    void Start(const QString &addr, const QString &port)
    {
        Socket.SetAddr(addr);
        Socket.SetPort(port);
        Socket.Connect();
    }
};

// What the scripted proxy received, for the test thread to check afterwards.
struct TSeen
{
    std::mutex Lock;
    QList<QByteArray> Messages;
    void Add(const QByteArray &m)
    {
        std::lock_guard lock(Lock);
        Messages << m;
    }
    QList<QByteArray> Taken()
    {
        std::lock_guard lock(Lock);
        return Messages;
    }
};

TEST(SocksHandshakeTest, Socks5WithoutAuthenticationAndDataBehindTheReply)
{
    TSeen seen;
    TScriptedPeer proxy([&](int fd) {
        seen.Add(ReadExactly(fd, 3));
        WriteAll(fd, Hex("0500"));
        seen.Add(ReadExactly(fd, 7 + 9));
        WriteAll(fd, Hex("05000001c0a800071f90") + "hello");  // reply and the first data in one packet
        QByteArray rest;
        EXPECT_TRUE(ReadUntilClosed(fd, &rest));
        seen.Add(rest);
    });
    TSocksClient client("5", proxy.Port());
    client.Start("localhost", "8080");
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.Received() == 5; }, 5000));
    EXPECT_EQ(client.Events, (QStringList{"proxy 0", "connected 0"}));
    EXPECT_EQ(client.All(), "hello");
    EXPECT_EQ(client.Socket.SocksBoundAddr(), "192.168.0.7");
    EXPECT_EQ(client.Socket.SocksBoundPort(), "8080");
    client.Socket.SendText("after");
    client.Socket.Close();
    proxy.Join();
    const QList<QByteArray> messages = seen.Taken();
    ASSERT_EQ(messages.size(), 3);
    EXPECT_EQ(Shown(messages[0]), Shown(Hex("050100")));
    EXPECT_EQ(Shown(messages[1]), Shown(Hex("0501000309") + "localhost" + Hex("1f90")));
    EXPECT_EQ(messages[2], "after");
}

TEST(SocksHandshakeTest, Socks5UserCodeAndALongBoundNameInPieces)
{
    TSeen seen;
    TScriptedPeer proxy([&](int fd) {
        seen.Add(ReadExactly(fd, 3));
        WriteAll(fd, Hex("0502"));
        seen.Add(ReadExactly(fd, 3 + 3 + 6));
        WriteAll(fd, Hex("0100"));
        seen.Add(ReadExactly(fd, 7 + 9));
        // A bound name longer than 128 bytes, delivered in three pieces. The pauses only make separate
        // reads likely: the client gives no sign of a half-read reply to wait on, and pieces that
        // come together still make the whole reply the test expects.
        QByteArray reply = Hex("05000003c8") + QByteArray(200, 'n') + Hex("0050");
        WriteAll(fd, reply.left(3));
        ::usleep(20000);
        WriteAll(fd, reply.mid(3, 100));
        ::usleep(20000);
        WriteAll(fd, reply.mid(103));
        EXPECT_TRUE(ReadUntilClosed(fd));
    });
    TSocksClient client("5", proxy.Port());
    client.Socket.SetSocksAuthentication(socksAuthenticateUsercode);
    client.Socket.SetSocksUsercode("bob");
    client.Socket.SetSocksPassword("secret");
    client.Start("127.0.0.1", "80");
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.Connected >= 0; }, 5000));
    EXPECT_EQ(client.Connected, 0);
    EXPECT_EQ(client.AuthStates, (QList<int>{socksAuthStart, socksAuthSuccess}));
    EXPECT_EQ(client.Socket.SocksBoundAddr(), QString(200, 'n'));
    EXPECT_EQ(client.Socket.SocksBoundPort(), "80");
    client.Socket.Close();
    proxy.Join();
    const QList<QByteArray> messages = seen.Taken();
    ASSERT_EQ(messages.size(), 3);
    EXPECT_EQ(Shown(messages[0]), Shown(Hex("050102")));
    EXPECT_EQ(Shown(messages[1]), Shown(Hex("0103") + "bob" + Hex("06") + "secret"));
    EXPECT_EQ(Shown(messages[2]), Shown(Hex("0501000309") + "127.0.0.1" + Hex("0050")));
}

TEST(SocksHandshakeTest, Socks4And4ARequests)
{
    const struct
    {
        const char *name;
        const char *level;
        QByteArray expected;
    } cases[] = {
        {"socks 4 sends the resolved address", "4", Hex("040101bb7f000001") + "bob" + Hex("00")},
        {"socks 4A sends the name", "4A", Hex("040101bb00000001") + "bob" + Hex("00") + "localhost" + Hex("00")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TSeen seen;
        TScriptedPeer proxy([&](int fd) {
            seen.Add(ReadExactly(fd, int(c.expected.size())));
            WriteAll(fd, Hex("005a000000000000") + "data");
            EXPECT_TRUE(ReadUntilClosed(fd));
        });
        TSocksClient client(c.level, proxy.Port());
        client.Socket.SetSocksUsercode("bob");
        client.Start(c.level == QByteArray("4") ? "127.0.0.1" : "localhost", "443");
        ASSERT_TRUE(QTest::qWaitFor([&] { return client.Received() == 4; }, 5000));
        EXPECT_EQ(client.Events, (QStringList{"proxy 0", "connected 0"}));
        EXPECT_EQ(client.All(), "data");
        client.Socket.Close();
        proxy.Join();
        ASSERT_EQ(seen.Taken().size(), 1);
        EXPECT_EQ(Shown(seen.Taken().first()), Shown(c.expected));
    }
}

TEST(SocksHandshakeTest, FailuresEndWithTheErrorThenTheClose)
{
    const struct
    {
        const char *name;
        const char *level;
        bool login;
        QByteArray firstReply;   // answer to the method offer (or to the socks 4 request)
        QByteArray secondReply;  // answer to the next message, if any
        int error;
        const char *text;
        QList<int> authStates;
    } cases[] = {
        {"no acceptable method", "5", false, Hex("05ff"), {}, 20003, "authentification method not acceptable", {}},
        {"socks 4 answer to socks 5", "5", false, Hex("0400"), {}, 20002, "socks version error", {}},
        {"login refused", "5", true, Hex("0502"), Hex("0101"), 20015, "socks authentication failed",
         {socksAuthStart, socksAuthFailure}},
        {"login reply says too much", "5", true, Hex("0502"), Hex("010000"), 20001, "too much data availaible",
         {socksAuthStart, socksAuthFailure}},
        {"connection refused", "5", false, Hex("0500"), Hex("05050001000000000000"), 20008, "connection refused", {}},
        {"IPv6 bound address", "5", false, Hex("0500"), Hex("0500000400000000000000000000000000000000"), 20011,
         "address type not supported", {}},
        {"unassigned code", "5", false, Hex("0500"), Hex("0509"), 20012, "unassigned error #9", {}},
        {"socks 4 rejected", "4", false, Hex("005b000000000000"), {}, 20016, "request rejected or failed", {}},
        {"socks 4 unknown code", "4", false, Hex("0001000000000000"), {}, 20012, "unassigned error #1", {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TScriptedPeer proxy([&](int fd) {
            const int first = QByteArray(c.level) == "4" ? 9 : 3;  // the socks 4 request, or the method offer
            EXPECT_EQ(ReadExactly(fd, first).size(), first);
            WriteAll(fd, c.firstReply);
            if (!c.secondReply.isEmpty()) {
                const int second = c.login ? 5 : 16;  // the login, or the connect request
                EXPECT_EQ(ReadExactly(fd, second).size(), second);
                WriteAll(fd, c.secondReply);
            }
            EXPECT_TRUE(ReadUntilClosed(fd));
        });
        TSocksClient client(c.level, proxy.Port());
        if (c.login) {
            client.Socket.SetSocksAuthentication(socksAuthenticateUsercode);
            client.Socket.SetSocksUsercode("u");
            client.Socket.SetSocksPassword("p");
        }
        client.Start("127.0.0.1", "80");
        ASSERT_TRUE(client.WaitClosed());
        EXPECT_EQ(client.SocksError, c.error);
        EXPECT_EQ(client.SocksText.toStdString(), c.text);
        const QString error = QString::number(c.error);
        QStringList expected{"proxy 0"};
        for (int state : c.authStates)
            expected << QStringLiteral("auth %1").arg(state);
        expected << "socks error " + error << "connected " + error << "closed " + error;
        EXPECT_EQ(client.Events, expected);
        EXPECT_EQ(client.Socket.State(), wsClosed);
        proxy.Join();
    }
}

TEST(SocksHandshakeTest, Socks4HostThatDoesNotResolve)
{
    TScriptedPeer proxy([&](int fd) { EXPECT_TRUE(ReadUntilClosed(fd)); });
    TSocksClient client("4", proxy.Port());
    client.Start(QString(300, 'a'), "80");  // too long to be a host name: fails without a look-up
    ASSERT_TRUE(client.WaitClosed());
    EXPECT_EQ(client.SocksError, 20017);
    EXPECT_TRUE(client.SocksText.startsWith("ESocketException WSocketResolveHost: '")) << client.SocksText.toStdString();
    EXPECT_EQ(client.Connected, 20017);
}

TEST(SocksHandshakeTest, ProxyThatIsNotThere)
{
    TSocksClient client("5", FreePort());
    client.Start("127.0.0.1", "80");
    ASSERT_TRUE(client.WaitClosed());
    EXPECT_EQ(client.Events, (QStringList{"proxy 10061", "connected 10061", "closed 0"}));
    EXPECT_EQ(client.SocksError, 0) << "no handshake ran";
}

TEST(SocksHandshakeTest, ProxyClosingMidReplyNeverConnects)
{
    TScriptedPeer proxy([&](int fd) {
        ReadExactly(fd, 3);
        WriteAll(fd, Hex("0500"));
        EXPECT_EQ(ReadExactly(fd, 16).size(), 16);
        WriteAll(fd, Hex("05000001c0a8"));  // six of ten bytes, then gone
    });
    TSocksClient client("5", proxy.Port());
    client.Start("127.0.0.1", "80");
    ASSERT_TRUE(client.WaitClosed());
    EXPECT_EQ(client.Events, (QStringList{"proxy 0", "closed 0"}));
}

TEST(SocksHandshakeTest, ProxyClosingDuringLoginReportsAuthFailure)
{
    TScriptedPeer proxy([&](int fd) {
        ReadExactly(fd, 3);
        WriteAll(fd, Hex("0502"));
        ReadExactly(fd, 5);
    });
    TSocksClient client("5", proxy.Port());
    client.Socket.SetSocksAuthentication(socksAuthenticateUsercode);
    client.Socket.SetSocksUsercode("u");
    client.Socket.SetSocksPassword("p");
    client.Start("127.0.0.1", "80");
    ASSERT_TRUE(client.WaitClosed());
    EXPECT_EQ(client.AuthStates, (QList<int>{socksAuthStart, socksAuthFailure}));
    EXPECT_EQ(client.Events.last(), "closed 0");
}

TEST(SocksHandshakeTest, ProxyThatDoesNotAskForTheLoginWeOffered)
{
    TScriptedPeer proxy([&](int fd) {
        ReadExactly(fd, 3);
        WriteAll(fd, Hex("0500"));
        ReadExactly(fd, 7 + 9);
        WriteAll(fd, Hex("05000001000000000000"));
        EXPECT_TRUE(ReadUntilClosed(fd));
    });
    TSocksClient client("5", proxy.Port());
    client.Socket.SetSocksAuthentication(socksAuthenticateUsercode);
    client.Start("127.0.0.1", "80");
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.Connected >= 0; }, 5000));
    EXPECT_EQ(client.Connected, 0);
    EXPECT_EQ(client.AuthStates, QList<int>{socksAuthNotRequired});
    client.Socket.Close();
}

TEST(SocksHandshakeTest, LineModeSeesTheLinesBehindTheReply)
{
    TScriptedPeer proxy([&](int fd) {
        ReadExactly(fd, 3);
        WriteAll(fd, Hex("0500"));
        ReadExactly(fd, 7 + 9);
        WriteAll(fd, Hex("05000001000000000000") + "one\r\ntwo\r\nthr");
        ::usleep(20000);  // likely read apart from the first lines; read together they make the same three
        WriteAll(fd, "ee\r\n");
        EXPECT_TRUE(ReadUntilClosed(fd));
    });
    TSocksClient client("5", proxy.Port());
    client.Socket.SetLineMode(true);
    client.Start("127.0.0.1", "80");
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.Reads.size() == 3; }, 5000));
    EXPECT_EQ(client.Reads, (QList<QByteArray>{"one\r\n", "two\r\n", "three\r\n"}));
    client.Socket.Close();
}

}  // namespace
