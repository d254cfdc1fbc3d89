// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: THttpCli, the event-driven HTTP/1.0 and 1.1 client over TWSocket, with relocation and Basic/NTLM authentication.
//
// Every step is a reaction to a socket event or to a message the client posts to its own hidden
// window (WM_USER+1 request done, +2 ready, +3 restart), so a request runs on the thread that owns
// the client. Get() is the blocking form: it runs the thread's events until the request is over.
#pragma once

#include "net/HiddenWindow.h"
#include "net/HttpAuth.h"
#include "net/HttpContCod.h"
#include "net/HttpReply.h"
#include "net/HttpRequest.h"
#include "net/IcsNtlmMsgs.h"
#include "net/WSocketLayers.h"

#include <QDateTime>
#include <QIODevice>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <stdexcept>

class EHttpException : public std::runtime_error
{
public:
    EHttpException(const QString &Message, quint16 ErrorCode)
        : std::runtime_error(Message.toStdString()), FMessage(Message), FErrorCode(ErrorCode) {}
    const QString &Message() const { return FMessage; }
    quint16 ErrorCode() const { return FErrorCode; }

private:
    QString FMessage;
    quint16 FErrorCode;
};

enum THttpRequest { httpABORT, httpGET, httpPOST, httpPUT, httpHEAD, httpCLOSE };

enum THttpState {
    httpReady,
    httpNotConnected,
    httpConnected,
    httpDnsLookup,
    httpDnsLookupDone,
    httpWaitingHeader,
    httpWaitingBody,
    httpBodyReceived,
    httpWaitingProxyConnect,
    httpClosing,
    httpAborting
};

enum THttpCliOption { httpoNoBasicAuth, httpoNoNTLMAuth, httpoBandwidthControl, httpoEnableContentCoding, httpoUseQuality };

class THttpCliOptions
{
public:
    constexpr THttpCliOptions() = default;
    constexpr THttpCliOptions(std::initializer_list<THttpCliOption> options)
    {
        for (THttpCliOption o : options)
            FBits |= 1u << o;
    }
    constexpr bool Contains(THttpCliOption o) const { return (FBits & (1u << o)) != 0; }
    constexpr THttpCliOptions &operator+=(THttpCliOption o) { FBits |= 1u << o; return *this; }
    constexpr THttpCliOptions &operator-=(THttpCliOption o) { FBits &= ~(1u << o); return *this; }
    constexpr bool operator==(const THttpCliOptions &) const = default;

private:
    unsigned FBits = 0;
};

// RequestDoneError values of the client's own: 3 after Abort; 4 when the reply was broken (a bad
// header, a body cut short by the close of the connection, a document that could not be written).
constexpr quint16 httperrAborted = 3;
constexpr quint16 httperrBadReply = 4;

// The numbers the synchronous form raises with beside the HTTP status.
constexpr quint16 httperrBusy = 1, httperrNothingToPost = 2, httperrVersion = 5, httperrAuthState = 6,
                  httperrRelocations = 7;

using THttpSocket = TWSocket;

class THttpCli : public QObject
{
public:
    using TDocDataEvent = std::function<void(QObject *Sender, const char *Buffer, int Len)>;
    using THttpRequestDone = std::function<void(QObject *Sender, THttpRequest RqType, quint16 ErrCode)>;
    using TCookieRcvdEvent = std::function<void(QObject *Sender, const QString &Data, bool &Accept)>;
    using TCommandEvent = std::function<void(QObject *Sender, QString &S)>;
    using TLocationChangeExceeded = std::function<void(QObject *Sender, int RelocationCount, bool &AllowMoreRelocations)>;
    using TBeforeHeaderSendEvent = std::function<void(QObject *Sender, const QString &Method, QStringList &Headers)>;

    explicit THttpCli(QObject *AOwner = nullptr);
    ~THttpCli() override;

