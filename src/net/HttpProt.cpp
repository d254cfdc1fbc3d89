// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: THttpCli: request start, connection, request header and body, reply header and body, abort, the synchronous wait.
#include "net/HttpProt.h"

#include "platform/CodePage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

namespace {

constexpr unsigned WM_HTTP_REQUEST_DONE = WM_USER + 1;
constexpr unsigned WM_HTTP_SET_READY = WM_USER + 2;
constexpr unsigned WM_HTTP_LOGIN = WM_USER + 3;
constexpr int kReadBlock = 8190;
constexpr qint64 kSendBlock = 8193;

const char *StateName(THttpState s)
{
    static const char *const names[] = {"httpReady",         "httpNotConnected", "httpConnected",
                                        "httpDnsLookup",     "httpDnsLookupDone", "httpWaitingHeader",
                                        "httpWaitingBody",   "httpBodyReceived",  "httpWaitingProxyConnect",
                                        "httpClosing",       "httpAborting"};
    return unsigned(s) < std::size(names) ? names[s] : nullptr;
}

QString MethodName(THttpRequest r)
{
    switch (r) {
    case httpPOST: return QStringLiteral("POST");
    case httpPUT: return QStringLiteral("PUT");
    case httpHEAD: return QStringLiteral("HEAD");
    default: return QStringLiteral("GET");
    }
}

QList<THttpCli *> &LiveClients()
{
    static QList<THttpCli *> clients;
    return clients;
}

// Why Port of Host cannot be connected to; empty when it can. Digits are a port number; anything
// else is a service name, looked up as the socket looks it up ("http").
QString PortProblem(const QString &Port, const QString &Host)
{
    if (Port.isEmpty())
        return QStringLiteral("No port is given for %1").arg(Host);
    if (Port.at(0).isDigit()) {
        bool ok = false;
        const uint number = Port.toUInt(&ok);
        if (!ok || number < 1 || number > 65535)
            return QStringLiteral("The port \"%1\" of %2 is no port number (1 to 65535)").arg(Port, Host);
        return {};
    }
    try {
        WSocketResolvePort(Port, QStringLiteral("tcp"));
    } catch (const ESocketException &) {
        return QStringLiteral("The port \"%1\" of %2 is no number and no known service name").arg(Port, Host);
    }
    return {};
}

} // namespace

THttpCli::THttpCli(QObject *AOwner) : QObject(AOwner)
{
    LiveClients().append(this);
    FWindow = AllocateHWnd([this](TMessage &m) { WndProc(m); });
    FSocket = CreateSocket();
    FSocket->OnSessionClosed = [this](QObject *, quint16 e) { SessionClosed(e); };
    FSocket->OnDataAvailable = [this](QObject *, quint16 e) { DataAvailable(e); };
    FSocket->OnSessionConnected = [this](QObject *, quint16 e) { SessionConnected(e); };
    FSocket->OnDataSent = [this](QObject *, quint16 e) { DataSent(e); };
    FSocket->OnDnsLookupDone = [this](QObject *, quint16 e) { DnsLookupDone(e); };
    FSocket->OnError = [this](QObject *) {
        FSocketErrorReported = true;
        if (OnSocketError)
            OnSocketError(this);
    };
    FSocket->OnSocksConnected = [this](QObject *, quint16 e) {
        if (OnSocksConnected)
            OnSocksConnected(this, e);
    };
    FSocket->OnSocksError = [this](QObject *, int e, const QString &msg) {
        FSocksErrorText = msg;
        if (OnSocksError)
            OnSocksError(this, e, msg);
    };
    FSocket->OnSocksAuthState = [this](QObject *, TSocksAuthState st) {
        if (OnSocksAuthState)
            OnSocksAuthState(this, st);
    };
    FContentCoding = std::make_unique<THttpContCodHandler>(
        &FStreamForCoding, [this](const char *b, qint64 n) {
            if (OnDocData)
                OnDocData(this, b, int(n));
        });
}

THttpCli::~THttpCli()
{
    LiveClients().removeAll(this);
    FSocket->OnSessionClosed = nullptr;
    FSocket->OnDataAvailable = nullptr;
    FSocket->OnSessionConnected = nullptr;
    FSocket->OnDataSent = nullptr;
    FSocket->OnDnsLookupDone = nullptr;
    FSocket->OnError = nullptr;
    FSocket->OnSocksConnected = nullptr;
    FSocket->OnSocksError = nullptr;
    FSocket->OnSocksAuthState = nullptr;
    delete FSocket;
    DeallocateHWnd(FWindow);
}

THttpSocket *THttpCli::CreateSocket() { return new THttpSocket(nullptr); }

void THttpCli::SetMultiThreaded(bool v)
{
    FMultiThreaded = v;
    FSocket->SetMultiThreaded(v);
}

void THttpCli::SetRequestVer(const QString &v)
{
    if (v == FRequestVer)
        return;
    if (v != u"1.0" && v != u"1.1")
        throw EHttpException(QStringLiteral("Insupported HTTP version"), httperrVersion);
    FRequestVer = v;
}

THttpCliOptions THttpCli::Options() const
{
    THttpCliOptions o = FOptions;
    o -= httpoEnableContentCoding;
    o -= httpoUseQuality;
    if (FContentCoding->Enabled())
        o += httpoEnableContentCoding;
    if (FContentCoding->UseQuality())
        o += httpoUseQuality;
    return o;
}

