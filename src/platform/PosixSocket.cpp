// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the socket descriptor in the manner of Windows Sockets: calls, readiness, look-ups.
#include "platform/PosixSocket.h"

#include <QCoreApplication>
#include <QHash>
#include <QMetaObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace PosixSocket {

namespace {

thread_local int TheLastError = 0;

// The readiness watchers by descriptor, so that the descriptor calls can re-arm them as Winsock's
// re-enabling functions do.
// Never destroyed: a look-up thread may still finish while the process exits.
std::mutex &SelectLock = *new std::mutex;
QHash<int, TSocketSelect *> &Selects()
{
    static auto *selects = new QHash<int, TSocketSelect *>;
    return *selects;
}

// Descriptors whose sending side we shut ourselves: EPIPE there is "after shutdown", elsewhere the
// peer reset the connection.
std::mutex &ShutLock = *new std::mutex;
QHash<int, bool> &ShutForSending()
{
    static auto *shut = new QHash<int, bool>;
    return *shut;
}

template<typename F>
void WithSelect(int s, F f)
{
    QPointer<TSocketSelect> select;
    {
        std::lock_guard lock(SelectLock);
        select = Selects().value(s, nullptr);
    }
    if (!select)
        return;
    if (select->thread() == QThread::currentThread())
        f(select.data());
    else
        QMetaObject::invokeMethod(select.data(), [select, f] { if (select) f(select.data()); }, Qt::QueuedConnection);
}

int Fail(int err)
{
    TheLastError = WinsockError(err);
    return -1;
}

int Fail()
{
    return Fail(errno);
}

sockaddr_in ToNative(const TSockAddrIn &a)
{
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_port = a.Port;
    sin.sin_addr.s_addr = a.Addr;
    return sin;
}

TSockAddrIn FromNative(const sockaddr_in &sin)
{
    TSockAddrIn a;
    a.Family = 2;
    a.Port = sin.sin_port;
    a.Addr = sin.sin_addr.s_addr;
    return a;
}

int SetIntOption(int s, int level, int name, int value)
{
    if (::setsockopt(s, level, name, &value, sizeof value) != 0)
        return Fail();
    return 0;
}

int GetIntOption(int s, int level, int name, int &value)
{
    socklen_t len = sizeof value;
    if (::getsockopt(s, level, name, &value, &len) != 0)
        return Fail();
    return 0;
}

} // namespace

int WinsockError(int err)
{
    switch (err) {
    case 0: return 0;
    case EINTR: return WSAEINTR;
    case EBADF: return WSAENOTSOCK;
    case EACCES: case EPERM: return WSAEACCES;
    case EFAULT: return WSAEFAULT;
    case EINVAL: return WSAEINVAL;
    case EMFILE: case ENFILE: return WSAEMFILE;
#if EAGAIN != EWOULDBLOCK
    case EWOULDBLOCK:
#endif
    case EAGAIN: return WSAEWOULDBLOCK;
    case EINPROGRESS: return WSAEINPROGRESS;
    case EALREADY: return WSAEALREADY;
    case ENOTSOCK: return WSAENOTSOCK;
    case EDESTADDRREQ: return WSAEDESTADDRREQ;
    case EMSGSIZE: return WSAEMSGSIZE;
    case EPROTOTYPE: return WSAEPROTOTYPE;
    case ENOPROTOOPT: return WSAENOPROTOOPT;
    case EPROTONOSUPPORT: return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT: return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP: return WSAEOPNOTSUPP;
    case EPFNOSUPPORT: return WSAEPFNOSUPPORT;
    case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case ENETDOWN: return WSAENETDOWN;
    case ENETUNREACH: return WSAENETUNREACH;
    case ENETRESET: return WSAENETRESET;
    case ECONNABORTED: return WSAECONNABORTED;
    case ECONNRESET: case EPIPE: return WSAECONNRESET;
    case ENOBUFS: case ENOMEM: return WSAENOBUFS;
    case EISCONN: return WSAEISCONN;
    case ENOTCONN: return WSAENOTCONN;
    case ESHUTDOWN: return WSAESHUTDOWN;
    case ETOOMANYREFS: return WSAETOOMANYREFS;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case ELOOP: return WSAELOOP;
    case ENAMETOOLONG: return WSAENAMETOOLONG;
    case EHOSTDOWN: return WSAEHOSTDOWN;
    case EHOSTUNREACH: return WSAEHOSTUNREACH;
    case ENOTEMPTY: return WSAENOTEMPTY;
    case EUSERS: return WSAEUSERS;
    case EDQUOT: return WSAEDQUOT;
    case ESTALE: return WSAESTALE;
    case EREMOTE: return WSAEREMOTE;
    default: return WSAEINVAL;
    }
}

