// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: TCustomWSocket, the event-driven socket.
//
// Nothing blocks: connect, host look-up and send return at once and finish later through the
// events, on the thread that owns the socket's hidden window. The hidden window is a THiddenWindow,
// a QObject to which the socket posts itself messages with the numbers of the Windows original
// (0x401 readiness, 0x402/0x403 look-up done, 0x404 delayed close, 0x405 delayed release, 0x406
// test); the descriptor and its readiness live in PosixSocket (platform).
//
// Events are std::function members named after their events (OnDataAvailable, ...); an empty one
// is "not assigned", which matters: with no OnDataAvailable the received bytes are read and
// dropped, and with no OnError a reported error raises ESocketException.
//
// What callers can rely on: OnSessionClosed fires once, after the descriptor is closed (State is
// wsClosed, so a handler may connect again at once); Close is graceful and only Abort resets the
// connection; a socket may be deleted inside its own event handler; a socket being destroyed
// fires no events.
//
// Layers (SOCKS, line, synchronous) derive from TCustomWSocket and override the virtual Trigger*
// operations, ReceiveBlock, RcvdCount, Connect, Listen, ResetToDefaults and WndProc. A C++
// constructor does not reach an override: a layer that extends ResetToDefaults applies its own part
// in its constructor too.
#pragma once

#include "net/HiddenWindow.h"
#include "net/IcsLogger.h"
#include "net/WSockBuf.h"
#include "net/WSocketLibrary.h"
#include "net/WSocketResolvers.h"
#include "platform/PosixSocket.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <exception>
#include <functional>
#include <memory>

using TSocket = int;
constexpr TSocket INVALID_SOCKET = -1;
using TSockAddrIn = PosixSocket::TSockAddrIn;

// ---- Messages of the socket's hidden window -----------------------------------------------------

constexpr unsigned WM_ASYNCSELECT = WM_USER + 1;          // wParam socket, lParam: low word events, high word error
constexpr unsigned WM_ASYNCGETHOSTBYNAME = WM_USER + 2;   // wParam request handle, lParam high word error
constexpr unsigned WM_ASYNCGETHOSTBYADDR = WM_USER + 3;
constexpr unsigned WM_CLOSE_DELAYED = WM_USER + 4;
constexpr unsigned WM_WSOCKET_RELEASE = WM_USER + 5;
constexpr unsigned WM_TRIGGER_EXCEPTION = WM_USER + 6;
constexpr unsigned WM_TRIGGER_DATA_AVAILABLE = WM_USER + 20;  // line layer's re-delivery

// ---- Types of the socket ----------------------------------------------------------------------

enum TSocketState : quint8 {
    wsInvalidState,
    wsOpened,
    wsBound,
    wsConnecting,
    wsSocksConnected,
    wsConnected,
    wsAccepting,
    wsListening,
    wsClosed
};

enum TSocketSendFlags { wsSendNormal, wsSendUrgent };
enum TSocketLingerOnOff { wsLingerOff, wsLingerOn, wsLingerNoSet };
enum TSocketKeepAliveOnOff { wsKeepAliveOff, wsKeepAliveOnCustom, wsKeepAliveOnSystem };
enum TWSocketOption { wsoNoReceiveLoop, wsoTcpNoDelay, wsoSIO_RCVALL };

class TWSocketOptions
{
public:
    constexpr TWSocketOptions() = default;
    constexpr TWSocketOptions(std::initializer_list<TWSocketOption> options)
    {
        for (TWSocketOption o : options)
            FBits |= 1u << o;
    }
    constexpr bool Contains(TWSocketOption o) const { return (FBits & (1u << o)) != 0; }
    constexpr TWSocketOptions &operator+=(TWSocketOption o) { FBits |= 1u << o; return *this; }
    constexpr TWSocketOptions &operator-=(TWSocketOption o) { FBits &= ~(1u << o); return *this; }
    constexpr bool operator==(const TWSocketOptions &) const = default;

private:
    unsigned FBits = 0;
};

// Sender is the socket (or the layer's owner that forwards the event).
using TNotifyEvent = std::function<void(QObject *Sender)>;
using TDataAvailable = std::function<void(QObject *Sender, quint16 ErrCode)>;
using TDataSent = TDataAvailable;
using TSessionClosed = TDataAvailable;
using TSessionAvailable = TDataAvailable;
using TSessionConnected = TDataAvailable;
using TDnsLookupDone = TDataAvailable;
using TSendData = std::function<void(QObject *Sender, int BytesSent)>;
using TChangeState = std::function<void(QObject *Sender, TSocketState OldState, TSocketState NewState)>;
using TBgExceptionEvent = std::function<void(QObject *Sender, const std::exception &E, bool &CanClose)>;