void THttpCli::SetOptions(const THttpCliOptions &v)
{
    FOptions = v;
    FContentCoding->SetEnabled(v.Contains(httpoEnableContentCoding));
    FContentCoding->SetUseQuality(v.Contains(httpoUseQuality));
}

void THttpCli::TraceLog(TLogOption Level, const QString &Text)
{
    if (TraceEnabled(Level))
        FSocket->IcsLogger()->WriteLog(this, Level, Text);
}

bool THttpCli::TraceEnabled(TLogOption Level) const
{
    return FSocket->IcsLogger() && FSocket->IcsLogger()->LogOptions().Contains(Level);
}

void THttpCli::SetState(THttpState State)
{
    FState = State;
    const char *name = StateName(State);
    TraceLog(loProtSpecInfo, name ? QStringLiteral("State = ") + QLatin1String(name) : QStringLiteral("State = INVALID STATE"));
    if (OnStateChange)
        OnStateChange(this);
    if (State == httpReady)
        RunAuthExchangeOnReady();
}

void THttpCli::PostRequestDone() { FWindow->PostMessage(WM_HTTP_REQUEST_DONE); }

void THttpCli::PostRestart()
{
    FRestartPending = true;
    FWindow->PostMessage(WM_HTTP_LOGIN);
}
void THttpCli::PostReady() { FWindow->PostMessage(WM_HTTP_SET_READY); }

void THttpCli::WndProc(TMessage &Message)
{
    switch (Message.Msg) {
    case WM_HTTP_REQUEST_DONE:
        TraceLog(loProtSpecInfo, QStringLiteral("RequestDone"));
        if (OnRequestDone)
            OnRequestDone(this, FRequestType, FRequestDoneError);
        break;
    case WM_HTTP_SET_READY:
        if (FState != httpReady)
            SetState(httpReady);
        break;
    case WM_HTTP_LOGIN:
        DoRestart();
        break;
    default:
        break;
    }
}

// ---- starting a request ----------------------------------------------------------------------

void THttpCli::Get()
{
    FLocationChangeCurCount = 0;
    RequestAndWait(httpGET);
}

void THttpCli::Head()
{
    FLocationChangeCurCount = 0;
    RequestAndWait(httpHEAD);
}

void THttpCli::Post()
{
    FLocationChangeCurCount = 0;
    RequestAndWait(httpPOST);
}

void THttpCli::Put()
{
    FLocationChangeCurCount = 0;
    RequestAndWait(httpPUT);
}

void THttpCli::Close() { RequestAndWait(httpCLOSE); }

void THttpCli::StartRequest(THttpRequest Request)
{
    if (Request != httpCLOSE && FState != httpReady)
        throw EHttpException(QStringLiteral("HTTP component ") + objectName() + QStringLiteral(" is busy"), httperrBusy);
    if ((Request == httpPOST || Request == httpPUT) && !FSendStream)
        throw EHttpException(QStringLiteral("HTTP component has nothing to post or put"), httperrNothingToPost);
    if (Request == httpCLOSE) {
        FClosingOnly = true;
        FStatusCode = 200;
        FReasonPhrase = QStringLiteral("OK");
        SetState(httpClosing);
        if (FSocket->State() == wsClosed)
            PostReady();
        else
            FSocket->Close();
        return;
    }
    // What an earlier request left in the queue must not end or restart this one.
    FWindow->RemovePostedMessages(WM_HTTP_SET_READY);
    FWindow->RemovePostedMessages(WM_HTTP_LOGIN);
    FRestartPending = false;
    ++FRequestSerial;
    FClosingOnly = false;
    FRequestType = Request;
    FExceeded = false;
    FFailed = false;
    ResetReply();
    FLocation = FURL;
    FCurUsername = FUsername;
    FCurPassword = FPassword;
    FCurConnection = FConnection;
    FCurProxyConnection = FProxyConnection;

    const THttpTarget previous = FTarget;
    FTarget = MakeTarget(FURL, FProxy, FProxyPort, previous);
    if (!FTarget.User.isEmpty() || !FTarget.Pass.isEmpty()) {
        FCurUsername = FTarget.User;
        FCurPassword = FTarget.Pass;
    }
    FLocation = FTarget.Location;
    FDocName = BuildDocumentName(FTarget.Path);

    const bool reuse = FConnected && FSocket->State() == wsConnected && FConnHost == FTarget.ConnectHost
        && FConnPort == FTarget.ConnectPort && FConnProto == FTarget.Proto;
    THttpAuthPreset preset;
    preset.UseProxy = !FProxy.isEmpty();
    preset.NewConnection = !reuse;
    preset.ServerAuthKind = ServerAuthKind;
    preset.ProxyAuthKind = ProxyAuthKind;
    preset.ServerCredentials = !FCurUsername.isEmpty() && !FCurPassword.isEmpty();
    preset.ProxyCredentials = !FProxyUsername.isEmpty() && !FProxyPassword.isEmpty();
    const THttpPresetResult pr = PresetAuthStates(preset);
    FAuth = pr.States;
    if (pr.ServerKeepAlive && VersionRuleKeepAlive())
        FCurConnection = QStringLiteral("Keep-alive");
    if (pr.ProxyKeepAlive && VersionRuleKeepAlive())
        FCurProxyConnection = QStringLiteral("Keep-alive");

    if (reuse) {
        SessionConnected(0);
        return;
    }
    if (FSocket->State() != wsClosed)
        FSocket->Abort();
    FConnected = false;
    SetState(httpNotConnected);
    Login();
}

