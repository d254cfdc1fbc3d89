// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: tests of the reply header parser and the chunk decoder, fed every split of their input.
#include "net/HttpReply.h"

#include <gtest/gtest.h>

namespace {

struct TFed
{
    THttpParseStatus Status = THttpParseStatus::Incomplete;
    THttpReplyHeader Header;
    QByteArray Rest; // what follows the header
};

// Feeds the pieces the way a client does: unconsumed bytes stay and go again with the next piece.
TFed FeedPieces(const QList<QByteArray> &pieces)
{
    THttpReplyParser p;
    QByteArray held;
    TFed f;
    for (const QByteArray &piece : pieces) {
        held += piece;
        if (f.Status != THttpParseStatus::Incomplete)
            continue;
        const THttpParseResult r = p.Feed(held);
        held.remove(0, r.Consumed);
        f.Status = r.Status;
    }
    f.Header = p.Header();
    f.Rest = held;
    return f;
}

TFed FeedSplitAt(const QByteArray &all, qsizetype at) { return FeedPieces({all.left(at), all.mid(at)}); }

const QByteArray kReply = "HTTP/1.1 200 OK\r\n"
                          "Date: Thu, 10 Dec 2026 10:00:00 GMT\r\n"
                          "Content-Type: Text/HTML; charset=UTF-8\r\n"
                          "Content-Length: 11\r\n"
                          "Connection: keep-alive\r\n"
                          "WWW-Authenticate: Basic realm=\"x\"\r\n"
                          "Set-Cookie: a=1\r\n"
                          "Location: /next\r\n"
                          "Content-Range: bytes 0-10/11\r\n"
                          "\r\n"
                          "hello world";

} // namespace

TEST(HttpReplyParser, EverySplitOfAReplyGivesTheSameHeaderAndBody)
{
    const TFed whole = FeedPieces({kReply});
    ASSERT_EQ(whole.Status, THttpParseStatus::Complete);
    EXPECT_EQ(whole.Header.StatusCode, 200);
    EXPECT_EQ(whole.Header.StatusText, "OK");
    EXPECT_EQ(whole.Header.Version, "1.1");
    EXPECT_EQ(whole.Header.ContentLength, 11);
    EXPECT_EQ(whole.Header.ContentType, "text/html; charset=utf-8");
    EXPECT_EQ(whole.Header.ConnectionClose, false);
    EXPECT_EQ(whole.Header.AuthHeaders, QStringList{"Basic realm=\"x\""});
    EXPECT_EQ(whole.Header.Cookies, QStringList{"a=1"});
    EXPECT_EQ(whole.Header.Location, "/next");
    EXPECT_EQ(whole.Header.ContentRangeBegin, "0");
    EXPECT_EQ(whole.Header.ContentRangeEnd, "10");
    EXPECT_EQ(whole.Header.Lines.size(), 9);
    EXPECT_EQ(whole.Rest, "hello world");

    for (qsizetype at = 0; at <= kReply.size(); ++at) {
        SCOPED_TRACE(at);
        const TFed split = FeedSplitAt(kReply, at);
        ASSERT_EQ(split.Status, THttpParseStatus::Complete);
        EXPECT_EQ(split.Header.Lines, whole.Header.Lines);
        EXPECT_EQ(split.Header.ContentLength, 11);
        EXPECT_EQ(split.Rest, "hello world");
    }
    QList<QByteArray> bytes;
    for (char c : kReply)
        bytes.append(QByteArray(1, c));
    const TFed single = FeedPieces(bytes);
    ASSERT_EQ(single.Status, THttpParseStatus::Complete);
    EXPECT_EQ(single.Header.Lines, whole.Header.Lines);
    EXPECT_EQ(single.Rest, "hello world");
}

