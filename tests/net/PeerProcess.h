// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: starts a real peer program (nginx, squid, tinyproxy, danted, microsocks) on 127.0.0.1 for a test.
//
// Each peer gets a free port and its configuration in its own QTemporaryDir, is waited for until it
// accepts connections, and is stopped (terminated, then killed) by Stop() or the destructor.
// Usage:
//   TestPeers::TPeerProcess nginx;
//   nginx.WriteFile("html/a.txt", "hello");
//   if (!TestPeers::StartNginx(nginx) && nginx.Missing()) VASKIMO_MISSING(nginx.Why());   // support/Needs.h
//   ... connect to 127.0.0.1:nginx.Port() ...
// A Start... function returns false with Why() saying so when the program is not installed or
// does not come up; tests skip only for a missing program and fail otherwise.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace TestPeers {

// A port on 127.0.0.1 that nobody listens on right now.
inline quint16 FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sin;
    quint16 port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&sin), sizeof sin) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&sin), &len) == 0)
        port = ntohs(sin.sin_port);
    ::close(fd);
    return port;
}

// True when a TCP connection to 127.0.0.1:port is accepted within timeoutMs.
inline bool Accepts(quint16 port, int timeoutMs = 200)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_port = htons(port);
    sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&sin), sizeof sin) == 0;
    if (!ok && errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        int err = 0;
        socklen_t len = sizeof err;
        ok = ::poll(&p, 1, timeoutMs) == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0;
    }
    ::close(fd);
    return ok;
}

class TPeerProcess
{
public:
    TPeerProcess() { FPort = FreePort(); }
    ~TPeerProcess() { Stop(); }
    TPeerProcess(const TPeerProcess &) = delete;
    TPeerProcess &operator=(const TPeerProcess &) = delete;

    quint16 Port() const { return FPort; }
    QString PortText() const { return QString::number(FPort); }
    QString Dir() const { return FDir.path(); }
    QString Path(const QString &relative) const { return FDir.filePath(relative); }
    QString Why() const { return FWhy; }
    bool Running() const { return FProcess.state() != QProcess::NotRunning; }

    // Writes a file below Dir(), making its folders.
    bool WriteFile(const QString &relative, const QByteArray &bytes) const
    {
        const QString path = Path(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
    }

    // Starts program with arguments (working folder Dir()) and waits until it accepts on Port().
    bool Start(const QString &program, const QStringList &arguments, int timeoutMs = 15000)
    {
        Stop();
        if (!QFileInfo(program).isExecutable()) {
            FWhy = program + " is not installed";
            FMissing = true;
            return false;
        }
        FProcess.setProgram(program);
        FProcess.setArguments(arguments);
        FProcess.setWorkingDirectory(Dir());
        FProcess.setProcessChannelMode(QProcess::MergedChannels);
        FProcess.start();
        if (!FProcess.waitForStarted(5000)) {
            FWhy = program + " did not start: " + FProcess.errorString();
            return false;
        }
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeoutMs) {
            if (Accepts(FPort))
                return true;
            if (FProcess.state() == QProcess::NotRunning)
                break;
            FProcess.waitForFinished(50);
        }
        FWhy = program + " does not accept on 127.0.0.1:" + PortText() + ": " + Output();
        Stop();
        return false;
    }

    // True when the last Start failed only because the program is missing (a reason to skip).
    bool Missing() const { return FMissing; }

    QString Output()
    {
        FOutput += QString::fromLocal8Bit(FProcess.readAll());
        return FOutput;
    }

    void Stop()
    {
        if (FProcess.state() == QProcess::NotRunning)
            return;
        FProcess.terminate();
        if (!FProcess.waitForFinished(5000)) {
            FProcess.kill();
            FProcess.waitForFinished(2000);
        }
        Output();
    }

private:
    QTemporaryDir FDir;
    QProcess FProcess;
    quint16 FPort = 0;
    QString FWhy;
    QString FOutput;
    bool FMissing = false;
};

inline bool RunningAsRoot()
{
    return ::geteuid() == 0;
}

// nginx serving Dir()/html (write the files before or after starting) on Port().
inline bool StartNginx(TPeerProcess &peer)
{
    const QString d = peer.Dir();
    QDir().mkpath(peer.Path("html"));
    QDir().mkpath(peer.Path("temp"));
    const QString conf = QStringLiteral(
                             "%1"
                             "worker_processes 1;\n"
                             "error_log %2/error.log;\n"
                             "pid %2/nginx.pid;\n"
                             "events { worker_connections 64; }\n"
                             "http {\n"
                             "  access_log %2/access.log;\n"
                             "  client_body_temp_path %2/temp/body;\n"
                             "  proxy_temp_path %2/temp/proxy;\n"
                             "  fastcgi_temp_path %2/temp/fastcgi;\n"
                             "  uwsgi_temp_path %2/temp/uwsgi;\n"
                             "  scgi_temp_path %2/temp/scgi;\n"
                             "  default_type application/octet-stream;\n"
                             "  server {\n"
                             "    listen 127.0.0.1:%3;\n"
                             "    root %2/html;\n"
                             "  }\n"
                             "}\n")
                             .arg(RunningAsRoot() ? QStringLiteral("user root;\n") : QString(), d, peer.PortText());
    peer.WriteFile("nginx.conf", conf.toUtf8());
    return peer.Start("/usr/sbin/nginx", {"-p", d, "-c", peer.Path("nginx.conf"), "-g", "daemon off;"});
}