bool THttpCli::VersionRuleKeepAlive() const
{
    return FRequestVer == u"1.0" || FReplyVer == u"1.0" || FReplyVer.isEmpty();
}

void THttpCli::ResetReply()
{
    FReplyHeaders.clear();
    FAuthHeaders.clear();
    FRequestDoneError = 0;
    FStatusCode = 0;
    FReasonPhrase.clear();
    FReceivedBytes = 0;
    FSentCount = 0;
    FContentLength = -1;
    FContentType.clear();
    FTransferEncoding.clear();
    FContentEncoding.clear();
    FDocName.clear();
    FSendingBody = false;
    FBodyStarted = false;
    FDocEnded = false;
    FDiscardBody = false;
    FHeaderParsed = false;
    FInsideHeader = false;
    FParser.Reset();
    FParser.OnLine = [this](const QString &line) {
        TraceLog(loProtSpecDump, QStringLiteral(">|") + line + u'|');
        if (!FHeaderParsed && FReplyHeaders.isEmpty() && !line.startsWith(u"HTTP/1.")) {
            if (OnDataPush2)
                OnDataPush2(this);
        }
        FReplyHeaders.append(line);
        if (OnHeaderData)
            OnHeaderData(this);
    };
    FCloseReq = FRequestVer == u"1.0";
}

// ---- connection ------------------------------------------------------------------------------

// What makes the target impossible to connect to, known before any look-up; empty when nothing.
QString THttpCli::ConnectionProblem() const
{
    QString why = PortProblem(FTarget.ConnectPort, FTarget.ConnectHost);
    if (why.isEmpty() && !FProxy.isEmpty() && !FTarget.Port.isEmpty())
        why = PortProblem(FTarget.Port, FTarget.Host);
    if (why.isEmpty() && !FSocksServer.isEmpty() && !FSocksPort.isEmpty())
        why = PortProblem(FSocksPort, FSocksServer);
    return why;
}

void THttpCli::Login()
{
    TraceLog(loProtSpecInfo, QStringLiteral("Login ") + FTarget.ConnectHost);
    FSocket->OnSessionClosed = [this](QObject *, quint16 e) { SessionClosed(e); };
    FSessionClosedSeen = false;
    FSocksErrorText.clear();
    if (FSocket->State() == wsConnected) {
        SessionConnected(0);
        return;
    }
    // A request that cannot start is over at once, with its reason, instead of waiting for a time-out.
    if (const QString why = ConnectionProblem(); !why.isEmpty()) {
        FailReply(why);
        return;
    }
    SetState(httpDnsLookup);
    try {
        FSocket->SetLocalAddr(FLocalAddr);
        FSocket->DnsLookup(FTarget.ConnectHost);
    } catch (const std::exception &e) {
        FStatusCode = 404;
        FReasonPhrase = QString::fromUtf8(e.what());
        FRequestDoneError = httperrBadReply;
        SetState(httpReady);
    }
}

void THttpCli::ApplySocketSettings()
{
    FSocket->SetAddr(FSocket->DnsResult());
    FSocket->SetLocalAddr(FLocalAddr);
    FSocket->SetPort(FTarget.ConnectPort);
    FSocket->SetProto(QStringLiteral("tcp"));
    if (!FSocksServer.isEmpty()) {
        FSocket->SetSocksServer(FSocksServer);
        FSocket->SetSocksPort(FSocksPort);
        FSocket->SetSocksLevel(FSocksLevel.isEmpty() ? QStringLiteral("5") : FSocksLevel);
        FSocket->SetSocksUsercode(FSocksUsercode);
        FSocket->SetSocksPassword(FSocksPassword);
        FSocket->SetSocksAuthentication(FSocksAuthentication);
    }
}

