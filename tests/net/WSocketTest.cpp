// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: tests of TCustomWSocket on 127.0.0.1: listen, accept, exchange, large sends, close, abort, look-ups.
#include "net/WSocket.h"

#include "PostedMessages.h"
#include "support/Threads.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <memory>
#include <thread>
#include <vector>

namespace {

using TestSupport::ThreadCount;

[[nodiscard]] bool WaitFor(const std::function<bool()> &done, int timeoutMs = 10000)
{
    return QTest::qWaitFor(done, timeoutMs);
}

// A listening socket that accepts every connection into a server-side socket of its own.
struct TServer {
    TCustomWSocket Listener;
    std::vector<std::unique_ptr<TCustomWSocket>> Clients;
    std::function<void(TCustomWSocket &)> OnAccepted;

    TServer()
    {
        Listener.SetAddr("127.0.0.1");
        Listener.SetPort("0");
        Listener.OnSessionAvailable = [this](QObject *, quint16 error) {
            EXPECT_EQ(error, 0);
            auto client = std::make_unique<TCustomWSocket>();
            TCustomWSocket &c = *client;
            Clients.push_back(std::move(client));
            if (OnAccepted)
                OnAccepted(c);
            c.Dup(Listener.Accept());
        };
        Listener.Listen();
    }
    QString Port() { return Listener.GetBoundPort(); }
};

// Collects what a socket receives and how it ends.
struct TRecorder {
    QByteArray Received;
    int Connected = -1;  // error of OnSessionConnected, -1 before it
    int Closed = -1;     // error of OnSessionClosed, -1 before it
    int ClosedCount = 0;
    int ReceivedBeforeClose = -1;

    void Attach(TCustomWSocket &s)
    {
        s.OnSessionConnected = [this](QObject *, quint16 e) { Connected = e; };
        s.OnDataAvailable = [this, &s](QObject *, quint16) {
            char buffer[70000];
            const int n = s.Receive(buffer, int(sizeof buffer));
            if (n > 0)
                Received.append(buffer, n);
        };
        s.OnSessionClosed = [this](QObject *, quint16 e) {
            Closed = e;
            ++ClosedCount;
            ReceivedBeforeClose = int(Received.size());
        };
    }
};

QByteArray Pattern(int size)
{
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char((i * 7 + i / 251) & 0xFF);
    return data;
}

QString FreePort()
{
    TCustomWSocket s;
    s.SetAddr("127.0.0.1");
    s.SetPort("0");
    s.Listen();
    const QString port = s.GetBoundPort();
    s.Close();
    return port;
}

void ConnectTo(TCustomWSocket &s, const QString &port)
{
    s.SetAddr("127.0.0.1");
    s.SetPort(port);
    s.Connect();
}

// A server, a client and what each end receives; Open connects them.
struct TConnection {
    TRecorder AtServer;
    TRecorder AtClient;
    TServer Server;
    TCustomWSocket Client;

    TConnection()
    {
        Server.OnAccepted = [this](TCustomWSocket &c) { AtServer.Attach(c); };
        AtClient.Attach(Client);
    }
    bool Open()
    {
        ConnectTo(Client, Server.Port());
        return WaitFor([this] { return AtClient.Connected == 0 && Server.Clients.size() == 1; });
    }
    TCustomWSocket &ServerSide() { return *Server.Clients[0]; }
};

QString ThrownText(const std::function<void()> &f)
{
    try {
        f();
    } catch (const ESocketException &e) {
        return e.Message();
    }
    return "(no exception)";
}

} // namespace

TEST(WSocketTest, ClientAndServerExchangeDataBothWays)
{
    TServer server;
    TRecorder atServer;
    server.OnAccepted = [&](TCustomWSocket &c) {
        atServer.Attach(c);
        c.OnDataAvailable = [&](QObject *, quint16) {
            const QByteArray text = c.ReceiveText();
            atServer.Received += text;
            if (atServer.Received.endsWith("\n"))
                c.SendText("pong:" + atServer.Received);
        };
    };
    ASSERT_EQ(server.Listener.State(), wsListening);

    TCustomWSocket client;
    TRecorder atClient;
    atClient.Attach(client);
    std::vector<std::pair<TSocketState, TSocketState>> changes;
    client.OnChangeState = [&](QObject *, TSocketState o, TSocketState n) { changes.emplace_back(o, n); };
    ConnectTo(client, server.Port());
    EXPECT_EQ(client.State(), wsConnecting);
    ASSERT_TRUE(WaitFor([&] { return atClient.Connected == 0; }));
    EXPECT_EQ(client.State(), wsConnected);
    EXPECT_EQ(client.GetPeerAddr(), "127.0.0.1");
    EXPECT_EQ(client.GetPeerPort(), server.Port());
    EXPECT_EQ(client.SendText("ping\n"), 5);
    ASSERT_TRUE(WaitFor([&] { return atClient.Received == "pong:ping\n"; })) << atClient.Received.constData();
    EXPECT_EQ(atServer.Received, "ping\n");
    EXPECT_EQ(client.ReadCount(), 10);
    const std::vector<std::pair<TSocketState, TSocketState>> expected = {{wsClosed, wsOpened},
                                                                          {wsOpened, wsConnecting},
                                                                          {wsConnecting, wsConnected}};
    EXPECT_EQ(changes, expected);
}

