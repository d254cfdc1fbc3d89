// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: fuzz harness of the SOCKS replies, fed a byte at a time as a socket delivers them: a reply
// in progress asks for more than it has, a complete one is read again the same from exactly its
// bytes, a failure names its error.
#include "FuzzCheck.h"

#include "net/SocksMessages.h"

using namespace SocksMessages;

namespace {

bool Same(const TSocksReply &a, const TSocksReply &b)
{
    return a.Status == b.Status && a.Length == b.Length && a.Error == b.Error && a.Text == b.Text && a.Method == b.Method
        && a.BoundAddr == b.BoundAddr && a.BoundPort == b.BoundPort;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::TInput input(data, size);
    TSocksReply (*const parsers[])(const QByteArray &) = {ParseMethodReply, ParseAuthenticationReply,
                                                           ParseSocks4Reply, ParseSocks5Reply};
    const auto parse = parsers[input.Byte() % 4];
    const QByteArray reply = input.Rest();
    for (qsizetype n = 0; n <= reply.size() && n <= LongestReply + 1; ++n) {
        const QByteArray got = reply.left(n);
        const TSocksReply r = parse(got);
        switch (r.Status) {
        case TSocksReply::Incomplete:
            FUZZ_CHECK(r.Length == 0 || r.Length > n);
            FUZZ_CHECK(r.Length <= LongestReply);
            break;
        case TSocksReply::Done:
            FUZZ_CHECK(r.Length > 0 && r.Length <= n);
            FUZZ_CHECK(Same(parse(got.left(r.Length)), r));
            break;
        case TSocksReply::Failed:
            FUZZ_CHECK(r.Error != 0 && !r.Text.isEmpty());
            break;
        }
        if (r.Status != TSocksReply::Incomplete)
            break;
    }
    return 0;
}
