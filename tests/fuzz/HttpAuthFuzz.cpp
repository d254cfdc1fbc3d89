// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: fuzz harness of the HTTP authentication exchange over any run of replies: the states stay
// those the exchange knows, a challenge belongs to the server or the proxy, and a server or proxy
// that answers the same way every time cannot keep the client asking again for ever.
#include "FuzzCheck.h"

#include "net/HttpAuth.h"

namespace {

bool Known(const THttpAuthStates &s)
{
    auto ntlm = [](quint8 v) { return v == 0 || v == 1 || v == 3 || v == 4; };
    return ntlm(s.NTLM) && ntlm(s.ProxyNTLM) && s.Basic <= 2 && s.ProxyBasic <= 2;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::TInput input(data, size);
    const uint8_t preset = input.Byte();
    THttpAuthPreset p;
    p.UseProxy = preset & 1;
    p.NewConnection = preset & 2;
    p.ServerAuthKind = quint8((preset >> 2) % 3);
    p.ProxyAuthKind = quint8((preset >> 4) % 3);
    p.ServerCredentials = preset & 0x40;
    p.ProxyCredentials = preset & 0x80;
    THttpAuthStates states = PresetAuthStates(p).States;
    FUZZ_CHECK(Known(states));
    // Each reply: its status, its flags, then its challenge headers, one a line, up to a NUL.
    static const int statuses[] = {200, 401, 407, 302, 500, 401, 407, 304};
    const QList<QByteArray> replies = input.Rest().split('\0');
    for (const QByteArray &reply : replies) {
        if (reply.size() < 2)
            continue;
        THttpAuthInput in;
        in.StatusCode = statuses[uchar(reply[0]) % 8];
        const uchar flags = uchar(reply[1]);
        in.CloseReq = flags & 1;
        in.NoBasicAuth = flags & 2;
        in.NoNTLMAuth = flags & 4;
        in.ServerAuthKind = p.ServerAuthKind;
        in.ProxyAuthKind = p.ProxyAuthKind;
        in.ServerCredentials = flags & 8 ? !p.ServerCredentials : p.ServerCredentials;
        in.ProxyCredentials = flags & 16 ? !p.ProxyCredentials : p.ProxyCredentials;
        for (const QByteArray &line : reply.mid(2).split('\n'))
            in.AuthHeaders << QString::fromLatin1(line);
        // The same reply again and again, as a server that never accepts would send it.
        int resent = 0;
        while (true) {
            const THttpAuthDecision d = RunAuthExchange(states, in);
            FUZZ_CHECK(Known(states));
            FUZZ_CHECK(!(d.ServerChallenge && d.ProxyChallenge));
            FUZZ_CHECK(d.Challenge.isEmpty() || d.ServerChallenge || d.ProxyChallenge);
            FUZZ_CHECK(d.Outcome != THttpAuthOutcome::Invalid || !d.Error.isEmpty());
            if (d.Outcome != THttpAuthOutcome::Resend)
                break;
            FUZZ_CHECK(++resent < 8);
            in.AuthHeaders = d.AuthHeaders;
        }
    }
    return 0;
}