    // ---- properties (plain assignments unless said otherwise) ----
    QString URL() const { return FURL; }
    void SetURL(const QString &v) { FURL = v; }
    QString LocalAddr() const { return FLocalAddr; }
    void SetLocalAddr(const QString &v) { FLocalAddr = v; }
    QString Proxy() const { return FProxy; }
    void SetProxy(const QString &v) { FProxy = v; }
    QString ProxyPort() const { return FProxyPort; }
    void SetProxyPort(const QString &v) { FProxyPort = v; }
    QString Sender() const { return FSender; }
    void SetSender(const QString &v) { FSender = v; }
    QString Agent() const { return FAgent; }
    void SetAgent(const QString &v) { FAgent = v; }
    QString Accept() const { return FAccept; }
    void SetAccept(const QString &v) { FAccept = v; }
    QString AcceptLanguage() const { return FAcceptLanguage; }
    void SetAcceptLanguage(const QString &v) { FAcceptLanguage = v; }
    QString Reference() const { return FReference; }
    void SetReference(const QString &v) { FReference = v; }
    QString Connection() const { return FConnection; }
    void SetConnection(const QString &v) { FConnection = v; }
    QString ProxyConnection() const { return FProxyConnection; }
    void SetProxyConnection(const QString &v) { FProxyConnection = v; }
    QString Username() const { return FUsername; }
    void SetUsername(const QString &v) { FUsername = v; }
    QString Password() const { return FPassword; }
    void SetPassword(const QString &v) { FPassword = v; }
    QString ProxyUsername() const { return FProxyUsername; }
    void SetProxyUsername(const QString &v) { FProxyUsername = v; }
    QString ProxyPassword() const { return FProxyPassword; }
    void SetProxyPassword(const QString &v) { FProxyPassword = v; }
    bool NoCache() const { return FNoCache; }
    void SetNoCache(bool v) { FNoCache = v; }
    // Invalid (the default): no "If-Modified-Since".
    QDateTime ModifiedSince() const { return FModifiedSince; }
    void SetModifiedSince(const QDateTime &v) { FModifiedSince = v; }
    QString Cookie() const { return FCookie; }
    void SetCookie(const QString &v) { FCookie = v; }
    QString ContentTypePost() const { return FContentTypePost; }
    void SetContentTypePost(const QString &v) { FContentTypePost = v; }
    QString ContentRangeBegin() const { return FContentRangeBegin; }
    void SetContentRangeBegin(const QString &v) { FContentRangeBegin = v; }
    QString ContentRangeEnd() const { return FContentRangeEnd; }
    void SetContentRangeEnd(const QString &v) { FContentRangeEnd = v; }
    QString AcceptRanges() const { return FAcceptRanges; }
    bool MultiThreaded() const { return FMultiThreaded; }
    void SetMultiThreaded(bool v);
    QString RequestVer() const { return FRequestVer; }
    // "1.0" or "1.1"; anything else raises EHttpException "Insupported HTTP version" (5).
    void SetRequestVer(const QString &v);
    bool FollowRelocation() const { return FFollowRelocation; }
    void SetFollowRelocation(bool v) { FFollowRelocation = v; }
    int LocationChangeMaxCount() const { return FLocationChangeMaxCount; }
    void SetLocationChangeMaxCount(int v) { FLocationChangeMaxCount = v; }
    int LocationChangeCurCount() const { return FLocationChangeCurCount; }
    int BandwidthLimit() const { return FBandwidthLimit; }
    void SetBandwidthLimit(int v) { FBandwidthLimit = v; }
    int BandwidthSampling() const { return FBandwidthSampling; }
    void SetBandwidthSampling(int v) { FBandwidthSampling = v; }
    THttpCliOptions Options() const;
    void SetOptions(const THttpCliOptions &v);
    TIcsLogger *IcsLogger() const { return FSocket->IcsLogger(); }
    void SetIcsLogger(TIcsLogger *v) { FSocket->SetIcsLogger(v); }
    QString SocksServer() const { return FSocksServer; }
    void SetSocksServer(const QString &v) { FSocksServer = v; }
    QString SocksLevel() const { return FSocksLevel; }
    void SetSocksLevel(const QString &v) { FSocksLevel = v; }
    QString SocksPort() const { return FSocksPort; }
    void SetSocksPort(const QString &v) { FSocksPort = v; }
    QString SocksUsercode() const { return FSocksUsercode; }
    void SetSocksUsercode(const QString &v) { FSocksUsercode = v; }
    QString SocksPassword() const { return FSocksPassword; }
    void SetSocksPassword(const QString &v) { FSocksPassword = v; }
    TSocksAuthentication SocksAuthentication() const { return FSocksAuthentication; }
    void SetSocksAuthentication(TSocksAuthentication v) { FSocksAuthentication = v; }
    // Milliseconds without any sign of the peer after which Get() aborts; 0 waits for ever.
    int Timeout() const { return FTimeout; }
    void SetTimeout(int v) { FTimeout = v; }
    // Milliseconds a whole synchronous request may take, relocations and exchanges included: a peer
    // that trickles bytes never holds it longer. 0 has no limit.
    int RequestTimeout() const { return FRequestTimeout; }
    void SetRequestTimeout(int v) { FRequestTimeout = v; }
    // The largest document the request takes, in bytes; a longer one fails it as soon as its length
    // is announced or its bytes pass the limit. 0 takes any.
    qint64 MaxDocumentSize() const { return FMaxDocumentSize; }
    void SetMaxDocumentSize(qint64 v) { FMaxDocumentSize = v; }
    // The ANSI code page user names and passwords are sent in (Basic credentials, the LM response),
    // as the Windows program sends its 8-bit strings. 1252 unless set.
    int CodePage() const { return FCodePage; }
    void SetCodePage(int v) { FCodePage = v; }

