// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: HTTP reply header parser and chunked-body decoder that never see a socket: fed bytes, they say how far they got.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

enum class THttpParseStatus { Complete, Incomplete, Bad };

// CR, LF or NUL: a value holding one must never go into a request header.
bool HoldsLineBreakOrNul(const QString &Value);

struct THttpParseResult
{
    THttpParseStatus Status = THttpParseStatus::Incomplete;
    qsizetype Consumed = 0;    // bytes of this Feed() taken; the caller keeps the rest and feeds it again
                               // with what follows. On Complete the body starts right behind them.
};

// What one reply header said. Values keep the spelling the client publishes: ContentType and
// TransferEncoding lower-cased, ContentEncoding as received.
struct THttpReplyHeader
{
    QStringList Lines;          // every non-empty header line in arrival order (folded lines joined)
    QString Version;            // "1.0" or "1.1"; empty for a header-less reply
    int StatusCode = 0;
    QString StatusText;
    qint64 ContentLength = -1;  // -1 while unknown, and for a chunked body (the chunks frame it)
    QString ContentType;
    QString TransferEncoding;
    QString ContentEncoding;
    std::optional<QString> Location;   // a reply whose Location or Content-Range holds CR or NUL is Bad
    std::optional<QString> ContentRangeBegin, ContentRangeEnd;
    std::optional<QString> AcceptRanges;
    QStringList AuthHeaders;    // values of www-authenticate and proxy-authenticate, in order
    QStringList Cookies;        // values of set-cookie
    std::optional<bool> ConnectionClose; // the last connection/proxy-connection token: close or keep-alive
    bool HeaderLess = false;    // the first line began "<HTML>": no header, the line is body data
    QString Error;              // why the reply is Bad
};

// Reads one reply header. Feed() takes whole lines only and may be given any split of the bytes; it
// stops at the empty line that ends the header (or before a "<HTML>" first line), never in the body.
class THttpReplyParser
{
public:
    // A line that grows past this without an LF ends the reply as Bad: resynchronising in the middle
    // of an unknown header would read a truncated value as if it were whole.
    static constexpr qsizetype MaxLineLength = 8190;
    static constexpr qsizetype MaxHeaderSize = 256 * 1024;

    void Reset();
    THttpParseResult Feed(const char *data, qsizetype len);
    THttpParseResult Feed(const QByteArray &data) { return Feed(data.constData(), data.size()); }
    const THttpReplyHeader &Header() const { return FHeader; }
    THttpParseStatus Status() const { return FStatus; }

    // Called for every complete line (before folding), as the client's OnHeaderData wants.
    std::function<void(const QString &line)> OnLine;

private:
    bool TakeLine(const QByteArray &line);     // false: Bad
    bool InterpretHeader(const QString &line); // false: Bad
    bool FinishPending();

    THttpReplyHeader FHeader;
    THttpParseStatus FStatus = THttpParseStatus::Incomplete;
    QString FPending;            // a header line that a folded continuation may still extend
    bool FHavePending = false;
    bool FStatusSeen = false;
    bool FFirstLine = true;
    qsizetype FTotal = 0;
};

// The chunked transfer coding (RFC 7230 4.1): sizes in hexadecimal, extensions and trailers skipped.
class THttpChunkDecoder
{
public:
    void Reset();
    // Hands decoded data to out; Complete once the last chunk and its trailer are read.
    THttpParseResult Feed(const char *data, qsizetype len, const std::function<void(const char *, qsizetype)> &out);
    THttpParseStatus Status() const { return FStatus; }
    const QString &Error() const { return FError; }

private:
    enum TState { ReadSize, SkipToSizeLf, Data, DataCr, DataLf, Trailer };
    TState FState = ReadSize;
    THttpParseStatus FStatus = THttpParseStatus::Incomplete;
    qint64 FSize = 0;
    int FDigits = 0;
    qsizetype FTrailerLineLen = 0;
    QString FError;
};
