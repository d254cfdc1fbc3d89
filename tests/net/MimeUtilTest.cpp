// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the NTLM Base64 against RFC 4648's examples, every byte value, and the forgiving decoder's edges.
#include "net/MimeUtil.h"

#include <gtest/gtest.h>

namespace {

TEST(MimeBase64, Rfc4648ExamplesBothWays)
{
    const struct {
        const char *data, *text;
    } cases[] = {{"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="},
                 {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.data);
        EXPECT_EQ(EncodeBase64Text(c.data), QString::fromLatin1(c.text));
        EXPECT_EQ(DecodeBase64Text(QString::fromLatin1(c.text)), QByteArray(c.data));
    }
}

TEST(MimeBase64, EveryByteValueRoundTripsOnOneLine)
{
    QByteArray all;
    for (int i = 0; i < 256 * 3; ++i)
        all += char(i % 256);
    for (qsizetype length : {766, 767, 768}) {
        SCOPED_TRACE(length);
        const QString text = EncodeBase64Text(all.left(length));
        EXPECT_EQ(text, QString::fromLatin1(all.left(length).toBase64()));
        EXPECT_FALSE(text.contains(u'\n'));
        EXPECT_EQ(DecodeBase64Text(text), all.left(length));
    }
}

TEST(MimeBase64, DecoderNeverFailsAndNeverReadsPastTheText)
{
    const struct {
        const char *name;
        QString text;
        QByteArray expected;
    } cases[] = {
        {"padding ends the data", "Zg==Zm9v", "f"},
        {"single padding ends the data", "Zm8=Zm9v", "fo"},
        {"short last group of three", "Zm9vYmE", "fooba"},
        {"short last group of two", "Zm9vYg", "foob"},
        {"lone last character gives nothing", "Zm9vY", "foo"},
        {"lone character", "Z", ""},
        {"padding at the start", "====", ""},
        {"characters outside the alphabet count as 0", "A*==", QByteArray(1, '\0')},
        {"non-Latin character counts as 0", QString::fromUtf8("ΩA=="), QByteArray(1, '\0')},
        {"blank inside counts as 0", "Zm 9v", QByteArray::fromHex("66603d")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DecodeBase64Text(c.text), c.expected);
    }
}

}  // namespace