// tinyproxy, an HTTP proxy; with a user name it asks for Basic authentication.
inline bool StartTinyproxy(TPeerProcess &peer, const QString &user = {}, const QString &password = {})
{
    QString conf = QStringLiteral("Port %1\nListen 127.0.0.1\nTimeout 30\nMaxClients 16\nAllow 127.0.0.1\n"
                                  "LogFile \"%2/tinyproxy.log\"\nLogLevel Info\nPidFile \"%2/tinyproxy.pid\"\n")
                       .arg(peer.PortText(), peer.Dir());
    if (RunningAsRoot())
        conf += QStringLiteral("User root\nGroup root\n");
    if (!user.isEmpty())
        conf += QStringLiteral("BasicAuth %1 %2\n").arg(user, password);
    peer.WriteFile("tinyproxy.conf", conf.toUtf8());
    return peer.Start("/usr/bin/tinyproxy", {"-d", "-c", peer.Path("tinyproxy.conf")});
}

// microsocks, a SOCKS 5 server; with a user name it asks for user name and password.
inline bool StartMicrosocks(TPeerProcess &peer, const QString &user = {}, const QString &password = {})
{
    QStringList arguments{"-i", "127.0.0.1", "-p", peer.PortText()};
    if (!user.isEmpty())
        arguments << "-u" << user << "-P" << password;
    return peer.Start("/usr/bin/microsocks", arguments);
}

// Dante, a SOCKS 4 and 5 server without authentication.
inline bool StartDanted(TPeerProcess &peer)
{
    QString conf = QStringLiteral("logoutput: %1/danted.log\n"
                                  "internal: 127.0.0.1 port = %2\n"
                                  "external: 127.0.0.1\n"
                                  "clientmethod: none\n"
                                  "socksmethod: none\n")
                       .arg(peer.Dir(), peer.PortText());
    if (RunningAsRoot())
        conf += QStringLiteral("user.privileged: root\nuser.unprivileged: root\n");
    conf += QStringLiteral("client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
                           "socks pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n");
    peer.WriteFile("danted.conf", conf.toUtf8());
    return peer.Start("/usr/sbin/danted", {"-f", peer.Path("danted.conf"), "-p", peer.Path("danted.pid")});
}

// What a squid asks its clients for before it forwards a request.
struct TSquidAuth {
    bool Ntlm = false;   // through squid's own fake helper, which takes any user without a domain
    bool Basic = false;  // against a password file that knows "puser" with the password "ppass"
};

// squid, a caching HTTP proxy with its cache switched off; with auth it answers 407 until the
// client authenticates. As root it drops to its own user "proxy", which must read its files and
// write its logs into Dir(); its shared-memory names carry a service name of their own so that
// several squids (and stale segments) never meet.
// passwd: the Basic password file's lines (htpasswd form) in place of the "puser" one.
inline bool StartSquid(TPeerProcess &peer, TSquidAuth auth = {}, const QByteArray &passwd = {})
{
    QString rules;
    if (auth.Ntlm)
        rules += QStringLiteral("auth_param ntlm program /usr/lib/squid/ntlm_fake_auth\n"
                                "auth_param ntlm children 1\n");
    if (auth.Basic) {
        peer.WriteFile("passwd", passwd.isEmpty() ? QByteArray("puser:$apr1$abcdefgh$5eIgG5o1Gjwr2p9utBecW.\n") : passwd);
        QFile::setPermissions(peer.Path("passwd"), QFileDevice::Permissions(0x6644));
        rules += QStringLiteral("auth_param basic program /usr/lib/squid/basic_ncsa_auth %1/passwd\n"
                                "auth_param basic children 1\n")
                     .arg(peer.Dir());
    }
    if (auth.Ntlm || auth.Basic)
        rules += QStringLiteral("acl authed proxy_auth REQUIRED\nhttp_access allow localhost authed\n");
    else
        rules += QStringLiteral("http_access allow localhost\n");
    const QString conf = QStringLiteral("http_port 127.0.0.1:%1\n"
                                        "pid_filename %2/squid.pid\n"
                                        "cache_log %2/cache.log\n"
                                        "access_log %2/access.log\n"
                                        "cache deny all\n"
                                        "cache_mem 8 MB\n"
                                        "coredump_dir %2\n"
                                        "shutdown_lifetime 0 seconds\n"
                                        "pinger_enable off\n"
                                        "%3"
                                        "http_access deny all\n"
                                        "%4")
                             .arg(peer.PortText(), peer.Dir(), rules,
                                  RunningAsRoot() ? QStringLiteral("cache_effective_user proxy\n") : QString());
    peer.WriteFile("squid.conf", conf.toUtf8());
    if (RunningAsRoot())
        QFile::setPermissions(peer.Dir(), QFileDevice::Permissions(0x7777));
    const QString service = QStringLiteral("vk%1p%2").arg(::getpid()).arg(peer.Port());
    return peer.Start("/usr/sbin/squid", {"-N", "-n", service, "-f", peer.Path("squid.conf")}, 30000);
}

} // namespace TestPeers
