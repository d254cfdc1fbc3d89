// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the socket descriptor in the manner of Windows Sockets: calls, readiness, look-ups.
//
// Every call returns -1 (or a non-zero error) on failure and leaves the Winsock number of the
// failure in LastError(), per thread, as WSAGetLastError does: errno is mapped (ECONNREFUSED ->
// 10061 and so on) so that the socket layer's error texts stay those of Windows Sockets. Sockets
// are IPv4, non-blocking and close-on-exec; sends never raise SIGPIPE (MSG_NOSIGNAL).
//
// TSocketSelect stands in for WSAAsyncSelect: it watches one descriptor with QSocketNotifiers on
// the thread that made it and reports the Winsock events FD_READ, FD_WRITE, FD_ACCEPT, FD_CONNECT
// and FD_CLOSE with Winsock's re-enabling rules: FD_READ and FD_ACCEPT come again only after a
// Recv or Accept, FD_WRITE once after a connect or a SetMask and again only after a send that
// would have blocked or took only part of its bytes, FD_CLOSE once. The handler runs inside the notifier's activation: it should
// post, not act (the socket layer posts itself a message).
//
// THostLookup stands in for WSAAsyncGetHostByName/-Addr: getaddrinfo runs on a worker thread and
// the result is delivered on the thread of the context object, never blocking it.
// Knows no HTTP and nothing of the socket component above it.
#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QSocketNotifier;

namespace PosixSocket {

// Windows Sockets error numbers used by the layers above.
enum : int {
    WSAEINTR = 10004,
    WSAEBADF = 10009,
    WSAEACCES = 10013,
    WSAEFAULT = 10014,
    WSAEINVAL = 10022,
    WSAEMFILE = 10024,
    WSAEWOULDBLOCK = 10035,
    WSAEINPROGRESS = 10036,
    WSAEALREADY = 10037,
    WSAENOTSOCK = 10038,
    WSAEDESTADDRREQ = 10039,
    WSAEMSGSIZE = 10040,
    WSAEPROTOTYPE = 10041,
    WSAENOPROTOOPT = 10042,
    WSAEPROTONOSUPPORT = 10043,
    WSAESOCKTNOSUPPORT = 10044,
    WSAEOPNOTSUPP = 10045,
    WSAEPFNOSUPPORT = 10046,
    WSAEAFNOSUPPORT = 10047,
    WSAEADDRINUSE = 10048,
    WSAEADDRNOTAVAIL = 10049,
    WSAENETDOWN = 10050,
    WSAENETUNREACH = 10051,
    WSAENETRESET = 10052,
    WSAECONNABORTED = 10053,
    WSAECONNRESET = 10054,
    WSAENOBUFS = 10055,
    WSAEISCONN = 10056,
    WSAENOTCONN = 10057,
    WSAESHUTDOWN = 10058,
    WSAETOOMANYREFS = 10059,
    WSAETIMEDOUT = 10060,
    WSAECONNREFUSED = 10061,
    WSAELOOP = 10062,
    WSAENAMETOOLONG = 10063,
    WSAEHOSTDOWN = 10064,
    WSAEHOSTUNREACH = 10065,
    WSAENOTEMPTY = 10066,
    WSAEPROCLIM = 10067,
    WSAEUSERS = 10068,
    WSAEDQUOT = 10069,
    WSAESTALE = 10070,
    WSAEREMOTE = 10071,
    WSASYSNOTREADY = 10091,
    WSAVERNOTSUPPORTED = 10092,
    WSANOTINITIALISED = 10093,
    WSAHOST_NOT_FOUND = 11001,
    WSATRY_AGAIN = 11002,
    WSANO_RECOVERY = 11003,
    WSANO_DATA = 11004,
};

// Winsock event bits of WSAAsyncSelect.
enum : int { FD_READ = 0x01, FD_WRITE = 0x02, FD_OOB = 0x04, FD_ACCEPT = 0x08, FD_CONNECT = 0x10, FD_CLOSE = 0x20 };

// Winsock socket types.
enum : int { SOCK_STREAM_W = 1, SOCK_DGRAM_W = 2, SOCK_RAW_W = 3 };

constexpr int InvalidSocket = -1;

// An IPv4 socket address; Port and Addr in network order, as in sockaddr_in.
struct TSockAddrIn {
    quint16 Family = 2;
    quint16 Port = 0;
    quint32 Addr = 0;
};

// errno -> Winsock number (0 stays 0; an errno with no Winsock twin gives WSAEINVAL).
int WinsockError(int err);
// getaddrinfo's EAI_* -> Winsock number (11001 host not found and its neighbours).
int LookupError(int eaiError);

int LastError();
void SetLastError(int Error);

quint16 HostToNet16(quint16 v);
quint16 NetToHost16(quint16 v);

// Winsock type (1 stream, 2 datagram, 3 raw) and protocol number.
int Socket(int Type, int Protocol);
int CloseSocket(int S);
int Bind(int S, const TSockAddrIn &Addr);
int Listen(int S, int Backlog);
// The accepted descriptor is non-blocking too; Peer may be nullptr.
int Accept(int S, TSockAddrIn *Peer);
// A connect still under way fails with WSAEWOULDBLOCK, as a non-blocking Winsock connect does.
int Connect(int S, const TSockAddrIn &Addr);
// Flags: 1 sends out-of-band. A send that would block, or takes only part, arms FD_WRITE.
int Send(int S, const void *Data, int Len, int Flags);
int SendTo(int S, const void *Data, int Len, int Flags, const TSockAddrIn &To);
// A receive re-arms FD_READ.
int Recv(int S, void *Buffer, int Len, int Flags);
int RecvFrom(int S, void *Buffer, int Len, int Flags, TSockAddrIn *From);
// How: 0 receiving side, 1 sending side, 2 both.
int Shutdown(int S, int How);
// FIONREAD: bytes that wait to be read.
int BytesAvailable(int S, int &Count);
int GetSockName(int S, TSockAddrIn &Addr);
int GetPeerName(int S, TSockAddrIn &Addr);

int SendBufferSize(int S, int &Size);
int ReceiveBufferSize(int S, int &Size);
int SetReuseAddr(int S, bool On);
int SetTcpNoDelay(int S, bool On);
int SetBroadcast(int S, bool On);
// On with Seconds 0 makes the close reset the connection and drop what is unsent.
int SetLinger(int S, bool On, int Seconds);
int SetKeepAlive(int S, bool On);
// Idle time and probe interval in milliseconds (rounded up to whole seconds).
int SetKeepAliveValues(int S, int TimeMs, int IntervalMs);
int SetMulticastTtl(int S, int Ttl);
int SetMulticastInterface(int S, quint32 Addr);
int AddMembership(int S, quint32 Group, quint32 Interface);

// inet_addr: a dotted text to an address in network order; 0xFFFFFFFF when it is none.
quint32 InetAddr(const QByteArray &Text);
// inet_ntoa of an address in network order.
QString InetNtoa(quint32 Addr);

// Blocking look-ups; each returns 0 or a Winsock number.
int GetHostByName(const QString &Name, QList<quint32> &Addrs);
int GetHostByAddr(quint32 Addr, QString &Name, QStringList &Aliases);
// Port in host order; Proto may be empty (any protocol).
int GetServByName(const QString &Name, const QString &Proto, quint16 &Port);
int GetProtoByName(const QString &Name, int &Protocol);
int GetHostName(QString &Name);

} // namespace PosixSocket