int LookupError(int eaiError)
{
    switch (eaiError) {
    case 0: return 0;
    case EAI_NONAME: return WSAHOST_NOT_FOUND;
#ifdef EAI_NODATA
    case EAI_NODATA: return WSANO_DATA;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY: return WSANO_DATA;
#endif
    case EAI_AGAIN: return WSATRY_AGAIN;
    case EAI_MEMORY: return WSAENOBUFS;
    case EAI_SYSTEM: return WinsockError(errno);
    default: return WSANO_RECOVERY;
    }
}

int LastError() { return TheLastError; }
void SetLastError(int Error) { TheLastError = Error; }

quint16 HostToNet16(quint16 v) { return htons(v); }
quint16 NetToHost16(quint16 v) { return ntohs(v); }

int Socket(int Type, int Protocol)
{
    int type = 0;
    switch (Type) {
    case SOCK_STREAM_W: type = SOCK_STREAM; break;
    case SOCK_DGRAM_W: type = SOCK_DGRAM; break;
    case SOCK_RAW_W: type = SOCK_RAW; break;
    default: return Fail(ESOCKTNOSUPPORT);
    }
    const int s = ::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, Protocol);
    if (s < 0)
        return Fail();
    {
        std::lock_guard lock(ShutLock);
        ShutForSending().remove(s);
    }
    return s;
}

int CloseSocket(int S)
{
    {
        std::lock_guard lock(SelectLock);
        if (TSocketSelect *select = Selects().value(S, nullptr)) {
            Selects().remove(S);
            Q_UNUSED(select);
        }
    }
    {
        std::lock_guard lock(ShutLock);
        ShutForSending().remove(S);
    }
    if (S < 0)
        return Fail(EBADF);
    // Linux closes the descriptor even when close reports EINTR: never retry.
    if (::close(S) != 0 && errno != EINTR)
        return Fail();
    return 0;
}

int Bind(int S, const TSockAddrIn &Addr)
{
    const sockaddr_in sin = ToNative(Addr);
    if (::bind(S, reinterpret_cast<const sockaddr *>(&sin), sizeof sin) != 0)
        return Fail();
    return 0;
}

int Listen(int S, int Backlog)
{
    if (::listen(S, Backlog) != 0)
        return Fail();
    return 0;
}

