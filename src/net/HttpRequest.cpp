// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the socket-free parts of an HTTP request: header lines, document names, Basic credentials, relocation targets.
#include "HttpRequest.h"

#include "IcsUrl.h"
#include "MimeUtil.h"

#include "platform/CodePage.h"

QStringList BuildRequestLines(const THttpRequestHead &h)
{
    QStringList lines;
    auto add = [&](const char *name, const QString &value) {
        if (!value.isEmpty())
            lines.append(QLatin1String(name) + value);
    };
    const bool connect = h.Method == u"CONNECT";
    const bool postOrPut = h.Method == u"POST" || h.Method == u"PUT";
    if (connect)
        lines.append(QStringLiteral("CONNECT ") + h.Host + u':' + h.Port + QStringLiteral(" HTTP/") + h.Version);
    else
        lines.append(h.Method + u' ' + h.Path + QStringLiteral(" HTTP/") + h.Version);
    if (!connect) {
        add("From: ", h.Sender);
        add("Accept: ", h.Accept);
        add("Referer: ", h.Reference);
        add("Connection: ", h.Connection);
        add("Accept-Language: ", h.AcceptLanguage);
        if (h.Method != u"HEAD")
            add("Accept-Encoding: ", h.AcceptEncoding);
        if (postOrPut)
            add("Content-Type: ", h.ContentTypePost);
    }
    add("User-Agent: ", h.Agent);
    if (h.Port.isEmpty() || h.Port == u"80")
        add("Host: ", h.Host);
    else
        add("Host: ", h.Host + u':' + h.Port);
    if (h.NoCache)
        lines.append(QStringLiteral("Pragma: no-cache"));
    add("Proxy-Connection: ", h.ProxyConnection);
    if (connect)
        lines.append(QStringLiteral("Content-Length: 0"));
    else if (postOrPut)
        lines.append(QStringLiteral("Content-Length: ") + QString::number(h.NtlmNegotiating ? 0 : h.PostLength));
    if (h.ModifiedSince.isValid())
        add("If-Modified-Since: ", Rfc1123Date(h.ModifiedSince));
    add("Authorization: ", h.Authorization);
    add("Proxy-Authorization: ", h.ProxyAuthorization);
    add("Cookie: ", h.Cookie);
    if (!h.RangeBegin.isEmpty() || !h.RangeEnd.isEmpty())
        lines.append(QStringLiteral("Range: bytes=") + h.RangeBegin + u'-' + h.RangeEnd);
    return lines;
}

QString Rfc1123Date(const QDateTime &Value)
{
    static const char days[] = "MonTueWedThuFriSatSun";
    static const char months[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    const QDate d = Value.date();
    const QTime t = Value.time();
    return QString::fromLatin1(days + (d.dayOfWeek() - 1) * 3, 3) + QStringLiteral(", ")
        + QString::asprintf("%2.2d %s %4.4d %2.2d:%2.2d:%2.2d", d.day(),
                            QByteArray(months + (d.month() - 1) * 3, 3).constData(), d.year(), t.hour(),
                            t.minute(), t.second())
        + QStringLiteral(" GMT");
}

QString EncodeBasicCredentials(const QString &User, const QString &Password, int CodePage, bool *Lossless)
{
    return EncodeBase64Text(EncodeAnsi(User + u':' + Password, CodePage, Lossless));
}

QString BuildDocumentName(const QString &Path)
{
    QString p = Path.left(Path.indexOf(u'?') < 0 ? Path.size() : Path.indexOf(u'?'));
    if (p.isEmpty() || p.endsWith(u'/'))
        return QStringLiteral("document.htm");
    QString name = p.mid(p.lastIndexOf(u'/') + 1).left(255);
    const qsizetype q = name.indexOf(u'?');
    return q < 0 ? name : name.left(q);
}

QString HtmlDocumentName(const QString &DocumentName, const QString &ContentType)
{
    if (ContentType != u"text/html")
        return DocumentName;
    const qsizetype dot = DocumentName.lastIndexOf(u'.');
    if (dot < 0)
        return DocumentName + QStringLiteral(".htm");
    if (DocumentName.mid(dot).compare(u".exe", Qt::CaseInsensitive) == 0)
        return DocumentName.left(dot + 1) + QStringLiteral("htm");
    return DocumentName;
}

namespace {

QString AbsoluteUrl(const THttpTarget &t)
{
    return (t.Proto.isEmpty() ? QStringLiteral("http") : t.Proto) + QStringLiteral("://") + t.Host
        + (t.Port.isEmpty() ? QString() : u':' + t.Port) + t.Path;
}

// [rfc3986] 5.2.4 on the part before the query: a server is asked for the resource the URL names,
// never for one above the root.
QString RemoveDotSegments(const QString &Path)
{
    const qsizetype q = Path.indexOf(u'?');
    const QStringView path = QStringView(Path).left(q < 0 ? Path.size() : q);
    QString out;
    out.reserve(path.size());
    auto dropLastSegment = [&out] { out.truncate(qMax<qsizetype>(0, out.lastIndexOf(u'/'))); };
    // The input buffer of the algorithm is path from i on: it only ever loses its front.
    for (qsizetype i = 0; i < path.size();) {
        const QStringView in = path.mid(i);
        if (in.startsWith(u"../"))
            i += 3;
        else if (in.startsWith(u"./") || in.startsWith(u"/./"))
            i += 2;
        else if (in == u"/.") {
            out += u'/';
            break;
        } else if (in.startsWith(u"/../")) {
            i += 3;
            dropLastSegment();
        } else if (in == u"/..") {
            dropLastSegment();
            out += u'/';
            break;
        } else if (in == u"." || in == u"..")
            break;
        else {
            const qsizetype end = in.indexOf(u'/', 1);
            const qsizetype n = end < 0 ? in.size() : end;
            out += in.left(n);
            i += n;
        }
    }
    if (q >= 0)
        out += QStringView(Path).mid(q);
    return out;
}

void Finish(THttpTarget &t, const QString &Proxy, const QString &ProxyPort)
{
    if (t.Proto.isEmpty())
        t.Proto = QStringLiteral("http");
    t.Path = RemoveDotSegments(t.Path);
    if (t.Path.isEmpty())
        t.Path = QStringLiteral("/");
    t.HostHeaderPort = t.Port.isEmpty() ? QStringLiteral("80") : t.Port;
    t.Location = AbsoluteUrl(t);
    if (Proxy.isEmpty()) {
        t.RequestPath = t.Path;
        t.ConnectHost = t.Host;
        t.ConnectPort = t.HostHeaderPort;
    } else {
        t.RequestPath = t.Location;
        QString proto, user, pass, host, port, path;
        SplitUrl(Proxy, proto, user, pass, host, port, path);
        t.ConnectHost = host;
        t.ConnectPort = port.isEmpty() ? ProxyPort : port;
    }
}

} // namespace

THttpTarget MakeTarget(const QString &Url, const QString &Proxy, const QString &ProxyPort, const THttpTarget &Previous)
{
    THttpTarget t;
    QString path = Previous.Path;
    SplitUrl(Url, t.Proto, t.User, t.Pass, t.Host, t.Port, path);
    t.Path = path;
    if (Url.startsWith(u"./") || Url.startsWith(u"../")) {
        t.Proto = Previous.Proto;
        t.Host = Previous.Host;
        t.Port = Previous.Port;
        t.User = Previous.User;
        t.Pass = Previous.Pass;
    }
    Finish(t, Proxy, ProxyPort);
    return t;
}

namespace {

// [rfc3986] 3.1: ALPHA *( ALPHA / DIGIT / "+" / "-" / "." ) before the first ":"; empty when the
// reference begins with no scheme (a ":" after a "/", "?" or "#" belongs to the path or query).
QString SchemeOf(const QString &Reference)
{
    auto letter = [](char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); };
    const qsizetype colon = Reference.indexOf(u':');
    if (colon <= 0 || !letter(Reference.at(0).unicode()))
        return {};
    for (qsizetype i = 1; i < colon; ++i) {
        const char16_t c = Reference.at(i).unicode();
        if (!letter(c) && !(c >= u'0' && c <= u'9') && c != u'+' && c != u'-' && c != u'.')
            return {};
    }
    return Reference.left(colon).toLower();
}

QString WithoutQuery(const QString &Path)
{
    const qsizetype q = Path.indexOf(u'?');
    return q < 0 ? Path : Path.left(q);
}

} // namespace

