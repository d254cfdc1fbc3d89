// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: SOCKS handshake, line mode and the synchronous wait over TCustomWSocket.
#include "WSocketLayers.h"

#include "SocksMessages.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstring>

using namespace SocksMessages;

// ---- SOCKS ---------------------------------------------------------------------------------------

TCustomSocksWSocket::TCustomSocksWSocket(QObject *AOwner) : TCustomWSocket(AOwner) {}

void TCustomSocksWSocket::SetSocksLevel(const QString &Value)
{
    if (State() != wsClosed) {
        ReportError("Can't change socks level if not closed");
        return;
    }
    if (Value != "4" && Value != "5" && Value != "4A" && Value != "4a") {
        ReportError("Invalid socks level. Must be 4, 4A or 5.");
        return;
    }
    FSocksLevel = Value.toUpper();
}

void TCustomSocksWSocket::SetSocksServer(const QString &Value)
{
    if (State() != wsClosed) {
        ReportError("Can't change socks server if not closed");
        return;
    }
    FSocksServer = Value.trimmed();
    FSocksServerAssigned = !FSocksServer.isEmpty();
}

void TCustomSocksWSocket::SetSocksPort(const QString &Value)
{
    if (State() != wsClosed) {
        ReportError("Can't change socks port if not closed");
        return;
    }
    FSocksPort = Value.trimmed();
    FSocksPortAssigned = !FSocksPort.isEmpty();
}

void TCustomSocksWSocket::ResetToDefaults()
{
    TCustomWSocket::ResetToDefaults();
    FSocksState = socksData;
    FSocksServer.clear();
    FSocksPort.clear();
    FSocksServerAssigned = false;
    FSocksPortAssigned = false;
    FSocksLevel = "5";
    FSocksReply.clear();
}

void TCustomSocksWSocket::Connect()
{
    // Whatever the plain connect refuses (socket in use, nothing to connect to) it reports itself.
    if (!FSocksServerAssigned || (FHSocket != INVALID_SOCKET && FState != wsClosed) || !FPortAssigned ||
        !FAddrAssigned || !FProtoAssigned) {
        if (!FSocksServerAssigned)
            FSocksState = socksData;
        TCustomWSocket::Connect();
        return;
    }
    const QString proto = Proto().trimmed();
    if (proto.compare("tcp", Qt::CaseInsensitive) != 0 && proto != "6") {
        ReportError("tcp is the only protocol supported thru socks server");
        return;
    }
    // The length bytes of the SOCKS 5 messages hold at most 255: a longer name or login cannot be
    // sent, and a cut one would reach another host or fail as a wrong password.
    if (!FSocksLevel.startsWith('4')) {
        if (Addr().toUtf8().size() > 255) {
            ReportError("connect: host name too long for socks 5");
            return;
        }
        if (FSocksAuthentication == socksAuthenticateUsercode &&
            (FSocksUsercode.toUtf8().size() > 255 || FSocksPassword.toUtf8().size() > 255)) {
            ReportError("connect: socks user code or password too long");
            return;
        }
    }
    try {
        FSin.Family = 2;
        FSin.Addr = WSocketResolveHost(FSocksServer);
        FPortNum = WSocketResolvePort(FSocksPortAssigned ? FSocksPort : QString(), "tcp");
        FSin.Port = PosixSocket::HostToNet16(FPortNum);
        FAddrResolved = true;
        FPortResolved = true;
        FSocksDestPort = WSocketResolvePort(Port(), "tcp");
    } catch (const ESocketException &E) {
        ReportError("connect: " + E.Message());
        return;
    }
    FSocksState = socksNegociateMethods;
    FSocksReply.clear();
    TCustomWSocket::Connect();
}

void TCustomSocksWSocket::Listen()
{
    if (FSocksServerAssigned) {
        ReportError("Listening is not supported thru socks server");
        return;
    }
    TCustomWSocket::Listen();
}

void TCustomSocksWSocket::TriggerSocksConnected(quint16 Error)
{
    if (OnSocksConnected)
        OnSocksConnected(this, Error);
}

void TCustomSocksWSocket::TriggerSocksError(int Error, const QString &Msg)
{
    if (OnSocksError)
        OnSocksError(this, Error, Msg);
}

