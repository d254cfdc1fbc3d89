// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the decisions of the HTTP authentication exchange (Basic and NTLM, server and proxy), free of sockets.
#pragma once

#include <QString>
#include <QStringList>

// NTLM: 0 none, 1 negotiate to send, 3 challenge received and authenticate to send, 4 done.
// Basic: 0 none, 1 credentials to send, 2 done.
struct THttpAuthStates
{
    quint8 NTLM = 0, ProxyNTLM = 0, Basic = 0, ProxyBasic = 0;
};

enum THttpAuthKind : quint8 { authNone = 0, authBasic = 1, authNTLM = 2 };

struct THttpAuthInput
{
    int StatusCode = 0;
    QStringList AuthHeaders;
    bool CloseReq = false;
    bool NoBasicAuth = false, NoNTLMAuth = false;
    quint8 ServerAuthKind = authNone, ProxyAuthKind = authNone;
    bool ServerCredentials = false; // working user name and password both given
    bool ProxyCredentials = false;  // ProxyUsername and ProxyPassword both given
};

enum class THttpAuthOutcome {
    Done,    // nothing to answer: the request ends with this reply
    Resend,  // send the request again with the new states
    Refused, // the credentials were refused: the request ends with this reply
    Invalid, // a state out of sequence (Error names it)
};

struct THttpAuthDecision
{
    THttpAuthOutcome Outcome = THttpAuthOutcome::Done;
    bool ServerChallenge = false;  // Challenge is the server's type-2 message (Base64)
    bool ProxyChallenge = false;   // Challenge is the proxy's
    QString Challenge;
    bool ServerKeepAlive = false;  // NTLM starts: the working connection token wants "Keep-alive"
    bool ProxyKeepAlive = false;
    QString Error;
    QStringList AuthHeaders;       // the challenge list afterwards (emptied when refused)
};

// The exchange that runs when a reply is over: advances the states and says whether to ask again.
THttpAuthDecision RunAuthExchange(THttpAuthStates &States, const THttpAuthInput &Input);

// The states a request starts with: credentials announced before any challenge, and a proxy that
// already accepted this connection is not asked again.
struct THttpAuthPreset
{
    bool UseProxy = false;
    bool NewConnection = true;
    quint8 ServerAuthKind = authNone, ProxyAuthKind = authNone;
    bool ServerCredentials = false, ProxyCredentials = false;
};
struct THttpPresetResult
{
    THttpAuthStates States;
    bool ServerKeepAlive = false, ProxyKeepAlive = false;
};
THttpPresetResult PresetAuthStates(const THttpAuthPreset &Preset);
