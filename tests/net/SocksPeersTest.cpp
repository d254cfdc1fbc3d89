// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: TWSocket through real SOCKS proxies on 127.0.0.1 (microsocks, danted) to a local echo listener.
#include "net/WSocketLayers.h"

#include "LayersPeers.h"
#include "support/Needs.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace LayersPeers;

namespace {

const QString MicroSocks = "/usr/bin/microsocks";
const QString Danted = "/usr/sbin/danted";

struct TRun
{
    QStringList Events;
    QList<QByteArray> Lines;
    int SocksError = 0;
    bool Closed = false;
};

// Connects through the proxy to the echo server, sends two lines and reads them back in line mode.
void EchoThrough(const QString &level, quint16 proxyPort, quint16 echoPort, TRun &run, const QString &user = {},
                 const QString &password = {}, const QString &target = "127.0.0.1")
{
    TWSocket socket;
    socket.SetSocksLevel(level);
    socket.SetSocksServer("127.0.0.1");
    socket.SetSocksPort(QString::number(proxyPort));
    if (!user.isEmpty()) {
        socket.SetSocksAuthentication(socksAuthenticateUsercode);
        socket.SetSocksUsercode(user);
        socket.SetSocksPassword(password);
    }
    socket.SetLineMode(true);
    socket.OnSocksError = [&](QObject *, int error, const QString &) { run.SocksError = error; };
    socket.OnSessionConnected = [&](QObject *, quint16 error) {
        run.Events << QStringLiteral("connected %1").arg(error);
        if (error == 0) {
            socket.SendTextLine("hello through the proxy");
            socket.SendTextLine("second");
        }
    };
    socket.OnDataAvailable = [&](QObject *, quint16) {
        const QByteArray line = socket.ReceiveText();
        if (!line.isEmpty())
            run.Lines << line;
        if (run.Lines.size() == 2)
            socket.Close();
    };
    socket.OnSessionClosed = [&](QObject *, quint16) { run.Closed = true; };
    socket.SetAddr(target);
    socket.SetPort(QString::number(echoPort));
    socket.Connect();
    EXPECT_TRUE(QTest::qWaitFor([&] { return run.Closed; }, 10000));
}

const QList<QByteArray> EchoedLines = {"hello through the proxy\r\n", "second\r\n"};

TEST(SocksPeersTest, MicrosocksWithoutAuthentication)
{
    if (!QFile::exists(MicroSocks))
        VASKIMO_MISSING("microsocks is not installed (Debian package microsocks)");
    TEchoServer echo;
    const quint16 port = FreePort();
    TPeerProcess proxy;
    ASSERT_TRUE(proxy.Start(MicroSocks, {"-i", "127.0.0.1", "-p", QString::number(port)}, port)) << proxy.Output().toStdString();
    for (const char *target : {"127.0.0.1", "localhost"}) {
        SCOPED_TRACE(target);
        TRun run;
        EchoThrough("5", port, echo.Port(), run, {}, {}, target);
        EXPECT_EQ(run.Events, QStringList{"connected 0"});
        EXPECT_EQ(run.Lines, EchoedLines);
    }
}

TEST(SocksPeersTest, MicrosocksWithUserCodeAndPassword)
{
    if (!QFile::exists(MicroSocks))
        VASKIMO_MISSING("microsocks is not installed (Debian package microsocks)");
    TEchoServer echo;
    const quint16 port = FreePort();
    TPeerProcess proxy;
    ASSERT_TRUE(proxy.Start(MicroSocks, {"-i", "127.0.0.1", "-p", QString::number(port), "-u", "vaskimo", "-P", "s3cret"},
                            port))
        << proxy.Output().toStdString();

    TRun good;
    EchoThrough("5", port, echo.Port(), good, "vaskimo", "s3cret");
    EXPECT_EQ(good.Events, QStringList{"connected 0"});
    EXPECT_EQ(good.Lines, EchoedLines);

    TRun wrong;
    EchoThrough("5", port, echo.Port(), wrong, "vaskimo", "wrong");
    EXPECT_EQ(wrong.SocksError, 20015);
    EXPECT_EQ(wrong.Events, QStringList{"connected 20015"});
    EXPECT_TRUE(wrong.Lines.isEmpty());

    TRun none;
    EchoThrough("5", port, echo.Port(), none);
    EXPECT_EQ(none.SocksError, 20003) << "the proxy accepts no connection without a login";
}

TEST(SocksPeersTest, DantedSocks5AndSocks4)
{
    if (!QFile::exists(Danted))
        VASKIMO_MISSING("danted is not installed (Debian package dante-server)");
    TEchoServer echo;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const quint16 port = FreePort();
    QFile conf(dir.filePath("danted.conf"));
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write(QStringLiteral("logoutput: stderr\n"
                              "internal: 127.0.0.1 port = %1\n"
                              "external: 127.0.0.1\n"
                              "clientmethod: none\n"
                              "socksmethod: none\n"
                              "user.privileged: root\n"
                              "user.unprivileged: nobody\n"
                              "client pass {\n  from: 127.0.0.0/8 to: 0.0.0.0/0\n}\n"
                              "socks pass {\n  from: 127.0.0.0/8 to: 0.0.0.0/0\n  protocol: tcp\n}\n")
                   .arg(port)
                   .toUtf8());
    conf.close();
    TPeerProcess proxy;
    ASSERT_TRUE(proxy.Start(Danted, {"-f", conf.fileName(), "-p", dir.filePath("danted.pid"), "-N", "1"}, port))
        << proxy.Output().toStdString();

    // Dante answers SOCKS 4A with "rejected": 4A is tested against a scripted proxy instead.
    for (const char *level : {"5", "4"}) {
        SCOPED_TRACE(level);
        TRun run;
        EchoThrough(level, port, echo.Port(), run);
        EXPECT_EQ(run.Events, QStringList{"connected 0"});
        EXPECT_EQ(run.Lines, EchoedLines);
    }

    // Nobody listens on a port just freed: the proxy's refusal comes back as the SOCKS error.
    const struct
    {
        const char *level;
        int error;
    } refusals[] = {{"5", 20008}, {"4", 20016}};
    for (const auto &r : refusals) {
        SCOPED_TRACE(r.level);
        TRun refused;
        EchoThrough(r.level, port, FreePort(), refused);
        EXPECT_EQ(refused.SocksError, r.error);
        EXPECT_EQ(refused.Events, QStringList{QStringLiteral("connected %1").arg(r.error)});
    }
}

}  // namespace