void TCustomSocksWSocket::FireSocksAuthState(TSocksAuthState State)
{
    if (OnSocksAuthState)
        OnSocksAuthState(this, State);
}

void TCustomSocksWSocket::TriggerSessionConnected(quint16 Error)
{
    if (FSocksState == socksNegociateMethods) {
        TriggerSocksConnected(Error);
        if (Error == 0) {
            if (FSocksLevel.startsWith('4')) {
                SendConnectRequest();
            } else {
                FSocksAuthNumber = FSocksAuthentication == socksAuthenticateUsercode ? MethodUsercode
                                                                                     : MethodNoAuthentication;
                SendSocksMessage(MethodOffer(FSocksAuthNumber == MethodUsercode));
            }
            return;  // the caller hears of the connection once the proxy has made it
        }
        FSocksState = socksData;
    }
    TCustomWSocket::TriggerSessionConnected(Error);
}

void TCustomSocksWSocket::TriggerSessionClosed(quint16 Error)
{
    if (FSocksState == socksAuthenticate)
        FireSocksAuthState(socksAuthFailure);
    TCustomWSocket::TriggerSessionClosed(Error);
}

void TCustomSocksWSocket::SendSocksMessage(const QByteArray &Message)
{
    try {
        Send(Message.constData(), int(Message.size()));
    } catch (const std::exception &) {
        // A failed send shows as the close that follows it.
    }
}

void TCustomSocksWSocket::SendConnectRequest()
{
    FSocksState = socksConnect;
    const QByteArray host = Addr().toUtf8();
    const QByteArray usercode = FSocksUsercode.toUtf8();
    if (FSocksLevel == "4A") {
        SendSocksMessage(Socks4ARequest(FSocksDestPort, usercode, host));
    } else if (FSocksLevel == "4") {
        quint32 address = 0;
        try {
            address = WSocketResolveHost(Addr());
        } catch (const ESocketException &E) {
            FailSocks(SocksResolveFailed, "ESocketException " + E.Message());
            return;
        } catch (const std::exception &E) {
            FailSocks(SocksResolveFailed, "Exception " + QString::fromLocal8Bit(E.what()));
            return;
        }
        SendSocksMessage(Socks4Request(FSocksDestPort, address, usercode));
    } else {
        const std::optional<QByteArray> request = Socks5Request(host, FSocksDestPort);
        if (!request) {
            FailSocks(SocksInternalError, "internal error");
            return;
        }
        SendSocksMessage(*request);
    }
}

void TCustomSocksWSocket::SendAuthentication()
{
    FSocksState = socksAuthenticate;
    FireSocksAuthState(socksAuthStart);
    const std::optional<QByteArray> login = Socks5Authentication(FSocksUsercode.toUtf8(), FSocksPassword.toUtf8());
    if (!login) {
        FailSocks(SocksInternalError, "internal error");
        return;
    }
    SendSocksMessage(*login);
}

void TCustomSocksWSocket::FailSocks(int Error, const QString &Text)
{
    TriggerSocksError(Error, Text);
    FSocksState = socksData;
    TriggerSessionConnected(quint16(Error));
    DoClose(true, quint16(Error));
}

bool TCustomSocksWSocket::TriggerDataAvailable(quint16 Error)
{
    if (FSocksState == socksData)
        return TCustomWSocket::TriggerDataAvailable(Error);
    if (Error != 0)
        FailSocks(Error, "data receive error");
    else
        ReceiveSocksReply();
    return true;
}