// A seconds/microseconds pair.
struct TTimeVal {
    long tv_sec = 0;
    long tv_usec = 0;
};

class TCustomWSocket : public QObject
{
public:
    explicit TCustomWSocket(QObject *AOwner = nullptr);
    ~TCustomWSocket() override;

    // ---- properties ----
    TIcsLogger *IcsLogger() const { return FIcsLogger.data(); }
    virtual void SetIcsLogger(TIcsLogger *Logger);

    QString Addr() const { return FAddrStr; }
    void SetAddr(const QString &Value);
    QString Port() const { return FPortStr; }
    virtual void SetPort(const QString &Value);
    QString Proto() const { return FProtoStr; }
    virtual void SetProto(const QString &Value);
    QString LocalAddr() const { return FLocalAddr; }
    void SetLocalAddr(const QString &Value);
    QString LocalPort() const { return FLocalPortStr; }
    void SetLocalPort(const QString &Value);
    QString PeerAddr() { return GetPeerAddr(); }
    QString PeerPort() { return GetPeerPort(); }
    QString DnsResult() const { return FDnsResult; }
    const QStringList &DnsResultList() const { return FDnsResultList; }
    TSocketState State() const { return FState; }
    int ReadCount() const { return FReadCount; }
    // Bytes waiting to be read; -1 after a reported failure.
    virtual int RcvdCount();
    int LastError() const { return FLastError; }
    void SetLastError(int Value) { FLastError = Value; }
    // The text of the last failure reported through OnError instead of an exception.
    const QString &LastErrorText() const { return FLastErrorText; }
    TSocket HSocket() const { return FHSocket; }
    bool MultiThreaded() const { return FMultiThreaded; }
    void SetMultiThreaded(bool Value) { FMultiThreaded = Value; }
    bool MultiCast() const { return FMultiCast; }
    void SetMultiCast(bool Value) { FMultiCast = Value; }
    QString MultiCastAddrStr() const { return FMultiCastAddrStr; }
    void SetMultiCastAddrStr(const QString &Value) { FMultiCastAddrStr = Value; }
    int MultiCastIpTTL() const { return FMultiCastIpTTL; }
    void SetMultiCastIpTTL(int Value) { FMultiCastIpTTL = Value; }
    bool ReuseAddr() const { return FReuseAddr; }
    void SetReuseAddr(bool Value) { FReuseAddr = Value; }
    TWSocketOptions ComponentOptions() const { return FComponentOptions; }
    void SetComponentOptions(TWSocketOptions Value) { FComponentOptions = Value; }
    int ListenBacklog() const { return FListenBacklog; }
    void SetListenBacklog(int Value) { FListenBacklog = Value; }
    // The process-wide version bytes; refused once the binding is in use.
    quint8 ReqVerLow() const;
    void SetReqVerLow(quint8 Value);
    quint8 ReqVerHigh() const;
    void SetReqVerHigh(quint8 Value);
    int FlushTimeout() const { return FFlushTimeout; }
    void SetFlushTimeout(int Value) { FFlushTimeout = Value; }
    TSocketSendFlags SendFlags() const;
    void SetSendFlags(TSocketSendFlags Value);
    TSocketLingerOnOff LingerOnOff() const { return FLingerOnOff; }
    void SetLingerOnOff(TSocketLingerOnOff Value) { FLingerOnOff = Value; }
    int LingerTimeout() const { return FLingerTimeout; }
    void SetLingerTimeout(int Value) { FLingerTimeout = Value; }
    TSocketKeepAliveOnOff KeepAliveOnOff() const { return FKeepAliveOnOff; }
    void SetKeepAliveOnOff(TSocketKeepAliveOnOff Value) { FKeepAliveOnOff = Value; }
    int KeepAliveTime() const { return FKeepAliveTime; }
    void SetKeepAliveTime(int Value) { FKeepAliveTime = Value; }
    int KeepAliveInterval() const { return FKeepAliveInterval; }
    void SetKeepAliveInterval(int Value) { FKeepAliveInterval = Value; }
    // The socket type: 1 stream, 2 datagram, 3 raw.
    int SocketType() const { return FType; }
    // The flag that the own message pump sets when it meets a quit request.
    bool Terminated() const { return FTerminated; }
    void SetTerminated(bool Value) { FTerminated = Value; }
    THiddenWindow *Handle() const { return FWindowHandle; }
    // Set while the destructor runs: events and look-up results are no longer fired.
    bool Destroying() const { return FDestroying; }