void THttpCli::DnsLookupDone(quint16 Error)
{
    if (Error) {
        if (FState != httpAborting) {
            FRequestDoneError = Error;
            FStatusCode = 404;
            FReasonPhrase = QStringLiteral("can't resolve hostname to IP address");
            SessionClosed(Error);
        }
        return;
    }
    if (FState == httpAborting)
        return;
    SetState(httpDnsLookupDone);
    try {
        ApplySocketSettings();
    } catch (const std::exception &e) {
        FRequestDoneError = httperrBadReply;
        FStatusCode = 404;
        FReasonPhrase = QString::fromUtf8(e.what());
        SessionClosed(0);
        return;
    }
    FConnHost = FTarget.ConnectHost;
    FConnPort = FTarget.ConnectPort;
    FConnProto = FTarget.Proto;
    if (FTarget.Proto != u"http") {
        FRequestDoneError = quint16(FSocket->LastError() ? FSocket->LastError() : httperrBadReply);
        FStatusCode = 501;
        FReasonPhrase = QStringLiteral("Protocol \"") + FTarget.Proto + QStringLiteral("\" not implemented");
        FSocket->Close();
        SessionClosed(0);
        return;
    }
    TraceLog(loProtSpecInfo, QStringLiteral("connect to ") + FSocket->DnsResult() + u'/' + FTarget.ConnectPort);
    FRepliesOnConnection = 0;
    FSocketErrorReported = false;
    try {
        FSocket->Connect();
        if (FSocketErrorReported && FSocket->State() == wsClosed) {
            // Refused before connecting (through OnError, so nothing was raised): no event will follow.
            QString why = FSocket->LastErrorText();
            if (why.startsWith(u"connect: ", Qt::CaseInsensitive))
                why = why.mid(9);
            FRequestDoneError = httperrBadReply;
            FStatusCode = 404;
            FReasonPhrase = QStringLiteral("can't connect: ") + why;
            SessionClosed(0);
            return;
        }
    } catch (const std::exception &e) {
        const int err = FSocket->LastError();
        FRequestDoneError = quint16(err ? err : httperrBadReply);
        FStatusCode = 404;
        FReasonPhrase = QStringLiteral("can't connect: ") + SocketErrorText(err) + QStringLiteral(" (Error #")
            + QString::number(err) + u')';
        FSocket->Close();
        SessionClosed(quint16(err));
    }
}

void THttpCli::SessionConnected(quint16 Error)
{
    TraceLog(loProtSpecInfo, QStringLiteral("SessionConnected"));
    if (Error) {
        FRequestDoneError = Error;
        FStatusCode = 404;
        // The SOCKS server's refusals have numbers of their own, which no socket error text names.
        const QString what = !FSocksErrorText.isEmpty() && Error >= 20000 && Error < 20100
            ? QStringLiteral("The SOCKS server refused: ") + FSocksErrorText
            : SocketErrorText(Error);
        FReasonPhrase = what + QStringLiteral(" (Error #") + QString::number(Error) + u')';
        if (OnSessionConnected)
            OnSessionConnected(this);
        // A failed connect may leave the socket closed without a close event: end the request
        // from the event loop unless the close event got there first.
        QMetaObject::invokeMethod(this, [this, Error, serial = FRequestSerial] {
            if (serial == FRequestSerial && !FSessionClosedSeen && FState != httpReady)
                SessionClosed(Error);
        }, Qt::QueuedConnection);
        return;
    }
    FLocationFlag = false;
    FConnected = true;
    FOnKeptConnection = FRepliesOnConnection > 0;
    FReplyStarted = false;
    SetState(httpConnected);
    if (OnSessionConnected)
        OnSessionConnected(this);
    try {
        SetState(httpWaitingHeader);
        FRcvdBuffer.clear();
        SendRequest(FRequestType == httpHEAD ? QStringLiteral("HEAD") : MethodName(FRequestType), FRequestVer);
        if ((FRequestType == httpPOST || FRequestType == httpPUT) && FAuth.NTLM != 1 && FAuth.ProxyNTLM != 1)
            StartBody();
    } catch (const std::exception &e) {
        FRequestDoneError = httperrBadReply;
        FStatusCode = 404;
        FReasonPhrase = QString::fromUtf8(e.what());
        CloseConnection();
        PostReady();
    }
}

void THttpCli::CloseConnection()
{
    FSocket->Abort();
    FConnected = false;
}

// ---- request header and body -----------------------------------------------------------------

QString THttpCli::AuthorizationValue(bool Proxy)
{
    if (!Proxy) {
        if (FAuth.ProxyNTLM == 1)
            return {};
        if (FAuth.NTLM == 1)
            return QStringLiteral("NTLM ") + BuildNtlmNegotiate(QString(), QString());
        if (FAuth.NTLM == 3)
            return QStringLiteral("NTLM ")
                + BuildNtlmAuthenticate(QString(), OwnHostName(), FCurUsername, FCurPassword, FNTLMMsg2Info.Challenge,
                                        FCodePage);
        if (FAuth.Basic == 1)
            return BasicAuthorization(FCurUsername, FCurPassword, false);
        return {};
    }
    if (FAuth.ProxyNTLM == 1)
        return QStringLiteral("NTLM ") + BuildNtlmNegotiate(QString(), QString());
    if (FAuth.ProxyNTLM == 3)
        return QStringLiteral("NTLM ")
            + BuildNtlmAuthenticate(QString(), OwnHostName(), FProxyUsername, FProxyPassword,
                                    FProxyNTLMMsg2Info.Challenge, FCodePage);
    if (FAuth.ProxyBasic == 1)
        return BasicAuthorization(FProxyUsername, FProxyPassword, true);
    return {};
}

// A character the code page has no byte for would go as "?": other credentials than the user's,
// refused as a wrong password. Nothing is sent instead, and the request says why.
QString THttpCli::BasicAuthorization(const QString &User, const QString &Password, bool Proxy) const
{
    bool userLossless = true, passwordLossless = true;
    EncodeAnsi(User, FCodePage, &userLossless);
    EncodeAnsi(Password, FCodePage, &passwordLossless);
    if (!userLossless || !passwordLossless)
        throw EHttpException(QStringLiteral("The %1%2 holds a character that code page %3 has no byte for")
                                 .arg(Proxy ? QStringLiteral("proxy ") : QString(),
                                      userLossless ? QStringLiteral("password") : QStringLiteral("user name"))
                                 .arg(FCodePage),
                             httperrBadReply);
    return QStringLiteral("Basic ") + EncodeBasicCredentials(User, Password, FCodePage);
}