int Accept(int S, TSockAddrIn *Peer)
{
    sockaddr_in sin{};
    socklen_t len = sizeof sin;
    const int a = ::accept4(S, reinterpret_cast<sockaddr *>(&sin), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    const int err = errno;
    WithSelect(S, [](TSocketSelect *select) { select->ReArmRead(); });
    if (a < 0)
        return Fail(err);
    if (Peer)
        *Peer = FromNative(sin);
    return a;
}

int Connect(int S, const TSockAddrIn &Addr)
{
    const sockaddr_in sin = ToNative(Addr);
    int rc = ::connect(S, reinterpret_cast<const sockaddr *>(&sin), sizeof sin);
    while (rc != 0 && errno == EINTR)
        rc = ::connect(S, reinterpret_cast<const sockaddr *>(&sin), sizeof sin);
    const int err = rc == 0 ? 0 : errno;
    if (rc == 0 || err == EINPROGRESS)
        WithSelect(S, [](TSocketSelect *select) { select->NoteConnecting(); });
    if (rc == 0)
        return 0;
    return Fail(err == EINPROGRESS ? EWOULDBLOCK : err);
}

static int SendResult(int S, int len, ssize_t n, int err)
{
    // A send that took only part of the bytes found the buffer full too: FD_WRITE comes when it
    // has room again.
    if (n >= 0 && n < len)
        WithSelect(S, [](TSocketSelect *select) { select->ArmWrite(); });
    if (n >= 0)
        return int(n);
    if (err == EAGAIN || err == EWOULDBLOCK)
        WithSelect(S, [](TSocketSelect *select) { select->ArmWrite(); });
    if (err == EPIPE) {
        std::lock_guard lock(ShutLock);
        if (ShutForSending().value(S, false))
            return Fail(ESHUTDOWN);
    }
    return Fail(err);
}

int Send(int S, const void *Data, int Len, int Flags)
{
    const int flags = MSG_NOSIGNAL | ((Flags & 1) ? MSG_OOB : 0);
    ssize_t n;
    do
        n = ::send(S, Data, size_t(Len < 0 ? 0 : Len), flags);
    while (n < 0 && errno == EINTR);
    return SendResult(S, Len, n, n < 0 ? errno : 0);
}

int SendTo(int S, const void *Data, int Len, int Flags, const TSockAddrIn &To)
{
    const int flags = MSG_NOSIGNAL | ((Flags & 1) ? MSG_OOB : 0);
    const sockaddr_in sin = ToNative(To);
    ssize_t n;
    do
        n = ::sendto(S, Data, size_t(Len < 0 ? 0 : Len), flags, reinterpret_cast<const sockaddr *>(&sin), sizeof sin);
    while (n < 0 && errno == EINTR);
    return SendResult(S, Len, n, n < 0 ? errno : 0);
}

int Recv(int S, void *Buffer, int Len, int Flags)
{
    ssize_t n;
    do
        n = ::recv(S, Buffer, size_t(Len < 0 ? 0 : Len), (Flags & 1) ? MSG_OOB : 0);
    while (n < 0 && errno == EINTR);
    const int err = errno;
    WithSelect(S, [](TSocketSelect *select) { select->ReArmRead(); });
    if (n < 0)
        return Fail(err);
    return int(n);
}

int RecvFrom(int S, void *Buffer, int Len, int Flags, TSockAddrIn *From)
{
    sockaddr_in sin{};
    socklen_t len = sizeof sin;
    ssize_t n;
    do
        n = ::recvfrom(S, Buffer, size_t(Len < 0 ? 0 : Len), (Flags & 1) ? MSG_OOB : 0,
                       reinterpret_cast<sockaddr *>(&sin), &len);
    while (n < 0 && errno == EINTR);
    const int err = errno;
    WithSelect(S, [](TSocketSelect *select) { select->ReArmRead(); });
    if (n < 0)
        return Fail(err);
    if (From)
        *From = FromNative(sin);
    return int(n);
}

int Shutdown(int S, int How)
{
    const int how = How == 0 ? SHUT_RD : How == 1 ? SHUT_WR : SHUT_RDWR;
    if (::shutdown(S, how) != 0)
        return Fail();
    if (How != 0) {
        std::lock_guard lock(ShutLock);
        ShutForSending().insert(S, true);
    }
    return 0;
}

int BytesAvailable(int S, int &Count)
{
    int count = 0;
    if (::ioctl(S, FIONREAD, &count) != 0) {
        Count = 0;
        return Fail();
    }
    Count = count;
    return 0;
}

int GetSockName(int S, TSockAddrIn &Addr)
{
    sockaddr_in sin{};
    socklen_t len = sizeof sin;
    if (::getsockname(S, reinterpret_cast<sockaddr *>(&sin), &len) != 0)
        return Fail();
    Addr = FromNative(sin);
    return 0;
}

int GetPeerName(int S, TSockAddrIn &Addr)
{
    sockaddr_in sin{};
    socklen_t len = sizeof sin;
    if (::getpeername(S, reinterpret_cast<sockaddr *>(&sin), &len) != 0)
        return Fail();
    Addr = FromNative(sin);
    return 0;
}

int SendBufferSize(int S, int &Size) { return GetIntOption(S, SOL_SOCKET, SO_SNDBUF, Size); }
int ReceiveBufferSize(int S, int &Size) { return GetIntOption(S, SOL_SOCKET, SO_RCVBUF, Size); }
int SetReuseAddr(int S, bool On) { return SetIntOption(S, SOL_SOCKET, SO_REUSEADDR, On ? 1 : 0); }
int SetTcpNoDelay(int S, bool On) { return SetIntOption(S, IPPROTO_TCP, TCP_NODELAY, On ? 1 : 0); }
int SetBroadcast(int S, bool On) { return SetIntOption(S, SOL_SOCKET, SO_BROADCAST, On ? 1 : 0); }
int SetKeepAlive(int S, bool On) { return SetIntOption(S, SOL_SOCKET, SO_KEEPALIVE, On ? 1 : 0); }
int SetMulticastTtl(int S, int Ttl) { return SetIntOption(S, IPPROTO_IP, IP_MULTICAST_TTL, Ttl); }

int SetLinger(int S, bool On, int Seconds)
{
    linger l{};
    l.l_onoff = On ? 1 : 0;
    l.l_linger = Seconds < 0 ? 0 : Seconds;
    if (::setsockopt(S, SOL_SOCKET, SO_LINGER, &l, sizeof l) != 0)
        return Fail();
    return 0;
}

int SetKeepAliveValues(int S, int TimeMs, int IntervalMs)
{
    const int idle = TimeMs <= 0 ? 1 : (TimeMs + 999) / 1000;
    const int interval = IntervalMs <= 0 ? 1 : (IntervalMs + 999) / 1000;
    if (SetIntOption(S, IPPROTO_TCP, TCP_KEEPIDLE, idle) != 0)
        return -1;
    return SetIntOption(S, IPPROTO_TCP, TCP_KEEPINTVL, interval);
}

int SetMulticastInterface(int S, quint32 Addr)
{
    in_addr a{};
    a.s_addr = Addr;
    if (::setsockopt(S, IPPROTO_IP, IP_MULTICAST_IF, &a, sizeof a) != 0)
        return Fail();
    return 0;
}

int AddMembership(int S, quint32 Group, quint32 Interface)
{
    ip_mreq m{};
    m.imr_multiaddr.s_addr = Group;
    m.imr_interface.s_addr = Interface;
    if (::setsockopt(S, IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m) != 0)
        return Fail();
    return 0;
}

quint32 InetAddr(const QByteArray &Text)
{
    return ::inet_addr(Text.constData());
}

QString InetNtoa(quint32 Addr)
{
    const quint32 h = ntohl(Addr);
    return QStringLiteral("%1.%2.%3.%4").arg(h >> 24).arg((h >> 16) & 0xFF).arg((h >> 8) & 0xFF).arg(h & 0xFF);
}

int GetHostByName(const QString &Name, QList<quint32> &Addrs)
{
    Addrs.clear();
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *list = nullptr;
    const int rc = ::getaddrinfo(Name.toUtf8().constData(), nullptr, &hints, &list);
    if (rc != 0)
        return LookupError(rc);
    for (addrinfo *ai = list; ai; ai = ai->ai_next) {
        if (ai->ai_family != AF_INET || ai->ai_addr == nullptr)
            continue;
        const quint32 a = reinterpret_cast<const sockaddr_in *>(ai->ai_addr)->sin_addr.s_addr;
        if (!Addrs.contains(a))
            Addrs.append(a);
    }
    ::freeaddrinfo(list);
    return Addrs.isEmpty() ? int(WSANO_DATA) : 0;
}

int GetHostByAddr(quint32 Addr, QString &Name, QStringList &Aliases)
{
    Name.clear();
    Aliases.clear();
    in_addr a{};
    a.s_addr = Addr;
    hostent entry{};
    hostent *result = nullptr;
    int herr = 0;
    QByteArray buffer(8192, '\0');
    int rc;
    while ((rc = ::gethostbyaddr_r(&a, sizeof a, AF_INET, &entry, buffer.data(), size_t(buffer.size()), &result, &herr))
           == ERANGE && buffer.size() < (1 << 20))
        buffer.resize(buffer.size() * 2);
    if (rc != 0 || result == nullptr) {
        switch (herr) {
        case HOST_NOT_FOUND: return WSAHOST_NOT_FOUND;
        case TRY_AGAIN: return WSATRY_AGAIN;
        case NO_DATA: return WSANO_DATA;
        default: return WSANO_RECOVERY;
        }
    }
    Name = QString::fromUtf8(result->h_name);
    for (char **alias = result->h_aliases; alias && *alias; ++alias)
        Aliases.append(QString::fromUtf8(*alias));
    return 0;
}

int GetServByName(const QString &Name, const QString &Proto, quint16 &Port)
{
    servent entry{};
    servent *result = nullptr;
    QByteArray buffer(4096, '\0');
    const QByteArray name = Name.toUtf8();
    const QByteArray proto = Proto.toUtf8();
    const int rc = ::getservbyname_r(name.constData(), Proto.isEmpty() ? nullptr : proto.constData(), &entry,
                                     buffer.data(), size_t(buffer.size()), &result);
    if (rc != 0 || result == nullptr)
        return WSANO_DATA;
    Port = ntohs(quint16(result->s_port));
    return 0;
}

int GetProtoByName(const QString &Name, int &Protocol)
{
    protoent entry{};
    protoent *result = nullptr;
    QByteArray buffer(4096, '\0');
    const QByteArray name = Name.toUtf8();
    const int rc = ::getprotobyname_r(name.constData(), &entry, buffer.data(), size_t(buffer.size()), &result);
    if (rc != 0 || result == nullptr)
        return WSANO_DATA;
    Protocol = result->p_proto;
    return 0;
}

int GetHostName(QString &Name)
{
    char buffer[256] = {};
    if (::gethostname(buffer, sizeof buffer - 1) != 0) {
        Fail();
        return TheLastError;
    }
    Name = QString::fromUtf8(buffer);
    return 0;
}

} // namespace PosixSocket

