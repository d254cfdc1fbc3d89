// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: tests of the socket-free request pieces: header lines, targets, relocation, document names, the authentication exchange.
#include "net/HttpAuth.h"
#include "net/HttpRequest.h"

#include <gtest/gtest.h>

TEST(HttpRequestLines, AllLinesInTheirOrder)
{
    THttpRequestHead h;
    h.Method = "POST";
    h.Path = "/cgi/x?a=1";
    h.Version = "1.1";
    h.Host = "example.org";
    h.Port = "8080";
    h.Sender = "me@example.org";
    h.Accept = "*/*";
    h.Reference = "http://example.org/";
    h.Connection = "Keep-alive";
    h.AcceptLanguage = "fi";
    h.AcceptEncoding = "identity;q=0";
    h.ContentTypePost = "application/x-www-form-urlencoded";
    h.Agent = "Mozilla/3.0 (compatible)";
    h.NoCache = true;
    h.ProxyConnection = "Keep-alive";
    h.PostLength = 42;
    h.ModifiedSince = QDateTime(QDate(1994, 11, 6), QTime(8, 49, 37));
    h.Authorization = "Basic eDp5";
    h.ProxyAuthorization = "Basic cDpx";
    h.Cookie = "a=1";
    h.RangeBegin = "100";
    const QStringList expected = {
        "POST /cgi/x?a=1 HTTP/1.1",
        "From: me@example.org",
        "Accept: */*",
        "Referer: http://example.org/",
        "Connection: Keep-alive",
        "Accept-Language: fi",
        "Accept-Encoding: identity;q=0",
        "Content-Type: application/x-www-form-urlencoded",
        "User-Agent: Mozilla/3.0 (compatible)",
        "Host: example.org:8080",
        "Pragma: no-cache",
        "Proxy-Connection: Keep-alive",
        "Content-Length: 42",
        "If-Modified-Since: Sun, 06 Nov 1994 08:49:37 GMT",
        "Authorization: Basic eDp5",
        "Proxy-Authorization: Basic cDpx",
        "Cookie: a=1",
        "Range: bytes=100-",
    };
    EXPECT_EQ(BuildRequestLines(h), expected);
}

TEST(HttpRequestLines, SmallCases)
{
    THttpRequestHead get;
    get.Method = "GET";
    get.Path = "/";
    get.Host = "h";
    get.Agent = "A";
    get.Accept = "*/*";
    EXPECT_EQ(BuildRequestLines(get), (QStringList{"GET / HTTP/1.0", "Accept: */*", "User-Agent: A", "Host: h"}));
    get.Port = "80";
    EXPECT_EQ(BuildRequestLines(get).last(), "Host: h");

    THttpRequestHead head = get;
    head.Method = "HEAD";
    head.AcceptEncoding = "gzip";
    EXPECT_FALSE(BuildRequestLines(head).join('\n').contains("Accept-Encoding"));

    THttpRequestHead ntlmPost = get;
    ntlmPost.Method = "PUT";
    ntlmPost.PostLength = 10;
    ntlmPost.NtlmNegotiating = true;
    EXPECT_TRUE(BuildRequestLines(ntlmPost).contains("Content-Length: 0"));

    THttpRequestHead connect = get;
    connect.Method = "CONNECT";
    connect.Port = "443";
    connect.Sender = "x";
    EXPECT_EQ(BuildRequestLines(connect),
              (QStringList{"CONNECT h:443 HTTP/1.0", "User-Agent: A", "Host: h:443", "Content-Length: 0"}));
}

