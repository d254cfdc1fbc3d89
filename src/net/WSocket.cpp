// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: TCustomWSocket, the event-driven socket.
#include "net/WSocket.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <mutex>

using namespace PosixSocket;

namespace {

// One lock for the send queues of all sockets, so that another thread may queue while the owner sends.
std::recursive_mutex SendLock;

QString Hex8(const void *p)
{
    return QStringLiteral("%1").arg(quintptr(p), 8, 16, QLatin1Char('0')).toUpper();
}

// A connect that fails at once on Linux (loopback refusals) fails through FD_CONNECT on Windows.
bool IsConnectOutcome(int error)
{
    return error == WSAECONNREFUSED || error == WSAENETUNREACH || error == WSAEHOSTUNREACH
           || error == WSAETIMEDOUT;
}

} // namespace

// ---- TCustomWSocket: life ---------------------------------------------------------------------------

TCustomWSocket::TCustomWSocket(QObject *AOwner)
    : QObject(AOwner)
{
    AllocateHiddenWindow();
    FDnsResultList.clear();
    FMultiCastIpTTL = 1;
    FListenBacklog = 5;
    FBufferedByteCount = 0;
    TCustomWSocket::ResetToDefaults();
    FKeepAliveOnOff = wsKeepAliveOnSystem;
    FKeepAliveTime = 30000;
    FKeepAliveInterval = 1000;
    WSocketRegisterSocket();
}

TCustomWSocket::~TCustomWSocket()
{
    FDestroying = true;
    CancelLookup();
    try {
        if (FState != wsClosed)
            Close();
    } catch (const std::exception &) {
    }
    CloseDescriptor();
    WSocketUnregisterSocket();
    DropSendQueue();
    ReleaseHiddenWindow();
    *FAlive = false;
}

void TCustomWSocket::AllocateHiddenWindow()
{
    FWindowHandle = new THiddenWindow([this](TMessage &m) { MessageArrived(m); });
    FThreadId = QThread::currentThreadId();
}

void TCustomWSocket::ReleaseHiddenWindow()
{
    delete FSelect;
    FSelect = nullptr;
    if (!FWindowHandle)
        return;
    FWindowHandle->ClearWndProc();
    // Released from inside one of its own messages: let the window finish that message first.
    if (FDispatchDepth > 0)
        FWindowHandle->deleteLater();
    else
        delete FWindowHandle;
    FWindowHandle = nullptr;
}

void TCustomWSocket::PostMessage(unsigned Msg, quintptr WParam, qintptr LParam)
{
    if (FWindowHandle)
        FWindowHandle->PostMessage(Msg, WParam, LParam);
}

void TCustomWSocket::MessageArrived(TMessage &Message)
{
    // The socket may be destroyed by a handler that this message runs.
    const std::shared_ptr<bool> alive = FAlive;
    ++FDispatchDepth;
    try {
        WndProc(Message);
    } catch (const std::exception &e) {
        if (*alive)
            HandleEventException(e);
    }
    if (*alive)
        --FDispatchDepth;
}

void TCustomWSocket::WndProc(TMessage &Message)
{
    switch (Message.Msg) {
    case WM_ASYNCSELECT: {
        const int events = LoWord(Message.LParam);
        if (LogEnabled(loWsockDump)) {
            QString names;
            if (events & FD_CONNECT) names += QStringLiteral(" FD_CONNECT");
            if (events & FD_READ) names += QStringLiteral(" FD_READ");
            if (events & FD_WRITE) names += QStringLiteral(" FD_WRITE");
            if (events & FD_CLOSE) names += QStringLiteral(" FD_CLOSE");
            if (events & FD_ACCEPT) names += QStringLiteral(" FD_ACCEPT");
            Log(loWsockDump, QStringLiteral("AsyncSelect CtrlSocket%1, %2%3").arg(qintptr(Message.WParam)).arg(events).arg(names));
        }
        if (FHSocket == INVALID_SOCKET || Message.WParam != quintptr(FHSocket) || FPaused)
            return;
        const TSocket socket = FHSocket;
        const std::shared_ptr<bool> alive = FAlive;
        // A handler may close, pause or destroy the socket: the rest of the message is then void.
        auto stillOurs = [&] { return *alive && FHSocket == socket && !FPaused; };
        const struct {
            int Bit;
            void (TCustomWSocket::*Handle)(TMessage &);
        } handlers[] = {
            {FD_CONNECT, &TCustomWSocket::HandleConnectEvent}, {FD_READ, &TCustomWSocket::HandleReadEvent},
            {FD_WRITE, &TCustomWSocket::HandleWriteEvent},     {FD_ACCEPT, &TCustomWSocket::HandleAcceptEvent},
            {FD_CLOSE, &TCustomWSocket::HandleCloseEvent},
        };
        for (const auto &h : handlers) {
            if ((events & h.Bit) && stillOurs()) {
                FSelectMessage = h.Bit;
                (this->*h.Handle)(Message);
            }
        }
        if (!*alive)
            return;
        FSelectMessage = 0;
        return;
    }
    case WM_ASYNCGETHOSTBYNAME:
    case WM_ASYNCGETHOSTBYADDR: {
        if (FDnsLookupHandle == 0 || Message.WParam != quintptr(FDnsLookupHandle))
            return;
        FDnsLookupHandle = 0;
        const int error = HiWord(Message.LParam);
        if (error == 0) {
            if (Message.Msg == WM_ASYNCGETHOSTBYNAME) {
                for (quint32 a : std::as_const(FLookupAddrs))
                    FDnsResultList.append(InetNtoa(a));
            } else {
                FDnsResultList.append(FLookupName);
                FDnsResultList.append(FLookupAliases);
            }
            if (!FDnsResultList.isEmpty())
                FDnsResult = FDnsResultList.first();
        }
        FLookupAddrs.clear();
        FLookupName.clear();
        FLookupAliases.clear();
        TriggerDnsLookupDone(quint16(error));
        return;
    }
    case WM_CLOSE_DELAYED:
        Close();
        return;
    case WM_WSOCKET_RELEASE:
        delete this;
        return;
    case WM_TRIGGER_EXCEPTION:
        throw ESocketException(QStringLiteral("Test exception in WSocket"));
    default:
        return;
    }
}

