// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the decisions of the HTTP authentication exchange (Basic and NTLM, server and proxy), free of sockets.
#include "HttpAuth.h"

namespace {

qsizetype LastStartingWith(const QStringList &list, const QString &prefix)
{
    for (qsizetype i = list.size() - 1; i >= 0; --i)
        if (list.at(i).left(prefix.size()).compare(prefix, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

enum class TStart { Resend, Refused, Invalid };

// One NTLM step on state s; from 1 the challenge is taken from the last "NTLM" entry.
TStart StartNtlm(quint8 &s, quint8 &basic, bool &keepAlive, QString &challenge, QStringList &headers)
{
    switch (s) {
    case 0:
        s = 1;
        basic = 0;
        keepAlive = true;
        return TStart::Resend;
    case 1: {
        const qsizetype i = LastStartingWith(headers, QStringLiteral("NTLM"));
        challenge = i < 0 ? QString() : headers.at(i).mid(5, 1000).trimmed();
        s = 3;
        return TStart::Resend;
    }
    case 3:
        headers.clear();
        s = 0;
        return TStart::Refused;
    default:
        return TStart::Invalid;
    }
}

TStart StartBasic(quint8 &s, quint8 &ntlm, QStringList &headers)
{
    switch (s) {
    case 0:
        s = 1;
        ntlm = 0;
        return TStart::Resend;
    case 1:
        headers.clear();
        s = 0;
        return TStart::Refused;
    default:
        return TStart::Invalid;
    }
}

} // namespace

THttpAuthDecision RunAuthExchange(THttpAuthStates &s, const THttpAuthInput &in)
{
    THttpAuthDecision d;
    d.AuthHeaders = in.AuthHeaders;
    const int st = in.StatusCode;
    if (s.NTLM == 3 && st != 401 && st != 407)
        s.NTLM = 4;
    else if (s.NTLM == 4 && st == 401)
        s.NTLM = 0;
    if (s.ProxyNTLM == 3 && st != 407)
        s.ProxyNTLM = 4;
    else if (s.ProxyNTLM == 4 && st == 407)
        s.ProxyNTLM = 0;
    if (s.Basic == 1 && st != 401 && st != 407)
        s.Basic = 2;
    else if (s.Basic == 2 && st == 401)
        s.Basic = 0;
    if (s.ProxyBasic == 1 && st != 407)
        s.ProxyBasic = 2;
    else if (s.ProxyBasic == 2 && st == 407)
        s.ProxyBasic = 0;

    bool acted = false;
    TStart result = TStart::Refused;
    const bool ntlmAllowed = !in.NoNTLMAuth || (st == 401 ? in.ServerAuthKind : in.ProxyAuthKind) == authNTLM;
    if (ntlmAllowed && !d.AuthHeaders.isEmpty()) {
        if (st == 401 && s.Basic == 0 && in.ServerCredentials
            && LastStartingWith(d.AuthHeaders, QStringLiteral("NTLM")) >= 0) {
            acted = true;
            result = StartNtlm(s.NTLM, s.Basic, d.ServerKeepAlive, d.Challenge, d.AuthHeaders);
            d.ServerChallenge = s.NTLM == 3;
        } else if (st == 407 && s.ProxyBasic == 0 && in.ProxyCredentials
                   && LastStartingWith(d.AuthHeaders, QStringLiteral("NTLM")) >= 0) {
            acted = true;
            result = StartNtlm(s.ProxyNTLM, s.ProxyBasic, d.ProxyKeepAlive, d.Challenge, d.AuthHeaders);
            d.ProxyChallenge = s.ProxyNTLM == 3;
        }
    }
    const bool basicAllowed = !in.NoBasicAuth || (st == 401 ? in.ServerAuthKind : in.ProxyAuthKind) == authBasic;
    if (!acted && basicAllowed && !d.AuthHeaders.isEmpty()) {
        if (st == 401 && s.NTLM == 0 && in.ServerCredentials
            && LastStartingWith(d.AuthHeaders, QStringLiteral("Basic")) >= 0) {
            acted = true;
            result = StartBasic(s.Basic, s.NTLM, d.AuthHeaders);
        } else if (st == 407 && s.ProxyNTLM == 0 && in.ProxyCredentials
                   && LastStartingWith(d.AuthHeaders, QStringLiteral("Basic")) >= 0) {
            acted = true;
            result = StartBasic(s.ProxyBasic, s.ProxyNTLM, d.AuthHeaders);
        }
    }
    if (!acted)
        return d;
    if (result == TStart::Invalid) {
        d.Outcome = THttpAuthOutcome::Invalid;
        d.Error = st == 401 ? QStringLiteral("Unexpected AuthNTLMState") : QStringLiteral("Unexpected ProxyAuthNTLMState");
        return d;
    }
    if (st == 401) {
        // A new connection must pass the proxy again; a kept one has no half-done proxy exchange.
        if (in.CloseReq) {
            if (s.ProxyNTLM == 4)
                s.ProxyNTLM = 1;
            else if (s.ProxyBasic == 2)
                s.ProxyBasic = 1;
        } else {
            if (s.ProxyNTLM < 4)
                s.ProxyNTLM = 0;
            else if (s.ProxyBasic < 2)
                s.ProxyBasic = 0;
        }
    }
    d.Outcome = result == TStart::Resend ? THttpAuthOutcome::Resend : THttpAuthOutcome::Refused;
    return d;
}

THttpPresetResult PresetAuthStates(const THttpAuthPreset &p)
{
    THttpPresetResult r;
    if (p.UseProxy && p.ProxyAuthKind != authNone && p.ProxyCredentials) {
        if (p.ProxyAuthKind == authNTLM) {
            r.States.ProxyNTLM = p.NewConnection ? 1 : 4;
            r.ProxyKeepAlive = true;
        } else {
            r.States.ProxyBasic = p.NewConnection ? 1 : 2;
        }
    }
    if (p.ServerAuthKind != authNone && p.ServerCredentials) {
        if (p.ServerAuthKind == authNTLM) {
            r.States.NTLM = 1;
            r.ServerKeepAlive = true;
        } else {
            r.States.Basic = 1;
        }
    }
    return r;
}