// ---- TSocketSelect ---------------------------------------------------------------------------------

using namespace PosixSocket;

TSocketSelect::TSocketSelect(int S, THandler Handler, QObject *Parent)
    : QObject(Parent)
    , FSocket(S)
    , FHandler(std::move(Handler))
{
    FReadNotifier = new QSocketNotifier(qintptr(S), QSocketNotifier::Read, this);
    FWriteNotifier = new QSocketNotifier(qintptr(S), QSocketNotifier::Write, this);
    FReadNotifier->setEnabled(false);
    FWriteNotifier->setEnabled(false);
    connect(FReadNotifier, &QSocketNotifier::activated, this, [this] { ReadReady(); });
    connect(FWriteNotifier, &QSocketNotifier::activated, this, [this] { WriteReady(); });
    // A socket that is already connected (accepted, adopted) has its FD_WRITE owed.
    TSockAddrIn peer;
    const int saved = LastError();
    FWriteArmed = GetPeerName(S, peer) == 0;
    SetLastError(saved);
    std::lock_guard lock(SelectLock);
    Selects().insert(S, this);
}

TSocketSelect::~TSocketSelect()
{
    std::lock_guard lock(SelectLock);
    if (Selects().value(FSocket, nullptr) == this)
        Selects().remove(FSocket);
}