    // ---- public state ----
    int FStatusCode = 0;
    QString StatusText() const { return FReasonPhrase; }
    qint64 ContentLength() const { return FContentLength; }
    qint64 ReceivedBytes() const { return FReceivedBytes; }
    QIODevice *ReceiveStream() const { return FReceiveStream; }
    void SetReceiveStream(QIODevice *v) { FReceiveStream = v; }
    QIODevice *SendStream() const { return FSendStream; }
    void SetSendStream(QIODevice *v) { FSendStream = v; }
    QString DocumentName() const { return FDocName; }
    QString ContentType() const { return FContentType; }
    QString TransferEncoding() const { return FTransferEncoding; }
    QString ContentEncoding() const { return FContentEncoding; }
    QString Location() const { return FLocation; }
    quint16 RequestDoneError() const { return FRequestDoneError; }
    THttpState State() const { return FState; }
    const QStringList &ReplyHeaders() const { return FReplyHeaders; }
    const QStringList &AuthHeaders() const { return FAuthHeaders; }
    bool FCloseReq = false;
    THttpAuthStates AuthStates() const { return FAuth; }
    quint8 ServerAuthKind = authNone, ProxyAuthKind = authNone;
    THttpSocket *CtrlSocket() const { return FSocket; }

    // ---- events ----
    TNotifyEvent OnTrace, OnSessionConnected, OnSessionClosed, OnHeaderData, OnHeaderBegin, OnHeaderEnd,
        OnRequestHeaderBegin, OnRequestHeaderEnd, OnDocBegin, OnDocEnd, OnSendBegin, OnSendEnd, OnStateChange,
        OnLocationChange, OnDataPush2, OnSocketError;
    TCommandEvent OnCommand;
    TDocDataEvent OnDocData, OnSendData;
    THttpRequestDone OnRequestDone;
    TCookieRcvdEvent OnCookie;
    TDataAvailable OnDataPush;
    TLocationChangeExceeded OnLocationChangeExceeded;
    TBeforeHeaderSendEvent OnBeforeHeaderSend;
    // Forwarded from the socket, with the client as Sender.
    TSessionConnected OnSocksConnected;
    TSocksErrorEvent OnSocksError;
    TSocksAuthStateEvent OnSocksAuthState;

    // ---- operations ----
    // The blocking GET: raises EHttpException when the request failed (see RequestAndWait).
    void Get();
    void Head();
    void Post();
    void Put();
    void Close();
    void GetASync() { StartRequest(httpGET); }
    void HeadASync() { StartRequest(httpHEAD); }
    void PostASync() { StartRequest(httpPOST); }
    void PutASync() { StartRequest(httpPUT); }
    void CloseAsync() { StartRequest(httpCLOSE); }
    void Abort();
    // The program is ending: every request of every client that waits now is aborted, so no
    // hidden check or download keeps the process (and its lock) for its whole time-out.
    static void AbortAll();

    virtual void StartRequest(THttpRequest Request);
    // StartRequest, then the thread's events until the request is over. Raises EHttpException for
    // a status of 400 or more, for a broken or truncated reply, for relocations past the limit and
    // for a 401 or 407 that the exchange could not answer: each of these leaves no usable document.
    virtual void RequestAndWait(THttpRequest Request);

protected:
    virtual void TraceLog(TLogOption Level, const QString &Text);
    virtual bool TraceEnabled(TLogOption Level) const;
    virtual THttpSocket *CreateSocket();
    virtual void ApplySocketSettings();
    virtual void SendRequest(const QString &Method, const QString &Version);
    virtual void SendHeaderLine(const QString &Line);
    virtual void Login();
    virtual void CloseConnection();
    virtual void ResetReply();
    virtual void StartRelocation();
    virtual void DnsLookupDone(quint16 Error);
    virtual void SessionClosed(quint16 Error);
    virtual void SessionConnected(quint16 Error);
    virtual void DataSent(quint16 Error);
    virtual void DataAvailable(quint16 Error);
    virtual void RelocateAfterClose(quint16 Error);
    virtual void SetState(THttpState State);
    virtual void PostRequestDone();
    virtual void PostReady();
    virtual void WndProc(TMessage &Message);

private:
    void ProcessBuffer();
    void HeaderComplete();
    void BodyData(const char *Data, qsizetype Len);
    void DocumentComplete();
    void AfterDocument();
    void FailReply(const QString &Text);
    QString ConnectionProblem() const;
    bool RetryOnNewConnection();
    void PostRestart();
    QString BasicAuthorization(const QString &User, const QString &Password, bool Proxy) const;
    void DoRestart();
    void RunAuthExchangeOnReady();
    void ApplyTarget(const THttpTarget &Target);
    void RewindStreams();
    bool RelocationAllowed();
    THttpAuthInput AuthExchangeInput() const;
    bool AuthExchangeWillResend() const;
    void ContinueRelocation();
    bool VersionRuleKeepAlive() const;
    void StartBody();
    void FireDocEnd();
    QString TooLargeText(qint64 Size) const;
    void ArmBandwidth();
    void BandwidthTick();
    QString AuthorizationValue(bool Proxy);

