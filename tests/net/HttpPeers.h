// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: a scripted HTTP peer on 127.0.0.1 for the client tests: a listener thread that plays a reply script.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace HttpPeers {

// Listens on 127.0.0.1:port; port 0 picks a free one and gets its number.
inline int ListenLocal(quint16 &port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    ::listen(fd, 16);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

// One accepted connection as a scripted server sees it.
class TConnection
{
public:
    explicit TConnection(int fd) : FFd(fd) {}
    ~TConnection() { Close(); }
    // The request header (up to the empty line) and, when it names a Content-Length, its body;
    // empty when the peer closed first.
    QByteArray ReadRequest(int ms = 5000)
    {
        for (;;) {
            const qsizetype end = FIn.indexOf("\r\n\r\n");
            if (end >= 0) {
                QByteArray head = FIn.left(end + 4);
                FIn.remove(0, end + 4);
                return head;
            }
            if (!ReadMore(ms))
                return {};
        }
    }
    // Exactly n bytes, or fewer when the peer closes first.
    QByteArray ReadBytes(qsizetype n, int ms = 5000)
    {
        while (FIn.size() < n && ReadMore(ms)) {
        }
        QByteArray r = FIn.left(n);
        FIn.remove(0, r.size());
        return r;
    }
    // False when the peer is gone before all of data left.
    bool Send(const QByteArray &data)
    {
        qsizetype done = 0;
        while (done < data.size()) {
            const ssize_t n = ::send(FFd, data.constData() + done, size_t(data.size() - done), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            done += n;
        }
        return true;
    }
    void Close()
    {
        if (FFd >= 0)
            ::close(FFd);
        FFd = -1;
    }
    // Waits until the peer closes; false when ms pass without a word first.
    [[nodiscard]] bool WaitForClose(int ms = 5000)
    {
        TRead read;
        while ((read = ReadSome(ms)) == TRead::Bytes) {
        }
        return read == TRead::Closed;
    }

private:
    enum class TRead { Bytes, Closed, Silent };
    TRead ReadSome(int ms)
    {
        pollfd p{FFd, POLLIN, 0};
        if (::poll(&p, 1, ms) <= 0)
            return TRead::Silent;
        char buf[4096];
        const ssize_t n = ::recv(FFd, buf, sizeof buf, 0);
        if (n <= 0)
            return TRead::Closed;
        FIn.append(buf, n);
        return TRead::Bytes;
    }
    bool ReadMore(int ms) { return ReadSome(ms) == TRead::Bytes; }
    int FFd;
    QByteArray FIn;
};

// Listens on 127.0.0.1 in its own thread and runs Script for each accepted connection, with the
// connection's number (0 first). Requests are recorded as they arrive.
class TScriptedServer
{
public:
    using TScript = std::function<void(TConnection &Conn, int Index, TScriptedServer &Server)>;
    // port 0: a free one (a fixed one only where nothing else can hold it, as in a namespace of its own)
    explicit TScriptedServer(TScript script, quint16 port = 0) : FScript(std::move(script)), FPort(port)
    {
        FListen = ListenLocal(FPort);
        FThread = std::thread([this] { Run(); });
    }
    ~TScriptedServer()
    {
        FStop = true;
        FThread.join();
        ::close(FListen);
    }
    quint16 Port() const { return FPort; }
    QString Url(const QString &path) const { return QStringLiteral("http://127.0.0.1:%1%2").arg(FPort).arg(path); }
    void Record(const QByteArray &request)
    {
        std::lock_guard<std::mutex> g(FLock);
        FRequests.append(QString::fromLatin1(request));
    }
    QByteArray ReadAndRecord(TConnection &c)
    {
        const QByteArray r = c.ReadRequest();
        if (!r.isEmpty())
            Record(r);
        return r;
    }
    QStringList Requests()
    {
        std::lock_guard<std::mutex> g(FLock);
        return FRequests;
    }

private:
    void Run()
    {
        int index = 0;
        while (!FStop) {
            pollfd p{FListen, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            const int fd = ::accept(FListen, nullptr, nullptr);
            if (fd < 0)
                continue;
            TConnection c(fd);
            FScript(c, index++, *this);
        }
    }
    TScript FScript;
    int FListen = -1;
    quint16 FPort = 0;
    std::atomic<bool> FStop{false};
    std::thread FThread;
    std::mutex FLock;
    QStringList FRequests;
};

} // namespace HttpPeers
