// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: Base64 against RFC 4648's examples, and the lenient decoder's rules.
#include "crypto/Base64.h"
#include "crypto/CryptTools.h"

#include <gtest/gtest.h>

namespace {

const struct {
    const char *data, *text;
} kRfc4648[] = {
    {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
};

TEST(Base64, Rfc4648ExamplesBothWays)
{
    for (const auto &c : kRfc4648) {
        SCOPED_TRACE(c.data);
        EXPECT_EQ(Base64Encode(c.data), QString::fromLatin1(c.text));
        EXPECT_EQ(Base64Decode(QString::fromLatin1(c.text)), QByteArray(c.data));
    }
}

TEST(Base64, EveryByteValueRoundTrips)
{
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all += char(i);
    for (int length : {254, 255, 256}) {
        SCOPED_TRACE(length);
        const QString text = Base64Encode(all.left(length));
        EXPECT_EQ(text, QString::fromLatin1(all.left(length).toBase64()));
        EXPECT_EQ(Base64Decode(text), all.left(length));
    }
}

TEST(Base64, LengthNotAMultipleOfFourIsAnError)
{
    for (const char *text : {"Y", "YW", "YWJ", "YWJjY"}) {
        SCOPED_TRACE(text);
        try {
            Base64Decode(QString::fromLatin1(text));
            ADD_FAILURE() << "no error";
        } catch (const ECryptoError &e) {
            EXPECT_EQ(e.Message(), QStringLiteral("Base64: Incorrect string format"));
        }
    }
}

TEST(Base64, CharactersOutsideTheAlphabetCountAs63)
{
    const struct {
        const char *name;
        QString text;
        QByteArray expected;
    } cases[] = {
        {"slash", "////", "\xFF\xFF\xFF"},
        {"unknown characters", "*!#?", "\xFF\xFF\xFF"},
        {"non-Latin character", QString::fromUtf8("Ω///"), "\xFF\xFF\xFF"},
        {"padding inside an earlier group", "A=A=AAAA", QByteArray("\x03\xF0\x3F\0\0\0", 6)},
        {"third padding gives one byte", "YQ=x", "a"},
        {"fourth padding gives two bytes", "YWI=", "ab"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Base64Decode(c.text), c.expected);
    }
}

}  // namespace