void TCustomWSocket::SelectReport(int S, int Event, int Error)
{
    PostMessage(WM_ASYNCSELECT, quintptr(S), MakeLParam(Event, Error));
}

void TCustomWSocket::LookupDone(int Handle, int Error, const QList<quint32> &Addrs, const QString &Name,
                                const QStringList &Aliases, unsigned Msg)
{
    if (Handle != FDnsLookupHandle)
        return;
    FLookupAddrs = Addrs;
    FLookupName = Name;
    FLookupAliases = Aliases;
    TMessage m;
    m.Msg = Msg;
    m.WParam = quintptr(Handle);
    m.LParam = MakeLParam(0, Error);
    MessageArrived(m);
}

bool TCustomWSocket::AsyncSelect(int Mask, const QString &FunctionName)
{
    if (FHSocket == INVALID_SOCKET || !FWindowHandle) {
        WSocketSetLastError(FHSocket == INVALID_SOCKET ? WSAENOTSOCK : WSAEINVAL);
        ReportSocketError(FunctionName);
        return false;
    }
    if (!FSelect || FSelect->Socket() != FHSocket) {
        delete FSelect;
        FSelect = new TSocketSelect(FHSocket, [this](int s, int event, int error) { SelectReport(s, event, error); });
    }
    FSelectEvent = Mask;
    FSelect->SetMask(FPaused ? 0 : Mask);
    return true;
}

// ---- Properties -----------------------------------------------------------------------------------

void TCustomWSocket::SetIcsLogger(TIcsLogger *Logger)
{
    FIcsLogger = Logger;
}

// Stores a destination text: only while closed; an empty text marks it unassigned.
bool TCustomWSocket::StoreDestination(const QString &Value, QString &Stored, bool &Assigned, bool &Resolved,
                                      const char *Name)
{
    if (Value == Stored && Assigned)
        return false;
    if (FState != wsClosed) {
        ReportError(QStringLiteral("Cannot change %1 if not closed").arg(QLatin1String(Name)));
        return false;
    }
    Stored = Value.trimmed();
    Assigned = !Stored.isEmpty();
    Resolved = false;
    return true;
}

void TCustomWSocket::SetAddr(const QString &Value)
{
    StoreDestination(Value, FAddrStr, FAddrAssigned, FAddrResolved, "Addr");
}

void TCustomWSocket::SetPort(const QString &Value)
{
    StoreDestination(Value, FPortStr, FPortAssigned, FPortResolved, "Port");
}

void TCustomWSocket::SetProto(const QString &Value)
{
    StoreDestination(Value, FProtoStr, FProtoAssigned, FProtoResolved, "Proto");
}

void TCustomWSocket::SetLocalAddr(const QString &Value)
{
    if (FState != wsClosed) {
        ReportError(QStringLiteral("Cannot change LocalAddr if not closed"));
        return;
    }
    FLocalAddr = Value.isEmpty() ? QStringLiteral("0.0.0.0") : Value;
}

void TCustomWSocket::SetLocalPort(const QString &Value)
{
    if (FState != wsClosed) {
        ReportError(QStringLiteral("Cannot change LocalPort if not closed"));
        return;
    }
    FLocalPortStr = Value;
    FLocalPortResolved = false;
}

quint8 TCustomWSocket::ReqVerLow() const
{
    return WSocketReqVerLow();
}

void TCustomWSocket::SetReqVerLow(quint8 Value)
{
    if (!WSocketSetReqVerLow(Value))
        ReportSocketError(QStringLiteral("SetReqVerLow: WinSock version can't be changed now"));
}

quint8 TCustomWSocket::ReqVerHigh() const
{
    return WSocketReqVerHigh();
}

void TCustomWSocket::SetReqVerHigh(quint8 Value)
{
    if (!WSocketSetReqVerHigh(Value))
        ReportSocketError(QStringLiteral("SetReqVerHigh: WinSock version can't be changed now"));
}

TSocketSendFlags TCustomWSocket::SendFlags() const
{
    switch (FSendFlags) {
    case 0: return wsSendNormal;
    case 1: return wsSendUrgent;
    default: throw ESocketException(QStringLiteral("Invalid internal SendFlags"));
    }
}

void TCustomWSocket::SetSendFlags(TSocketSendFlags Value)
{
    switch (Value) {
    case wsSendNormal: FSendFlags = 0; break;
    case wsSendUrgent: FSendFlags = 1; break;
    default: ReportError(QStringLiteral("Invalid SendFlags")); break;
    }
}

int TCustomWSocket::RcvdCount()
{
    int count = 0;
    if (BytesAvailable(FHSocket, count) != 0) {
        ReportSocketError(QStringLiteral("ioctlSocket"));
        return -1;
    }
    return count;
}

int TCustomWSocket::BufferedByteCount() const
{
    std::lock_guard lock(SendLock);
    return FBufferedByteCount;
}

// ---- Logging and failures ---------------------------------------------------------------------------

void TCustomWSocket::Log(TLogOption LogOption, const QString &Text)
{
    if (FIcsLogger)
        FIcsLogger->WriteLog(this, LogOption, Text);
}

bool TCustomWSocket::LogEnabled(TLogOption LogOption) const
{
    return FIcsLogger && FIcsLogger->LogOptions().Contains(LogOption);
}

void TCustomWSocket::ReportError(const QString &Text)
{
    FLastErrorText = Text;
    if (OnError)
        TriggerError();
    else
        throw ESocketException(Text);
}

void TCustomWSocket::ReportSocketError(const QString &FunctionName)
{
    const int error = WSocketGetLastError();
    const QString text = QStringLiteral("Error %1 in function %2\r\n%3").arg(error).arg(FunctionName, SocketErrorText(error));
    if (error == WSAECONNRESET || error == WSAENOTCONN) {
        if (FHSocket != INVALID_SOCKET) {
            CloseDescriptor();
            if (FState != wsClosed)
                TriggerSessionClosed(quint16(error));
        }
        SwitchState(wsClosed);
    }
    FLastError = error;
    ReportError(text);
}

void TCustomWSocket::HandleEventException(const std::exception &E)
{
    bool canClose = true;
    if (OnBgException) {
        try {
            OnBgException(this, E, canClose);
        } catch (const std::exception &) {
        }
    }
    if (canClose) {
        try {
            Abort();
        } catch (const std::exception &) {
        }
    }
}