class TSocketSelect : public QObject
{
    Q_OBJECT

public:
    using THandler = std::function<void(int Socket, int Event, int Error)>;

    // Watches S on the calling thread; nothing is reported before SetMask.
    TSocketSelect(int S, THandler Handler, QObject *Parent = nullptr);
    ~TSocketSelect() override;

    int Socket() const { return FSocket; }
    int Mask() const { return FMask; }
    // 0 stops every report; a mask with FD_WRITE on a connected socket reports FD_WRITE once.
    void SetMask(int Mask);

    // Called through the descriptor calls of PosixSocket.
    void ReArmRead();
    void ArmWrite();
    void NoteConnecting();

private:
    void ReadReady();
    void WriteReady();
    void Update();
    void Report(int Event, int Error);

    int FSocket;
    THandler FHandler;
    int FMask = 0;
    QSocketNotifier *FReadNotifier = nullptr;
    QSocketNotifier *FWriteNotifier = nullptr;
    bool FReadArmed = true;
    bool FWriteArmed = false;
    bool FConnecting = false;
    bool FClosed = false;
};

class THostLookup
{
public:
    // Error 0 or a Winsock number; by name: Addrs (network order); by address: Name and Aliases.
    using TDone = std::function<void(int Handle, int Error, const QList<quint32> &Addrs, const QString &Name,
                                     const QStringList &Aliases)>;

    // Starts a look-up on a worker thread; Done runs later on Context's thread (never inside this
    // call) unless Cancel came first. Returns the request's handle (> 0). Cancel before Context dies.
    static int ByName(const QString &Name, QObject *Context, TDone Done);
    static int ByAddr(quint32 Addr, QObject *Context, TDone Done);
    // After Cancel the request's Done does not run; a handle already finished is simply forgotten.
    static void Cancel(int Handle);
};
