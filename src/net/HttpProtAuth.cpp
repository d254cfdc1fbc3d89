// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: THttpCli: following relocations and answering Basic and NTLM challenges of the server and the proxy.
#include "net/HttpProt.h"

#include <QBuffer>
#include <QFileDevice>

void THttpCli::RewindStreams()
{
    if (FBodyStarted && FReceiveStream) {
        // Only the final reply's body may remain in the caller's stream, whatever kind of file it is.
        if (auto *f = qobject_cast<QFileDevice *>(FReceiveStream.data())) {
            f->flush();
            f->resize(FReceiveStreamStart);
        } else if (auto *b = qobject_cast<QBuffer *>(FReceiveStream.data())) {
            b->buffer().truncate(FReceiveStreamStart);
        }
        FReceiveStream->seek(FReceiveStreamStart);
    }
    if (FSendStream && FSentCount > 0)
        FSendStream->seek(qMax<qint64>(0, FSendStream->pos() - FSentCount));
    FSentCount = 0;
}

void THttpCli::ApplyTarget(const THttpTarget &Target)
{
    const bool sameServer = SameOrigin(FTarget, Target);
    FTarget = Target;
    if (!sameServer) {
        // Credentials and half-done exchanges belong to the server that asked for them.
        FCurUsername = Target.User;
        FCurPassword = Target.Pass;
        FAuth.NTLM = 0;
        FAuth.Basic = 0;
    } else if (!Target.User.isEmpty() && !Target.Pass.isEmpty()) {
        FCurUsername = Target.User;
        FCurPassword = Target.Pass;
    }
}

bool THttpCli::RelocationAllowed()
{
    if (FLocationChangeCurCount <= FLocationChangeMaxCount)
        return true;
    bool allow = false;
    if (OnLocationChangeExceeded)
        OnLocationChangeExceeded(this, FLocationChangeCurCount, allow);
    return allow;
}

void THttpCli::StartRelocation()
{
    TraceLog(loProtSpecInfo, QStringLiteral("Starting relocation process"));
    FReceivedBytes = 0;
    FRcvdBuffer.clear();
    FLocationChangeCurCount++;
    FRelocationCounted = true;
    if (!RelocationAllowed()) {
        FLocationFlag = false;
        FExceeded = true;
        if (FCloseReq && FSocket->State() != wsClosed)
            FSocket->Close();
        PostReady();
        return;
    }
    const bool newConnection = FNewTarget.ConnectHost != FConnHost || FNewTarget.ConnectPort != FConnPort
        || FNewTarget.Proto != FConnProto;
    if (newConnection || FCloseReq || FSocket->State() != wsConnected) {
        if (FSocket->State() == wsClosed)
            QMetaObject::invokeMethod(this, [this, serial = FRequestSerial] {
                if (serial == FRequestSerial && FLocationFlag)
                    RelocateAfterClose(0);
            }, Qt::QueuedConnection);
        else
            FSocket->Close(); // the close event continues in RelocateAfterClose
        return;
    }
    FRelocationCounted = false;
    ContinueRelocation();
}

void THttpCli::RelocateAfterClose(quint16 Error)
{
    Q_UNUSED(Error);
    FLocationFlag = false;
    FConnected = false;
    // One relocation counts once, whether or not it needed a new connection.
    const bool countedNow = !FRelocationCounted;
    if (countedNow)
        FLocationChangeCurCount++;
    FRelocationCounted = false;
    if (countedNow && !RelocationAllowed()) {
        FExceeded = true;
        PostReady();
        return;
    }
    ContinueRelocation();
}

// The reply that relocated is dropped (its body too) and the request goes to the new place; a
// relocated POST becomes a GET.
void THttpCli::ContinueRelocation()
{
    if (OnLocationChange)
        OnLocationChange(this);
    RewindStreams();
    const QString location = FLocation;
    ResetReply();
    FLocation = location;
    ApplyTarget(FNewTarget);
    FDocName = BuildDocumentName(FTarget.Path);
    if (FRequestType == httpPOST)
        FRequestType = httpGET;
    PostRestart();
}