// ---- Triggers -------------------------------------------------------------------------------------

bool TCustomWSocket::TriggerDataAvailable(quint16 Error)
{
    if (!OnDataAvailable)
        return false;
    OnDataAvailable(this, Error);
    return true;
}

void TCustomWSocket::TriggerSessionAvailable(quint16 Error)
{
    if (OnSessionAvailable)
        OnSessionAvailable(this, Error);
}

void TCustomWSocket::TriggerSessionConnected(quint16 Error)
{
    FireSessionConnected(Error);
}

void TCustomWSocket::FireSessionConnected(quint16 Error)
{
    if (OnSessionConnected)
        OnSessionConnected(this, Error);
}

void TCustomWSocket::TriggerSessionClosed(quint16 Error)
{
    if (OnSessionClosed)
        OnSessionClosed(this, Error);
}

void TCustomWSocket::TriggerDataSent(quint16 Error)
{
    if (LogEnabled(loWsockDump))
        Log(loWsockDump, Hex8(this) + QStringLiteral(" TriggerDataSent ") + QString::number(FHSocket));
    if (OnDataSent)
        OnDataSent(this, Error);
}

void TCustomWSocket::TriggerChangeState(TSocketState OldState, TSocketState NewState)
{
    if (OnChangeState)
        OnChangeState(this, OldState, NewState);
}

void TCustomWSocket::TriggerDnsLookupDone(quint16 Error)
{
    if (OnDnsLookupDone)
        OnDnsLookupDone(this, Error);
}

void TCustomWSocket::TriggerError()
{
    if (OnError)
        OnError(this);
}

void TCustomWSocket::SwitchState(TSocketState NewState)
{
    const TSocketState old = FState;
    FState = NewState;
    // No event from a socket being destroyed: its owner's handlers may already be gone.
    if (old != NewState && !FDestroying)
        TriggerChangeState(old, NewState);
}

// ---- Readiness --------------------------------------------------------------------------------------

void TCustomWSocket::HandleConnectEvent(TMessage &Message)
{
    const quint16 error = quint16(HiWord(Message.LParam));
    if (FState == wsConnected)
        return;
    const std::shared_ptr<bool> alive = FAlive;
    SwitchState(wsConnected);
    TriggerSessionConnected(error);
    if (*alive && error != 0 && FState != wsClosed)
        Close();
}

void TCustomWSocket::HandleReadEvent(TMessage &Message)
{
    const quint16 error = quint16(HiWord(Message.LParam));
    if (FState != wsConnected) {
        const std::shared_ptr<bool> alive = FAlive;
        SwitchState(wsConnected);
        TriggerSessionConnected(error);
        if (!*alive || FHSocket == INVALID_SOCKET)
            return;
    }
    ReceiveLoop(error, FComponentOptions);
}

void TCustomWSocket::HandleWriteEvent(TMessage &Message)
{
    TryToSend();
    if (FAllSent && FHSocket != INVALID_SOCKET)
        TriggerDataSent(quint16(HiWord(Message.LParam)));
}

void TCustomWSocket::HandleAcceptEvent(TMessage &Message)
{
    TriggerSessionAvailable(quint16(HiWord(Message.LParam)));
}

void TCustomWSocket::HandleCloseEvent(TMessage &Message)
{
    if (FState == wsConnecting || FHSocket == INVALID_SOCKET)
        return;
    TWSocketOptions options = FComponentOptions;
    options -= wsoNoReceiveLoop;
    const std::shared_ptr<bool> alive = FAlive;
    ReceiveLoop(0, options);
    if (!*alive)
        return;
    // The descriptor is closed before OnSessionClosed, so that a handler finds the socket closed
    // and may connect it again at once.
    if (FState != wsClosed)
        DoClose(true, quint16(HiWord(Message.LParam)));
    else if (!FCloseInvoked) {
        FCloseInvoked = true;
        TriggerSessionClosed(quint16(HiWord(Message.LParam)));
    }
}

void TCustomWSocket::ReceiveLoop(quint16 Error, TWSocketOptions Options)
{
    const std::shared_ptr<bool> alive = FAlive;
    const TSocket socket = FHSocket;
    for (;;) {
        try {
            FLastError = 0;
            const int receivesBefore = FRecvCalls;
            if (!TriggerDataAvailable(Error)) {
                if (!*alive)
                    return;
                char discard[1024];
                if (ReceiveBlock(discard, int(sizeof discard), 0) < 0) {
                    FLastError = WSocketGetLastError();
                    if (FLastError == WSAEWOULDBLOCK) {
                        FLastError = 0;
                        break;
                    }
                }
            }
            if (!*alive)
                return;
            if (Options.Contains(wsoNoReceiveLoop))
                break;
            if (FLastError == -1)
                FLastError = 0;
            if (FLastError != 0)
                break;
            // Closed, paused, or a handler that took nothing: asking again would spin for ever.
            if (FHSocket != socket || FHSocket == INVALID_SOCKET || FPaused || FRecvCalls == receivesBefore)
                break;
            int waiting = 0;
            if (BytesAvailable(FHSocket, waiting) != 0) {
                FLastError = WSocketGetLastError();
                break;
            }
            if (waiting == 0)
                break;
        } catch (const std::exception &) {
            break;
        }
    }
}

// ---- Receiving --------------------------------------------------------------------------------------

int TCustomWSocket::ReceiveBlock(void *Buffer, int BufferSize, int Flags)
{
    ++FRecvCalls;
    const int n = Recv(FHSocket, Buffer, BufferSize, Flags);
    FBufferFilled = n > 0 && n == BufferSize;
    return n;
}

int TCustomWSocket::ReceiveFromBlock(TSocket S, void *Buffer, int BufferSize, int Flags, TSockAddrIn &From,
                                     int &FromLen)
{
    ++FRecvCalls;
    const int n = RecvFrom(S, Buffer, BufferSize, Flags, &From);
    FromLen = int(sizeof(TSockAddrIn));
    FBufferFilled = n > 0 && n == BufferSize;
    return n;
}

int TCustomWSocket::Receive(void *Buffer, int BufferSize)
{
    const int n = ReceiveBlock(Buffer, BufferSize, 0);
    if (n < 0)
        FLastError = WSocketGetLastError();
    else
        FReadCount += n;
    return n;
}