void TSocketSelect::SetMask(int Mask)
{
    FMask = Mask;
    if (Mask & FD_WRITE) {
        TSockAddrIn peer;
        const int saved = LastError();
        if (!FConnecting && GetPeerName(FSocket, peer) == 0)
            FWriteArmed = true;
        SetLastError(saved);
    }
    FReadArmed = true;
    Update();
}

void TSocketSelect::ReArmRead()
{
    FReadArmed = true;
    Update();
}

void TSocketSelect::ArmWrite()
{
    FWriteArmed = true;
    Update();
}

void TSocketSelect::NoteConnecting()
{
    FConnecting = true;
    Update();
}

void TSocketSelect::Update()
{
    const bool wantRead = (FMask & (FD_READ | FD_ACCEPT | FD_CLOSE | FD_OOB)) != 0 && FReadArmed && !FClosed
                          && !FConnecting;
    const bool wantWrite = FConnecting ? (FMask & (FD_CONNECT | FD_WRITE)) != 0
                                       : (FMask & FD_WRITE) != 0 && FWriteArmed && !FClosed;
    FReadNotifier->setEnabled(wantRead);
    FWriteNotifier->setEnabled(wantWrite);
}

void TSocketSelect::Report(int Event, int Error)
{
    if ((FMask & Event) && FHandler)
        FHandler(FSocket, Event, Error);
}