    THttpSocket *FSocket = nullptr;
    THiddenWindow *FWindow = nullptr;
    std::unique_ptr<THttpContCodHandler> FContentCoding;
    THttpReplyParser FParser;
    THttpChunkDecoder FChunks;
    QTimer *FBandwidthTimer = nullptr;

    QString FURL, FLocalAddr = QStringLiteral("0.0.0.0"), FProxy, FProxyPort = QStringLiteral("80"), FSender;
    QString FAgent = QStringLiteral("Mozilla/4.0 (compatible)");
    QString FAccept = QStringLiteral("image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*");
    QString FAcceptLanguage, FReference, FConnection, FProxyConnection, FUsername, FPassword;
    QString FProxyUsername, FProxyPassword, FCookie;
    QString FContentTypePost = QStringLiteral("application/x-www-form-urlencoded");
    QString FContentRangeBegin, FContentRangeEnd, FAcceptRanges;
    bool FNoCache = false;
    QDateTime FModifiedSince;
    bool FMultiThreaded = false;
    QString FRequestVer = QStringLiteral("1.0");
    bool FFollowRelocation = true;
    int FLocationChangeMaxCount = 5;
    int FLocationChangeCurCount = 0;
    int FBandwidthLimit = 10000;
    int FBandwidthSampling = 1000;
    THttpCliOptions FOptions;
    QString FSocksServer, FSocksLevel, FSocksPort, FSocksUsercode, FSocksPassword;
    TSocksAuthentication FSocksAuthentication = socksNoAuthentication;
    int FTimeout = 60000;
    int FRequestTimeout = 0;
    qint64 FMaxDocumentSize = 0;
    int FCodePage = 1252;

    THttpState FState = httpReady;
    THttpRequest FRequestType = httpGET;
    QString FReasonPhrase;
    qint64 FContentLength = -1;
    qint64 FReceivedBytes = 0;
    qint64 FSentCount = 0;
    QPointer<QIODevice> FReceiveStream, FSendStream;
    QIODevice *FStreamForCoding = nullptr; // what the coding handler writes to (FReceiveStream while a body runs)
    QByteArray FHeaderStream;
    bool FRelocationCounted = false;
    bool FClosingOnly = false;    // the running request is httpCLOSE: no reply to answer
    quint64 FRequestSerial = 0;   // tells a queued call of an earlier request from one of the running one
    qint64 FReceiveStreamStart = 0;
    QString FDocName, FContentType, FTransferEncoding, FContentEncoding, FLocation;
    QString FReplyVer;
    quint16 FRequestDoneError = 0;
    QStringList FReplyHeaders, FAuthHeaders;
    THttpAuthStates FAuth;
    TNtlmChallengeInfo FNTLMMsg2Info, FProxyNTLMMsg2Info;
    QString FCurUsername, FCurPassword, FCurConnection, FCurProxyConnection;

    THttpTarget FTarget;          // the request being sent
    THttpTarget FNewTarget;       // where a location header points
    bool FLocationFlag = false;   // a relocation is pending
    bool FExceeded = false;       // relocations went past the limit
    bool FFailed = false;         // the reply was broken: the request must not look like a success
    bool FConnected = false;
    QString FConnHost, FConnPort, FConnProto; // identity of the open connection
    bool FInsideHeader = false;
    bool FBodyStarted = false;
    bool FDocEnded = false;
    bool FDiscardBody = false;    // the reply leads to another exchange: its body is no document
    bool FSendingBody = false;
    bool FHeaderParsed = false;
    bool FSessionClosedSeen = false;
    int FRepliesOnConnection = 0; // reply headers the open connection carried
    bool FOnKeptConnection = false; // the request went out on a connection that had carried a reply
    bool FReplyStarted = false;   // a byte of the reply to the request sent last arrived
    bool FRestartPending = false; // the request goes on with the posted restart
    bool FSocketErrorReported = false; // the socket reported a failure through OnError
    QString FSocksErrorText;      // what the SOCKS server's last refusal said
    QByteArray FRcvdBuffer;       // received, not yet handled
    qint64 FBandwidthCount = 0, FBandwidthMax = 0;
    bool FBandwidthPaused = false;
    qint64 FActivity = 0;         // ticks of the wait's inactivity clock
};