// Reads no more than the reply needs, so what the proxy sends behind it stays in the socket for
// the caller. The buffer can hold the longest reply the protocol allows.
void TCustomSocksWSocket::ReceiveSocksReply()
{
    for (;;) {
        TSocksReply verdict;
        switch (FSocksState) {
        case socksNegociateMethods:
            if (FSocksLevel.startsWith('4')) {
                FailSocks(SocksLogicError, "TWSocket logic error");
                return;
            }
            verdict = ParseMethodReply(FSocksReply);
            break;
        case socksAuthenticate:
            verdict = ParseAuthenticationReply(FSocksReply);
            break;
        case socksConnect:
            verdict = FSocksLevel.startsWith('4') ? ParseSocks4Reply(FSocksReply) : ParseSocks5Reply(FSocksReply);
            break;
        default:
            FailSocks(SocksInternalError, "internal error");
            return;
        }
        if (verdict.Status == TSocksReply::Failed) {
            if (FSocksState == socksAuthenticate)
                FireSocksAuthState(socksAuthFailure);  // a refused login is a failed one, not only a dropped line
            FailSocks(verdict.Error, verdict.Text);
            return;
        }
        if (verdict.Status == TSocksReply::Done) {
            FSocksReply.clear();
            FBoundAddr = verdict.BoundAddr.isEmpty() ? FBoundAddr : verdict.BoundAddr;
            FBoundPort = verdict.BoundPort.isEmpty() ? FBoundPort : verdict.BoundPort;
            SocksReplyDone(verdict.Method);
            return;
        }
        int wanted = verdict.Length - int(FSocksReply.size());
        if (FSocksState == socksAuthenticate)
            ++wanted;  // one byte more shows a proxy that says more than its reply
        char chunk[LongestReply + 1];
        const int got = TCustomWSocket::ReceiveBlock(chunk, qBound(1, wanted, int(sizeof chunk)), 0);
        if (got < 0) {
            const int error = WSocketGetLastError();
            if (error != PosixSocket::WSAEWOULDBLOCK)
                FailSocks(error, "data receive error");
            return;
        }
        if (got == 0)
            return;  // the proxy closed: its close event follows
        FSocksReply.append(chunk, got);
    }
}

void TCustomSocksWSocket::SocksReplyDone(int Method)
{
    switch (FSocksState) {
    case socksNegociateMethods:
        if (Method == MethodUsercode) {
            SendAuthentication();
        } else {
            if (FSocksAuthNumber == MethodUsercode)
                FireSocksAuthState(socksAuthNotRequired);
            SendConnectRequest();
        }
        return;
    case socksAuthenticate:
        FireSocksAuthState(socksAuthSuccess);
        SendConnectRequest();
        return;
    default:
        break;
    }
    FSocksState = socksData;
    TriggerSessionConnected(0);
    // Data the peer sent right behind the reply is already waiting: deliver it now.
    int waiting = 0;
    if (FHSocket != INVALID_SOCKET && FState == wsConnected && PosixSocket::BytesAvailable(FHSocket, waiting) == 0 &&
        waiting > 0)
        TriggerDataAvailable(0);
}

// ---- Line mode -------------------------------------------------------------------------------

TCustomLineWSocket::TCustomLineWSocket(QObject *AOwner) : TCustomSocksWSocket(AOwner) {}

void TCustomLineWSocket::SetLineMode(bool Value)
{
    if (Value == FLineMode)
        return;
    FLineMode = Value;
    if (!FRcvBuf.isEmpty() || FLineLength > 0)
        PostMessage(WM_TRIGGER_DATA_AVAILABLE);
}

int TCustomLineWSocket::RcvdCount()
{
    if (FLineMode)
        return FLineLength;
    if (!FRcvBuf.isEmpty()) {
        int below = 0;
        if (FHSocket == INVALID_SOCKET || PosixSocket::BytesAvailable(FHSocket, below) != 0)
            below = 0;
        return int(FRcvBuf.size()) + below;
    }
    return TCustomSocksWSocket::RcvdCount();
}

void TCustomLineWSocket::Consumed(int Count)
{
    FRcvBuf.remove(0, Count);
    FSearchFrom = qMax(0, FSearchFrom - Count);
}