TEST(HttpReplyParser, HeaderTable)
{
    const struct
    {
        const char *name;
        QByteArray input;
        THttpParseStatus status;
        int code;
        const char *text;
        qint64 length;
        const char *rest;
    } cases[] = {
        {"LF only line ends", "HTTP/1.0 404 Not Found\nContent-Length: 3\n\nabc", THttpParseStatus::Complete, 404,
         "Not Found", 3, "abc"},
        {"missing reason phrase", "HTTP/1.1 204\r\n\r\n", THttpParseStatus::Complete, 204, "", -1, ""},
        {"reason with blanks", "HTTP/1.1 301 Moved  Permanently\r\n\r\n", THttpParseStatus::Complete, 301,
         "Moved  Permanently", -1, ""},
        {"100 continue skipped", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n",
         THttpParseStatus::Complete, 200, "OK", 0, ""},
        {"102 and 103 skipped, headers of neither kept",
         "HTTP/1.1 102 Processing\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </a.css>\r\nContent-Length: 9\r\n\r\n"
         "HTTP/1.1 200 OK\r\n\r\nbody",
         THttpParseStatus::Complete, 200, "OK", -1, "body"},
        {"an interim reply from a 1.0 server", "HTTP/1.0 100 Continue\r\n\r\nHTTP/1.0 404 Gone\r\n\r\n",
         THttpParseStatus::Complete, 404, "Gone", -1, ""},
        {"101 is final", "HTTP/1.1 101 Switching Protocols\r\n\r\nHTTP/1.1 200 OK\r\n\r\n",
         THttpParseStatus::Complete, 101, "Switching Protocols", -1, "HTTP/1.1 200 OK\r\n\r\n"},
        {"equal duplicate Content-Length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 5\r\n\r\n",
         THttpParseStatus::Complete, 200, "OK", 5, ""},
        {"conflicting Content-Length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\n",
         THttpParseStatus::Bad, 200, "OK", 5, ""},
        {"Content-Length not a number", "HTTP/1.1 200 OK\r\nContent-Length: 5x\r\n\r\n", THttpParseStatus::Bad, 200,
         "OK", -1, ""},
        {"negative Content-Length", "HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\n", THttpParseStatus::Bad, 200,
         "OK", -1, ""},
        {"chunked overrides a length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nTransfer-Encoding: Chunked\r\n\r\n",
         THttpParseStatus::Complete, 200, "OK", -1, ""},
        {"status not a number", "HTTP/1.1 2x0 OK\r\n\r\n", THttpParseStatus::Bad, 0, "", -1, ""},
        {"garbage before the status line", "junk\r\nHTTP/1.0 200 OK\r\n\r\n", THttpParseStatus::Complete, 200, "OK",
         -1, ""},
        {"header not ended", "HTTP/1.0 200 OK\r\nServer: x\r\n", THttpParseStatus::Incomplete, 200, "OK", -1, ""},
        {"header-less document", "<html><body>x</body></html>\r\n", THttpParseStatus::Complete, 0, "", -1,
         "<html><body>x</body></html>\r\n"},
        {"CR inside Location", "HTTP/1.0 302 Found\r\nLocation: /new\rX-Injected: 1\r\n\r\n", THttpParseStatus::Bad, 302,
         "Found", -1, ""},
        {"NUL inside Location", QByteArray("HTTP/1.0 302 Found\r\nLocation: /new") + '\0' + ".exe\r\n\r\n",
         THttpParseStatus::Bad, 302, "Found", -1, ""},
        {"CR inside Content-Range", "HTTP/1.1 206 Partial\r\nContent-Range: bytes 0-\r1/2\r\n\r\n", THttpParseStatus::Bad,
         206, "Partial", -1, ""},
        {"CR inside a value that goes nowhere", "HTTP/1.0 200 OK\r\nX-Note: a\rb\r\n\r\n", THttpParseStatus::Complete,
         200, "OK", -1, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const TFed f = FeedPieces({c.input});
        EXPECT_EQ(f.Status, c.status);
        EXPECT_EQ(f.Header.StatusCode, c.code);
        EXPECT_EQ(f.Header.StatusText, c.text);
        EXPECT_EQ(f.Header.ContentLength, c.length);
        if (c.status == THttpParseStatus::Complete) {
            EXPECT_EQ(f.Rest, c.rest);
        }
        if (c.status == THttpParseStatus::Bad) {
            EXPECT_FALSE(f.Header.Error.isEmpty());
        }
        for (qsizetype at = 0; at <= c.input.size(); ++at) {
            SCOPED_TRACE(at);
            EXPECT_EQ(FeedSplitAt(c.input, at).Status, c.status);
        }
    }
}

TEST(HttpReplyParser, HeaderLessDocumentKeepsItsFirstLineAtEverySplit)
{
    const QByteArray doc = "<HTML>\r\n<p>hi</p>\r\n";
    for (qsizetype at = 0; at <= doc.size(); ++at) {
        SCOPED_TRACE(at);
        const TFed f = FeedSplitAt(doc, at);
        ASSERT_EQ(f.Status, THttpParseStatus::Complete);
        EXPECT_TRUE(f.Header.HeaderLess);
        EXPECT_EQ(f.Header.ContentType, "text/html");
        EXPECT_EQ(f.Rest, doc);
    }
}

TEST(HttpReplyParser, FoldedHeaderJoinsItsContinuation)
{
    const TFed f = FeedPieces({"HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic\r\n  realm=\"a b\"\r\n"
                               "Content-Length:\t 7\r\n\r\n"});
    ASSERT_EQ(f.Status, THttpParseStatus::Complete);
    EXPECT_EQ(f.Header.AuthHeaders, QStringList{"Basic realm=\"a b\""});
    EXPECT_EQ(f.Header.Lines.at(1), "WWW-Authenticate: Basic realm=\"a b\"");
    EXPECT_EQ(f.Header.ContentLength, 7);
}

TEST(HttpReplyParser, OverlongLineIsBadAndNothingIsHeldPastTheLimit)
{
    const QByteArray head = "HTTP/1.1 200 OK\r\nX-Long: ";
    const QByteArray longValue(THttpReplyParser::MaxLineLength, 'a');
    // Without its LF the line is refused as soon as it outgrows the limit.
    THttpReplyParser p;
    QByteArray held = head + longValue;
    THttpParseResult r = p.Feed(held);
    EXPECT_EQ(r.Status, THttpParseStatus::Bad);
    EXPECT_FALSE(p.Header().Error.isEmpty());
    // With its LF as well.
    EXPECT_EQ(FeedPieces({head + longValue + "\r\n\r\n"}).Status, THttpParseStatus::Bad);
    // A line exactly at the limit is fine.
    const QByteArray fits = "X-Fits: " + QByteArray(THttpReplyParser::MaxLineLength - 8, 'b');
    EXPECT_EQ(FeedPieces({"HTTP/1.1 200 OK\r\n" + fits + "\r\n\r\n"}).Status, THttpParseStatus::Complete);
}

TEST(HttpReplyParser, EndlessHeaderIsBad)
{
    THttpReplyParser p;
    THttpParseStatus s = p.Feed("HTTP/1.1 200 OK\r\n").Status;
    for (int i = 0; i < 100000 && s == THttpParseStatus::Incomplete; ++i)
        s = p.Feed("X-A: b\r\n").Status;
    EXPECT_EQ(s, THttpParseStatus::Bad);
}

namespace {

struct TDecoded
{
    THttpParseStatus Status = THttpParseStatus::Incomplete;
    QByteArray Data;
    qsizetype Consumed = 0;
};

TDecoded Decode(const QList<QByteArray> &pieces)
{
    THttpChunkDecoder d;
    TDecoded r;
    for (const QByteArray &piece : pieces) {
        if (r.Status != THttpParseStatus::Incomplete)
            break;
        const THttpParseResult res =
            d.Feed(piece.constData(), piece.size(), [&](const char *b, qsizetype n) { r.Data.append(b, n); });
        r.Status = res.Status;
        r.Consumed += res.Consumed;
    }
    return r;
}

} // namespace

TEST(HttpChunkDecoder, Table)
{
    const struct
    {
        const char *name;
        QByteArray input;
        THttpParseStatus status;
        QByteArray data;
    } cases[] = {
        {"two chunks", "5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n", THttpParseStatus::Complete, "hello world"},
        {"upper-case hex and an extension", "A;name=v\r\n0123456789\r\n0\r\n\r\n", THttpParseStatus::Complete,
         "0123456789"},
        {"trailer lines", "3\r\nabc\r\n0\r\nExpires: never\r\nX: y\r\n\r\n", THttpParseStatus::Complete, "abc"},
        {"bare LF", "3\nabc\n0\n\n", THttpParseStatus::Complete, "abc"},
        {"not ended", "3\r\nabc\r\n", THttpParseStatus::Incomplete, "abc"},
        {"no size", "\r\nabc", THttpParseStatus::Bad, ""},
        {"data too long", "3\r\nabcd\r\n0\r\n\r\n", THttpParseStatus::Bad, "abc"},
        {"size overflows", "1000000000000000\r\n", THttpParseStatus::Bad, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const TDecoded whole = Decode({c.input});
        EXPECT_EQ(whole.Status, c.status);
        EXPECT_EQ(whole.Data, c.data);
        for (qsizetype at = 0; at <= c.input.size(); ++at) {
            SCOPED_TRACE(at);
            const TDecoded split = Decode({c.input.left(at), c.input.mid(at)});
            EXPECT_EQ(split.Status, c.status);
            EXPECT_EQ(split.Data, c.data);
        }
    }
}

TEST(HttpChunkDecoder, StopsRightAfterTheLastChunk)
{
    const QByteArray input = "2\r\nab\r\n0\r\n\r\nHTTP/1.1 200 OK\r\n";
    const TDecoded d = Decode({input});
    EXPECT_EQ(d.Status, THttpParseStatus::Complete);
    EXPECT_EQ(input.mid(d.Consumed), "HTTP/1.1 200 OK\r\n");
}
