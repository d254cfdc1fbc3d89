// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: tests of the blacklist file and of its joining with the user's skip text.
#include "registry/Blacklist.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(Blacklist, JoinsUserTextWithKeyText)
{
    const struct {
        const char *name;
        QString user, key;
        QStringList expected;  // in sorted order
    } cases[] = {
        {"user text and key text", "norton", ",temp,\"program files\"", {"norton", "program files", "temp"}},
        {"empty user text and no file", "", "", {}},
        {"empty user text drops the leading comma", "", ",temp", {"temp"}},
        {"key text without comma loses its first character", "", "temp", {"emp"}},
        {"key text without comma is glued to the user's last entry", "a,b", "temp", {"a", "btemp"}},
        {"duplicates ignoring case", "Temp", ",TEMP,x", {"Temp", "x"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Blacklist::SkipList(c.user, c.key).Items(), c.expected);
    }
}

TEST(Blacklist, ReadsVersionAndKeysWithDefaults)
{
    QTemporaryDir dir;
    EXPECT_EQ(Blacklist::Version(dir.path()), "Release 0");
    EXPECT_EQ(Blacklist::KeyText(dir.path(), "Registry"), "");
    QFile f(dir.filePath("BlackLst.vkb"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[General]\r\nVersion=Release 7\r\nRegistry=,norton,\"a b\"\r\n");
    f.close();
    EXPECT_EQ(Blacklist::Version(dir.path()), "Release 7");
    EXPECT_EQ(Blacklist::KeyText(dir.path(), "Registry"), ",norton,\"a b\"");
    EXPECT_EQ(Blacklist::KeyText(dir.path(), "Unnecessary"), "");
}

TEST(Blacklist, ShippedFileIsWellFormed)
{
    const QString folder = QStringLiteral(VASKIMO_FIXTURES "/../../src/resources");
    EXPECT_TRUE(Blacklist::Version(folder).startsWith("Release "));
    EXPECT_GT(Blacklist::Version(folder).mid(8).toInt(), 0);
    for (const char *key : {"Registry", "Unnecessary"}) {
        SCOPED_TRACE(key);
        const QString text = Blacklist::KeyText(folder, key);
        EXPECT_TRUE(text.startsWith(u','));
        EXPECT_FALSE(Blacklist::SkipList("", text).IsEmpty());
    }
}

}  // namespace