QByteArray TCustomWSocket::ReceiveText()
{
    int count = RcvdCount();
    if (count < 0)
        return {};
    if (count == 0)
        count = 255;
    QByteArray text(count, '\0');
    const int n = Receive(text.data(), count);
    if (n <= 0)
        return {};
    text.truncate(n);
    return text;
}

int TCustomWSocket::ReceiveFrom(void *Buffer, int BufferSize, TSockAddrIn &From, int &FromLen)
{
    const int n = ReceiveFromBlock(FHSocket, Buffer, BufferSize, 0, From, FromLen);
    if (n < 0)
        FLastError = WSocketGetLastError();
    else
        FReadCount += n;
    return n;
}

// ---- Sending ----------------------------------------------------------------------------------------

int TCustomWSocket::Send(const void *Data, int Len)
{
    if (FState != wsConnected && FState != wsSocksConnected) {
        WSocketSetLastError(WSAENOTCONN);
        ReportSocketError(QStringLiteral("Send"));
        return -1;
    }
    FAllSent = false;
    if (Len <= 0)
        Len = 0;
    else
        BufferSendData(Data, Len);
    TryToSend();
    if (FAllSent && FHSocket != INVALID_SOCKET)
        PostMessage(WM_ASYNCSELECT, quintptr(FHSocket), MakeLParam(FD_WRITE, 0));
    return Len;
}

int TCustomWSocket::SendText(const QByteArray &Text)
{
    if (Text.isEmpty())
        return 0;
    return Send(Text.constData(), int(Text.size()));
}

int TCustomWSocket::SendTo(const TSockAddrIn &Dest, int DestLen, const void *Data, int Len)
{
    Q_UNUSED(DestLen);
    const int n = PosixSocket::SendTo(FHSocket, Data, Len, FSendFlags, Dest);
    if (n < 0) {
        FLastError = WSocketGetLastError();
        return n;
    }
    if (n > 0 && OnSendData)
        OnSendData(this, n);
    if (FType == SOCK_DGRAM_W && BufferedByteCount() == 0 && FHSocket != INVALID_SOCKET)
        PostMessage(WM_ASYNCSELECT, quintptr(FHSocket), MakeLParam(FD_WRITE, 0));
    return n;
}

void TCustomWSocket::BufferSendData(const void *Data, int Len)
{
    if (Data == nullptr || Len <= 0)
        return;
    std::lock_guard lock(SendLock);
    const char *bytes = static_cast<const char *>(Data);
    if (FBufList.isEmpty())
        FBufList.append(new TBuffer(FBufSize));
    TBuffer *buffer = FBufList.last();
    FBufferedByteCount += Len;
    int written = buffer->Append(bytes, Len);
    while (written < Len) {
        buffer = new TBuffer(FBufSize);
        FBufList.append(buffer);
        written += buffer->Append(bytes + written, Len - written);
    }
    FAllSent = false;
}

void TCustomWSocket::DropSendQueue()
{
    std::lock_guard lock(SendLock);
    qDeleteAll(FBufList);
    FBufList.clear();
    FBufferedByteCount = 0;
    ++FQueueGeneration;
}

void TCustomWSocket::TryToSend()
{
    std::unique_lock lock(SendLock);
    if (FHSocket == INVALID_SOCKET || FBufList.isEmpty()) {
        FAllSent = true;
        return;
    }
    const quint64 generation = FQueueGeneration;
    const TSocket socket = FHSocket;
    for (;;) {
        TBuffer *buffer = FBufList.first();
        int len = 0;
        const char *data = buffer->PeekData(len);
        if (len <= 0) {
            if (FBufList.size() > 1) {
                delete buffer;
                FBufList.removeFirst();
                continue;
            }
            FAllSent = true;
            return;
        }
        const int count = SendBlock(data, len);
        // OnSendData may have closed the socket or dropped the queue.
        if (generation != FQueueGeneration || FHSocket != socket)
            return;
        if (count > 0) {
            FBufferedByteCount = std::max(0, FBufferedByteCount - count);
            buffer->TakeOut(count);
            if (count < len)
                return;
            continue;
        }
        if (count == 0)
            return;
        const int error = WSocketGetLastError();
        if (error == WSAECONNRESET || error == WSAENOTSOCK || error == WSAENOTCONN || error == WSAEINVAL
            || error == WSAECONNABORTED) {
            lock.unlock();
            if (LogEnabled(loWsockErr))
                Log(loWsockErr, objectName() + QStringLiteral(" Winsock.Send failed ") + QString::number(error));
            FCloseInvoked = true;
            Close();
            TriggerSessionClosed(quint16(error));
            return;
        }
        if (error == WSAEWOULDBLOCK)
            return;
        lock.unlock();
        WSocketSetLastError(error);
        ReportSocketError(QStringLiteral("TryToSend failed"));
        return;
    }
}

int TCustomWSocket::SendBlock(const void *Data, int Len)
{
    const int n = FType == SOCK_DGRAM_W ? PosixSocket::SendTo(FHSocket, Data, Len, FSendFlags, FSin)
                                        : PosixSocket::Send(FHSocket, Data, Len, FSendFlags);
    if (n > 0 && OnSendData) {
        const int saved = WSocketGetLastError();
        OnSendData(this, n);
        WSocketSetLastError(saved);
    }
    return n;
}

void TCustomWSocket::Flush()
{
    while (FHSocket != INVALID_SOCKET && !FAllSent) {
        TryToSend();
        if (FAllSent)
            break;
        PumpMessages();
        // Wait a little for the socket to take more instead of spinning.
        QEventLoop wait;
        QTimer::singleShot(5, &wait, &QEventLoop::quit);
        wait.exec();
    }
}

// ---- Connecting -------------------------------------------------------------------------------------