void THttpCli::SendRequest(const QString &Method, const QString &Version)
{
    FBandwidthCount = 0;
    if (FOptions.Contains(httpoBandwidthControl))
        ArmBandwidth();
    if (OnRequestHeaderBegin)
        OnRequestHeaderBegin(this);
    THttpRequestHead h;
    h.Method = Method;
    h.Path = FTarget.RequestPath;
    h.Version = Version;
    h.Host = FTarget.Host;
    h.Port = Method == u"CONNECT" ? FTarget.HostHeaderPort : FTarget.Port;
    h.Sender = FSender;
    h.Accept = FAccept;
    h.Reference = FReference;
    h.Connection = FCurConnection;
    h.AcceptLanguage = FAcceptLanguage;
    h.AcceptEncoding = FContentCoding->GetAcceptEncoding();
    h.ContentTypePost = FContentTypePost;
    h.Agent = FAgent;
    h.NoCache = FNoCache;
    h.ProxyConnection = FCurProxyConnection;
    if (FSendStream)
        h.PostLength = FSendStream->size() - FSendStream->pos();
    h.NtlmNegotiating = FAuth.NTLM == 1 || FAuth.ProxyNTLM == 1;
    h.ModifiedSince = FModifiedSince;
    h.Authorization = AuthorizationValue(false);
    h.ProxyAuthorization = AuthorizationValue(true);
    h.Cookie = FCookie;
    h.RangeBegin = FContentRangeBegin;
    h.RangeEnd = FContentRangeEnd;
    FContentRangeBegin.clear();
    FContentRangeEnd.clear();
    FAcceptRanges.clear();
    QStringList lines = BuildRequestLines(h);
    if (TraceEnabled(loProtSpecInfo))
        TraceLog(loProtSpecInfo, QString::number(lines.size()) + QStringLiteral(" header lines to send\r\n")
                                     + lines.join(QStringLiteral("\r\n")));
    if (OnBeforeHeaderSend)
        OnBeforeHeaderSend(this, Method, lines);
    // A URL, a setting or a reply's value with a line break would split the request: nothing is sent.
    for (const QString &line : std::as_const(lines))
        if (HoldsLineBreakOrNul(line))
            throw EHttpException(QStringLiteral("Line break or NUL in a request header value: nothing was sent"),
                                 httperrBadReply);
    FHeaderStream.clear();
    for (const QString &line : std::as_const(lines))
        SendHeaderLine(line);
    if (OnRequestHeaderEnd)
        OnRequestHeaderEnd(this);
    FHeaderStream += "\r\n";
    FSocket->Send(FHeaderStream.constData(), int(FHeaderStream.size()));
    FHeaderStream.clear();
    TraceLog(loProtSpecInfo, QStringLiteral("SendRequest Done"));
}

void THttpCli::SendHeaderLine(const QString &Line)
{
    QString s = Line;
    if (OnCommand)
        OnCommand(this, s);
    if (!s.isEmpty())
        FHeaderStream += s.toLatin1();
    FHeaderStream += "\r\n";
}

void THttpCli::StartBody()
{
    if (OnSendBegin)
        OnSendBegin(this);
    FSendingBody = true;
}

void THttpCli::DataSent(quint16 Error)
{
    Q_UNUSED(Error);
    FActivity++;
    if (!FSendingBody || !FSendStream)
        return;
    QByteArray block = FSendStream->read(kSendBlock);
    if (!block.isEmpty()) {
        FSentCount += block.size();
        if (OnSendData)
            OnSendData(this, block.constData(), int(block.size()));
        FSocket->Send(block.constData(), int(block.size()));
    } else {
        FSendingBody = false;
        if (OnSendEnd)
            OnSendEnd(this);
    }
}

// ---- receiving -------------------------------------------------------------------------------

void THttpCli::DataAvailable(quint16 Error)
{
    Q_UNUSED(Error);
    FActivity++;
    char buf[kReadBlock];
    const int n = FSocket->Receive(buf, kReadBlock);
    if (n <= 0) {
        TraceLog(loProtSpecInfo, QStringLiteral("**data available. Len=") + QString::number(n));
        return;
    }
    if (FOptions.Contains(httpoBandwidthControl)) {
        FBandwidthCount += n;
        if (FBandwidthCount > FBandwidthMax && !FBandwidthPaused) {
            FBandwidthPaused = true;
            FSocket->Pause();
        }
    }
    FReplyStarted = true;
    FRcvdBuffer.append(buf, n);
    ProcessBuffer();
}