    // ---- events ----
    TDataAvailable OnDataAvailable;
    TDataSent OnDataSent;
    TSendData OnSendData;
    TSessionClosed OnSessionClosed;
    TSessionAvailable OnSessionAvailable;
    TSessionConnected OnSessionConnected;
    TChangeState OnChangeState;
    TDnsLookupDone OnDnsLookupDone;
    TNotifyEvent OnError;
    TBgExceptionEvent OnBgException;

    // ---- operations ----
    virtual void Log(TLogOption LogOption, const QString &Text);
    virtual bool LogEnabled(TLogOption LogOption) const;

    virtual void Connect();
    virtual void Close();
    virtual void CloseLater();
    virtual void FreeLater();
    virtual void Abort();
    virtual void Flush();
    virtual void WaitUntilClosed();
    virtual void Listen();
    virtual TSocket Accept();
    virtual int Receive(void *Buffer, int BufferSize);
    virtual QByteArray ReceiveText();
    virtual int ReceiveFrom(void *Buffer, int BufferSize, TSockAddrIn &From, int &FromLen);
    // Returns Len: the bytes accepted (queued), not the bytes sent; -1 when not connected.
    virtual int Send(const void *Data, int Len);
    virtual int SendTo(const TSockAddrIn &Dest, int DestLen, const void *Data, int Len);
    virtual int SendText(const QByteArray &Text);
    int SendStr(const QByteArray &Text) { return SendText(Text); }
    virtual void DnsLookup(const QString &HostName);
    virtual void ReverseDnsLookup(const QString &HostAddr);
    virtual void ReverseDnsLookupBlocking(const QString &HostAddr);
    virtual void StopDnsLookup();
    virtual QString GetPeerAddr();
    virtual QString GetPeerPort();
    virtual int PeerSockAddr(TSockAddrIn &Name, int &NameLen);
    virtual QString GetBoundPort();
    virtual QString GetBoundAddr();
    virtual bool TimeValueIsSet(const TTimeVal &Value) const;
    virtual void ClearTimeValue(TTimeVal &Value) const;
    virtual bool CompareTimeValues(const TTimeVal &A, const TTimeVal &B, bool Equal) const;
    virtual int LocalSockAddr(TSockAddrIn &Name, int &NameLen);
    virtual void Dup(TSocket NewSocket);
    virtual void Shutdown(int How);
    virtual void Pause();
    virtual void Resume();
    // Queues Len bytes without sending them (Send and the write event send them).
    virtual void BufferSendData(const void *Data, int Len);
    virtual void PumpMessages();
    virtual void AttachToThread();
    virtual void DetachFromThread();

    void PostMessage(unsigned Msg, quintptr WParam = 0, qintptr LParam = 0);
    // Bytes still in the send queue.
    int BufferedByteCount() const;
    bool AllSent() const { return FAllSent; }
    bool Paused() const { return FPaused; }

protected:
    virtual void WndProc(TMessage &Message);
    virtual void AllocateHiddenWindow();
    virtual void ReleaseHiddenWindow();
    virtual void TryToSend();
    virtual void ResetToDefaults();
    virtual void DoClose(bool Shutdown, quint16 Error);
    virtual void DoAbort(quint16 Error);
    // False after a reported failure.
    virtual bool BindLocal();
    virtual int SendBlock(const void *Data, int Len);
    virtual void ReportError(const QString &Text);
    virtual void HandleEventException(const std::exception &E);
    virtual bool TriggerDataAvailable(quint16 Error);
    virtual void TriggerSessionAvailable(quint16 Error);
    virtual void TriggerSessionConnected(quint16 Error);
    virtual void FireSessionConnected(quint16 Error);
    virtual void TriggerSessionClosed(quint16 Error);
    virtual void TriggerDataSent(quint16 Error);
    virtual void TriggerChangeState(TSocketState OldState, TSocketState NewState);
    virtual void TriggerDnsLookupDone(quint16 Error);
    virtual void TriggerError();
    virtual int ReceiveBlock(void *Buffer, int BufferSize, int Flags);
    virtual int ReceiveFromBlock(TSocket S, void *Buffer, int BufferSize, int Flags, TSockAddrIn &From,
                                 int &FromLen);
    virtual void HandleConnectEvent(TMessage &Message);
    virtual void HandleReadEvent(TMessage &Message);
    virtual void HandleWriteEvent(TMessage &Message);
    virtual void HandleAcceptEvent(TMessage &Message);
    virtual void HandleCloseEvent(TMessage &Message);
    virtual void SetConnectedState();