void TCustomWSocket::Connect()
{
    if (FHSocket != INVALID_SOCKET && FState != wsClosed) {
        ReportError(QStringLiteral("Connect: Socket already in use"));
        return;
    }
    if (!FPortAssigned) {
        ReportError(QStringLiteral("Connect: No Port Specified"));
        return;
    }
    if (!FAddrAssigned) {
        ReportError(QStringLiteral("Connect: No IP Address Specified"));
        return;
    }
    if (!FProtoAssigned) {
        ReportError(QStringLiteral("Connect: No Protocol Specified"));
        return;
    }
    const bool resolved = Resolving(QStringLiteral("connect"), [this] {
        if (!FProtoResolved) {
            FProto = WSocketResolveProto(FProtoStr);
            FType = FProto == 6 ? SOCK_STREAM_W : FProto == 17 ? SOCK_DGRAM_W : SOCK_RAW_W;
            FProtoResolved = true;
        }
        ResolveDestination(true);
    });
    if (!resolved || !OpenDescriptor(QStringLiteral("Connect (socket)")) || !ReadBufferSizes())
        return;
    SwitchState(wsOpened);
    if (FState != wsOpened) {
        WSocketSetLastError(WSAEINVAL);
        ReportSocketError(QStringLiteral("Connect (Invalid operation in OnChangeState)"));
        return;
    }
    const bool prepared = FType == SOCK_DGRAM_W ? PrepareDatagram() : FType == SOCK_STREAM_W ? PrepareStream() : true;
    if (!prepared)
        return;
    if (!AsyncSelect(FD_READ | FD_WRITE | FD_ACCEPT | FD_CONNECT | FD_CLOSE, QStringLiteral("WSAAsyncSelect")))
        return;

    if (FType == SOCK_DGRAM_W) {
        SwitchState(wsConnected);
        TriggerSessionConnected(0);
        return;
    }
    if (LogEnabled(loWsockInfo))
        Log(loWsockInfo, QStringLiteral("TWSocket will connect to %1:%2").arg(InetNtoa(FSin.Addr)).arg(FPortNum));
    if (PosixSocket::Connect(FHSocket, FSin) == 0) {
        SwitchState(wsConnecting);
        return;
    }
    const int error = WSocketGetLastError();
    if (error == WSAEWOULDBLOCK) {
        SwitchState(wsConnecting);
    } else if (IsConnectOutcome(error)) {
        SwitchState(wsConnecting);
        PostMessage(WM_ASYNCSELECT, quintptr(FHSocket), MakeLParam(FD_CONNECT, error));
    } else {
        FLastError = error;
        ReportSocketError(QStringLiteral("Connect"));
    }
}

bool TCustomWSocket::Resolving(const QString &Caller, const std::function<void()> &Steps)
{
    try {
        Steps();
    } catch (const ESocketException &e) {
        ReportError(Caller + QStringLiteral(": ") + e.Message());
        return false;
    }
    return true;
}

void TCustomWSocket::ResolveDestination(bool WithLocalPort)
{
    if (!FPortResolved) {
        FPortNum = WSocketResolvePort(FPortStr, FProtoStr);
        FSin.Port = HostToNet16(FPortNum);
        FPortResolved = true;
    }
    if (WithLocalPort && !FLocalPortResolved) {
        FLocalPortNum = WSocketResolvePort(FLocalPortStr, FProtoStr);
        FLocalPortResolved = true;
    }
    if (!FAddrResolved) {
        FSin.Addr = WSocketResolveHost(FAddrStr);
        FAddrResolved = true;
    }
    FSin.Family = 2;
}

bool TCustomWSocket::OpenDescriptor(const QString &FunctionName)
{
    DropSendQueue();
    WSocketLoadLibrary();
    CloseDescriptor();
    FHSocket = PosixSocket::Socket(FType, FProto);
    if (FHSocket == INVALID_SOCKET) {
        ReportSocketError(FunctionName);
        return false;
    }
    FCloseInvoked = false;
    return true;
}

bool TCustomWSocket::ReadBufferSizes()
{
    if (SendBufferSize(FHSocket, FSocketSndBufSize) != 0) {
        ReportSocketError(QStringLiteral("getsockopt(SO_SNDBUF)"));
        return false;
    }
    if (ReceiveBufferSize(FHSocket, FSocketRcvBufSize) != 0) {
        ReportSocketError(QStringLiteral("getsockopt(SO_RCVBUF)"));
        return false;
    }
    return true;
}

bool TCustomWSocket::PrepareDatagram()
{
    if (!BindLocal())
        return false;
    if (FMultiCast) {
        if (FMultiCastIpTTL != 1 && SetMulticastTtl(FHSocket, FMultiCastIpTTL) != 0) {
            ReportSocketError(QStringLiteral("setsockopt(IP_MULTICAST_TTL)"));
            return false;
        }
        if (FLocalAddr != QLatin1String("0.0.0.0")) {
            quint32 local = 0;
            if (!Resolving(QStringLiteral("connect"), [&] { local = WSocketResolveHost(FLocalAddr); }))
                return false;
            if (SetMulticastInterface(FHSocket, local) != 0) {
                ReportSocketError(QStringLiteral("setsockopt(IP_MULTICAST_IF)"));
                return false;
            }
        }
    }
    if (FSin.Addr == 0xFFFFFFFFu && SetBroadcast(FHSocket, true) != 0) {
        ReportSocketError(QStringLiteral("setsockopt(SO_BROADCAST)"));
        return false;
    }
    return true;
}

bool TCustomWSocket::PrepareStream()
{
    if (PosixSocket::SetReuseAddr(FHSocket, true) != 0) {
        ReportSocketError(QStringLiteral("setsockopt(SO_REUSEADDR)"));
        return false;
    }
    if (FComponentOptions.Contains(wsoTcpNoDelay) && SetTcpNoDelay(FHSocket, true) != 0) {
        ReportSocketError(QStringLiteral("setsockopt(IPPROTO_TCP, TCP_NODELAY)"));
        return false;
    }
    if (!ApplyLinger() || !ApplyKeepAlive())
        return false;
    if ((FLocalPortNum != 0 || FLocalAddr != QLatin1String("0.0.0.0")) && !BindLocal())
        return false;
    return true;
}

bool TCustomWSocket::BindLocal()
{
    TSockAddrIn local;
    local.Port = HostToNet16(FLocalPortNum);
    local.Addr = WSocketResolveHost(FLocalAddr);
    if (PosixSocket::Bind(FHSocket, local) != 0) {
        ReportError(QStringLiteral("winsock.bind failed, error #%1").arg(WSocketGetLastError()));
        return false;
    }
    TSockAddrIn bound;
    if (GetSockName(FHSocket, bound) != 0) {
        ReportError(QStringLiteral("winsock.getsockname failed, error #%1").arg(WSocketGetLastError()));
        return false;
    }
    FLocalPortNum = NetToHost16(bound.Port);
    FLocalPortStr = QString::number(FLocalPortNum);
    return true;
}

