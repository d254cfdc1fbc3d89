// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the content-coding registry, the "Accept-Encoding" value and the decoder chain of a reply body.
#include "net/HttpContCod.h"

#include <QBuffer>
#include <QLocale>
#include <QStringList>

#include <gtest/gtest.h>

namespace {

// Decoders of the tests: each notes what passes through it; none of them is offered to servers.
QStringList gTrace;

class THttpContentCodingTagA : public THttpContentCoding
{
public:
    using THttpContentCoding::THttpContentCoding;
    static QString ClassName() { return QStringLiteral("THttpContentCodingTagA"); }
    static bool IsAvailable() { return false; }
    void WriteBuffer(const char *Buffer, qint64 Count) override
    {
        gTrace << QStringLiteral("A:") + QString::fromLatin1(Buffer, Count);
        const QByteArray out = QByteArray(Buffer, Count).replace('a', 'A');
        FWriteTarget(out.constData(), out.size());
    }
    void Complete() override { gTrace << QStringLiteral("A done"); }
};

// Holds everything back until the body is complete.
class THttpContentCodingHoldB : public THttpContentCoding
{
public:
    using THttpContentCoding::THttpContentCoding;
    static QString ClassName() { return QStringLiteral("THttpContentCodingHoldB"); }
    static bool IsAvailable() { return false; }
    void WriteBuffer(const char *Buffer, qint64 Count) override
    {
        gTrace << QStringLiteral("B:") + QString::fromLatin1(Buffer, Count);
        FHeld.append(Buffer, Count);
    }
    void Complete() override
    {
        gTrace << QStringLiteral("B done");
        FWriteTarget(FHeld.constData(), FHeld.size());
    }

private:
    QByteArray FHeld;
};

class TNamelessCoding : public THttpContentCoding
{
public:
    using THttpContentCoding::THttpContentCoding;
    static QString ClassName() { return QStringLiteral("TNamelessCoding"); }
};

void RegisterTestCodings()
{
    static const bool once = [] {
        ContCodings().RegisterCoding(THttpContentCodingClassOf<THttpContentCodingTagA>::Instance(), 1);
        ContCodings().RegisterCoding(THttpContentCodingClassOf<THttpContentCodingHoldB>::Instance(), 1);
        return true;
    }();
    (void)once;
}

// A client's side of the handler: its receive-stream field and what its document-data event saw.
struct TClient
{
    QIODevice *ReceiveStream = nullptr;
    QByteArray DocData;
    QList<qint64> StreamSizeAtDocData;
    THttpContCodHandler Handler{&ReceiveStream, [this](const char *Buffer, qint64 Count) {
                                    DocData.append(Buffer, Count);
                                    StreamSizeAtDocData << (ReceiveStream ? ReceiveStream->size() : -1);
                                }};
};

TEST(ContentCodings, Registry)
{
    const TContCodingsList list;
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Entry(0).CodingClass->GetCoding(), QStringLiteral("identity"));
    EXPECT_EQ(list.Entry(1).CodingClass->GetCoding(), QStringLiteral("*"));
    EXPECT_EQ(list.Entry(0).Quality, 0.0f);
    EXPECT_EQ(list.Entry(1).Quality, 0.0f);
    EXPECT_EQ(list.FindCoding(QStringLiteral("IDENTITY")), list.Entry(0).CodingClass);
    EXPECT_EQ(list.FindCoding(QStringLiteral("*")), list.Entry(1).CodingClass);
    EXPECT_EQ(list.FindCoding(QStringLiteral("gzip")), nullptr);
    EXPECT_EQ(list.FindCoding(QString()), nullptr);
}

TEST(ContentCodings, LaterRegistrationWins)
{
    TContCodingsList list;
    const THttpContentCodingClass *tag = THttpContentCodingClassOf<THttpContentCodingTagA>::Instance();
    list.RegisterCoding(tag, 0.5f);
    EXPECT_EQ(list.FindCoding(QStringLiteral("taga")), tag);
    EXPECT_EQ(list.Entry(2).Quality, 0.5f);
}

TEST(ContentCodings, TokenFromTheClassName)
{
    EXPECT_EQ(THttpContentCodingClassOf<THttpContentCodingTagA>::Instance()->GetCoding(), QStringLiteral("TagA"));
    try {
        THttpContentCodingClassOf<TNamelessCoding>::Instance()->GetCoding();
        ADD_FAILURE() << "no exception";
    } catch (const EHttpContentCodingException &e) {
        EXPECT_EQ(e.Message(), QStringLiteral("GetCoding must be overriden in TNamelessCoding"));
    }
}