    void SwitchState(TSocketState NewState);
    // "Error N in function F" + CR LF + the error's text; 10054 and 10057 close the socket first.
    void ReportSocketError(const QString &FunctionName);
    void DropSendQueue();
    void ReceiveLoop(quint16 Error, TWSocketOptions Options);
    // False after a reported failure.
    bool ApplyLinger();
    bool ApplyKeepAlive();
    bool PumpOneMessage();
    void PumpAllMessages();
    // Asks for readiness reports with mask (0 = none); false after a reported failure.
    bool AsyncSelect(int Mask, const QString &FunctionName);

    // Fields the layers read.
    TSocket FHSocket = INVALID_SOCKET;
    TSocketState FState = wsClosed;
    TSockAddrIn FSin;
    int FType = PosixSocket::SOCK_STREAM_W;
    int FProto = 6;
    quint16 FPortNum = 0;
    quint16 FLocalPortNum = 0;
    bool FAddrAssigned = false;
    bool FPortAssigned = false;
    bool FProtoAssigned = true;
    bool FAddrResolved = false;
    bool FPortResolved = false;
    bool FLocalPortResolved = false;
    bool FProtoResolved = false;
    bool FCloseInvoked = false;
    bool FBufferFilled = false;
    int FLastError = 0;
    QString FLastErrorText;
    int FReadCount = 0;
    int FSelectEvent = 0;
    int FSelectMessage = 0;  // the readiness event being handled
    int FSocketSndBufSize = 0;
    int FSocketRcvBufSize = 0;

private:
    void MessageArrived(TMessage &Message);
    void LookupDone(int Handle, int Error, const QList<quint32> &Addrs, const QString &Name,
                    const QStringList &Aliases, unsigned Msg);
    void SelectReport(int S, int Event, int Error);
    void CancelLookup();
    bool StoreDestination(const QString &Value, QString &Stored, bool &Assigned, bool &Resolved, const char *Name);
    void CloseDescriptor();
    // Runs resolving steps; a failure is reported as "<Caller>: <reason>", and gives false.
    bool Resolving(const QString &Caller, const std::function<void()> &Steps);
    // Port, then (connecting) the local port, then address: raises ESocketException.
    void ResolveDestination(bool WithLocalPort);
    // A fresh descriptor of FType and FProto with an empty send queue; false after a reported failure.
    bool OpenDescriptor(const QString &FunctionName);
    // The rest are false after a reported failure.
    bool ReadBufferSizes();
    bool PrepareDatagram();
    bool PrepareStream();

    QPointer<TIcsLogger> FIcsLogger;
    THiddenWindow *FWindowHandle = nullptr;
    Qt::HANDLE FThreadId = nullptr;
    TSocketSelect *FSelect = nullptr;
    QString FAddrStr;
    QString FPortStr;
    QString FProtoStr = "tcp";
    QString FLocalAddr = "0.0.0.0";
    QString FLocalPortStr = "0";
    QString FDnsResult;
    QStringList FDnsResultList;
    int FAddrFamily = 2;
    bool FMultiThreaded = false;
    bool FMultiCast = false;
    QString FMultiCastAddrStr;
    int FMultiCastIpTTL = 1;
    bool FReuseAddr = false;
    TWSocketOptions FComponentOptions;
    int FListenBacklog = 5;
    int FFlushTimeout = 60;
    int FSendFlags = 0;
    TSocketLingerOnOff FLingerOnOff = wsLingerOn;
    int FLingerTimeout = 0;
    TSocketKeepAliveOnOff FKeepAliveOnOff = wsKeepAliveOnSystem;
    int FKeepAliveTime = 30000;
    int FKeepAliveInterval = 1000;
    bool FPaused = false;
    bool FAllSent = true;
    QList<TBuffer *> FBufList;
    int FBufSize = 1460;
    int FBufferedByteCount = 0;
    int FDnsLookupHandle = 0;
    TSocket FASocket = INVALID_SOCKET;
    bool FTerminated = false;
    bool FDestroying = false;
    quint64 FQueueGeneration = 0;   // changes whenever the send queue is dropped
    int FRecvCalls = 0;             // receives made, so the receive loop sees a handler that reads nothing
    int FDispatchDepth = 0;         // messages being handled right now
    std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
    QList<quint32> FLookupAddrs;    // the reply of the look-up being completed
    QString FLookupName;
    QStringList FLookupAliases;
};