bool TCustomWSocket::ApplyLinger()
{
    if (FLingerOnOff == wsLingerNoSet)
        return true;
    if (FHSocket == INVALID_SOCKET) {
        ReportError(QStringLiteral("Cannot set linger option at this time"));
        return false;
    }
    // A zero time with lingering on would make every Close reset the connection and drop the data
    // still unsent; only Abort resets (DoAbort). Lingering waits only with a time to wait.
    const bool on = FLingerOnOff == wsLingerOn && FLingerTimeout > 0;
    if (SetLinger(FHSocket, on, on ? FLingerTimeout : 0) != 0) {
        ReportSocketError(QStringLiteral("setsockopt(SO_LINGER)"));
        return false;
    }
    return true;
}

bool TCustomWSocket::ApplyKeepAlive()
{
    if (FKeepAliveOnOff == wsKeepAliveOff)
        return true;
    if (SetKeepAlive(FHSocket, true) != 0) {
        ReportSocketError(QStringLiteral("setsockopt(SO_KEEPALIVE)"));
        return false;
    }
    if (FKeepAliveOnOff == wsKeepAliveOnCustom
        && SetKeepAliveValues(FHSocket, FKeepAliveTime, FKeepAliveInterval) != 0) {
        ReportSocketError(QStringLiteral("WSocket_WSAIoctl(SIO_KEEPALIVE_VALS)"));
        return false;
    }
    return true;
}

void TCustomWSocket::SetConnectedState()
{
    SwitchState(wsConnected);
}

// ---- Listening ------------------------------------------------------------------------------------

void TCustomWSocket::Listen()
{
    auto refuse = [this](const char *text) {
        WSocketSetLastError(WSAEINVAL);
        ReportSocketError(QString::fromLatin1(text));
    };
    if (!FPortAssigned)
        return refuse("listen: port not assigned");
    if (!FProtoAssigned)
        return refuse("listen: protocol not assigned");
    if (!FAddrAssigned)
        return refuse("listen: address not assigned");
    const bool resolved = Resolving(QStringLiteral("listen"), [this] {
        if (FProtoStr.left(4).compare(QLatin1String("raw_"), Qt::CaseInsensitive) == 0) {
            FType = SOCK_RAW_W;
            FProto = WSocketResolveProto(FProtoStr.mid(4, 10));
        } else {
            FProto = WSocketResolveProto(FProtoStr);
            FType = FProto == 17 ? SOCK_DGRAM_W : SOCK_STREAM_W;
        }
        FProtoResolved = true;
        ResolveDestination(false);
    });
    if (!resolved || !OpenDescriptor(QStringLiteral("socket")))
        return;
    auto failAndClose = [this](const QString &function) {
        const int error = WSocketGetLastError();
        CloseDescriptor();
        WSocketSetLastError(error);
        ReportSocketError(function);
    };
    if (FType == SOCK_DGRAM_W && FReuseAddr && PosixSocket::SetReuseAddr(FHSocket, true) != 0)
        return failAndClose(QStringLiteral("setsockopt(SO_REUSEADDR)"));
    if (PosixSocket::Bind(FHSocket, FSin) != 0)
        return failAndClose(QStringLiteral("Bind"));
    SwitchState(wsBound);
    if (FType == SOCK_STREAM_W) {
        if (PosixSocket::Listen(FHSocket, FListenBacklog) != 0) {
            ReportSocketError(QStringLiteral("Listen"));
            return;
        }
        SwitchState(wsListening);
    } else if (FType == SOCK_DGRAM_W || FType == SOCK_RAW_W) {
        if (FType == SOCK_DGRAM_W && FMultiCast) {
            quint32 group = 0;
            if (!Resolving(QStringLiteral("listen"), [&] { group = WSocketResolveHost(FMultiCastAddrStr); }))
                return;
            if (AddMembership(FHSocket, group, FSin.Addr) != 0) {
                ReportSocketError(QStringLiteral("setsockopt(IP_ADD_MEMBERSHIP)"));
                return;
            }
        }
        if (FType == SOCK_RAW_W && FComponentOptions.Contains(wsoSIO_RCVALL)) {
            // Linux has no receive-all control on an IPv4 socket.
            WSocketSetLastError(WSAEOPNOTSUPP);
            return failAndClose(QStringLiteral("WSAIoctl(SIO_RCVALL)"));
        }
        SwitchState(wsListening);
        SwitchState(wsConnected);
        TriggerSessionConnected(0);
    } else {
        ReportSocketError(QStringLiteral("Listen: unexpected protocol."));
        return;
    }
    if (FHSocket != INVALID_SOCKET)
        AsyncSelect(FD_READ | FD_WRITE | FD_ACCEPT | FD_CLOSE, QStringLiteral("WSAASyncSelect"));
}

TSocket TCustomWSocket::Accept()
{
    if (FState != wsListening) {
        WSocketSetLastError(WSAEINVAL);
        ReportSocketError(QStringLiteral("not a listening socket"));
        return INVALID_SOCKET;
    }
    FASocket = PosixSocket::Accept(FHSocket, nullptr);
    if (FASocket == INVALID_SOCKET) {
        ReportSocketError(QStringLiteral("Accept"));
        return INVALID_SOCKET;
    }
    return FASocket;
}

void TCustomWSocket::Dup(TSocket NewSocket)
{
    if (NewSocket == 0 || NewSocket == INVALID_SOCKET) {
        WSocketSetLastError(WSAEINVAL);
        ReportSocketError(QStringLiteral("Dup"));
        return;
    }
    if (FHSocket != INVALID_SOCKET) {
        delete FSelect;
        FSelect = nullptr;
        const int rc = CloseSocket(FHSocket);
        FHSocket = INVALID_SOCKET;
        if (rc != 0) {
            ReportSocketError(QStringLiteral("Dup (closesocket)"));
            return;
        }
        SwitchState(wsClosed);
    }
    WSocketLoadLibrary();
    FHSocket = NewSocket;
    FType = SOCK_STREAM_W;
    FCloseInvoked = false;
    FAllSent = true;
    if (!ReadBufferSizes() || !ApplyLinger())
        return;
    if (!AsyncSelect(FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE, QStringLiteral("WSAAsyncSelect")))
        return;
    SetConnectedState();
}