void THttpCli::ProcessBuffer()
{
    if (FState == httpWaitingHeader) {
        if (!FInsideHeader) {
            FInsideHeader = true;
            if (OnHeaderBegin)
                OnHeaderBegin(this);
        }
        const THttpParseResult r = FParser.Feed(FRcvdBuffer);
        FRcvdBuffer.remove(0, r.Consumed);
        if (r.Status == THttpParseStatus::Bad) {
            FailReply(FParser.Header().Error);
            return;
        }
        if (r.Status == THttpParseStatus::Incomplete)
            return;
        HeaderComplete();
        return;
    }
    if (FState == httpWaitingBody) {
        if (FRequestType == httpHEAD) {
            FRcvdBuffer.clear();
            FSocket->Abort();
            return;
        }
        if (FRcvdBuffer.isEmpty())
            return;
        qsizetype take = FRcvdBuffer.size();
        if (FContentLength >= 0 && FTransferEncoding != u"chunked")
            take = qMin<qint64>(take, FContentLength - FReceivedBytes);
        const QByteArray data = FRcvdBuffer.left(take);
        FRcvdBuffer.remove(0, take);
        BodyData(data.constData(), data.size());
        return;
    }
    // Data outside a request: nobody asked for them.
    if (OnDataPush)
        OnDataPush(this, 0);
    FRcvdBuffer.clear();
}

void THttpCli::FailReply(const QString &Text)
{
    TraceLog(loProtSpecErr, Text);
    FFailed = true;
    FLocationFlag = false;
    FRequestDoneError = httperrBadReply;
    FStatusCode = 404;
    FReasonPhrase = Text;
    FRcvdBuffer.clear();
    FInsideHeader = false;
    // A broken reply leaves the connection in an unknown place: never reuse it.
    FConnected = false;
    SetState(httpAborting);
    FSocket->Abort();
    SetState(httpReady);
}

void THttpCli::HeaderComplete()
{
    const THttpReplyHeader &h = FParser.Header();
    FHeaderParsed = true;
    ++FRepliesOnConnection;
    TraceLog(loProtSpecInfo, QStringLiteral("End of header"));
    FStatusCode = h.StatusCode;
    FReasonPhrase = h.StatusText;
    FReplyVer = h.Version;
    if (!h.HeaderLess) {
        if (FRequestVer == u"1.0" || h.Version == u"1.0")
            FCloseReq = true;
        else
            FCloseReq = false;
        if (h.ConnectionClose)
            FCloseReq = *h.ConnectionClose;
        TraceLog(loProtSpecDump, QStringLiteral("FCloseReq=") + (FCloseReq ? u'1' : u'0'));
    }
    FContentLength = h.ContentLength;
    FContentType = h.ContentType;
    FTransferEncoding = h.TransferEncoding;
    FContentEncoding = h.ContentEncoding;
    FReplyHeaders = h.Lines; // folded lines joined, interim 1xx replies gone
    FAuthHeaders = h.AuthHeaders;
    if (h.AcceptRanges)
        FAcceptRanges = *h.AcceptRanges;
    if (h.ContentRangeBegin)
        FContentRangeBegin = *h.ContentRangeBegin;
    if (h.ContentRangeEnd)
        FContentRangeEnd = *h.ContentRangeEnd;
    for (const QString &c : h.Cookies) {
        bool accept = true;
        if (OnCookie)
            OnCookie(this, c, accept);
    }
    if (h.Location) {
        if (FRequestType == httpPUT) {
            FLocation = *h.Location;
        } else if (FFollowRelocation && FStatusCode >= 300 && FStatusCode < 400 && FStatusCode != 304) {
            FLocationFlag = true;
            FNewTarget = RelocatedTarget(FTarget, *h.Location, FProxy, FProxyPort);
            FLocation = FNewTarget.Location;
        }
    }
    // A relocation's page or a challenge's error page is no part of the document: never let it
    // reach the caller's stream, which may be one that cannot be cut back.
    FDiscardBody = FLocationFlag || AuthExchangeWillResend();
    FInsideHeader = false;
    if (OnHeaderEnd)
        OnHeaderEnd(this);
    if (FState == httpReady)
        return;

    if (h.HeaderLess) {
        SetState(httpWaitingBody);
        ProcessBuffer();
        return;
    }
    const int st = FStatusCode;
    const bool chunked = FTransferEncoding == u"chunked";
    const bool noBody = (FContentLength == -1 && !chunked
                         && (st < 200 || st == 204 || st == 301 || st == 302 || st == 304 || st == 401 || st == 407))
        || FContentLength == 0 || FRequestType == httpHEAD;
    if (noBody) {
        if (FLocationFlag) {
            StartRelocation();
        } else if (!FCloseReq) {
            PostReady();
        } else {
            if (FRequestType == httpHEAD) {
                FRcvdBuffer.clear();
                SetState(httpWaitingBody);
            } else {
                SetState(httpBodyReceived);
            }
            FSocket->Close();
        }
        return;
    }
    if (!FDiscardBody && FMaxDocumentSize > 0 && FContentLength > FMaxDocumentSize) {
        FailReply(TooLargeText(FContentLength));
        return;
    }
    FDocName = HtmlDocumentName(FDocName, FContentType);
    SetState(httpWaitingBody);
    ProcessBuffer();
}

