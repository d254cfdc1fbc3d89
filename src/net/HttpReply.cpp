// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: HTTP reply header parser and chunked-body decoder that never see a socket.
#include "HttpReply.h"

#include <cstring>

namespace {

bool IsBlank(QChar c) { return c == u' ' || c == u'\t'; }

QString SkipLeadingBlanks(const QString &s)
{
    qsizetype i = 0;
    while (i < s.size() && IsBlank(s.at(i)))
        ++i;
    return s.mid(i);
}

// [rfc7230] 3.3.2: Content-Length is 1*DIGIT; anything else is no length at all.
std::optional<qint64> ParseLength(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 18)
        return std::nullopt;
    qint64 v = 0;
    for (QChar c : t) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        v = v * 10 + (c.unicode() - u'0');
    }
    return v;
}

} // namespace

bool HoldsLineBreakOrNul(const QString &Value)
{
    return Value.contains(u'\r') || Value.contains(u'\n') || Value.contains(QChar(0));
}

void THttpReplyParser::Reset()
{
    FHeader = THttpReplyHeader();
    FStatus = THttpParseStatus::Incomplete;
    FPending.clear();
    FHavePending = false;
    FStatusSeen = false;
    FFirstLine = true;
    FTotal = 0;
}

THttpParseResult THttpReplyParser::Feed(const char *data, qsizetype len)
{
    THttpParseResult r;
    if (FStatus != THttpParseStatus::Incomplete) {
        r.Status = FStatus;
        return r;
    }
    qsizetype pos = 0;
    while (pos < len) {
        const char *lf = static_cast<const char *>(memchr(data + pos, '\n', size_t(len - pos)));
        if (!lf) {
            // The unfinished line stays with the caller, who feeds it again with what follows.
            if (len - pos > MaxLineLength) {
                FHeader.Error = QStringLiteral("Reply header line too long");
                FStatus = THttpParseStatus::Bad;
            }
            break;
        }
        const qsizetype end = lf - data;
        QByteArray line(data + pos, end - pos);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.size() > MaxLineLength) {
            FHeader.Error = QStringLiteral("Reply header line too long");
            FStatus = THttpParseStatus::Bad;
            break;
        }
        // A header-less document: its first line is already body, so it is not consumed.
        if (FFirstLine && line.left(6).compare("<HTML>", Qt::CaseInsensitive) == 0) {
            FHeader.HeaderLess = true;
            if (FHeader.ContentType.isEmpty())
                FHeader.ContentType = QStringLiteral("text/html");
            FStatus = THttpParseStatus::Complete;
            break;
        }
        pos = end + 1;
        FTotal += line.size() + 1;
        if (!TakeLine(line)) {
            FStatus = THttpParseStatus::Bad;
            break;
        }
        if (FStatus == THttpParseStatus::Complete)
            break;
        if (FTotal > MaxHeaderSize) {
            FHeader.Error = QStringLiteral("Reply header too long");
            FStatus = THttpParseStatus::Bad;
            break;
        }
    }
    r.Status = FStatus;
    r.Consumed = pos;
    return r;
}

bool THttpReplyParser::TakeLine(const QByteArray &raw)
{
    const QString line = QString::fromLatin1(raw);
    if (OnLine && !line.isEmpty())
        OnLine(line);
    if (line.isEmpty()) {
        if (!FStatusSeen)
            return true; // blank lines before the status line carry nothing
        if (!FinishPending())
            return false;
        // An interim reply (100 Continue, 102 Processing, 103 Early Hints, ...) comes before the real
        // one on the same request; 101 alone ends the exchange, as a switch to another protocol.
        if (FHeader.StatusCode >= 100 && FHeader.StatusCode <= 199 && FHeader.StatusCode != 101) {
            FHeader = THttpReplyHeader();
            FStatusSeen = false;
            return true;
        }
        if (FHeader.TransferEncoding == u"chunked")
            FHeader.ContentLength = -1;
        FStatus = THttpParseStatus::Complete;
        return true;
    }
    if (!FStatusSeen) {
        FFirstLine = false;
        FHeader.Lines.append(line);
        if (!line.startsWith(u"HTTP/1.0") && !line.startsWith(u"HTTP/1.1"))
            return true; // not a status line: noted, otherwise ignored
        FStatusSeen = true;
        FHeader.Version = line.mid(5, 3);
        qsizetype i = 9;
        while (i < line.size() && !line.at(i).isDigit())
            ++i;
        const QString code = line.mid(i, 3);
        bool ok = code.size() == 3;
        for (QChar c : code)
            ok = ok && c >= u'0' && c <= u'9';
        if (!ok) {
            FHeader.Error = QStringLiteral("Bad status line: ") + line;
            return false;
        }
        FHeader.StatusCode = code.toInt();
        FHeader.StatusText = line.mid(i + 4);
        return true;
    }
    if (IsBlank(line.at(0)) && FHavePending) {
        // Obsolete line folding ([rfc7230] 3.2.4): the continuation belongs to the previous value.
        FPending += u' ' + line.trimmed();
        FHeader.Lines.last() = FPending;
        return true;
    }
    if (!FinishPending())
        return false;
    FHeader.Lines.append(line);
    FPending = line;
    FHavePending = true;
    return true;
}

