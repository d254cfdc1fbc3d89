// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: peers for the socket-layer tests on 127.0.0.1: a listener, scripted and echoing peer threads, proxy processes.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <arpa/inet.h>
#include <atomic>
#include <functional>
#include <string>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace LayersPeers {

inline QByteArray Hex(const char *hex)
{
    return QByteArray::fromHex(hex);
}

// Bytes as spaced hex, so a failed comparison shows where they differ.
inline std::string Shown(const QByteArray &bytes)
{
    return bytes.toHex(' ').toStdString();
}

// Blocking peer-side I/O with a time-out; a peer thread must never hang a test.
[[nodiscard]] inline bool WaitReadable(int fd, int timeoutMs)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0;
}

inline QByteArray ReadExactly(int fd, int count, int timeoutMs = 5000)
{
    QByteArray data;
    while (data.size() < count && WaitReadable(fd, timeoutMs)) {
        char chunk[4096];
        const ssize_t got = ::recv(fd, chunk, qMin<qsizetype>(sizeof chunk, count - data.size()), 0);
        if (got <= 0)
            break;
        data.append(chunk, int(got));
    }
    return data;
}

// Reads until the peer closes; false when timeoutMs pass without a word first.
[[nodiscard]] inline bool ReadUntilClosed(int fd, QByteArray *data = nullptr, int timeoutMs = 10000)
{
    while (WaitReadable(fd, timeoutMs)) {
        char chunk[4096];
        const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
        if (got <= 0)
            return true;
        if (data)
            data->append(chunk, int(got));
    }
    return false;
}

inline bool WriteAll(int fd, const QByteArray &data)
{
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t put = ::send(fd, data.constData() + done, size_t(data.size() - done), MSG_NOSIGNAL);
        if (put <= 0)
            return false;
        done += put;
    }
    return true;
}

// A listening TCP socket on 127.0.0.1, port chosen by the kernel.
class TListener
{
public:
    TListener()
    {
        FFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(FFd, reinterpret_cast<sockaddr *>(&a), sizeof a);
        ::listen(FFd, 16);
        socklen_t len = sizeof a;
        ::getsockname(FFd, reinterpret_cast<sockaddr *>(&a), &len);
        FPort = ntohs(a.sin_port);
    }
    ~TListener() { ::close(FFd); }
    TListener(const TListener &) = delete;
    TListener &operator=(const TListener &) = delete;

    quint16 Port() const { return FPort; }
    QString PortText() const { return QString::number(FPort); }
    // -1 when nobody connects within the time-out.
    int Accept(int timeoutMs = 5000)
    {
        if (!WaitReadable(FFd, timeoutMs))
            return -1;
        return ::accept4(FFd, nullptr, nullptr, SOCK_CLOEXEC);
    }

private:
    int FFd = -1;
    quint16 FPort = 0;
};

// A port that was free a moment ago, for a server process that wants one on its command line.
inline quint16 FreePort()
{
    TListener probe;
    return probe.Port();
}

// One connection served by Script on a thread; Join waits for it.
class TScriptedPeer
{
public:
    using TScript = std::function<void(int fd)>;
    explicit TScriptedPeer(TScript script)
        : FThread([this, script = std::move(script)] {
              const int fd = FListener.Accept();
              if (fd < 0)
                  return;
              script(fd);
              ::close(fd);
          })
    {
    }
    ~TScriptedPeer() { Join(); }
    quint16 Port() const { return FListener.Port(); }
    QString PortText() const { return FListener.PortText(); }
    void Join()
    {
        if (FThread.joinable())
            FThread.join();
    }

private:
    TListener FListener;  // made before the thread starts accepting
    std::thread FThread;
};

// Echoes every connection back until the server is destroyed.
class TEchoServer
{
public:
    TEchoServer()
        : FThread([this] {
              while (!FStop) {
                  const int fd = FListener.Accept(50);
                  if (fd < 0)
                      continue;
                  std::thread([fd] {
                      while (WaitReadable(fd, 10000)) {
                          char chunk[4096];
                          const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
                          if (got <= 0 || !WriteAll(fd, QByteArray(chunk, int(got))))
                              break;
                      }
                      ::close(fd);
                  }).detach();
              }
          })
    {
    }
    ~TEchoServer()
    {
        FStop = true;
        FThread.join();
    }
    quint16 Port() const { return FListener.Port(); }
    QString PortText() const { return FListener.PortText(); }

private:
    TListener FListener;
    std::atomic<bool> FStop{false};
    std::thread FThread;
};

// A server program run for one test, stopped when this goes.
class TPeerProcess
{
public:
    ~TPeerProcess()
    {
        if (FProcess.state() != QProcess::NotRunning) {
            FProcess.terminate();
            if (!FProcess.waitForFinished(3000)) {
                FProcess.kill();
                FProcess.waitForFinished(3000);
            }
        }
    }
    // True once the program listens on 127.0.0.1:port.
    bool Start(const QString &program, const QStringList &arguments, quint16 port)
    {
        FProcess.setProcessChannelMode(QProcess::MergedChannels);
        FProcess.start(program, arguments);
        if (!FProcess.waitForStarted(5000))
            return false;
        for (int tries = 0; tries < 100; ++tries) {
            if (FProcess.state() == QProcess::NotRunning)
                return false;
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(port);
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            const bool up = ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
            ::close(fd);
            if (up)
                return true;
            FProcess.waitForFinished(50);
        }
        return false;
    }
    QString Output() { return QString::fromLocal8Bit(FProcess.readAll()); }

private:
    QProcess FProcess;
};

}  // namespace LayersPeers