void THttpCli::BodyData(const char *Data, qsizetype Len)
{
    TraceLog(loProtSpecInfo, QStringLiteral("GetBodyLineNext begin"));
    if (!FBodyStarted) {
        FBodyStarted = true;
        FChunks.Reset();
        TraceLog(loProtSpecInfo, QStringLiteral("DocBegin"));
        if (OnDocBegin)
            OnDocBegin(this);
        FStreamForCoding = FReceiveStream.data();
        FContentCoding->Prepare(FContentEncoding);
        FReceiveStreamStart = FReceiveStream ? FReceiveStream->size() : 0;
    }
    // Why the bytes cannot be kept; empty when they were.
    auto write = [this](const char *b, qsizetype n) -> QString {
        if (n <= 0)
            return {};
        FReceivedBytes += n;
        if (FDiscardBody)
            return {};
        if (FMaxDocumentSize > 0 && FReceivedBytes > FMaxDocumentSize)
            return TooLargeText(FReceivedBytes);
        FStreamForCoding = FReceiveStream.data();
        FContentCoding->WriteBuffer(b, n);
        // Every byte must reach the stream: a full disk is no download.
        if (!FContentCoding->OutputFailed())
            return {};
        const QString why = FReceiveStream ? FReceiveStream->errorString() : QString();
        return why.isEmpty() || why == u"Unknown error" ? QStringLiteral("Can't write the document")
                                                         : QStringLiteral("Can't write the document: ") + why;
    };
    if (FTransferEncoding == u"chunked") {
        QString writeError;
        const THttpParseResult r = FChunks.Feed(Data, Len, [&](const char *b, qsizetype n) {
            if (writeError.isEmpty())
                writeError = write(b, n);
        });
        if (!writeError.isEmpty()) {
            FailReply(writeError);
            return;
        }
        if (r.Status == THttpParseStatus::Bad) {
            FailReply(FChunks.Error());
            return;
        }
        // Bytes after the last chunk belong to the next reply on this connection.
        if (r.Consumed < Len)
            FRcvdBuffer.prepend(QByteArray(Data + r.Consumed, Len - r.Consumed));
        if (r.Status == THttpParseStatus::Complete) {
            TraceLog(loProtSpecInfo, QStringLiteral("httpChunkDone, end of document"));
            DocumentComplete();
        }
    } else {
        if (const QString error = write(Data, Len); !error.isEmpty()) {
            FailReply(error);
            return;
        }
        if (FContentLength >= 0 && FReceivedBytes >= FContentLength) {
            TraceLog(loProtSpecInfo, QStringLiteral("End of document"));
            DocumentComplete();
        }
    }
    TraceLog(loProtSpecInfo, QStringLiteral("GetBodyLineNext end"));
}

QString THttpCli::TooLargeText(qint64 Size) const
{
    return QStringLiteral("The document is too large: %1 bytes, at most %2 are taken").arg(Size).arg(FMaxDocumentSize);
}

void THttpCli::FireDocEnd()
{
    if (FDocEnded)
        return;
    FDocEnded = true;
    if (FBandwidthTimer)
        FBandwidthTimer->stop();
    if (FBandwidthPaused) {
        FBandwidthPaused = false;
        FSocket->Resume();
    }
    FContentCoding->Complete();
    TraceLog(loProtSpecInfo, QStringLiteral("DocEnd"));
    if (OnDocEnd)
        OnDocEnd(this);
}

void THttpCli::DocumentComplete()
{
    SetState(httpBodyReceived);
    FireDocEnd();
    AfterDocument();
}

void THttpCli::AfterDocument()
{
    if (FLocationFlag)
        StartRelocation();
    else if (FCloseReq)
        FSocket->Close();
    else
        PostReady();
}

// A kept connection that the server closed right after its last reply: the request met the close
// before any byte of a reply, so it goes once more on a new connection, as browsers and curl do.
// Only requests that may be sent twice (GET, HEAD); an NTLM exchange, which belongs to one
// connection, starts again there.
bool THttpCli::RetryOnNewConnection()
{
    if (!FOnKeptConnection || FReplyStarted || (FRequestType != httpGET && FRequestType != httpHEAD))
        return false;
    TraceLog(loProtSpecInfo, QStringLiteral("Kept connection closed before the reply: the request goes again on a new one"));
    FOnKeptConnection = false;
    FConnected = false;
    FRequestDoneError = 0;
    if (FAuth.NTLM == 3)
        FAuth.NTLM = 1;
    if (FAuth.ProxyNTLM == 3)
        FAuth.ProxyNTLM = 1;
    else if (FAuth.ProxyNTLM == 4)
        FAuth.ProxyNTLM = ProxyAuthKind == authNTLM ? 1 : 0;
    if (FAuth.ProxyBasic == 2 && ProxyAuthKind == authBasic)
        FAuth.ProxyBasic = 1;
    if (FSocket->State() != wsClosed)
        FSocket->Abort();
    SetState(httpNotConnected);
    PostRestart();
    return true;
}

