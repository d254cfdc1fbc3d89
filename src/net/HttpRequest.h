// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the socket-free parts of an HTTP request: header lines, document names, Basic credentials, relocation targets.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

// Everything one request header is made of; an empty value leaves its line out.
struct THttpRequestHead
{
    QString Method;              // "GET", "POST", "PUT", "HEAD" or "CONNECT"
    QString Path;                // the request path, or the absolute URL through a proxy
    QString Version = QStringLiteral("1.0");
    QString Host, Port;          // the target's host and port (CONNECT and "Host:")
    QString Sender, Accept, Reference, Connection, AcceptLanguage, AcceptEncoding, ContentTypePost;
    QString Agent;
    bool NoCache = false;
    QString ProxyConnection;
    qint64 PostLength = 0;       // the body length of POST and PUT
    bool NtlmNegotiating = false; // an NTLM state is 1: POST and PUT go without a body
    QDateTime ModifiedSince;     // invalid: no "If-Modified-Since"
    QString Authorization;       // the value after "Authorization: "
    QString ProxyAuthorization;  // the value after "Proxy-Authorization: "
    QString Cookie;
    QString RangeBegin, RangeEnd;
};

// The header lines in the order servers have always seen from this client (no empty line).
QStringList BuildRequestLines(const THttpRequestHead &Head);

// "Sun, 06 Nov 1994 08:49:37 GMT" of the value as given: no time-zone conversion.
QString Rfc1123Date(const QDateTime &Value);

// Base64 of User + ":" + Password in the ANSI code page, the value behind "Basic ", as a Windows
// program sends it. *lossless false: a character has no byte in the code page (the value would
// name other credentials).
QString EncodeBasicCredentials(const QString &User, const QString &Password, int CodePage = 1252,
                               bool *Lossless = nullptr);

// A file name for the path: "document.htm" for "" and for a path ending in "/", else the last
// component without its query, at most 255 characters.
QString BuildDocumentName(const QString &Path);

// "htm" for a document that a server labels text/html when its name has the extension ".exe" or none.
QString HtmlDocumentName(const QString &DocumentName, const QString &ContentType);

// Where a request goes: what a URL and an optional proxy make of it.
struct THttpTarget
{
    QString Proto, User, Pass, Host, Port; // Port as the URL gave it (may be empty)
    QString Path;                          // the path of the URL ("/" when none)
    QString RequestPath;                   // what the request line carries
    QString HostHeaderPort;                // Port, or "80"
    QString ConnectHost, ConnectPort;      // the server, or the proxy
    QString Location;                      // the absolute URL of the request
};

// Resolves Url for a request. A URL beginning "./" or "../" goes to Previous's server and is
// resolved against its path.
THttpTarget MakeTarget(const QString &Url, const QString &Proxy, const QString &ProxyPort,
                       const THttpTarget &Previous = THttpTarget());

// The target a location header leads to from Current, resolved as RFC 3986 resolves a reference
// ("//host:port/path" is another server, "?q" another query of the same path). Credentials are kept
// only on the same host, port and protocol, unless the location carries its own.
THttpTarget RelocatedTarget(const THttpTarget &Current, const QString &LocationValue, const QString &Proxy,
                            const QString &ProxyPort);

// True when both targets need the same connection (host, port and protocol).
bool SameOrigin(const THttpTarget &A, const THttpTarget &B);