void TSocketSelect::ReadReady()
{
    FReadArmed = false;
    int accepting = 0;
    socklen_t len = sizeof accepting;
    const int saved = LastError();
    if (::getsockopt(FSocket, SOL_SOCKET, SO_ACCEPTCONN, &accepting, &len) == 0 && accepting) {
        Update();
        Report(FD_ACCEPT, 0);
        return;
    }
    int type = SOCK_STREAM;
    len = sizeof type;
    ::getsockopt(FSocket, SOL_SOCKET, SO_TYPE, &type, &len);
    int waiting = 0;
    BytesAvailable(FSocket, waiting);
    if (type != SOCK_STREAM || waiting > 0) {
        SetLastError(saved);
        Update();
        Report(FD_READ, 0);
        return;
    }
    // Readable with nothing to read: the peer closed, or the connection failed.
    char probe;
    const ssize_t n = ::recv(FSocket, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    const int err = errno;
    SetLastError(saved);
    if (n > 0) {
        Update();
        Report(FD_READ, 0);
    } else if (n == 0 || (err != EAGAIN && err != EWOULDBLOCK && err != EINTR)) {
        FClosed = true;
        Update();
        Report(FD_CLOSE, n == 0 ? 0 : WinsockError(err));
    } else {
        FReadArmed = true;
        Update();
    }
}

void TSocketSelect::WriteReady()
{
    if (FConnecting) {
        FConnecting = false;
        int err = 0;
        socklen_t len = sizeof err;
        ::getsockopt(FSocket, SOL_SOCKET, SO_ERROR, &err, &len);
        if (err != 0) {
            FClosed = true;
            FWriteArmed = false;
            Update();
            Report(FD_CONNECT, WinsockError(err));
            return;
        }
        FWriteArmed = false;
        Update();
        Report(FD_CONNECT, 0);
        Report(FD_WRITE, 0);
        return;
    }
    FWriteArmed = false;
    Update();
    Report(FD_WRITE, 0);
}

// ---- THostLookup ---------------------------------------------------------------------------------------

namespace {

// Never destroyed: a cancelled look-up's thread may finish after the process began to exit.
std::mutex &LookupLock = *new std::mutex;
int LastLookupHandle = 0;
QHash<int, bool> &PendingLookups()
{
    static auto *pending = new QHash<int, bool>;
    return *pending;
}

struct TLookupResult {
    int Error = 0;
    QList<quint32> Addrs;
    QString Name;
    QStringList Aliases;
};

int StartLookup(QObject *context, THostLookup::TDone done, std::function<TLookupResult()> work)
{
    int handle;
    {
        std::lock_guard lock(LookupLock);
        do
            handle = LastLookupHandle = (LastLookupHandle % 0x7FFFFFFF) + 1;
        while (PendingLookups().contains(handle));
        PendingLookups().insert(handle, true);
    }
    std::thread([handle, context, done = std::move(done), work = std::move(work)] {
        TLookupResult result = work();
        std::lock_guard lock(LookupLock);
        // The context lives as long as the request is pending: its owner cancels before it dies.
        if (!PendingLookups().contains(handle))
            return;
        QMetaObject::invokeMethod(
            context,
            [handle, done, result] {
                {
                    std::lock_guard lock(LookupLock);
                    if (!PendingLookups().remove(handle))
                        return;
                }
                done(handle, result.Error, result.Addrs, result.Name, result.Aliases);
            },
            Qt::QueuedConnection);
    }).detach();
    return handle;
}

} // namespace

int THostLookup::ByName(const QString &Name, QObject *Context, TDone Done)
{
    return StartLookup(Context, std::move(Done), [Name] {
        TLookupResult r;
        r.Error = GetHostByName(Name, r.Addrs);
        return r;
    });
}

int THostLookup::ByAddr(quint32 Addr, QObject *Context, TDone Done)
{
    return StartLookup(Context, std::move(Done), [Addr] {
        TLookupResult r;
        r.Error = GetHostByAddr(Addr, r.Name, r.Aliases);
        return r;
    });
}

void THostLookup::Cancel(int Handle)
{
    std::lock_guard lock(LookupLock);
    PendingLookups().remove(Handle);
}