bool THttpReplyParser::FinishPending()
{
    if (!FHavePending)
        return true;
    FHavePending = false;
    return InterpretHeader(FPending);
}

bool THttpReplyParser::InterpretHeader(const QString &line)
{
    const qsizetype colon = line.indexOf(u':');
    if (colon < 0)
        return true;
    const QString name = line.left(colon).trimmed().toLower();
    const QString value = SkipLeadingBlanks(line.mid(colon + 1));
    // These values go into the next request: a line break or NUL there would end its line early.
    if ((name == u"location" || name == u"content-range") && HoldsLineBreakOrNul(value)) {
        FHeader.Error = QStringLiteral("Line break or NUL in the %1 header").arg(line.left(colon).trimmed());
        return false;
    }
    if (name == u"location") {
        FHeader.Location = value.trimmed();
    } else if (name == u"content-length") {
        const auto len = ParseLength(value);
        if (!len) {
            FHeader.Error = QStringLiteral("Bad Content-Length: ") + value;
            return false;
        }
        // [rfc7230] 3.3.2: differing lengths leave the body's end unknowable.
        if (FHeader.ContentLength >= 0 && FHeader.ContentLength != *len) {
            FHeader.Error = QStringLiteral("Conflicting Content-Length values");
            return false;
        }
        FHeader.ContentLength = *len;
    } else if (name == u"transfer-encoding") {
        FHeader.TransferEncoding = value.trimmed().toLower();
    } else if (name == u"content-range") {
        const qsizetype dash = value.indexOf(u'-');
        const qsizetype slash = value.indexOf(u'/');
        if (dash >= 0) {
            FHeader.ContentRangeBegin = value.mid(6, dash - 6);
            FHeader.ContentRangeEnd = slash > dash ? value.mid(dash + 1, slash - dash - 1) : value.mid(dash + 1);
        }
    } else if (name == u"accept-ranges") {
        FHeader.AcceptRanges = value;
    } else if (name == u"content-type") {
        FHeader.ContentType = value.toLower();
    } else if (name == u"www-authenticate" || name == u"proxy-authenticate") {
        FHeader.AuthHeaders.append(value);
    } else if (name == u"set-cookie") {
        FHeader.Cookies.append(value);
    } else if (name == u"connection" || name == u"proxy-connection") {
        const QString token = value.trimmed().toLower();
        if (token == u"close")
            FHeader.ConnectionClose = true;
        else if (token == u"keep-alive")
            FHeader.ConnectionClose = false;
    } else if (name == u"content-encoding") {
        FHeader.ContentEncoding = value;
    }
    return true;
}

void THttpChunkDecoder::Reset()
{
    FState = ReadSize;
    FStatus = THttpParseStatus::Incomplete;
    FSize = 0;
    FDigits = 0;
    FTrailerLineLen = 0;
    FError.clear();
}

THttpParseResult THttpChunkDecoder::Feed(const char *data, qsizetype len,
                                         const std::function<void(const char *, qsizetype)> &out)
{
    qsizetype pos = 0;
    auto bad = [&](const char *why) {
        FError = QString::fromLatin1(why);
        FStatus = THttpParseStatus::Bad;
    };
    while (pos < len && FStatus == THttpParseStatus::Incomplete) {
        const char c = data[pos];
        switch (FState) {
        case ReadSize: {
            int v = -1;
            if (c >= '0' && c <= '9')
                v = c - '0';
            else if (c >= 'a' && c <= 'f')
                v = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                v = c - 'A' + 10;
            if (v >= 0) {
                if (++FDigits > 15) {
                    bad("Chunk size too large");
                    break;
                }
                FSize = FSize * 16 + v;
                ++pos;
            } else if (FDigits == 0) {
                bad("Chunk size missing");
            } else {
                FState = SkipToSizeLf;
            }
            break;
        }
        case SkipToSizeLf:
            ++pos;
            if (c == '\n') {
                FDigits = 0;
                if (FSize == 0) {
                    FState = Trailer;
                    FTrailerLineLen = 0;
                } else {
                    FState = Data;
                }
            }
            break;
        case Data: {
            const qsizetype n = qMin<qint64>(FSize, len - pos);
            out(data + pos, n);
            pos += n;
            FSize -= n;
            if (FSize == 0)
                FState = DataCr;
            break;
        }
        case DataCr:
            ++pos;
            if (c == '\n')
                FState = ReadSize;
            else if (c == '\r')
                FState = DataLf;
            else
                bad("Chunk data not followed by CRLF");
            break;
        case DataLf:
            ++pos;
            if (c == '\n')
                FState = ReadSize;
            else
                bad("Chunk data not followed by CRLF");
            break;
        case Trailer:
            ++pos;
            if (c == '\n') {
                if (FTrailerLineLen == 0)
                    FStatus = THttpParseStatus::Complete;
                FTrailerLineLen = 0;
            } else if (c != '\r') {
                if (++FTrailerLineLen > THttpReplyParser::MaxLineLength)
                    bad("Chunk trailer line too long");
            }
            break;
        }
    }
    return {FStatus, pos};
}
