// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: fuzz harness of URL splitting, request targets and relocation: credentials never follow
// a relocation to another server, and no path asks for anything above the root.
#include "FuzzCheck.h"

#include "net/HttpRequest.h"
#include "net/IcsUrl.h"

namespace {

// The part before the query names nothing above the root and holds no "." or ".." segment.
bool PathIsResolved(const QString &path)
{
    const QString head = path.left(path.indexOf(u'?') < 0 ? path.size() : path.indexOf(u'?'));
    for (const QString &segment : head.split(u'/'))
        if (segment == u"." || segment == u"..")
            return false;
    return true;
}

void CheckTarget(const THttpTarget &t)
{
    FUZZ_CHECK(!t.Path.isEmpty());
    FUZZ_CHECK(PathIsResolved(t.Path));
    FUZZ_CHECK(!t.HostHeaderPort.isEmpty());
    const QString name = BuildDocumentName(t.Path);
    FUZZ_CHECK(!name.isEmpty() && name.size() <= 255 && !name.contains(u'/') && !name.contains(u'?'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::TInput input(data, size);
    const int nth = int(int8_t(input.Byte()));
    const bool viaProxy = input.Byte() & 1;
    // Lines: the URL, the base path, the location header's value, a substring to look for.
    const QStringList parts = QString::fromUtf8(input.Rest()).split(u'\n');
    auto part = [&](int i) { return i < parts.size() ? parts.at(i) : QString(); };
    const QString url = part(0), base = part(1), location = part(2), sub = part(3);

    QString proto, user, pass, host, port, path = base;
    SplitUrl(url, proto, user, pass, host, port, path);

    const int at = FindNthOccurrence(sub, url, nth);
    FUZZ_CHECK(at >= 0 && at <= url.size());
    FUZZ_CHECK(at == 0 || url.mid(at - 1, sub.size()) == sub);

    const QString proxy = viaProxy ? QStringLiteral("http://proxy.example:3128") : QString();
    const THttpTarget previous = MakeTarget(QStringLiteral("http://server.example") + base, proxy, QStringLiteral("8080"));
    const THttpTarget target = MakeTarget(url, proxy, QStringLiteral("8080"), previous);
    CheckTarget(target);
    const THttpTarget next = RelocatedTarget(target, location, proxy, QStringLiteral("8080"));
    CheckTarget(next);
    if (!SameOrigin(target, next)) {
        // Only credentials that the location itself names (before its fragment) may go to another server.
        QString lProto, lUser, lPass, lHost, lPort, lPath;
        SplitUrl(location.left(location.indexOf(u'#') < 0 ? location.size() : location.indexOf(u'#')), lProto, lUser,
                 lPass, lHost, lPort, lPath);
        FUZZ_CHECK((next.User.isEmpty() && next.Pass.isEmpty()) || (next.User == lUser && next.Pass == lPass));
    }
    return 0;
}