TEST(WSocketTest, LargeSendDrainsInOrderAndACloseRightAfterLosesNothing)
{
    const QByteArray data = Pattern(12 * 1024 * 1024 + 17);
    TServer server;
    bool sending = false;
    int dataSent = 0;
    qint64 reportedSent = 0;
    server.OnAccepted = [&](TCustomWSocket &c) {
        c.OnSendData = [&](QObject *, int n) { reportedSent += n; };
        c.OnDataSent = [&](QObject *, quint16 e) {
            EXPECT_EQ(e, 0);
            if (!sending)
                return;  // the write event of the new connection
            ++dataSent;
            EXPECT_EQ(c.BufferedByteCount(), 0);
            // Everything has left the queue, much of it is still in the kernel: close gracefully.
            if (dataSent == 1)
                c.Close();
        };
        c.OnSessionConnected = [&](QObject *, quint16) {};
    };
    TCustomWSocket client;
    TRecorder atClient;
    atClient.Attach(client);
    ConnectTo(client, server.Port());
    ASSERT_TRUE(WaitFor([&] { return server.Clients.size() == 1 && server.Clients[0]->State() == wsConnected; }));
    TCustomWSocket &s = *server.Clients[0];
    sending = true;
    EXPECT_EQ(s.Send(data.constData(), int(data.size())), data.size());
    EXPECT_GT(s.BufferedByteCount(), 0) << "the send should have filled the socket's buffers";
    ASSERT_TRUE(WaitFor([&] { return atClient.ClosedCount == 1; }, 120000));
    EXPECT_EQ(dataSent, 1);
    EXPECT_EQ(atClient.Closed, 0);
    EXPECT_EQ(atClient.ReceivedBeforeClose, data.size());
    EXPECT_TRUE(atClient.Received == data) << "the bytes arrived out of order or changed";
    EXPECT_EQ(reportedSent, data.size());
    EXPECT_EQ(client.State(), wsClosed);
}

TEST(WSocketTest, CloseFromEitherSideEndsBothEnds)
{
    for (bool clientCloses : {true, false}) {
        SCOPED_TRACE(clientCloses ? "client closes" : "server closes");
        TConnection c;
        ASSERT_TRUE(c.Open());
        TCustomWSocket &closer = clientCloses ? c.Client : c.ServerSide();
        TRecorder &closerRec = clientCloses ? c.AtClient : c.AtServer;
        TRecorder &otherRec = clientCloses ? c.AtServer : c.AtClient;
        closer.SendText("last words");
        closer.Close();
        EXPECT_EQ(closer.State(), wsClosed);
        EXPECT_EQ(closerRec.ClosedCount, 1);
        EXPECT_EQ(closerRec.Closed, 0);
        ASSERT_TRUE(WaitFor([&] { return otherRec.ClosedCount == 1; }));
        EXPECT_EQ(otherRec.Closed, 0);
        EXPECT_EQ(otherRec.Received, "last words");
        EXPECT_EQ(otherRec.ReceivedBeforeClose, 10);
        ASSERT_TRUE(AllPostedMessagesHandled());
        EXPECT_EQ(closerRec.ClosedCount, 1);
        EXPECT_EQ(otherRec.ClosedCount, 1);
    }
}

TEST(WSocketTest, AbortResetsTheConnection)
{
    TConnection c;
    ASSERT_TRUE(c.Open());
    c.Client.Abort();
    EXPECT_EQ(c.Client.State(), wsClosed);
    EXPECT_EQ(c.Client.LingerOnOff(), wsLingerOn) << "the defaults come back after the close";
    ASSERT_TRUE(WaitFor([&] { return c.AtServer.ClosedCount == 1; }));
    EXPECT_EQ(c.AtServer.Closed, 10054);
}

TEST(WSocketTest, RefusedConnectReportsTheWinsockNumberThenCloses)
{
    const QString port = FreePort();
    TCustomWSocket client;
    TRecorder rec;
    rec.Attach(client);
    std::vector<int> order;
    client.OnSessionConnected = [&](QObject *, quint16 e) {
        rec.Connected = e;
        order.push_back(1);
    };
    client.OnSessionClosed = [&](QObject *, quint16 e) {
        rec.Closed = e;
        order.push_back(2);
    };
    ConnectTo(client, port);
    EXPECT_EQ(rec.Connected, -1) << "a refusal arrives through the event loop, as on Windows";
    ASSERT_TRUE(WaitFor([&] { return rec.Closed >= 0; }));
    EXPECT_EQ(rec.Connected, 10061);
    EXPECT_EQ(SocketErrorText(rec.Connected), "Connection refused");
    EXPECT_EQ(rec.Closed, 0);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_EQ(client.State(), wsClosed);
}