int TCustomLineWSocket::ReceiveBlock(void *Buffer, int BufferSize, int Flags)
{
    if (BufferSize <= 0)
        return TCustomSocksWSocket::ReceiveBlock(Buffer, BufferSize, Flags);
    if (FLineMode && FLineLength > 0) {
        const int count = qMin(BufferSize, FLineLength);
        std::memcpy(Buffer, FRcvBuf.constData(), size_t(count));
        FLineLength -= count;
        Consumed(count);
        return count;
    }
    if (!FLineMode && !FRcvBuf.isEmpty()) {
        int count = qMin(BufferSize, int(FRcvBuf.size()));
        std::memcpy(Buffer, FRcvBuf.constData(), size_t(count));
        Consumed(count);
        // Fill the rest from the socket: the receive also re-arms the read event, which a read
        // served from held bytes alone would leave off, stalling what waits in the socket.
        if (count < BufferSize) {
            const int more = TCustomSocksWSocket::ReceiveBlock(static_cast<char *>(Buffer) + count,
                                                              BufferSize - count, Flags);
            if (more > 0)
                count += more;
        }
        return count;
    }
    return TCustomSocksWSocket::ReceiveBlock(Buffer, BufferSize, Flags);
}

void TCustomLineWSocket::TriggerLineLimitExceeded(int Count, bool &ClearData)
{
    if (OnLineLimitExceeded)
        OnLineLimitExceeded(this, Count, ClearData);
}

bool TCustomLineWSocket::TriggerDataAvailable(quint16 Error)
{
    if (!FLineMode || FLineEnd.isEmpty() || SocksRunning())
        return TCustomSocksWSocket::TriggerDataAvailable(Error);

    int count = TCustomSocksWSocket::RcvdCount();
    if (count < 0)
        return true;
    if (count == 0)
        count = 255;
    QByteArray fresh(count, Qt::Uninitialized);
    const int got = qMax(0, TCustomSocksWSocket::ReceiveBlock(fresh.data(), count, 0));
    if (got == 0 && FRcvBuf.isEmpty())
        return true;
    if (got > 0) {
        fresh.truncate(got);
        if (FLineEdit)
            ApplyLineEditing(fresh);
        else if (FLineEcho)
            Send(fresh.constData(), got);
        FRcvBuf.append(fresh);
    }
    DeliverLines();
    return true;
}

void TCustomLineWSocket::DeliverLines()
{
    while (FLineMode && !FLineEnd.isEmpty()) {
        const int at = int(FRcvBuf.indexOf(FLineEnd, FSearchFrom));
        if (at < 0) {
            // A line end split across two reads starts in the last bytes held: search them again.
            FSearchFrom = qMax(0, int(FRcvBuf.size() - FLineEnd.size()) + 1);
            if (FLineLimit > 0 && FRcvBuf.size() > FLineLimit) {
                bool clearData = true;
                TriggerLineLimitExceeded(int(FRcvBuf.size()), clearData);
                if (clearData) {
                    FRcvBuf.clear();
                    FSearchFrom = 0;
                }
            }
            break;
        }
        FSearchFrom = at;
        FLineLength = at + int(FLineEnd.size());
        FLineFound = true;
        if (!OnDataAvailable) {
            Consumed(FLineLength);
            FLineLength = 0;
            continue;
        }
        while (FLineMode && FLineLength > 0) {
            const int before = FLineLength;
            TCustomSocksWSocket::TriggerDataAvailable(0);
            // A handler that takes nothing keeps the line pending (its next read gets it) rather
            // than being called again and again.
            if (FLineMode && FLineLength == before)
                return;
        }
        FLineLength = 0;  // line mode went off: what is left of the line is plain held data now
    }
    DeliverHeldRaw();
}

void TCustomLineWSocket::DeliverHeldRaw()
{
    while (!FLineMode && !FRcvBuf.isEmpty()) {
        if (!OnDataAvailable) {
            FRcvBuf.clear();
            FSearchFrom = 0;
            return;
        }
        const qsizetype before = FRcvBuf.size();
        TCustomSocksWSocket::TriggerDataAvailable(0);
        if (FRcvBuf.size() == before)
            return;
    }
}

void TCustomLineWSocket::Redeliver()
{
    for (int pass = 1; !FRcvBuf.isEmpty(); ++pass) {
        FLineFound = false;
        const qsizetype before = FRcvBuf.size();
        TriggerDataAvailable(0);
        if (FRcvBuf.isEmpty())
            break;
        if (pass >= 4 && FLineMode && !FLineFound)
            break;
        if (!FLineFound && FRcvBuf.size() == before)
            break;  // nobody took anything: wait for the next read
    }
}