TEST(HttpRequestPieces, BasicCredentialsAndDates)
{
    // RFC 7617's example.
    EXPECT_EQ(EncodeBasicCredentials("Aladdin", "open sesame"), "QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
    // The code page's bytes, as base64(1) encodes them; a character it has none for is reported.
    const QString euro = QString::fromUtf8("\xe2\x82\xacuro");
    bool lossless = false;
    EXPECT_EQ(EncodeBasicCredentials("puser", euro, 1252, &lossless), "cHVzZXI6gHVybw==");
    EXPECT_TRUE(lossless);
    EXPECT_EQ(EncodeBasicCredentials("puser", euro, 1251, &lossless), "cHVzZXI6iHVybw==");
    EXPECT_TRUE(lossless);
    EncodeBasicCredentials("puser", QString::fromUtf8("\xce\xa9mega"), 1252, &lossless);
    EXPECT_FALSE(lossless);
    EXPECT_EQ(Rfc1123Date(QDateTime(QDate(2026, 12, 10), QTime(0, 5, 9))), "Thu, 10 Dec 2026 00:05:09 GMT");
}

TEST(HttpRequestPieces, DocumentNames)
{
    const struct { const char *path, *name; } cases[] = {
        {"", "document.htm"},
        {"/", "document.htm"},
        {"/dir/", "document.htm"},
        {"/a/b.zip?x=1/2", "b.zip"},
        {"/a/b.zip", "b.zip"},
        {"/dir/?q", "document.htm"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(BuildDocumentName(c.path), c.name);
    }
    EXPECT_EQ(BuildDocumentName("/" + QString(300, 'n')).size(), 255);
    EXPECT_EQ(HtmlDocumentName("setup.exe", "text/html"), "setup.htm");
    EXPECT_EQ(HtmlDocumentName("readme", "text/html"), "readme.htm");
    EXPECT_EQ(HtmlDocumentName("data.zip", "text/html"), "data.zip");
    EXPECT_EQ(HtmlDocumentName("setup.exe", "application/octet-stream"), "setup.exe");
}

TEST(HttpTargets, DirectAndThroughAProxy)
{
    const THttpTarget bare = MakeTarget("http://www.example.org", "", "80");
    EXPECT_EQ(bare.RequestPath, "/");
    EXPECT_EQ(bare.ConnectHost, "www.example.org");
    EXPECT_EQ(bare.ConnectPort, "80");
    EXPECT_EQ(bare.Port, "");

    const THttpTarget port = MakeTarget("example.org:8080/x/y.upd", "", "80");
    EXPECT_EQ(port.Proto, "http");
    EXPECT_EQ(port.ConnectPort, "8080");
    EXPECT_EQ(port.RequestPath, "/x/y.upd");

    const THttpTarget viaProxy = MakeTarget("http://u:p@example.org/f.upd", "proxy.lan", "3128");
    EXPECT_EQ(viaProxy.RequestPath, "http://example.org/f.upd");
    EXPECT_EQ(viaProxy.ConnectHost, "proxy.lan");
    EXPECT_EQ(viaProxy.ConnectPort, "3128");
    EXPECT_EQ(viaProxy.User, "u");
    EXPECT_EQ(viaProxy.Pass, "p");

    const THttpTarget proxyWithPort = MakeTarget("http://example.org:81/f", "http://proxy.lan:8000", "3128");
    EXPECT_EQ(proxyWithPort.RequestPath, "http://example.org:81/f");
    EXPECT_EQ(proxyWithPort.ConnectPort, "8000");

    const THttpTarget dots = MakeTarget("http://example.org/files/../updates/./Vaskimo.upd", "proxy.lan", "3128");
    EXPECT_EQ(dots.RequestPath, "http://example.org/updates/Vaskimo.upd");
    EXPECT_EQ(dots.Location, "http://example.org/updates/Vaskimo.upd");

    const THttpTarget relative = MakeTarget("./other.htm", "", "80", port);
    EXPECT_EQ(relative.ConnectHost, "example.org");
    EXPECT_EQ(relative.ConnectPort, "8080");
    EXPECT_EQ(relative.RequestPath, "/x/other.htm");
}

TEST(HttpTargets, RelocationTable)
{
    const THttpTarget from = MakeTarget("http://user:pw@example.org:8080/dir/page.htm?a/b", "", "80");
    const struct
    {
        const char *name, *location, *host, *port, *path, *user;
    } cases[] = {
        {"absolute elsewhere drops the credentials", "http://other.org/x", "other.org", "80", "/x", ""},
        {"absolute, any case", "HTTP://other.org:81/y", "other.org", "81", "/y", ""},
        {"absolute with its own credentials", "http://a:b@other.org/x", "other.org", "80", "/x", "a"},
        {"absolute on the same server keeps them", "http://example.org:8080/z", "example.org", "8080", "/z", "user"},
        {"rooted path keeps the server", "/root.htm", "example.org", "8080", "/root.htm", "user"},
        {"relative name replaces the file", "next.htm", "example.org", "8080", "/dir/next.htm", "user"},
        {"fragment dropped", "/f.htm#part", "example.org", "8080", "/f.htm", "user"},
        {"relative climb", "../up.htm", "example.org", "8080", "/up.htm", "user"},
        {"dot segments inside", "/a/./b/../c.htm", "example.org", "8080", "/a/c.htm", "user"},
        {"no climb above the root", "/../../x/..", "example.org", "8080", "/", "user"},
        {"a query keeps its text", "/q?from=../a/./b", "example.org", "8080", "/q?from=../a/./b", "user"},
        {"absolute with dot segments", "http://other.org/a/b/../../c/./d", "other.org", "80", "/c/d", ""},
        {"dots inside names are no segments", "/a/..b/c../.d", "example.org", "8080", "/a/..b/c../.d", "user"},
        {"the standard's climbing example", "/a/b/c/./../../g", "example.org", "8080", "/a/g", "user"},
        {"a last dot keeps the folder's slash", "/a/b/.", "example.org", "8080", "/a/b/", "user"},
        {"a last climb keeps the parent's slash", "/a/b/..", "example.org", "8080", "/a/", "user"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const THttpTarget t = RelocatedTarget(from, c.location, "", "80");
        EXPECT_EQ(t.ConnectHost, c.host);
        EXPECT_EQ(t.ConnectPort, c.port);
        EXPECT_EQ(t.RequestPath, c.path);
        EXPECT_EQ(t.User, c.user);
    }
    const THttpTarget proxied = RelocatedTarget(MakeTarget("http://example.org/a/b", "proxy", "3128"), "c", "proxy", "3128");
    EXPECT_EQ(proxied.RequestPath, "http://example.org/a/c");
    EXPECT_EQ(proxied.ConnectHost, "proxy");
    EXPECT_EQ(proxied.Location, "http://example.org/a/c");
}

// RFC 3986 5.4's examples against its base "http://a/b/c/d;p?q", read non-strictly as 5.2.2
// allows ("http:g"); the fragment is never part of a request.
TEST(HttpTargets, ReferencesResolveAsTheStandardsExamples)
{
    const THttpTarget base = MakeTarget("http://a/b/c/d;p?q", "", "80");
    const struct { const char *reference, *location; } cases[] = {
        {"g", "http://a/b/c/g"},           {"./g", "http://a/b/c/g"},        {"g/", "http://a/b/c/g/"},
        {"/g", "http://a/g"},              {"//g", "http://g/"},             {"?y", "http://a/b/c/d;p?y"},
        {"g?y", "http://a/b/c/g?y"},       {"#s", "http://a/b/c/d;p?q"},     {"g#s", "http://a/b/c/g"},
        {"g?y#s", "http://a/b/c/g?y"},     {";x", "http://a/b/c/;x"},        {"g;x", "http://a/b/c/g;x"},
        {"g;x?y#s", "http://a/b/c/g;x?y"}, {"", "http://a/b/c/d;p?q"},       {".", "http://a/b/c/"},
        {"./", "http://a/b/c/"},           {"..", "http://a/b/"},            {"../", "http://a/b/"},
        {"../g", "http://a/b/g"},          {"../..", "http://a/"},           {"../../", "http://a/"},
        {"../../g", "http://a/g"},         {"../../../g", "http://a/g"},     {"../../../../g", "http://a/g"},
        {"/./g", "http://a/g"},            {"/../g", "http://a/g"},          {"g.", "http://a/b/c/g."},
        {".g", "http://a/b/c/.g"},         {"g..", "http://a/b/c/g.."},      {"..g", "http://a/b/c/..g"},
        {"./../g", "http://a/b/g"},        {"./g/.", "http://a/b/c/g/"},     {"g/./h", "http://a/b/c/g/h"},
        {"g/../h", "http://a/b/c/h"},      {"g;x=1/./y", "http://a/b/c/g;x=1/y"},
        {"g;x=1/../y", "http://a/b/c/y"},  {"g?y/./x", "http://a/b/c/g?y/./x"},
        {"g?y/../x", "http://a/b/c/g?y/../x"}, {"g#s/../x", "http://a/b/c/g"},
        {"http:g", "http://a/b/c/g"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.reference);
        EXPECT_EQ(RelocatedTarget(base, c.reference, "", "80").Location, c.location);
    }
    // A network path names another server (and port) for the same protocol; its path is asked of it.
    const THttpTarget from = MakeTarget("http://user:pw@example.org:8080/dir/page.htm", "", "80");
    const THttpTarget other = RelocatedTarget(from, "//127.0.0.1:8081/files/Setup.exe?v=2", "", "80");
    EXPECT_EQ(other.ConnectHost, "127.0.0.1");
    EXPECT_EQ(other.ConnectPort, "8081");
    EXPECT_EQ(other.RequestPath, "/files/Setup.exe?v=2");
    EXPECT_EQ(other.User, "");
    const THttpTarget proxied = RelocatedTarget(MakeTarget("http://example.org/a/b", "proxy", "3128"), "//mirror.org/c",
                                                "proxy", "3128");
    EXPECT_EQ(proxied.RequestPath, "http://mirror.org/c");
    EXPECT_EQ(proxied.ConnectHost, "proxy");
    // Another scheme is that scheme's, which the request then refuses to speak.
    EXPECT_EQ(RelocatedTarget(from, "ftp://files.org/x", "", "80").Proto, "ftp");
    EXPECT_EQ(RelocatedTarget(from, "HTTPS://files.org/x", "", "80").Location, "https://files.org/x");
}

namespace {

THttpAuthInput Reply(int status, QStringList headers, bool serverCreds = true, bool proxyCreds = true)
{
    THttpAuthInput in;
    in.StatusCode = status;
    in.AuthHeaders = std::move(headers);
    in.ServerCredentials = serverCreds;
    in.ProxyCredentials = proxyCreds;
    in.CloseReq = true;
    return in;
}

} // namespace

TEST(HttpAuthExchange, BasicGetsOneRetryThenTheRefusalStands)
{
    THttpAuthStates s;
    THttpAuthDecision d = RunAuthExchange(s, Reply(401, {"Basic realm=\"x\""}));
    EXPECT_EQ(d.Outcome, THttpAuthOutcome::Resend);
    EXPECT_EQ(s.Basic, 1);
    d = RunAuthExchange(s, Reply(401, {"Basic realm=\"x\""}));
    EXPECT_EQ(d.Outcome, THttpAuthOutcome::Refused);
    EXPECT_EQ(s.Basic, 0);
    EXPECT_TRUE(d.AuthHeaders.isEmpty());

    THttpAuthStates ok;
    RunAuthExchange(ok, Reply(401, {"Basic realm=\"x\""}));
    EXPECT_EQ(RunAuthExchange(ok, Reply(200, {})).Outcome, THttpAuthOutcome::Done);
    EXPECT_EQ(ok.Basic, 2);
}

TEST(HttpAuthExchange, Table)
{
    const struct
    {
        const char *name;
        THttpAuthStates start;
        THttpAuthInput input;
        THttpAuthOutcome outcome;
        THttpAuthStates end;
    } cases[] = {
        {"no credentials: nothing to answer", {}, Reply(401, {"Basic"}, false), THttpAuthOutcome::Done, {}},
        {"no challenge", {}, Reply(401, {}), THttpAuthOutcome::Done, {}},
        {"NTLM before Basic", {}, Reply(407, {"Basic realm=p", "NTLM"}), THttpAuthOutcome::Resend, {0, 1, 0, 0}},
        {"NTLM challenge taken", {0, 1, 0, 0}, Reply(407, {"NTLM TlRMTVNTUAACAAAAAAAAAAAAAAAFggAAASNFZ4mrze8AAAAAAAAAAAAAAAAAAAAA"}),
         THttpAuthOutcome::Resend, {0, 3, 0, 0}},
        {"NTLM refused", {0, 3, 0, 0}, Reply(407, {"NTLM"}), THttpAuthOutcome::Refused, {0, 0, 0, 0}},
        {"NTLM done on success", {3, 0, 0, 0}, Reply(200, {}), THttpAuthOutcome::Done, {4, 0, 0, 0}},
        {"proxy Basic once", {}, Reply(407, {"Basic realm=p"}), THttpAuthOutcome::Resend, {0, 0, 0, 1}},
        {"proxy Basic refused", {0, 0, 0, 1}, Reply(407, {"Basic realm=p"}), THttpAuthOutcome::Refused, {}},
        {"server 401 after the proxy passed on a closing connection", {0, 0, 0, 1}, Reply(401, {"Basic"}),
         THttpAuthOutcome::Resend, {0, 0, 1, 1}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        THttpAuthStates s = c.start;
        const THttpAuthDecision d = RunAuthExchange(s, c.input);
        EXPECT_EQ(d.Outcome, c.outcome);
        EXPECT_EQ(s.NTLM, c.end.NTLM);
        EXPECT_EQ(s.ProxyNTLM, c.end.ProxyNTLM);
        EXPECT_EQ(s.Basic, c.end.Basic);
        EXPECT_EQ(s.ProxyBasic, c.end.ProxyBasic);
    }
}

TEST(HttpAuthExchange, ChallengeTextAndOptions)
{
    THttpAuthStates s{1, 0, 0, 0};
    const THttpAuthDecision d = RunAuthExchange(s, Reply(401, {"Basic", "NTLM abc=", "Negotiate"}));
    EXPECT_TRUE(d.ServerChallenge);
    EXPECT_EQ(d.Challenge, "abc=");

    THttpAuthStates n;
    THttpAuthInput noNtlm = Reply(401, {"NTLM", "Basic"});
    noNtlm.NoNTLMAuth = true;
    EXPECT_EQ(RunAuthExchange(n, noNtlm).Outcome, THttpAuthOutcome::Resend);
    EXPECT_EQ(n.Basic, 1);
    EXPECT_EQ(n.NTLM, 0);
}

TEST(HttpAuthExchange, Presets)
{
    THttpAuthPreset p;
    p.UseProxy = true;
    p.ProxyAuthKind = authBasic;
    p.ProxyCredentials = true;
    EXPECT_EQ(PresetAuthStates(p).States.ProxyBasic, 1);
    p.NewConnection = false;
    EXPECT_EQ(PresetAuthStates(p).States.ProxyBasic, 2); // a kept connection already passed the proxy
    p.ProxyAuthKind = authNTLM;
    EXPECT_EQ(PresetAuthStates(p).States.ProxyNTLM, 4);
    EXPECT_TRUE(PresetAuthStates(p).ProxyKeepAlive);
    p.ServerAuthKind = authBasic;
    EXPECT_EQ(PresetAuthStates(p).States.Basic, 0); // no server credentials
    p.ServerCredentials = true;
    EXPECT_EQ(PresetAuthStates(p).States.Basic, 1);
}