void THttpCli::DoRestart()
{
    FRestartPending = false;
    // Ready again before the restart ran: the request was aborted or failed meanwhile.
    if (FState == httpReady)
        return;
    if (FSocket->State() == wsConnected && (FConnHost != FTarget.ConnectHost || FConnPort != FTarget.ConnectPort))
        FSocket->Abort();
    Login();
}

THttpAuthInput THttpCli::AuthExchangeInput() const
{
    THttpAuthInput in;
    in.StatusCode = FStatusCode;
    in.AuthHeaders = FAuthHeaders;
    in.CloseReq = FCloseReq;
    in.NoBasicAuth = FOptions.Contains(httpoNoBasicAuth);
    in.NoNTLMAuth = FOptions.Contains(httpoNoNTLMAuth);
    in.ServerAuthKind = ServerAuthKind;
    in.ProxyAuthKind = ProxyAuthKind;
    in.ServerCredentials = !FCurUsername.isEmpty() && !FCurPassword.isEmpty();
    // Proxy credentials go to the proxy only: a web server that answers 407 gets none.
    in.ProxyCredentials = !FProxy.isEmpty() && !FProxyUsername.isEmpty() && !FProxyPassword.isEmpty();
    return in;
}

// Asked when a reply header is complete: the exchange that runs at its end decides on the same input.
bool THttpCli::AuthExchangeWillResend() const
{
    if (FStatusCode != 401 && FStatusCode != 407)
        return false;
    THttpAuthStates states = FAuth;
    return RunAuthExchange(states, AuthExchangeInput()).Outcome == THttpAuthOutcome::Resend;
}

void THttpCli::RunAuthExchangeOnReady()
{
    if (FClosingOnly || FFailed || FExceeded || FRequestDoneError == httperrAborted || !FHeaderParsed) {
        PostRequestDone();
        return;
    }
    const THttpAuthInput in = AuthExchangeInput();
    if (TraceEnabled(loProtSpecDump))
        TraceLog(loProtSpecDump, QString::asprintf("PrepareNTLMAuth end, FStatusCode = %d FProxyAuthNTLMState=%d FAuthNTLMState=%d",
                                                   FStatusCode, FAuth.ProxyNTLM, FAuth.NTLM));
    const THttpAuthDecision d = RunAuthExchange(FAuth, in);
    FAuthHeaders = d.AuthHeaders;
    switch (d.Outcome) {
    case THttpAuthOutcome::Done:
    case THttpAuthOutcome::Refused:
        PostRequestDone();
        return;
    case THttpAuthOutcome::Invalid:
        FFailed = true;
        FReasonPhrase = d.Error;
        PostRequestDone();
        return;
    case THttpAuthOutcome::Resend:
        break;
    }
    if (d.ServerChallenge)
        FNTLMMsg2Info = ParseNtlmChallenge(d.Challenge);
    if (d.ProxyChallenge)
        FProxyNTLMMsg2Info = ParseNtlmChallenge(d.Challenge);
    if (d.ServerKeepAlive && VersionRuleKeepAlive())
        FCurConnection = QStringLiteral("Keep-alive");
    if (d.ProxyKeepAlive && VersionRuleKeepAlive())
        FCurProxyConnection = QStringLiteral("Keep-alive");
    TraceLog(loProtSpecInfo, FStatusCode == 407 ? QStringLiteral("Starting Proxy authentication")
                                                : QStringLiteral("Starting authentication"));
    RewindStreams();
    FRcvdBuffer.clear();
    const QString doc = FDocName;
    const QString location = FLocation;
    ResetReply();
    FDocName = doc;
    FLocation = location;
    // Not ready: the request goes on, and a synchronous wait must not end here.
    SetState(httpNotConnected);
    PostRestart();
}