void TCustomLineWSocket::WndProc(TMessage &Message)
{
    if (Message.Msg != WM_TRIGGER_DATA_AVAILABLE) {
        TCustomSocksWSocket::WndProc(Message);
        return;
    }
    try {
        Redeliver();
    } catch (const std::exception &E) {
        HandleEventException(E);
    }
}

void TCustomLineWSocket::TriggerSessionClosed(quint16 Error)
{
    if (FLineMode && !FRcvBuf.isEmpty() && OnDataAvailable) {
        // What is held has no line end any more to wait for: it is the last line.
        FLineLength = int(FRcvBuf.size());
        FLineFound = true;
        while (FLineMode && FLineLength > 0) {
            const int before = FLineLength;
            TCustomSocksWSocket::TriggerDataAvailable(0);
            if (FLineLength == before)
                break;
        }
    }
    FRcvBuf.clear();
    FLineLength = 0;
    FSearchFrom = 0;
    TCustomSocksWSocket::TriggerSessionClosed(Error);
}

void TCustomLineWSocket::ApplyLineEditing(QByteArray &NewBytes)
{
    int kept = int(FRcvBuf.size());  // held bytes no backspace has taken back
    QByteArray edited;
    QByteArray echo;
    edited.reserve(NewBytes.size() + 256);
    for (const char c : std::as_const(NewBytes)) {
        if (c == '\b') {
            if (!edited.isEmpty())
                edited.chop(1);
            else if (kept > 0)
                --kept;
            else
                continue;
            echo.append("\b \b", 3);
        } else if (c == '\t') {
            do {
                edited.append(' ');
                echo.append(' ');
            } while ((kept + edited.size()) % 8 != 0);
        } else {
            edited.append(c);
            echo.append(c);
        }
    }
    FRcvBuf.truncate(kept);
    FSearchFrom = qMin(FSearchFrom, qMax(0, kept - int(FLineEnd.size()) + 1));
    NewBytes = edited;
    if (FLineEcho && !echo.isEmpty())
        Send(echo.constData(), int(echo.size()));
}

int TCustomLineWSocket::SendTextLine(const QByteArray &Text)
{
    if (Text.isEmpty())
        return 0;
    if (FLineEnd.isEmpty())
        return Send(Text.constData(), int(Text.size()));  // nothing behind it would start the sending
    BufferSendData(Text.constData(), int(Text.size()));
    SendText(FLineEnd);
    return int(Text.size() + FLineEnd.size());
}

// ---- Synchronous wait ----------------------------------------------------------------------------

TCustomSyncWSocket::TCustomSyncWSocket(QObject *AOwner) : TCustomLineWSocket(AOwner) {}

int TCustomSyncWSocket::RunAndWait(const std::function<void()> &Proc, bool &DoneFlag)
{
    DoneFlag = false;
    if (Proc)
        Proc();
    return WaitForFlag(DoneFlag);
}

// A nested event loop: it sleeps until an event comes (no busy loop), and it ends when the
// application leaves its event loops (QCoreApplication::exit ends every running loop).
int TCustomSyncWSocket::WaitForFlag(bool &DoneFlag)
{
    constexpr int TimedOut = 12001;
    if (DoneFlag)
        return 0;
    QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    if (!QCoreApplication::instance() || !dispatcher || QCoreApplication::closingDown())
        return TimedOut;

    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    bool ended = false;
    int result = TimedOut;
    const auto check = [&] {
        if (ended)
            return;
        if (DoneFlag)
            result = 0;
        else if ((FTimeout > 0 && clock.elapsed() >= FTimeout) || Terminated() || QCoreApplication::closingDown())
            result = TimedOut;
        else
            return;
        ended = true;
        loop.exit();
    };
    // Checked whenever the loop has run what was pending, and at least every 20 ms in case a
    // steady stream of events keeps it from ever going to sleep.
    const QMetaObject::Connection beforeSleep =
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, &loop, check);
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, check);
    tick.start(20);
    QTimer limit;
    if (FTimeout > 0) {
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, &loop, check);
        limit.start(FTimeout);
    }
    loop.exec();
    QObject::disconnect(beforeSleep);
    return ended ? result : TimedOut;
}
