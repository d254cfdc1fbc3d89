// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: tests of the prefix's ANSI code page and the 8-bit conversions.
#include "support/PrefixBuilder.h"
#include "platform/CodePage.h"
#include "platform/WinePrefix.h"

#include <gtest/gtest.h>

using namespace TestSupport;

TEST(CodePageTest, ComesFromTheNlsKey)
{
    TPrefixBuilder b;
    auto plain = b.MakeCurrent();
    EXPECT_EQ(AnsiCodePage(), 1252);
    b.AddString(THive::System, QStringLiteral("System\\CurrentControlSet\\Control\\Nls\\CodePage"), QStringLiteral("ACP"),
                QStringLiteral("1251"));
    auto cyrillic = b.MakeCurrent();
    EXPECT_EQ(AnsiCodePage(), 1251);
    EXPECT_EQ(AnsiCodePage(cyrillic), 1251);
}

TEST(CodePageTest, IsReadThroughWinesCurrentControlSetLink)
{
    TPrefixBuilder b;
    b.AddLink(THive::System, QStringLiteral("System\\CurrentControlSet"),
              QStringLiteral("\\REGISTRY\\MACHINE\\System\\ControlSet001"));
    b.AddString(THive::System, QStringLiteral("System\\ControlSet001\\Control\\Nls\\CodePage"), QStringLiteral("ACP"),
                QStringLiteral("932"));
    b.MakeCurrent();
    EXPECT_EQ(AnsiCodePage(), 932);
}

TEST(CodePageTest, RoundTripsAndReportsLoss)
{
    const struct {
        const char *name;
        int codePage;
        QString text;
        QByteArray bytes;
        bool lossless;
    } cases[] = {
        {"ascii", 1252, QStringLiteral("C:\\x.exe"), QByteArray("C:\\x.exe"), true},
        {"latin", 1252, QString::fromUtf8("\xc3\xa4\xc3\xb6 \xe2\x82\xac"), QByteArray("\xe4\xf6 \x80"), true},
        {"cyrillic", 1251, QString::fromUtf8("\xd0\x96"), QByteArray("\xc6"), true},
        {"japanese", 932, QString::fromUtf8("\xe3\x81\x82"), QByteArray("\x82\xa0"), true},
        {"not in 1252", 1252, QString::fromUtf8("a\xd0\x96" "b"), QByteArray("a?b"), false},
        {"emoji in 1251", 1251, QString::fromUtf8("\xf0\x9f\x98\x80!"), QByteArray("?!"), false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        bool lossless = !c.lossless;
        EXPECT_EQ(EncodeAnsi(c.text, c.codePage, &lossless), c.bytes);
        EXPECT_EQ(lossless, c.lossless);
        if (c.lossless) {
            EXPECT_EQ(DecodeAnsi(c.bytes, c.codePage), c.text);
        }
    }
    EXPECT_EQ(DecodeAnsi(QByteArray("\x81", 1), 1252), QString(QChar(0x81)));
}