TEST(ContentCodings, AcceptEncoding)
{
    RegisterTestCodings();
    TClient client;
    EXPECT_EQ(client.Handler.GetAcceptEncoding(), QString()) << "disabled";

    client.Handler.SetEnabled(true);
    EXPECT_EQ(client.Handler.GetAcceptEncoding(), QString()) << "both codings have the quality 0";

    client.Handler.SetUseQuality(true);
    EXPECT_EQ(client.Handler.GetAcceptEncoding(), QStringLiteral("identity;q=0, *;q=0"));

    client.Handler.SetUseQuality(false);
    EXPECT_EQ(client.Handler.GetAcceptEncoding(), QString());

    // Qualities print as "0.###" with a dot, whatever the locale's separator.
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::Finnish, QLocale::Finland));
    client.Handler.Items()[0].Quality = 0.5f;
    client.Handler.Items()[1].Quality = 1.0f / 3;
    client.Handler.ItemsChanged();
    EXPECT_EQ(client.Handler.GetAcceptEncoding(), QStringLiteral("identity, *"));
    client.Handler.SetUseQuality(true);
    EXPECT_EQ(client.Handler.GetAcceptEncoding(), QStringLiteral("identity;q=0.5, *;q=0.333"));
    QLocale::setDefault(before);

    // One coding taking part: no qualities, and it is listed only with a quality above 0.
    client.Handler.Items()[1].Enabled = false;
    client.Handler.ItemsChanged();
    EXPECT_EQ(client.Handler.GetAcceptEncoding(), QStringLiteral("identity"));
    client.Handler.Items()[0].Quality = 0;
    client.Handler.ItemsChanged();
    EXPECT_EQ(client.Handler.GetAcceptEncoding(), QString());

    client.Handler.SetEnabled(false);
    EXPECT_EQ(client.Handler.GetAcceptEncoding(), QString());
}

TEST(ContentCodings, DisabledHandlerPassesTheBodyThrough)
{
    TClient client;
    QBuffer stream;
    stream.open(QIODevice::WriteOnly);
    client.ReceiveStream = &stream;  // assigned after the handler was made
    EXPECT_TRUE(client.Handler.Prepare(QStringLiteral("gzip")));
    client.Handler.WriteBuffer("abc", 3);
    client.Handler.WriteBuffer("de", 2);
    client.Handler.Complete();
    EXPECT_EQ(stream.data(), QByteArray("abcde"));
    EXPECT_EQ(client.DocData, QByteArray("abcde"));
    EXPECT_EQ(client.StreamSizeAtDocData, (QList<qint64>{3, 5})) << "the data are in the stream before the event";
}

TEST(ContentCodings, NoStreamStillReportsTheData)
{
    TClient client;
    EXPECT_EQ(client.Handler.OutputStream(), nullptr);
    client.Handler.WriteBuffer("xy", 2);
    EXPECT_EQ(client.DocData, QByteArray("xy"));
}

TEST(ContentCodings, PrepareBuildsTheChain)
{
    RegisterTestCodings();
    const struct {
        const char *name, *encoding;
        bool prepared;
        QStringList trace;
        const char *output;
    } cases[] = {
        {"identity and star pass through", "identity, *", true, {}, "banana"},
        {"unknown coding: body undecoded", "identity, gzip", false, {}, "banana"},
        {"empty header", "", true, {}, "banana"},
        {"one decoder", "TagA", true, {"A:banana", "A done"}, "bAnAnA"},
        {"listed order applied, so reverse order undone", "taga, holdb", true,
         {"B:banana", "B done", "A:banana", "A done"}, "bAnAnA"},
        {"blanks and quotes of comma text", " \"HoldB\" ,TAGA ", true, {"A:banana", "B:bAnAnA", "A done", "B done"}, "bAnAnA"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        gTrace.clear();
        TClient client;
        QBuffer stream;
        stream.open(QIODevice::WriteOnly);
        client.ReceiveStream = &stream;
        client.Handler.SetEnabled(true);
        EXPECT_EQ(client.Handler.Prepare(QStringLiteral("TagA")), true) << "a previous chain is replaced";
        EXPECT_EQ(client.Handler.Prepare(QString::fromLatin1(c.encoding)), c.prepared);
        client.Handler.WriteBuffer("banana", 6);
        client.Handler.Complete();
        EXPECT_EQ(gTrace, c.trace);
        EXPECT_EQ(stream.data(), QByteArray(c.output));
        EXPECT_EQ(client.DocData, QByteArray(c.output));
    }
}

}  // namespace
