// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: fuzz harness of the HTTP reply header parser and the chunk decoder: any split of the
// bytes gives what the bytes in one piece give, and no value that goes into a request holds a line break.
#include "FuzzCheck.h"

#include "net/HttpReply.h"

#include <vector>

namespace {

struct TParsed {
    THttpParseStatus Status = THttpParseStatus::Incomplete;
    THttpReplyHeader Header;
    QByteArray Rest;  // the bytes after the header
};

struct TDecoded {
    THttpParseStatus Status = THttpParseStatus::Incomplete;
    QByteArray Data;
    QByteArray Rest;  // the bytes after the last chunk
};

// Pieces as a client gets them from the socket; the bytes not taken are fed again with the next piece.
std::vector<QByteArray> Split(const QByteArray &bytes, const std::vector<uint8_t> &sizes)
{
    std::vector<QByteArray> pieces;
    qsizetype at = 0;
    for (size_t i = 0; at < bytes.size(); ++i) {
        const qsizetype n = sizes.empty() ? bytes.size() : qsizetype(sizes[i % sizes.size()] % 64) + 1;
        pieces.push_back(bytes.mid(at, n));
        at += n;
    }
    return pieces;
}

// Feeds the pieces in turn to feed, keeping what it does not take for the next one, until it is done.
template <typename TFeed>
THttpParseStatus FeedPieces(const std::vector<QByteArray> &pieces, QByteArray &rest, TFeed feed)
{
    THttpParseStatus status = THttpParseStatus::Incomplete;
    for (const QByteArray &piece : pieces) {
        rest += piece;
        if (status != THttpParseStatus::Incomplete)
            continue;
        const THttpParseResult r = feed(rest);
        FUZZ_CHECK(r.Consumed >= 0 && r.Consumed <= rest.size());
        rest.remove(0, r.Consumed);
        status = r.Status;
    }
    return status;
}

TParsed Parse(const std::vector<QByteArray> &pieces)
{
    THttpReplyParser parser;
    TParsed p;
    p.Status = FeedPieces(pieces, p.Rest, [&](const QByteArray &bytes) { return parser.Feed(bytes); });
    p.Header = parser.Header();
    return p;
}

TDecoded Decode(const std::vector<QByteArray> &pieces)
{
    THttpChunkDecoder decoder;
    TDecoded d;
    d.Status = FeedPieces(pieces, d.Rest, [&](const QByteArray &bytes) {
        return decoder.Feed(bytes.constData(), bytes.size(), [&](const char *data, qsizetype n) {
            FUZZ_CHECK(n >= 0);
            d.Data.append(data, n);
        });
    });
    return d;
}

bool SameHeader(const THttpReplyHeader &a, const THttpReplyHeader &b)
{
    return a.Lines == b.Lines && a.Version == b.Version && a.StatusCode == b.StatusCode && a.StatusText == b.StatusText
           && a.ContentLength == b.ContentLength && a.ContentType == b.ContentType
           && a.TransferEncoding == b.TransferEncoding && a.ContentEncoding == b.ContentEncoding
           && a.Location == b.Location && a.ContentRangeBegin == b.ContentRangeBegin
           && a.ContentRangeEnd == b.ContentRangeEnd && a.AcceptRanges == b.AcceptRanges
           && a.AuthHeaders == b.AuthHeaders && a.Cookies == b.Cookies && a.ConnectionClose == b.ConnectionClose
           && a.HeaderLess == b.HeaderLess;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::TInput input(data, size);
    std::vector<uint8_t> sizes(input.Byte() % 8);
    for (uint8_t &s : sizes)
        s = input.Byte();
    const QByteArray bytes = input.Rest();

    const TParsed whole = Parse(Split(bytes, {}));
    const TParsed split = Parse(Split(bytes, sizes));
    FUZZ_CHECK(whole.Status == split.Status);
    FUZZ_CHECK(whole.Rest == split.Rest);
    if (whole.Status == THttpParseStatus::Complete) {
        FUZZ_CHECK(SameHeader(whole.Header, split.Header));
        for (const auto &value : {whole.Header.Location, whole.Header.ContentRangeBegin, whole.Header.ContentRangeEnd})
            FUZZ_CHECK(!value || !HoldsLineBreakOrNul(*value));
        FUZZ_CHECK(whole.Header.ContentLength >= -1);
    }

    // The body as a chunked one, whether the header said so or not.
    const QByteArray body = whole.Status == THttpParseStatus::Complete ? whole.Rest : bytes;
    const TDecoded once = Decode(Split(body, {}));
    const TDecoded pieces = Decode(Split(body, sizes));
    FUZZ_CHECK(once.Status == pieces.Status);
    FUZZ_CHECK(once.Data == pieces.Data);
    FUZZ_CHECK(once.Rest == pieces.Rest);
    FUZZ_CHECK(once.Data.size() <= body.size());
    return 0;
}