// ---- Host look-up -----------------------------------------------------------------------------------

void TCustomWSocket::CancelLookup()
{
    if (FDnsLookupHandle == 0)
        return;
    THostLookup::Cancel(FDnsLookupHandle);
    FDnsLookupHandle = 0;
}

void TCustomWSocket::DnsLookup(const QString &HostName)
{
    if (HostName.isEmpty()) {
        ReportError(QStringLiteral("DNS lookup: invalid host name."));
        TriggerDnsLookupDone(WSAEINVAL);
        return;
    }
    CancelLookup();
    FDnsResult.clear();
    FDnsResultList.clear();
    if (IsDottedAddress(HostName)) {
        const QString dotted = HostName.trimmed();
        const quint32 addr = DottedToAddr(dotted);
        if (addr != 0xFFFFFFFFu || dotted == QLatin1String("255.255.255.255")) {
            FDnsResult = InetNtoa(addr);
            FDnsResultList.append(FDnsResult);
            TriggerDnsLookupDone(0);
            return;
        }
    }
    if (!FWindowHandle) {
        ReportError(QStringLiteral("DnsLookup: Window not assigned"));
        return;
    }
    WSocketLoadLibrary();
    FDnsLookupHandle = THostLookup::ByName(
        HostName.trimmed(), FWindowHandle,
        [this](int handle, int error, const QList<quint32> &addrs, const QString &name, const QStringList &aliases) {
            LookupDone(handle, error, addrs, name, aliases, WM_ASYNCGETHOSTBYNAME);
        });
}

void TCustomWSocket::ReverseDnsLookup(const QString &HostAddr)
{
    if (HostAddr.isEmpty() || HostAddr.size() > 256) {
        ReportError(QStringLiteral("ReverseDnsLookup: Invalid host name."));
        TriggerDnsLookupDone(WSAEINVAL);
        return;
    }
    CancelLookup();
    FDnsResult.clear();
    FDnsResultList.clear();
    const quint32 addr = IsDottedAddress(HostAddr) ? DottedToAddr(HostAddr) : InetAddr(HostAddr.trimmed().toLatin1());
    if (!FWindowHandle) {
        ReportError(QStringLiteral("ReverseDnsLookup: Window not assigned"));
        return;
    }
    WSocketLoadLibrary();
    FDnsLookupHandle = THostLookup::ByAddr(
        addr, FWindowHandle,
        [this](int handle, int error, const QList<quint32> &addrs, const QString &name, const QStringList &aliases) {
            LookupDone(handle, error, addrs, name, aliases, WM_ASYNCGETHOSTBYADDR);
        });
}

void TCustomWSocket::ReverseDnsLookupBlocking(const QString &HostAddr)
{
    if (HostAddr.isEmpty() || HostAddr.size() > 256) {
        ReportError(QStringLiteral("ReverseDnsLookup: Invalid host name."));
        TriggerDnsLookupDone(WSAEINVAL);
        return;
    }
    CancelLookup();
    FDnsResult.clear();
    FDnsResultList.clear();
    const quint32 addr = IsDottedAddress(HostAddr) ? DottedToAddr(HostAddr) : InetAddr(HostAddr.trimmed().toLatin1());
    WSocketLoadLibrary();
    QString name;
    QStringList aliases;
    const int error = GetHostByAddr(addr, name, aliases);
    if (error == 0) {
        FDnsResult = name;
        FDnsResultList.append(name);
        FDnsResultList.append(aliases);
    }
    TriggerDnsLookupDone(quint16(error));
}

void TCustomWSocket::StopDnsLookup()
{
    if (FDnsLookupHandle == 0)
        return;
    CancelLookup();
    if (!FDestroying)
        TriggerDnsLookupDone(WSAEINTR);
}

// ---- Addresses --------------------------------------------------------------------------------------

QString TCustomWSocket::GetPeerAddr()
{
    if (FState != wsConnected)
        return QStringLiteral("error");
    TSockAddrIn peer;
    if (GetPeerName(FHSocket, peer) != 0) {
        ReportSocketError(QStringLiteral("GetPeerAddr"));
        return QStringLiteral("error");
    }
    return InetNtoa(peer.Addr);
}

QString TCustomWSocket::GetPeerPort()
{
    if (FState != wsConnected)
        return QStringLiteral("error");
    TSockAddrIn peer;
    if (GetPeerName(FHSocket, peer) != 0) {
        ReportSocketError(QStringLiteral("GetPeerPort"));
        return QStringLiteral("error");
    }
    return QString::number(NetToHost16(peer.Port));
}

int TCustomWSocket::PeerSockAddr(TSockAddrIn &Name, int &NameLen)
{
    if (FState != wsConnected)
        return -1;
    NameLen = int(sizeof(TSockAddrIn));
    return GetPeerName(FHSocket, Name);
}

QString TCustomWSocket::GetBoundPort()
{
    if (FState != wsBound && FState != wsConnected && FState != wsListening)
        return QStringLiteral("error");
    TSockAddrIn bound;
    if (GetSockName(FHSocket, bound) != 0)
        return QStringLiteral("error");
    return QString::number(NetToHost16(bound.Port));
}

QString TCustomWSocket::GetBoundAddr()
{
    if (FState != wsBound && FState != wsConnected && FState != wsListening)
        return QStringLiteral("error");
    TSockAddrIn bound;
    if (GetSockName(FHSocket, bound) != 0)
        return QStringLiteral("error");
    return InetNtoa(bound.Addr);
}

int TCustomWSocket::LocalSockAddr(TSockAddrIn &Name, int &NameLen)
{
    NameLen = int(sizeof(TSockAddrIn));
    return GetSockName(FHSocket, Name);
}

bool TCustomWSocket::TimeValueIsSet(const TTimeVal &Value) const
{
    return Value.tv_sec != 0 || Value.tv_usec != 0;
}

void TCustomWSocket::ClearTimeValue(TTimeVal &Value) const
{
    Value.tv_sec = 0;
    Value.tv_usec = 0;
}

bool TCustomWSocket::CompareTimeValues(const TTimeVal &A, const TTimeVal &B, bool Equal) const
{
    const bool same = A.tv_sec == B.tv_sec && A.tv_usec == B.tv_usec;
    return same == Equal;
}