TEST(WSocketTest, HostLookUpRunsAsynchronously)
{
    const struct {
        const char *name;
        const char *host;
        bool resolves;
    } cases[] = {
        {"localhost", "localhost", true},
        {"reserved invalid name", "no-such-host.vaskimo.invalid", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TCustomWSocket s;
        int done = -1;
        s.OnDnsLookupDone = [&](QObject *, quint16 e) { done = e; };
        s.DnsLookup(c.host);
        EXPECT_EQ(done, -1) << "a name look-up never answers inside the call";
        ASSERT_TRUE(WaitFor([&] { return done >= 0; }));
        if (c.resolves) {
            EXPECT_EQ(done, 0);
            EXPECT_EQ(s.DnsResult(), "127.0.0.1");
            EXPECT_TRUE(s.DnsResultList().contains("127.0.0.1"));
        } else {
            EXPECT_TRUE(done == 11001 || done == 11002 || done == 11004) << done;
            EXPECT_TRUE(s.DnsResult().isEmpty());
        }
    }
}

TEST(WSocketTest, DottedLookUpAnswersAtOnceAndEmptyNameReports10022)
{
    TCustomWSocket s;
    int done = -1;
    int errors = 0;
    s.OnDnsLookupDone = [&](QObject *, quint16 e) { done = e; };
    s.DnsLookup(" 10.1.2.3 ");
    EXPECT_EQ(done, 0);
    EXPECT_EQ(s.DnsResult(), "10.1.2.3");
    EXPECT_EQ(s.DnsResultList(), QStringList{"10.1.2.3"});

    s.OnError = [&](QObject *) { ++errors; };
    done = -1;
    s.DnsLookup("");
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(done, 10022);
}

TEST(WSocketTest, StopDnsLookupCancelsWithoutLateResult)
{
    TCustomWSocket s;
    std::vector<int> results;
    s.OnDnsLookupDone = [&](QObject *, quint16 e) { results.push_back(e); };
    // A host look-up runs on a thread of its own, which ends once the look-up has answered or been dropped.
    const int threads = ThreadCount();
    s.DnsLookup("localhost");
    s.StopDnsLookup();
    EXPECT_EQ(results, std::vector<int>{10004});
    // The late answer, had it not been dropped, was posted before its thread ended.
    ASSERT_TRUE(WaitFor([&] { return ThreadCount() <= threads; })) << "the look-up's thread did not end";
    ASSERT_TRUE(AllPostedMessagesHandled());
    EXPECT_EQ(results, std::vector<int>{10004});
}

TEST(WSocketTest, SendWhenNotConnected)
{
    TCustomWSocket s;
    EXPECT_EQ(ThrownText([&] { s.Send("x", 1); }), "Error 10057 in function Send\r\nSocket is not connected");
    int errors = 0;
    s.OnError = [&](QObject *) { ++errors; };
    EXPECT_EQ(s.Send(nullptr, 0), -1);
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(s.LastError(), 10057);
}

TEST(WSocketTest, SendOfNothingPostsTheWriteEventLater)
{
    TServer server;
    TCustomWSocket client;
    TRecorder rec;
    rec.Attach(client);
    int sent = 0;
    client.OnDataSent = [&](QObject *, quint16) { ++sent; };
    ConnectTo(client, server.Port());
    ASSERT_TRUE(WaitFor([&] { return rec.Connected == 0 && sent == 1; })) << "the new connection's write event";
    sent = 0;
    EXPECT_EQ(client.Send(nullptr, 0), 0);
    EXPECT_EQ(sent, 0);
    ASSERT_TRUE(WaitFor([&] { return sent == 1; }));
}

TEST(WSocketTest, CloseRestoresDefaultsSoAddrAndPortMustBeGivenAgain)
{
    TServer server;
    TCustomWSocket client;
    TRecorder rec;
    rec.Attach(client);
    client.SetProto("6");
    client.SetLocalAddr("");
    EXPECT_EQ(client.LocalAddr(), "0.0.0.0");
    ConnectTo(client, server.Port());
    ASSERT_TRUE(WaitFor([&] { return rec.Connected == 0; }));
    EXPECT_EQ(ThrownText([&] { client.SetPort("1"); }), "Cannot change Port if not closed");
    EXPECT_EQ(ThrownText([&] { client.SetAddr("1.2.3.4"); }), "Cannot change Addr if not closed");
    EXPECT_EQ(client.Port(), server.Port());
    client.Close();
    EXPECT_EQ(client.Proto(), "tcp");
    EXPECT_EQ(ThrownText([&] { client.Connect(); }), "Connect: No Port Specified");
    client.SetPort(server.Port());  // the same text again is enough
    EXPECT_EQ(ThrownText([&] { client.Connect(); }), "Connect: No IP Address Specified");
    client.SetAddr("127.0.0.1");
    rec.Connected = -1;
    client.Connect();
    ASSERT_TRUE(WaitFor([&] { return rec.Connected == 0; }));
}

TEST(WSocketTest, ReconnectingFromTheClosedEventKeepsTheNewConnection)
{
    TServer server;
    TCustomWSocket client;
    TRecorder rec;
    rec.Attach(client);
    const QString port = server.Port();
    client.OnSessionClosed = [&](QObject *, quint16) {
        ++rec.ClosedCount;
        if (rec.ClosedCount == 1) {
            rec.Connected = -1;
            ConnectTo(client, port);
        }
    };
    ConnectTo(client, port);
    ASSERT_TRUE(WaitFor([&] { return rec.Connected == 0 && server.Clients.size() == 1; }));
    server.Clients[0]->Close();
    ASSERT_TRUE(WaitFor([&] { return rec.ClosedCount == 1 && rec.Connected == 0; }));
    EXPECT_EQ(client.State(), wsConnected);
    EXPECT_TRUE(WaitFor([&] { return server.Clients.size() == 2; }));
    client.SendText("again");
    std::unique_ptr<TCustomWSocket> &second = server.Clients[1];
    QByteArray got;
    second->OnDataAvailable = [&](QObject *, quint16) { got += second->ReceiveText(); };
    EXPECT_TRUE(WaitFor([&] { return got == "again"; }));
}

TEST(WSocketTest, ForeignAndPausedReadinessMessagesAreIgnored)
{
    TConnection c;
    ASSERT_TRUE(c.Open());
    TCustomWSocket &client = c.Client;
    TRecorder &rec = c.AtClient;
    client.PostMessage(WM_ASYNCSELECT, quintptr(client.HSocket() + 100), MakeLParam(PosixSocket::FD_CLOSE, 0));
    ASSERT_TRUE(AllPostedMessagesHandled());
    EXPECT_EQ(rec.ClosedCount, 0);
    client.Pause();
    client.PostMessage(WM_ASYNCSELECT, quintptr(client.HSocket()), MakeLParam(PosixSocket::FD_CLOSE, 0));
    ASSERT_TRUE(AllPostedMessagesHandled());
    EXPECT_EQ(rec.ClosedCount, 0);
    EXPECT_EQ(client.State(), wsConnected);
    // Data that arrived while paused comes once resumed.
    c.ServerSide().SendText("held");
    ASSERT_TRUE(WaitFor([&] { return client.RcvdCount() == 4; })) << "the bytes reach the paused socket";
    ASSERT_TRUE(AllPostedMessagesHandled());
    EXPECT_TRUE(rec.Received.isEmpty());
    client.Resume();
    EXPECT_TRUE(WaitFor([&] { return rec.Received == "held"; }));
}

TEST(WSocketTest, HandlerThatReadsNothingDoesNotSpin)
{
    TConnection c;
    TCustomWSocket &client = c.Client;
    int calls = 0;
    client.OnDataAvailable = [&](QObject *, quint16) { ++calls; };
    ASSERT_TRUE(c.Open());
    c.ServerSide().SendText("unread");
    ASSERT_TRUE(WaitFor([&] { return calls > 0; }));
    ASSERT_TRUE(AllPostedMessagesHandled());
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(client.RcvdCount(), 6);
    EXPECT_EQ(client.ReceiveText(), "unread");
}

TEST(WSocketTest, WithoutDataHandlerReceivedBytesAreDropped)
{
    TServer server;
    TCustomWSocket client;
    int connected = -1;
    client.OnSessionConnected = [&](QObject *, quint16 e) { connected = e; };
    ConnectTo(client, server.Port());
    ASSERT_TRUE(WaitFor([&] { return connected == 0 && server.Clients.size() == 1; }));
    // Held back until they are all there, so that their going proves they were read and dropped.
    client.Pause();
    server.Clients[0]->SendText(QByteArray(3000, 'z'));
    ASSERT_TRUE(WaitFor([&] { return client.RcvdCount() == 3000; }));
    client.Resume();
    EXPECT_TRUE(WaitFor([&] { return client.RcvdCount() == 0; }));
}

TEST(WSocketTest, ExceptionOfAHandlerGoesToBgExceptionAndAborts)
{
    TConnection c;
    ASSERT_TRUE(c.Open());
    TCustomWSocket &client = c.Client;
    QString seen;
    bool letClose = false;
    client.OnBgException = [&](QObject *, const std::exception &e, bool &canClose) {
        seen = QString::fromUtf8(e.what());
        canClose = letClose;
    };
    client.PostMessage(WM_TRIGGER_EXCEPTION);
    ASSERT_TRUE(WaitFor([&] { return !seen.isEmpty(); }));
    EXPECT_EQ(seen, "Test exception in WSocket");
    EXPECT_EQ(client.State(), wsConnected);
    seen.clear();
    letClose = true;
    client.PostMessage(WM_TRIGGER_EXCEPTION);
    ASSERT_TRUE(WaitFor([&] { return !seen.isEmpty(); }));
    EXPECT_EQ(client.State(), wsClosed);
}

TEST(WSocketTest, FreeLaterAndDeletingInsideAHandlerAreSafe)
{
    TServer server;
    QPointer<TCustomWSocket> client = new TCustomWSocket;
    bool connected = false;
    client->OnSessionConnected = [&](QObject *, quint16) { connected = true; };
    ConnectTo(*client, server.Port());
    ASSERT_TRUE(WaitFor([&] { return connected; }));
    client->FreeLater();
    EXPECT_FALSE(client.isNull());
    ASSERT_TRUE(WaitFor([&] { return client.isNull(); }));

    QPointer<TCustomWSocket> other = new TCustomWSocket;
    other->OnSessionConnected = [&](QObject *sender, quint16) { delete sender; };
    ConnectTo(*other, server.Port());
    ASSERT_TRUE(WaitFor([&] { return other.isNull(); }));
    ASSERT_TRUE(AllPostedMessagesHandled()) << "messages left for a deleted socket";
}

TEST(WSocketTest, LoggerReceivesTheConnectLine)
{
    TServer server;
    TIcsLogger logger;
    QStringList lines;
    logger.SetOnIcsLogEvent([&](QObject *, TLogOption, const QString &m) { lines << m; });
    logger.SetLogOptions({loDestEvent, loWsockInfo});
    TCustomWSocket client;
    client.SetIcsLogger(&logger);
    EXPECT_TRUE(client.LogEnabled(loWsockInfo));
    EXPECT_FALSE(client.LogEnabled(loWsockDump));
    ConnectTo(client, server.Port());
    EXPECT_TRUE(lines.contains("TWSocket will connect to 127.0.0.1:" + server.Port())) << lines.join('|').toStdString();
    {
        TIcsLogger gone;
        client.SetIcsLogger(&gone);
    }
    EXPECT_EQ(client.IcsLogger(), nullptr) << "a destroyed logger is forgotten";
}

TEST(WSocketTest, AcceptAndListenRefusals)
{
    TCustomWSocket s;
    EXPECT_EQ(ThrownText([&] { s.Accept(); }), "Error 10022 in function not a listening socket\r\nInvalid argument");
    EXPECT_EQ(ThrownText([&] { s.Listen(); }), "Error 10022 in function listen: port not assigned\r\nInvalid argument");
    s.SetPort("0");
    EXPECT_EQ(ThrownText([&] { s.Listen(); }), "Error 10022 in function listen: address not assigned\r\nInvalid argument");
    s.SetAddr("127.0.0.1");
    s.Listen();
    TCustomWSocket second;
    second.SetAddr("127.0.0.1");
    second.SetPort(s.GetBoundPort());
    const QString text = ThrownText([&] { second.Listen(); });
    EXPECT_TRUE(text.startsWith("Error 10048 in function Bind\r\nAddress already in use")) << text.toStdString();
    EXPECT_EQ(second.HSocket(), INVALID_SOCKET);
}

TEST(WSocketTest, SendFlagsAndTimeValues)
{
    TCustomWSocket s;
    EXPECT_EQ(s.SendFlags(), wsSendNormal);
    s.SetSendFlags(wsSendUrgent);
    EXPECT_EQ(s.SendFlags(), wsSendUrgent);
    EXPECT_EQ(ThrownText([&] { s.SetSendFlags(TSocketSendFlags(7)); }), "Invalid SendFlags");
    TTimeVal a{1, 0}, b{1, 0}, zero;
    EXPECT_TRUE(s.TimeValueIsSet(a));
    EXPECT_FALSE(s.TimeValueIsSet(zero));
    EXPECT_TRUE(s.CompareTimeValues(a, b, true));
    EXPECT_FALSE(s.CompareTimeValues(a, b, false));
    s.ClearTimeValue(a);
    EXPECT_FALSE(s.TimeValueIsSet(a));
    EXPECT_EQ(s.GetPeerAddr(), "error");
    EXPECT_EQ(s.GetBoundPort(), "error");
}

TEST(WSocketTest, DatagramsBothWays)
{
    TCustomWSocket server;
    server.SetProto("udp");
    server.SetAddr("127.0.0.1");
    server.SetPort("0");
    int serverConnected = -1;
    server.OnSessionConnected = [&](QObject *, quint16 e) { serverConnected = e; };
    QByteArray gotAtServer;
    TSockAddrIn from;
    server.OnDataAvailable = [&](QObject *, quint16) {
        char buffer[2048];
        int fromLen = 0;
        const int n = server.ReceiveFrom(buffer, int(sizeof buffer), from, fromLen);
        if (n > 0) {
            gotAtServer = QByteArray(buffer, n);
            server.SendTo(from, fromLen, "echo", 4);
        }
    };
    server.Listen();
    EXPECT_EQ(server.State(), wsConnected);
    EXPECT_EQ(serverConnected, 0);

    TCustomWSocket client;
    TRecorder rec;
    rec.Attach(client);
    client.SetProto("udp");
    ConnectTo(client, server.GetBoundPort());
    EXPECT_EQ(client.State(), wsConnected) << "a datagram socket is connected at once";
    EXPECT_EQ(rec.Connected, 0);
    EXPECT_NE(client.LocalPort(), "0") << "the bound port is read back";
    EXPECT_EQ(client.SendText("datagram"), 8);
    ASSERT_TRUE(WaitFor([&] { return rec.Received == "echo"; }));
    EXPECT_EQ(gotAtServer, "datagram");
    EXPECT_EQ(PosixSocket::NetToHost16(from.Port), client.LocalPort().toUInt());
}

TEST(WSocketTest, ReverseLookUpOfTheLoopbackAddress)
{
    TCustomWSocket s;
    int done = -1;
    s.OnDnsLookupDone = [&](QObject *, quint16 e) { done = e; };
    s.ReverseDnsLookup("127.0.0.1");
    EXPECT_EQ(done, -1);
    ASSERT_TRUE(WaitFor([&] { return done >= 0; }));
    EXPECT_EQ(done, 0);
    EXPECT_EQ(s.DnsResult(), "localhost");
    EXPECT_EQ(s.DnsResultList().value(0), "localhost");

    done = -1;
    s.ReverseDnsLookupBlocking("127.0.0.1");
    EXPECT_EQ(done, 0);
    EXPECT_EQ(s.DnsResult(), "localhost");

    int errors = 0;
    s.OnError = [&](QObject *) { ++errors; };
    s.ReverseDnsLookup(QString(257, '1'));
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(done, 10022);
}

TEST(WSocketTest, FlushSendsTheWholeQueue)
{
    TConnection c;
    ASSERT_TRUE(c.Open());
    const QByteArray data = Pattern(12 * 1024 * 1024);
    c.ServerSide().Send(data.constData(), int(data.size()));
    ASSERT_GT(c.ServerSide().BufferedByteCount(), 0);
    c.ServerSide().Flush();
    EXPECT_EQ(c.ServerSide().BufferedByteCount(), 0);
    EXPECT_TRUE(c.ServerSide().AllSent());
    ASSERT_TRUE(WaitFor([&] { return c.AtClient.Received.size() == data.size(); }));
    EXPECT_TRUE(c.AtClient.Received == data);
}

TEST(WSocketTest, ConnectReportsResolverFailures)
{
    TCustomWSocket s;
    s.SetAddr("nothing.vaskimo.invalid");
    s.SetPort("80");
    const QString text = ThrownText([&] { s.Connect(); });
    EXPECT_TRUE(text.startsWith("connect: WSocketResolveHost: Cannot convert host address 'nothing.vaskimo.invalid'"))
        << text.toStdString();
    EXPECT_EQ(s.State(), wsClosed);
    s.SetAddr("127.0.0.1");
    s.SetPort("http-nonsense");
    EXPECT_EQ(ThrownText([&] { s.Connect(); }),
              "connect: WSocketResolvePort: Cannot convert port 'http-nonsense', Error #11004");
    EXPECT_EQ(ThrownText([&] { s.Dup(INVALID_SOCKET); }), "Error 10022 in function Dup\r\nInvalid argument");
}

TEST(WSocketTest, DetachAndAttachTheHiddenWindow)
{
    TConnection c;
    ASSERT_TRUE(c.Open());
    TCustomWSocket &client = c.Client;
    EXPECT_EQ(ThrownText([&] { client.AttachToThread(); }), "Cannot attach when not detached");
    QString fromOtherThread;
    std::thread other([&] { fromOtherThread = ThrownText([&] { client.DetachFromThread(); }); });
    other.join();
    EXPECT_EQ(fromOtherThread, "Cannot detach from other thread");
    client.DetachFromThread();
    EXPECT_EQ(client.Handle(), nullptr);
    c.ServerSide().SendText("while detached");
    ASSERT_TRUE(WaitFor([&] { return client.RcvdCount() == 14; }));
    ASSERT_TRUE(AllPostedMessagesHandled());
    EXPECT_TRUE(c.AtClient.Received.isEmpty()) << "no window, no events";
    client.AttachToThread();
    ASSERT_NE(client.Handle(), nullptr);
    EXPECT_TRUE(WaitFor([&] { return c.AtClient.Received == "while detached"; }));
}

TEST(WSocketTest, SocketOfAWorkerThreadRunsItsEventsThere)
{
    TServer server;
    QByteArray atServer;
    server.OnAccepted = [&](TCustomWSocket &c) {
        c.OnDataAvailable = [&](QObject *, quint16) {
            atServer += c.ReceiveText();
            if (atServer == "from the worker")
                c.SendText("to the worker");
        };
    };
    const QString port = server.Port();
    QByteArray atWorker;
    std::atomic<bool> eventsOnWorker{true};
    std::atomic<bool> finished{false};
    QThread *worker = QThread::create([&] {
        TCustomWSocket s;
        s.SetMultiThreaded(true);
        QEventLoop loop;
        const Qt::HANDLE me = QThread::currentThreadId();
        s.OnSessionConnected = [&](QObject *, quint16 e) {
            eventsOnWorker = eventsOnWorker && QThread::currentThreadId() == me;
            if (e == 0)
                s.SendText("from the worker");
            else
                loop.quit();
        };
        s.OnDataAvailable = [&](QObject *, quint16) {
            eventsOnWorker = eventsOnWorker && QThread::currentThreadId() == me;
            atWorker += s.ReceiveText();
            if (atWorker == "to the worker")
                loop.quit();
        };
        ConnectTo(s, port);
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        finished = true;
    });
    worker->start();
    EXPECT_TRUE(WaitFor([&] { return finished.load(); }));
    ASSERT_TRUE(worker->wait(10000)) << "the worker's loop did not end";
    delete worker;
    EXPECT_EQ(atServer, "from the worker");
    EXPECT_EQ(atWorker, "to the worker");
    EXPECT_TRUE(eventsOnWorker);
}

TEST(WSocketTest, WaitUntilClosedDeliversDataAndReturnsAtThePeersClose)
{
    TConnection c;
    ASSERT_TRUE(c.Open());
    // Sent once the wait runs the events.
    QTimer::singleShot(0, [&] {
        c.ServerSide().SendText("bye");
        c.ServerSide().Close();
    });
    c.Client.WaitUntilClosed();
    EXPECT_EQ(c.Client.State(), wsClosed);
    EXPECT_EQ(c.AtClient.Received, "bye");
    EXPECT_EQ(c.AtClient.ClosedCount, 1);
}

// ---- The process-wide layer ---------------------------------------------------------------------

TEST(WSocketBindingTest, VersionBytesChangeOnlyWhileTheLibraryIsNotInUse)
{
    ASSERT_EQ(WSocketLivingCount(), 0);
    { TCustomWSocket last; }  // the last socket's end unloads what a resolver may have loaded
    ASSERT_FALSE(WSocketLibraryLoaded());
    {
        TCustomWSocket s;
        EXPECT_EQ(WSocketLivingCount(), 1);
        EXPECT_FALSE(WSocketLibraryLoaded()) << "creating a socket loads nothing";
        s.SetReqVerHigh(2);
        EXPECT_EQ(s.ReqVerHigh(), 2);
        s.DnsLookup("localhost");  // the first library call
        EXPECT_TRUE(WSocketLibraryLoaded());
        const QString text = ThrownText([&] { s.SetReqVerHigh(1); });
        EXPECT_TRUE(text.contains("in function SetReqVerHigh: WinSock version can't be changed now")) << text.toStdString();
        EXPECT_EQ(s.ReqVerHigh(), 2);
        int errors = 0;
        s.OnError = [&](QObject *) { ++errors; };
        s.SetReqVerLow(2);
        EXPECT_EQ(errors, 1);
        EXPECT_EQ(s.ReqVerLow(), 1);
        s.StopDnsLookup();
    }
    EXPECT_EQ(WSocketLivingCount(), 0);
    EXPECT_FALSE(WSocketLibraryLoaded());
    TCustomWSocket s;
    s.SetReqVerHigh(1);
    EXPECT_EQ(s.ReqVerHigh(), 1);
    // Asking for a version below 1.0 fails at the first call, as WSAStartup does.
    s.SetReqVerLow(0);
    EXPECT_EQ(ThrownText([] { WSocketLoadLibrary(); }), "wsock32.dll: WSAStartup error #10092");
    s.SetReqVerLow(1);
    EXPECT_NO_THROW(WSocketLoadLibrary());
}

TEST(WSocketBindingTest, IsDottedAddress)
{
    const struct {
        const char *text;
        bool expected;
    } cases[] = {
        {"1.2.3.4", true},
        {"  192.168.0.255  ", true},
        {"0.0.0.0", true},
        {"255.255.255.255", true},
        {"1.2.3", false},
        {".1.2.3", false},
        {"1..2.3", false},
        {"1.2.3.", false},
        {"1.2.3.256", false},
        {"256.1.1.1", false},
        {"1.2.3.4a", false},
        {"1.2.3.4 x", false},
        {"1.2.3.4.5", false},
        {"", false},
        {"localhost", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(IsDottedAddress(c.text), c.expected);
    }
}

TEST(WSocketBindingTest, ResolveHost)
{
    EXPECT_EQ(WSocketResolveHost("255.255.255.255"), 0xFFFFFFFFu);
    EXPECT_EQ(PosixSocket::InetNtoa(WSocketResolveHost(" 127.0.0.1 ")), "127.0.0.1");
    // Parts are decimal, as IsDottedAddress reads them (inet_addr would take 010 as octal 8).
    EXPECT_EQ(PosixSocket::InetNtoa(WSocketResolveHost("010.0.0.012")), "10.0.0.12");
    EXPECT_EQ(PosixSocket::InetNtoa(WSocketResolveHost("localhost")), "127.0.0.1");
    EXPECT_EQ(ThrownText([] { WSocketResolveHost(""); }), "WSocketResolveHost: '' Invalid Hostname.");
    EXPECT_EQ(ThrownText([] { WSocketResolveHost(QString(257, 'a')); }),
              "WSocketResolveHost: '" + QString(257, 'a') + "' Invalid Hostname.");
    const QString text = ThrownText([] { WSocketResolveHost("nothing.vaskimo.invalid"); });
    EXPECT_TRUE(text.startsWith("WSocketResolveHost: Cannot convert host address 'nothing.vaskimo.invalid', Error #110"))
        << text.toStdString();
}

TEST(WSocketBindingTest, ResolvePort)
{
    const struct {
        const char *name;
        const char *port;
        const char *proto;
        int expected;  // -1: raises
    } cases[] = {
        {"service name", "http", "tcp", 80},
        {"service name, blanks", " smtp ", "tcp", 25},
        {"number", "8080", "tcp", 8080},
        {"number then text", "81abc", "tcp", 81},
        {"number needs no service", "65535", "nosuchproto", 65535},
        {"above 65535", "65536", "tcp", -1},
        {"unknown service", "nosuchservice", "tcp", -1},
        {"empty", "", "tcp", -1},
        {"32 characters", "12345678901234567890123456789012", "tcp", -1},
        {"31 characters", "0000000000000000000000000000080", "tcp", 80},
        {"empty protocol", "80", "", -1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.expected < 0)
            EXPECT_THROW(WSocketResolvePort(c.port, c.proto), ESocketException);
        else
            EXPECT_EQ(WSocketResolvePort(c.port, c.proto), c.expected);
    }
    EXPECT_EQ(ThrownText([] { WSocketResolvePort("", "tcp"); }), "WSocketResolvePort: Invalid Port.");
    EXPECT_EQ(ThrownText([] { WSocketResolvePort("80", ""); }), "WSocketResolvePort: Invalid Proto.");
    EXPECT_EQ(ThrownText([] { WSocketResolvePort("nosuchservice", "tcp"); }),
              "WSocketResolvePort: Cannot convert port 'nosuchservice', Error #11004");
}

TEST(WSocketBindingTest, ResolveProto)
{
    EXPECT_EQ(WSocketResolveProto("UDP"), 17);
    EXPECT_EQ(WSocketResolveProto("17"), 17);
    EXPECT_EQ(WSocketResolveProto(" Tcp "), 6);
    EXPECT_EQ(WSocketResolveProto("raw"), 255);
    EXPECT_EQ(WSocketResolveProto("icmp"), 1);
    EXPECT_EQ(ThrownText([] { WSocketResolveProto(""); }), "WSocketResolveProto: Invalid Protocol.");
    EXPECT_EQ(ThrownText([] { WSocketResolveProto("nosuchproto"); }),
              "WSocketResolveProto: Cannot convert protocol 'nosuchproto', Error #11004");
}

TEST(WSocketBindingTest, ErrorTexts)
{
    const struct {
        int code;
        const char *text;
    } cases[] = {
        {0, "No Error"},
        {10004, "Interrupted system call"},
        {10035, "Operation would block"},
        {10047, "Address family not supported by protocol family"},
        {10054, "Connection reset by peer"},
        {10058, "Can't send after socket shutdown"},
        {10060, "Connection timed out"},
        {10061, "Connection refused"},
        {10069, "Disc quota exceeded"},
        {10093, "WinSock not initialized"},
        {11001, "Host not found"},
        {11004, "No Data"},
        {12345, "Not a WinSock error"},
        {10000, "Not a WinSock error"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(SocketErrorText(c.code), c.text);
    }
}

TEST(WSocketBindingTest, ErrnoMapsToWinsockNumbers)
{
    const struct {
        int err;
        int expected;
    } cases[] = {
        {ECONNREFUSED, 10061}, {ECONNRESET, 10054}, {EPIPE, 10054},       {ENOTCONN, 10057},
        {EAGAIN, 10035},       {ETIMEDOUT, 10060},  {EADDRINUSE, 10048},  {EHOSTUNREACH, 10065},
        {ENETUNREACH, 10051},  {EINVAL, 10022},     {EBADF, 10038},       {0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.err);
        EXPECT_EQ(PosixSocket::WinsockError(c.err), c.expected);
    }
}

TEST(WSocketBindingTest, OwnHostNameIsTheMachinesName)
{
    const QString name = OwnHostName();
    EXPECT_FALSE(name.isEmpty());
    EXPECT_LE(name.toUtf8().size(), 64);
}