// [rfc3986] 5.2.2, read non-strictly (a scheme equal to the base's is dropped), with the request
// path as the base path and query; the fragment never reaches the server.
THttpTarget RelocatedTarget(const THttpTarget &Current, const QString &LocationValue, const QString &Proxy,
                            const QString &ProxyPort)
{
    const qsizetype hash = LocationValue.indexOf(u'#');
    QString reference = hash < 0 ? LocationValue : LocationValue.left(hash);
    THttpTarget t = Current;
    QString scheme = SchemeOf(reference);
    if (!scheme.isEmpty() && scheme == Current.Proto.toLower()) {
        reference = reference.mid(scheme.size() + 1);
        scheme.clear();
    }
    if (!scheme.isEmpty() || reference.startsWith(u"//")) {
        QString proto, user, pass, host, port, path;
        const QString rest = scheme.isEmpty() ? reference : reference.mid(scheme.size() + 1);
        if (rest.startsWith(u"//"))
            SplitUrl(rest, proto, user, pass, host, port, path);
        else
            path = rest;  // a scheme without an authority, such as "mailto:x": no server to ask
        if (!scheme.isEmpty())
            t.Proto = scheme;
        t.Host = host;
        t.Port = port;
        t.Path = path;
        if (!user.isEmpty() && !pass.isEmpty()) {
            t.User = user;
            t.Pass = pass;
        } else if (Current.Host.compare(t.Host, Qt::CaseInsensitive) != 0
                   || Current.HostHeaderPort != (t.Port.isEmpty() ? QStringLiteral("80") : t.Port)
                   || Current.Proto.compare(t.Proto, Qt::CaseInsensitive) != 0) {
            // Credentials meant for one server are never sent to the next one.
            t.User.clear();
            t.Pass.clear();
        }
    } else if (reference.isEmpty()) {
        // the same document again: path and query stay
    } else if (reference.startsWith(u'?')) {
        t.Path = WithoutQuery(Current.Path) + reference;
    } else if (reference.startsWith(u'/')) {
        t.Path = reference;
    } else {
        const QString base = WithoutQuery(Current.Path);
        t.Path = (base.isEmpty() ? QStringLiteral("/") : base.left(base.lastIndexOf(u'/') + 1)) + reference;
    }
    Finish(t, Proxy, ProxyPort);
    return t;
}

bool SameOrigin(const THttpTarget &A, const THttpTarget &B)
{
    return A.Host.compare(B.Host, Qt::CaseInsensitive) == 0 && A.HostHeaderPort == B.HostHeaderPort
        && A.Proto.compare(B.Proto, Qt::CaseInsensitive) == 0;
}