void THttpCli::SessionClosed(quint16 Error)
{
    FSessionClosedSeen = true;
    TraceLog(loProtSpecInfo, QStringLiteral("SessionClosed Error: ") + QString::number(Error));
    if (Error && !FRequestDoneError)
        FRequestDoneError = Error;
    FConnected = false;
    if (FState == httpReady)
        return;
    // Between two exchanges of one request (a relocation or an authentication on this connection):
    // no request is out, and the restart connects anew.
    if (FRestartPending)
        return;
    if (FState == httpWaitingHeader && !FFailed && !FStatusCode) {
        if (RetryOnNewConnection())
            return;
        // Closed before the reply said anything: nothing was delivered.
        FInsideHeader = false;
        if (OnHeaderEnd)
            OnHeaderEnd(this);
        FailReply(QStringLiteral("Connection closed before the reply header was complete"));
        return;
    }
    if (FState == httpWaitingBody && FRequestType != httpHEAD) {
        // Whatever the close cut short is an incomplete document, never a finished one.
        const bool chunked = FTransferEncoding == u"chunked";
        if ((FContentLength >= 0 && !chunked && FReceivedBytes < FContentLength) || (chunked && FChunks.Status() != THttpParseStatus::Complete)) {
            FailReply(QStringLiteral("Connection closed after %1 of %2 bytes of the document")
                          .arg(FReceivedBytes)
                          .arg(chunked ? QStringLiteral("the chunked") : QString::number(FContentLength)));
            return;
        }
        // A body that only the close ends is whole after an orderly close, never after a reset.
        if (Error) {
            FailReply(QStringLiteral("%1 after %2 bytes of the document (Error #%3)")
                          .arg(SocketErrorText(Error))
                          .arg(FReceivedBytes)
                          .arg(Error));
            return;
        }
        if (!FBodyStarted) {
            // A body of unknown length that was empty still begins and ends.
            BodyData(nullptr, 0);
        }
        FireDocEnd();
    }
    if (FLocationFlag) {
        RelocateAfterClose(Error);
        return;
    }
    if (OnSessionClosed)
        OnSessionClosed(this);
    if (FState != httpReady)
        PostReady();
}

// ---- abort and the synchronous wait ----------------------------------------------------------

void THttpCli::Abort()
{
    if (FState != httpReady) {
        const bool lookup = FState == httpDnsLookup;
        SetState(httpAborting);
        if (lookup) {
            try {
                FSocket->StopDnsLookup();
            } catch (const std::exception &) {
            }
        }
        FStatusCode = 404;
        FReasonPhrase = QStringLiteral("Connection aborted on request");
        FRequestDoneError = httperrAborted;
        FLocationFlag = false;
        FConnected = false;
        if (!lookup)
            FSocket->Abort();
        FSessionClosedSeen = true;
        SetState(httpReady);
        return;
    }
    SetState(httpAborting);
    if (FSocket->State() != wsClosed)
        FSocket->Abort();
    FConnected = false;
    FStatusCode = 200;
    FReasonPhrase = QStringLiteral("OK");
    FRequestDoneError = 0;
    FState = httpReady;
    if (OnStateChange)
        OnStateChange(this);
    if (OnRequestDone)
        OnRequestDone(this, FRequestType, FRequestDoneError);
}

void THttpCli::AbortAll()
{
    const QList<THttpCli *> clients = LiveClients();
    for (THttpCli *client : clients)
        if (LiveClients().contains(client) && client->FState != httpReady)
            client->Abort();
}

void THttpCli::RequestAndWait(THttpRequest Request)
{
    StartRequest(Request);
    QPointer<THttpCli> self(this);
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(1000);
    QObject::connect(&tick, &QTimer::timeout, &loop, [] {});
    tick.start();
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [] {});
    if (FRequestTimeout > 0)
        deadline.start(FRequestTimeout);
    QElapsedTimer quiet, whole;
    quiet.start();
    whole.start();
    qint64 seen = FActivity;
    while (self && FState != httpReady) {
        loop.processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
        if (!self)
            break;
        if (FActivity != seen) {
            seen = FActivity;
            quiet.restart();
        }
        QString timedOut;
        if (FTimeout > 0 && quiet.elapsed() >= FTimeout)
            timedOut = QStringLiteral("Timeout: nothing received for %1 s").arg(FTimeout / 1000.0);
        else if (FRequestTimeout > 0 && whole.elapsed() >= FRequestTimeout)
            timedOut = QStringLiteral("Timeout: the request did not end within %1 s").arg(FRequestTimeout / 1000.0);
        if (QCoreApplication::closingDown() || !timedOut.isEmpty()) {
            Abort();
            if (!QCoreApplication::closingDown())
                FReasonPhrase = timedOut;
        }
    }
    if (!self)
        throw EHttpException(QStringLiteral("HTTP component destroyed during the request"), httperrAborted);
    if (Request == httpCLOSE)
        return;
    if (FExceeded)
        throw EHttpException(QStringLiteral("Too many relocations: ") + QString::number(FLocationChangeCurCount),
                             httperrRelocations);
    if (FStatusCode >= 400 || FFailed)
        throw EHttpException(FReasonPhrase, quint16(FStatusCode));
    if (!FHeaderParsed)
        throw EHttpException(QStringLiteral("No reply"), httperrBadReply);
}

// ---- bandwidth -------------------------------------------------------------------------------

void THttpCli::ArmBandwidth()
{
    if (!FBandwidthTimer) {
        FBandwidthTimer = new QTimer(this);
        connect(FBandwidthTimer, &QTimer::timeout, this, [this] { BandwidthTick(); });
    }
    FBandwidthMax = qint64(FBandwidthLimit) * FBandwidthSampling / 1000;
    FBandwidthTimer->start(FBandwidthSampling);
}

void THttpCli::BandwidthTick()
{
    FBandwidthCount = qMax<qint64>(0, FBandwidthCount - FBandwidthMax);
    if (FBandwidthPaused && FBandwidthCount <= FBandwidthMax) {
        FBandwidthPaused = false;
        FSocket->Resume();
    }
}