// ---- Closing ----------------------------------------------------------------------------------------

void TCustomWSocket::CloseDescriptor()
{
    delete FSelect;
    FSelect = nullptr;
    if (FHSocket == INVALID_SOCKET)
        return;
    CloseSocket(FHSocket);
    FHSocket = INVALID_SOCKET;
    if (FWindowHandle)
        FWindowHandle->RemovePostedMessages(WM_ASYNCSELECT);
}

void TCustomWSocket::ResetToDefaults()
{
    FSin = TSockAddrIn();
    FAddrFamily = 2;
    FAddrAssigned = false;
    FPortAssigned = false;
    FAddrResolved = false;
    FPortResolved = false;
    FLocalPortResolved = false;
    FProtoResolved = false;
    FProtoAssigned = true;
    FProtoStr = QStringLiteral("tcp");
    FProto = 6;
    FType = SOCK_STREAM_W;
    FLocalPortStr = QStringLiteral("0");
    FLocalAddr = QStringLiteral("0.0.0.0");
    FLingerOnOff = wsLingerOn;
    FLingerTimeout = 0;
    FHSocket = INVALID_SOCKET;
    FSelectEvent = 0;
    FState = wsClosed;
    FAllSent = true;
    FPaused = false;
    FReadCount = 0;
    FCloseInvoked = false;
    FFlushTimeout = 60;
}

void TCustomWSocket::Close()
{
    DoClose(true, 0);
}

void TCustomWSocket::DoClose(bool Shutdown, quint16 Error)
{
    if (FHSocket != INVALID_SOCKET && FState != wsClosed) {
        if (Shutdown)
            this->Shutdown(1);
        delete FSelect;
        FSelect = nullptr;
        const TSocket socket = FHSocket;
        FHSocket = INVALID_SOCKET;
        if (FWindowHandle)
            FWindowHandle->RemovePostedMessages(WM_ASYNCSELECT);
        if (CloseSocket(socket) != 0 && WSocketGetLastError() != WSANOTINITIALISED) {
            ReportSocketError(QStringLiteral("Disconnect (closesocket)"));
            return;
        }
        SwitchState(wsClosed);
        if (!FDestroying && !FCloseInvoked) {
            FCloseInvoked = true;
            const std::shared_ptr<bool> alive = FAlive;
            TriggerSessionClosed(Error);
            if (!*alive)
                return;
        }
        // A handler that connected again owns the socket now: resetting would orphan that connection.
        if (FHSocket == INVALID_SOCKET && FState == wsClosed) {
            try {
                ResetToDefaults();
            } catch (const std::exception &) {
            }
        }
        return;
    }
    if (FHSocket != INVALID_SOCKET)
        CloseDescriptor();
    if (FState != wsClosed) {
        SwitchState(wsClosed);
        ResetToDefaults();
    }
}

void TCustomWSocket::Abort()
{
    DoAbort(0);
}

void TCustomWSocket::DoAbort(quint16 Error)
{
    StopDnsLookup();
    DropSendQueue();
    if (FHSocket != INVALID_SOCKET && FType == SOCK_STREAM_W && FState == wsConnected) {
        FLingerOnOff = wsLingerOff;
        ApplyLinger();
        // The reset itself: lingering on with no time makes the close drop the connection at once.
        SetLinger(FHSocket, true, 0);
    }
    DoClose(false, Error);
}

void TCustomWSocket::CloseLater()
{
    PostMessage(WM_CLOSE_DELAYED);
}

void TCustomWSocket::FreeLater()
{
    PostMessage(WM_WSOCKET_RELEASE);
}

void TCustomWSocket::Shutdown(int How)
{
    if (LogEnabled(loWsockInfo))
        Log(loWsockInfo, Hex8(this) + QStringLiteral(" TCustomWSocket.Shutdown %1 %2").arg(How).arg(FHSocket));
    if (FHSocket != INVALID_SOCKET) {
        const int saved = WSocketGetLastError();
        PosixSocket::Shutdown(FHSocket, How);
        WSocketSetLastError(saved);
    }
}

void TCustomWSocket::WaitUntilClosed()
{
    const std::shared_ptr<bool> alive = FAlive;
    while (*alive && FHSocket != INVALID_SOCKET && FState != wsClosed) {
        PumpMessages();
        if (!*alive || FHSocket == INVALID_SOCKET || FState == wsClosed)
            break;
        int waiting = 0;
        if (BytesAvailable(FHSocket, waiting) != 0)
            break;
        if (waiting > 0) {
            ReceiveLoop(0, FComponentOptions);
            continue;
        }
        // A zero-length receive tells nothing on Linux; wait for the close event instead.
        QEventLoop wait;
        QTimer::singleShot(20, &wait, &QEventLoop::quit);
        wait.exec();
    }
}

void TCustomWSocket::Pause()
{
    FPaused = true;
    if (FSelect)
        FSelect->SetMask(0);
}

void TCustomWSocket::Resume()
{
    FPaused = false;
    if (FSelect)
        FSelect->SetMask(FSelectEvent);
}

// ---- Message pumping and threads --------------------------------------------------------------------

void TCustomWSocket::PumpMessages()
{
    if (FMultiThreaded)
        PumpAllMessages();
    else
        QCoreApplication::processEvents();
}

bool TCustomWSocket::PumpOneMessage()
{
    if (QCoreApplication::closingDown()) {
        FTerminated = true;
        return false;
    }
    QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher)
        return false;
    QCoreApplication::sendPostedEvents();
    return dispatcher->processEvents(QEventLoop::AllEvents);
}

void TCustomWSocket::PumpAllMessages()
{
    for (int i = 0; i < 10000 && PumpOneMessage(); ++i) {
    }
}

void TCustomWSocket::AttachToThread()
{
    if (FWindowHandle) {
        ReportError(QStringLiteral("Cannot attach when not detached"));
        return;
    }
    AllocateHiddenWindow();
    if (FHSocket != INVALID_SOCKET && FSelectEvent != 0)
        AsyncSelect(FSelectEvent, QStringLiteral("WSAAsyncSelect"));
}

void TCustomWSocket::DetachFromThread()
{
    if (FThreadId != QThread::currentThreadId()) {
        ReportError(QStringLiteral("Cannot detach from other thread"));
        return;
    }
    CancelLookup();
    ReleaseHiddenWindow();
}
